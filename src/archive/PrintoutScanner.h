// Splitting an electronic-copy file into printouts (receipts, pharmacy receipts, invoices) and
// matching each printout against the search criteria.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/Cp1250.h"
#include "base/DateTime.h"

namespace quorvel {

// Printout kinds.
enum : int32_t { kPrintoutReceipt = 1, kPrintoutInvoice = 2, kPrintoutPharmacy = 4 };
// DocKind values beyond the single kinds.
enum : int32_t { kDocKindReceipts = 5, kDocKindAll = 255 };

// The "Type" text of a printout kind: anything but 1 and 4 is listed as an invoice.
std::string_view PrintoutTypeText(int32_t kind);

// One goods criterion: a name and an optional tax letter. The goods list of the browser's
// "Zawiera Towary:" grid is handed over as a list of these.
struct TSearchItem {
  AnsiString Name;
  AnsiString TaxLetter;  // empty: any letter
};

struct TSearchRec {
  int32_t PrintoutNoFrom = -1;
  int32_t PrintoutNoTo = -1;
  int32_t DocNoFrom = -1;
  int32_t DocNoTo = -1;
  int32_t DocKind = kDocKindAll;
  AnsiString Text;
  AnsiString TaxLetter;
  TDateTime DateFrom = 0;
  TDateTime DateTo = 0;
  bool StopAtFirst = false;
  std::vector<TSearchItem> Items;

  // A range with both bounds unset is no criterion; an unset lower bound means 0 (the earliest
  // date), an unset upper bound no limit.
  bool HasPrintoutRange() const { return PrintoutNoFrom != -1 || PrintoutNoTo != -1; }
  bool HasDocRange() const { return DocNoFrom != -1 || DocNoTo != -1; }
  bool HasDateRange() const { return DateFrom != 0 || DateTo != 0; }
  bool InPrintoutRange(int32_t n) const;
  bool InDocRange(int32_t n) const;
  bool InDateRange(TDateTime d) const;  // date parts only
};

// What the scanner hands over for each row.
struct TRcpData {
  AnsiString FileName;
  int32_t StartLine = 0;
  int32_t EndLine = 0;
  int32_t PrintoutNo = 0;
  TDateTime DateTime = 0;
  int32_t DocNo = 0;
  int32_t Kind = 0;
};

// Called once per produced row with the line on which a criterion matched (or the start line).
using TRcpCallback = std::function<void(const TRcpData& record, int32_t line)>;

// Receives the printout the scanner enters: the receipt model implements it (the archive does
// not know the model). BeginPrintout comes when a printout opens, with its kind and, for
// receipt-like kinds, the date of the line after the opening line (0 for invoices);
// PrintoutLine comes for each examined line inside the printout, in order.
class TPrintoutSink {
 public:
  virtual ~TPrintoutSink() = default;
  virtual void BeginPrintout(int32_t kind, TDateTime date) = 0;
  virtual void PrintoutLine(std::string_view line) = 0;
};

// Scans one electronic-copy file held in memory. `fileName` goes into the rows. Returns true
// when at least one row was produced or the scan stopped at a first match. Raises
// EConvertError when an opening line is not followed by a line ending in the printout number,
// and whatever the sink raises (a receipt item without a quantity).
bool ScanPrintoutText(const TSearchRec& criteria, std::string_view text, std::string_view fileName,
                      const TRcpCallback& callback, TPrintoutSink* receipt = nullptr,
                      std::vector<AnsiString>* lines = nullptr);

// Reads the file once and scans it; EFileError when it cannot be read. `buffer` may be given to
// reuse its memory from file to file.
bool ScanPrintouts(const TSearchRec& criteria, const std::filesystem::path& file, const TRcpCallback& callback,
                   TPrintoutSink* receipt = nullptr, std::vector<AnsiString>* lines = nullptr,
                   std::string* buffer = nullptr);

// Reads a whole file into `buffer` with one read; EFileError when it cannot be read.
void ReadWholeFile(const std::filesystem::path& file, std::string& buffer);

}  // namespace quorvel
