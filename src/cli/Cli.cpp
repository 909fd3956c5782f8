#include "cli/Cli.h"

#include <cstdio>

namespace quorvel::cli {

int Main(int, char**) {
  std::fprintf(stderr, "quorvel-cli\n");
  return 2;
}

}  // namespace quorvel::cli
