#include <string>
#include <vector>

#include "base/Amount.h"
#include "base/Errors.h"
#include "base/TextUtils.h"
#include "cli/Commands.h"
#include "ecopy/uIDFile.h"

namespace quorvel::cli {

namespace {

json RateAmountsJson(const TRateAmountsList& list) {
  json out = json::array();
  for (const auto& p : list) out.push_back(json::array({AmountToStr2(p.First), AmountToStr2(p.Second)}));
  return out;
}

json EntryJson(int position, const TIDFileRecord& e) {
  json j = json::object();
  j["Card"] = position;
  j["CardLabel"] = e.CardLabel;
  j["UniqueNo"] = JsonText(e.UniqueNo);
  j["OpenedAt"] = JsonDate(e.OpenedAt);
  j["ReportDateFrom"] = JsonDate(e.ReportDateFrom);
  j["ReportDateTo"] = JsonDate(e.ReportDateTo);
  j["ReportNoFrom"] = e.ReportNoFrom;
  j["ReportNoTo"] = e.ReportNoTo;
  j["PrintoutDateFrom"] = JsonDate(e.PrintoutDateFrom);
  j["PrintoutDateTo"] = JsonDate(e.PrintoutDateTo);
  j["PrintoutNoFrom"] = e.PrintoutNoFrom;
  j["PrintoutNoTo"] = e.PrintoutNoTo;
  j["ReceiptDateFrom"] = JsonDate(e.ReceiptDateFrom);
  j["ReceiptDateTo"] = JsonDate(e.ReceiptDateTo);
  j["ReceiptNoFrom"] = e.ReceiptNoFrom;
  j["ReceiptNoTo"] = e.ReceiptNoTo;
  j["InvoiceDateFrom"] = JsonDate(e.InvoiceDateFrom);
  j["InvoiceDateTo"] = JsonDate(e.InvoiceDateTo);
  j["InvoiceNoFrom"] = e.InvoiceNoFrom;
  j["InvoiceNoTo"] = e.InvoiceNoTo;
  j["ClosedAt"] = JsonDate(e.ClosedAt);
  j["RateAmounts1"] = RateAmountsJson(e.RateAmounts1);
  j["RateAmounts2"] = RateAmountsJson(e.RateAmounts2);
  j["FileName"] = JsonText(e.FileName);
  j["FileContent"] = JsonText(e.FileContent);
  j["FileVersion"] = JsonText(e.FileVersion);
  j["DeviceType"] = JsonText(e.DeviceType);
  j["LineSize"] = e.LineSize;
  j["Device"] = JsonText(e.Device);
  j["ECopyVersion"] = JsonText(e.ECopyVersion);
  j["ECopyMedium"] = JsonText(e.ECopyMedium);
  j["CreatedAt"] = JsonDate(e.CreatedAt);
  j["HeaderSize"] = e.HeaderSize;
  j["SignatureN"] = JsonText(e.SignatureN);
  j["SignatureNP"] = JsonText(e.SignatureNP);
  return j;
}

std::string DateText(TDateTime d) { return d == 0 ? "-" : FormatDmyHm(d); }

void Load(TIDFileReader& reader, const std::string& file, bool append) {
  if (reader.LoadFromFile(PathArg(file), append)) return;
  if (reader.LastError.empty())
    throw EQuorvelError("Brak nośników w pliku karty "_cp + Utf8ToCp1250(file));
  throw EQuorvelError("Błędny plik karty "_cp + Utf8ToCp1250(file) + " (" + reader.LastError + ")");
}

}  // namespace

int CmdCards(const std::vector<std::string>& args, TCliContext& ctx) {
  TArgs a(args, {{"json", 0}, {"append", 1}});
  const std::string& file = a.Required(0, "FILE");
  a.ExpectAtMost(1);
  TIDFileReader reader;
  Load(reader, file, false);
  if (const auto second = a.Option("append")) Load(reader, *second, true);
  for (int k = 0; k < reader.Count(); ++k) {
    const TIDFileRecord& e = *reader.Items(k);
    if (a.Flag("json")) {
      WriteJsonLine(ctx.Out, EntryJson(k + 1, e));
    } else {
      WriteLine(ctx, Format("Karta nr %d\tEtykieta %d\tRaporty %d-%d\t%s\t%s", k + 1, e.CardLabel, e.ReportNoFrom,
                            e.ReportNoTo, DateText(e.ReportDateFrom).c_str(), DateText(e.ReportDateTo).c_str()));
    }
  }
  return 0;
}

}  // namespace quorvel::cli
