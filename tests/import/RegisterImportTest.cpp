// The register imports against a register played on a pseudo-terminal: the model and kind
// tables, the record buffer carried over the entries, the layouts the reply decides, the record
// files and texts, the electronic-copy files assembled from packets, the card files, and the
// failures that end an import before or while it writes.
#include "import/RegisterImport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <filesystem>
#include <map>
#include <thread>

#include "archive/PrintoutFixtures.h"
#include "archive/QVDDeviceInfo.h"
#include "archive/uDailyRecord.h"
#include "base/Errors.h"
#include "base/TextUtils.h"
#include "import/ECopyFixtures.h"
#include "import/TPrintoutsBrowser.h"
#include "links/PtyPair.h"
#include "links/R5Devices.h"
#include "links/R5Frame.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
constexpr char STX = 0x02, ETX = 0x03, EOT = 0x04, ENQ = 0x05, ACK = 0x06;

// A register that answers each request from a table: the request's letter (with "#" and the
// subtype), for a card file also its name, gives the data areas of the reply frames. A request
// the table lacks is answered with EOT (no reply).
class TTableRegister {
 public:
  explicit TTableRegister(test::TPtyPair& pty) : pty_(pty) {
    thread_ = std::thread([this] { Run(); });
  }
  ~TTableRegister() {
    stop_ = true;
    thread_.join();
  }
  void Set(const std::string& key, std::vector<std::string> frames) {
    std::lock_guard<std::mutex> lock(mutex_);
    table_[key] = std::move(frames);
  }
  // Waits until the register has finished the exchange it is in (an import that failed in the
  // middle of a reply leaves it waiting for the end of its transmission).
  void WaitIdle() {
    for (int i = 0; i < 300 && busy_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // A pause before every reply frame, as a slow line would make.
  void SetFrameDelay(int ms) { frameDelayMs_ = ms; }
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  int Byte(int ms) {
    if (buffer_.empty()) buffer_ = pty_.Receive(ms, 1);
    if (buffer_.empty()) return -1;
    const int b = static_cast<unsigned char>(buffer_[0]);
    buffer_.erase(0, 1);
    return b;
  }
  void Run() {
    bool pending = false;  // an ENQ came where the closing EOT of the last reply was due
    while (!stop_) {
      const int b = pending ? ENQ : Byte(50);
      pending = false;
      if (b != ENQ) continue;
      busy_ = true;
      struct TIdle {
        std::atomic<bool>& Busy;
        ~TIdle() { Busy = false; }
      } idle{busy_};
      pty_.Send(std::string(1, ACK));
      std::string body;
      if (Byte(1000) != STX) continue;
      for (int c; (c = Byte(1000)) >= 0 && c != ETX;) body += static_cast<char>(c);
      for (int i = 0; i < 4; ++i) Byte(1000);
      pty_.Send(std::string(1, ACK));
      if (Byte(1000) != EOT) continue;
      std::string key = body.size() > 2 && body[2] == '#' ? body.substr(1, 4) : body.substr(1, 1);
      if (key == "@#05") key += ":" + Trim(body.substr(key.size() + 2, 18));
      std::vector<std::string> frames;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(body);
        auto it = table_.find(key);
        if (it != table_.end()) frames = it->second;
      }
      if (frames.empty()) {
        pty_.Send(std::string(1, EOT));
        continue;
      }
      pty_.Send(std::string(1, ENQ));
      if (Byte(1000) != ACK) continue;
      for (const auto& f : frames) {
        if (frameDelayMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(frameDelayMs_.load()));
        pty_.Send(R5MakeFrame("R1" + f));
        if (Byte(1000) != ACK) break;
      }
      pty_.Send(std::string(1, EOT));
      pending = Byte(400) == ENQ;  // the link's closing EOT, unless it went on at once
    }
  }

  test::TPtyPair& pty_;
  std::thread thread_;
  std::atomic<bool> stop_{false}, busy_{false};
  std::atomic<int> frameDelayMs_{0};
  std::mutex mutex_;
  std::map<std::string, std::vector<std::string>> table_;
  std::vector<std::string> requests_;
  std::string buffer_;
};

// A fiscal-memory entry's data area (frame positions from 4 on), filled at basic positions.
class TEntry {
 public:
  explicit TEntry(char kind) : data_(400, ' ') { Put(4, std::string(1, kind)); }
  TEntry& Put(int position, const std::string& value) {
    data_.replace(static_cast<std::size_t>(position - 4), value.size(), value);
    return *this;
  }
  std::string Basic() const { return data_.substr(0, 170); }
  // The extended form: "#00" after the header and the shared fields three places on; the
  // cumulative totals at their own places.
  std::string Extended(const std::vector<std::pair<int, std::string>>& extra = {}) const {
    std::string s = "#00" + data_.substr(0, 342);
    for (const auto& [pos, v] : extra) s.replace(static_cast<std::size_t>(pos - 4), v.size(), v);
    return s;
  }

 private:
  std::string data_;
};

TEntry Daily(int number, const std::string& yymmdd, const std::string& grossA, char flags = '0') {
  TEntry e('1');
  e.Put(5, yymmdd).Put(11, std::string(1, flags)).Put(12, Format("%010d", number));
  e.Put(22, PadLeft(grossA, 10, '0')).Put(32, PadLeft(grossA, 10, '0'));
  e.Put(102, "0000000187").Put(112, "00004").Put(117, "00001").Put(133, "0000000042");
  e.Put(143, "0000000001").Put(153, "0000000250");
  return e;
}

TEntry RateChange(const std::string& yymmdd, const std::vector<std::string>& rates) {
  TEntry e('4');
  e.Put(5, yymmdd);
  for (std::size_t i = 0; i < rates.size(); ++i) e.Put(12 + 4 * static_cast<int>(i), rates[i]);
  return e;
}

const std::string kUnique = "ABC12345678";
const std::string kNip = "525-000-11-22";
std::string Status(const std::string& model) { return std::string(31, '0') + PadRight(model, 10); }

class RegisterImport : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(pty.Path().empty());
    link.Comm.SetPortName(pty.Path());
    link.Comm.RdTimeout = link.Comm.WrTimeout = 300;
    link.SilentRegisterWait = 100;
    link.ReplyTimeout = 300;
    browser.ArchiveRootDir = tmp.Path().string();
    browser.ByNumber = true;
    browser.FromNo = 1;
    browser.ToNo = 2143;
    browser.OnProgress = [this](TPrintoutsBrowser&, std::string_view file, std::string_view msg, int count) {
      progress.push_back(std::string(msg.empty() ? file : msg));
      counts.push_back(count);
    };
    reg.Set("1", {kUnique});
    reg.Set("N", {kNip});
  }
  fs::path FmDir() const { return tmp / "FMData" / kUnique; }
  fs::path CdDir() const { return tmp / "CDData" / kUnique; }
  RFMRecord Record(int n) const {
    RFMRecord r;
    ReadRecordFile(FmDir() / RecordFileName(n), r);
    return r;
  }
  bool Saw(std::string_view message) const {
    return std::find(progress.begin(), progress.end(), message) != progress.end();
  }

  test::TTempDir tmp;
  test::TPtyPair pty;
  TScriptedPrompts prompts;
  TR5Device link{&prompts};
  TTableRegister reg{pty};
  TPrintoutsBrowser browser{prompts};
  std::vector<std::string> progress;
  std::vector<int> counts;
};

TEST(RegisterTables, ModelsKindsAndSpeed) {
  EXPECT_EQ(RegisterModelOf("KIRA").LineLen, 20);
  EXPECT_EQ(RegisterModelOf("KIRA PLUS").LineLen, 20);
  EXPECT_TRUE(RegisterModelOf("KIRA PLUS").Extended);
  EXPECT_EQ(RegisterModelOf("Varno Plus").LineLen, 48);
  EXPECT_FALSE(RegisterModelOf("Tesmo").Extended);
  // The status reply pads the name to ten characters; otherwise it is compared as received.
  EXPECT_FALSE(RegisterModelOf("Tesmo     ").Extended);
  EXPECT_EQ(RegisterModelOf("KIRA PLUS ").LineLen, 20);
  EXPECT_EQ(RegisterModelOf(" KIRA").LineLen, 48);
  EXPECT_EQ(RegisterModelOf("Kira").LineLen, 48);
  EXPECT_TRUE(RegisterModelOf("tesmo").Extended);

  const struct {
    const char* Kind;
    uint8_t Extended, Basic;
  } kinds[] = {{"1", 15, 2}, {"2", 7, 7}, {"3", 7, 7}, {"4", 6, 6}, {"5", 10, 10},
               {"8", 12, 12}, {"6", 0, 0}, {"", 0, 0}, {"9", 0, 0}};
  for (const auto& k : kinds) {
    EXPECT_EQ(RegisterRecordKind(k.Kind, true), k.Extended) << k.Kind;
    EXPECT_EQ(RegisterRecordKind(k.Kind, false), k.Basic) << k.Kind;
  }

  EXPECT_EQ(RegisterSpeedText(1000, 2000), "    500,00 B/sec");
  EXPECT_EQ(RegisterSpeedText(1, 3000), "      0,33 B/sec");
  EXPECT_EQ(RegisterSpeedText(123456789, 1000), "123456789,00 B/sec");
}

TEST_F(RegisterImport, KindsOneSixOneWriteTheFirstAndThirdRecordFiles) {
  reg.Set("p", {Status("Varno")});
  reg.Set("z#00", {Daily(1, "090305", "1000").Extended({{166, "00000000000000000187"}, {186, "               ----"},
                                                          {306, "00000000000000000187"},
                                                          {326, "00000000000000001000"}}),
                   TEntry('6').Put(5, "090306").Extended(), Daily(2, "090306", "2000").Extended()});
  ImportRegisterFiscalMemory(browser, link);

  EXPECT_TRUE(fs::exists(FmDir() / "0001.fmr"));
  EXPECT_FALSE(fs::exists(FmDir() / "0002.fmr"));
  ASSERT_TRUE(fs::exists(FmDir() / "0003.fmr"));
  const RFMRecord first = Record(1), third = Record(3);
  EXPECT_EQ(first.Kind, kKindDailyCumulative);
  EXPECT_EQ(first.Number, "0000000001");
  EXPECT_EQ(first.Date, EncodeDate(2009, 3, 5));
  EXPECT_EQ(first.GrossTotal, "10");
  EXPECT_EQ(first.Gross[0], "10");
  EXPECT_EQ(first.VatTotal, "1,87");
  EXPECT_EQ(first.ReceiptCount, "00004");
  EXPECT_EQ(first.DeviceText1, "00001");
  EXPECT_EQ(first.DeviceText3, "0000000042");
  EXPECT_EQ(first.VoidCount, "");  // not in the extended layout
  EXPECT_EQ(first.CumVat[0], "00000000000000000187");
  EXPECT_EQ(first.CumVat[1], "");  // a slot the register marks with "-" is empty
  EXPECT_EQ(first.CumGross, "00000000000000001000");
  EXPECT_EQ(third.Stats.FirstNo, 1);
  EXPECT_EQ(third.Stats.LastNo, 2);
  EXPECT_EQ(third.Stats.FirstDate, EncodeDate(2009, 3, 5));
  EXPECT_EQ(third.Stats.LastDate, EncodeDate(2009, 3, 6));

  // The request: extended by numbers with the decimal range.
  const auto requests = reg.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[3], "Sz#000" + PadLeft("1", 18) + PadLeft("2143", 18));

  ASSERT_EQ(browser.PrintoutsSet.RecordCount(), 2u);
  EXPECT_EQ(browser.PrintoutsSet[1].PrintoutNo, 2);
  EXPECT_EQ(browser.PrintoutsSet[1].File, (FmDir() / "0002.txt").string());
  EXPECT_EQ(browser.PrintoutsSet[1].Date, EncodeDate(2009, 3, 6));
  EXPECT_TRUE(fs::exists(FmDir() / "0001.txt"));
  EXPECT_TRUE(fs::exists(FmDir() / "0002.txt"));
  EXPECT_TRUE(fs::exists(FmDir() / "range.txt"));
  // The report page holds range.txt, line by line.
  std::string shown;
  for (const auto& line : browser.RangeReportMemo) shown += line + "\r\n";
  EXPECT_EQ(shown, test::ReadFile(FmDir() / "range.txt"));
  EXPECT_NE(shown.find("NIP: " + kNip), std::string::npos);
  TDeviceInfo info;
  ASSERT_TRUE(info.LoadDeviceInfo(FmDir() / "device.xml"));
  EXPECT_EQ(info.NIP, kNip);
  EXPECT_TRUE(info.HasTotals);
  EXPECT_EQ(info.LineLen, 48);
  EXPECT_FALSE(info.TaxiVersion);
  const std::vector<std::string> steps = {"Odczyt numeru unikatowego...", "Odczyt wersji kasy...",
                                          "Odczyt numeru NIP...", "Transmisja danych...", "Zapisywanie danych...",
                                          "Koniec."};
  EXPECT_EQ(progress, steps);
}

TEST_F(RegisterImport, TesmoAsksBasicReportsAndMarksUnusedRates) {
  // No status reply: the version answers, and the register is a Tesmo.
  reg.Set("e", {"0102030400005"});
  reg.Set("y", {RateChange("090301", {"9900", "2300", "FFFF", "0700"}).Basic(),
                RateChange("090302", {"0800", "2300"}).Basic(), Daily(7, "090305", "1000", '2').Basic(),
                RateChange("090310", {"2200", "9900"}).Basic()});
  browser.ByNumber = false;
  browser.FromDate = EncodeDate(2009, 3, 1);
  browser.ToDate = EncodeDate(2009, 3, 31);
  ImportRegisterFiscalMemory(browser, link);

  const auto requests = reg.Requests();
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_EQ(requests[1].substr(0, 2), "Sp");
  EXPECT_EQ(requests[2].substr(0, 2), "Se");
  EXPECT_EQ(requests[4], "Sy0" + PadLeft("090301", 18) + PadLeft("090331", 18));

  const RFMRecord rates = Record(1), second = Record(2), daily = Record(3), later = Record(4);
  EXPECT_EQ(rates.Kind, kKindRateChange);
  EXPECT_EQ(rates.Rates[0], "99,99");
  EXPECT_EQ(rates.Rates[1], "23");
  EXPECT_EQ(rates.Rates[2], "100");
  EXPECT_EQ(rates.Rates[3], "7");
  EXPECT_EQ(rates.Date, EncodeDate(2009, 3, 1));
  // Before any daily report of the import every change starts from rates not in use, so the
  // second change is no mix of 23 and 8; after a daily report the rates in force carry on.
  EXPECT_EQ(second.Stats.RatesInForce[0], "8");
  EXPECT_EQ(later.Stats.RatesInForce[0], "mix");
  // The buffer is carried: the daily report still holds the rates of the entry before it.
  EXPECT_EQ(daily.Kind, kKindDaily);
  EXPECT_EQ(daily.Rates[0], "8");
  EXPECT_EQ(daily.Rates[1], "23");
  EXPECT_EQ(daily.GoodsChanged, "TAK");
  EXPECT_EQ(daily.VoidCount, "0000000001");
  EXPECT_EQ(daily.VoidValue, "2,5");
  EXPECT_EQ(daily.CumGross, "");
  EXPECT_EQ(later.Rates[0], "22");
  EXPECT_EQ(later.Rates[1], "99,99");
  EXPECT_EQ(later.Number, "0000000007");  // carried from the daily report
  TDeviceInfo info;
  ASSERT_TRUE(info.LoadDeviceInfo(FmDir() / "device.xml"));
  EXPECT_FALSE(info.HasTotals);
}

TEST_F(RegisterImport, ReplyDecidesTheLayoutAndKiraSetsTheWidth) {
  // Extended asked, basic records answered: read as basic, stored as kind 2 without totals.
  reg.Set("p", {Status("KIRA PLUS")});
  reg.Set("z#00", {Daily(3, "090305", "500").Basic()});
  ImportRegisterFiscalMemory(browser, link);
  const RFMRecord r = Record(1);
  EXPECT_EQ(r.Kind, kKindDaily);
  EXPECT_EQ(r.Number, "0000000003");
  EXPECT_EQ(r.CumGross, "");
  EXPECT_EQ(r.VoidCount, "0000000001");  // read with the layout of 61, which has it
  TDeviceInfo info;
  ASSERT_TRUE(info.LoadDeviceInfo(FmDir() / "device.xml"));
  EXPECT_FALSE(info.HasTotals);
  EXPECT_EQ(info.LineLen, 20);
}

TEST_F(RegisterImport, ResetsAndCurrencyChanges) {
  reg.Set("p", {Status("Varno")});
  reg.Set("z#00", {TEntry('2').Put(5, "090302").Put(12, "1430").Put(17, "007").Put(20, "1 ").Extended(),
                   TEntry('3').Put(5, "090303").Put(12, "0905").Put(17, "008").Put(20, "0 ").Extended(),
                   TEntry('5').Put(5, "090401").Put(12, "EUR   ").Extended(),
                   TEntry('8').Put(5, "000000").Put(12, "PLN   ").Extended()});
  ImportRegisterFiscalMemory(browser, link);
  const RFMRecord ext = Record(1), in = Record(2), cur = Record(3), noDate = Record(4);
  EXPECT_EQ(ext.Kind, kKindRamReset);
  EXPECT_EQ(ext.ResetKind, "Zewnętrzne"_cp);
  EXPECT_EQ(ext.ResetNo, "7");
  EXPECT_EQ(ext.GoodsNotCleared, "1");
  EXPECT_EQ(ext.Date, EncodeDateTime(2009, 3, 2, 14, 30));
  EXPECT_EQ(in.ResetKind, "Wewnętrzne"_cp);
  EXPECT_EQ(in.GoodsNotCleared, "");
  EXPECT_EQ(cur.Kind, kKindCurrencyChange);
  EXPECT_EQ(cur.Currency.Name, "EUR");
  EXPECT_EQ(cur.Currency.ChangeDate, EncodeDate(2009, 4, 1));
  EXPECT_EQ(noDate.Kind, kKindCurrencyNoDate);
  EXPECT_EQ(noDate.Currency.Name, "PLN");
  EXPECT_EQ(noDate.Currency.ChangeDate, 0);
  EXPECT_TRUE(browser.PrintoutsSet.IsEmpty());
}

TEST_F(RegisterImport, FailuresBeforeAnythingIsWritten) {
  {
    SCOPED_TRACE("no unique number");
    reg.Set("1", {});
    ImportRegisterFiscalMemory(browser, link);
    EXPECT_TRUE(Saw("Nie można odczytać numeru unikatowego"_cp));
    EXPECT_FALSE(Saw("Koniec."));
    EXPECT_FALSE(fs::exists(FmDir()));
  }
  progress.clear();
  reg.Set("1", {kUnique});
  {
    SCOPED_TRACE("no NIP");
    reg.Set("p", {Status("Varno")});
    reg.Set("N", {});
    ImportRegisterFiscalMemory(browser, link);
    EXPECT_TRUE(Saw("Nie można odczytać numeru NIP"_cp));
    EXPECT_FALSE(fs::exists(FmDir()));
  }
  reg.Set("N", {kNip});
  {
    SCOPED_TRACE("neither status nor version");
    reg.Set("p", {});
    try {
      ImportRegisterFiscalMemory(browser, link);
      ADD_FAILURE() << "no error";
    } catch (const EQuorvelError& e) {
      EXPECT_EQ(std::string(e.what()), "Błędny index odebranego pakietu"_cp);
    }
    EXPECT_FALSE(fs::exists(FmDir()));
  }
  {
    SCOPED_TRACE("empty periodic report");
    reg.Set("p", {Status("Varno")});
    progress.clear();
    ImportRegisterFiscalMemory(browser, link);
    EXPECT_FALSE(fs::exists(FmDir()));
    EXPECT_FALSE(Saw("Koniec."));
  }
}

TEST_F(RegisterImport, UndecodableDateEndsTheImportWithTheEarlierRecordsKept) {
  reg.Set("p", {Status("Varno")});
  reg.Set("z#00", {Daily(1, "090305", "100").Extended(), Daily(2, "091305", "100").Extended()});
  EXPECT_THROW(ImportRegisterFiscalMemory(browser, link), EConvertError);
  EXPECT_TRUE(fs::exists(FmDir() / "0001.fmr"));
  EXPECT_FALSE(fs::exists(FmDir() / "0002.fmr"));
  EXPECT_FALSE(fs::exists(FmDir() / "device.xml"));
  EXPECT_EQ(progress.back(), "Koniec.");
}

// ---- electronic copy ----

// The data areas of a file's packets: number, kind, name (40), blank, length (6), data.
std::vector<std::string> Packets(const std::string& name, const std::string& bytes, std::size_t chunk,
                                 char lastKind = '2', int firstNo = 1) {
  std::vector<std::string> out;
  for (std::size_t at = 0, n = 0; at < bytes.size() || n == 0; at += chunk, ++n) {
    const std::string piece = bytes.substr(at, chunk);
    const bool last = at + chunk >= bytes.size();
    out.push_back(Format("%06d", firstNo + static_cast<int>(n)) + (last ? lastKind : '0') + PadRight(name, 40) + " " +
                  Format("%06d", static_cast<int>(piece.size())) + piece);
  }
  return out;
}

std::string DayFile(int reportNo) {
  test::TDayFixture day;
  day.ReportNo = reportNo;
  return test::Cp(day.Lines());
}

TEST_F(RegisterImport, ECopyFilesAreAssembledFromTheirPackets) {
  reg.Set("p", {Status("Varno")});
  const std::string first = DayFile(123), second = DayFile(124);
  // Three packets "0", "0", "2" of the first file, then the second in one packet of kind "1".
  std::vector<std::string> frames = Packets("0123.txt", first, (first.size() + 2) / 3);
  ASSERT_EQ(frames.size(), 3u);
  for (auto& f : Packets("0124.txt", second, 700, '1', 4)) frames.push_back(f);
  // Data past a packet's count never reaches the file.
  frames[1] += "EXTRA";
  reg.Set("@#02", frames);
  reg.Set("@#05:idhist.txt", {Format("%06d0", 1) + PadRight("idhist.txt", 40) + " 000005HIST1trailing"});
  browser.FromNo = 123;
  browser.ToNo = 124;
  ImportRegisterECopy(browser, link);

  EXPECT_EQ(test::ReadFile(CdDir() / "0100" / "0123.txt"), first);
  EXPECT_EQ(test::ReadFile(CdDir() / "0100" / "0124.txt"), second);
  EXPECT_EQ(test::ReadFile(CdDir() / "idhist.txt"), "HIST1");
  EXPECT_FALSE(fs::exists(CdDir() / "id.txt"));  // the register had none: nothing is written
  EXPECT_EQ(link.ReplyCount(), 0);
  ASSERT_EQ(browser.PrintoutsSet.RecordCount(), 2u);
  EXPECT_EQ(browser.PrintoutsSet[0].PrintoutNo, 123);
  EXPECT_EQ(browser.PrintoutsSet[0].File, (CdDir() / "0100" / "0123.txt").string());
  EXPECT_EQ(browser.PrintoutsSet[0].Date, EncodeDateTime(2009, 3, 5, 8, 0));
  EXPECT_TRUE(browser.NewDataFound);
  EXPECT_TRUE(Saw("Pobieranie pliku z historią"_cp));
  EXPECT_TRUE(Saw("Pobieranie pliku id.txt"));
  EXPECT_EQ(progress.back(), "Koniec.");
  const auto requests = reg.Requests();
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_EQ(requests[2], "S@#050" + PadLeft("idhist.txt", 18) + std::string(18, ' '));
  EXPECT_EQ(requests[4], "S@#020" + PadLeft("0012300124", 18) + PadLeft("000", 18));
}

TEST_F(RegisterImport, SpeedIsReportedAfterHalfASecondOfAFile) {
  reg.Set("p", {Status("Varno")});
  const std::string file = DayFile(5);
  std::vector<std::string> frames = Packets("0005.txt", file, (file.size() + 3) / 4);
  ASSERT_EQ(frames.size(), 4u);
  reg.Set("@#02", frames);
  reg.SetFrameDelay(300);
  link.ReplyTimeout = 2000;
  std::vector<std::string> files;
  browser.OnProgress = [&](TPrintoutsBrowser&, std::string_view name, std::string_view msg, int count) {
    if (msg.substr(0, 6) != "Plik: ") return;
    progress.emplace_back(msg);
    files.emplace_back(name);
    counts.push_back(count);
  };
  ImportRegisterECopy(browser, link);
  // Packets come 300 ms apart: the first within the first half second, the next two after it,
  // and with the last one the file is complete and the time starts again.
  ASSERT_EQ(progress.size(), 2u);
  EXPECT_EQ(progress[1].substr(0, 29), "Plik: 0005.txt   Pakiet nr: 3");
  const std::string head = "Plik: 0005.txt   Pakiet nr: 2   ";
  EXPECT_EQ(progress[0].substr(0, head.size()), head);
  EXPECT_EQ(progress[0].size(), head.size() + 10 + 6);
  EXPECT_EQ(progress[0].substr(progress[0].size() - 6), " B/sec");
  EXPECT_EQ(progress[0][head.size() + 7], ',');
  EXPECT_EQ(files[0], (CdDir() / "0005.txt").string());
  EXPECT_EQ(counts[0], 0);
  EXPECT_EQ(test::ReadFile(CdDir() / "0001" / "0005.txt"), file);
}

TEST_F(RegisterImport, ECopyByDatesAndAFileWithoutHeader) {
  reg.Set("p", {Status("Varno")});
  reg.Set("@#01", Packets("0007.txt", "not a report file\r\n", 100));
  browser.ByNumber = false;
  browser.FromDate = EncodeDate(2009, 3, 1);
  browser.ToDate = EncodeDate(2009, 3, 31);
  ImportRegisterECopy(browser, link);
  EXPECT_EQ(reg.Requests().back(), "S@#010" + PadLeft("090301090331", 18) + PadLeft("000", 18));
  // The data are kept, but without a header the file gets no row.
  EXPECT_EQ(test::ReadFile(CdDir() / "0001" / "0007.txt"), "not a report file\r\n");
  EXPECT_TRUE(browser.PrintoutsSet.IsEmpty());
  EXPECT_FALSE(browser.NewDataFound);
}

TEST_F(RegisterImport, ECopyFailures) {
  reg.Set("p", {Status("Varno")});
  {
    SCOPED_TRACE("a name leaving the device directory");
    const std::string good = DayFile(1);
    std::vector<std::string> frames = Packets("0001.txt", good, good.size() + 1);
    for (auto& f : Packets("../../evil.txt", "x", 10)) frames.push_back(f);
    reg.Set("@#02", frames);
    try {
      ImportRegisterECopy(browser, link);
      ADD_FAILURE() << "no error";
    } catch (const EQuorvelError& e) {
      EXPECT_NE(std::string(e.what()).find("../../evil.txt"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(fs::exists(CdDir() / "0001" / "0001.txt"));  // the file before it stays
    EXPECT_FALSE(fs::exists(tmp / "evil.txt"));
    EXPECT_FALSE(fs::exists(tmp / "CDData" / "evil.txt"));
    EXPECT_EQ(link.ReplyCount(), 0);
    EXPECT_EQ(progress.back(), "Koniec.");
  }
  reg.WaitIdle();
  {
    SCOPED_TRACE("a packet number that is no number");
    std::vector<std::string> frames = Packets("0002.txt", "abc", 10);
    frames[0].replace(0, 6, "00x001");
    reg.Set("@#02", frames);
    try {
      ImportRegisterECopy(browser, link);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError&) {
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
    }
    EXPECT_FALSE(fs::exists(CdDir() / "0001" / "0002.txt"));
    EXPECT_EQ(link.ReplyCount(), 0);
  }
  reg.WaitIdle();
  {
    SCOPED_TRACE("no status reply");
    reg.Set("p", {});
    progress.clear();
    try {
      ImportRegisterECopy(browser, link);
      ADD_FAILURE() << "no error";
    } catch (const EQuorvelError& e) {
      EXPECT_EQ(std::string(e.what()), "Błędny index odebranego pakietu"_cp);
    }
    EXPECT_TRUE(progress.empty());
  }
}

TEST_F(RegisterImport, FailedCardDownloadKeepsTheEarlierFile) {
  fs::create_directories(CdDir());
  test::WriteFile(CdDir() / "id.txt", "earlier");
  EXPECT_FALSE(DownloadCardFile(browser, link, "id.txt", (CdDir() / "id.txt").string()));
  EXPECT_EQ(test::ReadFile(CdDir() / "id.txt"), "earlier");
  reg.Set("@#05:id.txt", {Format("%06d0", 1) + PadRight("id.txt", 40) + " 000003ab", Format("%06d2", 2) +
                                                                                        PadRight("id.txt", 40) +
                                                                                        " 0000xxcd"});
  EXPECT_TRUE(DownloadCardFile(browser, link, "id.txt", (CdDir() / "id.txt").string()));
  // The first count reaches past the data (two bytes are there), the second does not read.
  EXPECT_EQ(test::ReadFile(CdDir() / "id.txt"), "ab");
}

}  // namespace
}  // namespace quorvel
