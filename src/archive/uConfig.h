// The program's settings and their file "config.xml" in the shared data root.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "base/Cp1250.h"
#include "platform/SerialPortList.h"

namespace quorvel {

class TConfig {
 public:
  // A new object holds the first default column.
  AnsiString PortName;
  int PortSpeed = 9600;
  int ChannelID = 1;
  AnsiString ChannelName = "QVXBrowser";
  int ImportType = 2;
  int ImportRangeType = 4;
  AnsiString LastDir;
  bool AutoDownload = false;
  int AutoDownloadInteval = 0;
  bool DownloadAfterEnabled = false;
  double DownloadAfterTime = 0;
  bool BigPackets = false;
  bool CloseAfterDownload = false;
  int DeviceType = 0;
  AnsiString Directory;
  AnsiString SaveDirectory;

  // "config.xml" in the shared data root.
  static std::filesystem::path DefaultFile();

  // Loads `file`. Keys the file lacks take the second default column; the first value that
  // does not convert ends the loading silently (later keys keep the values of a new object).
  // A missing or malformed file leaves the new object's values. Returns whether the file loaded.
  bool Load(const std::filesystem::path& file);
  bool Load() { return Load(DefaultFile()); }
  // Writes every key in the file's order; failures are not reported (false).
  bool Save(const std::filesystem::path& file) const;
  bool Save() const { return Save(DefaultFile()); }

  // The keys in file order with their values as the file holds them.
  std::vector<std::pair<std::string, AnsiString>> Values() const;
};

}  // namespace quorvel
