#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <thread>

#include "base/Errors.h"
#include "base/UserPrompts.h"
#include "links/DADCommDevices.h"
#include "links/PtyPair.h"

namespace quorvel {
namespace {

using test::TPtyPair;
using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

TEST(PortNames, RulesAndDevicePaths) {
  struct TCase {
    const char* In;
    bool Valid;
    const char* Name;
    const char* Path;
  } cases[] = {
      {" com3 ", true, "COM3", "/dev/ttyS2"},   {"COM1", true, "COM1", "/dev/ttyS0"},
      {"COM99", true, "COM99", "/dev/ttyS98"},  {"lpt2", true, "LPT2", "/dev/lp1"},
      {"/dev/ttyUSB0", true, "/dev/ttyUSB0", "/dev/ttyUSB0"},
      {" /dev/pts/7", true, "/dev/pts/7", "/dev/pts/7"},
      {"COM100", false, "", ""}, {"COM0", false, "", ""}, {"COM", false, "", ""},
      {"LPT", false, "", ""},    {"XYZ1", false, "", ""}, {"COMx", false, "", ""},
      {"COM-1", false, "", ""},  {"/", false, "", ""},
  };
  for (const auto& c : cases) {
    AnsiString n;
    EXPECT_EQ(NormalizePortName(c.In, n), c.Valid) << c.In;
    if (c.Valid) {
      EXPECT_EQ(n, c.Name) << c.In;
    }
    EXPECT_EQ(PortDevicePath(c.In), c.Path) << c.In;
  }
}

TEST(PortNames, InvalidNameChangesNothingAndCallsSetupError) {
  TMPXCommDevice d;
  int setupErrors = 0;
  d.SetPortName("com3 ");
  EXPECT_EQ(d.PortName(), "COM3");
  d.OnSetupError = [&](TMPXCommDevice&) { ++setupErrors; };
  for (const char* bad : {"COM100", "COM0", "LPT", "XYZ1"}) d.SetPortName(bad);
  EXPECT_EQ(d.PortName(), "COM3");
  EXPECT_EQ(setupErrors, 4);
  d.SetPortName("LPT1");
  EXPECT_TRUE(d.IsParallel());
}

TEST(CommDevice, RenamingAnOpenPortReopensIt) {
  TPtyPair a, b;
  TMPXCommDevice d;
  d.SetPortName(a.Path());
  d.Open();
  ASSERT_TRUE(d.Active());
  d.SetPortName("  " + b.Path() + " ");
  EXPECT_TRUE(d.Active());
  EXPECT_EQ(d.PortName(), b.Path());
  ASSERT_TRUE(d.WriteData("x"));
  EXPECT_EQ(b.Receive(500, 1), "x");
}

TEST(CommDevice, OpenFailureRaisesOrCallsHandler) {
  TMPXCommDevice d;
  d.SetPortName("/dev/quorvel-no-such-port");
  try {
    d.Open();
    FAIL() << "no exception";
  } catch (const EQuorvelError& e) {
    EXPECT_STREQ(e.what(), "Can't open /dev/quorvel-no-such-port port!");
  }
  EXPECT_FALSE(d.Active());
  int calls = 0;
  d.OnOpenError = [&](TMPXCommDevice&) { ++calls; };
  EXPECT_NO_THROW(d.Open());
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(d.Active());
}

TEST(CommDevice, PortIsNotShared) {
  TPtyPair p;
  TMPXCommDevice first, second;
  first.SetPortName(p.Path());
  second.SetPortName(p.Path());
  first.Open();
  EXPECT_THROW(second.Open(), EQuorvelError);
  first.Close();
  EXPECT_NO_THROW(second.Open());
}

TEST(CommDevice, ClosedOrParallelPortFailsAtOnceWithoutEvents) {
  TMPXCommDevice d;
  int events = 0;
  d.OnError = [&](TMPXCommDevice&) { ++events; };
  d.OnReadError = [&](TMPXCommDevice&, TMPXCommOperation&, bool&) { ++events; };
  AnsiString got = "keep";
  EXPECT_FALSE(d.ReadData(got, 1));
  EXPECT_FALSE(d.ReadUntil(got, 1, "\x03"));
  EXPECT_FALSE(d.WriteData("x"));
  EXPECT_EQ(d.InQueCount(), 0);
  d.SetPortName("LPT1");
  EXPECT_FALSE(d.ReadData(got, 1));
  EXPECT_EQ(events, 0);
}

TEST(CommDevice, SettingsReachTheLine) {
  TPtyPair p;
  TMPXCommDevice d;
  d.SetPortName(p.Path());
  d.Open();
  d.SetBaudRate(cbr19200);
  d.SetParity(cprEven);
  d.SetDataBits(7);
  d.SetStopBits(csb2);
  termios t{};
  ASSERT_EQ(::tcgetattr(::open(p.Path().c_str(), O_RDWR | O_NOCTTY), &t), 0);
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B19200));
  // A pseudo-terminal always keeps eight data bits without parity, so only the rest shows here.
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_TRUE(t.c_iflag & IXON);   // dcbOutX by default
  EXPECT_TRUE(t.c_iflag & IXOFF);  // dcbInX by default
  EXPECT_FALSE(t.c_lflag & (ECHO | ICANON));
  EXPECT_EQ(t.c_cc[VSTART], 17);
  EXPECT_EQ(t.c_cc[VSTOP], 19);

  int setupErrors = 0;
  d.OnSetupError = [&](TMPXCommDevice&) { ++setupErrors; };
  d.SetDataBits(4);
  EXPECT_EQ(setupErrors, 1);
  EXPECT_EQ(d.LastStatus(), csSystem);
  EXPECT_EQ(d.LastErrorCode(), EINVAL);
}

TEST(CommDevice, SystemCommSetupTakesTheDialogsValues) {
  TPtyPair p;
  TScriptedPrompts prompts;
  prompts.PortDialogResult = true;
  prompts.ChangePortSettings = true;
  prompts.PortDialogChange = {2400, cprOdd, csb1, 8, false, false};
  TMPXCommDevice d(&prompts);
  d.SetPortName(p.Path());
  d.Open();
  d.SystemCommSetup();
  EXPECT_EQ(d.BaudRate(), cbr2400);
  EXPECT_EQ(d.Parity(), cprOdd);
  EXPECT_FALSE(d.DCBFlags().Contains(dcbOutX));
  // A speed outside the list is kept in the control block but leaves BaudRate alone.
  prompts.PortDialogChange.BaudRate = 250000;
  d.SystemCommSetup();
  EXPECT_EQ(d.BaudRate(), cbr2400);
  EXPECT_EQ(d.BaudValue(), 250000u);
  prompts.PortDialogResult = false;
  prompts.PortDialogChange.BaudRate = 9600;
  d.SystemCommSetup();
  EXPECT_EQ(d.BaudValue(), 250000u);
}

class CommDeviceIo : public ::testing::Test {
 protected:
  void SetUp() override {
    d.SetPortName(pty.Path());
    d.SetDCBFlags({dcbBinary});
    d.UseRdTimeouts = true;
    d.UseWrTimeouts = true;
    d.RdTimeout = 300;
    d.Open();
  }
  TPtyPair pty;
  TScriptedPrompts prompts;
  TMPXCommDevice d{&prompts};
};

TEST_F(CommDeviceIo, WholeReadsAndWrites) {
  pty.Send("hello world");
  AnsiString got;
  ASSERT_TRUE(d.ReadData(got, 5));
  EXPECT_EQ(got, "hello");
  EXPECT_EQ(d.InQueCount(), 6);
  ASSERT_TRUE(d.ReadData(got, 6));
  EXPECT_EQ(got, " world");

  // Bigger than any queue: the device side drains while the component writes.
  std::string big(200000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  std::string seen;
  std::thread reader([&] { seen = pty.Receive(5000, big.size()); });
  EXPECT_TRUE(d.WriteData(big));
  reader.join();
  EXPECT_EQ(seen, big);
}

TEST_F(CommDeviceIo, SilentLineTimesOutWithStatus2) {
  const auto t0 = Clock::now();
  int errors = 0, readErrors = 0;
  d.OnError = [&](TMPXCommDevice&) { ++errors; };
  d.OnReadError = [&](TMPXCommDevice&, TMPXCommOperation& op, bool&) {
    ++readErrors;
    EXPECT_EQ(op.Status, csTimeout);
  };
  AnsiString got;
  EXPECT_FALSE(d.ReadData(got, 1));
  const auto ms = MsSince(t0);
  EXPECT_GE(ms, 300);
  EXPECT_LT(ms, 900);
  EXPECT_EQ(d.LastStatus(), csTimeout);
  EXPECT_EQ(d.LastErrorCode(), -1);
  EXPECT_EQ(std::string(StatusName(d.LastStatus())), "Timeout");
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(readErrors, 1);
  // A short whole read keeps what did arrive.
  pty.Send("ab");
  EXPECT_FALSE(d.ReadData(got, 5));
  EXPECT_EQ(got, "ab");
}

TEST_F(CommDeviceIo, TerminatorReadsStopAtTheTerminator) {
  pty.Send("OK\r\nrest");
  AnsiString got;
  ASSERT_TRUE(d.ReadData(got, 100, "\r"));
  EXPECT_EQ(got, "OK\r");
  ASSERT_TRUE(d.ReadData(got, 100, "\nre"));  // a terminator of several bytes is a substring
  EXPECT_EQ(got, "\nre");
  ASSERT_TRUE(d.ReadData(got, 2, "\r"));      // count first
  EXPECT_EQ(got, "st");

  // A terminator that trickles in slowly is still bounded by RdTimeout as a whole.
  std::thread slow([&] {
    for (int i = 0; i < 10; ++i) {
      pty.Send("x");
      std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
  });
  const auto t0 = Clock::now();
  EXPECT_FALSE(d.ReadData(got, 100, "\r"));
  EXPECT_LT(MsSince(t0), 700);
  EXPECT_EQ(d.LastStatus(), csTimeout);
  EXPECT_FALSE(got.empty());
  EXPECT_EQ(got.find_first_not_of('x'), std::string::npos);
  slow.join();
}

TEST_F(CommDeviceIo, ReadUntilStopBytes) {
  struct TCase {
    const char* Line;
    int Count;
    const char* Want;
    int Left;
  } cases[] = {
      {"ab\x03" "cd", 100, "ab\x03", 2},
      {"x\x17y\x03", 100, "x\x17", 2},
      {"abcdef", 4, "abcd", 2},
  };
  for (const auto& c : cases) {
    d.ResetPort();
    pty.Send(c.Line);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    AnsiString got;
    ASSERT_TRUE(d.ReadUntil(got, c.Count, "\x03\x17")) << c.Line;
    EXPECT_EQ(got, c.Want);
    EXPECT_EQ(d.InQueCount(), c.Left);
  }
}

TEST_F(CommDeviceIo, UserBreakEndsTheReadWithStatus1) {
  d.RdTimeout = 5000;
  prompts.BreakAfterPumps = 1;
  prompts.BreakCount = 1;
  int readBreaks = 0, breaks = 0;
  d.OnReadUserBreak = [&](TMPXCommDevice&, TMPXCommOperation&, bool&) { ++readBreaks; };
  d.OnUserBreak = [&](TMPXCommDevice&, TMPXCommOperation&, bool&) { ++breaks; };
  const auto t0 = Clock::now();
  AnsiString got;
  EXPECT_FALSE(d.ReadData(got, 10));
  EXPECT_LT(MsSince(t0), 1500);
  EXPECT_EQ(d.LastStatus(), csUserBreak);
  EXPECT_EQ(readBreaks, 1);
  EXPECT_EQ(breaks, 1);
  EXPECT_TRUE(got.empty());
  // The component works on after a break.
  pty.Send("z");
  ASSERT_TRUE(d.ReadData(got, 1));
  EXPECT_EQ(got, "z");
}

TEST_F(CommDeviceIo, DeclinedBreakLetsTheReadGoOn) {
  d.RdTimeout = 5000;
  prompts.BreakAfterPumps = 1;
  prompts.BreakCount = 1;
  d.OnUserBreak = [&](TMPXCommDevice&, TMPXCommOperation&, bool& cancel) { cancel = false; };
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    pty.Send("done");
  });
  AnsiString got;
  EXPECT_TRUE(d.ReadData(got, 4));
  EXPECT_EQ(got, "done");
  late.join();
}

TEST_F(CommDeviceIo, ThrowingBreakHandlerLeavesTheComponentUsable) {
  d.RdTimeout = 5000;
  prompts.BreakAfterPumps = 0;
  prompts.BreakCount = 1;
  d.OnUserBreak = [&](TMPXCommDevice&, TMPXCommOperation&, bool&) { throw EQuorvelError("stop"); };
  AnsiString got;
  EXPECT_THROW(d.ReadData(got, 1), EQuorvelError);
  EXPECT_FALSE(prompts.Busy);  // the busy cursor ends also when a handler raises
  pty.Send("q");
  EXPECT_TRUE(d.ReadData(got, 1));
  EXPECT_EQ(got, "q");
}

TEST_F(CommDeviceIo, WaitPumpsAtMostEvery250ms) {
  d.RdTimeout = 1100;
  AnsiString got;
  EXPECT_FALSE(d.ReadData(got, 1));
  EXPECT_GE(prompts.Pumps, 3);
  EXPECT_LE(prompts.Pumps, 5);
  prompts.Pumps = 0;
  d.DllMode = true;
  EXPECT_FALSE(d.ReadData(got, 1));
  EXPECT_EQ(prompts.Pumps, 0);
}

TEST_F(CommDeviceIo, WaitForInputWakesOnTheFirstByteAndOtherwiseWaitsOutItsTime) {
  // Silence: false after the whole time.
  auto t0 = Clock::now();
  EXPECT_FALSE(d.WaitForInput(150));
  EXPECT_GE(MsSince(t0), 150);
  EXPECT_LT(MsSince(t0), 600);
  // A byte in the middle of a long wait ends it at once, and stays in the queue.
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pty.Send("k");
  });
  t0 = Clock::now();
  EXPECT_TRUE(d.WaitForInput(3000));
  EXPECT_GE(MsSince(t0), 90);
  EXPECT_LT(MsSince(t0), 1500);
  late.join();
  EXPECT_EQ(d.InQueCount(), 1);
  EXPECT_TRUE(d.WaitForInput(0));  // bytes already waiting
  // A hung-up line brings nothing, but the wait still lasts its time and does not fail.
  AnsiString got;
  ASSERT_TRUE(d.ReadData(got, 1));
  pty.CloseMaster();
  t0 = Clock::now();
  EXPECT_FALSE(d.WaitForInput(100));
  EXPECT_GE(MsSince(t0), 100);
  // A closed port waits out the time too.
  d.Close();
  t0 = Clock::now();
  EXPECT_FALSE(d.WaitForInput(100));
  EXPECT_GE(MsSince(t0), 100);
}

TEST_F(CommDeviceIo, HangUpEndsTheReadWithASystemStatus) {
  d.RdTimeout = 5000;
  std::thread hang([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pty.CloseMaster();
  });
  const auto t0 = Clock::now();
  AnsiString got;
  EXPECT_FALSE(d.ReadData(got, 4));
  EXPECT_LT(MsSince(t0), 1000);
  EXPECT_EQ(d.LastStatus(), csSystem);
  hang.join();
}

TEST_F(CommDeviceIo, StatusTextAndCompletionEvents) {
  d.AutoRdInfo = "Transmisja...";
  int completed = 0, reads = 0;
  d.OnReadCompleted = [&](TMPXCommDevice&, TMPXCommOperation&) { ++reads; };
  d.OnCompleted = [&](TMPXCommDevice&, TMPXCommOperation&) { ++completed; };
  pty.Send("a");
  AnsiString got;
  ASSERT_TRUE(d.ReadData(got, 1));
  EXPECT_EQ(d.CurrentStatusText(), "Transmisja... (Esc-STOP)");
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(completed, 1);
  d.AutoInfos = false;
  d.TaskInfo = "Czekam";
  d.BreakInfo = "przerwij";
  d.SyncMode = ctsmVCLThread;
  pty.Send("b");
  ASSERT_TRUE(d.WriteData("x"));
  EXPECT_EQ(d.CurrentStatusText(), "Czekam (Esc-przerwij)");
  EXPECT_EQ(completed, 2);
}

TEST(LineErrors, DescriptionsFollowTheBitOrder) {
  EXPECT_EQ(DescribeLineErrors(4), "\r\nReceive Parity Error (4)");
  EXPECT_EQ(DescribeLineErrors(8 | 1 | 32768),
            "\r\nReceive Queue overflow (1)\r\nReceive Framing error (8)\r\nRequested mode unsupported (32768)");
  EXPECT_EQ(DescribeLineErrors(0), "");
  EXPECT_EQ(ShortCutToText(27), "Esc");
  EXPECT_EQ(ShortCutToText(scCtrl | 'Q'), "Ctrl+Q");
}

}  // namespace
}  // namespace quorvel
