// The commands of quorvel-cli, one file each.
#pragma once

#include <string>
#include <vector>

#include "cli/CliSupport.h"

namespace quorvel::cli {

using TCommandFn = int (*)(const std::vector<std::string>& args, TCliContext& ctx);

int CmdConfig(const std::vector<std::string>& args, TCliContext& ctx);
int CmdHeader(const std::vector<std::string>& args, TCliContext& ctx);
int CmdRecord(const std::vector<std::string>& args, TCliContext& ctx);
int CmdExtract(const std::vector<std::string>& args, TCliContext& ctx);
int CmdCards(const std::vector<std::string>& args, TCliContext& ctx);

}  // namespace quorvel::cli
