// Where the system keeps things: the program file and the shared documents folder.
#pragma once

#include <optional>
#include <string>

namespace quorvel {

// The folder of the running program file, with a trailing separator.
std::string ProgramFileFolder();
// The folder shared data go to: $XDG_DATA_HOME, else ~/.local/share; none when neither is known.
std::optional<std::string> SharedDocumentsFolder();

}  // namespace quorvel
