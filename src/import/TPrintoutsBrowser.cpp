#include "import/TPrintoutsBrowser.h"

#include <algorithm>

#include "archive/QVDDeviceInfo.h"
#include "archive/uDailyRecord.h"
#include "base/Errors.h"
#include "base/FileUtils.h"
#include "base/TextUtils.h"
#include "ecopy/uDailyReportExtractor.h"

namespace quorvel {

namespace {

constexpr const char* kBreak = "\r\n";

bool IsECopyKind(uint8_t kind) {
  return kind == skECopyDirectory || kind == skPrinterECopy || kind == skCardDirectory || kind == skRegisterECopy;
}

TStringList FileLines(const std::string& file) {
  const std::string text = ReadFileBytes(file);
  TStringList out;
  for (std::string_view l : SplitLines(text)) out.emplace_back(l);
  return out;
}

// The last component of a directory path, trailing separators ignored.
std::string LastComponent(std::string path) {
  while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
  const auto pos = path.find_last_of("/\\");
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

// The part of an electronic-copy file that the daily-report extraction looks at: from the
// first rate-change title or the last header marker "§" (each counting from the line's second
// character), whichever comes first, to the end. The receipts of the day before it are most of
// the file and are never read by the extraction, so they need not be split into lines.
std::string_view ExtractionPart(std::string_view text) {
  const auto lineStart = [&text](std::size_t pos) {
    while (pos > 0 && text[pos - 1] != '\n' && text[pos - 1] != '\r') --pos;
    return pos;
  };
  std::size_t cut = std::string_view::npos;
  for (std::size_t p = text.rfind('\xA7'); p != std::string_view::npos && p > 0; p = text.rfind('\xA7', p - 1)) {
    const std::size_t start = lineStart(p);
    if (p > start) {
      cut = start;
      break;
    }
    if (start == 0) break;
    p = start;  // the marker opened its line: look at the lines above
  }
  if (cut == std::string_view::npos) return text;
  static constexpr std::string_view kRateTitle = "Z M I A N A   S T A W E K   P T U";
  for (std::size_t p = text.find(kRateTitle); p != std::string_view::npos && p < cut; p = text.find(kRateTitle, p + 1)) {
    const std::size_t start = lineStart(p);
    if (p > start) {
      cut = start;
      break;
    }
  }
  const std::string_view part = text.substr(cut);
  // Too short a part would fail the extraction's own checks that the whole file passes.
  std::size_t lines = 0;
  for (char c : part)
    if (c == '\n' && ++lines >= 10) return part;
  return text;
}

struct TLoadingGuard {
  bool& Flag;
  explicit TLoadingGuard(bool& flag) : Flag(flag) { Flag = true; }
  ~TLoadingGuard() { Flag = false; }
};

}  // namespace

TPrintoutsBrowser::TPrintoutsBrowser(TUserPrompts& prompts) : ArchiveRootDir(SharedDataRoot()), prompts_(prompts) {
  const TDateTime now = TClock::Now();
  FromDateEd = ToDateEd = PrintoutDateFromEd = PrintoutDateToEd = now;
}

void TPrintoutsBrowser::Progress(std::string_view fileName, std::string_view message) {
  if (OnProgress) OnProgress(*this, fileName, message, -1);
}

bool TPrintoutsBrowser::UserBreak() { return AskStopReading(prompts_); }

std::string TPrintoutsBrowser::DeviceDirectory(std::string_view deviceName, bool isECopy, bool keepFirstChar) const {
  return quorvel::DeviceDirectory(ArchiveRootDir, DirectoryOverride, deviceName, isECopy, keepFirstChar);
}

int32_t TPrintoutsBrowser::ListArchiveFiles(int32_t from, int32_t to, std::string_view deviceName) {
  return quorvel::ListArchiveFiles(PrintoutsSet, ArchiveRootDir, DirectoryOverride, deviceName, IsECopy,
                                   KeepFirstChar, from, to);
}

// ---- LoadSource ----

void TPrintoutsBrowser::LoadSource() {
  {
    TLoadingGuard loading(Loading);
    ResetList = true;
    UniqueNo.clear();
    DevicesCB.assign(1, "Wszystkie");
    DevicesIndex = 0;
    NewDataFound = false;

    IsECopy = IsECopyKind(SourceKind);
    Caption = IsECopy ? AnsiString("Pliki kopii elektronicznej") : AnsiString("Rekordy pamięci fiskalnej"_cp);
    CardPanelVisible = IsECopy;
    VerifyEnabled = IsECopy;

    QueryUniqueNo();
    Caption += " - " + UniqueNo;
    if (NewOnly) NewDataRange();
    if (ImportAll) {
      ByNumber = true;
      FromNo = 0;
      ToNo = kHighestReportNo;
    }
    ActiveTab = TBrowserTab::Files;
    ReceiptsTabVisible = IsECopy;

    const auto progress = [this](std::string_view message) {
      if (message == "Koniec") Progress("", message);
      else Progress(message, "");
    };
    switch (SourceKind) {
      case skECopyDirectory:
        if (ResetList) PrintoutsSet.Clear();
        LoadECopyDirectory(PrintoutsSet, SourceDir, prompts_, progress);
        RangeReport();
        break;
      case skFiscalMemoryDirectory:
        LoadFiscalMemoryDirectory();
        break;
      case skCardDirectory:
        if (ResetList) PrintoutsSet.Clear();
        LoadMemoryCardDirectory(PrintoutsSet, SourceDir, DeviceDirectory(UniqueNo, true, true), prompts_, progress);
        RangeReport();
        break;
      default:
        if (!DeviceImport) throw EQuorvelError("Brak numeru unikatowego lub komunikacji");
        DeviceImport(*this);
        if (SourceKind == skTaxi) LoadFiscalMemoryDirectory();
        else if (IsECopy) RangeReport();
        break;
    }
  }
  if (!PrintoutsSet.IsEmpty()) ShowFile(0);
}

void TPrintoutsBrowser::QueryUniqueNo() {
  AnsiString number;
  switch (SourceKind) {
    case skECopyDirectory:
    case skFiscalMemoryDirectory:
    case skCardDirectory: {
      number = LastComponent(SourceDir);
      number.erase(std::remove(number.begin(), number.end(), '.'), number.end());
      break;
    }
    case skRegisterFiscalMemory:
    case skRegisterECopy:
      // The register imports read the number again and report a failure themselves.
      if (DeviceUniqueNo) number = Trim(DeviceUniqueNo(*this));
      if (number.empty()) return;
      break;
    default:
      if (DeviceUniqueNo) number = Trim(DeviceUniqueNo(*this));
      break;
  }
  if (number.size() != 11) throw EQuorvelError("Brak numeru unikatowego lub komunikacji");
  UniqueNo = number;
  Formatter.UniqueNo = number;
}

void TPrintoutsBrowser::NewDataRange() {
  ImportAll = true;
  if (SourceKind != skRegisterFiscalMemory && SourceKind != skPrinterECopy && SourceKind != skPrinterFiscalMemory &&
      SourceKind != skRegisterECopy)
    return;
  const int32_t n = ListArchiveFiles(0, kHighestReportNo, UniqueNo);
  if (n >= 1) {
    ImportAll = false;
    ByNumber = true;
    FromNo = n + 1;
    ToNo = kHighestReportNo;
    ResetList = false;
  }
}

// ---- the fiscal-memory directory view ----

void TPrintoutsBrowser::LoadFiscalMemoryDirectory() {
  std::vector<std::filesystem::path> files;
  for (auto& f : FindDeviceFiles(SourceDir, ".fmr"))
    if (FileNameNumber(f) > 0) files.push_back(std::move(f));
  if (files.empty()) return;

  Formatter.NIP.clear();
  TDeviceInfo info;
  const std::filesystem::path dir(SourceDir);
  if (info.LoadDeviceInfo(dir / "device.xml")) {
    Formatter.NIP = info.NIP;
    Formatter.HasTotals = info.HasTotals;
    Formatter.HasInvoices = info.HasInvoices;
    Formatter.LineLen = info.LineLen;
    Formatter.TaxiVersion = info.TaxiVersion;
    Formatter.PharmacyVersion = info.PharmacyVersion;
  }

  // One pass of reading serves both walks: the files are read once, in order, into one record
  // so that an older, shorter layout carries the later values over from the file before.
  struct TLoaded {
    RFMRecord Record;
    std::filesystem::path File;
  };
  std::vector<TLoaded> loaded;
  loaded.reserve(files.size());
  RFMRecord record;
  int32_t lowest = 65535, highest = 0;
  for (const auto& file : files) {
    if (UserBreak()) break;
    Progress(file.string(), "");
    ReadRecordFile(file, record);
    if (IsDailyReportKind(record.Kind)) {
      const int32_t n = StrToIntDef(Trim(record.Number), 0);
      lowest = std::min(lowest, n);
      highest = std::max(highest, n);
    }
    loaded.push_back({record, file});
  }

  Formatter.Clear();
  Formatter.SetRange(std::to_string(lowest), Format("%11d", highest), true);
  FromNo = lowest;
  ToNo = highest;
  ByNumber = true;

  if (ResetList) PrintoutsSet.Clear();
  for (auto& item : loaded) {
    RFMRecord& r = item.Record;
    if (r.Kind == kKindRateChange) TDailyReportFormatter::ApplyRateChange(r);
    Formatter.AddRecord(r);
    if (IsDailyReportKind(r.Kind)) {
      const int32_t n = StrToIntDef(Trim(r.Number), 0);
      PrintoutsSet.Append({n, r.Date, (item.File.parent_path() / Format("%4.4d.txt", n)).string()});
    }
  }

  Formatter.RangeFileName = (dir / "range.txt").string();
  Formatter.BuildArchiveReports(IncludeTrailingSeparator(SourceDir), ViewType == TViewType::FullData);
  LoadRangeFile();
  Progress("", "Koniec");
}

void TPrintoutsBrowser::LoadRangeFile() { RangeReportMemo = FileLines(Formatter.RangeFileName); }

void TPrintoutsBrowser::FinishFiscalMemoryImport(const std::string& deviceDir) {
  Formatter.RangeFileName = deviceDir + "range.txt";
  Formatter.BuildArchiveReports(deviceDir, ViewType == TViewType::FullData);
  LoadRangeFile();
  TDeviceInfo info;
  info.NIP = Formatter.NIP;
  info.HasTotals = Formatter.HasTotals;
  info.HasInvoices = Formatter.HasInvoices;
  info.LineLen = Formatter.LineLen;
  info.PharmacyVersion = Formatter.PharmacyVersion;
  info.TaxiVersion = false;
  info.SaveDeviceInfo(deviceDir + "device.xml");
  SourceDir = deviceDir;
}

// ---- the periodic report page ----

void TPrintoutsBrowser::RangeReport() {
  if (PrintoutsSet.IsEmpty()) return;
  TReportFileHeader first, last;
  if (!ReadReportFileHeader(PrintoutsSet[0].File, first) ||
      !ReadReportFileHeader(PrintoutsSet[PrintoutsSet.RecordCount() - 1].File, last))
    throw EQuorvelError(AnsiString("Błędne pliki"_cp));
  ReceiptRangeLB = "Zakres nr wydruku (" + std::to_string(first.PrintoutNoFrom) + " - " +
                   std::to_string(last.PrintoutNoTo) + ")";
  ByNumber = true;
  FromNo = first.ReportNo;
  ToNo = last.ReportNo;

  Formatter.Clear();
  Formatter.HasTotals = true;
  Formatter.HasInvoices = first.DeviceType.find("FV") != AnsiString::npos;
  Formatter.PharmacyVersion = first.DeviceType.find("AE") != AnsiString::npos;
  Formatter.SetRange(std::to_string(FromNo), Format("%11d", ToNo), true);

  TDailyReportExtractor extractor([this](const RFMRecord& r) {
    if (r.Kind == kKindRateChange) {
      RFMRecord copy = r;
      TDailyReportFormatter::ApplyRateChange(copy);
      Formatter.AddRecord(copy);
    } else {
      Formatter.AddRecord(r);
    }
  });
  const std::string firstFile = PrintoutsSet[0].File;
  AnsiString name = UniqueNo;
  if (name.empty()) name = extractor.ReadUniqueNo(firstFile);
  Formatter.LineLen = extractor.ReadLineLen(firstFile);
  if (name.empty()) {
    prompts_.ShowMessage("Błędny format pliku"_cp, "Błędne dane"_cp, TMessageKind::Error);
    return;
  }
  Formatter.RangeFileName = DeviceDirectory(name, true, true) + "range.txt";

  std::string buffer;
  for (std::size_t i = 0; i < PrintoutsSet.RecordCount(); ++i) {
    ReadWholeFile(PrintoutsSet[i].File, buffer);
    extractor.ExtractDailyReportText(ExtractionPart(buffer), i == 0);
  }

  Formatter.BuildRangeReport(true, std::to_string(FromNo), std::to_string(ToNo), ViewType == TViewType::FullData);
  LoadRangeFile();
}

void TPrintoutsBrowser::Filter() {
  const bool detailed = ViewType == TViewType::FullData;
  TStringList warnings;
  if (RangeByNumberSelected) {
    int32_t from = -1, to = -1;
    const bool fromOk = TryStrToInt(Trim(FromNoEd), from);
    const bool toOk = TryStrToInt(Trim(ToNoEd), to);
    if (!fromOk) from = -1;
    if (!toOk) to = -1;
    if (!Trim(FromNoEd).empty() && !Trim(ToNoEd).empty() && (!fromOk || !toOk)) {
      prompts_.ShowMessage("Wprowadź poprawne dane"_cp, "Błędne dane"_cp, TMessageKind::Error);
      return;
    }
    warnings = CardWarnings(true, from, to, 0, 0);
    Formatter.SetRange(std::to_string(from), Format("%11d", to), true);
    Formatter.BuildRangeReport(true, FromNoEd, ToNoEd, detailed);
    ByNumber = true;
    FromNo = from;
    ToNo = to;
  } else {
    warnings = CardWarnings(false, 0, 0, FromDateEd, ToDateEd);
    ByNumber = false;
    FromDate = FromDateEd;
    ToDate = ToDateEd;
    Formatter.SetRange(FormatDmy(FromDateEd), FormatDmy(ToDateEd), false);
    Formatter.BuildRangeReport(false, ShortDateStr(FromDateEd), ShortDateStr(ToDateEd), detailed);
  }
  TStringList memo = std::move(warnings);
  if (!memo.empty()) memo.emplace_back();
  TStringList report = FileLines(Formatter.RangeFileName);
  memo.insert(memo.end(), report.begin(), report.end());
  RangeReportMemo = std::move(memo);
}

TStringList TPrintoutsBrowser::CardWarnings(bool byNumber, int32_t fromNo, int32_t toNo, TDateTime fromDate,
                                            TDateTime toDate) const {
  TStringList out;
  const int count = CardIndex.Count();
  if (count <= 1) return out;
  const int chosen = DevicesIndex - 1;  // -1 for "Wszystkie"
  const int width = Formatter.LineLen;
  for (int i = 0; i < count - 1; ++i) {
    if (i == chosen) continue;
    const TIDFileRecord* card = CardIndex.Items(i);
    if (!card) continue;
    AnsiString x, y;
    if (byNumber) {
      const int32_t cf = card->ReportNoFrom, ct = card->ReportNoTo;
      if (fromNo > ct || toNo < cf) continue;
      x = std::to_string(fromNo >= cf && fromNo <= ct ? fromNo : cf);
      y = std::to_string(toNo >= cf && toNo <= ct ? toNo : ct);
    } else {
      const TDateTime cf = DateOf(card->ReportDateFrom), ct = DateOf(card->ReportDateTo);
      const TDateTime a = DateOf(fromDate), b = DateOf(toDate);
      if (a > ct || b < cf) continue;
      x = ShortDateStr(a >= cf && a <= ct ? a : cf);
      y = ShortDateStr(b >= cf && b <= ct ? b : ct);
    }
    const AnsiString first = "Uwaga, raporty z zakresu od " + x + " do " + y;
    const AnsiString second = " znajdują się na karcie nr "_cp + std::to_string(i + 1);
    out.push_back(Format("%*s", width, first.c_str()));
    out.push_back(Format("%*s", width, second.c_str()));
  }
  return out;
}

void TPrintoutsBrowser::FillCardList() {
  DevicesCB.assign(1, "Wszystkie");
  for (int i = 0; i < CardIndex.Count(); ++i) DevicesCB.push_back("Karta nr " + std::to_string(i + 1));
  DevicesIndex = 0;
}

void TPrintoutsBrowser::CardChanged(int index) {
  int32_t from = 0, to = kHighestReportNo;
  if (index > 0) {
    const TIDFileRecord* card = CardIndex.Items(index - 1);
    if (!card) return;
    from = card->ReportNoFrom;
    to = card->ReportNoTo;
  }
  DevicesIndex = index;
  {
    TLoadingGuard loading(Loading);
    if (SourceKind == skECopyDirectory) {
      // A directory opened in place is the one whose files the browser shows; the archive's
      // device directory may hold nothing of it.
      LoadECopyDirectory(PrintoutsSet, SourceDir, prompts_, {}, from, to);
    } else {
      ListArchiveFiles(from, to, UniqueNo);
    }
  }
  RangeReport();
}

bool TPrintoutsBrowser::SaveReport(const std::string& file) {
  try {
    WriteFileAtomic(file, TDailyReportFormatter::JoinLines(RangeReportMemo));
    return true;
  } catch (const std::exception& e) {
    prompts_.ShowMessage("Nie można zapisać pliku raportu: "_cp + AnsiString(e.what()), "Błąd"_cp,
                         TMessageKind::Error);
    return false;
  }
}

// ---- the search page ----

TSearchRec TPrintoutsBrowser::SearchCriteria() const {
  TSearchRec c;
  c.PrintoutNoFrom = StrToIntDef(Trim(PrintoutNoFromEd), -1);
  c.PrintoutNoTo = StrToIntDef(Trim(PrintoutNoToEd), -1);
  c.DocNoFrom = StrToIntDef(Trim(DocNoFromEd), -1);
  c.DocNoTo = StrToIntDef(Trim(DocNoToEd), -1);
  if (DocTypeCB == "Paragon") c.DocKind = kPrintoutReceipt;
  else if (DocTypeCB == "Faktura") c.DocKind = kPrintoutInvoice;
  else if (DocTypeCB == "Paragon Apteczny") c.DocKind = kPrintoutPharmacy;
  else if (DocTypeCB == "Wszystkie Paragony") c.DocKind = kDocKindReceipts;
  else c.DocKind = kDocKindAll;
  c.Text = SearchTextEd;
  c.TaxLetter = SearchPTUEd;
  c.StopAtFirst = false;
  for (const auto& row : ItemStringGrid) {
    if (Trim(row[0]).empty()) continue;
    c.Items.push_back({AnsiUpperCase(Trim(row[0])), AnsiUpperCase(Trim(row[1]))});
  }
  c.DateFrom = PrintoutDateFromChecked ? PrintoutDateFromEd : 0;
  c.DateTo = PrintoutDateToChecked ? PrintoutDateToEd : 0;
  return c;
}

void TPrintoutsBrowser::Search() {
  const TSearchRec criteria = SearchCriteria();
  const auto finish = [this] {
    Loading = false;
    RcpRow = 0;
    ShowPrintout(0);
    CheckReceiptEnabled = !ReceiptMemo.empty();
  };
  Loading = true;
  RCPSet.Clear();
  try {
    TReceiptFiller filler(Receipt);
    SearchPrintouts(PrintoutsSet, criteria, RCPSet, prompts_, &filler);
  } catch (...) {
    finish();
    throw;
  }
  if (!RCPSet.IsEmpty()) {
    CheckReceiptEnabled = true;
  } else {
    ReceiptMemo.clear();
    CheckReceiptEnabled = false;
    prompts_.ShowMessage(AnsiString("Nie znaleziono ") + (criteria.DocKind == kPrintoutInvoice ? "faktur" : "paragonów"_cp) +
                             AnsiString(" spełniających zadane kryteria"_cp),
                         "Inforamcja", TMessageKind::Warning);
  }
  finish();
}

// ---- the list events ----

void TPrintoutsBrowser::ShowFile(std::size_t row) {
  if (Loading || row >= PrintoutsSet.RecordCount()) return;
  FileRow = row;
  PrintoutsEdit = FileLines(PrintoutsSet[row].File);
}

void TPrintoutsBrowser::ShowPrintout(std::size_t row) {
  if (Loading || Printing) return;
  ReceiptMemo.clear();
  ReceiptHighlight = -1;
  ReceiptScroll = 0;
  if (row >= RCPSet.RecordCount()) return;
  RcpRow = row;
  const TRCPSetRow& r = RCPSet[row];
  PrintoutsCaret = static_cast<std::size_t>(std::max(r.StartLine, 0)) * 45;
  const TStringList lines = FileLines(r.File);
  const auto count = static_cast<int32_t>(lines.size());
  if (r.StartLine < 0 || r.EndLine < 0 || r.EndLine >= count || r.StartLine > r.EndLine) return;
  for (int32_t i = r.StartLine; i <= r.EndLine; ++i) {
    if (i == r.Line - 1) {
      ReceiptHighlight = static_cast<int>(ReceiptMemo.size());
      ReceiptScroll = i - r.StartLine;
    }
    ReceiptMemo.push_back(DisplayLine(lines[static_cast<std::size_t>(i)]));
  }
}

// ---- printing ----

std::optional<TStringList> TPrintoutsBrowser::CurrentViewLines(TPrintChoice choice) {
  switch (ActiveTab) {
    case TBrowserTab::Files:
      return PrintoutsEdit;
    case TBrowserTab::RangeReport:
      return RangeReportMemo;
    case TBrowserTab::Receipts:
      break;
  }
  if (choice == TPrintChoice::Cancel) return std::nullopt;
  if (choice == TPrintChoice::CurrentDocument) return ReceiptMemo;
  PrintList.clear();
  if (!RCPSet.IsEmpty()) {
    Printing = true;
    for (std::size_t i = 0; i < RCPSet.RecordCount(); ++i) {
      if (i > 0 && RCPSet[i].PrintoutNo == RCPSet[i - 1].PrintoutNo) continue;
      try {
        PrintoutLines(RCPSet[i], PrintList);
      } catch (...) {
        Printing = false;
        throw;
      }
      PrintList.emplace_back();
    }
    Printing = false;
  }
  return PrintList;
}

AnsiString TPrintoutsBrowser::CurrentViewTitle() const {
  switch (ActiveTab) {
    case TBrowserTab::Files:
      if (PrintoutsSet.IsEmpty()) return {};
      return "Raport dobowy nr " +
             std::to_string(PrintoutsSet[std::min(FileRow, PrintoutsSet.RecordCount() - 1)].PrintoutNo) + " (" +
             UniqueNo + ")";
    case TBrowserTab::RangeReport:
      return "Raport okresowy (" + UniqueNo + ")" + kBreak + "Zakres wg " +
             (ByNumber ? "numerów: "_cp + std::to_string(FromNo) + " - " + std::to_string(ToNo)
                       : "dat: " + ShortDateStr(FromDate) + " - " + ShortDateStr(ToDate));
    case TBrowserTab::Receipts:
      break;
  }
  AnsiString t = "Wyniki wyszukiwania (" + UniqueNo + ")" + kBreak;
  const auto line = [&t](std::string_view label, std::string_view value) {
    if (!Trim(value).empty()) t += AnsiString(label) + AnsiString(value) + kBreak;
  };
  line("Nr wydruku od: ", PrintoutNoFromEd);
  line("Nr wydruku do: ", PrintoutNoToEd);
  line("Zawiera tekst: ", SearchTextEd);
  line("Nr dokumentu od: ", DocNoFromEd);
  line("Nr dokumentu do: ", DocNoToEd);
  t += "Typ dokumentu: " + DocTypeCB + kBreak;
  line("Zawiera towar w stawce: ", SearchPTUEd);
  if (PrintoutDateFromChecked) t += "Data wydruku od: " + ShortDateStr(PrintoutDateFromEd) + kBreak;
  if (PrintoutDateToChecked) t += "Data wydruku do: " + ShortDateStr(PrintoutDateToEd) + kBreak;
  for (const auto& row : ItemStringGrid) {
    if (Trim(row[0]).empty()) continue;
    t += "Zawiera towar \"" + AnsiUpperCase(Trim(row[0])) + "\"";
    if (!Trim(row[1]).empty()) t += " w stawce " + AnsiUpperCase(Trim(row[1]));
    t += kBreak;
  }
  if (t.size() >= 2 && t.compare(t.size() - 2, 2, kBreak) == 0) t.erase(t.size() - 2);
  return t;
}

}  // namespace quorvel
