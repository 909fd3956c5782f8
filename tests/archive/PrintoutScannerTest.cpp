#include "archive/PrintoutScanner.h"

#include <gtest/gtest.h>

#include <random>

#include "archive/LineCursor.h"
#include "archive/PrintoutFixtures.h"
#include "base/Errors.h"
#include "base/TextUtils.h"

namespace quorvel {
namespace {

using test::Concat;
using test::Cp;

struct TRow {
  TRcpData Rec;
  int32_t Line;
};

struct TResult {
  bool Found = false;
  std::vector<TRow> Rows;
};

TResult Scan(const TSearchRec& c, const std::string& text, TPrintoutSink* sink = nullptr,
             std::vector<AnsiString>* lines = nullptr) {
  TResult r;
  r.Found = ScanPrintoutText(c, text, "f.txt", [&r](const TRcpData& d, int32_t line) { r.Rows.push_back({d, line}); },
                             sink, lines);
  return r;
}

// Header (34 lines), then receipt 11 (doc 34) at line 34, invoice 12 (doc 7) at line 46,
// pharmacy receipt 13 (doc 35) at line 58, receipt 14 (doc 36) at line 65.
std::vector<std::string> Archive() {
  return Concat(test::HeaderLines(), test::ReceiptLines(11, 34), test::InvoiceLines(12, 7),
                test::PharmacyLines(13, 35), test::ReceiptLines(14, 36, "08-03-2009", "18:45"));
}

TEST(PrintoutScanner, NoCriteriaListsEveryPrintoutOnceWithItsStartLine) {
  const TResult r = Scan({}, Cp(Archive()));
  ASSERT_TRUE(r.Found);
  ASSERT_EQ(r.Rows.size(), 4u);
  const struct {
    int32_t Start, End, No, Doc, Kind;
    TDateTime Date;
  } want[] = {
      {34, 45, 11, 34, 1, EncodeDateTime(2009, 3, 5, 14, 7)},
      {46, 57, 12, 7, 2, EncodeDateTime(2009, 3, 7, 10, 15)},
      {58, 64, 13, 35, 4, EncodeDateTime(2009, 3, 6, 9, 30)},
      {65, 76, 14, 36, 1, EncodeDateTime(2009, 3, 8, 18, 45)},
  };
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const auto& row = r.Rows[i];
    EXPECT_EQ(row.Line, row.Rec.StartLine);
    EXPECT_EQ(row.Rec.StartLine, want[i].Start);
    EXPECT_EQ(row.Rec.EndLine, want[i].End);
    EXPECT_EQ(row.Rec.PrintoutNo, want[i].No);
    EXPECT_EQ(row.Rec.DocNo, want[i].Doc);
    EXPECT_EQ(row.Rec.Kind, want[i].Kind);
    EXPECT_NEAR(row.Rec.DateTime, want[i].Date, 1e-6);
    EXPECT_EQ(row.Rec.FileName, "f.txt");
  }
  EXPECT_EQ(PrintoutTypeText(1), "Paragon");
  EXPECT_EQ(PrintoutTypeText(2), "Faktura");
  EXPECT_EQ(PrintoutTypeText(4), "Paragon apteczny");
  EXPECT_EQ(PrintoutTypeText(7), "Faktura");
}

TEST(PrintoutScanner, LineEndsOfEveryKindGiveTheSameRows) {
  const auto lines = Archive();
  const TResult crlf = Scan({}, Cp(lines, "\r\n"));
  for (const std::string eol : {"\n", "\r"}) {
    SCOPED_TRACE(eol == "\n" ? "LF" : "CR");
    const TResult other = Scan({}, Cp(lines, eol));
    ASSERT_EQ(other.Rows.size(), crlf.Rows.size());
    for (std::size_t i = 0; i < crlf.Rows.size(); ++i) {
      EXPECT_EQ(other.Rows[i].Rec.StartLine, crlf.Rows[i].Rec.StartLine);
      EXPECT_EQ(other.Rows[i].Rec.EndLine, crlf.Rows[i].Rec.EndLine);
    }
  }
  // Mixed ends, and a last line without an end.
  std::string mixed;
  for (std::size_t i = 0; i < lines.size(); ++i)
    mixed += Utf8ToCp1250(lines[i]) + (i + 1 == lines.size() ? "" : i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
  const TResult m = Scan({}, mixed);
  ASSERT_EQ(m.Rows.size(), crlf.Rows.size());
  EXPECT_EQ(m.Rows.back().Rec.EndLine, crlf.Rows.back().Rec.EndLine);
}

TEST(PrintoutScanner, ShortLinesAndMarkersInTheFirstCharacterOpenNothing) {
  TSearchRec all;
  // Every line 10 characters or shorter: nothing is looked at.
  const std::vector<std::string> shortReceipt = {"   ¤ PAR.", "05-03 0012", "Chleb\u00A0 A¨", "·  2,50", "ˇ14:07",
                                                 " » ABC1", "  ‡‡‡‡‡‡"};
  EXPECT_FALSE(Scan(all, Cp(shortReceipt)).Found);
  auto first = test::ReceiptLines(5, 1);
  first[0] = "¤     PARAGON FISKALNY";
  EXPECT_TRUE(Scan(all, Cp(first)).Rows.empty());
  EXPECT_FALSE(Scan(all, "").Found);
}

TEST(PrintoutScanner, TextOnThreeLinesGivesThreeRowsInExactCase) {
  auto lines = test::ReceiptLines(11, 34);
  lines.insert(lines.begin() + 2, "Kasjer: Anna Nowak 01");
  lines.insert(lines.begin() + 5, "   Anna poleca: chleb");
  lines.insert(lines.begin() + 9, " Obsługiwała Anna 02");
  TSearchRec c;
  c.Text = "Anna";
  TResult r = Scan(c, Cp(Concat(lines, test::ReceiptLines(12, 35))));
  ASSERT_EQ(r.Rows.size(), 3u);
  EXPECT_EQ(r.Rows[0].Line, 2);
  EXPECT_EQ(r.Rows[1].Line, 5);
  EXPECT_EQ(r.Rows[2].Line, 9);
  for (const auto& row : r.Rows) EXPECT_EQ(row.Rec.PrintoutNo, 11);
  c.Text = "anna";
  EXPECT_FALSE(Scan(c, Cp(lines)).Found);
  c.Text = "x\r\ny";  // a text across a line break is never inside a line
  EXPECT_FALSE(Scan(c, Cp(lines)).Found);
}

TEST(PrintoutScanner, PrintoutNumberCriterionAndStopAtFirst) {
  const std::string text = Cp(Concat(test::ReceiptLines(5, 1), test::ReceiptLines(6, 2), test::ReceiptLines(6, 3)));
  TSearchRec c;
  c.PrintoutNoFrom = 6;
  TResult r = Scan(c, text);
  ASSERT_EQ(r.Rows.size(), 2u);
  EXPECT_EQ(r.Rows[0].Line, r.Rows[0].Rec.StartLine + 1);
  EXPECT_EQ(r.Rows[0].Rec.DocNo, 2);
  EXPECT_EQ(r.Rows[1].Rec.DocNo, 3);
  c.StopAtFirst = true;
  r = Scan(c, text);
  ASSERT_EQ(r.Rows.size(), 1u);
  EXPECT_EQ(r.Rows[0].Rec.DocNo, 2);
  // Only the upper bound set: the lower bound is 0.
  c = {};
  c.PrintoutNoTo = 5;
  EXPECT_EQ(Scan(c, text).Rows.size(), 1u);
}

TEST(PrintoutScanner, DocKindAdmitsItsKinds) {
  const std::string text = Cp(Archive());
  const struct {
    int32_t DocKind;
    std::vector<int32_t> Kinds;
  } cases[] = {
      {1, {1, 1}}, {2, {2}}, {4, {4}}, {5, {1, 4, 1}}, {255, {1, 2, 4, 1}}, {3, {}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.DocKind);
    TSearchRec c;
    c.DocKind = k.DocKind;
    std::vector<int32_t> kinds;
    for (const auto& row : Scan(c, text).Rows) kinds.push_back(row.Rec.Kind);
    EXPECT_EQ(kinds, k.Kinds);
  }
}

TEST(PrintoutScanner, GoodsAndTaxLetterCriteria) {
  const std::string text = Cp(Archive());
  const struct {
    std::vector<TSearchItem> Items;
    std::string TaxLetter;
    std::vector<std::pair<int32_t, int32_t>> Rows;  // printout number, line
  } cases[] = {
      // The name is matched upper-cased, anywhere in the item's name; one line listed once.
      {{{"chleb", ""}}, "", {{11, 36}, {14, 67}}},
      {{{"CHLEB", "A"}}, "", {{11, 36}, {14, 67}}},
      {{{"CHLEB", "B"}}, "", {}},
      // The symbol of a long name comes from the next line; the item line is listed.
      {{{"MASŁO", "B"}}, "", {{11, 37}, {14, 68}}},
      // Every entry must be in the printout.
      {{{"CHLEB", ""}, {"ASPIRYNA", ""}}, "", {}},
      {{{"ASPIRYNA", ""}}, "", {{13, 60}}},
      // The invoice's letter stands on the line after the item.
      {{{"MLEKO", "A"}}, "", {{12, 50}}},
      // The tax letter criterion lists the line that completed the item.
      {{}, "B", {{11, 38}, {13, 60}, {14, 69}}},
      {{{"CHLEB", ""}}, "A", {{11, 36}, {14, 67}}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    TSearchRec c;
    for (const auto& item : cases[i].Items) c.Items.push_back({Utf8ToCp1250(item.Name), item.TaxLetter});
    c.TaxLetter = cases[i].TaxLetter;
    std::vector<std::pair<int32_t, int32_t>> got;
    for (const auto& row : Scan(c, text).Rows) got.emplace_back(row.Rec.PrintoutNo, row.Line);
    EXPECT_EQ(got, cases[i].Rows);
  }
}

TEST(PrintoutScanner, DocumentNumberAndDateCriteriaMatchOnTheTimeLine) {
  const std::string text = Cp(Archive());
  TSearchRec c;
  c.DocNoFrom = 35;
  c.DocNoTo = 36;
  TResult r = Scan(c, text);
  ASSERT_EQ(r.Rows.size(), 2u);
  EXPECT_EQ(r.Rows[0].Rec.PrintoutNo, 13);
  EXPECT_EQ(r.Rows[0].Line, 62);
  EXPECT_EQ(r.Rows[1].Rec.PrintoutNo, 14);
  c = {};
  c.DateFrom = EncodeDateTime(2009, 3, 6, 23, 59);  // the date part alone counts
  c.DateTo = EncodeDate(2009, 3, 7);
  r = Scan(c, text);
  ASSERT_EQ(r.Rows.size(), 2u);
  EXPECT_EQ(r.Rows[0].Rec.PrintoutNo, 12);
  EXPECT_EQ(r.Rows[1].Rec.PrintoutNo, 13);
  c.DateTo = 0;  // open upper bound
  EXPECT_EQ(Scan(c, text).Rows.size(), 3u);
}

TEST(PrintoutScanner, RecordKeepsDateAndNumberOfThePreviousPrintoutWithoutTimeLine) {
  auto second = test::ReceiptLines(12, 99);
  second.erase(second.begin() + 7);  // no time line
  const TResult r = Scan({}, Cp(Concat(test::ReceiptLines(11, 34), second)));
  ASSERT_EQ(r.Rows.size(), 2u);
  EXPECT_EQ(r.Rows[1].Rec.DocNo, 34);
  EXPECT_EQ(r.Rows[1].Rec.DateTime, r.Rows[0].Rec.DateTime);
}

TEST(PrintoutScanner, UnclosedPrintoutGivesNoRow) {
  auto lines = test::ReceiptLines(11, 34);
  lines.pop_back();
  EXPECT_FALSE(Scan({}, Cp(lines)).Found);
  // "‡" before the unique number line does not close.
  auto early = test::ReceiptLines(11, 34);
  std::swap(early[early.size() - 1], early[early.size() - 2]);
  EXPECT_FALSE(Scan({}, Cp(early)).Found);
}

TEST(PrintoutScanner, OpeningWithoutPrintoutNumberIsAConversionError) {
  auto lines = test::ReceiptLines(11, 34);
  lines[1] = "05-03-2009          nr wydr. brak";
  EXPECT_THROW(Scan({}, Cp(lines)), EConvertError);
  // The opening marker on the last line: there is no following line.
  EXPECT_THROW(Scan({}, Cp({"      ¤    PARAGON FISKALNY"})), EConvertError);
  // A kind that DocKind does not admit is not looked at.
  TSearchRec invoices;
  invoices.DocKind = 2;
  EXPECT_NO_THROW(Scan(invoices, Cp(lines)));
}

TEST(PrintoutScanner, TimeLineWithoutTimeIsAnError) {
  auto lines = test::ReceiptLines(11, 34);
  lines[7] = "F00034¦ #Kasa 1   ˇbrak czasu";
  try {
    Scan({}, Cp(lines));
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.what(), std::string("Zły format czasu"_cp));
  }
}

TEST(PrintoutScanner, VeryLongLineIsScanned) {
  auto lines = test::ReceiptLines(11, 34);
  lines.insert(lines.begin() + 3, std::string(100000, 'x') + " igła");
  TSearchRec c;
  c.Text = Utf8ToCp1250("igła");
  const TResult r = Scan(c, Cp(lines));
  ASSERT_EQ(r.Rows.size(), 1u);
  EXPECT_EQ(r.Rows[0].Line, 3);
}

TEST(PrintoutScanner, BinaryGarbageNeverCrashesAndRaisesOnlyTheSystemsErrors) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    std::string junk(4096, '\0');
    for (auto& ch : junk) ch = static_cast<char>(rng());
    TSearchRec c;
    c.Text = "a";
    c.Items.push_back({"A", ""});
    c.TaxLetter = "B";
    try {
      Scan(c, junk);
    } catch (const EQuorvelError&) {
    }
  }
  // Garbage without an opening marker yields nothing.
  std::string junk(65536, '\0');
  for (auto& ch : junk) ch = static_cast<char>(rng() % 0x7F + 0x20);
  EXPECT_FALSE(Scan({}, junk).Found);
}

// A sink that records what the scanner hands over.
class TRecordingSink : public TPrintoutSink {
 public:
  std::vector<std::pair<int32_t, TDateTime>> Begins;
  std::vector<std::string> Lines;
  void BeginPrintout(int32_t kind, TDateTime date) override { Begins.emplace_back(kind, date); }
  void PrintoutLine(std::string_view line) override { Lines.emplace_back(line); }
};

TEST(PrintoutScanner, SinkAndTextListGetTheLinesOfEnteredPrintouts) {
  TRecordingSink sink;
  std::vector<AnsiString> lines;
  TSearchRec c;
  c.PrintoutNoFrom = c.PrintoutNoTo = 12;
  const TResult r = Scan(c, Cp(Archive()), &sink, &lines);
  ASSERT_EQ(r.Rows.size(), 1u);
  ASSERT_EQ(sink.Begins.size(), 1u);
  EXPECT_EQ(sink.Begins[0].first, 2);
  EXPECT_EQ(sink.Begins[0].second, 0);  // invoices take their date from "Data wystawienia:"
  // Every line of the invoice from the one after the opening to the unique number line.
  const auto invoice = test::InvoiceLines(12, 7);
  ASSERT_EQ(sink.Lines.size(), invoice.size() - 2);
  EXPECT_EQ(sink.Lines.front(), Utf8ToCp1250(invoice[1]));
  EXPECT_EQ(sink.Lines.back(), Utf8ToCp1250(invoice[invoice.size() - 2]));
  ASSERT_EQ(lines.size(), invoice.size() - 1);  // the opening line too
  EXPECT_EQ(lines.front(), Utf8ToCp1250(invoice[0]));
  EXPECT_NEAR(r.Rows[0].Rec.DateTime, EncodeDateTime(2009, 3, 7, 10, 15), 1e-6);
}

// The cursor stops exactly at the lines SplitLines gives that hold what is wanted.
TEST(LineCursor, AgreesWithSplitLinesOnRandomText) {
  using namespace linecursor;
  std::mt19937 rng(11);
  const char alphabet[] = {'a', 'b', ' ', '\r', '\n', '\xA1', '\xA4', '\x87', 'X', 'Y'};
  for (int round = 0; round < 300; ++round) {
    std::string text(rng() % 300, 'a');
    for (auto& ch : text) ch = alphabet[rng() % std::size(alphabet)];
    const auto lines = SplitLines(text);
    for (int mode = 0; mode < 3; ++mode) {
      TLineCursor cursor(text);
      cursor.SetNeedle(kNeedleText, "XY");
      if (mode == 0) cursor.WantAll = true;
      if (mode == 1) cursor.WantBytes = kBitTime;
      if (mode == 2) cursor.WantNeedles = 1u << kNeedleText;
      std::vector<int32_t> want, got;
      for (std::size_t i = 0; i < lines.size(); ++i) {
        const bool hit = mode == 0 || (mode == 1 && lines[i].find('\xA1') != std::string_view::npos) ||
                         (mode == 2 && lines[i].find("XY") != std::string_view::npos);
        if (hit) want.push_back(static_cast<int32_t>(i));
      }
      TLineCursor::TLine line;
      while (cursor.Next(line)) {
        got.push_back(line.Index);
        ASSERT_LT(static_cast<std::size_t>(line.Index), lines.size());
        EXPECT_EQ(line.Text, lines[static_cast<std::size_t>(line.Index)]);
      }
      EXPECT_EQ(got, want) << "round " << round << " mode " << mode;
    }
  }
}

// The same over long texts whose lines are sparse or long (the block searches and the bulk
// line count, past the point where its per-byte counters are added up), with what is wanted
// changing from call to call as the scan changes it.
TEST(LineCursor, AgreesWithSplitLinesWhileTheWantedSetChanges) {
  using namespace linecursor;
  std::mt19937 rng(5);
  const char markers[] = {'\xA4', '\x1F', '\xBB', '\x87', '\xA0', '\xA8', '\xA1', 'X', 'Y', '\r', '\n'};
  const std::string_view needles[] = {"XY", "a XY", "YYXY"};
  for (int round = 0; round < 60; ++round) {
    const std::size_t size = round % 10 == 0 ? 20000 : 200 + rng() % 3000;
    const unsigned sparse = round % 3 == 0 ? 400 : 12;  // one marker in that many bytes
    std::string text(size, ' ');
    for (auto& ch : text) ch = rng() % sparse == 0 ? markers[rng() % std::size(markers)] : "a  \r\n"[rng() % (sparse > 100 ? 3 : 5)];
    // A long stretch without markers, to be jumped over in one go.
    if (size == 20000)
      for (std::size_t k = 4000; k < 16000; ++k) text[k] = round % 20 == 0 ? '\n' : "a \r\n"[rng() % 4];
    const auto lines = SplitLines(text);
    TLineCursor cursor(text);
    for (int i = 0; i < kNeedles; ++i) cursor.SetNeedle(i, needles[i]);
    std::size_t expected = 0;  // the first line the cursor may still give
    TLineCursor::TLine line;
    for (int step = 0;; ++step) {
      cursor.WantBytes = rng() % 4 == 0 ? 0 : rng() % 128;
      cursor.WantNeedles = rng() % 8;
      cursor.WantAll = rng() % 6 == 0;
      auto bytesOf = [&](std::string_view l) {
        uint32_t bits = 0;
        for (const char ch : l) bits |= kByteBits[static_cast<unsigned char>(ch)];
        return bits & cursor.WantBytes;
      };
      auto needlesOf = [&](std::string_view l) {
        uint32_t bits = 0;
        for (int i = 0; i < kNeedles; ++i)
          if ((cursor.WantNeedles & (1u << i)) && l.find(needles[i]) != std::string_view::npos) bits |= 1u << i;
        return bits;
      };
      while (expected < lines.size() && !cursor.WantAll && bytesOf(lines[expected]) == 0 &&
             needlesOf(lines[expected]) == 0)
        ++expected;
      const uint32_t wantBytes = expected < lines.size() ? bytesOf(lines[expected]) : 0;
      const uint32_t wantNeedles = expected < lines.size() ? needlesOf(lines[expected]) : 0;
      const bool given = cursor.Next(line);
      ASSERT_EQ(given, expected < lines.size()) << "round " << round << " step " << step;
      if (!given) break;
      ASSERT_EQ(line.Index, static_cast<int32_t>(expected)) << "round " << round << " step " << step;
      EXPECT_EQ(line.Text, lines[expected]);
      EXPECT_EQ(line.Bytes, wantBytes);
      EXPECT_EQ(line.Needles, wantNeedles);
      EXPECT_EQ(cursor.FollowingLine(), expected + 1 < lines.size() ? lines[expected + 1] : std::string_view());
      ++expected;
    }
  }
}

}  // namespace
}  // namespace quorvel
