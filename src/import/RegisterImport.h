// Reading a cash register of the R5 family into the archive: its fiscal memory as record files,
// daily report texts, the periodic report and the device descriptor; its electronic copy as the
// card files and one file per daily report assembled from the register's packets.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/Cp1250.h"

namespace quorvel {

class TR5Device;
class TPrintoutsBrowser;

// The device values that the model name of the status reply selects: compared as received,
// letter case and leading blanks included, without the blanks that pad it to ten characters.
struct TRegisterModel {
  int32_t LineLen = 48;
  bool Extended = true;  // periodic reports with the "#00" records (types 100/101)
};
TRegisterModel RegisterModelOf(std::string_view modelName);
inline constexpr std::string_view kRegisterModelTesmo = "Tesmo";

// The record kind a register's fiscal-memory entry (code 43) becomes, 0 for one that is not stored.
uint8_t RegisterRecordKind(std::string_view registerKind, bool extended);

// The speed part of the transfer message: bytes per second in "%10.2f" with the Polish decimal
// comma, followed by " B/sec".
AnsiString RegisterSpeedText(int64_t bytes, unsigned long long elapsedMs);

// The fiscal memory of the browser's range. A unique number or NIP that cannot be read is
// reported through OnProgress and ends the import without files; link errors reach the caller.
void ImportRegisterFiscalMemory(TPrintoutsBrowser& browser, TR5Device& link);

// The card files and the electronic-copy files of the browser's range. Each file is written
// whole once its last packet has arrived; a name that would leave the device directory is refused.
void ImportRegisterECopy(TPrintoutsBrowser& browser, TR5Device& link);

// One named file of the register's electronic-copy card into `localPath`. False on any failure
// (nothing raised); the file at `localPath` is then left as it was.
bool DownloadCardFile(TPrintoutsBrowser& browser, TR5Device& link, std::string_view fileName,
                      const std::string& localPath);

}  // namespace quorvel
