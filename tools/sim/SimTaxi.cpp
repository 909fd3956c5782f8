// The taxi meter's side of its protocol over a pseudo-terminal.
#include <cstdio>
#include <stdexcept>
#include <string>

#include "base/TextUtils.h"
#include "sim/SimPty.h"
#include "sim/SimTaxi.h"

namespace quorvel::sim {

namespace {

constexpr char STX = 2, ETX = 3, EOT = 4, ACK = 6, NAK = 21;

struct TUsage : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class TTaxiMeter {
 public:
  TTaxiMeter(TSimPty& line, TTaxiMeterData data, TTaxiFaults faults)
      : line_(line), data_(std::move(data)), faults_(std::move(faults)) {}

  void Run() {
    while (!SimStopRequested()) {
      char c;
      if (!NextByte(200, c) || c != STX) continue;  // stray bytes between frames are ignored
      std::string content;
      bool complete = false;
      while (!SimStopRequested() && NextByte(2000, c)) {
        if (c == ETX) {
          complete = true;
          break;
        }
        if (c == STX) content.clear();  // a new frame began: the unfinished one is dropped
        else content += c;
      }
      if (!complete) continue;
      if (content.size() < 2 || CheckCode(content.substr(0, content.size() - 2)) != content.substr(content.size() - 2)) {
        Write(std::string(1, NAK));
        continue;
      }
      Handle(content.substr(0, content.size() - 2));
    }
  }

 private:
  static std::string CheckCode(const std::string& body) {
    unsigned code = static_cast<unsigned char>(STX);
    for (unsigned char ch : body) code ^= ch;
    return Format("%02X", code & 0xFFu);
  }

  bool NextByte(int ms, char& c) { return line_.NextByte(ms, c); }
  void Write(const std::string& bytes) { line_.Write(bytes); }

  // Sends `frame` and waits for the host's ACK; without one the entry goes again as `again`.
  // Anything but ACK is the host's next request: it is kept for the main loop.
  bool SendAwaitingAck(const std::string& frame, const std::string& again) {
    Write(frame);
    for (int attempt = 0;; ++attempt) {
      char c;
      if (NextByte(faults_.ResendMs, c)) {
        if (c == ACK) return true;
        line_.PutBack(c);
        return false;
      }
      if (SimStopRequested() || attempt >= faults_.Resends) return false;
      Write(again);
    }
  }

  // ACK, then the one reply frame, unless a fault says otherwise.
  void Answer(const std::string& kind, const std::vector<std::string>& fields) {
    if (faults_.Silent.count(kind)) return;
    if (faults_.Nak.count(kind)) return Write(std::string(1, NAK));
    Write(std::string(1, ACK));
    if (faults_.Eot.count(kind)) return Write(std::string(1, EOT));
    const std::string frame = TaxiReplyFrame(fields);
    SendAwaitingAck(frame, frame);
  }

  void SendFiscalMemory(const std::vector<std::string>& request) {
    const std::string kind = "fm";
    if (faults_.Silent.count(kind)) return;
    if (faults_.Nak.count(kind) || request.size() < 4) return Write(std::string(1, NAK));
    std::size_t first = 0;
    if (request[2] == "0") first = FirstEntryFromNumber(data_, StrToIntDef(request[3], 0));
    else if (request[2] == "1") first = FirstEntryFromDate(data_, request[3]);
    else return Write(std::string(1, NAK));
    Write(std::string(1, ACK));
    if (faults_.Eot.count(kind)) return Write(std::string(1, EOT));
    int sent = 0;
    for (std::size_t i = first; i < data_.Entries.size(); ++i) {
      if (sent == faults_.StopAfter) return;  // falls silent: no EOT
      ++sent;
      auto fields = data_.Entries[i];
      if (faults_.Corrupt.count(sent) && !fields.empty()) fields[0] = "1?9";
      const std::string frame = TaxiReplyFrame(fields);
      std::string firstSending = frame;
      if (faults_.Truncate.count(sent)) firstSending = frame.substr(0, frame.size() > 4 ? frame.size() - 4 : 1);
      if (!SendAwaitingAck(firstSending, frame)) return;  // the host gave up on the reading
    }
    Write(std::string(1, EOT));
  }

  void Handle(const std::string& body) {
    std::vector<std::string> request;
    std::size_t start = 0;
    for (auto cr = body.find('\r'); cr != std::string::npos; cr = body.find('\r', start)) {
      request.push_back(body.substr(start, cr - start));
      start = cr + 1;
    }
    if (request.size() < 2 || request[0] != "100") return Write(std::string(1, NAK));
    if (request[1] == "131") return Answer("uid", {"131", data_.UniqueNo});
    if (request[1] == "113") return Answer("nip", {"113", data_.Nip});
    if (request[1] == "129") return SendFiscalMemory(request);
    Write(std::string(1, NAK));
  }

  TSimPty& line_;
  TTaxiMeterData data_;
  TTaxiFaults faults_;
};

int Number(const std::string& option, const std::string& value) {
  int32_t v = 0;
  if (!TryStrToInt(value, v) || v < 0) throw TUsage("niepoprawna liczba dla " + option + ": " + value);
  return v;
}

std::string RequestKind(const std::string& option, const std::string& value) {
  if (value != "uid" && value != "nip" && value != "fm") throw TUsage(option + " przyjmuje uid, nip lub fm");
  return value;
}

}  // namespace

int CmdTaxi(const std::vector<std::string>& args) {
  std::string dataDir, link;
  TTaxiFaults faults;
  try {
    for (std::size_t i = 0; i < args.size(); ++i) {
      const std::string& a = args[i];
      auto value = [&]() -> const std::string& {
        if (i + 1 >= args.size()) throw TUsage("brak wartości opcji " + a);
        return args[++i];
      };
      if (a == "--data") dataDir = value();
      else if (a == "--link") link = value();
      else if (a == "--nak") faults.Nak.insert(RequestKind(a, value()));
      else if (a == "--silent") faults.Silent.insert(RequestKind(a, value()));
      else if (a == "--eot") faults.Eot.insert(RequestKind(a, value()));
      else if (a == "--corrupt") faults.Corrupt.insert(Number(a, value()));
      else if (a == "--truncate") faults.Truncate.insert(Number(a, value()));
      else if (a == "--stop-after") faults.StopAfter = Number(a, value());
      else if (a == "--resend-ms") faults.ResendMs = Number(a, value());
      else if (a == "--resends") faults.Resends = Number(a, value());
      else throw TUsage("nieznana opcja " + a);
    }
    if (dataDir.empty()) throw TUsage("brak --data");
  } catch (const TUsage& e) {
    std::fprintf(stderr,
                 "quorvel-sim taxi: %s\n"
                 "użycie: quorvel-sim taxi --data DIR [--link PATH] [--nak uid|nip|fm] [--silent uid|nip|fm]\n"
                 "        [--eot uid|nip|fm] [--corrupt N] [--truncate N] [--stop-after N]\n"
                 "        [--resend-ms MS] [--resends N]\n",
                 e.what());
    return 2;
  }
  TTaxiMeterData data;
  try {
    data = LoadTaxiMeterData(dataDir);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quorvel-sim taxi: %s\n", e.what());
    return 1;
  }
  TSimPty line;
  if (!line.Open("taxi", link)) return 1;
  TTaxiMeter(line, std::move(data), std::move(faults)).Run();
  return 0;
}

}  // namespace quorvel::sim
