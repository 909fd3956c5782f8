// Rebuilds the fiscal records of a day from the daily-report printout of the electronic copy,
// and reads a few facts (unique number, control number, line width) from a printout file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>
#include <vector>

#include "archive/PrintoutScanner.h"
#include "archive/uDailyRecord.h"
#include "base/Amount.h"
#include "base/Cp1250.h"

namespace quorvel {

class TReceipt;

// The value rules of printout lines, shared with the receipt model.
//
// From the end of the trimmed line, the longest run of digits, "." and ","; a run with more
// than one separator raises EConvertError "Currency format exception", an empty run or one
// that is no number raises EConvertError with a Polish message.
TAmount NumericTail(std::string_view line);
// From the end of the trimmed line, the longest run of digits; a line made only of digits
// gives an empty text, as the device files have always been read.
AnsiString TrailingDigits(std::string_view line);
// "hh:mm" (the rest of the text ignored) as a time of day; EConvertError "Zły format czasu"
// when there is no ":" or the parts are no time.
TDateTime ParseTimeHm(std::string_view text);

class TDailyReportExtractor {
 public:
  using TRecordCallback = std::function<void(const RFMRecord&)>;

  explicit TDailyReportExtractor(TRecordCallback onRecord = {}) : OnRecord(std::move(onRecord)) {}

  // Parses one daily-report printout file: delivers the event records through OnRecord as it
  // goes and returns the daily record (kind 2). `firstFile` is true for the first file of a
  // range and for single use; it delivers the opening rates as a kind-6 record first.
  // Raises EQuorvelError (or a subclass) with a Polish message on a file it cannot read.
  RFMRecord ExtractDailyReport(const std::filesystem::path& fileName, bool firstFile);
  // The same over the file's text already in memory.
  RFMRecord ExtractDailyReportText(std::string_view text, bool firstFile);

  // The text after " »" on the last line holding it from character 2, without spaces.
  AnsiString ReadUniqueNo(const std::filesystem::path& fileName);
  // The text before "¬" on the last line holding it from character 2, without spaces; a number
  // printed over consecutive "¬" lines is joined.
  AnsiString ReadControlNo(const std::filesystem::path& fileName);
  // The width scan over the last eight lines; also kept in LineLen.
  int32_t ReadLineLen(const std::filesystem::path& fileName);

  // Splits one electronic-copy file into printouts and calls `callback` for each row the
  // criteria produce; `receipt` (when given) is filled with the last printout entered and
  // `lines` receives the lines of the entered printouts. True when a row was produced or the
  // scan stopped at a first match. `buffer` may be given to reuse its memory from file to file.
  bool ScanPrintouts(const TSearchRec& criteria, const std::filesystem::path& fileName, const TRcpCallback& callback,
                     TReceipt* receipt = nullptr, std::vector<AnsiString>* lines = nullptr,
                     std::string* buffer = nullptr) const;

  static AnsiString UniqueNoOf(const std::vector<std::string_view>& lines);
  static AnsiString ControlNoOf(const std::vector<std::string_view>& lines);
  int32_t WidthScan(const std::vector<std::string_view>& lines);

  TRecordCallback OnRecord;
  // The printout width found by the last width scan; 48, the formatter's own default, until a
  // scan has found one, so that a short file never leaves a width of 0 behind.
  int32_t LineLen = 48;

 private:
  void Deliver(const RFMRecord& record) const {
    if (OnRecord) OnRecord(record);
  }
};

}  // namespace quorvel
