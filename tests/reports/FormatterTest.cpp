#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "base/Errors.h"
#include "base/FileUtils.h"
#include "reports/ReportFixtures.h"
#include "reports/uDailyReportFormatter.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

using test::Utf8Lines;

std::string Sp(int n) { return std::string(static_cast<std::size_t>(n), ' '); }
// A hand-counted line: label, n blanks, value.
std::string Row(const std::string& label, int blanks, const std::string& value) { return label + Sp(blanks) + value; }

TEST(FormatterPrimitives, LabelValueAndCentredLines) {
  TDailyReportFormatter f;
  f.AddLabelValue("Należność:"_cp, "PLN 123.45");
  f.AddLabelValue("Wart. anul. paragonów:"_cp, "123456789012345678901234567");  // 22 + 27 = 49
  f.AddLabelValue("abcd", std::string(44, 'x'));                                // exactly 48
  f.AddCentred("RAPORT");
  f.AddCentred("");
  f.AddCentred(std::string(50, 'y'));
  f.AddLabelAmount("Suma PTU:", TAmount{123456});
  f.AddSeparator();
  const auto lines = Utf8Lines(f.Lines);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "Należność:" + Sp(28) + "PLN 123.45");
  EXPECT_EQ(lines[1], "Wart. anul. paragonów:123456789012345678901234567");
  EXPECT_EQ(lines[2], "abcd" + std::string(44, 'x'));
  EXPECT_EQ(lines[3], Sp(21) + "RAPORT");
  EXPECT_EQ(lines[4], Sp(24));
  EXPECT_EQ(lines[5], std::string(50, 'y'));
  EXPECT_EQ(lines[6], "Suma PTU:" + Sp(34) + "12.35");
  EXPECT_EQ(lines[7], std::string(48, '~'));
  EXPECT_TRUE(f.PendingLines.empty());
}

TEST(FormatterSplitGross, NetAndVatToTheEvenCent) {
  struct TCase {
    const char* Rate;
    int64_t GrossCents;
    int32_t Scheme;
    bool Taxi;
    int64_t NetCents, VatCents;
  } cases[] = {
      {"23", 1000, 0, false, 813, 187},  {"23", 5, 0, false, 4, 1},
      {"23,00", 1000, 0, false, 813, 187}, {"8", 540, 0, false, 500, 40},
      {"60", 4, 0, false, 2, 2},          // 2.5 cents: half to the even 2
      {"60", 12, 0, false, 8, 4},         // 7.5 cents: half to the even 8
      {"98.99", 300, 0, false, 300, 0},  {"100", 300, 0, false, 300, 0},
      {"0", 200, 0, false, 200, 0},      {"23", 1000, 4, true, 1000, 0},
      {"23", 1000, 4, false, 813, 187},  {"23", -1000, 0, false, -813, -187},
  };
  for (const auto& c : cases) {
    TDailyReportFormatter f;
    f.TaxiVersion = c.Taxi;
    TAmount net, vat;
    f.SplitGross(c.Scheme, c.Rate, TAmount::FromCents(c.GrossCents), net, vat);
    EXPECT_EQ(net, TAmount::FromCents(c.NetCents)) << c.Rate << " " << c.GrossCents;
    EXPECT_EQ(vat, TAmount::FromCents(c.VatCents)) << c.Rate << " " << c.GrossCents;
  }
  TDailyReportFormatter f;
  TAmount net, vat;
  EXPECT_THROW(f.SplitGross(0, "abc", TAmount::FromCents(100), net, vat), EConvertError);
}

TEST(FormatterLabels, RateSalesRateLineAndVatLabels) {
  TDailyReportFormatter plain;
  TDailyReportFormatter taxi;
  taxi.TaxiVersion = true;
  // Rate labels.
  EXPECT_EQ(plain.RateLabel(0, "23"), "23.00%");
  EXPECT_EQ(plain.RateLabel(0, "8,5"), "8.50%");
  EXPECT_EQ(plain.RateLabel(0, ""), "");
  EXPECT_EQ(plain.RateLabel(0, "  "), "");
  EXPECT_EQ(plain.RateLabel(0, "99.99"), "");
  EXPECT_EQ(plain.RateLabel(0, "101"), "");
  EXPECT_EQ(plain.RateLabel(0, "100"), "SP.ZW.PTU");
  EXPECT_EQ(plain.RateLabel(4, "23"), "23.00%");
  EXPECT_EQ(taxi.RateLabel(4, "23"), "RYCZAŁT"_cp);
  // Sales labels.
  EXPECT_EQ(plain.SalesLabel(0, 0, "23", false), "SP.OP.A");
  EXPECT_EQ(plain.SalesLabel(3, 0, "98.99", false), "SP.ZW.D");
  EXPECT_EQ(plain.SalesLabel(1, 0, "8", true), "SP.OP.BFV");
  EXPECT_EQ(taxi.SalesLabel(2, 3, "8", false), "SP.OP.CR-ryczałt"_cp);
  EXPECT_EQ(taxi.SalesLabel(2, 4, "8", false), "SP.OP.R");
  EXPECT_EQ(plain.SalesLabel(2, 4, "8", false), "SP.OP.C");
  // Rate-line labels.
  EXPECT_EQ(plain.RateLineLabel(0, 0, "23"), "PTU A");
  EXPECT_EQ(plain.RateLineLabel(6, 0, "98.99"), "G");
  EXPECT_EQ(taxi.RateLineLabel(1, 3, "8"), "PTU BR-ryczałt"_cp);
  EXPECT_EQ(taxi.RateLineLabel(1, 4, "8"), "R");
  // VAT-line labels.
  EXPECT_EQ(plain.VatLineLabel(0, 3), "Kwota PTU A");
  EXPECT_EQ(taxi.VatLineLabel(0, 3), "Kwota PTU AR");
  EXPECT_EQ(taxi.VatLineLabel(0, 4), "Kwota R");
}

TEST(FormatterRateChange, ClassTable) {
  // Old class × new rate, with the in-force text the record carries before the change.
  struct TCase {
    uint8_t OldClass;
    const char* OldInForce;
    const char* NewRate;
    uint8_t NewClass;
    const char* NewInForce;
  } cases[] = {
      {0, "99,99", "99,99", 0, "99,99"}, {0, "99,99", "0", 4, "0"},     {0, "99,99", "98.99", 2, "98.99"},
      {0, "99,99", "23", 1, "23"},       {1, "23", "23", 1, "23"},      {1, "23", "8", 3, "mix"},
      {1, "23", "98.99", 1, "mix"},      {1, "23", "0", 3, "mix"},      {1, "23", "", 1, "mix"},
      {2, "98.99", "98.99", 2, "98.99"}, {2, "98.99", "", 2, ""},        {2, "98.99", "0", 4, "0"},
      {2, "98.99", "23", 1, "23"},       {3, "mix", "23", 3, "mix"},     {4, "0", "0", 4, "0"},
      {4, "0", "98.99", 4, "98.99"},     {4, "0", "99.99", 4, "99.99"}, {4, "0", "23", 3, "23"},
      {4, "8", "23", 3, "mix"},
  };
  for (const auto& c : cases) {
    RFMRecord r;
    r.Kind = kKindRateChange;
    r.Rates[0] = c.NewRate;
    r.Stats.RatesInForce[0] = c.OldInForce;
    r.Stats.RateClasses[0] = c.OldClass;
    TDailyReportFormatter::ApplyRateChange(r);
    EXPECT_EQ(r.Stats.RatesInForce[0], c.NewInForce) << int(c.OldClass) << " " << c.OldInForce << " -> " << c.NewRate;
    EXPECT_EQ(r.Stats.RateClasses[0], c.NewClass) << int(c.OldClass) << " " << c.OldInForce << " -> " << c.NewRate;
  }
}

// A fiscalisation report with a taxable, a lower, a zero and an exempt slot, counted by hand.
TEST(FormatterDailyReports, FirstReportLayout) {
  test::TTempDir dir;
  TDailyReportFormatter f;
  f.NIP = "1234567890";
  f.UniqueNo = "ABC12345678";
  RFMRecord r;
  r.Kind = kKindDaily;
  r.Number = "1";
  r.Date = EncodeDateTime(2024, 3, 1, 8, 30);
  r.Rates = {"23", "8", "0", "98.99", "99,99", "99,99", "99,99"};
  r.Gross = {"10.00", "5.40", "2.00", "3.00", "", "", ""};
  r.VatTotal = "2.27";
  r.GrossTotal = "20.40";
  r.ReceiptCount = "4";
  f.AddRecord(r);
  f.DailyDir = dir.Path().string();
  f.WriteDailyReports();

  const std::string sep(48, '~');
  const std::vector<std::string> expected = {
      "NIP: 1234567890",
      "01-03-2024",
      sep,
      Sp(13) + "RAPORT FISKALNY DOBOWY",
      sep,
      Row("PTU A", 37, "23.00%"),
      Row("PTU B", 38, "8.00%"),
      Row("PTU C", 38, "0.00%"),
      Row("D", 38, "SP.ZW.PTU"),
      sep,
      Sp(18) + "FISKALIZACJA",
      "01-03-2024 08:30",
      sep,
      Row("01-03-2024", 21, "Nr raportu:  0001"),
      sep,
      Row("SP.OP.A", 37, "8.13"),
      Row("SP.OP.B", 37, "5.00"),
      Row("SP.OP.C", 37, "2.00"),
      Row("SP.ZW.D", 37, "3.00"),
      Row("Kwota PTU A", 33, "1.87"),
      Row("Kwota PTU B", 33, "0.40"),
      Row("Suma PTU:", 35, "2.27"),
      sep,
      Row("Należność:", 29, "PLN 20.40"),
      Row("Ilość paragonów:", 31, "4"),
      sep,
      Row("Ilość pozycji:", 32, "18"),
      sep,
      Sp(24),
      Sp(24),
      Sp(18) + "ABC12345678",
  };
  const std::string file = test::ReadFile(dir / "0001.txt");
  std::string want;
  for (const auto& l : expected) want += Utf8ToCp1250(l) + "\r\n";
  EXPECT_EQ(Cp1250ToUtf8(file), Cp1250ToUtf8(want));
}

TEST(FormatterDailyReports, EventsLandInTheNextReport) {
  test::TTempDir dir;
  TDailyReportFormatter f;
  f.UniqueNo = "ABC12345678";
  f.AddRecord(test::Daily(11, test::Day(11)));
  f.AddRecord(test::RamReset(test::Day(11, 22), "7", "2"));
  f.AddRecord(test::CurrencyChange(test::Day(12, 6), "EUR"));
  RFMRecord twelve = test::Daily(12, test::Day(12));
  twelve.GoodsChanged = "TAK";
  f.AddRecord(twelve);
  RFMRecord thirteen = test::Daily(13, test::Day(13));
  thirteen.GoodsChanged = "2";
  f.AddRecord(thirteen);
  EXPECT_EQ(f.ResetRecordCount, 1);
  f.DailyDir = dir.Path().string();
  f.WriteDailyReports();

  const std::string r11 = Cp1250ToUtf8(test::ReadFile(dir / "0011.txt"));
  const std::string r12 = Cp1250ToUtf8(test::ReadFile(dir / "0012.txt"));
  const std::string r13 = Cp1250ToUtf8(test::ReadFile(dir / "0013.txt"));
  EXPECT_EQ(r11.find("ZEROWANIE"), std::string::npos);
  EXPECT_EQ(r11.find("ZMIANA WALUTY"), std::string::npos);
  EXPECT_EQ(r13.find("ZEROWANIE"), std::string::npos);
  EXPECT_EQ(r13.find("ZMIANA WALUTY"), std::string::npos);

  // Report 12: currency change first, the reset after the body and before the footer.
  const auto change = r12.find("ZMIANA WALUTY");
  const auto number = r12.find("Nr raportu:  0012");
  const auto goods = r12.find("Wykonano zmiany w bazie tow.\r\n");
  const auto reset = r12.find("ZEROWANIE PAMIĘCI RAM");
  const auto footer = r12.find("Ilość pozycji:");
  ASSERT_NE(change, std::string::npos);
  ASSERT_NE(reset, std::string::npos);
  ASSERT_NE(goods, std::string::npos);
  EXPECT_LT(change, number);
  EXPECT_LT(goods, reset);
  EXPECT_LT(reset, footer);
  EXPECT_NE(r12.find(Row("12-03-2024", 27, "Waluta: EUR")), std::string::npos);
  EXPECT_NE(r12.find("\r\n" + Sp(13) + "ZEROWANIE PAMIĘCI RAM\r\n" + std::string(48, '~') +
                     "\r\n11-03-2024 22:00\r\nNumer: 7\r\nZewnętrzne\r\n" + std::string(48, '~') + "\r\n"),
            std::string::npos);
  EXPECT_NE(r12.find(Row("Należność:", 29, "EUR 12.30")), std::string::npos);
  EXPECT_NE(r13.find(Row("Należność:", 29, "EUR 12.30")), std::string::npos);
  EXPECT_NE(r13.find(Row("Wykonano zmiany w bazie tow.:", 18, "2")), std::string::npos);
  // A body of 13 counted lines (the currency change and the goods line among them) and the
  // four counted lines of the reset rendered after report 11's footer.
  EXPECT_NE(r12.find(Row("Ilość pozycji:", 32, "17")), std::string::npos);
}

TEST(FormatterDailyReports, CumulativeInvoiceAndVoidSections) {
  TDailyReportFormatter f;
  f.HasTotals = true;
  f.HasInvoices = true;
  RFMRecord r = test::Daily(5, test::Day(5));
  r.InvoiceGross[0] = "24.60";
  r.InvoiceVatTotal = "4.60";
  r.InvoiceGrossTotal = "24.60";
  r.InvoiceCount = "1";
  r.CumVat[0] = "100.00";
  r.CumInvoiceVat[0] = "50";
  r.CumVatTotal = "100";
  r.CumInvoiceVatTotal = "50";
  r.CumGross = "1000";
  r.CumInvoiceGross = "500";
  r.VoidCount = "2";
  r.VoidValue = "7,5";
  f.RenderDailyReport(r, false, kNoChangeDate, "PLN");
  const std::string text = test::Joined(f.Lines);
  EXPECT_NE(text.find(Row("SP.OP.AFV", 34, "20.00")), std::string::npos);
  EXPECT_NE(text.find(Row("Kwota PTU A", 33, "4.60") + "\n"), std::string::npos);
  // The plain, the invoice and the cumulative VAT line.
  EXPECT_EQ(test::CountOccurrences(text, "Kwota PTU A  "), 3);
  EXPECT_NE(text.find(Row("Suma PTU:", 35, "6.90")), std::string::npos);
  EXPECT_NE(text.find(Row("Należność:", 29, "PLN 36.90")), std::string::npos);
  EXPECT_NE(text.find(Row("Ilość faktur:", 34, "1")), std::string::npos);
  EXPECT_NE(text.find(Sp(18) + "NARASTAJĄCO"), std::string::npos);
  EXPECT_NE(text.find(Row("Kwota PTU AFV", 30, "50.00")), std::string::npos);
  EXPECT_NE(text.find(Row("Suma PTU:", 33, "150.00")), std::string::npos);
  EXPECT_NE(text.find(Row("Należność:", 27, "PLN 1500.00")), std::string::npos);
  EXPECT_NE(text.find(Row("Wart. anul. paragonów:", 22, "7.50")), std::string::npos);
  EXPECT_NE(text.find(Row("Ilość anul. paragonów:", 25, "2")), std::string::npos);
  EXPECT_TRUE(f.ReportOpen);
}

TEST(FormatterDailyReports, TaxiSchemesSplitTheTotals) {
  TDailyReportFormatter f;
  f.TaxiVersion = true;
  RFMRecord r = test::Daily(3, test::Day(3), "12.30", "3.10", "2");
  r.Rates[1] = "8";
  r.Gross[1] = "10.80";  // flat rate with VAT
  r.TaxSchemes[1] = 3;
  r.Rates[2] = "23";
  r.Gross[2] = "5.00";  // flat rate without VAT
  r.TaxSchemes[2] = 4;
  r.GrossTotal = "28.10";
  f.RenderDailyReport(r, true, kNoChangeDate, "PLN");
  const auto lines = Utf8Lines(f.Lines);
  const std::string text = test::Joined(f.Lines);
  EXPECT_NE(text.find(Row("PTU BR-ryczałt", 29, "8.00%")), std::string::npos);
  EXPECT_NE(text.find(Row("R", 40, "RYCZAŁT")), std::string::npos);
  // Ordinary sales first, then the flat-rate ones.
  const auto a = text.find("SP.OP.A ");
  const auto b = text.find("SP.OP.BR-ryczałt");
  const auto c = text.find(Row("SP.OP.R", 37, "5.00"));
  ASSERT_NE(c, std::string::npos);
  EXPECT_LT(a, b);
  EXPECT_LT(b, c);
  EXPECT_NE(text.find(Row("Kwota PTU BR", 32, "0.80")), std::string::npos);
  EXPECT_EQ(text.find("Kwota R"), std::string::npos);
  EXPECT_NE(text.find(Row("Suma PTU A", 34, "2.30")), std::string::npos);
  EXPECT_NE(text.find(Row("Suma PTU BR,CR", 30, "0.80")), std::string::npos);
  EXPECT_NE(text.find(Row("Należność:  A", 26, "PLN 12.30")), std::string::npos);
  EXPECT_NE(text.find(Row("Należność:  BR,R", 23, "PLN 15.80")), std::string::npos);
}

TEST(FormatterDailyReports, ConversionAndWriteErrors) {
  TDailyReportFormatter f;
  RFMRecord bad = test::Daily(2, test::Day(2), "12,3x");
  EXPECT_THROW(f.RenderDailyReport(bad, true, kNoChangeDate, "PLN"), EConvertError);

  test::TTempDir dir;
  TDailyReportFormatter g;
  g.AddRecord(test::Daily(1, test::Day(1)));
  g.AddRecord(test::Daily(2, test::Day(2)));
  std::filesystem::create_directory(dir / "0002.txt");  // a folder where the second file should go
  g.DailyDir = dir.Path().string();
  EXPECT_THROW(g.WriteDailyReports(), EFileError);
  EXPECT_TRUE(std::filesystem::is_regular_file(dir / "0001.txt"));
}

TEST(FormatterDailyReports, ReportNumberZeroIsSavedWhenTheNextArrives) {
  test::TTempDir dir;
  TDailyReportFormatter f;
  f.AddRecord(test::Daily(0, test::Day(1)));
  f.AddRecord(test::Daily(2, test::Day(2)));
  f.DailyDir = dir.Path().string();
  f.WriteDailyReports();
  const std::string zero = test::ReadFile(dir / "0000.txt");
  EXPECT_NE(zero.find("Nr raportu:  0000"), std::string::npos);
  EXPECT_EQ(zero.find("Nr raportu:  0002"), std::string::npos);
  EXPECT_NE(test::ReadFile(dir / "0002.txt").find("Nr raportu:  0002"), std::string::npos);
}

}  // namespace
}  // namespace quorvel

namespace quorvel {
namespace {

TEST(FormatterDailyReports, UnchangedTextsAreLeftInPlace) {
  test::TTempDir dir;
  TDailyReportFormatter f;
  f.AddRecord(test::Daily(1, test::Day(1)));
  f.AddRecord(test::Daily(2, test::Day(2)));
  f.DailyDir = dir.Path().string();
  f.WriteDailyReports();
  // A file the program did not write is replaced whatever its size.
  test::WriteFile(dir / "0002.txt", "x");
  const auto inode = [&dir](const char* name) {
    struct stat st {};
    ::stat((dir / name).c_str(), &st);
    return st.st_ino;
  };
  const auto before = inode("0001.txt");
  f.WriteDailyReports();
  EXPECT_EQ(inode("0001.txt"), before);
  EXPECT_NE(test::ReadFile(dir / "0002.txt").find("Nr raportu:  0002"), std::string::npos);
  f.Records[0]->Record.Gross[0] = "24.60";
  f.WriteDailyReports();
  EXPECT_NE(test::ReadFile(dir / "0001.txt").find("SP.OP.A" + std::string(36, ' ') + "20.00"), std::string::npos);
}

}  // namespace
}  // namespace quorvel
