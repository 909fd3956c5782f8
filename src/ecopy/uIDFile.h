// The card identification files "idhist.txt" (every closed medium of the electronic copy) and
// "id.txt" (the medium in use): signed blocks of labelled lines, read into one entry per medium.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

#include "archive/uDailyRecord.h"
#include "base/Amount.h"
#include "base/Cp1250.h"
#include "base/DateTime.h"

namespace quorvel {

// The two amounts of one rate line.
struct TRateAmounts {
  TAmount First;
  TAmount Second;
  bool operator==(const TRateAmounts&) const = default;
};
using TRateAmountsList = std::array<TRateAmounts, kRateSlots>;

// One medium.
class TIDFileRecord {
 public:
  int32_t CardLabel = 0;
  AnsiString UniqueNo;
  TDateTime OpenedAt = 0;
  TDateTime ReportDateFrom = 0, ReportDateTo = 0;
  int32_t ReportNoFrom = 0, ReportNoTo = 0;
  TDateTime PrintoutDateFrom = 0, PrintoutDateTo = 0;
  int32_t PrintoutNoFrom = 0, PrintoutNoTo = 0;
  TDateTime ReceiptDateFrom = 0, ReceiptDateTo = 0;
  int32_t ReceiptNoFrom = 0, ReceiptNoTo = 0;
  TDateTime InvoiceDateFrom = 0, InvoiceDateTo = 0;
  int32_t InvoiceNoFrom = 0, InvoiceNoTo = 0;
  TDateTime ClosedAt = 0;
  TRateAmountsList RateAmounts1{};
  TRateAmountsList RateAmounts2{};
  AnsiString FileName, FileContent, FileVersion, DeviceType;
  int32_t LineSize = 0;
  AnsiString Device, ECopyVersion, ECopyMedium;
  TDateTime CreatedAt = 0;
  int32_t HeaderSize = 0;
  AnsiString SignatureN, SignatureNP;
};

// Bounds of the closing entry, the medium still open in the device.
inline constexpr int32_t kLastReportNo = 2143;
inline constexpr TDateTime kSmallestDateTime = -657434.0;   // 1 January 100, 00:00
inline constexpr TDateTime kLargestDateTime = 2958465.99999;  // 31 December 9999, 23:59:59.999

class TIDFileReader {
 public:
  TIDFileReader() = default;
  TIDFileReader(const TIDFileReader&) = delete;
  TIDFileReader& operator=(const TIDFileReader&) = delete;

  // Reads a history file (append false) or a current-medium file (append true) and adds its
  // entries and a closing entry to Entries. False when the file fails (Entries is then empty,
  // earlier loads included) or lists no media; never raises.
  bool LoadFromFile(const std::filesystem::path& path, bool append);
  // The same over the file's bytes already in memory.
  bool LoadFromText(std::string_view bytes, bool append);

  int Count() const { return static_cast<int>(Entries.size()); }
  // The entry at `index` (0-based), or nullptr outside 0..Count-1.
  TIDFileRecord* Items(int index) const;

  AnsiString FileName, FileContent, FileVersion, DeviceType;
  int32_t LineSize = 0;
  AnsiString Device, UniqueNo, ECopyVersion, ECopyMedium;
  TDateTime CreatedAt = 0;
  int32_t HeaderSize = 0;
  int32_t ListOffset = 0;
  int32_t ListCount = 0;
  int32_t ListItemSize = 0;
  int32_t ListLabelSize = 0;
  int32_t ListSize = 0;
  AnsiString SignatureN, SignatureNP;
  std::vector<std::unique_ptr<TIDFileRecord>> Entries;
  // Why the last load failed (empty after a success), for a caller that wants to tell.
  AnsiString LastError;

 private:
  class TLineReader;
  void ReadEntry(TLineReader& in);

  AnsiString signedText_;
  bool collecting_ = false;
};

}  // namespace quorvel
