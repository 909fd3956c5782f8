#include "archive/PrintoutIndex.h"

#include <gtest/gtest.h>

#include "archive/PrintoutFixtures.h"
#include "archive/QVDDeviceInfo.h"
#include "base/Errors.h"
#include "base/FileUtils.h"
#include "base/TextUtils.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using test::Concat;
using test::Cp;
using test::TTempDir;
using test::WriteFile;

TEST(PrintoutIndex, FileNameNumber) {
  const struct {
    const char* Name;
    int32_t Number;
  } cases[] = {{"0001.txt", 1}, {"/a/0100/0157.txt", 157}, {"12ab.txt", 0}, {"0000.txt", 0},
               {"-001.txt", 0}, {"id.txt", 0},             {"2143.fmr", 2143}};
  for (const auto& c : cases) EXPECT_EQ(FileNameNumber(c.Name), c.Number) << c.Name;
}

TEST(PrintoutIndex, ListArchiveFilesSkipsBadNamesAndReportsTheHighestNumber) {
  TTempDir dir;
  for (const char* name : {"0001/0007.txt", "0100/0157.txt", "0100/0120.txt", "0003.txt", "12ab.txt", "0000.txt",
                           "id.txt", "range.txt"})
    WriteFile(dir / name, "x");
  TPrintoutsSet set;
  EXPECT_EQ(ListArchiveFiles(set, dir.Path(), 5, 150), 157);
  std::vector<int32_t> numbers;
  for (const auto& row : set) {
    numbers.push_back(row.PrintoutNo);
    EXPECT_GT(row.Date, 0);
    EXPECT_TRUE(fs::exists(row.File));
  }
  EXPECT_EQ(numbers, (std::vector<int32_t>{7, 120}));
  // Nothing found: the list stays as it was.
  TTempDir empty;
  EXPECT_EQ(ListArchiveFiles(set, empty.Path(), 0, 2143), 0);
  EXPECT_EQ(set.RecordCount(), 2u);
}

TEST(PrintoutIndex, ListArchiveFilesFormsTheDeviceDirectory) {
  TTempDir root;
  WriteFile(root / "CDData/ABC12345678/0001/0002.txt", "x");
  WriteFile(root / "CDData/-BC12345678/0001/0009.txt", "x");
  TPrintoutsSet set;
  const std::string archive = IncludeTrailingSeparator(root.Path().string());
  EXPECT_EQ(ListArchiveFiles(set, archive, "", "ABC 1234 5678", true, true, 0, 2143), 2);
  EXPECT_EQ(ListArchiveFiles(set, archive, "", "ABC12345678", true, false, 0, 2143), 9);
  ASSERT_EQ(set.RecordCount(), 1u);
  EXPECT_NE(set[0].File.find("-BC12345678"), std::string::npos);
}

TEST(PrintoutIndex, OpenedDirectoryReportsProgressAndStopsOnEscape) {
  TTempDir dir;
  for (const char* name : {"0001/0001.txt", "0001/0002.txt", "0003.txt", "12ab.txt"}) WriteFile(dir / name, "x");
  TPrintoutsSet set;
  TScriptedPrompts prompts;
  std::vector<std::string> progress;
  ASSERT_TRUE(LoadECopyDirectory(set, dir.Path(), prompts, [&](std::string_view m) { progress.emplace_back(m); }));
  EXPECT_EQ(set.RecordCount(), 3u);
  ASSERT_EQ(progress.size(), 5u);
  EXPECT_EQ(progress.back(), "Koniec");
  EXPECT_TRUE(prompts.Questions.empty());

  // Escape before the second file, answered No, then Escape again answered Yes.
  TScriptedPrompts esc;
  esc.BreakAfterPumps = 2;
  esc.BreakCount = 2;
  esc.Answers = {false, true};
  EXPECT_FALSE(LoadECopyDirectory(set, dir.Path(), esc));
  ASSERT_EQ(esc.Questions.size(), 2u);
  EXPECT_EQ(esc.Questions[0].Text, "Czy przerwac odczyt?");
  EXPECT_EQ(esc.Questions[0].Caption, "Pytanie");
  EXPECT_EQ(set.RecordCount(), 2u);
}

TEST(PrintoutIndex, MemoryCardFilesAreCopiedButNeverSilentlyShortenedOrBroken) {
  TTempDir card, archive;
  const std::string good = Cp(Concat(test::HeaderLines(), test::ReceiptLines(1, 1)));
  const std::string longer = Cp(Concat(test::HeaderLines(), test::ReceiptLines(1, 1), test::ReceiptLines(2, 2)));
  const fs::path cardDir = card / "ABC12345.678";
  WriteFile(cardDir / "0001.txt", good);          // new in the archive
  WriteFile(cardDir / "0002.txt", good);          // shorter than the archived copy
  WriteFile(cardDir / "0003.txt", "broken");      // broken over a good archived copy
  WriteFile(cardDir / "0004.txt", longer);        // grows: replaced without asking
  WriteFile(cardDir / "0005.txt", good);          // identical
  WriteFile(cardDir / "12ab.txt", good);
  WriteFile(archive / "0002.txt", longer);
  WriteFile(archive / "0003.txt", good);
  WriteFile(archive / "0004.txt", good);
  WriteFile(archive / "0005.txt", good);

  TPrintoutsSet set;
  TScriptedPrompts prompts;
  prompts.Answers = {false, true};  // keep 0002, replace 0003
  ASSERT_TRUE(LoadMemoryCardDirectory(set, cardDir, archive.Path(), prompts));
  ASSERT_EQ(prompts.Questions.size(), 2u);
  EXPECT_NE(prompts.Questions[0].Text.find("0002.txt"), std::string::npos);
  EXPECT_FALSE(prompts.Questions[0].DefaultYes);
  EXPECT_NE(prompts.Questions[1].Text.find("0003.txt"), std::string::npos);
  EXPECT_EQ(test::ReadFile(archive / "0001.txt"), good);
  EXPECT_EQ(test::ReadFile(archive / "0002.txt"), longer);
  EXPECT_EQ(test::ReadFile(archive / "0003.txt"), "broken");
  EXPECT_EQ(test::ReadFile(archive / "0004.txt"), longer);
  ASSERT_EQ(set.RecordCount(), 5u);
  for (const auto& row : set) EXPECT_EQ(fs::path(row.File).parent_path(), archive.Path());
  EXPECT_EQ(FileDate(archive / "0001.txt"), FileDate(cardDir / "0001.txt"));
  EXPECT_EQ(CardDeviceName(cardDir), "ABC12345678");
}

TEST(PrintoutIndex, TablesSortOnAColumnWithoutRegardToLetterCase) {
  TRCPSet set;
  for (const auto& [no, type] : std::vector<std::pair<int, const char*>>{
           {3, "paragon"}, {10, "Faktura"}, {2, "Paragon apteczny"}, {1, "faktura"}}) {
    TRCPSetRow row;
    row.PrintoutNo = no;
    row.Type = type;
    set.Append(row);
  }
  auto numbers = [&set] {
    std::vector<int32_t> out;
    for (const auto& row : set) out.push_back(row.PrintoutNo);
    return out;
  };
  set.SortBy("Type");
  EXPECT_EQ(numbers(), (std::vector<int32_t>{10, 1, 3, 2}));  // stable among equal texts
  set.SortBy("printoutno", false);
  EXPECT_EQ(numbers(), (std::vector<int32_t>{10, 3, 2, 1}));
  EXPECT_EQ(std::get<AnsiString>(set.FieldValue(0, "Type")), "Faktura");
  EXPECT_EQ(TRCPSet::FieldIndex("Line"), 7);
  EXPECT_EQ(TPrintoutsSet::FieldIndex("File"), 2);
  EXPECT_THROW(set.SortBy("Nope"), EQuorvelError);
}

TEST(PrintoutIndex, HeaderPreFilter) {
  TReportFileHeader h;
  h.PrintoutNoFrom = 90;
  h.PrintoutNoTo = 120;
  h.ReceiptNoFrom = 10;
  h.ReceiptNoTo = 20;
  h.InvoiceNoFrom = 1;
  h.InvoiceNoTo = 3;
  h.PrintoutDateFrom = EncodeDateTime(2009, 3, 5, 8, 0);
  h.PrintoutDateTo = EncodeDateTime(2009, 3, 5, 20, 0);
  TSearchRec c;
  EXPECT_TRUE(HeaderAdmits(h, c));
  c.PrintoutNoFrom = 100;
  EXPECT_TRUE(HeaderAdmits(h, c));
  h.PrintoutNoFrom = 20;
  h.PrintoutNoTo = 99;
  EXPECT_FALSE(HeaderAdmits(h, c));
  c.PrintoutNoFrom = 1;
  c.PrintoutNoTo = 300;  // contains the header's range
  EXPECT_TRUE(HeaderAdmits(h, c));

  const struct {
    int32_t DocKind, From, To;
    bool Admitted;
  } docs[] = {
      {1, 15, -1, true}, {1, 2, 3, false}, {2, 2, 3, true}, {2, 15, 16, false},
      {4, 21, -1, false}, {255, 4, 9, true}, {5, 21, 30, false},  // both kinds span 1..20
  };
  for (const auto& d : docs) {
    SCOPED_TRACE(d.DocKind);
    TSearchRec dc;
    dc.DocKind = d.DocKind;
    dc.DocNoFrom = d.From;
    dc.DocNoTo = d.To;
    EXPECT_EQ(HeaderAdmits(h, dc), d.Admitted);
  }
  TSearchRec dates;
  dates.DateFrom = EncodeDateTime(2009, 3, 5, 23, 0);  // date parts only
  EXPECT_TRUE(HeaderAdmits(h, dates));
  dates.DateFrom = EncodeDate(2009, 3, 6);
  EXPECT_FALSE(HeaderAdmits(h, dates));
  h.PrintoutDateTo = 0;  // no date in the header: the file is scanned
  EXPECT_TRUE(HeaderAdmits(h, dates));
}

class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::THeaderRanges low;
    low.PrintoutFrom = 20;
    low.PrintoutTo = 99;
    test::THeaderRanges high;
    high.ReportNo = 2;
    high.PrintoutFrom = 90;
    high.PrintoutTo = 120;
    Write("0001.txt", Cp(Concat(test::HeaderLines(low), test::ReceiptLines(20, 1), test::ReceiptLines(99, 2))));
    Write("0002.txt", Cp(Concat(test::HeaderLines(high), test::ReceiptLines(100, 3), test::InvoiceLines(101, 1))));
    auto broken = test::HeaderLines();
    broken[10] = "Numer: 3";
    Write("0003.txt", Cp(Concat(broken, test::ReceiptLines(102, 4))));
  }
  void Write(const std::string& name, const std::string& bytes) {
    WriteFile(dir_ / name, bytes);
    files_.Append({FileNameNumber(name), 0, (dir_ / name).string()});
  }
  TTempDir dir_;
  TPrintoutsSet files_;
  TRCPSet rcp_;
  TScriptedPrompts prompts_;
};

TEST_F(SearchTest, ScansAdmittedFilesAndSkipsBrokenHeaders) {
  ASSERT_TRUE(SearchPrintouts(files_, {}, rcp_, prompts_));
  ASSERT_EQ(rcp_.RecordCount(), 4u);  // the file with the broken header is skipped
  EXPECT_EQ(rcp_[2].Type, "Paragon");
  EXPECT_EQ(rcp_[3].Type, "Faktura");
  EXPECT_EQ(rcp_[3].RCPNo, 1);
  EXPECT_EQ(rcp_[3].Date, EncodeDate(2009, 3, 7));  // the time part is not kept
  EXPECT_EQ(rcp_[0].Line, rcp_[0].StartLine);
  EXPECT_EQ(rcp_[0].StartLine, 34);

  // The header says printouts 20..99: with the range 99.. the file is scanned, with 100.. not.
  rcp_.Clear();
  TSearchRec c;
  c.PrintoutNoFrom = 99;
  SearchPrintouts(files_, c, rcp_, prompts_);
  ASSERT_EQ(rcp_.RecordCount(), 3u);
  EXPECT_EQ(rcp_[0].PrintoutNo, 99);
  // Even a number that lies in the file is not looked for when the header excludes it.
  WriteFile(files_[0].File, Cp(Concat(test::HeaderLines({1, 20, 99}), test::ReceiptLines(150, 1))));
  rcp_.Clear();
  c.PrintoutNoFrom = 150;
  SearchPrintouts(files_, c, rcp_, prompts_);
  EXPECT_EQ(rcp_.RecordCount(), 0u);
}

TEST_F(SearchTest, StopAtFirstEndsTheSearchAndErrorsKeepTheRowsFound) {
  TSearchRec c;
  c.DocNoFrom = 1;
  c.DocNoTo = 3;
  c.StopAtFirst = true;
  SearchPrintouts(files_, c, rcp_, prompts_);
  ASSERT_EQ(rcp_.RecordCount(), 1u);
  EXPECT_EQ(rcp_[0].PrintoutNo, 20);

  auto bad = test::ReceiptLines(105, 9);
  bad[1] = "05-03-2009   bez numeru";
  WriteFile(files_[1].File, Cp(Concat(test::HeaderLines(), test::ReceiptLines(104, 8), bad)));
  rcp_.Clear();
  EXPECT_THROW(SearchPrintouts(files_, {}, rcp_, prompts_), EConvertError);
  ASSERT_EQ(rcp_.RecordCount(), 3u);
  EXPECT_EQ(rcp_[2].PrintoutNo, 104);
}

TEST_F(SearchTest, EscapeStopsTheSearch) {
  prompts_.BreakAfterPumps = 2;
  prompts_.BreakCount = 1;
  prompts_.Answers = {true};
  EXPECT_FALSE(SearchPrintouts(files_, {}, rcp_, prompts_));
  EXPECT_EQ(rcp_.RecordCount(), 2u);  // the first file only
}

TEST(PrintoutIndex, DisplayLineBlanksMarkers) {
  const struct {
    std::string In, Out;
  } cases[] = {
      {"Chleb\u00A0 1 x2,50 ¨ A", "Chleb  1 x2,50   A"},
      {"´SUMA PTU ·5,00 …ˇ¬¤¦§", " SUMA PTU  5,00       "},
      {"Żółć łąka ęś", "Żółć łąka ęś"},  // Polish letters stay
      {"ş and Ş, ö and Ö", "  and  ,   and  "},  // the other letter case goes too
      {"  ‡‡‡‡ koniec", "             "},
      {"‡ first only", "‡ first only"},  // "‡" counts from the second character on
  };
  for (const auto& c : cases) EXPECT_EQ(DisplayLine(Utf8ToCp1250(c.In)), Utf8ToCp1250(c.Out)) << c.In;
  EXPECT_EQ(DisplayLine("\x1F\x91\x85\x95\x9B"), "     ");
}

TEST(PrintoutIndex, PrintoutLinesChecksTheBounds) {
  TTempDir dir;
  WriteFile(dir / "0001.txt", Utf8ToCp1250("zero\r\n·jeden\r\ndwa\r\n"));
  const struct {
    int32_t Start, End;
    std::vector<std::string> Lines;
  } cases[] = {{0, 2, {"zero", " jeden", "dwa"}}, {1, 1, {" jeden"}}, {2, 3, {}}, {-1, 1, {}}, {2, 1, {}}};
  for (const auto& c : cases) {
    TRCPSetRow row;
    row.File = (dir / "0001.txt").string();
    row.StartLine = c.Start;
    row.EndLine = c.End;
    std::vector<AnsiString> out{"before"};
    PrintoutLines(row, out);
    std::vector<std::string> want{"before"};
    want.insert(want.end(), c.Lines.begin(), c.Lines.end());
    EXPECT_EQ(out, want) << c.Start << ".." << c.End;
  }
}

}  // namespace
}  // namespace quorvel
