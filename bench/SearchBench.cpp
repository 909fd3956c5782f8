// The printout text search over a generated electronic-copy archive against `grep -F -c` over
// the same files, warm cache, in the same run; and the search's peak memory against the largest
// file. Usage: bench_search [--dir DIR] [--size BYTES] [--files N] [--text TEXT] [--keep]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "archive/PrintoutIndex.h"
#include "archive/PrintoutScanner.h"
#include "base/Cp1250.h"
#include "base/Errors.h"
#include "base/FileUtils.h"
#include "base/UserPrompts.h"

namespace fs = std::filesystem;
using namespace quorvel;

namespace {

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// Processor time (user and system) of this process or of its finished children so far; on a
// loaded machine it shows the work done better than the elapsed time does.
double CpuSeconds(int who) {
  struct rusage ru {};
  ::getrusage(who, &ru);
  auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return s(ru.ru_utime) + s(ru.ru_stime);
}

// Runs a program with arguments, standard output to `out` (a file), and returns its exit status.
int Run(const std::vector<std::string>& args, const std::string& out) {
  std::fflush(stdout);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (!out.empty()) {
      FILE* f = std::freopen(out.c_str(), "w", stdout);
      if (!f) _exit(127);
    }
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The peak memory of the scan alone: in a child process, the same files and criteria are
// scanned with the rows only counted, not kept, so that what the scan itself holds shows apart
// from the printout list it fills. Returns the child's peak and its size at the start, in bytes.
std::pair<double, double> ScanAlonePeak(const std::string& dir, const TSearchRec& criteria, std::size_t& rows) {
  int fds[2];
  if (::pipe(fds) != 0) return {0, 0};
  std::fflush(stdout);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    struct rusage start {};
    ::getrusage(RUSAGE_SELF, &start);
    long long counted = 0;
    try {
      TSilentPrompts prompts;
      TPrintoutsSet set;
      LoadECopyDirectory(set, dir, prompts);
      std::string buffer;
      const TRcpCallback count = [&counted](const TRcpData&, int32_t) { ++counted; };
      for (const auto& row : set) ScanPrintouts(criteria, row.File, count, nullptr, nullptr, &buffer);
    } catch (...) {
      _exit(1);
    }
    struct rusage end {};
    ::getrusage(RUSAGE_SELF, &end);
    const long long out[3] = {start.ru_maxrss, end.ru_maxrss, counted};
    const bool written = ::write(fds[1], out, sizeof out) == static_cast<ssize_t>(sizeof out);
    _exit(written ? 0 : 1);
  }
  ::close(fds[1]);
  long long in[3] = {0, 0, 0};
  const bool got = ::read(fds[0], in, sizeof in) == static_cast<ssize_t>(sizeof in);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!got) return {0, 0};
  rows = static_cast<std::size_t>(in[2]);
  return {static_cast<double>(in[1]) * 1024.0, static_cast<double>(in[0]) * 1024.0};
}

long long SumCounts(const std::string& file) {
  // grep -c over several files prints "path:count" per file.
  long long total = 0;
  FILE* f = std::fopen(file.c_str(), "r");
  if (!f) return -1;
  char line[4096];
  while (std::fgets(line, sizeof line, f)) {
    const char* colon = std::strrchr(line, ':');
    total += std::atoll(colon ? colon + 1 : line);
  }
  std::fclose(f);
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = "/tmp/quorvel-bench-search";
  std::string size = "1G", files = "1000", text = "Krem do r";
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "%s needs a value\n", a.c_str());
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--dir") dir = value();
    else if (a == "--size") size = value();
    else if (a == "--files") files = value();
    else if (a == "--text") text = value();
    else if (a == "--keep") keep = true;
    else {
      std::fprintf(stderr, "usage: bench_search [--dir DIR] [--size BYTES] [--files N] [--text TEXT] [--keep]\n");
      return 2;
    }
  }

  const bool generated = !fs::exists(dir);
  if (generated) {
    std::printf("generating %s (%s in %s files)...\n", dir.c_str(), size.c_str(), files.c_str());
    std::fflush(stdout);
    const auto t0 = std::chrono::steady_clock::now();
    if (Run({QUORVEL_SIM_PATH, "generate", "--out", dir, "--size", size, "--files", files, "--seed", "1"}, "") != 0) {
      std::fprintf(stderr, "generation failed\n");
      return 1;
    }
    std::printf("generated in %.1f s\n", Seconds(t0, std::chrono::steady_clock::now()));
  }

  const auto paths = FindDeviceFiles(dir, ".txt");
  unsigned long long total = 0, largest = 0;
  std::vector<std::string> grepArgs = {"grep", "-F", "-c", "--", Utf8ToCp1250(text)};
  for (const auto& p : paths) {
    const auto n = fs::file_size(p);
    total += n;
    largest = std::max<unsigned long long>(largest, n);
    grepArgs.push_back(p.string());
  }
  if (paths.empty()) {
    std::fprintf(stderr, "no files in %s\n", dir.c_str());
    return 1;
  }

  struct rusage before {};
  ::getrusage(RUSAGE_SELF, &before);
  // Warm the page cache: every file read once before anything is timed.
  {
    std::string buffer;
    for (const auto& p : paths) ReadWholeFile(p, buffer);
  }

  const std::string grepOut = dir + ".grep.out";
  double grepBest = 1e9, ourBest = 1e9, grepCpuBest = 1e9, ourCpuBest = 1e9;
  long long grepLines = 0;
  std::size_t rows = 0;
  TSilentPrompts prompts;
  TSearchRec criteria;
  criteria.Text = Utf8ToCp1250(text);
  for (int round = 0; round < 3; ++round) {
    auto t0 = std::chrono::steady_clock::now();
    double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
    Run(grepArgs, grepOut);
    grepBest = std::min(grepBest, Seconds(t0, std::chrono::steady_clock::now()));
    grepCpuBest = std::min(grepCpuBest, CpuSeconds(RUSAGE_CHILDREN) - cpu0);
    grepLines = SumCounts(grepOut);

    t0 = std::chrono::steady_clock::now();
    cpu0 = CpuSeconds(RUSAGE_SELF);
    TPrintoutsSet set;
    LoadECopyDirectory(set, dir, prompts);
    TRCPSet rcp;
    SearchPrintouts(set, criteria, rcp, prompts);
    ourBest = std::min(ourBest, Seconds(t0, std::chrono::steady_clock::now()));
    ourCpuBest = std::min(ourCpuBest, CpuSeconds(RUSAGE_SELF) - cpu0);
    rows = rcp.RecordCount();
  }
  fs::remove(grepOut);
  std::size_t aloneRows = 0;
  const auto [alonePeak, aloneStart] = ScanAlonePeak(dir, criteria, aloneRows);

  struct rusage ru {};
  ::getrusage(RUSAGE_SELF, &ru);
  const double mb = static_cast<double>(total) / (1024.0 * 1024.0);
  const double peak = static_cast<double>(ru.ru_maxrss) * 1024.0;  // ru_maxrss is in kilobytes
  std::printf("files: %zu, total %.1f MiB, largest file %.2f MiB\n", paths.size(), mb, largest / 1048576.0);
  std::printf("text \"%s\": grep -F -c counted %lld lines, search gave %zu rows\n", text.c_str(), grepLines, rows);
  std::printf("grep -F -c : %.3f s  %.0f MiB/s\n", grepBest, mb / grepBest);
  std::printf("search     : %.3f s  %.0f MiB/s\n", ourBest, mb / ourBest);
  std::printf("throughput ratio search/grep: %.2f (target >= 0.50)\n", grepBest / ourBest);
  std::printf("processor time: grep %.3f s, search %.3f s, ratio %.2f\n", grepCpuBest, ourCpuBest,
              grepCpuBest / ourCpuBest);
  std::printf("peak memory of the search process: %.1f MiB = %.2f x the largest file "
              "(%.1f MiB before the first file was read)\n",
              peak / 1048576.0, peak / static_cast<double>(largest), before.ru_maxrss / 1024.0);
  std::printf("  of which the printout list: %zu rows of %zu bytes each and their file names\n", rows,
              sizeof(TRCPSetRow));
  std::printf("peak memory of the scan alone (%zu rows counted, not kept): %.1f MiB, %.2f MiB above the "
              "%.1f MiB it started with = %.2f x the largest file\n",
              aloneRows, alonePeak / 1048576.0, (alonePeak - aloneStart) / 1048576.0, aloneStart / 1048576.0,
              (alonePeak - aloneStart) / static_cast<double>(largest));
  if (generated && !keep) fs::remove_all(dir);
  return 0;
}
