// The fiscal record: one fixed-shape record for every fiscal-memory entry, and its record file.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/Cp1250.h"
#include "base/DateTime.h"

namespace quorvel {

// Seven VAT rate slots, lettered A to G.
inline constexpr int kRateSlots = 7;
using TRateTexts = std::array<AnsiString, kRateSlots>;

// Record kinds.
enum : uint8_t {
  kKindDailyShort = 1,
  kKindDaily = 2,
  kKindDailyExtra = 4,
  kKindDailyLong = 5,
  kKindRateChange = 6,
  kKindRamReset = 7,
  kKindPrinterSkipped8 = 8,
  kKindCurrencyChange = 10,
  kKindPrinterSkipped11 = 11,
  kKindCurrencyNoDate = 12,
  kKindMediumClosing = 13,
  kKindFiscalEnd = 14,
  kKindDailyCumulative = 15,
  kKindDailyPharmacy = 16,
};

// Kinds 2, 15 and 16 count as daily reports wherever daily reports are listed or counted.
inline bool IsDailyReportKind(uint8_t kind) {
  return kind == kKindDaily || kind == kKindDailyCumulative || kind == kKindDailyPharmacy;
}

// Rate classes of a slot over a range.
enum : uint8_t { kRateUnused = 0, kRateTaxable = 1, kRateExempt = 2, kRateMixed = 3, kRateZero = 4 };

struct RFMStats {
  TDateTime FirstDate = 0;
  TDateTime LastDate = 0;
  int32_t FirstNo = 0;
  int32_t LastNo = 0;
  TRateTexts RatesInForce;
  std::array<uint8_t, kRateSlots> RateClasses{};  // in memory only, never stored

  bool operator==(const RFMStats&) const = default;
};

struct RFMCurrency {
  AnsiString Name;
  TDateTime StartDate = 0;
  TDateTime ChangeDate = 0;

  bool operator==(const RFMCurrency&) const = default;
};

struct RFMRecord {
  uint8_t Kind = 0;
  RFMStats Stats;
  RFMCurrency Currency;
  std::array<AnsiString, 6> HeaderTokens;
  AnsiString ReceiptCount;
  AnsiString InvoiceCount;
  AnsiString VoidCount;
  AnsiString PrinterText1;
  AnsiString VoidValue;
  AnsiString PrinterText2;
  TRateTexts Gross;
  TRateTexts InvoiceGross;
  TRateTexts InvoiceNet;
  TRateTexts Net;
  TRateTexts Rates;
  AnsiString SpareText;
  TRateTexts CumVat;
  TRateTexts CumInvoiceVat;
  AnsiString InvoiceVatTotal;
  AnsiString InvoiceGrossTotal;
  AnsiString ResetKind;
  AnsiString ResetNo;
  AnsiString ResetCount;
  AnsiString GoodsNotCleared;
  AnsiString SpareText2;
  AnsiString SpareText3;
  AnsiString GoodsChanged;
  AnsiString Number;
  AnsiString PrintoutNumber;
  AnsiString PrinterText3;
  AnsiString PrinterText4;
  AnsiString PrinterText5;
  AnsiString DeviceText1;
  AnsiString DeviceText2;
  AnsiString DeviceText3;
  AnsiString PrinterText6;
  AnsiString PrinterText7;
  AnsiString VatTotal;
  AnsiString GrossTotal;
  AnsiString CumGross;
  AnsiString CumVatTotal;
  AnsiString CumInvoiceGross;
  AnsiString CumInvoiceVatTotal;
  TDateTime Date = 0;
  std::array<AnsiString, 4> SpareTexts;
  int32_t MediumNo = 0;
  TDateTime MediumClosedAt = 0;
  std::array<int32_t, kRateSlots> TaxSchemes{};
  int32_t PricingCount = 0;
  int32_t VoidPricingCount = 0;
  AnsiString FeesTotal;

  bool operator==(const RFMRecord&) const = default;
};

// The object form of one record, held in owning lists.
class TFiscalRecord {
 public:
  explicit TFiscalRecord(const RFMRecord& record) : Record(record) {}
  RFMRecord Record;
};
using TFiscalRecordList = std::vector<std::unique_ptr<TFiscalRecord>>;

// Reads a record file into `record`. Values a shorter, older layout lacks keep what `record`
// held before. Raises EFileError when the file cannot be opened and EReadError on a value
// with an unexpected tag or a file that ends inside a value (the record is then partly filled).
void ReadRecordFile(const std::filesystem::path& file, RFMRecord& record);
// The same over bytes already in memory; `name` only goes into the error message.
void ReadRecordBytes(std::string_view bytes, RFMRecord& record, std::string_view name = {});

// Writes the whole record in the newest layout; texts longer than 255 bytes are cut.
// The file is replaced at once, never left half-written. Raises EFileError on failure.
void WriteRecordFile(const std::filesystem::path& file, const RFMRecord& record);
// The bytes WriteRecordFile writes.
std::string EncodeRecord(const RFMRecord& record);

// "%4.4d.fmr" of a 1-based position.
std::string RecordFileName(int position);

}  // namespace quorvel
