#include "reports/uDailyReportFormatter.h"

#include <filesystem>

#include "base/Errors.h"
#include "base/FileUtils.h"
#include "base/TextUtils.h"

namespace quorvel {

namespace {

constexpr TAmount kExempt1 = {989900};
constexpr TAmount kExempt2 = {1000000};
constexpr TAmount kInactive1 = {999900};
constexpr TAmount kInactive2 = {1010000};

// Wide enough for gross × 10000 whatever the gross.
__extension__ typedef __int128 TWide;

char Letter(int slot) { return static_cast<char>('A' + slot); }

int32_t CountOf(std::string_view text) { return StrToIntDef(Trim(text), 0); }

bool RateEquals(std::string_view rate, TAmount a, TAmount b) {
  TAmount v;
  if (!TryParseAmount(rate, v)) return false;
  return v == a || v == b;
}

}  // namespace

bool IsExemptRate(std::string_view rate) { return RateEquals(rate, kExempt1, kExempt2); }

bool IsInactiveRate(std::string_view rate) {
  return IsBlankText(rate) || RateEquals(rate, kInactive1, kInactive2);
}

bool IsZeroRate(std::string_view rate) {
  TAmount v;
  return TryParseAmount(rate, v) && v.IsZero();
}

TAmount StrictAmount(std::string_view text) {
  TAmount v;
  if (!TryParseAmount(text, v))
    throw EConvertError(AnsiString("'") + AnsiString(text) + AnsiString("' nie jest poprawną kwotą"_cp));
  return v;
}

uint8_t NextRateClass(uint8_t oldClass, std::string_view newRate, std::string_view inForce) {
  const bool exempt = IsExemptRate(newRate);
  const bool zero = IsZeroRate(newRate);
  const bool inactive = IsInactiveRate(newRate);
  const bool equal = newRate == inForce;
  switch (oldClass) {
    case kRateUnused:
      if (inactive) return kRateUnused;
      if (zero) return kRateZero;
      if (exempt) return kRateExempt;
      return kRateTaxable;
    case kRateTaxable:
      if (exempt) return kRateTaxable;
      if (zero) return kRateMixed;
      if (inactive) return kRateTaxable;
      return equal ? kRateTaxable : kRateMixed;
    case kRateExempt:
      if (exempt || inactive) return kRateExempt;
      if (zero) return kRateZero;
      return kRateTaxable;
    case kRateZero:
      if (exempt || zero || inactive) return kRateZero;
      return kRateMixed;
    default:
      return kRateMixed;
  }
}

void TDailyReportFormatter::Clear() {
  LineCount = 0;
  Records.clear();
  Lines.clear();
  PendingLines.clear();
  ResetRecordCount = 0;
}

void TDailyReportFormatter::AddRecord(const RFMRecord& record) {
  if (record.Kind == kKindRamReset) ++ResetRecordCount;
  Records.push_back(std::make_unique<TFiscalRecord>(record));
}

void TDailyReportFormatter::ApplyRateChange(RFMRecord& record) {
  static const AnsiString kMix = "mix";
  for (int s = 0; s < kRateSlots; ++s) {
    const AnsiString& fresh = record.Rates[s];
    const AnsiString& old = record.Stats.RatesInForce[s];
    // Only for comparing: a plain "0" counts as the exempt marker.
    const AnsiString newCmp = fresh == "0" ? AnsiString("98.99") : fresh;
    const AnsiString oldCmp = old == "0" ? AnsiString("98.99") : old;
    AnsiString inForce;
    if (old == kMix) inForce = kMix;
    else if (IsInactiveRate(oldCmp) || IsExemptRate(oldCmp)) inForce = fresh;
    else if (oldCmp == newCmp) inForce = fresh;
    else inForce = kMix;
    record.Stats.RateClasses[s] = NextRateClass(record.Stats.RateClasses[s], fresh, inForce);
    record.Stats.RatesInForce[s] = inForce;
  }
}

// ---- line primitives ----

void TDailyReportFormatter::AddPlain(std::string_view text, bool pending) { Target(pending).emplace_back(text); }

void TDailyReportFormatter::AddSeparator(bool pending) {
  Target(pending).push_back(AnsiString(LineLen > 0 ? static_cast<std::size_t>(LineLen) : 0, '~'));
}

void TDailyReportFormatter::AddCentred(std::string_view text, bool pending) {
  const int pad = (LineLen - static_cast<int>(text.size())) / 2;
  AnsiString line;
  if (pad > 0) line.assign(static_cast<std::size_t>(pad), ' ');
  line += text;
  Target(pending).push_back(std::move(line));
}

void TDailyReportFormatter::AddLabelValue(std::string_view label, std::string_view value, bool pending) {
  AnsiString line(label);
  const int used = static_cast<int>(label.size() + value.size());
  if (used < LineLen) line.append(static_cast<std::size_t>(LineLen - used), ' ');
  line += value;
  Target(pending).push_back(std::move(line));
}

void TDailyReportFormatter::AddLabelAmount(std::string_view label, TAmount amount, bool pending) {
  AddLabelValue(label, AmountToStr2(amount), pending);
}

std::string TDailyReportFormatter::JoinLines(const TStringList& lines) {
  std::size_t size = 0;
  for (const auto& l : lines) size += l.size() + 2;
  std::string out;
  out.reserve(size);
  for (const auto& l : lines) {
    out += l;
    out += "\r\n";
  }
  return out;
}

void TDailyReportFormatter::SaveLines(const TStringList& lines, const std::string& file) {
  const std::string bytes = JoinLines(lines);
  // Opening a directory again rewrites thousands of daily texts with the same content; reading
  // and comparing is far cheaper than a new file and a rename each.
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  if (!ec && size == bytes.size()) {
    std::string old;
    try {
      old = ReadFilePrefix(file, bytes.size() + 1);
    } catch (const std::exception&) {
      old.clear();
    }
    if (old == bytes) return;
  }
  WriteFileAtomic(file, bytes);
}

// ---- slot arithmetic and labels ----

void TDailyReportFormatter::SplitGross(int32_t scheme, std::string_view rate, TAmount gross, TAmount& net,
                                       TAmount& vat) const {
  if ((TaxiVersion && scheme == 4) || IsExemptRate(rate)) {
    net = gross;
    vat = {};
    return;
  }
  const TAmount r = StrictAmount(rate);
  // net cents = gross * 100 / (rate + 100), worked out exactly and rounded half to even.
  const TWide num = static_cast<TWide>(gross.Value) * 10000;
  const TWide den = static_cast<TWide>(r.Value) + 1000000;
  if (den <= 0) throw EConvertError(AnsiString("'") + AnsiString(rate) + AnsiString("' nie jest poprawną stawką"_cp));
  const bool negative = num < 0;
  const TWide a = negative ? -num : num;
  TWide q = a / den;
  const TWide rem = a % den;
  if (rem * 2 > den || (rem * 2 == den && (q & 1))) ++q;
  const int64_t cents = static_cast<int64_t>(negative ? -q : q);
  net = TAmount::FromCents(cents);
  vat = gross - net;
}

AnsiString TDailyReportFormatter::RateLabel(int32_t scheme, std::string_view rate) const {
  if (rate.empty()) return {};
  if (TaxiVersion && scheme == 4) return AnsiString("RYCZAŁT"_cp);
  if (IsExemptRate(rate)) return "SP.ZW.PTU";
  if (IsInactiveRate(rate)) return {};
  return AmountToStr2(StrictAmount(rate)) + "%";
}

AnsiString TDailyReportFormatter::SalesLabel(int slot, int32_t scheme, std::string_view rate, bool invoice) const {
  if (TaxiVersion && scheme == 4) return "SP.OP.R";
  AnsiString label = IsExemptRate(rate) ? "SP.ZW." : "SP.OP.";
  label += Letter(slot);
  if (invoice) label += "FV";
  if (TaxiVersion && scheme == 3) label += "R-ryczałt"_cp;
  return label;
}

AnsiString TDailyReportFormatter::RateLineLabel(int slot, int32_t scheme, std::string_view rate) const {
  if (TaxiVersion && scheme == 4) return "R";
  AnsiString label = IsExemptRate(rate) ? AnsiString(1, Letter(slot)) : AnsiString("PTU ") + Letter(slot);
  if (TaxiVersion && scheme == 3) label += "R-ryczałt"_cp;
  return label;
}

AnsiString TDailyReportFormatter::VatLineLabel(int slot, int32_t scheme) const {
  if (TaxiVersion && scheme == 4) return "Kwota R";
  AnsiString label = AnsiString("Kwota PTU ") + Letter(slot);
  if (TaxiVersion && scheme == 3) label += "R";
  return label;
}

// ---- the daily report body ----

void TDailyReportFormatter::RenderDailyReport(const RFMRecord& r, bool withRateTable, TDateTime currencyChangeDate,
                                              std::string_view currencyName) {
  auto counted = [this] { ++LineCount; };
  const auto scheme = [&r](int s) { return r.TaxSchemes[s]; };
  const auto hasSale = [&r](const TRateTexts& values, int s) {
    return !values[s].empty() && !r.Rates[s].empty() && !IsInactiveRate(r.Rates[s]);
  };

  // 1. The rate table.
  if (withRateTable) {
    for (int s = 0; s < kRateSlots; ++s) {
      const AnsiString value = RateLabel(scheme(s), r.Rates[s]);
      if (!value.empty()) {
        AddLabelValue(RateLineLabel(s, scheme(s), r.Rates[s]), value);
        counted();
      }
    }
    AddSeparator();
  }

  // 2. Fiscalisation.
  if (CountOf(r.Number) == 1) {
    AddCentred("FISKALIZACJA");
    AddPlain(FormatDmyHm(r.Date));
    AddSeparator();
    LineCount += 2;
  }

  // 3. A currency change waiting for this report.
  if (currencyChangeDate != kNoChangeDate) {
    AddCentred("ZMIANA WALUTY");
    AddLabelValue(FormatDmy(currencyChangeDate), AnsiString("Waluta: ") + AnsiString(currencyName));
    LineCount += 2;
    AddSeparator();
  }

  // 4. Date and number.
  AddLabelValue(FormatDmy(r.Date), "Nr raportu:  " + Format("%4.4d", CountOf(r.Number)));
  counted();
  AddSeparator();
  counted();

  // 5. Sales.
  const auto salesLine = [&](int s) {
    TAmount net, vat;
    SplitGross(scheme(s), r.Rates[s], StrictAmount(r.Gross[s]), net, vat);
    AddLabelAmount(SalesLabel(s, scheme(s), r.Rates[s], false), net);
    counted();
  };
  if (!TaxiVersion) {
    for (int s = 0; s < kRateSlots; ++s)
      if (hasSale(r.Gross, s)) salesLine(s);
  } else {
    for (int s = 0; s < kRateSlots; ++s)
      if (hasSale(r.Gross, s) && scheme(s) <= 2 && !IsExemptRate(r.Rates[s])) salesLine(s);
    for (int s = 0; s < kRateSlots; ++s)
      if (hasSale(r.Gross, s) && (scheme(s) == 3 || scheme(s) == 4)) salesLine(s);
    for (int s = 0; s < kRateSlots; ++s)
      if (hasSale(r.Gross, s) && scheme(s) != 3 && scheme(s) != 4 && IsExemptRate(r.Rates[s])) salesLine(s);
  }

  // 6. Invoice sales.
  if (HasInvoices) {
    for (int s = 0; s < kRateSlots; ++s) {
      if (!hasSale(r.InvoiceGross, s)) continue;
      TAmount net, vat;
      SplitGross(scheme(s), r.Rates[s], StrictAmount(r.InvoiceGross[s]), net, vat);
      AddLabelAmount(SalesLabel(s, scheme(s), r.Rates[s], true), net);
      counted();
    }
  }

  // 7. VAT lines.
  const auto hasVat = [&](const TRateTexts& values, int s) {
    const AnsiString& rate = r.Rates[s];
    return !values[s].empty() && !rate.empty() && Trim(rate) != "0" && !IsExemptOrZeroRate(rate) &&
           !IsInactiveRate(rate);
  };
  const auto vatLine = [&](const TRateTexts& values, int s, const AnsiString& label) {
    TAmount net, vat;
    SplitGross(scheme(s), r.Rates[s], StrictAmount(values[s]), net, vat);
    AddLabelAmount(label, vat);
    counted();
  };
  if (!TaxiVersion) {
    for (int s = 0; s < kRateSlots; ++s)
      if (hasVat(r.Gross, s)) vatLine(r.Gross, s, VatLineLabel(s, scheme(s)));
  } else {
    for (int s = 0; s < kRateSlots; ++s)
      if (hasVat(r.Gross, s) && scheme(s) <= 2) vatLine(r.Gross, s, VatLineLabel(s, scheme(s)));
    for (int s = 0; s < kRateSlots; ++s)
      if (hasVat(r.Gross, s) && scheme(s) == 3) vatLine(r.Gross, s, VatLineLabel(s, scheme(s)));
  }

  // 8. Invoice VAT lines, labelled like the plain ones.
  if (HasInvoices) {
    for (int s = 0; s < kRateSlots; ++s)
      if (hasVat(r.InvoiceGross, s) && !(TaxiVersion && scheme(s) == 4))
        vatLine(r.InvoiceGross, s, AnsiString("Kwota PTU ") + Letter(s));
  }

  const AnsiString currency(currencyName);
  if (!TaxiVersion) {
    // 9. Totals.
    AddLabelAmount("Suma PTU:", AmountOf(r.InvoiceVatTotal) + StrictAmount(r.VatTotal));
    counted();
    AddSeparator();
    AddLabelValue("Należność:"_cp, currency + " " + AmountToStr2(AmountOf(r.InvoiceGrossTotal) + StrictAmount(r.GrossTotal)));
    counted();
  } else {
    // 10. Totals of the taxi version: ordinary and flat-rate slots apart.
    TAmount totalA, totalB, totalC, totalD;
    AnsiString listA, listB, listC, listD;
    for (int s = 0; s < kRateSlots; ++s) {
      if (!hasSale(r.Gross, s)) continue;
      const TAmount gross = StrictAmount(r.Gross[s]);
      TAmount net, vat;
      SplitGross(scheme(s), r.Rates[s], gross, net, vat);
      if (scheme(s) < 3) {
        totalA += gross;
        listA += Letter(s);
        listA += ',';
        if (!IsExemptRate(r.Rates[s])) {
          totalC += vat;
          listC += Letter(s);
          listC += ',';
        }
      } else {
        totalB += gross;
        if (scheme(s) == 3) listB += Letter(s);
        listB += "R,";
        totalD += vat;
        listD += Letter(s);
        listD += "R,";
      }
    }
    for (AnsiString* list : {&listA, &listB, &listC, &listD})
      if (!list->empty()) list->pop_back();
    AddLabelAmount("Suma PTU " + listC, totalC);
    counted();
    if (totalD > TAmount{}) {
      AddLabelAmount("Suma PTU " + listD, totalD);
      counted();
    }
    AddSeparator();
    counted();
    if (totalB > TAmount{}) {
      AddLabelValue("Należność:  "_cp + listA, currency + " " + AmountToStr2(totalA));
      AddLabelValue("Należność:  "_cp + listB, currency + " " + AmountToStr2(totalB));
      LineCount += 2;
    } else {
      AddLabelValue("Należność:  "_cp + listA, currency + " " + AmountToStr2(StrictAmount(r.GrossTotal)));
      counted();
    }
  }

  // 11. Counts.
  AddLabelValue("Ilość paragonów:"_cp, r.ReceiptCount);
  counted();
  if (HasInvoices) {
    AddLabelValue("Ilość faktur:"_cp, r.InvoiceCount);
    counted();
  }

  // 12. Pharmacy totals.
  if (PharmacyVersion) {
    AddSeparator();
    counted();
    AddLabelAmount("Opłaty razem:"_cp, AmountOf(r.FeesTotal));
    counted();
    if (r.PricingCount > 0) {
      AddLabelValue("Ilość wycen:"_cp, std::to_string(r.PricingCount));
      counted();
    }
    if (r.VoidPricingCount > 0) {
      AddLabelValue("Ilość anul. wycen:"_cp, std::to_string(r.VoidPricingCount));
      counted();
    }
  }

  // 13. Cumulative totals.
  if (HasTotals) {
    AddSeparator();
    counted();
    AddCentred("NARASTAJĄCO"_cp);
    counted();
    for (int s = 0; s < kRateSlots; ++s)
      if (!IsBlankText(r.CumVat[s])) {
        AddLabelAmount(AnsiString("Kwota PTU ") + Letter(s), StrictAmount(r.CumVat[s]));
        counted();
      }
    if (HasInvoices)
      for (int s = 0; s < kRateSlots; ++s)
        if (!IsBlankText(r.CumInvoiceVat[s])) {
          AddLabelAmount(AnsiString("Kwota PTU ") + Letter(s) + "FV", StrictAmount(r.CumInvoiceVat[s]));
          counted();
        }
    AddLabelAmount("Suma PTU:", AmountOf(r.CumVatTotal) + AmountOf(r.CumInvoiceVatTotal));
    counted();
    AddLabelValue("Należność:"_cp, currency + " " + AmountToStr2(AmountOf(r.CumGross) + AmountOf(r.CumInvoiceGross)));
    counted();
  }

  // 14. Cancelled receipts.
  if (CountOf(r.VoidCount) > 0) {
    AddSeparator();
    counted();
    AddLabelAmount("Wart. anul. paragonów:"_cp, StrictAmount(r.VoidValue));
    counted();
    AddLabelValue("Ilość anul. paragonów:"_cp, r.VoidCount);
    counted();
  }

  // 15. Changes of the goods database.
  if (!r.GoodsChanged.empty()) {
    AddSeparator();
    counted();
    if (r.GoodsChanged == "TAK") AddPlain("Wykonano zmiany w bazie tow.");
    else AddLabelValue("Wykonano zmiany w bazie tow.:", r.GoodsChanged);
    counted();
  }

  // 16.
  AddSeparator();
  counted();
  ReportOpen = true;
  LastRecord = r;
}

void TDailyReportFormatter::RenderFooter() {
  if (ReportOpen) {
    AddLabelValue("Ilość pozycji:"_cp, std::to_string(LineCount));
    AddSeparator();
    LineCount = 0;
  }
  ReportOpen = false;
}

// ---- event blocks ----

void TDailyReportFormatter::RenderRamReset(const RFMRecord& r) {
  AddCentred("ZEROWANIE PAMIĘCI RAM"_cp, true);
  AddSeparator(true);
  AddPlain(FormatDmyHm(r.Date), true);
  AddPlain("Numer: " + r.ResetNo, true);
  if (r.ResetKind == "1") AddPlain("Wewnętrzne"_cp, true);
  else if (r.ResetKind == "2") AddPlain("Zewnętrzne"_cp, true);
  else AddPlain(r.ResetKind, true);
  if (!r.GoodsNotCleared.empty()) {
    AddPlain("Baza Tow. niezerowana", true);
    ++LineCount;
  }
  LineCount += 4;
  AddSeparator(true);
}

void TDailyReportFormatter::RenderMediumClosing(const RFMRecord& r) {
  AddCentred("ZAMKNIĘCIE NOŚNIKA"_cp);
  AddLabelValue(FormatDmyHm(r.MediumClosedAt), "Nr nośnika: "_cp + std::to_string(r.MediumNo));
  AddSeparator();
}

void TDailyReportFormatter::RenderCurrencyChange(const RFMRecord& r) {
  AddCentred("ZMIANA WALUTY");
  AddLabelValue(FormatDmy(r.Currency.ChangeDate), "Waluta: " + r.Currency.Name);
  LineCount += 2;
  AddSeparator();
}

void TDailyReportFormatter::RenderRateChange(const RFMRecord& r) {
  if (FirstRateBlock) {
    AddSeparator();
    AddLabelValue(FormatDmy(r.Date), "POCZ. WAR. ST.");
  } else {
    AddLabelValue(FormatDmy(r.Date), "ZMIANA STAWEK PTU");
  }
  AddSeparator();
  FirstRateBlock = false;
  for (int s = 0; s < kRateSlots; ++s) {
    const int32_t scheme = r.TaxSchemes[s];
    const AnsiString value = RateLabel(scheme, r.Rates[s]);
    if (value.empty()) continue;
    AnsiString label;
    if (s == 0) {
      label = "PTU A";
      if (TaxiVersion && scheme == 3) label += "R-ryczałt"_cp;
      else if (TaxiVersion && scheme == 4) label += "R";
    } else if (s <= 4) {
      label = AnsiString("PTU ") + Letter(s);
    } else {
      label = RateLineLabel(s, scheme, r.Rates[s]);
    }
    AddLabelValue(label, value);
    ++LineCount;
  }
  AddSeparator();
}

// ---- the archive's files ----

void TDailyReportFormatter::WriteDailyReports() {
  Lines.clear();
  // A RAM reset after the last report of an earlier range build would otherwise land in the
  // first daily report here.
  PendingLines.clear();
  FirstRateBlock = true;
  LineCount = 0;
  TDateTime pendingChange = kNoChangeDate;
  AnsiString currency = "PLN";
  bool rendered = false;
  bool saved = false;  // Lines already stand in the file of the last report
  const std::string dir = IncludeTrailingSeparator(DailyDir);
  const auto fileOf = [&dir](int32_t no) { return dir + Format("%4.4d.txt", no); };

  for (const auto& holder : Records) {
    const RFMRecord& r = holder->Record;
    if (IsDailyReportKind(r.Kind)) {
      if (rendered) {
        if (!saved) SaveLines(Lines, fileOf(CountOf(LastRecord.Number)));
        Lines.clear();
      }
      saved = false;
      AddPlain("NIP: " + NIP);
      AddPlain(FormatDmy(r.Date));
      AddSeparator();
      AddCentred("RAPORT FISKALNY DOBOWY");
      AddSeparator();
      RenderDailyReport(r, true, pendingChange, currency);
      rendered = true;
      pendingChange = kNoChangeDate;
      Lines.insert(Lines.end(), PendingLines.begin(), PendingLines.end());
      PendingLines.clear();
      RenderFooter();
      const int32_t no = CountOf(r.Number);
      if (no != 0) {
        AddCentred("");
        AddCentred("");
        AddCentred(UniqueNo);
        SaveLines(Lines, fileOf(no));
        saved = true;
      }
    } else if (r.Kind == kKindRamReset) {
      RenderRamReset(r);
    } else if (r.Kind == kKindCurrencyChange) {
      pendingChange = r.Date;
      currency = r.Currency.Name;
    } else if (r.Kind == kKindCurrencyNoDate) {
      currency = r.Currency.Name;
    }
  }
}

void TDailyReportFormatter::BuildArchiveReports(const std::string& directory, bool detailed) {
  DailyDir = directory;
  BuildRangeReport(RangeByNumber, "", "", detailed);
  WriteDailyReports();
}

}  // namespace quorvel
