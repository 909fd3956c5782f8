// A pseudo-terminal pair for the link tests: the component opens the slave by its path, the
// test plays the device on the master.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace quorvel::test {

class TPtyPair {
 public:
  TPtyPair() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) == 0) {
      termios t{};
      ::tcgetattr(slave_, &t);
      ::cfmakeraw(&t);
      ::tcsetattr(slave_, TCSANOW, &t);
      path_ = name;
    }
  }
  ~TPtyPair() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }
  TPtyPair(const TPtyPair&) = delete;
  TPtyPair& operator=(const TPtyPair&) = delete;

  const std::string& Path() const { return path_; }
  // Hangs the device side up.
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  int Master() const { return master_; }

  void Send(const std::string& bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) done += static_cast<size_t>(n);
      else if (n < 0 && errno != EAGAIN && errno != EINTR) return;
    }
  }
  // Whatever the device side receives within `ms` (stops early once `want` bytes came).
  std::string Receive(int ms, size_t want = SIZE_MAX) const {
    std::string out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (out.size() < want) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
      if (left <= 0) break;
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
      char buf[4096];
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, static_cast<size_t>(n));
    }
    return out;
  }

 private:
  int master_ = -1, slave_ = -1;
  std::string path_;
};

}  // namespace quorvel::test
