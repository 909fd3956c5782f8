// `quorvel-sim generate`: writes a synthetic electronic-copy device directory.
#pragma once

#include <string>
#include <vector>

namespace quorvel::sim {

// Parses the options, writes the archive and returns the exit code (0 done, 1 failed, 2 bad usage).
int CmdGenerate(const std::vector<std::string>& args);

}  // namespace quorvel::sim
