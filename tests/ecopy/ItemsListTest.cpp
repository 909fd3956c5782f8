#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/PrintoutIndex.h"
#include "base/Cp1250.h"
#include "base/Errors.h"
#include "base/TextUtils.h"
#include "base/UserPrompts.h"
#include "ecopy/ItemsList.h"
#include "ecopy/uIntList.h"
#include "ecopy/uPLUList.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

TEST(IntList, GrowsByHundredsKeepingValues) {
  TIntList l;
  EXPECT_EQ(l.Capacity(), 100);
  for (int k = 0; k < 250; ++k) l.Add(k * 3);
  EXPECT_EQ(l.Count, 250);
  EXPECT_EQ(l.Capacity(), 300);
  EXPECT_EQ(l.Get(0), 0);
  EXPECT_EQ(l.Get(99), 297);
  EXPECT_EQ(l.Get(100), 300);
  EXPECT_EQ(l.Get(249), 747);
  for (int bad : {-1, 250}) {
    try {
      l.Get(bad);
      ADD_FAILURE() << bad;
    } catch (const EQuorvelError& e) {
      EXPECT_STREQ(e.what(), "TIntList: Index out of range");
    }
  }
  l.Clear();
  EXPECT_EQ(l.Count, 0);
  EXPECT_EQ(l.Capacity(), 300);
  EXPECT_THROW(l.Get(0), EQuorvelError);
}

TEST(ItemsList, HoldsItemsInOrder) {
  TItemsList l;
  l.AddItem("Chleb", "");
  l.AddItem("Mleko", "B");
  ASSERT_EQ(l.Count(), 2u);
  EXPECT_EQ(l.Item(1)->Name, "Mleko");
  EXPECT_EQ(l.Item(1)->TaxLetter, "B");
  EXPECT_EQ(l.Item(0)->TaxLetter, "");
  EXPECT_EQ(l.Item(2), nullptr);
}

TEST(PLUList, SumsPerExactNameAndWritesLinesOfWidth48) {
  TPLUList p;
  p.Add("Chleb", AmountOf("1"));
  p.Add("Chleb", AmountOf("2,5"));
  p.Add("chleb", AmountOf("0,125"));
  EXPECT_EQ(p.Count(), 2u) << "names differing in letter case stay apart";

  std::vector<AnsiString> lines = {"stale"};
  p.ToLines(lines);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Chleb" + std::string(39, ' ') + "3,50");
  EXPECT_EQ(lines[1], "chleb" + std::string(39, ' ') + "0,13");

  struct TCase {
    std::size_t NameLength;
    const char* Quantity;
    std::string Expected;
  };
  const std::string q = "12,00";
  const std::vector<TCase> cases = {
      {42, "12", std::string(42, 'n') + " " + q},     // 47 together: padded to 48
      {43, "12", std::string(43, 'n') + ": " + q},    // 48 together: the ": " form
      {60, "12", std::string(60, 'n') + ": " + q},    // nothing is cut
      {1, "-1,5", "n" + std::string(42, ' ') + "-1,50"},
  };
  for (const auto& c : cases) {
    const std::string line = TPLUList::InventoryLine(std::string(c.NameLength, 'n'), AmountOf(c.Quantity));
    EXPECT_EQ(line, c.Expected) << c.NameLength;
  }
  EXPECT_EQ(TPLUList::InventoryLine("Masło"_cp.data(), AmountOf("1")).size(), 48u);
}

// A receipt of the electronic copy with one item line per (name, quantity) pair.
std::vector<std::string> Receipt(int printoutNo, const std::vector<std::pair<std::string, std::string>>& items) {
  std::vector<std::string> l = {"      ¤    PARAGON FISKALNY", Format("05-03-2009          nr wydr.%04d", printoutNo)};
  for (const auto& [name, qty] : items) l.push_back(name + "\u00A0  " + qty + " x2,00      2,00 ¨ A");
  for (const std::string& s : std::vector<std::string>{"´SUMA PTU              0,47", "·SUMA PLN              5,00",
                              Format("F%05d¦ #Kasa 1   ˇ14:07", printoutNo), "   3F2A1B7C¬", "    » ABC 12345678",
                              "  ‡‡‡‡‡‡‡‡‡‡‡‡"})
    l.push_back(s);
  return l;
}

std::string FileText(const std::vector<std::vector<std::string>>& printouts) {
  std::string utf8;
  for (int k = 0; k < 34; ++k) utf8 += Format("Naglowek %02d: 0\r\n", k);
  for (const auto& p : printouts)
    for (const auto& l : p) utf8 += l + "\r\n";
  return Utf8ToCp1250(utf8);
}

TRCPSetRow Row(int printoutNo, const std::filesystem::path& file) {
  TRCPSetRow r;
  r.PrintoutNo = printoutNo;
  r.File = file.string();
  return r;
}

TEST(Inventory, AddsEachListedPrintoutOnceWithItsQuantities) {
  test::TTempDir dir;
  const auto f1 = dir / "0001.txt", f2 = dir / "0002.txt";
  test::WriteFile(f1, FileText({Receipt(10, {{"Chleb", "1"}, {"Mleko", "2"}}), Receipt(11, {{"Cukier", "5"}})}));
  test::WriteFile(f2, FileText({Receipt(20, {{"Chleb", "2,5"}, {"chleb", "1"}})}));

  TRCPSet list;
  // Printout 20 is listed on three rows (a text found on three of its lines); 11 is not listed.
  list.Append(Row(20, f2));
  list.Append(Row(10, f1));
  list.Append(Row(20, f2));
  list.Append(Row(20, f2));
  TPLUList inventory;
  BuildInventory(list, inventory);
  EXPECT_EQ(list[0].PrintoutNo, 10) << "the list is sorted by printout number";
  ASSERT_EQ(inventory.Count(), 3u);
  EXPECT_EQ(inventory.Items.at("Chleb"), AmountOf("3.5"));
  EXPECT_EQ(inventory.Items.at("chleb"), AmountOf("1"));
  EXPECT_EQ(inventory.Items.at("Mleko"), AmountOf("2"));
  EXPECT_EQ(inventory.Items.count("Cukier"), 0u);

  TScriptedPrompts prompts;
  std::vector<AnsiString> lines;
  ASSERT_TRUE(InventoryLines(list, prompts, lines));
  EXPECT_TRUE(prompts.Messages.empty());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Chleb" + std::string(39, ' ') + "3,50");
  EXPECT_EQ(kInventoryTitle, Utf8ToCp1250("Lista Towarów"));
}

TEST(Inventory, NoReceiptsShowsNoData) {
  TRCPSet empty;
  TScriptedPrompts prompts;
  std::vector<AnsiString> lines = {"stale"};
  EXPECT_FALSE(InventoryLines(empty, prompts, lines));
  ASSERT_EQ(prompts.Messages.size(), 1u);
  EXPECT_EQ(prompts.Messages[0].Text, "Brak danych");
  EXPECT_EQ(prompts.Messages[0].Caption, "Brak danych");
  EXPECT_EQ(prompts.Messages[0].Kind, TMessageKind::Information);
  EXPECT_TRUE(lines.empty());
}

TEST(Inventory, ItemWithoutQuantityStopsIt) {
  test::TTempDir dir;
  const auto f = dir / "0001.txt";
  test::WriteFile(f, FileText({Receipt(10, {{"Chleb", "1"}}), Receipt(11, {{"Woda", "0"}})}));
  TRCPSet list;
  list.Append(Row(10, f));
  list.Append(Row(11, f));
  TPLUList inventory;
  try {
    BuildInventory(list, inventory);
    FAIL() << "no error";
  } catch (const EQuorvelError& e) {
    EXPECT_EQ(std::string(e.what()), Utf8ToCp1250("Brak ilości"));
  }
}

}  // namespace
}  // namespace quorvel
