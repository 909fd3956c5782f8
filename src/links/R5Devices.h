// The link to a cash register of the R5 family: framed, check-summed packets exchanged under the
// ENQ/ACK/NAK/EOT discipline, with the register's recovery steps, its error frames and questions
// to the user; and the packet layer (Request, GetField) over it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "base/Cp1250.h"
#include "base/Errors.h"
#include "base/UserPrompts.h"
#include "links/DADCommDevices.h"
#include "links/HubChannel.h"

namespace quorvel {

// The link's own error. Its message box ("Błąd komunikacji z kasą", error icon) is shown while
// the error is created, so the user sees every one exactly once whether or not a caller catches it.
class ECommError : public EQuorvelError {
 public:
  ECommError(std::string_view message, TUserPrompts* prompts);
};

class TR5Device {
 public:
  explicit TR5Device(TUserPrompts* prompts = nullptr);
  ~TR5Device();
  TR5Device(const TR5Device&) = delete;
  TR5Device& operator=(const TR5Device&) = delete;

  TMPXCommDevice Comm;  // the serial transport

  // Transport: 0 serial (Comm), 1 hub channel; 2 (TCP) and 3 (UDP) are reserved and never selected.
  uint8_t Mode = 0;
  bool UserAbort = false;
  std::shared_ptr<IOrvoCommHub> Hub;       // kept once obtained
  std::shared_ptr<IOrvoCommLink> Channel;  // present while the link is open in hub mode
  int32_t ChannelId = 0;
  AnsiString ChannelName;
  std::vector<AnsiString> Requests;  // request bodies, turned into frames by Transact
  std::vector<AnsiString> Replies;   // reply frames as received (start byte ... checksum)
  bool EndSent = false;

  // Waits of the protocol, in milliseconds. The read time-out of a single transfer is
  // Comm.RdTimeout / Comm.WrTimeout (6000).
  int32_t SilentRegisterWait = 3000;  // after a register that did not answer a packet
  int32_t ReplyTimeout = 56000;       // read and write time-outs while a reply is received
  int32_t HubByteTimeout = 3600000;   // the wait for one byte from a hub channel

  void SetMode(uint8_t mode) { Mode = mode; }
  void Open(bool value);
  void Close() { Open(false); }
  bool TestConnection();
  void ResetLink();
  bool WriteBytes(std::string_view bytes);
  bool ReadBytes(AnsiString& bytes, int32_t count, std::string_view terminator = {});
  bool ReadFrameBody(AnsiString& bytes, int32_t count, std::string_view stopBytes);
  bool Transact(bool askUser, bool reportErrors, bool manualReceive);
  bool Enquire(bool askUser);
  bool ReceiveReply(bool append);
  AnsiString ReadRegisterError();
  int ReplyCount() const { return static_cast<int>(Replies.size()); }
  void ClearReplies() { Replies.clear(); }
  bool MonitorEnabled() const { return monitorEnabled_; }
  void SetMonitorEnabled(bool value) { monitorEnabled_ = value; }

  // Packet layer.
  int Request(uint8_t type, std::string_view first = {}, std::string_view second = {}, bool digitTwo = false,
              bool askUser = true, bool manualReceive = false);
  AnsiString GetField(uint8_t type, int index, int code, int subscript = 0);

  TUserPrompts& Prompts() { return *prompts_; }

 private:
  bool ReadByte(char& byte);
  AnsiString HubRead(int32_t count);
  void HubYield();
  bool ReadByteSkippingTab(char& byte);
  void Reopen();
  void SerialReadError(TMPXCommOperation& op);
  void SerialWriteError(TMPXCommOperation& op);
  [[noreturn]] void RaiseCommError(std::string_view message);

  TUserPrompts* prompts_;
  TSilentPrompts silent_;
  bool monitorEnabled_ = false;
  unsigned long long lastYield_ = 0;
};

}  // namespace quorvel
