// The device side of the browser's imports: opening the one port setting that both device links
// share, storing it in the configuration, reading a device's unique number for the browser, and
// handing a device source over to the import of its kind.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/Cp1250.h"
#include "import/PrinterImport.h"

namespace quorvel {

class TConfig;
class TFPrinter;
class TR5Device;
class TPrintoutsBrowser;

// The long-lived links an import reaches, and the transfer limits it uses.
struct TDeviceLinks {
  TFPrinter& Printer;
  TR5Device& Register;
  TPrinterTransferLimits Limits{};
  int32_t TaxiTimeout = 6000;  // how long the taxi meter may stay silent in each read
};

// Prepares the link of the next import. The printer link's port name and serial settings are
// the master copy; the register link is configured from them. False when nothing could be
// opened (the links show their own messages); a register is tested rather than kept open.
bool OpenDeviceLink(TFPrinter& printer, TR5Device& reg, std::string_view portName, bool isPrinter);

// The configuration's port name and speed into the printer link (the seven speeds
// 9600..115200 only; any other leaves the link's speed as it is).
void ApplyLinkSettings(const TConfig& config, TFPrinter& printer);
// The printer link's port name, speed (the seven speeds only), hub channel number and name, and
// `lastDir` into the configuration. The file itself is not written here.
void StoreLinkSettings(const TFPrinter& printer, TConfig& config, std::string_view lastDir);

// The unique number of the browser's device source. For a printer the status byte's bit 3
// decides the browser's KeepFirstChar. A register that does not answer gives an empty text.
AnsiString QueryDeviceUniqueNo(TPrintoutsBrowser& browser, TDeviceLinks& links);
// The import of the browser's device source kind. A kind whose import is not part of this
// build raises an error saying so.
void ImportFromDevice(TPrintoutsBrowser& browser, TDeviceLinks& links);
// Makes the browser reach its devices through `links` (which must outlive the browser's loading).
void AttachDeviceLinks(TPrintoutsBrowser& browser, TDeviceLinks& links);

}  // namespace quorvel
