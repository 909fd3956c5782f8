#include "archive/uConfig.h"
#include "cli/Commands.h"

namespace quorvel::cli {

// The path of config.xml, then each key as the file holds it.
int CmdConfig(const std::vector<std::string>& args, TCliContext& ctx) {
  TArgs a(args, {});
  a.ExpectAtMost(0);
  TConfig config;
  config.Load();
  ctx.Out << TConfig::DefaultFile().string() << '\n';
  for (const auto& [key, value] : config.Values()) {
    ctx.Out << key << '=';
    WriteLine(ctx, value);
  }
  return 0;
}

}  // namespace quorvel::cli
