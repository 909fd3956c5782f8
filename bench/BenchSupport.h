// What the benchmarks share: a simulator in the background and the processor time spent.
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::bench {

// Starts `quorvel-sim ARGS...` with its output discarded and waits (up to 5 s) for `link`, the
// pseudo-terminal it links to.
inline pid_t StartSim(std::vector<std::string> args, const std::filesystem::path& link) {
  args.insert(args.begin(), QUORVEL_SIM_PATH);
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (!::freopen("/dev/null", "w", stdout)) ::_exit(126);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  for (int i = 0; i < 500 && !std::filesystem::exists(link); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return pid;
}

inline void StopSim(pid_t pid) {
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
}

// User and system time of this process (RUSAGE_SELF) or of its waited-for children.
inline double CpuSeconds(int who = RUSAGE_SELF) {
  rusage u{};
  ::getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace quorvel::bench
