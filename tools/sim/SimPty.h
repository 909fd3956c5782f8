// What the register and taxi simulators share: their pseudo-terminal (raw, under an optional
// --link path, its path printed for the tests), the stop on SIGTERM or SIGINT, byte-by-byte reads
// with a time limit and whole writes, and the text files of their data directories.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quorvel::sim {

// Set once SIGTERM or SIGINT has come, after TSimPty::Open.
bool SimStopRequested();

class TSimPty {
 public:
  TSimPty() = default;
  ~TSimPty();  // removes the link, closes both ends
  TSimPty(const TSimPty&) = delete;
  TSimPty& operator=(const TSimPty&) = delete;

  // Opens the terminal with the simulator's own hold on it in raw mode (so that it does not hang
  // up between the host's sessions), points `link` at it when not empty, stops on SIGTERM and
  // SIGINT, and prints the terminal's path as the first line of standard output. On failure it
  // prints "quorvel-sim TOOL: ..." on standard error and returns false.
  bool Open(const char* tool, const std::string& link);

  // One byte within `ms`, bytes put back and those that came earlier first; false on time-out or stop.
  bool NextByte(int ms, char& c);
  // `c` becomes the next byte NextByte gives.
  void PutBack(char c) { in_.insert(in_.begin(), c); }
  // All of `bytes`, unless the line fails or a stop comes.
  void Write(const std::string& bytes);

 private:
  int master_ = -1, slave_ = -1;
  std::string link_;
  std::string in_;
};

// The lines of a data file without CR, empty lines and "#" comments. A missing file throws
// std::runtime_error "brak pliku FILE" when `required`, and has no lines otherwise.
std::vector<std::string> ReadDataLines(const std::filesystem::path& file, bool required);

}  // namespace quorvel::sim
