// The progress output of long loops over files on standard error.
#pragma once

#include "archive/PrintoutIndex.h"
#include "cli/CliSupport.h"

namespace quorvel::cli {

// One line per message when standard error is not a terminal, one line rewritten in place when
// it is; nothing with --quiet.
TProgressFn MakeProgress(TCliContext& ctx);

}  // namespace quorvel::cli
