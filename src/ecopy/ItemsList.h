// The goods a printout search asks for: a name and an optional VAT letter each.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "base/Cp1250.h"

namespace quorvel {

class TItem {
 public:
  TItem() = default;
  TItem(AnsiString name, AnsiString taxLetter) : Name(std::move(name)), TaxLetter(std::move(taxLetter)) {}

  AnsiString Name;
  AnsiString TaxLetter;  // empty: any letter
};

// Owns its items; freeing the list frees them.
class TItemsList {
 public:
  TItem* AddItem(const AnsiString& name, const AnsiString& taxLetter);
  // The item at `index`, or nullptr when the index is not below the count.
  TItem* Item(std::size_t index) const;
  std::size_t Count() const { return items_.size(); }
  bool Empty() const { return items_.empty(); }
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TItem>> items_;
};

}  // namespace quorvel
