#include "archive/uDailyRecord.h"

#include <bit>
#include <cstring>
#include <limits>

#include "base/Errors.h"
#include "base/FileUtils.h"
#include "base/TextUtils.h"

namespace quorvel {

namespace {

enum : uint8_t { kTagInt8 = 2, kTagInt16 = 3, kTagInt32 = 4, kTagDate = 17, kTagInt64 = 19 };

// The one list of the record's values in file order, walked by the reader and the writer alike.
// `Layout(n)` marks where layout n begins; a reader stops there when the file has no more bytes.
template <class Rec, class V>
void VisitRecord(Rec& r, V& v) {
  v.Int(r.Kind);
  v.Date(r.Stats.FirstDate);
  v.Date(r.Stats.LastDate);
  v.Int(r.Stats.FirstNo);
  v.Int(r.Stats.LastNo);
  for (auto& t : r.Stats.RatesInForce) v.Text(t);
  v.Text(r.Currency.Name);
  v.Date(r.Currency.StartDate);
  v.Date(r.Currency.ChangeDate);
  for (auto& t : r.HeaderTokens) v.Text(t);
  v.Text(r.ReceiptCount);
  v.Text(r.InvoiceCount);
  v.Text(r.VoidCount);
  v.Text(r.PrinterText1);
  v.Text(r.VoidValue);
  v.Text(r.PrinterText2);
  for (auto& t : r.Gross) v.Text(t);
  for (auto& t : r.InvoiceGross) v.Text(t);
  for (auto& t : r.InvoiceNet) v.Text(t);
  for (auto& t : r.Net) v.Text(t);
  for (auto& t : r.Rates) v.Text(t);
  v.Text(r.SpareText);
  for (auto& t : r.CumVat) v.Text(t);
  for (auto& t : r.CumInvoiceVat) v.Text(t);
  v.Text(r.InvoiceVatTotal);
  v.Text(r.InvoiceGrossTotal);
  v.Text(r.ResetKind);
  v.Text(r.ResetNo);
  v.Text(r.ResetCount);
  v.Text(r.GoodsNotCleared);
  v.Text(r.SpareText2);
  v.Text(r.SpareText3);
  v.Text(r.GoodsChanged);
  v.Text(r.Number);
  v.Text(r.PrintoutNumber);
  v.Text(r.PrinterText3);
  v.Text(r.PrinterText4);
  v.Text(r.PrinterText5);
  v.Text(r.DeviceText1);
  v.Text(r.DeviceText2);
  v.Text(r.DeviceText3);
  v.Text(r.PrinterText6);
  v.Text(r.PrinterText7);
  v.Text(r.VatTotal);
  v.Text(r.GrossTotal);
  v.Text(r.CumGross);
  v.Text(r.CumVatTotal);
  v.Text(r.CumInvoiceGross);
  v.Text(r.CumInvoiceVatTotal);
  v.Date(r.Date);
  for (auto& t : r.SpareTexts) v.Text(t);
  v.Int(r.MediumNo);
  v.Date(r.MediumClosedAt);
  if (!v.Layout(2)) return;
  for (auto& s : r.TaxSchemes) v.Int(s);
  if (!v.Layout(3)) return;
  v.Int(r.PricingCount);
  v.Int(r.VoidPricingCount);
  v.Text(r.FeesTotal);
}

class TRecordWriter {
 public:
  std::string Bytes;

  template <class T>
  void Int(const T& value) {
    const int32_t v = static_cast<int32_t>(value);
    if (v >= -128 && v <= 127) {
      Bytes += static_cast<char>(kTagInt8);
      Bytes += static_cast<char>(static_cast<int8_t>(v));
    } else if (v >= -32768 && v <= 32767) {
      Bytes += static_cast<char>(kTagInt16);
      Put(static_cast<int16_t>(v));
    } else {
      Bytes += static_cast<char>(kTagInt32);
      Put(v);
    }
  }
  void Date(const TDateTime& value) {
    Bytes += static_cast<char>(kTagDate);
    Put(value);
  }
  void Text(const AnsiString& value) {
    const std::size_t n = value.size() > 255 ? 255 : value.size();
    Bytes += static_cast<char>(static_cast<uint8_t>(n));
    Bytes.append(value, 0, n);
  }
  bool Layout(int) { return true; }

 private:
  template <class T>
  void Put(T v) {
    // The file is little-endian, as is every machine this program runs on.
    static_assert(std::endian::native == std::endian::little);
    char buf[sizeof(T)];
    std::memcpy(buf, &v, sizeof(T));
    Bytes.append(buf, sizeof(T));
  }
};

class TRecordReader {
 public:
  TRecordReader(std::string_view bytes, std::string_view name) : bytes_(bytes), name_(name) {}

  template <class T>
  void Int(T& field) {
    const uint8_t tag = Byte();
    int64_t v = 0;
    switch (tag) {
      case kTagInt8: v = Get<int8_t>(); break;
      case kTagInt16: v = Get<int16_t>(); break;
      case kTagInt32: v = Get<int32_t>(); break;
      default: BadTag(tag);
    }
    field = static_cast<T>(v);
  }
  void Date(TDateTime& field) {
    const uint8_t tag = Byte();
    switch (tag) {
      case kTagDate: field = Get<double>(); break;
      case kTagInt8: field = Get<int8_t>(); break;
      case kTagInt16: field = Get<int16_t>(); break;
      case kTagInt32: field = Get<int32_t>(); break;
      case kTagInt64: field = static_cast<double>(Get<int64_t>()); break;
      default: BadTag(tag);
    }
  }
  void Text(AnsiString& field) {
    const std::size_t n = Byte();
    Need(n);
    field.assign(bytes_.substr(pos_, n));
    pos_ += n;
  }
  bool Layout(int) { return pos_ < bytes_.size(); }

 private:
  void Need(std::size_t n) {
    if (bytes_.size() - pos_ < n)
      throw EReadError("Błąd odczytu pliku rekordu "_cp + AnsiString(name_) + ": plik kończy się wewnątrz wartości"_cp);
  }
  [[noreturn]] void BadTag(uint8_t tag) {
    throw EReadError("Błąd odczytu pliku rekordu "_cp + AnsiString(name_) +
                     Format(": nieoczekiwany znacznik wartości %u w bajcie %zu", tag, pos_ - 1).c_str());
  }
  uint8_t Byte() {
    Need(1);
    return static_cast<uint8_t>(bytes_[pos_++]);
  }
  template <class T>
  T Get() {
    Need(sizeof(T));
    T v;
    std::memcpy(&v, bytes_.data() + pos_, sizeof(T));
    pos_ += sizeof(T);
    return v;
  }

  std::string_view bytes_;
  std::string_view name_;
  std::size_t pos_ = 0;
};

}  // namespace

void ReadRecordBytes(std::string_view bytes, RFMRecord& record, std::string_view name) {
  TRecordReader reader(bytes, name);
  VisitRecord(record, reader);
}

void ReadRecordFile(const std::filesystem::path& file, RFMRecord& record) {
  const std::string bytes = ReadFileBytes(file);
  ReadRecordBytes(bytes, record, Utf8ToCp1250(file.filename().string()));
}

std::string EncodeRecord(const RFMRecord& record) {
  TRecordWriter writer;
  VisitRecord(record, writer);
  return std::move(writer.Bytes);
}

void WriteRecordFile(const std::filesystem::path& file, const RFMRecord& record) {
  WriteFileAtomic(file, EncodeRecord(record), true);
}

std::string RecordFileName(int position) { return Format("%4.4d.fmr", position); }

}  // namespace quorvel
