// The automatic download: at every tick of a timer it reads the new part of the configured
// device's electronic copy into the archive in a browser made for it, tells the user when
// something new arrived, and may end the program then. The windows and `watch` provide the
// timer, the browser, the notice and the end of the program through TAutoDownloadHost.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "base/Cp1250.h"

namespace quorvel {

class TConfig;
class TPrintoutsBrowser;
struct TDeviceLinks;

class TAutoDownloadHost {
 public:
  virtual ~TAutoDownloadHost() = default;
  virtual void StartTimer(int32_t intervalMs) = 0;
  virtual void StopTimer() = 0;
  // The browser of one download (in the windows a child of the main window).
  virtual std::unique_ptr<TPrintoutsBrowser> CreateBrowser() = 0;
  // Opens the device link for the browser's download and lets the browser reach the device
  // (ConnectDeviceLinks below, for a host that holds the program's links).
  virtual void ConnectDevice(TPrintoutsBrowser& browser, bool isPrinter) = 0;
  // The tray balloon (information style).
  virtual void ShowBalloon(std::string_view title, std::string_view text) = 0;
  // Asks the program to end; it ends once the tick has returned.
  virtual void Terminate() = 0;
  // The error of a failed download, as the application shows errors.
  virtual void ShowError(std::string_view message) = 0;
};

class TAutoDownload {
 public:
  enum class TState { Off, Waiting, Downloading };

  TAutoDownload(TConfig& config, TAutoDownloadHost& host);

  // The main window's caption, the balloon's title.
  AnsiString Caption{"Przegladarka wydruków fiskalnych"_cp};
  // The browser of the download in progress; empty otherwise.
  TPrintoutsBrowser* AutoDownloadForm = nullptr;

  // Starts the timer with the configured interval when "AutoDownload" is true, stops it otherwise.
  void ArmAutoDownloadTimer();
  // The timer's tick.
  void Tick();

  TState State() const;
  // Whether the last tick read something new.
  bool LastTickFoundNewData() const { return lastNewData_; }
  // Whether the last tick got past the time-of-day and running-download rules.
  bool LastTickDownloaded() const { return lastDownloaded_; }

 private:
  void StartTimerIfEnabled();
  void Download();

  TConfig& config_;
  TAutoDownloadHost& host_;
  bool timerRunning_ = false;
  bool lastNewData_ = false;
  bool lastDownloaded_ = false;
};

// OpenDeviceLink on the printer link's port name, then the browser's device parts over `links`.
void ConnectDeviceLinks(TDeviceLinks& links, TPrintoutsBrowser& browser, bool isPrinter);

// Whether a tick at `now` is too early for the "DownloadAfterTime" of the configuration: the
// time of day of `now` before the time part of `after`, compared to the millisecond.
bool BeforeTimeOfDay(double now, double after);

}  // namespace quorvel
