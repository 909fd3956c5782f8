// The serial port component: one port (a serial line, a parallel port or a pseudo-terminal),
// its settings kept as a device control block, and blocking reads and writes carried out by a
// companion wait thread while the calling thread keeps the windows painting and watches the
// cancel key through TUserPrompts.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "base/Cp1250.h"
#include "base/UserPrompts.h"

namespace quorvel {

// Flag bits of the device control block; bit n of the set is bit n of the flags word.
enum TMPXDCBFlag : uint8_t {
  dcbBinary = 0,
  dcbParity = 1,
  dcbOutxCtsFlow = 2,
  dcbOutxDsrFlow = 3,
  dcbDtrEnable = 4,
  dcbDtrHandshake = 5,
  dcbDsrSensitivity = 6,
  dcbTXContinueOnXoff = 7,
  dcbOutX = 8,
  dcbInX = 9,
  dcbErrorChar = 10,
  dcbNull = 11,
  dcbRtsEnable = 12,
  dcbRtsHandshake = 13,
  dcbAbortOnError = 14,
};

// A set of TMPXDCBFlag, held as the low 16 bits of the flags word.
class TMPXDCBFlags {
 public:
  constexpr TMPXDCBFlags() = default;
  constexpr TMPXDCBFlags(std::initializer_list<TMPXDCBFlag> flags) {
    for (auto f : flags) bits_ |= static_cast<uint16_t>(1u << f);
  }
  static constexpr TMPXDCBFlags FromBits(uint32_t bits) {
    TMPXDCBFlags s;
    s.bits_ = static_cast<uint16_t>(bits & 0x7FFF);
    return s;
  }
  constexpr uint16_t Bits() const { return bits_; }
  constexpr bool Contains(TMPXDCBFlag f) const { return (bits_ >> f) & 1u; }
  constexpr void Include(TMPXDCBFlag f) { bits_ |= static_cast<uint16_t>(1u << f); }
  constexpr void Exclude(TMPXDCBFlag f) { bits_ &= static_cast<uint16_t>(~(1u << f)); }
  constexpr bool operator==(const TMPXDCBFlags&) const = default;

 private:
  uint16_t bits_ = 0;
};

enum TMPXCommBaudRate : uint8_t {
  cbr110, cbr300, cbr600, cbr1200, cbr2400, cbr4800, cbr9600, cbr14400, cbr19200,
  cbr38400, cbr56000, cbr57600, cbr115200, cbr128000, cbr256000,
};
// Bits per second of a speed, and the speed of a rate (false when the rate has none).
uint32_t BaudRateValue(TMPXCommBaudRate rate);
bool BaudRateOf(uint32_t bitsPerSecond, TMPXCommBaudRate& rate);

enum TMPXCommParity : uint8_t { cprNone, cprOdd, cprEven, cprMark, cprSpace };
enum TMPXCommStopBits : uint8_t { csb1, csb1_5, csb2 };
using TMPXCommDataBits = uint8_t;  // 4..8
enum TMPXCommThreadSyncMode : uint8_t { ctsmNone, ctsmVCLThread, ctsmThread };

// Status of an operation; the names are what StatusName gives.
enum TMPXCommStatus : uint8_t {
  csNone = 0,       // "None", code 0
  csUserBreak = 1,  // "UserBreak", code -1 or the code of an aborted transfer
  csTimeout = 2,    // "Timeout", code -1
  csSystem = 3,     // "System", the system error code (errno)
  csDevice = 4,     // "Device", the line-error bit mask
};
const char* StatusName(uint8_t status);

// Line-error bits reported with status 4.
enum : int32_t {
  ceRxOver = 1, ceOverrun = 2, ceRxParity = 4, ceFrame = 8, ceBreak = 16,
  ceTxFull = 256, cePto = 512, ceIoe = 1024, ceDns = 2048, ceOop = 4096, ceMode = 32768,
};
// The texts of the set bits of a mask, each beginning with CR LF, in the order of the bits.
AnsiString DescribeLineErrors(int32_t mask);

// Operation kinds.
enum : uint8_t { okRead = 0, okWrite = 1, okReadUntil = 4 };

class TMPXCommDevice;

// One operation of the component; the main one is reused for every read and write.
struct TMPXCommOperation {
  TMPXCommDevice* Owner = nullptr;
  bool FreeWhenDone = false;
  uint8_t Kind = okRead;
  AnsiString StatusText;
  AnsiString Data;        // bytes to write
  AnsiString Dest;        // bytes read (complete or partial)
  int32_t Count = 0;
  AnsiString Terminator;  // read: ends early on this substring (kind 0) or on any of its bytes (kind 4)
  int32_t Transferred = 0;
  uint8_t Status = csNone;
  int32_t ErrorCode = 0;
  TMPXCommThreadSyncMode SyncMode = ctsmNone;
  int32_t Timeout = -1;   // ms; -1 no limit
  std::atomic<uint8_t> Done{1};
};

using TNotifyEvent = std::function<void(TMPXCommDevice& sender)>;
using TMPXCommEvent = std::function<void(TMPXCommDevice& sender, TMPXCommOperation& op)>;
using TMPXCommBreakEvent =
    std::function<void(TMPXCommDevice& sender, TMPXCommOperation& op, bool& cancel)>;

// Where the component shows its status text when one is attached.
class TMPXStatusBar {
 public:
  virtual ~TMPXStatusBar() = default;
  virtual bool SimplePanel() const = 0;
  virtual int PanelCount() const = 0;
  virtual void SetSimpleText(const AnsiString& text) = 0;
  virtual void SetPanelText(int panel, const AnsiString& text) = 0;
};

// The display name of a shortcut ("Esc" for 27, "Ctrl+Q" ...).
AnsiString ShortCutToText(uint16_t shortcut);
// Shortcut modifier bits (over the key code in the low byte).
enum : uint16_t { scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000 };

// Maps a port name onto a device path: COM1..COM99 -> /dev/ttyS0.., LPT1..LPT99 -> /dev/lp0..;
// a path (beginning with "/") stays as it is. Empty when the name is not a valid port name.
std::string PortDevicePath(std::string_view portName);
// Applies the port-name rules (trim, upper-case COM/LPT names, range 1..99; paths kept as
// written); false when the name is not valid.
bool NormalizePortName(std::string_view name, AnsiString& normalized);

class TMPXCommDevice {
 public:
  explicit TMPXCommDevice(TUserPrompts* prompts = nullptr);
  ~TMPXCommDevice();
  TMPXCommDevice(const TMPXCommDevice&) = delete;
  TMPXCommDevice& operator=(const TMPXCommDevice&) = delete;

  // Talks to the user (PumpMessages, UserBreakPressed, busy cursor, messages). Without one the
  // component runs silently.
  void SetPrompts(TUserPrompts* prompts);
  TUserPrompts* Prompts() const { return prompts_; }

  // --- published properties ---
  bool Active() const { return active_; }
  // Opens (true) or closes (false) the port; an open failure calls OnOpenError or raises
  // EQuorvelError "Can't open NAME port!".
  void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  const AnsiString& PortName() const { return portName_; }
  void SetPortName(std::string_view value);
  // True for a parallel port (LPT names, /dev/lp*, /dev/parport*): such a port cannot be read.
  bool IsParallel() const { return parallel_; }

  TMPXDCBFlags DCBFlags() const { return dcbFlags_; }
  void SetDCBFlags(TMPXDCBFlags value);
  TMPXCommBaudRate BaudRate() const { return baudRate_; }
  void SetBaudRate(TMPXCommBaudRate value);
  // The speed actually kept in the control block (any number of bits per second).
  uint32_t BaudValue() const { return baudValue_; }
  void SetBaudValue(uint32_t bitsPerSecond);
  uint16_t XonLimit() const { return xonLimit_; }
  void SetXonLimit(uint16_t value);
  uint16_t XoffLimit() const { return xoffLimit_; }
  void SetXoffLimit(uint16_t value);
  TMPXCommParity Parity() const { return parity_; }
  void SetParity(TMPXCommParity value);
  TMPXCommStopBits StopBits() const { return stopBits_; }
  void SetStopBits(TMPXCommStopBits value);
  TMPXCommDataBits DataBits() const { return dataBits_; }
  void SetDataBits(TMPXCommDataBits value);
  uint8_t XonChar() const { return xonChar_; }
  void SetXonChar(uint8_t value);
  uint8_t XoffChar() const { return xoffChar_; }
  void SetXoffChar(uint8_t value);
  uint8_t EofChar() const { return eofChar_; }
  void SetEofChar(uint8_t value);
  uint8_t EvtChar() const { return evtChar_; }
  void SetEvtChar(uint8_t value);

  TMPXStatusBar* StatusBar = nullptr;
  int32_t StatusBarPanel = 0;
  AnsiString TaskInfo;
  AnsiString BreakInfo;
  bool AutoInfos = true;
  AnsiString AutoRdInfo = "Receiving... ";
  AnsiString AutoWrInfo = "Transmiting... ";
  int32_t RdTimeout = 5000;
  int32_t WrTimeout = 5000;
  int32_t RdByteTimeout = 0;
  int32_t WrByteTimeout = 0;
  bool UseRdTimeouts = false;
  bool UseWrTimeouts = false;
  uint16_t CancelShortcut = 27;
  TMPXCommThreadSyncMode SyncMode = ctsmNone;
  bool DllMode = false;

  // --- published events ---
  TMPXCommEvent OnWriteCompleted;
  TMPXCommBreakEvent OnWriteError;
  TMPXCommBreakEvent OnWriteUserBreak;
  TMPXCommEvent OnReadCompleted;
  TMPXCommBreakEvent OnReadError;
  TMPXCommBreakEvent OnReadUserBreak;
  TNotifyEvent OnOpenError;
  TNotifyEvent OnSetupError;
  TNotifyEvent OnError;
  TMPXCommBreakEvent OnUserBreak;
  TMPXCommEvent OnCompleted;

  // Asks TUserPrompts::PortSetupDialog for the settings of PortName; on confirmation the
  // settings are taken over and applied.
  void SystemCommSetup();

  // --- public operations (from the one thread that owns the component) ---
  bool WriteData(std::string_view data);
  // Reads count bytes; with a terminator stops as soon as the bytes so far contain it.
  // `dest` receives what arrived, also on failure.
  bool ReadData(AnsiString& dest, int32_t count, std::string_view terminator = {});
  // Reads until the last byte received is one of `stopBytes`, or count bytes have come.
  bool ReadUntil(AnsiString& dest, int32_t count, std::string_view stopBytes);
  // Bytes waiting in the input queue; 0 when closed.
  int32_t InQueCount();
  // Blocks until bytes wait in the input queue (true) or timeoutMs has passed (false), waking as
  // soon as the first byte arrives. Only between operations; a closed port waits out the time.
  bool WaitForInput(int32_t timeoutMs);
  uint8_t LastStatus() const { return mainOp_.Status; }
  int32_t LastErrorCode() const { return mainOp_.ErrorCode; }
  // Drops both queues, sets the control block again, clears line errors and a break, and
  // restarts output suspended by XOFF.
  void ResetPort();
  bool KeepBusyCursor() const { return keepBusyCursor_; }
  void SetKeepBusyCursor(bool value);

  // Applies the control block to the open port (not for a parallel port).
  void ApplySettings();
  // The status text composed for the running operation.
  const AnsiString& CurrentStatusText() const { return statusText_; }
  // The descriptor of the open port, -1 when closed (for the benchmark and diagnostics).
  int Handle() const { return fd_; }
  const TMPXCommOperation& MainOperation() const { return mainOp_; }

 private:
  enum class TPurge { RxAbort, TxAbort };
  void StartOperation(uint8_t kind, std::string_view data, int32_t count, std::string_view term);
  bool RunRead(uint8_t kind, AnsiString& dest, int32_t count, std::string_view term);
  void WaitForOperation(bool isRead, unsigned long long startTick);
  void AbortAndJoin();
  void ThreadMain();
  void RunOperation();
  // One transfer of `size` bytes into/out of `buf`; false on failure (status set).
  bool Transfer(bool isRead, char* buf, int32_t size, int32_t& moved, int32_t timeoutMs);
  int32_t TakeLineErrors();
  void Complete();
  void ShowTaskInfo();
  void EndTaskInfo();
  void SetStatusBarText(const AnsiString& text);
  void OpenPort();
  void ClosePort();
  void SettingChanged();
  void CallSetupError();

  TUserPrompts* prompts_ = nullptr;
  TSilentPrompts silent_;
  bool active_ = false;
  AnsiString portName_;
  bool parallel_ = false;
  TMPXDCBFlags dcbFlags_{dcbBinary, dcbOutX, dcbInX};
  TMPXCommBaudRate baudRate_ = cbr9600;
  uint32_t baudValue_ = 9600;
  uint16_t xonLimit_ = 0, xoffLimit_ = 0;
  TMPXCommParity parity_ = cprNone;
  TMPXCommStopBits stopBits_ = csb1;
  TMPXCommDataBits dataBits_ = 8;
  uint8_t xonChar_ = 17, xoffChar_ = 19, eofChar_ = 0, evtChar_ = 0;
  bool keepBusyCursor_ = false;
  AnsiString statusText_;

  int fd_ = -1;
  int abortFd_ = -1;  // eventfd: the calling thread aborts a running transfer through it
  int readsInProgress_ = 0, writesInProgress_ = 0;
  struct TLineCounts { int rx = 0, frame = 0, parity = 0, overrun = 0, brk = 0, bufOverrun = 0; };
  TLineCounts lineCounts_;
  bool haveLineCounts_ = false;

  TMPXCommOperation mainOp_;
  std::mutex mutex_;
  std::condition_variable wake_;      // resumes the wait thread
  std::condition_variable finished_;  // the wait thread's event: an operation has ended
  bool pending_ = false;              // an armed operation waits for the thread
  bool running_ = false;              // the thread is inside an operation
  bool terminate_ = false;
  std::thread thread_;
};

}  // namespace quorvel
