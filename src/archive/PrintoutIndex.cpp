#include "archive/PrintoutIndex.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>

#include "archive/PrintoutMarkers.h"
#include "archive/QVDDeviceInfo.h"
#include "base/Errors.h"
#include "base/FileUtils.h"
#include "base/TextUtils.h"

namespace quorvel {

namespace {

template <class T>
int Cmp(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

// ---- rows ----

const std::vector<TFieldDef>& TPrintoutsSetRow::Fields() {
  static const std::vector<TFieldDef> fields = {
      {"PrintoutNo", TFieldType::Integer, 0},
      {"Date", TFieldType::Date, 0},
      {"File", TFieldType::Text, 256},
  };
  return fields;
}

TFieldValue TPrintoutsSetRow::Value(std::size_t field) const {
  switch (field) {
    case 0: return PrintoutNo;
    case 1: return Date;
    default: return File;
  }
}

int TPrintoutsSetRow::Compare(const TPrintoutsSetRow& a, const TPrintoutsSetRow& b, std::size_t field) {
  switch (field) {
    case 0: return Cmp(a.PrintoutNo, b.PrintoutNo);
    case 1: return Cmp(a.Date, b.Date);
    default: return CompareText(a.File, b.File);
  }
}

const std::vector<TFieldDef>& TRCPSetRow::Fields() {
  static const std::vector<TFieldDef> fields = {
      {"PrintoutNo", TFieldType::Integer, 0}, {"RCPNo", TFieldType::Integer, 0},
      {"Type", TFieldType::Text, 20},         {"Date", TFieldType::Date, 0},
      {"File", TFieldType::Text, 256},        {"StartLine", TFieldType::Integer, 0},
      {"EndLine", TFieldType::Integer, 0},    {"Line", TFieldType::Integer, 0},
  };
  return fields;
}

TFieldValue TRCPSetRow::Value(std::size_t field) const {
  switch (field) {
    case 0: return PrintoutNo;
    case 1: return RCPNo;
    case 2: return Type;
    case 3: return Date;
    case 4: return File;
    case 5: return StartLine;
    case 6: return EndLine;
    default: return Line;
  }
}

int TRCPSetRow::Compare(const TRCPSetRow& a, const TRCPSetRow& b, std::size_t field) {
  switch (field) {
    case 0: return Cmp(a.PrintoutNo, b.PrintoutNo);
    case 1: return Cmp(a.RCPNo, b.RCPNo);
    case 2: return CompareText(a.Type, b.Type);
    case 3: return Cmp(a.Date, b.Date);
    case 4: return CompareText(a.File, b.File);
    case 5: return Cmp(a.StartLine, b.StartLine);
    case 6: return Cmp(a.EndLine, b.EndLine);
    default: return Cmp(a.Line, b.Line);
  }
}

// ---- table ----

template <class TRow>
int TMemTable<TRow>::FieldIndex(std::string_view name) {
  const auto& fields = Fields();
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (SameText(fields[i].Name, name)) return static_cast<int>(i);
  return -1;
}

namespace {
[[noreturn]] void UnknownField(std::string_view name) {
  throw EQuorvelError("Nieznane pole tabeli: "_cp.data() + AnsiString(name));
}
}  // namespace

template <class TRow>
TFieldValue TMemTable<TRow>::FieldValue(std::size_t row, std::string_view field) const {
  const int f = FieldIndex(field);
  if (f < 0) UnknownField(field);
  return rows_.at(row).Value(static_cast<std::size_t>(f));
}

template <class TRow>
void TMemTable<TRow>::SortBy(std::string_view field, bool ascending) {
  const int f = FieldIndex(field);
  if (f < 0) UnknownField(field);
  const auto fi = static_cast<std::size_t>(f);
  std::stable_sort(rows_.begin(), rows_.end(), [fi, ascending](const TRow& a, const TRow& b) {
    const int c = TRow::Compare(a, b, fi);
    return ascending ? c < 0 : c > 0;
  });
}

template class TMemTable<TPrintoutsSetRow>;
template class TMemTable<TRCPSetRow>;

// ---- loaders ----

int32_t FileNameNumber(const std::filesystem::path& file) {
  const std::string name = file.filename().string();
  int32_t n = 0;
  if (name.size() < 4 || !TryStrToInt(std::string_view(name).substr(0, 4), n) || n <= 0) return 0;
  return n;
}

TDateTime FileDate(const std::filesystem::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return 0;
  std::tm local{};
  const std::time_t t = st.st_mtime;
  if (!::localtime_r(&t, &local)) return 0;
  TDateTime out = 0;
  TDateParts parts{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                   std::min(local.tm_sec, 59), 0};
  return TryEncodeDateTime(parts, out) ? out : 0;
}

AnsiString CardDeviceName(const std::filesystem::path& cardDir) {
  std::filesystem::path p = cardDir;
  if (!p.has_filename()) p = p.parent_path();
  AnsiString name = p.filename().string();
  name.erase(std::remove(name.begin(), name.end(), '.'), name.end());
  return name;
}

int32_t ListArchiveFiles(TPrintoutsSet& set, const std::filesystem::path& deviceDir, int32_t from, int32_t to) {
  const auto files = FindDeviceFiles(deviceDir, ".txt");
  if (files.empty()) return 0;
  set.Clear();
  int32_t highest = 0;
  for (const auto& file : files) {
    const int32_t n = FileNameNumber(file);
    if (n <= 0) continue;
    highest = std::max(highest, n);
    if (n >= from && n <= to) set.Append({n, FileDate(file), file.string()});
  }
  return highest;
}

int32_t ListArchiveFiles(TPrintoutsSet& set, std::string_view archiveRoot, std::string_view directoryOverride,
                         std::string_view deviceName, bool isECopy, bool keepFirstChar, int32_t from, int32_t to) {
  AnsiString name(deviceName);
  name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
  const std::string dir = DeviceDirectory(archiveRoot, directoryOverride, name, isECopy, keepFirstChar);
  return ListArchiveFiles(set, std::filesystem::path(dir), from, to);
}

bool AskStopReading(TUserPrompts& prompts) {
  prompts.PumpMessages();
  if (!prompts.UserBreakPressed()) return false;
  return prompts.AskYesNo("Czy przerwac odczyt?", "Pytanie", true);
}

bool LoadECopyDirectory(TPrintoutsSet& set, const std::filesystem::path& dir, TUserPrompts& prompts,
                        const TProgressFn& progress, int32_t from, int32_t to) {
  const auto files = FindDeviceFiles(dir, ".txt");
  if (files.empty()) {
    if (progress) progress("Koniec");
    return true;
  }
  set.Clear();
  for (const auto& file : files) {
    if (AskStopReading(prompts)) return false;
    if (progress) progress(file.string());
    const int32_t n = FileNameNumber(file);
    if (n <= 0 || n < from || n > to) continue;
    set.Append({n, FileDate(file), file.string()});
  }
  if (progress) progress("Koniec");
  return true;
}

namespace {

// Whether to put the card's file over the archived one: a shorter file or a broken header
// replaces a good archived file only when the user says so.
bool MayReplace(const std::filesystem::path& target, std::string_view fresh, std::string& scratch,
                TUserPrompts& prompts) {
  ReadWholeFile(target, scratch);
  if (scratch == fresh) return false;
  const std::string name = target.filename().string();
  TReportFileHeader header;
  const bool oldReads = ParseReportFileHeader(scratch, header);
  const bool newReads = ParseReportFileHeader(fresh, header);
  if (oldReads && !newReads)
    return prompts.AskYesNo(Format("Nagłówek pliku %s na karcie jest uszkodzony, a plik w archiwum jest poprawny. "
                                   "Zastąpić plik w archiwum?"_cp.data(),
                                   name.c_str()),
                            "Pytanie", false);
  if (fresh.size() < scratch.size())
    return prompts.AskYesNo(Format("Plik %s na karcie jest krótszy niż plik w archiwum (%zu i %zu bajtów). "
                                   "Zastąpić plik w archiwum?"_cp.data(),
                                   name.c_str(), fresh.size(), scratch.size()),
                            "Pytanie", false);
  return true;
}

}  // namespace

bool LoadMemoryCardDirectory(TPrintoutsSet& set, const std::filesystem::path& cardDir,
                             const std::filesystem::path& archiveDeviceDir, TUserPrompts& prompts,
                             const TProgressFn& progress) {
  const auto files = FindDeviceFiles(cardDir, ".txt");
  if (files.empty()) {
    if (progress) progress("Koniec");
    return true;
  }
  set.Clear();
  std::string bytes, scratch;
  for (const auto& file : files) {
    if (AskStopReading(prompts)) return false;
    if (progress) progress(file.string());
    const int32_t n = FileNameNumber(file);
    const std::string name = file.filename().string();
    if (n <= 0 || !IsSafeArchiveName(name)) continue;
    const std::filesystem::path target = archiveDeviceDir / name;
    ReadWholeFile(file, bytes);
    std::error_code ec;
    const bool exists = std::filesystem::exists(target, ec);
    TDateTime date = 0;
    if (!exists || MayReplace(target, bytes, scratch, prompts)) {
      WriteFileAtomic(target, bytes, true);
      // The copy keeps the card file's time, so that the list shows the same date either way.
      std::filesystem::last_write_time(target, std::filesystem::last_write_time(file, ec), ec);
      date = FileDate(file);
    } else {
      date = FileDate(target);
    }
    set.Append({n, date, target.string()});
  }
  if (progress) progress("Koniec");
  return true;
}

// ---- search ----

namespace {

// Two ranges overlap when one contains the other or either bound of one lies inside the other.
template <class T>
bool Overlap(T aLo, T aHi, T bLo, T bHi) {
  auto inside = [](T v, T lo, T hi) { return v >= lo && v <= hi; };
  return (aLo <= bLo && aHi >= bHi) || (bLo <= aLo && bHi >= aHi) || inside(aLo, bLo, bHi) ||
         inside(aHi, bLo, bHi) || inside(bLo, aLo, aHi) || inside(bHi, aLo, aHi);
}

constexpr int32_t kMaxInt = std::numeric_limits<int32_t>::max();

}  // namespace

bool HeaderAdmits(const TReportFileHeader& h, const TSearchRec& c) {
  if (c.HasPrintoutRange()) {
    const int32_t lo = c.PrintoutNoFrom == -1 ? 0 : c.PrintoutNoFrom;
    const int32_t hi = c.PrintoutNoTo == -1 ? kMaxInt : c.PrintoutNoTo;
    if (!Overlap(lo, hi, h.PrintoutNoFrom, h.PrintoutNoTo)) return false;
  }
  if (c.HasDocRange()) {
    const int32_t lo = c.DocNoFrom == -1 ? 0 : c.DocNoFrom;
    const int32_t hi = c.DocNoTo == -1 ? kMaxInt : c.DocNoTo;
    int32_t hLo, hHi;
    if (c.DocKind == kPrintoutReceipt || c.DocKind == kPrintoutPharmacy) {
      hLo = h.ReceiptNoFrom;
      hHi = h.ReceiptNoTo;
    } else if (c.DocKind == kPrintoutInvoice) {
      hLo = h.InvoiceNoFrom;
      hHi = h.InvoiceNoTo;
    } else {
      hLo = std::min(h.ReceiptNoFrom, h.InvoiceNoFrom);
      hHi = std::max(h.ReceiptNoTo, h.InvoiceNoTo);
    }
    if (!Overlap(lo, hi, hLo, hHi)) return false;
  }
  if (c.HasDateRange()) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const double lo = c.DateFrom != 0 ? DateOf(c.DateFrom) : -kInf;
    const double hi = c.DateTo != 0 ? DateOf(c.DateTo) : kInf;
    // A header without a date says nothing about the printouts: that side is left open, so the
    // file is scanned rather than skipped unseen.
    const double hLo = h.PrintoutDateFrom != 0 ? DateOf(h.PrintoutDateFrom) : -kInf;
    const double hHi = h.PrintoutDateTo != 0 ? DateOf(h.PrintoutDateTo) : kInf;
    if (!Overlap(lo, hi, hLo, hHi)) return false;
  }
  return true;
}

void AddPrintoutRow(TRCPSet& set, const TRcpData& record, int32_t line) {
  TRCPSetRow row;
  row.RCPNo = record.DocNo;
  row.PrintoutNo = record.PrintoutNo;
  row.Date = DateOf(record.DateTime);
  row.File = record.FileName;
  row.StartLine = record.StartLine;
  row.EndLine = record.EndLine;
  row.Line = line;
  row.Type.assign(PrintoutTypeText(record.Kind));
  set.Append(std::move(row));
}

bool SearchPrintouts(const TPrintoutsSet& files, const TSearchRec& criteria, TRCPSet& rcp, TUserPrompts& prompts,
                     TPrintoutSink* receipt, const TProgressFn& progress) {
  const bool prefilter = criteria.HasPrintoutRange() || criteria.HasDocRange() || criteria.HasDateRange();
  const TRcpCallback callback = [&rcp](const TRcpData& rec, int32_t line) { AddPrintoutRow(rcp, rec, line); };
  std::string buffer;
  for (const auto& row : files) {
    if (AskStopReading(prompts)) return false;
    if (progress) progress(row.File);
    const std::filesystem::path file(row.File);
    TReportFileHeader header;
    if (prefilter) {
      // The header alone decides whether the file is read at all.
      if (!ReadReportFileHeader(file, header) || !HeaderAdmits(header, criteria)) continue;
      ReadWholeFile(file, buffer);
    } else {
      try {
        ReadWholeFile(file, buffer);
      } catch (const EFileError&) {
        continue;  // a file whose header cannot be read is skipped
      }
      if (!ParseReportFileHeader(buffer, header)) continue;
    }
    if (ScanPrintoutText(criteria, buffer, row.File, callback, receipt) && criteria.StopAtFirst) break;
  }
  if (progress) progress("Koniec");
  return true;
}

// ---- display ----

namespace {

std::array<bool, 256> MakeBlanked() {
  static constexpr unsigned char kMarks[] = {0xA0, 0xA8, 0xAB, 0xB4, 0xB7, 0xB8, 0xBB, 0xA1, 0xAC, 0xB0,
                                             0xA9, 0xA4, 0x1F, 0xA7, 0xA6, 0x91, 0x85, 0xF8, 0xF6, 0xB1,
                                             0xB2, 0xBD, 0xB6, 0xF7, 0x9B, 0x95, 0xB5, 0xBA};
  std::array<bool, 256> t{};
  // Replaced without regard to letter case: a marker's other case goes too.
  for (int c = 0; c < 256; ++c)
    for (const unsigned char m : kMarks)
      if (AnsiUpperChar(static_cast<unsigned char>(c)) == AnsiUpperChar(m)) t[static_cast<std::size_t>(c)] = true;
  return t;
}

}  // namespace

AnsiString DisplayLine(std::string_view line) {
  static const std::array<bool, 256> blanked = MakeBlanked();
  if (markers::HasFrom2(line, markers::kClose)) return AnsiString(line.size(), ' ');
  AnsiString out(line);
  for (char& ch : out)
    if (blanked[static_cast<unsigned char>(ch)]) ch = ' ';
  return out;
}

void PrintoutLines(const TRCPSetRow& row, std::vector<AnsiString>& target) {
  std::string bytes;
  ReadWholeFile(row.File, bytes);
  const auto lines = SplitLines(bytes);
  const auto count = static_cast<int64_t>(lines.size());
  if (row.StartLine < 0 || row.EndLine < 0 || row.EndLine >= count || row.StartLine >= count ||
      row.StartLine > row.EndLine)
    return;
  for (int32_t i = row.StartLine; i <= row.EndLine; ++i) target.push_back(DisplayLine(lines[static_cast<std::size_t>(i)]));
}

}  // namespace quorvel
