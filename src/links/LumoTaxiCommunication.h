// The taxi meter's protocol: CR-separated decimal request bodies framed as STX, body, a
// two-digit exclusive-or check code and ETX; one exchange is ACK (or NAK), the reply frame or
// EOT, and our ACK of the reply. The link keeps no state: every operation is a class operation.
#pragma once

#include <cstdint>
#include <string_view>

#include "archive/uDailyRecord.h"
#include "base/Cp1250.h"
#include "base/DateTime.h"
#include "base/Errors.h"

namespace quorvel {

class TFPrinter;
class TMPXCommDevice;

inline constexpr char kTaxiSTX = 2;
inline constexpr char kTaxiETX = 3;
inline constexpr char kTaxiEOT = 4;
inline constexpr char kTaxiACK = 6;
inline constexpr char kTaxiNAK = 21;

// The longest reply the meter sends for one exchange or one fiscal-memory entry.
inline constexpr int32_t kTaxiMaxReply = 1024;

// The way to the meter: the port (or hub channel) the printer link has opened, or a serial
// port component of its own. Reads that bring nothing, or end early, are not errors here:
// the caller looks at what arrived.
class TTaxiPort {
 public:
  virtual ~TTaxiPort() = default;
  // Sends the bytes as they are, without framing.
  virtual void Send(std::string_view bytes) = 0;
  // Reads at most `maxLen` bytes within `timeoutMs`, ending after `terminator` when it is not
  // 0; returns what arrived, complete or not.
  virtual AnsiString Receive(int32_t maxLen, char terminator, int32_t timeoutMs) = 0;
  // Drops what waits in the queues.
  virtual void Reset() = 0;

  // How long the meter may stay silent in each read, in milliseconds.
  int32_t Timeout = 6000;
};

// Through the printer link, which knows whether a serial port or a hub channel is open.
class TTaxiPrinterPort final : public TTaxiPort {
 public:
  explicit TTaxiPrinterPort(TFPrinter& printer) : printer_(printer) {}
  void Send(std::string_view bytes) override;
  AnsiString Receive(int32_t maxLen, char terminator, int32_t timeoutMs) override;
  void Reset() override;

 private:
  TFPrinter& printer_;
};

// Straight through a serial port component; its time-out settings are put back after each read.
class TTaxiCommPort final : public TTaxiPort {
 public:
  explicit TTaxiCommPort(TMPXCommDevice& device) : device_(device) {}
  void Send(std::string_view bytes) override;
  AnsiString Receive(int32_t maxLen, char terminator, int32_t timeoutMs) override;
  void Reset() override;

 private:
  TMPXCommDevice& device_;
};

class TLumoTaxiComm {
 public:
  TLumoTaxiComm() = delete;

  static AnsiString UniqueNumberRequest();
  static AnsiString NipRequest();
  // The fiscal-memory request from `from`: a report number (byNumber) or a date-time whose
  // date is taken, with the time of day of `to`. The meter sends everything from there on.
  static AnsiString RangeRequest(bool byNumber, double from, double to);
  // The exclusive or of STX and the body's bytes, as two upper-case hexadecimal digits.
  static AnsiString CheckCode(std::string_view body);
  static AnsiString FrameRequest(std::string_view body);

  // One exchange: the reply text (its first byte included, our ACK sent), or an empty text when
  // the meter stays silent, answers anything but ACK, or leaves its reply unfinished.
  // Raises on NAK and on EOT.
  static AnsiString Transact(TTaxiPort& port, std::string_view frame);

  // One byte within the port's time-out; false when none came.
  static bool ReceiveByte(TTaxiPort& port, char& byte);
  // The rest of a reply up to and including ETX; false when ETX did not come in time.
  static bool ReceiveRest(TTaxiPort& port, AnsiString& rest);

  static AnsiString ParseUniqueNumber(std::string_view reply);
  static AnsiString ParseNip(std::string_view reply);
  // Decodes one fiscal-memory entry over `record`: only the fields of the entry's type change.
  static void ParseRecord(std::string_view reply, RFMRecord& record);

  // A whole number of hundredths as a two-decimal text with "."; raises EConvertError.
  static AnsiString HundredthsText(std::string_view field);
};

}  // namespace quorvel
