// quorvel-cli register info against quorvel-sim register on a pseudo-terminal, with the
// register's faults: TAB, NAKs, a wrong checksum, silence, an error report, EOT after a frame.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/SimProcess.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using test::TTempDir;

struct TCase {
  const char* Name;
  std::string Model;
  std::vector<std::string> Faults;
  const char* Answer;  // "--yes" or "--no" for the link's questions
  int Exit;
  std::string Out;     // the whole standard output when the command succeeds
  std::string ErrHas;  // a text that standard error must hold
  std::string Played;  // the faults the simulator noted, one line each
};

const std::string kVarno = "UniqueNo: ABC12345678\nModel: Varno\nNIP: 525-000-11-22\n";

TEST(RegisterInfoE2E, AgainstTheSimulatorWithFaults) {
  const TCase cases[] = {
      {"plain", "Varno", {}, "--no", 0, kVarno, "", ""},
      {"tab before answers", "Varno", {"--tab", "2"}, "--no", 0, kVarno, "", ""},
      {"six naks", "Varno", {"--nak", "6"}, "--no", 0, kVarno, "", "nak\nnak\nnak\nnak\nnak\nnak\n"},
      {"seventh nak, stop", "Varno", {"--nak", "7"}, "--yes", 1, "",
       "Błędna komunikacja z kasą przerwana przez użytkownika", "nak\nnak\nnak\nnak\nnak\nnak\nnak\n"},
      {"wrong checksums", "Varno", {"--bad-checksum", "5"}, "--no", 0, kVarno, "",
       "bad-checksum\nbad-checksum\nbad-checksum\nbad-checksum\nbad-checksum\n"},
      {"silence", "Varno", {"--silent", "1"}, "--no", 0, kVarno, "", "silent\n"},
      {"error report, go on", "Varno", {"--error", "B7"}, "--no", 0, kVarno, "", "error\n"},
      {"error report, stop", "Varno", {"--error", "B7"}, "--yes", 1, "",
       "Błędna komunikacja z kasą przerwana przez użytkownika", "error\n"},
      {"eot after frame", "Varno", {"--eot-after-frame", "1"}, "--no", 1, "",
       "Kasa zakończyła transmisję z powodu przekroczenia czasu oczekiwania.", "eot-after-frame\n"},
      {"tesmo without status", "Tesmo", {}, "--no", 0, "UniqueNo: ABC12345678\nModel: Tesmo\nNIP: 525-000-11-22\n", "",
       ""},
      {"kira", "KIRA PLUS", {"--tab", "1", "--bad-checksum", "1"}, "--no", 0,
       "UniqueNo: ABC12345678\nModel: KIRA PLUS\nNIP: 525-000-11-22\n", "", "bad-checksum\n"},
  };
  TTempDir tmp;
  test::WriteFile(tmp / "data" / "register.txt", "UniqueNo=ABC12345678\nNIP=525-000-11-22\n");
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const fs::path link = tmp / ("port" + std::to_string(n));
    ++n;
    std::vector<std::string> simArgs = {"--model", c.Model};
    simArgs.insert(simArgs.end(), c.Faults.begin(), c.Faults.end());
    test::TSimProcess sim("register", tmp / "data", link, simArgs);
    ASSERT_TRUE(fs::exists(link));
    const auto start = std::chrono::steady_clock::now();
    const auto r = test::RunProgram(QUORVEL_CLI_PATH, {"register", "info", "--port", link.string(), c.Answer,
                                                       "--read-timeout", "300", "--silence-wait", "200",
                                                       "--reply-timeout", "500"});
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r.ExitCode, c.Exit) << r.Err;
    if (c.Exit == 0) {
      EXPECT_EQ(r.Out, c.Out) << r.Err;
    }
    if (!c.ErrHas.empty()) {
      EXPECT_NE(r.Err.find(c.ErrHas), std::string::npos) << r.Err;
    }
    EXPECT_LT(ms, 5000);
    if (std::string(c.Name) == "silence") {
      EXPECT_GE(ms, 500);  // the read time-out, the wait after it and the ignored read
    }
    EXPECT_EQ(sim.Stop(), c.Played);
  }
}

TEST(RegisterInfoE2E, ErrorReportIsShownWithTheRegistersText) {
  TTempDir tmp;
  test::WriteFile(tmp / "data" / "register.txt", "UniqueNo=XYZ00000042\nNIP=111-222-33-44\n");
  const fs::path link = tmp / "port";
  test::TSimProcess sim("register", tmp / "data", link, {"--model", "Varno", "--error", "C7"});
  // Without a terminal and without --yes/--no the question takes its default button, No.
  const auto r = test::RunProgram(QUORVEL_CLI_PATH, {"register", "info", "--port", link.string(), "--json",
                                                     "--read-timeout", "300", "--reply-timeout", "500"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "{\"Model\":\"Varno\",\"NIP\":\"111-222-33-44\",\"UniqueNo\":\"XYZ00000042\"}\n");
}

TEST(RegisterInfoE2E, SilentLineAndBadPort) {
  // A pseudo-terminal that nobody answers: the handshake's read error, then no unique number.
  int master = -1, slave = -1;
  char name[256] = {};
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  termios t{};
  ::tcgetattr(slave, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(slave, TCSANOW, &t);
  const auto silent = test::RunProgram(QUORVEL_CLI_PATH, {"register", "info", "--port", name, "--read-timeout", "200"});
  ::close(slave);
  ::close(master);
  EXPECT_EQ(silent.ExitCode, 1);
  EXPECT_NE(silent.Err.find("Błąd komunikacji z kasą: Błąd odczytu."), std::string::npos) << silent.Err;
  EXPECT_NE(silent.Err.find("Nie można odczytać numeru unikatowego"), std::string::npos) << silent.Err;

  TTempDir tmp;
  const auto bad = test::RunProgram(QUORVEL_CLI_PATH, {"register", "info", "--port", (tmp / "nothing").string()});
  EXPECT_EQ(bad.ExitCode, 1);
  EXPECT_NE(bad.Err.find("Can't open"), std::string::npos) << bad.Err;
  EXPECT_EQ(test::RunProgram(QUORVEL_CLI_PATH, {"register", "info"}).ExitCode, 2);
  EXPECT_EQ(test::RunProgram(QUORVEL_CLI_PATH, {"register", "info", "--port", "COM0"}).ExitCode, 2);
}

}  // namespace
}  // namespace quorvel
