#include "archive/PrintoutScanner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>

#include "archive/LineCursor.h"
#include "archive/PrintoutMarkers.h"
#include "base/Errors.h"
#include "base/FileUtils.h"
#include "base/TextUtils.h"

namespace quorvel {

using namespace markers;
using namespace linecursor;

std::string_view PrintoutTypeText(int32_t kind) {
  switch (kind) {
    case kPrintoutReceipt: return "Paragon";
    case kPrintoutPharmacy: return "Paragon apteczny";
    default: return "Faktura";
  }
}

bool TSearchRec::InPrintoutRange(int32_t n) const {
  const int32_t lo = PrintoutNoFrom == -1 ? 0 : PrintoutNoFrom;
  const int32_t hi = PrintoutNoTo == -1 ? std::numeric_limits<int32_t>::max() : PrintoutNoTo;
  return n >= lo && n <= hi;
}

bool TSearchRec::InDocRange(int32_t n) const {
  const int32_t lo = DocNoFrom == -1 ? 0 : DocNoFrom;
  const int32_t hi = DocNoTo == -1 ? std::numeric_limits<int32_t>::max() : DocNoTo;
  return n >= lo && n <= hi;
}

bool TSearchRec::InDateRange(TDateTime d) const {
  const double lo = DateFrom != 0 ? DateOf(DateFrom) : -std::numeric_limits<double>::infinity();
  const double hi = DateTo != 0 ? DateOf(DateTo) : std::numeric_limits<double>::infinity();
  const double day = DateOf(d);
  return day >= lo && day <= hi;
}

namespace {

// The kinds DocKind admits, in the order they are tried.
std::vector<int32_t> AdmittedKinds(int32_t docKind) {
  switch (docKind) {
    case kPrintoutReceipt: return {kPrintoutReceipt};
    case kPrintoutInvoice: return {kPrintoutInvoice};
    case kPrintoutPharmacy: return {kPrintoutPharmacy};
    case kDocKindReceipts: return {kPrintoutReceipt, kPrintoutPharmacy};
    case kDocKindAll: return {kPrintoutReceipt, kPrintoutInvoice, kPrintoutPharmacy};
    default: return {};
  }
}

bool HasOpening(std::string_view line, int32_t kind) {
  switch (kind) {
    case kPrintoutReceipt: return HasFrom2(line, kReceipt);
    case kPrintoutInvoice: return HasFrom2(line, kInvoice);
    case kPrintoutPharmacy: return HasFrom2(line, kPharmacy);
    default: return false;
  }
}

AnsiString Excerpt(std::string_view s) {
  constexpr std::size_t kMax = 60;
  return s.size() <= kMax ? AnsiString(s) : AnsiString(s.substr(0, kMax)) + "...";
}

// One scan over one file: the two states (outside, inside a printout), the pending close and
// the match flags of the printout being read.
class TScan {
 public:
  TScan(const TSearchRec& criteria, std::string_view fileName, const TRcpCallback& callback, TPrintoutSink* sink,
        std::vector<AnsiString>* lines)
      : c_(criteria), callback_(callback), sink_(sink), lines_(lines), kinds_(AdmittedKinds(criteria.DocKind)) {
    rec_.FileName.assign(fileName);
    textSet_ = !c_.Text.empty();
    // A text with a line break can never lie inside one line.
    textSearchable_ = textSet_ && c_.Text.find_first_of("\r\n") == AnsiString::npos;
    itemsWanted_ = !c_.Items.empty() || !c_.TaxLetter.empty();
    itemNames_.reserve(c_.Items.size());
    for (const auto& item : c_.Items) itemNames_.push_back(AnsiUpperCase(item.Name));
    itemMatched_.assign(c_.Items.size(), false);
    for (const int32_t k : kinds_) {
      if (k == kPrintoutReceipt) openBytes_ |= kBitReceipt;
      if (k == kPrintoutPharmacy) openBytes_ |= kBitPharmacy;
      if (k == kPrintoutInvoice) invoices_ = true;
    }
  }

  bool Run(std::string_view text) {
    TLineCursor cursor(text);
    if (invoices_) cursor.SetNeedle(kNeedleInvoice, kInvoice);
    cursor.SetNeedle(kNeedleIssueDate, kIssueDate);
    if (textSearchable_) cursor.SetNeedle(kNeedleText, c_.Text);
    TLineCursor::TLine line;
    for (;;) {
      if (!inside_) {
        cursor.WantBytes = openBytes_;
        cursor.WantNeedles = invoices_ ? 1u << kNeedleInvoice : 0;
        cursor.WantAll = false;
      } else {
        cursor.WantBytes = kBitUnique | kBitTime | (pendingClose_ ? uint32_t{kBitClose} : 0u) |
                           (itemsWanted_ ? uint32_t{kBitNbsp | kBitVat} : 0u);
        cursor.WantNeedles = 1u << kNeedleIssueDate | (textSearchable_ ? 1u << kNeedleText : 0);
        cursor.WantAll = sink_ != nullptr || lines_ != nullptr;
      }
      if (!cursor.Next(line)) break;
      if (line.Text.size() <= kMinMarkedLine) continue;
      if (Closing(line)) return true;
      if (inside_) Inside(line);
      else Opening(line, cursor.FollowingLine());
    }
    return result_;
  }

 private:
  // Step 1; true when the scan ends at a first match.
  bool Closing(const TLineCursor::TLine& line) {
    if (!pendingClose_ || !(line.Bytes & kBitClose) || !HasFrom2(line.Text, kClose)) return false;
    inside_ = false;
    pendingClose_ = false;
    waiting_ = false;
    rec_.EndLine = line.Index;
    if (callback_ && IsHit()) {
      if (collected_.empty()) {
        callback_(rec_, rec_.StartLine);
      } else {
        for (const int32_t p : collected_) callback_(rec_, p);
      }
      result_ = true;
    }
    collected_.clear();
    if (c_.StopAtFirst && (numberMatched_ || docMatched_)) {
      result_ = true;
      return true;
    }
    ClearFlags();
    return false;
  }

  bool IsHit() const {
    if (c_.HasPrintoutRange() && !numberMatched_) return false;
    if (textSet_ && !textMatched_) return false;
    if (!c_.TaxLetter.empty() && !taxMatched_) return false;
    if (c_.HasDocRange() && !docMatched_) return false;
    if (c_.HasDateRange() && !dateMatched_) return false;
    return std::all_of(itemMatched_.begin(), itemMatched_.end(), [](bool b) { return b; });
  }

  void ClearFlags() {
    numberMatched_ = textMatched_ = taxMatched_ = docMatched_ = dateMatched_ = false;
    std::fill(itemMatched_.begin(), itemMatched_.end(), false);
  }

  // The same line can satisfy several criteria; it is listed once.
  void Collect(int32_t p) {
    if (std::find(collected_.begin(), collected_.end(), p) == collected_.end()) collected_.push_back(p);
  }

  // Step 2.
  void Inside(const TLineCursor::TLine& line) {
    const std::string_view s = line.Text;
    const int32_t p = line.Index;
    if (line.Bytes & kBitUnique) {
      if (HasFrom2(s, kUniqueNo)) pendingClose_ = true;
    }
    if (line.Needles & (1u << kNeedleIssueDate)) {
      const std::size_t at = FindFrom2(s, kIssueDate);
      if (at != std::string_view::npos) printoutDate_ = ParseLeadingDmy(s.substr(at + kIssueDate.size()));
    }
    if (lines_) lines_->emplace_back(s);
    if (sink_) sink_->PrintoutLine(s);
    if (textSearchable_ && (line.Needles & (1u << kNeedleText))) {
      textMatched_ = true;
      Collect(p);
    }
    if (itemsWanted_ && (line.Bytes & (kBitNbsp | kBitVat))) Items(s, p);
    if (line.Bytes & kBitTime) TimeLine(s, p);
  }

  void Items(std::string_view s, int32_t p) {
    const std::size_t vat = FindFrom2(s, kVatSymbol);
    if (waiting_ && vat != std::string_view::npos) {
      waiting_ = false;
      ItemComplete(waitingName_, VatSymbolBefore(s, vat), waitingLine_, p);
    }
    const std::size_t t = FindFrom2(s, kNoBreakSpace);
    if (t == std::string_view::npos) return;
    const std::string_view name = TrimView(s.substr(0, t));
    const bool receiptLike = rec_.Kind == kPrintoutReceipt || rec_.Kind == kPrintoutPharmacy;
    if (receiptLike && vat != std::string_view::npos) {
      ItemComplete(name, s.substr(s.size() - 1), p, p);
    } else {
      waiting_ = true;
      waitingName_ = name;
      waitingLine_ = p;
    }
  }

  void ItemComplete(std::string_view name, std::string_view letter, int32_t itemLine, int32_t p) {
    const std::string_view symbol = TrimView(letter);
    if (!c_.Items.empty()) {
      const AnsiString upper = AnsiUpperCase(name);
      for (std::size_t i = 0; i < c_.Items.size(); ++i) {
        const std::string_view wanted = TrimView(c_.Items[i].TaxLetter);
        if (upper.find(itemNames_[i]) != AnsiString::npos && (wanted.empty() || SameText(wanted, symbol))) {
          itemMatched_[i] = true;
          Collect(itemLine);
        }
      }
    }
    if (!c_.TaxLetter.empty() && SameText(TrimView(c_.TaxLetter), symbol)) {
      taxMatched_ = true;
      Collect(p);
    }
  }

  void TimeLine(std::string_view s, int32_t p) {
    const std::size_t h = FindFrom2(s, kTime);
    if (h == std::string_view::npos) return;
    // A second time line replaces the time; it is never added twice.
    printoutDate_ = DateOf(printoutDate_) + ParsePrintoutTime(s.substr(h + 1));
    rec_.DateTime = printoutDate_;
    int32_t docNo = 0;
    const std::size_t f = s.find('F');
    const std::size_t e = s.find(kDocNoEnd);
    if (f != std::string_view::npos && e != std::string_view::npos && e > f)
      docNo = StrToIntDef(TrimView(s.substr(f + 1, e - f - 1)), 0);
    rec_.DocNo = docNo;
    if (c_.HasDocRange() && c_.InDocRange(docNo)) {
      docMatched_ = true;
      Collect(p);
    }
    if (c_.HasDateRange() && c_.InDateRange(printoutDate_)) {
      dateMatched_ = true;
      Collect(p);
    }
  }

  // Step 3.
  void Opening(const TLineCursor::TLine& line, std::string_view following) {
    const std::string_view s = line.Text;
    int32_t kind = 0;
    for (const int32_t k : kinds_) {
      if (HasOpening(s, k)) {
        kind = k;
        break;
      }
    }
    if (kind == 0) return;
    const int32_t p = line.Index;
    int32_t number = 0;
    if (!TryStrToInt(TrailingDigits(following), number) || number < 0)
      throw EConvertError(Format("Brak numeru wydruku w wierszu %d pliku %s: '%s'", p + 2, rec_.FileName.c_str(),
                                 Excerpt(TrimView(following)).c_str()));
    ClearFlags();
    collected_.clear();
    waiting_ = false;
    if (c_.HasPrintoutRange()) {
      if (!c_.InPrintoutRange(number)) return;
      numberMatched_ = true;
      Collect(p + 1);
    }
    inside_ = true;
    pendingClose_ = false;
    if (kind != kPrintoutInvoice) printoutDate_ = ParseLeadingDmy(following);
    if (sink_) sink_->BeginPrintout(kind, kind != kPrintoutInvoice ? printoutDate_ : 0);
    if (lines_) lines_->emplace_back(s);
    rec_.StartLine = p;
    rec_.PrintoutNo = number;
    rec_.Kind = kind;
  }

  const TSearchRec& c_;
  const TRcpCallback& callback_;
  TPrintoutSink* sink_;
  std::vector<AnsiString>* lines_;
  std::vector<int32_t> kinds_;
  uint32_t openBytes_ = 0;
  bool invoices_ = false;
  bool textSet_ = false;
  bool textSearchable_ = false;
  bool itemsWanted_ = false;
  std::vector<AnsiString> itemNames_;

  bool inside_ = false;
  bool pendingClose_ = false;
  bool result_ = false;
  TRcpData rec_;
  TDateTime printoutDate_ = 0;
  std::vector<int32_t> collected_;
  bool numberMatched_ = false, textMatched_ = false, taxMatched_ = false, docMatched_ = false, dateMatched_ = false;
  std::vector<bool> itemMatched_;
  bool waiting_ = false;
  std::string_view waitingName_;
  int32_t waitingLine_ = 0;
};

}  // namespace

bool ScanPrintoutText(const TSearchRec& criteria, std::string_view text, std::string_view fileName,
                      const TRcpCallback& callback, TPrintoutSink* receipt, std::vector<AnsiString>* lines) {
  TScan scan(criteria, fileName, callback, receipt, lines);
  return scan.Run(text);
}

void ReadWholeFile(const std::filesystem::path& file, std::string& buffer) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EFileError(FileErrorMessage("Nie można otworzyć pliku"_cp, file, errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    throw EFileError(FileErrorMessage("Błąd odczytu pliku"_cp, file, err));
  }
  // One read of the size the file has; a file that grows meanwhile is read on to its end.
  buffer.resize(static_cast<std::size_t>(std::max<off_t>(st.st_size, 0)));
  std::size_t have = 0;
  for (;;) {
    if (have == buffer.size()) buffer.resize(buffer.size() + 65536);
    const ssize_t n = ::read(fd, buffer.data() + have, buffer.size() - have);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      throw EFileError(FileErrorMessage("Błąd odczytu pliku"_cp, file, err));
    }
    if (n == 0) break;
    have += static_cast<std::size_t>(n);
  }
  ::close(fd);
  buffer.resize(have);
}

bool ScanPrintouts(const TSearchRec& criteria, const std::filesystem::path& file, const TRcpCallback& callback,
                   TPrintoutSink* receipt, std::vector<AnsiString>* lines, std::string* buffer) {
  std::string local;
  std::string& bytes = buffer ? *buffer : local;
  ReadWholeFile(file, bytes);
  return ScanPrintoutText(criteria, bytes, file.string(), callback, receipt, lines);
}

}  // namespace quorvel
