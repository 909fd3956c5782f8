#include "ecopy/uIDFile.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "base/Cp1250.h"
#include "base/DateTime.h"
#include "ecopy/md5.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

// One medium of a card file, with the values a test wants to see again.
struct TMedium {
  int Label = 1;
  int ReportFrom = 1, ReportTo = 100;
  std::string ReportDateFrom = "01-01-2009 08:00", ReportDateTo = "31-12-2009 23:59";
  std::string OpenedAt = "00-00-0000 00:00";
  std::string RateA = "PTU A: 22,00 1234,56";
};

std::string Crlf(const std::vector<std::string>& utf8Lines) {
  std::string out;
  for (const auto& l : utf8Lines) out += Utf8ToCp1250(l) + "\r\n";
  return out;
}

// A signed block: its lines, then "Podpis N:" and "Podpis NP:" with the MD5 of the lines.
std::string Signed(const std::vector<std::string>& utf8Lines, bool lowerCase = false) {
  const std::string body = Crlf(utf8Lines);
  std::string np = MD5Hex(body);
  if (lowerCase)
    for (char& c : np) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return body + Crlf({"Podpis N: 0A1B2C3D", "Podpis NP: " + np});
}

std::vector<std::string> CommonLines() {
  return {"Plik: idhist.txt", "Zawartość pliku: historia nośników", "Wersja pliku: 1.0",
          "Typ urządzenia: drukarka", "Rozmiar linii: 48", "Urządzenie: Drukarka X",
          "Nr unikatowy: ABC 12345678", "Wersja Kopii E: 2", "Nośnik Kopii E: SD",
          "Plik utworzono: 05-01-2010 12:30"};
}

std::vector<std::string> HeaderLines(int listCount) {
  auto lines = CommonLines();
  for (const char* l : {"Rozmiar nagłówka pliku: 512", "Offset listy nośników: 512"}) lines.push_back(l);
  lines.push_back("Ilość pozycji listy: " + std::to_string(listCount));
  for (const char* l : {"Rozmiar pozycji listy: 1024", "Rozmiar etykiety pozycji listy: 16", "Rozmiar listy: 2048"})
    lines.push_back(l);
  return lines;
}

std::string Header(int listCount) { return Signed(HeaderLines(listCount)); }

std::vector<std::string> EntryLines(const TMedium& m) {
  auto lines = CommonLines();
  lines.push_back("Etykieta karty: " + std::to_string(m.Label));
  lines.push_back("Data otwarcia: " + m.OpenedAt);
  lines.push_back("Data raportu od: " + m.ReportDateFrom);
  lines.push_back("Data raportu do: " + m.ReportDateTo);
  lines.push_back("Nr raportu od: " + std::to_string(m.ReportFrom));
  lines.push_back("Nr raportu do: " + std::to_string(m.ReportTo));
  for (const char* l : {"Data wydruku od: 01-01-2009 08:00", "Data wydruku do: 31-12-2009 23:59", "Nr wydruku od: 1",
                        "Nr wydruku do: 5000", "Data paragon od: 01-01-2009 08:01", "Data paragon do: 31-12-2009 23:50",
                        "Nr paragon od: 1", "Nr paragon do: 4000", "Data faktury od: 02-01-2009 10:00",
                        "Data faktury do: 30-12-2009 10:00", "Nr faktury od: 1", "Nr faktury do: 12"})
    lines.push_back(l);
  lines.push_back(m.RateA);
  for (const char* l : {"PTU B: 7,00 10.5", "PTU C: 0 0", "PTU D:3", "PTU E: 0 0", "PTU F: 0 0", "PTU G: 0 0"})
    lines.push_back(l);
  for (const char* l : {"Suma A: 1,5 100", "Suma B: 2 200", "Suma C: 0 0", "Suma D: 0 0", "Suma E: 0 0",
                        "Suma F: 0 0", "Suma G: 0 0"})
    lines.push_back(l);
  lines.push_back("Data zamknięcia nośnika: 31-12-2009 23:59");
  lines.push_back("Rozmiar nagłówka pliku: 512");
  return lines;
}

std::string Entry(const TMedium& m, bool lowerCase = false) {
  return Crlf({"", "--- nośnik ---", ""}) + Signed(EntryLines(m), lowerCase);
}

std::string TwoMediaHistory() {
  TMedium a, b;
  b.Label = 2;
  b.ReportFrom = 101;
  b.ReportTo = 250;
  b.ReportDateFrom = "01-01-2010 08:00";
  b.ReportDateTo = "30-06-2010 21:15";
  return Header(2) + Entry(a) + Entry(b);
}

TEST(IDFileReader, TwoMediaGiveThreeEntriesEndingWithTheOpenMedium) {
  TIDFileReader r;
  ASSERT_TRUE(r.LoadFromText(TwoMediaHistory(), false)) << r.LastError;
  EXPECT_EQ(r.ListCount, 2);
  EXPECT_EQ(r.LineSize, 48);
  EXPECT_EQ(r.UniqueNo, "ABC 12345678");
  EXPECT_EQ(r.FileContent, Utf8ToCp1250("historia nośników"));
  EXPECT_EQ(r.CreatedAt, EncodeDateTime(2010, 1, 5, 12, 30));
  EXPECT_EQ(r.SignatureN, "0A1B2C3D");
  ASSERT_EQ(r.Count(), 3);

  const TIDFileRecord& first = *r.Items(0);
  EXPECT_EQ(first.CardLabel, 1);
  EXPECT_EQ(first.ReportNoFrom, 1);
  EXPECT_EQ(first.ReportNoTo, 100);
  EXPECT_EQ(first.ReceiptNoTo, 4000);
  EXPECT_EQ(first.InvoiceDateFrom, EncodeDateTime(2009, 1, 2, 10, 0));
  EXPECT_EQ(first.ClosedAt, EncodeDateTime(2009, 12, 31, 23, 59));
  EXPECT_EQ(first.OpenedAt, 0) << "00-00-0000 00:00 is no date";
  EXPECT_EQ(first.ReportDateTo, EncodeDateTime(2009, 12, 31, 23, 59));
  EXPECT_EQ(first.HeaderSize, 512);
  EXPECT_EQ(first.UniqueNo, "ABC 12345678");
  // First amount between ":" and the last blank, second from the whole line.
  EXPECT_EQ(first.RateAmounts1[0], (TRateAmounts{AmountOf("22"), AmountOf("1234.56")}));
  EXPECT_EQ(first.RateAmounts1[1], (TRateAmounts{AmountOf("7"), AmountOf("10.5")}));
  EXPECT_EQ(first.RateAmounts1[3], (TRateAmounts{AmountOf("3"), AmountOf("3")})) << "no blank after the colon";
  EXPECT_EQ(first.RateAmounts2[1], (TRateAmounts{AmountOf("2"), AmountOf("200")}));

  const TIDFileRecord& second = *r.Items(1);
  EXPECT_EQ(second.CardLabel, 2);
  EXPECT_EQ(second.ReportNoTo, 250);

  const TIDFileRecord& open = *r.Items(2);
  EXPECT_EQ(open.ReportNoFrom, 251);
  EXPECT_EQ(open.ReportNoTo, 2143);
  EXPECT_EQ(open.ReportDateFrom, EncodeDateTime(2010, 6, 30, 21, 15));
  EXPECT_DOUBLE_EQ(open.ReportDateTo, 2958465.99999);
  EXPECT_EQ(open.CardLabel, 0);
  EXPECT_TRUE(open.UniqueNo.empty());

  EXPECT_EQ(r.Items(-1), nullptr);
  EXPECT_EQ(r.Items(r.Count()), nullptr);
}

TEST(IDFileReader, ReadsFromDiscAndFailsQuietlyOnAMissingFile) {
  test::TTempDir dir;
  test::WriteFile(dir / "idhist.txt", TwoMediaHistory());
  TIDFileReader r;
  EXPECT_TRUE(r.LoadFromFile(dir / "idhist.txt", false));
  EXPECT_EQ(r.Count(), 3);
  EXPECT_FALSE(r.LoadFromFile(dir / "brak.txt", false));
  EXPECT_EQ(r.Count(), 0) << "a failed load empties the list, earlier entries included";
}

TEST(IDFileReader, NoMediaLoadsNothing) {
  TIDFileReader r;
  EXPECT_FALSE(r.LoadFromText(Header(0), false));
  EXPECT_EQ(r.Count(), 0);
}

TEST(IDFileReader, OneChangedCharacterInASignedBlockFailsTheWholeFile) {
  const std::string good = TwoMediaHistory();
  struct TCase {
    const char* What;
    std::string From, To;
  };
  const std::vector<TCase> cases = {
      {"entry number", "Nr raportu do: 250", "Nr raportu do: 251"},
      {"entry rate line", "Suma B: 2 200", "Suma B: 2 300"},
      {"header", "Rozmiar listy: 2048", "Rozmiar listy: 2049"},
      {"signature digit", "Podpis NP: ", "Podpis NP: 0"},
  };
  for (const auto& c : cases) {
    std::string bad = good;
    const std::size_t pos = bad.rfind(c.From);
    ASSERT_NE(pos, std::string::npos) << c.What;
    bad.replace(pos, c.From.size(), c.To);
    TIDFileReader r;
    EXPECT_FALSE(r.LoadFromText(bad, false)) << c.What;
    EXPECT_EQ(r.Count(), 0) << c.What;
    // A reader that holds an earlier load reads the header again (the entries not), and a
    // broken header drops the earlier entries too.
    TIDFileReader loaded;
    ASSERT_TRUE(loaded.LoadFromText(good, false));
    EXPECT_EQ(loaded.LoadFromText(bad, false), c.What != std::string("header")) << c.What;
  }
}

TEST(IDFileReader, LowerCaseSignatureIsAccepted) {
  TIDFileReader r;
  EXPECT_TRUE(r.LoadFromText(Header(1) + Entry(TMedium{}, true), false));
  EXPECT_EQ(r.Count(), 2);
}

TEST(IDFileReader, FileEndingEarlyKeepsTheEntriesRead) {
  TIDFileReader r;
  // Three media announced, one present; the extra line end at the end is no entry.
  ASSERT_TRUE(r.LoadFromText(Header(3) + Entry(TMedium{}) + "\r\n\r\n", false));
  ASSERT_EQ(r.Count(), 2);
  EXPECT_EQ(r.Items(1)->ReportNoFrom, 101);
}

TEST(IDFileReader, SecondLoadOfTheSameHistoryAddsOnlyAClosingEntry) {
  TIDFileReader r;
  ASSERT_TRUE(r.LoadFromText(TwoMediaHistory(), false));
  ASSERT_TRUE(r.LoadFromText(TwoMediaHistory(), false));
  ASSERT_EQ(r.Count(), 4);
  const TIDFileRecord& closing = *r.Items(3);
  EXPECT_EQ(closing.ReportNoFrom, 1);
  EXPECT_EQ(closing.ReportNoTo, 2143);
  EXPECT_DOUBLE_EQ(closing.ReportDateFrom, -657434.0);
  EXPECT_DOUBLE_EQ(closing.ReportDateTo, 2958465.99999);
}

TEST(IDFileReader, AppendModeReadsOneEntryWithoutHeader) {
  TMedium current;
  current.Label = 7;
  current.ReportFrom = 300;
  current.ReportTo = 320;
  const std::string idTxt = Signed(EntryLines(current));

  TIDFileReader fresh;
  ASSERT_TRUE(fresh.LoadFromText(idTxt, true));
  ASSERT_EQ(fresh.Count(), 2);
  EXPECT_EQ(fresh.Items(0)->CardLabel, 7);
  EXPECT_EQ(fresh.Items(1)->ReportNoFrom, 321);

  // After a history the list already holds an entry: nothing is read, a closing entry is added.
  TIDFileReader afterHistory;
  ASSERT_TRUE(afterHistory.LoadFromText(TwoMediaHistory(), false));
  ASSERT_TRUE(afterHistory.LoadFromText(idTxt, true));
  ASSERT_EQ(afterHistory.Count(), 4);
  EXPECT_EQ(afterHistory.Items(3)->ReportNoFrom, 1);
}

TEST(IDFileReader, LineEndsOtherThanCrLfReadAndSignAsCrLf) {
  std::string lf, cr;
  for (char c : TwoMediaHistory()) {
    if (c == '\r') continue;
    lf += c;
    cr += c == '\n' ? '\r' : c;
  }
  for (const std::string* text : {&lf, &cr}) {
    TIDFileReader r;
    EXPECT_TRUE(r.LoadFromText(*text, false));
    EXPECT_EQ(r.Count(), 3);
  }
}

TEST(IDFileReader, BrokenFilesFailWithoutEntries) {
  TMedium twoSeparators;
  twoSeparators.RateA = "PTU A: 22,00 1.234,56";
  TMedium noColon;
  noColon.RateA = "PTU A 22,00 1234,56";
  TMedium noAmount;
  noAmount.RateA = "PTU A: x y";
  auto noDigitAtEnd = HeaderLines(1);
  noDigitAtEnd[4] = "Rozmiar linii: 48 zn";
  auto missingLabel = EntryLines(TMedium{});
  missingLabel[10] = "Label karty: 1";
  std::string garbage;
  for (int k = 0; k < 4096; ++k) garbage += static_cast<char>((k * 131 + 7) % 256);
  const std::string longLine = "Plik: " + std::string(100000, 'x') + "\r\n";

  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty file", ""},
      {"binary garbage", garbage},
      {"100 000-character line in place of the header", longLine + Header(1)},
      {"number line without digits at its end", Signed(noDigitAtEnd) + Entry(TMedium{})},
      {"missing label", Header(1) + Crlf({"", "", ""}) + Signed(missingLabel)},
      {"amount with two separators", Header(1) + Entry(twoSeparators)},
      {"rate line without colon", Header(1) + Entry(noColon)},
      {"rate line without amount", Header(1) + Entry(noAmount)},
      {"header only, signature missing", Crlf(CommonLines())},
  };
  for (const auto& [what, text] : cases) {
    TIDFileReader r;
    EXPECT_FALSE(r.LoadFromText(text, false)) << what;
    EXPECT_EQ(r.Count(), 0) << what;
  }
}

TEST(IDFileReader, TruncatedAtEveryLineEitherLoadsWhatIsCompleteOrFails) {
  const std::string full = TwoMediaHistory();
  std::size_t pos = 0;
  int loaded = 0;
  while ((pos = full.find("\r\n", pos)) != std::string::npos) {
    pos += 2;
    TIDFileReader r;
    if (r.LoadFromText(full.substr(0, pos), false)) {
      ++loaded;
      EXPECT_GE(r.Count(), 1);
      EXPECT_EQ(r.Items(r.Count() - 1)->ReportNoTo, 2143);
    } else {
      EXPECT_EQ(r.Count(), 0);
    }
  }
  // Complete: the header alone, and each complete medium, each also with the blank line after it.
  EXPECT_EQ(loaded, 5);
}

TEST(IDFileReader, LongValueIsReadWhole) {
  auto lines = HeaderLines(1);
  lines[5] = "Urządzenie: " + std::string(100000, 'D');
  TIDFileReader r;
  ASSERT_TRUE(r.LoadFromText(Signed(lines) + Entry(TMedium{}), false));
  EXPECT_EQ(r.Device.size(), 100000u);
}

TEST(IDFileReader, EntryThatFailsLeavesNoEntryBehind) {
  // The medium's block is signed but ends inside its rate lines.
  auto lines = EntryLines(TMedium{});
  lines.resize(lines.size() - 10);
  TIDFileReader r;
  EXPECT_FALSE(r.LoadFromText(Header(1) + Crlf({"", "", ""}) + Signed(lines), false));
  EXPECT_EQ(r.Count(), 0);
}

}  // namespace
}  // namespace quorvel
