#include "import/AutoDownload.h"

#include <cmath>
#include <exception>

#include "archive/QVDDeviceInfo.h"
#include "archive/uConfig.h"
#include "base/DateTime.h"
#include "import/DeviceLink.h"
#include "import/TPrintoutsBrowser.h"
#include "links/FiscalPrinter.h"

namespace quorvel {

namespace {

long long MillisecondOfDay(double value) {
  const double fraction = value - std::floor(value);
  return std::llround(fraction * 86400000.0) % 86400000LL;
}

}  // namespace

bool BeforeTimeOfDay(double now, double after) { return MillisecondOfDay(now) < MillisecondOfDay(after); }

void ConnectDeviceLinks(TDeviceLinks& links, TPrintoutsBrowser& browser, bool isPrinter) {
  // A port that does not open is no error here: the links report their failures during the import.
  OpenDeviceLink(links.Printer, links.Register, links.Printer.PortName, isPrinter);
  AttachDeviceLinks(browser, links);
}

TAutoDownload::TAutoDownload(TConfig& config, TAutoDownloadHost& host) : config_(config), host_(host) {}

TAutoDownload::TState TAutoDownload::State() const {
  if (AutoDownloadForm) return TState::Downloading;
  return timerRunning_ ? TState::Waiting : TState::Off;
}

void TAutoDownload::StartTimerIfEnabled() {
  // A timer without an interval never fires: it counts as stopped.
  if (config_.AutoDownload && config_.AutoDownloadInteval > 0) {
    host_.StartTimer(config_.AutoDownloadInteval * 1000);
    timerRunning_ = true;
  } else {
    host_.StopTimer();
    timerRunning_ = false;
  }
}

void TAutoDownload::ArmAutoDownloadTimer() { StartTimerIfEnabled(); }

void TAutoDownload::Tick() {
  host_.StopTimer();
  timerRunning_ = false;
  lastDownloaded_ = false;
  lastNewData_ = false;
  const bool tooEarly = config_.DownloadAfterEnabled && BeforeTimeOfDay(TClock::Now(), config_.DownloadAfterTime);
  if (!tooEarly && !AutoDownloadForm) {
    lastDownloaded_ = true;
    try {
      Download();
    } catch (const std::exception& e) {
      AutoDownloadForm = nullptr;
      StartTimerIfEnabled();
      host_.ShowError(e.what());
      return;
    }
  }
  StartTimerIfEnabled();
}

void TAutoDownload::Download() {
  const std::unique_ptr<TPrintoutsBrowser> browser = host_.CreateBrowser();
  TPrintoutsBrowser& b = *browser;
  AutoDownloadForm = &b;
  struct TClear {
    TPrintoutsBrowser*& Form;
    ~TClear() { Form = nullptr; }
  } clear{AutoDownloadForm};

  const bool isPrinter = config_.DeviceType == 0;
  b.SourceKind = isPrinter ? skPrinterECopy : skRegisterECopy;
  b.FromNo = 0;
  b.ToNo = kHighestReportNo;
  b.ByNumber = true;
  b.ImportAll = false;
  b.NewOnly = true;
  b.ArchiveRootDir = ArchiveRoot(config_);
  b.DirectoryOverride = Cp1250ToUtf8(config_.Directory);

  host_.ConnectDevice(b, isPrinter);
  b.LoadSource();

  if (b.NewDataFound) {
    lastNewData_ = true;
    host_.ShowBalloon(Caption, "Pobrano nowe dane");
    if (config_.CloseAfterDownload) host_.Terminate();
  }
}

}  // namespace quorvel
