// quorvel-cli ls, search, show and receipt over archives that quorvel-sim generates.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/Cp1250.h"
#include "base/TextUtils.h"
#include "support/TestSupport.h"

using quorvel::test::RunProgram;
using quorvel::test::TTempDir;

namespace {

quorvel::test::TRunResult Cli(const TTempDir& root, const std::vector<std::string>& args) {
  return RunProgram(QUORVEL_CLI_PATH, args, {"QUORVEL_DATA_ROOT=" + root.Path().string()});
}

class IndexCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto r = RunProgram(QUORVEL_SIM_PATH, {"generate", "--out", Dir(), "--files", "3", "--size", "40K",
                                                 "--seed", "5"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
  }
  std::string Dir() const { return (root_ / "ecopy").string(); }
  std::vector<nlohmann::json> Search(const std::vector<std::string>& criteria) {
    std::vector<std::string> args = {"search", Dir(), "--json", "--quiet"};
    args.insert(args.end(), criteria.begin(), criteria.end());
    const auto r = Cli(root_, args);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    std::vector<nlohmann::json> rows;
    std::istringstream in(r.Out);
    for (std::string line; std::getline(in, line);) rows.push_back(nlohmann::json::parse(line));
    return rows;
  }
  TTempDir root_;
};

TEST_F(IndexCommands, LsListsNumberedFilesOnly) {
  quorvel::test::WriteFile(root_ / "ecopy" / "12ab.txt", "x");
  quorvel::test::WriteFile(root_ / "ecopy" / "0000.txt", "x");
  auto r = Cli(root_, {"ls", Dir(), "--quiet"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  std::istringstream in(r.Out);
  std::vector<std::string> numbers;
  for (std::string line; std::getline(in, line);) numbers.push_back(line.substr(0, line.find('\t')));
  EXPECT_EQ(numbers, (std::vector<std::string>{"1", "2", "3"}));
  r = Cli(root_, {"ls", Dir(), "--numbers", "2", "2", "--quiet"});
  EXPECT_EQ(r.Out.substr(0, 2), "2\t");
  EXPECT_EQ(Cli(root_, {"ls", (root_ / "nic").string()}).ExitCode, 1);
}

TEST_F(IndexCommands, SearchWithoutCriteriaListsEveryPrintoutOnce) {
  const auto rows = Search({});
  ASSERT_GT(rows.size(), 5u);
  std::set<int> numbers;
  std::set<std::string> types;
  for (const auto& row : rows) {
    EXPECT_EQ(row["Line"], row["StartLine"]);
    EXPECT_LT(row["StartLine"].get<int>(), row["EndLine"].get<int>());
    EXPECT_TRUE(numbers.insert(row["PrintoutNo"].get<int>()).second) << row.dump();
    types.insert(row["Type"].get<std::string>());
  }
  EXPECT_TRUE(types.count("Paragon"));
  EXPECT_TRUE(types.count("Faktura"));
  for (const auto& row : Search({"--type", "paragony"})) EXPECT_NE(row["Type"], "Faktura");
  for (const auto& row : Search({"--type", "faktura"})) EXPECT_EQ(row["Type"], "Faktura");
}

TEST_F(IndexCommands, SearchForATextListsTheLinesThatHoldIt) {
  const auto all = Search({});
  // A text taken from the middle of a receipt: its item line.
  const auto& first = all.front();
  const std::string file = first["File"];
  const auto bytes = quorvel::test::ReadFile(file);
  const auto lines = quorvel::SplitLines(bytes);
  std::string needle;
  for (int i = first["StartLine"].get<int>(); i <= first["EndLine"].get<int>() && needle.empty(); ++i)
    if (const auto nb = lines[i].find('\xA0'); nb != std::string::npos && nb > 5) needle = std::string(lines[i].substr(0, 5));
  ASSERT_FALSE(needle.empty());
  const auto hits = Search({"--text", quorvel::Cp1250ToUtf8(needle)});
  ASSERT_FALSE(hits.empty());
  for (const auto& row : hits) {
    const auto l = quorvel::SplitLines(quorvel::test::ReadFile(row["File"]));
    EXPECT_NE(l[row["Line"].get<int>()].find(needle), std::string::npos);
    EXPECT_GE(row["Line"].get<int>(), row["StartLine"].get<int>());
    EXPECT_LE(row["Line"].get<int>(), row["EndLine"].get<int>());
  }
}

TEST_F(IndexCommands, ReceiptAndShowOfAFoundPrintout) {
  for (const auto& row : Search({})) {
    SCOPED_TRACE(row.dump());
    const auto r = Cli(root_, {"receipt", row["File"], std::to_string(row["PrintoutNo"].get<int>()), "--json"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const auto receipt = nlohmann::json::parse(r.Out);
    EXPECT_EQ(receipt["DocType"] == 2, row["Type"] == "Faktura");
    EXPECT_EQ(receipt["StartLine"], row["StartLine"]);
    ASSERT_TRUE(receipt["Text"].is_string());
    const std::string text = receipt["Text"];
    EXPECT_EQ(text.substr(text.size() - 12), "ABC 12345678");
    EXPECT_FALSE(receipt["Items"].empty());
  }
  const auto all = Search({});
  const auto& row = all.front();
  const int start = row["StartLine"], end = row["EndLine"];
  const auto shown = Cli(root_, {"show", row["File"], std::to_string(start), std::to_string(end)});
  ASSERT_EQ(shown.ExitCode, 0) << shown.Err;
  EXPECT_EQ(std::count(shown.Out.begin(), shown.Out.end(), '\n'), end - start + 1);
  EXPECT_EQ(shown.Out.find("\xC2\xA4"), std::string::npos);  // the markers are blanked
  EXPECT_EQ(Cli(root_, {"show", row["File"], "5", "100000"}).ExitCode, 1);
  EXPECT_EQ(Cli(root_, {"show", row["File"], "a", "b"}).ExitCode, 2);
  EXPECT_EQ(Cli(root_, {"receipt", row["File"], "999999"}).ExitCode, 1);
}

}  // namespace
