// Reading a fiscal printer into the archive: its fiscal memory record by record (record files,
// daily report texts, the periodic report and the device descriptor) and its electronic copy
// file by file and packet by packet (files in their group folders, the card history).
#pragma once

#include <cstdint>
#include <string_view>

#include "base/Cp1250.h"
#include "base/DateTime.h"

namespace quorvel {

class TFPrinter;
class TPrintoutsBrowser;
struct RFMRecord;

// Waits and limits of the electronic-copy transfer. The defaults are the program's; tests
// shorten the waits so that the fault paths run in seconds.
struct TPrinterTransferLimits {
  int32_t FrameStartTimeout = 5000;  // the wait for the start of a packet
  int32_t FrameRestTimeout = 20000;  // the wait for the rest of it
  int32_t FrameTailTimeout = 5;      // the wait for a missing closing "\"
  int32_t MaxFrameLen = 20480;
  int32_t BadFrameLimit = 300;       // bad or missing frames in a row
  int32_t SequenceLimit = 3;         // packets out of sequence (counted with the bad frames)
  int32_t ProgressDelayMs = 500;     // no speed is reported before this much time has passed
};

// The device values that the printer's version text (in upper case) selects.
struct TPrinterModel {
  int32_t LineLen = 44;
  bool HasInvoices = false;
  bool PharmacyVersion = false;
};
TPrinterModel PrinterModelOf(std::string_view upperVersion);

// The date and time of a fiscal-memory record's six header tokens (year - 2000, month, day,
// hour, minute, second). Raises EConvertError for tokens 2..6 that are not numbers and for a
// date or time outside the calendar; a year that is not a number counts as 0.
TDateTime RecordHeaderDate(const RFMRecord& record);

// ABC12345678 -> ABC12345.678: how a request names the copy of another device.
AnsiString CardFieldOf(std::string_view uniqueNo);

// One "@EP" packet of the electronic-copy transfer, taken out of a frame that passed its check code.
struct TECopyPacket {
  int32_t Number = 0;
  int32_t Status = 0;
  AnsiString Name;
  AnsiString Payload;  // unescaped
};
// False when the frame's body does not hold a packet.
bool DecodeECopyPacket(std::string_view frame, TECopyPacket& packet);

// The fiscal-memory import into the browser's archive, file list and report. A unique number
// that is not 11 characters long shows "Brak komunikacji z drukarką" and reads nothing.
void ImportPrinterFiscalMemory(TPrintoutsBrowser& browser, TFPrinter& printer);

// The electronic-copy import. A file is written under a temporary name and takes its place
// only when its last packet has arrived and its header reads; a file cut short by a user break,
// a broken line or a failing header never replaces anything in the archive.
void ImportPrinterECopy(TPrintoutsBrowser& browser, TFPrinter& printer, const TPrinterTransferLimits& limits = {});

}  // namespace quorvel
