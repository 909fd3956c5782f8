// The register link against quorvel-sim register: periodic reports in both layouts, the
// electronic-copy transfer in packets and the card files, read with Request and GetField.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/Cp1250.h"
#include "links/R5Devices.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using test::TTempDir;

const char* kFiscalMemory =
    "# rates, a daily report, a RAM reset, a daily report, a currency change, an unknown entry\n"
    "4;090101;0800;0;2300;0800;0500;FFFF;0000;0000;0000\n"
    "1;1;090105;0;12345;10000;2345;0;0;0;0;0;2300;42;1;TEXT;9;3;450;1;2;3;4;5;6;7;28;12345\n"
    "2;7;090106;1205;0;1\n"
    "1;2;090107;2;1999;1999\n"
    "5;090108;EUR\n"
    "6;090109\n";

class RegisterSim : public testing::Test {
 protected:
  void Start(const std::string& model) {
    test::WriteFile(tmp / "data" / "register.txt", "UniqueNo=ABC12345678\n");
    test::WriteFile(tmp / "data" / "fm.txt", kFiscalMemory);
    sim.emplace("register", tmp / "data", tmp / "port", std::vector<std::string>{"--model", model});
    link.Comm.SetPortName((tmp / "port").string());
    link.Comm.RdTimeout = link.Comm.WrTimeout = 300;
    link.SilentRegisterWait = 100;
    link.ReplyTimeout = 1000;
  }
  // Every file of a transfer, put together from its packets as the import does.
  std::map<std::string, std::string> Receive(uint8_t type) {
    std::map<std::string, std::string> files;
    std::string data;
    while (link.ReceiveReply(true)) {
      const int last = link.ReplyCount() - 1;
      data += link.GetField(type, last, 294);
      const std::string kind = link.GetField(type, last, 296);
      if (kind == "1" || kind == "2") {
        files[link.GetField(type, last, 2)] = data;
        data.clear();
        link.ClearReplies();
      }
    }
    return files;
  }

  TTempDir tmp;
  TSilentPrompts prompts;
  TR5Device link{&prompts};
  std::optional<test::TSimProcess> sim;
};

TEST_F(RegisterSim, ExtendedPeriodicReportByDates) {
  Start("Varno");
  ASSERT_EQ(link.Request(100, "090101", "090131"), 6);
  EXPECT_EQ(link.GetField(100, 0, 43), "4");
  EXPECT_EQ(link.GetField(100, 0, 55, 0), "23");
  EXPECT_EQ(link.GetField(100, 0, 55, 3), "100");
  EXPECT_EQ(link.GetField(100, 1, 1), "0000000001");
  EXPECT_EQ(link.GetField(100, 1, 27), "05.01.2009");
  EXPECT_EQ(link.GetField(100, 1, 47), "123,45");
  EXPECT_EQ(link.GetField(100, 1, 39, 0), "100");
  EXPECT_EQ(link.GetField(100, 1, 48), "23");
  EXPECT_EQ(link.GetField(100, 1, 50), "00042");
  EXPECT_EQ(link.GetField(100, 1, 80), "");
  EXPECT_EQ(link.GetField(100, 1, 44, 6), "00000000000000000007");
  EXPECT_EQ(link.GetField(100, 1, 45), "00000000000000012345");
  EXPECT_EQ(link.GetField(100, 2, 1), "7");
  EXPECT_EQ(link.GetField(100, 2, 28), "12:05");
  EXPECT_EQ(link.GetField(100, 2, 293), "1");
  EXPECT_EQ(link.GetField(100, 3, 101), "2");
  EXPECT_EQ(link.GetField(95, 4, 27), "090108");
  EXPECT_EQ(link.GetField(95, 4, 2), "EUR");
  EXPECT_EQ(link.GetField(100, 5, 43), "6");
  EXPECT_NE(link.Replies[0].find("#00"), std::string::npos);
}

TEST_F(RegisterSim, BasicPeriodicReportByNumbersAndTesmo) {
  Start("Tesmo");
  // A Tesmo knows only the basic reports: the extended request is refused with its error report.
  EXPECT_EQ(link.Request(101, "1", "2", false, false), 0);
  ASSERT_EQ(link.Request(61, "2", "2"), 1);
  EXPECT_EQ(link.GetField(61, 0, 1), "0000000002");
  EXPECT_EQ(link.GetField(61, 0, 47), "19,99");
  EXPECT_EQ(link.GetField(61, 0, 80), "0000000000");
  EXPECT_EQ(link.GetField(61, 0, 27), "07.01.2009");
  ASSERT_EQ(link.Request(60, "090101", "090106"), 3);
  EXPECT_EQ(link.GetField(60, 1, 107), "4,5");
  EXPECT_EQ(link.Request(52, "", "", false, false), 0);
  EXPECT_EQ(link.Request(51, "", "", false, false), 1);
}

TEST_F(RegisterSim, ElectronicCopyAndCardFiles) {
  std::string big;
  for (int i = 0; i < 40; ++i) big += "Linia numer " + std::to_string(i) + " wydruku paragonu fiskalnego\r\n";
  test::WriteFile(tmp / "data" / "ecopy" / "0001.txt", "pierwszy\r\n");
  test::WriteFile(tmp / "data" / "ecopy" / "0002.txt", big);
  test::WriteFile(tmp / "data" / "ecopy" / "index.txt", "1;090105;0001.txt\n2;090107;0002.txt\n");
  test::WriteFile(tmp / "data" / "cards" / "idhist.txt", "karta 1\r\nkarta 2\r\n");
  Start("Varno");
  ASSERT_GT(big.size(), 1024u);  // more than two packets

  EXPECT_EQ(link.Request(97, "0000100002", "000", false, true, true), 0);
  auto files = Receive(97);
  EXPECT_EQ(files, (std::map<std::string, std::string>{{"0001.txt", "pierwszy\r\n"}, {"0002.txt", big}}));

  EXPECT_EQ(link.Request(98, "090106090131", "000", false, true, true), 0);
  files = Receive(98);
  EXPECT_EQ(files, (std::map<std::string, std::string>{{"0002.txt", big}}));

  ASSERT_EQ(link.Request(99, "idhist.txt"), 1);
  EXPECT_EQ(link.GetField(99, 0, 294), "karta 1\r\nkarta 2\r\n");
  EXPECT_EQ(link.Request(99, "id.txt"), 0);  // no such file on the card
  link.Close();
}

}  // namespace
}  // namespace quorvel
