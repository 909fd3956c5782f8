// Throughput of the serial port component over a pseudo-terminal pair, against plain read and
// write calls on the same pair: whole reads, whole writes and terminator reads.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "links/DADCommDevices.h"

using namespace quorvel;
using Clock = std::chrono::steady_clock;

namespace {

void WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n > 0) done += static_cast<size_t>(n);
    else {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, 100);
    }
  }
}

size_t ReadAll(int fd, size_t total) {
  std::string buf(65536, '\0');
  size_t got = 0;
  while (got < total) {
    const ssize_t n = ::read(fd, buf.data(), buf.size());
    if (n > 0) got += static_cast<size_t>(n);
    else {
      pollfd p{fd, POLLIN, 0};
      ::poll(&p, 1, 100);
    }
  }
  return got;
}

double MBps(size_t bytes, Clock::time_point t0) {
  const double s = std::chrono::duration<double>(Clock::now() - t0).count();
  return bytes / s / 1e6;
}

struct TPair {
  int Master = -1, Slave = -1;
  std::string Path;
  TPair() {
    char name[256];
    ::openpty(&Master, &Slave, name, nullptr, nullptr);
    termios t{};
    ::tcgetattr(Slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(Slave, TCSANOW, &t);
    ::fcntl(Master, F_SETFL, O_NONBLOCK);
    ::fcntl(Slave, F_SETFL, O_NONBLOCK);
    Path = name;
  }
  ~TPair() {
    ::close(Master);
    ::close(Slave);
  }
};

}  // namespace

int main() {
  const size_t kTotal = 16u << 20, kChunk = 65536;
  std::string data(kTotal, '\0');
  for (size_t i = 0; i < kTotal; ++i) data[i] = static_cast<char>('A' + i % 26);
  std::string lines;
  for (size_t i = 0; lines.size() < (2u << 20); ++i) lines += std::string(99, static_cast<char>('a' + i % 26)) + "\r";

  {
    TPair p;
    std::thread w([&] { WriteAll(p.Master, data); });
    const auto t0 = Clock::now();
    ReadAll(p.Slave, kTotal);
    std::printf("plain read             %8.1f MB/s\n", MBps(kTotal, t0));
    w.join();
  }
  {
    TPair p;
    std::thread r([&] { ReadAll(p.Master, kTotal); });
    const auto t0 = Clock::now();
    for (size_t at = 0; at < kTotal; at += kChunk) WriteAll(p.Slave, data.substr(at, kChunk));
    r.join();
    std::printf("plain write            %8.1f MB/s\n", MBps(kTotal, t0));
  }
  {
    TPair p;
    TMPXCommDevice d;
    d.SetPortName(p.Path);
    d.SetDCBFlags({dcbBinary});
    d.DllMode = true;
    d.Open();
    std::thread w([&] { WriteAll(p.Master, data); });
    const auto t0 = Clock::now();
    AnsiString got;
    size_t n = 0;
    while (n < kTotal) {
      if (!d.ReadData(got, static_cast<int32_t>(kChunk))) return 1;
      n += got.size();
    }
    std::printf("component whole read   %8.1f MB/s (%zu B per ReadData)\n", MBps(kTotal, t0), kChunk);
    w.join();
  }
  {
    TPair p;
    TMPXCommDevice d;
    d.SetPortName(p.Path);
    d.SetDCBFlags({dcbBinary});
    d.DllMode = true;
    d.Open();
    std::thread r([&] { ReadAll(p.Master, kTotal); });
    const auto t0 = Clock::now();
    for (size_t at = 0; at < kTotal; at += kChunk)
      if (!d.WriteData(std::string_view(data).substr(at, kChunk))) return 1;
    r.join();
    std::printf("component whole write  %8.1f MB/s (%zu B per WriteData)\n", MBps(kTotal, t0), kChunk);
  }
  {
    TPair p;
    std::thread w([&] { WriteAll(p.Master, lines); });
    const auto t0 = Clock::now();
    ReadAll(p.Slave, lines.size());
    std::printf("plain read (lines)     %8.1f MB/s\n", MBps(lines.size(), t0));
    w.join();
  }
  {
    TPair p;
    TMPXCommDevice d;
    d.SetPortName(p.Path);
    d.SetDCBFlags({dcbBinary});
    d.DllMode = true;
    d.Open();
    std::thread w([&] { WriteAll(p.Master, lines); });
    const auto t0 = Clock::now();
    AnsiString got;
    size_t n = 0;
    while (n < lines.size()) {
      if (!d.ReadData(got, 200, "\r")) return 1;
      n += got.size();
    }
    std::printf("component CR reads     %8.1f MB/s (100-byte lines, byte by byte)\n", MBps(lines.size(), t0));
    w.join();
  }
  return 0;
}
