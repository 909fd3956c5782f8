#include "ecopy/uIntList.h"

#include "base/Errors.h"

namespace quorvel {

void TIntList::Add(int32_t value) {
  if (Count >= Capacity()) Items.resize(Items.size() + kGrowBy);
  Items[static_cast<std::size_t>(Count++)] = value;
}

int32_t TIntList::Get(int32_t index) const {
  if (index < 0 || index >= Count) throw EQuorvelError("TIntList: Index out of range");
  return Items[static_cast<std::size_t>(index)];
}

}  // namespace quorvel
