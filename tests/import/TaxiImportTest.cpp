#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/QVDDeviceInfo.h"
#include "archive/uDailyRecord.h"
#include "base/Errors.h"
#include "base/FileUtils.h"
#include "base/UserPrompts.h"
#include "import/TPrintoutsBrowser.h"
#include "import/TaxiImport.h"
#include "links/FiscalPrinter.h"
#include "links/LumoTaxiCommunication.h"
#include "links/PtyPair.h"
#include "links/TaxiMeterPeer.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using test::MeterFrame;
using test::TMeterAnswer;
using test::TPtyPair;
using test::TTaxiMeterPeer;

const std::string kNak("Urządzenie nie zaakceptowało przesłanych danych."_cp);
const std::string kEot("Brak danych w podanym zakresie."_cp);
const std::string kBadReply("Błędna odpowiedź z kasy"_cp);
const char* kUnique = "ABC12345678";

std::string Daily(int number) {
  return MeterFrame({"129", "10", "0" + std::to_string(number) + "-03-2024 21:15", "12", "0", "0", "150", "10000",
                     "2000", "0", "0", "0", "0", "0", std::to_string(number), "", "", "2100", "12000"});
}
std::string RateChange() {
  return MeterFrame({"129", "11", "01-03-2024 08:00", "0", "0", "0", "0", "2300", "800", "500", "0", "", "", "",
                     "0", "0", "0", "0", "0", "0", "0"});
}
const std::string kNipReply = MeterFrame({"113", "123-456-78-90"});
const std::string ACK = "\x06", EOT = "\x04", NAK = "\x15";

// The meter's side of one fiscal-memory reading: ACK and the first entry, each further entry
// after the host's ACK, then EOT; then the NIP exchange.
std::vector<TMeterAnswer> Reading(const std::vector<std::string>& entries, bool nip = true) {
  std::vector<TMeterAnswer> s;
  s.push_back({ACK + (entries.empty() ? EOT : entries[0])});
  for (std::size_t i = 1; i < entries.size(); ++i) s.push_back({entries[i]});
  if (!entries.empty()) s.push_back({EOT});
  if (nip) s.push_back({ACK + kNipReply});
  return s;
}

class TaxiImport : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(printer.OpenPort(pty.Path()));
    port.Timeout = 200;
    browser.ArchiveRootDir = (tmp / "archive").string() + "/";
    browser.UniqueNo = kUnique;
    browser.ByNumber = true;
    browser.FromNo = 0;
    browser.ToNo = kHighestReportNo;
    // The import's own messages come without a file name (the directory view names its files).
    browser.OnProgress = [this](TPrintoutsBrowser&, std::string_view file, std::string_view message, int count) {
      EXPECT_EQ(count, -1);
      if (file.empty()) progress.emplace_back(message);
    };
  }
  fs::path DeviceDir() const { return tmp / "archive" / "FMData" / kUnique; }
  // The report numbers of the record files 0001.fmr, 0002.fmr ... in the device directory.
  std::vector<std::string> Numbers() const {
    std::vector<std::string> out;
    for (int i = 1; fs::exists(DeviceDir() / RecordFileName(i)); ++i) {
      RFMRecord r;
      ReadRecordFile(DeviceDir() / RecordFileName(i), r);
      out.push_back(r.Number);
    }
    return out;
  }
  // An earlier reading of four daily reports, 90 to 93, with its descriptor.
  void OldArchive() {
    for (int i = 1; i <= 4; ++i) {
      RFMRecord r;
      r.Kind = kKindDaily;
      r.Number = std::to_string(89 + i);
      WriteRecordFile(DeviceDir() / RecordFileName(i), r);
    }
    TDeviceInfo info;
    info.NIP = "old";
    info.TaxiVersion = true;
    info.SaveDeviceInfo(DeviceDir() / "device.xml");
  }
  AnsiString ArchivedNip() const {
    TDeviceInfo info;
    return info.LoadDeviceInfo(DeviceDir() / "device.xml") ? info.NIP : AnsiString("none");
  }

  test::TTempDir tmp;
  TPtyPair pty;
  TScriptedPrompts prompts;
  TFPrinter printer{&prompts};
  TTaxiPrinterPort port{printer};
  TPrintoutsBrowser browser{prompts};
  std::vector<std::string> progress;
};

TEST_F(TaxiImport, ThreeEntriesThroughLoadSource) {
  browser.SourceKind = skTaxi;
  browser.UniqueNo.clear();
  browser.ImportAll = true;
  browser.DeviceUniqueNo = [this](TPrintoutsBrowser&) {
    return TLumoTaxiComm::ParseUniqueNumber(
        TLumoTaxiComm::Transact(port, TLumoTaxiComm::FrameRequest(TLumoTaxiComm::UniqueNumberRequest())));
  };
  browser.DeviceImport = [this](TPrintoutsBrowser& b) { ImportTaxiFiscalMemory(b, port); };
  std::vector<TMeterAnswer> script = {{ACK + MeterFrame({"131", kUnique})}, {""}};
  for (auto& a : Reading({RateChange(), Daily(1), Daily(2)})) script.push_back(a);
  TTaxiMeterPeer meter(pty, script);

  browser.LoadSource();

  const auto frames = meter.Frames();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[1], TLumoTaxiComm::FrameRequest("100\r129\r0\r1\r0\r0\r"));  // number 0 asks from 1
  EXPECT_EQ(frames[2], TLumoTaxiComm::FrameRequest(TLumoTaxiComm::NipRequest()));
  EXPECT_EQ(meter.Acks(), 5);  // the unique number, three entries, the NIP

  EXPECT_EQ(browser.SourceDir, DeviceDir().string() + "/");
  ASSERT_GE(progress.size(), 4u);
  progress.resize(4);
  EXPECT_EQ(progress, (std::vector<std::string>{"Raport nr ", "Raport nr 1", "Raport nr 2", "Koniec."}));
  ASSERT_TRUE(fs::exists(DeviceDir() / "0003.fmr"));
  EXPECT_FALSE(fs::exists(DeviceDir() / "0004.fmr"));
  RFMRecord r1, r3;
  ReadRecordFile(DeviceDir() / "0001.fmr", r1);
  ReadRecordFile(DeviceDir() / "0003.fmr", r3);
  EXPECT_EQ(r1.Kind, kKindRateChange);
  EXPECT_EQ(r3.Kind, kKindDaily);
  EXPECT_EQ(r3.Number, "2");
  // One record serves the whole reading: the daily report carries the rates of the change.
  EXPECT_EQ(r3.Rates[0], "23.00");

  TDeviceInfo info;
  ASSERT_TRUE(info.LoadDeviceInfo(DeviceDir() / "device.xml"));
  EXPECT_EQ(info.NIP, "123-456-78-90");
  EXPECT_TRUE(info.TaxiVersion);
  EXPECT_FALSE(info.PharmacyVersion);
  EXPECT_FALSE(info.HasInvoices);
  EXPECT_FALSE(info.HasTotals);
  EXPECT_EQ(info.LineLen, 48);
  const std::string xml = test::ReadFile(DeviceDir() / "device.xml");
  EXPECT_NE(xml.find("TaxiVersion=\"true\""), std::string::npos) << xml;

  // The fiscal-memory view follows: two daily reports listed, the periodic report written.
  EXPECT_EQ(browser.PrintoutsSet.RecordCount(), 2u);
  EXPECT_TRUE(fs::exists(DeviceDir() / "range.txt"));
  EXPECT_FALSE(browser.RangeReportMemo.empty());
  EXPECT_EQ(browser.FromNo, 1);
  EXPECT_EQ(browser.ToNo, 2);
}

TEST_F(TaxiImport, ReadingsAndFaults) {
  const std::vector<std::string> old = {"90", "91", "92", "93"};
  const std::string bad = "\x02" "128\r10\r" "00\x03";
  const std::string daily2 = Daily(2);
  struct {
    const char* Name;
    std::vector<TMeterAnswer> Script;
    std::string Error;
    std::vector<std::string> Numbers;
    AnsiString Nip;
    std::vector<std::string> Progress;
  } cases[] = {
      // A reading overwrites the positions it brings; the earlier reading's files beyond them stay.
      {"three entries", Reading({Daily(1), Daily(2), Daily(3)}), "", {"1", "2", "3", "93"}, "123-456-78-90",
       {"Raport nr 1", "Raport nr 2", "Raport nr 3", "Koniec."}},
      {"ACK then EOT", Reading({}, false), kEot, old, "old", {}},
      {"NAK", {{NAK}}, kNak, old, "old", {}},
      {"no answer", {}, "", old, "old", {"Koniec."}},
      {"another byte", {{"?"}}, "", old, "old", {"Koniec."}},
      {"silent after two", {{ACK + Daily(1)}, {Daily(2)}, {""}, {ACK + kNipReply}}, "", {"1", "2", "92", "93"},
       "123-456-78-90", {"Raport nr 1", "Raport nr 2", "Koniec."}},
      {"entry that does not decode", {{ACK + Daily(1)}, {Daily(2)}, {bad}}, kBadReply, old, "old",
       {"Raport nr 1", "Raport nr 2"}},
      {"NIP refused", {{ACK + Daily(1)}, {EOT}, {NAK}}, kNak, old, "old", {"Raport nr 1"}},
      {"NIP silent", {{ACK + Daily(1)}, {EOT}, {""}}, "", {"1", "91", "92", "93"}, "", {"Raport nr 1", "Koniec."}},
      // The end of entry 2 does not come: it is dropped, and the meter sends it again unacknowledged.
      {"entry sent again",
       {{ACK + Daily(1)}, {daily2.substr(0, daily2.size() - 3), 320, daily2}, {Daily(3)}, {EOT}, {ACK + kNipReply}},
       "", {"1", "2", "3", "93"}, "123-456-78-90", {"Raport nr 1", "Raport nr 2", "Raport nr 3", "Koniec."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TPtyPair line;
    TFPrinter linePrinter(&prompts);
    ASSERT_TRUE(linePrinter.OpenPort(line.Path()));
    TTaxiPrinterPort linePort(linePrinter);
    linePort.Timeout = 200;
    fs::remove_all(DeviceDir());
    OldArchive();
    progress.clear();
    std::string error;
    {
      TTaxiMeterPeer meter(line, c.Script);
      try {
        ImportTaxiFiscalMemory(browser, linePort);
      } catch (const EQuorvelError& e) {
        error = e.what();
      }
    }
    EXPECT_EQ(error, c.Error);
    EXPECT_EQ(Numbers(), c.Numbers);
    EXPECT_EQ(ArchivedNip(), c.Nip);
    EXPECT_EQ(progress, c.Progress);
    EXPECT_EQ(browser.SourceDir, DeviceDir().string() + "/");
    // Nothing of a reading is left beside the device directory.
    for (const auto& e : fs::directory_iterator(DeviceDir().parent_path()))
      EXPECT_EQ(e.path().filename(), kUnique) << e.path();
  }
}

TEST_F(TaxiImport, RangeByDateAndFirstNumber) {
  struct {
    bool ByNumber;
    int FromNo;
    const char* Body;
    int FromNoAfter;
  } cases[] = {
      {true, 0, "100\r129\r0\r1\r0\r0\r", 1},
      {true, 15, "100\r129\r0\r15\r0\r0\r", 15},
      {false, 0, "100\r129\r1\r2024-03-05 23:59:00\r0\r0\r", 0},
  };
  for (const auto& c : cases) {
    TMeterAnswer eot{ACK + EOT};
    TTaxiMeterPeer meter(pty, {eot});
    browser.ByNumber = c.ByNumber;
    browser.FromNo = c.FromNo;
    browser.FromDate = EncodeDateTime(2024, 3, 5, 8, 0, 0);
    browser.ToDate = EncodeDateTime(2024, 3, 9, 23, 59, 0);
    EXPECT_THROW(ImportTaxiFiscalMemory(browser, port), EQuorvelError);
    ASSERT_EQ(meter.Frames().size(), 1u);
    EXPECT_EQ(meter.Frames()[0], TLumoTaxiComm::FrameRequest(c.Body));
    EXPECT_EQ(browser.FromNo, c.FromNoAfter);
  }
}

TEST_F(TaxiImport, UserBreakDuringTheReadingWritesNothing) {
  OldArchive();
  port.Timeout = 2000;
  prompts.BreakAfterPumps = 1;
  prompts.BreakCount = 1;
  prompts.Answers = {true};
  TTaxiMeterPeer meter(pty, {{ACK + Daily(1)}, {""}});  // the meter then keeps silent
  try {
    ImportTaxiFiscalMemory(browser, port);
    ADD_FAILURE() << "no error";
  } catch (const EQuorvelError& e) {
    EXPECT_EQ(std::string(e.what()), "Komunikacja została przerwana przez użytkownika."_cp);
  }
  ASSERT_EQ(prompts.Questions.size(), 1u);
  EXPECT_EQ(Numbers(), (std::vector<std::string>{"90", "91", "92", "93"}));
  EXPECT_EQ(ArchivedNip(), "old");
}

TEST_F(TaxiImport, UniqueNumberThatLeavesTheArchiveIsRefused) {
  browser.UniqueNo = "../../abcde";
  TTaxiMeterPeer meter(pty, Reading({Daily(1)}));
  try {
    ImportTaxiFiscalMemory(browser, port);
    ADD_FAILURE() << "no error";
  } catch (const EQuorvelError& e) {
    EXPECT_NE(std::string(e.what()).find("../../abcde"), std::string::npos);
  }
  EXPECT_TRUE(meter.Frames().empty());
  EXPECT_FALSE(fs::exists(tmp / "abcde"));
  EXPECT_FALSE(fs::exists(tmp / "archive" / "abcde"));
}

}  // namespace
}  // namespace quorvel
