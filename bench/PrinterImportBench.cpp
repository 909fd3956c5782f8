// The printer imports against the printer simulator on a pseudo-terminal: an electronic copy of
// about 100 MB (big packets, and the largest packets a frame holds) and a fiscal memory of 2143
// records. Prints wall time, throughput and the processor time this process spends per megabyte.
//
//   bench_printer_import [SIZE_MB]
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

#include "archive/uConfig.h"
#include "BenchSupport.h"
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

TResult RunImport(const fs::path& sim, const fs::path& root, uint8_t kind, const std::vector<std::string>& simArgs) {
  const fs::path link = root / "tty";
  std::vector<std::string> args = {"printer", "--data", sim.string(), "--link", link.string()};
  args.insert(args.end(), simArgs.begin(), simArgs.end());
  const pid_t pid = StartSim(args, link);
  TSilentPrompts prompts;
  TConfig config;
  config.BigPackets = true;
  TFPrinter printer(&prompts);
  printer.Config = &config;
  TR5Device reg(&prompts);
  TDeviceLinks links{printer, reg};
  printer.PacketTimeout = 2000;
  TResult r;
  if (!OpenDeviceLink(printer, reg, link.string(), true)) {
    std::fprintf(stderr, "cannot open %s\n", link.c_str());
    StopSim(pid);
    std::exit(1);
  }
  printer.COMPort.RdTimeout = printer.COMPort.WrTimeout = 5000;
  TPrintoutsBrowser b(prompts);
  b.ArchiveRootDir = (root / "archive").string() + "/";
  b.SourceKind = kind;
  b.ByNumber = true;
  b.FromNo = 1;
  b.ToNo = kHighestReportNo;
  AttachDeviceLinks(b, links);
  const double cpu0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  b.LoadSource();
  r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.Cpu = CpuSeconds() - cpu0;
  r.Rows = b.PrintoutsSet.RecordCount();
  printer.ClosePort();
  StopSim(pid);
  return r;
}

std::uintmax_t TreeBytes(const fs::path& dir) {
  std::uintmax_t n = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file() && e.path().filename() != "idhist.txt") n += e.file_size();
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  const int sizeMb = argc > 1 ? std::atoi(argv[1]) : 100;
  const fs::path work = fs::temp_directory_path() / ("quorvel-bench-import-" + std::to_string(::getpid()));
  fs::create_directories(work / "sim/ecopy");
  std::fprintf(stderr, "generating %d MB...\n", sizeMb);
  const std::string gen = std::string(QUORVEL_SIM_PATH) + " generate --out " + (work / "gen").string() +
                          " --files 200 --seed 3 --unique ABC12345678 --size " + std::to_string(sizeMb) + "M >/dev/null";
  if (std::system(gen.c_str()) != 0) return 1;
  for (const auto& e : fs::recursive_directory_iterator(work / "gen"))
    if (e.is_regular_file() && e.path().filename() != "idhist.txt")
      fs::create_hard_link(e.path(), work / "sim/ecopy" / e.path().filename());
  { std::ofstream(work / "sim/status.txt") << "8\n"; }
  const double mb = static_cast<double>(TreeBytes(work / "sim/ecopy")) / (1024.0 * 1024.0);

  struct TCase {
    const char* Name;
    std::vector<std::string> SimArgs;
  } cases[] = {{"big packets (4096 B)", {}}, {"16384 B packets", {"--packet", "16384"}}};
  for (const auto& c : cases) {
    fs::remove_all(work / "run");
    fs::create_directories(work / "run");
    const TResult r = RunImport(work / "sim", work / "run", skPrinterECopy, c.SimArgs);
    std::printf("electronic copy, %-22s %7.1f MB  %zu files  %6.2f s  %6.2f MB/s  cpu %6.2f s = %5.1f ms/MB\n", c.Name,
                mb, r.Rows, r.Seconds, mb / r.Seconds, r.Cpu, 1000.0 * r.Cpu / mb);
  }

  // 2143 daily reports, a rate change first and the end of fiscal mode last.
  {
    std::ofstream fm(work / "sim/fm.txt");
    fm << "2009-01-01 0 11#X09;01;01;08;00;00;0;0;0;0/23.00/8.00/5.00/0.00/100/101/101/\n";
    for (int n = 1; n <= 2143; ++n) {
      const int day = n % 28 + 1, month = n / 28 % 12 + 1, year = 9 + n / 336;
      fm << Format("20%02d-%02d-%02d %d 20#X%02d;%02d;%02d;21;00;00;%d;0;0;%d;%d.00/18.70/0;0;0;0;0.00/%d.00/0.00/0.00/0.00/0.00/0.00/0.00/\n",
                   year, month, day, n, year, month, day, 10 + n % 50, n, 100 + n % 900, 100 + n % 900);
    }
    fm << "2099-01-01 0 25#X0;0;0;0;0;0;\n";
  }
  fs::remove_all(work / "run");
  fs::create_directories(work / "run");
  const TResult r = RunImport(work / "sim", work / "run", skPrinterFiscalMemory, {});
  std::printf("fiscal memory, 2144 records: %zu reports  %6.2f s  cpu %6.2f s\n", r.Rows, r.Seconds, r.Cpu);
  fs::remove_all(work);
  return 0;
}
