#include "support/TestSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace quorvel::test {

TTempDir::TTempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "quorvel-test-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TTempDir::~TTempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

TRunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& env) {
  TTempDir tmp;
  const std::string outPath = (tmp.Path() / "out").string(), errPath = (tmp.Path() / "err").string();
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> envStore;
  for (char** e = environ; *e; ++e) envStore.emplace_back(*e);
  for (const auto& e : env) envStore.push_back(e);
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = 0;
  TRunResult r;
  if (posix_spawn(&pid, program.c_str(), &fa, nullptr, argv.data(), envp.data()) != 0) {
    posix_spawn_file_actions_destroy(&fa);
    throw std::runtime_error("cannot start " + program);
  }
  posix_spawn_file_actions_destroy(&fa);
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.Out = ReadFile(outPath);
  r.Err = ReadFile(errPath);
  return r;
}

void WriteFile(const std::filesystem::path& file, const std::string& bytes) {
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
  std::ofstream f(file, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream f(file, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace quorvel::test
