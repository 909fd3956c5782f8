// quorvel-sim: the device simulators and the synthetic-archive generator, one sub-command each.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/Generate.h"
#include "sim/SimTaxi.h"
#include "sim/SimPrinter.h"
#include "sim/SimRegister.h"

namespace {

using TSubCommand = int (*)(const std::vector<std::string>& args);

struct TSubCommandEntry {
  const char* Name;
  TSubCommand Run;
};

// One line per sub-command; each lives in its own files under tools/sim.
const TSubCommandEntry kSubCommands[] = {
    {"generate", quorvel::sim::CmdGenerate},
    {"taxi", quorvel::sim::CmdTaxi},
    {"printer", quorvel::sim::CmdPrinter},
    {"register", quorvel::sim::CmdRegister},
};

void PrintUsage() {
  std::fprintf(stderr, "użycie: quorvel-sim <polecenie> [opcje]\npolecenia:");
  for (const auto& entry : kSubCommands) std::fprintf(stderr, " %s", entry.Name);
  std::fprintf(stderr, "\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage();
    return 2;
  }
  for (const auto& entry : kSubCommands) {
    if (std::strcmp(argv[1], entry.Name) == 0) return entry.Run(std::vector<std::string>(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "nieznane polecenie: %s\n", argv[1]);
  PrintUsage();
  return 2;
}
