#include <filesystem>

#include "archive/uConfig.h"
#include "base/Errors.h"
#include "base/TextUtils.h"
#include "cli/Commands.h"
#include "links/FiscalPrinter.h"

namespace quorvel::cli {

namespace {

// Opens the printer link as the windows do; the link has already told the user why it failed.
bool OpenPrinter(TFPrinter& printer, TConfig& config, const TArgs& a, TCliContext& ctx) {
  config.Load();
  printer.SetPrompts(&ctx.Prompts);
  printer.Config = &config;
  if (auto baud = a.IntOption("baud")) {
    if (*baud <= 0) throw TUsageError("--baud: niepoprawna prędkość");
    printer.COMPort.SetBaudValue(static_cast<uint32_t>(*baud));
  } else if (config.PortSpeed > 0) {
    printer.COMPort.SetBaudValue(static_cast<uint32_t>(config.PortSpeed));
  }
  if (auto t = a.IntOption("timeout")) {
    if (*t <= 0) throw TUsageError("--timeout: niepoprawny czas");
    printer.COMPort.RdTimeout = *t;
    printer.COMPort.WrTimeout = *t;
    printer.HubReadTimeout = *t;
    printer.PacketTimeout = *t;
  }
  return printer.OpenPort(Utf8ToCp1250(*a.Option("port")));
}

int Info(const std::vector<std::string>& args, TCliContext& ctx) {
  TArgs a(args, {{"port", 1}, {"json", 0}, {"baud", 1}, {"timeout", 1}});
  a.ExpectAtMost(0);
  if (!a.Option("port")) throw TUsageError("brak --port");
  TConfig config;
  TFPrinter printer;
  if (!OpenPrinter(printer, config, a, ctx)) return 1;
  printer.SetErrorHandling(1);
  const AnsiString unique = printer.ReadUniqueNumber();
  const AnsiString version = printer.ReadVersion();
  const int status = printer.SendControlByte(5);
  printer.ClosePort();
  if (a.Flag("json")) {
    WriteJsonLine(ctx.Out, json{{"UniqueNo", JsonText(unique)}, {"Version", JsonText(version)}, {"Status", status}});
  } else {
    WriteLine(ctx, "UniqueNo: " + unique);
    WriteLine(ctx, "Version: " + version);
    WriteLine(ctx, Format("Status: %d", status));
  }
  return 0;
}

int Download(const std::vector<std::string>& args, TCliContext& ctx) {
  TArgs a(args, {{"port", 1}, {"baud", 1}, {"timeout", 1}});
  const std::string& name = a.Required(0, "NAME");
  const std::string& out = a.Required(1, "OUT");
  a.ExpectAtMost(2);
  if (!a.Option("port")) throw TUsageError("brak --port");
  TConfig config;
  TFPrinter printer;
  if (!OpenPrinter(printer, config, a, ctx)) return 1;
  const bool ok = printer.DownloadFile(Utf8ToCp1250(name), PathArg(out));
  const bool broke = printer.UserBroke;
  printer.ClosePort();
  if (broke) throw EQuorvelError(std::string("Komunikacja została przerwana przez użytkownika."_cp));
  if (!ok) throw EQuorvelError("Nie udało się pobrać pliku "_cp + Utf8ToCp1250(name) + ".");
  std::error_code ec;
  const auto size = std::filesystem::file_size(PathArg(out), ec);
  WriteLine(ctx, Utf8ToCp1250(out) + Format(": %llu B", static_cast<unsigned long long>(ec ? 0 : size)));
  return 0;
}

}  // namespace

int CmdPrinter(const std::vector<std::string>& args, TCliContext& ctx) {
  if (args.empty()) throw TUsageError("brak polecenia: info albo download");
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "info") return Info(rest, ctx);
  if (args[0] == "download") return Download(rest, ctx);
  throw TUsageError("nieznane polecenie drukarki: " + args[0]);
}

}  // namespace quorvel::cli
