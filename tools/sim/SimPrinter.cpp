#include "sim/SimPrinter.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <csignal>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "base/TextUtils.h"

namespace fs = std::filesystem;

namespace quorvel::sim {

namespace {

constexpr char kEsc = 27;
volatile sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

std::string ReadText(const fs::path& p, const std::string& def) {
  std::ifstream in(p, std::ios::binary);
  if (!in) return def;
  std::stringstream ss;
  ss << in.rdbuf();
  std::string s = ss.str();
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

std::string Hex2(unsigned v) { return Format("%02X", v & 0xFF); }

std::string Check(std::string_view s) {
  unsigned c = 255;
  for (char ch : s) c ^= static_cast<unsigned char>(ch);
  return Hex2(c);
}

std::string Frame(std::string_view body) {
  std::string f = "\x1bP";
  f.append(body);
  f += kEsc;
  f += '\\';
  return f;
}

struct TEntry {
  std::string Date;  // yyyy-mm-dd
  int Number = 0;
  std::string Body;
};

struct TFile {
  std::string Name;  // path below ecopy/, with "/"
  std::string Bytes;
};

class TPrinterSim {
 public:
  int Master = -1;
  fs::path Data;
  int CorruptPct = 0, DropPct = 0, RepeatPacket = -1, SilentAfter = -1, PacketSize = 0;
  std::set<int> CorruptFrames;
  std::mt19937 Rng{1};

  void Load() {
    Unique = ReadText(Data / "unique.txt", "ABC12345678");
    Version = ReadText(Data / "version.txt", "QS-1 1.00");
    Status = std::atoi(ReadText(Data / "status.txt", "0").c_str());
    std::ifstream fm(Data / "fm.txt", std::ios::binary);
    for (std::string line; std::getline(fm, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) continue;
      TEntry e;
      std::istringstream ls(line);
      ls >> e.Date >> e.Number;
      std::getline(ls >> std::ws, e.Body);
      std::string body;
      for (size_t i = 0; i < e.Body.size(); ++i) {
        if (e.Body[i] == '\\' && i + 1 < e.Body.size() && e.Body[i + 1] == 'r') {
          body += '\r';
          ++i;
        } else {
          body += e.Body[i];
        }
      }
      e.Body = std::move(body);
      Entries.push_back(e);
    }
    std::ifstream dates(Data / "ecopy-dates.txt");
    for (std::string name, date; dates >> name >> date;) Dates[name] = date;
  }

  void Run() {
    std::string in;
    while (!gStop) {
      pollfd p{Master, POLLIN, 0};
      if (::poll(&p, 1, 200) <= 0) continue;
      char buf[4096];
      const ssize_t n = ::read(Master, buf, sizeof buf);
      if (n <= 0) {
        ::usleep(20000);
        continue;
      }
      in.append(buf, static_cast<size_t>(n));
      // Take whole frames and lone ENQ bytes off the input; noise between frames is dropped.
      for (;;) {
        const auto start = in.find(kEsc);
        const auto enq = in.find('\x05');
        if (enq != std::string::npos && (start == std::string::npos || enq < start)) {
          in.erase(0, enq + 1);
          Reply(std::string(1, static_cast<char>(Status)), false);
          continue;
        }
        if (start == std::string::npos) {
          in.clear();
          break;
        }
        if (start + 1 < in.size() && in[start + 1] != 'P') {
          in.erase(0, start + 1);
          continue;
        }
        const auto end = in.find("\x1b\\", start + 1);
        if (end == std::string::npos) {
          in.erase(0, start);
          break;
        }
        const std::string body = in.substr(start + 2, end - start - 2);
        in.erase(0, end + 2);
        Command(body);
      }
    }
  }

 private:
  std::string Unique, Version;
  int Status = 0;
  std::vector<TEntry> Entries;
  std::map<std::string, std::string> Dates;
  size_t NextEntry = 0;
  int Frames = 0;
  // The transfer in progress.
  std::vector<TFile> Transfer;
  size_t FileIdx = 0, Offset = 0;
  int PacketNo = 0;
  std::string LastPacket;
  bool Big = false, Repeated = false;
  // The verification in progress.
  std::string Content;

  // Cuts the two check digits off a body; false when they do not match.
  static bool TakeChecked(std::string& body) {
    if (body.size() < 2) return false;
    const std::string cc = body.substr(body.size() - 2);
    body.resize(body.size() - 2);
    return Check(body) == cc;
  }

  void Reply(std::string bytes, bool frame) {
    ++Frames;
    if (SilentAfter >= 0 && Frames > SilentAfter) return;
    if (frame) bytes = Frame(bytes);
    std::uniform_int_distribution<int> pct(0, 99);
    if (bytes.size() > 4 && (CorruptFrames.count(Frames) || (CorruptPct > 0 && pct(Rng) < CorruptPct))) {
      // A flipped bit inside the body, away from the framing bytes.
      std::uniform_int_distribution<size_t> at(2, bytes.size() - 3);
      bytes[at(Rng)] ^= 0x01;
    }
    if (bytes.size() > 4 && DropPct > 0 && pct(Rng) < DropPct) {
      std::uniform_int_distribution<size_t> at(2, bytes.size() - 3);
      bytes.erase(at(Rng), 1);
    }
    size_t done = 0;
    while (done < bytes.size() && !gStop) {
      const ssize_t n = ::write(Master, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return;
      // The line is full: wait until the reader makes room, not a fixed pause. The time limit
      // only lets a stop request through while nobody reads.
      pollfd p{Master, POLLOUT, 0};
      ::poll(&p, 1, 200);
    }
  }

  void Command(std::string body) {
    if (body == "#u") return Reply("1#u/" + Unique, true);
    if (body == "#v") return Reply("1#R" + Version, true);
    if (body == "27#s") {
      if (Entries.empty()) return Reply(Sealed("25#X0;0;0;0;0;0;"), true);
      const TEntry& e = Entries[std::min(NextEntry, Entries.size() - 1)];
      if (NextEntry < Entries.size()) ++NextEntry;
      return Reply(Sealed(e.Body), true);
    }
    if (!TakeChecked(body)) return;  // a garbled command: the printer ignores it
    if (body.size() >= 3 && body.compare(body.size() - 3, 3, "#e") == 0) return;
    if (body.rfind("53;", 0) == 0) return SelectByDate(body);
    if (body.rfind("63#s", 0) == 0) {
      const int n = std::atoi(body.c_str() + 4);
      NextEntry = 0;
      while (NextEntry < Entries.size() && Entries[NextEntry].Number < n) ++NextEntry;
      return;
    }
    if (const auto ep = body.find("@EP"); ep != std::string::npos && ep <= 1) return FileRequest(body);
    if (body.find("@EV") != std::string::npos) return VerifyPiece(body);
  }

  static std::string Sealed(const std::string& body) { return body + Check(body); }

  void SelectByDate(const std::string& body) {
    int yy = 0, mm = 0, dd = 0;
    std::sscanf(body.c_str(), "53;%d;%d;%d;", &yy, &mm, &dd);
    const std::string from = Format("%04d-%02d-%02d", 2000 + yy, mm, dd);
    NextEntry = 0;
    while (NextEntry < Entries.size() && Entries[NextEntry].Date < from) ++NextEntry;
  }

  // big "@EP" step "/" mode "/" card CR from CR to CR "1/"
  void FileRequest(const std::string& body) {
    const bool big = body[0] == '1';
    int step = 0, mode = 0;
    const auto ep = body.find("@EP");
    std::sscanf(body.c_str() + ep + 3, "%d/%d/", &step, &mode);
    std::vector<std::string> parts;
    {
      std::string rest = body.substr(body.find('/', body.find('/', ep) + 1) + 1);
      std::string cur;
      for (char c : rest) {
        if (c == '\r') {
          parts.push_back(cur);
          cur.clear();
        } else {
          cur += c;
        }
      }
    }
    if (step == 2) {
      if (!LastPacket.empty()) Reply(LastPacket, true);
      return;
    }
    if (step == 0) {
      Big = big;
      Transfer.clear();
      FileIdx = Offset = 0;
      PacketNo = 0;
      Repeated = false;
      const std::string from = parts.size() > 1 ? parts[1] : "", to = parts.size() > 2 ? parts[2] : "";
      SelectFiles(mode, from, to);
      if (Transfer.empty()) return Reply(Sealed("@EP0/2/\r0/0/\r"), true);
    }
    if (FileIdx >= Transfer.size()) return Reply(Sealed("@EP0/2/\r0/0/\r"), true);
    if (RepeatPacket >= 0 && PacketNo == RepeatPacket && !Repeated && !LastPacket.empty()) {
      Repeated = true;
      return Reply(LastPacket, true);
    }
    const TFile& f = Transfer[FileIdx];
    const size_t size = PacketSize > 0 ? static_cast<size_t>(PacketSize) : (Big ? 4096 : 512);
    const std::string chunk = f.Bytes.substr(Offset, size);
    Offset += chunk.size();
    int status = 0;
    if (Offset >= f.Bytes.size()) {
      status = FileIdx + 1 < Transfer.size() ? 1 : 2;
      ++FileIdx;
      Offset = 0;
    }
    ++PacketNo;
    std::string p = Format("@EP%d/%d/", PacketNo, status) + f.Name + "\r0/0/";
    for (char c : chunk) {
      const auto b = static_cast<unsigned char>(c);
      if (b < 0x20 || b == 0x5C || b == 0x86) {
        p += static_cast<char>(0x86);
        p += static_cast<char>(b ^ 0x20);
      } else {
        p += c;
      }
    }
    p += '\r';
    LastPacket = Sealed(p);
    Reply(LastPacket, true);
  }

  void SelectFiles(int mode, const std::string& from, const std::string& to) {
    const fs::path root = Data / "ecopy";
    std::vector<std::string> names;
    std::error_code ec;
    if (fs::is_directory(root, ec))
      for (const auto& e : fs::recursive_directory_iterator(root, ec))
        if (e.is_regular_file()) names.push_back(fs::relative(e.path(), root).generic_string());
    std::sort(names.begin(), names.end());
    auto dmyKey = [](const std::string& dmy) {  // ddmmyyyy or dd-mm-yyyy -> yyyymmdd
      std::string d;
      for (char c : dmy)
        if (c >= '0' && c <= '9') d += c;
      return d.size() == 8 ? d.substr(4, 4) + d.substr(2, 2) + d.substr(0, 2) : std::string();
    };
    // Only daily-report files carry a number: their names begin with four digits. Any other file
    // (the card history idhist.txt) is served when asked for by name and never by number or date;
    // atoi would read "idhist" as report 0.
    auto numbered = [](const std::string& path) {
      const std::string file = fs::path(path).filename().string();
      return file.size() >= 4 && std::all_of(file.begin(), file.begin() + 4, [](char c) { return c >= '0' && c <= '9'; });
    };
    for (const auto& n : names) {
      bool take = false;
      if (mode == 5) take = n == from;
      else if (!numbered(n)) take = false;
      else if (mode == 2) {
        const int num = std::atoi(fs::path(n).stem().string().c_str());
        take = num >= std::atoi(from.c_str()) && num <= std::atoi(to.c_str());
      } else if (mode == 1) {
        const auto it = Dates.find(n);
        if (it != Dates.end()) {
          const std::string k = dmyKey(it->second);
          take = k >= dmyKey(from) && k <= dmyKey(to);
        }
      }
      if (take) Transfer.push_back({n, ReadText(root / n, "")});
    }
    // ReadText drops trailing line ends; the transfer must carry the file byte for byte.
    for (auto& f : Transfer) {
      std::ifstream in(root / f.Name, std::ios::binary);
      std::stringstream ss;
      ss << in.rdbuf();
      f.Bytes = ss.str();
    }
  }

  // marker ";" kind "@EV" unique CR code CR type len "/" piece CR, or the closing frame.
  void VerifyPiece(const std::string& body) {
    const auto ev = body.find("@EV");
    const std::string marker = body.substr(0, std::min(body.find(';'), ev));
    size_t at = ev + 3;
    const auto cr1 = body.find('\r', at);
    const auto cr2 = body.find('\r', cr1 + 1);
    if (cr1 == std::string::npos || cr2 == std::string::npos) return;
    const std::string code = body.substr(cr1 + 1, cr2 - cr1 - 1);
    const auto slash1 = body.find('/', cr2 + 1);
    const std::string type = body.substr(cr2 + 1, slash1 - cr2 - 1);
    const auto slash2 = body.find('/', slash1 + 1);
    const size_t len = static_cast<size_t>(std::atoi(body.c_str() + slash1 + 1));
    std::string piece = body.substr(slash2 + 1);
    if (!piece.empty() && piece.back() == '\r') piece.pop_back();
    if (marker == "1") Content.clear();
    if (type == "2") {
      std::string raw;
      for (size_t i = 0; i + 1 < piece.size(); i += 2) raw += static_cast<char>(std::stoi(piece.substr(i, 2), nullptr, 16));
      piece = raw;
    }
    if (body.find(';') < ev) Content += piece.substr(0, len);  // the closing frame carries no content
    if (marker != "99") return;
    unsigned sum = 0;
    for (char c : Content) sum += static_cast<unsigned char>(c);
    Reply(std::string("1@EV") + (Format("%04X", sum & 0xFFFF) == code ? "1" : "0") + "/", true);
  }
};

}  // namespace

int CmdPrinter(const std::vector<std::string>& args) {
  TPrinterSim sim;
  std::string link;
  for (size_t i = 0; i < args.size(); ++i) {
    auto val = [&]() -> std::string { return i + 1 < args.size() ? args[++i] : std::string(); };
    const std::string& a = args[i];
    if (a == "--data") sim.Data = val();
    else if (a == "--link") link = val();
    else if (a == "--corrupt") sim.CorruptPct = std::atoi(val().c_str());
    else if (a == "--drop") sim.DropPct = std::atoi(val().c_str());
    else if (a == "--seed") sim.Rng.seed(static_cast<unsigned>(std::atoi(val().c_str())));
    else if (a == "--repeat-packet") sim.RepeatPacket = std::atoi(val().c_str());
    else if (a == "--silent-after") sim.SilentAfter = std::atoi(val().c_str());
    else if (a == "--packet") sim.PacketSize = std::atoi(val().c_str());
    else if (a == "--corrupt-frames") {
      std::stringstream ss(val());
      for (std::string t; std::getline(ss, t, ',');) sim.CorruptFrames.insert(std::atoi(t.c_str()));
    } else {
      std::fprintf(stderr, "quorvel-sim printer: nieznana opcja %s\n", a.c_str());
      return 2;
    }
  }
  if (sim.Data.empty()) {
    std::fprintf(stderr, "użycie: quorvel-sim printer --data DIR [--link PATH] [błędy]\n");
    return 2;
  }
  sim.Load();
  int slave = -1;
  char name[256] = {};
  if (::openpty(&sim.Master, &slave, name, nullptr, nullptr) != 0) {
    std::perror("openpty");
    return 1;
  }
  // The simulator keeps the slave open so that the line stays up between the link's sessions.
  termios t{};
  ::tcgetattr(slave, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(slave, TCSANOW, &t);
  ::fcntl(sim.Master, F_SETFL, ::fcntl(sim.Master, F_GETFL) | O_NONBLOCK);
  if (!link.empty()) {
    std::error_code ec;
    fs::remove(link, ec);
    fs::create_symlink(name, link, ec);
    if (ec) {
      std::fprintf(stderr, "quorvel-sim printer: %s\n", ec.message().c_str());
      return 1;
    }
  }
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);
  std::printf("%s\n", name);
  std::fflush(stdout);
  sim.Run();
  if (!link.empty()) ::unlink(link.c_str());
  return 0;
}

}  // namespace quorvel::sim
