#include "cli/ProgressOutput.h"

#include <ostream>

#include "base/Cp1250.h"

namespace quorvel::cli {

TProgressFn MakeProgress(TCliContext& ctx) {
  if (ctx.Quiet) return {};
  return [&ctx](std::string_view message) {
    const std::string text = Cp1250ToUtf8(message);
    if (ctx.ErrIsTerminal) {
      ctx.Err << "\r\x1b[K" << text;
      if (message == "Koniec") ctx.Err << '\n';
      ctx.Err.flush();
    } else {
      ctx.Err << text << '\n';
    }
  };
}

}  // namespace quorvel::cli
