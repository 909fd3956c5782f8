// Fiscal records rendered as the device's own fixed-width printouts: the daily reports
// ("RAPORT FISKALNY DOBOWY"), one text file each, and the periodic range report.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/uDailyRecord.h"
#include "base/Amount.h"
#include "reports/uSummary.h"

namespace quorvel {

using TStringList = std::vector<AnsiString>;

// The "no currency change" date: the smallest date of the date arithmetic (1 January 100).
inline constexpr TDateTime kNoChangeDate = -657434.0;

// Rate-text tests; a text that does not convert equals no special value.
bool IsExemptRate(std::string_view rate);
bool IsInactiveRate(std::string_view rate);
bool IsZeroRate(std::string_view rate);
inline bool IsExemptOrZeroRate(std::string_view rate) { return IsExemptRate(rate) || IsZeroRate(rate); }
inline bool IsBlankText(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) > ' ') return false;
  return true;
}

// A strict amount conversion: raises EConvertError with a Polish message.
TAmount StrictAmount(std::string_view text);

// The class of a slot after a rate change: old class, the new rate, the rate text in force.
uint8_t NextRateClass(uint8_t oldClass, std::string_view newRate, std::string_view inForce);

class TDailyReportFormatter {
 public:
  TStringList Lines;
  TStringList PendingLines;
  TFiscalRecordList Records;
  std::vector<std::unique_ptr<TSummary>> Summaries;
  bool FirstRateBlock = false;
  int32_t LineCount = 0;
  bool ReportOpen = false;
  RFMRecord LastRecord;
  std::string RangeFileName;
  std::string DailyDir;
  AnsiString RangeFrom;
  AnsiString RangeTo;
  bool RangeByNumber = false;
  TDateTime CoveredFirstDate = 0;
  TDateTime CoveredLastDate = 0;
  int32_t CoveredFirstNo = 0;
  int32_t CoveredLastNo = 0;
  int32_t ResetRecordCount = 0;
  int32_t LineLen = 48;
  AnsiString NIP;
  AnsiString UniqueNo;
  bool HasTotals = false;
  bool HasInvoices = false;
  bool TaxiVersion = false;
  bool PharmacyVersion = false;

  void Clear();
  void AddRecord(const RFMRecord& record);
  // Brings a rate-change record's in-force texts and classes up to date, in place.
  static void ApplyRateChange(RFMRecord& record);

  // The range report over every record into RangeFileName, then the daily report files.
  void BuildArchiveReports(const std::string& directory, bool detailed);
  // One file "%4.4d.txt" per daily record under DailyDir. Raises EFileError when a file
  // cannot be written; the files written before it stay.
  void WriteDailyReports();

  // Periodic report (uSummary.cpp).
  void SetRange(std::string_view fromText, std::string_view toText, bool byNumber);
  // Raises EConvertError when a limit does not read as a number or date, EFileError when
  // the file cannot be written.
  void BuildRangeReport(bool byNumber, std::string_view fromText, std::string_view toText, bool detailed);

  // Blocks.
  void RenderDailyReport(const RFMRecord& r, bool withRateTable, TDateTime currencyChangeDate,
                         std::string_view currencyName);
  void RenderFooter();
  void RenderRateChange(const RFMRecord& r);
  void RenderRamReset(const RFMRecord& r);
  void RenderMediumClosing(const RFMRecord& r);
  void RenderCurrencyChange(const RFMRecord& r);

  // Line primitives; `pending` writes to PendingLines instead of Lines.
  void AddSeparator(bool pending = false);
  void AddCentred(std::string_view text, bool pending = false);
  void AddLabelValue(std::string_view label, std::string_view value, bool pending = false);
  void AddLabelAmount(std::string_view label, TAmount amount, bool pending = false);
  void AddPlain(std::string_view text, bool pending = false);

  // Gross to net and VAT for a slot; the rate must convert unless the slot is flat-rate.
  void SplitGross(int32_t scheme, std::string_view rate, TAmount gross, TAmount& net, TAmount& vat) const;
  AnsiString RateLabel(int32_t scheme, std::string_view rate) const;
  AnsiString SalesLabel(int slot, int32_t scheme, std::string_view rate, bool invoice) const;
  AnsiString RateLineLabel(int slot, int32_t scheme, std::string_view rate) const;
  AnsiString VatLineLabel(int slot, int32_t scheme) const;

  // The lines as the report files hold them: each line ended by CR LF.
  static std::string JoinLines(const TStringList& lines);
  static void SaveLines(const TStringList& lines, const std::string& file);

 private:
  TStringList& Target(bool pending) { return pending ? PendingLines : Lines; }
  void RenderSummary(int32_t firstNo, int32_t lastNo, TDateTime firstDate, TDateTime lastDate);
  void RenderPeriod(const TSummary& p, int64_t& resets, int64_t& goods);
};

}  // namespace quorvel
