#include <gtest/gtest.h>

#include "archive/uDailyRecord.h"
#include "base/Errors.h"
#include "support/TestSupport.h"

using namespace quorvel;
using quorvel::test::TTempDir;

namespace {

RFMRecord SampleRecord() {
  RFMRecord r;
  r.Kind = kKindDailyCumulative;
  r.Stats.FirstDate = EncodeDateTime(2024, 3, 1, 21, 5);
  r.Stats.LastDate = EncodeDateTime(2024, 3, 12, 21, 7);
  r.Stats.FirstNo = 1;
  r.Stats.LastNo = 70000;
  r.Stats.RatesInForce = {"23", "8", "5", "0", "mix", "99,99", "100"};
  r.Stats.RateClasses = {1, 1, 1, 4, 3, 0, 2};
  r.Currency.Name = "PLN";
  r.Currency.ChangeDate = EncodeDate(2024, 1, 1);
  r.HeaderTokens = {"#", "1", "2", "3", "4", "5"};
  r.ReceiptCount = "152";
  r.VoidValue = "12,5";
  r.Gross = {"100.00", "20.50", "", "", "", "", "3.10"};
  r.Rates = {"23.00", "8.00", "5.00", "0.00", "99,99", "99,99", "100"};
  r.CumVat[0] = "123456.78";
  r.ResetKind = "Zewnętrzne"_cp;
  r.GoodsChanged = "TAK";
  r.Number = "12";
  r.PrintoutNumber = "4711";
  r.DeviceText3 = std::string(300, 'x');
  r.GrossTotal = "123.60";
  r.Date = EncodeDateTime(2024, 3, 12, 21, 7);
  r.SpareTexts = {"a", "", "c", ""};
  r.MediumNo = 200;
  r.MediumClosedAt = EncodeDateTime(2024, 3, 12, 8, 0);
  r.TaxSchemes = {0, 1, 2, 3, 4, 0, -1};
  r.PricingCount = 3;
  r.VoidPricingCount = -200;
  r.FeesTotal = "7.50";
  return r;
}

// The byte offset where value 110 (the first of the second layout) begins.
std::size_t FirstLayoutLength(const RFMRecord& r) {
  RFMRecord copy = r;
  const std::string full = EncodeRecord(copy);
  // The tail of the third layout: 7 + 2 integers and one text, each integer in its smallest form.
  std::size_t tail = 1 + r.FeesTotal.size();
  auto intLen = [](int32_t v) -> std::size_t { return v >= -128 && v <= 127 ? 2 : (v >= -32768 && v <= 32767 ? 3 : 5); };
  for (int32_t s : r.TaxSchemes) tail += intLen(s);
  tail += intLen(r.PricingCount) + intLen(r.VoidPricingCount);
  return full.size() - tail;
}

}  // namespace

TEST(RecordFile, IntegersUseTheSmallestForm) {
  struct Case { int32_t value; std::string bytes; };
  const Case cases[] = {
      {6, std::string("\x02\x06", 2)},
      {-128, std::string("\x02\x80", 2)},
      {200, std::string("\x03\xC8\x00", 3)},
      {-32768, std::string("\x03\x00\x80", 3)},
      {70000, std::string("\x04\x70\x11\x01\x00", 5)},
  };
  for (const auto& c : cases) {
    RFMRecord r;
    r.MediumNo = c.value;
    const std::string bytes = EncodeRecord(r);
    // MediumNo is value 108: after it come the date of 109 (9 bytes) and the 10 values of the later layouts.
    const std::size_t end = bytes.size() - 9 - 7 * 2 - 2 * 2 - 1;
    EXPECT_EQ(bytes.substr(end - c.bytes.size(), c.bytes.size()), c.bytes) << c.value;
  }
  RFMRecord k;
  k.Kind = kKindRateChange;
  EXPECT_EQ(EncodeRecord(k).substr(0, 2), std::string("\x02\x06", 2));
}

TEST(RecordFile, EmptyTextIsOneZeroByteAndDatesAreTaggedDoubles) {
  RFMRecord r;
  const std::string bytes = EncodeRecord(r);
  // Kind, then FirstDate: tag 17 and eight zero bytes, then LastDate, FirstNo, LastNo, seven empty rates.
  EXPECT_EQ(bytes.substr(0, 2 + 9 + 9 + 2 + 2 + 7), std::string("\x02\x00\x11\0\0\0\0\0\0\0\0\x11\0\0\0\0\0\0\0\0\x02\0\x02\0\0\0\0\0\0\0\0", 31));
  EXPECT_EQ(bytes.size(), 6u * 9 + 13 * 2 + 100);  // 6 dates, 13 integers, 100 texts
}

TEST(RecordFile, WriteAndReadBackGivesTheSameRecord) {
  TTempDir dir;
  const RFMRecord written = SampleRecord();
  WriteRecordFile(dir / "0001.fmr", written);
  RFMRecord read;
  ReadRecordFile(dir / "0001.fmr", read);
  RFMRecord expected = written;
  expected.Stats.RateClasses = {};          // kept in memory only
  expected.DeviceText3.resize(255);         // texts are cut to 255 bytes
  EXPECT_EQ(read, expected);
  EXPECT_EQ(read.ResetKind, "Zewnętrzne"_cp);
}

TEST(RecordFile, OlderLayoutsLeaveTheLaterFieldsAsTheyWere) {
  const RFMRecord full = SampleRecord();
  const std::string bytes = EncodeRecord(full);
  const std::size_t first = FirstLayoutLength(full);
  const std::size_t second = first + 7 * 2;  // the seven schemes all fit in one byte

  RFMRecord before;
  before.TaxSchemes = {9, 9, 9, 9, 9, 9, 9};
  before.PricingCount = 77;
  before.VoidPricingCount = 78;
  before.FeesTotal = "kept";

  RFMRecord r1 = before;
  ReadRecordBytes(std::string_view(bytes).substr(0, first), r1);
  EXPECT_EQ(r1.TaxSchemes, before.TaxSchemes);
  EXPECT_EQ(r1.PricingCount, 77);
  EXPECT_EQ(r1.FeesTotal, "kept");
  EXPECT_EQ(r1.Number, "12");
  EXPECT_EQ(r1.MediumNo, 200);

  RFMRecord r2 = before;
  ReadRecordBytes(std::string_view(bytes).substr(0, second), r2);
  EXPECT_EQ(r2.TaxSchemes, full.TaxSchemes);
  EXPECT_EQ(r2.PricingCount, 77);
  EXPECT_EQ(r2.VoidPricingCount, 78);
  EXPECT_EQ(r2.FeesTotal, "kept");
}

TEST(RecordFile, DatesAlsoReadFromIntegerValues) {
  RFMRecord r;
  std::string bytes = EncodeRecord(r);
  // Replace FirstDate (tag 17 + 8 bytes) by tag 4 and 45000, LastDate by tag 19 and a 64-bit 45001.
  const std::string asInt32("\x04\xC8\xAF\x00\x00", 5);
  const std::string asInt64("\x13\xC9\xAF\x00\x00\x00\x00\x00\x00", 9);
  bytes = bytes.substr(0, 2) + asInt32 + asInt64 + bytes.substr(2 + 18);
  ReadRecordBytes(bytes, r);
  EXPECT_EQ(r.Stats.FirstDate, 45000.0);
  EXPECT_EQ(r.Stats.LastDate, 45001.0);
}

TEST(RecordFile, BrokenFilesRaiseAReadError) {
  const std::string good = EncodeRecord(SampleRecord());
  struct Case { const char* what; std::string bytes; };
  const Case cases[] = {
      {"empty", ""},
      {"wrong integer tag", std::string("\x05\x06", 2) + good.substr(2)},
      {"integer tag 19 is a date form only", std::string("\x13", 1) + std::string(8, '\0') + good.substr(2)},
      {"ends inside a date", good.substr(0, 6)},
      {"ends inside a text", good.substr(0, 2 + 18 + 4 + 1 + 1)},
      {"garbage", std::string(500, '\xFF')},
  };
  for (const auto& c : cases) {
    RFMRecord r;
    EXPECT_THROW(ReadRecordBytes(c.bytes, r, "0001.fmr"), EReadError) << c.what;
  }
  TTempDir dir;
  RFMRecord r;
  EXPECT_THROW(ReadRecordFile(dir / "missing.fmr", r), EFileError);
}

TEST(RecordFile, FileNamesAreFourDigits) {
  EXPECT_EQ(RecordFileName(1), "0001.fmr");
  EXPECT_EQ(RecordFileName(2143), "2143.fmr");
}
