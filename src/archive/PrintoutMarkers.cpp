#include "archive/PrintoutMarkers.h"

#include "base/Errors.h"
#include "base/TextUtils.h"

namespace quorvel::markers {

std::string_view VatSymbolBefore(std::string_view line, std::size_t f) {
  // The word ends at the 1-based position f - 3, i.e. just before the 0-based index f - 2.
  std::string_view head = f >= 2 ? line.substr(0, f - 2) : std::string_view{};
  const std::size_t blank = head.rfind(' ');
  std::string_view word = blank == std::string_view::npos ? head : head.substr(blank + 1);
  if (word.empty() && !line.empty()) return line.substr(line.size() - 1);
  return word;
}

std::string_view TrailingDigits(std::string_view line) {
  const std::string_view t = TrimView(line);
  std::size_t i = t.size();
  while (i > 0 && t[i - 1] >= '0' && t[i - 1] <= '9') --i;
  return t.substr(i);
}

TDateTime ParsePrintoutTime(std::string_view text) {
  const std::string_view t = TrimView(text);
  const std::size_t colon = t.find(':');
  auto fail = [] { return EConvertError(std::string("Zły format czasu"_cp)); };
  if (colon == std::string_view::npos || colon == 0 || colon > 2 || colon + 3 > t.size()) throw fail();
  int32_t hour = 0, minute = 0;
  if (!TryStrToInt(t.substr(0, colon), hour) || !TryStrToInt(t.substr(colon + 1, 2), minute)) throw fail();
  TDateTime time = 0;
  if (t[0] == '-' || t[0] == '+' || t[colon + 1] == '-' || t[colon + 1] == '+' ||
      !TryEncodeTime(hour, minute, 0, 0, time))
    throw fail();
  return time;
}

TDateTime ParseLeadingDmy(std::string_view text) {
  TDateTime d = 0;
  const std::string_view t = TrimView(text);
  if (t.size() < 10 || !TryParseDmy(t.substr(0, 10), d)) return 0;
  return d;
}

}  // namespace quorvel::markers
