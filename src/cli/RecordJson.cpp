#include "cli/RecordJson.h"

namespace quorvel::cli {

namespace {

template <std::size_t N>
json Texts(const std::array<AnsiString, N>& a) {
  json out = json::array();
  for (const auto& t : a) out.push_back(JsonText(t));
  return out;
}

}  // namespace

json RecordToJson(const RFMRecord& r) {
  json stats = {
      {"FirstDate", JsonDate(r.Stats.FirstDate)}, {"LastDate", JsonDate(r.Stats.LastDate)},
      {"FirstNo", r.Stats.FirstNo},               {"LastNo", r.Stats.LastNo},
      {"RatesInForce", Texts(r.Stats.RatesInForce)},
      {"RateClasses", std::vector<int>(r.Stats.RateClasses.begin(), r.Stats.RateClasses.end())},
  };
  json currency = {{"Name", JsonText(r.Currency.Name)},
                   {"StartDate", JsonDate(r.Currency.StartDate)},
                   {"ChangeDate", JsonDate(r.Currency.ChangeDate)}};
  json j = json::object();
  j["Kind"] = r.Kind;
  j["Stats"] = std::move(stats);
  j["Currency"] = std::move(currency);
  j["HeaderTokens"] = Texts(r.HeaderTokens);
  j["ReceiptCount"] = JsonText(r.ReceiptCount);
  j["InvoiceCount"] = JsonText(r.InvoiceCount);
  j["VoidCount"] = JsonText(r.VoidCount);
  j["PrinterText1"] = JsonText(r.PrinterText1);
  j["VoidValue"] = JsonText(r.VoidValue);
  j["PrinterText2"] = JsonText(r.PrinterText2);
  j["Gross"] = Texts(r.Gross);
  j["InvoiceGross"] = Texts(r.InvoiceGross);
  j["InvoiceNet"] = Texts(r.InvoiceNet);
  j["Net"] = Texts(r.Net);
  j["Rates"] = Texts(r.Rates);
  j["SpareText"] = JsonText(r.SpareText);
  j["CumVat"] = Texts(r.CumVat);
  j["CumInvoiceVat"] = Texts(r.CumInvoiceVat);
  j["InvoiceVatTotal"] = JsonText(r.InvoiceVatTotal);
  j["InvoiceGrossTotal"] = JsonText(r.InvoiceGrossTotal);
  j["ResetKind"] = JsonText(r.ResetKind);
  j["ResetNo"] = JsonText(r.ResetNo);
  j["ResetCount"] = JsonText(r.ResetCount);
  j["GoodsNotCleared"] = JsonText(r.GoodsNotCleared);
  j["SpareText2"] = JsonText(r.SpareText2);
  j["SpareText3"] = JsonText(r.SpareText3);
  j["GoodsChanged"] = JsonText(r.GoodsChanged);
  j["Number"] = JsonText(r.Number);
  j["PrintoutNumber"] = JsonText(r.PrintoutNumber);
  j["PrinterText3"] = JsonText(r.PrinterText3);
  j["PrinterText4"] = JsonText(r.PrinterText4);
  j["PrinterText5"] = JsonText(r.PrinterText5);
  j["DeviceText1"] = JsonText(r.DeviceText1);
  j["DeviceText2"] = JsonText(r.DeviceText2);
  j["DeviceText3"] = JsonText(r.DeviceText3);
  j["PrinterText6"] = JsonText(r.PrinterText6);
  j["PrinterText7"] = JsonText(r.PrinterText7);
  j["VatTotal"] = JsonText(r.VatTotal);
  j["GrossTotal"] = JsonText(r.GrossTotal);
  j["CumGross"] = JsonText(r.CumGross);
  j["CumVatTotal"] = JsonText(r.CumVatTotal);
  j["CumInvoiceGross"] = JsonText(r.CumInvoiceGross);
  j["CumInvoiceVatTotal"] = JsonText(r.CumInvoiceVatTotal);
  j["Date"] = JsonDate(r.Date);
  j["SpareTexts"] = Texts(r.SpareTexts);
  j["MediumNo"] = r.MediumNo;
  j["MediumClosedAt"] = JsonDate(r.MediumClosedAt);
  j["TaxSchemes"] = std::vector<int>(r.TaxSchemes.begin(), r.TaxSchemes.end());
  j["PricingCount"] = r.PricingCount;
  j["VoidPricingCount"] = r.VoidPricingCount;
  j["FeesTotal"] = JsonText(r.FeesTotal);
  return j;
}

}  // namespace quorvel::cli
