// Building blocks of the generated printouts: fixed-width lines, amounts, the deterministic
// random source and the goods the simulated shop sells.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace quorvel::sim {

inline constexpr int kSlots = 7;          // VAT slots A..G
inline constexpr int kRateInactive = -1;  // slot not in use
inline constexpr int kRateExempt = -2;    // "SP.ZW.PTU"

// A rate in hundredths of a percent (2300 = 23.00%), or one of the two markers above.
struct TRateSet {
  int Rate[kSlots];
};

inline bool IsTaxable(int rate) { return rate > 0; }
inline bool IsActive(int rate) { return rate != kRateInactive; }

// The random source: std::mt19937_64 gives the same sequence everywhere; the distributions are
// our own, since the standard ones may differ between libraries.
class TRandom {
 public:
  explicit TRandom(uint64_t seed) : engine_(seed) {}
  uint64_t Next() { return engine_(); }
  // 0 .. n-1 (n > 0).
  int Below(int n) { return static_cast<int>(engine_() % static_cast<uint64_t>(n)); }
  // lo .. hi inclusive.
  int Between(int lo, int hi) { return lo + Below(hi - lo + 1); }
  bool Chance(int num, int den) { return Below(den) < num; }

 private:
  std::mt19937_64 engine_;
};

// Line of `width` characters: the label, then the value right-aligned; joined without a blank when
// they do not fit (as the device prints an over-long pair).
void AppendLabelValue(std::string& out, std::string_view label, std::string_view value, int width);
// The text centred in `width` and padded with blanks on both sides to exactly `width`.
void AppendCentred(std::string& out, std::string_view text, int width);
// The text right-aligned in `width`.
void AppendRight(std::string& out, std::string_view text, int width);
// The text padded on the right to `width`.
void AppendLeft(std::string& out, std::string_view text, int width);
// `width` copies of `c`.
void AppendRepeat(std::string& out, char c, int width);
inline void AppendEol(std::string& out) { out.append("\r\n", 2); }

// Cents as text with two decimals and the given separator: 1234 -> "12,34" or "12.34".
std::string CentsText(int64_t cents, char separator);
// A rate as "23.00" (hundredths of a percent).
std::string RateText(int rate);
// Half-to-even split of a gross amount into net and VAT (cents), the device's rounding.
void SplitGross(int64_t gross, int rate, int64_t& net, int64_t& vat);

struct TGood {
  std::string_view Name;  // Windows-1250
  int64_t Price;          // cents, in PLN
  int Slot;               // 0..6 (A..G)
  bool Weighed;           // sold by weight (quantity with three decimals)
};

// The shop's goods.
const TGood* Goods(std::size_t& count);

struct TShop {
  std::string_view Name, Address, Nip;
};
const TShop& ShopFor(uint64_t seed);

}  // namespace quorvel::sim
