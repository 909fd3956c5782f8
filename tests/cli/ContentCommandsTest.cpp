// quorvel-cli extract, cards and inventory over archives that quorvel-sim generates.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "base/Cp1250.h"
#include "support/TestSupport.h"

using quorvel::test::RunProgram;
using quorvel::test::TTempDir;

namespace {

quorvel::test::TRunResult Cli(const TTempDir& root, const std::vector<std::string>& args) {
  return RunProgram(QUORVEL_CLI_PATH, args, {"QUORVEL_DATA_ROOT=" + root.Path().string()});
}

void Generate(const TTempDir& dir, const std::vector<std::string>& options) {
  std::vector<std::string> args = {"generate", "--out", (dir / "ecopy").string(), "--seed", "11"};
  args.insert(args.end(), options.begin(), options.end());
  const auto r = RunProgram(QUORVEL_SIM_PATH, args);
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
}

std::vector<nlohmann::json> JsonLines(const std::string& out) {
  std::vector<nlohmann::json> rows;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) rows.push_back(nlohmann::json::parse(line));
  return rows;
}

std::vector<std::string> Lines(const std::string& out) {
  std::vector<std::string> rows;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) rows.push_back(line);
  return rows;
}

TEST(CliContent, ExtractDeliversTheRecordsThenTheDailyRecord) {
  TTempDir dir;
  Generate(dir, {"--files", "2"});
  const auto r = Cli(dir, {"extract", (dir / "ecopy" / "0001" / "0001.txt").string(), "--json"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const auto rows = JsonLines(r.Out);
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(rows.front()["Kind"], 6) << "the opening rates of a single file";
  EXPECT_EQ(rows[rows.size() - 2], rows.back()) << "the delivered daily record, then the one returned";
  EXPECT_EQ(rows.back()["Kind"], 2);
  EXPECT_EQ(rows.back()["Number"], "0001");
  EXPECT_EQ(rows.back()["Gross"].size(), 7u);

  const auto later = Cli(dir, {"extract", (dir / "ecopy" / "0001" / "0002.txt").string(), "--not-first"});
  ASSERT_EQ(later.ExitCode, 0) << later.Err;
  EXPECT_NE(later.Out.find("Raport dobowy:\n"), std::string::npos);
  EXPECT_NE(later.Out.find("  Number: 0002\n"), std::string::npos);
}

TEST(CliContent, ExtractWithoutCumulativeSectionFails) {
  TTempDir dir;
  Generate(dir, {"--files", "1", "--no-cumulative"});
  const auto r = Cli(dir, {"extract", (dir / "ecopy" / "0001" / "0001.txt").string()});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("NARASTAJĄCO"), std::string::npos) << r.Err;
}

TEST(CliContent, CardsListTheMediaAndTheOpenOne) {
  TTempDir dir;
  Generate(dir, {"--files", "12", "--cards", "2"});
  const auto r = Cli(dir, {"cards", (dir / "ecopy" / "idhist.txt").string(), "--json"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const auto rows = JsonLines(r.Out);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0]["ReportNoFrom"], 1);
  EXPECT_EQ(rows[1]["ReportNoFrom"], rows[0]["ReportNoTo"].get<int>() + 1);
  EXPECT_EQ(rows[2]["ReportNoFrom"], rows[1]["ReportNoTo"].get<int>() + 1);
  EXPECT_EQ(rows[2]["ReportNoTo"], 2143);
  EXPECT_EQ(rows[0]["UniqueNo"], "ABC12345678");

  const auto text = Cli(dir, {"cards", (dir / "ecopy" / "idhist.txt").string()});
  ASSERT_EQ(text.ExitCode, 0);
  EXPECT_EQ(Lines(text.Out).size(), 3u);
  EXPECT_EQ(text.Out.rfind("Karta nr 1\t", 0), 0u);

  quorvel::test::WriteFile(dir / "broken.txt", "Plik: idhist.txt\r\n");
  const auto broken = Cli(dir, {"cards", (dir / "broken.txt").string()});
  EXPECT_EQ(broken.ExitCode, 1);
  EXPECT_FALSE(broken.Err.empty());
}

TEST(CliContent, InventoryListsGoodsOrSaysThereAreNone) {
  TTempDir dir;
  Generate(dir, {"--files", "3"});
  const auto r = Cli(dir, {"inventory", (dir / "ecopy").string(), "--type", "paragony"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const auto lines = Lines(r.Out);
  ASSERT_FALSE(lines.empty());
  for (const auto& l : lines) {
    const std::string cp = quorvel::Utf8ToCp1250(l);
    EXPECT_TRUE(cp.size() == 48 || cp.find(": ") != std::string::npos) << l;
    EXPECT_NE(cp.substr(cp.size() - 3, 1), ".") << "the Polish decimal comma: " << l;
  }

  const auto none = Cli(dir, {"inventory", (dir / "ecopy").string(), "--text", "nie ma takiego tekstu"});
  EXPECT_EQ(none.ExitCode, 0) << none.Err;
  EXPECT_TRUE(none.Out.empty());
  EXPECT_NE(none.Err.find("Brak danych"), std::string::npos);

  const auto missing = Cli(dir, {"inventory", (dir / "nie-ma").string()});
  EXPECT_EQ(missing.ExitCode, 1);
}

}  // namespace
