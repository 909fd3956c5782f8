// The register protocol's frame and packet layer: checksum, request bodies, reply layouts and
// field conversions, error texts and packet titles.
#include <gtest/gtest.h>

#include "base/Cp1250.h"
#include "base/Errors.h"
#include "links/R5ErrorCodes.h"
#include "links/R5Frame.h"
#include "links/R5Packets.h"

namespace quorvel {
namespace {

using namespace std::string_literals;

// A reply frame as the link stores it: STX, a two-character header, the data, ETX, checksum.
AnsiString Reply(const AnsiString& data) { return R5MakeFrame("R1" + data); }

// A data area of `size` blanks with values placed at 1-based frame positions (data starts at 4).
struct TData {
  AnsiString Text;
  explicit TData(std::size_t size) : Text(size, ' ') {}
  TData& At(std::size_t framePos, std::string_view value) {
    Text.replace(framePos - 4, value.size(), value);
    return *this;
  }
};

TEST(R5Frame, ChecksumAndFrameOfTheExamples) {
  EXPECT_EQ(R5Checksum("S10"), "00F1");
  EXPECT_EQ(R5ChecksumValue("ABCDEFGHIJKL"), 0x7255);  // positions past 9 start over at no shift

  const AnsiString frame = R5MakeFrame(R5RequestBody(63, "", ""));
  EXPECT_EQ(frame, "\x02S10" + AnsiString(36, ' ') + "\x03" "00E9");
  EXPECT_TRUE(R5FrameChecksumOk(frame));
}

TEST(R5Frame, AcceptsLowerCaseDigitsAndRejectsDamage) {
  const AnsiString good = Reply("ABC00000001");  // checksum 243C
  AnsiString lower = good;
  for (std::size_t i = lower.size() - 4; i < lower.size(); ++i) lower[i] = static_cast<char>(std::tolower(lower[i]));
  ASSERT_NE(lower, good) << "the example needs letters in its checksum";
  EXPECT_TRUE(R5FrameChecksumOk(lower));

  AnsiString damaged = good;
  damaged[5] = 'X';
  EXPECT_FALSE(R5FrameChecksumOk(damaged));
  EXPECT_FALSE(R5FrameChecksumOk("\x02\x03" "00"));
  EXPECT_FALSE(R5FrameChecksumOk(""));
}

TEST(R5Packets, RequestBodies) {
  EXPECT_EQ(R5RequestBody(17, "0", "0"), "SN0" + AnsiString(17, ' ') + "0" + AnsiString(17, ' ') + "0");
  EXPECT_EQ(R5RequestBody(100, "090501", "090531"),
            "Sy#000" + AnsiString(12, ' ') + "090501" + AnsiString(12, ' ') + "090531");
  EXPECT_EQ(R5RequestBody(97, "0000100020", "000"),
            "S@#020" + AnsiString(8, ' ') + "0000100020" + AnsiString(15, ' ') + "000");
  EXPECT_EQ(R5RequestBody(99, "idhist.txt", ""), "S@#050" + AnsiString(8, ' ') + "idhist.txt" + AnsiString(18, ' '));
  EXPECT_EQ(R5RequestBody(52, "", "", true).substr(0, 3), "Sp2");
  // A parameter longer than the field is cut to its first 18 characters.
  EXPECT_EQ(R5RequestBody(63, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "").substr(3, 18), "ABCDEFGHIJKLMNOPQR");
  for (uint8_t unknown : {0, 1, 33, 92, 95, 255}) {
    try {
      R5RequestBody(unknown, "", "");
      ADD_FAILURE() << int(unknown);
    } catch (const EQuorvelError& e) {
      EXPECT_EQ(e.what(), AnsiString("Nieznany bądź nieobsługiwany typ pakietu"_cp));
    }
  }
}

TEST(R5Packets, TableHasLettersAndCaptions) {
  ASSERT_NE(FindR5PacketType(43), nullptr);
  EXPECT_EQ(FindR5PacketType(43)->Letter, "&#00");
  EXPECT_EQ(FindR5PacketType(28)->Caption, "Pobieranie danych kasy (Corvi System) - pakiet rozszerzony 01 "_cp);
  EXPECT_EQ(FindR5PacketType(101)->Caption, FindR5PacketType(61)->Caption);
  EXPECT_EQ(FindR5PacketType(41)->Caption, "");
  EXPECT_EQ(R5PacketTypes().size(), 86u);
}

TEST(R5ErrorCodes, RegisterTextsVerbatim) {
  struct {
    const char* Code;
    std::string_view Text;
  } cases[] = {
      {"B7", "Niezaprogramowa-\\nny zegar"_cp}, {"BE", "Sprzedaż musi\\nbyć zerowa"_cp},
      {"C4", "Zmiana nagłówka\\nniedozwolona"_cp}, {"C7", "Błąd ilości\\ntowaru"_cp},
      {"F2", "MenadSer FTP aktywny"_cp},           {"F9", "Modem juS połączony!"_cp},
      {"0d", "Niewłaściwy tryb pracy - zmień tryb. W kasach VX5100 oraz Solvik należy wyjść z menu."_cp},
      {"ff", "Operacja anulowana przez kasę"_cp},  {"12", "Nieznany błąd"_cp},
      {"", "Nieznany błąd"_cp},                    {"B7 ", "Nieznany błąd"_cp},
  };
  for (const auto& c : cases) EXPECT_EQ(R5ErrorText(c.Code), c.Text) << c.Code;
  EXPECT_EQ(AnsiString(R5ErrorText("B7")).find('\n'), std::string::npos);
}

TEST(R5Packets, IdentityLayouts) {
  std::vector<AnsiString> r = {Reply("ABC12345678"), Reply("123-456-78-90"),
                               Reply(TData(57).At(4, "1").At(5, "0000000012").At(35, "Varno     ").At(45, "0102").Text),
                               Reply("0204000312345")};
  EXPECT_EQ(R5GetField(r, 63, 0, 108), "ABC12345678");
  EXPECT_EQ(R5GetField(r, 17, 1, 1), "123-456-78-90");
  EXPECT_EQ(R5GetField(r, 52, 2, 162), "Varno     ");  // the model name as received
  EXPECT_EQ(R5GetField(r, 52, 2, 2), "Varno");
  EXPECT_EQ(R5GetField(r, 52, 2, 92), "1");
  EXPECT_EQ(R5GetField(r, 52, 2, 57), "0102");
  EXPECT_EQ(R5GetField(r, 51, 3, 57), "0204");
  EXPECT_EQ(R5GetField(r, 51, 3, 59), "12345");
  EXPECT_EQ(R5GetField(r, 51, 3, 162), "");
  EXPECT_EQ(R5GetField(r, 63, 0, 0), "A");
  EXPECT_EQ(R5GetField(r, 63, 0, 999), "");
  for (int bad : {-1, 4, 100}) {
    try {
      R5GetField(r, 63, bad, 108);
      ADD_FAILURE() << bad;
    } catch (const EQuorvelError& e) {
      EXPECT_EQ(e.what(), AnsiString("Błędny index odebranego pakietu"_cp));
    }
  }
}

// A basic daily-report record (kind "1") with every field at its place.
AnsiString BasicDailyRecord(std::string_view date = "090531", std::string_view number = "0000000123") {
  TData d(159);
  d.At(4, "1").At(5, date).At(11, "\x02").At(12, number);
  d.At(22, "0000012345");
  const char* gross[] = {"0000010000", "0000001999", "0000000000", "          ", "0000000001", "0000000010", "0000000100"};
  for (int i = 0; i < 7; ++i) d.At(32 + 10 * i, gross[i]);
  d.At(102, "0000002300").At(112, "00042").At(117, "00007").At(122, "X").At(123, "ABCDEFGHIJ").At(133, "0000000009");
  d.At(143, "0000000003").At(153, "0000000450");
  return Reply(d.Text);
}

TEST(R5Packets, AmountsCountsAndNumbersOfABasicRecord) {
  std::vector<AnsiString> r = {BasicDailyRecord()};
  struct {
    int Code, Sub;
    const char* Want;
  } cases[] = {
      {43, 0, "1"},           {1, 0, "0000000123"}, {47, 0, "123,45"}, {39, 0, "100"},   {39, 1, "19,99"},
      {39, 2, "0"},           {39, 3, "0"},         {39, 4, "0,01"},   {39, 5, "0,1"},   {39, 6, "1"},
      {48, 0, "23"},          {50, 0, "00042"},     {52, 0, "00007"},  {54, 0, "X"},     {51, 0, "ABCDEFGHIJ"},
      {53, 0, "0000000009"},  {80, 0, "0000000003"}, {107, 0, "4,5"},  {39, 7, ""},      {101, 0, "\x02"},
  };
  for (const auto& c : cases) EXPECT_EQ(R5GetField(r, 61, 0, c.Code, c.Sub), c.Want) << c.Code << "/" << c.Sub;
  // The cancelled receipts belong to the "w".."z" requests only.
  EXPECT_EQ(R5GetField(r, 31, 0, 80), "");
  EXPECT_EQ(R5GetField(r, 31, 0, 107), "");
  EXPECT_EQ(R5GetField(r, 31, 0, 47), "123,45");
}

TEST(R5Packets, ShortNumbersLoseTheirZeros) {
  TData reset(20);
  reset.At(4, "2").At(5, "090531").At(12, "1205").At(16, "1").At(17, "007").At(20, "1 ");
  std::vector<AnsiString> r = {Reply(reset.Text), BasicDailyRecord("090531", "     00012")};
  EXPECT_EQ(R5GetField(r, 60, 0, 1), "7");
  EXPECT_EQ(R5GetField(r, 60, 0, 28), "12:05");
  EXPECT_EQ(R5GetField(r, 60, 0, 54), "1");
  EXPECT_EQ(R5GetField(r, 60, 0, 293), "1");
  EXPECT_EQ(R5GetField(r, 60, 1, 1), "12");
}

TEST(R5Packets, RatesOfARateChange) {
  TData d(28);
  d.At(4, "4").At(5, "090101");
  const char* slots[] = {"2200", "0800", "FFFF", "0000", "0700", "ffff", "9900"};
  for (int i = 0; i < 7; ++i) d.At(12 + 4 * i, slots[i]);
  std::vector<AnsiString> r = {Reply(d.Text)};
  const char* want[] = {"22", "8", "100", "0", "7", "100", "99"};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(R5GetField(r, 60, 0, 55, i), want[i]) << i;
  EXPECT_EQ(R5GetField(r, 60, 0, 1), "");  // no number in a rate change
}

TEST(R5Packets, RecordDatesAndTheTwoDigitYear) {
  struct {
    const char* Raw;
    const char* Want;
  } cases[] = {
      {"090531", "31.05.2009"}, {"480101", "01.01.2048"}, {"490101", "01.01.1949"},
      {"991231", "31.12.1999"}, {"000229", "29.02.2000"}, {"XX0607", "07.06.1950"},
      {"09XXYY", "01.01.2009"},
  };
  for (const auto& c : cases) {
    std::vector<AnsiString> r = {BasicDailyRecord(c.Raw)};
    EXPECT_EQ(R5GetField(r, 61, 0, 27), c.Want) << c.Raw;
  }
  for (const char* impossible : {"091332", "090230", "090500"}) {
    std::vector<AnsiString> r = {BasicDailyRecord(impossible)};
    EXPECT_THROW(R5GetField(r, 61, 0, 27), EConvertError) << impossible;
  }
}

TEST(R5Packets, ConversionsOfEveryKind) {
  struct {
    uint8_t Type;
    int Code;
    std::string Raw, Want;
  } cases[] = {
      {61, 9, "00012", "12"},           {61, 1, "ABC", "ABC"},                // not a number: kept
      {29, 3, "0000012345", "123,45"},  {29, 289, "-0000000150", "-1,5"},
      {30, 41, "0000001500", "1,5"},    {30, 279, "0000000001", "0,001"},
      {49, 41, "0000001500", "0000001500"},                                  // taken unchanged
      {30, 280, "20090531", "31.05.2009"}, {30, 281, "20091331", ""},
      {30, 216, "200905312359", "31.05.2009 23:59:00"}, {30, 291, "2009053", ""},
      {30, 8, "  Mas\x88o\xFFxx ", std::string("Masło"_cp)},  {30, 6, "  \xA5  ", std::string("  ą  "_cp)},
      {30, 27, "090531", "090531"},     {30, 28, "1205", "1205"},            // dates outside records: as cut
  };
  for (const auto& c : cases) EXPECT_EQ(R5ConvertField(c.Type, c.Code, c.Raw), c.Want) << c.Code << " " << c.Raw;
  EXPECT_THROW(R5ConvertField(29, 47, "12,34"), EConvertError);
}

TEST(R5Packets, ExtendedRecordGainsItsMarkOnce) {
  std::vector<AnsiString> r = {BasicDailyRecord()};
  const AnsiString before = r[0];
  EXPECT_EQ(R5GetField(r, 101, 0, 47), "123,45");
  EXPECT_EQ(r[0], before.substr(0, 3) + "#00" + before.substr(3));
  EXPECT_EQ(R5GetField(r, 101, 0, 47), "123,45");
  EXPECT_EQ(R5GetField(r, 100, 0, 27), "31.05.2009");
  EXPECT_EQ(r[0].size(), before.size() + 3);
  EXPECT_EQ(R5GetField(r, 101, 0, 80), "");
  EXPECT_EQ(R5GetField(r, 101, 0, 107), "");
  EXPECT_EQ(R5GetField(r, 101, 0, 0), "#");
}

TEST(R5Packets, ExtendedRecordCumulativeTotals) {
  TData d(345);
  d.At(4, "#00").At(7, "1").At(8, "100102").At(15, "0000000042");
  for (int i = 0; i < 7; ++i) d.At(166 + 20 * i, i == 3 ? "-" : "00000000000000001234");
  d.At(306, "      000000000099,5").At(326, "00000000000000000077");
  std::vector<AnsiString> r = {Reply(d.Text)};
  EXPECT_EQ(R5GetField(r, 100, 0, 1), "0000000042");
  EXPECT_EQ(R5GetField(r, 100, 0, 27), "02.01.2010");
  EXPECT_EQ(R5GetField(r, 100, 0, 44, 0), "00000000000000001234");
  EXPECT_EQ(R5GetField(r, 100, 0, 44, 3), "-");
  EXPECT_EQ(R5GetField(r, 100, 0, 46), "000000000099,5");
  EXPECT_EQ(R5GetField(r, 100, 0, 45), "00000000000000000077");
  EXPECT_EQ(R5GetField(r, 61, 0, 44, 0), "");  // not in the basic layout
}

TEST(R5Packets, CurrencyRecords) {
  TData basic(14);
  basic.At(4, "5").At(5, "020101").At(12, "EUR   ");
  TData extended(17);
  extended.At(4, "#00").At(7, "8").At(8, "000000").At(15, "PLN");
  std::vector<AnsiString> r = {Reply(basic.Text), Reply(extended.Text)};
  EXPECT_EQ(R5GetField(r, kR5CurrencyBasic, 0, 27), "020101");
  EXPECT_EQ(R5GetField(r, kR5CurrencyBasic, 0, 2), "EUR");
  EXPECT_EQ(R5GetField(r, kR5CurrencyExtended, 1, 27), "000000");
  EXPECT_EQ(R5GetField(r, kR5CurrencyExtended, 1, 2), "PLN");
}

TEST(R5Packets, ElectronicCopyPackets) {
  auto packet = [](const char* no, char kind, std::string_view name, std::string_view count, std::string_view data) {
    TData d(54 + data.size());
    d.At(4, no).At(10, std::string(1, kind)).At(11, name).At(52, count).At(58, data);
    return Reply(d.Text);
  };
  std::vector<AnsiString> r = {packet("000001", '0', "0123.txt", "000005", "ab\r\n "),
                               packet("000002", '2', "0123.txt", "000000", ""),
                               packet("000003", '1', "id.txt", "000900", "xyz")};
  EXPECT_EQ(R5GetField(r, 97, 0, 295), "000001");
  EXPECT_EQ(R5GetField(r, 97, 0, 296), "0");
  EXPECT_EQ(R5GetField(r, 97, 0, 2), "0123.txt");
  EXPECT_EQ(R5GetField(r, 97, 0, 161), "000005");
  EXPECT_EQ(R5GetField(r, 97, 0, 294), "ab\r\n ");  // data keeps its blanks and line ends
  EXPECT_EQ(R5GetField(r, 98, 1, 294), "");
  // A count beyond the frame never takes in the end byte and the checksum.
  EXPECT_EQ(R5GetField(r, 99, 2, 294), "xyz");
  EXPECT_EQ(R5GetField(r, 99, 2, 2), "id.txt");
}

TEST(R5Packets, PolishLettersOfCodePage852) {
  const std::string cp852 = "\x86\x88\x8D\x8F\x97\x98\x9D\xA2\xA4\xA5\xA8\xA9\xAB\xBD\xBE\xE0\xE3\xE4";
  const AnsiString want("ćłŹĆŚśŁóĄąĘęźŻżÓŃń"_cp);
  EXPECT_EQ(R5PolishLetters(cp852), want);
  EXPECT_EQ(R5PolishLetters(cp852), Cp852ToCp1250(cp852));
  // Other bytes travel unchanged, box drawing and accented letters of other languages alike.
  EXPECT_EQ(R5PolishLetters("A\x82\xC4z"), "A\x82\xC4z");

  TData d(57);
  d.At(35, "\x8F" "ma \x88\xA2\xE4").At(45, "\xFF\xFF");
  std::vector<AnsiString> r = {Reply(d.Text)};
  EXPECT_EQ(R5GetField(r, 52, 0, 2), "Ćma łóń"_cp);
  TData cut(57);
  cut.At(35, "Kasa\xFFXYZ");
  r = {Reply(cut.Text)};
  EXPECT_EQ(R5GetField(r, 52, 0, 2), "Kasa");
}

TEST(R5Packets, TitlesOfRequests) {
  auto title = [](uint8_t type, std::string_view a = "", std::string_view b = "") {
    return R5PacketTitle(R5MakeFrame(R5RequestBody(type, a, b)));
  };
  EXPECT_EQ(title(63), "Numer unikatowy");
  EXPECT_EQ(title(52), "Status kasy");
  EXPECT_EQ(title(17), "Numer NIP");
  EXPECT_EQ(title(100), "Raport okresowy wg dat");
  EXPECT_EQ(title(61), "Raport okresowy wg numerów"_cp);
  EXPECT_EQ(title(97), "");
  EXPECT_EQ(title(12), "Stawki PTU");
  EXPECT_EQ(title(51), "Wersja oprogramowania");
  // Names are filled from the frame, Polish letters converted.
  EXPECT_EQ(R5PacketTitle("\x02SI0" + std::string(18 - 3, ' ') + "123" + "Mas\x88o" + std::string(13, ' ')),
            "PLU - 123 Masło"_cp);
  EXPECT_EQ(R5PacketTitle("\x02SD#000" "07"), "Kasjer - 07");
  EXPECT_EQ(R5PacketTitle("\x02SD3Jan"), "Kasjer - 3 Jan");
  EXPECT_EQ(R5PacketTitle("\x02S"), "");
}

}  // namespace
}  // namespace quorvel
