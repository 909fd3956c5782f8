#include "ecopy/uPLUList.h"

#include "base/TextUtils.h"
#include "ecopy/uDailyReportExtractor.h"
#include "ecopy/uReceipt.h"

namespace quorvel {

void TPLUList::Add(const AnsiString& name, TAmount quantity) { Items[name] += quantity; }

std::string QuantityText(TAmount quantity) {
  std::string text = AmountToStr2(quantity);
  for (char& c : text)
    if (c == '.') c = ',';
  return text;
}

AnsiString TPLUList::InventoryLine(const AnsiString& name, TAmount quantity) {
  const std::string q = QuantityText(quantity);
  if (name.size() + q.size() >= kLineWidth) return name + ": " + q;
  return PadRight(name, kLineWidth - q.size()) + q;
}

void TPLUList::ToLines(std::vector<AnsiString>& lines) const {
  lines.clear();
  lines.reserve(Items.size());
  for (const auto& [name, quantity] : Items) lines.push_back(InventoryLine(name, quantity));
}

void BuildInventory(TRCPSet& printouts, TPLUList& inventory) {
  printouts.SortBy("PrintoutNo", true);
  TSearchRec criteria;
  criteria.DocKind = kDocKindAll;
  TReceipt receipt;
  TDailyReportExtractor extractor;
  std::string buffer;
  bool first = true;
  int32_t previous = 0;
  for (const TRCPSetRow& row : printouts) {
    if (!first && row.PrintoutNo == previous) continue;
    first = false;
    previous = row.PrintoutNo;
    receipt.Clear();
    criteria.PrintoutNoFrom = row.PrintoutNo;
    criteria.PrintoutNoTo = row.PrintoutNo;
    bool found = false;
    extractor.ScanPrintouts(criteria, std::filesystem::path(row.File),
                            [&found](const TRcpData&, int32_t) { found = true; }, &receipt, nullptr, &buffer);
    if (!found) continue;
    for (const auto& item : receipt.Items) inventory.Add(item->Name, item->Quantity);
  }
}

bool InventoryLines(TRCPSet& printouts, TUserPrompts& prompts, std::vector<AnsiString>& lines) {
  TPLUList inventory;
  BuildInventory(printouts, inventory);
  if (inventory.Count() == 0) {
    prompts.ShowMessage("Brak danych", "Brak danych", TMessageKind::Information);
    lines.clear();
    return false;
  }
  inventory.ToLines(lines);
  return true;
}

}  // namespace quorvel
