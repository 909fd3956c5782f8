// The register's side of its protocol over a pseudo-terminal: it answers the host's ENQ, takes
// the request frames, and sends its reply under its own ENQ, frame by frame, each acknowledged.
#include <cstdio>
#include <stdexcept>
#include <string>

#include "base/FileUtils.h"
#include "base/TextUtils.h"
#include "sim/SimPty.h"
#include "sim/SimRegister.h"

namespace quorvel::sim {

namespace {

constexpr char STX = 2, ETX = 3, EOT = 4, ENQ = 5, ACK = 6, TAB = 9, NAK = 21, ETB = 23, ERR = '@';

struct TUsage : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct TRegisterFaults {
  int Tabs = 0;               // TAB bytes before every answer
  int Naks = 0;               // request frames answered with NAK (the first so many)
  int BadChecksums = 0;       // reply frames sent with a wrong checksum
  int Silent = 0;             // request frames not answered at all
  std::string ErrorCode;      // the code of an error report after 0x40
  int Errors = 0;             // request frames answered with 0x40 and the error report
  int EotAfterFrame = 0;      // reply frames followed at once by EOT
  int AnswerMs = 10000;       // how long the register waits for the host's answer
  int From = 1;               // the first exchange (1-based, each begun by the host's ENQ) that plays the faults
};

class TRegister {
 public:
  TRegister(TSimPty& line, TRegisterData data, TRegisterFaults faults)
      : line_(line), data_(std::move(data)), faults_(std::move(faults)) {}

  void Run() {
    while (!SimStopRequested()) {
      char c;
      if (!NextByte(200, c)) continue;
      if (c != ENQ) continue;  // stray bytes between transmissions are ignored
      ++exchange_;
      Answer(ACK);
      std::string request;
      if (ReceiveRequest(request) && !request.empty()) Reply(request);
    }
  }

 private:
  bool NextByte(int ms, char& c) { return line_.NextByte(ms, c); }
  void Write(const std::string& bytes) { line_.Write(bytes); }

  // Each fault the register plays is noted on standard output, one line each, for the tests.
  static void Note(const char* what) {
    std::printf("%s\n", what);
    std::fflush(stdout);
  }

  void Answer(char byte) { Write(std::string(static_cast<std::size_t>(faults_.Tabs), TAB) + byte); }

  // The request frames up to the host's EOT; the last good one is the request.
  bool ReceiveRequest(std::string& request) {
    char c;
    while (!SimStopRequested()) {
      if (!NextByte(faults_.AnswerMs, c)) return false;
      if (c == EOT) return true;
      if (c == ENQ) {  // the host began again
        Answer(ACK);
        continue;
      }
      if (c != STX) continue;
      std::string inner;
      bool complete = false;
      while (NextByte(2000, c)) {
        inner += c;
        if (c == ETX || c == ETB) {
          complete = true;
          break;
        }
        if (inner.size() > 4096) break;
      }
      std::string digits;
      while (complete && digits.size() < 4 && NextByte(2000, c)) digits += c;
      if (!complete || digits.size() < 4 || AnsiUpperCase(digits) != RegisterChecksum(inner)) {
        Write(std::string(1, NAK));
        continue;
      }
      if (Faulty() && faults_.Silent > 0) {
        --faults_.Silent;
        Note("silent");
        continue;
      }
      if (Faulty() && faults_.Naks > 0) {
        --faults_.Naks;
        Note("nak");
        Answer(NAK);
        continue;
      }
      if (Faulty() && faults_.Errors > 0) {
        --faults_.Errors;
        Note("error");
        ReportError(faults_.ErrorCode);
        return false;
      }
      if (!Accepts(inner.substr(0, inner.size() - 1))) {
        ReportError("01");  // "Błędny typ zadania": a packet this register does not know
        return false;
      }
      Answer(ACK);
      request = inner.substr(0, inner.size() - 1);
    }
    return false;
  }

  // 0x40, then after the host's EOT the error frame under ENQ/ACK, closed with EOT.
  // The parts of a request body: "S", the letter with its subtype, the digit, two parameters.
  struct TRequest {
    std::string Letter, First, Second;
  };
  static TRequest Parse(const std::string& body) {
    TRequest r;
    if (body.size() < 3 || body[0] != 'S') return r;
    const bool subtyped = body[2] == '#';
    r.Letter = body.substr(1, subtyped ? 4 : 1);
    const std::string rest = body.substr(1 + r.Letter.size());
    r.First = rest.size() > 1 ? Trim(rest.substr(1, 18)) : std::string();
    r.Second = rest.size() > 19 ? Trim(rest.substr(19, 18)) : std::string();
    return r;
  }

  bool Accepts(const std::string& body) const {
    const std::string l = Parse(body).Letter;
    const bool tesmo = data_.Model == "Tesmo";  // knows neither the status nor the extended reports
    if (l == "1" || l == "N" || l == "e" || l == "y" || l == "z" || l == "@#02" || l == "@#01" || l == "@#05")
      return true;
    return !tesmo && (l == "p" || l == "y#00" || l == "z#00");
  }

  void ReportError(const std::string& errorCode) {
    Write(std::string(1, ERR));
    char c;
    if (!NextByte(faults_.AnswerMs, c) || c != EOT) return;
    Write(std::string(1, ENQ));
    if (!NextByte(faults_.AnswerMs, c) || c != ACK) return;
    const std::string code = PadRight(errorCode, 2).substr(0, 2);
    const std::string inner = "R@0" + code + std::string(36, ' ') + "\x03";
    Write("\x02" + inner + RegisterChecksum(inner));
    if (!NextByte(faults_.AnswerMs, c) || c != ACK) return;
    Write(std::string(1, EOT));
    NextByte(faults_.AnswerMs, c);  // the host's closing EOT
  }

  void Reply(const std::string& body) {
    const TRequest r = Parse(body);
    const std::string& l = r.Letter;
    std::vector<std::string> frames;
    if (l == "1") {
      frames.push_back(data_.UniqueNo);
    } else if (l == "N") {
      frames.push_back(PadRight(data_.Nip, 13).substr(0, 13));
    } else if (l == "p") {
      frames.push_back(PadRight(data_.Status, 1).substr(0, 1) + std::string(30, '0') +
                       PadRight(data_.Model, 10).substr(0, 10) + PadRight(data_.Version, 13).substr(0, 13) + "000");
    } else if (l == "e") {
      frames.push_back(PadRight(data_.Version, 13).substr(0, 13));
    } else if (l == "y" || l == "z" || l == "y#00" || l == "z#00") {
      frames = PeriodicReport(data_, l.size() > 1, l[0] == 'z', r.First, r.Second);
    } else if (l == "@#02" || l == "@#01") {
      frames = ECopyPackets(l == "@#02", r.First);
    } else if (l == "@#05" && (r.First == "id.txt" || r.First == "idhist.txt")) {
      try {
        frames = TransferPackets(r.First, ReadFileBytes(data_.CardsDir + "/" + r.First), '1');
      } catch (const std::exception&) {
        // no such file on the card: nothing to send
      }
    }
    SendReply("R" + l.substr(0, 1), frames);
  }

  std::vector<std::string> ECopyPackets(bool byNumbers, const std::string& range) {
    std::vector<const TECopyFile*> files;
    for (const auto& f : data_.ECopy) {
      if (byNumbers) {
        const int a = StrToIntDef(range.substr(0, 5), 0), b = StrToIntDef(range.size() >= 10 ? range.substr(5, 5) : "", 0);
        if (f.Number >= a && f.Number <= b) files.push_back(&f);
      } else {
        const int a = FullDate(range.substr(0, 6)), b = FullDate(range.size() >= 12 ? range.substr(6, 6) : "");
        const int at = f.Date.empty() ? -1 : FullDate(f.Date);
        if (at < 0 || (at >= a && at <= b)) files.push_back(&f);
      }
    }
    std::vector<std::string> out;
    for (std::size_t i = 0; i < files.size(); ++i) {
      std::string bytes;
      try {
        bytes = ReadFileBytes(files[i]->Path);
      } catch (const std::exception&) {
        continue;
      }
      for (auto& p : TransferPackets(files[i]->Name, bytes, i + 1 == files.size() ? '2' : '1')) out.push_back(p);
    }
    return out;
  }

  void SendReply(const std::string& header, const std::vector<std::string>& datas) {
    if (datas.empty()) {
      Write(std::string(1, EOT));  // nothing to send
      return;
    }
    Write(std::string(static_cast<std::size_t>(faults_.Tabs), TAB) + ENQ);
    char c;
    if (!NextByte(faults_.AnswerMs, c) || c != ACK) return;
    for (const auto& d : datas) {
      const std::string good = RegisterFrame(header, d);
      for (;;) {
        std::string frame = good;
        if (Faulty() && faults_.BadChecksums > 0) {
          --faults_.BadChecksums;
          Note("bad-checksum");
          frame[frame.size() - 1] = frame.back() == '0' ? '1' : '0';
        }
        if (Faulty() && faults_.EotAfterFrame > 0) {
          --faults_.EotAfterFrame;
          Note("eot-after-frame");
          Write(frame + EOT);
          return;  // the register gave up waiting
        }
        Write(frame);
        bool answered = false;
        while (NextByte(faults_.AnswerMs, c)) {
          if (c == ACK || c == NAK) {
            answered = true;
            break;
          }
        }
        if (!answered) return;
        if (c == ACK) break;
      }
    }
    Write(std::string(1, EOT));
    NextByte(faults_.AnswerMs, c);  // the host's closing EOT
  }

  bool Faulty() const { return exchange_ >= faults_.From; }

  TSimPty& line_;
  int exchange_ = 0;
  TRegisterData data_;
  TRegisterFaults faults_;
};

int Number(const std::string& option, const std::string& v) {
  int32_t n = 0;
  if (!TryStrToInt(v, n) || n < 0) throw TUsage("opcja " + option + " wymaga liczby: " + v);
  return n;
}

}  // namespace

int CmdRegister(const std::vector<std::string>& args) {
  std::string dataDir, link, model;
  TRegisterFaults faults;
  try {
    for (std::size_t i = 0; i < args.size(); ++i) {
      const std::string& a = args[i];
      auto value = [&]() -> const std::string& {
        if (i + 1 >= args.size()) throw TUsage("brak wartości opcji " + a);
        return args[++i];
      };
      if (a == "--data") dataDir = value();
      else if (a == "--model") model = value();
      else if (a == "--link") link = value();
      else if (a == "--tab") faults.Tabs = Number(a, value());
      else if (a == "--nak") faults.Naks = Number(a, value());
      else if (a == "--bad-checksum") faults.BadChecksums = Number(a, value());
      else if (a == "--silent") faults.Silent = Number(a, value());
      else if (a == "--error") {
        faults.ErrorCode = value();
        if (faults.Errors == 0) faults.Errors = 1;
      } else if (a == "--errors") faults.Errors = Number(a, value());
      else if (a == "--eot-after-frame") faults.EotAfterFrame = Number(a, value());
      else if (a == "--answer-ms") faults.AnswerMs = Number(a, value());
      else if (a == "--faults-from") faults.From = Number(a, value());
      else throw TUsage("nieznana opcja " + a);
    }
    if (dataDir.empty()) throw TUsage("brak --data");
    if (model.empty()) throw TUsage("brak --model");
    if (faults.Errors > 0 && faults.ErrorCode.empty()) throw TUsage("--errors wymaga --error KOD");
  } catch (const TUsage& e) {
    std::fprintf(stderr,
                 "quorvel-sim register: %s\n"
                 "użycie: quorvel-sim register --data DIR --model NAZWA [--link PATH] [--tab N] [--nak N]\n"
                 "        [--bad-checksum N] [--silent N] [--error KOD [--errors N]] [--eot-after-frame N]\n"
                 "        [--answer-ms MS] [--faults-from N]\n",
                 e.what());
    return 2;
  }
  TRegisterData data;
  try {
    data = LoadRegisterData(dataDir, model);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quorvel-sim register: %s\n", e.what());
    return 1;
  }
  TSimPty line;
  if (!line.Open("register", link)) return 1;
  TRegister(line, std::move(data), std::move(faults)).Run();
  return 0;
}

}  // namespace quorvel::sim
