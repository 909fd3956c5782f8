#include <gtest/gtest.h>

#include <cstdlib>

#include "archive/QVDDeviceInfo.h"
#include "archive/uConfig.h"
#include "base/Errors.h"
#include "support/TestSupport.h"

using namespace quorvel;
using quorvel::test::ReadFile;
using quorvel::test::TTempDir;
using quorvel::test::WriteFile;

TEST(ArchiveLayout, GroupFolders) {
  struct Case { const char* name; const char* grouped; };
  const Case cases[] = {
      {"0007.txt", "0001/0007.txt"}, {"0099.txt", "0001/0099.txt"}, {"0100.txt", "0100/0100.txt"},
      {"0199.txt", "0100/0199.txt"}, {"1234.txt", "1200/1234.txt"}, {"2143.txt", "2100/2143.txt"},
      {"id.txt", "id.txt"},          {"0000.txt", "0000.txt"},      {"12ab.txt", "12ab.txt"},
      {"abc", "abc"},
  };
  for (const auto& c : cases) EXPECT_EQ(GroupedName(c.name), c.grouped) << c.name;
}

TEST(ArchiveLayout, DeviceDirectoryRules) {
  TTempDir tmp;
  const std::string root = (tmp / "root").string();
  EXPECT_EQ(DeviceDirectory(root, "", "ABC12345678", true, true), root + "/CDData/ABC12345678/");
  EXPECT_EQ(DeviceDirectory(root, "", "ABC12345678", false, false), root + "/FMData/-BC12345678/");
  EXPECT_TRUE(std::filesystem::is_directory(root + "/FMData/-BC12345678"));
  const std::string over = (tmp / "auto").string();
  EXPECT_EQ(DeviceDirectory(root, over, "ABC12345678", true, true), over + "/ABC12345678/");
  EXPECT_EQ(DeviceDirectory(root, over + "/", "ABC12345678", false, true), over + "/ABC12345678/");
  // A name from a device never leaves the archive.
  for (const char* bad : {"..", "../x", "a/b", ""}) EXPECT_THROW(DeviceDirectory(root, "", bad, true, true), EFileError) << bad;
  // A folder that cannot be created is the operation's failure.
  WriteFile(tmp / "file", "x");
  EXPECT_THROW(DeviceDirectory((tmp / "file").string(), "", "ABC12345678", true, true), EFileError);
}

TEST(ArchiveLayout, RootsFollowTheConfiguration) {
  TTempDir tmp;
  ::setenv("QUORVEL_DATA_ROOT", tmp.Path().c_str(), 1);
  EXPECT_EQ(SharedDataRoot(), tmp.Path().string() + "/");
  TConfig config;
  EXPECT_EQ(ArchiveRoot(config), SharedDataRoot());
  config.SaveDirectory = "/mnt/Dane";
  EXPECT_EQ(ArchiveRoot(config), "/mnt/Dane/Velkora/");
  EXPECT_EQ(TConfig::DefaultFile(), tmp.Path() / "config.xml");
  ::unsetenv("QUORVEL_DATA_ROOT");
  ::setenv("XDG_DATA_HOME", "/x/share", 1);
  EXPECT_EQ(SharedDataRoot(), "/x/share/Velkora/");
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(DeviceNameOf(" ABC 1234 5678 "), "ABC12345678");
}

TEST(DeviceInfo, SaveAndLoad) {
  TTempDir tmp;
  TDeviceInfo info;
  info.NIP = "123-456-32-18";
  info.HasInvoices = true;
  info.LineLen = 48;
  info.PharmacyVersion = true;
  info.SaveDeviceInfo(tmp / "FMData/X/device.xml");
  const std::string text = ReadFile(tmp / "FMData/X/device.xml");
  EXPECT_NE(text.find("<?xml version=\"1.0\"?>"), std::string::npos);
  EXPECT_NE(text.find("<Data NIP=\"123-456-32-18\" HasInvoices=\"true\" HasTotals=\"false\" LineLen=\"48\" "
                      "TaxiVersion=\"false\" PharmacyVersion=\"true\""),
            std::string::npos)
      << text;
  TDeviceInfo back;
  ASSERT_TRUE(back.LoadDeviceInfo(tmp / "FMData/X/device.xml"));
  EXPECT_EQ(back.NIP, info.NIP);
  EXPECT_TRUE(back.HasInvoices);
  EXPECT_EQ(back.LineLen, 48);
  EXPECT_TRUE(back.PharmacyVersion);
}

TEST(DeviceInfo, MissingValuesAndBrokenFiles) {
  TTempDir tmp;
  WriteFile(tmp / "a.xml", "<?xml version=\"1.0\"?><Data NIP=\"Łódź\" HasTotals=\"true\"/>");
  TDeviceInfo a;
  ASSERT_TRUE(a.LoadDeviceInfo(tmp / "a.xml"));
  EXPECT_EQ(a.LineLen, 44);
  EXPECT_TRUE(a.HasTotals);
  EXPECT_EQ(a.NIP, "Łódź"_cp);

  TDeviceInfo b;
  b.LineLen = 40;
  WriteFile(tmp / "b.xml", "this is not XML <<<");
  EXPECT_FALSE(b.LoadDeviceInfo(tmp / "b.xml"));
  EXPECT_FALSE(b.LoadDeviceInfo(tmp / "missing.xml"));
  WriteFile(tmp / "c.xml", "<Data LineLen=\"wide\"/>");
  EXPECT_FALSE(b.LoadDeviceInfo(tmp / "c.xml"));
  EXPECT_EQ(b.LineLen, 40);  // left as it was
}

namespace {

std::string HeaderText(const std::string& reportNoLine = "Nr raportu:  0012 ",
                       const std::string& reportDate = "12-03-2024 21:07",
                       const std::string& printoutFrom = "00-00-0000 00:00") {
  const std::string lines[kHeaderLines] = {
      "Plik: 0012.txt", "Zawartość pliku: Kopia elektroniczna", "Wersja pliku: 1.0",
      "Typ urządzenia: FV AE", "Rozmiar linii: 40", "Urządzenie: Kasa", "Nr unikatowy: ABC12345678",
      "Wersja Kopii E: 2", "Nośnik Kopii E: SD", "Plik utworzono: 12-03-2024 21:08", reportNoLine,
      "Data raportu: " + reportDate, "Data wydruku od: " + printoutFrom, "Data wydruku do: 12-03-2024 21:07",
      "Nr wydruku od: 100", "Nr wydruku do: 120", "Data paragonu od: 12-03-2024 08:01",
      "Data paragonu do: ab-cd-efgh ij:kl", "Nr paragonu od: 1", "Nr paragonu do: 18",
      "Data faktury od: 00-00-0000 00:00", "Data faktury do: 00-00-0000 00:00", "Nr faktury od: 0",
      "Nr faktury do: 0", "Nr zerowania od: 0", "Nr zerowania do: 0", "Rozmiar Nagłówka Pliku: 1024",
      "Rozmiar etykiet danych: 16", "Offset Danych Wydruku: 1024", "Rozmiar Danych Wydruku: 2048",
      "Offset Spisu Treści: 3072", "Rozmiar Spisu Treści: 64", "Podpis N: 0A1B2C", "Podpis NP: 3D4E5F",
  };
  std::string text;
  for (const auto& l : lines) text += quorvel::Utf8ToCp1250(l) + "\r\n";
  return text + "pierwsza linia wydruku\r\n";
}

}  // namespace

TEST(ReportFileHeader, ReadsEveryField) {
  TTempDir tmp;
  WriteFile(tmp / "0012.txt", HeaderText());
  TReportFileHeader h;
  ASSERT_TRUE(ReadReportFileHeader(tmp / "0012.txt", h));
  EXPECT_EQ(h.FileName, "0012.txt");
  EXPECT_EQ(h.Content, "Kopia elektroniczna");
  EXPECT_EQ(h.DeviceType, "FV AE");
  EXPECT_EQ(h.LineSize, 40);
  EXPECT_EQ(h.UniqueNo, "ABC12345678");
  EXPECT_EQ(h.ReportNo, 12);
  EXPECT_EQ(h.Created, EncodeDateTime(2024, 3, 12, 21, 8));
  EXPECT_EQ(h.ReportDate, EncodeDateTime(2024, 3, 12, 21, 7));
  EXPECT_EQ(h.PrintoutDateFrom, 0);  // all parts zero: no date
  EXPECT_EQ(h.ReceiptDateTo, 0);     // does not decode: no date
  EXPECT_EQ(h.ReceiptDateFrom, EncodeDateTime(2024, 3, 12, 8, 1));
  EXPECT_EQ(h.PrintoutNoFrom, 100);
  EXPECT_EQ(h.TocSize, 64);
  EXPECT_EQ(h.SignatureN, "0A1B2C");
  EXPECT_EQ(h.SignatureNP, "3D4E5F");
}

TEST(ReportFileHeader, InvalidHeaders) {
  TTempDir tmp;
  std::string missingLine = HeaderText();
  missingLine.erase(missingLine.find("Nr wydruku od"), std::string("Nr wydruku od: 100\r\n").size());
  const std::string text = HeaderText();
  const std::string cases[] = {
      HeaderText("Numer: 0012"),                           // line 11 lacks its key
      HeaderText("Nr raportu: 12a"),                        // not a number
      HeaderText("Nr raportu: 0012", "00-00-0000 00:00"),  // a strict date that does not decode
      HeaderText("Nr raportu: 0012", "31-02-2024 10:00"),
      missingLine,
      text.substr(0, text.find("Podpis NP")),  // the file ends before line 34
      "",
      std::string(70000, '\x01'),
  };
  int i = 0;
  for (const auto& c : cases) {
    WriteFile(tmp / "h.txt", c);
    TReportFileHeader h;
    EXPECT_FALSE(ReadReportFileHeader(tmp / "h.txt", h)) << "case " << i;
    ++i;
  }
  TReportFileHeader h;
  EXPECT_FALSE(ReadReportFileHeader(tmp / "missing.txt", h));
}

TEST(ReportFileHeader, LineEndsAndLongLines) {
  TTempDir tmp;
  std::string lf = HeaderText();
  for (std::size_t p; (p = lf.find("\r\n")) != std::string::npos;) lf.replace(p, 2, "\n");
  WriteFile(tmp / "lf.txt", lf);
  TReportFileHeader h;
  EXPECT_TRUE(ReadReportFileHeader(tmp / "lf.txt", h));
  EXPECT_EQ(h.ReportNo, 12);
  // A signature line longer than the first read is read whole.
  std::string longSig = HeaderText();
  longSig.insert(longSig.find("3D4E5F"), std::string(40000, 'F'));
  WriteFile(tmp / "long.txt", longSig);
  ASSERT_TRUE(ReadReportFileHeader(tmp / "long.txt", h));
  EXPECT_EQ(h.SignatureNP.size(), 40006u);
}
