// Reading a taxi meter's fiscal memory into the archive: one record file per entry in the
// meter's fiscal-memory directory, and the device descriptor with the meter's NIP.
#pragma once

#include <cstdint>

namespace quorvel {

class TFPrinter;
class TPrintoutsBrowser;
class TTaxiPort;

// Reads the browser's range (ByNumber, FromNo, ToNo, FromDate, ToDate) for its UniqueNo and
// sets SourceDir to the device directory. The archive changes only when the reading ends well:
// the new record files then replace the old ones as a whole. Errors reach the caller.
void ImportTaxiFiscalMemory(TPrintoutsBrowser& browser, TTaxiPort& port);
// The same through the port the printer link has opened.
void ImportTaxiFiscalMemory(TPrintoutsBrowser& browser, TFPrinter& printer, int32_t timeoutMs = 6000);

}  // namespace quorvel
