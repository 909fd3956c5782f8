#include "base/DateTime.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "base/Errors.h"
#include "base/TextUtils.h"

namespace quorvel {

namespace {

constexpr long long kMsPerDay = 86400000LL;
// 30 December 1899 counted in days from 1 January 1970.
constexpr long long kEpochShift = -25569;

long long DaysFromCivil(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long yy = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

std::optional<TDateTime>& FixedNow() {
  static std::optional<TDateTime> fixed;
  return fixed;
}

bool DigitsAt(std::string_view text, std::size_t pos, std::size_t len, int& out) {
  if (text.size() < pos + len) return false;
  int32_t v = 0;
  if (!TryStrToInt(text.substr(pos, len), v)) return false;
  out = v;
  return true;
}

}  // namespace

bool IsValidDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int max = kDays[month - 1];
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && leap) max = 29;
  return day <= max;
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
  if (!IsValidDate(year, month, day)) return false;
  out = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpochShift);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int ms, TDateTime& out) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || ms < 0 || ms > 999)
    return false;
  out = static_cast<double>(((hour * 60LL + minute) * 60 + second) * 1000 + ms) / kMsPerDay;
  return true;
}

bool TryEncodeDateTime(const TDateParts& p, TDateTime& out) {
  TDateTime d = 0, t = 0;
  if (!TryEncodeDate(p.Year, p.Month, p.Day, d) || !TryEncodeTime(p.Hour, p.Minute, p.Second, p.Millisecond, t))
    return false;
  out = d + t;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime out = 0;
  if (!TryEncodeDate(year, month, day, out)) throw EConvertError("Niepoprawna data");
  return out;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second) {
  TDateTime out = 0;
  if (!TryEncodeDateTime({year, month, day, hour, minute, second, 0}, out)) throw EConvertError("Niepoprawna data");
  return out;
}

TDateParts DecodeDateTime(TDateTime value) {
  TDateParts p;
  const long long total = std::llround(value * static_cast<double>(kMsPerDay));
  long long days = total / kMsPerDay;
  long long ms = total % kMsPerDay;
  if (ms < 0) {  // before the epoch the time of day still counts forward
    ms = -ms;
  }
  CivilFromDays(days + kEpochShift, p.Year, p.Month, p.Day);
  p.Millisecond = static_cast<int>(ms % 1000);
  ms /= 1000;
  p.Second = static_cast<int>(ms % 60);
  ms /= 60;
  p.Minute = static_cast<int>(ms % 60);
  p.Hour = static_cast<int>(ms / 60);
  return p;
}

TDateTime TimeOf(TDateTime v) {
  const TDateParts p = DecodeDateTime(v);
  TDateTime t = 0;
  TryEncodeTime(p.Hour, p.Minute, p.Second, p.Millisecond, t);
  return t;
}

std::string FormatDateTime(std::string_view pattern, TDateTime value) {
  const TDateParts p = DecodeDateTime(value);
  std::string out;
  bool lastWasHour = false;
  std::size_t i = 0;
  auto run = [&](char c) {
    std::size_t n = 0;
    while (i + n < pattern.size() && (pattern[i + n] == c || pattern[i + n] == c - 32 || pattern[i + n] == c + 32)) ++n;
    return n;
  };
  while (i < pattern.size()) {
    const char c = pattern[i];
    const char lc = static_cast<char>((c >= 'A' && c <= 'Z') ? c + 32 : c);
    if (c == '"' || c == '\'') {
      const std::size_t end = pattern.find(c, i + 1);
      const std::size_t stop = end == std::string_view::npos ? pattern.size() : end;
      out.append(pattern.substr(i + 1, stop - i - 1));
      i = stop + 1;
      continue;
    }
    std::size_t n = 0;
    switch (lc) {
      case 'd': n = run('d'); out += n >= 2 ? Format("%02d", p.Day) : Format("%d", p.Day); break;
      case 'y': n = run('y'); out += n >= 3 ? Format("%04d", p.Year) : Format("%02d", p.Year % 100); break;
      case 'h': n = run('h'); out += n >= 2 ? Format("%02d", p.Hour) : Format("%d", p.Hour); break;
      case 'n': n = run('n'); out += n >= 2 ? Format("%02d", p.Minute) : Format("%d", p.Minute); break;
      case 's': n = run('s'); out += n >= 2 ? Format("%02d", p.Second) : Format("%d", p.Second); break;
      case 'z': n = run('z'); out += n >= 3 ? Format("%03d", p.Millisecond) : Format("%d", p.Millisecond); break;
      case 'm': {
        n = run('m');
        const int v = lastWasHour ? p.Minute : p.Month;
        out += n >= 2 ? Format("%02d", v) : Format("%d", v);
        break;
      }
      default: out += c; i += 1; continue;
    }
    lastWasHour = lc == 'h';
    i += n;
  }
  return out;
}

std::string FormatDmy(TDateTime v) { return FormatDateTime("dd-mm-yyyy", v); }
std::string FormatDmyHm(TDateTime v) { return FormatDateTime("dd-mm-yyyy hh:nn", v); }
std::string FormatYyMmDd(TDateTime v) { return FormatDateTime("yymmdd", v); }
std::string FormatIso(TDateTime v) { return v == 0 ? std::string() : FormatDateTime("yyyy-mm-dd\"T\"hh:nn:ss", v); }
std::string ShortDateStr(TDateTime v) { return FormatDateTime("dd.mm.yyyy", v); }
std::string TimeStr(TDateTime v) { return FormatDateTime("hh:nn:ss", v); }
std::string DateTimeStr(TDateTime v) {
  const TDateParts p = DecodeDateTime(v);
  if (p.Hour == 0 && p.Minute == 0 && p.Second == 0) return ShortDateStr(v);
  return ShortDateStr(v) + " " + TimeStr(v);
}

bool TryParseDmyHm(std::string_view text, TDateTime& out) {
  TDateParts p;
  if (!DigitsAt(text, 0, 2, p.Day) || !DigitsAt(text, 3, 2, p.Month) || !DigitsAt(text, 6, 4, p.Year) ||
      !DigitsAt(text, 11, 2, p.Hour) || !DigitsAt(text, 14, 2, p.Minute))
    return false;
  return TryEncodeDateTime(p, out);
}

TDateTime ParseDmyHmLenient(std::string_view text) {
  TDateParts p;
  if (!DigitsAt(text, 0, 2, p.Day) || !DigitsAt(text, 3, 2, p.Month) || !DigitsAt(text, 6, 4, p.Year) ||
      !DigitsAt(text, 11, 2, p.Hour) || !DigitsAt(text, 14, 2, p.Minute))
    return 0;
  if (p.Day == 0 && p.Month == 0 && p.Year == 0 && p.Hour == 0 && p.Minute == 0) return 0;
  TDateTime v = 0;
  return TryEncodeDateTime(p, v) ? v : 0;
}

bool TryParseDmy(std::string_view text, TDateTime& out) {
  int d = 0, m = 0, y = 0;
  if (!DigitsAt(text, 0, 2, d) || !DigitsAt(text, 3, 2, m) || !DigitsAt(text, 6, 4, y)) return false;
  return TryEncodeDate(y, m, d, out);
}

bool TryParseShortDate(std::string_view text, TDateTime& out) {
  text = TrimView(text);
  TDateTime date = 0;
  if (text.size() < 10 || (text[2] != '.' && text[2] != '-') || text[5] != text[2]) return false;
  if (!TryParseDmy(text, date)) return false;
  std::string_view rest = TrimView(text.substr(10));
  TDateTime time = 0;
  if (!rest.empty()) {
    int h = 0, n = 0, s = 0;
    if (!DigitsAt(rest, 0, 2, h) || rest.size() < 5 || rest[2] != ':' || !DigitsAt(rest, 3, 2, n)) return false;
    if (rest.size() > 5 && (rest.size() != 8 || rest[5] != ':' || !DigitsAt(rest, 6, 2, s))) return false;
    if (!TryEncodeTime(h, n, s, 0, time)) return false;
  }
  out = date + time;
  return true;
}

TDateTime TClock::Now() {
  if (FixedNow()) return *FixedNow();
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  TDateTime v = 0;
  TryEncodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                     local.tm_sec > 59 ? 59 : local.tm_sec, static_cast<int>(ms)},
                    v);
  return v;
}

void TClock::SetForTests(std::optional<TDateTime> fixed) { FixedNow() = fixed; }

unsigned long long TClock::TickCount() {
  return static_cast<unsigned long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::steady_clock::now().time_since_epoch())
                                             .count());
}

}  // namespace quorvel
