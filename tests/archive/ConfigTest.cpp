#include <gtest/gtest.h>

#include "archive/uConfig.h"
#include "archive/uXML.h"
#include "support/TestSupport.h"

using namespace quorvel;
using quorvel::test::ReadFile;
using quorvel::test::TTempDir;
using quorvel::test::WriteFile;

TEST(Config, NewObjectAndMissingFileHoldTheFirstColumn) {
  TTempDir tmp;
  TConfig c;
  EXPECT_FALSE(c.Load(tmp / "config.xml"));
  EXPECT_EQ(c.PortSpeed, 9600);
  EXPECT_EQ(c.ChannelName, "QVXBrowser");
  EXPECT_FALSE(c.BigPackets);
  EXPECT_EQ(c.AutoDownloadInteval, 0);
  EXPECT_EQ(c.ImportRangeType, 4);
}

TEST(Config, KeysTheFileLacksTakeTheSecondColumn) {
  TTempDir tmp;
  WriteFile(tmp / "config.xml", "<?xml version=\"1.0\"?>\n<Config PortName=\"COM2\"/>\n");
  TConfig c;
  ASSERT_TRUE(c.Load(tmp / "config.xml"));
  EXPECT_EQ(c.PortName, "COM2");
  EXPECT_EQ(c.PortSpeed, 9600);
  EXPECT_TRUE(c.BigPackets);
  EXPECT_EQ(c.AutoDownloadInteval, 1);
  EXPECT_EQ(c.ImportRangeType, 4);
}

TEST(Config, DeviceTypeIsClamped) {
  TTempDir tmp;
  struct Case { const char* value; int expected; };
  for (const Case& k : {Case{"7", 1}, Case{"-3", 0}, Case{"1", 1}, Case{"0", 0}}) {
    WriteFile(tmp / "config.xml", std::string("<Config DeviceType=\"") + k.value + "\"/>");
    TConfig c;
    c.Load(tmp / "config.xml");
    EXPECT_EQ(c.DeviceType, k.expected) << k.value;
  }
}

TEST(Config, AValueThatDoesNotConvertStopsTheLoading) {
  TTempDir tmp;
  WriteFile(tmp / "config.xml",
            "<Config PortName=\"COM3\" PortSpeed=\"abc\" ChannelID=\"5\" BigPackets=\"true\" SaveDirectory=\"/d\"/>");
  TConfig c;
  c.Load(tmp / "config.xml");
  EXPECT_EQ(c.PortName, "COM3");
  EXPECT_EQ(c.PortSpeed, 9600);
  EXPECT_EQ(c.ChannelID, 1);
  EXPECT_FALSE(c.BigPackets);
  EXPECT_EQ(c.SaveDirectory, "");
}

TEST(Config, UnreadableFilesGiveTheDefaults) {
  TTempDir tmp;
  for (const char* bad : {"", "not xml", "<Config PortName=\"x\"", "\xFF\xFE<"}) {
    WriteFile(tmp / "config.xml", bad);
    TConfig c;
    c.PortName = "left over";
    EXPECT_FALSE(c.Load(tmp / "config.xml")) << bad;
    EXPECT_EQ(c.PortName, "");
    EXPECT_EQ(c.PortSpeed, 9600);
  }
}

TEST(Config, SavesEveryKeyInOrderAndReadsItBack) {
  TTempDir tmp;
  TConfig c;
  c.PortName = "/dev/ttyUSB0";
  c.PortSpeed = 115200;
  c.LastDir = "/home/sklep/Łódź"_cp;
  c.AutoDownload = true;
  c.AutoDownloadInteval = 300;
  c.DownloadAfterTime = 0.75;
  c.DeviceType = 1;
  c.SaveDirectory = "/srv/archiwum";
  ASSERT_TRUE(c.Save(tmp / "sub" / "config.xml"));
  const std::string text = ReadFile(tmp / "sub" / "config.xml");
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\"?>", 0), 0u) << text;
  EXPECT_NE(text.find("<Config PortName=\"/dev/ttyUSB0\" PortSpeed=\"115200\" ChannelID=\"1\" "
                      "ChannelName=\"QVXBrowser\" ImportType=\"2\" ImportRangeType=\"4\" "
                      "LastDir=\"/home/sklep/Łódź\" AutoDownload=\"true\" AutoDownloadInteval=\"300\" "
                      "DownloadAfterEnabled=\"false\" DownloadAfterTime=\"0,75\" BigPackets=\"false\" "
                      "CloseAfterDownload=\"false\" DeviceType=\"1\" Directory=\"\" SaveDirectory=\"/srv/archiwum\""),
            std::string::npos)
      << text;
  TConfig back;
  ASSERT_TRUE(back.Load(tmp / "sub" / "config.xml"));
  EXPECT_EQ(back.Values(), c.Values());
  // A folder that cannot be written is not reported, only refused.
  WriteFile(tmp / "blocker", "x");
  EXPECT_FALSE(c.Save(tmp / "blocker" / "config.xml"));
}

TEST(XML, ValuesAndDefaults) {
  TXML x("Data");
  x.SetValue("A", 5);
  x.SetValue("B", true);
  x.SetValue("C", "tekst ąę"_cp);
  EXPECT_EQ(x.GetValue("A", 0), 5);
  EXPECT_TRUE(x.GetValue("B", false));
  EXPECT_EQ(x.GetValue("C", ""), "tekst ąę"_cp);
  EXPECT_EQ(x.GetValue("missing", 44), 44);
  EXPECT_FALSE(x.HasValue("missing"));
  EXPECT_THROW(x.GetValue("C", 0), std::exception);
}

TEST(SerialPorts, ListsDeviceBackedTtysFromSysfs) {
  TTempDir tmp;
  namespace fs = std::filesystem;
  const fs::path sys = tmp / "class_tty";
  // ttyS0 has a UART, ttyS1 is an empty slot, tty1 is a virtual console, ttyUSB0 a USB adapter.
  fs::create_directories(tmp / "devices/serial8250/tty/ttyS0");
  fs::create_directories(tmp / "devices/serial8250/tty/ttyS1");
  fs::create_directories(tmp / "devices/usb1/1-1/1-1:1.0/ttyUSB0");
  WriteFile(tmp / "devices/usb1/1-1/product", "FT232R USB UART\n");
  for (const char* n : {"ttyS0", "ttyS1", "ttyUSB0", "tty1"}) fs::create_directories(sys / n);
  fs::create_directory_symlink(tmp / "devices/serial8250", sys / "ttyS0/device");
  fs::create_directory_symlink(tmp / "devices/serial8250", sys / "ttyS1/device");
  fs::create_directory_symlink(tmp / "devices/usb1/1-1/1-1:1.0", sys / "ttyUSB0/device");
  WriteFile(sys / "ttyS0/type", "4\n");
  WriteFile(sys / "ttyS1/type", "0\n");
  std::vector<std::string> list{"kept"};
  ListSerialPorts("COM", list, sys);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0], "kept");
  EXPECT_EQ(list[1], "COM1 - Port komunikacyjny (COM1)");
  EXPECT_EQ(list[2], "/dev/ttyUSB0 - FT232R USB UART (/dev/ttyUSB0)");
  std::vector<std::string> none;
  ListSerialPorts("COM", none, tmp / "no-such-folder");
  EXPECT_TRUE(none.empty());
}
