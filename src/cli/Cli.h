// quorvel-cli: the command-line program over the core.
#pragma once

namespace quorvel::cli {

int Main(int argc, char** argv);

}  // namespace quorvel::cli
