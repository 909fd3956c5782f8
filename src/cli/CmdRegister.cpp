// `register info --port P`: the cash register's unique number, model name and NIP, asked for as
// an import asks for them.
#include <sstream>

#include "base/Errors.h"
#include "base/TextUtils.h"
#include "cli/Commands.h"
#include "links/DADCommDevices.h"
#include "links/R5Devices.h"

namespace quorvel::cli {

namespace {

// A time-out option in milliseconds; a usage error when it is not a positive number.
void TimeoutOption(const TArgs& a, std::string_view name, int32_t& target) {
  if (const auto v = a.IntOption(name)) {
    if (*v <= 0) throw TUsageError("--" + std::string(name) + " wymaga dodatniej liczby milisekund");
    target = *v;
  }
}

}  // namespace

int CmdRegister(const std::vector<std::string>& args, TCliContext& ctx) {
  TArgs a(args, {{"port", 1}, {"baud", 1}, {"json", 0}, {"read-timeout", 1}, {"silence-wait", 1},
                 {"reply-timeout", 1}});
  const std::string& what = a.Required(0, "info");
  a.ExpectAtMost(1);
  if (what != "info") throw TUsageError("nieznane polecenie register " + what);
  const auto port = a.Option("port");
  if (!port) throw TUsageError("brak --port");
  AnsiString portName;
  if (!NormalizePortName(*port, portName)) throw TUsageError("błędna nazwa portu " + *port);

  TR5Device link(&ctx.Prompts);
  link.Comm.SetPortName(portName);
  if (const auto baud = a.IntOption("baud")) {
    TMPXCommBaudRate rate;
    if (*baud <= 0 || !BaudRateOf(static_cast<uint32_t>(*baud), rate)) throw TUsageError("nieobsługiwana prędkość");
    link.Comm.SetBaudRate(rate);
  }
  TimeoutOption(a, "read-timeout", link.Comm.RdTimeout);
  link.Comm.WrTimeout = link.Comm.RdTimeout;
  TimeoutOption(a, "silence-wait", link.SilentRegisterWait);
  TimeoutOption(a, "reply-timeout", link.ReplyTimeout);

  if (link.Request(63) == 0) throw EQuorvelError(AnsiString("Nie można odczytać numeru unikatowego"_cp));
  const AnsiString uniqueNo = link.GetField(63, 0, 108);

  // A register that does not know the status packet but gives its software version is a Tesmo.
  AnsiString model;
  if (link.Request(52, "", "", false, false) > 0) {
    model = link.GetField(52, 0, 2);
  } else {
    link.Request(51, "", "", false, false);
    link.GetField(51, 0, 57);  // no reply to either: "Błędny index odebranego pakietu"
    model = "Tesmo";
  }

  if (link.Request(17, "0", "0") == 0) throw EQuorvelError(AnsiString("Nie można odczytać numeru NIP"_cp));
  const AnsiString nip = link.GetField(17, 0, 1);

  if (a.Flag("json")) {
    WriteJsonLine(ctx.Out, json{{"UniqueNo", JsonText(uniqueNo)}, {"Model", JsonText(model)}, {"NIP", JsonText(nip)}});
  } else {
    WriteLine(ctx, "UniqueNo: " + uniqueNo);
    WriteLine(ctx, "Model: " + model);
    WriteLine(ctx, "NIP: " + nip);
  }
  return 0;
}

}  // namespace quorvel::cli
