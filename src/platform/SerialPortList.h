// The serial ports present in the machine, as the port lists show them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// Appends "PORT - FRIENDLY NAME (PORT)" for every serial port present whose port name starts with
// `prefix`. Ports are the ttys of /sys/class/tty backed by a device: /dev/ttyS<n> is named COM<n+1>,
// every other port by its device path, which counts as a COM port here.
void ListSerialPorts(std::string_view prefix, std::vector<std::string>& list,
                     const std::filesystem::path& sysClassTty = "/sys/class/tty");

}  // namespace quorvel
