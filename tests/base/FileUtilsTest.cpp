#include <gtest/gtest.h>

#include "base/Errors.h"
#include "base/FileUtils.h"
#include "base/UserPrompts.h"
#include "support/TestSupport.h"

using namespace quorvel;
using quorvel::test::ReadFile;
using quorvel::test::TTempDir;
using quorvel::test::WriteFile;

TEST(FileUtils, FindsFourCharacterNamesInTheFolderAndOneLevelBelow) {
  TTempDir tmp;
  for (const char* f : {"0100/0150.txt", "0001/0007.txt", "0002.TXT", "12ab.txt", "range.txt", "0003.fmr",
                        "0100/deep/0160.txt", "id.txt"})
    WriteFile(tmp / f, "x");
  std::vector<std::string> names;
  for (const auto& p : FindDeviceFiles(tmp.Path(), ".txt")) names.push_back(p.lexically_relative(tmp.Path()).string());
  const std::vector<std::string> expected = {"0001/0007.txt", "0002.TXT", "0100/0150.txt", "12ab.txt"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(FindDeviceFiles(tmp.Path(), ".fmr").size(), 1u);
  EXPECT_TRUE(FindDeviceFiles(tmp / "missing", ".txt").empty());
}

TEST(FileUtils, AtomicWriteReplacesWholeFilesOnly) {
  TTempDir tmp;
  WriteFileAtomic(tmp / "a" / "b.txt", "first");
  EXPECT_EQ(ReadFile(tmp / "a" / "b.txt"), "first");
  WriteFileAtomic(tmp / "a" / "b.txt", "second, longer", true);
  EXPECT_EQ(ReadFile(tmp / "a" / "b.txt"), "second, longer");
  {
    TAtomicFile f(tmp / "a" / "b.txt");
    f.Append("abandoned");
  }  // not committed: the old content stays, no temporary file is left
  EXPECT_EQ(ReadFile(tmp / "a" / "b.txt"), "second, longer");
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(tmp / "a")) (void)e, ++files;
  EXPECT_EQ(files, 1);
  WriteFile(tmp / "plain", "x");
  EXPECT_THROW(WriteFileAtomic(tmp / "plain" / "c.txt", "y"), EFileError);
}

TEST(FileUtils, ReadingMissingFilesRaisesAPolishError) {
  TTempDir tmp;
  try {
    ReadFileBytes(tmp / "none.txt");
    FAIL();
  } catch (const EFileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Nie mo\xBFna otworzy\xE6 pliku", 0), 0u) << e.what();
  }
  WriteFile(tmp / "big", std::string(200000, 'q'));
  EXPECT_EQ(ReadFileBytes(tmp / "big").size(), 200000u);
  EXPECT_EQ(ReadFilePrefix(tmp / "big", 10), "qqqqqqqqqq");
}

TEST(UserPrompts, ScriptedAnswersAndRecords) {
  TScriptedPrompts p;
  p.Answers = {false};
  EXPECT_FALSE(p.AskYesNo("Czy?", "Pytanie", true));
  EXPECT_TRUE(p.AskYesNo("Czy?", "Pytanie", true));  // script empty: the default button
  p.ShowMessage("B\xB3\xB9\x64", "Błąd", TMessageKind::Error);
  ASSERT_EQ(p.Questions.size(), 2u);
  ASSERT_EQ(p.Messages.size(), 1u);
  p.BreakAfterPumps = 2;
  p.BreakCount = 1;
  p.PumpMessages();
  EXPECT_FALSE(p.UserBreakPressed());
  p.PumpMessages();
  EXPECT_TRUE(p.UserBreakPressed());
  EXPECT_FALSE(p.UserBreakPressed());
}
