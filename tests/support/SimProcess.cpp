#include "support/SimProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace quorvel::test {

TSimProcess::TSimProcess(const std::string& kind, const std::filesystem::path& data,
                         const std::filesystem::path& link, const std::vector<std::string>& args) {
  std::vector<std::string> all = {QUORVEL_SIM_PATH, kind, "--data", data.string()};
  if (!link.empty()) all.insert(all.end(), {"--link", link.string()});
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string out = (dir_.Path() / "out").string();
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&fa);
  // The path is printed after the terminal and the link are ready; a simulator that ends
  // early (a bad option, a missing data file) is not waited for.
  for (int i = 0; pid_ > 0 && i < 300; ++i) {
    const std::string printed = ReadFile(out);
    if (const auto end = printed.find('\n'); end != std::string::npos) {
      terminal_ = printed.substr(0, end);
      break;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

TSimProcess::~TSimProcess() { Stop(); }

std::string TSimProcess::Stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  std::string notes = ReadFile(dir_.Path() / "out");
  notes.erase(0, notes.find('\n') + 1);
  return notes;
}

}  // namespace quorvel::test
