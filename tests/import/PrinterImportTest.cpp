#include <gtest/gtest.h>

#include <filesystem>

#include "archive/QVDDeviceInfo.h"
#include "archive/uConfig.h"
#include "archive/uDailyRecord.h"
#include "base/Errors.h"
#include "base/FileUtils.h"
#include "base/TextUtils.h"
#include "import/DeviceLink.h"
#include "import/ECopyFixtures.h"
#include "import/FakePrinter.h"
#include "import/PrinterImport.h"
#include "import/TPrintoutsBrowser.h"
#include "links/FiscalPrinter.h"
#include "links/R5Devices.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using test::TFakePrinter;
using test::TPacketServer;

std::string Daily(int number, int day) {
  return Format("20#X24;03;%02d;21;00;00;5;0;0;%d;100.00/18.70/0;0;0;0;0.00/100.00/0.00/0.00/0.00/0.00/0.00/0.00/",
                day, number);
}
const std::string kRates = "11#X24;03;04;08;00;00;0;0;0;0/23.00/8.00/5.00/0.00/100/101/101/";
const std::string kReset = "12#X24;03;05;10;00;00;1;1;0;0/0/0/0/0/0/0/0/";
const std::string kUnknown = "99#X24;03;05;10;00;00;";

struct TProgressLog {
  std::vector<std::string> Messages;
  std::vector<int> Counts;
  void Attach(TPrintoutsBrowser& b) {
    b.OnProgress = [this](TPrintoutsBrowser&, std::string_view, std::string_view message, int count) {
      Messages.emplace_back(message);
      Counts.push_back(count);
    };
  }
};

class PrinterImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    browser.ArchiveRootDir = (tmp / "archive").string() + "/";
    log.Attach(browser);
  }
  void Open() {
    fake.Start();
    ASSERT_TRUE(printer.OpenPort(fake.Path()));
    printer.COMPort.RdTimeout = 2000;
    printer.COMPort.WrTimeout = 2000;
    printer.PacketTimeout = 100;
  }
  fs::path FmDir(const std::string& name = "ABC12345678") const { return tmp / "archive" / "FMData" / name; }
  fs::path CdDir(const std::string& name = "ABC12345678") const { return tmp / "archive" / "CDData" / name; }
  // Short waits, so that a missing packet costs milliseconds.
  static TPrinterTransferLimits FastLimits() {
    TPrinterTransferLimits l;
    l.FrameStartTimeout = 150;
    l.FrameRestTimeout = 300;
    l.BadFrameLimit = 5;
    return l;
  }

  test::TTempDir tmp;
  TScriptedPrompts prompts;
  TPrintoutsBrowser browser{prompts};
  TFakePrinter fake;
  TFPrinter printer{&prompts};
  TProgressLog log;
};

// ---- fiscal memory ----

TEST_F(PrinterImportTest, FiscalMemoryWritesRecordFilesWithGapsReportsAndDescriptor) {
  fake.Version = "tikapos 2";
  fake.Records = {kRates, Daily(1, 5), Daily(0, 5), kReset, Daily(2, 6), kUnknown, Daily(3, 7)};
  Open();
  browser.ByNumber = true;
  browser.FromNo = 0;
  browser.ToNo = 2143;
  ImportPrinterFiscalMemory(browser, printer);

  const fs::path dir = FmDir();
  // Positions 1..7 as read; number 0 (3), the unknown code (6) and the end (8) leave gaps.
  for (int n : {1, 2, 4, 5, 7}) EXPECT_TRUE(fs::exists(dir / RecordFileName(n))) << n;
  for (int n : {3, 6, 8}) EXPECT_FALSE(fs::exists(dir / RecordFileName(n))) << n;
  RFMRecord r;
  ReadRecordFile(dir / "0005.fmr", r);
  EXPECT_EQ(r.Kind, kKindDaily);
  EXPECT_EQ(r.Number, "2");
  EXPECT_EQ(r.Date, EncodeDateTime(2024, 3, 6, 21, 0, 0));
  // The record is carried over: the RAM reset's number stays in the next report's file.
  EXPECT_EQ(r.ResetNo, "0");
  ReadRecordFile(dir / "0004.fmr", r);
  EXPECT_EQ(r.Kind, kKindRamReset);
  EXPECT_EQ(r.Number, "0");  // the skipped report's number was read into the record before it

  ASSERT_EQ(browser.PrintoutsSet.RecordCount(), 3u);
  EXPECT_EQ(browser.PrintoutsSet[2].PrintoutNo, 3);
  EXPECT_EQ(browser.PrintoutsSet[2].File, (dir / "0003.txt").string());
  for (const char* f : {"0001.txt", "0002.txt", "0003.txt", "range.txt", "device.xml"})
    EXPECT_TRUE(fs::exists(dir / f)) << f;
  TDeviceInfo info;
  ASSERT_TRUE(info.LoadDeviceInfo(dir / "device.xml"));
  EXPECT_EQ(info.LineLen, 48);
  EXPECT_TRUE(info.HasInvoices);
  EXPECT_FALSE(info.PharmacyVersion);
  EXPECT_FALSE(info.TaxiVersion);
  EXPECT_EQ(fs::path(browser.SourceDir), fs::path(dir.string() + "/"));
  EXPECT_FALSE(browser.RangeReportMemo.empty());
  EXPECT_EQ(log.Messages, (std::vector<std::string>{"Raport nr 1", "Raport nr 2", "Raport nr 3", "Koniec"}));
  // The selection by number was sent once, before the records were read.
  EXPECT_EQ(fake.CountOf("63#s0/" + test::PrinterCheck("63#s0/")), 1);
}

TEST_F(PrinterImportTest, ReportAboveToNoEndsTheReadingWithTheReportsWritten) {
  fake.Records = {Daily(1, 5), Daily(2, 6), Daily(3, 7), Daily(4, 8)};
  Open();
  browser.ByNumber = true;
  browser.FromNo = 1;
  browser.ToNo = 2;
  ImportPrinterFiscalMemory(browser, printer);
  EXPECT_EQ(fake.CountOf("27#s"), 3);  // the fourth record is never asked for
  EXPECT_TRUE(fs::exists(FmDir() / "0002.fmr"));
  EXPECT_FALSE(fs::exists(FmDir() / "0003.fmr"));
  EXPECT_TRUE(fs::exists(FmDir() / "range.txt"));
  EXPECT_TRUE(fs::exists(FmDir() / "device.xml"));
  EXPECT_TRUE(fs::exists(FmDir() / "0002.txt"));
  EXPECT_FALSE(fs::exists(FmDir() / "0003.txt"));
}

TEST_F(PrinterImportTest, TenCharacterUniqueNumberReadsNothing) {
  fake.Unique = "ABC 1234567";  // ten characters once the blank is gone
  fake.Records = {Daily(1, 5)};
  Open();
  ImportPrinterFiscalMemory(browser, printer);
  ASSERT_EQ(prompts.Messages.size(), 1u);
  EXPECT_EQ(prompts.Messages[0].Text, std::string("Brak komunikacji z drukarką"_cp));
  EXPECT_TRUE(log.Messages.empty());
  EXPECT_EQ(fake.CountOf("27#s"), 0);
  EXPECT_FALSE(fs::exists(tmp / "archive" / "FMData"));
}

TEST_F(PrinterImportTest, ConversionErrorKeepsRecordsWrittenAndSkipsTheReports) {
  fake.Records = {Daily(1, 5), "20#X24;03;06;21;00;00;5;0;0;abc;1/1/0;0;0;0;0/0/0/0/0/0/0/0/", Daily(3, 7)};
  Open();
  browser.ByNumber = true;
  browser.ToNo = 2143;
  EXPECT_THROW(ImportPrinterFiscalMemory(browser, printer), EConvertError);
  EXPECT_TRUE(fs::exists(FmDir() / "0001.fmr"));
  EXPECT_FALSE(fs::exists(FmDir() / "device.xml"));
  EXPECT_FALSE(fs::exists(FmDir() / "range.txt"));
  ASSERT_FALSE(log.Messages.empty());
  EXPECT_EQ(log.Messages.back(), "Koniec");
}

TEST_F(PrinterImportTest, UserBreakStopsTheReadingWithoutReports) {
  fake.Records = {Daily(1, 5), Daily(2, 6)};
  Open();
  prompts.BreakAfterPumps = 0;
  prompts.BreakCount = 1000;
  prompts.Answers = {true};
  ImportPrinterFiscalMemory(browser, printer);
  EXPECT_EQ(fake.CountOf("27#s"), 0);
  EXPECT_FALSE(fs::exists(FmDir() / "range.txt"));
  EXPECT_EQ(log.Messages, std::vector<std::string>{"Koniec"});
}

TEST(PrinterModel, VersionTextsSelectLineWidthInvoicesAndPharmacy) {
  struct TCase {
    const char* Version;
    int LineLen;
    bool Invoices, Pharmacy;
  } cases[] = {
      {"QS-1 1.00", 44, false, false},     {"VANTA 2.1", 44, false, false}, {"VANTA E 2.1", 44, true, false},
      {"TIKAPOS 1.0", 48, true, false},    {"VANTA TIKAPOS", 44, true, false},
      {"VANTA A E 3.0", 44, false, true},
  };
  for (const auto& c : cases) {
    const TPrinterModel m = PrinterModelOf(c.Version);
    EXPECT_EQ(m.LineLen, c.LineLen) << c.Version;
    EXPECT_EQ(m.HasInvoices, c.Invoices) << c.Version;
    EXPECT_EQ(m.PharmacyVersion, c.Pharmacy) << c.Version;
  }
}

TEST(PrinterRecordDate, HeaderTokensGiveTheDateOrAConversionError) {
  RFMRecord r;
  r.HeaderTokens = {"24", "03", "05", "21", "30", "15"};
  EXPECT_EQ(RecordHeaderDate(r), EncodeDateTime(2024, 3, 5, 21, 30, 15));
  r.HeaderTokens[0] = "x";  // a year that is no number counts as 0
  EXPECT_EQ(RecordHeaderDate(r), EncodeDateTime(2000, 3, 5, 21, 30, 15));
  r.HeaderTokens[2] = "5a";
  EXPECT_THROW(RecordHeaderDate(r), EConvertError);
  r.HeaderTokens[2] = "32";
  EXPECT_THROW(RecordHeaderDate(r), EConvertError);
}

// ---- electronic copy ----

std::string DayFile(int no) {
  test::TDayFixture d;
  d.ReportNo = no;
  return test::Cp(d.Lines());
}

TEST(ECopyPacket, DecodesNumberStatusNameAndEscapedPayload) {
  const std::string body = test::PacketBody(7, 1, "0157.txt", std::string("a\x1b\r\n\\\x86z", 7));
  TECopyPacket p;
  ASSERT_TRUE(DecodeECopyPacket(test::PrinterFrameOf(body + test::PrinterCheck(body)), p));
  EXPECT_EQ(p.Number, 7);
  EXPECT_EQ(p.Status, 1);
  EXPECT_EQ(p.Name, "0157.txt");
  EXPECT_EQ(p.Payload, std::string("a\x1b\r\n\\\x86z", 7));
  ASSERT_TRUE(DecodeECopyPacket(test::PrinterFrameOf("@EP0/2/\r0/0/\rXX"), p));
  EXPECT_EQ(p.Status, 2);
  EXPECT_TRUE(p.Name.empty());
  EXPECT_FALSE(DecodeECopyPacket(test::PrinterFrameOf("@EPx/0/a\r0/0/b\rXX"), p));
  EXPECT_EQ(CardFieldOf("ABC12345678"), "ABC12345.678");
}

class ECopyImportTest : public PrinterImportTest {
 protected:
  void Serve(TPacketServer& server) {
    fake.OnFileRequest = [&server](const std::string& req) {
      if (req.find("/5/") != std::string::npos) return std::string();  // no card history here
      return server(req);
    };
    Open();
    browser.ByNumber = true;
    browser.FromNo = 1;
    browser.ToNo = 2143;
  }
  std::vector<std::string> FileRequests() {
    std::vector<std::string> out;
    for (const auto& c : fake.Commands())
      if (c.find("@EP") != std::string::npos && c.find("/5/") == std::string::npos)
        out.push_back(c.substr(0, c.size() - 2));  // without the check code
    return out;
  }
};

TEST_F(ECopyImportTest, FilesArriveByteForByteInTheirGroupFolders) {
  TPacketServer server;
  server.Files = {{"0099.txt", DayFile(99)}, {"0100.txt", DayFile(100)}};
  Serve(server);
  // A printer without a card history leaves the archived one as it was.
  test::WriteFile(CdDir() / "idhist.txt", "old");
  ImportPrinterECopy(browser, printer, FastLimits());
  EXPECT_EQ(test::ReadFile(CdDir() / "idhist.txt"), "old");
  EXPECT_EQ(test::ReadFile(CdDir() / "0001" / "0099.txt"), server.Files[0].second);
  EXPECT_EQ(test::ReadFile(CdDir() / "0100" / "0100.txt"), server.Files[1].second);
  ASSERT_EQ(browser.PrintoutsSet.RecordCount(), 2u);
  EXPECT_EQ(browser.PrintoutsSet[0].PrintoutNo, 99);
  EXPECT_EQ(browser.PrintoutsSet[1].File, CdDir().string() + "/0100/0100.txt");
  EXPECT_TRUE(browser.NewDataFound);
  EXPECT_EQ(log.Messages.back(), "Koniec");
  const auto requests = FileRequests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0], "0@EP0/2/\r1\r2143\r1/");
  // No leftovers of the temporary files.
  for (const auto& e : fs::recursive_directory_iterator(CdDir()))
    EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
}

TEST_F(ECopyImportTest, CorruptedAndMissingPacketsAreAskedForAgain) {
  TPacketServer server;
  server.Files = {{"0001.txt", DayFile(1)}};
  server.CorruptReplies = {2, 5};
  server.SilentReplies = {3};
  Serve(server);
  ImportPrinterECopy(browser, printer, FastLimits());
  EXPECT_EQ(test::ReadFile(CdDir() / "0001" / "0001.txt"), server.Files[0].second);
  int step2 = 0;
  for (const auto& r : FileRequests()) step2 += r.find("@EP2/") != std::string::npos;
  EXPECT_EQ(step2, 3);
}

TEST_F(ECopyImportTest, RepeatedPacketNumberStopsAfterTheFourthWithoutAHalfFile) {
  TPacketServer server;
  server.Files = {{"0001.txt", DayFile(1)}, {"0002.txt", DayFile(2)}};
  server.PacketSize = 512;
  // The repeats begin with the first packet of the second file.
  server.RepeatNumberFrom = static_cast<int>((server.Files[0].second.size() + 511) / 512) + 1;
  Serve(server);
  // An archived copy of the second file must survive the broken transfer.
  test::WriteFile(CdDir() / "0001" / "0002.txt", "old");
  EXPECT_THROW(ImportPrinterECopy(browser, printer, FastLimits()), EQuorvelError);
  EXPECT_EQ(test::ReadFile(CdDir() / "0001" / "0001.txt"), server.Files[0].second);
  EXPECT_EQ(test::ReadFile(CdDir() / "0001" / "0002.txt"), "old");
  EXPECT_EQ(browser.PrintoutsSet.RecordCount(), 1u);
  EXPECT_EQ(log.Messages.back(), "Koniec");
  int step2 = 0;
  for (const auto& r : FileRequests()) step2 += r.find("@EP2/") != std::string::npos;
  EXPECT_EQ(step2, 3);  // asked again three times; the fourth failure ends it
}

TEST_F(ECopyImportTest, UserBreakDeletesTheFileBeingWritten) {
  TPacketServer server;
  server.Files = {{"0001.txt", DayFile(1)}};
  Serve(server);
  prompts.BreakAfterPumps = 0;
  prompts.BreakCount = 1000;
  prompts.Answers = {true, true, true, true};
  // The break is seen either between packets by the import or inside a read by the port's wait
  // loop, whichever comes first on a busy machine; both end the transfer without the file.
  bool brokeInsideARead = false;
  try {
    ImportPrinterECopy(browser, printer, FastLimits());
  } catch (const EQuorvelError&) {
    brokeInsideARead = true;
  }
  EXPECT_FALSE(fs::exists(CdDir() / "0001" / "0001.txt"));
  EXPECT_EQ(browser.PrintoutsSet.RecordCount(), 0u);
  EXPECT_FALSE(browser.NewDataFound);
  ASSERT_FALSE(prompts.Questions.empty());
  if (!brokeInsideARead) {
    EXPECT_EQ(prompts.Questions[0].Text, "Czy przerwac odczyt?");
    EXPECT_EQ(log.Messages.back(), "Koniec");
  }
}

TEST_F(ECopyImportTest, FileNamesLeavingTheDeviceDirectoryAreRefused) {
  for (const std::string name : {"../../evil.txt", "/tmp/evil.txt", "..", "sub/0001.txt"}) {
    SCOPED_TRACE(name);
    TPacketServer server;
    server.Files = {{name, DayFile(1)}};
    TFakePrinter local;
    local.OnFileRequest = [&server](const std::string& req) {
      return req.find("/5/") != std::string::npos ? std::string() : server(req);
    };
    local.Start();
    TFPrinter p(&prompts);
    ASSERT_TRUE(p.OpenPort(local.Path()));
    p.PacketTimeout = 100;
    browser.ByNumber = true;
    try {
      ImportPrinterECopy(browser, p, FastLimits());
      ADD_FAILURE() << "accepted";
    } catch (const EQuorvelError& e) {
      EXPECT_NE(std::string(e.what()).find("poza katalogiem"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(tmp / "evil.txt"));
    EXPECT_FALSE(fs::exists(tmp / "archive" / "evil.txt"));
    EXPECT_FALSE(fs::exists(tmp / "archive" / "CDData" / "evil.txt"));
  }
}

TEST_F(ECopyImportTest, FileWithBrokenHeaderIsDroppedAndReported) {
  TPacketServer server;
  server.Files = {{"0001.txt", DayFile(1)}, {"0002.txt", "no header here\r\n"}, {"0003.txt", DayFile(3)}};
  Serve(server);
  EXPECT_THROW(ImportPrinterECopy(browser, printer, FastLimits()), EQuorvelError);
  EXPECT_TRUE(fs::exists(CdDir() / "0001" / "0001.txt"));
  EXPECT_FALSE(fs::exists(CdDir() / "0001" / "0002.txt"));
  EXPECT_FALSE(fs::exists(CdDir() / "0001" / "0003.txt"));
}

TEST_F(ECopyImportTest, SilentPrinterEndsWithAnErrorAndNothingHalfWritten) {
  TPacketServer server;
  server.Files = {{"0001.txt", DayFile(1)}};
  for (int i = 2; i < 100; ++i) server.SilentReplies.insert(i);
  Serve(server);
  EXPECT_THROW(ImportPrinterECopy(browser, printer, FastLimits()), EQuorvelError);
  EXPECT_FALSE(fs::exists(CdDir() / "0001" / "0001.txt"));
}

TEST_F(ECopyImportTest, AnotherDevicesCopyIsAskedForByItsCardField) {
  TPacketServer server;
  server.Files = {{"0001.txt", DayFile(1)}};
  Serve(server);
  browser.SourceDir = "XYZ87654321";
  ImportPrinterECopy(browser, printer, FastLimits());
  EXPECT_EQ(fake.CountOf("#u"), 0);
  const auto requests = FileRequests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0], "0@EP0/2/XYZ87654.321\r1\r2143\r1/");
  EXPECT_TRUE(fs::exists(CdDir("XYZ87654321") / "0001" / "0001.txt"));
}

// ---- through the browser ----

TEST_F(ECopyImportTest, NewDataModeReadsFrom158AndKeepsTheArchivedRows) {
  for (int n = 1; n <= 157; ++n) {
    const int group = n / 100 * 100;
    test::WriteFile(CdDir() / Format("%04d", group == 0 ? 1 : group) / Format("%04d.txt", n), DayFile(n));
  }
  TPacketServer server;
  server.Files = {{"0158.txt", DayFile(158)}};
  Serve(server);
  TR5Device reg(&prompts);
  TDeviceLinks links{printer, reg, FastLimits()};
  AttachDeviceLinks(browser, links);
  browser.SourceKind = skPrinterECopy;
  browser.NewOnly = true;
  browser.LoadSource();
  const auto requests = FileRequests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0], "0@EP0/2/\r158\r2143\r1/");
  ASSERT_EQ(browser.PrintoutsSet.RecordCount(), 158u);
  EXPECT_EQ(browser.PrintoutsSet[156].PrintoutNo, 157);
  EXPECT_EQ(browser.PrintoutsSet[157].PrintoutNo, 158);
  EXPECT_EQ(browser.UniqueNo, "ABC12345678");
}

TEST_F(PrinterImportTest, StatusBitThreeClearPutsTheDataUnderADash) {
  fake.Status = 0;
  fake.Records = {Daily(1, 5)};
  Open();
  TR5Device reg(&prompts);
  TDeviceLinks links{printer, reg};
  AttachDeviceLinks(browser, links);
  browser.SourceKind = skPrinterFiscalMemory;
  browser.ImportAll = true;
  browser.LoadSource();
  EXPECT_FALSE(browser.KeepFirstChar);
  EXPECT_EQ(browser.UniqueNo, "ABC12345678");
  EXPECT_TRUE(fs::exists(FmDir("-BC12345678") / "0001.fmr"));
  EXPECT_FALSE(fs::exists(FmDir()));
}

TEST_F(PrinterImportTest, DeviceSourceWithoutAnElevenCharacterNumberFails) {
  fake.Unique = "ABC1234567";
  Open();
  TR5Device reg(&prompts);
  TDeviceLinks links{printer, reg};
  AttachDeviceLinks(browser, links);
  browser.SourceKind = skPrinterECopy;
  try {
    browser.LoadSource();
    ADD_FAILURE() << "loaded";
  } catch (const EQuorvelError& e) {
    EXPECT_STREQ(e.what(), "Brak numeru unikatowego lub komunikacji");
  }
}

// ---- the shared port setting ----

TEST(DeviceLinkSettings, ConfigurationSpeedsAndStoredValues) {
  TConfig config;
  TFPrinter printer;
  config.PortName = "COM3";
  config.PortSpeed = 57600;
  ApplyLinkSettings(config, printer);
  EXPECT_EQ(printer.PortName, "COM3");
  EXPECT_EQ(printer.COMPort.BaudValue(), 57600u);
  config.PortSpeed = 12345;  // not one of the seven: the link keeps its speed
  ApplyLinkSettings(config, printer);
  EXPECT_EQ(printer.COMPort.BaudValue(), 57600u);

  printer.HubChannelNumber = 2;
  printer.HubChannelName = "Przeglądarka - Kasa"_cp;
  TConfig stored;
  StoreLinkSettings(printer, stored, "/data/FMData");
  EXPECT_EQ(stored.PortName, "COM3");
  EXPECT_EQ(stored.PortSpeed, 57600);
  EXPECT_EQ(stored.ChannelID, 2);
  EXPECT_EQ(stored.ChannelName, printer.HubChannelName);
  EXPECT_EQ(stored.LastDir, "/data/FMData");
  printer.COMPort.SetBaudValue(1000);
  stored.PortSpeed = 9600;
  StoreLinkSettings(printer, stored, "");
  EXPECT_EQ(stored.PortSpeed, 9600);
}

TEST(DeviceLinkOpen, NoPortFailsAndARegisterTakesThePrintersSerialLine) {
  TScriptedPrompts prompts;
  TFPrinter printer(&prompts);
  TR5Device reg(&prompts);
  EXPECT_FALSE(OpenDeviceLink(printer, reg, " Brak ", true));
  EXPECT_FALSE(OpenDeviceLink(printer, reg, "", true));
  test::TPtyPair pty;
  printer.COMPort.SetBaudValue(19200);
  EXPECT_TRUE(OpenDeviceLink(printer, reg, pty.Path(), true));
  EXPECT_TRUE(printer.COMPort.Active());
  EXPECT_EQ(reg.Mode, 0);
  EXPECT_EQ(reg.Comm.PortName(), pty.Path());
  EXPECT_EQ(reg.Comm.BaudValue(), 19200u);
  // For a register the printer's port is closed again and the register's line is tested.
  EXPECT_TRUE(OpenDeviceLink(printer, reg, pty.Path(), false));
  EXPECT_FALSE(printer.COMPort.Active());
}

}  // namespace
}  // namespace quorvel
