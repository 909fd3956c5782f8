// Small records for the report tests.
#pragma once

#include <string>
#include <vector>

#include "archive/uDailyRecord.h"
#include "base/DateTime.h"
#include "reports/uDailyReportFormatter.h"

namespace quorvel::test {

// A daily report with one taxable slot A at 23%: gross `grossA` (two-decimal text).
inline RFMRecord Daily(int number, TDateTime date, const std::string& grossA = "12.30",
                       const std::string& vat = "2.30", const std::string& receipts = "3") {
  RFMRecord r;
  r.Kind = kKindDaily;
  r.Number = std::to_string(number);
  r.Date = date;
  for (auto& rate : r.Rates) rate = "99,99";
  r.Rates[0] = "23";
  r.Gross[0] = grossA;
  r.VatTotal = vat;
  r.GrossTotal = grossA;
  r.ReceiptCount = receipts;
  return r;
}

inline RFMRecord RateChange(TDateTime date, const std::string& rateA, const std::string& inForceA = "99,99",
                            uint8_t classA = 0) {
  RFMRecord r;
  r.Kind = kKindRateChange;
  r.Date = date;
  for (int s = 0; s < kRateSlots; ++s) {
    r.Rates[s] = "99,99";
    r.Stats.RatesInForce[s] = "99,99";
  }
  r.Rates[0] = rateA;
  r.Stats.RatesInForce[0] = inForceA;
  r.Stats.RateClasses[0] = classA;
  TDailyReportFormatter::ApplyRateChange(r);
  return r;
}

inline RFMRecord RamReset(TDateTime date, const std::string& no, const std::string& kind = "1") {
  RFMRecord r;
  r.Kind = kKindRamReset;
  r.Date = date;
  r.ResetNo = no;
  r.ResetKind = kind;
  return r;
}

inline RFMRecord CurrencyChange(TDateTime date, const std::string& name) {
  RFMRecord r;
  r.Kind = kKindCurrencyChange;
  r.Date = date;
  r.Currency.ChangeDate = date;
  r.Currency.Name = name;
  return r;
}

inline TDateTime Day(int d, int hour = 20) { return EncodeDateTime(2024, 3, d, hour, 0); }

// Lines as UTF-8 for readable failure output.
inline std::vector<std::string> Utf8Lines(const TStringList& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(Cp1250ToUtf8(l));
  return out;
}

inline std::string Joined(const TStringList& lines) {
  std::string out;
  for (const auto& l : lines) out += Cp1250ToUtf8(l) + "\n";
  return out;
}

inline int CountOccurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

}  // namespace quorvel::test
