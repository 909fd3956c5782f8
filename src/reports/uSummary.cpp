#include "reports/uSummary.h"

#include "base/Errors.h"
#include "base/TextUtils.h"
#include "reports/uDailyReportFormatter.h"

namespace quorvel {

void TSummary::AddLocale(AnsiString& sum, TAmount value) { sum = CurrToStr(AmountOf(sum) + value); }

void TSummary::AddTwoDecimal(AnsiString& sum, TAmount value) { sum = AmountToStr2(AmountOf(sum) + value); }

void TSummary::AddCount(AnsiString& sum, int64_t value) {
  int64_t current = 0;
  if (!TryStrToInt64(Trim(sum), current)) current = 0;
  sum = std::to_string(current + value);
}

namespace {

char Letter(int slot) { return static_cast<char>('A' + slot); }
int32_t CountOf(std::string_view text) { return StrToIntDef(Trim(text), 0); }

enum class TRangeTest { Skip, In, Stop };

// The limits of a build, read once before anything is changed.
struct TRangeLimits {
  bool Active = false;
  bool ByNumber = true;
  int64_t From = 0, To = 0;
  TDateTime FromDate = 0, ToDate = 0;

  TRangeLimits(bool byNumber, std::string_view fromText, std::string_view toText) : ByNumber(byNumber) {
    Active = !fromText.empty() || !toText.empty();
    if (!Active) return;
    if (byNumber) {
      From = StrToInt(Trim(fromText));
      To = StrToInt(Trim(toText));
    } else {
      FromDate = DateOf(ReadDate(fromText));
      ToDate = DateOf(ReadDate(toText));
    }
  }

  static TDateTime ReadDate(std::string_view text) {
    TDateTime d = 0;
    if (!TryParseShortDate(text, d))
      throw EConvertError(AnsiString("'") + AnsiString(text) + AnsiString("' nie jest poprawną datą"_cp));
    return d;
  }

  TRangeTest Test(const RFMRecord& r) const {
    if (!Active) return TRangeTest::In;
    if (ByNumber) {
      const int64_t n = CountOf(r.Number);
      if (n < From) return TRangeTest::Skip;
      if (n > To) return TRangeTest::Stop;
      return TRangeTest::In;
    }
    const TDateTime d = DateOf(r.Date);
    if (d < FromDate) return TRangeTest::Skip;
    if (d > ToDate) return TRangeTest::Stop;
    return TRangeTest::In;
  }
};

struct TCovered {
  TDateTime FirstDate = 0, LastDate = 0;
  int32_t FirstNo = 0, LastNo = 0;
  void Add(const RFMRecord& r) {
    const int32_t n = CountOf(r.Number);
    if (FirstDate == 0) FirstDate = r.Date;
    if (r.Date > LastDate) LastDate = r.Date;
    if (FirstNo == 0) FirstNo = n;
    if (n > LastNo) LastNo = n;
  }
};

void AddToStats(RFMStats& st, const RFMRecord& r) {
  const int32_t n = CountOf(r.Number);
  if (st.FirstDate == 0) st.FirstDate = r.Date;
  if (r.Date > st.LastDate) st.LastDate = r.Date;
  if (st.FirstNo == 0) st.FirstNo = n;
  if (n > st.LastNo) st.LastNo = n;
}

std::unique_ptr<TSummary> NewPeriod(std::string_view currency) {
  auto p = std::make_unique<TSummary>();
  p->Totals.Stats.FirstDate = p->Totals.Stats.LastDate = 0;
  p->Totals.Stats.FirstNo = p->Totals.Stats.LastNo = 0;
  p->Totals.Currency.Name = AnsiString(currency);
  return p;
}

std::string Numbers(int32_t a, int32_t b) { return Format("%10d %10d", a, b); }
std::string Dates(TDateTime a, TDateTime b) { return FormatDmy(a) + " " + FormatDmy(b); }

}  // namespace

void TDailyReportFormatter::SetRange(std::string_view fromText, std::string_view toText, bool byNumber) {
  RangeFrom = AnsiString(fromText);
  RangeTo = AnsiString(toText);
  RangeByNumber = byNumber;
  CoveredFirstDate = CoveredLastDate = 0;
  CoveredFirstNo = CoveredLastNo = 0;
}

void TDailyReportFormatter::BuildRangeReport(bool byNumber, std::string_view fromText, std::string_view toText,
                                             bool detailed) {
  const TRangeLimits limits(byNumber, fromText, toText);

  // 1.
  Lines.clear();
  PendingLines.clear();
  Summaries.clear();
  LineCount = 0;
  std::unique_ptr<TSummary> period = NewPeriod("PLN");
  CoveredFirstDate = CoveredLastDate = 0;
  CoveredFirstNo = CoveredLastNo = 0;
  bool firstRateChange = true;
  bool currencyPending = false;

  // 2. What the range actually covers.
  for (const auto& holder : Records) {
    const RFMRecord& r = holder->Record;
    if (!IsDailyReportKind(r.Kind)) continue;
    const TRangeTest t = limits.Test(r);
    if (t == TRangeTest::Stop) break;
    if (t == TRangeTest::Skip) continue;
    const int32_t n = CountOf(r.Number);
    if (CoveredFirstDate == 0) CoveredFirstDate = r.Date;
    if (r.Date > CoveredLastDate) CoveredLastDate = r.Date;
    if (CoveredFirstNo == 0) CoveredFirstNo = n;
    if (n > CoveredLastNo) CoveredLastNo = n;
  }

  // 3. The range header.
  AddLabelValue("NIP: " + NIP, "");
  AddPlain(FormatDmy(TClock::Today()));
  AddSeparator();
  AddCentred("RAPORT FISKALNY");
  AddCentred("OKRESOWY");
  if (RangeByNumber) AddLabelValue("Podany Zakres nr:", RangeFrom + RangeTo);
  else AddLabelValue("Podany Zakres dat:", RangeFrom + " " + RangeTo);
  AddLabelValue("Obejmuje daty:", Dates(CoveredFirstDate, CoveredLastDate));
  AddLabelValue("Obejmuje numery:", Numbers(CoveredFirstNo, CoveredLastNo));
  FirstRateBlock = true;
  ReportOpen = false;

  // 4. The records in order.
  bool rendered = false;
  TCovered own;
  for (const auto& holder : Records) {
    const RFMRecord& r = holder->Record;
    if (IsDailyReportKind(r.Kind)) {
      const TRangeTest t = limits.Test(r);
      if (t == TRangeTest::Stop) break;
      if (t == TRangeTest::Skip) continue;
      currencyPending = false;
      rendered = true;
      own.Add(r);
      RFMRecord& tot = period->Totals;
      AddToStats(tot.Stats, r);

      for (int s = 0; s < kRateSlots; ++s) {
        // A slot in use adds to its sums even on a day without sales there, so that the
        // summary lists every rate of the period.
        const AnsiString& rate = r.Rates[s];
        const TAmount gross = AmountOf(r.Gross[s]);
        if (IsExemptRate(rate)) {
          TSummary::AddLocale(tot.SpareTexts[0], gross);
          const AnsiString letter = AnsiString(1, Letter(s)) + ",";
          if (tot.SpareTexts[3].find(letter) == AnsiString::npos) tot.SpareTexts[3] += letter;
        } else if (IsInactiveRate(rate)) {
          // a slot not in use adds nothing
        } else {
          TAmount net, vat;
          SplitGross(r.TaxSchemes[s], rate, gross, net, vat);
          if (TaxiVersion && r.TaxSchemes[s] > 2) {
            period->FlatNet[s] += net;
            period->FlatVat[s] += vat;
            if (r.TaxSchemes[s] == 3) period->FlatWithVat[s] = true;
            else period->FlatOnly[s] = true;
          } else {
            TSummary::AddLocale(tot.Gross[s], net);
            TSummary::AddLocale(tot.Net[s], vat);
          }
        }
      }

      TSummary::AddLocale(tot.VatTotal, AmountOf(r.VatTotal));
      TSummary::AddLocale(tot.GrossTotal, AmountOf(r.GrossTotal));
      TSummary::AddCount(tot.ReceiptCount, CountOf(r.ReceiptCount));
      TSummary::AddCount(tot.ResetCount, CountOf(r.ResetCount));
      TSummary::AddCount(tot.InvoiceCount, CountOf(r.InvoiceCount));
      TSummary::AddCount(tot.VoidCount, CountOf(r.VoidCount));
      TSummary::AddLocale(tot.VoidValue, AmountOf(r.VoidValue));
      TSummary::AddLocale(tot.InvoiceVatTotal, AmountOf(r.InvoiceVatTotal));
      TSummary::AddLocale(tot.InvoiceGrossTotal, AmountOf(r.InvoiceGrossTotal));
      if (PharmacyVersion) {
        TSummary::AddTwoDecimal(tot.FeesTotal, AmountOf(r.FeesTotal));
        tot.PricingCount += r.PricingCount;
        tot.VoidPricingCount += r.VoidPricingCount;
      }
      if (!r.GoodsChanged.empty()) TSummary::AddCount(tot.GoodsChanged, 1);

      for (int s = 0; s < kRateSlots; ++s) {
        const AnsiString& rate = r.Rates[s];
        const TAmount gross = AmountOf(r.InvoiceGross[s]);
        if (IsExemptRate(rate)) {
          TSummary::AddTwoDecimal(tot.SpareTexts[1], gross);
        } else if (!IsInactiveRate(rate)) {
          TAmount net, vat;
          SplitGross(r.TaxSchemes[s], rate, gross, net, vat);
          TSummary::AddLocale(tot.InvoiceGross[s], net);
          TSummary::AddLocale(tot.InvoiceNet[s], vat);
        }
      }

      RenderDailyReport(r, false, kNoChangeDate, tot.Currency.Name);
      ++period->DailyReports;
      Lines.insert(Lines.end(), PendingLines.begin(), PendingLines.end());
      PendingLines.clear();
      RenderFooter();
    } else if (r.Kind == kKindRateChange) {
      RenderRateChange(r);
      RFMRecord& tot = period->Totals;
      if (firstRateChange) {
        tot.Stats.RateClasses = r.Stats.RateClasses;
      } else {
        for (int s = 0; s < kRateSlots; ++s)
          tot.Stats.RateClasses[s] = NextRateClass(tot.Stats.RateClasses[s], r.Rates[s], tot.Rates[s]);
      }
      firstRateChange = false;
      tot.Rates = r.Rates;
      tot.Stats.RatesInForce = r.Stats.RatesInForce;
    } else if (r.Kind == kKindRamReset) {
      RenderRamReset(r);
      TSummary::AddCount(period->Totals.ResetCount, 1);
    } else if (r.Kind == kKindCurrencyChange) {
      auto next = NewPeriod(r.Currency.Name);
      next->Totals.Rates = period->Totals.Rates;
      next->Totals.Stats.RatesInForce = period->Totals.Stats.RatesInForce;
      for (int s = 0; s < kRateSlots; ++s)
        next->Totals.Stats.RateClasses[s] = NextRateClass(kRateUnused, next->Totals.Rates[s], next->Totals.Rates[s]);
      if (period->DailyReports >= 1) Summaries.push_back(std::move(period));
      period = std::move(next);
      RenderCurrencyChange(r);
      currencyPending = true;
    } else if (r.Kind == kKindCurrencyNoDate) {
      period->Totals.Currency.Name = r.Currency.Name;
    } else if (r.Kind == kKindMediumClosing) {
      RenderMediumClosing(r);
    }
  }

  // 5.
  if (rendered) {
    if (!detailed) Lines.clear();
    Summaries.push_back(std::move(period));
    if (currencyPending && Summaries.size() > 1) Summaries.pop_back();
    RenderSummary(own.FirstNo, own.LastNo, own.FirstDate, own.LastDate);
    if (ResetRecordCount > 10) {
      AddCentred("PRZEKROCZONO LIMIT ZEROWAŃ"_cp);
      AddSeparator();
    }
    AddPlain("");
    const std::string_view u = UniqueNo;
    AddCentred(AnsiString(u.substr(0, 3)) + " " + AnsiString(u.size() > 3 ? u.substr(3) : std::string_view()));
  } else {
    // 6.
    Lines.assign(1, "Brak danych w zakresie");
  }

  // 7.
  SaveLines(Lines, RangeFileName);
}

void TDailyReportFormatter::RenderSummary(int32_t firstNo, int32_t lastNo, TDateTime firstDate,
                                          TDateTime lastDate) {
  if (LineLen < 22) {
    AddCentred("ŁĄCZNY RAPORT"_cp);
    AddCentred("OKRESOWY");
  } else {
    AddCentred("ŁĄCZNY RAPORT OKRESOWY"_cp);
  }
  AddSeparator();
  AddLabelValue("Zakres dat: ", Dates(firstDate, lastDate));
  AddLabelValue("Zakres nr: ", Numbers(firstNo, lastNo));
  AddSeparator();

  int64_t resets = 0, goods = 0;
  for (const auto& p : Summaries) RenderPeriod(*p, resets, goods);

  bool written = false;
  if (resets >= 1) {
    AddLabelValue("Ilość zerowań RAM:"_cp, std::to_string(resets));
    written = true;
  }
  if (goods > 0) {
    AddLabelValue("Wykonano zmiany w bazie tow.:", std::to_string(goods));
    written = true;
  }
  if (written) AddSeparator();
}

void TDailyReportFormatter::RenderPeriod(const TSummary& p, int64_t& resets, int64_t& goods) {
  const RFMRecord& t = p.Totals;
  const auto& classes = t.Stats.RateClasses;

  AddLabelValue("Waluta:", t.Currency.Name);
  AddLabelValue("Zakres dat:", Dates(t.Stats.FirstDate, t.Stats.LastDate));
  AddLabelValue("Zakres nr:", Numbers(t.Stats.FirstNo, t.Stats.LastNo));
  AddSeparator();

  // Sales.
  for (int s = 0; s < kRateSlots; ++s)
    if (!t.Gross[s].empty()) AddLabelAmount(AnsiString("SP.OP.") + Letter(s), StrictAmount(t.Gross[s]));
  if (TaxiVersion)
    for (int s = 0; s < kRateSlots; ++s) {
      if (p.FlatWithVat[s]) AddLabelAmount(AnsiString("SP.OP.") + Letter(s) + "R", p.FlatNet[s]);
      if (p.FlatOnly[s]) AddLabelAmount("SP.OP.R", p.FlatNet[s]);
    }
  AnsiString exempt = t.SpareTexts[3];
  if (!exempt.empty()) exempt.pop_back();
  if (!exempt.empty()) AddLabelAmount("SP.ZW." + exempt, StrictAmount(t.SpareTexts[0]));
  if (HasInvoices) {
    for (int s = 0; s < kRateSlots; ++s)
      if (!t.InvoiceGross[s].empty())
        AddLabelAmount(AnsiString("SP.OP.") + Letter(s) + "FV", StrictAmount(t.InvoiceGross[s]));
    if (!exempt.empty()) AddLabelAmount("SP.ZW." + exempt + "FV", AmountOf(t.SpareTexts[1]));
  }

  // VAT, labelled by the slot's class over the period.
  const auto vatLabel = [&classes](int s) -> AnsiString {
    if (classes[s] == kRateTaxable) return AnsiString("Kwota PTU ") + Letter(s);
    if (classes[s] == kRateMixed) return AnsiString("Kwota PTU ") + Letter(s) + "+";
    return {};
  };
  for (int s = 0; s < kRateSlots; ++s)
    if (!vatLabel(s).empty() && !t.Gross[s].empty()) AddLabelAmount(vatLabel(s), StrictAmount(t.Net[s]));
  if (TaxiVersion)
    for (int s = 0; s < kRateSlots; ++s)
      if (!vatLabel(s).empty() && p.FlatWithVat[s])
        AddLabelAmount(AnsiString("Kwota PTU ") + Letter(s) + "R", p.FlatVat[s]);
  if (HasInvoices)
    for (int s = 0; s < kRateSlots; ++s) {
      if (vatLabel(s).empty() || t.InvoiceGross[s].empty()) continue;
      AnsiString label = AnsiString("Kwota PTU ") + Letter(s) + "FV";
      if (classes[s] == kRateMixed) label += "+";
      AddLabelAmount(label, StrictAmount(t.InvoiceNet[s]));
    }

  const AnsiString& currency = t.Currency.Name;
  if (!TaxiVersion) {
    AddLabelAmount("Suma PTU:", AmountOf(t.VatTotal) + AmountOf(t.InvoiceVatTotal));
    AddSeparator();
    AddLabelValue("Należność:"_cp, currency + " " + AmountToStr2(AmountOf(t.GrossTotal) + AmountOf(t.InvoiceGrossTotal)));
  } else {
    AnsiString listA, listB, listC, listD;
    TAmount totalA, totalB, totalC, totalD, totalE;
    for (int s = 0; s < kRateSlots; ++s) {
      const bool flat = p.FlatWithVat[s] || p.FlatOnly[s];
      if (classes[s] == kRateUnused && !flat) continue;
      if (!t.Gross[s].empty()) {
        listA += Letter(s);
        listA += ',';
        totalA += AmountOf(t.Gross[s]);
      }
      if (p.FlatWithVat[s]) {
        listB += Letter(s);
        listB += "R,";
        totalB += p.FlatNet[s];
        totalD += p.FlatVat[s];
        listD += Letter(s);
        listD += "R,";
      }
      if (p.FlatOnly[s]) totalE += p.FlatNet[s];
      const bool labelled = !vatLabel(s).empty();
      if ((labelled && !t.Gross[s].empty()) || (labelled && p.FlatWithVat[s]) || classes[s] == kRateZero) {
        listC += Letter(s);
        listC += ',';
        totalC += AmountOf(t.Net[s]);
      }
    }
    if (!exempt.empty()) {
      for (int s = 0; s < kRateSlots; ++s) {
        const char l = Letter(s);
        if (t.SpareTexts[3].find(AnsiString(1, l) + ",") == AnsiString::npos) continue;
        if (listA.find(l) != AnsiString::npos) continue;
        listA += l;
        listA += ',';
      }
      // Keep the letters in slot order once the exempt ones have joined.
      AnsiString ordered;
      for (int s = 0; s < kRateSlots; ++s)
        if (listA.find(Letter(s)) != AnsiString::npos) {
          ordered += Letter(s);
          ordered += ',';
        }
      listA = ordered;
      totalA += AmountOf(t.SpareTexts[0]);
    }
    for (AnsiString* list : {&listA, &listB, &listC, &listD})
      if (!list->empty()) list->pop_back();
    AddLabelAmount("Suma PTU " + listC, totalC);
    if (totalD > TAmount{}) AddLabelAmount("Suma PTU " + listD, totalD);
    AddSeparator();
    if (totalB > TAmount{} || totalE > TAmount{}) {
      AddLabelValue("Należność:  "_cp + listA, " " + AmountToStr2(totalA + totalC));
      if (totalB > TAmount{}) AddLabelValue("Należność:  "_cp + listB, " " + AmountToStr2(totalD + totalB));
      if (totalE > TAmount{}) AddLabelValue("Należność:  R"_cp, " " + AmountToStr2(totalE));
    } else {
      AddLabelValue("Należność:  "_cp + listA, " " + AmountToStr2(AmountOf(t.GrossTotal)));
    }
  }

  AddLabelValue("Ilość paragonów:"_cp, t.ReceiptCount);
  if (HasInvoices) AddLabelValue("Ilość faktur:"_cp, t.InvoiceCount);
  if (PharmacyVersion) {
    AddSeparator();
    AddLabelAmount("Opłaty razem:"_cp, AmountOf(t.FeesTotal));
    if (t.PricingCount > 0) AddLabelValue("Ilość wycen:"_cp, std::to_string(t.PricingCount));
    if (t.VoidPricingCount > 0) AddLabelValue("Ilość anul. wycen:"_cp, std::to_string(t.VoidPricingCount));
  }
  if (CountOf(t.VoidCount) > 0) {
    AddSeparator();
    AddLabelAmount("Wart. anul. paragonów:"_cp, AmountOf(t.VoidValue));
    AddLabelValue("Ilość anul. paragonów:"_cp, t.VoidCount);
  }
  AddSeparator();
  resets += CountOf(t.ResetCount);
  goods += t.GoodsChanged == "TAK" ? 1 : CountOf(t.GoodsChanged);
}

}  // namespace quorvel
