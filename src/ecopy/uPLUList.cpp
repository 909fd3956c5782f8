#include "ecopy/uPLUList.h"

#include "base/TextUtils.h"

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

}  // namespace quorvel
