#include <gtest/gtest.h>
#include <iconv.h>

#include "base/Cp1250.h"
#include "base/TextUtils.h"

using namespace quorvel;

namespace {

// Converts with glibc's iconv, the independent reference for the code page tables.
bool IconvConvert(const char* from, const char* to, const std::string& in, std::string& out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string src = in;
  out.assign(in.size() * 4 + 8, '\0');
  char* ip = src.data();
  std::size_t il = src.size();
  char* op = out.data();
  std::size_t ol = out.size();
  const std::size_t r = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  if (r == static_cast<std::size_t>(-1)) return false;
  out.resize(out.size() - ol);
  return true;
}

}  // namespace

TEST(Cp1250, EveryAssignedByteMatchesIconvBothWays) {
  int checked = 0;
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    std::string ref;
    if (!IconvConvert("CP1250", "UTF-8", byte, ref)) continue;  // bytes the code page leaves unassigned
    EXPECT_EQ(Cp1250ToUtf8(byte), ref) << "byte " << b;
    EXPECT_EQ(Utf8ToCp1250(ref), byte) << "byte " << b;
    ++checked;
  }
  EXPECT_EQ(checked, 251);
}

TEST(Cp1250, UnassignedBytesSurviveARoundTrip) {
  for (int b : {0x81, 0x83, 0x88, 0x90, 0x98}) {
    const std::string byte(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToCp1250(Cp1250ToUtf8(byte)), byte);
  }
}

TEST(Cp1250, LiteralIsConvertedAtCompileTime) {
  constexpr std::string_view s = "Należność:"_cp;
  static_assert(s.size() == 10);
  EXPECT_EQ(s, std::string_view("Nale\xBFno\x9C\xE6:"));
  EXPECT_EQ(Cp1250ToUtf8(s), "Należność:");
  EXPECT_EQ("ZAMKNIĘCIE NOŚNIKA"_cp.size(), 18u);
}

TEST(Cp1250, CharactersOutsideTheCodePageBecomeTheReplacement) {
  EXPECT_EQ(Utf8ToCp1250("a€b✓c"), std::string("a\x80" "b?c"));
  EXPECT_EQ(Utf8ToCp1250("x\xC3"), "x?");  // broken UTF-8 at the end
}

TEST(Cp852, EveryByteMatchesIconv) {
  for (int b = 0x80; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    std::string viaIconv;
    ASSERT_TRUE(IconvConvert("CP852", "UTF-8", byte, viaIconv)) << b;
    std::string ours;
    AppendUtf8(ours, Cp852ToUnicode(static_cast<unsigned char>(b)));
    EXPECT_EQ(ours, viaIconv) << "byte " << b;
    std::string cp1250;
    const std::string expected = IconvConvert("UTF-8", "CP1250", viaIconv, cp1250) ? cp1250 : "?";
    EXPECT_EQ(Cp852ToCp1250(byte), expected) << "byte " << b;
  }
  // The Polish letters of a register's goods name.
  EXPECT_EQ(Cp1250ToUtf8(Cp852ToCp1250("\xA5\x86\xA9\x88\xE4\xA2\x98\xAB\xBE")), "ąćęłńóśźż");
}

TEST(Text, TrimRemovesControlBytesAndBlanks) {
  EXPECT_EQ(Trim(std::string("\x00\t  a b \r\n\x1F", 10)), "a b");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");  // a no-break space is a character, not a blank
  EXPECT_EQ(TrimLeft("  x "), "x ");
  EXPECT_EQ(TrimRight("  x "), "  x");
}

TEST(Text, StrictIntegerConversion) {
  struct Case { const char* text; bool ok; int32_t value; };
  const Case cases[] = {
      {"0012", true, 12},   {"-7", true, -7},      {"+5", true, 5},
      {"2147483647", true, 2147483647}, {"-2147483648", true, INT32_MIN},
      {"2147483648", false, 0}, {"", false, 0},   {"-", false, 0},
      {" 12", false, 0},    {"12 ", false, 0},     {"1e3", false, 0},
      {"$1F", false, 0},    {"0x10", false, 0},    {"12.0", false, 0},
  };
  for (const auto& c : cases) {
    int32_t v = -1;
    EXPECT_EQ(TryStrToInt(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
  EXPECT_EQ(StrToIntDef("x", 44), 44);
  EXPECT_THROW(StrToInt("abc"), std::exception);
}

TEST(Text, NextTokenRemembersOneRemainder) {
  EXPECT_EQ(NextToken("1;22;;333", ";"), "1");
  EXPECT_EQ(NextToken(";"), "22");
  EXPECT_EQ(NextToken(";"), "");
  EXPECT_EQ(NextToken(";"), "333");
  EXPECT_EQ(NextToken(";"), "");
  // A multi-character separator; a new source replaces the remainder.
  EXPECT_EQ(NextToken("ab\x1B\\cd\x1B\\", "\x1B\\"), "ab");
  EXPECT_EQ(NextToken("x/y", "/"), "x");
  EXPECT_EQ(SharedTokenizer().Remainder(), "y");
  EXPECT_EQ(NextToken("no-separator", "#"), "no-separator");
  EXPECT_EQ(SharedTokenizer().Remainder(), "");
}

TEST(Text, CaseMappingCoversPolishLetters) {
  EXPECT_EQ(AnsiUpperCase("zażółć gęślą jaźń"_cp), "ZAŻÓŁĆ GĘŚLĄ JAŹŃ"_cp);
  EXPECT_EQ(AnsiLowerCase("ZAŻÓŁĆ GĘŚLĄ JAŹŃ"_cp), "zażółć gęślą jaźń"_cp);
  EXPECT_TRUE(SameText("Łódź"_cp, "łÓDŹ"_cp));
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_EQ(AnsiUpperCase("\xD7\xF7\xDF"), "\xD7\xF7\xDF");  // × ÷ ß have no other case
}

TEST(Text, SplitLinesAcceptsEveryLineEnd) {
  const auto lines = SplitLines("a\r\nb\nc\rd\r\n\r\ne");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[3], "d");
  EXPECT_EQ(lines[4], "");
  EXPECT_EQ(lines[5], "e");
}

TEST(Cp1250, LiteralsJoinWithStrings) {
  const std::string name = "0001.fmr";
  EXPECT_EQ("Błąd "_cp + name + " – koniec"_cp, std::string("B\xB3\xB9\x64 0001.fmr \x96 koniec"));
  EXPECT_EQ("a"_cp + "b", "ab");
  EXPECT_EQ(std::string("x") + "y", "xy");
}
