#include "cli/SearchOptions.h"

#include "base/Cp1250.h"
#include "base/DateTime.h"
#include "base/TextUtils.h"

namespace quorvel::cli {

namespace {

int32_t NumberOption(const TArgs& args, std::string_view name) {
  const auto v = args.IntOption(name);
  if (!v) return -1;
  if (*v < 0) throw TUsageError("opcja --" + std::string(name) + " wymaga liczby nieujemnej");
  return *v;
}

TDateTime DateOption(const TArgs& args, std::string_view name) {
  const auto v = args.Option(name);
  if (!v) return 0;
  TDateTime d = 0;
  if (v->size() != 10 || !TryParseDmy(*v, d))
    throw TUsageError("opcja --" + std::string(name) + " wymaga daty dd-mm-yyyy: " + *v);
  return d;
}

int32_t DocKindOf(const std::string& type) {
  if (type == "paragon") return kPrintoutReceipt;
  if (type == "faktura") return kPrintoutInvoice;
  if (type == "apteczny") return kPrintoutPharmacy;
  if (type == "paragony") return kDocKindReceipts;
  if (type == "wszystkie") return kDocKindAll;
  throw TUsageError("opcja --type: paragon, faktura, apteczny, paragony albo wszystkie");
}

}  // namespace

TSearchRec SearchCriteria(const TArgs& args) {
  TSearchRec c;
  c.PrintoutNoFrom = NumberOption(args, "printout-from");
  c.PrintoutNoTo = NumberOption(args, "printout-to");
  c.DocNoFrom = NumberOption(args, "doc-from");
  c.DocNoTo = NumberOption(args, "doc-to");
  c.DocKind = DocKindOf(args.Option("type").value_or("wszystkie"));
  if (const auto t = args.Option("text")) c.Text = Utf8ToCp1250(*t);
  if (const auto t = args.Option("tax-letter")) c.TaxLetter = Utf8ToCp1250(*t);
  c.DateFrom = DateOption(args, "date-from");
  c.DateTo = DateOption(args, "date-to");
  for (const auto& item : args.Options("item")) {
    // NAME[:LETTER]: the letter is what follows the last colon when it is one character long.
    const std::size_t colon = item.rfind(':');
    if (colon != std::string::npos && item.size() - colon - 1 <= 1 && colon > 0)
      c.Items.push_back({Utf8ToCp1250(item.substr(0, colon)), Utf8ToCp1250(item.substr(colon + 1))});
    else
      c.Items.push_back({Utf8ToCp1250(item), {}});
  }
  return c;
}

}  // namespace quorvel::cli
