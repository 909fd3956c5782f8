#include "archive/uConfig.h"

#include "archive/QVDDeviceInfo.h"
#include "archive/uXML.h"
#include "base/Amount.h"
#include "base/Errors.h"
#include "base/TextUtils.h"

namespace quorvel {

std::filesystem::path TConfig::DefaultFile() { return std::filesystem::path(SharedDataRoot()) / "config.xml"; }

bool TConfig::Load(const std::filesystem::path& file) {
  *this = TConfig();
  TXML xml("Config");
  if (!xml.LoadFromFile(file)) return false;
  // Values are assigned one by one, so that a value that does not convert leaves the
  // earlier ones read and the later ones as a new object holds them.
  try {
    PortName = xml.GetValue("PortName", "");
    PortSpeed = xml.GetValue("PortSpeed", 9600);
    ChannelID = xml.GetValue("ChannelID", 1);
    ImportType = xml.GetValue("ImportType", 2);
    ImportRangeType = xml.GetValue("ImportRangeType", 4);
    ChannelName = xml.GetValue("ChannelName", "QVXBrowser");
    LastDir = xml.GetValue("LastDir", "");
    AutoDownload = xml.GetValue("AutoDownload", false);
    AutoDownloadInteval = xml.GetValue("AutoDownloadInteval", 1);
    DownloadAfterEnabled = xml.GetValue("DownloadAfterEnabled", false);
    DownloadAfterTime = xml.GetValue("DownloadAfterTime", 0.0);
    BigPackets = xml.GetValue("BigPackets", true);
    CloseAfterDownload = xml.GetValue("CloseAfterDownload", false);
    DeviceType = xml.GetValue("DeviceType", 0);
    DeviceType = DeviceType < 0 ? 0 : (DeviceType > 1 ? 1 : DeviceType);
    Directory = xml.GetValue("Directory", "");
    SaveDirectory = xml.GetValue("SaveDirectory", "");
  } catch (const EConvertError&) {
  }
  return true;
}

std::vector<std::pair<std::string, AnsiString>> TConfig::Values() const {
  auto b = [](bool v) { return AnsiString(v ? "true" : "false"); };
  auto i = [](int v) { return Format("%d", v); };
  return {
      {"PortName", PortName},
      {"PortSpeed", i(PortSpeed)},
      {"ChannelID", i(ChannelID)},
      {"ChannelName", ChannelName},
      {"ImportType", i(ImportType)},
      {"ImportRangeType", i(ImportRangeType)},
      {"LastDir", LastDir},
      {"AutoDownload", b(AutoDownload)},
      {"AutoDownloadInteval", i(AutoDownloadInteval)},
      {"DownloadAfterEnabled", b(DownloadAfterEnabled)},
      {"DownloadAfterTime", FloatToStr(DownloadAfterTime)},
      {"BigPackets", b(BigPackets)},
      {"CloseAfterDownload", b(CloseAfterDownload)},
      {"DeviceType", i(DeviceType)},
      {"Directory", Directory},
      {"SaveDirectory", SaveDirectory},
  };
}

bool TConfig::Save(const std::filesystem::path& file) const {
  TXML xml("Config");
  for (const auto& [key, value] : Values()) xml.SetValue(key, std::string_view(value));
  return xml.SaveToFile(file);
}

}  // namespace quorvel
