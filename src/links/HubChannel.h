// The client side of the communication hub: the hub shares serial devices between programs by
// named channels. Here the hub is the quorvel-commhub daemon on a Unix-domain socket.
//
// Wire form (both ways): one type byte, a 32-bit little-endian payload length, the payload.
//   client -> hub   'C' connect: int32 channel number, uint8 as-master, channel name, NUL, client name
//                   'W' write: the bytes       'R' reset: nothing       'S' setting: int32 value
//   hub -> client   'K' answer to C, W, R, S: int32 result (0 = success); after 'C' also the
//                       int32 channel number the hub assigned
//                   'D' data: bytes that arrived on the channel, whenever they come
// Closing the connection disconnects the channel.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/Cp1250.h"
#include "base/Errors.h"

namespace quorvel {

// The automation error of a hub that is not running (the caller then creates the server).
class EHubNotRunning : public EQuorvelError {
 public:
  using EQuorvelError::EQuorvelError;
};

// One connected channel.
class IOrvoCommLink {
 public:
  virtual ~IOrvoCommLink() = default;
  // Sends the bytes whole; false when the hub refused them or the connection is gone.
  virtual bool WriteString(std::string_view bytes) = 0;
  // True with the byte when one was waiting, false otherwise (callers poll).
  virtual bool ReadByte(uint8_t& byte) = 0;
  // Drops pending input and output.
  virtual bool Reset() = 0;
  // The channel setting operation (the register link passes 100 once after connecting).
  virtual bool Setting(int32_t value) = 0;
};

class IOrvoCommHub {
 public:
  virtual ~IOrvoCommHub() = default;
  // Raises EQuorvelError when the channel cannot be connected. `channelNumber` may be changed
  // by the hub.
  virtual std::shared_ptr<IOrvoCommLink> Connect(int32_t& channelNumber, std::string_view channelName,
                                                 bool asMaster, std::string_view clientName) = 0;
  virtual void Disconnect(const std::shared_ptr<IOrvoCommLink>& link) = 0;
};

inline constexpr std::string_view kHubProgId = "OrvoCommHubSrv.OrvoCommHub";

// Where the hub listens: $QUORVEL_COMMHUB_SOCKET, else $XDG_RUNTIME_DIR/quorvel-commhub.sock,
// else /tmp/quorvel-commhub-<uid>.sock.
std::string HubSocketPath();
// The hub counts as registered when its socket exists.
bool HubRegistered();
// The running hub; raises EHubNotRunning when nothing listens on the socket.
std::shared_ptr<IOrvoCommHub> GetActiveHubServer(std::string_view progId = kHubProgId);
// A hub object bound to the socket; connecting through it fails while no hub runs.
std::shared_ptr<IOrvoCommHub> CreateHubServer(std::string_view progId = kHubProgId);

}  // namespace quorvel
