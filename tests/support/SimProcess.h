// A quorvel-sim device simulator in the background for the length of a test.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace quorvel::test {

// Runs `quorvel-sim KIND --data DATA [--link LINK] ARGS...` with its standard output in a file of
// its own, and waits (up to 3 s) for the first line the simulator prints: the path of its
// pseudo-terminal. The simulator is stopped (SIGTERM, then waited for) by Stop() or on destruction.
class TSimProcess {
 public:
  TSimProcess(const std::string& kind, const std::filesystem::path& data, const std::filesystem::path& link = {},
              const std::vector<std::string>& args = {});
  ~TSimProcess();
  TSimProcess(const TSimProcess&) = delete;
  TSimProcess& operator=(const TSimProcess&) = delete;

  // The simulator started and printed its terminal's path.
  bool Running() const { return pid_ > 0 && !terminal_.empty(); }
  // The pseudo-terminal the simulator printed ("" when it did not start).
  const std::string& Terminal() const { return terminal_; }
  // Stops the simulator and returns what it printed after the terminal's path (its notes).
  std::string Stop();

 private:
  TTempDir dir_;
  pid_t pid_ = -1;
  std::string terminal_;
};

}  // namespace quorvel::test
