// quorvel-cli's printer commands against the printer simulator over a pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "support/SimProcess.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::RunProgram;
using test::TTempDir;
using test::WriteFile;

class PrinterE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir / "data/unique.txt", "XYZ87654321\n");
    WriteFile(dir / "data/version.txt", "QS-1 2.05\n");
    WriteFile(dir / "data/status.txt", "8\n");
    content.resize(5000);
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((i * 31 + i / 7) & 0xFF);
    fs::create_directories(dir / "data/ecopy/0000");
    WriteFile(dir / "data/ecopy/0000/0001.txt", content);
    fs::create_directories(dir / "root");
  }
  test::TRunResult Cli(const std::vector<std::string>& args) {
    return RunProgram(QUORVEL_CLI_PATH, args, {"QUORVEL_DATA_ROOT=" + (dir / "root").string()});
  }
  TTempDir dir;
  std::string content;
};

TEST_F(PrinterE2E, InfoAndDownload) {
  test::TSimProcess sim("printer", dir / "data", dir / "tty", {});
  auto r = Cli({"printer", "info", "--port", (dir / "tty").string(), "--timeout", "2000"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "UniqueNo: XYZ87654321\nVersion: QS-1 2.05\nStatus: 8\n");
  r = Cli({"printer", "info", "--port", (dir / "tty").string(), "--json"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "{\"Status\":8,\"UniqueNo\":\"XYZ87654321\",\"Version\":\"QS-1 2.05\"}\n");
  r = Cli({"printer", "download", "--port", (dir / "tty").string(), "0000/0001.txt", (dir / "out.txt").string()});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(ReadFile(dir / "out.txt"), content);
}

TEST_F(PrinterE2E, DownloadRecoversFromBadAndRepeatedPackets) {
  // Reply frames 3 to 5 are corrupted (packet 3 three times), packet 5 comes twice.
  test::TSimProcess sim("printer", dir / "data", dir / "tty", {"--corrupt-frames", "3,4,5", "--repeat-packet", "5"});
  auto r = Cli({"printer", "download", "--port", (dir / "tty").string(), "--timeout", "500", "0000/0001.txt",
                (dir / "out.txt").string()});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(ReadFile(dir / "out.txt"), content);
}

TEST_F(PrinterE2E, SilentPrinterFailsWithTheLinksMessage) {
  test::TSimProcess sim("printer", dir / "data", dir / "tty", {"--silent-after", "0"});
  const auto t0 = std::chrono::steady_clock::now();
  auto r = Cli({"printer", "info", "--port", (dir / "tty").string(), "--timeout", "300"});
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("Komunikacja została przerwana."), std::string::npos) << r.Err;
  r = Cli({"printer", "download", "--port", (dir / "tty").string(), "--timeout", "200", "0000/0001.txt",
           (dir / "out.txt").string()});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("Nie udało się pobrać pliku 0000/0001.txt."), std::string::npos) << r.Err;
}

TEST_F(PrinterE2E, PortThatDoesNotOpen) {
  auto r = Cli({"printer", "info", "--port", (dir / "none").string()});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("Nie można otworzyć portu"), std::string::npos) << r.Err;
  EXPECT_EQ(Cli({"printer", "info"}).ExitCode, 2);
}

}  // namespace
}  // namespace quorvel
