// quorvel-cli import --device register and quorvel-cli watch against quorvel-sim register on a
// pseudo-terminal, into a temporary archive: the electronic copy byte for byte in its group
// folders with the card history, the fiscal memory as record files, daily texts, range.txt and
// device.xml, the new-data mode, and the register's faults during the transfer, from which the
// import either recovers exactly or fails with the link's message and nothing half-written.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/QVDDeviceInfo.h"
#include "archive/uConfig.h"
#include "archive/uDailyRecord.h"
#include "base/Cp1250.h"
#include "base/DateTime.h"
#include "base/TextUtils.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using test::TTempDir;

// The fiscal memory the simulator holds: daily reports 1..3 with a skipped kind "6", a rate
// change, RAM resets and both currency changes between them (amounts in hundredths).
const char* const kFiscalMemory =
    "1;1;090102;0;12300;10000;2000;300;0;0;0;0;2300;5;1;X;3;0;0;100;200;300;0;0;0;0;600;12300\n"
    "6;090102\n"
    "4;090103;0800;0;2300;0800;0500;0000;FFFF;9900;9900\n"
    "2;4;090103;1015;0;1\n"
    "5;090103;EUR\n"
    "8;000000;PLN\n"
    "1;2;090103;2;5000;5000;0;0;0;0;0;0;935;2;0;Y;4;1;250;50;0;0;0;0;0;0;650;17300\n"
    "3;5;090104;0905;0;0\n"
    "1;3;090104;0;99;99;0;0;0;0;0;0;19;1\n";

class RegisterImportE2E : public testing::Test {
 protected:
  void SetUp() override {
    const auto gen = test::RunProgram(QUORVEL_SIM_PATH, {"generate", "--out", (tmp / "gen").string(), "--files", "4",
                                                         "--line-len", "48", "--unique", "ABC12345678"});
    ASSERT_EQ(gen.ExitCode, 0) << gen.Err;
    test::WriteFile(Data() / "register.txt", "UniqueNo=ABC12345678\nNIP=525-000-11-22\n");
    test::WriteFile(Data() / "fm.txt", kFiscalMemory);
    fs::create_directories(Data() / "ecopy");
    fs::create_directories(Data() / "cards");
    for (int n = 1; n <= 4; ++n) fs::copy_file(GenFile(n), Data() / "ecopy" / Format("%04d.txt", n));
    fs::copy_file(tmp / "gen" / "idhist.txt", Data() / "cards" / "idhist.txt");
  }

  fs::path Data() const { return tmp / "data"; }
  fs::path Root() const { return tmp / "root"; }
  fs::path CdDir() const { return Root() / "CDData" / "ABC12345678"; }
  fs::path FmDir() const { return Root() / "FMData" / "ABC12345678"; }
  fs::path GenFile(int n) const { return tmp / "gen" / "0001" / Format("%04d.txt", n); }

  // Starts the simulator with `faults`, runs quorvel-cli, and returns the simulator's notes.
  test::TRunResult Run(const std::string& model, const std::vector<std::string>& faults,
                       const std::vector<std::string>& args, std::string* played = nullptr) {
    const fs::path link = tmp / ("port" + std::to_string(runs_));
    ++runs_;
    std::vector<std::string> simArgs = {"--model", model, "--answer-ms", "2000"};
    simArgs.insert(simArgs.end(), faults.begin(), faults.end());
    test::TSimProcess sim("register", Data(), link, simArgs);
    std::vector<std::string> all = args;
    all.insert(all.end(), {"--port", link.string(), "--timeout", "500"});
    auto r = test::RunProgram(QUORVEL_CLI_PATH, all, {"QUORVEL_DATA_ROOT=" + Root().string()});
    const std::string notes = sim.Stop();
    if (played) *played = notes;
    return r;
  }
  test::TRunResult Import(const std::string& data, const std::vector<std::string>& faults = {},
                          const std::string& model = "Varno", const std::vector<std::string>& extra = {"--all"},
                          std::string* played = nullptr) {
    std::vector<std::string> args = {"import", "--device", "register", "--data", data, "--no"};
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(model, faults, args, played);
  }

  // Everything below `dir` as relative paths, sorted.
  static std::vector<std::string> Tree(const fs::path& dir) {
    std::vector<std::string> out;
    if (!fs::exists(dir)) return out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
      if (e.is_regular_file()) out.push_back(fs::relative(e.path(), dir).generic_string());
    std::sort(out.begin(), out.end());
    return out;
  }

  // The periodic report as quorvel-cli prints it: range.txt in UTF-8, one line per line.
  static std::string AsPrinted(const fs::path& rangeFile) {
    std::string out;
    const std::string text = test::ReadFile(rangeFile);
    for (auto line : SplitLines(text)) out += Cp1250ToUtf8(line) + "\n";
    return out;
  }

  void ExpectECopyExact(const test::TRunResult& r) {
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    for (int n = 1; n <= 4; ++n)
      EXPECT_EQ(test::ReadFile(CdDir() / "0001" / Format("%04d.txt", n)), test::ReadFile(GenFile(n))) << n;
    EXPECT_EQ(test::ReadFile(CdDir() / "idhist.txt"), test::ReadFile(tmp / "gen" / "idhist.txt"));
    EXPECT_EQ(Tree(CdDir()), (std::vector<std::string>{"0001/0001.txt", "0001/0002.txt", "0001/0003.txt",
                                                       "0001/0004.txt", "idhist.txt", "range.txt"}));
    EXPECT_EQ(r.Out, AsPrinted(CdDir() / "range.txt"));
  }

  TTempDir tmp;
  int runs_ = 0;
};

TEST_F(RegisterImportE2E, ElectronicCopyByteForByte) {
  const auto r = Import("ecopy");
  ExpectECopyExact(r);
  EXPECT_NE(r.Out.find("RAPORT FISKALNY"), std::string::npos);
  // The file list of the archive, as the browser lists it.
  const auto ls = test::RunProgram(QUORVEL_CLI_PATH, {"ls", CdDir().string()});
  ASSERT_EQ(ls.ExitCode, 0) << ls.Err;
  const auto rows = SplitLines(ls.Out);
  ASSERT_GE(rows.size(), 4u);
  for (int n = 1; n <= 4; ++n) {
    EXPECT_EQ(std::string(rows[n - 1].substr(0, rows[n - 1].find('\t'))), std::to_string(n));
    EXPECT_NE(rows[n - 1].find(Format("0001/%04d.txt", n)), std::string_view::npos) << rows[n - 1];
  }
}

TEST_F(RegisterImportE2E, NewDataReadsOnlyWhatFollowsTheArchive) {
  // The archive holds reports 1 and 2 already, marked after their data so that a rewrite would show.
  fs::create_directories(CdDir() / "0001");
  for (int n = 1; n <= 2; ++n)
    test::WriteFile(CdDir() / "0001" / Format("%04d.txt", n), test::ReadFile(GenFile(n)) + "kept");
  const auto r = Import("ecopy", {}, "Varno", {"--new"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  for (int n = 1; n <= 2; ++n)
    EXPECT_EQ(test::ReadFile(CdDir() / "0001" / Format("%04d.txt", n)), test::ReadFile(GenFile(n)) + "kept") << n;
  for (int n = 3; n <= 4; ++n)
    EXPECT_EQ(test::ReadFile(CdDir() / "0001" / Format("%04d.txt", n)), test::ReadFile(GenFile(n))) << n;
}

TEST_F(RegisterImportE2E, ElectronicCopyFaults) {
  // The transfer request is the sixth exchange: the unique number for the browser and for the
  // import, the status, the two card files, then the copy.
  const struct {
    const char* Name;
    std::vector<std::string> Faults;
    std::string Answer;
    std::string Error;  // empty: the import recovers
    std::string Played;
  } cases[] = {
      {"six naks", {"--nak", "6"}, "--no", "", "nak\nnak\nnak\nnak\nnak\nnak\n"},
      {"tabs", {"--tab", "2"}, "--no", "", ""},
      {"wrong checksums", {"--bad-checksum", "3"}, "--no", "", "bad-checksum\nbad-checksum\nbad-checksum\n"},
      {"silence once", {"--silent", "1"}, "--no", "", "silent\n"},
      {"error code, go on", {"--error", "B7"}, "--no", "", "error\n"},
      {"error code, stop", {"--error", "B7"}, "--yes", "Błędna komunikacja z kasą przerwana przez użytkownika", "error\n"},
      {"silence for good", {"--silent", "20"}, "--no", "Błąd odczytu.", "silent\nsilent\nsilent\n"},
      {"end after a frame", {"--eot-after-frame", "1"}, "--no",
       "Kasa zakończyła transmisję z powodu przekroczenia czasu oczekiwania.", "eot-after-frame\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove_all(Root());
    std::vector<std::string> faults = c.Faults;
    faults.insert(faults.end(), {"--faults-from", "6"});
    std::vector<std::string> extra = {"--all"};
    if (c.Answer == "--yes") extra.push_back("--yes");
    std::string played;
    const auto start = std::chrono::steady_clock::now();
    const auto r = Import("ecopy", faults, "Varno", extra, &played);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(played, c.Played);
    if (c.Error.empty()) {
      ExpectECopyExact(r);
      continue;
    }
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find(c.Error), std::string::npos) << r.Err;
    // The card history was complete and stays; no copy file, whole or partial, is there.
    EXPECT_EQ(Tree(CdDir()), std::vector<std::string>{"idhist.txt"});
  }
}

TEST_F(RegisterImportE2E, FiscalMemoryRecordsTextsAndDescriptor) {
  const auto r = Import("fm");
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  // The kind "6" at position 2 is not stored; its number stays unused.
  EXPECT_EQ(Tree(FmDir()),
            (std::vector<std::string>{"0001.fmr", "0001.txt", "0002.txt", "0003.fmr", "0003.txt", "0004.fmr",
                                      "0005.fmr", "0006.fmr", "0007.fmr", "0008.fmr", "0009.fmr", "device.xml",
                                      "range.txt"}));
  EXPECT_EQ(r.Out, AsPrinted(FmDir() / "range.txt"));
  EXPECT_NE(r.Out.find("NIP: 525-000-11-22"), std::string::npos);

  std::vector<RFMRecord> rec(10);
  for (int n : {1, 3, 4, 5, 6, 7, 8, 9}) ReadRecordFile(FmDir() / RecordFileName(n), rec[n]);
  EXPECT_EQ(rec[1].Kind, kKindDailyCumulative);
  EXPECT_EQ(rec[1].Number, "0000000001");
  EXPECT_EQ(rec[1].Date, EncodeDate(2009, 1, 2));
  EXPECT_EQ(rec[1].GrossTotal, "123");
  EXPECT_EQ(rec[1].Gross[0], "100");
  EXPECT_EQ(rec[1].Gross[1], "20");
  EXPECT_EQ(rec[1].Gross[2], "3");
  EXPECT_EQ(rec[1].VatTotal, "23");
  EXPECT_EQ(rec[1].CumVat[2], "00000000000000000300");
  EXPECT_EQ(rec[1].CumGross, "00000000000000012300");
  EXPECT_EQ(rec[3].Kind, kKindRateChange);
  EXPECT_EQ(rec[3].Rates, (TRateTexts{"23", "8", "5", "0", "100", "99", "99"}));
  EXPECT_EQ(rec[3].Number, "0000000001");  // carried in the one record buffer
  EXPECT_EQ(rec[4].Kind, kKindRamReset);
  EXPECT_EQ(rec[4].ResetNo, "4");
  EXPECT_EQ(rec[4].ResetKind, "Zewnętrzne"_cp);
  EXPECT_EQ(rec[4].Date, EncodeDateTime(2009, 1, 3, 10, 15));
  EXPECT_EQ(rec[4].GoodsNotCleared, "1");
  EXPECT_EQ(rec[5].Kind, kKindCurrencyChange);
  EXPECT_EQ(rec[5].Currency.Name, "EUR");
  EXPECT_EQ(rec[5].Currency.ChangeDate, EncodeDate(2009, 1, 3));
  EXPECT_EQ(rec[6].Kind, kKindCurrencyNoDate);
  EXPECT_EQ(rec[6].Currency.ChangeDate, 0);
  EXPECT_EQ(rec[7].Number, "0000000002");
  EXPECT_EQ(rec[7].GoodsChanged, "TAK");
  EXPECT_EQ(rec[7].Rates[1], "8");  // the rates of the change before it
  EXPECT_EQ(rec[7].Stats.FirstNo, 1);
  EXPECT_EQ(rec[7].Stats.LastNo, 2);
  EXPECT_EQ(rec[8].ResetKind, "Wewnętrzne"_cp);
  EXPECT_EQ(rec[9].GrossTotal, "0,99");
  EXPECT_EQ(rec[9].Stats.LastDate, EncodeDate(2009, 1, 4));

  TDeviceInfo info;
  ASSERT_TRUE(info.LoadDeviceInfo(FmDir() / "device.xml"));
  EXPECT_EQ(info.NIP, "525-000-11-22");
  EXPECT_TRUE(info.HasTotals);
  EXPECT_EQ(info.LineLen, 48);
  EXPECT_FALSE(info.TaxiVersion);
  // The daily texts are the formatter's, one per daily report.
  EXPECT_NE(test::ReadFile(FmDir() / "0002.txt").find("Nr raportu:  0002"), std::string::npos);
}

TEST_F(RegisterImportE2E, FiscalMemoryOfTesmoAndKira) {
  {
    SCOPED_TRACE("Tesmo by dates");
    const auto r = Import("fm", {}, "Tesmo", {"--dates", "01-01-2009", "03-01-2009"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    RFMRecord rates, daily;
    // By dates the range opens with the entries of 2 January: daily 1, kind 6 (not stored).
    ReadRecordFile(FmDir() / "0001.fmr", daily);
    ReadRecordFile(FmDir() / "0003.fmr", rates);
    EXPECT_FALSE(fs::exists(FmDir() / "0002.fmr"));
    EXPECT_EQ(daily.Kind, kKindDaily);
    EXPECT_EQ(daily.CumGross, "");
    EXPECT_EQ(rates.Rates, (TRateTexts{"23", "8", "5", "0", "100", "99,99", "99,99"}));
    TDeviceInfo info;
    ASSERT_TRUE(info.LoadDeviceInfo(FmDir() / "device.xml"));
    EXPECT_FALSE(info.HasTotals);
    EXPECT_EQ(info.LineLen, 48);
  }
  fs::remove_all(Root());
  {
    SCOPED_TRACE("KIRA PLUS");
    const auto r = Import("fm", {}, "KIRA PLUS");
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    TDeviceInfo info;
    ASSERT_TRUE(info.LoadDeviceInfo(FmDir() / "device.xml"));
    EXPECT_EQ(info.LineLen, 20);
    const std::string range = test::ReadFile(FmDir() / "range.txt");
    EXPECT_NE(range.find(std::string(20, '~') + "\r\n"), std::string::npos);
    EXPECT_EQ(range.find(std::string(21, '~')), std::string::npos);
  }
}

TEST_F(RegisterImportE2E, FiscalMemoryFaults) {
  // The periodic report is the fifth exchange (unique number twice, status, NIP, report).
  std::string reference;
  {
    const auto r = Import("fm");
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    for (const auto& f : Tree(FmDir())) reference += f + "\n" + test::ReadFile(FmDir() / f);
  }
  const struct {
    const char* Name;
    std::vector<std::string> Faults;
    std::string Error;
  } cases[] = {
      {"naks and tabs", {"--nak", "3", "--tab", "1"}, ""},
      {"wrong checksums", {"--bad-checksum", "4"}, ""},
      {"silence once", {"--silent", "1"}, ""},
      {"error codes", {"--error", "B7", "--errors", "40"}, "Błędna komunikacja z kasą"},
      {"end after a frame", {"--eot-after-frame", "1"},
       "Kasa zakończyła transmisję z powodu przekroczenia czasu oczekiwania."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove_all(Root());
    std::vector<std::string> faults = c.Faults;
    faults.insert(faults.end(), {"--faults-from", "5"});
    const auto r = Import("fm", faults);
    if (c.Error.empty()) {
      ASSERT_EQ(r.ExitCode, 0) << r.Err;
      std::string got;
      for (const auto& f : Tree(FmDir())) got += f + "\n" + test::ReadFile(FmDir() / f);
      EXPECT_EQ(got, reference);
      continue;
    }
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find(c.Error), std::string::npos) << r.Err;
    EXPECT_TRUE(Tree(FmDir()).empty());
  }
}

TEST_F(RegisterImportE2E, WatchDownloadsNewDataIntoTheConfiguredDirectory) {
  TConfig config;
  config.AutoDownload = true;
  config.AutoDownloadInteval = 1;
  config.DeviceType = 1;
  config.Directory = Utf8ToCp1250((tmp / "Kopie").string());
  fs::create_directories(Root());
  ASSERT_TRUE(config.Save(Root() / "config.xml"));

  auto r = Run("Varno", {}, {"watch", "--once"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("Pobrano nowe dane"), std::string::npos) << r.Out;
  for (int n = 1; n <= 4; ++n)
    EXPECT_EQ(test::ReadFile(tmp / "Kopie" / "ABC12345678" / "0001" / Format("%04d.txt", n)),
              test::ReadFile(GenFile(n)));
  EXPECT_FALSE(fs::exists(Root() / "CDData"));

  // Two ticks a second apart: nothing new on the register any more.
  const auto start = std::chrono::steady_clock::now();
  r = Run("Varno", {}, {"watch", "--ticks", "2"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  const auto lines = SplitLines(r.Out);
  ASSERT_EQ(lines.size(), 2u) << r.Out;
  for (auto line : lines) EXPECT_EQ(line.substr(20), "Brak nowych danych");  // after "yyyy-mm-dd hh:nn:ss "

  // New data with "CloseAfterDownload": the watch ends after that tick.
  test::WriteFile(Data() / "ecopy" / "0005.txt", test::ReadFile(GenFile(4)));
  config.CloseAfterDownload = true;
  ASSERT_TRUE(config.Save(Root() / "config.xml"));
  r = Run("Varno", {}, {"watch", "--ticks", "5"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(SplitLines(r.Out).size(), 1u) << r.Out;
  EXPECT_NE(r.Out.find("Pobrano nowe dane"), std::string::npos);

  // A register that does not answer: the tick fails with the link's error, and a counted run says so.
  config.CloseAfterDownload = false;
  ASSERT_TRUE(config.Save(Root() / "config.xml"));
  r = Run("Varno", {"--eot-after-frame", "50"}, {"watch", "--once"});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("Kasa zakończyła transmisję"), std::string::npos) << r.Err;

  // Switched off in the configuration: the watch does not start.
  config.AutoDownload = false;
  ASSERT_TRUE(config.Save(Root() / "config.xml"));
  r = Run("Varno", {}, {"watch"});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("AutoDownload"), std::string::npos) << r.Err;
}

}  // namespace
}  // namespace quorvel
