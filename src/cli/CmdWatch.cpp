// `watch`: the automatic download for a machine without a display. The configuration decides
// the device, the interval, the time of day and the end after new data, as in the windows; the
// timer is a wait on the terminal that Ctrl-C ends. Each tick writes one line on standard output.
#include <chrono>
#include <memory>
#include <thread>

#include "archive/uConfig.h"
#include "base/DateTime.h"
#include "base/Errors.h"
#include "base/TextUtils.h"
#include "cli/Commands.h"
#include "import/AutoDownload.h"
#include "import/DeviceLink.h"
#include "import/TPrintoutsBrowser.h"
#include "links/FiscalPrinter.h"
#include "links/R5Devices.h"

namespace quorvel::cli {

namespace {

using TSteady = std::chrono::steady_clock;

class TWatchHost : public TAutoDownloadHost {
 public:
  TWatchHost(TCliContext& ctx, TDeviceLinks& links) : ctx_(ctx), links_(links) {}

  void StartTimer(int32_t intervalMs) override {
    Running = true;
    Due = TSteady::now() + std::chrono::milliseconds(intervalMs);
  }
  void StopTimer() override { Running = false; }
  std::unique_ptr<TPrintoutsBrowser> CreateBrowser() override {
    auto b = std::make_unique<TPrintoutsBrowser>(ctx_.Prompts);
    b->OnProgress = [this](TPrintoutsBrowser&, std::string_view file, std::string_view message, int) {
      // The speed messages come with every packet; a log keeps the steps only.
      if (ctx_.Quiet || message.substr(0, 6) == "Plik: ") return;
      WriteLine(ctx_.Err, message.empty() ? file : message);
    };
    return b;
  }
  void ConnectDevice(TPrintoutsBrowser& browser, bool isPrinter) override {
    ConnectDeviceLinks(links_, browser, isPrinter);
  }
  void ShowBalloon(std::string_view, std::string_view text) override { Line(text); }
  void Terminate() override { Terminated = true; }
  void ShowError(std::string_view message) override {
    Failed = true;
    WriteLine(ctx_.Err, message);
  }

  void Line(std::string_view text) {
    WriteLine(ctx_.Out, FormatDateTime("yyyy-mm-dd hh:nn:ss ", TClock::Now()) + AnsiString(text));
    ctx_.Out.flush();
  }

  bool Running = false;
  TSteady::time_point Due{};
  bool Terminated = false;
  bool Failed = false;

 private:
  TCliContext& ctx_;
  TDeviceLinks& links_;
};

// Waits for the timer; false when the user stopped the watch.
bool WaitForTick(TWatchHost& host, TUserPrompts& prompts) {
  while (TSteady::now() < host.Due) {
    if (prompts.UserBreakPressed()) return false;
    const auto left = host.Due - TSteady::now();
    std::this_thread::sleep_for(std::min<TSteady::duration>(left, std::chrono::milliseconds(100)));
  }
  return !prompts.UserBreakPressed();
}

}  // namespace

int CmdWatch(const std::vector<std::string>& args, TCliContext& ctx) {
  TArgs a(args, {{"port", 1}, {"interval", 1}, {"ticks", 1}, {"once", 0}, {"baud", 1}, {"timeout", 1}});
  a.ExpectAtMost(0);
  if (a.Flag("once") && a.Option("ticks")) throw TUsageError("podaj --once albo --ticks N, nie oba");
  int ticksLimit = a.Flag("once") ? 1 : 0;
  if (auto n = a.IntOption("ticks")) {
    if (*n <= 0) throw TUsageError("--ticks: podaj liczbę dodatnią");
    ticksLimit = *n;
  }

  TConfig config;
  config.Load();
  if (auto s = a.IntOption("interval")) {
    if (*s <= 0) throw TUsageError("--interval: podaj liczbę sekund");
    config.AutoDownloadInteval = *s;
  }
  if (!a.Flag("once")) {
    if (!config.AutoDownload)
      throw EQuorvelError(AnsiString("Automatyczne pobieranie jest wyłączone w konfiguracji (AutoDownload)."_cp));
    if (config.AutoDownloadInteval <= 0)
      throw EQuorvelError(AnsiString("Brak odstępu automatycznego pobierania w konfiguracji (AutoDownloadInteval)."_cp));
  }

  TFPrinter printer(&ctx.Prompts);
  printer.Config = &config;
  ApplyLinkSettings(config, printer);
  if (auto port = a.Option("port")) printer.PortName = Utf8ToCp1250(*port);
  if (Trim(printer.PortName).empty()) throw TUsageError("podaj --port P albo ustaw PortName w konfiguracji");
  if (auto baud = a.IntOption("baud")) {
    if (*baud <= 0) throw TUsageError("--baud: niepoprawna prędkość");
    printer.COMPort.SetBaudValue(static_cast<uint32_t>(*baud));
  }
  TR5Device reg(&ctx.Prompts);
  TDeviceLinks links{printer, reg};
  if (auto t = a.IntOption("timeout")) {
    if (*t <= 0) throw TUsageError("--timeout: niepoprawny czas");
    printer.COMPort.RdTimeout = printer.COMPort.WrTimeout = *t;
    printer.PacketTimeout = *t;
    links.Limits.FrameStartTimeout = links.Limits.FrameRestTimeout = *t;
    reg.ReplyTimeout = *t;
    reg.Comm.RdTimeout = reg.Comm.WrTimeout = *t;
    reg.SilentRegisterWait = std::min(reg.SilentRegisterWait, *t);
  }

  TWatchHost host(ctx, links);
  TAutoDownload download(config, host);
  int ticks = 0;
  bool failed = false;
  if (a.Flag("once")) {
    host.Running = true;
    host.Due = TSteady::now();
  } else {
    download.ArmAutoDownloadTimer();
  }
  while (host.Running && !host.Terminated) {
    if (!WaitForTick(host, ctx.Prompts)) break;
    host.Failed = false;
    download.Tick();
    ++ticks;
    failed = failed || host.Failed;
    if (!download.LastTickDownloaded())
      host.Line("Pominięto: przed godziną "_cp + FormatDateTime("hh:nn", config.DownloadAfterTime));
    else if (!download.LastTickFoundNewData() && !host.Failed)
      host.Line("Brak nowych danych");
    if (ticksLimit > 0 && ticks >= ticksLimit) break;
  }
  // A counted run reports whether its downloads worked; an endless one is ended by the user.
  return ticksLimit > 0 && failed ? 1 : 0;
}

}  // namespace quorvel::cli
