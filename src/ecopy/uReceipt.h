// The receipt model: the document a receipt or invoice verification works on, filled from an
// electronic-copy printout line by line, and the canonical text the fiscal printer checks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/PrintoutScanner.h"
#include "base/Amount.h"
#include "base/Cp1250.h"
#include "base/DateTime.h"

namespace quorvel {

class TReceiptItem {
 public:
  AnsiString Name;
  AnsiString VatSymbol;  // the VAT rate letter as printed, "ZW. " for an exempt item
  TAmount Quantity;
};

class TReceipt {
 public:
  std::vector<std::unique_ptr<TReceiptItem>> Items;
  TAmount VatTotal;
  TAmount Total;
  AnsiString ControlNo;
  TDateTime IssuedAt = 0;
  AnsiString UniqueNo;
  TDateTime SaleDate = 0;
  int32_t DocType = 0;  // 1 receipt, 2 invoice, 4 pharmacy receipt

  TReceipt() { Clear(); }

  // Empties the items and the values read from a printout (the sale date included, so that a
  // receipt never shows the sale date of an invoice read before it).
  void Clear();
  int ItemCount() const { return static_cast<int>(Items.size()); }
  // Nullptr when the index is out of range.
  const TReceiptItem* Item(int index) const;
  void AddItem(std::string_view name, std::string_view vatSymbol, TAmount quantity);
  // Types 1 and 4 are receipt-like.
  bool IsReceiptLike() const { return DocType == 1 || DocType == 4; }
};

// Fills a receipt from the printout the scanner enters, by the line rules of the electronic
// copy. Raises EConvertError "Brak ilości" for an item whose quantity reads as 0, "Zły format
// czasu" for a time line without a time, "Currency format exception" for an amount with two
// separators.
class TReceiptFiller : public TPrintoutSink {
 public:
  explicit TReceiptFiller(TReceipt& receipt) : receipt_(receipt) {}
  void BeginPrintout(int32_t kind, TDateTime date) override;
  void PrintoutLine(std::string_view line) override;

 private:
  TReceipt& receipt_;
  bool waiting_ = false;
  AnsiString waitingName_;
  AnsiString previous_;
};

// The result of building the canonical text: the text, or the message and its title.
struct TReceiptText {
  bool Ok = false;
  AnsiString Text;
  AnsiString Message;
  AnsiString Title;
};

using TReceiptTextItems = std::vector<std::pair<AnsiString, AnsiString>>;  // name, VAT symbol

// The canonical text of a receipt or invoice: date, items, VAT total, total, time, unique number.
TReceiptText BuildReceiptText(TDateTime date, const TReceiptTextItems& items, std::string_view vatTotal,
                              std::string_view total, TDateTime time, std::string_view uniqueNo, int32_t docType);
// The same from a filled model (amounts in their two-decimal form).
TReceiptText BuildReceiptText(const TReceipt& receipt);

// The numeric tail of a line: the longest run of digits, "." and "," at the end of the trimmed
// line, read as an amount (0 when empty); more than one separator is "Currency format exception".
TAmount NumericTailAmount(std::string_view line);

}  // namespace quorvel
