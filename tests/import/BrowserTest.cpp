#include <gtest/gtest.h>

#include <filesystem>

#include "archive/QVDDeviceInfo.h"
#include "archive/uDailyRecord.h"
#include "base/Errors.h"
#include "base/FileUtils.h"
#include "base/TextUtils.h"
#include "import/ECopyFixtures.h"
#include "import/TPrintoutsBrowser.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

int CountOccurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

std::string Row(const std::string& label, int blanks, const std::string& value) {
  return label + std::string(static_cast<std::size_t>(blanks), ' ') + value;
}

std::string Utf(const std::string& cp) { return Cp1250ToUtf8(cp); }

std::string Text(const TStringList& lines) {
  std::string out;
  for (const auto& l : lines) out += Cp1250ToUtf8(l) + "\n";
  return out;
}

RFMRecord DailyRecord(int no, int day, const std::string& gross) {
  RFMRecord r;
  r.Kind = kKindDaily;
  r.Number = std::to_string(no);
  r.Date = EncodeDateTime(2024, 3, day, 21, 0);
  for (auto& rate : r.Rates) rate = "99,99";
  r.Rates[0] = "23";
  r.Gross[0] = gross;
  r.VatTotal = "0";
  r.GrossTotal = gross;
  r.ReceiptCount = "1";
  return r;
}

class BrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TClock::SetForTests(EncodeDateTime(2024, 4, 2, 12, 0));
    browser.ArchiveRootDir = (tmp / "archive").string() + "/";
  }
  void TearDown() override { TClock::SetForTests(std::nullopt); }

  // A fiscal-memory directory: the opening rates, reports 1..n, a RAM reset after report 2.
  fs::path FiscalMemoryDir(const std::string& name, int reports) {
    const fs::path dir = tmp / name;
    fs::create_directories(dir);
    int pos = 1;
    RFMRecord rates;
    rates.Kind = kKindRateChange;
    rates.Date = EncodeDateTime(2024, 3, 1, 6, 0);
    for (int s = 0; s < kRateSlots; ++s) rates.Rates[s] = rates.Stats.RatesInForce[s] = "99,99";
    rates.Rates[0] = "23";
    WriteRecordFile(dir / RecordFileName(pos++), rates);
    for (int n = 1; n <= reports; ++n) {
      WriteRecordFile(dir / RecordFileName(pos++), DailyRecord(n, n, "12.30"));
      if (n == 2) {
        RFMRecord reset;
        reset.Kind = kKindRamReset;
        reset.Date = EncodeDateTime(2024, 3, 2, 22, 0);
        reset.ResetNo = "1";
        reset.ResetKind = "1";
        WriteRecordFile(dir / RecordFileName(pos++), reset);
      }
    }
    return dir;
  }

  test::TTempDir tmp;
  TScriptedPrompts prompts;
  TPrintoutsBrowser browser{prompts};
};

TEST_F(BrowserTest, DirectoryNamesGiveTheUniqueNumber) {
  struct TCase {
    uint8_t Kind;
    const char* Dir;
    const char* UniqueNo;  // nullptr: the number is refused
  } cases[] = {
      {skFiscalMemoryDirectory, "XYZ", nullptr},
      {skFiscalMemoryDirectory, "ABC12345678", "ABC12345678"},
      {skFiscalMemoryDirectory, "ABC12345678/", "ABC12345678"},
      {skCardDirectory, "ABC12345.678", "ABC12345678"},
      {skECopyDirectory, "ABC1234567", nullptr},
  };
  for (const auto& c : cases) {
    TPrintoutsBrowser b(prompts);
    b.ArchiveRootDir = (tmp / "archive").string() + "/";
    b.SourceKind = c.Kind;
    b.SourceDir = (tmp / c.Dir).string();
    fs::create_directories(tmp / c.Dir);
    if (!c.UniqueNo) {
      try {
        b.LoadSource();
        ADD_FAILURE() << c.Dir;
      } catch (const EQuorvelError& e) {
        EXPECT_EQ(std::string(e.what()), "Brak numeru unikatowego lub komunikacji");
      }
      EXPECT_TRUE(b.UniqueNo.empty());
      EXPECT_FALSE(b.Loading);
      EXPECT_TRUE(b.PrintoutsSet.IsEmpty());
    } else {
      b.LoadSource();  // an empty directory is no error
      EXPECT_EQ(b.UniqueNo, c.UniqueNo) << c.Dir;
      EXPECT_EQ(b.Formatter.UniqueNo, c.UniqueNo);
      EXPECT_TRUE(b.PrintoutsSet.IsEmpty());
      EXPECT_FALSE(b.Loading);
    }
  }
}

TEST_F(BrowserTest, FiscalMemoryDirectoryView) {
  const fs::path dir = FiscalMemoryDir("ABC12345678", 3);
  TDeviceInfo info;
  info.NIP = "1112223344";
  info.LineLen = 40;
  info.SaveDeviceInfo(dir / "device.xml");

  browser.SourceKind = skFiscalMemoryDirectory;
  browser.SourceDir = dir.string();
  std::vector<std::string> progress;
  browser.OnProgress = [&progress](TPrintoutsBrowser&, std::string_view file, std::string_view msg, int count) {
    EXPECT_EQ(count, -1);
    progress.push_back(std::string(file) + "|" + std::string(msg));
  };
  browser.LoadSource();

  EXPECT_EQ(Utf(browser.Caption), "Rekordy pamięci fiskalnej - ABC12345678");
  EXPECT_FALSE(browser.IsECopy);
  EXPECT_FALSE(browser.CardPanelVisible);
  EXPECT_FALSE(browser.ReceiptsTabVisible);
  ASSERT_EQ(browser.PrintoutsSet.RecordCount(), 3u);
  for (int n = 1; n <= 3; ++n) {
    const auto& row = browser.PrintoutsSet[static_cast<std::size_t>(n - 1)];
    EXPECT_EQ(row.PrintoutNo, n);
    EXPECT_EQ(fs::path(row.File), dir / Format("%04d.txt", n));
    EXPECT_EQ(row.Date, EncodeDateTime(2024, 3, n, 21, 0));
    EXPECT_TRUE(fs::exists(row.File));
  }
  EXPECT_EQ(browser.FromNo, 1);
  EXPECT_EQ(browser.ToNo, 3);
  EXPECT_TRUE(browser.ByNumber);
  EXPECT_EQ(browser.Formatter.LineLen, 40);
  EXPECT_EQ(browser.Formatter.ResetRecordCount, 1);
  EXPECT_EQ(progress.size(), 6u);  // five record files, then the end
  EXPECT_EQ(progress.back(), "|Koniec");

  // The file preview shows report 1; its text has the device's NIP and width.
  const std::string first = Text(browser.PrintoutsEdit);
  EXPECT_NE(first.find("NIP: 1112223344\n"), std::string::npos);
  EXPECT_NE(first.find(std::string(40, '~') + "\n"), std::string::npos);
  // The reset after report 2 is printed in report 3.
  EXPECT_NE(Utf(test::ReadFile(dir / "0003.txt")).find("ZEROWANIE PAMIĘCI RAM"), std::string::npos);

  const std::string range = Text(browser.RangeReportMemo);
  EXPECT_EQ(TDailyReportFormatter::JoinLines(browser.RangeReportMemo), test::ReadFile(dir / "range.txt"));
  EXPECT_NE(range.find(Row("Podany Zakres nr:", 11, "1          3")), std::string::npos);
  EXPECT_NE(range.find(Row("Należność:", 21, "PLN 36.90")), std::string::npos);
  EXPECT_NE(range.find(Row("Ilość zerowań RAM:", 21, "1")), std::string::npos);

  browser.ActiveTab = TBrowserTab::RangeReport;
  EXPECT_EQ(Utf(browser.CurrentViewTitle()), "Raport okresowy (ABC12345678)\r\nZakres wg numerów: 1 - 3");
  browser.ActiveTab = TBrowserTab::Files;
  EXPECT_EQ(browser.CurrentViewTitle(), "Raport dobowy nr 1 (ABC12345678)");
  EXPECT_EQ(browser.CurrentViewLines(), browser.PrintoutsEdit);
}

TEST_F(BrowserTest, FilterOverTheFiscalMemory) {
  browser.SourceKind = skFiscalMemoryDirectory;
  browser.SourceDir = FiscalMemoryDir("ABC12345678", 5).string();
  browser.LoadSource();
  const TStringList before = browser.RangeReportMemo;

  browser.FromNoEd = "abc";
  browser.ToNoEd = "10";
  browser.Filter();
  ASSERT_EQ(prompts.Messages.size(), 1u);
  EXPECT_EQ(Utf(prompts.Messages[0].Text), "Wprowadź poprawne dane");
  EXPECT_EQ(Utf(prompts.Messages[0].Caption), "Błędne dane");
  EXPECT_EQ(browser.RangeReportMemo, before);

  // One edit filled and the other not a number: the formatter's conversion error.
  browser.FromNoEd = "abc";
  browser.ToNoEd = "";
  EXPECT_THROW(browser.Filter(), EConvertError);
  EXPECT_EQ(browser.RangeReportMemo, before);

  browser.FromNoEd = "2";
  browser.ToNoEd = "3";
  browser.Filter();
  std::string text = Text(browser.RangeReportMemo);
  EXPECT_EQ(text.find("Nr raportu:  0001"), std::string::npos);
  EXPECT_NE(text.find("Nr raportu:  0002"), std::string::npos);
  EXPECT_NE(text.find("Nr raportu:  0003"), std::string::npos);
  EXPECT_EQ(text.find("Nr raportu:  0004"), std::string::npos);
  EXPECT_EQ(browser.FromNo, 2);
  EXPECT_EQ(browser.ToNo, 3);

  browser.FromNoEd = "";
  browser.ToNoEd = "";
  browser.ViewType = TViewType::Summary;
  browser.Filter();
  text = Text(browser.RangeReportMemo);
  EXPECT_EQ(text.rfind("             ŁĄCZNY RAPORT OKRESOWY", 0), 0u);
  EXPECT_NE(text.find(Row("Zakres nr: ", 16, "         1          5")), std::string::npos);

  browser.RangeByNumberSelected = false;
  browser.ViewType = TViewType::FullData;
  browser.FromDateEd = EncodeDate(2024, 3, 4);
  browser.ToDateEd = EncodeDate(2024, 3, 9);
  browser.Filter();
  text = Text(browser.RangeReportMemo);
  EXPECT_NE(text.find(Row("Podany Zakres dat:", 9, "04-03-2024 09-03-2024")), std::string::npos);
  EXPECT_EQ(text.find("Nr raportu:  0003"), std::string::npos);
  EXPECT_NE(text.find("Nr raportu:  0004"), std::string::npos);
  EXPECT_NE(text.find("Nr raportu:  0005"), std::string::npos);
  browser.ActiveTab = TBrowserTab::RangeReport;
  EXPECT_EQ(browser.CurrentViewTitle(), "Raport okresowy (ABC12345678)\r\nZakres wg dat: 04.03.2024 - 09.03.2024");
}

TEST_F(BrowserTest, BadRecordFileAndSaveErrors) {
  const fs::path dir = FiscalMemoryDir("ABC12345678", 2);
  test::WriteFile(dir / "0003.fmr", std::string("\x02\x02\x09", 3));  // a date value with a wrong tag
  browser.SourceKind = skFiscalMemoryDirectory;
  browser.SourceDir = dir.string();
  try {
    browser.LoadSource();
    ADD_FAILURE();
  } catch (const EReadError& e) {
    EXPECT_NE(std::string(e.what()).find("0003.fmr"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(browser.Loading);

  fs::remove(dir / "0003.fmr");
  browser.LoadSource();
  ASSERT_TRUE(browser.SaveReportEnabled());
  EXPECT_TRUE(browser.SaveReport((tmp / "saved.txt").string()));
  EXPECT_EQ(test::ReadFile(tmp / "saved.txt"), TDailyReportFormatter::JoinLines(browser.RangeReportMemo));
  fs::create_directories(tmp / "folder.txt");
  EXPECT_FALSE(browser.SaveReport((tmp / "folder.txt").string()));
  ASSERT_EQ(prompts.Messages.size(), 1u);
  EXPECT_EQ(Utf(prompts.Messages[0].Text).rfind("Nie można zapisać pliku raportu: ", 0), 0u);
  EXPECT_EQ(Utf(prompts.Messages[0].Caption), "Błąd");
}

TEST_F(BrowserTest, DeviceDirectoryHonoursTheOverride) {
  const std::string root = (tmp / "archive").string() + "/";
  EXPECT_EQ(browser.DeviceDirectory("ABC12345678", true, true), root + "CDData/ABC12345678/");
  EXPECT_EQ(browser.DeviceDirectory("ABC12345678", false, false), root + "FMData/-BC12345678/");
  browser.DirectoryOverride = (tmp / "auto").string();
  EXPECT_EQ(browser.DeviceDirectory("ABC12345678", true, true), (tmp / "auto").string() + "/ABC12345678/");
  EXPECT_EQ(browser.DeviceDirectory("ABC12345678", false, true), (tmp / "auto").string() + "/ABC12345678/");
  EXPECT_TRUE(fs::is_directory(tmp / "auto" / "ABC12345678"));
  EXPECT_TRUE(fs::is_directory(tmp / "archive" / "FMData" / "-BC12345678"));
}

class ECopyBrowserTest : public BrowserTest {
 protected:
  void SetUp() override {
    BrowserTest::SetUp();
    source = tmp / "ABC12345678";
    for (int n = 1; n <= 3; ++n) {
      test::TDayFixture day;
      day.ReportNo = n;
      day.Day = 4 + n;
      day.Receipts = n;
      day.FirstPrintout = 10 * n;
      day.Write(source);
      totalCents += day.GrossCents();
    }
  }

  void AddCard(int from, int to) {
    auto card = std::make_unique<TIDFileRecord>();
    card->ReportNoFrom = from;
    card->ReportNoTo = to;
    card->ReportDateFrom = EncodeDate(2009, 3, 4 + from);
    card->ReportDateTo = to == 2143 ? kLargestDateTime : EncodeDate(2009, 3, 4 + to);
    browser.CardIndex.Entries.push_back(std::move(card));
  }

  fs::path source;
  long totalCents = 0;
};

TEST_F(ECopyBrowserTest, DirectoryOpenedInPlace) {
  browser.SourceKind = skECopyDirectory;
  browser.SourceDir = source.string();
  browser.LoadSource();
  EXPECT_EQ(browser.Caption, "Pliki kopii elektronicznej - ABC12345678");
  EXPECT_TRUE(browser.IsECopy && browser.CardPanelVisible && browser.VerifyEnabled && browser.ReceiptsTabVisible);
  ASSERT_EQ(browser.PrintoutsSet.RecordCount(), 3u);
  EXPECT_EQ(browser.ReceiptRangeLB, "Zakres nr wydruku (10 - 33)");
  EXPECT_EQ(browser.FromNo, 1);
  EXPECT_EQ(browser.ToNo, 3);
  EXPECT_TRUE(browser.Formatter.HasTotals);
  EXPECT_TRUE(browser.Formatter.HasInvoices);
  const fs::path range = tmp / "archive" / "CDData" / "ABC12345678" / "range.txt";
  ASSERT_TRUE(fs::exists(range));
  const std::string text = Text(browser.RangeReportMemo);
  EXPECT_EQ(TDailyReportFormatter::JoinLines(browser.RangeReportMemo), test::ReadFile(range));
  for (int n = 1; n <= 3; ++n) EXPECT_NE(text.find(Format("Nr raportu:  %04d", n)), std::string::npos);
  // The periodic total is what the receipts of the three days sold.
  const std::string total = Format("PLN %ld.%02ld", totalCents / 100, totalCents % 100);
  // The printout's width is 19: the summary title takes two lines.
  EXPECT_EQ(browser.Formatter.LineLen, 19);
  const auto summary = text.find("   ŁĄCZNY RAPORT\n     OKRESOWY\n");
  ASSERT_NE(summary, std::string::npos);
  EXPECT_NE(text.find(total, summary), std::string::npos) << total << "\n" << text;
  EXPECT_NE(text.find("ABC 12345678"), std::string::npos);
}

TEST_F(ECopyBrowserTest, CardChoiceAndWarnings) {
  browser.SourceKind = skECopyDirectory;
  browser.SourceDir = source.string();
  browser.LoadSource();
  AddCard(1, 1);
  AddCard(2, 3);
  AddCard(4, 2143);  // the medium still in the device
  browser.FillCardList();
  EXPECT_EQ(browser.DevicesCB, (std::vector<AnsiString>{"Wszystkie", "Karta nr 1", "Karta nr 2", "Karta nr 3"}));

  browser.CardChanged(2);
  ASSERT_EQ(browser.PrintoutsSet.RecordCount(), 2u);
  EXPECT_EQ(browser.PrintoutsSet[0].PrintoutNo, 2);
  EXPECT_EQ(browser.FromNo, 2);
  std::string text = Text(browser.RangeReportMemo);
  EXPECT_EQ(text.find("Nr raportu:  0001"), std::string::npos);

  const int width = browser.Formatter.LineLen;
  browser.FromNoEd = "1";
  browser.ToNoEd = "3000";
  browser.Filter();
  ASSERT_GE(browser.RangeReportMemo.size(), 3u);
  // Card 2 is chosen and card 3 is the last: only card 1 is named.
  EXPECT_EQ(Utf(browser.RangeReportMemo[0]), Format("%*s", width, "Uwaga, raporty z zakresu od 1 do 1"));
  // Two letters of the line take two bytes each in UTF-8.
  EXPECT_EQ(Utf(browser.RangeReportMemo[1]), Format("%*s", width + 2, " znajdują się na karcie nr 1"));
  EXPECT_EQ(browser.RangeReportMemo[2], "");
  EXPECT_EQ(text.find("Uwaga"), std::string::npos);

  browser.CardChanged(0);
  EXPECT_EQ(browser.PrintoutsSet.RecordCount(), 3u);
  browser.FromNoEd = "2";
  browser.ToNoEd = "5";
  browser.Filter();
  text = Text(browser.RangeReportMemo);
  EXPECT_EQ(text.find("karcie nr 1"), std::string::npos);
  EXPECT_NE(text.find("Uwaga, raporty z zakresu od 2 do 3"), std::string::npos);
  EXPECT_EQ(text.find("karcie nr 3"), std::string::npos);

  // By dates: the card's dates, written in the short form.
  browser.RangeByNumberSelected = false;
  browser.FromDateEd = EncodeDate(2009, 3, 1);
  browser.ToDateEd = EncodeDate(2009, 3, 6);
  browser.Filter();
  text = Text(browser.RangeReportMemo);
  EXPECT_NE(text.find("Uwaga, raporty z zakresu od 05.03.2009 do 05.03.2009"), std::string::npos);
  EXPECT_NE(text.find("Uwaga, raporty z zakresu od 06.03.2009 do 06.03.2009"), std::string::npos);

  // A history of one card never warns.
  browser.CardIndex.Entries.resize(1);
  EXPECT_TRUE(browser.CardWarnings(true, 1, 2143, 0, 0).empty());
}

TEST_F(ECopyBrowserTest, SearchAndPrintViews) {
  browser.SourceKind = skECopyDirectory;
  browser.SourceDir = source.string();
  browser.LoadSource();

  browser.DocTypeCB = "Faktura";
  browser.Search();
  ASSERT_EQ(prompts.Messages.size(), 1u);
  EXPECT_EQ(Utf(prompts.Messages[0].Text), "Nie znaleziono faktur spełniających zadane kryteria");
  EXPECT_EQ(prompts.Messages[0].Caption, "Inforamcja");
  EXPECT_FALSE(browser.CheckReceiptEnabled);

  browser.DocTypeCB = "Paragon";
  browser.SearchTextEd = "SUMA";
  browser.Search();
  EXPECT_EQ(prompts.Messages.size(), 1u);
  // Six receipts, each matching on two lines.
  ASSERT_EQ(browser.RCPSet.RecordCount(), 12u);
  EXPECT_TRUE(browser.CheckReceiptEnabled);
  EXPECT_FALSE(browser.Loading);
  ASSERT_FALSE(browser.ReceiptMemo.empty());
  EXPECT_EQ(browser.ReceiptHighlight, browser.RCPSet[0].Line - 1 - browser.RCPSet[0].StartLine);

  browser.ActiveTab = TBrowserTab::Receipts;
  EXPECT_FALSE(browser.CurrentViewLines(TPrintChoice::Cancel).has_value());
  EXPECT_EQ(browser.CurrentViewLines(TPrintChoice::CurrentDocument), browser.ReceiptMemo);
  const auto all = browser.CurrentViewLines(TPrintChoice::AllDocuments);
  ASSERT_TRUE(all.has_value());
  // Each receipt once: eight lines and an empty one.
  EXPECT_EQ(all->size(), 6u * 9u);
  EXPECT_EQ(CountOccurrences(Text(*all), "PARAGON FISKALNY"), 6);

  browser.PrintoutDateFromChecked = browser.PrintoutDateToChecked = true;
  browser.PrintoutDateFromEd = EncodeDate(2009, 3, 5);
  browser.PrintoutDateToEd = EncodeDate(2009, 3, 7);
  browser.ItemStringGrid[3] = {" chleb ", "a"};
  browser.ItemStringGrid[4] = {"masło"_cp.data(), ""};
  EXPECT_EQ(Utf(browser.CurrentViewTitle()),
            "Wyniki wyszukiwania (ABC12345678)\r\n"
            "Zawiera tekst: SUMA\r\n"
            "Typ dokumentu: Paragon\r\n"
            "Data wydruku od: 05.03.2009\r\n"
            "Data wydruku do: 07.03.2009\r\n"
            "Zawiera towar \"CHLEB\" w stawce A\r\n"
            "Zawiera towar \"MASŁO\"");
}

TEST_F(ECopyBrowserTest, MemoryCardIsCopiedIntoTheArchive) {
  const fs::path card = tmp / "card" / "ABC12345.678";
  fs::create_directories(card);
  for (int n = 1; n <= 3; ++n) fs::copy_file(source / "0001" / Format("%04d.txt", n), card / Format("%04d.txt", n));
  browser.SourceKind = skCardDirectory;
  browser.SourceDir = card.string();
  browser.LoadSource();
  EXPECT_EQ(browser.UniqueNo, "ABC12345678");
  ASSERT_EQ(browser.PrintoutsSet.RecordCount(), 3u);
  const fs::path archived = tmp / "archive" / "CDData" / "ABC12345678";
  EXPECT_EQ(fs::path(browser.PrintoutsSet[0].File), archived / "0001.txt");
  EXPECT_TRUE(fs::exists(archived / "range.txt"));
  EXPECT_NE(Text(browser.RangeReportMemo).find("Nr raportu:  0003"), std::string::npos);
}

TEST_F(ECopyBrowserTest, BrokenFilesStopTheRangeReport) {
  browser.SourceKind = skECopyDirectory;
  browser.SourceDir = source.string();
  // The first and the last header read; the middle file is not a daily report.
  test::WriteFile(source / "0001" / "0002.txt", "Plik: 0002.txt\r\nnothing else\r\n");
  try {
    browser.LoadSource();
    ADD_FAILURE();
  } catch (const EQuorvelError& e) {
    EXPECT_EQ(Utf(e.what()), "Błędny format pliku");
  }
  EXPECT_FALSE(browser.Loading);
  EXPECT_EQ(browser.PrintoutsSet.RecordCount(), 3u);
  EXPECT_TRUE(browser.RangeReportMemo.empty());
  // The last header does not read.
  test::WriteFile(source / "0001" / "0003.txt", "Plik: 0003.txt\r\n");
  try {
    browser.LoadSource();
    ADD_FAILURE();
  } catch (const EQuorvelError& e) {
    EXPECT_EQ(Utf(e.what()), "Błędne pliki");
  }
}

}  // namespace
}  // namespace quorvel
