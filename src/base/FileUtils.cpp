#include "base/FileUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Cp1250.h"
#include "base/Errors.h"
#include "base/TextUtils.h"

namespace quorvel {

namespace {

bool MatchesDeviceName(const fs::path& p, std::string_view extension) {
  const std::string name = p.filename().string();
  return name.size() == 4 + extension.size() && SameText(std::string_view(name).substr(4), extension);
}

void Collect(const fs::path& dir, std::string_view extension, std::vector<fs::path>& out, int depth) {
  std::error_code ec;
  fs::directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
  if (ec) return;
  for (const auto& entry : it) {
    std::error_code e2;
    if (entry.is_directory(e2)) {
      if (depth == 0) Collect(entry.path(), extension, out, 1);
    } else if (entry.is_regular_file(e2) && MatchesDeviceName(entry.path(), extension)) {
      out.push_back(entry.path());
    }
  }
}

}  // namespace

std::string FileErrorMessage(std::string_view action, const fs::path& file, int err) {
  // The system's text comes in the host's language; the Polish lead-in says what failed.
  return std::string(action) + " " + Utf8ToCp1250(file.string()) + ": " + Utf8ToCp1250(std::strerror(err));
}

std::vector<fs::path> FindDeviceFiles(const fs::path& dir, std::string_view extension) {
  std::vector<fs::path> files;
  Collect(dir, extension, files, 0);
  std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
    const int c = CompareText(a.string(), b.string());
    return c != 0 ? c < 0 : a.string() < b.string();
  });
  return files;
}

std::string ReadFilePrefix(const fs::path& file, std::size_t limit) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EFileError(FileErrorMessage("Nie można otworzyć pliku"_cp, file, errno));
  std::string out;
  char buf[1 << 16];
  while (out.size() < limit) {
    const ssize_t n = ::read(fd, buf, std::min(sizeof buf, limit - out.size()));
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      throw EFileError(FileErrorMessage("Błąd odczytu pliku"_cp, file, err));
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return out;
}

std::string ReadFileBytes(const fs::path& file) {
  return ReadFilePrefix(file, static_cast<std::size_t>(-1));
}

void WriteFileAtomic(const fs::path& file, std::string_view bytes, bool durable) {
  TAtomicFile f(file, durable);
  f.Append(bytes);
  f.Commit();
}

TAtomicFile::TAtomicFile(fs::path target, bool durable) : target_(std::move(target)), durable_(durable) {
  std::error_code ec;
  if (target_.has_parent_path()) fs::create_directories(target_.parent_path(), ec);
  std::string tmpl = (target_.has_parent_path() ? target_.parent_path() / ("." + target_.filename().string() + ".XXXXXX")
                                                 : fs::path("." + target_.filename().string() + ".XXXXXX"))
                         .string();
  fd_ = ::mkstemp(tmpl.data());
  if (fd_ < 0) throw EFileError(FileErrorMessage("Nie można utworzyć pliku"_cp, target_, errno));
  temp_ = tmpl;
}

TAtomicFile::~TAtomicFile() {
  if (fd_ >= 0) {
    ::close(fd_);
    std::error_code ec;
    fs::remove(temp_, ec);
  }
}

void TAtomicFile::Append(std::string_view bytes) {
  buffer_.append(bytes);
  if (buffer_.size() >= (1 << 16)) Flush();
}

void TAtomicFile::Flush() {
  std::size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EFileError(FileErrorMessage("Błąd zapisu pliku"_cp, target_, errno));
    }
    done += static_cast<std::size_t>(n);
  }
  buffer_.clear();
}

void TAtomicFile::Commit() {
  Flush();
  // A new file gets the usual permissions rather than mkstemp's private ones.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, 0666 & ~mask);
  if (durable_ && ::fsync(fd_) != 0 && errno != EINVAL)
    throw EFileError(FileErrorMessage("Błąd zapisu pliku"_cp, target_, errno));
  ::close(fd_);
  fd_ = -1;
  if (::rename(temp_.c_str(), target_.c_str()) != 0) {
    const int err = errno;
    std::error_code ec;
    fs::remove(temp_, ec);
    throw EFileError(FileErrorMessage("Nie można zapisać pliku"_cp, target_, err));
  }
}

std::string IncludeTrailingSeparator(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

}  // namespace quorvel
