#include <gtest/gtest.h>

#include <filesystem>

#include "archive/uDailyRecord.h"
#include "base/Cp1250.h"
#include "import/ECopyFixtures.h"
#include "support/TestSupport.h"

using namespace quorvel;
using quorvel::test::RunProgram;
using quorvel::test::TTempDir;

namespace {

namespace fs = std::filesystem;

quorvel::test::TRunResult Cli(const TTempDir& root, const std::vector<std::string>& args) {
  return RunProgram(QUORVEL_CLI_PATH, args, {"QUORVEL_DATA_ROOT=" + (root / "data").string()});
}

fs::path FiscalMemory(const TTempDir& root, const std::string& name, int reports) {
  const fs::path dir = root / name;
  fs::create_directories(dir);
  RFMRecord rates;
  rates.Kind = kKindRateChange;
  rates.Date = EncodeDateTime(2024, 3, 1, 6, 0);
  for (int s = 0; s < kRateSlots; ++s) rates.Rates[s] = rates.Stats.RatesInForce[s] = "99,99";
  rates.Rates[0] = "23";
  WriteRecordFile(dir / RecordFileName(1), rates);
  for (int n = 1; n <= reports; ++n) {
    RFMRecord r;
    r.Kind = kKindDaily;
    r.Number = std::to_string(n);
    r.Date = EncodeDateTime(2024, 3, n, 21, 0);
    for (auto& rate : r.Rates) rate = "99,99";
    r.Rates[0] = "23";
    r.Gross[0] = "12.30";
    r.VatTotal = "2.30";
    r.GrossTotal = "12.30";
    r.ReceiptCount = "2";
    WriteRecordFile(dir / RecordFileName(n + 1), r);
  }
  return dir;
}

TEST(CliReport, FiscalMemoryDirectoryAndItsRange) {
  TTempDir root;
  const fs::path dir = FiscalMemory(root, "ABC12345678", 5);
  auto r = Cli(root, {"report", "fm", dir.string(), "--numbers", "2", "4"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  for (int n = 1; n <= 5; ++n) {
    EXPECT_TRUE(fs::exists(dir / Format("%04d.txt", n))) << n;
    EXPECT_EQ(r.Out.find(Format("Nr raportu:  %04d", n)) != std::string::npos, n >= 2 && n <= 4) << n;
  }
  EXPECT_NE(r.Out.find("ŁĄCZNY RAPORT OKRESOWY"), std::string::npos);
  EXPECT_NE(r.Out.find("PLN 36.90"), std::string::npos);
  // range.txt holds what was printed, in Windows-1250 with CR LF.
  std::string printed;
  for (char c : Utf8ToCp1250(r.Out)) {
    if (c == '\n') printed += '\r';
    printed += c;
  }
  EXPECT_EQ(printed, quorvel::test::ReadFile(dir / "range.txt"));

  r = Cli(root, {"report", "fm", dir.string(), "--summary"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out.find("Nr raportu:"), std::string::npos);
  EXPECT_NE(r.Out.find("Zakres nr: " + std::string(16, ' ') + "         1          5"), std::string::npos);

  r = Cli(root, {"report", "fm", dir.string(), "--dates", "02-03-2024", "03-03-2024"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("Nr raportu:  0003"), std::string::npos);
  EXPECT_EQ(r.Out.find("Nr raportu:  0004"), std::string::npos);
}

TEST(CliReport, ElectronicCopyDirectory) {
  TTempDir root;
  const fs::path dir = root / "src" / "ABC12345678";
  long cents = 0;
  for (int n = 1; n <= 3; ++n) {
    quorvel::test::TDayFixture day;
    day.ReportNo = n;
    day.Day = 4 + n;
    day.Receipts = n + 1;
    day.FirstPrintout = 10 * n;
    day.Write(dir);
    cents += day.GrossCents();
  }
  const auto r = Cli(root, {"report", "ecopy", dir.string(), "--summary"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find(Format("PLN %ld.%02ld", cents / 100, cents % 100)), std::string::npos) << r.Out;
  EXPECT_TRUE(fs::exists(root / "data" / "CDData" / "ABC12345678" / "range.txt"));

  const auto noCards = Cli(root, {"report", "ecopy", dir.string(), "--card", "1"});
  EXPECT_EQ(noCards.ExitCode, 1);
  EXPECT_NE(noCards.Err.find("historii kart"), std::string::npos) << noCards.Err;
}

TEST(CliReport, ErrorsAndUsage) {
  TTempDir root;
  fs::create_directories(root / "XYZ");
  const struct {
    std::vector<std::string> Args;
    int Exit;
    const char* Err;
  } cases[] = {
      {{"report", "fm", (root / "XYZ").string()}, 1, "Brak numeru unikatowego lub komunikacji"},
      {{"report", "fm", (root / "missing").string()}, 1, "Brak katalogu"},
      {{"report", "tape", (root / "XYZ").string()}, 2, "fm albo ecopy"},
      {{"report", "fm", (root / "XYZ").string(), "--numbers", "abc", "10"}, 2, "--numbers"},
      {{"report", "fm", (root / "XYZ").string(), "--dates", "1-1-2024", "02-01-2024"}, 2, "dd-mm-yyyy"},
      {{"report", "fm", (root / "XYZ").string(), "--card", "1"}, 2, "--card"},
  };
  for (const auto& c : cases) {
    const auto r = Cli(root, c.Args);
    EXPECT_EQ(r.ExitCode, c.Exit) << c.Args[1] << " " << r.Err;
    EXPECT_NE(r.Err.find(c.Err), std::string::npos) << r.Err;
  }
  // An archive directory without record files is no error.
  fs::create_directories(root / "ABC12345678");
  const auto empty = Cli(root, {"report", "fm", (root / "ABC12345678").string()});
  EXPECT_EQ(empty.ExitCode, 0) << empty.Err;
  EXPECT_TRUE(empty.Out.empty());
}

}  // namespace
