// The link to a fiscal printer: a serial port or a hub channel, the printer's escape-framed
// command texts with their check codes, and the printer operations built on them (identity,
// status byte, fiscal-memory records, electronic-copy transfer, control-code verification).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <istream>
#include <memory>
#include <string>
#include <string_view>

#include "archive/uDailyRecord.h"
#include "base/Cp1250.h"
#include "base/DateTime.h"
#include "base/Errors.h"
#include "base/TextUtils.h"
#include "base/UserPrompts.h"
#include "links/DADCommDevices.h"
#include "links/HubChannel.h"

namespace quorvel {

class TConfig;

// The link's own failure (a plain exception with its message).
class EQD407CommError : public EQuorvelError {
 public:
  using EQuorvelError::EQuorvelError;
};

enum : uint8_t { soCheckCode = 1, soFrame = 2 };
using TSendOptions = uint8_t;

// Windows-1250 Polish letters to their Mazovia codes, byte for byte; other bytes stay.
AnsiString ToPrinterCodePage(std::string_view text);
// 255 combined with every byte by exclusive or.
uint8_t PrinterCheckCode(std::string_view text);
// The same as two upper-case hexadecimal digits.
AnsiString PrinterCheckText(std::string_view text);
// ESC "P" text ESC "\".
AnsiString PrinterFrame(std::string_view text);
// A "@EP" payload with its escapes removed: 0x86 is dropped and the byte after it taken xor 0x20.
AnsiString UnescapePacketPayload(std::string_view payload);

// One row of the hub name table.
struct THubChannelRow {
  int32_t ChannelNumber;
  AnsiString ChannelName;
  AnsiString ClientName;
  bool AsMaster;
};
// The row of a hub port name (compared in upper case); any other name beginning with "O" gets
// channel 1, "PRNChannel1", "PRNLink1".
THubChannelRow HubChannelFor(std::string_view portName);

class TFPrinter {
 public:
  explicit TFPrinter(TUserPrompts* prompts = nullptr);
  ~TFPrinter();
  TFPrinter(const TFPrinter&) = delete;
  TFPrinter& operator=(const TFPrinter&) = delete;

  void SetPrompts(TUserPrompts* prompts);
  TUserPrompts& Prompts() const { return *prompts_; }

  TMPXCommDevice COMPort;

  AnsiString PortName = "BRAK";
  int PortKind = 0;  // 1 serial ("C..."), 2 parallel ("L..."), 0 otherwise
  bool UsesHub = false;
  std::shared_ptr<IOrvoCommHub> HubServer;
  std::shared_ptr<IOrvoCommLink> HubLink;
  int32_t HubChannelNumber = 0;
  AnsiString HubChannelName;
  AnsiString LastFrame;
  int32_t StandardTimeout = 10000;
  int32_t HubReadTimeout = 10000;
  bool UserBroke = false;
  bool EndReached = false;

  // The configuration ("BigPackets"); none means small packets.
  const TConfig* Config = nullptr;
  // Caption of the link's message boxes.
  AnsiString AppTitle = AnsiString("Przegladarka wydruków fiskalnych"_cp);
  // Time-outs of the electronic-copy transfer, kept as properties so that tests may shorten them.
  int32_t PacketTimeout = 6000;
  int32_t PacketMaxLen = 20480;
  // How many bad or missing packets in a row a download survives.
  int32_t PacketRetries = 3;

  // The hub channel dialog: shows `channelName` and `standardTimeout` (the text of its field),
  // lets the user change them, true on OK. Without one ConfigurePort leaves a hub port alone.
  std::function<bool(AnsiString& channelName, AnsiString& standardTimeout)> HubChannelDialog;

  // --- port handling ---
  bool OpenPort(std::string_view name);
  void ClosePort();
  void ResetLink();
  void ConfigurePort();

  // --- sending and receiving ---
  void SendCommand(std::string_view text, TSendOptions options);
  void SendRaw();
  // On entry `data` holds the terminator (empty or one NUL: none); on return what was read.
  void Receive(AnsiString& data, int32_t maxLen, bool showTimeout);
  bool ReceiveWithTimeout(AnsiString& data, int32_t maxLen, int32_t timeoutMs);
  bool ReceiveUntil(AnsiString& data, int32_t maxLen, char endChar, int32_t timeoutMs);
  // Sends one byte unframed and returns the one byte of answer, 0 when none came.
  uint8_t SendControlByte(uint8_t code);
  bool CheckPortStatus();
  static bool CheckReplyFrame(std::string_view frame);

  // --- printer commands ---
  AnsiString ReadUniqueNumber();
  AnsiString ReadVersion();
  void SetErrorHandling(int mode);
  void SelectRecordsFromDate(TDateTime when);
  void SelectRecordsFromNumber(int number);
  void ReadRecord(RFMRecord& record);
  void RequestFile(int mode, std::string_view from, std::string_view card, int step, std::string_view to);
  bool DownloadFile(std::string_view remoteName, const std::filesystem::path& localPath);
  bool VerifyText(std::string_view text, std::string_view controlCode, std::string_view uniqueNo, int kind);
  bool VerifyStream(std::istream& stream, std::string_view controlCode, std::string_view uniqueNo, int kind);

 private:
  void COMPortError(TMPXCommDevice& sender);
  void COMPortUserBreak(TMPXCommDevice& sender, TMPXCommOperation& op, bool& cancel);
  bool IsNoPort() const;
  void RequirePortOpen() const;
  void ShowError(const AnsiString& text);
  bool SendVerifyPieces(const std::vector<AnsiString>& pieces, std::string_view typeMarker,
                        std::string_view controlCode, std::string_view uniqueNo, int kind);

  TUserPrompts* prompts_;
  TSilentPrompts silent_;
};

}  // namespace quorvel
