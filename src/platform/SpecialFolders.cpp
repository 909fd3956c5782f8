#include "platform/SpecialFolders.h"

#include <cstdlib>
#include <filesystem>

#include "base/FileUtils.h"

namespace quorvel {

std::string ProgramFileFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return IncludeTrailingSeparator(std::filesystem::current_path(ec).string());
  return IncludeTrailingSeparator(exe.parent_path().string());
}

std::optional<std::string> SharedDocumentsFolder() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return IncludeTrailingSeparator(xdg);
  if (const char* home = std::getenv("HOME"); home && *home)
    return IncludeTrailingSeparator((std::filesystem::path(home) / ".local" / "share").string());
  return std::nullopt;
}

}  // namespace quorvel
