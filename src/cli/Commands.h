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
int CmdInventory(const std::vector<std::string>& args, TCliContext& ctx);
int CmdReport(const std::vector<std::string>& args, TCliContext& ctx);
int CmdLs(const std::vector<std::string>& args, TCliContext& ctx);
int CmdSearch(const std::vector<std::string>& args, TCliContext& ctx);
int CmdShow(const std::vector<std::string>& args, TCliContext& ctx);
int CmdReceipt(const std::vector<std::string>& args, TCliContext& ctx);
int CmdRegister(const std::vector<std::string>& args, TCliContext& ctx);
int CmdPrinter(const std::vector<std::string>& args, TCliContext& ctx);
int CmdImport(const std::vector<std::string>& args, TCliContext& ctx);
int CmdWatch(const std::vector<std::string>& args, TCliContext& ctx);

}  // namespace quorvel::cli
