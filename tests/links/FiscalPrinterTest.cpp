#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <sstream>
#include <thread>

#include "archive/uConfig.h"
#include "links/FiscalPrinter.h"
#include "links/PtyPair.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

using test::TPtyPair;

std::string Sealed(const std::string& body) { return body + PrinterCheckText(body); }
std::string Framed(const std::string& body) { return PrinterFrame(body); }

// Plays the printer on the master side: every frame (or lone ENQ) the link sends is recorded and
// answered with the next scripted reply; an empty reply means no answer.
class TScriptedPrinter {
 public:
  explicit TScriptedPrinter(const TPtyPair& pty) : pty_(pty), thread_([this] { Run(); }) {}
  ~TScriptedPrinter() {
    stop_ = true;
    thread_.join();
  }
  void Answer(const std::string& bytes) {
    std::lock_guard l(m_);
    replies_.push_back(bytes);
  }
  std::vector<std::string> Received() {
    std::lock_guard l(m_);
    return received_;
  }

 private:
  void Run() {
    std::string in;
    while (!stop_) {
      in += pty_.Receive(20);
      for (;;) {
        size_t end;
        if (!in.empty() && in[0] == '\x05') end = 1;
        else if (auto e = in.find("\x1b\\"); e != std::string::npos) end = e + 2;
        else break;
        const std::string frame = in.substr(0, end);
        in.erase(0, end);
        std::string reply;
        {
          std::lock_guard l(m_);
          received_.push_back(frame);
          if (!replies_.empty()) {
            reply = replies_.front();
            replies_.pop_front();
          }
        }
        if (!reply.empty()) pty_.Send(reply);
      }
    }
  }
  const TPtyPair& pty_;
  std::mutex m_;
  std::deque<std::string> replies_;
  std::vector<std::string> received_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class PrinterLink : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(printer.OpenPort(pty.Path()));
    printer.COMPort.RdTimeout = 400;
    printer.PacketTimeout = 300;
  }
  TPtyPair pty;
  TScriptedPrompts prompts;
  TFPrinter printer{&prompts};
};

TEST(PrinterText, MazoviaCodePage) {
  const std::string letters = "ąćęłńóśźżĄĆĘŁŃÓŚŹŻ"_cp.data();
  const std::string want = "\x86\x8D\x91\x92\xA4\xA2\x9E\xA6\xA7\x8F\x95\x90\x9C\xA5\xA3\x98\xA0\xA1";
  EXPECT_EQ(ToPrinterCodePage(std::string("ąćęłńóśźżĄĆĘŁŃÓŚŹŻ"_cp)), want);
  EXPECT_EQ(ToPrinterCodePage("Zakup: 12,50 zl #1\xE9"), "Zakup: 12,50 zl #1\xE9");  // é is no Polish letter
  (void)letters;
}

TEST(PrinterText, CheckCodeFrameAndUnescape) {
  EXPECT_EQ(PrinterCheckText("abc"), "9F");
  EXPECT_EQ(UnescapePacketPayload(std::string("\x86;a\x86\xA6", 5)), std::string("\x1b" "a\x86", 3));
  EXPECT_EQ(UnescapePacketPayload("x\x86"), "x");  // a lone escape at the end is dropped
  const std::string good = Framed(Sealed("1#u/ABC"));
  struct TCase {
    std::string Frame;
    bool Ok;
  } cases[] = {
      {good, true},
      {Framed("1#u/" + PrinterCheckText("1#u/").substr(0, 1) + "f"), false},
      {"\x1bP" "1C\x1b\\", false},                 // 6 bytes
      {Framed("abc9f"), false},                     // lower-case digits
      {Framed("abd9F"), false},                     // wrong code
      {"x" + good.substr(1), false},                // not a frame's start
      {good.substr(0, good.size() - 1) + "|", false},
  };
  EXPECT_TRUE(TFPrinter::CheckReplyFrame(Framed("abc9F")));
  for (const auto& c : cases) EXPECT_EQ(TFPrinter::CheckReplyFrame(c.Frame), c.Ok) << c.Frame;
}

TEST(PrinterText, HubNameTable) {
  struct TCase {
    const char* Name;
    int Number;
    const char* Channel;
    const char* Client;
    bool Master;
  } cases[] = {
      {"OrvoCommHub Brenna", 1, "Przeglądarka - drukarka", "Przeglądarka - drukarka", true},
      {"ORVOCOMMHUB CORVI", 2, "Przeglądarka - Kasa", "Przeglądarka - Kasa", true},
      {"orvocommhub qrid", 3, "qRid", "qRid", false},
      {"ORVOCOMMHUB EFT", 13, "EFT", "EFT", true},
      {"Other hub", 1, "PRNChannel1", "PRNLink1", true},
  };
  for (const auto& c : cases) {
    const auto row = HubChannelFor(c.Name);
    EXPECT_EQ(row.ChannelNumber, c.Number) << c.Name;
    EXPECT_EQ(row.ChannelName, Utf8ToCp1250(c.Channel));
    EXPECT_EQ(row.ClientName, Utf8ToCp1250(c.Client));
    EXPECT_EQ(row.AsMaster, c.Master);
  }
}

TEST(PrinterPorts, NoPortNamesAndOpenFailures) {
  TScriptedPrompts prompts;
  TFPrinter printer(&prompts);
  for (const char* none : {"brak", "Brak", "BRAK", ""}) {
    EXPECT_FALSE(printer.OpenPort(none));
    printer.SendCommand("#u", soFrame);
    EXPECT_FALSE(printer.COMPort.Active());
  }
  ASSERT_EQ(prompts.Messages.size(), 4u);
  EXPECT_EQ(prompts.Messages[0].Text, "Wybierz port");

  TPtyPair pty;
  ASSERT_TRUE(printer.OpenPort(pty.Path()));
  prompts.Messages.clear();
  EXPECT_FALSE(printer.OpenPort("/dev/quorvel-none"));
  ASSERT_EQ(prompts.Messages.size(), 1u);
  EXPECT_EQ(prompts.Messages[0].Text, "Nie można otworzyć portu /dev/quorvel-none. Zmień port !"_cp);
  EXPECT_EQ(printer.PortName, pty.Path());
  EXPECT_EQ(printer.COMPort.PortName(), pty.Path());
  // An invalid serial name is a failure, not a silent stay on the previous port.
  EXPECT_FALSE(printer.OpenPort("COM0"));
  EXPECT_EQ(printer.PortName, pty.Path());
}

TEST(PrinterPorts, HubNameWithoutARunningHubFailsWithTheMessage) {
  test::TTempDir dir;
  ::setenv("QUORVEL_COMMHUB_SOCKET", (dir / "hub.sock").c_str(), 1);
  TScriptedPrompts prompts;
  TFPrinter printer(&prompts);
  EXPECT_FALSE(printer.OpenPort("ORVOCOMMHUB Brenna"));
  EXPECT_FALSE(printer.UsesHub);
  EXPECT_EQ(printer.HubChannelNumber, 1);
  EXPECT_EQ(printer.HubChannelName, "Przeglądarka - drukarka"_cp);
  ASSERT_EQ(prompts.Messages.size(), 1u);
  EXPECT_EQ(prompts.Messages[0].Text, "Nie można otworzyć portu ORVOCOMMHUB Brenna. Zmień port !"_cp);
  EXPECT_EQ(printer.PortName, "BRAK");
  EXPECT_FALSE(HubRegistered());
  ::unsetenv("QUORVEL_COMMHUB_SOCKET");
}

TEST_F(PrinterLink, FramingOnTheLine) {
  TScriptedPrinter dev(pty);
  printer.SendCommand("abc", soCheckCode | soFrame);
  printer.SendCommand("27#s", soFrame);
  printer.SendCommand("plain", 0);
  printer.SetErrorHandling(1);
  printer.SelectRecordsFromNumber(17);
  printer.SelectRecordsFromDate(EncodeDateTime(2024, 3, 5, 7, 8, 9));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  auto got = dev.Received();
  ASSERT_GE(got.size(), 5u);
  EXPECT_EQ(got[0], "\x1bP" "abc9F\x1b\\");
  EXPECT_EQ(got[1], "\x1bP" "27#s\x1b\\");
  EXPECT_EQ(got[2], "plain" + Framed(Sealed("1#e")));  // unframed text reaches the line as it is
  EXPECT_EQ(got[3], Framed(Sealed("63#s17/")));
  EXPECT_EQ(got[4], Framed(Sealed("53;24;3;5;7;8;9#s")));
}

TEST_F(PrinterLink, IdentityAndStatusByte) {
  TScriptedPrinter dev(pty);
  dev.Answer(Framed("1#u/ABC12345678"));
  dev.Answer(Framed("1#u ABC12345678"));
  dev.Answer(Framed("1#RQS-1 v2.01"));
  dev.Answer(std::string(1, '\x08'));
  EXPECT_EQ(printer.ReadUniqueNumber(), "ABC12345678");
  EXPECT_EQ(printer.ReadUniqueNumber(), "");  // no "/" in the reply
  EXPECT_EQ(printer.ReadVersion(), "QS-1 v2.01");
  EXPECT_EQ(printer.SendControlByte(5), 8);
  EXPECT_EQ(dev.Received().back(), "\x05");
}

TEST_F(PrinterLink, SilentPrinterRaisesAfterTheErrorBox) {
  try {
    printer.SendControlByte(5);
    FAIL() << "no exception";
  } catch (const EQD407CommError& e) {
    EXPECT_EQ(std::string(e.what()), "Komunikacja została przerwana."_cp);
  }
  ASSERT_EQ(prompts.Messages.size(), 1u);
  EXPECT_EQ(prompts.Messages[0].Text,
            "Wystąpił błąd podczas komunikacji przez port szeregowy. (Timeout: -1)"_cp);
  EXPECT_EQ(prompts.Messages[0].Caption, "Przegladarka wydruków fiskalnych"_cp);
}

TEST_F(PrinterLink, CheckPortStatusMessages) {
  printer.COMPort.OnError = nullptr;
  AnsiString data = "\\";
  try {
    printer.Receive(data, 10, true);
    FAIL();
  } catch (const EQD407CommError& e) {
    EXPECT_EQ(std::string(e.what()), "Przekroczony został maksymalny czas transferu danych."_cp);
  }
  pty.CloseMaster();
  data = "\\";
  try {
    printer.Receive(data, 10, true);
    FAIL();
  } catch (const EQD407CommError& e) {
    EXPECT_EQ(std::string(e.what()), "System zgłosił błąd nr 5"_cp);
  }
  printer.PortKind = 2;
  try {
    printer.Receive(data, 10, true);
    FAIL();
  } catch (const EQD407CommError& e) {
    EXPECT_EQ(std::string(e.what()), "Odczyt przez port równoległy jest niemożliwy! \r\nZmień port lub nie używaj instrukcji odczytu!"_cp);
  }
}

TEST_F(PrinterLink, ReceiveWithTimeoutAndReceiveUntil) {
  AnsiString data = "\\";
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(printer.ReceiveWithTimeout(data, 100, 150));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(600));
  EXPECT_TRUE(prompts.Messages.empty());
  EXPECT_EQ(printer.COMPort.RdTimeout, 400);  // restored
  pty.Send("abc\\def");
  data = "\\";
  EXPECT_TRUE(printer.ReceiveWithTimeout(data, 100, 150));
  EXPECT_EQ(data, "abc\\");
  EXPECT_TRUE(printer.ReceiveUntil(data, 100, 'x', 10) == false);
  EXPECT_EQ(data, "def");  // what arrived stays
  pty.Send("12\x03" "45");
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_TRUE(printer.ReceiveUntil(data, 100, '\x03', 500));
  EXPECT_EQ(data, "12\x03" "45");
  pty.Send("123456");
  EXPECT_TRUE(printer.ReceiveUntil(data, 4, '\x03', 500));
  EXPECT_EQ(data, "1234");

  // A reply in two parts: the wait sleeps on the line, gathers both and ends with the second.
  printer.ResetLink();  // "56" of the last reply goes
  std::thread device([&] {
    pty.Send("ab");
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    pty.Send("c\x03");
  });
  auto t1 = std::chrono::steady_clock::now();
  EXPECT_TRUE(printer.ReceiveUntil(data, 100, '\x03', 2000));
  EXPECT_GE(std::chrono::steady_clock::now() - t1, std::chrono::milliseconds(140));
  EXPECT_LT(std::chrono::steady_clock::now() - t1, std::chrono::milliseconds(1200));
  device.join();
  EXPECT_EQ(data, "abc\x03");
  // Silence ends the wait at its time-out with what came kept.
  pty.Send("z");
  t1 = std::chrono::steady_clock::now();
  EXPECT_FALSE(printer.ReceiveUntil(data, 100, '\x03', 200));
  EXPECT_GE(std::chrono::steady_clock::now() - t1, std::chrono::milliseconds(200));
  EXPECT_LT(std::chrono::steady_clock::now() - t1, std::chrono::milliseconds(800));
  EXPECT_EQ(data, "z");
}

TEST_F(PrinterLink, UserBreakAsksAndRaises) {
  printer.COMPort.RdTimeout = 3000;
  prompts.BreakAfterPumps = 0;
  prompts.BreakCount = 1;
  prompts.Answers = {true};
  AnsiString data = "\\";
  try {
    printer.Receive(data, 10, true);
    FAIL();
  } catch (const EQD407CommError& e) {
    EXPECT_EQ(std::string(e.what()), "Komunikacja została przerwana przez użytkownika."_cp);
  }
  EXPECT_TRUE(printer.UserBroke);
  ASSERT_EQ(prompts.Questions.size(), 1u);
  EXPECT_EQ(prompts.Questions[0].Text, "Czy rzeczywiście chcesz przerwać transmisję?"_cp);
  // "No" lets the transfer go on; a user break also gets through ReceiveWithTimeout.
  prompts.BreakCount = 1;
  prompts.Answers = {false};
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    pty.Send("ok\\");
  });
  data = "\\";
  printer.Receive(data, 10, true);
  EXPECT_EQ(data, "ok\\");
  late.join();
  prompts.BreakCount = 1;
  prompts.Answers = {true};
  data = "\\";
  EXPECT_THROW(printer.ReceiveWithTimeout(data, 10, 3000), EQD407CommError);
}

// --- fiscal-memory records ---

const std::string kHead = "h1;h2;h3;h4;h5;h6;";
const std::string kSeven = "1.00/2.00/3.00/4.00/5.00/6.00/7.00/";

std::string Code32(bool pharmacy, bool extraSemicolon) {
  std::string b = "32#X" + kHead + "10;2;1;77;100.00/23.00/D1;3;D2;D3;";
  if (pharmacy) b += "4;";
  b += "0.50/";
  if (pharmacy) b += "9.99/";
  b += kSeven + "a/-/c/d/e/f/g/" + "cvt/cg/" + kSeven + "ia/ib/-/id/ie/if/ig/" + "civt/cig;5/igt/ivt/";
  b += "s/s/s/s/s/s/s/x\r";
  if (pharmacy) b += "2;";
  if (extraSemicolon) b += "0;";
  return b;
}

TEST_F(PrinterLink, RecordKindsByCodeAndSemicolons) {
  struct TCase {
    std::string Body;
    uint8_t Kind;
  } cases[] = {
      {"10#X" + kHead + "12;1;0;5.00/" + kSeven, kKindDailyShort},             // 9 ";"
      {"10#X" + kHead + "12;1;0;PT1;5.00/PT2/" + kSeven, kKindDailyLong},      // 10 ";"
      {Code32(false, true), kKindDailyCumulative},                             // 16 ";"
      {Code32(true, false), kKindDailyPharmacy},                               // 17 ";"
      {"31#X" + kHead + "s;s;s;EUR\r0/0/0/0/0/s/s/", kKindCurrencyNoDate},
      {"31#X" + kHead + "s;s;s;EUR\r24/6/1/12/30/s/s/", kKindCurrencyChange},
      {"11#X" + kHead + "s;s;s;s/23/8/5/0/101/101/101/", kKindRateChange},
      {"12#X" + kHead + "2;7;s;s/s/s/s/s/s/s/s/", kKindRamReset},
      {"13#X" + kHead + "s;s;s;s/s/s/s/s/s/s/s/", kKindPrinterSkipped8},
      {"20#X" + kHead + "8;1;0;44;90.00/12.00/D1;2;D2;D3;0.00/" + kSeven, kKindDaily},
      {"30#X" + kHead + "s;s;s;s\rs/s/s/s/s/s/s/", kKindPrinterSkipped11},
      {"33#X" + kHead + "s;s;s;4/24/12/31/23/59/", kKindMediumClosing},
      {"14#X" + kHead + "7/1/2/3/4/5/6/vv/p3/vt/p4/p5/rc/d1/vc/d2/p6/p7/", kKindDailyExtra},
      {"25#X" + kHead, kKindFiscalEnd},
  };
  for (const auto& c : cases) pty.Send(Framed(Sealed(c.Body)));
  for (const auto& c : cases) {
    RFMRecord r;
    printer.ReadRecord(r);
    EXPECT_EQ(r.Kind, c.Kind) << c.Body;
    EXPECT_EQ(r.HeaderTokens[5], "h6");
    EXPECT_EQ(printer.EndReached, c.Kind == kKindFiscalEnd);
    switch (c.Kind) {
      case kKindDailyShort:
        EXPECT_EQ(r.ReceiptCount, "12");
        EXPECT_EQ(r.VoidValue, "5.00");
        EXPECT_EQ(r.Gross[6], "7.00");
        EXPECT_EQ(r.PrinterText1, "");
        break;
      case kKindDailyLong:
        EXPECT_EQ(r.PrinterText1, "PT1");
        EXPECT_EQ(r.PrinterText2, "PT2");
        EXPECT_EQ(r.Gross[0], "1.00");
        break;
      case kKindDailyCumulative:
      case kKindDailyPharmacy: {
        const bool ph = c.Kind == kKindDailyPharmacy;
        EXPECT_EQ(r.GoodsChanged, "TAK");
        EXPECT_EQ(r.Number, "77");
        EXPECT_EQ(r.GrossTotal, "100.00");
        EXPECT_EQ(r.DeviceText3, "D3");
        EXPECT_EQ(r.PricingCount, ph ? 4 : 0);
        EXPECT_EQ(r.FeesTotal, ph ? "9.99" : "");
        EXPECT_EQ(r.VoidValue, "0.50");
        EXPECT_EQ(r.CumVat[1], "");  // "-" is stored empty
        EXPECT_EQ(r.CumVat[2], "c");
        EXPECT_EQ(r.CumGross, "cg");
        EXPECT_EQ(r.InvoiceGross[6], "7.00");
        EXPECT_EQ(r.CumInvoiceVat[2], "");
        EXPECT_EQ(r.CumInvoiceGross, "cig");
        EXPECT_EQ(r.InvoiceCount, "5");
        EXPECT_EQ(r.InvoiceVatTotal, "ivt");
        EXPECT_EQ(r.VoidPricingCount, ph ? 2 : 0);
        break;
      }
      case kKindCurrencyNoDate:
        EXPECT_EQ(r.Currency.Name, "EUR");
        EXPECT_EQ(r.Currency.ChangeDate, 0);
        break;
      case kKindCurrencyChange:
        EXPECT_EQ(r.Currency.ChangeDate, EncodeDateTime(2024, 6, 1, 12, 30));
        break;
      case kKindRateChange:
        EXPECT_EQ(r.Rates[0], "23");
        EXPECT_EQ(r.Rates[6], "101");
        break;
      case kKindRamReset:
        EXPECT_EQ(r.ResetKind, "2");
        EXPECT_EQ(r.ResetNo, "7");
        break;
      case kKindDaily:
        EXPECT_EQ(r.Number, "44");
        EXPECT_EQ(r.ResetNo, "2");
        EXPECT_EQ(r.Gross[3], "4.00");
        break;
      case kKindMediumClosing:
        EXPECT_EQ(r.MediumNo, 4);
        EXPECT_EQ(r.MediumClosedAt, EncodeDateTime(2024, 12, 31, 23, 59));
        break;
      case kKindDailyExtra:
        EXPECT_EQ(r.Number, "7");
        EXPECT_EQ(r.Gross[5], "6");
        EXPECT_EQ(r.PrinterText7, "p7");
        EXPECT_EQ(r.VoidCount, "vc");
        break;
      default: break;
    }
  }
  EXPECT_TRUE(prompts.Messages.empty());
  printer.SelectRecordsFromNumber(1);
  EXPECT_FALSE(printer.EndReached);
}

TEST_F(PrinterLink, UnknownCodeDecodesNothingAndBadCheckCodeWarns) {
  RFMRecord before;
  before.ReceiptCount = "keep";
  RFMRecord r = before;
  pty.Send(Framed("99#X" + kHead + "1;2;3;zz"));
  printer.ReadRecord(r);
  EXPECT_EQ(r.Kind, 0);
  EXPECT_EQ(r, before);
  EXPECT_FALSE(printer.EndReached);
  EXPECT_TRUE(prompts.Messages.empty());

  const std::string body = "20#X" + kHead + "8;1;0;44;90.00/12.00/D1;2;D2;D3;0.00/" + kSeven;
  pty.Send(Framed(body + "00"));
  printer.ReadRecord(r);
  EXPECT_EQ(r.Kind, kKindDaily);
  EXPECT_EQ(r.Number, "44");  // kept as decoded
  ASSERT_EQ(prompts.Messages.size(), 1u);
  EXPECT_EQ(prompts.Messages[0].Text,
            "Błędna suma kontrolna (jest 00 a powinno być "_cp + PrinterCheckText(body) + ").");

  pty.Send(Framed("X1#X" + kHead));
  EXPECT_THROW(printer.ReadRecord(r), EConvertError);
}

// --- electronic-copy transfer ---

std::string Escape(const std::string& raw) {
  std::string p;
  for (char c : raw) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x5C || b == 0x86) {
      p += '\x86';
      p += static_cast<char>(b ^ 0x20);
    } else {
      p += c;
    }
  }
  return p;
}
std::string Packet(int no, int status, const std::string& raw) {
  return Framed(Sealed("@EP" + std::to_string(no) + "/" + std::to_string(status) + "/0001.txt\r0/0/" +
                       Escape(raw) + "\r"));
}

TEST_F(PrinterLink, RequestFileText) {
  TScriptedPrinter dev(pty);
  printer.RequestFile(5, "0000/0001.txt", "", 0, "");
  TConfig config;
  config.BigPackets = true;
  printer.Config = &config;
  printer.RequestFile(1, "01022024", "ABC12345.678", 1, "29022024");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto got = dev.Received();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], Framed(Sealed("0@EP0/5/\r0000/0001.txt\r\r1/")));
  EXPECT_EQ(got[1], Framed(Sealed("1@EP1/1/ABC12345.678\r01022024\r29022024\r1/")));
}

TEST_F(PrinterLink, DownloadSurvivesThreeBadPacketsAndStopsAtTheFourth) {
  test::TTempDir dir;
  const std::string part1 = std::string("Linia 1\r\n\x1b\\ \x86", 14), part2 = "koniec\r\n";
  for (int bad : {3, 4}) {
    TScriptedPrinter dev(pty);
    dev.Answer(Packet(1, 0, part1));
    for (int i = 0; i < bad; ++i) dev.Answer(i % 2 ? Packet(2, 2, part2).substr(0, 20) : Framed("@EP2/2/x\r0/0/y\r00"));
    dev.Answer(Packet(2, 2, part2));
    const auto file = dir / ("f" + std::to_string(bad));
    EXPECT_TRUE(printer.DownloadFile("0001.txt", file));  // one packet stored is a result
    EXPECT_EQ(test::ReadFile(file), bad == 3 ? part1 + part2 : part1) << bad;
    const auto sent = dev.Received();
    ASSERT_EQ(sent.size(), 5u);  // first request, one "next", three "again" (none after the fourth)
    EXPECT_EQ(sent[1], Framed(Sealed("0@EP1/5/\r\r\r1/")));
    EXPECT_EQ(sent[2], Framed(Sealed("0@EP2/5/\r\r\r1/")));
  }
}

TEST_F(PrinterLink, DownloadFromASilentPrinterFailsAndARepeatedPacketIsStoredOnce) {
  test::TTempDir dir;
  EXPECT_FALSE(printer.DownloadFile("0001.txt", dir / "none"));
  TScriptedPrinter dev(pty);
  dev.Answer(Packet(1, 0, "A"));
  dev.Answer(Packet(1, 0, "A"));  // the same packet again
  dev.Answer(Packet(2, 1, "B"));
  dev.Answer(Packet(3, 2, "C"));
  EXPECT_TRUE(printer.DownloadFile("0001.txt", dir / "f"));
  EXPECT_EQ(test::ReadFile(dir / "f"), "ABC");
}

TEST(PrinterText, EscapedPayloadDecodes) {
  EXPECT_EQ(UnescapePacketPayload(std::string("\x86\x3B", 2)), "\x1b");  // 134, 59 -> 27
}

// --- verification ---

std::vector<std::string> Bodies(const std::vector<std::string>& frames) {
  std::vector<std::string> out;
  for (const auto& f : frames) out.push_back(f.substr(2, f.size() - 4));
  return out;
}

TEST_F(PrinterLink, VerifyTextPieces) {
  for (size_t len : {256u, 257u}) {
    TScriptedPrinter dev(pty);
    std::string text(len, 'a');
    text[0] = "ą"_cp[0];
    dev.Answer("");  // both lengths send two frames; the answer follows the second
    dev.Answer(Framed("1@EV1/"));
    EXPECT_TRUE(printer.VerifyText(text, "AB12", "ABC12345678", 3));
    const auto b = Bodies(dev.Received());
    ASSERT_EQ(b.size(), 2u) << len;
    const std::string first = "1;3@EVABC12345678\r" + std::string(len == 256 ? "AB12" : "") + "\r3/256/\x86" +
                              std::string(255, 'a') + "\r";
    EXPECT_EQ(b[0], Sealed(first));
    if (len == 256) EXPECT_EQ(b[1], Sealed("99@EVABC12345678\rAB12\r3/256/\r"));
    else EXPECT_EQ(b[1], Sealed("99;3@EVABC12345678\rAB12\r3/1/a\r"));
  }
  TScriptedPrinter dev(pty);
  dev.Answer("");
  dev.Answer(Framed("1@EV0/"));
  EXPECT_FALSE(printer.VerifyText("x", "0000", "ABC12345678", 1));
}

TEST_F(PrinterLink, VerifyStreamSendsHexPieces) {
  TScriptedPrinter dev(pty);
  std::string bytes(130, '\x01');
  bytes[129] = '\xFF';
  std::istringstream in(bytes);
  dev.Answer("");
  dev.Answer(Framed("1@EV1/"));
  EXPECT_TRUE(printer.VerifyStream(in, "C0DE", "ABC12345678", 2));
  const auto b = Bodies(dev.Received());
  ASSERT_EQ(b.size(), 2u);
  std::string hex;
  for (int i = 0; i < 128; ++i) hex += "01";
  EXPECT_EQ(b[0], Sealed("1;2@EVABC12345678\r\r2/128/" + hex + "\r"));
  EXPECT_EQ(b[1], Sealed("99;2@EVABC12345678\rC0DE\r2/2/01FF\r"));
}

}  // namespace
}  // namespace quorvel
