#include "import/DeviceLink.h"

#include "archive/uConfig.h"
#include "base/Errors.h"
#include "base/TextUtils.h"
#include "import/TPrintoutsBrowser.h"
#include "links/DADCommDevices.h"
#include "links/FiscalPrinter.h"
#include "links/LumoTaxiCommunication.h"
#include "links/R5Devices.h"

#if __has_include("import/RegisterImport.h")
#include "import/RegisterImport.h"
#define QUORVEL_HAS_REGISTER_IMPORT 1
#endif
#if __has_include("import/TaxiImport.h")
#include "import/TaxiImport.h"
#define QUORVEL_HAS_TAXI_IMPORT 1
#endif

namespace quorvel {

namespace {

// The speeds the configuration may name.
constexpr uint32_t kLinkSpeeds[] = {9600, 14400, 19200, 38400, 56000, 57600, 115200};

bool IsLinkSpeed(uint32_t value) {
  for (uint32_t s : kLinkSpeeds)
    if (s == value) return true;
  return false;
}

[[noreturn, maybe_unused]] void NotBuilt(std::string_view what) {
  throw EQuorvelError("Import "_cp + AnsiString(what) + " nie jest dostępny w tej wersji programu."_cp);
}

}  // namespace

bool OpenDeviceLink(TFPrinter& printer, TR5Device& reg, std::string_view portName, bool isPrinter) {
  printer.ClosePort();
  reg.Close();
  const AnsiString name = Trim(portName);
  if (name.empty() || SameText(name, "Brak")) return false;
  printer.PortName = AnsiString(portName);
  const bool opened = printer.OpenPort(portName);
  if (printer.UsesHub) {
    reg.ChannelName = printer.HubChannelName;
    reg.ChannelId = printer.HubChannelNumber;
    reg.SetMode(1);
  } else {
    reg.SetMode(0);
    reg.Comm.SetPortName(printer.COMPort.PortName());
    reg.Comm.SetBaudValue(printer.COMPort.BaudValue());
  }
  if (isPrinter) return opened;
  printer.ClosePort();
  return reg.TestConnection();
}

void ApplyLinkSettings(const TConfig& config, TFPrinter& printer) {
  printer.PortName = config.PortName;
  const uint32_t speed = config.PortSpeed > 0 ? static_cast<uint32_t>(config.PortSpeed) : 0;
  TMPXCommBaudRate rate;
  if (IsLinkSpeed(speed) && BaudRateOf(speed, rate)) printer.COMPort.SetBaudRate(rate);
}

void StoreLinkSettings(const TFPrinter& printer, TConfig& config, std::string_view lastDir) {
  config.PortName = printer.PortName;
  const uint32_t speed = printer.COMPort.BaudValue();
  if (IsLinkSpeed(speed)) config.PortSpeed = static_cast<int>(speed);
  config.ChannelID = printer.HubChannelNumber;
  config.ChannelName = printer.HubChannelName;
  config.LastDir = AnsiString(lastDir);
}

AnsiString QueryDeviceUniqueNo(TPrintoutsBrowser& browser, TDeviceLinks& links) {
  switch (browser.SourceKind) {
    case skPrinterECopy:
    case skPrinterFiscalMemory: {
      const AnsiString number = Trim(links.Printer.ReadUniqueNumber());
      const uint8_t status = links.Printer.SendControlByte(5);
      browser.KeepFirstChar = (status & 8) != 0;
      return number;
    }
    case skRegisterFiscalMemory:
    case skRegisterECopy:
      // A register that does not answer is no error here: its import reads the number again
      // and reports the failure itself.
      try {
        if (links.Register.Request(63) == 0) return {};
        return Trim(links.Register.GetField(63, 0, 108));
      } catch (const std::exception&) {
        return {};
      }
    case skTaxi:
      try {
        TTaxiPrinterPort port(links.Printer);
        port.Timeout = links.TaxiTimeout;
        const AnsiString reply =
            TLumoTaxiComm::Transact(port, TLumoTaxiComm::FrameRequest(TLumoTaxiComm::UniqueNumberRequest()));
        return reply.empty() ? AnsiString() : Trim(TLumoTaxiComm::ParseUniqueNumber(reply));
      } catch (const EQuorvelError&) {
        return {};  // the browser reports a missing number
      }
    default:
      return {};
  }
}

void ImportFromDevice(TPrintoutsBrowser& browser, TDeviceLinks& links) {
  switch (browser.SourceKind) {
    case skPrinterFiscalMemory:
      ImportPrinterFiscalMemory(browser, links.Printer);
      return;
    case skPrinterECopy:
      ImportPrinterECopy(browser, links.Printer, links.Limits);
      return;
    case skRegisterFiscalMemory:
#ifdef QUORVEL_HAS_REGISTER_IMPORT
      ImportRegisterFiscalMemory(browser, links.Register);
      return;
#else
      NotBuilt("z kasy rejestrującej");
#endif
    case skRegisterECopy:
#ifdef QUORVEL_HAS_REGISTER_IMPORT
      ImportRegisterECopy(browser, links.Register);
      return;
#else
      NotBuilt("z kasy rejestrującej");
#endif
    case skTaxi:
#ifdef QUORVEL_HAS_TAXI_IMPORT
      ImportTaxiFiscalMemory(browser, links.Printer, links.TaxiTimeout);
      return;
#else
      NotBuilt("z taksometru");
#endif
    default:
      throw EQuorvelError(AnsiString("Brak numeru unikatowego lub komunikacji"));
  }
}

void AttachDeviceLinks(TPrintoutsBrowser& browser, TDeviceLinks& links) {
  browser.DeviceUniqueNo = [&links](TPrintoutsBrowser& b) { return QueryDeviceUniqueNo(b, links); };
  browser.DeviceImport = [&links](TPrintoutsBrowser& b) { ImportFromDevice(b, links); };
}

}  // namespace quorvel
