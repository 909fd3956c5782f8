#include <gtest/gtest.h>

#include "base/Errors.h"
#include "base/TextUtils.h"
#include "reports/ReportFixtures.h"
#include "reports/uDailyReportFormatter.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

std::string Sp(int n) { return std::string(static_cast<std::size_t>(n), ' '); }
std::string Row(const std::string& label, int blanks, const std::string& value) { return label + Sp(blanks) + value; }

class SummaryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TClock::SetForTests(EncodeDateTime(2024, 4, 2, 12, 0));
    f.UniqueNo = "ABC12345678";
    f.NIP = "1234567890";
    f.RangeFileName = (dir / "range.txt").string();
  }
  void TearDown() override { TClock::SetForTests(std::nullopt); }

  std::string Build(bool byNumber, const std::string& from, const std::string& to, bool detailed = true) {
    f.SetRange(from, to, byNumber);
    f.BuildRangeReport(byNumber, from, to, detailed);
    return Cp1250ToUtf8(test::ReadFile(dir / "range.txt"));
  }

  test::TTempDir dir;
  TDailyReportFormatter f;
};

// The summary view at width 20, counted by hand: the two-line title, the joined lines.
TEST_F(SummaryTest, SummaryViewAtWidthTwenty) {
  f.LineLen = 20;
  f.AddRecord(test::RateChange(test::Day(1, 6), "23"));
  f.AddRecord(test::Daily(1, test::Day(1), "12.30", "2.30", "3"));
  f.AddRecord(test::Daily(2, test::Day(2), "24.60", "4.60", "5"));
  const std::string text = Build(true, "", "", false);
  const std::string sep(20, '~');
  const std::vector<std::string> expected = {
      Sp(3) + "ŁĄCZNY RAPORT",
      Sp(6) + "OKRESOWY",
      sep,
      "Zakres dat: 01-03-2024 02-03-2024",
      "Zakres nr:          1          2",
      sep,
      Row("Waluta:", 10, "PLN"),
      "Zakres dat:01-03-2024 02-03-2024",
      "Zakres nr:         1          2",
      sep,
      Row("SP.OP.A", 8, "30.00"),
      Row("Kwota PTU A", 5, "6.90"),
      Row("Suma PTU:", 7, "6.90"),
      sep,
      Row("Należność:", 1, "PLN 36.90"),
      Row("Ilość paragonów:", 3, "8"),
      sep,
      "",
      Sp(4) + "ABC 12345678",
  };
  std::string want;
  for (const auto& l : expected) want += l + "\r\n";
  EXPECT_EQ(text, want);
}

TEST_F(SummaryTest, DetailedHeaderAndWideTitle) {
  f.AddRecord(test::RateChange(test::Day(1, 6), "23"));
  f.AddRecord(test::Daily(1, test::Day(1)));
  const std::string text = Build(true, "1", Format("%11d", 1));
  const auto lines = test::Utf8Lines(f.Lines);
  ASSERT_GE(lines.size(), 10u);
  EXPECT_EQ(lines[0], "NIP: 1234567890" + Sp(33));
  EXPECT_EQ(lines[1], "02-04-2024");
  EXPECT_EQ(lines[3], Sp(16) + "RAPORT FISKALNY");
  EXPECT_EQ(lines[4], Sp(20) + "OKRESOWY");
  EXPECT_EQ(lines[5], Row("Podany Zakres nr:", 19, "1          1"));
  EXPECT_EQ(lines[6], Row("Obejmuje daty:", 13, "01-03-2024 01-03-2024"));
  EXPECT_EQ(lines[7], Row("Obejmuje numery:", 11, "         1          1"));
  EXPECT_EQ(lines[8], std::string(48, '~'));
  EXPECT_EQ(lines[9], Row("01-03-2024", 24, "POCZ. WAR. ST."));
  EXPECT_NE(text.find(Sp(13) + "ŁĄCZNY RAPORT OKRESOWY\r\n"), std::string::npos);
  EXPECT_NE(text.find("FISKALIZACJA"), std::string::npos);
}

TEST_F(SummaryTest, NumberRangeStopsAfterItsLastReport) {
  f.AddRecord(test::RateChange(test::Day(1, 6), "23"));
  for (int n = 1; n <= 4; ++n) f.AddRecord(test::Daily(n, test::Day(n)));
  f.AddRecord(test::RamReset(test::Day(4, 22), "1"));
  for (int n = 5; n <= 10; ++n) {
    f.AddRecord(test::Daily(n, test::Day(n)));
    if (n == 8) f.AddRecord(test::RamReset(test::Day(8, 22), "2"));  // past the stop: never looked at
  }
  const std::string text = Build(true, "5", Format("%11d", 7));
  for (int n = 1; n <= 10; ++n)
    EXPECT_EQ(text.find(Format("Nr raportu:  %4.4d", n)) != std::string::npos, n >= 5 && n <= 7) << n;
  EXPECT_NE(text.find("POCZ. WAR. ST."), std::string::npos);
  EXPECT_EQ(test::CountOccurrences(text, "ZEROWANIE PAMIĘCI RAM"), 1);
  EXPECT_NE(text.find("Numer: 1"), std::string::npos);
  EXPECT_NE(text.find(Row("Podany Zakres nr:", 19, "5          7")), std::string::npos);
  EXPECT_NE(text.find(Row("Obejmuje numery:", 11, "         5          7")), std::string::npos);
  EXPECT_NE(text.find(Row("Zakres nr: ", 16, "         5          7")), std::string::npos);
  EXPECT_NE(text.find(Row("Ilość zerowań RAM:", 29, "1")), std::string::npos);
  EXPECT_NE(text.find(Row("Należność:", 29, "PLN 36.90")), std::string::npos);
  EXPECT_EQ(f.CoveredFirstNo, 5);
  EXPECT_EQ(f.CoveredLastNo, 7);
}

TEST_F(SummaryTest, DateRangeAndUnreadableLimits) {
  for (int n = 1; n <= 5; ++n) f.AddRecord(test::Daily(n, test::Day(n)));
  const std::string text = Build(false, "02.03.2024", "04.03.2024");
  EXPECT_EQ(text.find("Nr raportu:  0001"), std::string::npos);
  EXPECT_NE(text.find("Nr raportu:  0002"), std::string::npos);
  EXPECT_NE(text.find("Nr raportu:  0004"), std::string::npos);
  EXPECT_EQ(text.find("Nr raportu:  0005"), std::string::npos);
  EXPECT_NE(text.find(Row("Podany Zakres dat:", 9, "02.03.2024 04.03.2024")), std::string::npos);

  // A limit that does not read raises before anything is changed.
  const auto before = f.Lines;
  EXPECT_THROW(f.BuildRangeReport(true, "abc", "10", true), EConvertError);
  EXPECT_THROW(f.BuildRangeReport(true, "", "10", true), EConvertError);
  EXPECT_THROW(f.BuildRangeReport(false, "2024-13-01", "04.03.2024", true), EConvertError);
  EXPECT_EQ(f.Lines, before);
}

TEST_F(SummaryTest, NoDailyReportInRange) {
  f.AddRecord(test::RateChange(test::Day(1, 6), "23"));
  f.AddRecord(test::Daily(1, test::Day(1)));
  EXPECT_EQ(Build(true, "50", Format("%11d", 60)), "Brak danych w zakresie\r\n");
  TDailyReportFormatter empty;
  empty.RangeFileName = (dir / "empty.txt").string();
  empty.BuildRangeReport(true, "", "", true);
  EXPECT_EQ(test::ReadFile(dir / "empty.txt"), "Brak danych w zakresie\r\n");
}

TEST_F(SummaryTest, ResetLimitWarning) {
  for (int resets : {10, 11}) {
    f.Clear();
    f.AddRecord(test::Daily(1, test::Day(1)));
    for (int i = 0; i < resets; ++i) f.AddRecord(test::RamReset(test::Day(1, 21), std::to_string(i + 1)));
    f.AddRecord(test::Daily(2, test::Day(2)));
    // The resets count wherever they lie, also outside the range.
    const std::string text = Build(true, "2", Format("%11d", 2));
    EXPECT_EQ(text.find("PRZEKROCZONO LIMIT ZEROWAŃ") != std::string::npos, resets == 11) << resets;
    EXPECT_NE(text.find(Row("Ilość zerowań RAM:", 28, std::to_string(resets))),
              std::string::npos);
  }
}

TEST_F(SummaryTest, CurrencyPeriods) {
  struct TCase {
    const char* Name;
    std::vector<int> Layout;  // report numbers; 0 marks a currency change to EUR
    std::vector<std::string> Periods;
  } cases[] = {
      {"between 3 and 4", {1, 2, 3, 0, 4, 5}, {"PLN", "EUR"}},
      {"after the last report", {1, 2, 3, 0}, {"PLN"}},
      {"before the first report", {0, 1, 2}, {"EUR"}},
  };
  for (const auto& c : cases) {
    f.Clear();
    for (int n : c.Layout)
      f.AddRecord(n == 0 ? test::CurrencyChange(test::Day(3, 21), "EUR") : test::Daily(n, test::Day(n)));
    const std::string text = Build(true, "", "");
    std::vector<std::string> periods;
    for (const auto& l : test::Utf8Lines(f.Lines))
      if (l.rfind("Waluta:", 0) == 0) periods.push_back(l.substr(l.size() - 3));
    EXPECT_EQ(periods, c.Periods) << c.Name;
    ASSERT_EQ(f.Summaries.size(), c.Periods.size()) << c.Name;
  }
  // The split: the second period counts reports 4 and 5 in euro.
  f.Clear();
  for (int n : {1, 2, 3, 0, 4, 5})
    f.AddRecord(n == 0 ? test::CurrencyChange(test::Day(3, 21), "EUR") : test::Daily(n, test::Day(n)));
  const std::string text = Build(true, "", "");
  EXPECT_NE(text.find(Row("Zakres nr:", 17, "         4          5")), std::string::npos);
  EXPECT_NE(text.find(Row("Należność:", 29, "EUR 24.60")), std::string::npos);
  EXPECT_NE(text.find(Row("Należność:", 29, "PLN 36.90")), std::string::npos);
  EXPECT_EQ(f.Summaries[1]->DailyReports, 2);
}

TEST_F(SummaryTest, MixedClassAndExemptSlots) {
  f.AddRecord(test::RateChange(test::Day(1, 6), "23"));
  RFMRecord one = test::Daily(1, test::Day(1));
  one.Rates[1] = "98.99";
  one.Gross[1] = "4.00";
  one.Rates[2] = "100";
  one.Gross[2] = "1.00";
  f.AddRecord(one);
  RFMRecord change = test::RateChange(test::Day(2, 6), "8", "23", kRateTaxable);
  ASSERT_EQ(change.Stats.RateClasses[0], kRateMixed);
  f.AddRecord(change);
  RFMRecord two = test::Daily(2, test::Day(2), "10.80", "0.80", "1");
  two.Rates[0] = "8";
  f.AddRecord(two);
  const std::string text = Build(true, "", "");
  EXPECT_NE(text.find(Row("01-03-2024", 24, "POCZ. WAR. ST.")), std::string::npos);
  EXPECT_NE(text.find(Row("02-03-2024", 21, "ZMIANA STAWEK PTU")), std::string::npos);
  EXPECT_NE(text.find(Row("SP.OP.A", 36, "20.00")), std::string::npos);
  EXPECT_NE(text.find(Row("SP.ZW.B,C", 35, "5.00")), std::string::npos);
  EXPECT_NE(text.find(Row("Kwota PTU A+", 32, "3.10")), std::string::npos);
  EXPECT_NE(text.find(Row("SP.ZW.B", 37, "4.00")), std::string::npos);  // in report 1's body
  EXPECT_EQ(text.find("Kwota PTU B"), std::string::npos);
}

TEST_F(SummaryTest, RatesInUseWithoutSalesAreListed) {
  RFMRecord change = test::RateChange(test::Day(1, 6), "23");
  change.Rates[1] = "8";
  TDailyReportFormatter::ApplyRateChange(change);
  f.AddRecord(change);
  RFMRecord day = test::Daily(1, test::Day(1));
  day.Rates[1] = "8";  // in use, nothing sold
  f.AddRecord(day);
  const std::string text = Build(true, "", "", false);
  EXPECT_NE(text.find(Row("SP.OP.B", 37, "0.00")), std::string::npos) << text;
  EXPECT_NE(text.find(Row("Kwota PTU B", 33, "0.00")), std::string::npos);
  EXPECT_EQ(text.find("SP.OP.C"), std::string::npos);
}

TEST_F(SummaryTest, ArchiveBuildWritesTheRangeAndEveryDay) {
  f.AddRecord(test::RateChange(test::Day(1, 6), "23"));
  for (int n = 1; n <= 3; ++n) f.AddRecord(test::Daily(n, test::Day(n)));
  f.AddRecord(test::RamReset(test::Day(3, 22), "1"));  // after the last report: in no daily file
  f.SetRange("1", Format("%11d", 3), true);
  f.BuildArchiveReports(dir.Path().string() + "/", false);
  const std::string range = Cp1250ToUtf8(test::ReadFile(dir / "range.txt"));
  EXPECT_EQ(range.rfind(Sp(13) + "ŁĄCZNY RAPORT OKRESOWY", 0), 0u);
  for (int n = 1; n <= 3; ++n) {
    const std::string day = Cp1250ToUtf8(test::ReadFile(dir / Format("%4.4d.txt", n)));
    EXPECT_NE(day.find(Format("Nr raportu:  %4.4d", n)), std::string::npos);
    EXPECT_EQ(day.find("ZEROWANIE"), std::string::npos) << n;
  }
}

}  // namespace
}  // namespace quorvel
