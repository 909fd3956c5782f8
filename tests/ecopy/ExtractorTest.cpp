#include "ecopy/uDailyReportExtractor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Cp1250.h"
#include "base/DateTime.h"
#include "base/Errors.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

// A daily-report printout file as the device writes it, with optional events.
struct TReportFixture {
  bool RateChange = false;
  bool CurrencyChange = false;
  bool Fiscalisation = false;
  bool FiscalEnd = false;
  int RamResets = 0;
  bool Cumulative = true;
  std::string Number = "0012";
  std::string GoodsLine = " Wykonano zmiany towarowe:            3";
  std::string TimeLine = " 0012 #1 KIEROWNIK           ˇ18:45";
  std::string RateLineA = "¨PTU  A     23,00 %";

  std::vector<std::string> Lines() const {
    std::vector<std::string> l = {" Plik: 0012.txt", " Nr unikatowy: ABC12345678", " -----"};
    if (RateChange) {
      // An earlier printout of the same file: the rate change, with its own header marker.
      for (const char* s : {" §§§§§§§§§§§§§§§§", "12-03-2010                  nr wydr.1200",
                            "  Z M I A N A   S T A W E K   P T U", " -----", " -----", "¨PTU  A     8,00 %",
                            "¨PTU  B     5,00 %", " ~~~~~~~~~~~~~~~~", " 12-03-2010 07:59"})
        l.push_back(s);
    }
    for (const char* s : {" §§§§§§§§§§§§§§§§", "12-03-2010                  nr wydr.1234",
                          "       RAPORT DOBOWY", "       FISKALNY", " NIP 123-456-78-90", " ~~~~~~~~~~~~~~~~"})
      l.push_back(s);
    l.push_back(RateLineA);
    for (const char* s : {"¨PTU  B      8,00 %", " E  ZW", "~~~~~~~~~~~~~~~~~~"}) l.push_back(s);
    if (CurrencyChange)
      for (const char* s : {" ZMIANA  WALUTY", " Waluta: EUR ", " Kurs: 4,0000"}) l.push_back(s);
    if (Fiscalisation)
      for (const char* s : {" F I S K A L I Z A C J A", " 01-02-2010 09:30", " -----"}) l.push_back(s);
    if (FiscalEnd)
      for (const char* s : {" KONIEC TRYBU FISKALNEGO", " -----", " -----"}) l.push_back(s);
    l.push_back("12-03-2010              Raport dobowy nr " + Number);
    l.push_back("          SPRZEDAŻ");
    for (const char* s : {" SP.OP.A                       100,00", " Kwota PTU A 23,00%             23,00",
                          " SP.OP.B                        50,00", " Kwota PTU B 8,00%               4,00",
                          " SP.OP.E                        10,50", " SP.FV.A                        40,00",
                          " Kwota FV  A                     9,20", " SUMA PTU                       27,00",
                          " Należność:                    187,50", " Opłaty razem:                   1,50",
                          " Ilość wycen:                       4", " Ilość anul. wycen:                 1",
                          " ~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~", " Należność               PLN 187,50",
                          " Ilość paragonów                   12", " Ilość faktur                       1"})
      l.push_back(s);
    if (Cumulative)
      for (const char* s : {" ~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~", "        NARASTAJĄCO",
                            " SP.OP.A                     10000,00", " Kwota PTU A 23,00%           2300,00",
                            " Kwota FV  A                   920,00", " SUMA PTU                     2700,00",
                            " Należność:                  13000,00", " ~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~"})
        l.push_back(s);
    for (const char* s : {" Ilość anul. paragonów              2", " Wart. anul. paragonów           5,50"})
      l.push_back(s);
    l.push_back(GoodsLine);
    l.push_back(" Liczba zmienionych pozycji: 3");
    l.push_back(" -----");
    for (int k = 0; k < RamResets; ++k)
      for (const std::string& s : std::vector<std::string>{" ZEROWANIE RAM", " -----", " Data: 12-03-2010 0" +
                                                               std::to_string(8 + k) + ":15",
                                                           " Nr zerowania:    " + std::to_string(3 + k),
                                                           k == 0 ? " Zerowanie pełne" : " Zerowanie częściowe", ""})
        l.push_back(s);
    l.push_back(TimeLine);
    for (const char* s : {"    » ABC 12345678", "   A1B2C3D4E5F6¬", "   A7B8C9¬", " ‡‡‡‡‡‡‡‡", "   koniec wydruku"})
      l.push_back(s);
    return l;
  }

  std::string Text(const std::string& eol = "\r\n") const {
    std::string out;
    for (const auto& s : Lines()) out += Utf8ToCp1250(s) + eol;
    return out;
  }
};

struct TRecorder {
  std::vector<RFMRecord> Records;
  TDailyReportExtractor Extractor{[this](const RFMRecord& r) { Records.push_back(r); }};
  std::vector<int> Kinds() const {
    std::vector<int> k;
    for (const auto& r : Records) k.push_back(r.Kind);
    return k;
  }
};

std::string Cp(const char* utf8) { return Utf8ToCp1250(utf8); }

TEST(DailyReportExtractor, FirstFileGivesOpeningRatesAndTheDailyRecord) {
  TRecorder rec;
  TReportFixture f;
  f.RamResets = 1;
  const RFMRecord d = rec.Extractor.ExtractDailyReportText(f.Text(), true);
  ASSERT_EQ(rec.Kinds(), (std::vector<int>{6, 7, 2}));

  const RFMRecord& opening = rec.Records[0];
  for (const auto& r : opening.Stats.RatesInForce) EXPECT_EQ(r, "99,99");
  EXPECT_EQ(opening.Rates[0], "23,00");
  EXPECT_EQ(opening.Rates[1], "8,00");
  EXPECT_EQ(opening.Rates[4], "98.99") << "a line without PTU is an exempt slot";
  EXPECT_EQ(opening.Rates[2], "");

  EXPECT_EQ(d, rec.Records.back());
  EXPECT_EQ(d.Kind, 2);
  EXPECT_EQ(d.PrintoutNumber, "1234");
  EXPECT_EQ(d.Number, "0012");
  EXPECT_EQ(d.Date, EncodeDateTime(2010, 3, 12, 18, 45));
  EXPECT_EQ(d.Net[0], "100");
  EXPECT_EQ(d.Gross[0], "123");
  EXPECT_EQ(d.Gross[1], "54");
  EXPECT_EQ(d.Net[4], "10,5");
  EXPECT_EQ(d.Gross[4], "10,5");
  EXPECT_EQ(d.InvoiceNet[0], "40");
  EXPECT_EQ(d.InvoiceGross[0], "49,2");
  EXPECT_EQ(d.VatTotal, "27.00");
  EXPECT_EQ(d.GrossTotal, "187.50");
  EXPECT_EQ(d.FeesTotal, "1.50");
  EXPECT_EQ(d.PricingCount, 4);
  EXPECT_EQ(d.VoidPricingCount, 1);
  EXPECT_EQ(d.ReceiptCount, "12");
  EXPECT_EQ(d.InvoiceCount, "1");
  EXPECT_EQ(d.CumVat[0], "2300.00") << "the VAT line follows the sales line of the slot";
  EXPECT_EQ(d.CumInvoiceVat[0], "920");
  EXPECT_EQ(d.CumVatTotal, "2700");
  EXPECT_EQ(d.CumGross, "13000");
  EXPECT_EQ(d.VoidCount, "2");
  EXPECT_EQ(d.VoidValue, "5,5");
  EXPECT_EQ(d.GoodsChanged, "3");

  const RFMRecord& reset = rec.Records[1];
  EXPECT_EQ(reset.Date, EncodeDateTime(2010, 3, 12, 8, 15));
  EXPECT_EQ(reset.ResetNo, "3");
  EXPECT_EQ(reset.ResetKind, Cp("Zerowanie pełne"));
}

TEST(DailyReportExtractor, LaterFileDeliversTheRateChangeStampedWithTheReportDate) {
  TRecorder rec;
  TReportFixture f;
  f.RateChange = true;
  const RFMRecord d = rec.Extractor.ExtractDailyReportText(f.Text(), false);
  ASSERT_EQ(rec.Kinds(), (std::vector<int>{6, 2}));
  const RFMRecord& change = rec.Records[0];
  EXPECT_EQ(change.Rates[0], "8,00");
  EXPECT_EQ(change.Rates[1], "5,00");
  EXPECT_EQ(change.Date, EncodeDate(2010, 3, 12));
  EXPECT_EQ(change.Stats.RatesInForce[0], "") << "no opening treatment for a later file";
  EXPECT_EQ(d.PrintoutNumber, "1234") << "the header is the one after the last marker line";
  EXPECT_EQ(d.Rates[0], "23,00");

  // Without a rate change a later file delivers the daily record alone.
  TRecorder plain;
  plain.Extractor.ExtractDailyReportText(TReportFixture{}.Text(), false);
  EXPECT_EQ(plain.Kinds(), (std::vector<int>{2}));
}

TEST(DailyReportExtractor, CurrencyChangeKindDependsOnTheReportNumber) {
  const TDateTime now = EncodeDateTime(2011, 5, 6, 7, 8);
  TClock::SetForTests(now);
  for (const auto& [number, kind] : std::vector<std::pair<std::string, int>>{{"0001", 12}, {"0012", 10}}) {
    TRecorder rec;
    TReportFixture f;
    f.CurrencyChange = true;
    f.Number = number;
    rec.Extractor.ExtractDailyReportText(f.Text(), false);
    ASSERT_EQ(rec.Kinds(), (std::vector<int>{kind, 2})) << number;
    EXPECT_EQ(rec.Records[0].Currency.Name, "EUR");
    EXPECT_EQ(rec.Records[0].Date, now);
    EXPECT_EQ(rec.Records[0].Currency.ChangeDate, now);
    EXPECT_EQ(rec.Records[1].Number, number);
  }
  TClock::SetForTests(std::nullopt);
}

TEST(DailyReportExtractor, EventsBeforeAndAfterTheReportLine) {
  // Two RAM resets in printed order, both before the daily record.
  TRecorder resets;
  TReportFixture two;
  two.RamResets = 2;
  resets.Extractor.ExtractDailyReportText(two.Text(), false);
  ASSERT_EQ(resets.Kinds(), (std::vector<int>{7, 7, 2}));
  EXPECT_EQ(resets.Records[0].ResetNo, "3");
  EXPECT_EQ(resets.Records[1].ResetNo, "4");
  EXPECT_EQ(resets.Records[1].Date, EncodeDateTime(2010, 3, 12, 9, 15));
  EXPECT_EQ(resets.Records[1].ResetKind, Cp("Zerowanie częściowe"));

  // Fiscalisation sets the date whatever time follows; the end of fiscal mode comes last.
  TRecorder fiscal;
  TReportFixture f;
  f.Fiscalisation = true;
  f.FiscalEnd = true;
  f.GoodsLine = " Wykonano zmiany towarowe:";
  const RFMRecord d = fiscal.Extractor.ExtractDailyReportText(f.Text(), false);
  EXPECT_EQ(fiscal.Kinds(), (std::vector<int>{2, 14}));
  EXPECT_EQ(d.Date, EncodeDateTime(2010, 2, 1, 9, 30));
  EXPECT_EQ(d.GoodsChanged, "") << "a goods-change line without a number";
  EXPECT_EQ(d.Number, "0012");
}

TEST(DailyReportExtractor, LineEndsOfEveryKindGiveTheSameRecord) {
  TDailyReportExtractor x;
  const RFMRecord crlf = x.ExtractDailyReportText(TReportFixture{}.Text("\r\n"), false);
  EXPECT_EQ(x.ExtractDailyReportText(TReportFixture{}.Text("\n"), false), crlf);
  EXPECT_EQ(x.ExtractDailyReportText(TReportFixture{}.Text("\r"), false), crlf);
}

TEST(DailyReportExtractor, MissingCumulativeSectionIsAClearErrorAfterTheOpeningRates) {
  TRecorder rec;
  TReportFixture f;
  f.Cumulative = false;
  try {
    rec.Extractor.ExtractDailyReportText(f.Text(), true);
    FAIL() << "no error";
  } catch (const EQuorvelError& e) {
    EXPECT_NE(std::string(e.what()).find("NARASTAJ"), std::string::npos) << e.what();
  }
  EXPECT_EQ(rec.Kinds(), (std::vector<int>{6})) << "records delivered before the failure stay delivered";
}

TEST(DailyReportExtractor, BadFilesGiveTheirErrorAndNoRecord) {
  std::string garbage;
  for (int k = 0; k < 8192; ++k) garbage += static_cast<char>((k * 197 + 11) % 256 == 0xA7 ? 'x' : (k * 197 + 11) % 256);
  std::string markerInFirstColumn;
  for (int k = 0; k < 12; ++k) markerInFirstColumn += Cp("§ wiersz\r\n");
  std::string longLine = std::string(100000, 'Z') + "\r\n";
  std::string nineLines;
  for (int k = 0; k < 9; ++k) nineLines += Cp(" §§§§ 12-03-2010 nr 1\r\n");
  TReportFixture badLetter;
  badLetter.Cumulative = true;
  std::string badBody = badLetter.Text();
  badBody.replace(badBody.find(" SP.OP.B"), 8, " SP.OP.X");
  TReportFixture badTime;
  badTime.TimeLine = " 0012 #1 KIEROWNIK           " + std::string("ˇ18.45");

  const std::vector<std::tuple<const char*, std::string, std::string>> cases = {
      {"empty file", "", Cp("Błędny format pliku")},
      {"nine lines", nineLines, Cp("Błędny format pliku")},
      {"binary garbage", garbage, Cp("Błędny format pliku")},
      {"marker only in the first column", markerInFirstColumn, Cp("Błędny format pliku")},
      {"one line of 100 000 characters", longLine, Cp("Błędny format pliku")},
      {"long lines without a marker", std::string(20, '\n') + longLine + longLine, Cp("Błędny format pliku")},
      {"slot letter outside A..G", badBody, Cp("Błędny format pliku")},
      {"time without colon", badTime.Text(), Cp("Zły format czasu")},
  };
  for (const auto& [what, text, message] : cases) {
    TRecorder rec;
    try {
      rec.Extractor.ExtractDailyReportText(text, false);
      ADD_FAILURE() << what << ": no error";
    } catch (const EQuorvelError& e) {
      EXPECT_EQ(std::string(e.what()).substr(0, message.size()), message) << what << ": " << e.what();
    }
    EXPECT_TRUE(rec.Records.empty()) << what;
  }
}

TEST(DailyReportExtractor, FileShortenedAnywhereFailsCleanly) {
  // Cutting the report after any line never reads outside the file: an error, or (once only
  // the trailer is gone) a record.
  const auto lines = TReportFixture{}.Lines();
  for (std::size_t keep = 0; keep < lines.size(); ++keep) {
    std::string text;
    for (std::size_t k = 0; k < keep; ++k) text += Utf8ToCp1250(lines[k]) + "\r\n";
    TDailyReportExtractor x;
    try {
      x.ExtractDailyReportText(text, true);
    } catch (const EQuorvelError&) {
    }
  }
}

TEST(DailyReportExtractor, MutatedReportsGiveARecordOrTheSystemsError) {
  // Bytes changed, removed or doubled at random places: the extraction either reads a record
  // or raises EQuorvelError; any other exception escapes and fails the test.
  TReportFixture f;
  f.RamResets = 1;
  f.CurrencyChange = true;
  const std::string good = f.Text();
  uint64_t seed = 12345;
  auto next = [&seed](uint64_t n) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::size_t>((seed >> 33) % n);
  };
  int failures = 0;
  for (int round = 0; round < 400; ++round) {
    std::string text = good;
    for (int m = 0, count = 1 + static_cast<int>(next(4)); m < count; ++m) {
      const std::size_t at = next(text.size());
      switch (next(3)) {
        case 0: text[at] = static_cast<char>(next(256)); break;
        case 1: text.erase(at, 1 + next(40)); break;
        default: text.insert(at, text.substr(at, 1 + next(40))); break;
      }
    }
    TDailyReportExtractor x([](const RFMRecord&) {});
    try {
      x.ExtractDailyReportText(text, round % 2 == 0);
    } catch (const EQuorvelError&) {
      ++failures;
    }
  }
  EXPECT_GT(failures, 0);
  EXPECT_LT(failures, 400);
}

TEST(DailyReportExtractor, ValueRules) {
  EXPECT_EQ(NumericTail("  Suma   12,50  "), AmountOf("12.5"));
  EXPECT_EQ(NumericTail("x.5"), AmountOf("0.5"));
  EXPECT_THROW(NumericTail("Kwota 1.234,56"), EConvertError);
  try {
    NumericTail("a 1.2.3");
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Currency format exception");
  }
  EXPECT_THROW(NumericTail("brak kwoty"), EConvertError);
  EXPECT_EQ(TrailingDigits(" Nr 0042 "), "0042");
  EXPECT_EQ(TrailingDigits("12345"), "") << "a line made only of digits";
  EXPECT_EQ(TrailingDigits("bez"), "");
  EXPECT_EQ(ParseTimeHm(" 07:05 "), EncodeDateTime(1899, 12, 30, 7, 5));
  EXPECT_THROW(ParseTimeHm("0705"), EConvertError);
  EXPECT_THROW(ParseTimeHm("ab:cd"), EConvertError);
}

TEST(DailyReportExtractor, UniqueNumberControlNumberAndWidth) {
  test::TTempDir dir;
  test::WriteFile(dir / "0012.txt", TReportFixture{}.Text());
  TDailyReportExtractor x;
  EXPECT_EQ(x.ReadUniqueNo(dir / "0012.txt"), "ABC12345678");
  EXPECT_EQ(x.ReadControlNo(dir / "0012.txt"), "A1B2C3D4E5F6A7B8C9") << "a control number over two lines is joined";
  EXPECT_EQ(x.ReadLineLen(dir / "0012.txt"), 30) << "the uppermost line of the last eight";
  EXPECT_EQ(x.LineLen, 30);

  test::WriteFile(dir / "short.txt", Cp("  »XYZ 0000 0001\r\n 12 34 ¬\r\n krótki wiersz\r\n"));
  EXPECT_EQ(x.ReadUniqueNo(dir / "short.txt"), "XYZ00000001");
  EXPECT_EQ(x.ReadControlNo(dir / "short.txt"), "1234");
  EXPECT_EQ(x.ReadLineLen(dir / "short.txt"), 30) << "fewer than eight lines leave the width";

  test::WriteFile(dir / "none.txt", Cp(" »ABC\r\n¬ 12\r\n"));
  EXPECT_EQ(x.ReadUniqueNo(dir / "none.txt"), "") << "markers in the first column do not count";
  EXPECT_EQ(x.ReadControlNo(dir / "none.txt"), "");
  EXPECT_THROW(x.ReadUniqueNo(dir / "missing.txt"), EFileError);
  EXPECT_THROW(x.ExtractDailyReport(dir / "missing.txt", true), EFileError);
}

TEST(DailyReportExtractor, MalformedRateLineEndsTheBlockSilently) {
  TRecorder rec;
  TReportFixture f;
  f.RateLineA = "¨PTU  X     23,00 %";
  // The block ends at the bad line; the line after it is then taken as the report line.
  EXPECT_THROW(rec.Extractor.ExtractDailyReportText(f.Text(), true), EConvertError);
  ASSERT_EQ(rec.Kinds(), (std::vector<int>{6}));
  EXPECT_EQ(rec.Records[0].Rates[0], "");
  EXPECT_EQ(rec.Records[0].Stats.RatesInForce[6], "99,99");
}

}  // namespace
}  // namespace quorvel
