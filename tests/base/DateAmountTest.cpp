#include <gtest/gtest.h>

#include "base/Amount.h"
#include "base/DateTime.h"
#include "base/Errors.h"

using namespace quorvel;

TEST(DateTime, EpochAndKnownDays) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(2024, 3, 12), 45363.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2024, 3, 12, 18, 0), 45363.75);
  const TDateParts p = DecodeDateTime(45363.75);
  EXPECT_EQ(p.Year, 2024);
  EXPECT_EQ(p.Month, 3);
  EXPECT_EQ(p.Day, 12);
  EXPECT_EQ(p.Hour, 18);
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  EXPECT_NO_THROW(EncodeDate(2024, 2, 29));
}

TEST(DateTime, TimeOfDayNeverRoundsPastMidnight) {
  const TDateTime almost = EncodeDate(2024, 3, 12) + 0.99999999999;
  const TDateParts p = DecodeDateTime(almost);
  EXPECT_EQ(p.Day, 13);
  EXPECT_EQ(p.Hour, 0);
  EXPECT_EQ(FormatDmyHm(EncodeDateTime(2024, 3, 12, 23, 59, 59)), "12-03-2024 23:59");
}

TEST(DateTime, Formats) {
  const TDateTime t = EncodeDateTime(2009, 5, 31, 7, 4, 9);
  EXPECT_EQ(FormatDmy(t), "31-05-2009");
  EXPECT_EQ(FormatDmyHm(t), "31-05-2009 07:04");
  EXPECT_EQ(FormatYyMmDd(t), "090531");
  EXPECT_EQ(ShortDateStr(t), "31.05.2009");
  EXPECT_EQ(TimeStr(t), "07:04:09");
  EXPECT_EQ(FormatIso(t), "2009-05-31T07:04:09");
  EXPECT_EQ(FormatIso(0), "");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:mm:ss", t), "2009-05-31 07:04:09");  // mm after hh is minutes
  EXPECT_EQ(FormatDateTime("hh:nn", t), "07:04");
  EXPECT_EQ(FormatDateTime("d.m.yy \"godz.\" h", t), "31.5.09 godz. 7");
  EXPECT_EQ(DateTimeStr(EncodeDate(2009, 5, 31)), "31.05.2009");
}

TEST(DateTime, ParsingByPosition) {
  struct Case { const char* text; bool ok; TDateTime value; };
  const Case cases[] = {
      {"12-03-2024 21:07", true, EncodeDateTime(2024, 3, 12, 21, 7)},
      {"12.03.2024/21.07", true, EncodeDateTime(2024, 3, 12, 21, 7)},  // separators are not looked at
      {"00-00-0000 00:00", false, 0},
      {"32-01-2024 10:00", false, 0},
      {"12-03-2024 24:00", false, 0},
      {"12-03-2024", false, 0},
      {"1a-03-2024 10:00", false, 0},
  };
  for (const auto& c : cases) {
    TDateTime v = -1;
    EXPECT_EQ(TryParseDmyHm(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_DOUBLE_EQ(v, c.value) << c.text;
    }
  }
  EXPECT_EQ(ParseDmyHmLenient("00-00-0000 00:00"), 0);
  EXPECT_EQ(ParseDmyHmLenient("garbage"), 0);
  EXPECT_DOUBLE_EQ(ParseDmyHmLenient("01-01-2020 00:00"), EncodeDate(2020, 1, 1));
  TDateTime d = 0;
  EXPECT_TRUE(TryParseShortDate("31.05.2009", d));
  EXPECT_EQ(d, EncodeDate(2009, 5, 31));
  EXPECT_TRUE(TryParseShortDate("31-05-2009 10:30", d));
  EXPECT_DOUBLE_EQ(d, EncodeDateTime(2009, 5, 31, 10, 30));
  EXPECT_FALSE(TryParseShortDate("31/05/2009", d));
}

TEST(DateTime, ClockCanBeSet) {
  TClock::SetForTests(EncodeDateTime(2026, 12, 11, 9, 30));
  EXPECT_EQ(FormatDmyHm(TClock::Now()), "11-12-2026 09:30");
  EXPECT_EQ(TClock::Today(), EncodeDate(2026, 12, 11));
  TClock::SetForTests(std::nullopt);
  EXPECT_GT(TClock::Now(), EncodeDate(2020, 1, 1));
}

TEST(Amount, Parsing) {
  struct Case { const char* text; bool ok; int64_t value; };
  const Case cases[] = {
      {"12.50", true, 125000}, {"12,5", true, 125000},   {"100", true, 1000000},
      {"-0.05", true, -500},   {" 7,0001 ", true, 70001}, {",5", true, 5000},
      {"5.", true, 50000},     {"1.00005", true, 10000},  {"1.00015", true, 10002},
      {"1.000051", true, 10001},
      {"", false, 0},          {"1.2.3", false, 0},       {"1 000", false, 0},
      {"zł 5", false, 0},      {".", false, 0},           {"-", false, 0},
  };
  for (const auto& c : cases) {
    TAmount a{-1};
    EXPECT_EQ(TryParseAmount(c.text, a), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(a.Value, c.value) << c.text;
    }
  }
  EXPECT_EQ(AmountOf("").Value, 0);
  EXPECT_EQ(AmountOf("x", TAmount{7}).Value, 7);
}

TEST(Amount, TextForms) {
  struct Case { int64_t value; const char* two; const char* curr; };
  const Case cases[] = {
      {125000, "12.50", "12,5"},   {1000000, "100.00", "100"}, {-500, "-0.05", "-0,05"},
      {1, "0.00", "0,0001"},       {50, "0.01", "0,005"},      {-50, "-0.01", "-0,005"},
      {0, "0.00", "0"},            {123456789, "12345.68", "12345,6789"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AmountToStr2(TAmount{c.value}), c.two) << c.value;
    EXPECT_EQ(CurrToStr(TAmount{c.value}), c.curr) << c.value;
  }
}

TEST(Amount, RoundingToCents) {
  EXPECT_EQ(RoundToCents(TAmount{81350}, TRounding::HalfEven).Value, 81400);
  EXPECT_EQ(RoundToCents(TAmount{81250}, TRounding::HalfEven).Value, 81200);
  EXPECT_EQ(RoundToCents(TAmount{81250}, TRounding::HalfAwayFromZero).Value, 81300);
  EXPECT_EQ(RoundToCents(TAmount{-81250}, TRounding::HalfAwayFromZero).Value, -81300);
  EXPECT_EQ(RoundToCents(TAmount{-81350}, TRounding::HalfEven).Value, -81400);
}

TEST(Amount, FloatText) {
  EXPECT_EQ(FloatToStr(0.75), "0,75");
  EXPECT_EQ(FloatToStr(0), "0");
  double v = 0;
  EXPECT_TRUE(TryStrToFloat("0,75", v));
  EXPECT_EQ(v, 0.75);
  EXPECT_TRUE(TryStrToFloat("0.5", v));
  EXPECT_FALSE(TryStrToFloat("abc", v));
  EXPECT_FALSE(TryStrToFloat("", v));
}
