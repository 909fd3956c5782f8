// The totals of one currency period of the periodic report.
#pragma once

#include <array>
#include <cstdint>

#include "archive/uDailyRecord.h"
#include "base/Amount.h"

namespace quorvel {

// The period's sums live in the fields of an RFMRecord as texts, the way the report reads them
// back; only the flat-rate sums of the taxi version have fields of their own.
class TSummary {
 public:
  int32_t DailyReports = 0;
  RFMRecord Totals;
  std::array<TAmount, kRateSlots> FlatNet{};
  std::array<TAmount, kRateSlots> FlatVat{};
  std::array<bool, kRateSlots> FlatWithVat{};
  std::array<bool, kRateSlots> FlatOnly{};

  // The accumulators are re-read before every addition; empty or unreadable counts 0.
  // Amounts are kept in the currency-to-text form (12,5) or the two-decimal form (12.50).
  static void AddLocale(AnsiString& sum, TAmount value);
  static void AddTwoDecimal(AnsiString& sum, TAmount value);
  static void AddCount(AnsiString& sum, int64_t value);
};

}  // namespace quorvel
