// File helpers: the device-file search and writes that never leave a half-written file.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

namespace fs = std::filesystem;

// Files named by four characters and `extension` (".txt", ".fmr") in `dir` and in its
// immediate sub-folders, sorted by full path without regard to letter case.
std::vector<fs::path> FindDeviceFiles(const fs::path& dir, std::string_view extension);

// The whole content of a file; raises EFileError with a Polish message when it cannot be read.
std::string ReadFileBytes(const fs::path& file);
// Reads at most `limit` bytes from the start of a file.
std::string ReadFilePrefix(const fs::path& file, std::size_t limit);

// Writes `bytes` to a temporary file beside `file`, then renames it over `file`, so that a
// reader sees the old or the new content and never a part. Creates missing parent folders.
// Raises EFileError on failure and leaves no temporary file behind. `durable` also flushes the
// data to the disc before the rename (device data that exist nowhere else).
void WriteFileAtomic(const fs::path& file, std::string_view bytes, bool durable = false);

// The same for content produced piece by piece: Append() as often as needed, then Commit().
// Without Commit() the temporary file is removed and the target is untouched.
class TAtomicFile {
 public:
  explicit TAtomicFile(fs::path target, bool durable = false);
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  void Append(std::string_view bytes);
  void Commit();

 private:
  void Flush();

  fs::path target_;
  fs::path temp_;
  bool durable_ = false;
  int fd_ = -1;
  std::string buffer_;
};

// The path with one trailing separator.
std::string IncludeTrailingSeparator(std::string path);

// The Polish message of a failed file operation on `file`.
std::string FileErrorMessage(std::string_view action, const fs::path& file, int err);

}  // namespace quorvel
