#include "ecopy/uDailyReportExtractor.h"

#include <optional>
#include <string>

#include "base/Errors.h"
#include "base/FileUtils.h"
#include "base/TextUtils.h"
#include "ecopy/uReceipt.h"

namespace quorvel {

namespace {

constexpr std::string_view kFormatError = "Błędny format pliku"_cp;
constexpr std::string_view kTimeError = "Zły format czasu"_cp;

using TLines = std::vector<std::string_view>;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// True when `text` occurs at character 2 or later (marker positions count from 1).
bool ContainsFrom2(std::string_view line, std::string_view text) {
  return line.size() > 1 && line.find(text, 1) != std::string_view::npos;
}

// Characters `from`..`to` (1-based, inclusive), cut to the line as far as it goes.
std::string_view Chars(std::string_view line, std::size_t from, std::size_t to) {
  if (from < 1 || from > line.size() || to < from) return {};
  return line.substr(from - 1, to - from + 1);
}

// Character `pos` (1-based), or 0 past the end.
char CharAt(std::string_view line, std::size_t pos) {
  return pos >= 1 && pos <= line.size() ? line[pos - 1] : '\0';
}

int SlotOf(char letter) { return letter >= 'A' && letter <= 'G' ? letter - 'A' : -1; }

AnsiString WithoutSpaces(std::string_view s) {
  AnsiString out;
  out.reserve(s.size());
  for (char c : s)
    if (c != ' ') out += c;
  return out;
}

// The lines of a file; every index is checked, so nothing outside the file is ever read.
class TFileLines {
 public:
  explicit TFileLines(std::string_view text) : lines_(SplitLines(text)) {}
  int Count() const { return static_cast<int>(lines_.size()); }
  bool Has(int i) const { return i >= 0 && i < Count(); }
  std::string_view operator[](int i) const {
    if (!Has(i))
      throw EReadError(Format("%s: wiersz %d poza końcem pliku (wierszy: %d)"_cp.data(), kFormatError.data(), i + 1,
                              Count()));
    return lines_[static_cast<std::size_t>(i)];
  }
  const TLines& All() const { return lines_; }

 private:
  TLines lines_;
};

TDateTime DmyOf(std::string_view text, int lineIndex) {
  TDateTime d = 0;
  if (!TryParseDmy(Chars(text, 1, 10), d))
    throw EConvertError(Format("Błędna data w wierszu %d: \"%s\""_cp.data(), lineIndex + 1, AnsiString(text).c_str()));
  return d;
}

TDateTime DmyHmOf(std::string_view text, int lineIndex) {
  TDateTime d = 0;
  if (!TryParseDmyHm(text, d))
    throw EConvertError(
        Format("Błędna data i czas w wierszu %d: \"%s\""_cp.data(), lineIndex + 1, AnsiString(text).c_str()));
  return d;
}

// Reads a rates block from line `i` into `record`; `i` is left at the closing "~" line, or at
// the line that ended the block early. A malformed line ends the block; the rates read stay.
void ReadRates(const TFileLines& lines, int& i, RFMRecord& record, bool firstFile) {
  for (auto& r : record.Rates) r.clear();
  if (firstFile) {
    for (auto& r : record.Stats.RatesInForce) r = "99,99";
    record.Stats.RateClasses.fill(0);
  }
  while (lines.Has(i)) {
    const std::string_view line = lines[i];
    if (!line.empty() && line.back() == '~') break;
    char letter = 0;
    AnsiString rate;
    if (Chars(line, 2, 4) == "PTU") {
      letter = CharAt(line, 7);
      rate = Trim(line.size() >= 9 ? Chars(line, 8, line.size() - 1) : std::string_view{});
    } else {
      letter = CharAt(line, 2);
      rate = "98.99";
    }
    const int slot = SlotOf(letter);
    if (slot < 0) break;  // "Błędny format pliku" ends the block silently
    record.Rates[static_cast<std::size_t>(slot)] = rate;
    ++i;
  }
}

struct TBodyResult {
  bool Closed = false;     // the cumulative section was closed by its separator
  bool RanOut = false;     // the end of the file came first
  bool TotalsSeen = false;
};

// The sales, VAT and totals lines of the day and of the cumulative section.
TBodyResult ParseBody(const TFileLines& lines, int& i, RFMRecord& r) {
  TBodyResult result;
  bool totals = false;
  int p = -1;
  for (;;) {
    if (!lines.Has(i)) {
      result.RanOut = true;
      return result;
    }
    const std::string_view line = lines[i];
    if (ContainsFrom2(line, "~")) {
      if (totals) {
        i = p;
        result.Closed = true;
        return result;
      }
      if (!lines.Has(i + 1)) {
        result.RanOut = true;
        return result;
      }
      totals = ContainsFrom2(lines[i + 1], "NARASTAJĄCO"_cp);
      result.TotalsSeen = result.TotalsSeen || totals;
      ++i;
      if (p < 0) p = i;
      continue;
    }
    const std::string_view sp = Chars(line, 2, 4);
    const std::string_view kwota = Chars(line, 2, 6);
    if (ContainsFrom2(line, "FV")) {
      int slot = -1;
      bool sales = false;
      if (sp == "SP.") {
        sales = true;
        slot = SlotOf(CharAt(line, 8));
      } else if (kwota == "Kwota") {
        slot = SlotOf(CharAt(line, 12));
      } else {
        slot = -2;
      }
      if (slot >= 0) {
        const TAmount v = NumericTail(line);
        const auto s = static_cast<std::size_t>(slot);
        if (totals) {
          r.CumInvoiceVat[s] = CurrToStr(v);
        } else {
          if (sales) r.InvoiceNet[s] = CurrToStr(v);
          r.InvoiceGross[s] = CurrToStr(AmountOf(r.InvoiceGross[s]) + v);
        }
      }
    } else if (sp == "SP." || kwota == "Kwota") {
      const bool sales = sp == "SP.";
      const int slot = SlotOf(CharAt(line, sales ? 8 : 12));
      if (slot < 0)
        throw EReadError(Format("%s (wiersz %d)", kFormatError.data(), i + 1));
      const TAmount v = NumericTail(line);
      const auto s = static_cast<std::size_t>(slot);
      if (totals) {
        r.CumVat[s] = AmountToStr2(v);
      } else {
        if (sales) r.Net[s] = CurrToStr(v);
        r.Gross[s] = CurrToStr(AmountOf(r.Gross[s]) + v);
      }
    } else if (AnsiUpperCase(Chars(line, 2, 9)) == "SUMA PTU") {
      if (totals) r.CumVatTotal = CurrToStr(NumericTail(line));
      else r.VatTotal = AmountToStr2(NumericTail(line));
    } else if (ContainsFrom2(line, "Należność:"_cp)) {
      if (totals) r.CumGross = CurrToStr(NumericTail(line));
      else r.GrossTotal = AmountToStr2(NumericTail(line));
    } else if (ContainsFrom2(line, "Opłaty razem:"_cp)) {
      r.FeesTotal = AmountToStr2(NumericTail(line));
      r.PricingCount = 0;
      r.VoidPricingCount = 0;
    } else if (ContainsFrom2(line, "Ilość wycen:"_cp)) {
      r.PricingCount = StrToIntDef(TrailingDigits(line), 0);
    } else if (ContainsFrom2(line, "Ilość anul. wycen:"_cp)) {
      r.VoidPricingCount = StrToIntDef(TrailingDigits(line), 0);
    }
    ++i;
  }
}

}  // namespace

TAmount NumericTail(std::string_view line) {
  const std::string_view t = TrimView(line);
  std::size_t start = t.size();
  int separators = 0;
  while (start > 0) {
    const char c = t[start - 1];
    if (IsDigit(c)) {
    } else if (c == '.' || c == ',') {
      ++separators;
    } else {
      break;
    }
    --start;
  }
  const std::string_view run = t.substr(start);
  if (separators > 1) throw EConvertError("Currency format exception");
  TAmount a;
  if (!TryParseAmount(run, a))
    throw EConvertError(Format("Brak kwoty na końcu wiersza \"%s\""_cp.data(), AnsiString(t).c_str()));
  return a;
}

AnsiString TrailingDigits(std::string_view line) {
  const std::string_view t = TrimView(line);
  std::size_t start = t.size();
  while (start > 0 && IsDigit(t[start - 1])) --start;
  if (start == 0) return {};
  return AnsiString(t.substr(start));
}

TDateTime ParseTimeHm(std::string_view text) {
  const std::string_view t = TrimView(text);
  const std::size_t colon = t.find(':');
  if (colon == std::string_view::npos) throw EConvertError(AnsiString(kTimeError));
  std::size_t mEnd = colon + 1;
  while (mEnd < t.size() && mEnd < colon + 3 && IsDigit(t[mEnd])) ++mEnd;
  int32_t h = 0, m = 0;
  TDateTime time = 0;
  if (!TryStrToInt(TrimView(t.substr(0, colon)), h) || !TryStrToInt(t.substr(colon + 1, mEnd - colon - 1), m) ||
      !TryEncodeTime(h, m, 0, 0, time))
    throw EConvertError(AnsiString(kTimeError));
  return time;
}

bool TDailyReportExtractor::ScanPrintouts(const TSearchRec& criteria, const std::filesystem::path& fileName,
                                          const TRcpCallback& callback, TReceipt* receipt,
                                          std::vector<AnsiString>* lines, std::string* buffer) const {
  if (!receipt) return quorvel::ScanPrintouts(criteria, fileName, callback, nullptr, lines, buffer);
  TReceiptFiller filler(*receipt);
  return quorvel::ScanPrintouts(criteria, fileName, callback, &filler, lines, buffer);
}

int32_t TDailyReportExtractor::WidthScan(const TLines& lines) {
  if (lines.size() < 8) return LineLen;
  for (std::size_t k = 0; k < 8; ++k) {
    const std::string_view line = lines[lines.size() - 1 - k];
    if (line.size() > 1) LineLen = static_cast<int32_t>(line.size());
  }
  return LineLen;
}

AnsiString TDailyReportExtractor::UniqueNoOf(const TLines& lines) {
  const std::string_view marker = " \xBB";
  for (std::size_t k = lines.size(); k-- > 0;) {
    const std::string_view line = lines[k];
    if (line.size() < 2) continue;
    const std::size_t pos = line.find(marker, 1);
    if (pos != std::string_view::npos) return WithoutSpaces(TrimView(line.substr(pos + marker.size())));
  }
  return {};
}

AnsiString TDailyReportExtractor::ControlNoOf(const TLines& lines) {
  const auto before = [](std::string_view line) -> std::optional<std::string_view> {
    if (line.size() < 2) return std::nullopt;
    const std::size_t pos = line.find('\xAC', 1);
    if (pos == std::string_view::npos) return std::nullopt;
    return line.substr(0, pos);
  };
  for (std::size_t k = lines.size(); k-- > 0;) {
    const auto last = before(lines[k]);
    if (!last) continue;
    // A control number too long for one line continues on the next "¬" line: join the run.
    AnsiString joined = WithoutSpaces(TrimView(*last));
    for (std::size_t j = k; j-- > 0;) {
      const auto prev = before(lines[j]);
      if (!prev) break;
      joined = WithoutSpaces(TrimView(*prev)) + joined;
    }
    return joined;
  }
  return {};
}

AnsiString TDailyReportExtractor::ReadUniqueNo(const std::filesystem::path& fileName) {
  const std::string text = ReadFileBytes(fileName);
  return UniqueNoOf(SplitLines(text));
}

AnsiString TDailyReportExtractor::ReadControlNo(const std::filesystem::path& fileName) {
  const std::string text = ReadFileBytes(fileName);
  return ControlNoOf(SplitLines(text));
}

int32_t TDailyReportExtractor::ReadLineLen(const std::filesystem::path& fileName) {
  const std::string text = ReadFileBytes(fileName);
  return WidthScan(SplitLines(text));
}

RFMRecord TDailyReportExtractor::ExtractDailyReport(const std::filesystem::path& fileName, bool firstFile) {
  const std::string text = ReadFileBytes(fileName);
  return ExtractDailyReportText(text, firstFile);
}

RFMRecord TDailyReportExtractor::ExtractDailyReportText(std::string_view text, bool firstFile) {
  const TFileLines L(text);
  RFMRecord daily, rateChange, currency, endRecord;

  // 1. The printout must have its header marker.
  int lastHeader = -1;
  for (int k = 0; k < L.Count(); ++k)
    if (ContainsFrom2(L[k], "\xA7")) lastHeader = k;
  if (L.Count() < 10 || lastHeader < 0) throw EReadError(AnsiString(kFormatError));
  WidthScan(L.All());

  // 2. A change of rates printed inside the report (not for the range's opening file).
  bool hasRateChange = false;
  if (!firstFile) {
    for (int z = 0; z < L.Count(); ++z) {
      if (ContainsFrom2(L[z], "Z M I A N A   S T A W E K   P T U")) {
        int i = z + 3;
        ReadRates(L, i, rateChange, false);
        rateChange.Kind = kKindRateChange;
        hasRateChange = true;
        break;
      }
    }
  }

  // 3. The printout header: printout number and date.
  const int h = lastHeader + 1;
  daily.PrintoutNumber = TrailingDigits(L[h]);
  daily.Date = DmyOf(TrimView(L[h]), h);
  if (hasRateChange) {
    rateChange.Date = daily.Date;
    Deliver(rateChange);
  }

  // 4. The rates in force.
  int i = h + 4;
  if (ContainsFrom2(L[i], "~~~~")) ++i;
  ReadRates(L, i, daily, firstFile);
  if (firstFile) {
    RFMRecord opening = daily;
    opening.Kind = kKindRateChange;
    Deliver(opening);
  }
  daily.Kind = kKindDaily;

  // 5.-7. Events printed before the report line.
  ++i;
  bool currencyChanged = false;
  if (WithoutSpaces(L[i]).find("ZMIANAWALUTY") != AnsiString::npos) {
    const std::string_view cur = L[i + 1];
    const TDateTime now = TClock::Now();
    currency.Date = now;
    currency.Currency.ChangeDate = now;
    const std::size_t w = cur.find("Waluta:");
    if (w != std::string_view::npos) currency.Currency.Name = Trim(cur.substr(w + 7));
    currencyChanged = true;
    i += 3;
  }
  bool fiscalised = false;
  TDateTime fiscalisedAt = 0;
  if (WithoutSpaces(L[i]).find("FISKALIZACJA") != AnsiString::npos) {
    fiscalisedAt = DmyHmOf(TrimView(L[i + 1]), i + 1);
    fiscalised = true;
    i += 3;
  }
  bool fiscalEnd = false;
  if (WithoutSpaces(L[i]).find("KONIECTRYBUFISKALNEGO") != AnsiString::npos) {
    i += 3;
    endRecord.Kind = kKindFiscalEnd;
    fiscalEnd = true;
  }

  // 8.-9. The report line.
  const std::string_view reportLine = L[i];
  const TDateTime baseDate = DmyOf(reportLine, i);
  daily.Number = TrailingDigits(reportLine);
  if (currencyChanged) {
    currency.Kind = StrToIntDef(daily.Number, 0) == 1 ? kKindCurrencyNoDate : kKindCurrencyChange;
    Deliver(currency);
  }

  // 10.-11. The body and the day's totals after its first separator.
  i += 2;
  const TBodyResult body = ParseBody(L, i, daily);
  if (body.RanOut) {
    throw EReadError(body.TotalsSeen ? "Niepełny raport dobowy: brak końca sekcji \"NARASTAJĄCO\""_cp.data()
                                     : "Niepełny raport dobowy: brak sekcji \"NARASTAJĄCO\""_cp.data());
  }
  daily.GrossTotal = AmountToStr2(NumericTail(L[i]));
  daily.ReceiptCount = TrailingDigits(L[i + 1]);
  daily.InvoiceCount = TrailingDigits(L[i + 2]);

  // 12. The report's closing part: RAM resets, goods changes, the time, cancelled receipts.
  while (L.Has(i) && (L[i].empty() || L[i].back() != '~')) ++i;
  TDateTime time = 0;
  bool timeFound = false;
  for (int a = i; a < L.Count();) {
    const std::string_view line = L[a];
    if (line.find("ZEROWANIE") != std::string_view::npos) {
      RFMRecord reset;
      reset.Kind = kKindRamReset;
      const std::string_view dateLine = L[a + 2];
      reset.Date = DmyHmOf(TrimView(dateLine.size() >= 7 ? dateLine.substr(6) : std::string_view{}), a + 2);
      reset.ResetNo = TrailingDigits(L[a + 3]);
      reset.ResetKind = Trim(L[a + 4]);
      Deliver(reset);
      a += 6;
      continue;
    }
    if (line.find("Wykonano zmiany") != std::string_view::npos) {
      daily.GoodsChanged = TrailingDigits(line);
      a += 3;
      continue;
    }
    if (ContainsFrom2(line, "\xA1")) {
      time = ParseTimeHm(line.substr(line.find('\xA1', 1) + 1));
      timeFound = true;
    } else if (line.find("Wart. anul. paragonów"_cp) != std::string_view::npos) {
      daily.VoidValue = CurrToStr(NumericTail(line));
    } else if (line.find("Ilość anul. paragonów"_cp) != std::string_view::npos) {
      daily.VoidCount = TrailingDigits(line);
    }
    ++a;
  }

  // 13. The day's date and time, then the records.
  daily.Date = baseDate + (timeFound ? time : 0);
  if (fiscalised) daily.Date = fiscalisedAt;
  Deliver(daily);
  if (fiscalEnd) Deliver(endRecord);
  return daily;
}

}  // namespace quorvel
