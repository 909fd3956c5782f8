// The inventory: the total quantity sold of each goods name, printed as "Lista Towarów".
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "archive/PrintoutIndex.h"
#include "base/Amount.h"
#include "base/Cp1250.h"
#include "base/UserPrompts.h"

namespace quorvel {

class TPLUList {
 public:
  // Width of an inventory line: the quantity ends in this column.
  static constexpr std::size_t kLineWidth = 48;

  // Adds to the name's total (names are compared exactly, letter case included).
  void Add(const AnsiString& name, TAmount quantity);
  std::size_t Count() const { return Items.size(); }
  // Empties `lines`, then appends one line per name, in name order.
  void ToLines(std::vector<AnsiString>& lines) const;
  // The line of one name.
  static AnsiString InventoryLine(const AnsiString& name, TAmount quantity);

  std::map<AnsiString, TAmount> Items;
};

// The caption of the inventory's preview.
inline constexpr std::string_view kInventoryTitle = "Lista Towarów"_cp;

// The inventory of the printouts listed: the list is sorted by "PrintoutNo", and each printout
// (listed on one row or several) is scanned once from its file, its items added with their
// quantities. Raises what the scan raises ("Brak ilości" for an item without a quantity).
void BuildInventory(TRCPSet& printouts, TPLUList& inventory);
// The inventory as the preview shows it: false after the message "Brak danych" when no goods
// were found, else true with the lines in `lines`.
bool InventoryLines(TRCPSet& printouts, TUserPrompts& prompts, std::vector<AnsiString>& lines);

// "0.00" in the Polish form: two decimals, ",", no grouping (3,50).
std::string QuantityText(TAmount quantity);

}  // namespace quorvel
