// Small text helpers over Windows-1250 byte strings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Cp1250.h"

namespace quorvel {

// Trimming removes the bytes 0x00 to 0x20 (blanks and control characters) at the ends.
std::string_view TrimView(std::string_view s);
std::string_view TrimLeftView(std::string_view s);
std::string_view TrimRightView(std::string_view s);
inline AnsiString Trim(std::string_view s) { return AnsiString(TrimView(s)); }
inline AnsiString TrimLeft(std::string_view s) { return AnsiString(TrimLeftView(s)); }
inline AnsiString TrimRight(std::string_view s) { return AnsiString(TrimRightView(s)); }

// Strict integer conversion: an optional sign and decimal digits only, nothing else, in range.
bool TryStrToInt(std::string_view s, int32_t& value);
bool TryStrToInt64(std::string_view s, int64_t& value);
// The same, raising EConvertError with a Polish message when the text does not convert.
int32_t StrToInt(std::string_view s);
// The same, giving `def` when the text does not convert.
int32_t StrToIntDef(std::string_view s, int32_t def);

// Windows-1250 case mapping (Polish and the other Central European letters included).
unsigned char AnsiUpperChar(unsigned char c);
unsigned char AnsiLowerChar(unsigned char c);
AnsiString AnsiUpperCase(std::string_view s);
AnsiString AnsiLowerCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);
// <0, 0, >0 comparing without regard to letter case.
int CompareText(std::string_view a, std::string_view b);

// printf-style formatting into a std::string ("%4.4d" and friends).
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Pads with blanks on the right (left-aligned) or on the left (right-aligned) to `width`.
AnsiString PadRight(std::string_view s, std::size_t width, char fill = ' ');
AnsiString PadLeft(std::string_view s, std::size_t width, char fill = ' ');

// Splits text into lines at CR LF, LF or CR; the line ends are not kept.
std::vector<std::string_view> SplitLines(std::string_view text);

// A tokenizer with one remembered remainder, as the device replies are taken apart:
// Next(source, sep) makes `source` the remainder first; Next(sep) continues on it.
// The result is the text before the first `sep` (which may be several characters); the
// remainder becomes the text after it, or empty when `sep` does not occur.
class TTokenizer {
 public:
  AnsiString Next(std::string_view source, std::string_view separator);
  AnsiString Next(std::string_view separator);
  const AnsiString& Remainder() const { return remainder_; }

 private:
  AnsiString remainder_;
};

// The program-wide tokenizer: one remainder shared by every caller, on the one thread that
// talks to devices.
AnsiString NextToken(std::string_view source, std::string_view separator);
AnsiString NextToken(std::string_view separator);
TTokenizer& SharedTokenizer();

}  // namespace quorvel
