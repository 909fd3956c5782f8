// Fixed-point amounts: a signed 64-bit count of ten-thousandths, as fiscal sums are added up.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

struct TAmount {
  int64_t Value = 0;  // ten-thousandths

  static constexpr int64_t kScale = 10000;
  static constexpr TAmount FromUnits(int64_t units) { return {units * kScale}; }
  static constexpr TAmount FromCents(int64_t cents) { return {cents * 100}; }

  constexpr TAmount operator+(TAmount o) const { return {Value + o.Value}; }
  constexpr TAmount operator-(TAmount o) const { return {Value - o.Value}; }
  constexpr TAmount operator-() const { return {-Value}; }
  constexpr TAmount& operator+=(TAmount o) { Value += o.Value; return *this; }
  constexpr TAmount& operator-=(TAmount o) { Value -= o.Value; return *this; }
  constexpr auto operator<=>(const TAmount&) const = default;
  constexpr bool IsZero() const { return Value == 0; }
};

enum class TRounding { HalfAwayFromZero, HalfEven };

// Parses an amount text: optional sign, digits, and "." or "," before up to four decimals
// (further decimals are rounded half to even); blanks around are ignored. Empty fails.
bool TryParseAmount(std::string_view text, TAmount& out);
// The same, giving `def` for an empty or malformed text (amount texts that are not present add 0).
TAmount AmountOf(std::string_view text, TAmount def = {});

// Rounds to whole cents (a multiple of 100 ten-thousandths).
TAmount RoundToCents(TAmount a, TRounding mode = TRounding::HalfAwayFromZero);
// Two decimals with ".": 12.50, -0.05. The four decimals are rounded half away from zero.
std::string AmountToStr2(TAmount a);
// The Polish currency-to-text form: "," and no trailing zeros (12,5; 100; 0,0001).
std::string CurrToStr(TAmount a);

// A real number in the Polish text form ("," separator, up to 15 significant digits).
std::string FloatToStr(double v);
// Accepts "," or "." as the decimal separator; blanks around are ignored.
bool TryStrToFloat(std::string_view text, double& out);

}  // namespace quorvel
