// The printer operations of the fiscal-printer link.
#include <algorithm>
#include <fstream>

#include "archive/uConfig.h"
#include "links/FiscalPrinter.h"

namespace quorvel {

namespace {

constexpr char kEsc = 27;
const AnsiString kReplyEnd = "\\";

int CountOf(std::string_view s, char c) { return static_cast<int>(std::count(s.begin(), s.end(), c)); }

bool ReadHex2(std::string_view s, int& value) {
  if (s.size() != 2) return false;
  value = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else return false;
    value = value * 16 + d;
  }
  return true;
}

AnsiString Tok(std::string_view sep) { return NextToken(sep); }
void Skip(std::string_view sep) { NextToken(sep); }
void Slots(TRateTexts& slots, int n, bool dashEmpty = false) {
  for (int i = 0; i < n; ++i) {
    AnsiString t = Tok("/");
    slots[i] = dashEmpty && t.find('-') != AnsiString::npos ? AnsiString() : t;
  }
}

// yy/ mm/ dd/ hh/ mi/ as five numbers.
std::array<int, 5> DateNumbers() {
  std::array<int, 5> n{};
  for (auto& v : n) v = StrToInt(Trim(Tok("/")));
  return n;
}

TDateTime DateOfNumbers(const std::array<int, 5>& n) {
  return EncodeDateTime(2000 + n[0], n[1], n[2], n[3], n[4], 0);
}

}  // namespace

AnsiString TFPrinter::ReadUniqueNumber() {
  ResetLink();
  SendCommand("#u", soFrame);
  AnsiString data = kReplyEnd;
  Receive(data, 1024, true);
  const auto slash = data.rfind('/');
  if (slash == AnsiString::npos) return {};
  return data.substr(slash + 1, 11);
}

AnsiString TFPrinter::ReadVersion() {
  ResetLink();
  SendCommand("#v", soFrame);
  AnsiString data = kReplyEnd;
  Receive(data, 256, true);
  const auto at = data.find("#R");
  if (at == AnsiString::npos) return {};
  const auto end = data.find(kEsc, at + 2);
  return data.substr(at + 2, end == AnsiString::npos ? AnsiString::npos : end - at - 2);
}

void TFPrinter::SetErrorHandling(int mode) { SendCommand(Format("%d#e", mode), soCheckCode | soFrame); }

void TFPrinter::SelectRecordsFromDate(TDateTime when) {
  ResetLink();
  EndReached = false;
  const TDateParts p = DecodeDateTime(when);
  SendCommand(Format("53;%d;%d;%d;%d;%d;%d#s", p.Year - 2000, p.Month, p.Day, p.Hour, p.Minute, p.Second),
              soCheckCode | soFrame);
}

void TFPrinter::SelectRecordsFromNumber(int number) {
  ResetLink();
  EndReached = false;
  SendCommand(Format("63#s%d/", number), soCheckCode | soFrame);
}

void TFPrinter::ReadRecord(RFMRecord& r) {
  SendCommand("27#s", soFrame);
  AnsiString data = kReplyEnd;
  Receive(data, 512, true);
  NextToken(data, "\x1bP");
  const AnsiString body = NextToken("\x1b\\");
  const AnsiString computed = PrinterCheckText(std::string_view(body).substr(0, body.size() < 2 ? 0 : body.size() - 2));
  const int semis = CountOf(body, ';');

  r.Kind = 0;
  const int code = StrToInt(Trim(NextToken(body, "#X")));
  switch (code) {
    case 10: r.Kind = semis < 10 ? kKindDailyShort : kKindDailyLong; break;
    case 11: r.Kind = kKindRateChange; break;
    case 12: r.Kind = kKindRamReset; break;
    case 13: r.Kind = kKindPrinterSkipped8; break;
    case 14: r.Kind = kKindDailyExtra; break;
    case 20: r.Kind = kKindDaily; break;
    case 25: r.Kind = kKindFiscalEnd; break;
    case 30: r.Kind = kKindPrinterSkipped11; break;
    case 31: r.Kind = kKindCurrencyChange; break;
    case 32: r.Kind = semis < 17 ? kKindDailyCumulative : kKindDailyPharmacy; break;
    case 33: r.Kind = kKindMediumClosing; break;
    default: break;
  }
  EndReached = r.Kind == kKindFiscalEnd;
  if (r.Kind == 0) return;

  for (auto& h : r.HeaderTokens) h = Tok(";");
  switch (code) {
    case 10:
      r.ReceiptCount = Tok(";");
      r.VoidCount = Tok(";");
      r.GoodsChanged = Tok(";");
      if (r.Kind == kKindDailyLong) r.PrinterText1 = Tok(";");
      r.VoidValue = Tok("/");
      if (r.Kind == kKindDailyLong) r.PrinterText2 = Tok("/");
      Slots(r.Gross, kRateSlots);
      break;
    case 11:
      for (int i = 0; i < 3; ++i) Skip(";");
      Skip("/");
      Slots(r.Rates, kRateSlots);
      break;
    case 12:
      r.ResetKind = Tok(";");
      r.ResetNo = Tok(";");
      Skip(";");
      for (int i = 0; i < 8; ++i) Skip("/");
      break;
    case 13:
      for (int i = 0; i < 3; ++i) Skip(";");
      for (int i = 0; i < 8; ++i) Skip("/");
      break;
    case 14:
      r.Number = Tok("/");
      Slots(r.Gross, 6);
      r.VoidValue = Tok("/");
      r.PrinterText3 = Tok("/");
      r.VatTotal = Tok("/");
      r.PrinterText4 = Tok("/");
      r.PrinterText5 = Tok("/");
      r.ReceiptCount = Tok("/");
      r.DeviceText1 = Tok("/");
      r.VoidCount = Tok("/");
      r.DeviceText2 = Tok("/");
      r.PrinterText6 = Tok("/");
      r.PrinterText7 = Tok("/");
      break;
    case 20:
      r.ReceiptCount = Tok(";");
      r.VoidCount = Tok(";");
      r.GoodsChanged = Tok(";");
      r.Number = Tok(";");
      r.GrossTotal = Tok("/");
      r.VatTotal = Tok("/");
      r.DeviceText1 = Tok(";");
      r.ResetNo = Tok(";");
      r.DeviceText2 = Tok(";");
      r.DeviceText3 = Tok(";");
      r.VoidValue = Tok("/");
      Slots(r.Gross, kRateSlots);
      break;
    case 30:
      for (int i = 0; i < 3; ++i) Skip(";");
      Skip("\r");
      for (int i = 0; i < 7; ++i) Skip("/");
      break;
    case 31: {
      for (int i = 0; i < 3; ++i) Skip(";");
      r.Currency.Name = Tok("\r");
      const auto n = DateNumbers();
      Skip("/");
      Skip("/");
      if (n == std::array<int, 5>{}) r.Kind = kKindCurrencyNoDate;
      else r.Currency.ChangeDate = DateOfNumbers(n);
      break;
    }
    case 32: {
      const bool pharmacy = r.Kind == kKindDailyPharmacy;
      r.ReceiptCount = Tok(";");
      r.VoidCount = Tok(";");
      r.GoodsChanged = Tok(";") == "1" ? "TAK" : "";
      r.Number = Tok(";");
      r.GrossTotal = Tok("/");
      r.VatTotal = Tok("/");
      r.DeviceText1 = Tok(";");
      r.ResetNo = Tok(";");
      r.DeviceText2 = Tok(";");
      r.DeviceText3 = Tok(";");
      if (pharmacy) r.PricingCount = StrToInt(Trim(Tok(";")));
      r.VoidValue = Tok("/");
      if (pharmacy) r.FeesTotal = Tok("/");
      Slots(r.Gross, kRateSlots);
      Slots(r.CumVat, kRateSlots, true);
      r.CumVatTotal = Tok("/");
      r.CumGross = Tok("/");
      Slots(r.InvoiceGross, kRateSlots);
      Slots(r.CumInvoiceVat, kRateSlots, true);
      r.CumInvoiceVatTotal = Tok("/");
      r.CumInvoiceGross = Tok(";");
      r.InvoiceCount = Tok("/");
      r.InvoiceGrossTotal = Tok("/");
      r.InvoiceVatTotal = Tok("/");
      for (int i = 0; i < 7; ++i) Skip("/");
      Skip("\r");
      if (pharmacy) r.VoidPricingCount = StrToIntDef(Trim(Tok(";")), 0);
      break;
    }
    case 33: {
      for (int i = 0; i < 3; ++i) Skip(";");
      r.MediumNo = StrToInt(Trim(Tok("/")));
      r.MediumClosedAt = DateOfNumbers(DateNumbers());
      break;
    }
    default: break;  // code 25: nothing more
  }

  const AnsiString& rest = SharedTokenizer().Remainder();
  const AnsiString got = rest.size() >= 2 ? rest.substr(rest.size() - 2) : rest;
  int gotValue = -1;
  if (!ReadHex2(got, gotValue) || gotValue != PrinterCheckCode(std::string_view(body).substr(0, body.size() - 2)))
    prompts_->ShowMessage("Błędna suma kontrolna (jest "_cp + got + " a powinno być "_cp + computed + ").",
                          AppTitle, TMessageKind::Warning);
}

void TFPrinter::RequestFile(int mode, std::string_view from, std::string_view card, int step, std::string_view to) {
  UserBroke = false;
  const bool big = Config && Config->BigPackets;
  AnsiString text = big ? "1" : "0";
  text += Format("@EP%d/%d/", step, mode);
  text.append(card);
  text += '\r';
  text.append(from);
  text += '\r';
  text.append(to);
  text += "\r1/";
  try {
    SendCommand(text, soCheckCode | soFrame);
  } catch (...) {
    if (UserBroke) throw;
  }
}

bool TFPrinter::DownloadFile(std::string_view remoteName, const std::filesystem::path& localPath) {
  bool result = false;
  try {
    RequestFile(5, remoteName, "", 0, "");
    std::ofstream out(localPath, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    int failures = 0;
    AnsiString lastNumber;
    for (;;) {
      AnsiString data = kReplyEnd;
      if (!ReceiveWithTimeout(data, PacketMaxLen, PacketTimeout)) data.clear();
      if (!data.empty() && CheckReplyFrame(data)) {
        failures = 0;
        const std::string_view body = std::string_view(data).substr(2, data.size() - 4);
        const auto at = body.find("@EP");
        if (at == std::string_view::npos) throw EQD407CommError("@EP");
        const AnsiString number = NextToken(body.substr(at + 3), "/");
        const int status = StrToInt(Trim(NextToken("/")));
        NextToken("\r");  // file name
        NextToken("/");
        NextToken("/");
        const AnsiString tail = SharedTokenizer().Remainder();
        const auto cr = tail.rfind('\r');
        const AnsiString payload = UnescapePacketPayload(std::string_view(tail).substr(0, cr == AnsiString::npos ? 0 : cr));
        // The same packet number twice in a row is the packet already stored coming again (a
        // repeat request after a lost "next" request); writing it twice would corrupt the file.
        if (!(result && number == lastNumber)) {
          out.write(payload.data(), static_cast<std::streamsize>(payload.size()));
          out.flush();
          if (!out) return false;
        }
        lastNumber = number;
        result = true;
        if (status == 2) break;
        RequestFile(5, "", "", 1, "");
      } else {
        if (++failures > PacketRetries) break;
        RequestFile(5, "", "", 2, "");
      }
    }
  } catch (...) {
    return false;
  }
  return result;
}

bool TFPrinter::SendVerifyPieces(const std::vector<AnsiString>& pieces, std::string_view typeMarker,
                                 std::string_view controlCode, std::string_view uniqueNo, int kind) {
  try {
    // pieces holds the text sent and, per piece, its length in characters or bytes at the front
    // as "len/" already; see the callers.
    const size_t n = pieces.size();
    for (size_t i = 0; i < n; ++i) {
      const bool last = i + 1 == n;
      const char* marker = i == 0 ? "1" : last ? "99" : "2";
      AnsiString t = Format("%s;%d@EV", marker, kind);
      t.append(uniqueNo);
      t += '\r';
      if (last) t.append(controlCode);
      t += '\r';
      t.append(typeMarker);
      t += pieces[i];
      t += '\r';
      SendCommand(t, soCheckCode | soFrame);
    }
    if (n == 1) {
      AnsiString t = "99@EV";
      t.append(uniqueNo);
      t += '\r';
      t.append(controlCode);
      t += '\r';
      t.append(typeMarker);
      t += pieces[0].substr(0, pieces[0].find('/') + 1);
      t += '\r';
      SendCommand(t, soCheckCode | soFrame);
    }
    AnsiString data = kReplyEnd;
    Receive(data, 128, true);
    const auto at = data.find("@EV");
    if (at == AnsiString::npos) return false;
    const auto slash = data.find('/', at + 3);
    if (slash == AnsiString::npos) return false;
    return data.substr(at + 3, slash - at - 3) == "1";
  } catch (...) {
    return false;
  }
}

bool TFPrinter::VerifyText(std::string_view text, std::string_view controlCode, std::string_view uniqueNo, int kind) {
  std::vector<AnsiString> pieces;
  size_t at = 0;
  do {
    const std::string_view piece = text.substr(at, 256);
    pieces.push_back(Format("%zu/", piece.size()) + ToPrinterCodePage(piece));
    at += 256;
  } while (at < text.size());
  return SendVerifyPieces(pieces, "3/", controlCode, uniqueNo, kind);
}

bool TFPrinter::VerifyStream(std::istream& stream, std::string_view controlCode, std::string_view uniqueNo, int kind) {
  std::vector<AnsiString> pieces;
  try {
    stream.clear();
    stream.seekg(0);
    char buf[128];
    do {
      stream.read(buf, sizeof buf);
      const auto got = static_cast<size_t>(stream.gcount());
      AnsiString p = Format("%zu/", got);
      for (size_t i = 0; i < got; ++i) p += Format("%02X", static_cast<unsigned char>(buf[i]));
      if (got > 0 || pieces.empty()) pieces.push_back(p);
    } while (stream);
  } catch (...) {
    return false;
  }
  return SendVerifyPieces(pieces, "2/", controlCode, uniqueNo, kind);
}

}  // namespace quorvel
