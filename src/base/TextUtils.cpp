#include "base/TextUtils.h"

#include <cstdarg>
#include <cstdio>
#include <limits>

#include "base/Errors.h"

namespace quorvel {

std::string_view TrimLeftView(std::string_view s) {
  std::size_t b = 0;
  while (b < s.size() && static_cast<unsigned char>(s[b]) <= 0x20) ++b;
  return s.substr(b);
}

std::string_view TrimRightView(std::string_view s) {
  std::size_t e = s.size();
  while (e > 0 && static_cast<unsigned char>(s[e - 1]) <= 0x20) --e;
  return s.substr(0, e);
}

std::string_view TrimView(std::string_view s) { return TrimRightView(TrimLeftView(s)); }

bool TryStrToInt64(std::string_view s, int64_t& value) {
  if (s.empty()) return false;
  std::size_t i = 0;
  bool negative = false;
  if (s[0] == '+' || s[0] == '-') {
    negative = s[0] == '-';
    i = 1;
  }
  if (i == s.size()) return false;
  // Accumulate as a negative number so that the smallest value fits too.
  int64_t acc = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c < '0' || c > '9') return false;
    const int d = c - '0';
    if (acc < (std::numeric_limits<int64_t>::min() + d) / 10) return false;
    acc = acc * 10 - d;
  }
  if (!negative) {
    if (acc == std::numeric_limits<int64_t>::min()) return false;
    acc = -acc;
  }
  value = acc;
  return true;
}

bool TryStrToInt(std::string_view s, int32_t& value) {
  int64_t v = 0;
  if (!TryStrToInt64(s, v)) return false;
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) return false;
  value = static_cast<int32_t>(v);
  return true;
}

int32_t StrToInt(std::string_view s) {
  int32_t v = 0;
  if (!TryStrToInt(s, v))
    throw EConvertError("'" + AnsiString(s) + "' nie jest poprawn\xB9 liczb\xB9 ca\xB3kowit\xB9");
  return v;
}

int32_t StrToIntDef(std::string_view s, int32_t def) {
  int32_t v = 0;
  return TryStrToInt(s, v) ? v : def;
}

unsigned char AnsiUpperChar(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  switch (c) {
    case 0x9A: case 0x9C: case 0x9D: case 0x9E: case 0x9F: return static_cast<unsigned char>(c - 0x10);
    case 0xB3: return 0xA3;
    case 0xB9: return 0xA5;
    case 0xBA: return 0xAA;
    case 0xBE: return 0xBC;
    case 0xBF: return 0xAF;
    default: break;
  }
  if (c >= 0xE0 && c != 0xF7 && c != 0xFF) return static_cast<unsigned char>(c - 0x20);
  return c;
}

unsigned char AnsiLowerChar(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  switch (c) {
    case 0x8A: case 0x8C: case 0x8D: case 0x8E: case 0x8F: return static_cast<unsigned char>(c + 0x10);
    case 0xA3: return 0xB3;
    case 0xA5: return 0xB9;
    case 0xAA: return 0xBA;
    case 0xBC: return 0xBE;
    case 0xAF: return 0xBF;
    default: break;
  }
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 0x20);
  return c;
}

AnsiString AnsiUpperCase(std::string_view s) {
  AnsiString r(s);
  for (char& c : r) c = static_cast<char>(AnsiUpperChar(static_cast<unsigned char>(c)));
  return r;
}

AnsiString AnsiLowerCase(std::string_view s) {
  AnsiString r(s);
  for (char& c : r) c = static_cast<char>(AnsiLowerChar(static_cast<unsigned char>(c)));
  return r;
}

int CompareText(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int ca = AnsiUpperChar(static_cast<unsigned char>(a[i]));
    const int cb = AnsiUpperChar(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca - cb;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

std::string Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), fmt, args);
    out.resize(static_cast<std::size_t>(n));
  }
  va_end(args);
  return out;
}

AnsiString PadRight(std::string_view s, std::size_t width, char fill) {
  AnsiString r(s);
  if (r.size() < width) r.append(width - r.size(), fill);
  return r;
}

AnsiString PadLeft(std::string_view s, std::size_t width, char fill) {
  if (s.size() >= width) return AnsiString(s);
  return AnsiString(width - s.size(), fill) + AnsiString(s);
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.push_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

AnsiString TTokenizer::Next(std::string_view source, std::string_view separator) {
  remainder_.assign(source);
  return Next(separator);
}

AnsiString TTokenizer::Next(std::string_view separator) {
  const std::size_t pos = separator.empty() ? AnsiString::npos : remainder_.find(separator);
  AnsiString result;
  if (pos == AnsiString::npos) {
    result.swap(remainder_);
    remainder_.clear();
  } else {
    result = remainder_.substr(0, pos);
    remainder_.erase(0, pos + separator.size());
  }
  return result;
}

TTokenizer& SharedTokenizer() {
  static TTokenizer tokenizer;
  return tokenizer;
}

AnsiString NextToken(std::string_view source, std::string_view separator) {
  return SharedTokenizer().Next(source, separator);
}

AnsiString NextToken(std::string_view separator) { return SharedTokenizer().Next(separator); }

}  // namespace quorvel
