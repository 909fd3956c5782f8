#include "archive/QVDDeviceInfo.h"
#include "base/Errors.h"
#include "base/TextUtils.h"
#include "cli/Commands.h"

namespace quorvel::cli {

namespace {

// The header's fields in file order, each as a text and a JSON value.
struct THeaderRow {
  const char* Name;
  std::string Text;
  json Json;
};

std::vector<THeaderRow> Rows(const TReportFileHeader& h) {
  auto t = [](const char* n, const AnsiString& v) { return THeaderRow{n, v, JsonText(v)}; };
  auto i = [](const char* n, int32_t v) { return THeaderRow{n, Format("%d", v), v}; };
  auto d = [](const char* n, TDateTime v) { return THeaderRow{n, v == 0 ? "" : FormatDmyHm(v), JsonDate(v)}; };
  return {
      t("FileName", h.FileName), t("Content", h.Content), t("FileVersion", h.FileVersion),
      t("DeviceType", h.DeviceType), i("LineSize", h.LineSize), t("Device", h.Device),
      t("UniqueNo", h.UniqueNo), t("ECopyVersion", h.ECopyVersion), t("ECopyMedium", h.ECopyMedium),
      d("Created", h.Created), i("ReportNo", h.ReportNo), d("ReportDate", h.ReportDate),
      d("PrintoutDateFrom", h.PrintoutDateFrom), d("PrintoutDateTo", h.PrintoutDateTo),
      i("PrintoutNoFrom", h.PrintoutNoFrom), i("PrintoutNoTo", h.PrintoutNoTo),
      d("ReceiptDateFrom", h.ReceiptDateFrom), d("ReceiptDateTo", h.ReceiptDateTo),
      i("ReceiptNoFrom", h.ReceiptNoFrom), i("ReceiptNoTo", h.ReceiptNoTo),
      d("InvoiceDateFrom", h.InvoiceDateFrom), d("InvoiceDateTo", h.InvoiceDateTo),
      i("InvoiceNoFrom", h.InvoiceNoFrom), i("InvoiceNoTo", h.InvoiceNoTo),
      i("ResetNoFrom", h.ResetNoFrom), i("ResetNoTo", h.ResetNoTo), i("HeaderSize", h.HeaderSize),
      i("LabelSize", h.LabelSize), i("DataOffset", h.DataOffset), i("DataSize", h.DataSize),
      i("TocOffset", h.TocOffset), i("TocSize", h.TocSize), t("SignatureN", h.SignatureN),
      t("SignatureNP", h.SignatureNP),
  };
}

}  // namespace

int CmdHeader(const std::vector<std::string>& args, TCliContext& ctx) {
  TArgs a(args, {{"json", 0}});
  const std::string& file = a.Required(0, "FILE");
  a.ExpectAtMost(1);
  TReportFileHeader h;
  if (!ReadReportFileHeader(PathArg(file), h))
    throw EQuorvelError("Błędny nagłówek pliku "_cp + Utf8ToCp1250(file));
  if (a.Flag("json")) {
    json out = json::object();
    for (auto& r : Rows(h)) out[r.Name] = std::move(r.Json);
    ctx.Out << out.dump(2) << '\n';
  } else {
    for (const auto& r : Rows(h)) {
      ctx.Out << r.Name << ": ";
      WriteLine(ctx, r.Text);
    }
  }
  return 0;
}

}  // namespace quorvel::cli
