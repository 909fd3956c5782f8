// The register link over a pseudo-terminal, with the test playing the register on the master
// side: handshakes, retransmissions, the recovery steps, the register's error frames and the
// reception of replies, with time-outs shortened to a few hundred milliseconds.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <source_location>
#include <string_view>
#include <thread>

#include "base/Cp1250.h"
#include "base/Errors.h"
#include "base/TextUtils.h"
#include "base/UserPrompts.h"
#include "links/PtyPair.h"
#include "links/R5Devices.h"
#include "links/R5Frame.h"
#include "links/R5Packets.h"

namespace quorvel {
namespace {

constexpr char STX = 0x02, EOT = 0x04, ENQ = 0x05, ACK = 0x06, TAB = 0x09, NAK = 0x15;

std::string Name(int b) {
  if (b < 0) return "nothing";
  return Format("0x%02X", b);
}

// The register's side of the line, byte by byte, on the master of the pseudo-terminal.
class TRegister {
 public:
  explicit TRegister(const test::TPtyPair& pty) : pty_(pty) {}

  int Byte(int ms = 3000) {
    if (buffer_.empty()) buffer_ = pty_.Receive(ms, 1);
    if (buffer_.empty()) return -1;
    const int b = static_cast<unsigned char>(buffer_[0]);
    buffer_.erase(0, 1);
    return b;
  }
  bool Expect(char want, const char* what, int ms = 3000) {
    const int got = Byte(ms);
    if (got != static_cast<unsigned char>(want)) {
      Failures.push_back(std::string(what) + ": expected " + Name(static_cast<unsigned char>(want)) + ", got " +
                         Name(got));
      return false;
    }
    return true;
  }
  // A request frame: STX, body, ETX, four checksum digits.
  std::string Frame(int ms = 3000) {
    std::string f;
    int b = Byte(ms);
    if (b != STX) {
      Failures.push_back("expected a frame, got " + Name(b));
      return f;
    }
    f += STX;
    while ((b = Byte(ms)) >= 0) {
      f += static_cast<char>(b);
      if (b == 0x03) break;
    }
    for (int i = 0; i < 4 && (b = Byte(ms)) >= 0; ++i) f += static_cast<char>(b);
    Frames.push_back(f);
    return f;
  }
  // No byte at all for `ms`.
  bool Silent(int ms) {
    const int b = Byte(ms);
    if (b >= 0) Failures.push_back("expected silence, got " + Name(b));
    return b < 0;
  }
  void Send(std::string_view bytes) { pty_.Send(std::string(bytes)); }

  // The host's ENQ, acknowledged.
  void Handshake() {
    Expect(ENQ, "handshake");
    Send("\x06");
  }
  // The register's ENQ before its reply, acknowledged by the host.
  bool ReplyHandshake() {
    Send(std::string(1, ENQ));
    return Expect(ACK, "reply handshake");
  }
  // ENQ, one frame and EOT, each acknowledged.
  void TakeRequest(const char* answer = "\x06") {
    Handshake();
    Frame();
    Send(answer);
    Expect(EOT, "end of request");
  }
  // The register's reply: ENQ, the frames (each acknowledged), EOT.
  void Answer(const std::vector<std::string>& frames) {
    if (!ReplyHandshake()) return;
    for (const auto& f : frames) {
      Send(f);
      if (!Expect(ACK, "reply frame")) return;
    }
    Send(std::string(1, EOT));
    Expect(EOT, "end of reply");
  }

  std::vector<std::string> Failures;
  std::vector<std::string> Frames;

 private:
  const test::TPtyPair& pty_;
  std::string buffer_;
};

// Runs `call`, which must throw an `E` with the message `text`; a failure names the caller's line.
template <class E, class F>
void ExpectError(F&& call, std::string_view text, std::source_location at = std::source_location::current()) {
  testing::ScopedTrace trace(at.file_name(), static_cast<int>(at.line()), "");
  try {
    call();
    ADD_FAILURE() << "no error";
  } catch (const E& e) {
    EXPECT_EQ(e.what(), AnsiString(text));
  }
}

AnsiString Reply(const AnsiString& data) { return R5MakeFrame("R1" + data); }
const AnsiString kUniqueReply = Reply("ABC12345678");
const AnsiString kUniqueRequest = R5MakeFrame(R5RequestBody(63, "", ""));

class R5Link : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(pty.Path().empty());
    link = std::make_unique<TR5Device>(&prompts);
    link->Comm.SetPortName(pty.Path());
    link->Comm.RdTimeout = 300;
    link->Comm.WrTimeout = 300;
    link->SilentRegisterWait = 200;
    link->ReplyTimeout = 300;
  }
  void TearDown() override { Finish(); }

  void Play(std::function<void(TRegister&)> script) {
    thread = std::thread([this, script] { script(reg); });
  }
  void Finish() {
    if (thread.joinable()) thread.join();
    for (const auto& f : reg.Failures) ADD_FAILURE() << "register side: " << f;
    reg.Failures.clear();
  }
  // The link's own error boxes and the questions asked, as texts.
  std::vector<std::string> Boxes() const {
    std::vector<std::string> out;
    for (const auto& m : prompts.Messages)
      if (m.Caption == "Błąd komunikacji z kasą"_cp) out.push_back(m.Text);
    return out;
  }

  test::TPtyPair pty;
  TScriptedPrompts prompts;
  std::unique_ptr<TR5Device> link;
  TRegister reg{pty};
  std::thread thread;
};

TEST_F(R5Link, UniqueNumberRequestAndReply) {
  AnsiString lower = kUniqueReply;  // the register may write its checksum letters in lower case
  for (std::size_t i = lower.size() - 4; i < lower.size(); ++i) lower[i] = static_cast<char>(std::tolower(lower[i]));
  Play([&](TRegister& r) {
    r.TakeRequest();
    r.Answer({lower});
  });
  EXPECT_EQ(link->Request(63), 1);
  Finish();
  ASSERT_EQ(reg.Frames.size(), 1u);
  EXPECT_EQ(reg.Frames[0], kUniqueRequest);
  EXPECT_EQ(link->GetField(63, 0, 108), "ABC12345678");
  EXPECT_EQ(link->Replies[0], lower);  // stored whole, as received
  EXPECT_FALSE(link->Comm.Active());
  EXPECT_FALSE(prompts.Busy);
  EXPECT_TRUE(prompts.Messages.empty());
}

TEST_F(R5Link, BusyRegisterAndRetransmissions) {
  const std::string nak(1, NAK);
  struct {
    const char* Name;
    std::vector<std::string> Answers;  // the register's answer to each sending of the frame
  } cases[] = {
      {"ack", {"\x06"}},
      {"tab tab ack", {"\t\t\x06"}},
      {"six naks then ack", {nak, nak, nak, nak, nak, "\t" + nak, "\x06"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Play([&](TRegister& r) {
      r.Handshake();
      for (const auto& a : c.Answers) {
        r.Frame();
        r.Send(a);
      }
      r.Expect(EOT, "end of request");
      r.Answer({kUniqueReply});
    });
    EXPECT_EQ(link->Request(63), 1);
    Finish();
    EXPECT_EQ(reg.Frames.size(), c.Answers.size());
    for (const auto& f : reg.Frames) EXPECT_EQ(f, kUniqueRequest);
    reg.Frames.clear();
    EXPECT_TRUE(prompts.Questions.empty());
  }
}

TEST_F(R5Link, SeventhNakIsARefusal) {
  for (bool stop : {true, false}) {
    SCOPED_TRACE(stop ? "yes" : "no");
    prompts.Questions.clear();
    prompts.Answers = {stop};
    Play([&](TRegister& r) {
      r.Handshake();
      for (int i = 0; i < 7; ++i) {
        r.Frame();
        r.Send("\x15");
      }
      r.Expect(EOT, "after the refusal");
      if (!stop) r.Send("\x04");  // no reply follows
    });
    if (stop) {
      try {
        link->Request(63);
        ADD_FAILURE() << "no error";
      } catch (const ECommError&) {
        ADD_FAILURE() << "a plain error was expected";
      } catch (const EQuorvelError& e) {
        EXPECT_EQ(e.what(), AnsiString("Błędna komunikacja z kasą przerwana przez użytkownika"_cp));
      }
    } else {
      EXPECT_EQ(link->Request(63), 0);
    }
    Finish();
    EXPECT_EQ(reg.Frames.size(), 7u);
    reg.Frames.clear();
    ASSERT_EQ(prompts.Questions.size(), 1u);
    EXPECT_EQ(prompts.Questions[0].Text, "Kasa nie przyjęła pakietu nr 0. Kod: 15h. Czy przerwać komunikację ?"_cp);
    EXPECT_EQ(prompts.Questions[0].Caption, "Błąd"_cp);
    EXPECT_FALSE(prompts.Questions[0].DefaultYes);
    EXPECT_FALSE(link->Comm.Active());
  }
}

TEST_F(R5Link, RefusalWithoutErrorReportsEndsQuietly) {
  Play([&](TRegister& r) {
    r.Handshake();
    r.Frame();
    r.Send("\x04");
    r.Expect(EOT, "after the refusal");
  });
  link->Requests = {R5RequestBody(63, "", "")};
  EXPECT_FALSE(link->Transact(true, false, false));
  Finish();
  EXPECT_TRUE(prompts.Questions.empty());
}

TEST_F(R5Link, SilentRegisterGetsEotAWaitAndFrameZeroAgain) {
  std::chrono::steady_clock::time_point eotAt, enqAt;
  Play([&](TRegister& r) {
    r.Handshake();
    r.Frame();  // not answered
    r.Expect(EOT, "after the silence", 2000);
    eotAt = std::chrono::steady_clock::now();
    r.Expect(ENQ, "handshake again", 2000);
    enqAt = std::chrono::steady_clock::now();
    r.Send("\x06");
    r.Frame();
    r.Send("\x06");
    r.Expect(EOT, "end of request");
    r.Answer({kUniqueReply});
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(link->Request(63), 1);  // the reply of a recovered request is still received
  Finish();
  ASSERT_EQ(reg.Frames.size(), 2u);
  EXPECT_EQ(reg.Frames[1], kUniqueRequest);
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(eotAt - start).count(), 250);
  // The 200 ms wait, then one more read of 300 ms that is ignored.
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(enqAt - eotAt).count(), 450);
  EXPECT_EQ(link->GetField(63, 0, 108), "ABC12345678");
}

TEST_F(R5Link, RegisterThatStaysSilentEndsWithAReadError) {
  Play([&](TRegister& r) {
    r.Handshake();
    for (int i = 0; i < 3; ++i) {
      r.Frame(2000);
      if (i == 2) break;
      r.Expect(EOT, "after the silence", 2000);
      r.Expect(ENQ, "handshake again", 2000);
      r.Send("\x06");
    }
  });
  ExpectError<ECommError>([&] { link->Request(63); }, "Błąd odczytu."_cp);
  Finish();
  EXPECT_EQ(Boxes(), std::vector<std::string>{AnsiString("Błąd odczytu."_cp)});
  EXPECT_FALSE(link->Comm.Active());
}

TEST_F(R5Link, NoAnswerToTheHandshake) {
  Play([&](TRegister& r) { r.Expect(ENQ, "handshake"); });
  EXPECT_EQ(link->Request(63), 0);
  Finish();
  // The read error is shown, not raised.
  EXPECT_EQ(Boxes(), std::vector<std::string>{AnsiString("Błąd odczytu."_cp)});
  EXPECT_TRUE(reg.Frames.empty());
}

TEST_F(R5Link, RefusedHandshakeAsksAndTriesAgain) {
  prompts.Answers = {false};
  Play([&](TRegister& r) {
    r.Expect(ENQ, "handshake");
    r.Send("\x15");
    r.TakeRequest();
    r.Answer({kUniqueReply});
  });
  EXPECT_EQ(link->Request(63), 1);
  Finish();
  ASSERT_EQ(prompts.Questions.size(), 1u);
  EXPECT_EQ(prompts.Questions[0].Text, "Kasa R5 odmówiła komunikacji! Kod 15h. Czy przerwać komunikację ?"_cp);
}

TEST_F(R5Link, WrongByteAfterAFrame) {
  Play([&](TRegister& r) {
    r.Handshake();
    r.Frame();
    r.Send("X");
  });
  ExpectError<EQuorvelError>([&] { link->Request(63); }, "Błędna komunikacja z kasą"_cp);
  Finish();
  ASSERT_EQ(prompts.Messages.size(), 1u);
  EXPECT_EQ(prompts.Messages[0].Text,
            "Kasa odesłała błędny kod (58h) po wysłaniu pakietu nr 0. Komunikacja zostanie przerwana!"_cp);
}

// The register's error report after 0x40: EOT, ENQ/ACK, 4 + 2 + 41 bytes, ACK, EOT/EOT.
void ReportError(TRegister& r, const char* code) {
  r.Send("@");
  r.Expect(EOT, "after 0x40");
  r.Send("\x05");
  r.Expect(ACK, "error frame handshake");
  r.Send(std::string("\x02" "E01") + code + std::string(41, ' '));
  r.Expect(ACK, "error frame");
  r.Send("\x04");
  r.Expect(EOT, "end of error report");
}

TEST_F(R5Link, RegisterErrorAsksTheUser) {
  for (bool stop : {true, false}) {
    SCOPED_TRACE(stop ? "yes" : "no");
    prompts.Questions.clear();
    prompts.Answers = {stop};
    Play([&](TRegister& r) {
      r.Handshake();
      r.Frame();
      ReportError(r, "b7");
      if (stop) return;
      r.TakeRequest();  // the transaction starts again with frame 0
      r.Answer({kUniqueReply});
    });
    if (stop) {
      ExpectError<EQuorvelError>([&] { link->Request(63); },
                                 "Błędna komunikacja z kasą przerwana przez użytkownika"_cp);
    } else {
      EXPECT_EQ(link->Request(63), 1);
    }
    Finish();
    ASSERT_EQ(prompts.Questions.size(), 1u);
    EXPECT_EQ(prompts.Questions[0].Text,
              "Kasa odesłała kod błędu b7\nNiezaprogramowa-\\nny zegar\nWysyłano: \nNumer unikatowy\n"
              "Czy przerwać komunikację ?"_cp);
  }
}

TEST_F(R5Link, RegisterErrorWithoutQuestions) {
  Play([&](TRegister& r) {
    r.Handshake();
    r.Frame();
    ReportError(r, "C4");
  });
  EXPECT_EQ(link->Request(52, "", "", false, false), 0);
  Finish();
  EXPECT_TRUE(prompts.Questions.empty());
  EXPECT_TRUE(prompts.Messages.empty());
}

TEST_F(R5Link, RegisterErrorOnAMiddleFrameSendsFrameZeroAgain) {
  prompts.Answers = {false};
  const AnsiString bodies[] = {"SA#000" + AnsiString(36, ' '), "SL0" + AnsiString(36, '1'), "SL0" + AnsiString(36, '2')};
  Play([&](TRegister& r) {
    r.Handshake();
    r.Frame();
    r.Send("\x06");
    r.Frame();
    ReportError(r, "17");
    r.Expect(ENQ, "handshake again");
    r.Send("\x06");
    for (int i = 0; i < 3; ++i) {
      r.Frame();
      r.Send("\x06");
    }
    r.Expect(EOT, "end of the frames");
    r.Send("\x04");
  });
  link->Requests.assign(std::begin(bodies), std::end(bodies));
  EXPECT_TRUE(link->Transact(true, true, false));
  Finish();
  ASSERT_EQ(reg.Frames.size(), 5u);
  const AnsiString f0 = R5MakeFrame(bodies[0]), f1 = R5MakeFrame(bodies[1]), f2 = R5MakeFrame(bodies[2]);
  EXPECT_EQ(reg.Frames, (std::vector<std::string>{f0, f1, f0, f1, f2}));
  ASSERT_EQ(prompts.Questions.size(), 1u);
  EXPECT_NE(prompts.Questions[0].Text.find("Brak papieru\nWysyłano: \nData i czas\n"_cp), std::string::npos);
  EXPECT_TRUE(prompts.Messages.empty());
}

// A reply frame the link refuses with NAK, sent `Sendings` times before the good one.
struct TBadReplyCase {
  const char* Name;
  AnsiString Bad;
  int Sendings;
  const char* Refusal;  // what the register's side calls the NAK it waits for
};
void PrintTo(const TBadReplyCase& c, std::ostream* os) { *os << c.Name; }

AnsiString WithBadChecksum(AnsiString frame) {
  frame[frame.size() - 1] = frame[frame.size() - 1] == '0' ? '1' : '0';
  return frame;
}

class R5LinkBadReply : public R5Link, public testing::WithParamInterface<TBadReplyCase> {};

TEST_P(R5LinkBadReply, IsAskedForAgain) {
  const TBadReplyCase& c = GetParam();
  Play([&](TRegister& r) {
    r.TakeRequest();
    r.ReplyHandshake();
    for (int i = 0; i < c.Sendings; ++i) {
      r.Send(c.Bad);
      r.Expect(NAK, c.Refusal, 3000);
    }
    r.Send(kUniqueReply);
    r.Expect(ACK, "good frame");
    r.Send("\x04");
    r.Expect(EOT, "end of reply");
  });
  EXPECT_EQ(link->Request(63), 1);
  Finish();
  EXPECT_EQ(link->Replies, std::vector<std::string>{kUniqueReply});
}

INSTANTIATE_TEST_SUITE_P(
    R5Link, R5LinkBadReply,
    testing::Values(
        // More sendings than the three retries a read time-out gets: a bad checksum has no limit.
        TBadReplyCase{"ChecksumWithoutLimit", WithBadChecksum(kUniqueReply), 5, "bad checksum"},
        // Garbage with no end byte within the frame's limit.
        TBadReplyCase{"GarbageOnTheLine", "\x02" + std::string(3000, 'A'), 1, "overlong frame"}),
    [](const testing::TestParamInfo<TBadReplyCase>& p) { return std::string(p.param.Name); });

TEST_F(R5Link, ThreeTimeOutsEndTheReplyAndKeepWhatCame) {
  Play([&](TRegister& r) {
    r.TakeRequest();
    r.ReplyHandshake();
    r.Send(kUniqueReply);
    r.Expect(ACK, "first frame");
    r.Expect(NAK, "first time-out", 2000);
    r.Expect(NAK, "second time-out", 2000);
  });
  ExpectError<ECommError>([&] { link->Request(63); }, "Błąd odczytu."_cp);
  Finish();
  EXPECT_EQ(link->Replies, std::vector<std::string>{kUniqueReply});
  EXPECT_EQ(Boxes(), std::vector<std::string>{AnsiString("Błąd odczytu."_cp)});
  EXPECT_FALSE(link->Comm.Active());
  EXPECT_EQ(link->Comm.RdTimeout, 300);  // the reply wait is restored
}

TEST_F(R5Link, EotRightAfterAFrame) {
  Play([&](TRegister& r) {
    r.TakeRequest();
    r.ReplyHandshake();
    r.Send(kUniqueReply + "\x04");
  });
  ExpectError<ECommError>([&] { link->Request(63); },
                          "Kasa zakończyła transmisję z powodu przekroczenia czasu oczekiwania."_cp);
  Finish();
  EXPECT_TRUE(link->Replies.empty());
  EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(R5Link, WrongStartOfReply) {
  Play([&](TRegister& r) {
    r.TakeRequest();
    r.Send("Z");
  });
  EXPECT_EQ(link->Request(63), 0);
  Finish();
  ASSERT_EQ(prompts.Messages.size(), 1u);
  EXPECT_EQ(prompts.Messages[0].Text, "Kasa błędnie rozpoczęła transmisję. Komunikacja będzie przerwana !"_cp);
}

TEST_F(R5Link, ManualReceiveOfPacketsLeavesThePortOpen) {
  std::vector<std::string> packets;
  for (int i = 1; i <= 3; ++i)
    packets.push_back(Reply(Format("%06d%c", i, i == 3 ? '2' : '0') + PadRight("0001.txt", 41) + "000002" + "ab"));
  Play([&](TRegister& r) {
    r.TakeRequest();
    r.Answer(packets);
  });
  EXPECT_EQ(link->Request(97, "0000100001", "000", false, true, true), 0);
  EXPECT_TRUE(link->Comm.Active());
  int got = 0;
  while (link->ReceiveReply(true)) {
    ++got;
    EXPECT_EQ(link->GetField(97, link->ReplyCount() - 1, 295), Format("%06d", got));
  }
  Finish();
  EXPECT_EQ(got, 3);
  EXPECT_EQ(link->ReplyCount(), 3);
  EXPECT_EQ(link->GetField(97, 2, 296), "2");
  EXPECT_EQ(link->GetField(97, 0, 294), "ab");
  link->Close();
  EXPECT_FALSE(link->Comm.Active());
}

TEST_F(R5Link, UnknownPacketSendsNothing) {
  ExpectError<EQuorvelError>([&] { link->Request(33); }, "Nieznany bądź nieobsługiwany typ pakietu"_cp);
  EXPECT_TRUE(reg.Silent(100));
  EXPECT_FALSE(link->Comm.Active());
}

TEST_F(R5Link, MonitorIsReportedUnavailableOnce) {
  link->SetMonitorEnabled(true);
  link->Open(true);
  link->Open(false);
  link->Open(true);
  link->Close();
  ASSERT_EQ(prompts.Messages.size(), 1u);
  EXPECT_EQ(prompts.Messages[0].Text, "Nie można utworzyć obiektu monitora. Logowanie komunikacji nie jest możliwe."_cp);
  EXPECT_EQ(prompts.Messages[0].Caption, "Błąd"_cp);
  EXPECT_FALSE(link->MonitorEnabled());
  EXPECT_TRUE(link->TestConnection());
}

TEST_F(R5Link, HangUpIsAReadErrorNotAHang) {
  link->Comm.RdTimeout = 5000;
  Play([&](TRegister& r) {
    r.Handshake();
    r.Frame();
    pty.CloseMaster();
  });
  const auto start = std::chrono::steady_clock::now();
  ExpectError<ECommError>([&] { link->Request(63); }, "Błąd odczytu."_cp);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count(),
            4000);
  EXPECT_FALSE(link->Comm.Active());
}

TEST_F(R5Link, EscapeDuringAWaitEndsTheTransfer) {
  link->Comm.RdTimeout = 3000;
  prompts.BreakAfterPumps = 0;
  prompts.BreakCount = 1;
  Play([&](TRegister& r) { r.Expect(ENQ, "handshake"); });
  const auto start = std::chrono::steady_clock::now();
  ExpectError<ECommError>([&] { link->Request(63); },
                          "Błędna komunikacja z kasą przerwana przez użytkownika"_cp);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count(),
            2000);
  Finish();
  EXPECT_EQ(Boxes(), std::vector<std::string>{AnsiString("Błędna komunikacja z kasą przerwana przez użytkownika"_cp)});
  EXPECT_FALSE(link->Comm.Active());
  EXPECT_FALSE(prompts.Busy);
}

TEST_F(R5Link, SeveralFramesEndWithTheRegistersEot) {
  struct {
    const char* Name;
    std::string Closing;  // what the register sends after the link's EOT
    std::vector<std::string> Shown;
  } cases[] = {
      {"eot", "\x04", {}},
      {"wrong byte", "Q", {AnsiString("Kasa źle zakończyła transmisję! Kod: 51 !"_cp)}},
      {"nothing", "", {"Kasa nie odpowiada"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    prompts.Messages.clear();
    Play([&](TRegister& r) {
      r.Handshake();
      for (int i = 0; i < 2; ++i) {
        r.Frame();
        r.Send("\x06");
      }
      r.Expect(EOT, "end of the frames");
      r.Send(c.Closing);
    });
    link->Requests = {"SL0" + AnsiString(36, ' '), "SL0" + AnsiString(36, '1')};
    EXPECT_TRUE(link->Transact(true, true, false));
    Finish();
    std::vector<std::string> shown;
    for (const auto& m : prompts.Messages) shown.push_back(m.Text);
    EXPECT_EQ(shown, c.Shown);
    EXPECT_TRUE(link->Replies.empty());
  }
}

TEST_F(R5Link, BrokenErrorReports) {
  // The register reports an error but starts no error frame: the question's default is Yes.
  prompts.Answers = {false, false};
  Play([&](TRegister& r) {
    r.Handshake();
    r.Frame();
    r.Send("@");
    r.Expect(EOT, "after 0x40");
    r.Send("X");
    r.Expect(EOT, "giving up the error report");
    r.TakeRequest();  // the user went on: the transaction starts again
    r.Send("\x04");
  });
  EXPECT_EQ(link->Request(63), 0);
  Finish();
  ASSERT_EQ(prompts.Questions.size(), 2u);
  EXPECT_EQ(prompts.Questions[0].Text,
            "Kasa nie rozpoczęła wysyłania pakietu błędu, który zgłosiła! Kod 58h. Czy przerwać komunikację ?"_cp);
  EXPECT_TRUE(prompts.Questions[0].DefaultYes);
  EXPECT_EQ(prompts.Questions[1].Text.substr(0, 14), "Nieznany błąd\n"_cp);

  // The error frame is followed by something other than EOT.
  prompts.Questions.clear();
  prompts.Answers = {true};
  Play([&](TRegister& r) {
    r.Handshake();
    r.Frame();
    r.Send("@");
    r.Expect(EOT, "after 0x40");
    r.Send("\x05");
    r.Expect(ACK, "error frame handshake");
    r.Send("\x02R@0" "F9" + std::string(41, ' '));
    r.Expect(ACK, "error frame");
    r.Send("Z");
  });
  ExpectError<EQuorvelError>([&] { link->Request(63); }, "Błędna komunikacja z kasą"_cp);
  Finish();
  ASSERT_EQ(prompts.Questions.size(), 1u);
  EXPECT_EQ(prompts.Questions[0].Text,
            "Kasa źle zakończyła wysyłanie pakietu błędu F9! Kod: 5Ah. Komunikacja będzie przerwana !"_cp);
}

TEST_F(R5Link, RegisterThatReportsErrorsForEverIsGivenUp) {
  // Without a person to ask, every question takes its default (No): the link must still end.
  Play([&](TRegister& r) {
    for (int i = 0; i < 17; ++i) {
      r.Handshake();
      r.Frame();
      ReportError(r, "17");
    }
  });
  ExpectError<EQuorvelError>([&] { link->Request(63); }, "Błędna komunikacja z kasą"_cp);
  Finish();
  EXPECT_EQ(prompts.Questions.size(), 17u);
}

// A hub channel whose far end is a register answering what the link writes.
class TFakeChannel : public IOrvoCommLink {
 public:
  bool WriteString(std::string_view bytes) override {
    Written.emplace_back(bytes);
    if (!Writable) return false;
    if (Answer) Answer(std::string(bytes), Input);
    return true;
  }
  bool ReadByte(uint8_t& byte) override {
    if (Input.empty()) return false;
    byte = static_cast<uint8_t>(Input[0]);
    Input.erase(0, 1);
    return true;
  }
  bool Reset() override {
    ++Resets;
    return true;
  }
  bool Setting(int32_t value) override {
    Settings.push_back(value);
    return true;
  }

  std::function<void(const std::string& written, std::string& input)> Answer;
  std::string Input;
  std::vector<std::string> Written;
  std::vector<int32_t> Settings;
  int Resets = 0;
  bool Writable = true;
};

class TFakeHub : public IOrvoCommHub {
 public:
  std::shared_ptr<IOrvoCommLink> Connect(int32_t& channelNumber, std::string_view channelName, bool asMaster,
                                         std::string_view clientName) override {
    Connects.push_back(Format("%d %s %d %s", channelNumber, std::string(channelName).c_str(), asMaster,
                              std::string(clientName).c_str()));
    return Channel;
  }
  void Disconnect(const std::shared_ptr<IOrvoCommLink>&) override { ++Disconnects; }

  std::shared_ptr<TFakeChannel> Channel = std::make_shared<TFakeChannel>();
  std::vector<std::string> Connects;
  int Disconnects = 0;
};

class R5HubLink : public testing::Test {
 protected:
  void SetUp() override {
    link.SetMode(1);
    link.ChannelId = 3;
    link.ChannelName = "R5Channel";
    link.Hub = hub;
    link.HubByteTimeout = 200;
  }
  // A register that takes one request and answers with `reply`.
  void AnswerWith(const AnsiString& reply) {
    hub->Channel->Answer = [reply, step = 0](const std::string& w, std::string& in) mutable {
      if (w == "\x05" || w[0] == STX) {
        in += "\x06";  // handshake and request frame
      } else if (w == "\x04" && step == 0) {
        in += "\x05";  // end of request: the reply begins
        step = 1;
      } else if (w == "\x06" && step == 1) {
        in += reply;
        step = 2;
      } else if (w == "\x06" && step == 2) {
        in += "\x04";
        step = 3;
      }
    };
  }

  std::shared_ptr<TFakeHub> hub = std::make_shared<TFakeHub>();
  TScriptedPrompts prompts;
  TR5Device link{&prompts};
};

TEST_F(R5HubLink, RequestThroughAChannel) {
  AnswerWith(kUniqueReply);
  EXPECT_EQ(link.Request(63), 1);
  EXPECT_EQ(link.GetField(63, 0, 108), "ABC12345678");
  EXPECT_EQ(hub->Connects, std::vector<std::string>{"3 R5Channel 1 R5Channel"});
  EXPECT_EQ(hub->Channel->Settings, std::vector<int32_t>{100});
  EXPECT_EQ(hub->Disconnects, 1);
  EXPECT_EQ(link.Channel, nullptr);
  EXPECT_GE(hub->Channel->Resets, 1);
  ASSERT_GE(hub->Channel->Written.size(), 2u);
  EXPECT_EQ(hub->Channel->Written[1], kUniqueRequest);
  EXPECT_EQ(hub->Channel->Written.back(), "\x04");
}

TEST_F(R5HubLink, SilenceEscapeAndWriteFailure) {
  struct {
    const char* Name;
    bool Escape, Writable;
    std::string_view Error;
  } cases[] = {
      {"silent register", false, true, "CommHub: błąd odczytu."_cp},
      {"escape", true, true, "CommHub: błąd odczytu."_cp},
      {"refused write", false, false, "CommHub: błąd zapisu."_cp},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    prompts.Messages.clear();
    hub->Channel->Writable = c.Writable;
    hub->Channel->Answer = [](const std::string& w, std::string& in) {
      if (w == "\x05") in += "\x06";  // handshake only; the frame gets no answer
    };
    if (c.Escape) {
      link.HubByteTimeout = 60000;
      prompts.BreakAfterPumps = 0;
      prompts.BreakCount = 1;
    }
    const auto start = std::chrono::steady_clock::now();
    ExpectError<ECommError>([&] { link.Request(63); }, c.Error);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count(),
              2000);
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_EQ(prompts.Messages[0].Caption, "Błąd komunikacji z kasą"_cp);
    EXPECT_EQ(link.Channel, nullptr);
  }
}

TEST(R5DeviceDefaults, TimeOutsAndPort) {
  TR5Device link;
  EXPECT_EQ(link.Comm.RdTimeout, 6000);
  EXPECT_EQ(link.Comm.WrTimeout, 6000);
  EXPECT_EQ(link.SilentRegisterWait, 3000);
  EXPECT_EQ(link.ReplyTimeout, 56000);
  EXPECT_EQ(link.Comm.PortName(), "COM1");
  EXPECT_EQ(link.Comm.BaudRate(), cbr9600);
  EXPECT_TRUE(link.Comm.UseRdTimeouts);
  EXPECT_EQ(link.Mode, 0);
}

}  // namespace
}  // namespace quorvel
