#include "ecopy/uReceipt.h"

#include <gtest/gtest.h>

#include "archive/PrintoutFixtures.h"
#include "base/Errors.h"
#include "base/TextUtils.h"

namespace quorvel {
namespace {

using test::Concat;
using test::Cp;

// Scans `lines` for printout `number` and fills a receipt from it.
bool Fill(const std::vector<std::string>& lines, int number, TReceipt& receipt) {
  TSearchRec c;
  c.PrintoutNoFrom = c.PrintoutNoTo = number;
  c.StopAtFirst = true;
  TReceiptFiller filler(receipt);
  return ScanPrintoutText(c, Cp(lines), "f.txt", [](const TRcpData&, int32_t) {}, &filler);
}

TEST(Receipt, FilledFromAReceiptPrintout) {
  TReceipt r;
  ASSERT_TRUE(Fill(Concat(test::ReceiptLines(11, 34), test::ReceiptLines(12, 35, "09-03-2009", "08:01")), 12, r));
  EXPECT_EQ(r.DocType, 1);
  ASSERT_EQ(r.ItemCount(), 2);
  EXPECT_EQ(r.Item(0)->Name, "Chleb");
  EXPECT_EQ(r.Item(0)->VatSymbol, "A");
  EXPECT_EQ(r.Item(0)->Quantity, TAmount::FromUnits(1));
  // The symbol came from the next line that has one, the quantity from that line.
  EXPECT_EQ(r.Item(1)->Name, Utf8ToCp1250("Masło ekstra osełka"));
  EXPECT_EQ(r.Item(1)->VatSymbol, "B");
  EXPECT_EQ(r.Item(1)->Quantity, TAmount::FromUnits(2));
  EXPECT_EQ(r.Item(2), nullptr);
  EXPECT_EQ(r.Item(-1), nullptr);
  EXPECT_EQ(r.VatTotal, TAmount::FromCents(47));
  EXPECT_EQ(r.Total, TAmount::FromCents(500));
  EXPECT_EQ(r.ControlNo, "3F2A1B7C9D0E");  // two lines joined without a space
  EXPECT_EQ(r.UniqueNo, "ABC 12345678");
  EXPECT_NEAR(r.IssuedAt, EncodeDateTime(2009, 3, 9, 8, 1), 1e-6);

  const TReceiptText text = BuildReceiptText(r);
  ASSERT_TRUE(text.Ok) << text.Message;
  EXPECT_EQ(text.Text, Utf8ToCp1250("09-03-2009CHLEBAMASŁO EKSTRA OSEŁKAB0.475.0008:01ABC 12345678"));
}

TEST(Receipt, FilledFromAnInvoice) {
  TReceipt r;
  ASSERT_TRUE(Fill(Concat(test::ReceiptLines(11, 34), test::InvoiceLines(12, 7)), 12, r));
  EXPECT_EQ(r.DocType, 2);
  ASSERT_EQ(r.ItemCount(), 1);
  EXPECT_EQ(r.Item(0)->Name, "Mleko 3,2%");
  EXPECT_EQ(r.Item(0)->VatSymbol, "A");
  EXPECT_TRUE(r.Item(0)->Quantity.IsZero());
  EXPECT_NEAR(r.IssuedAt, EncodeDateTime(2009, 3, 7, 10, 15), 1e-6);
  EXPECT_EQ(r.SaleDate, EncodeDate(2009, 3, 4));
  EXPECT_EQ(r.VatTotal, TAmount::FromCents(112));
  EXPECT_EQ(r.Total, TAmount::FromCents(600));
  EXPECT_EQ(r.ControlNo, "AB12CD");

  // A receipt read after the invoice keeps nothing of it.
  ASSERT_TRUE(Fill(Concat(test::InvoiceLines(12, 7), test::ReceiptLines(13, 8)), 13, r));
  EXPECT_EQ(r.SaleDate, 0);
  EXPECT_EQ(r.ItemCount(), 2);
}

// The line rules one line at a time.
class RulesTest : public ::testing::Test {
 protected:
  void Lines(int kind, const std::vector<std::string>& lines) {
    filler_.BeginPrintout(kind, EncodeDate(2009, 3, 5));
    for (const auto& l : lines) filler_.PrintoutLine(Utf8ToCp1250(l));
  }
  TReceipt r_;
  TReceiptFiller filler_{r_};
};

TEST_F(RulesTest, ExemptSymbolAndItsCanonicalLetter) {
  Lines(1, {"Woda mineralna\u00A0", "   3 x1,00   3,00 ZW  ¨"});
  ASSERT_EQ(r_.ItemCount(), 1);
  EXPECT_EQ(r_.Item(0)->VatSymbol, "ZW. ");
  EXPECT_EQ(r_.Item(0)->Quantity, TAmount::FromUnits(3));
  const TReceiptText t = BuildReceiptText(EncodeDate(2009, 3, 5), {{"Woda", "ZW. "}}, "0", "3", 0.5, "ABC12345678", 1);
  EXPECT_EQ(t.Text, "05-03-2009WODAZ0.003.0012:00ABC 12345678");
  // An invoice keeps the symbol unchanged.
  const TReceiptText inv = BuildReceiptText(EncodeDate(2009, 3, 5), {{"Woda", "ZW. "}}, "0", "3", 0.5, "ABC12345678", 2);
  EXPECT_EQ(inv.Text, "05-03-2009WODAZW. 0.003.0012:00ABC 12345678");
}

TEST_F(RulesTest, QuantityFromTheItemLineAndZeroQuantityIsAnError) {
  Lines(1, {"Kawa\u00A0 0,5 x 40,00", "         20,00 C  ¨"});
  ASSERT_EQ(r_.ItemCount(), 1);
  EXPECT_EQ(r_.Item(0)->Quantity, TAmount::FromCents(50));
  try {
    Lines(1, {"Herbata\u00A0 0 x 4,00  0,00 ¨ A"});
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.what(), std::string("Brak ilości"_cp));
  }
}

TEST_F(RulesTest, TotalsLines) {
  const struct {
    std::string Line;
    int64_t VatCents, TotalCents;
  } cases[] = {
      {" SUMA PTU A 23%           0,47", 47, 0},
      {"  suma ptu            1,10", 110, 0},             // any letter case
      {"Razem PTU 0,47… SUMA 2,50", 47, 250},            // total after the marker
      {"SUMA 2,50 PTU 0,47…", 47, 250},                 // the marker ends the line: the first number
      {"Razem PTU 1,15Ş SUMA 6,15", 115, 615},
      {"  ·SUMA PLN  1 234,56", 0, 123456},              // spaces removed before the tail
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Line);
    Lines(1, {c.Line});
    EXPECT_EQ(r_.VatTotal, TAmount::FromCents(c.VatCents));
    EXPECT_EQ(r_.Total, TAmount::FromCents(c.TotalCents));
  }
  try {
    Lines(1, {" SUMA PTU     1.234,56"});
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Currency format exception");
  }
}

TEST_F(RulesTest, TimeLineNeedsAColon) {
  Lines(1, {"F00012¦ #Kasa ˇ 09:05"});
  EXPECT_NEAR(r_.IssuedAt, EncodeDateTime(2009, 3, 5, 9, 5), 1e-6);
  EXPECT_THROW(Lines(1, {"F00012¦ #Kasa ˇ 0905"}), EConvertError);
}

TEST(ReceiptText, CanonicalExample) {
  const TReceiptText t =
      BuildReceiptText(EncodeDate(2009, 3, 5), {{"Chleb", "A"}}, "0.47", "2.50", EncodeDateTime(2009, 3, 5, 14, 7),
                       "abc12345678", 1);
  ASSERT_TRUE(t.Ok);
  EXPECT_EQ(t.Text, "05-03-2009CHLEBA0.472.5014:07ABC 12345678");
}

TEST(ReceiptText, InputRulesAndMessages) {
  const TDateTime d = EncodeDate(2009, 3, 5);
  // Spaces between the groups of the unique number; Polish letters upper-cased; amounts with ",".
  TReceiptText t = BuildReceiptText(d, {{Utf8ToCp1250("żółć"), "b"}}, "0,4", "2", 0.25, " abc 1234 5678 ", 4);
  EXPECT_EQ(t.Text, Utf8ToCp1250("05-03-2009ŻÓŁĆB0.402.0006:00ABC 12345678"));
  // The items stop at the first row with an empty name or symbol.
  t = BuildReceiptText(d, {{"A1", "A"}, {"", "B"}, {"C3", "C"}}, "0", "0", 0, "ABC12345678", 1);
  EXPECT_EQ(t.Text, "05-03-2009A1A0.000.0000:00ABC 12345678");
  t = BuildReceiptText(d, {{"A1", "A"}, {"B2", ""}, {"C3", "C"}}, "0", "0", 0, "ABC12345678", 1);
  EXPECT_EQ(t.Text, "05-03-2009A1A0.000.0000:00ABC 12345678");

  const struct {
    std::string Vat, Total, Unique, Message;
  } bad[] = {
      {"x", "1", "ABC12345678", "Błędna wartość \"Razem VAT\""},
      {"1", "", "ABC12345678", "Błędna wartość \"Razem brutto\""},
      {"1", "1", "ABC1234567", "Błędna wartość \"Nr unikatowy\""},
      {"1", "1", "ABC123456789", "Błędna wartość \"Nr unikatowy\""},
  };
  for (const auto& b : bad) {
    const TReceiptText e = BuildReceiptText(d, {}, b.Vat, b.Total, 0, b.Unique, 1);
    EXPECT_FALSE(e.Ok);
    EXPECT_TRUE(e.Text.empty());
    EXPECT_EQ(e.Message, Utf8ToCp1250(b.Message));
    EXPECT_EQ(e.Title, Utf8ToCp1250("Błędne dane"));
  }
}

}  // namespace
}  // namespace quorvel
