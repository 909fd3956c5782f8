#include "links/HubChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "base/TextUtils.h"

namespace quorvel {

namespace {

// How long an answer ('K') of the hub may take.
constexpr int kAnswerTimeoutMs = 5000;

int ConnectSocket(const std::string& path) {
  sockaddr_un addr{};
  if (path.size() >= sizeof addr.sun_path) return -1;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.data(), path.size());
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void PutInt(std::string& out, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) out += static_cast<char>((u >> (8 * i)) & 0xFF);
}

int32_t GetInt(std::string_view s, size_t at) {
  uint32_t u = 0;
  for (int i = 0; i < 4; ++i) u |= static_cast<uint32_t>(static_cast<unsigned char>(s[at + i])) << (8 * i);
  return static_cast<int32_t>(u);
}

class THubLink : public IOrvoCommLink {
 public:
  explicit THubLink(int fd) : fd_(fd) {}
  ~THubLink() override { Close(); }

  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  // Sends one message and waits for its answer; data that comes meanwhile is kept.
  bool Call(char type, std::string_view payload, std::string* answer = nullptr) {
    if (fd_ < 0) return false;
    std::string msg(1, type);
    PutInt(msg, static_cast<int32_t>(payload.size()));
    msg.append(payload);
    size_t done = 0;
    while (done < msg.size()) {
      const ssize_t n = ::send(fd_, msg.data() + done, msg.size() - done, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return Broken();
      done += static_cast<size_t>(n);
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
    for (;;) {
      std::string body;
      char t;
      if (TakeMessage(t, body)) {
        if (t != 'K' || body.size() < 4) return Broken();
        if (answer) *answer = body;
        return GetInt(body, 0) == 0;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
      if (left <= 0 || !Fill(static_cast<int>(left))) return Broken();
    }
  }

  bool WriteString(std::string_view bytes) override { return Call('W', bytes); }
  bool Reset() override {
    input_.clear();
    return Call('R', {});
  }
  bool Setting(int32_t value) override {
    std::string p;
    PutInt(p, value);
    return Call('S', p);
  }
  bool ReadByte(uint8_t& byte) override {
    if (input_.empty() && fd_ >= 0) {
      Fill(0);
      std::string body;
      char t;
      while (TakeMessage(t, body)) {
      }
    }
    if (input_.empty()) return false;
    byte = input_.front();
    input_.pop_front();
    return true;
  }

 private:
  bool Broken() {
    Close();
    return false;
  }
  // Reads what the socket holds (waiting up to `ms`); false when the connection is gone.
  bool Fill(int ms) {
    pollfd p{fd_, POLLIN, 0};
    const int r = ::poll(&p, 1, ms);
    if (r <= 0) return r == 0;
    char buf[4096];
    const ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
    if (n <= 0) return n < 0 && (errno == EAGAIN || errno == EINTR);
    raw_.append(buf, static_cast<size_t>(n));
    return true;
  }
  // Takes one whole message off the raw stream; data messages go to the input and are not
  // returned.
  bool TakeMessage(char& type, std::string& body) {
    for (;;) {
      if (raw_.size() < 5) return false;
      const auto len = static_cast<uint32_t>(GetInt(raw_, 1));
      if (raw_.size() < 5 + static_cast<size_t>(len)) return false;
      type = raw_[0];
      body = raw_.substr(5, len);
      raw_.erase(0, 5 + len);
      if (type == 'D') {
        for (char c : body) input_.push_back(static_cast<uint8_t>(c));
        continue;
      }
      return true;
    }
  }

  int fd_;
  std::string raw_;
  std::deque<uint8_t> input_;
};

class THubServer : public IOrvoCommHub {
 public:
  explicit THubServer(std::string path) : path_(std::move(path)) {}
  std::shared_ptr<IOrvoCommLink> Connect(int32_t& channelNumber, std::string_view channelName, bool asMaster,
                                         std::string_view clientName) override {
    const int fd = ConnectSocket(path_);
    if (fd < 0) throw EQuorvelError(std::string("CommHub: brak połączenia z serwerem."_cp));
    auto link = std::make_shared<THubLink>(fd);
    std::string p;
    PutInt(p, channelNumber);
    p += static_cast<char>(asMaster ? 1 : 0);
    p.append(channelName);
    p += '\0';
    p.append(clientName);
    std::string answer;
    if (!link->Call('C', p, &answer)) throw EQuorvelError(std::string("CommHub: kanał nie został połączony."_cp));
    if (answer.size() >= 8) channelNumber = GetInt(answer, 4);
    return link;
  }
  void Disconnect(const std::shared_ptr<IOrvoCommLink>& link) override {
    if (auto* l = dynamic_cast<THubLink*>(link.get())) l->Close();
  }

 private:
  std::string path_;
};

}  // namespace

std::string HubSocketPath() {
  if (const char* p = std::getenv("QUORVEL_COMMHUB_SOCKET"); p && *p) return p;
  if (const char* r = std::getenv("XDG_RUNTIME_DIR"); r && *r) return std::string(r) + "/quorvel-commhub.sock";
  return Format("/tmp/quorvel-commhub-%u.sock", static_cast<unsigned>(::getuid()));
}

bool HubRegistered() {
  struct stat st{};
  return ::stat(HubSocketPath().c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

std::shared_ptr<IOrvoCommHub> GetActiveHubServer(std::string_view) {
  const std::string path = HubSocketPath();
  const int fd = ConnectSocket(path);
  if (fd < 0) throw EHubNotRunning(std::string("CommHub: serwer nie działa."_cp));
  ::close(fd);
  return std::make_shared<THubServer>(path);
}

std::shared_ptr<IOrvoCommHub> CreateHubServer(std::string_view) {
  return std::make_shared<THubServer>(HubSocketPath());
}

}  // namespace quorvel
