// Timing of the two directory openings of the browser:
//  1. a fiscal-memory directory of 2143 daily records (reading the record files, writing the
//     2143 daily texts and range.txt);
//  2. the periodic report over an electronic-copy directory of 2143 files (1 GB by default,
//     written by `quorvel-sim generate`), against reading the same files once with cat.
// Usage: bench_reports [--sim PATH] [--size 1G] [--keep DIR]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "archive/uDailyRecord.h"
#include "base/TextUtils.h"
#include "base/UserPrompts.h"
#include "import/TPrintoutsBrowser.h"

using namespace quorvel;
namespace fs = std::filesystem;

namespace {

double Seconds(const std::chrono::steady_clock::time_point& since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void WriteFiscalMemory(const fs::path& dir, int reports) {
  fs::create_directories(dir);
  RFMRecord rates;
  rates.Kind = kKindRateChange;
  rates.Date = EncodeDateTime(2009, 1, 1, 6, 0);
  for (int s = 0; s < kRateSlots; ++s) rates.Rates[s] = rates.Stats.RatesInForce[s] = "99,99";
  rates.Rates = {"23", "8", "5", "0", "98.99", "99,99", "99,99"};
  WriteRecordFile(dir / RecordFileName(1), rates);
  for (int n = 1; n <= reports; ++n) {
    RFMRecord r;
    r.Kind = kKindDailyCumulative;
    r.Number = std::to_string(n);
    r.Date = EncodeDate(2009, 1, 2) + n;
    r.Rates = rates.Rates;
    r.Gross = {Format("%d.%02d", 100 + n % 900, n % 100), "54.00", "10.50", "3.00", "7.00", "", ""};
    r.VatTotal = "25.00";
    r.GrossTotal = "200.00";
    r.ReceiptCount = std::to_string(20 + n % 50);
    r.CumVat = {"1000.00", "200.00", "50.00", "", "", "", ""};
    r.CumVatTotal = "1250.00";
    r.CumGross = "10000.00";
    WriteRecordFile(dir / RecordFileName(n + 1), r);
  }
}

// Processor time (user and system) of this process or of its finished children: on a machine
// shared with other work the wall clock says little.
double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  std::string sim = QUORVEL_SIM_PATH;
  std::string size = "1G";
  std::string keep;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--sim") sim = argv[i + 1];
    else if (a == "--size") size = argv[i + 1];
    else if (a == "--keep") keep = argv[i + 1];
  }
  const fs::path work = keep.empty() ? fs::temp_directory_path() / ("quorvel-bench-" + std::to_string(getpid()))
                                     : fs::path(keep);
  fs::create_directories(work);
  TSilentPrompts prompts;

  // 1. The fiscal-memory directory.
  const fs::path fm = work / "FM" / "ABC12345678";
  WriteFiscalMemory(fm, 2143);
  {
    TPrintoutsBrowser b(prompts);
    b.ArchiveRootDir = (work / "archive").string() + "/";
    b.SourceKind = skFiscalMemoryDirectory;
    b.SourceDir = fm.string();
    const double c0 = CpuSeconds(RUSAGE_SELF);
    const auto t0 = std::chrono::steady_clock::now();
    b.LoadSource();
    const double s = Seconds(t0);
    std::printf("fiscal-memory directory: %zu daily reports read, written and summed in %.3f s (cpu %.3f s)\n",
                b.PrintoutsSet.RecordCount(), s, CpuSeconds(RUSAGE_SELF) - c0);
  }
  {
    // Opened again: the daily texts are there already.
    TPrintoutsBrowser b(prompts);
    b.ArchiveRootDir = (work / "archive").string() + "/";
    b.SourceKind = skFiscalMemoryDirectory;
    b.SourceDir = fm.string();
    const double c0 = CpuSeconds(RUSAGE_SELF);
    const auto t0 = std::chrono::steady_clock::now();
    b.LoadSource();
    std::printf("fiscal-memory directory opened again: %.3f s (cpu %.3f s)\n", Seconds(t0),
                CpuSeconds(RUSAGE_SELF) - c0);
  }

  // 2. The electronic copy.
  const fs::path ec = work / "EC" / "ABC12345678";
  if (!fs::exists(ec / "0001")) {
    const std::string gen = "'" + sim + "' generate --out '" + ec.string() + "' --files 2143 --size " + size;
    std::printf("generating: %s\n", gen.c_str());
    if (std::system(gen.c_str()) != 0) {
      std::fprintf(stderr, "the generator failed\n");
      return 1;
    }
  }
  std::uintmax_t bytes = 0;
  for (const auto& e : fs::recursive_directory_iterator(ec))
    if (e.is_regular_file()) bytes += e.file_size();
  const std::string cat = "find '" + ec.string() + "' -name '????.txt' -print0 | sort -z | xargs -0 cat > /dev/null";
  std::system(cat.c_str());  // the first read fills the page cache; both timings below read from it
  const double cc0 = CpuSeconds(RUSAGE_CHILDREN);
  auto t0 = std::chrono::steady_clock::now();
  std::system(cat.c_str());
  const double catSeconds = Seconds(t0);
  const double catCpu = CpuSeconds(RUSAGE_CHILDREN) - cc0;

  TPrintoutsBrowser b(prompts);
  b.ArchiveRootDir = (work / "archive").string() + "/";
  b.SourceKind = skECopyDirectory;
  b.SourceDir = ec.string();
  const double rc0 = CpuSeconds(RUSAGE_SELF);
  t0 = std::chrono::steady_clock::now();
  b.LoadSource();
  const double reportSeconds = Seconds(t0);
  const double reportCpu = CpuSeconds(RUSAGE_SELF) - rc0;
  std::printf("electronic copy: %zu files, %.1f MB; cat %.3f s (cpu %.3f s), range report %.3f s (cpu %.3f s); "
              "%.2f x cat\n",
              b.PrintoutsSet.RecordCount(), bytes / 1e6, catSeconds, catCpu, reportSeconds, reportCpu,
              reportSeconds / catSeconds);
  if (keep.empty()) fs::remove_all(work);
  return 0;
}
