// The register imports against the register simulator on a pseudo-terminal: an electronic copy
// (default 20 MB, in the simulator's 512-byte packets, each acknowledged) and a fiscal memory of
// 2143 daily reports. Prints wall time, throughput and this process's processor time per megabyte.
//
//   bench_register_import [SIZE_MB]
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "base/DateTime.h"
#include "base/TextUtils.h"
#include "import/DeviceLink.h"
#include "import/TPrintoutsBrowser.h"
#include "links/FiscalPrinter.h"
#include "links/R5Devices.h"

namespace fs = std::filesystem;
using namespace quorvel;
using namespace quorvel::bench;

namespace {

struct TResult {
  double Seconds = 0, Cpu = 0;
  std::size_t Rows = 0;
};

TResult RunImport(const fs::path& sim, const fs::path& root, uint8_t kind) {
  const fs::path link = root / "tty";
  const pid_t pid = StartSim({"register", "--data", sim.string(), "--model", "Varno", "--link", link.string()}, link);
  TSilentPrompts prompts;
  TFPrinter printer(&prompts);
  TR5Device reg(&prompts);
  TDeviceLinks links{printer, reg};
  TResult r;
  if (!OpenDeviceLink(printer, reg, link.string(), false)) {
    std::fprintf(stderr, "cannot open %s\n", link.c_str());
    StopSim(pid);
    std::exit(1);
  }
  TPrintoutsBrowser b(prompts);
  b.ArchiveRootDir = (root / "archive").string() + "/";
  b.SourceKind = kind;
  b.ImportAll = true;
  AttachDeviceLinks(b, links);
  const double cpu0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  b.LoadSource();
  r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.Cpu = CpuSeconds() - cpu0;
  r.Rows = b.PrintoutsSet.RecordCount();
  reg.Close();
  StopSim(pid);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const int sizeMb = argc > 1 ? std::atoi(argv[1]) : 20;
  const fs::path work = fs::temp_directory_path() / ("quorvel-bench-register-" + std::to_string(::getpid()));
  fs::create_directories(work / "sim/ecopy");
  fs::create_directories(work / "sim/cards");
  std::fprintf(stderr, "generating %d MB...\n", sizeMb);
  const std::string gen = std::string(QUORVEL_SIM_PATH) + " generate --out " + (work / "gen").string() +
                          " --files 40 --seed 3 --line-len 48 --unique ABC12345678 --size " + std::to_string(sizeMb) +
                          "M >/dev/null";
  if (std::system(gen.c_str()) != 0) return 1;
  std::uintmax_t bytes = 0;
  for (const auto& e : fs::recursive_directory_iterator(work / "gen")) {
    if (!e.is_regular_file()) continue;
    if (e.path().filename() == "idhist.txt") {
      fs::create_hard_link(e.path(), work / "sim/cards/idhist.txt");
    } else {
      fs::create_hard_link(e.path(), work / "sim/ecopy" / e.path().filename());
      bytes += e.file_size();
    }
  }
  { std::ofstream(work / "sim/register.txt") << "UniqueNo=ABC12345678\nNIP=525-000-11-22\n"; }
  const double mb = static_cast<double>(bytes) / (1024.0 * 1024.0);

  fs::create_directories(work / "run");
  TResult r = RunImport(work / "sim", work / "run", skRegisterECopy);
  std::printf("electronic copy  %7.1f MB  %zu files  %6.2f s  %6.2f MB/s  cpu %6.2f s = %5.1f ms/MB\n", mb, r.Rows,
              r.Seconds, mb / r.Seconds, r.Cpu, 1000.0 * r.Cpu / mb);

  {
    std::ofstream fm(work / "sim/fm.txt");
    TDateTime day = EncodeDate(2009, 1, 2);
    for (int n = 1; n <= 2143; ++n, day += 1)
      fm << Format("1;%d;%s;0;12300;10000;2000;300;0;0;0;0;2300;5;1;X;3;0;0;100;200;300;0;0;0;0;600;12300\n", n,
                   FormatYyMmDd(day).c_str());
  }
  fs::remove_all(work / "run");
  fs::create_directories(work / "run");
  r = RunImport(work / "sim", work / "run", skRegisterFiscalMemory);
  std::printf("fiscal memory    %zu daily reports  %6.2f s  cpu %6.2f s\n", r.Rows, r.Seconds, r.Cpu);
  fs::remove_all(work);
  return 0;
}
