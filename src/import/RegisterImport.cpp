#include "import/RegisterImport.h"

#include <algorithm>
#include <exception>
#include <filesystem>

#include "archive/QVDDeviceInfo.h"
#include "archive/uDailyRecord.h"
#include "base/DateTime.h"
#include "base/Errors.h"
#include "base/FileUtils.h"
#include "base/TextUtils.h"
#include "ecopy/uIDFile.h"
#include "import/TPrintoutsBrowser.h"
#include "links/R5Devices.h"
#include "links/R5Packets.h"
#include "reports/uDailyReportFormatter.h"

namespace quorvel {

namespace {

// Request and field codes of the register's packets.
constexpr uint8_t kReqUniqueNo = 63, kReqStatus = 52, kReqVersion = 51, kReqNip = 17;
constexpr uint8_t kReqPeriodicByDates = 60, kReqPeriodicByNumbers = 61;
constexpr uint8_t kReqPeriodicByDatesExt = 100, kReqPeriodicByNumbersExt = 101;
constexpr uint8_t kReqECopyByNumbers = 97, kReqECopyByDates = 98, kReqCardFile = 99;

constexpr int kFieldNumber = 1, kFieldName = 2, kFieldDate = 27, kFieldTime = 28, kFieldGross = 39;
constexpr int kFieldKind = 43, kFieldCumVat = 44, kFieldCumGross = 45, kFieldCumVatTotal = 46;
constexpr int kFieldGrossTotal = 47, kFieldVatTotal = 48, kFieldReceipts = 50, kFieldText1 = 52;
constexpr int kFieldText3 = 53, kFieldRate = 55, kFieldVoidCount = 80, kFieldFlags = 101;
constexpr int kFieldVoidValue = 107, kFieldUniqueNo = 108, kFieldDataLen = 161, kFieldModel = 162;
constexpr int kFieldGoodsKept = 293, kFieldData = 294, kFieldPacketNo = 295, kFieldPacketKind = 296;

constexpr unsigned long long kSpeedDelayMs = 501;

void Progress(TPrintoutsBrowser& b, std::string_view fileName, std::string_view message, int count = -1) {
  if (b.OnProgress) b.OnProgress(b, fileName, message, count);
}

// A date field of a record as GetField writes it (the short date), with an optional time.
TDateTime ShortDateOf(std::string_view text) {
  TDateTime v = 0;
  if (!TryParseShortDate(Trim(text), v))
    throw EConvertError("'"_cp + AnsiString(text) + "' nie jest poprawną datą"_cp);
  return v;
}

// "hh:mm" of a record's time field.
TDateTime TimeFieldOf(std::string_view text) {
  const AnsiString t = Trim(text);
  int32_t h = 0, m = 0;
  TDateTime v = 0;
  if (t.size() != 5 || t[2] != ':' || !TryStrToInt(t.substr(0, 2), h) || !TryStrToInt(t.substr(3, 2), m) ||
      !TryEncodeTime(h, m, 0, 0, v))
    throw EConvertError("'"_cp + t + "' nie jest poprawnym czasem"_cp);
  return v;
}

// The six raw characters yymmdd of a currency change, read as 20yy-mm-dd.
TDateTime CurrencyDateOf(std::string_view raw) {
  const AnsiString t = Trim(raw);
  int32_t y = 0, m = 0, d = 0;
  TDateTime v = 0;
  if (t.size() != 6 || !TryStrToInt(t.substr(0, 2), y) || !TryStrToInt(t.substr(2, 2), m) ||
      !TryStrToInt(t.substr(4, 2), d) || !TryEncodeDate(2000 + y, m, d, v))
    throw EConvertError("'20"_cp + t.substr(0, 2) + "-" + t.substr(2, 2) + "-" + t.substr(4) +
                        "' nie jest poprawną datą"_cp);
  return v;
}

// The device directory of a number the register sent (a name that would leave the archive is
// refused there).
std::string RegisterDeviceDirectory(TPrintoutsBrowser& b, const AnsiString& uniqueNo, bool isECopy) {
  return b.DeviceDirectory(DeviceNameOf(uniqueNo), isECopy, true);
}

// Reports "Koniec." when the scope it guards ends, normally or by an exception.
struct TEndNotice {
  TPrintoutsBrowser& Browser;
  ~TEndNotice() {
    try {
      Progress(Browser, {}, "Koniec.");
    } catch (...) {
    }
  }
};

}  // namespace

TRegisterModel RegisterModelOf(std::string_view modelName) {
  TRegisterModel m;
  // The status reply pads the name to ten characters; without the padding the shorter names
  // of the table could never be recognised.
  while (!modelName.empty() && (modelName.back() == ' ' || modelName.back() == '\0')) modelName.remove_suffix(1);
  if (modelName == "KIRA" || modelName == "KIRA PLUS") m.LineLen = 20;
  if (modelName == kRegisterModelTesmo) m.Extended = false;
  return m;
}

uint8_t RegisterRecordKind(std::string_view registerKind, bool extended) {
  if (registerKind == "1") return extended ? kKindDailyCumulative : kKindDaily;
  if (registerKind == "2" || registerKind == "3") return kKindRamReset;
  if (registerKind == "4") return kKindRateChange;
  if (registerKind == "5") return kKindCurrencyChange;
  if (registerKind == "8") return kKindCurrencyNoDate;
  return 0;
}

AnsiString RegisterSpeedText(int64_t bytes, unsigned long long elapsedMs) {
  const double seconds = static_cast<double>(elapsedMs) / 1000.0;
  const double speed = seconds > 0 ? static_cast<double>(bytes) / seconds : 0.0;
  AnsiString text = Format("%10.2f", speed);
  std::replace(text.begin(), text.end(), '.', ',');
  return text + " B/sec";
}

// ---- fiscal memory ----------------------------------------------------------------------------

void ImportRegisterFiscalMemory(TPrintoutsBrowser& ctx, TR5Device& link) {
  TDailyReportFormatter& fmt = ctx.Formatter;

  Progress(ctx, {}, "Odczyt numeru unikatowego..."_cp);
  if (link.Request(kReqUniqueNo) == 0) {
    Progress(ctx, {}, "Nie można odczytać numeru unikatowego"_cp);
    return;
  }
  const AnsiString uniqueNo = link.GetField(kReqUniqueNo, 0, kFieldUniqueNo);

  Progress(ctx, {}, "Odczyt wersji kasy..."_cp);
  AnsiString modelName;
  if (link.Request(kReqStatus, {}, {}, false, false) > 0) {
    modelName = link.GetField(kReqStatus, 0, kFieldModel);
  } else {
    link.Request(kReqVersion, {}, {}, false, false);
    link.GetField(kReqVersion, 0, 57);  // a register that answers neither request ends here
    modelName = AnsiString(kRegisterModelTesmo);
  }

  Progress(ctx, {}, "Odczyt numeru NIP..."_cp);
  if (link.Request(kReqNip, "0", "0") == 0) {
    Progress(ctx, {}, "Nie można odczytać numeru NIP"_cp);
    return;
  }
  const AnsiString nip = link.GetField(kReqNip, 0, kFieldNumber);

  fmt.LineLen = 48;
  fmt.NIP = nip;
  fmt.HasTotals = false;
  fmt.HasInvoices = false;
  fmt.PharmacyVersion = false;
  const TRegisterModel model = RegisterModelOf(modelName);
  fmt.LineLen = model.LineLen;

  Progress(ctx, {}, "Transmisja danych..."_cp);
  uint8_t requested;
  AnsiString first, second;
  if (ctx.ByNumber) {
    requested = model.Extended ? kReqPeriodicByNumbersExt : kReqPeriodicByNumbers;
    first = Format("%d", ctx.FromNo);
    second = Format("%d", ctx.ToNo);
  } else {
    requested = model.Extended ? kReqPeriodicByDatesExt : kReqPeriodicByDates;
    first = FormatYyMmDd(ctx.FromDate);
    second = FormatYyMmDd(ctx.ToDate);
  }
  const int count = link.Request(requested, first, second);
  if (count == 0) return;

  // The register decides the layout: records without "#00" are basic whatever was asked.
  const bool extended = link.Replies[0].find("#00") != AnsiString::npos;
  const uint8_t type = extended ? (ctx.ByNumber ? kReqPeriodicByNumbersExt : kReqPeriodicByDatesExt)
                                : (ctx.ByNumber ? kReqPeriodicByNumbers : kReqPeriodicByDates);
  const uint8_t currencyLayout = extended ? kR5CurrencyExtended : kR5CurrencyBasic;
  fmt.HasTotals = extended;

  const std::string dir = RegisterDeviceDirectory(ctx, uniqueNo, false);
  if (ctx.ResetList) ctx.PrintoutsSet.Clear();

  TEndNotice end{ctx};
  int32_t firstNo = 0, highestNo = 0;
  TDateTime firstDate = 0;
  bool dailySeen = false;
  fmt.Clear();
  if (ctx.ByNumber)
    fmt.SetRange(Format("%d", ctx.FromNo), Format("%11d", ctx.ToNo), true);
  else
    fmt.SetRange(FormatDmy(ctx.FromDate), FormatDmy(ctx.ToDate), false);
  Progress(ctx, {}, "Zapisywanie danych..."_cp);

  // One buffer for the whole reading: each entry writes only its own fields, so the rates of an
  // earlier entry are still there in the records after it.
  RFMRecord record;
  for (int i = 0; i < count; ++i) {
    if (ctx.OnPosition) ctx.OnPosition(ctx, i, count - 1);
    const auto field = [&](int code, int sub = 0) { return link.GetField(type, i, code, sub); };
    const AnsiString kind = field(kFieldKind);
    const uint8_t recordKind = RegisterRecordKind(kind, extended);
    if (recordKind == 0) continue;  // not stored; its position number stays unused
    record.Kind = recordKind;
    switch (recordKind) {
      case kKindDaily:
      case kKindDailyCumulative: {
        record.Number = field(kFieldNumber);
        record.Date = ShortDateOf(field(kFieldDate));
        for (int s = 0; s < kRateSlots; ++s) record.Gross[s] = field(kFieldGross, s);
        record.GrossTotal = field(kFieldGrossTotal);
        record.VatTotal = field(kFieldVatTotal);
        record.ReceiptCount = field(kFieldReceipts);
        record.DeviceText1 = field(kFieldText1);
        record.DeviceText3 = field(kFieldText3);
        record.VoidCount = field(kFieldVoidCount);
        record.VoidValue = field(kFieldVoidValue);
        const AnsiString flags = field(kFieldFlags);
        record.GoodsChanged = (!flags.empty() && (static_cast<unsigned char>(flags[0]) & 2) != 0) ? "TAK" : "";
        if (extended) {
          for (int s = 0; s < kRateSlots; ++s) {
            AnsiString v = field(kFieldCumVat, s);
            if (v.find('-') != AnsiString::npos) v.clear();
            record.CumVat[s] = v;
          }
          record.CumVatTotal = field(kFieldCumVatTotal);
          record.CumGross = field(kFieldCumGross);
        }
        const int32_t number = StrToInt(record.Number);
        if (!dailySeen) {
          dailySeen = true;
          firstNo = number;
          firstDate = record.Date;
        }
        highestNo = std::max(highestNo, number);
        record.Stats.FirstDate = firstDate;
        record.Stats.LastDate = record.Date;
        record.Stats.FirstNo = firstNo;
        record.Stats.LastNo = highestNo;
        fmt.AddRecord(record);
        ctx.PrintoutsSet.Append({number, record.Date, dir + Format("%4.4d.txt", number)});
        break;
      }
      case kKindRamReset:
        record.Date = ShortDateOf(field(kFieldDate)) + TimeFieldOf(field(kFieldTime));
        record.ResetNo = field(kFieldNumber);
        record.ResetKind = kind == "2" ? AnsiString("Zewnętrzne"_cp) : AnsiString("Wewnętrzne"_cp);
        record.GoodsNotCleared = field(kFieldGoodsKept) == "1" ? "1" : "";
        fmt.AddRecord(record);
        break;
      case kKindRateChange:
        record.Date = ShortDateOf(field(kFieldDate));
        for (int s = 0; s < kRateSlots; ++s) {
          AnsiString rate = field(kFieldRate, s);
          // The basic-request register marks a slot not in use with 99.
          if (!model.Extended && rate == "99") rate = "99,99";
          record.Rates[s] = rate;
        }
        if (!dailySeen) {
          for (int s = 0; s < kRateSlots; ++s) {
            record.Stats.RatesInForce[s] = "99,99";
            record.Stats.RateClasses[s] = 0;
          }
        }
        TDailyReportFormatter::ApplyRateChange(record);
        fmt.AddRecord(record);
        break;
      case kKindCurrencyChange:
      case kKindCurrencyNoDate: {
        const AnsiString raw = link.GetField(currencyLayout, i, kFieldDate);
        int32_t asNumber = -1;
        if (recordKind == kKindCurrencyNoDate && TryStrToInt(Trim(raw), asNumber) && asNumber == 0)
          record.Currency.ChangeDate = 0;
        else
          record.Currency.ChangeDate = CurrencyDateOf(raw);
        record.Currency.Name = link.GetField(currencyLayout, i, kFieldName);
        fmt.AddRecord(record);
        break;
      }
      default:
        break;
    }
    WriteRecordFile(dir + RecordFileName(i + 1), record);
  }

  ctx.FinishFiscalMemoryImport(dir);
}

// ---- electronic copy --------------------------------------------------------------------------

bool DownloadCardFile(TPrintoutsBrowser& ctx, TR5Device& link, std::string_view fileName,
                      const std::string& localPath) {
  (void)ctx;
  try {
    const int count = link.Request(kReqCardFile, fileName);
    // A reply that brought nothing is no file: the copy already on disc stays.
    if (count == 0) return false;
    std::string bytes;
    for (int i = 0; i < count; ++i) {
      int32_t length = 0;
      if (!TryStrToInt(Trim(link.GetField(kReqCardFile, i, kFieldDataLen)), length) || length < 0) length = 0;
      const AnsiString data = link.GetField(kReqCardFile, i, kFieldData);
      bytes.append(data, 0, std::min<std::size_t>(data.size(), static_cast<std::size_t>(length)));
    }
    WriteFileAtomic(localPath, bytes);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

namespace {

// Writes the file whose last packet the link holds now, from all its packets in order, and
// empties the reply list for the next file.
void WriteAssembledFile(TPrintoutsBrowser& ctx, TR5Device& link, uint8_t type, const std::string& dir,
                        const AnsiString& name) {
  if (!IsSafeArchiveName(name))
    throw EQuorvelError("Odrzucono nazwę pliku podaną przez kasę: \""_cp + name +
                        "\". Plik nie może leżeć poza katalogiem urządzenia."_cp);
  const std::string path = dir + Cp1250ToUtf8(GroupedName(name));
  std::string bytes;
  for (int k = 0; k < link.ReplyCount(); ++k) {
    int32_t length = 0;
    if (!TryStrToInt(Trim(link.GetField(type, k, kFieldDataLen)), length) || length < 0) length = 0;
    const AnsiString data = link.GetField(type, k, kFieldData);
    bytes.append(data, 0, std::min<std::size_t>(data.size(), static_cast<std::size_t>(length)));
  }
  link.ClearReplies();
  WriteFileAtomic(path, bytes, true);
  TReportFileHeader header;
  if (ParseReportFileHeader(bytes, header)) {
    ctx.PrintoutsSet.Append({header.ReportNo, header.PrintoutDateFrom, path});
    ctx.NewDataFound = true;
  }
}

}  // namespace

void ImportRegisterECopy(TPrintoutsBrowser& ctx, TR5Device& link) {
  link.SetMonitorEnabled(true);
  link.Request(kReqUniqueNo);
  const AnsiString uniqueNo = link.GetField(kReqUniqueNo, 0, kFieldUniqueNo);
  link.Request(kReqStatus);
  link.GetField(kReqStatus, 0, 0);  // an empty reply ends the import here

  const std::string dir = RegisterDeviceDirectory(ctx, uniqueNo, true);

  Progress(ctx, "idhist.txt", "Pobieranie pliku z historią"_cp);
  const std::string historyFile = dir + "idhist.txt";
  if (DownloadCardFile(ctx, link, "idhist.txt", historyFile) && ctx.CardIndex.LoadFromFile(historyFile, false))
    ctx.FillCardList();
  Progress(ctx, "id.txt", "Pobieranie pliku id.txt"_cp);
  const std::string currentFile = dir + "id.txt";
  if (DownloadCardFile(ctx, link, "id.txt", currentFile)) ctx.CardIndex.LoadFromFile(currentFile, true);

  uint8_t type;
  AnsiString first;
  if (ctx.ByNumber) {
    type = kReqECopyByNumbers;
    first = Format("%5.5d%5.5d", ctx.FromNo, ctx.ToNo);
  } else {
    type = kReqECopyByDates;
    first = FormatYyMmDd(ctx.FromDate) + FormatYyMmDd(ctx.ToDate);
  }

  TEndNotice end{ctx};
  struct TClearOnError {
    TR5Device& Link;
    int Exceptions = std::uncaught_exceptions();
    ~TClearOnError() {
      if (std::uncaught_exceptions() > Exceptions) Link.ClearReplies();
    }
  } clearOnError{link};

  link.Request(type, first, "000", false, true, true);
  unsigned long long started = TClock::TickCount();
  int64_t bytes = 0;
  while (link.ReceiveReply(true)) {
    const int newest = link.ReplyCount() - 1;
    const AnsiString packetNoText = link.GetField(type, newest, kFieldPacketNo);
    const AnsiString kindText = link.GetField(type, newest, kFieldPacketKind);
    const AnsiString name = link.GetField(type, newest, kFieldName);
    int32_t length = 0;
    if (!TryStrToInt(Trim(link.GetField(type, newest, kFieldDataLen)), length) || length < 0) length = 0;
    bytes += length;
    const int32_t packetNo = StrToInt(packetNoText);
    const int32_t packetKind = StrToInt(kindText);

    if (packetKind == 1 || packetKind == 2) {
      WriteAssembledFile(ctx, link, type, dir, name);
      bytes = 0;
      started = TClock::TickCount();
    }
    const unsigned long long elapsed = TClock::TickCount() - started;
    if (ctx.OnProgress && elapsed >= kSpeedDelayMs) {
      Progress(ctx, dir + Cp1250ToUtf8(name),
               "Plik: "_cp + name + "   Pakiet nr: " + Format("%d", packetNo) + "   " +
                   RegisterSpeedText(bytes, elapsed),
               0);
    }
  }
}

}  // namespace quorvel
