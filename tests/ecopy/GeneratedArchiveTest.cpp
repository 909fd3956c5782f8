// Extraction and card history over archives that quorvel-sim generates.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/PrintoutScanner.h"
#include "base/Amount.h"
#include "base/Errors.h"
#include "base/FileUtils.h"
#include "base/TextUtils.h"
#include "ecopy/uDailyReportExtractor.h"
#include "ecopy/uIDFile.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

TAmount Sum(const TRateTexts& texts) {
  TAmount s;
  for (const auto& t : texts) s += AmountOf(t);
  return s;
}

std::vector<std::filesystem::path> Generate(const test::TTempDir& dir, const std::vector<std::string>& options) {
  std::vector<std::string> args = {"generate", "--out", (dir / "ecopy").string()};
  args.insert(args.end(), options.begin(), options.end());
  const auto r = test::RunProgram(QUORVEL_SIM_PATH, args);
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  return FindDeviceFiles(dir / "ecopy", ".txt");
}

TEST(GeneratedArchive, EveryDailyReportExtractsWithConsistentTotals) {
  test::TTempDir dir;
  const auto files = Generate(dir, {"--files", "14", "--seed", "7", "--cards", "3", "--rate-change", "4",
                                    "--ram-reset", "6", "--currency-change", "9"});
  ASSERT_EQ(files.size(), 14u);

  std::vector<RFMRecord> delivered;
  TDailyReportExtractor x([&delivered](const RFMRecord& r) { delivered.push_back(r); });
  TAmount cumulative;
  TDateTime previousDate = 0;
  int32_t previousPrintout = 0;
  for (std::size_t k = 0; k < files.size(); ++k) {
    SCOPED_TRACE(files[k].string());
    delivered.clear();
    const RFMRecord d = x.ExtractDailyReport(files[k], k == 0);
    ASSERT_FALSE(delivered.empty());
    EXPECT_EQ(delivered.back(), d);
    EXPECT_EQ(StrToIntDef(d.Number, 0), static_cast<int>(k + 1));

    // The day's total is the sum of the slots' gross values, invoices included; the VAT total
    // is what the VAT lines added to the nets.
    EXPECT_EQ(AmountOf(d.GrossTotal), Sum(d.Gross) + Sum(d.InvoiceGross));
    EXPECT_EQ(AmountOf(d.VatTotal), Sum(d.Gross) - Sum(d.Net) + Sum(d.InvoiceGross) - Sum(d.InvoiceNet));
    // The cumulative total grows by each day's total from fiscalisation on.
    cumulative += AmountOf(d.GrossTotal);
    EXPECT_EQ(AmountOf(d.CumGross), cumulative);

    // The day's receipts, as the printout scan finds them.
    TSearchRec receipts;
    receipts.DocKind = kDocKindReceipts;
    int found = 0;
    ScanPrintouts(receipts, files[k], [&found](const TRcpData&, int32_t) { ++found; });
    EXPECT_EQ(StrToIntDef(d.ReceiptCount, -1), found);

    EXPECT_GT(d.Date, previousDate);
    previousDate = d.Date;
    const int32_t printout = StrToIntDef(d.PrintoutNumber, 0);
    EXPECT_GT(printout, previousPrintout);
    previousPrintout = printout;

    std::vector<int> kinds;
    for (const auto& r : delivered) kinds.push_back(r.Kind);
    std::vector<int> expected;
    if (k == 0) expected = {kKindRateChange, kKindCurrencyNoDate};
    if (k + 1 == 4) expected = {kKindRateChange};
    if (k + 1 == 6) expected = {kKindRamReset};
    if (k + 1 == 9) expected = {kKindCurrencyChange};
    expected.push_back(kKindDaily);
    EXPECT_EQ(kinds, expected);
    if (k + 1 == 4) {
      EXPECT_EQ(delivered[0].Date, DateOf(d.Date));
      EXPECT_FALSE(delivered[0].Rates[0].empty());
    }
    if (k + 1 == 6) {
      EXPECT_FALSE(delivered[0].ResetNo.empty());
      EXPECT_EQ(DateOf(delivered[0].Date), DateOf(d.Date));
    }

    EXPECT_EQ(x.ReadUniqueNo(files[k]), "ABC12345678");
    EXPECT_EQ(x.ReadControlNo(files[k]).size(), 32u);
  }
}

TEST(GeneratedArchive, CardHistoryCoversTheReports) {
  test::TTempDir dir;
  Generate(dir, {"--files", "20", "--seed", "3", "--cards", "3"});
  TIDFileReader cards;
  ASSERT_TRUE(cards.LoadFromFile(dir / "ecopy" / "idhist.txt", false)) << cards.LastError;
  ASSERT_EQ(cards.Count(), 4);
  EXPECT_EQ(cards.UniqueNo, "ABC12345678");
  EXPECT_EQ(cards.Items(0)->ReportNoFrom, 1);
  for (int k = 0; k + 1 < cards.Count(); ++k) {
    const TIDFileRecord& e = *cards.Items(k);
    EXPECT_EQ(e.CardLabel, k + 1);
    EXPECT_LE(e.ReportNoFrom, e.ReportNoTo);
    EXPECT_EQ(cards.Items(k + 1)->ReportNoFrom, e.ReportNoTo + 1);
  }
  EXPECT_EQ(cards.Items(3)->ReportNoTo, 2143);

  // One changed character in the generated file fails it.
  std::string bytes = ReadFileBytes(dir / "ecopy" / "idhist.txt");
  const std::size_t pos = bytes.rfind("Nr paragon do:");
  ASSERT_NE(pos, std::string::npos);
  bytes[bytes.find_first_of("0123456789", pos)] ^= 1;
  TIDFileReader broken;
  EXPECT_FALSE(broken.LoadFromText(bytes, false));
  EXPECT_EQ(broken.Count(), 0);
}

TEST(GeneratedArchive, ReportsWithoutCumulativeSectionFailClearly) {
  test::TTempDir dir;
  const auto files = Generate(dir, {"--files", "3", "--seed", "5", "--no-cumulative"});
  ASSERT_EQ(files.size(), 3u);
  TDailyReportExtractor x;
  for (const auto& f : files) {
    try {
      x.ExtractDailyReport(f, false);
      ADD_FAILURE() << f << ": no error";
    } catch (const EQuorvelError& e) {
      EXPECT_NE(std::string(e.what()).find("NARASTAJ"), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace quorvel
