// A fiscal printer played by the test on the master side of a pseudo-terminal: identity, status
// byte, fiscal-memory records, and electronic-copy packets served from a list of files with
// faults the test switches on (corrupted, repeated and missing packets).
#pragma once

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/TextUtils.h"
#include "links/PtyPair.h"

namespace quorvel::test {

inline std::string PrinterCheck(std::string_view s) {
  unsigned c = 255;
  for (char ch : s) c ^= static_cast<unsigned char>(ch);
  return Format("%02X", c & 0xFF);
}
inline std::string PrinterFrameOf(std::string_view body) { return "\x1bP" + std::string(body) + "\x1b\\"; }

// "@EP" number "/" status "/" name CR "0/0/" escaped payload CR.
inline std::string PacketBody(int number, int status, const std::string& name, const std::string& payload) {
  std::string p = Format("@EP%d/%d/", number, status) + name + "\r0/0/";
  for (char c : payload) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x5C || b == 0x86) {
      p += static_cast<char>(0x86);
      p += static_cast<char>(b ^ 0x20);
    } else {
      p += c;
    }
  }
  return p + "\r";
}

// Serves whole files packet by packet: step 0 starts, 1 moves on, 2 repeats the last packet.
struct TPacketServer {
  std::vector<std::pair<std::string, std::string>> Files;  // name, bytes
  std::size_t PacketSize = 64;
  std::set<int> CorruptReplies;  // 1-based replies sent with a broken check code
  std::set<int> SilentReplies;   // replies not sent at all
  int RepeatNumberFrom = -1;     // from this packet number on, step 1 sends the last packet again
  std::atomic<int> Sent{0};

  std::string operator()(const std::string& request) {
    const auto ep = request.find("@EP");
    const int step = request[ep + 3] - '0';
    const int reply = ++replies_;
    if (step == 0) {
      file_ = offset_ = 0;
      number_ = 0;
      last_.clear();
    }
    std::string body;
    if (step == 2 && !last_.empty()) {
      body = last_;
    } else if (step != 2 && RepeatNumberFrom >= 0 && number_ >= RepeatNumberFrom && !last_.empty()) {
      body = last_;
    } else if (file_ >= Files.size()) {
      body = "@EP0/2/\r0/0/\r";
    } else {
      const auto& f = Files[file_];
      const std::string chunk = f.second.substr(offset_, PacketSize);
      offset_ += chunk.size();
      int status = 0;
      if (offset_ >= f.second.size()) {
        status = file_ + 1 < Files.size() ? 1 : 2;
        ++file_;
        offset_ = 0;
      }
      body = PacketBody(++number_, status, f.first, chunk);
      last_ = body;
    }
    if (SilentReplies.count(reply)) return {};
    ++Sent;
    std::string sealed = body + PrinterCheck(body);
    if (CorruptReplies.count(reply)) sealed[sealed.size() - 1] = sealed.back() == '0' ? '1' : '0';
    return PrinterFrameOf(sealed);
  }

 private:
  int replies_ = 0, number_ = 0;
  std::size_t file_ = 0, offset_ = 0;
  std::string last_;
};

class TFakePrinter {
 public:
  std::string Unique = "ABC12345678";
  std::string Version = "QS-1 1.00";
  char Status = 8;
  std::vector<std::string> Records;  // record texts before their check code, read by "27#s"
  // The whole reply (framed) to an "@EP" request body, or "" for none.
  std::function<std::string(const std::string& request)> OnFileRequest;

  TFakePrinter() = default;
  ~TFakePrinter() { Stop(); }
  void Start() { thread_ = std::thread([this] { Run(); }); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  const std::string& Path() const { return pty_.Path(); }

  std::vector<std::string> Commands() {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
  }
  int CountOf(const std::string& body) {
    int n = 0;
    for (const auto& c : Commands()) n += c == body;
    return n;
  }

 private:
  void Run() {
    std::string in;
    while (!stop_) {
      pollfd p{pty_.Master(), POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      char buf[4096];
      const ssize_t n = ::read(pty_.Master(), buf, sizeof buf);
      if (n <= 0) continue;
      in.append(buf, static_cast<std::size_t>(n));
      for (;;) {
        const auto esc = in.find('\x1b');
        const auto enq = in.find('\x05');
        if (enq != std::string::npos && (esc == std::string::npos || enq < esc)) {
          in.erase(0, enq + 1);
          Log("ENQ");
          pty_.Send(std::string(1, Status));
          continue;
        }
        if (esc == std::string::npos) {
          in.clear();
          break;
        }
        const auto end = in.find("\x1b\\", esc + 1);
        if (end == std::string::npos) {
          in.erase(0, esc);
          break;
        }
        std::string body = in.substr(esc + 2, end - esc - 2);
        in.erase(0, end + 2);
        Command(body);
      }
    }
  }

  void Command(const std::string& body) {
    Log(body);
    if (body == "#u") return pty_.Send(PrinterFrameOf("1#u/" + Unique));
    if (body == "#v") return pty_.Send(PrinterFrameOf("1#R" + Version));
    if (body == "27#s") {
      const std::string r = next_ < Records.size() ? Records[next_++] : "25#X0;0;0;0;0;0;";
      return pty_.Send(PrinterFrameOf(r + PrinterCheck(r)));
    }
    if (body.find("@EP") != std::string::npos && OnFileRequest) {
      const std::string reply = OnFileRequest(body.substr(0, body.size() - 2));
      if (!reply.empty()) pty_.Send(reply);
    }
  }

  void Log(const std::string& s) {
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.push_back(s);
  }

  TPtyPair pty_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> commands_;
  std::size_t next_ = 0;
};

}  // namespace quorvel::test
