#include "base/Amount.h"

#include <cmath>
#include <cstdio>
#include <charconv>
#include <limits>

#include "base/TextUtils.h"

namespace quorvel {

bool TryParseAmount(std::string_view text, TAmount& out) {
  text = TrimView(text);
  if (text.empty()) return false;
  std::size_t i = 0;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    ++i;
  }
  int64_t units = 0;
  std::size_t intDigits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++intDigits) {
    if (units > (std::numeric_limits<int64_t>::max() / TAmount::kScale - 9) / 10) return false;
    units = units * 10 + (text[i] - '0');
  }
  int64_t frac = 0;
  std::size_t fracDigits = 0;
  int64_t restFirst = -1;  // first digit past the fourth decimal
  bool restNonZero = false;
  if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
    ++i;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++fracDigits) {
      const int d = text[i] - '0';
      if (fracDigits < 4) frac = frac * 10 + d;
      else if (fracDigits == 4) restFirst = d;
      else if (d != 0) restNonZero = true;
    }
  }
  if (i != text.size() || (intDigits == 0 && fracDigits == 0)) return false;
  for (std::size_t k = fracDigits; k < 4; ++k) frac *= 10;
  int64_t value = units * TAmount::kScale + frac;
  if (restFirst > 5 || (restFirst == 5 && (restNonZero || (value & 1)))) ++value;
  out.Value = negative ? -value : value;
  return true;
}

TAmount AmountOf(std::string_view text, TAmount def) {
  TAmount a;
  return TryParseAmount(text, a) ? a : def;
}

TAmount RoundToCents(TAmount a, TRounding mode) {
  const int64_t v = a.Value < 0 ? -a.Value : a.Value;
  int64_t cents = v / 100;
  const int64_t rest = v % 100;
  if (rest > 50 || (rest == 50 && (mode == TRounding::HalfAwayFromZero || (cents & 1)))) ++cents;
  return {a.Value < 0 ? -cents * 100 : cents * 100};
}

std::string AmountToStr2(TAmount a) {
  const int64_t r = RoundToCents(a).Value;
  const int64_t v = r < 0 ? -r : r;
  return Format("%s%lld.%02lld", r < 0 ? "-" : "", static_cast<long long>(v / TAmount::kScale),
                static_cast<long long>((v % TAmount::kScale) / 100));
}

std::string CurrToStr(TAmount a) {
  const int64_t v = a.Value < 0 ? -a.Value : a.Value;
  std::string out = Format("%s%lld", a.Value < 0 ? "-" : "", static_cast<long long>(v / TAmount::kScale));
  int64_t frac = v % TAmount::kScale;
  if (frac != 0) {
    std::string digits = Format("%04lld", static_cast<long long>(frac));
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    out += ',' + digits;
  }
  return out;
}

// to_chars and from_chars ignore the process locale, which the windows set from the host.
std::string FloatToStr(double v) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
  std::string s(buf, res.ptr);
  for (char& c : s)
    if (c == '.') c = ',';
  return s;
}

bool TryStrToFloat(std::string_view text, double& out) {
  std::string s(TrimView(text));
  if (s.empty()) return false;
  for (char& c : s) {
    if (c == ',') c = '.';
    else if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return false;
  }
  const char* first = s.c_str();
  if (*first == '+') ++first;
  double v = 0;
  const auto res = std::from_chars(first, s.c_str() + s.size(), v);
  if (res.ec != std::errc() || res.ptr != s.c_str() + s.size() || !std::isfinite(v)) return false;
  out = v;
  return true;
}

}  // namespace quorvel
