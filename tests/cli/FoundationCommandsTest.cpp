#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "archive/uDailyRecord.h"
#include "base/Cp1250.h"
#include "support/TestSupport.h"

using namespace quorvel;
using quorvel::test::RunProgram;
using quorvel::test::TTempDir;
using quorvel::test::WriteFile;

namespace {

quorvel::test::TRunResult Cli(const TTempDir& root, const std::vector<std::string>& args) {
  return RunProgram(QUORVEL_CLI_PATH, args, {"QUORVEL_DATA_ROOT=" + root.Path().string()});
}

}  // namespace

TEST(CliFoundation, ConfigShowsThePathAndEveryKeyInFileOrder) {
  TTempDir root;
  WriteFile(root / "config.xml", "<Config PortName=\"COM2\" DownloadAfterTime=\"0,5\"/>");
  const auto r = Cli(root, {"config"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, (root / "config.xml").string() +
                       "\nPortName=COM2\nPortSpeed=9600\nChannelID=1\nChannelName=QVXBrowser\nImportType=2\n"
                       "ImportRangeType=4\nLastDir=\nAutoDownload=false\nAutoDownloadInteval=1\n"
                       "DownloadAfterEnabled=false\nDownloadAfterTime=0,5\nBigPackets=true\n"
                       "CloseAfterDownload=false\nDeviceType=0\nDirectory=\nSaveDirectory=\n");
}

TEST(CliFoundation, RecordAsJsonCarriesEveryField) {
  TTempDir root;
  RFMRecord rec;
  rec.Kind = kKindRamReset;
  rec.ResetKind = "Wewnętrzne"_cp;
  rec.Gross[6] = "1,5";
  rec.Date = EncodeDateTime(2024, 3, 12, 21, 7);
  rec.Stats.FirstNo = 3;
  WriteRecordFile(root / "0001.fmr", rec);
  const auto r = Cli(root, {"record", (root / "0001.fmr").string(), "--json"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const auto j = nlohmann::json::parse(r.Out);
  EXPECT_EQ(j["Kind"], 7);
  EXPECT_EQ(j["ResetKind"], "Wewnętrzne");
  EXPECT_EQ(j["Gross"].size(), 7u);
  EXPECT_EQ(j["Gross"][6], "1,5");
  EXPECT_EQ(j["Date"], "2024-03-12T21:07:00");
  EXPECT_TRUE(j["Currency"]["ChangeDate"].is_null());
  EXPECT_EQ(j["Stats"]["FirstNo"], 3);
  EXPECT_EQ(j["TaxSchemes"].size(), 7u);
  EXPECT_TRUE(j.contains("FeesTotal"));
  EXPECT_EQ(j.size(), 51u);  // every field of the record under its own name

  const auto text = Cli(root, {"record", (root / "0001.fmr").string()});
  ASSERT_EQ(text.ExitCode, 0);
  EXPECT_NE(text.Out.find("ResetKind: Wewnętrzne\n"), std::string::npos);
  EXPECT_NE(text.Out.find("Gross[G]: 1,5\n"), std::string::npos);
}

TEST(CliFoundation, FailuresAndUsage) {
  TTempDir root;
  WriteFile(root / "bad.fmr", std::string("\x02\x02\x11\x00", 4));
  const auto broken = Cli(root, {"record", (root / "bad.fmr").string()});
  EXPECT_EQ(broken.ExitCode, 1);
  EXPECT_NE(broken.Err.find("Błąd odczytu pliku rekordu bad.fmr"), std::string::npos) << broken.Err;

  WriteFile(root / "h.txt", "Plik: 0001.txt\r\n");
  const auto header = Cli(root, {"header", (root / "h.txt").string()});
  EXPECT_EQ(header.ExitCode, 1);
  EXPECT_NE(header.Err.find("Błędny nagłówek pliku"), std::string::npos) << header.Err;

  EXPECT_EQ(Cli(root, {"record"}).ExitCode, 2);
  EXPECT_EQ(Cli(root, {"record", "a", "--bogus"}).ExitCode, 2);
  EXPECT_EQ(Cli(root, {"no-such-command"}).ExitCode, 2);
  const auto help = Cli(root, {"help"});
  EXPECT_EQ(help.ExitCode, 0);
  EXPECT_NE(help.Out.find("header FILE [--json]"), std::string::npos);
}
