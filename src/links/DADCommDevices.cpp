#include "links/DADCommDevices.h"

// The arbitrary-rate interface (termios2, BOTHER) lives in the kernel's own headers, which clash
// with <termios.h>; this unit therefore talks to the tty through ioctl alone.
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "base/DateTime.h"
#include "base/Errors.h"
#include "base/TextUtils.h"

namespace quorvel {

namespace {

constexpr uint32_t kBaudValues[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                    19200, 38400, 56000, 57600, 115200, 128000, 256000};

struct TLineErrorText {
  int32_t Bit;
  const char* Text;
};
constexpr TLineErrorText kLineErrors[] = {
    {ceRxOver, "\r\nReceive Queue overflow (1)"},
    {ceOverrun, "\r\nReceive Overrun Error (2)"},
    {ceRxParity, "\r\nReceive Parity Error (4)"},
    {ceFrame, "\r\nReceive Framing error (8)"},
    {ceBreak, "\r\nBreak Detected (16)"},
    {ceTxFull, "\r\nTX Queue is full (256)"},
    {cePto, "\r\nLPTx Timeout (512)"},
    {ceIoe, "\r\nLPTx I/O Error (1024)"},
    {ceDns, "\r\nLPTx Device not selected (2048)"},
    {ceOop, "\r\nLPTx Out-Of-Paper (4096)"},
    {ceMode, "\r\nRequested mode unsupported (32768)"},
};

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

bool IsParallelName(std::string_view name) {
  return StartsWith(name, "LPT") || StartsWith(name, "/dev/lp") || StartsWith(name, "/dev/parport") ||
         StartsWith(name, "/dev/usb/lp");
}

// The two-bit DTR and RTS control fields of the flags word.
unsigned DtrControl(TMPXDCBFlags f) { return (f.Bits() >> dcbDtrEnable) & 3u; }
unsigned RtsControl(TMPXDCBFlags f) { return (f.Bits() >> dcbRtsEnable) & 3u; }

using TClockMs = std::chrono::steady_clock;

tcflag_t SpeedCode(uint32_t bps) {
  switch (bps) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return BOTHER;
  }
}

}  // namespace

uint32_t BaudRateValue(TMPXCommBaudRate rate) {
  return rate <= cbr256000 ? kBaudValues[rate] : 9600;
}

bool BaudRateOf(uint32_t bitsPerSecond, TMPXCommBaudRate& rate) {
  for (uint8_t i = 0; i <= cbr256000; ++i)
    if (kBaudValues[i] == bitsPerSecond) {
      rate = static_cast<TMPXCommBaudRate>(i);
      return true;
    }
  return false;
}

const char* StatusName(uint8_t status) {
  switch (status) {
    case csNone: return "None";
    case csUserBreak: return "UserBreak";
    case csTimeout: return "Timeout";
    case csSystem: return "System";
    case csDevice: return "Device";
    default: return "";
  }
}

AnsiString DescribeLineErrors(int32_t mask) {
  AnsiString out;
  for (const auto& e : kLineErrors)
    if (mask & e.Bit) out += e.Text;
  return out;
}

AnsiString ShortCutToText(uint16_t shortcut) {
  if (shortcut == 0) return {};
  AnsiString out;
  if (shortcut & scShift) out += "Shift+";
  if (shortcut & scCtrl) out += "Ctrl+";
  if (shortcut & scAlt) out += "Alt+";
  const unsigned key = shortcut & 0xFFu;
  switch (key) {
    case 8: out += "BkSp"; break;
    case 9: out += "Tab"; break;
    case 13: out += "Enter"; break;
    case 27: out += "Esc"; break;
    case 32: out += "Space"; break;
    case 46: out += "Del"; break;
    default:
      if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) out += static_cast<char>(key);
      else if (key >= 0x70 && key <= 0x7B) out += Format("F%u", key - 0x6F);
      else out += Format("#%u", key);
  }
  return out;
}

bool NormalizePortName(std::string_view name, AnsiString& normalized) {
  const std::string_view t = TrimView(name);
  if (!t.empty() && t[0] == '/') {
    if (t.size() < 2) return false;
    normalized = AnsiString(t);
    return true;
  }
  const AnsiString up = AnsiUpperCase(t);
  if (up.size() > 5 || !(StartsWith(up, "COM") || StartsWith(up, "LPT"))) return false;
  // A number that does not read counts as 0, which is not a port.
  if (StrToIntDef(std::string_view(up).substr(3), 0) <= 0) return false;
  normalized = up;
  return true;
}

std::string PortDevicePath(std::string_view portName) {
  AnsiString n;
  if (!NormalizePortName(portName, n)) return {};
  if (n[0] == '/') return n;
  const int number = StrToIntDef(std::string_view(n).substr(3), 0);
  return Format(StartsWith(n, "COM") ? "/dev/ttyS%d" : "/dev/lp%d", number - 1);
}

// --- construction -----------------------------------------------------------------------------

TMPXCommDevice::TMPXCommDevice(TUserPrompts* prompts) : prompts_(prompts ? prompts : &silent_) {
  mainOp_.Owner = this;
  portName_ = "COM1";
  abortFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  thread_ = std::thread([this] { ThreadMain(); });
}

TMPXCommDevice::~TMPXCommDevice() {
  ClosePort();
  {
    std::lock_guard lock(mutex_);
    terminate_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (abortFd_ >= 0) ::close(abortFd_);
}

void TMPXCommDevice::SetPrompts(TUserPrompts* prompts) { prompts_ = prompts ? prompts : &silent_; }

// --- properties -------------------------------------------------------------------------------

void TMPXCommDevice::SetActive(bool value) {
  if (value == active_) return;
  if (value) OpenPort();
  else ClosePort();
}

void TMPXCommDevice::SetPortName(std::string_view value) {
  AnsiString name;
  if (!NormalizePortName(value, name)) {
    CallSetupError();
    return;
  }
  if (name == portName_) return;
  const bool wasActive = active_;
  ClosePort();
  portName_ = name;
  parallel_ = IsParallelName(name);
  SetActive(wasActive);
}

void TMPXCommDevice::SettingChanged() { ApplySettings(); }
void TMPXCommDevice::SetDCBFlags(TMPXDCBFlags v) { dcbFlags_ = v; SettingChanged(); }
void TMPXCommDevice::SetBaudRate(TMPXCommBaudRate v) {
  baudRate_ = v;
  baudValue_ = BaudRateValue(v);
  SettingChanged();
}
void TMPXCommDevice::SetBaudValue(uint32_t bps) {
  baudValue_ = bps;
  BaudRateOf(bps, baudRate_);  // a speed outside the list leaves BaudRate as it was
  SettingChanged();
}
void TMPXCommDevice::SetXonLimit(uint16_t v) { xonLimit_ = v; SettingChanged(); }
void TMPXCommDevice::SetXoffLimit(uint16_t v) { xoffLimit_ = v; SettingChanged(); }
void TMPXCommDevice::SetParity(TMPXCommParity v) { parity_ = v; SettingChanged(); }
void TMPXCommDevice::SetStopBits(TMPXCommStopBits v) { stopBits_ = v; SettingChanged(); }
void TMPXCommDevice::SetDataBits(TMPXCommDataBits v) { dataBits_ = v; SettingChanged(); }
void TMPXCommDevice::SetXonChar(uint8_t v) { xonChar_ = v; SettingChanged(); }
void TMPXCommDevice::SetXoffChar(uint8_t v) { xoffChar_ = v; SettingChanged(); }
void TMPXCommDevice::SetEofChar(uint8_t v) { eofChar_ = v; SettingChanged(); }
void TMPXCommDevice::SetEvtChar(uint8_t v) { evtChar_ = v; SettingChanged(); }

void TMPXCommDevice::SetKeepBusyCursor(bool value) {
  keepBusyCursor_ = value;
  prompts_->SetBusyCursor(value);
}

void TMPXCommDevice::CallSetupError() {
  if (OnSetupError) OnSetupError(*this);
}

// --- open, close, settings ----------------------------------------------------------------------

void TMPXCommDevice::OpenPort() {
  const std::string path = PortDevicePath(portName_);
  int fd = path.empty() ? -1 : ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && parallel_ && !path.empty())
    fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  // The port is not shared: a second program (or component) holding it makes the open fail.
  // An advisory lock is used rather than TIOCEXCL so that a crashed holder never blocks the port.
  if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    fd = -1;
  }
  if (fd < 0) {
    active_ = false;
    if (OnOpenError) {
      OnOpenError(*this);
      return;
    }
    throw EQuorvelError("Can't open " + portName_ + " port!");
  }
  fd_ = fd;
  active_ = true;
  if (!parallel_) {
    // The driver's queues have a fixed size here; there is nothing to set up for them.
    serial_icounter_struct ic{};
    haveLineCounts_ = ::ioctl(fd_, TIOCGICOUNT, &ic) == 0;
    if (haveLineCounts_)
      lineCounts_ = {ic.rx, ic.frame, ic.parity, ic.overrun, ic.brk, ic.buf_overrun};
    ApplySettings();
  }
}

void TMPXCommDevice::ClosePort() {
  if (fd_ >= 0) {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
  fd_ = -1;
  active_ = false;
}

void TMPXCommDevice::ApplySettings() {
  if (fd_ < 0 || parallel_) return;
  auto fail = [this](int code) {
    mainOp_.Status = csSystem;
    mainOp_.ErrorCode = code;
    CallSetupError();
  };
  termios2 t{};
  if (::ioctl(fd_, TCGETS2, &t) != 0) return fail(errno);
  tcflag_t csize = 0;
  switch (dataBits_) {
    case 5: csize = CS5; break;
    case 6: csize = CS6; break;
    case 7: csize = CS7; break;
    case 8: csize = CS8; break;
    default: return fail(EINVAL);  // four data bits: no line here supports them
  }
  // Binary mode always: no line editing, no character translation, no echo.
  t.c_iflag = 0;
  if (dcbFlags_.Contains(dcbParity)) t.c_iflag |= INPCK;
  if (dcbFlags_.Contains(dcbOutX)) t.c_iflag |= IXON;
  if (dcbFlags_.Contains(dcbInX)) t.c_iflag |= IXOFF;
  t.c_oflag = 0;
  t.c_lflag = 0;
  t.c_cflag = CREAD | CLOCAL | csize;
  switch (parity_) {
    case cprNone: break;
    case cprOdd: t.c_cflag |= PARENB | PARODD; break;
    case cprEven: t.c_cflag |= PARENB; break;
    case cprMark: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case cprSpace: t.c_cflag |= PARENB | CMSPAR; break;
  }
  if (stopBits_ != csb1) t.c_cflag |= CSTOPB;  // one and a half stop bits exist only with CS5
  if (dcbFlags_.Contains(dcbOutxCtsFlow) || RtsControl(dcbFlags_) == 2) t.c_cflag |= CRTSCTS;
  // Standard speeds keep their classic code, so every reader of the settings sees them; any
  // other speed goes through the arbitrary-rate code.
  const tcflag_t code = SpeedCode(baudValue_);
  t.c_cflag |= code | (code << IBSHIFT);
  t.c_ispeed = baudValue_;
  t.c_ospeed = baudValue_;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  t.c_cc[VSTART] = static_cast<cc_t>(xonChar_);
  t.c_cc[VSTOP] = static_cast<cc_t>(xoffChar_);
  if (::ioctl(fd_, TCSETS2, &t) != 0) return fail(errno);
  // Lines without modem control (pseudo-terminals) refuse these; that is no error.
  int dtr = TIOCM_DTR, rts = TIOCM_RTS;
  ::ioctl(fd_, DtrControl(dcbFlags_) == 1 ? TIOCMBIS : TIOCMBIC, &dtr);
  if (RtsControl(dcbFlags_) != 2) ::ioctl(fd_, RtsControl(dcbFlags_) == 1 ? TIOCMBIS : TIOCMBIC, &rts);
}

void TMPXCommDevice::SystemCommSetup() {
  TPortDialogSettings s;
  s.BaudRate = baudValue_;
  s.Parity = parity_;
  s.StopBits = stopBits_;
  s.DataBits = dataBits_;
  s.XonXoff = dcbFlags_.Contains(dcbOutX) || dcbFlags_.Contains(dcbInX);
  s.RtsCts = dcbFlags_.Contains(dcbOutxCtsFlow) || RtsControl(dcbFlags_) == 2;
  if (!prompts_->PortSetupDialog(portName_, s)) return;
  baudValue_ = s.BaudRate;
  BaudRateOf(s.BaudRate, baudRate_);
  if (s.Parity <= cprSpace) parity_ = static_cast<TMPXCommParity>(s.Parity);
  if (s.StopBits <= csb2) stopBits_ = static_cast<TMPXCommStopBits>(s.StopBits);
  dataBits_ = s.DataBits;
  if (s.XonXoff) {
    dcbFlags_.Include(dcbOutX);
    dcbFlags_.Include(dcbInX);
  } else {
    dcbFlags_.Exclude(dcbOutX);
    dcbFlags_.Exclude(dcbInX);
  }
  if (s.RtsCts) {
    dcbFlags_.Include(dcbOutxCtsFlow);
    dcbFlags_.Exclude(dcbRtsEnable);
    dcbFlags_.Include(dcbRtsHandshake);
  } else {
    dcbFlags_.Exclude(dcbOutxCtsFlow);
    if (RtsControl(dcbFlags_) == 2) {
      dcbFlags_.Exclude(dcbRtsHandshake);
      dcbFlags_.Include(dcbRtsEnable);
    }
  }
  ApplySettings();
}

int32_t TMPXCommDevice::InQueCount() {
  if (fd_ < 0) return 0;
  int n = 0;
  if (::ioctl(fd_, FIONREAD, &n) != 0) return 0;
  return n;
}

bool TMPXCommDevice::WaitForInput(int32_t timeoutMs) {
  if (timeoutMs < 0) timeoutMs = 0;
  if (fd_ < 0 || parallel_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
    return false;
  }
  const auto deadline = TClockMs::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - TClockMs::now()).count();
    if (left <= 0) return InQueCount() > 0;
    pollfd p{fd_, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>((left + 999) / 1000));
    if (r < 0 && errno != EINTR) return false;
    if (r <= 0) continue;
    if (InQueCount() > 0) return true;
    // Ready with nothing queued: a line that hung up stays so for ever. Nothing will arrive, but
    // the caller's time-out is what ends the wait, so give the processor away and look again.
    std::this_thread::sleep_for(std::chrono::microseconds(left < 1000 ? left : 1000));
  }
}

void TMPXCommDevice::ResetPort() {
  if (fd_ < 0) return;
  // Output still queued in the driver is dropped; output already handed over is not touched,
  // because on a pseudo-terminal a flush of the output discards what the other side has not
  // read yet, bytes a real line would already have sent.
  int outq = 0;
  if (::ioctl(fd_, TIOCOUTQ, &outq) == 0 && outq > 0) ::ioctl(fd_, TCFLSH, TCOFLUSH);
  ::ioctl(fd_, TCFLSH, TCIFLUSH);
  ApplySettings();
  TakeLineErrors();
  ::ioctl(fd_, TIOCCBRK);
  ::ioctl(fd_, TCXONC, TCOON);
}

int32_t TMPXCommDevice::TakeLineErrors() {
  if (fd_ < 0 || !haveLineCounts_) return 0;
  serial_icounter_struct ic{};
  if (::ioctl(fd_, TIOCGICOUNT, &ic) != 0) return 0;
  int32_t mask = 0;
  if (ic.buf_overrun != lineCounts_.bufOverrun) mask |= ceRxOver;
  if (ic.overrun != lineCounts_.overrun) mask |= ceOverrun;
  if (ic.parity != lineCounts_.parity) mask |= ceRxParity;
  if (ic.frame != lineCounts_.frame) mask |= ceFrame;
  if (ic.brk != lineCounts_.brk) mask |= ceBreak;
  lineCounts_ = {ic.rx, ic.frame, ic.parity, ic.overrun, ic.brk, ic.buf_overrun};
  return mask;
}

// --- status text ------------------------------------------------------------------------------

void TMPXCommDevice::SetStatusBarText(const AnsiString& text) {
  if (!StatusBar) return;
  if (StatusBar->SimplePanel()) StatusBar->SetSimpleText(text);
  else if (StatusBarPanel >= 0 && StatusBarPanel < StatusBar->PanelCount())
    StatusBar->SetPanelText(StatusBarPanel, text);
}

void TMPXCommDevice::ShowTaskInfo() {
  if (!keepBusyCursor_) prompts_->SetBusyCursor(true);
  AnsiString text = AutoInfos ? mainOp_.StatusText : TaskInfo;
  if (CancelShortcut != 0)
    text += " (" + ShortCutToText(CancelShortcut) + "-" + (AutoInfos ? AnsiString("STOP)") : BreakInfo + ")");
  statusText_ = text;
  SetStatusBarText(text);
}

void TMPXCommDevice::EndTaskInfo() {
  if (!keepBusyCursor_) prompts_->SetBusyCursor(false);
  SetStatusBarText("OK");
}

// --- operations -------------------------------------------------------------------------------

namespace {
struct TTaskInfoGuard {
  bool Active;
  std::function<void()> End;
  ~TTaskInfoGuard() {
    if (Active) End();
  }
};
}  // namespace

bool TMPXCommDevice::WriteData(std::string_view data) {
  if (fd_ < 0) return false;
  mainOp_.StatusText = AutoWrInfo;
  if (!DllMode) ShowTaskInfo();
  TTaskInfoGuard guard{!DllMode, [this] { EndTaskInfo(); }};
  StartOperation(okWrite, data, static_cast<int32_t>(data.size()), {});
  WaitForOperation(false, TClock::TickCount());
  if (mainOp_.Status != csNone) {
    bool cancel = false;
    if (OnWriteError) OnWriteError(*this, mainOp_, cancel);
    if (OnError) OnError(*this);
    return false;
  }
  return true;
}

bool TMPXCommDevice::ReadData(AnsiString& dest, int32_t count, std::string_view terminator) {
  return RunRead(okRead, dest, count, terminator);
}

bool TMPXCommDevice::ReadUntil(AnsiString& dest, int32_t count, std::string_view stopBytes) {
  return RunRead(okReadUntil, dest, count, stopBytes);
}

// A whole read and a read up to stop bytes differ only in what ends them in the wait thread.
bool TMPXCommDevice::RunRead(uint8_t kind, AnsiString& dest, int32_t count, std::string_view term) {
  if (fd_ < 0 || parallel_) return false;
  mainOp_.StatusText = AutoRdInfo;
  if (!DllMode) ShowTaskInfo();
  TTaskInfoGuard guard{!DllMode, [this] { EndTaskInfo(); }};
  StartOperation(kind, {}, count, term);
  WaitForOperation(true, TClock::TickCount());
  dest = mainOp_.Dest;
  if (mainOp_.Status != csNone) {
    bool cancel = false;
    if (OnReadError) OnReadError(*this, mainOp_, cancel);
    if (OnError) OnError(*this);
    return false;
  }
  return true;
}

void TMPXCommDevice::StartOperation(uint8_t kind, std::string_view data, int32_t count,
                                    std::string_view term) {
  // A leftover abort signal from an operation that ended on its own must not hit this one.
  uint64_t drain;
  while (::read(abortFd_, &drain, sizeof drain) > 0) {
  }
  std::lock_guard lock(mutex_);
  const bool isRead = kind != okWrite;
  if (isRead) ++readsInProgress_;
  else ++writesInProgress_;
  mainOp_.Kind = kind;
  mainOp_.Data = AnsiString(data);
  mainOp_.Dest.clear();
  mainOp_.Count = count < 0 ? 0 : count;
  mainOp_.Terminator = AnsiString(term);
  mainOp_.Transferred = 0;
  mainOp_.Status = csNone;
  mainOp_.ErrorCode = 0;
  mainOp_.SyncMode = SyncMode;
  mainOp_.Timeout = -1;
  if (isRead && UseRdTimeouts) mainOp_.Timeout = mainOp_.Count * RdByteTimeout + RdTimeout;
  if (!isRead && UseWrTimeouts) mainOp_.Timeout = mainOp_.Count * WrByteTimeout + WrTimeout;
  mainOp_.Done = 0;
  pending_ = true;
  wake_.notify_all();
}

void TMPXCommDevice::AbortAndJoin() {
  const uint64_t one = 1;
  [[maybe_unused]] auto n = ::write(abortFd_, &one, sizeof one);
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [this] { return mainOp_.Done.load() == 1; });
}

void TMPXCommDevice::WaitForOperation(bool isRead, unsigned long long startTick) {
  try {
    while (mainOp_.Done.load() == 0) {
      std::this_thread::yield();
      long long slice = 250;
      if (isRead && UseRdTimeouts) {
        const long long left = static_cast<long long>(RdTimeout) -
                               static_cast<long long>(TClock::TickCount() - startTick) + 1;
        if (left < slice) slice = left < 1 ? 1 : left;
      }
      {
        std::unique_lock lock(mutex_);
        finished_.wait_for(lock, std::chrono::milliseconds(slice),
                           [this] { return mainOp_.Done.load() == 1; });
      }
      if (mainOp_.Done.load() == 1) break;
      if (!DllMode) prompts_->PumpMessages();
      if (!DllMode && CancelShortcut != 0 && prompts_->UserBreakPressed()) {
        bool cancel = true;
        if (isRead ? bool(OnReadUserBreak) : bool(OnWriteUserBreak))
          (isRead ? OnReadUserBreak : OnWriteUserBreak)(*this, mainOp_, cancel);
        if (OnUserBreak) OnUserBreak(*this, mainOp_, cancel);
        if (cancel) {
          AbortAndJoin();
          if (!isRead) ::ioctl(fd_, TCFLSH, TCOFLUSH);
          mainOp_.Status = csUserBreak;
          mainOp_.ErrorCode = -1;
          break;
        }
      }
      if (isRead && UseRdTimeouts &&
          TClock::TickCount() - startTick > static_cast<unsigned long long>(RdTimeout)) {
        AbortAndJoin();
        mainOp_.Status = csTimeout;
        mainOp_.ErrorCode = -1;
        break;
      }
    }
  } catch (...) {
    // A break handler that raises ends the wait at once; the transfer is aborted first so that
    // the wait thread is idle again when the exception reaches the caller.
    AbortAndJoin();
    mainOp_.Status = csUserBreak;
    mainOp_.ErrorCode = -1;
    throw;
  }
  if (mainOp_.SyncMode == ctsmVCLThread) Complete();
}

// --- the wait thread ----------------------------------------------------------------------------

void TMPXCommDevice::ThreadMain() {
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return pending_ || terminate_; });
      if (terminate_) return;
      pending_ = false;
      running_ = true;
    }
    RunOperation();
    if (mainOp_.SyncMode != ctsmVCLThread) Complete();
    {
      std::lock_guard lock(mutex_);
      running_ = false;
      mainOp_.Done = 1;
    }
    finished_.notify_all();
  }
}

void TMPXCommDevice::Complete() {
  if (mainOp_.Kind == okWrite) {
    if (writesInProgress_ > 0) --writesInProgress_;
    if (OnWriteCompleted) OnWriteCompleted(*this, mainOp_);
  } else {
    if (readsInProgress_ > 0) --readsInProgress_;
    if (OnReadCompleted) OnReadCompleted(*this, mainOp_);
  }
  if (OnCompleted) OnCompleted(*this, mainOp_);
}

bool TMPXCommDevice::Transfer(bool isRead, char* buf, int32_t size, int32_t& moved, int32_t timeoutMs) {
  moved = 0;
  TakeLineErrors();
  const auto deadline = TClockMs::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  while (moved < size) {
    // Try the transfer first: data already waiting costs one call, not two.
    const ssize_t n = isRead ? ::read(fd_, buf + moved, static_cast<size_t>(size - moved))
                             : ::write(fd_, buf + moved, static_cast<size_t>(size - moved));
    if (n > 0) {
      moved += static_cast<int32_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      mainOp_.Status = csSystem;
      mainOp_.ErrorCode = errno;
      return false;
    }
    if (n == 0 && isRead) {
      // End of file on a tty: the other side hung up.
      mainOp_.Status = csSystem;
      mainOp_.ErrorCode = EIO;
      return false;
    }
    int waitMs = -1;
    if (timeoutMs >= 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::microseconds>(deadline - TClockMs::now()).count();
      if (left <= 0) {
        const int32_t mask = TakeLineErrors();
        mainOp_.Status = mask ? csDevice : csTimeout;
        mainOp_.ErrorCode = mask ? mask : -1;
        return false;
      }
      waitMs = static_cast<int>((left + 999) / 1000);
    }
    pollfd fds[2] = {{fd_, static_cast<short>(isRead ? POLLIN : POLLOUT), 0}, {abortFd_, POLLIN, 0}};
    const int r = ::poll(fds, 2, waitMs);
    if (r < 0 && errno != EINTR) {
      mainOp_.Status = csSystem;
      mainOp_.ErrorCode = errno;
      return false;
    }
    if (r > 0 && (fds[1].revents & POLLIN)) {
      uint64_t v;
      [[maybe_unused]] auto k = ::read(abortFd_, &v, sizeof v);
      mainOp_.Status = csUserBreak;
      mainOp_.ErrorCode = ECANCELED;
      return false;
    }
    if (r > 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) && !(fds[0].revents & (POLLIN | POLLOUT))) {
      // Hung up with nothing left to read: report it once the next call fails.
      const ssize_t k = isRead ? ::read(fd_, buf + moved, static_cast<size_t>(size - moved)) : -1;
      if (k > 0) {
        moved += static_cast<int32_t>(k);
        continue;
      }
      mainOp_.Status = csSystem;
      mainOp_.ErrorCode = (fds[0].revents & POLLNVAL) ? EBADF : EIO;
      return false;
    }
  }
  return true;
}

void TMPXCommDevice::RunOperation() {
  TMPXCommOperation& op = mainOp_;
  const bool isRead = op.Kind != okWrite;
  const bool useTimeouts = isRead ? UseRdTimeouts : UseWrTimeouts;
  const int32_t constant = isRead ? RdTimeout : WrTimeout;
  const int32_t perByte = isRead ? RdByteTimeout : WrByteTimeout;
  auto timeoutFor = [&](int32_t size) { return useTimeouts ? constant + perByte * size : -1; };
  int32_t moved = 0;
  if (!isRead) {
    Transfer(false, op.Data.data(), op.Count, moved, timeoutFor(op.Count));
    op.Transferred = moved;
    return;
  }
  if (op.Terminator.empty()) {
    AnsiString buf(static_cast<size_t>(op.Count), '\0');
    Transfer(true, buf.data(), op.Count, moved, timeoutFor(op.Count));
    buf.resize(static_cast<size_t>(moved));
    op.Transferred = moved;
    op.Dest = std::move(buf);
    return;
  }
  // With a terminator the read goes byte by byte so that nothing after it is taken off the line.
  AnsiString buf;
  buf.reserve(static_cast<size_t>(op.Count));
  while (static_cast<int32_t>(buf.size()) < op.Count) {
    char c;
    if (!Transfer(true, &c, 1, moved, timeoutFor(1))) break;
    buf += c;
    if (op.Kind == okReadUntil) {
      if (op.Terminator.find(c) != AnsiString::npos) break;
    } else if (buf.size() >= op.Terminator.size() &&
               buf.compare(buf.size() - op.Terminator.size(), op.Terminator.size(), op.Terminator) == 0) {
      break;
    }
  }
  op.Transferred = static_cast<int32_t>(buf.size());
  op.Dest = std::move(buf);
}

}  // namespace quorvel
