#include "import/PrinterImport.h"

#include <filesystem>
#include <memory>
#include <optional>

#include "archive/QVDDeviceInfo.h"
#include "archive/uDailyRecord.h"
#include "base/Errors.h"
#include "base/FileUtils.h"
#include "base/TextUtils.h"
#include "ecopy/uIDFile.h"
#include "import/TPrintoutsBrowser.h"
#include "links/FiscalPrinter.h"
#include "reports/uDailyReportFormatter.h"

namespace quorvel {

namespace {

constexpr char kEsc = 27;

void Progress(TPrintoutsBrowser& b, std::string_view fileName, std::string_view message, int count = -1) {
  if (b.OnProgress) b.OnProgress(b, fileName, message, count);
}
void Position(TPrintoutsBrowser& b, int position, int maximum) {
  if (b.OnPosition) b.OnPosition(b, position, maximum);
}

}  // namespace

TPrinterModel PrinterModelOf(std::string_view upperVersion) {
  TPrinterModel m;
  const bool vanta = upperVersion.find("VANTA") != std::string_view::npos;
  const bool tikapos = upperVersion.find("TIKAPOS") != std::string_view::npos;
  m.LineLen = (!vanta && tikapos) ? 48 : 44;
  m.HasInvoices = upperVersion.find("VANTA E") != std::string_view::npos || tikapos;
  m.PharmacyVersion = upperVersion.find("VANTA A E") != std::string_view::npos;
  return m;
}

TDateTime RecordHeaderDate(const RFMRecord& r) {
  const int year = 2000 + StrToIntDef(Trim(r.HeaderTokens[0]), 0);
  const int month = StrToInt(Trim(r.HeaderTokens[1]));
  const int day = StrToInt(Trim(r.HeaderTokens[2]));
  const int hour = StrToInt(Trim(r.HeaderTokens[3]));
  const int minute = StrToInt(Trim(r.HeaderTokens[4]));
  const int second = StrToInt(Trim(r.HeaderTokens[5]));
  return EncodeDateTime(year, month, day, hour, minute, second);
}

AnsiString CardFieldOf(std::string_view uniqueNo) {
  const std::string_view head = uniqueNo.substr(0, 8);
  const std::string_view tail = uniqueNo.size() > 8 ? uniqueNo.substr(8, 3) : std::string_view();
  return AnsiString(head) + "." + AnsiString(tail);
}

bool DecodeECopyPacket(std::string_view frame, TECopyPacket& packet) {
  if (frame.size() < 7) return false;
  const std::string_view body = frame.substr(2, frame.size() - 6);
  const std::size_t at = body.find("@EP");
  if (at == std::string_view::npos) return false;
  std::string_view rest = body.substr(at + 3);
  auto field = [&rest](char sep, std::string_view& out) {
    const std::size_t p = rest.find(sep);
    if (p == std::string_view::npos) return false;
    out = rest.substr(0, p);
    rest.remove_prefix(p + 1);
    return true;
  };
  std::string_view number, status, name, unused1, unused2;
  if (!field('/', number) || !field('/', status) || !field('\r', name)) return false;
  int32_t n = 0, s = 0;
  if (!TryStrToInt(Trim(number), n) || !TryStrToInt(Trim(status), s)) return false;
  packet.Number = n;
  packet.Status = s;
  packet.Name = Trim(name);
  // A closing packet without a file carries nothing more.
  if (packet.Name.empty() && rest.find('/') == std::string_view::npos) {
    packet.Payload.clear();
    return true;
  }
  if (!field('/', unused1) || !field('/', unused2)) return false;
  // The payload runs to the CR that ends the body (the check characters follow it); it is taken
  // from the end because the text it carries has line ends of its own.
  if (rest.empty() || rest.back() != '\r') return false;
  packet.Payload = UnescapePacketPayload(rest.substr(0, rest.size() - 1));
  return true;
}

// --- fiscal memory ---------------------------------------------------------------------------------

void ImportPrinterFiscalMemory(TPrintoutsBrowser& ctx, TFPrinter& printer) {
  TDailyReportFormatter& fmt = ctx.Formatter;
  RFMRecord record;  // kept over the whole reading: each record overwrites only its own fields
  printer.SetErrorHandling(1);

  const AnsiString unique = DeviceNameOf(Trim(printer.ReadUniqueNumber()));
  if (unique.size() != 11) {
    ctx.Prompts().ShowMessage("Brak komunikacji z drukarką"_cp, printer.AppTitle, TMessageKind::Error);
    return;
  }
  const AnsiString version = AnsiUpperCase(printer.ReadVersion());
  if (ctx.ByNumber)
    printer.SelectRecordsFromNumber(ctx.FromNo);
  else
    printer.SelectRecordsFromDate(ctx.FromDate);
  bool firstRateChange = true;
  const uint8_t status = printer.SendControlByte(5);
  const std::string deviceDir = ctx.DeviceDirectory(unique, false, (status & 8) != 0);
  if (ctx.ResetList) ctx.PrintoutsSet.Clear();

  const TPrinterModel model = PrinterModelOf(version);
  fmt.LineLen = model.LineLen;
  fmt.HasInvoices = model.HasInvoices;
  fmt.PharmacyVersion = model.PharmacyVersion;
  fmt.HasTotals = false;

  const AnsiString fromText = ctx.ByNumber ? Format("%d", ctx.FromNo) : FormatDmy(ctx.FromDate);
  const AnsiString toText = ctx.ByNumber ? Format("%11d", ctx.ToNo) : FormatDmy(ctx.ToDate);
  fmt.Clear();
  fmt.SetRange(fromText, toText, ctx.ByNumber);

  bool endedNormally = false;
  try {
    int n = 0;
    do {
      if (ctx.UserBreak()) break;
      ++n;
      printer.ReadRecord(record);
      const auto writeRecord = [&] { WriteRecordFile(deviceDir + RecordFileName(n), record); };
      switch (record.Kind) {
        case kKindDaily:
        case kKindDailyCumulative:
        case kKindDailyPharmacy: {
          if (record.Kind != kKindDaily) fmt.HasTotals = true;
          if (record.Kind == kKindDailyPharmacy) fmt.PharmacyVersion = true;
          const int32_t number = StrToInt(Trim(record.Number));
          if (number > ctx.ToNo) {
            endedNormally = true;
            break;
          }
          if (number <= 0) break;  // skipped, but its position still counts
          Progress(ctx, {}, "Raport nr "_cp + Format("%d", number));
          if (ctx.ByNumber) Position(ctx, number, ctx.ToNo);
          record.Date = RecordHeaderDate(record);
          fmt.AddRecord(record);
          ctx.PrintoutsSet.Append({number, record.Date, deviceDir + Format("%4.4d.txt", number)});
          writeRecord();
          break;
        }
        case kKindRateChange:
          record.Date = RecordHeaderDate(record);
          if (firstRateChange) {
            firstRateChange = false;
            for (int s = 0; s < kRateSlots; ++s) {
              record.Stats.RatesInForce[s] = "99,99";
              record.Stats.RateClasses[s] = 0;
            }
          }
          TDailyReportFormatter::ApplyRateChange(record);
          fmt.AddRecord(record);
          writeRecord();
          break;
        case kKindRamReset:
          record.Date = RecordHeaderDate(record);
          fmt.AddRecord(record);
          writeRecord();
          break;
        case kKindCurrencyChange:
          record.Date = RecordHeaderDate(record);
          fmt.AddRecord(record);
          writeRecord();
          firstRateChange = true;
          break;
        case kKindCurrencyNoDate:
          fmt.AddRecord(record);
          writeRecord();
          break;
        case kKindMediumClosing:
          record.Date = RecordHeaderDate(record);
          fmt.AddRecord(record);
          break;
        default:
          break;
      }
      if (endedNormally) break;
    } while (!printer.EndReached);
    if (printer.EndReached) endedNormally = true;
  } catch (...) {
    Progress(ctx, {}, "Koniec");
    throw;
  }
  Progress(ctx, {}, "Koniec");
  if (!endedNormally) return;

  ctx.FinishFiscalMemoryImport(deviceDir);
}

// --- electronic copy -------------------------------------------------------------------------------

namespace {

// The local file of the packets now arriving: written under a temporary name beside its place,
// with the start kept in memory so that the header is checked before the file takes its place.
struct TIncomingFile {
  AnsiString Name;     // as the printer named it
  std::string Path;    // its place in the archive
  std::unique_ptr<TAtomicFile> Out;
  std::string Head;    // the first bytes, enough for the 34-line header
  std::size_t Size = 0;

  static constexpr std::size_t kHeadBytes = 64 * 1024;

  void Write(std::string_view bytes) {
    if (Head.size() < kHeadBytes) Head.append(bytes.substr(0, kHeadBytes - Head.size()));
    Out->Append(bytes);
    Size += bytes.size();
  }
};

enum class TTransferEnd { Complete, UserBreak, TooManyFailures, BadHeader };

class TECopyTransfer {
 public:
  TECopyTransfer(TPrintoutsBrowser& ctx, TFPrinter& printer, const TPrinterTransferLimits& limits, std::string deviceDir,
                 int mode, AnsiString from, AnsiString card, AnsiString to)
      : ctx_(ctx), printer_(printer), limits_(limits), deviceDir_(std::move(deviceDir)), mode_(mode),
        from_(std::move(from)), card_(std::move(card)), to_(std::move(to)) {}

  void Run();

 private:
  AnsiString ReceiveFrame();
  void OpenFile(const AnsiString& name);
  // The file whose last packet has arrived: false when its header does not read (it is dropped).
  bool FinishFile();
  void AddRow(const TReportFileHeader& header, const std::string& path);

  TPrintoutsBrowser& ctx_;
  TFPrinter& printer_;
  const TPrinterTransferLimits& limits_;
  std::string deviceDir_;
  int mode_;
  AnsiString from_, card_, to_;
  std::optional<TIncomingFile> file_;
  AnsiString failedName_;
};

AnsiString TECopyTransfer::ReceiveFrame() {
  AnsiString data;
  if (!printer_.ReceiveUntil(data, limits_.MaxFrameLen, kEsc, limits_.FrameStartTimeout)) return {};
  if (data.size() > 1) {
    const std::size_t esc = data.find(kEsc);
    if (esc != AnsiString::npos && esc > 0) data.erase(0, esc);
  }
  // The closing ESC may have come with the first read already (a fast line delivers a whole
  // packet at once); only a frame still open waits for the rest.
  const bool closed = data.size() > 1 && data.find(kEsc, 1) != AnsiString::npos;
  if (!closed) {
    AnsiString rest;
    if (!printer_.ReceiveUntil(rest, limits_.MaxFrameLen, kEsc, limits_.FrameRestTimeout)) return {};
    data += rest;
  }
  if (data.empty() || data[0] != kEsc) data.insert(data.begin(), kEsc);
  if (data.back() != '\\') {
    AnsiString tail;
    printer_.ReceiveUntil(tail, 1, '\\', limits_.FrameTailTimeout);
    data += '\\';
  }
  return data;
}

void TECopyTransfer::OpenFile(const AnsiString& name) {
  TIncomingFile f;
  f.Name = name;
  f.Path = deviceDir_ + Cp1250ToUtf8(GroupedName(name));
  f.Out = std::make_unique<TAtomicFile>(f.Path);
  file_ = std::move(f);
}

void TECopyTransfer::AddRow(const TReportFileHeader& header, const std::string& path) {
  ctx_.PrintoutsSet.Append({header.ReportNo, header.ReportDate, path});
  ctx_.NewDataFound = true;
}

bool TECopyTransfer::FinishFile() {
  TIncomingFile f = std::move(*file_);
  file_.reset();
  ctx_.Prompts().PumpMessages();
  TReportFileHeader header;
  if (!ParseReportFileHeader(f.Head, header)) {
    failedName_ = f.Name;
    return false;  // the temporary file goes with `f`; an archived file of that name stays
  }
  f.Out->Commit();
  AddRow(header, f.Path);
  return true;
}

void TECopyTransfer::Run() {
  int failures = 0, retransmissions = 0, lastPacket = -1, lastStatus = 1;
  bool first = true, repeat = false;
  int64_t total = 0;
  const auto start = TClock::TickCount();
  TTransferEnd end = TTransferEnd::Complete;

  for (;;) {
    // 1. The request.
    if (repeat) {
      repeat = false;
      ++retransmissions;
      printer_.ResetLink();
      printer_.RequestFile(mode_, from_, "", 2, to_);
    } else if (first) {
      first = false;
      printer_.RequestFile(mode_, from_, card_, 0, to_);
    } else if (lastStatus == 2) {
      break;
    } else if (lastStatus == 1 && file_) {
      if (!FinishFile()) {
        end = TTransferEnd::BadHeader;
        break;
      }
      printer_.RequestFile(mode_, from_, "", 1, to_);
    } else if (lastStatus == 0 || lastStatus == 1) {
      printer_.RequestFile(mode_, from_, "", 1, to_);
    }
    // A status above 2 sends nothing and only reads again.

    // 2.-3. One frame.
    const AnsiString frame = ReceiveFrame();
    if (frame.empty() || !TFPrinter::CheckReplyFrame(frame)) {
      if (++failures > limits_.BadFrameLimit) {
        end = TTransferEnd::TooManyFailures;
        break;
      }
      repeat = true;
      printer_.ResetLink();
      continue;
    }
    // 4. The packet and its place in the sequence.
    TECopyPacket packet;
    if (!DecodeECopyPacket(frame, packet)) {
      if (++failures > limits_.BadFrameLimit) {
        end = TTransferEnd::TooManyFailures;
        break;
      }
      repeat = true;
      printer_.ResetLink();
      continue;
    }
    if (lastPacket != -1 && packet.Number != lastPacket + 1) {
      if (++failures > limits_.SequenceLimit) {
        end = TTransferEnd::TooManyFailures;
        break;
      }
      repeat = true;
      continue;
    }
    // 5. In sequence.
    failures = 0;
    if (packet.Status == 2 && packet.Name.empty()) break;
    // The name comes from the device: it may name a file of the device directory, nothing else.
    if (!IsSafeArchiveName(packet.Name))
      throw EQuorvelError("Odrzucono nazwę pliku podaną przez drukarkę: \""_cp + packet.Name +
                          "\". Plik nie może leżeć poza katalogiem urządzenia."_cp);
    // 6. Progress.
    const auto elapsed = TClock::TickCount() - start;
    if (elapsed > static_cast<unsigned long long>(limits_.ProgressDelayMs) && ctx_.OnProgress) {
      const double speed = static_cast<double>(total) / (static_cast<double>(elapsed) / 1000.0);
      AnsiString speedText = Format("%10.2f", speed);
      for (auto& c : speedText)
        if (c == '.') c = ',';
      Progress(ctx_, deviceDir_ + Cp1250ToUtf8(packet.Name),
                    "Plik: "_cp + packet.Name + "   Pakiet nr: " + Format("%d", packet.Number) + "   " +
                        speedText + " B/sec",
                    retransmissions);
    }
    total += static_cast<int64_t>(packet.Payload.size());
    // 7. The local file.
    if (!file_) {
      OpenFile(packet.Name);
      if (ctx_.ByNumber) Position(ctx_, FileNameNumber(std::filesystem::path(Cp1250ToUtf8(packet.Name))), ctx_.ToNo);
    }
    // 8. The user's break, else the payload.
    if (ctx_.UserBreak()) {
      end = TTransferEnd::UserBreak;
      break;
    }
    file_->Write(packet.Payload);
    lastPacket = packet.Number;
    lastStatus = packet.Status;
    if (packet.Status == 2) break;
  }

  // The file of the last packet.
  if (file_) {
    if (end == TTransferEnd::Complete) {
      if (!FinishFile()) end = TTransferEnd::BadHeader;
    } else {
      failedName_ = file_->Name;
      file_.reset();  // abandoned: the temporary file is removed, the archive keeps what it had
    }
  }
  switch (end) {
    case TTransferEnd::Complete:
    case TTransferEnd::UserBreak:
      return;
    case TTransferEnd::TooManyFailures:
      throw EQuorvelError("Transmisja kopii elektronicznej została przerwana: zbyt wiele błędnych pakietów"_cp +
                          (failedName_.empty() ? AnsiString(".") : " (plik "_cp + failedName_ + " nie został zapisany)."_cp));
    case TTransferEnd::BadHeader:
      throw EQuorvelError("Błędny nagłówek pobranego pliku "_cp + failedName_ +
                          "; plik nie został zapisany, a transmisja została przerwana."_cp);
  }
}

}  // namespace

void ImportPrinterECopy(TPrintoutsBrowser& ctx, TFPrinter& printer, const TPrinterTransferLimits& limits) {
  AnsiString unique, card;
  if (!ctx.SourceDir.empty()) {
    unique = ctx.SourceDir;
    card = CardFieldOf(unique);
  } else {
    unique = Trim(printer.ReadUniqueNumber());
  }
  const uint8_t status = printer.SendControlByte(5);
  unique = DeviceNameOf(unique);
  const std::string deviceDir = ctx.DeviceDirectory(unique, true, (status & 8) != 0);
  if (ctx.ResetList) ctx.PrintoutsSet.Clear();

  int mode;
  AnsiString from, to;
  if (ctx.ByNumber) {
    mode = 2;
    from = Format("%d", ctx.FromNo);
    to = Format("%d", ctx.ToNo);
  } else {
    mode = 1;
    const TDateParts f = DecodeDateTime(ctx.FromDate), t = DecodeDateTime(ctx.ToDate);
    from = Format("%2.2d%2.2d%4.4d", f.Day, f.Month, f.Year);
    to = Format("%2.2d%2.2d%4.4d", t.Day, t.Month, t.Year);
  }

  try {
    printer.ResetLink();
    Progress(ctx, "idhist.txt", "Pobieranie pliku z historią"_cp);
    // The history arrives beside the archived one and replaces it only when it reads: a printer
    // without a history, or a broken transfer, leaves the archive's copy as it was.
    const std::string historyFile = deviceDir + "idhist.txt";
    const std::string incoming = deviceDir + ".idhist.txt.part";
    if (printer.DownloadFile("idhist.txt", incoming) && ctx.CardIndex.LoadFromFile(incoming, false)) {
      std::error_code ec;
      std::filesystem::rename(incoming, historyFile, ec);
      if (ec) throw EFileError(FileErrorMessage("Nie można zapisać pliku"_cp, historyFile, ec.value()));
      ctx.FillCardList();
    }
    std::error_code ignored;
    std::filesystem::remove(incoming, ignored);
    // The history download swallows the link's break into a false result; a break the user
    // confirmed there still ends the import rather than going on to the files.
    if (printer.UserBroke) throw EQD407CommError(AnsiString("Komunikacja została przerwana przez użytkownika."_cp));
    TECopyTransfer(ctx, printer, limits, deviceDir, mode, from, card, to).Run();
  } catch (...) {
    Progress(ctx, {}, "Koniec");
    throw;
  }
  Progress(ctx, {}, "Koniec");
}

}  // namespace quorvel
