// A growable list of integers: the scan collects the indexes of matching lines in it.
#pragma once

#include <cstdint>
#include <vector>

namespace quorvel {

class TIntList {
 public:
  static constexpr int32_t kGrowBy = 100;

  TIntList() : Items(kGrowBy) {}

  void Add(int32_t value);
  // Raises EQuorvelError "TIntList: Index out of range" outside 0..Count-1.
  int32_t Get(int32_t index) const;
  // Forgets the values; the room stays.
  void Clear() { Count = 0; }
  int32_t Capacity() const { return static_cast<int32_t>(Items.size()); }

  std::vector<int32_t> Items;  // the room; the first Count values are held
  int32_t Count = 0;
};

}  // namespace quorvel
