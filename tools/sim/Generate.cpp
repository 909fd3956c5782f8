// `quorvel-sim generate`: a synthetic electronic-copy device directory, byte for byte what a fiscal
// printer with an electronic copy would hand over, so that the tests, the demo and the benchmarks
// never depend on files typed by hand.
//
// Layout of what is written (W is the line width, 40, 44 or 48; every line ends in CR LF; the
// text is Windows-1250):
//
//   OUT/0001/0001.txt .. OUT/0001/0099.txt, OUT/0100/0100.txt ..   (hundred-group folders)
//   OUT/idhist.txt                                                  (closed cards, signed)
//   with --flat: OUT/ABC12345.678/0001.txt ..  (a memory card's device folder, no idhist.txt)
//
// One file per daily report: the 34 header lines (label padded to 24 characters, then the
// value), the printout data, and one signature line "Podpis:" of exactly W characters whose value
// is the MD5 of the data. Header values: sizes in bytes (HeaderSize = DataOffset = the header's
// length, DataSize = the data's length, TocOffset = the end of the signature line, TocSize 0,
// LabelSize 24); "Podpis N:" is the MD5 of the data, "Podpis NP:" the MD5 of header lines 1-32;
// ranges that the file does not hold (no invoice, no RAM reset) are 0 and "00-00-0000 00:00".
//
// Printouts, in the order printed during the day: a rate change (the morning after the report
// that preceded it), then receipts, pharmacy receipts and invoices from 08:00 on, then the daily
// report. Every printout opens with the marker at character 2 of its first line (the shop's name),
// the next line holds "dd-mm-yyyy" and "nr wydr.NNNNNN" (the printout number, continuous over
// the device's life); it closes with the time line " F<doc no>¦ #01 KASJER 1 ... ˇhh:mm", the
// control number right-aligned and ended by "¬" (invoices: two lines of 16 digits), the unique
// number line "»ABC 12345678" (centred, so a blank precedes "»") and a line " ‡" padded to W.
// Receipt and invoice numbers run on over the device's life; pharmacy receipts share the
// receipts' numbers.
//
// Item lines: "<name><A0><pad><qty> x<price>  <value> ¨<letter>" when it fits in W and the item is
// taxable; otherwise two lines, "<name><A0> <qty> x<price>" (or "<name><A0>" and the quantity
// moved down when too long) and "<value> <symbol>  ¨" right-aligned, the symbol ending 3 characters
// before "¨". Exempt items print the symbol "ZW". Invoice items always take two lines. Receipts
// close with " ´SUMA PTU" and " ·SUMA PLN"; pharmacy receipts with one line " PTU <vat>… ... SUMA
// PLN <total>" and " Opłata:" (its total, summed into "Opłaty razem:"); invoices with
// " Do zapłaty: <total> PLN PTU <vat>Ş". With --voids about one receipt in fifteen is voided: its items,
// then "A N U L O W A N Y", " Wartość anulowana:", the time, unique number and closing lines, no
// totals and no control number; it takes a receipt number but is left out of "Ilość paragonów:"
// and the sales, and the daily report adds " Wart. anul. paragonów:" and " Ilość anul. paragonów:".
//
// The control number is the MD5 (upper-case hexadecimal) of the document's canonical text: for a
// receipt or invoice the date, the items (upper-case name and symbol: its first letter on
// receipts, "ZW. " or the letter on invoices), VAT and total with two decimals and ".", "hh:mm" and
// "ABC 12345678"; for a daily report "W%6.6d" printout number, date, "%4.4d" report number, the
// printed sales nets, then the invoice nets, gross total, receipt and invoice counts, cumulative
// gross, "hh:mm" and the unique number. A simulated printer can check them.
//
// The daily report (see AppendDailyReport) prints the rates in force, the currency change and the
// fiscalisation blocks when due, the report line, nets per active slot (" SP.OP.A", exempt
// " SP.ZW.G") from the day's receipts, invoice nets (" SP.OP.AFV") for the slots invoiced that day,
// VAT lines for taxable slots, " Suma PTU:", then " Należność:", " Ilość paragonów:",
// " Ilość faktur:", " Opłaty razem:", the cumulative section, voids, RAM resets, goods changes,
// " Ilość pozycji:" and the closing lines. Per slot the day's gross is the sum of the items'
// values; net and VAT come from it with halves to the even cent; "Suma PTU:" and "Należność:"
// include the invoices. The cumulative section sums the same values since fiscalisation.
#include "sim/Generate.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/Cp1250.h"
#include "base/DateTime.h"
#include "base/TextUtils.h"
#include "sim/GenerateLayout.h"
#include "sim/GenerateMd5.h"

namespace quorvel::sim {

namespace {

namespace fs = std::filesystem;

constexpr int kLabelWidth = 24;
constexpr int kMaxReports = 2143;

// The rates before and after the change the generator prints (A standard, B reduced, C zero,
// D super-reduced, G exempt; E and F not in use).
constexpr TRateSet kRatesBefore = {{2200, 700, 0, 300, kRateInactive, kRateInactive, kRateExempt}};
constexpr TRateSet kRatesAfter = {{2300, 800, 0, 500, kRateInactive, kRateInactive, kRateExempt}};

struct TUsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct TOptions {
  fs::path Out;
  int Files = 0;          // 0: derived from the size (or 5)
  uint64_t Size = 0;      // 0: no size target
  uint64_t Seed = 1;
  std::string Unique = "ABC12345678";
  int LineLen = 40;
  TDateTime StartDate = 0;
  bool Cumulative = true;
  bool Flat = false;
  bool Voids = false;     // now and then a receipt voided before it was closed
  int Cards = 0;          // 0: two or three, from the seed
  std::optional<std::vector<int>> RateChanges, RamResets, CurrencyChanges;
};

// A moment of the simulated device: the index of a day in the day table and the minute of it.
struct TStamp {
  int Day = -1;
  int Minute = 0;
  bool Valid() const { return Day >= 0; }
  bool operator<(const TStamp& o) const { return Day != o.Day ? Day < o.Day : Minute < o.Minute; }
};

// Ranges of one file, for its header and for the card history.
struct TFileStats {
  int ReportNo = 0;
  TStamp ReportAt;
  TStamp PrintoutFrom, PrintoutTo;
  int PrintoutNoFrom = 0, PrintoutNoTo = 0;
  TStamp ReceiptFrom, ReceiptTo;
  int ReceiptNoFrom = 0, ReceiptNoTo = 0;
  TStamp InvoiceFrom, InvoiceTo;
  int InvoiceNoFrom = 0, InvoiceNoTo = 0;
  int ResetNoFrom = 0, ResetNoTo = 0;
  int Card = 0;  // 1-based card label
  TRateSet Rates{};
  int64_t CumVat[kSlots] = {};
};

struct TItem {
  const TGood* Good;
  int64_t Quantity;  // thousandths
  int64_t Price;     // cents in the current currency
  int64_t Value;     // cents
};

std::string Pad2(int v) { return std::string{static_cast<char>('0' + v / 10 % 10), static_cast<char>('0' + v % 10)}; }

bool ParseCount(const std::string& text, int64_t& out) {
  if (text.empty() || text.size() > 18) return false;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  out = v;
  return true;
}

// "1048576", "64K", "10M", "1G" (binary multiples).
bool ParseSize(std::string text, uint64_t& out) {
  uint64_t mult = 1;
  if (!text.empty()) {
    const char last = static_cast<char>(std::toupper(static_cast<unsigned char>(text.back())));
    if (last == 'K') mult = 1024;
    if (last == 'M') mult = 1024 * 1024;
    if (last == 'G') mult = 1024ULL * 1024 * 1024;
    if (mult != 1) text.pop_back();
  }
  int64_t v = 0;
  if (!ParseCount(text, v)) return false;
  out = static_cast<uint64_t>(v) * mult;
  return true;
}

std::vector<int> ParseNumberList(const std::string& option, const std::string& text) {
  std::vector<int> out;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    const std::size_t comma = text.find(',', pos);
    const std::string part = text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    int64_t v = 0;
    if (!ParseCount(part, v) || v < 1 || v > kMaxReports)
      throw TUsageError("błędna wartość opcji " + option + ": " + text);
    out.push_back(static_cast<int>(v));
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  return out;
}

TOptions ParseOptions(const std::vector<std::string>& args) {
  TOptions o;
  TryParseDmy("02-01-2009", o.StartDate);
  bool haveOut = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw TUsageError("brak wartości opcji " + a);
      return args[++i];
    };
    int64_t n = 0;
    if (a == "--out") {
      o.Out = value();
      haveOut = true;
    } else if (a == "--files") {
      if (!ParseCount(value(), n) || n < 1 || n > kMaxReports)
        throw TUsageError("--files: liczba od 1 do 2143");
      o.Files = static_cast<int>(n);
    } else if (a == "--size") {
      if (!ParseSize(value(), o.Size) || o.Size == 0) throw TUsageError("--size: liczba bajtów (np. 4096, 64K, 1G)");
    } else if (a == "--seed") {
      if (!ParseCount(value(), n)) throw TUsageError("--seed: liczba całkowita");
      o.Seed = static_cast<uint64_t>(n);
    } else if (a == "--unique") {
      std::string u = value();
      u.erase(std::remove(u.begin(), u.end(), ' '), u.end());
      bool ok = u.size() == 11;
      for (std::size_t k = 0; ok && k < 11; ++k) {
        const unsigned char c = static_cast<unsigned char>(u[k]);
        ok = k < 3 ? std::isalpha(c) != 0 : std::isdigit(c) != 0;
      }
      if (!ok) throw TUsageError("--unique: trzy litery i osiem cyfr, np. ABC12345678");
      for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      o.Unique = u;
    } else if (a == "--line-len") {
      const std::string& v = value();
      if (v != "40" && v != "44" && v != "48") throw TUsageError("--line-len: 40, 44 albo 48");
      o.LineLen = std::stoi(v);
    } else if (a == "--start-date") {
      const std::string& v = value();
      if (v.size() != 10 || !TryParseDmy(v, o.StartDate)) throw TUsageError("--start-date: dd-mm-yyyy");
    } else if (a == "--no-cumulative") {
      o.Cumulative = false;
    } else if (a == "--voids") {
      o.Voids = true;
    } else if (a == "--flat") {
      o.Flat = true;
    } else if (a == "--cards") {
      if (!ParseCount(value(), n) || n < 1 || n > 9) throw TUsageError("--cards: liczba od 1 do 9");
      o.Cards = static_cast<int>(n);
    } else if (a == "--rate-change") {
      o.RateChanges = ParseNumberList(a, value());
    } else if (a == "--ram-reset") {
      o.RamResets = ParseNumberList(a, value());
    } else if (a == "--currency-change") {
      o.CurrencyChanges = ParseNumberList(a, value());
    } else {
      throw TUsageError("nieznana opcja: " + a);
    }
  }
  if (!haveOut || o.Out.empty()) throw TUsageError("brak opcji --out DIR");
  if (o.Files == 0) {
    // A size alone: about 450 KB per daily report, as a busy shop's files are, at most 2143.
    o.Files = o.Size == 0 ? 5 : static_cast<int>(std::clamp<uint64_t>((o.Size + 449999) / 450000, 1, kMaxReports));
  }
  if (o.Size / static_cast<uint64_t>(o.Files) > 0x7FFF0000ULL)
    throw TUsageError("--size: plik raportu nie może przekroczyć 2 GB (dodaj --files)");
  return o;
}

class TArchiveGenerator {
 public:
  explicit TArchiveGenerator(const TOptions& options)
      : o_(options), rng_(options.Seed), w_(options.LineLen), shop_(ShopFor(options.Seed)) {
    uniqueSpaced_ = o_.Unique.substr(0, 3) + " " + o_.Unique.substr(3);
    goods_ = Goods(goodsCount_);
    BuildDays();
    PlanEvents();
    PlanCards();
  }

  void Run() {
    const fs::path dir = o_.Flat ? o_.Out / (o_.Unique.substr(0, 8) + "." + o_.Unique.substr(8)) : o_.Out;
    fs::create_directories(dir);
    rates_ = kRatesBefore;
    std::string file;
    for (int n = 1; n <= o_.Files; ++n) {
      file.clear();
      BuildFile(n, file);
      const std::string name = Format("%4.4d.txt", n);
      fs::path target = dir;
      if (!o_.Flat) {
        const int group = n / 100 * 100;
        target /= Format("%4.4d", group == 0 ? 1 : group);
        fs::create_directories(target);
      }
      WriteBytes(target / name, file);
    }
    if (!o_.Flat) WriteBytes(dir / "idhist.txt", BuildCardHistory());
  }

 private:
  // ---- planning ---------------------------------------------------------------------------

  void BuildDays() {
    // One report a day, Sundays closed.
    int day = static_cast<int>(o_.StartDate);
    for (int n = 0; n < o_.Files; ++n) {
      while ((day + 6) % 7 == 0) ++day;  // day 0 (30-12-1899) was a Saturday
      dayNumbers_.push_back(day);
      dayTexts_.push_back(FormatDmy(static_cast<TDateTime>(day)));
      ++day;
    }
  }

  static std::vector<bool> Mark(int files, const std::vector<int>& reports) {
    std::vector<bool> m(static_cast<std::size_t>(files) + 1, false);
    for (int r : reports)
      if (r <= files) m[static_cast<std::size_t>(r)] = true;
    return m;
  }

  void PlanEvents() {
    const int n = o_.Files;
    // Now and then: one rate change, a RAM reset in about one report of forty (at least one in a
    // longer archive), and a currency change in one archive of three that has twenty reports.
    std::vector<int> rates, resets, currency;
    if (n >= 2) rates.push_back(rng_.Between(2, n));
    for (int r = 2; r <= n; ++r)
      if (rng_.Chance(1, 40)) resets.push_back(r);
    if (n >= 5 && resets.empty()) resets.push_back(rng_.Between(2, n));
    if (n >= 20 && rng_.Chance(1, 3)) currency.push_back(rng_.Between(2, n));
    rateChange_ = Mark(n, o_.RateChanges.value_or(rates));
    ramReset_ = Mark(n, o_.RamResets.value_or(resets));
    currencyChange_ = Mark(n, o_.CurrencyChanges.value_or(currency));
  }

  void PlanCards() {
    // Closed cards hold consecutive reports; the reports after the last closed card lie on the
    // card still in the device.
    int k = o_.Cards != 0 ? o_.Cards : 2 + rng_.Below(2);
    k = std::min(k, o_.Files);
    closedCards_ = k;
    cardOf_.assign(static_cast<std::size_t>(o_.Files) + 1, k + 1);
    std::vector<int> ends;
    if (o_.Files <= k) {
      for (int c = 1; c <= k; ++c) ends.push_back(c);
    } else {
      for (int c = 1; c <= k; ++c) ends.push_back(static_cast<int>(static_cast<int64_t>(o_.Files) * c / (k + 1)));
      for (int c = 0; c < k; ++c) ends[static_cast<std::size_t>(c)] = std::max(ends[static_cast<std::size_t>(c)], c + 1);
    }
    int first = 1;
    for (int c = 0; c < k; ++c) {
      for (int r = first; r <= ends[static_cast<std::size_t>(c)]; ++r) cardOf_[static_cast<std::size_t>(r)] = c + 1;
      first = ends[static_cast<std::size_t>(c)] + 1;
    }
  }

  // ---- texts ------------------------------------------------------------------------------

  std::string StampText(const TStamp& s) const {
    if (!s.Valid()) return "00-00-0000 00:00";
    return dayTexts_[static_cast<std::size_t>(s.Day)] + " " + TimeText(s.Minute);
  }
  static std::string TimeText(int minute) { return Pad2(minute / 60) + ":" + Pad2(minute % 60); }

  std::string Amount(int64_t cents) const { return CentsText(cents, ','); }

  void Eol(std::string& out) const { AppendEol(out); }
  void Sep(std::string& out, char c = '~') const {
    AppendRepeat(out, c, w_);
    Eol(out);
  }
  void LV(std::string& out, std::string_view label, std::string_view value) const {
    AppendLabelValue(out, label, value, w_);
    Eol(out);
  }
  void Centre(std::string& out, std::string_view text) const {
    AppendCentred(out, text, w_);
    Eol(out);
  }

  // The first lines of every printout: the marker at character 2 before the shop's name, the date
  // and printout number, the address and the taxpayer number.
  void OpenPrintout(std::string& out, std::string_view marker, int day, int printNo) const {
    out += ' ';
    out.append(marker);
    AppendCentred(out, shop_.Name, w_ - 1 - static_cast<int>(marker.size()));
    Eol(out);
    LV(out, dayTexts_[static_cast<std::size_t>(day)], Format("nr wydr.%6.6d", printNo));
    Centre(out, shop_.Address);
    Centre(out, shop_.Nip);
  }

  // The last lines: the time line (with the document number between "F" and "¦"), the control
  // number, the unique number and the closing line.
  void ClosePrintout(std::string& out, std::string_view timeLabel, int minute, const std::string& control,
                     bool controlOnTwoLines) const {
    LV(out, timeLabel, std::string("ˇ"_cp) + TimeText(minute));
    if (controlOnTwoLines) {
      AppendRight(out, control.substr(0, 16) + std::string("¬"_cp), w_);
      Eol(out);
      AppendRight(out, control.substr(16) + std::string("¬"_cp), w_);
      Eol(out);
    } else {
      AppendRight(out, control + std::string("¬"_cp), w_);
      Eol(out);
    }
    Centre(out, std::string("»"_cp) + uniqueSpaced_);
    AppendLeft(out, std::string(" ") + std::string("‡"_cp), w_);
    Eol(out);
  }

  // ---- sales ------------------------------------------------------------------------------

  int64_t PriceOf(const TGood& g) const {
    const int64_t p = inEuro_ ? (g.Price + 2) / 4 : g.Price;
    return std::max<int64_t>(p, 1);
  }

  std::vector<TItem> PickItems(bool pharmacy) {
    std::vector<TItem> items;
    const int count = rng_.Chance(1, 8) ? rng_.Between(6, 14) : rng_.Between(1, 5);
    for (int i = 0; i < count; ++i) {
      const TGood* g = &goods_[static_cast<std::size_t>(rng_.Below(static_cast<int>(goodsCount_)))];
      // A pharmacy receipt sells medicines (slot B) only.
      if (pharmacy && g->Slot != 1) g = &goods_[12 + static_cast<std::size_t>(rng_.Below(11))];
      if (!IsActive(rates_.Rate[g->Slot])) continue;
      TItem it{g, 0, PriceOf(*g), 0};
      it.Quantity = g->Weighed ? rng_.Between(20, 900) : (rng_.Chance(1, 4) ? rng_.Between(2, 4) : 1) * 1000;
      // Value = quantity x price, rounded half away from zero to the cent.
      it.Value = (it.Quantity * it.Price + 500) / 1000;
      if (it.Value == 0) it.Value = 1;
      items.push_back(it);
    }
    if (items.empty()) items.push_back({&goods_[0], 1000, PriceOf(goods_[0]), PriceOf(goods_[0])});
    return items;
  }

  static std::string QuantityText(int64_t q) {
    if (q % 1000 == 0) return std::to_string(q / 1000);
    return Format("%lld,%03lld", static_cast<long long>(q / 1000), static_cast<long long>(q % 1000));
  }

  std::string SymbolOf(const TGood& g) const {
    return rates_.Rate[g.Slot] == kRateExempt ? std::string("ZW") : std::string(1, static_cast<char>('A' + g.Slot));
  }

  void AppendItem(std::string& out, const TItem& it, bool invoice) const {
    std::string_view name = it.Good->Name;
    if (name.size() > static_cast<std::size_t>(w_ - 2)) name = name.substr(0, static_cast<std::size_t>(w_ - 2));
    const std::string sym = SymbolOf(*it.Good);
    const std::string qp = QuantityText(it.Quantity) + " x" + Amount(it.Price);
    const std::string value = Amount(it.Value);
    const bool exempt = sym == "ZW";
    std::string oneLineTail = qp + "  " + value + " " + std::string("¨"_cp) + sym;
    if (!invoice && !exempt && name.size() + 1 + oneLineTail.size() <= static_cast<std::size_t>(w_)) {
      out.append(name);
      out += '\xA0';
      AppendRight(out, oneLineTail, w_ - static_cast<int>(name.size()) - 1);
      Eol(out);
      return;
    }
    // Two lines: the name (with the quantity when it fits), then value and symbol before "¨".
    out.append(name);
    out += '\xA0';
    const bool qtyAbove = !invoice && name.size() + 2 + qp.size() <= static_cast<std::size_t>(w_);
    if (qtyAbove) {
      out += ' ';
      out.append(qp);
    }
    Eol(out);
    std::string second = (qtyAbove ? std::string() : qp + "  ") + value + " " + sym + "  " + std::string("¨"_cp);
    AppendRight(out, second, w_);
    Eol(out);
  }

  // Canonical text of a receipt or invoice, as the verification rebuilds it from the printout.
  std::string CanonicalText(int day, const std::vector<TItem>& items, int64_t vat, int64_t total, int minute,
                            bool invoice) const {
    std::string t = dayTexts_[static_cast<std::size_t>(day)];
    for (const TItem& it : items) {
      std::string_view name = it.Good->Name;
      if (name.size() > static_cast<std::size_t>(w_ - 2)) name = name.substr(0, static_cast<std::size_t>(w_ - 2));
      t += AnsiUpperCase(name);
      const std::string sym = SymbolOf(*it.Good);
      if (invoice) t += sym == "ZW" ? std::string("ZW. ") : sym;
      else t += sym[0];
    }
    t += CentsText(vat, '.');
    t += CentsText(total, '.');
    t += TimeText(minute);
    t += uniqueSpaced_;
    return t;
  }

  // Per-slot gross of the items and the printed rate summary; returns the VAT total.
  int64_t AppendRateSummary(std::string& out, const std::vector<TItem>& items, int64_t gross[kSlots]) const {
    for (int s = 0; s < kSlots; ++s) gross[s] = 0;
    for (const TItem& it : items) gross[it.Good->Slot] += it.Value;
    int64_t vatTotal = 0;
    for (int s = 0; s < kSlots; ++s) {
      if (gross[s] == 0) continue;
      const int rate = rates_.Rate[s];
      const std::string letter(1, static_cast<char>('A' + s));
      if (rate == kRateExempt) {
        LV(out, " Sprzedaż zwolniona"_cp, Amount(gross[s]));
        continue;
      }
      int64_t net = 0, vat = 0;
      SplitGross(gross[s], rate, net, vat);
      vatTotal += vat;
      LV(out, std::string(" Sprzedaż opodatkowana "_cp) + letter, Amount(gross[s]));
      LV(out, " PTU " + letter + " " + CentsText(rate, ',') + "%", Amount(vat));
    }
    return vatTotal;
  }

  // One receipt (kind 1), pharmacy receipt (kind 4) or invoice (kind 2), appended to `out`.
  void AppendDocument(std::string& out, int kind, int day, int minute, TFileStats& st, bool voided = false) {
    const bool invoice = kind == 2;
    const std::vector<TItem> items = PickItems(kind == 4);
    const int printNo = ++printoutNo_;
    const int docNo = invoice ? ++invoiceNo_ : ++receiptNo_;
    const TStamp at{day, minute};
    if (!st.PrintoutFrom.Valid()) {
      st.PrintoutFrom = at;
      st.PrintoutNoFrom = printNo;
    }
    if (invoice) {
      if (!st.InvoiceFrom.Valid()) {
        st.InvoiceFrom = at;
        st.InvoiceNoFrom = docNo;
      }
      st.InvoiceTo = at;
      st.InvoiceNoTo = docNo;
    } else {
      if (!st.ReceiptFrom.Valid()) {
        st.ReceiptFrom = at;
        st.ReceiptNoFrom = docNo;
      }
      st.ReceiptTo = at;
      st.ReceiptNoTo = docNo;
    }

    const std::string& date = dayTexts_[static_cast<std::size_t>(day)];
    if (kind == 1) OpenPrintout(out, "¤"_cp, day, printNo);
    else if (kind == 4) OpenPrintout(out, "\x1F", day, printNo);
    else {
      out += ' ';
      AppendCentred(out, "F A K T U R A   V A T", w_ - 1);
      Eol(out);
      LV(out, date, Format("nr wydr.%6.6d", printNo));
      LV(out, " Faktura nr:", Format("%6.6d/%s", docNo, date.substr(6).c_str()));
      out += " Data wystawienia: "_cp;
      out += date;
      Eol(out);
      out += " Data sprzedaży  : "_cp;
      out += date;
      Eol(out);
      out += " Sprzedawca:";
      Eol(out);
      out += ' ';
      out.append(shop_.Name);
      Eol(out);
      out += ' ';
      out.append(shop_.Address);
      Eol(out);
      out += ' ';
      out.append(shop_.Nip);
      Eol(out);
      const int buyer = rng_.Below(3);
      static const std::string_view kBuyers[3][3] = {
          {"Przychodnia \"Zdrowie\" Sp. z o.o."_cp, "ul. Polna 4, 80-100 Gdańsk"_cp, "NIP 584-200-30-40"_cp},
          {"Gabinet Stomatologiczny A. Nowak"_cp, "ul. Lipowa 9, 81-300 Gdynia"_cp, "NIP 586-111-22-99"_cp},
          {"Dom Opieki \"Słoneczny\""_cp, "ul. Morska 21, 81-225 Gdynia"_cp, "NIP 958-333-44-10"_cp}};
      out += " Nabywca:";
      Eol(out);
      for (int k = 0; k < 3; ++k) {
        out += ' ';
        out.append(kBuyers[buyer][k]);
        Eol(out);
      }
    }
    if (!invoice) Centre(out, "P A R A G O N   F I S K A L N Y");
    Sep(out, '-');
    for (const TItem& it : items) AppendItem(out, it, invoice);
    Sep(out, '-');
    if (voided) {
      // A voided receipt has no totals and no control number; the daily report counts it apart.
      int64_t value = 0;
      for (const TItem& it : items) value += it.Value;
      Centre(out, "A N U L O W A N Y");
      LV(out, " Wartość anulowana:"_cp, Amount(value));
      Sep(out, '-');
      LV(out, Format(" F%6.6d", docNo) + std::string("¦"_cp) + " #01 KASJER 1", std::string("ˇ"_cp) + TimeText(minute));
      Centre(out, std::string("»"_cp) + uniqueSpaced_);
      AppendLeft(out, std::string(" ") + std::string("‡"_cp), w_);
      Eol(out);
      ++dayVoids_;
      dayVoidValue_ += value;
      st.PrintoutTo = at;
      st.PrintoutNoTo = printNo;
      return;
    }
    int64_t gross[kSlots];
    const int64_t vat = AppendRateSummary(out, items, gross);
    int64_t total = 0;
    for (int s = 0; s < kSlots; ++s) total += gross[s];
    const std::string cur = currency_;
    if (kind == 1) {
      LV(out, " ´SUMA PTU"_cp, Amount(vat));
      LV(out, std::string(" ·SUMA "_cp) + cur, Amount(total));
    } else if (kind == 4) {
      AppendLabelValue(out, " PTU " + Amount(vat) + std::string("…"_cp), "SUMA " + cur + " " + Amount(total), w_);
      Eol(out);
      LV(out, " Opłata:"_cp, Amount(total));
      fees_ += total;
    } else {
      LV(out, " Do zapłaty:"_cp, Amount(total) + " " + cur + " PTU " + Amount(vat) + std::string("Ş"_cp));
    }
    Sep(out, '-');
    if (!invoice) {
      const int64_t paid = (total / 1000 + 1) * 1000;
      LV(out, " Gotówka"_cp, Amount(paid));
      LV(out, " Reszta", Amount(paid - total));
    } else {
      LV(out, " Forma płatności:"_cp, "przelew 14 dni");
    }
    const std::string control = Md5Hex(CanonicalText(day, items, vat, total, minute, invoice));
    ClosePrintout(out, Format(" F%6.6d", docNo) + std::string("¦"_cp) + " #01 KASJER 1", minute, control, invoice);

    for (int s = 0; s < kSlots; ++s) (invoice ? dayInvoiceGross_ : dayReceiptGross_)[s] += gross[s];
    (invoice ? dayInvoices_ : dayReceipts_) += 1;
    st.PrintoutTo = at;
    st.PrintoutNoTo = printNo;
  }

  void AppendRatesBlock(std::string& out) const {
    for (int s = 0; s < kSlots; ++s) {
      const int rate = rates_.Rate[s];
      if (!IsActive(rate)) continue;
      const std::string letter(1, static_cast<char>('A' + s));
      if (rate == kRateExempt) LV(out, " " + letter, "SP.ZW.PTU");
      else LV(out, " PTU  " + letter, RateText(rate) + "%");
    }
    Sep(out);
  }

  void AppendRateChange(std::string& out, int day, int minute, TFileStats& st) {
    const int printNo = ++printoutNo_;
    const TStamp at{day, minute};
    st.PrintoutFrom = at;
    st.PrintoutNoFrom = printNo;
    st.PrintoutTo = at;
    st.PrintoutNoTo = printNo;
    OpenPrintout(out, "§"_cp, day, printNo);
    Centre(out, "Z M I A N A   S T A W E K   P T U");
    LV(out, dayTexts_[static_cast<std::size_t>(day)], TimeText(minute));
    Sep(out);
    AppendRatesBlock(out);
    std::string text = Format("W%6.6d", printNo) + dayTexts_[static_cast<std::size_t>(day)];
    for (int s = 0; s < kSlots; ++s) text += RateText(rates_.Rate[s]);
    ClosePrintout(out, " #01 KIEROWNIK", minute, Md5Hex(text + TimeText(minute) + uniqueSpaced_), false);
  }

  // The daily report printout, in the form the extraction reads it.
  void AppendDailyReport(std::string& out, int n, int day, int minute, const std::vector<TStamp>& resets,
                         const std::vector<int>& resetNos, TFileStats& st) {
    const int printNo = ++printoutNo_;
    const std::string& date = dayTexts_[static_cast<std::size_t>(day)];
    OpenPrintout(out, "§"_cp, day, printNo);
    Centre(out, "RAPORT FISKALNY DOBOWY");
    Sep(out);
    const std::size_t countFrom = out.size();
    AppendRatesBlock(out);
    if (n == 1 || currencyChange_[static_cast<std::size_t>(n)]) {
      Centre(out, "ZMIANA WALUTY");
      LV(out, date, "Waluta: " + currency_);
      Sep(out);
    }
    if (n == 1) {
      Centre(out, "FISKALIZACJA");
      out += StampText({day, 7 * 60});
      Eol(out);
      Sep(out);
    }
    LV(out, date, Format("Nr raportu:  %4.4d", n));
    Sep(out);

    int64_t net[kSlots] = {}, vat[kSlots] = {}, invNet[kSlots] = {}, invVat[kSlots] = {};
    int64_t vatTotal = 0, grossTotal = 0;
    std::string canon = Format("W%6.6d", printNo) + date + Format("%4.4d", n);
    for (int s = 0; s < kSlots; ++s) {
      SplitGross(dayReceiptGross_[s], rates_.Rate[s], net[s], vat[s]);
      SplitGross(dayInvoiceGross_[s], rates_.Rate[s], invNet[s], invVat[s]);
      vatTotal += vat[s] + invVat[s];
      grossTotal += dayReceiptGross_[s] + dayInvoiceGross_[s];
      cumVat_[s] += vat[s];
      cumInvoiceVat_[s] += invVat[s];
    }
    cumVatTotal_ += vatTotal;
    cumGross_ += grossTotal;
    auto letter = [](int s) { return std::string(1, static_cast<char>('A' + s)); };
    auto salesLabel = [&](int s) { return std::string(rates_.Rate[s] == kRateExempt ? " SP.ZW." : " SP.OP.") + letter(s); };
    for (int s = 0; s < kSlots; ++s) {
      if (!IsActive(rates_.Rate[s])) continue;
      LV(out, salesLabel(s), CentsText(net[s], '.'));
      canon += CentsText(net[s], '.');
    }
    for (int s = 0; s < kSlots; ++s) {
      if (!IsActive(rates_.Rate[s]) || dayInvoiceGross_[s] == 0) continue;
      LV(out, salesLabel(s) + "FV", CentsText(invNet[s], '.'));
      canon += CentsText(invNet[s], '.');
    }
    for (int s = 0; s < kSlots; ++s)
      if (IsTaxable(rates_.Rate[s])) LV(out, " Kwota PTU " + letter(s), CentsText(vat[s], '.'));
    for (int s = 0; s < kSlots; ++s)
      if (IsTaxable(rates_.Rate[s]) && dayInvoiceGross_[s] != 0)
        LV(out, " Kwota PTU " + letter(s) + "FV", CentsText(invVat[s], '.'));
    LV(out, " Suma PTU:", CentsText(vatTotal, '.'));
    Sep(out);
    LV(out, " Należność:"_cp, currency_ + " " + CentsText(grossTotal, '.'));
    LV(out, " Ilość paragonów:"_cp, std::to_string(dayReceipts_));
    LV(out, " Ilość faktur:"_cp, std::to_string(dayInvoices_));
    canon += CentsText(grossTotal, '.') + std::to_string(dayReceipts_) + std::to_string(dayInvoices_) +
             CentsText(cumGross_, '.');
    Sep(out);
    LV(out, " Opłaty razem:"_cp, CentsText(fees_, '.'));
    Sep(out);
    if (o_.Cumulative) {
      Centre(out, "NARASTAJĄCO"_cp);
      for (int s = 0; s < kSlots; ++s)
        if (IsTaxable(rates_.Rate[s])) LV(out, " Kwota PTU " + letter(s), CentsText(cumVat_[s], '.'));
      for (int s = 0; s < kSlots; ++s)
        if (IsTaxable(rates_.Rate[s]) && cumInvoiceVat_[s] != 0)
          LV(out, " Kwota PTU " + letter(s) + "FV", CentsText(cumInvoiceVat_[s], '.'));
      LV(out, " Suma PTU:", CentsText(cumVatTotal_, '.'));
      LV(out, " Należność:"_cp, currency_ + " " + CentsText(cumGross_, '.'));
      Sep(out);
    }
    if (dayVoids_ > 0) {
      LV(out, " Wart. anul. paragonów:"_cp, CentsText(dayVoidValue_, '.'));
      LV(out, " Ilość anul. paragonów:"_cp, std::to_string(dayVoids_));
      Sep(out);
    }
    for (std::size_t r = 0; r < resets.size(); ++r) {
      Centre(out, "ZEROWANIE PAMIĘCI RAM"_cp);
      Sep(out);
      LV(out, " Data:", StampText(resets[r]));
      LV(out, " Numer:", std::to_string(resetNos[r]));
      AppendLeft(out, resetNos[r] % 3 == 0 ? " Zewnętrzne"_cp : " Wewnętrzne"_cp, w_);
      Eol(out);
      Sep(out);
    }
    if (rng_.Chance(1, 6)) {
      LV(out, " Wykonano zmiany w bazie tow.:"_cp, std::to_string(rng_.Between(1, 25)));
      Sep(out);
    }
    // The count of the report's printed lines, separators left out.
    int lines = 0;
    for (std::size_t p = countFrom; p < out.size();) {
      const std::size_t e = out.find("\r\n", p);
      if (out[p] != '~') ++lines;
      p = e + 2;
    }
    LV(out, " Ilość pozycji:"_cp, std::to_string(lines));
    Sep(out);
    canon += TimeText(minute) + uniqueSpaced_;
    ClosePrintout(out, " #01 KIEROWNIK", minute, Md5Hex(canon), false);

    st.PrintoutTo = {day, minute};
    st.PrintoutNoTo = printNo;
    if (!st.PrintoutFrom.Valid()) {
      st.PrintoutFrom = st.PrintoutTo;
      st.PrintoutNoFrom = printNo;
    }
  }

  // ---- one file ---------------------------------------------------------------------------

  void BuildFile(int n, std::string& file) {
    const int day = n - 1;
    TFileStats st;
    st.ReportNo = n;
    st.Card = cardOf_[static_cast<std::size_t>(n)];
    for (int s = 0; s < kSlots; ++s) dayReceiptGross_[s] = dayInvoiceGross_[s] = 0;
    dayReceipts_ = dayInvoices_ = dayVoids_ = 0;
    dayVoidValue_ = 0;
    fees_ = 0;

    std::string data;
    if (currencyChange_[static_cast<std::size_t>(n)]) {
      inEuro_ = !inEuro_;
      currency_ = inEuro_ ? "EUR" : "PLN";
    }
    std::vector<TStamp> resets;
    std::vector<int> resetNos;
    if (ramReset_[static_cast<std::size_t>(n)] && n > 1) {
      resets.push_back({day, 7 * 60 + 10});
      resetNos.push_back(++resetNo_);
      st.ResetNoFrom = st.ResetNoTo = resetNo_;
    }
    if (rateChange_[static_cast<std::size_t>(n)] && n > 1) {
      rates_ = SameRates(rates_, kRatesBefore) ? kRatesAfter : kRatesBefore;
      AppendRateChange(data, day, 7 * 60 + 20, st);
    }

    // How many printouts: from the size target (the running average size of a printout tells how
    // many fit), else 10 to 40 a day.
    const uint64_t overhead = 1200 + 60 * static_cast<uint64_t>(w_);
    uint64_t target = 0;
    int expected = rng_.Between(10, 40);
    if (o_.Size != 0) {
      target = o_.Size / static_cast<uint64_t>(o_.Files);
      target = target > overhead ? target - overhead : 0;
      const uint64_t avg = printouts_ == 0 ? 24ULL * static_cast<uint64_t>(w_ + 2) : printoutBytes_ / printouts_;
      expected = static_cast<int>(std::max<uint64_t>(1, target / std::max<uint64_t>(avg, 1)));
    }
    const std::size_t start = data.size();
    for (int i = 0;; ++i) {
      if (o_.Size != 0 ? (i > 0 && data.size() - start >= target) : i >= expected) break;
      const int minute = std::min(8 * 60 + static_cast<int>(static_cast<int64_t>(i) * 720 / expected), 20 * 60 + 29);
      const int r = rng_.Below(100);
      const std::size_t before = data.size();
      const int kind = r < 7 ? 2 : (r < 20 ? 4 : 1);
      AppendDocument(data, kind, day, minute, st, kind == 1 && o_.Voids && rng_.Chance(1, 15));
      printoutBytes_ += data.size() - before;
      ++printouts_;
    }
    const int reportMinute = 20 * 60 + 30 + rng_.Below(25);
    AppendDailyReport(data, n, day, reportMinute, resets, resetNos, st);
    st.ReportAt = {day, reportMinute};
    st.Rates = rates_;
    for (int s = 0; s < kSlots; ++s) st.CumVat[s] = cumVat_[s];
    stats_.push_back(st);

    const std::string signature = Md5Hex(data);
    std::string sigLine;
    AppendLabelValue(sigLine, "Podpis:", signature, w_);
    AppendEol(sigLine);

    // The header states its own size: build it until the size it states is the size it has.
    std::string header;
    std::size_t headerSize = 1500;
    for (int round = 0; round < 5; ++round) {
      header = BuildHeader(st, headerSize, data.size(), sigLine.size(), signature);
      if (header.size() == headerSize) break;
      headerSize = header.size();
    }
    file.reserve(header.size() + data.size() + sigLine.size());
    file += header;
    file += data;
    file += sigLine;
  }

  static bool SameRates(const TRateSet& a, const TRateSet& b) {
    return std::equal(std::begin(a.Rate), std::end(a.Rate), std::begin(b.Rate));
  }

  void HeaderLine(std::string& out, std::string_view label, std::string_view value) const {
    AppendLeft(out, label, kLabelWidth);
    out.append(value);
    Eol(out);
  }

  std::string DeviceType() const { return "Drukarka fiskalna FV AE"; }
  std::string DeviceModel() const { return "QV-100 E"; }
  std::string CardName(int card) const { return Format("Karta SD nr %d", card); }

  std::string BuildHeader(const TFileStats& st, std::size_t headerSize, std::size_t dataSize, std::size_t sigSize,
                          const std::string& dataSignature) const {
    std::string h;
    auto num = [](int64_t v) { return std::to_string(v); };
    HeaderLine(h, "Plik:", Format("%4.4d.txt", st.ReportNo));
    HeaderLine(h, "Zawartość pliku:"_cp, "Kopia elektroniczna wydruków"_cp);
    HeaderLine(h, "Wersja pliku:", "1.00");
    HeaderLine(h, "Typ urządzenia:"_cp, DeviceType());
    HeaderLine(h, "Rozmiar linii:", num(w_));
    HeaderLine(h, "Urządzenie:"_cp, DeviceModel());
    HeaderLine(h, "Nr unikatowy:", o_.Unique);
    HeaderLine(h, "Wersja Kopii E:", "2.01");
    HeaderLine(h, "Nośnik Kopii E:"_cp, CardName(st.Card));
    HeaderLine(h, "Plik utworzono:", StampText(st.ReportAt));
    HeaderLine(h, "Nr raportu:", Format("%4.4d", st.ReportNo));
    HeaderLine(h, "Data raportu:", StampText(st.ReportAt));
    HeaderLine(h, "Data wydruku od:", StampText(st.PrintoutFrom));
    HeaderLine(h, "Data wydruku do:", StampText(st.PrintoutTo));
    HeaderLine(h, "Nr wydruku od:", num(st.PrintoutNoFrom));
    HeaderLine(h, "Nr wydruku do:", num(st.PrintoutNoTo));
    HeaderLine(h, "Data paragonu od:", StampText(st.ReceiptFrom));
    HeaderLine(h, "Data paragonu do:", StampText(st.ReceiptTo));
    HeaderLine(h, "Nr paragonu od:", num(st.ReceiptNoFrom));
    HeaderLine(h, "Nr paragonu do:", num(st.ReceiptNoTo));
    HeaderLine(h, "Data faktury od:", StampText(st.InvoiceFrom));
    HeaderLine(h, "Data faktury do:", StampText(st.InvoiceTo));
    HeaderLine(h, "Nr faktury od:", num(st.InvoiceNoFrom));
    HeaderLine(h, "Nr faktury do:", num(st.InvoiceNoTo));
    HeaderLine(h, "Nr zerowania od:", num(st.ResetNoFrom));
    HeaderLine(h, "Nr zerowania do:", num(st.ResetNoTo));
    HeaderLine(h, "Rozmiar Nagłówka Pliku:"_cp, num(static_cast<int64_t>(headerSize)));
    HeaderLine(h, "Rozmiar etykiet danych:", num(kLabelWidth));
    HeaderLine(h, "Offset Danych Wydruku:", num(static_cast<int64_t>(headerSize)));
    HeaderLine(h, "Rozmiar Danych Wydruku:", num(static_cast<int64_t>(dataSize)));
    HeaderLine(h, "Offset Spisu Treści:"_cp, num(static_cast<int64_t>(headerSize + dataSize + sigSize)));
    HeaderLine(h, "Rozmiar Spisu Treści:"_cp, "0");
    const std::string np = Md5Hex(h);
    HeaderLine(h, "Podpis N:", dataSignature);
    HeaderLine(h, "Podpis NP:", np);
    return h;
  }

  // ---- card history -----------------------------------------------------------------------

  // "Label: value" lines of the card file, labels padded to 32 characters.
  static void CardLine(std::string& out, std::string_view label, std::string_view value) {
    AppendLeft(out, label, 32);
    out.append(value);
    AppendEol(out);
  }

  void CardCommonLines(std::string& out, std::string_view fileName, std::string_view content, int card,
                       const TStamp& created) const {
    CardLine(out, "Plik:", fileName);
    CardLine(out, "Zawartość pliku:"_cp, content);
    CardLine(out, "Wersja pliku:", "1.00");
    CardLine(out, "Typ urządzenia:"_cp, DeviceType());
    CardLine(out, "Rozmiar linii:", std::to_string(w_));
    CardLine(out, "Urządzenie:"_cp, DeviceModel());
    CardLine(out, "Nr unikatowy:", o_.Unique);
    CardLine(out, "Wersja Kopii E:", "2.01");
    CardLine(out, "Nośnik Kopii E:"_cp, CardName(card));
    CardLine(out, "Plik utworzono:", StampText(created));
  }

  static std::string RateAmountText(int rate) {
    if (rate == kRateExempt) return "100.00";
    if (rate == kRateInactive) return "101.00";
    return RateText(rate);
  }

  std::string BuildCardEntry(int card) const {
    // The files of this card.
    const TFileStats* first = nullptr;
    const TFileStats* last = nullptr;
    const TFileStats* beforeFirst = nullptr;
    for (const TFileStats& s : stats_) {
      if (s.Card < card) beforeFirst = &s;
      if (s.Card != card) continue;
      if (first == nullptr) first = &s;
      last = &s;
    }
    TStamp opened = first != nullptr ? TStamp{first->ReportAt.Day, 6 * 60 + 55} : TStamp{};
    TStamp closed = last != nullptr ? TStamp{last->ReportAt.Day, last->ReportAt.Minute + 1} : TStamp{};
    auto firstOf = [&](auto member) {
      for (const TFileStats& s : stats_)
        if (s.Card == card && (s.*member).Valid()) return s.*member;
      return TStamp{};
    };
    auto lastOf = [&](auto member) {
      TStamp r;
      for (const TFileStats& s : stats_)
        if (s.Card == card && (s.*member).Valid()) r = s.*member;
      return r;
    };
    auto firstNo = [&](int TFileStats::*member) {
      for (const TFileStats& s : stats_)
        if (s.Card == card && s.*member != 0) return s.*member;
      return 0;
    };
    auto lastNo = [&](int TFileStats::*member) {
      int r = 0;
      for (const TFileStats& s : stats_)
        if (s.Card == card && s.*member != 0) r = s.*member;
      return r;
    };

    std::string e;
    CardCommonLines(e, "id.txt", "Identyfikator nośnika Kopii E"_cp, card, closed);
    CardLine(e, "Etykieta karty:", std::to_string(card));
    CardLine(e, "Data otwarcia:", StampText(opened));
    CardLine(e, "Data raportu od:", StampText(first ? first->ReportAt : TStamp{}));
    CardLine(e, "Data raportu do:", StampText(last ? last->ReportAt : TStamp{}));
    CardLine(e, "Nr raportu od:", std::to_string(first ? first->ReportNo : 0));
    CardLine(e, "Nr raportu do:", std::to_string(last ? last->ReportNo : 0));
    CardLine(e, "Data wydruku od:", StampText(firstOf(&TFileStats::PrintoutFrom)));
    CardLine(e, "Data wydruku do:", StampText(lastOf(&TFileStats::PrintoutTo)));
    CardLine(e, "Nr wydruku od:", std::to_string(firstNo(&TFileStats::PrintoutNoFrom)));
    CardLine(e, "Nr wydruku do:", std::to_string(lastNo(&TFileStats::PrintoutNoTo)));
    CardLine(e, "Data paragon od:", StampText(firstOf(&TFileStats::ReceiptFrom)));
    CardLine(e, "Data paragon do:", StampText(lastOf(&TFileStats::ReceiptTo)));
    CardLine(e, "Nr paragon od:", std::to_string(firstNo(&TFileStats::ReceiptNoFrom)));
    CardLine(e, "Nr paragon do:", std::to_string(lastNo(&TFileStats::ReceiptNoTo)));
    CardLine(e, "Data faktury od:", StampText(firstOf(&TFileStats::InvoiceFrom)));
    CardLine(e, "Data faktury do:", StampText(lastOf(&TFileStats::InvoiceTo)));
    CardLine(e, "Nr faktury od:", std::to_string(firstNo(&TFileStats::InvoiceNoFrom)));
    CardLine(e, "Nr faktury do:", std::to_string(lastNo(&TFileStats::InvoiceNoTo)));
    // Rates and cumulative VAT per slot when the card was opened, then when it was closed.
    for (int pass = 0; pass < 2; ++pass) {
      const TFileStats* at = pass == 0 ? beforeFirst : last;
      for (int s = 0; s < kSlots; ++s) {
        const int rate = at != nullptr ? at->Rates.Rate[s] : kRatesBefore.Rate[s];
        const int64_t cum = at != nullptr ? at->CumVat[s] : 0;
        const std::string label = std::string(pass == 0 ? "Otwarcie PTU " : "Zamknięcie PTU "_cp) +
                                  static_cast<char>('A' + s) + ":";
        e += label + " " + RateAmountText(rate) + " " + CentsText(cum, '.');
        AppendEol(e);
      }
    }
    CardLine(e, "Data zamknięcia nośnika:"_cp, StampText(closed));
    CardLine(e, "Rozmiar nagłówka pliku:"_cp, "1024");
    return e;
  }

  std::string BuildCardHistory() const {
    std::vector<std::string> entries;
    for (int c = 1; c <= closedCards_; ++c) entries.push_back(BuildCardEntry(c));
    std::size_t listSize = 0;
    for (const std::string& e : entries) listSize += e.size();
    const TStamp created = stats_.empty() ? TStamp{} : stats_.back().ReportAt;

    std::string head;
    std::size_t headSize = 900;
    for (int round = 0; round < 5; ++round) {
      head.clear();
      CardCommonLines(head, "idhist.txt", "Historia nośników Kopii E"_cp, closedCards_ + 1, created);
      CardLine(head, "Rozmiar nagłówka pliku:"_cp, std::to_string(headSize));
      CardLine(head, "Offset listy nośników:"_cp, std::to_string(headSize));
      CardLine(head, "Ilość pozycji listy:"_cp, std::to_string(entries.size()));
      CardLine(head, "Rozmiar pozycji listy:", std::to_string(entries.empty() ? 0 : entries.front().size()));
      CardLine(head, "Rozmiar etykiety pozycji listy:", "32");
      CardLine(head, "Rozmiar listy:", std::to_string(listSize));
      const std::string np = Md5Hex(head);
      CardLine(head, "Podpis N:", Md5Hex(head + o_.Unique));
      CardLine(head, "Podpis NP:", np);
      if (head.size() == headSize) break;
      headSize = head.size();
    }
    std::string out = head;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      AppendEol(out);
      out += Format("Pozycja listy nr %zu", i + 1);
      AppendEol(out);
      AppendRepeat(out, '-', 32);
      AppendEol(out);
      out += entries[i];
      CardLine(out, "Podpis N:", Md5Hex(entries[i] + o_.Unique));
      CardLine(out, "Podpis NP:", Md5Hex(entries[i]));
    }
    return out;
  }

  static void WriteBytes(const fs::path& file, std::string_view bytes) {
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (f == nullptr) throw std::runtime_error("nie można utworzyć pliku " + file.string());
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) throw std::runtime_error("błąd zapisu pliku " + file.string());
  }

  const TOptions& o_;
  TRandom rng_;
  const int w_;
  const TShop& shop_;
  std::string uniqueSpaced_;
  const TGood* goods_ = nullptr;
  std::size_t goodsCount_ = 0;
  std::vector<int> dayNumbers_;
  std::vector<std::string> dayTexts_;
  std::vector<bool> rateChange_, ramReset_, currencyChange_;
  std::vector<int> cardOf_;
  int closedCards_ = 0;

  TRateSet rates_{};
  bool inEuro_ = false;
  std::string currency_ = "PLN";
  int printoutNo_ = 0, receiptNo_ = 0, invoiceNo_ = 0, resetNo_ = 0;
  int64_t dayReceiptGross_[kSlots] = {}, dayInvoiceGross_[kSlots] = {};
  int dayReceipts_ = 0, dayInvoices_ = 0, dayVoids_ = 0;
  int64_t dayVoidValue_ = 0;
  int64_t fees_ = 0;
  int64_t cumVat_[kSlots] = {}, cumInvoiceVat_[kSlots] = {};
  int64_t cumVatTotal_ = 0, cumGross_ = 0;
  uint64_t printoutBytes_ = 0, printouts_ = 0;
  std::vector<TFileStats> stats_;
};

}  // namespace

int CmdGenerate(const std::vector<std::string>& args) {
  try {
    const TOptions options = ParseOptions(args);
    TArchiveGenerator generator(options);
    generator.Run();
    return 0;
  } catch (const TUsageError& e) {
    std::fprintf(stderr, "quorvel-sim generate: %s\n", e.what());
    std::fprintf(stderr,
                 "użycie: quorvel-sim generate --out DIR [--files N] [--size BAJTY] [--seed S]\n"
                 "        [--unique ABC12345678] [--line-len 40|44|48] [--start-date dd-mm-yyyy]\n"
                 "        [--no-cumulative] [--voids] [--flat] [--cards K] [--rate-change N,..] [--ram-reset N,..]\n"
                 "        [--currency-change N,..]\n");
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quorvel-sim generate: %s\n", e.what());
    return 1;
  }
}

}  // namespace quorvel::sim
