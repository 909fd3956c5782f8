// quorvel-cli import --device taxi against quorvel-sim taxi on a pseudo-terminal.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/QVDDeviceInfo.h"
#include "archive/uDailyRecord.h"
#include "base/Cp1250.h"
#include "base/DateTime.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using test::TTempDir;

const char* kUnique = "ABC12345678";

// Entries as the meter holds them: reply code, type, fields.
const std::vector<std::string> kRateChange = {"129", "11", "01-03-2024 08:00", "0", "0", "0", "0", "2300", "800",
                                              "500", "0", "", "", "", "0", "1", "2", "0", "0", "0", "0"};
std::vector<std::string> Daily(int number, const std::string& gross) {
  return {"129", "10", "0" + std::to_string(number) + "-03-2024 21:15", "12", "0", number == 2 ? "8192" : "0", "150",
          gross, "2000", "0", "0", "0", "0", "0", std::to_string(number), "Kierowca", "", "2100", "12000"};
}
const std::vector<std::string> kReset = {"129", "12", "02-03-2024", "1", "4", "0"};
const std::vector<std::string> kCurrency = {"129", "15", "0", "EUR", "24", "3", "3", "6", "30"};
const std::vector<std::string> kSkipped = {"129", "14", "1", "2", "3", "4", "5", "6", "7"};
const std::vector<std::string> kCurrencyNoDate = {"129", "15", "0", "PLN", "0", "0", "0", "0", "0"};
const std::vector<std::string> kEnd = {"130", "25"};

class TaxiImportE2E : public ::testing::Test {
 protected:
  void WriteMeter(const std::vector<std::vector<std::string>>& entries) {
    test::WriteFile(tmp / "meter" / "meter.txt", std::string("UniqueNo=") + kUnique + "\nNIP=525-000-11-22\n");
    std::string text = "# the meter's fiscal memory\n";
    for (const auto& e : entries) {
      for (std::size_t i = 0; i < e.size(); ++i) text += (i ? "\t" : "") + e[i];
      text += "\n";
    }
    test::WriteFile(tmp / "meter" / "entries.txt", text);
  }
  test::TRunResult Import(const std::vector<std::string>& faults, const std::vector<std::string>& range = {"--all"},
                          const char* timeout = "400") {
    test::TSimProcess sim("taxi", tmp / "meter", tmp / "tty", faults);
    EXPECT_TRUE(sim.Running());
    std::vector<std::string> args = {"import", "--device", "taxi", "--port", (tmp / "tty").string(),
                                     "--timeout", timeout, "--quiet"};
    args.insert(args.end(), range.begin(), range.end());
    return test::RunProgram(QUORVEL_CLI_PATH, args, {"QUORVEL_DATA_ROOT=" + (tmp / "data").string()});
  }
  fs::path DeviceDir() const { return tmp / "data" / "FMData" / kUnique; }
  std::vector<RFMRecord> Records() const {
    std::vector<RFMRecord> out;
    for (int i = 1; fs::exists(DeviceDir() / RecordFileName(i)); ++i) {
      out.emplace_back();
      ReadRecordFile(DeviceDir() / RecordFileName(i), out.back());
    }
    return out;
  }
  std::vector<int> Kinds() const {
    std::vector<int> out;
    for (const auto& r : Records()) out.push_back(r.Kind);
    return out;
  }

  TTempDir tmp;
};

TEST_F(TaxiImportE2E, ThreeEntriesMakeThreeRecordFilesAndTheDescriptor) {
  WriteMeter({kRateChange, Daily(1, "10000"), Daily(2, "25050")});
  const auto r = Import({});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const auto records = Records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_FALSE(fs::exists(DeviceDir() / "0004.fmr"));
  EXPECT_EQ(records[0].Kind, kKindRateChange);
  EXPECT_EQ(records[0].Rates, (TRateTexts{"23.00", "8.00", "5.00", "0.00", "", "", ""}));
  EXPECT_EQ(records[0].TaxSchemes, (std::array<int32_t, 7>{0, 1, 2, 0, 0, 0, 0}));
  EXPECT_EQ(records[2].Kind, kKindDaily);
  EXPECT_EQ(records[2].Number, "2");
  EXPECT_DOUBLE_EQ(records[2].Date, EncodeDateTime(2024, 3, 2, 21, 15, 0));
  EXPECT_EQ(records[2].Gross[0], "250.50");
  EXPECT_EQ(records[2].GoodsChanged, "TAK");
  EXPECT_EQ(records[2].DeviceText1, "Kierowca");
  EXPECT_EQ(records[2].GrossTotal, "120.00");
  EXPECT_EQ(records[2].Rates[1], "8.00");  // carried from the rate change
  EXPECT_EQ(records[1].Gross[0], "100.00");

  TDeviceInfo info;
  ASSERT_TRUE(info.LoadDeviceInfo(DeviceDir() / "device.xml"));
  EXPECT_TRUE(info.TaxiVersion);
  EXPECT_EQ(info.LineLen, 48);
  EXPECT_FALSE(info.HasInvoices);
  EXPECT_FALSE(info.HasTotals);
  EXPECT_FALSE(info.PharmacyVersion);
  EXPECT_EQ(info.NIP, "525-000-11-22");
  // The view of the directory follows: the daily texts and the periodic report.
  EXPECT_TRUE(fs::exists(DeviceDir() / "0001.txt"));
  EXPECT_TRUE(fs::exists(DeviceDir() / "0002.txt"));
  EXPECT_TRUE(fs::exists(DeviceDir() / "range.txt"));
  EXPECT_FALSE(r.Out.empty());
}

TEST_F(TaxiImportE2E, EveryEntryTypeAndTheRangeTheMeterIsAskedFor) {
  WriteMeter({kRateChange, Daily(1, "100"), kReset, Daily(2, "200"), kCurrency, kSkipped, Daily(3, "300"),
              kCurrencyNoDate, kEnd});
  struct {
    std::vector<std::string> Range;
    std::vector<int> Kinds;
  } cases[] = {
      {{"--all"}, {6, 2, 7, 2, 10, 11, 2, 12, 14}},
      {{"--numbers", "3", "10"}, {10, 11, 2, 12, 14}},
      {{"--dates", "02-03-2024", "31-03-2024"}, {7, 2, 10, 11, 2, 12, 14}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Range[0]);
    fs::remove_all(tmp / "data");
    const auto r = Import({}, c.Range);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(Kinds(), c.Kinds);
  }
  const auto records = Records();
  ASSERT_EQ(records.size(), 7u);
  EXPECT_EQ(records[0].ResetNo, "4");
  EXPECT_DOUBLE_EQ(records[2].Currency.ChangeDate, EncodeDateTime(2024, 3, 3, 6, 30, 0));
  EXPECT_EQ(records[5].Currency.Name, "PLN");
  // The currency change without a date keeps the one before.
  EXPECT_DOUBLE_EQ(records[5].Currency.ChangeDate, records[2].Currency.ChangeDate);
}

TEST_F(TaxiImportE2E, FaultsRecoverOrFailWithNothingWritten) {
  WriteMeter({Daily(1, "100"), Daily(2, "200"), Daily(3, "300")});
  struct {
    const char* Name;
    std::vector<std::string> Faults;
    std::vector<std::string> Range;
    int Exit;
    std::string Message;  // UTF-8, on standard error
    std::size_t Files;
  } cases[] = {
      {"ACK then EOT", {}, {"--numbers", "50", "60"}, 1, "Brak danych w podanym zakresie.", 0},
      {"EOT forced", {"--eot", "fm"}, {"--all"}, 1, "Brak danych w podanym zakresie.", 0},
      {"NAK", {"--nak", "fm"}, {"--all"}, 1, "Urządzenie nie zaakceptowało przesłanych danych.", 0},
      {"damaged entry", {"--corrupt", "2"}, {"--all"}, 1, "Błędna odpowiedź z kasy", 0},
      {"NIP refused", {"--nak", "nip"}, {"--all"}, 1, "Urządzenie nie zaakceptowało przesłanych danych.", 0},
      {"silent meter", {"--silent", "uid"}, {"--all"}, 1, "Brak numeru unikatowego lub komunikacji", 0},
      {"silent request", {"--silent", "fm"}, {"--all"}, 0, "", 0},
      {"stops after two", {"--stop-after", "2"}, {"--all"}, 0, "", 2},
      {"unfinished entry sent again", {"--truncate", "2", "--resend-ms", "600"}, {"--all"}, 0, "", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove_all(tmp / "data");
    const auto r = Import(c.Faults, c.Range);
    EXPECT_EQ(r.ExitCode, c.Exit) << r.Err;
    if (!c.Message.empty()) {
      EXPECT_NE(r.Err.find(c.Message), std::string::npos) << r.Err;
    }
    const auto records = Records();
    EXPECT_EQ(records.size(), c.Files);
    for (std::size_t i = 0; i < records.size(); ++i) EXPECT_EQ(records[i].Number, std::to_string(i + 1));
    EXPECT_EQ(fs::exists(DeviceDir() / "device.xml"), c.Files > 0);
    if (fs::exists(DeviceDir().parent_path())) {
      for (const auto& e : fs::directory_iterator(DeviceDir().parent_path())) {
        EXPECT_EQ(e.path().filename(), kUnique) << e.path();
      }
    }
  }
}

TEST_F(TaxiImportE2E, ASecondShorterReadingOverwritesOnlyItsOwnPositions) {
  WriteMeter({Daily(1, "100"), Daily(2, "200"), Daily(3, "300"), Daily(4, "400")});
  ASSERT_EQ(Import({}).ExitCode, 0);
  ASSERT_EQ(Records().size(), 4u);
  const auto r = Import({}, {"--numbers", "3", "10"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const auto records = Records();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].Number, "3");
  EXPECT_EQ(records[1].Number, "4");
  EXPECT_EQ(records[2].Number, "3");  // the earlier reading's files beyond are kept
  EXPECT_EQ(records[3].Number, "4");
}

}  // namespace
}  // namespace quorvel
