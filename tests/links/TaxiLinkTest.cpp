#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

#include "base/Errors.h"
#include "base/UserPrompts.h"
#include "links/DADCommDevices.h"
#include "links/FiscalPrinter.h"
#include "links/LumoTaxiCommunication.h"
#include "links/PtyPair.h"
#include "links/TaxiMeterPeer.h"

namespace quorvel {
namespace {

using test::MeterFrame;
using test::TMeterAnswer;
using test::TPtyPair;
using test::TTaxiMeterPeer;

const std::string kNak("Urządzenie nie zaakceptowało przesłanych danych."_cp);
const std::string kEot("Brak danych w podanym zakresie."_cp);
const std::string kBadReply("Błędna odpowiedź z kasy"_cp);

std::string Reply(const std::vector<std::string>& fields) { return MeterFrame(fields); }

std::vector<std::string> DailyEntry(const std::string& number, const std::string& flags) {
  return {"129", "10", "05-03-2024 21:15", "12", "1", flags, "150", "10000", "2000", "0", "0", "0", "0", "-5",
          number, "T1", "T3", "2100", "12000"};
}

// ---- requests ----

TEST(TaxiRequests, BodiesAndFrames) {
  EXPECT_EQ(TLumoTaxiComm::UniqueNumberRequest(), "100\r131\r0\r0\r0\r0\r");
  EXPECT_EQ(TLumoTaxiComm::NipRequest(), "100\r113\r0\r0\r0\r0\r");
  EXPECT_EQ(TLumoTaxiComm::FrameRequest("abc"), "\x02" "abc62\x03");
  EXPECT_EQ(TLumoTaxiComm::FrameRequest(TLumoTaxiComm::NipRequest()), "\x02" "100\r113\r0\r0\r0\r0\r00\x03");
  EXPECT_EQ(TLumoTaxiComm::CheckCode(""), "02");
  // Only the start of the range goes out; by date the time of day comes from the end.
  const TDateTime from = EncodeDateTime(2024, 3, 5, 10, 11, 12), to = EncodeDateTime(2024, 4, 1, 23, 59, 30);
  struct {
    bool ByNumber;
    double From;
    const char* Body;
  } cases[] = {
      {true, 15, "100\r129\r0\r15\r0\r0\r"},
      {true, 0, "100\r129\r0\r0\r0\r0\r"},
      {true, std::nan(""), "100\r129\r0\r0\r0\r0\r"},
      {true, 1e12, "100\r129\r0\r0\r0\r0\r"},
      {false, from, "100\r129\r1\r2024-03-05 23:59:30\r0\r0\r"},
  };
  for (const auto& c : cases) EXPECT_EQ(TLumoTaxiComm::RangeRequest(c.ByNumber, c.From, to), c.Body) << c.Body;
}

TEST(TaxiReplies, UniqueNumberAndNip) {
  EXPECT_EQ(TLumoTaxiComm::ParseUniqueNumber(Reply({"131", " ABC12345678 "})), "ABC12345678");
  EXPECT_EQ(TLumoTaxiComm::ParseNip(Reply({"113", "123-456-78-90"})), "123-456-78-90");
  EXPECT_EQ(TLumoTaxiComm::ParseUniqueNumber(Reply({"113", "123-456-78-90"})), "");
  EXPECT_EQ(TLumoTaxiComm::ParseNip(Reply({"131", "ABC12345678"})), "");
  EXPECT_EQ(TLumoTaxiComm::ParseNip(""), "");
  EXPECT_EQ(TLumoTaxiComm::ParseNip("\x02" "113"), "");
  // A value without its closing CR still reads up to the end of the reply.
  EXPECT_EQ(TLumoTaxiComm::ParseNip("\x02" "113\r555"), "555");
}

// ---- entries ----

TEST(TaxiRecords, DailyReport) {
  RFMRecord r;
  r.Rates[0] = "23.00";  // carried from an earlier entry
  TLumoTaxiComm::ParseRecord(Reply(DailyEntry("17", "8192")), r);
  EXPECT_EQ(r.Kind, kKindDaily);
  EXPECT_DOUBLE_EQ(r.Date, EncodeDateTime(2024, 3, 5, 21, 15, 0));
  EXPECT_EQ(r.ReceiptCount, "12");
  EXPECT_EQ(r.VoidCount, "1");
  EXPECT_EQ(r.GoodsChanged, "TAK");
  EXPECT_EQ(r.VoidValue, "1.50");
  EXPECT_EQ(r.Gross, (TRateTexts{"100.00", "20.00", "0.00", "0.00", "0.00", "0.00", "-0.05"}));
  EXPECT_EQ(r.Number, "17");
  EXPECT_EQ(r.DeviceText1, "T1");
  EXPECT_EQ(r.DeviceText3, "T3");
  EXPECT_EQ(r.VatTotal, "21.00");
  EXPECT_EQ(r.GrossTotal, "120.00");
  EXPECT_EQ(r.Rates[0], "23.00");

  TLumoTaxiComm::ParseRecord(Reply(DailyEntry("18", "8191")), r);
  EXPECT_EQ(r.GoodsChanged, "");
  EXPECT_EQ(r.Number, "18");
}

TEST(TaxiRecords, OtherEntryTypes) {
  RFMRecord base;
  base.Kind = kKindDaily;
  base.Number = "5";
  base.Currency.ChangeDate = 1234;
  base.Date = 4321;

  RFMRecord r = base;
  TLumoTaxiComm::ParseRecord(Reply({"129", "11", "01-02-2024 08:00", "a", "b", "c", "d", "2300", "800", "500", "0",
                                    "", "10100", "9999", "0", "1", "130", "3", "4", "0", "255"}),
                             r);
  EXPECT_EQ(r.Kind, kKindRateChange);
  EXPECT_DOUBLE_EQ(r.Date, EncodeDateTime(2024, 2, 1, 8, 0, 0));
  EXPECT_EQ(r.Rates, (TRateTexts{"23.00", "8.00", "5.00", "0.00", "", "101.00", "99.99"}));
  EXPECT_EQ(r.TaxSchemes, (std::array<int32_t, 7>{0, 1, 2, 3, 4, 0, 127}));
  EXPECT_EQ(r.Number, "5");

  r = base;
  TLumoTaxiComm::ParseRecord(Reply({"130", "12", "07-02-2024", "1", "3", "1"}), r);
  EXPECT_EQ(r.Kind, kKindRamReset);
  EXPECT_DOUBLE_EQ(r.Date, EncodeDate(2024, 2, 7));
  EXPECT_EQ(r.ResetKind, "1");
  EXPECT_EQ(r.ResetNo, "3");
  EXPECT_EQ(r.GoodsNotCleared, "1");
  r.GoodsNotCleared = "x";
  TLumoTaxiComm::ParseRecord(Reply({"129", "12", "07-02-2024", "2", "4", "zero"}), r);
  EXPECT_EQ(r.GoodsNotCleared, "");

  r = base;
  TLumoTaxiComm::ParseRecord(Reply({"129", "14", "1", "2", "3", "4", "5", "6", "7"}), r);
  RFMRecord expected = base;
  expected.Kind = kKindPrinterSkipped11;
  EXPECT_EQ(r, expected);

  r = base;
  TLumoTaxiComm::ParseRecord(Reply({"129", "15", "x", "EUR", "24", "3", "1", "9", "30"}), r);
  EXPECT_EQ(r.Kind, kKindCurrencyChange);
  EXPECT_EQ(r.Currency.Name, "EUR");
  EXPECT_DOUBLE_EQ(r.Currency.ChangeDate, EncodeDateTime(2024, 3, 1, 9, 30, 0));

  r = base;
  TLumoTaxiComm::ParseRecord(Reply({"129", "15", "x", "PLN", "0", "0", "0", "0", "0"}), r);
  EXPECT_EQ(r.Kind, kKindCurrencyNoDate);
  EXPECT_EQ(r.Currency.Name, "PLN");
  EXPECT_DOUBLE_EQ(r.Currency.ChangeDate, 1234);

  r = base;
  TLumoTaxiComm::ParseRecord(Reply({"129", "25"}), r);
  EXPECT_EQ(r.Kind, kKindFiscalEnd);

  // Types outside the table, and a type that is not a number, change nothing at all.
  for (const char* type : {"13", "99", "abc", ""}) {
    r = base;
    TLumoTaxiComm::ParseRecord(Reply({"129", type, "01-02-2024 08:00", "1", "2"}), r);
    EXPECT_EQ(r, base) << type;
  }
}

TEST(TaxiRecords, BadEntriesRaiseAndLeaveTheRecord) {
  RFMRecord base;
  base.Kind = kKindRateChange;
  base.Number = "5";
  auto daily = DailyEntry("6", "0");
  auto emptyAmount = daily;
  emptyAmount[8] = "";
  auto textAmount = daily;
  textAmount[17] = "12,50";
  auto badDate = daily;
  badDate[2] = "5-3-2024 21:15";
  auto shortDate = daily;
  shortDate[2] = "05-03-2024";
  auto badMonth = daily;
  badMonth[2] = "05-13-2024 21:15";
  auto badFlags = daily;
  badFlags[5] = "x";
  const std::vector<std::string> rates = {"129", "11", "01-02-2024 08:00", "a", "b", "c", "d", "2300", "800", "500",
                                          "0", "", "10100", "9999", "0", "1", "x", "3", "4", "0", "0"};
  const std::vector<std::string> currency = {"129", "15", "x", "EUR", "24", "mm", "1", "0", "0"};
  struct {
    const char* Name;
    std::string Reply;
    bool Conversion;  // a conversion error rather than the bad-reply message
  } cases[] = {
      {"code 128", "\x02" "128\r10\r", false},
      {"empty", "", false},
      {"lower-case code", Reply({"12a", "25"}), false},
      {"empty amount", Reply(emptyAmount), true},
      {"amount with a comma", Reply(textAmount), true},
      {"date out of place", Reply(badDate), true},
      {"date without time", Reply(shortDate), true},
      {"month 13", Reply(badMonth), true},
      {"flags not a number", Reply(badFlags), true},
      {"tax scheme not a number", Reply(rates), true},
      {"currency month not a number", Reply(currency), true},
  };
  for (const auto& c : cases) {
    RFMRecord r = base;
    try {
      TLumoTaxiComm::ParseRecord(c.Reply, r);
      ADD_FAILURE() << c.Name << ": no error";
    } catch (const EConvertError&) {
      EXPECT_TRUE(c.Conversion) << c.Name;
    } catch (const EQuorvelError& e) {
      EXPECT_FALSE(c.Conversion) << c.Name;
      EXPECT_EQ(e.what(), kBadReply) << c.Name;
    }
    EXPECT_EQ(r, base) << c.Name;
  }
}

// ---- the exchange over a pseudo-terminal, through both ways to the port ----

enum class TVia { CommDevice, PrinterLink };

struct TLine {
  explicit TLine(TVia via) {
    if (via == TVia::CommDevice) {
      device.SetPortName(pty.Path());
      device.Open();
      port = std::make_unique<TTaxiCommPort>(device);
    } else {
      printer.OpenPort(pty.Path());
      port = std::make_unique<TTaxiPrinterPort>(printer);
    }
    port->Timeout = 150;
  }
  TPtyPair pty;
  TMPXCommDevice device;
  TFPrinter printer;
  std::unique_ptr<TTaxiPort> port;
};

TEST(TaxiExchange, DefaultWaitIsSixSeconds) {
  TPtyPair pty;
  TMPXCommDevice device;
  EXPECT_EQ(TTaxiCommPort(device).Timeout, 6000);
}

TEST(TaxiExchange, AnswersOfTheMeter) {
  const std::string frame = Reply({"131", "ABC12345678"});
  std::string badCode = frame;
  badCode[badCode.size() - 2] = 'Z';  // the link leaves the reply's check code alone
  struct {
    const char* Name;
    std::vector<TMeterAnswer> Script;
    std::string Result;
    std::string Error;
    int Acks;
  } cases[] = {
      {"silent", {}, "", "", 0},
      {"NAK", {{"\x15"}}, "", kNak, 0},
      {"another byte", {{"x"}}, "", "", 0},
      {"ACK, then silent", {{"\x06"}}, "", "", 0},
      {"ACK, then EOT", {{"\x06\x04"}}, "", kEot, 0},
      {"ACK and reply", {{"\x06" + frame}}, frame, "", 1},
      {"reply in pieces", {{"\x06\x02", 60, frame.substr(1)}}, frame, "", 1},
      {"unfinished reply", {{"\x06" + frame.substr(0, frame.size() - 1)}}, "", "", 0},
      {"bad check code", {{"\x06" + badCode}}, badCode, "", 1},
  };
  for (TVia via : {TVia::CommDevice, TVia::PrinterLink}) {
    for (const auto& c : cases) {
      const std::string name = std::string(c.Name) + (via == TVia::CommDevice ? " (port)" : " (printer link)");
      TLine line(via);
      TTaxiMeterPeer meter(line.pty, c.Script);
      std::string result, error;
      try {
        result = TLumoTaxiComm::Transact(*line.port, TLumoTaxiComm::FrameRequest(TLumoTaxiComm::UniqueNumberRequest()));
      } catch (const EQuorvelError& e) {
        error = e.what();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      EXPECT_EQ(result, c.Result) << name;
      EXPECT_EQ(error, c.Error) << name;
      EXPECT_EQ(meter.Acks(), c.Acks) << name;
      ASSERT_EQ(meter.Frames().size(), 1u) << name;
      EXPECT_EQ(meter.Frames()[0], "\x02" "100\r131\r0\r0\r0\r0\r00\x03") << name;
    }
  }
}

TEST(TaxiExchange, SilenceEndsAfterTheTimeOut) {
  TLine line(TVia::CommDevice);
  line.port->Timeout = 300;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(TLumoTaxiComm::Transact(*line.port, TLumoTaxiComm::FrameRequest(TLumoTaxiComm::NipRequest())), "");
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(ms, 280);
  EXPECT_LT(ms, 2000);
  // The component's own settings are back after the read.
  EXPECT_EQ(line.device.RdTimeout, 5000);
  EXPECT_FALSE(line.device.UseRdTimeouts);
}

TEST(TaxiExchange, NoPortSendsNothingAndReadsNothing) {
  TScriptedPrompts prompts;
  TFPrinter printer(&prompts);
  TTaxiPrinterPort port(printer);
  port.Timeout = 50;
  EXPECT_EQ(printer.PortName, "BRAK");
  EXPECT_EQ(TLumoTaxiComm::Transact(port, TLumoTaxiComm::FrameRequest(TLumoTaxiComm::NipRequest())), "");
  ASSERT_FALSE(prompts.Messages.empty());
  EXPECT_EQ(prompts.Messages[0].Text, "Wybierz port");
}

TEST(TaxiExchange, ClosedComponentRaisesOnSend) {
  TMPXCommDevice device;
  TTaxiCommPort port(device);
  EXPECT_THROW(TLumoTaxiComm::Transact(port, TLumoTaxiComm::FrameRequest(TLumoTaxiComm::NipRequest())),
               EQuorvelError);
}

}  // namespace
}  // namespace quorvel
