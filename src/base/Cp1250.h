// Windows-1250 text: the one encoding of device texts, electronic-copy files and reports.
// Inside the core every text is a byte string with one byte per character, exactly as the
// device wrote it; conversions happen only at the edges (terminal, XML, windows, devices).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace quorvel {

// A Windows-1250 byte string.
using AnsiString = std::string;

namespace cp1250_detail {

// Unicode code points of the bytes 0x80..0xFF; 0 marks the five bytes the code page leaves unassigned.
inline constexpr std::array<char16_t, 128> kHighHalf = {
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021,
    0,      0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0,      0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

// The byte of a code point, or -1 when Windows-1250 has none.
constexpr int FromUnicode(char32_t cp) {
  if (cp < 0x80) return static_cast<int>(cp);
  for (std::size_t i = 0; i < kHighHalf.size(); ++i)
    if (kHighHalf[i] != 0 && kHighHalf[i] == cp) return static_cast<int>(0x80 + i);
  // The unassigned bytes travel as the C1 controls of the same value, so every byte survives a round trip.
  if (cp == 0x81 || cp == 0x83 || cp == 0x88 || cp == 0x90 || cp == 0x98) return static_cast<int>(cp);
  return -1;
}

template <std::size_t N>
struct Utf8Literal {
  char text[N]{};
  consteval Utf8Literal(const char (&s)[N]) {
    for (std::size_t i = 0; i < N; ++i) text[i] = s[i];
  }
};

template <std::size_t N>
struct CpBytes {
  char bytes[N]{};
  std::size_t size = 0;
};

template <std::size_t N>
consteval CpBytes<N> Convert(const Utf8Literal<N>& in) {
  CpBytes<N> out;
  std::size_t i = 0;
  const std::size_t len = N - 1;  // without the terminating zero
  while (i < len) {
    const auto b0 = static_cast<unsigned char>(in.text[i]);
    char32_t cp = 0;
    std::size_t extra = 0;
    if (b0 < 0x80) { cp = b0; }
    else if ((b0 & 0xE0) == 0xC0) { cp = b0 & 0x1F; extra = 1; }
    else if ((b0 & 0xF0) == 0xE0) { cp = b0 & 0x0F; extra = 2; }
    else if ((b0 & 0xF8) == 0xF0) { cp = b0 & 0x07; extra = 3; }
    else throw "invalid UTF-8 in a _cp literal";
    for (std::size_t k = 1; k <= extra; ++k) {
      if (i + k >= len) throw "truncated UTF-8 in a _cp literal";
      const auto bk = static_cast<unsigned char>(in.text[i + k]);
      if ((bk & 0xC0) != 0x80) throw "invalid UTF-8 in a _cp literal";
      cp = (cp << 6) | (bk & 0x3F);
    }
    const int b = FromUnicode(cp);
    if (b < 0) throw "character without a Windows-1250 byte in a _cp literal";
    out.bytes[out.size++] = static_cast<char>(b);
    i += extra + 1;
  }
  out.bytes[out.size] = 0;
  return out;
}

template <Utf8Literal S>
inline constexpr auto kStorage = Convert(S);

}  // namespace cp1250_detail

inline namespace literals {
// "Należność:"_cp is the Windows-1250 form of a UTF-8 source literal, made at compile time.
template <cp1250_detail::Utf8Literal S>
consteval std::string_view operator""_cp() {
  return {cp1250_detail::kStorage<S>.bytes, cp1250_detail::kStorage<S>.size};
}
}  // namespace literals

// Joining texts with the string views that _cp literals give (the standard library has no
// such operator+ before C++26).
inline std::string operator+(const std::string& a, std::string_view b) {
  std::string r;
  r.reserve(a.size() + b.size());
  r.append(a).append(b);
  return r;
}
inline std::string operator+(std::string&& a, std::string_view b) { return std::move(a.append(b)); }
inline std::string operator+(std::string_view a, const std::string& b) {
  std::string r;
  r.reserve(a.size() + b.size());
  r.append(a).append(b);
  return r;
}
inline std::string operator+(std::string_view a, std::string_view b) {
  std::string r;
  r.reserve(a.size() + b.size());
  r.append(a).append(b);
  return r;
}
inline std::string operator+(std::string_view a, const char* b) { return a + std::string_view(b); }
inline std::string operator+(const char* a, std::string_view b) { return std::string_view(a) + b; }

// Unicode code point of one Windows-1250 byte.
char32_t Cp1250ToUnicode(unsigned char byte);
// Windows-1250 byte of a code point, or -1.
int UnicodeToCp1250(char32_t cp);

// Windows-1250 bytes to UTF-8.
std::string Cp1250ToUtf8(std::string_view text);
// UTF-8 to Windows-1250; characters the code page lacks (and broken UTF-8) become `replacement`.
AnsiString Utf8ToCp1250(std::string_view utf8, char replacement = '?');

// Unicode code point of one byte of code page 852 (the registers' names).
char32_t Cp852ToUnicode(unsigned char byte);
// Code page 852 bytes to Windows-1250; characters Windows-1250 lacks (box drawing) become `replacement`.
AnsiString Cp852ToCp1250(std::string_view text, char replacement = '?');

// Appends the UTF-8 form of a code point.
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace quorvel
