#include "links/FiscalPrinter.h"

#include <chrono>
#include <thread>

namespace quorvel {

namespace {

struct TMazovia {
  unsigned char From, To;
};
constexpr TMazovia kMazovia[] = {
    {0xB9, 0x86}, {0xE6, 0x8D}, {0xEA, 0x91}, {0xB3, 0x92}, {0xF1, 0xA4}, {0xF3, 0xA2},
    {0x9C, 0x9E}, {0x9F, 0xA6}, {0xBF, 0xA7}, {0xA5, 0x8F}, {0xC6, 0x95}, {0xCA, 0x90},
    {0xA3, 0x9C}, {0xD1, 0xA5}, {0xD3, 0xA3}, {0x8C, 0x98}, {0x8F, 0xA0}, {0xAF, 0xA1},
};

constexpr char kEsc = 27;

// A hub channel offers no way to wait for a byte, so its read loop gives the processor away
// between looks; a short sleep rather than a bare yield keeps a waiting link from spinning a core.
void PollPause() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

}  // namespace

AnsiString ToPrinterCodePage(std::string_view text) {
  AnsiString out(text);
  for (auto& ch : out) {
    const auto b = static_cast<unsigned char>(ch);
    for (const auto& m : kMazovia)
      if (m.From == b) {
        ch = static_cast<char>(m.To);
        break;
      }
  }
  return out;
}

uint8_t PrinterCheckCode(std::string_view text) {
  uint8_t c = 255;
  for (char ch : text) c ^= static_cast<uint8_t>(ch);
  return c;
}

AnsiString PrinterCheckText(std::string_view text) { return Format("%02X", PrinterCheckCode(text)); }

AnsiString PrinterFrame(std::string_view text) {
  AnsiString f;
  f.reserve(text.size() + 4);
  f += kEsc;
  f += 'P';
  f.append(text);
  f += kEsc;
  f += '\\';
  return f;
}

AnsiString UnescapePacketPayload(std::string_view payload) {
  AnsiString out;
  out.reserve(payload.size());
  for (size_t i = 0; i < payload.size(); ++i) {
    if (static_cast<unsigned char>(payload[i]) == 0x86) {
      if (++i < payload.size()) out += static_cast<char>(payload[i] ^ 0x20);
    } else {
      out += payload[i];
    }
  }
  return out;
}

THubChannelRow HubChannelFor(std::string_view portName) {
  static const struct {
    const char* Name;
    THubChannelRow Row;
  } kRows[] = {
      {"ORVOCOMMHUB BRENNA", {1, AnsiString("Przeglądarka - drukarka"_cp), AnsiString("Przeglądarka - drukarka"_cp), true}},
      {"ORVOCOMMHUB CORVI", {2, AnsiString("Przeglądarka - Kasa"_cp), AnsiString("Przeglądarka - Kasa"_cp), true}},
      {"ORVOCOMMHUB AUX 1", {10, "AUX 1", "AUX 1", true}},
      {"ORVOCOMMHUB AUX 2", {11, "AUX 2", "AUX 2", true}},
      {"ORVOCOMMHUB PC2", {12, "PC2", "PC2", true}},
      {"ORVOCOMMHUB QRID", {3, "qRid", "qRid", false}},
      {"ORVOCOMMHUB SCANNER3", {9, "Scanner3", "Scanner3", true}},
      {"ORVOCOMMHUB EFT", {13, "EFT", "EFT", true}},
  };
  const AnsiString up = AnsiUpperCase(portName);
  for (const auto& r : kRows)
    if (up == r.Name) return r.Row;
  return {1, "PRNChannel1", "PRNLink1", true};
}

// --- construction -------------------------------------------------------------------------------

TFPrinter::TFPrinter(TUserPrompts* prompts) : prompts_(prompts ? prompts : &silent_) {
  COMPort.SetPrompts(prompts_);
  COMPort.SetPortName("COM1");
  COMPort.SetDCBFlags({dcbBinary, dcbOutX, dcbInX});
  COMPort.SetBaudRate(cbr9600);
  COMPort.RdTimeout = 6000000;
  COMPort.WrTimeout = 6000000;
  COMPort.UseRdTimeouts = true;
  COMPort.UseWrTimeouts = true;
  COMPort.CancelShortcut = 27;
  COMPort.AutoRdInfo = "Odbieranie...";
  COMPort.AutoWrInfo = AnsiString("Wysyłanie..."_cp);
  COMPort.OnError = [this](TMPXCommDevice& d) { COMPortError(d); };
  COMPort.OnUserBreak = [this](TMPXCommDevice& d, TMPXCommOperation& op, bool& c) { COMPortUserBreak(d, op, c); };
}

TFPrinter::~TFPrinter() { ClosePort(); }

void TFPrinter::SetPrompts(TUserPrompts* prompts) {
  prompts_ = prompts ? prompts : &silent_;
  COMPort.SetPrompts(prompts_);
}

bool TFPrinter::IsNoPort() const { return SameText(PortName, "BRAK"); }

void TFPrinter::ShowError(const AnsiString& text) { prompts_->ShowMessage(text, AppTitle, TMessageKind::Error); }

// --- port handling --------------------------------------------------------------------------------

bool TFPrinter::OpenPort(std::string_view name) {
  AnsiString n = name.empty() ? AnsiString("brak") : AnsiString(name);
  ClosePort();
  const AnsiString oldName = PortName;
  PortName = n;
  UsesHub = false;
  if (SameText(n, "BRAK")) {
    COMPort.Close();
    return false;
  }
  const char first = static_cast<char>(AnsiUpperChar(static_cast<unsigned char>(n[0])));
  PortKind = first == 'C' ? 1 : first == 'L' ? 2 : 0;
  const AnsiString failText = "Nie można otworzyć portu "_cp + n + ". Zmień port !"_cp;
  if (first == 'O') {
    const THubChannelRow row = HubChannelFor(n);
    HubChannelNumber = row.ChannelNumber;
    HubChannelName = row.ChannelName;
    try {
      HubServer = GetActiveHubServer();
    } catch (const EHubNotRunning&) {
      HubServer = CreateHubServer();  // a failure to create the server goes on to the caller
    }
    try {
      HubLink = HubServer->Connect(HubChannelNumber, row.ChannelName, row.AsMaster, row.ClientName);
      UsesHub = true;
      return true;
    } catch (const std::exception&) {
      HubLink.reset();
      HubServer.reset();
      ShowError(failText);
      PortName = oldName;
      return false;
    }
  }
  try {
    COMPort.Close();
    AnsiString normalized;
    // An invalid name would leave the component on its previous port; that is a failure here.
    if (!NormalizePortName(n, normalized)) throw EQD407CommError(failText);
    COMPort.SetPortName(n);
    COMPort.Open();
    if (!COMPort.Active()) throw EQD407CommError(failText);
    // The driver's queues have a fixed size on this platform; nothing to ask for.
    return true;
  } catch (const std::exception&) {
    ShowError(failText);
    PortName = oldName;
    COMPort.SetPortName(oldName);
    return false;
  }
}

void TFPrinter::ClosePort() {
  try {
    if (HubServer && HubLink) HubServer->Disconnect(HubLink);
  } catch (...) {
  }
  HubLink.reset();
  HubServer.reset();
  try {
    COMPort.Close();
  } catch (...) {
  }
}

void TFPrinter::ResetLink() {
  if (UsesHub) {
    if (HubLink) HubLink->Reset();
  } else {
    COMPort.ResetPort();
  }
}

void TFPrinter::ConfigurePort() {
  if (PortName.empty() || AnsiUpperChar(static_cast<unsigned char>(PortName[0])) != 'O') {
    COMPort.SetPortName(PortName);
    COMPort.SystemCommSetup();
    return;
  }
  if (!HubChannelDialog) return;
  AnsiString channel = PortName, timeout = Format("%d", StandardTimeout);
  if (!HubChannelDialog(channel, timeout)) return;
  StandardTimeout = StrToIntDef(Trim(timeout), 10000);
  PortName = channel;
  HubReadTimeout = StandardTimeout;
}

// --- sending and receiving -----------------------------------------------------------------------

void TFPrinter::RequirePortOpen() const {
  // The component ignores calls on a closed port without a status; the link must not take
  // that silence for a successful transfer.
  if (!COMPort.Active()) throw EQD407CommError("Port "_cp + PortName + " nie jest otwarty."_cp);
}

void TFPrinter::SendCommand(std::string_view text, TSendOptions options) {
  if (IsNoPort()) {
    prompts_->ShowMessage("Wybierz port", AppTitle, TMessageKind::Information);
    return;
  }
  AnsiString t(text);
  if (options & soCheckCode) t += PrinterCheckText(text);
  LastFrame = (options & soFrame) ? PrinterFrame(t) : t;
  SendRaw();
}

void TFPrinter::SendRaw() {
  if (UsesHub) {
    if (HubLink) HubLink->WriteString(LastFrame);
    return;
  }
  RequirePortOpen();
  COMPort.WriteData(LastFrame);
  CheckPortStatus();
}

void TFPrinter::Receive(AnsiString& data, int32_t maxLen, bool showTimeout) {
  if (IsNoPort()) {
    prompts_->ShowMessage("Wybierz port", AppTitle, TMessageKind::Information);
    return;
  }
  if (UsesHub) {
    if (maxLen <= 0) return;
    const AnsiString terminator = data;
    data.clear();
    prompts_->SetBusyCursor(true);
    const auto start = TClock::TickCount();
    bool told = false;
    for (;;) {
      uint8_t b;
      if (HubLink && HubLink->ReadByte(b)) data += static_cast<char>(b);
      const bool late = TClock::TickCount() - start > static_cast<unsigned long long>(HubReadTimeout);
      if (late && showTimeout && !told) {
        told = true;
        prompts_->ShowMessage("Przekroczony został limit czasu oczekiwania na odpowiedź..."_cp, AppTitle,
                              TMessageKind::Warning);
      }
      if (late || static_cast<int32_t>(data.size()) >= maxLen) break;
      if (!terminator.empty() && data.find(terminator) != AnsiString::npos) break;
      if (!HubLink) break;
      PollPause();
    }
    prompts_->SetBusyCursor(false);
    return;
  }
  if (PortKind == 2)
    throw EQD407CommError("Odczyt przez port równoległy jest niemożliwy! "_cp + "\r\n" +
                          "Zmień port lub nie używaj instrukcji odczytu!"_cp);
  RequirePortOpen();
  std::string_view term;
  if (!data.empty() && !(data.size() == 1 && data[0] == '\0')) term = std::string_view(data).substr(0, 1);
  const AnsiString t(term);
  COMPort.ReadData(data, maxLen, t);
  CheckPortStatus();
}

bool TFPrinter::ReceiveWithTimeout(AnsiString& data, int32_t maxLen, int32_t timeoutMs) {
  UserBroke = false;
  const int32_t savedHub = HubReadTimeout, savedRd = COMPort.RdTimeout, savedWr = COMPort.WrTimeout;
  HubReadTimeout = timeoutMs;
  COMPort.RdTimeout = timeoutMs;
  COMPort.WrTimeout = timeoutMs;
  COMPort.OnError = nullptr;
  auto restore = [&] {
    HubReadTimeout = savedHub;
    COMPort.RdTimeout = savedRd;
    COMPort.WrTimeout = savedWr;
    COMPort.OnError = [this](TMPXCommDevice& d) { COMPortError(d); };
  };
  bool result = true;
  try {
    Receive(data, maxLen, false);
  } catch (...) {
    if (UserBroke) {
      restore();
      throw;
    }
    result = false;
  }
  restore();
  return result;
}

bool TFPrinter::ReceiveUntil(AnsiString& data, int32_t maxLen, char endChar, int32_t timeoutMs) {
  if (UsesHub) {
    data = AnsiString(1, endChar);
    return ReceiveWithTimeout(data, maxLen, timeoutMs);
  }
  UserBroke = false;
  data.clear();
  const auto start = TClock::TickCount();
  for (;;) {
    if (timeoutMs < 0 || TClock::TickCount() - start >= static_cast<unsigned long long>(timeoutMs)) return false;
    const int32_t waiting = COMPort.InQueCount();
    if (waiting > 0) {
      const int32_t room = maxLen - static_cast<int32_t>(data.size());
      AnsiString part;
      if (room > 0) {
        RequirePortOpen();
        COMPort.ReadData(part, waiting < room ? waiting : room);
        CheckPortStatus();
      }
      data += part;
      if (static_cast<int32_t>(data.size()) >= maxLen || data.find(endChar) != AnsiString::npos) return true;
    }
    // Sleep on the line itself rather than in fixed pauses: the next look comes as soon as a
    // byte arrives, and a silent line still ends the wait at the time-out above.
    const auto elapsed = TClock::TickCount() - start;
    if (elapsed < static_cast<unsigned long long>(timeoutMs))
      COMPort.WaitForInput(static_cast<int32_t>(static_cast<unsigned long long>(timeoutMs) - elapsed));
  }
}

uint8_t TFPrinter::SendControlByte(uint8_t code) {
  if (IsNoPort()) {
    prompts_->ShowMessage("Wybierz port", AppTitle, TMessageKind::Information);
    return 0;
  }
  LastFrame = AnsiString(1, static_cast<char>(code));
  SendRaw();
  AnsiString data;
  Receive(data, 1, true);
  // A read that brought nothing is no status byte.
  return data.empty() ? 0 : static_cast<uint8_t>(data[0]);
}

bool TFPrinter::CheckPortStatus() {
  const uint8_t status = COMPort.LastStatus();
  if (status == csNone) return true;
  ResetLink();
  const int32_t code = COMPort.LastErrorCode();
  switch (status) {
    case csTimeout: throw EQD407CommError(AnsiString("Przekroczony został maksymalny czas transferu danych."_cp));
    case csSystem: throw EQD407CommError(AnsiString("System zgłosił błąd nr "_cp) + Format("%d", code));
    case csDevice: throw EQD407CommError(AnsiString("Wykryto błąd portu: "_cp) + DescribeLineErrors(code));
    default: return false;
  }
}

bool TFPrinter::CheckReplyFrame(std::string_view frame) {
  if (frame.size() < 7) return false;
  // Both ends must be the frame's own: a reply cut short or preceded by noise is no frame.
  if (frame[0] != kEsc || frame[1] != 'P' || frame[frame.size() - 2] != kEsc || frame.back() != '\\') return false;
  const std::string_view body = frame.substr(2, frame.size() - 6);
  return PrinterCheckText(body) == frame.substr(frame.size() - 4, 2);
}

// --- handlers of the port ------------------------------------------------------------------------

void TFPrinter::COMPortError(TMPXCommDevice& sender) {
  ResetLink();
  ShowError("Wystąpił błąd podczas komunikacji przez port szeregowy."_cp + AnsiString(" (") +
            StatusName(sender.LastStatus()) + ": " + Format("%d", sender.LastErrorCode()) + ")");
  throw EQD407CommError(AnsiString("Komunikacja została przerwana."_cp));
}

void TFPrinter::COMPortUserBreak(TMPXCommDevice&, TMPXCommOperation&, bool& cancel) {
  if (!prompts_->AskYesNo("Czy rzeczywiście chcesz przerwać transmisję?"_cp, AppTitle, true)) {
    cancel = false;
    return;
  }
  ResetLink();
  UserBroke = true;
  throw EQD407CommError(AnsiString("Komunikacja została przerwana przez użytkownika."_cp));
}

}  // namespace quorvel
