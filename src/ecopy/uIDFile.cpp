#include "ecopy/uIDFile.h"

#include <exception>
#include <string>

#include "base/Errors.h"
#include "base/FileUtils.h"
#include "base/TextUtils.h"
#include "ecopy/md5.h"

namespace quorvel {

namespace {

// The messages of the failures; LoadFromFile catches them all and answers false.
constexpr const char* kWrongFormat = "wrong file format";
constexpr const char* kCurrencyFormat = "Currency format exception";
constexpr const char* kSignatureError = "Error";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The run of digits at the very end of the line, trailing blanks removed first.
int32_t NumberOf(std::string_view line) {
  const std::string_view t = TrimRightView(line);
  std::size_t start = t.size();
  while (start > 0 && IsDigit(t[start - 1])) --start;
  int32_t value = 0;
  if (start == t.size() || !TryStrToInt(t.substr(start), value)) throw EReadError(kWrongFormat);
  return value;
}

// The run of digits, "." and "," at the end of the text, with at most one separator.
TAmount AmountOfTail(std::string_view text) {
  const std::string_view t = TrimView(text);
  std::size_t start = t.size();
  int separators = 0;
  while (start > 0 && (IsDigit(t[start - 1]) || t[start - 1] == '.' || t[start - 1] == ',')) {
    if (!IsDigit(t[start - 1])) ++separators;
    --start;
  }
  if (separators > 1) throw EConvertError(kCurrencyFormat);
  TAmount a;
  if (!TryParseAmount(t.substr(start), a)) throw EConvertError(kCurrencyFormat);
  return a;
}

}  // namespace

// The file's lines with the reader's position; reading past the end gives empty lines, which
// then lack their label.
class TIDFileReader::TLineReader {
 public:
  explicit TLineReader(std::string_view bytes) : lines_(SplitLines(bytes)) {}

  // True when only blank lines are left: a file saved with an extra line end still ends there.
  bool AtEnd() const {
    for (std::size_t k = pos_; k < lines_.size(); ++k)
      if (!TrimView(lines_[k]).empty()) return false;
    return true;
  }
  std::string_view Next() { return pos_ < lines_.size() ? lines_[pos_++] : std::string_view{}; }

 private:
  std::vector<std::string_view> lines_;
  std::size_t pos_ = 0;
};

namespace {

// Reads labelled lines and adds them to the signed text while it is being collected.
class TLabelled {
 public:
  TLabelled(std::string_view line, AnsiString& signedText, bool collecting) : line_(line) {
    if (collecting) {
      signedText.append(line);
      signedText.append("\r\n");
    }
  }
  // The text after `label`; "wrong file format" when the line lacks it.
  std::string_view After(std::string_view label) const {
    const std::size_t pos = line_.find(label);
    if (pos == std::string_view::npos) throw EReadError(kWrongFormat);
    return line_.substr(pos + label.size());
  }
  AnsiString Text(std::string_view label) const { return Trim(After(label)); }
  int32_t Number(std::string_view label) const {
    After(label);
    return NumberOf(line_);
  }
  TDateTime Date(std::string_view label) const { return ParseDmyHmLenient(TrimView(After(label))); }

 private:
  std::string_view line_;
};

}  // namespace

TIDFileRecord* TIDFileReader::Items(int index) const {
  return index >= 0 && index < Count() ? Entries[static_cast<std::size_t>(index)].get() : nullptr;
}

bool TIDFileReader::LoadFromFile(const std::filesystem::path& path, bool append) {
  std::string bytes;
  try {
    bytes = ReadFileBytes(path);
  } catch (const std::exception& e) {
    Entries.clear();
    LastError = e.what();
    return false;
  }
  return LoadFromText(bytes, append);
}

bool TIDFileReader::LoadFromText(std::string_view bytes, bool append) {
  TLineReader in(bytes);
  const std::size_t before = Entries.size();
  LastError.clear();
  try {
    if (!append) {
      collecting_ = true;
      signedText_.clear();
      auto next = [&] { return TLabelled(in.Next(), signedText_, collecting_); };
      FileName = next().Text("Plik:");
      FileContent = next().Text("Zawartość pliku:"_cp);
      FileVersion = next().Text("Wersja pliku:");
      DeviceType = next().Text("Typ urządzenia:"_cp);
      LineSize = next().Number("Rozmiar linii:");
      Device = next().Text("Urządzenie:"_cp);
      UniqueNo = next().Text("Nr unikatowy:");
      ECopyVersion = next().Text("Wersja Kopii E:");
      ECopyMedium = next().Text("Nośnik Kopii E:"_cp);
      CreatedAt = next().Date("Plik utworzono:");
      HeaderSize = next().Number("Rozmiar nagłówka pliku:"_cp);
      ListOffset = next().Number("Offset listy nośników:"_cp);
      ListCount = next().Number("Ilość pozycji listy:"_cp);
      ListItemSize = next().Number("Rozmiar pozycji listy:");
      ListLabelSize = next().Number("Rozmiar etykiety pozycji listy:");
      ListSize = next().Number("Rozmiar listy:");
      collecting_ = false;
      SignatureN = next().Text("Podpis N:");
      SignatureNP = next().Text("Podpis NP:");
      if (MD5Hex(signedText_) != AnsiUpperCase(SignatureNP)) throw EReadError(kSignatureError);
      if (ListCount < 1) return false;
    }
    const std::size_t limit = append ? 1 : static_cast<std::size_t>(ListCount);
    while (!in.AtEnd() && Entries.size() < limit) {
      if (!append)
        for (int k = 0; k < 3; ++k) in.Next();
      ReadEntry(in);
    }
  } catch (const std::exception& e) {
    collecting_ = false;
    Entries.clear();
    LastError = e.what();
    return false;
  }

  auto closing = std::make_unique<TIDFileRecord>();
  if (Entries.size() > before) {
    const TIDFileRecord& last = *Entries.back();
    closing->ReportNoFrom = last.ReportNoTo + 1;
    closing->ReportDateFrom = last.ReportDateTo;
  } else {
    closing->ReportNoFrom = 1;
    closing->ReportDateFrom = kSmallestDateTime;
  }
  closing->ReportNoTo = kLastReportNo;
  closing->ReportDateTo = kLargestDateTime;
  Entries.push_back(std::move(closing));
  return true;
}

void TIDFileReader::ReadEntry(TLineReader& in) {
  Entries.push_back(std::make_unique<TIDFileRecord>());
  TIDFileRecord& e = *Entries.back();
  signedText_.clear();
  collecting_ = true;
  auto next = [&] { return TLabelled(in.Next(), signedText_, collecting_); };
  e.FileName = next().Text("Plik:");
  e.FileContent = next().Text("Zawartość pliku:"_cp);
  e.FileVersion = next().Text("Wersja pliku:");
  e.DeviceType = next().Text("Typ urządzenia:"_cp);
  e.LineSize = next().Number("Rozmiar linii:");
  e.Device = next().Text("Urządzenie:"_cp);
  e.UniqueNo = next().Text("Nr unikatowy:");
  e.ECopyVersion = next().Text("Wersja Kopii E:");
  e.ECopyMedium = next().Text("Nośnik Kopii E:"_cp);
  e.CreatedAt = next().Date("Plik utworzono:");
  e.CardLabel = next().Number("Etykieta karty:");
  e.OpenedAt = next().Date("Data otwarcia:");
  e.ReportDateFrom = next().Date("Data raportu od:");
  e.ReportDateTo = next().Date("Data raportu do:");
  e.ReportNoFrom = next().Number("Nr raportu od:");
  e.ReportNoTo = next().Number("Nr raportu do:");
  e.PrintoutDateFrom = next().Date("Data wydruku od:");
  e.PrintoutDateTo = next().Date("Data wydruku do:");
  e.PrintoutNoFrom = next().Number("Nr wydruku od:");
  e.PrintoutNoTo = next().Number("Nr wydruku do:");
  e.ReceiptDateFrom = next().Date("Data paragon od:");
  e.ReceiptDateTo = next().Date("Data paragon do:");
  e.ReceiptNoFrom = next().Number("Nr paragon od:");
  e.ReceiptNoTo = next().Number("Nr paragon do:");
  e.InvoiceDateFrom = next().Date("Data faktury od:");
  e.InvoiceDateTo = next().Date("Data faktury do:");
  e.InvoiceNoFrom = next().Number("Nr faktury od:");
  e.InvoiceNoTo = next().Number("Nr faktury do:");
  for (TRateAmountsList* group : {&e.RateAmounts1, &e.RateAmounts2}) {
    for (TRateAmounts& pair : *group) {
      const std::string_view line = in.Next();
      signedText_.append(line);
      signedText_.append("\r\n");
      const std::size_t colon = line.find(':');
      if (colon == std::string_view::npos) throw EReadError(kWrongFormat);
      const std::size_t blank = line.rfind(' ');
      const std::string_view first = blank == std::string_view::npos || blank < colon
                                         ? line.substr(colon + 1)
                                         : line.substr(colon + 1, blank - colon - 1);
      pair.First = AmountOfTail(first);
      pair.Second = AmountOfTail(line);
    }
  }
  e.ClosedAt = next().Date("Data zamknięcia nośnika:"_cp);
  e.HeaderSize = next().Number("Rozmiar nagłówka pliku:"_cp);
  collecting_ = false;
  e.SignatureN = next().Text("Podpis N:");
  e.SignatureNP = next().Text("Podpis NP:");
  if (MD5Hex(signedText_) != AnsiUpperCase(e.SignatureNP)) throw EReadError(kSignatureError);
}

}  // namespace quorvel
