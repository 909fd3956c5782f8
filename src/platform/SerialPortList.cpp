// The list of serial ports from /sys/class/tty, the stand-in for the system's device manager.
#include <algorithm>
#include <fstream>

#include "platform/SerialPortList.h"
#include "base/TextUtils.h"

namespace quorvel {

namespace {

std::string ReadSysLine(const std::filesystem::path& file) {
  std::ifstream f(file);
  std::string line;
  std::getline(f, line);
  return Trim(line);
}

// The friendly name the device manager would show: the USB product, the driver, or a plain caption.
std::string FriendlyName(const std::filesystem::path& tty, const std::string& name) {
  std::error_code ec;
  const auto device = std::filesystem::canonical(tty / "device", ec);
  if (!ec) {
    for (auto dir = device; !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
      const std::string product = ReadSysLine(dir / "product");
      if (!product.empty()) return product;
      if (dir.filename().string().rfind("usb", 0) == 0) break;
    }
  }
  if (name.rfind("ttyS", 0) == 0) return "Port komunikacyjny";
  const auto driver = std::filesystem::read_symlink(tty / "device" / "driver", ec);
  if (!ec) return driver.filename().string();
  return "Port szeregowy";
}

}  // namespace

void ListSerialPorts(std::string_view prefix, std::vector<std::string>& list,
                     const std::filesystem::path& sysClassTty) {
  std::error_code ec;
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(sysClassTty, ec)) {
    std::error_code e2;
    if (!std::filesystem::exists(entry.path() / "device", e2)) continue;  // virtual terminals
    const std::string name = entry.path().filename().string();
    // A legacy UART slot without hardware behind it reports type 0.
    if (name.rfind("ttyS", 0) == 0 && ReadSysLine(entry.path() / "type") == "0") continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  for (const auto& name : names) {
    std::string port = "/dev/" + name;
    int32_t n = 0;
    if (name.rfind("ttyS", 0) == 0 && TryStrToInt(std::string_view(name).substr(4), n)) port = Format("COM%d", n + 1);
    const bool matches = port.rfind(prefix, 0) == 0 || (prefix == "COM" && port.rfind("/dev/", 0) == 0);
    if (!matches) continue;
    list.push_back(port + " - " + Utf8ToCp1250(FriendlyName(sysClassTty / name, name)) + " (" + port + ")");
  }
}

}  // namespace quorvel
