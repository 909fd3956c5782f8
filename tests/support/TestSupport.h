// Helpers shared by the test programs: temporary folders and running the programs.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quorvel::test {

// A fresh folder removed again when the object goes.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

struct TRunResult {
  int ExitCode = -1;
  std::string Out, Err;
};

// Runs a program with arguments and extra environment ("NAME=value"), standard input closed.
TRunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& env = {});

void WriteFile(const std::filesystem::path& file, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& file);

}  // namespace quorvel::test
