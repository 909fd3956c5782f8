// `quorvel-cli import` from the printer simulator over a pseudo-terminal into a temporary archive,
// and the archive compared with what the simulator holds, with and without line faults.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "base/Cp1250.h"
#include "base/TextUtils.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::RunProgram;
using test::TTempDir;
using test::WriteFile;

std::string GroupOf(int n) {
  const int g = n / 100 * 100;
  return Format("%04d", g == 0 ? 1 : g);
}

class PrinterImportE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir / "sim/unique.txt", "ABC12345678\n");
    WriteFile(dir / "sim/version.txt", "TIKAPOS 1.02\n");
    WriteFile(dir / "sim/status.txt", "8\n");
    fs::create_directories(dir / "root");
  }
  // A generated device: its daily-report files lie flat in the simulator's ecopy/ (the printer
  // names them by their own names), and its card history beside them.
  void Generate(int files, bool history = true) {
    auto r = RunProgram(QUORVEL_SIM_PATH, {"generate", "--out", (dir / "gen").string(), "--files", std::to_string(files),
                                            "--seed", "11", "--unique", "ABC12345678", "--cards", "2"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    fs::create_directories(dir / "sim/ecopy");
    for (const auto& e : fs::recursive_directory_iterator(dir / "gen")) {
      if (!e.is_regular_file()) continue;
      const std::string name = e.path().filename().string();
      if (name == "idhist.txt" && !history) continue;
      fs::copy_file(e.path(), dir / "sim/ecopy" / name, fs::copy_options::overwrite_existing);
      if (name != "idhist.txt") expected[std::stoi(name.substr(0, 4))] = ReadFile(e.path());
    }
  }
  test::TRunResult Import(const std::vector<std::string>& faults, std::vector<std::string> args) {
    test::TSimProcess sim("printer", dir / "sim", dir / "tty", faults);
    std::vector<std::string> all = {"import", "--device", "printer", "--port", (dir / "tty").string()};
    all.insert(all.end(), args.begin(), args.end());
    return RunProgram(QUORVEL_CLI_PATH, all, {"QUORVEL_DATA_ROOT=" + (dir / "root").string()});
  }
  fs::path Cd(const std::string& name = "ABC12345678") const { return dir / "root/CDData" / name; }
  fs::path Fm(const std::string& name = "ABC12345678") const { return dir / "root/FMData" / name; }

  // Every file in the archive is one of the simulator's, byte for byte, in its group folder;
  // nothing else (no temporary or partial file) lies there. Returns how many there are.
  int CheckArchiveIsExact() {
    int count = 0;
    if (!fs::exists(Cd())) return 0;
    for (const auto& e : fs::recursive_directory_iterator(Cd())) {
      if (!e.is_regular_file()) continue;
      const std::string name = e.path().filename().string();
      if (name == "idhist.txt" || name == "range.txt") continue;
      EXPECT_NE(name[0], '.') << "left over: " << e.path();
      if (name[0] == '.') continue;
      const int n = std::stoi(name.substr(0, 4));
      EXPECT_EQ(e.path().parent_path().filename().string(), GroupOf(n)) << e.path();
      EXPECT_TRUE(ReadFile(e.path()) == expected[n]) << "differs: " << e.path();
      ++count;
    }
    return count;
  }

  TTempDir dir;
  std::map<int, std::string> expected;
};

TEST_F(PrinterImportE2E, ElectronicCopyArrivesExactlyWithCardsRangeAndFileList) {
  Generate(12);
  const auto r = Import({}, {"--data", "ecopy", "--numbers", "1", "2143", "--timeout", "2000"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(CheckArchiveIsExact(), 12);
  EXPECT_EQ(ReadFile(Cd() / "idhist.txt"), ReadFile(dir / "sim/ecopy/idhist.txt"));
  // The periodic report on standard output is range.txt of the device directory.
  ASSERT_TRUE(fs::exists(Cd() / "range.txt"));
  const std::string rangeBytes = ReadFile(Cd() / "range.txt");
  std::string range;
  for (auto line : SplitLines(rangeBytes)) range += Cp1250ToUtf8(line) + "\n";
  EXPECT_EQ(r.Out, range);
  EXPECT_NE(r.Out.find("RAPORT FISKALNY"), std::string::npos);
  // Progress went to standard error one message a line, ending with "Koniec".
  EXPECT_NE(r.Err.find("Pobieranie pliku z historią\n"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.rfind("Koniec\n"), std::string::npos);
  // The file list of the archive as the browser lists it.
  const auto ls = RunProgram(QUORVEL_CLI_PATH, {"ls", Cd().string()});
  ASSERT_EQ(ls.ExitCode, 0) << ls.Err;
  int rows = 0;
  for (auto line : SplitLines(ls.Out)) {
    ++rows;
    EXPECT_EQ(line.substr(0, line.find('\t')), std::to_string(rows));
  }
  EXPECT_EQ(rows, 12);

  // New data only: nothing more is there, and what is archived stays.
  const auto again = Import({}, {"--data", "ecopy", "--new", "--timeout", "2000", "--quiet"});
  ASSERT_EQ(again.ExitCode, 0) << again.Err;
  EXPECT_TRUE(again.Err.empty()) << again.Err;
  EXPECT_EQ(CheckArchiveIsExact(), 12);
}

// The whole range starts at number 0: the card history lies beside the daily reports but is no
// numbered file, so it must come only through its own request, never as a daily report.
TEST_F(PrinterImportE2E, WholeRangeFromNumberZeroTakesOnlyNumberedFiles) {
  Generate(5);
  const auto r = Import({}, {"--data", "ecopy", "--all", "--timeout", "2000"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(CheckArchiveIsExact(), 5);
  EXPECT_EQ(ReadFile(Cd() / "idhist.txt"), ReadFile(dir / "sim/ecopy/idhist.txt"));
  const auto ls = RunProgram(QUORVEL_CLI_PATH, {"ls", Cd().string()});
  ASSERT_EQ(ls.ExitCode, 0) << ls.Err;
  EXPECT_EQ(SplitLines(ls.Out).size(), 5u) << ls.Out;
}

TEST_F(PrinterImportE2E, NewDataModeContinuesAfterTheHighestArchivedFile) {
  Generate(9, false);
  auto r = Import({}, {"--data", "ecopy", "--numbers", "1", "4", "--timeout", "2000"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(CheckArchiveIsExact(), 4);
  r = Import({}, {"--data", "ecopy", "--new", "--timeout", "2000"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(CheckArchiveIsExact(), 9);
  // The report covers the kept rows and the new ones.
  EXPECT_NE(r.Out.find("1          9"), std::string::npos) << r.Out;
}

TEST_F(PrinterImportE2E, CorruptedAndShortenedPacketsAreRecovered) {
  Generate(6);
  // Frames 1-5 answer the number, status and card history; the packets follow.
  const auto r = Import({"--corrupt-frames", "7,8,12,20,21,22,23,30"},
                        {"--data", "ecopy", "--numbers", "1", "2143", "--timeout", "2000", "--packet-wait", "300"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(CheckArchiveIsExact(), 6);
}

TEST_F(PrinterImportE2E, RepeatedPacketFailsAndLeavesNothingHalfWritten) {
  Generate(4, false);
  const auto r = Import({"--repeat-packet", "3"}, {"--data", "ecopy", "--numbers", "1", "2143", "--timeout", "2000", "--packet-wait", "300"});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("zbyt wiele błędnych pakietów"), std::string::npos) << r.Err;
  const int kept = CheckArchiveIsExact();
  EXPECT_LT(kept, 4);
}

TEST_F(PrinterImportE2E, SilentPrinterFailsAndLeavesNothingHalfWritten) {
  Generate(4, false);
  const auto r = Import({"--silent-after", "12"}, {"--data", "ecopy", "--numbers", "1", "2143", "--timeout", "2000", "--packet-wait", "10"});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("zbyt wiele błędnych pakietów"), std::string::npos) << r.Err;
  EXPECT_LT(CheckArchiveIsExact(), 4);
}

TEST_F(PrinterImportE2E, NameWithAFolderFromTheDeviceIsRefused) {
  WriteFile(dir / "sim/ecopy/sub/0001.txt", "x");
  const auto r = Import({}, {"--data", "ecopy", "--numbers", "1", "2143", "--timeout", "2000", "--packet-wait", "300"});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("poza katalogiem urządzenia"), std::string::npos) << r.Err;
  EXPECT_FALSE(fs::exists(Cd() / "sub"));
  EXPECT_FALSE(fs::exists(Cd() / "0001"));
}

// ---- fiscal memory ----

std::string DailyEntry(int number, int day) {
  return Format("2024-03-%02d %d 20#X24;03;%02d;21;00;00;%d;0;0;%d;%d.00/%d.70/0;0;0;0;0.00/%d.00/0.00/0.00/0.00/0.00/0.00/0.00/",
                day, number, day, 10 + number, number, 100 + number, 18 + number, 100 + number);
}

TEST_F(PrinterImportE2E, FiscalMemoryRecordsTextsDescriptorAndReport) {
  std::string fm = "2024-03-01 0 11#X24;03;01;08;00;00;0;0;0;0/23.00/8.00/5.00/0.00/100/101/101/\n";
  for (int n = 1; n <= 5; ++n) fm += DailyEntry(n, n + 1) + "\n";
  fm += "2024-03-07 0 12#X24;03;07;10;00;00;1;1;0;0/0/0/0/0/0/0/0/\n";
  fm += DailyEntry(6, 8) + "\n";
  fm += "2024-03-09 0 25#X0;0;0;0;0;0;\n";
  WriteFile(dir / "sim/fm.txt", fm);
  const auto r = Import({}, {"--data", "fm", "--timeout", "2000"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  // Positions: the rate change 1, reports 1..5 at 2..6, the RAM reset 7, report 6 at 8, the end 9.
  for (int pos = 1; pos <= 9; ++pos) EXPECT_EQ(fs::exists(Fm() / Format("%04d.fmr", pos)), pos != 9) << pos;
  for (int n = 1; n <= 6; ++n) {
    EXPECT_TRUE(fs::exists(Fm() / Format("%04d.txt", n))) << n;
    const int pos = n <= 5 ? n + 1 : 8;
    const auto rec = RunProgram(QUORVEL_CLI_PATH, {"record", (Fm() / Format("%04d.fmr", pos)).string(), "--json"});
    ASSERT_EQ(rec.ExitCode, 0) << rec.Err;
    EXPECT_NE(rec.Out.find(Format("\"Number\": \"%d\"", n)), std::string::npos) << rec.Out;
    EXPECT_NE(rec.Out.find(Format("\"Date\": \"2024-03-%02dT21:00:00\"", n <= 5 ? n + 1 : 8)), std::string::npos);
  }
  const std::string xml = ReadFile(Fm() / "device.xml");
  EXPECT_NE(xml.find("LineLen=\"48\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("HasInvoices=\"true\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("TaxiVersion=\"false\""), std::string::npos) << xml;
  const std::string rangeBytes = ReadFile(Fm() / "range.txt");
  std::string range;
  for (auto line : SplitLines(rangeBytes)) range += Cp1250ToUtf8(line) + "\n";
  EXPECT_EQ(r.Out, range);
  EXPECT_NE(r.Err.find("Raport nr 6\n"), std::string::npos) << r.Err;
}

TEST_F(PrinterImportE2E, FiscalMemoryWithStatusBitThreeClearLandsUnderADash) {
  WriteFile(dir / "sim/status.txt", "0\n");
  WriteFile(dir / "sim/fm.txt", DailyEntry(1, 2) + "\n2024-03-09 0 25#X0;0;0;0;0;0;\n");
  const auto r = Import({}, {"--data", "fm", "--timeout", "2000", "--quiet"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(fs::exists(Fm("-BC12345678") / "0001.fmr"));
  EXPECT_FALSE(fs::exists(Fm()));
}

TEST_F(PrinterImportE2E, SilentFiscalMemoryFailsWithTheLinkMessage) {
  std::string fm;
  for (int n = 1; n <= 5; ++n) fm += DailyEntry(n, n + 1) + "\n";
  WriteFile(dir / "sim/fm.txt", fm + "2024-03-09 0 25#X0;0;0;0;0;0;\n");
  // The number and status asked by the browser and again by the import, the version, two
  // records, then silence.
  const auto r = Import({"--silent-after", "7"}, {"--data", "fm", "--timeout", "500"});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("Komunikacja została przerwana."), std::string::npos) << r.Err;
  EXPECT_TRUE(fs::exists(Fm() / "0002.fmr"));
  EXPECT_FALSE(fs::exists(Fm() / "device.xml"));
}

}  // namespace
}  // namespace quorvel
