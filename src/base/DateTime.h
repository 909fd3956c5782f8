// Date-time values: days since 30 December 1899 as a double, the fraction being the time of
// day; 0 means no date. Text forms are the fixed Polish ones, whatever the host's locale.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

using TDateTime = double;

struct TDateParts {
  int Year = 0, Month = 0, Day = 0;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

bool IsValidDate(int year, int month, int day);
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int minute, int second, int ms, TDateTime& out);
bool TryEncodeDateTime(const TDateParts& parts, TDateTime& out);
// Raise EConvertError on an impossible date or time.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
TDateParts DecodeDateTime(TDateTime value);
inline TDateTime DateOf(TDateTime v) { return static_cast<double>(static_cast<long long>(v)); }
TDateTime TimeOf(TDateTime v);

// Delphi-style pattern: d dd m mm yy yyyy h hh n nn s ss z zzz, text in quotes kept;
// "m"/"mm" right after an hour means minutes.
std::string FormatDateTime(std::string_view pattern, TDateTime value);

// The forms the files and reports use.
std::string FormatDmy(TDateTime v);        // dd-mm-yyyy
std::string FormatDmyHm(TDateTime v);      // dd-mm-yyyy hh:mm
std::string FormatYyMmDd(TDateTime v);     // yymmdd
std::string FormatIso(TDateTime v);        // yyyy-mm-ddThh:mm:ss (0 gives an empty text)
std::string ShortDateStr(TDateTime v);     // dd.mm.yyyy, the Polish short date
std::string TimeStr(TDateTime v);          // hh:mm:ss
std::string DateTimeStr(TDateTime v);      // dd.mm.yyyy hh:mm:ss (time left out at midnight)

// "dd-mm-yyyy hh:mm" read by position: day 1-2, month 4-5, year 7-10, hour 12-13, minute 15-16.
bool TryParseDmyHm(std::string_view text, TDateTime& out);
// Lenient form: a text that does not decode, or whose five parts are all zero, is no date (0).
TDateTime ParseDmyHmLenient(std::string_view text);
// "dd-mm-yyyy" by position (characters 1-10).
bool TryParseDmy(std::string_view text, TDateTime& out);
// "dd.mm.yyyy" (or with "-"), the short date, with an optional " hh:mm[:ss]".
bool TryParseShortDate(std::string_view text, TDateTime& out);

// "Now" of the whole program; the tests set it.
class TClock {
 public:
  static TDateTime Now();
  static TDateTime Today() { return DateOf(Now()); }
  static void SetForTests(std::optional<TDateTime> fixed);
  // Milliseconds of a monotonic clock, for time-outs.
  static unsigned long long TickCount();
};

}  // namespace quorvel
