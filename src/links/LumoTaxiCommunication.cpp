#include "links/LumoTaxiCommunication.h"

#include <cmath>
#include <limits>

#include "base/TextUtils.h"
#include "links/DADCommDevices.h"
#include "links/FiscalPrinter.h"

namespace quorvel {

namespace {

constexpr std::string_view kCR = "\r";

AnsiString NakText() { return AnsiString("Urządzenie nie zaakceptowało przesłanych danych."_cp); }
AnsiString EotText() { return AnsiString("Brak danych w podanym zakresie."_cp); }

// A field that must hold a whole number (tax schemes, currency date parts).
int32_t IntegerField(std::string_view field) { return StrToInt(field); }

// A two-digit part of a positional date field; characters are counted from 1.
int32_t DatePart(std::string_view field, std::size_t first, std::size_t length) {
  if (field.size() < first - 1 + length)
    throw EConvertError("'" + AnsiString(field) + "' nie jest poprawną datą"_cp);
  return StrToInt(field.substr(first - 1, length));
}

// "dd-mm-yyyy hh:mi", read by position; seconds are 0.
TDateTime DateTimeField(std::string_view field) {
  const int32_t day = DatePart(field, 1, 2), month = DatePart(field, 4, 2), year = DatePart(field, 7, 4);
  const int32_t hour = DatePart(field, 12, 2), minute = DatePart(field, 15, 2);
  return EncodeDateTime(year, month, day, hour, minute, 0);
}

// "dd-mm-yyyy", read by position.
TDateTime DateField(std::string_view field) {
  return EncodeDate(DatePart(field, 7, 4), DatePart(field, 4, 2), DatePart(field, 1, 2));
}

// An empty rate field means no rate; any other goes through the amount conversion.
AnsiString RateText(std::string_view field) {
  return field.empty() ? AnsiString() : TLumoTaxiComm::HundredthsText(field);
}

// The text after STX, `code` and CR, up to the next CR, trimmed; empty without that start.
AnsiString ReplyValue(std::string_view reply, std::string_view code) {
  AnsiString start(1, kTaxiSTX);
  start += code;
  start += kCR;
  if (reply.substr(0, start.size()) != start) return {};
  const std::string_view rest = reply.substr(start.size());
  return Trim(rest.substr(0, rest.find('\r')));
}

}  // namespace

// --- ports -------------------------------------------------------------------------------------

void TTaxiPrinterPort::Send(std::string_view bytes) { printer_.SendCommand(bytes, 0); }

AnsiString TTaxiPrinterPort::Receive(int32_t maxLen, char terminator, int32_t timeoutMs) {
  // Without a port the printer link only shows its message and leaves the terminator in place.
  if (SameText(printer_.PortName, "BRAK")) return {};
  AnsiString data;
  if (terminator != 0) data.assign(1, terminator);
  // A failed read leaves in `data` what arrived; the caller decides whether that is enough.
  if (!printer_.ReceiveWithTimeout(data, maxLen, timeoutMs) && terminator != 0 && data == AnsiString(1, terminator))
    data.clear();
  return data;
}

void TTaxiPrinterPort::Reset() { printer_.ResetLink(); }

void TTaxiCommPort::Send(std::string_view bytes) {
  if (!device_.Active()) throw EQuorvelError("Port "_cp + device_.PortName() + " nie jest otwarty."_cp);
  if (!device_.WriteData(bytes))
    throw EQuorvelError("Wystąpił błąd podczas komunikacji przez port szeregowy."_cp + " (" +
                        StatusName(device_.LastStatus()) + ": " + Format("%d", device_.LastErrorCode()) + ")");
}

AnsiString TTaxiCommPort::Receive(int32_t maxLen, char terminator, int32_t timeoutMs) {
  const int32_t savedTimeout = device_.RdTimeout;
  const bool savedUse = device_.UseRdTimeouts;
  TNotifyEvent savedOnError = std::move(device_.OnError);
  device_.OnError = nullptr;
  device_.RdTimeout = timeoutMs;
  device_.UseRdTimeouts = true;
  AnsiString data;
  const AnsiString term = terminator != 0 ? AnsiString(1, terminator) : AnsiString();
  try {
    device_.ReadData(data, maxLen, term);
  } catch (...) {
    device_.RdTimeout = savedTimeout;
    device_.UseRdTimeouts = savedUse;
    device_.OnError = std::move(savedOnError);
    throw;
  }
  device_.RdTimeout = savedTimeout;
  device_.UseRdTimeouts = savedUse;
  device_.OnError = std::move(savedOnError);
  // A cancelled read must not pass for a silent meter.
  if (device_.LastStatus() == csUserBreak)
    throw EQuorvelError(AnsiString("Komunikacja została przerwana przez użytkownika."_cp));
  return data;
}

void TTaxiCommPort::Reset() { device_.ResetPort(); }

// --- requests ----------------------------------------------------------------------------------

AnsiString TLumoTaxiComm::UniqueNumberRequest() { return "100\r131\r0\r0\r0\r0\r"; }

AnsiString TLumoTaxiComm::NipRequest() { return "100\r113\r0\r0\r0\r0\r"; }

AnsiString TLumoTaxiComm::RangeRequest(bool byNumber, double from, double to) {
  AnsiString body = "100\r129\r";
  if (byNumber) {
    int32_t number = 0;
    if (std::isfinite(from) && from >= std::numeric_limits<int32_t>::min() &&
        from <= std::numeric_limits<int32_t>::max())
      number = static_cast<int32_t>(from);
    body += "0\r" + Format("%d", number) + "\r";
  } else {
    const TDateParts d = DecodeDateTime(DateOf(from));
    const TDateParts t = DecodeDateTime(TimeOf(to));
    body += "1\r" + Format("%04d-%02d-%02d %02d:%02d:%02d", d.Year, d.Month, d.Day, t.Hour, t.Minute, t.Second) + "\r";
  }
  body += "0\r0\r";
  return body;
}

AnsiString TLumoTaxiComm::CheckCode(std::string_view body) {
  unsigned code = static_cast<unsigned char>(kTaxiSTX);
  for (char c : body) code ^= static_cast<unsigned char>(c);
  return Format("%02X", code & 0xFFu);
}

AnsiString TLumoTaxiComm::FrameRequest(std::string_view body) {
  AnsiString frame(1, kTaxiSTX);
  frame += body;
  frame += CheckCode(body);
  frame += kTaxiETX;
  return frame;
}

// --- the exchange ------------------------------------------------------------------------------

bool TLumoTaxiComm::ReceiveByte(TTaxiPort& port, char& byte) {
  const AnsiString got = port.Receive(1, 0, port.Timeout);
  if (got.size() != 1) return false;
  byte = got[0];
  return true;
}

bool TLumoTaxiComm::ReceiveRest(TTaxiPort& port, AnsiString& rest) {
  rest = port.Receive(kTaxiMaxReply, kTaxiETX, port.Timeout);
  return !rest.empty() && rest.back() == kTaxiETX;
}

AnsiString TLumoTaxiComm::Transact(TTaxiPort& port, std::string_view frame) {
  port.Send(frame);
  char answer = 0;
  if (!ReceiveByte(port, answer)) return {};
  if (answer == kTaxiNAK) throw EQuorvelError(NakText());
  if (answer != kTaxiACK) return {};
  char first = 0;
  if (!ReceiveByte(port, first)) return {};
  if (first == kTaxiEOT) throw EQuorvelError(EotText());
  AnsiString rest;
  if (!ReceiveRest(port, rest)) return {};
  port.Send(AnsiString(1, kTaxiACK));
  return AnsiString(1, first) + rest;
}

// --- replies -----------------------------------------------------------------------------------

AnsiString TLumoTaxiComm::ParseUniqueNumber(std::string_view reply) { return ReplyValue(reply, "131"); }

AnsiString TLumoTaxiComm::ParseNip(std::string_view reply) { return ReplyValue(reply, "113"); }

AnsiString TLumoTaxiComm::HundredthsText(std::string_view field) {
  int64_t value = 0;
  if (!TryStrToInt64(field, value))
    throw EConvertError("'" + AnsiString(field) + "' nie jest poprawną kwotą"_cp);
  const bool negative = value < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  return Format("%s%llu.%02llu", negative ? "-" : "", static_cast<unsigned long long>(magnitude / 100),
                static_cast<unsigned long long>(magnitude % 100));
}

void TLumoTaxiComm::ParseRecord(std::string_view reply, RFMRecord& record) {
  const std::string_view code = reply.size() >= 4 ? reply.substr(1, 3) : std::string_view();
  if (code != "129" && code != "130") throw EQuorvelError(AnsiString("Błędna odpowiedź z kasy"_cp));
  // Past STX, the code and the CR that ends it; a local tokenizer keeps the shared one untouched.
  std::string_view body = reply.substr(4);
  TTokenizer fields;
  fields.Next(body, kCR);
  auto next = [&fields] { return fields.Next(kCR); };
  auto skip = [&next](int count) {
    for (int i = 0; i < count; ++i) next();
  };
  const int32_t type = StrToIntDef(next(), 0);
  RFMRecord r = record;  // decoded into a copy: an entry that fails leaves the record as it was
  switch (type) {
    case 10: {
      r.Kind = kKindDaily;
      r.Date = DateTimeField(next());
      r.ReceiptCount = next();
      r.VoidCount = next();
      const AnsiString flags = next();
      r.GoodsChanged = (flags.empty() ? 0 : StrToInt(flags)) & 8192 ? "TAK" : "";
      r.VoidValue = HundredthsText(next());
      for (auto& g : r.Gross) g = HundredthsText(next());
      r.Number = next();
      r.DeviceText1 = next();
      r.DeviceText3 = next();
      r.VatTotal = HundredthsText(next());
      r.GrossTotal = HundredthsText(next());
      break;
    }
    case 11:
      r.Kind = kKindRateChange;
      r.Date = DateTimeField(next());
      skip(4);
      for (auto& rate : r.Rates) rate = RateText(next());
      for (auto& scheme : r.TaxSchemes) scheme = IntegerField(next()) & 0x7F;
      break;
    case 12:
      r.Kind = kKindRamReset;
      r.Date = DateField(next());
      r.ResetKind = next();
      r.ResetNo = next();
      r.GoodsNotCleared = StrToIntDef(next(), 0) != 0 ? "1" : "";
      break;
    case 14:
      r.Kind = kKindPrinterSkipped11;
      skip(7);
      break;
    case 15: {
      skip(1);
      r.Currency.Name = next();
      int32_t parts[5];
      for (auto& p : parts) p = IntegerField(next());
      if (parts[0] == 0 && parts[1] == 0 && parts[2] == 0 && parts[3] == 0 && parts[4] == 0) {
        r.Kind = kKindCurrencyNoDate;
      } else {
        r.Kind = kKindCurrencyChange;
        r.Currency.ChangeDate = EncodeDateTime(2000 + parts[0], parts[1], parts[2], parts[3], parts[4], 0);
      }
      break;
    }
    case 25:
      r.Kind = kKindFiscalEnd;
      break;
    default:
      break;
  }
  record = std::move(r);
}

}  // namespace quorvel
