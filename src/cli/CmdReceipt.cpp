#include "archive/PrintoutScanner.h"
#include "base/Errors.h"
#include "base/TextUtils.h"
#include "cli/Commands.h"
#include "ecopy/uReceipt.h"

namespace quorvel::cli {

namespace {

std::string DateText(TDateTime v) { return v == 0 ? "" : FormatDmyHm(v); }

}  // namespace

// The receipt model filled from one printout of a file, and its verification text.
int CmdReceipt(const std::vector<std::string>& args, TCliContext& ctx) {
  TArgs a(args, {{"json", 0}});
  const std::string& file = a.Required(0, "FILE");
  int32_t number = 0;
  if (!TryStrToInt(a.Required(1, "PRINTOUTNO"), number) || number < 0)
    throw TUsageError("PRINTOUTNO to numer wydruku");
  a.ExpectAtMost(2);

  TSearchRec criteria;
  criteria.PrintoutNoFrom = criteria.PrintoutNoTo = number;
  criteria.StopAtFirst = true;
  TReceipt receipt;
  TReceiptFiller filler(receipt);
  TRcpData found;
  const bool hit = ScanPrintouts(
      criteria, PathArg(file), [&found](const TRcpData& rec, int32_t) { found = rec; }, &filler);
  if (!hit) throw EQuorvelError(Format("Nie znaleziono wydruku nr %d w pliku %s", number, Utf8ToCp1250(file).c_str()));

  const TReceiptText text = BuildReceiptText(receipt);
  if (a.Flag("json")) {
    json items = json::array();
    for (const auto& item : receipt.Items)
      items.push_back({{"Name", JsonText(item->Name)},
                       {"VatSymbol", JsonText(item->VatSymbol)},
                       {"Quantity", CurrToStr(item->Quantity)}});
    json out = {{"PrintoutNo", found.PrintoutNo}, {"RCPNo", found.DocNo},
                {"StartLine", found.StartLine},   {"EndLine", found.EndLine},
                {"DocType", receipt.DocType},     {"Items", items},
                {"VatTotal", AmountToStr2(receipt.VatTotal)},
                {"Total", AmountToStr2(receipt.Total)},
                {"ControlNo", JsonText(receipt.ControlNo)},
                {"IssuedAt", JsonDate(receipt.IssuedAt)},
                {"UniqueNo", JsonText(receipt.UniqueNo)},
                {"SaleDate", JsonDate(receipt.SaleDate)},
                {"Text", text.Ok ? JsonText(text.Text) : json(nullptr)}};
    if (!text.Ok) out["Error"] = JsonText(text.Message);
    ctx.Out << out.dump(2) << '\n';
  } else {
    ctx.Out << "PrintoutNo: " << found.PrintoutNo << "\nRCPNo: " << found.DocNo << "\nDocType: " << receipt.DocType
            << '\n';
    for (const auto& item : receipt.Items) {
      ctx.Out << "Item: ";
      WriteLine(ctx, item->Name + "\t" + item->VatSymbol + "\t" + CurrToStr(item->Quantity));
    }
    ctx.Out << "VatTotal: " << AmountToStr2(receipt.VatTotal) << "\nTotal: " << AmountToStr2(receipt.Total)
            << "\nControlNo: ";
    WriteLine(ctx, receipt.ControlNo);
    ctx.Out << "IssuedAt: " << DateText(receipt.IssuedAt) << "\nUniqueNo: ";
    WriteLine(ctx, receipt.UniqueNo);
    ctx.Out << "SaleDate: " << DateText(receipt.SaleDate) << '\n';
    if (text.Ok) {
      ctx.Out << "Text: ";
      WriteLine(ctx, text.Text);
    }
  }
  if (!text.Ok) throw EQuorvelError(text.Title + ": " + text.Message);
  return 0;
}

}  // namespace quorvel::cli
