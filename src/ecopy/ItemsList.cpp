#include "ecopy/ItemsList.h"

namespace quorvel {

TItem* TItemsList::AddItem(const AnsiString& name, const AnsiString& taxLetter) {
  items_.push_back(std::make_unique<TItem>(name, taxLetter));
  return items_.back().get();
}

TItem* TItemsList::Item(std::size_t index) const {
  return index < items_.size() ? items_[index].get() : nullptr;
}

}  // namespace quorvel
