// A scripted taxi meter on the device side of a pseudo-terminal: every complete request frame
// (STX .. ETX) and every ACK from the host releases the next scripted answer.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "links/PtyPair.h"

namespace quorvel::test {

// The meter's reply frame: STX, the fields each ended by CR, the check code, ETX.
inline std::string MeterFrame(const std::vector<std::string>& fields) {
  std::string body;
  for (const auto& f : fields) body += f + "\r";
  unsigned code = 2;
  for (unsigned char c : body) code ^= c;
  static const char* hex = "0123456789ABCDEF";
  return "\x02" + body + hex[(code >> 4) & 15] + hex[code & 15] + "\x03";
}

struct TMeterAnswer {
  std::string Bytes;
  int LaterMs = 0;     // when set: this long after Bytes, send Later as well
  std::string Later;
};

class TTaxiMeterPeer {
 public:
  TTaxiMeterPeer(const TPtyPair& pty, std::vector<TMeterAnswer> script)
      : pty_(pty), script_(script.begin(), script.end()), thread_([this] { Run(); }) {}
  ~TTaxiMeterPeer() {
    stop_ = true;
    thread_.join();
  }
  // The request frames the host sent and the number of its ACKs, so far.
  std::vector<std::string> Frames() {
    std::lock_guard lock(m_);
    return frames_;
  }
  int Acks() {
    std::lock_guard lock(m_);
    return acks_;
  }

 private:
  void Run() {
    std::string frame;
    bool inFrame = false;
    while (!stop_) {
      pollfd p{pty_.Master(), POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      char buf[256];
      const ssize_t n = ::read(pty_.Master(), buf, sizeof buf);
      if (n <= 0) continue;
      for (ssize_t i = 0; i < n; ++i) {
        const char c = buf[i];
        bool trigger = false;
        if (inFrame) {
          frame += c;
          if (c == '\x03') {
            inFrame = false;
            trigger = true;
            std::lock_guard lock(m_);
            frames_.push_back(frame);
          }
        } else if (c == '\x02') {
          inFrame = true;
          frame.assign(1, c);
        } else if (c == '\x06') {
          trigger = true;
          std::lock_guard lock(m_);
          ++acks_;
        }
        if (trigger && !script_.empty()) {
          const TMeterAnswer a = script_.front();
          script_.pop_front();
          if (!a.Bytes.empty()) pty_.Send(a.Bytes);
          if (a.LaterMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(a.LaterMs));
            pty_.Send(a.Later);
          }
        }
      }
    }
  }

  const TPtyPair& pty_;
  std::deque<TMeterAnswer> script_;
  std::mutex m_;
  std::vector<std::string> frames_;
  int acks_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace quorvel::test
