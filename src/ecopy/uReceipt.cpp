#include "ecopy/uReceipt.h"

#include <algorithm>

#include "archive/PrintoutMarkers.h"
#include "base/Errors.h"
#include "base/TextUtils.h"

namespace quorvel {

using namespace markers;

void TReceipt::Clear() {
  Items.clear();
  VatTotal = {};
  Total = {};
  IssuedAt = 0;
  SaleDate = 0;
  ControlNo.clear();
  UniqueNo.clear();
}

const TReceiptItem* TReceipt::Item(int index) const {
  if (index < 0 || index >= ItemCount()) return nullptr;
  return Items[static_cast<std::size_t>(index)].get();
}

void TReceipt::AddItem(std::string_view name, std::string_view vatSymbol, TAmount quantity) {
  auto item = std::make_unique<TReceiptItem>();
  item->Name.assign(name);
  item->VatSymbol.assign(vatSymbol);
  item->Quantity = quantity;
  Items.push_back(std::move(item));
}

namespace {

bool IsNumberChar(char c) { return (c >= '0' && c <= '9') || c == '.' || c == ','; }

// The first number of a text: from the first digit or separator on, digits and at most one
// separator. Empty when there is none.
std::string_view FirstNumberText(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && !IsNumberChar(s[i])) ++i;
  std::size_t j = i;
  bool separator = false;
  while (j < s.size() && IsNumberChar(s[j])) {
    if (s[j] == '.' || s[j] == ',') {
      if (separator) break;
      separator = true;
    }
    ++j;
  }
  return s.substr(i, j - i);
}

TAmount AmountOfText(std::string_view text) { return AmountOf(text); }

// The quantity of an item line: the first number after the first no-break space; zero when
// there is none.
TAmount QuantityOf(std::string_view line) {
  std::string_view t = TrimView(line);
  const std::size_t nbsp = t.find(kNoBreakSpace);
  if (nbsp != std::string_view::npos) t = t.substr(nbsp + 1);
  return AmountOfText(FirstNumberText(t));
}

[[noreturn]] void NoQuantity() { throw EConvertError(std::string("Brak ilości"_cp)); }

AnsiString ExemptAware(std::string_view symbol) {
  if (symbol == "ZW") return AnsiString("ZW. ");
  return AnsiString(symbol);
}

AnsiString WithoutSpaces(std::string_view s) {
  AnsiString out;
  out.reserve(s.size());
  for (const char c : s)
    if (c != ' ') out += c;
  return out;
}

}  // namespace

TAmount NumericTailAmount(std::string_view line) {
  const std::string_view t = TrimView(line);
  std::size_t i = t.size();
  int separators = 0;
  while (i > 0 && IsNumberChar(t[i - 1])) {
    if (t[i - 1] == '.' || t[i - 1] == ',') ++separators;
    --i;
  }
  if (separators > 1) throw EConvertError("Currency format exception");
  return AmountOfText(t.substr(i));
}

void TReceiptFiller::BeginPrintout(int32_t kind, TDateTime date) {
  receipt_.Clear();
  receipt_.DocType = kind;
  if (receipt_.IsReceiptLike()) receipt_.IssuedAt = date;
  waiting_ = false;
  waitingName_.clear();
  previous_.clear();
}

void TReceiptFiller::PrintoutLine(std::string_view line) {
  const bool receiptLike = receipt_.IsReceiptLike();
  const std::size_t vat = FindFrom2(line, kVatSymbol);
  // 1. The VAT symbol of a receipt item that waits for it; the quantity from the line before.
  if (waiting_ && receiptLike && vat != std::string_view::npos) {
    const AnsiString symbol = ExemptAware(VatSymbolBefore(line, vat));
    TAmount quantity = QuantityOf(previous_);
    if (quantity.IsZero()) quantity = QuantityOf(line);
    if (quantity.IsZero()) NoQuantity();
    receipt_.AddItem(waitingName_, symbol, quantity);
    waiting_ = false;
  }
  // 2.
  if (const std::size_t u = FindFrom2(line, kUniqueNo); u != std::string_view::npos)
    receipt_.UniqueNo = Trim(line.substr(u + kUniqueNo.size()));
  // 3., 4. A date that does not read leaves the value as it was.
  if (const std::size_t d = FindFrom2(line, kIssueDate); d != std::string_view::npos) {
    if (const TDateTime v = ParseLeadingDmy(line.substr(d + kIssueDate.size())); v != 0) receipt_.IssuedAt = v;
  }
  if (const std::size_t d = FindFrom2(line, kSaleDate); d != std::string_view::npos) {
    if (const TDateTime v = ParseLeadingDmy(line.substr(d + kSaleDate.size())); v != 0) receipt_.SaleDate = v;
  }
  // 5. An invoice item's VAT symbol; invoices carry no quantity here.
  if (waiting_ && !receiptLike && vat != std::string_view::npos) {
    receipt_.AddItem(waitingName_, ExemptAware(VatSymbolBefore(line, vat)), TAmount{});
    waiting_ = false;
  }
  // 6. An item line.
  if (const std::size_t t = FindFrom2(line, kNoBreakSpace); t != std::string_view::npos) {
    const std::string_view name = TrimView(line.substr(0, t));
    if (receiptLike && vat != std::string_view::npos) {
      const TAmount quantity = QuantityOf(line);
      if (quantity.IsZero()) NoQuantity();
      receipt_.AddItem(name, line.substr(line.size() - 1), quantity);
    } else {
      waiting_ = true;
      waitingName_.assign(name);
    }
  }
  // 7.
  if (HasFrom2(line, kVatTotal) || HasFrom2(AnsiUpperCase(line), kVatTotalText))
    receipt_.VatTotal = NumericTailAmount(line);
  // 8., 9.
  for (const char marker : {kTotals1, kTotals2}) {
    const std::size_t m = FindFrom2(line, marker);
    if (m == std::string_view::npos) continue;
    const std::size_t blank = line.substr(0, m).rfind(' ');
    receipt_.VatTotal = blank == std::string_view::npos ? TAmount{} : AmountOfText(line.substr(blank + 1, m - blank - 1));
    const AnsiString compact = WithoutSpaces(line);
    if (compact.empty() || compact.back() != marker)
      receipt_.Total = NumericTailAmount(compact);
    else
      receipt_.Total = AmountOfText(FirstNumberText(compact));
  }
  // 10.
  if (HasFrom2(line, kTotal)) receipt_.Total = NumericTailAmount(WithoutSpaces(line));
  // 11. A control number printed over two lines is joined.
  if (const std::size_t c = FindFrom2(line, kControlNo); c != std::string_view::npos)
    receipt_.ControlNo += Trim(line.substr(0, c));
  // 12. The time replaces any time the issue date had, never adds to it twice.
  if (const std::size_t h = FindFrom2(line, kTime); h != std::string_view::npos)
    receipt_.IssuedAt = DateOf(receipt_.IssuedAt) + ParsePrintoutTime(line.substr(h + 1));
  previous_.assign(line);
}

TReceiptText BuildReceiptText(TDateTime date, const TReceiptTextItems& items, std::string_view vatTotal,
                              std::string_view total, TDateTime time, std::string_view uniqueNo, int32_t docType) {
  TReceiptText r;
  auto fail = [&r](std::string_view message) {
    r.Ok = false;
    r.Text.clear();
    r.Message.assign(message);
    r.Title.assign("Błędne dane"_cp);
    return r;
  };
  const bool receiptLike = docType == 1 || docType == 4;
  AnsiString text = FormatDmy(date);
  for (const auto& [name, symbol] : items) {
    if (name.empty() || symbol.empty()) break;
    text += AnsiUpperCase(name);
    text += receiptLike ? AnsiUpperCase(symbol.substr(0, 1)) : symbol;
  }
  TAmount vat, gross;
  if (!TryParseAmount(vatTotal, vat)) return fail("Błędna wartość \"Razem VAT\""_cp);
  text += AmountToStr2(vat);
  if (!TryParseAmount(total, gross)) return fail("Błędna wartość \"Razem brutto\""_cp);
  text += AmountToStr2(gross);
  text += FormatDateTime("hh:nn", time);
  const AnsiString unique = WithoutSpaces(TrimView(uniqueNo));
  if (unique.size() != 11) return fail("Błędna wartość \"Nr unikatowy\""_cp);
  const AnsiString upper = AnsiUpperCase(unique);
  text += upper.substr(0, 3);
  text += ' ';
  text += upper.substr(3);
  r.Ok = true;
  r.Text = std::move(text);
  return r;
}

TReceiptText BuildReceiptText(const TReceipt& receipt) {
  TReceiptTextItems items;
  items.reserve(receipt.Items.size());
  for (const auto& item : receipt.Items) items.emplace_back(item->Name, item->VatSymbol);
  return BuildReceiptText(receipt.IssuedAt, items, AmountToStr2(receipt.VatTotal), AmountToStr2(receipt.Total),
                          receipt.IssuedAt, receipt.UniqueNo, receipt.DocType);
}

}  // namespace quorvel
