// `import`: an import as the wizard runs it. The device link is opened on the given port, a
// browser is filled by LoadSource with the device's data, and its periodic report is printed.
// Progress goes to standard error: a bar on a terminal, one message a line otherwise.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>

#include "archive/QVDDeviceInfo.h"
#include "archive/uConfig.h"
#include "base/Errors.h"
#include "base/TextUtils.h"
#include "cli/Commands.h"
#include "import/DeviceLink.h"
#include "import/TPrintoutsBrowser.h"
#include "links/FiscalPrinter.h"
#include "links/R5Devices.h"

namespace quorvel::cli {

namespace {

TDateTime DateArg(const std::string& text) {
  TDateTime d = 0;
  if (text.size() != 10 || !TryParseDmy(text, d)) throw TUsageError("niepoprawna data (dd-mm-yyyy): " + text);
  return d;
}

uint8_t SourceKindOf(const std::string& device, const std::string& data) {
  if (data != "ecopy" && data != "fm") throw TUsageError("nieznany rodzaj danych: " + data + " (ecopy albo fm)");
  const bool ecopy = data == "ecopy";
  if (device == "printer") return ecopy ? skPrinterECopy : skPrinterFiscalMemory;
  if (device == "register") return ecopy ? skRegisterECopy : skRegisterFiscalMemory;
  if (device == "taxi") {
    if (ecopy) throw TUsageError("taksometr ma tylko pamięć fiskalną (--data fm)");
    return skTaxi;
  }
  if (device == "card") {
    if (!ecopy) throw TUsageError("karta pamięci zawiera kopię elektroniczną (--data ecopy)");
    return skCardDirectory;
  }
  throw TUsageError("nieznane urządzenie: " + device + " (printer, register, taxi albo card)");
}

// The progress on standard error: a bar that is redrawn on a terminal, plain lines otherwise.
class TProgressView {
 public:
  TProgressView(std::ostream& err, bool terminal, bool quiet) : err_(err), terminal_(terminal), quiet_(quiet) {}
  ~TProgressView() { Finish(); }

  void Message(std::string_view fileName, std::string_view message, int count) {
    if (quiet_) return;
    AnsiString text(message.empty() ? fileName : message);
    if (count > 0) text += Format("   powtórzenia: %d", count);
    if (terminal_) {
      last_ = text;
      Draw();
      return;
    }
    // Speed messages come with every packet; a log needs a few of them, the rest are kept back.
    const bool packet = message.substr(0, 6) == "Plik: ";
    const auto now = std::chrono::steady_clock::now();
    if (packet && now - lastPacketLine_ < std::chrono::seconds(1)) return;
    if (packet) lastPacketLine_ = now;
    WriteLine(err_, text);
    err_.flush();
  }

  void Position(int position, int maximum) {
    position_ = position;
    maximum_ = maximum;
    if (!quiet_ && terminal_) Draw();
  }

  void Finish() {
    if (drawn_) err_ << "\n";
    drawn_ = false;
    err_.flush();
  }

 private:
  void Draw() {
    constexpr int kWidth = 30;
    int filled = 0;
    if (maximum_ > 0) filled = std::clamp(position_ * kWidth / maximum_, 0, kWidth);
    AnsiString line = "[" + AnsiString(static_cast<std::size_t>(filled), '#') +
                      AnsiString(static_cast<std::size_t>(kWidth - filled), ' ') + "] " + last_;
    if (line.size() > 100) line.resize(100);
    err_ << "\r\x1b[K";
    WriteText(err_, line);
    err_.flush();
    drawn_ = true;
  }

  std::ostream& err_;
  bool terminal_, quiet_;
  bool drawn_ = false;
  AnsiString last_;
  int position_ = 0, maximum_ = 0;
  std::chrono::steady_clock::time_point lastPacketLine_{};
};

}  // namespace

int CmdImport(const std::vector<std::string>& args, TCliContext& ctx) {
  TArgs a(args, {{"device", 1},  {"data", 1},    {"port", 1},      {"numbers", 2}, {"dates", 2},
                 {"new", 0},     {"all", 0},     {"other-device", 1}, {"source", 1}, {"summary", 0},
                 {"baud", 1},    {"timeout", 1}, {"packet-wait", 1}});
  a.ExpectAtMost(0);
  const auto device = a.Option("device");
  if (!device) throw TUsageError("podaj --device printer|register|taxi|card");
  const uint8_t kind = SourceKindOf(*device, a.Option("data").value_or(*device == "taxi" ? "fm" : "ecopy"));

  // The range, as the wizard's pages set it.
  const auto numbers = a.Values("numbers");
  const auto dates = a.Values("dates");
  const int ranges = !numbers.empty() + !dates.empty() + a.Flag("new") + a.Flag("all");
  if (ranges > 1) throw TUsageError("podaj jeden zakres: --numbers, --dates, --new albo --all");

  TConfig config;
  config.Load();
  TFPrinter printer(&ctx.Prompts);
  printer.Config = &config;
  ApplyLinkSettings(config, printer);
  TR5Device reg(&ctx.Prompts);
  TDeviceLinks links{printer, reg};
  if (auto baud = a.IntOption("baud")) {
    if (*baud <= 0) throw TUsageError("--baud: niepoprawna prędkość");
    printer.COMPort.SetBaudValue(static_cast<uint32_t>(*baud));
  }
  // The waits for the device's answers (the program's own waits are much longer): --timeout for
  // the replies to commands, --packet-wait for each packet of a transfer (default: the same).
  if (auto t = a.IntOption("timeout")) {
    if (*t <= 0) throw TUsageError("--timeout: niepoprawny czas");
    printer.COMPort.RdTimeout = printer.COMPort.WrTimeout = *t;
    printer.PacketTimeout = *t;
    links.Limits.FrameStartTimeout = links.Limits.FrameRestTimeout = *t;
    links.TaxiTimeout = *t;
    reg.ReplyTimeout = *t;
    reg.Comm.RdTimeout = reg.Comm.WrTimeout = *t;
    reg.SilentRegisterWait = std::min(reg.SilentRegisterWait, *t);
  }
  if (auto t = a.IntOption("packet-wait")) {
    if (*t <= 0) throw TUsageError("--packet-wait: niepoprawny czas");
    printer.PacketTimeout = *t;
    links.Limits.FrameStartTimeout = links.Limits.FrameRestTimeout = *t;
  }

  TPrintoutsBrowser b(ctx.Prompts);
  b.ArchiveRootDir = ArchiveRoot(config);
  b.SourceKind = kind;
  b.ViewType = a.Flag("summary") ? TViewType::Summary : TViewType::FullData;
  b.ImportAll = true;
  if (!numbers.empty()) {
    int32_t from = 0, to = 0;
    if (!TryStrToInt(numbers[0], from) || !TryStrToInt(numbers[1], to) || from < 0 || to < from)
      throw TUsageError("--numbers wymaga dwóch liczb A <= B");
    b.ImportAll = false;
    b.ByNumber = true;
    b.FromNo = from;
    b.ToNo = to;
  } else if (!dates.empty()) {
    b.ImportAll = false;
    b.ByNumber = false;
    b.FromDate = DateArg(dates[0]);
    b.ToDate = DateArg(dates[1]);
    if (b.ToDate < b.FromDate) throw TUsageError("--dates: data końcowa przed początkową");
    b.FromNo = 0;
    b.ToNo = kHighestReportNo;  // a reading by dates is not cut short by a report number
  } else if (a.Flag("new")) {
    // As the automatic download asks for new data.
    b.NewOnly = true;
    b.ImportAll = false;
    b.ByNumber = true;
    b.FromNo = 0;
    b.ToNo = kHighestReportNo;
  }
  if (kind == skCardDirectory) {
    const auto source = a.Option("source");
    if (!source) throw TUsageError("--device card wymaga --source KATALOG (katalog urządzenia na karcie)");
    b.SourceDir = PathArg(*source);
    if (!std::filesystem::is_directory(b.SourceDir)) throw EQuorvelError("Brak katalogu "_cp + Utf8ToCp1250(b.SourceDir));
  } else if (auto other = a.Option("other-device")) {
    if (kind != skPrinterECopy) throw TUsageError("--other-device dotyczy kopii elektronicznej z drukarki");
    const AnsiString unique = DeviceNameOf(Utf8ToCp1250(*other));
    if (unique.size() != 11) throw TUsageError("--other-device: numer unikatowy ma 11 znaków");
    b.SourceDir = unique;
  }

  TProgressView view(ctx.Err, ctx.ErrIsTerminal, ctx.Quiet);
  b.OnProgress = [&view](TPrintoutsBrowser&, std::string_view file, std::string_view message, int count) {
    view.Message(file, message, count);
  };
  b.OnPosition = [&view](TPrintoutsBrowser&, int position, int maximum) { view.Position(position, maximum); };

  if (kind != skCardDirectory) {
    AnsiString port = a.Option("port") ? Utf8ToCp1250(*a.Option("port")) : config.PortName;
    if (Trim(port).empty()) throw TUsageError("podaj --port P (port szeregowy lub kanał koncentratora)");
    const bool isPrinter = kind != skRegisterFiscalMemory && kind != skRegisterECopy;
    if (!OpenDeviceLink(printer, reg, port, isPrinter))
      throw EQuorvelError("Nie można połączyć się z urządzeniem przez port "_cp + port);
    AttachDeviceLinks(b, links);
  }
  b.LoadSource();
  view.Finish();

  for (const auto& line : b.RangeReportMemo) WriteLine(ctx, line);
  return 0;
}

}  // namespace quorvel::cli
