// The automatic download's tick with a host that records what the windows would do and a device
// whose import is played by the test: the time-of-day rule, the running-download rule, the
// request of new data, the notice, the end of the program, and failures that keep the timer on.
#include "import/AutoDownload.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "archive/uConfig.h"
#include "base/DateTime.h"
#include "base/Errors.h"
#include "base/TextUtils.h"
#include "import/ECopyFixtures.h"
#include "import/TPrintoutsBrowser.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

class TRecordingHost : public TAutoDownloadHost {
 public:
  void StartTimer(int32_t ms) override { Log.push_back("start " + std::to_string(ms)); }
  void StopTimer() override { Log.push_back("stop"); }
  std::unique_ptr<TPrintoutsBrowser> CreateBrowser() override {
    Log.push_back("browser");
    return std::make_unique<TPrintoutsBrowser>(Prompts);
  }
  void ConnectDevice(TPrintoutsBrowser& b, bool isPrinter) override {
    Log.push_back(isPrinter ? "connect printer" : "connect register");
    b.DeviceUniqueNo = [](TPrintoutsBrowser&) { return AnsiString("ABC12345678"); };
    b.DeviceImport = [this](TPrintoutsBrowser& browser) {
      ++Imports;
      if (Import) Import(browser);
    };
  }
  void ShowBalloon(std::string_view title, std::string_view text) override {
    Log.push_back("balloon " + std::string(title) + " | " + std::string(text));
  }
  void Terminate() override { Log.push_back("terminate"); }
  void ShowError(std::string_view message) override { Log.push_back("error " + std::string(message)); }

  bool Saw(const std::string& entry) const { return std::find(Log.begin(), Log.end(), entry) != Log.end(); }

  TScriptedPrompts Prompts;
  std::vector<std::string> Log;
  std::function<void(TPrintoutsBrowser&)> Import;
  int Imports = 0;
};

class AutoDownload : public testing::Test {
 protected:
  void SetUp() override {
    config.AutoDownload = true;
    config.AutoDownloadInteval = 60;
    config.SaveDirectory = tmp.Path().string() + "/";
    config.DeviceType = 1;
    TClock::SetForTests(EncodeDateTime(2009, 3, 6, 21, 0));
  }
  void TearDown() override { TClock::SetForTests(std::nullopt); }

  // An import that brings one new daily-report file, as a device with new data would.
  void NewFileEachImport() {
    host.Import = [this](TPrintoutsBrowser& b) {
      test::TDayFixture day;
      day.ReportNo = ++lastReport;
      const fs::path dir = b.DeviceDirectory(b.UniqueNo, true, true);
      const fs::path file = day.Write(dir);
      b.PrintoutsSet.Append({day.ReportNo, EncodeDateTime(2009, 3, day.Day, 8, 0), file.string()});
      b.NewDataFound = true;
      seen.push_back(b);
    };
  }

  struct TSeen {
    uint8_t SourceKind;
    bool ByNumber, ImportAll, NewOnly, ResetList;
    int32_t FromNo, ToNo;
    std::string DirectoryOverride;
    TSeen(const TPrintoutsBrowser& b)
        : SourceKind(b.SourceKind), ByNumber(b.ByNumber), ImportAll(b.ImportAll), NewOnly(b.NewOnly),
          ResetList(b.ResetList), FromNo(b.FromNo), ToNo(b.ToNo), DirectoryOverride(b.DirectoryOverride) {}
  };

  test::TTempDir tmp;
  TConfig config;
  TRecordingHost host;
  TAutoDownload download{config, host};
  int lastReport = 0;
  std::vector<TSeen> seen;
};

TEST_F(AutoDownload, TimeOfDayRule) {
  config.DownloadAfterEnabled = true;
  config.DownloadAfterTime = EncodeDateTime(1999, 1, 1, 20, 0);  // only its time counts
  const struct {
    TDateTime Now;
    bool Downloads;
  } ticks[] = {
      {EncodeDateTime(2009, 3, 6, 8, 0), false},         {EncodeDateTime(2009, 3, 6, 19, 59, 59), false},
      {EncodeDateTime(2009, 3, 6, 20, 0), true},         {EncodeDateTime(2009, 3, 6, 23, 59, 59), true},
      {EncodeDateTime(2009, 3, 7, 0, 0, 30), false},     {EncodeDateTime(2009, 3, 7, 20, 30), true},
  };
  int downloads = 0;
  for (const auto& t : ticks) {
    SCOPED_TRACE(FormatDmyHm(t.Now));
    TClock::SetForTests(t.Now);
    host.Log.clear();
    download.Tick();
    EXPECT_EQ(download.LastTickDownloaded(), t.Downloads);
    downloads += t.Downloads;
    EXPECT_EQ(host.Imports, downloads);
    // The timer is stopped for the tick and started again after it, whatever the tick did.
    ASSERT_FALSE(host.Log.empty());
    EXPECT_EQ(host.Log.front(), "stop");
    EXPECT_EQ(host.Log.back(), "start 60000");
    EXPECT_EQ(download.State(), TAutoDownload::TState::Waiting);
  }
  config.DownloadAfterEnabled = false;
  TClock::SetForTests(EncodeDateTime(2009, 3, 8, 8, 0));
  download.Tick();
  EXPECT_TRUE(download.LastTickDownloaded());
}

TEST_F(AutoDownload, NewDataRequestNoticeAndEnd) {
  NewFileEachImport();
  config.CloseAfterDownload = true;
  config.Directory = Utf8ToCp1250((tmp / "Kopie").string());
  download.Caption = "Quorvel";
  download.Tick();
  ASSERT_EQ(seen.size(), 1u);
  // An empty directory: everything is read.
  EXPECT_EQ(seen[0].SourceKind, skRegisterECopy);
  EXPECT_TRUE(seen[0].ByNumber);
  EXPECT_EQ(seen[0].FromNo, 0);
  EXPECT_EQ(seen[0].ToNo, 2143);
  EXPECT_TRUE(seen[0].NewOnly);
  EXPECT_TRUE(fs::exists(tmp / "Kopie" / "ABC12345678" / "0001" / "0001.txt"));
  EXPECT_TRUE(host.Saw("connect register"));
  EXPECT_TRUE(host.Saw("balloon Quorvel | Pobrano nowe dane"));
  EXPECT_TRUE(host.Saw("terminate"));
  EXPECT_TRUE(download.LastTickFoundNewData());
  EXPECT_EQ(download.AutoDownloadForm, nullptr);

  // The next tick asks only for what follows the highest report archived.
  host.Log.clear();
  download.Tick();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].FromNo, 2);
  EXPECT_EQ(seen[1].ToNo, 2143);
  EXPECT_FALSE(seen[1].ResetList);

  // A device with nothing new: no notice and no end, even with "CloseAfterDownload".
  host.Import = nullptr;
  host.Log.clear();
  download.Tick();
  EXPECT_EQ(host.Imports, 3);
  EXPECT_FALSE(download.LastTickFoundNewData());
  EXPECT_FALSE(host.Saw("balloon Quorvel | Pobrano nowe dane"));
  EXPECT_FALSE(host.Saw("terminate"));

  // A printer's copy with "DeviceType" 0.
  config.DeviceType = 0;
  NewFileEachImport();
  download.Tick();
  EXPECT_EQ(seen.back().SourceKind, skPrinterECopy);
  EXPECT_TRUE(host.Saw("connect printer"));
}

TEST_F(AutoDownload, NoSecondDownloadWhileOneRuns) {
  int inner = 0;
  host.Import = [&](TPrintoutsBrowser& b) {
    EXPECT_EQ(download.AutoDownloadForm, &b);
    EXPECT_EQ(download.State(), TAutoDownload::TState::Downloading);
    // A tick that comes while the import lets the program work on.
    download.Tick();
    inner += !download.LastTickDownloaded();
  };
  download.Tick();
  EXPECT_EQ(host.Imports, 1);
  EXPECT_EQ(inner, 1);
  EXPECT_EQ(std::count(host.Log.begin(), host.Log.end(), "browser"), 1);
  EXPECT_EQ(download.AutoDownloadForm, nullptr);
}

TEST_F(AutoDownload, FailedDownloadKeepsTheTimerWhileEnabled) {
  host.Import = [](TPrintoutsBrowser&) { throw EQuorvelError("Błąd odczytu."); };
  download.Tick();
  EXPECT_TRUE(host.Saw("error Błąd odczytu."));
  EXPECT_EQ(host.Log.back(), "error Błąd odczytu.");
  EXPECT_TRUE(host.Saw("start 60000"));
  EXPECT_EQ(download.AutoDownloadForm, nullptr);
  EXPECT_EQ(download.State(), TAutoDownload::TState::Waiting);

  // Switched off meanwhile: the tick ends with the timer off.
  config.AutoDownload = false;
  host.Log.clear();
  download.Tick();
  EXPECT_FALSE(host.Saw("start 60000"));
  EXPECT_EQ(download.State(), TAutoDownload::TState::Off);

  // Arming follows the configuration.
  download.ArmAutoDownloadTimer();
  EXPECT_EQ(download.State(), TAutoDownload::TState::Off);
  config.AutoDownload = true;
  config.AutoDownloadInteval = 10;
  download.ArmAutoDownloadTimer();
  EXPECT_EQ(host.Log.back(), "start 10000");
  EXPECT_EQ(download.State(), TAutoDownload::TState::Waiting);
}

TEST(AutoDownloadClock, BeforeTimeOfDay) {
  const TDateTime eight = EncodeDateTime(2000, 1, 1, 20, 0);
  EXPECT_TRUE(BeforeTimeOfDay(EncodeDateTime(2009, 1, 1, 19, 59, 59), eight));
  EXPECT_FALSE(BeforeTimeOfDay(EncodeDateTime(2009, 1, 1, 20, 0, 0), eight));
  // Rounding of the day fraction does not make 20:00 a moment early.
  EXPECT_FALSE(BeforeTimeOfDay(EncodeDate(2009, 1, 1) + 20.0 / 24.0 - 1e-10, eight));
  EXPECT_FALSE(BeforeTimeOfDay(EncodeDateTime(2009, 1, 1, 8, 0), 0));
}

}  // namespace
}  // namespace quorvel
