#include "links/R5Devices.h"

#include <termios.h>

#include <chrono>
#include <thread>

#include "base/DateTime.h"
#include "base/TextUtils.h"
#include "links/R5ErrorCodes.h"
#include "links/R5Frame.h"
#include "links/R5Packets.h"

namespace quorvel {

namespace {

constexpr std::string_view kStopQuestion = "Czy przerwać komunikację ?"_cp;
constexpr std::string_view kUserAborted = "Błędna komunikacja z kasą przerwana przez użytkownika"_cp;
constexpr std::string_view kBadLink = "Błędna komunikacja z kasą"_cp;
constexpr std::string_view kReadError = "Błąd odczytu."_cp;
constexpr std::string_view kWriteError = "Błąd zapisu."_cp;

// Bounds on loops that a faulty line could otherwise keep going for ever without a time-out:
// a register that never answers its packets, answers every frame with a broken checksum,
// refuses every handshake or reports an error on every attempt.
constexpr int kMaxSilentRecoveries = 3;
constexpr int kMaxBadChecksums = 64;
constexpr int kMaxEnquireRefusals = 16;
constexpr int kMaxErrorRestarts = 16;

constexpr std::size_t kMaxFrameBody = 2048;
constexpr int32_t kBodyPiece = 1024;

AnsiString Fill(std::string_view pattern, std::initializer_list<std::string_view> values) {
  AnsiString out;
  auto it = values.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'd')) {
      if (it != values.end()) out += *it++;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

}  // namespace

ECommError::ECommError(std::string_view message, TUserPrompts* prompts) : EQuorvelError(AnsiString(message)) {
  if (prompts) prompts->ShowMessage(message, "Błąd komunikacji z kasą"_cp, TMessageKind::Error);
}

TR5Device::TR5Device(TUserPrompts* prompts) : Comm(prompts), prompts_(prompts ? prompts : &silent_) {
  Comm.SetDCBFlags({dcbBinary, dcbDtrEnable, dcbRtsEnable});
  Comm.RdTimeout = 6000;
  Comm.WrTimeout = 6000;
  Comm.RdByteTimeout = 0;
  Comm.WrByteTimeout = 0;
  Comm.UseRdTimeouts = true;
  Comm.UseWrTimeouts = true;
  Comm.AutoRdInfo = "Transmisja...";
  Comm.AutoWrInfo = "Transmisja...";
  Comm.CancelShortcut = 27;
  Comm.OnReadError = [this](TMPXCommDevice&, TMPXCommOperation& op, bool&) { SerialReadError(op); };
  Comm.OnWriteError = [this](TMPXCommDevice&, TMPXCommOperation& op, bool&) { SerialWriteError(op); };
  Comm.OnUserBreak = [this](TMPXCommDevice&, TMPXCommOperation&, bool&) { RaiseCommError(kUserAborted); };
  Comm.SetPortName("COM1");
  Comm.SetBaudRate(cbr9600);
}

TR5Device::~TR5Device() {
  try {
    Comm.SetActive(false);
    if (Hub && Channel) Hub->Disconnect(Channel);
  } catch (...) {
  }
}

void TR5Device::RaiseCommError(std::string_view message) { throw ECommError(message, prompts_); }

void TR5Device::SerialReadError(TMPXCommOperation& op) {
  if (op.Status != csTimeout) RaiseCommError(kReadError);
}

void TR5Device::SerialWriteError(TMPXCommOperation& op) {
  if (op.Status != csTimeout) RaiseCommError(kWriteError);
}

void TR5Device::Open(bool value) {
  if (Mode == 1) {
    if (!Channel) {
      if (!Hub) {
        try {
          Hub = GetActiveHubServer();
        } catch (const EHubNotRunning&) {
          Hub = CreateHubServer();
        }
      }
      if (value) {
        Channel = Hub->Connect(ChannelId, ChannelName, true, ChannelName);
        if (Channel) Channel->Setting(100);
      }
    } else if (!value) {
      try {
        Hub->Disconnect(Channel);
      } catch (...) {
        // the channel is dropped all the same
      }
      Channel.reset();
    }
  } else {
    Comm.SetActive(value);
  }
  if (value && monitorEnabled_) {
    // There is no transmission monitor on this platform: say so once and work on without logging.
    prompts_->ShowMessage("Nie można utworzyć obiektu monitora. Logowanie komunikacji nie jest możliwe."_cp,
                          "Błąd"_cp, TMessageKind::Error);
    monitorEnabled_ = false;
  }
}

bool TR5Device::TestConnection() {
  try {
    Open(true);
    Open(false);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void TR5Device::ResetLink() {
  if (Mode == 1) {
    if (Channel) Channel->Reset();
    return;
  }
  const int fd = Comm.Handle();
  if (fd < 0) return;
  // A write here returns while its bytes may still wait in the terminal's output buffer, and a
  // purge of output would throw away the EOT that often comes just before a handshake: the
  // bytes are let out first and only stale input is dropped.
  ::tcdrain(fd);
  ::tcflush(fd, TCIFLUSH);
}

void TR5Device::Reopen() {
  Open(false);
  Open(true);
}

bool TR5Device::WriteBytes(std::string_view bytes) {
  if (Mode == 1) {
    HubYield();
    if (!Channel || !Channel->WriteString(bytes)) RaiseCommError("CommHub: błąd zapisu."_cp);
    return true;
  }
  if (!Comm.WriteData(bytes)) RaiseCommError(kWriteError);
  return true;
}

void TR5Device::HubYield() {
  const unsigned long long now = TClock::TickCount();
  if (now - lastYield_ > 50) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    lastYield_ = TClock::TickCount();
  }
}

// Bytes of a hub channel one at a time, each within HubByteTimeout; Escape gives up at once.
AnsiString TR5Device::HubRead(int32_t count) {
  UserAbort = false;
  AnsiString got;
  while (static_cast<int32_t>(got.size()) < count) {
    const unsigned long long deadline = TClock::TickCount() + static_cast<unsigned long long>(HubByteTimeout);
    bool came = false;
    for (long polls = 1;; ++polls) {
      uint8_t b = 0;
      if (Channel && Channel->ReadByte(b)) {
        got += static_cast<char>(b);
        came = true;
        break;
      }
      prompts_->PumpMessages();
      if (prompts_->UserBreakPressed()) UserAbort = true;
      if (UserAbort) return {};
      if (TClock::TickCount() > deadline) break;
      if (polls == 1000 || (polls > 1000 && (polls - 1000) % 100 == 0))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      HubYield();
    }
    if (!came) break;
  }
  return got;
}

bool TR5Device::ReadBytes(AnsiString& bytes, int32_t count, std::string_view terminator) {
  if (Mode == 1) {
    if (!terminator.empty()) RaiseCommError("wymagana funkcjonalność EOF w Read()"_cp);
    bytes = HubRead(count);
    if (static_cast<int32_t>(bytes.size()) < count) RaiseCommError("CommHub: błąd odczytu."_cp);
    return true;
  }
  return Comm.ReadData(bytes, count, terminator);
}

bool TR5Device::ReadFrameBody(AnsiString& bytes, int32_t count, std::string_view stopBytes) {
  return Comm.ReadUntil(bytes, count, stopBytes);
}

bool TR5Device::ReadByte(char& byte) {
  AnsiString b;
  if (!ReadBytes(b, 1) || b.size() != 1) return false;
  byte = b[0];
  return true;
}

bool TR5Device::ReadByteSkippingTab(char& byte) {
  do {
    if (!ReadByte(byte)) return false;
  } while (byte == r5::TAB);
  return true;
}

bool TR5Device::Enquire(bool askUser) {
  for (int refusals = 0;; ++refusals) {
    ResetLink();
    WriteBytes(std::string_view(&r5::ENQ, 1));
    char b = 0;
    if (!ReadByteSkippingTab(b)) {
      ECommError shown(kReadError, prompts_);  // seen by the user, not raised
      return false;
    }
    if (b == r5::ACK) return true;
    if (askUser) {
      const AnsiString q = Fill("Kasa R5 odmówiła komunikacji! Kod %sh. %s"_cp, {R5Hex2(b), kStopQuestion});
      if (prompts_->AskYesNo(q, "Błąd"_cp, false)) throw EQuorvelError(AnsiString(kUserAborted));
    }
    if (refusals + 1 >= kMaxEnquireRefusals) return false;
  }
}

AnsiString TR5Device::ReadRegisterError() {
  AnsiString text = AnsiString("Nieznany błąd"_cp);
  WriteBytes(std::string_view(&r5::EOT, 1));
  char b = 0;
  if (!ReadByteSkippingTab(b)) {
    // Nothing came: the register never started its error frame.
    WriteBytes(std::string_view(&r5::EOT, 1));
    return text;
  }
  if (b != r5::ENQ) {
    const AnsiString q = Fill("Kasa nie rozpoczęła wysyłania pakietu błędu, który zgłosiła! Kod %sh. %s"_cp,
                              {R5Hex2(b), kStopQuestion});
    if (prompts_->AskYesNo(q, "Błąd"_cp, true)) throw EQuorvelError(AnsiString(kBadLink));
    WriteBytes(std::string_view(&r5::EOT, 1));
    return text;
  }
  WriteBytes(std::string_view(&r5::ACK, 1));
  AnsiString start, code, rest;
  if (ReadBytes(start, 4) && ReadBytes(code, 2)) ReadBytes(rest, 41);
  WriteBytes(std::string_view(&r5::ACK, 1));
  if (ReadByte(b) && b != r5::EOT) {
    const AnsiString q = Fill("Kasa źle zakończyła wysyłanie pakietu błędu %s! Kod: %sh. Komunikacja będzie przerwana !"_cp,
                              {code, R5Hex2(b)});
    if (prompts_->AskYesNo(q, "Błąd"_cp, false)) throw EQuorvelError(AnsiString(kBadLink));
  }
  WriteBytes(std::string_view(&r5::EOT, 1));
  return Fill("Kasa odesłała kod błędu %s\n%s"_cp, {code, R5ErrorText(code)});
}

bool TR5Device::Transact(bool askUser, bool reportErrors, bool manualReceive) {
  for (auto& r : Requests) r = R5MakeFrame(r);
  // Recovery copies of frame 0 do not make a single request into several: the reply of a
  // request that needed a recovery is still received.
  const std::size_t requested = Requests.size();
  bool result = true;
  Open(true);
  Comm.SetKeepBusyCursor(true);
  struct TEnd {
    TR5Device& Link;
    bool Manual;
    ~TEnd() {
      try {
        Link.Comm.SetKeepBusyCursor(false);
        if (!Manual) Link.Open(false);
      } catch (...) {
      }
    }
  } end{*this, manualReceive};

  if (!Enquire(askUser)) return result;
  int silentInARow = 0;
  int errorRestarts = 0;
  for (std::size_t k = 0; k < Requests.size(); ++k) {
    prompts_->PumpMessages();
    int naks = 0;
    char b = 0;
    bool recovered = false;
    bool sendAgain = true;
    while (sendAgain) {
      sendAgain = false;
      WriteBytes(Requests[k]);
      if (!ReadByteSkippingTab(b)) {
        // The register did not answer the packet: end its transmission, give it time, and
        // start over with the handshake and frame 0 before the next frame.
        if (++silentInARow >= kMaxSilentRecoveries) RaiseCommError(kReadError);
        Reopen();
        WriteBytes(std::string_view(&r5::EOT, 1));
        for (int waited = 0; waited < SilentRegisterWait; waited += 50) {
          prompts_->PumpMessages();
          std::this_thread::sleep_for(std::chrono::milliseconds(std::min(50, SilentRegisterWait - waited)));
        }
        char ignored = 0;
        ReadByte(ignored);
        const AnsiString first = Requests[0];
        Requests.insert(Requests.begin() + static_cast<std::ptrdiff_t>(k) + 1, first);
        if (!Enquire(askUser)) return result;
        recovered = true;
        break;
      }
      silentInARow = 0;
      if (b == r5::NAK && ++naks < 7) sendAgain = true;
    }
    if (recovered) continue;  // go on with the inserted copy of frame 0
    if (b == r5::ACK) continue;
    if (b == r5::ERR) {
      if (!askUser) {
        if (reportErrors) ReadRegisterError();
        return false;
      }
      const AnsiString error = ReadRegisterError();
      const AnsiString q = error + "\n" + AnsiString("Wysyłano: "_cp) + "\n" + R5PacketTitle(Requests[k]) + "\n" +
                           AnsiString(kStopQuestion);
      if (prompts_->AskYesNo(q, "Błąd"_cp, false)) throw EQuorvelError(AnsiString(kUserAborted));
      if (++errorRestarts > kMaxErrorRestarts) throw EQuorvelError(AnsiString(kBadLink));
      const std::size_t n = Requests.size();
      if (k == 0 || (k == 1 && n == 2)) {
        if (!Enquire(askUser)) return result;
        k = static_cast<std::size_t>(-1);  // the loop's step makes it frame 0
      } else if (k + 1 < n) {
        const AnsiString first = Requests[0];
        Requests.insert(Requests.begin() + static_cast<std::ptrdiff_t>(k), first);
        if (!Enquire(askUser)) return result;
        --k;  // the loop's step makes it the inserted copy
      } else {
        throw EQuorvelError(AnsiString(kBadLink));
      }
      continue;
    }
    if (b == r5::EOT || b == r5::NAK) {
      if (!reportErrors) {
        WriteBytes(std::string_view(&r5::EOT, 1));
        return false;
      }
      const AnsiString q = Fill("Kasa nie przyjęła pakietu nr %d. Kod: %sh. %s"_cp,
                                {Format("%d", static_cast<int>(k)), R5Hex2(b), kStopQuestion});
      if (prompts_->AskYesNo(q, "Błąd"_cp, false)) {
        WriteBytes(std::string_view(&r5::EOT, 1));
        throw EQuorvelError(AnsiString(kUserAborted));
      }
      continue;
    }
    if (askUser) {
      prompts_->ShowMessage(
          Fill("Kasa odesłała błędny kod (%sh) po wysłaniu pakietu nr %d. Komunikacja zostanie przerwana!"_cp,
               {R5Hex2(b), Format("%d", static_cast<int>(k))}),
          "Błąd"_cp, TMessageKind::Error);
    }
    throw EQuorvelError(AnsiString(kBadLink));
  }
  WriteBytes(std::string_view(&r5::EOT, 1));
  EndSent = true;
  if (requested > 1) {
    char b = 0;
    if (!ReadByte(b)) prompts_->ShowMessage("Kasa nie odpowiada"_cp, "Błąd"_cp, TMessageKind::Error);
    else if (b != r5::EOT)
      prompts_->ShowMessage(Fill("Kasa źle zakończyła transmisję! Kod: %s !"_cp, {R5Hex2(b)}), "Błąd"_cp,
                            TMessageKind::Error);
  } else if (!manualReceive) {
    ReceiveReply(false);
  }
  return result;
}

bool TR5Device::ReceiveReply(bool append) {
  const int32_t savedRd = Comm.RdTimeout, savedWr = Comm.WrTimeout;
  Comm.RdTimeout = ReplyTimeout;
  Comm.WrTimeout = ReplyTimeout;
  struct TRestore {
    TMPXCommDevice& C;
    int32_t Rd, Wr;
    ~TRestore() {
      C.RdTimeout = Rd;
      C.WrTimeout = Wr;
    }
  } restore{Comm, savedRd, savedWr};

  bool waitForEnq = true;
  if (append) waitForEnq = EndSent;
  else Replies.clear();
  EndSent = false;
  if (waitForEnq) {
    char b = 0;
    if (!ReadByteSkippingTab(b)) return false;  // nothing came: no reply
    if (b == r5::EOT) return false;
    if (b != r5::ENQ) {
      prompts_->ShowMessage("Kasa błędnie rozpoczęła transmisję. Komunikacja będzie przerwana !"_cp, "Błąd"_cp,
                            TMessageKind::Error);
      return false;
    }
    WriteBytes(std::string_view(&r5::ACK, 1));
  }

  bool received = false;
  int retries = 3;
  int badChecksums = 0;
  // A failed read: recoverable ones use the retry allowance and ask for the frame again.
  auto readFailed = [&](const char* unrecoverable) {
    const bool recoverable = !(Mode == 0 && Comm.LastStatus() == csSystem && Comm.LastErrorCode() != 2);
    if (!recoverable) RaiseCommError(Format(unrecoverable, Comm.LastErrorCode()));
    if (--retries <= 0) RaiseCommError(kReadError);
    Reopen();
    WriteBytes(std::string_view(&r5::NAK, 1));
  };
  for (;;) {
    if (Mode == 1) HubYield();
    prompts_->PumpMessages();
    char b = 0;
    if (!ReadByte(b)) {
      readFailed(AnsiString("Błąd odczytu pakietu (STX), Błąd portu: #%d"_cp).c_str());
      continue;
    }
    if (b == r5::TAB || b == r5::NAK) continue;
    if (b == r5::EOT) break;
    AnsiString frame(1, b);
    bool complete = true;
    while (frame.size() - 1 <= kMaxFrameBody) {
      AnsiString piece;
      const bool ok = Mode == 0 ? ReadFrameBody(piece, kBodyPiece, "\x03\x17") : ReadBytes(piece, 1);
      frame += piece;
      if (!ok) {
        complete = false;
        break;
      }
      if (!frame.empty() && (frame.back() == r5::ETX || frame.back() == r5::ETB)) break;
    }
    if (!complete) {
      // The register repeats the frame after NAK.
      Reopen();
      WriteBytes(std::string_view(&r5::NAK, 1));
      continue;
    }
    AnsiString digits;
    if (!ReadBytes(digits, 4)) {
      readFailed(AnsiString("Błąd odczytu pakietu (suma kontrolna), Błąd portu: %d"_cp).c_str());
      continue;
    }
    frame += digits;
    if (!R5FrameChecksumOk(frame)) {
      if (++badChecksums >= kMaxBadChecksums) RaiseCommError(kReadError);
      Reopen();
      WriteBytes(std::string_view(&r5::NAK, 1));
      continue;
    }
    badChecksums = 0;
    const int32_t waiting = Comm.InQueCount();
    if (waiting > 0) {
      AnsiString extra;
      ReadBytes(extra, waiting);
      if (!extra.empty() && extra.back() == r5::EOT)
        RaiseCommError("Kasa zakończyła transmisję z powodu przekroczenia czasu oczekiwania."_cp);
    }
    WriteBytes(std::string_view(&r5::ACK, 1));
    Replies.push_back(frame);
    received = true;
    retries = 3;
    if (append) return true;
  }
  WriteBytes(std::string_view(&r5::EOT, 1));
  return received;
}

int TR5Device::Request(uint8_t type, std::string_view first, std::string_view second, bool digitTwo, bool askUser,
                       bool manualReceive) {
  AnsiString body = R5RequestBody(type, first, second, digitTwo);
  Requests.clear();
  Replies.clear();
  Requests.push_back(std::move(body));
  Transact(askUser, true, manualReceive);
  return ReplyCount();
}

AnsiString TR5Device::GetField(uint8_t type, int index, int code, int subscript) {
  return R5GetField(Replies, type, index, code, subscript);
}

}  // namespace quorvel
