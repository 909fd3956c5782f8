#include "sim/SimPty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace quorvel::sim {

namespace {

volatile std::sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

}  // namespace

bool SimStopRequested() { return gStop != 0; }

bool TSimPty::Open(const char* tool, const std::string& link) {
  char name[256] = {};
  if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
    std::fprintf(stderr, "quorvel-sim %s: openpty: %s\n", tool, std::strerror(errno));
    return false;
  }
  termios t{};
  ::tcgetattr(slave_, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(slave_, TCSANOW, &t);
  if (!link.empty()) {
    ::unlink(link.c_str());
    if (::symlink(name, link.c_str()) != 0) {
      std::fprintf(stderr, "quorvel-sim %s: %s: %s\n", tool, link.c_str(), std::strerror(errno));
      return false;
    }
    link_ = link;
  }
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGINT, &sa, nullptr);
  std::printf("%s\n", name);
  std::fflush(stdout);
  return true;
}

TSimPty::~TSimPty() {
  if (!link_.empty()) ::unlink(link_.c_str());
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
}

bool TSimPty::NextByte(int ms, char& c) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (in_.empty()) {
    if (gStop) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    // Short polls, so that a stop is seen within a tenth of a second.
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left < 100 ? left : 100)) <= 0) continue;
    char buf[4096];
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n > 0) in_.append(buf, static_cast<std::size_t>(n));
    else ::usleep(20000);  // no host on the line at the moment
  }
  c = in_.front();
  in_.erase(0, 1);
  return true;
}

void TSimPty::Write(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size() && !gStop) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) done += static_cast<std::size_t>(n);
    else if (n < 0 && errno != EAGAIN && errno != EINTR) return;
    else ::usleep(1000);
  }
}

std::vector<std::string> ReadDataLines(const std::filesystem::path& file, bool required) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    if (required) throw std::runtime_error("brak pliku " + file.string());
    return {};
  }
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    lines.push_back(line);
  }
  return lines;
}

}  // namespace quorvel::sim
