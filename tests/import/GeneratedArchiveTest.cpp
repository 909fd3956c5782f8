#include <gtest/gtest.h>

#include <filesystem>

#include "base/TextUtils.h"
#include "ecopy/uDailyReportExtractor.h"
#include "import/TPrintoutsBrowser.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

// An archive written by the generator, with a rate change, a RAM reset and a currency change.
class GeneratedArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TClock::SetForTests(EncodeDateTime(2024, 4, 2, 12, 0));
    dir = tmp / "ABC12345678";
    const auto r = test::RunProgram(QUORVEL_SIM_PATH, {"generate", "--out", dir.string(), "--files", "12", "--seed",
                                                       "3", "--rate-change", "4", "--ram-reset", "6",
                                                       "--currency-change", "9", "--cards", "2"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    browser.ArchiveRootDir = (tmp / "archive").string() + "/";
    browser.SourceKind = skECopyDirectory;
    browser.SourceDir = dir.string();
  }
  void TearDown() override { TClock::SetForTests(std::nullopt); }

  test::TTempDir tmp;
  fs::path dir;
  TSilentPrompts prompts;
  TPrintoutsBrowser browser{prompts};
};

TEST_F(GeneratedArchiveTest, RangeReportReadsWhatTheWholeFilesHold) {
  browser.LoadSource();
  ASSERT_EQ(browser.PrintoutsSet.RecordCount(), 12u);

  // The same extraction over each whole file gives the same records.
  std::vector<RFMRecord> expected;
  TDailyReportExtractor extractor([&expected](const RFMRecord& r) {
    RFMRecord copy = r;
    if (copy.Kind == kKindRateChange) TDailyReportFormatter::ApplyRateChange(copy);
    expected.push_back(copy);
  });
  for (std::size_t i = 0; i < browser.PrintoutsSet.RecordCount(); ++i)
    extractor.ExtractDailyReport(browser.PrintoutsSet[i].File, i == 0);
  ASSERT_EQ(browser.Formatter.Records.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_TRUE(browser.Formatter.Records[i]->Record == expected[i]) << i << " kind " << int(expected[i].Kind);

  std::string text;
  for (const auto& l : browser.RangeReportMemo) text += Cp1250ToUtf8(l) + "\n";
  EXPECT_EQ(CountOf(text, "POCZ. WAR. ST."), 1);
  EXPECT_EQ(CountOf(text, "ZMIANA STAWEK PTU"), 1);
  EXPECT_GE(CountOf(text, "ZEROWANIE PAMIĘCI RAM"), 1);
  EXPECT_EQ(CountOf(text, "ZMIANA WALUTY"), 1);
  EXPECT_EQ(CountOf(text, "\nWaluta:"), 2) << text;  // one summary block per currency period
  for (int n = 1; n <= 12; ++n) EXPECT_EQ(CountOf(text, Format("Nr raportu:  %04d", n)), 1) << n;
}

TEST_F(GeneratedArchiveTest, CardChoiceListsTheCardsReports) {
  browser.LoadSource();
  ASSERT_TRUE(browser.CardIndex.LoadFromFile(dir / "idhist.txt", false));
  browser.FillCardList();
  ASSERT_GE(browser.CardIndex.Count(), 2);
  const TIDFileRecord* first = browser.CardIndex.Items(0);
  browser.CardChanged(1);
  ASSERT_FALSE(browser.PrintoutsSet.IsEmpty());
  for (const auto& row : browser.PrintoutsSet) {
    EXPECT_GE(row.PrintoutNo, first->ReportNoFrom);
    EXPECT_LE(row.PrintoutNo, first->ReportNoTo);
  }
  EXPECT_EQ(browser.FromNo, browser.PrintoutsSet[0].PrintoutNo);
  browser.CardChanged(0);
  EXPECT_EQ(browser.PrintoutsSet.RecordCount(), 12u);
}

}  // namespace
}  // namespace quorvel
