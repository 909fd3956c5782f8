// The marker characters a device prints at fixed places of its electronic-copy lines, and the
// small readers shared by the printout scanner and the receipt model.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include "base/Cp1250.h"
#include "base/DateTime.h"

namespace quorvel::markers {

inline constexpr char kReceipt = '\xA4';        // "¤" opens a receipt
inline constexpr char kPharmacy = '\x1F';       // opens a pharmacy receipt
inline constexpr std::string_view kInvoice = "F A K T U R A   V A T";
inline constexpr std::string_view kUniqueNo = " \xBB";  // " »" the closing section
inline constexpr char kClose = '\x87';          // "‡"
inline constexpr char kNoBreakSpace = '\xA0';   // ends an item's name
inline constexpr char kVatSymbol = '\xA8';      // "¨"
inline constexpr char kVatTotal = '\xB4';       // "´"
inline constexpr std::string_view kVatTotalText = "SUMA PTU";
inline constexpr char kTotals1 = '\x85';        // "…"
inline constexpr char kTotals2 = '\xAA';        // "Ş"
inline constexpr char kTotal = '\xB7';          // "·"
inline constexpr char kControlNo = '\xAC';      // "¬"
inline constexpr char kTime = '\xA1';           // "ˇ"
inline constexpr char kDocNoEnd = '\xA6';       // "¦"
inline constexpr std::string_view kIssueDate = "Data wystawienia:";
inline constexpr std::string_view kSaleDate = "Data sprzeda\xBFy  :";  // two blanks before the colon

// Only lines longer than this are looked at for markers.
inline constexpr std::size_t kMinMarkedLine = 10;

// A marker counts from the second character of a line on; npos when it does not occur there.
inline std::size_t FindFrom2(std::string_view line, char marker) {
  return line.size() < 2 ? std::string_view::npos : line.find(marker, 1);
}
inline std::size_t FindFrom2(std::string_view line, std::string_view marker) {
  if (line.size() < 2) return std::string_view::npos;
  // Keyed on the marker's first non-blank character: blanks fill most of a printout line, and a
  // search keyed on a leading blank would stop at every one of them.
  const std::size_t k = marker.find_first_not_of(' ');
  if (k == std::string_view::npos) return line.find(marker, 1);
  const char key = marker[k];
  for (std::size_t at = 1 + k; at < line.size();) {
    const void* hit = std::memchr(line.data() + at, key, line.size() - at);
    if (!hit) break;
    const auto pos = static_cast<std::size_t>(static_cast<const char*>(hit) - line.data());
    const std::size_t start = pos - k;
    if (marker.size() > line.size() - start) break;
    if (std::memcmp(line.data() + start, marker.data(), marker.size()) == 0) return start;
    at = pos + 1;
  }
  return std::string_view::npos;
}
inline bool HasFrom2(std::string_view line, char marker) { return FindFrom2(line, marker) != std::string_view::npos; }
inline bool HasFrom2(std::string_view line, std::string_view marker) {
  return FindFrom2(line, marker) != std::string_view::npos;
}

// The VAT symbol on a line that carries "¨" at 0-based index `f`: the word that ends three
// characters before the marker (from the character after the last blank before it); when that
// word is empty, the last character of the line.
std::string_view VatSymbolBefore(std::string_view line, std::size_t f);

// The run of digits at the end of the trimmed line (empty when there is none).
std::string_view TrailingDigits(std::string_view line);

// "hh:mm" at the start of `text` (trimmed) as a time of day; raises EConvertError
// "Zły format czasu" when the text holds no such time.
TDateTime ParsePrintoutTime(std::string_view text);

// "dd-mm-yyyy" at the start of the trimmed text; 0 when it is not such a date.
TDateTime ParseLeadingDmy(std::string_view text);

}  // namespace quorvel::markers
