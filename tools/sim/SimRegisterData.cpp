// The register's data directory and the reply layouts it fills from it.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "base/FileUtils.h"
#include "base/TextUtils.h"
#include "sim/SimPty.h"
#include "sim/SimRegister.h"

namespace quorvel::sim {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Split(const std::string& line, char sep) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = line.find(sep, start);
    out.push_back(line.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return out;
    start = at + 1;
  }
}

// A numeric field right-aligned with zeros, a text field left-aligned with blanks; both cut to `width`.
std::string Num(const std::string& v, std::size_t width) {
  const std::string t = Trim(v);
  return PadLeft(t.empty() ? "0" : t, width, '0').substr(0, width);
}
std::string Text(const std::string& v, std::size_t width) { return PadRight(v, width).substr(0, width); }

const std::string& FieldAt(const TRegisterEntry& e, std::size_t i) {
  static const std::string kEmpty;
  return i < e.Fields.size() ? e.Fields[i] : kEmpty;
}

}  // namespace

int FullDate(const std::string& yymmdd) {
  const int v = StrToIntDef(Trim(yymmdd), -1);
  if (v < 0) return -1;
  const int yy = v / 10000;
  return (yy <= 48 ? 20000000 : 19000000) + v;
}

TRegisterData LoadRegisterData(const std::string& dir, const std::string& model) {
  if (!fs::is_directory(dir)) throw std::runtime_error("brak katalogu " + dir);
  TRegisterData d;
  d.Model = model;
  for (const auto& line : ReadDataLines(fs::path(dir) / "register.txt", false)) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, eq)), value = line.substr(eq + 1);
    if (key == "UniqueNo") d.UniqueNo = value;
    else if (key == "NIP") d.Nip = value;
    else if (key == "Version") d.Version = value;
    else if (key == "Status") d.Status = value;
  }
  for (const auto& line : ReadDataLines(fs::path(dir) / "fm.txt", false)) d.Entries.push_back({Split(line, ';')});

  const fs::path ecopy = fs::path(dir) / "ecopy";
  const auto index = ReadDataLines(ecopy / "index.txt", false);
  if (!index.empty()) {
    for (const auto& line : index) {
      const auto f = Split(line, ';');
      if (f.size() < 3) throw std::runtime_error("błędny wiersz w index.txt: " + line);
      d.ECopy.push_back({StrToIntDef(f[0], 0), Trim(f[1]), (ecopy / f[2]).string(), f[2]});
    }
  } else if (fs::is_directory(ecopy)) {
    for (const auto& e : fs::directory_iterator(ecopy)) {
      const std::string name = e.path().filename().string();
      int32_t n = 0;
      if (e.is_regular_file() && name.size() == 8 && name.substr(4) == ".txt" && TryStrToInt(name.substr(0, 4), n))
        d.ECopy.push_back({n, "", e.path().string(), name});
    }
    std::sort(d.ECopy.begin(), d.ECopy.end(), [](const auto& a, const auto& b) { return a.Number < b.Number; });
  }
  d.CardsDir = (fs::path(dir) / "cards").string();
  return d;
}

std::string RecordData(const TRegisterEntry& e, bool extended) {
  const std::string kind = FieldAt(e, 0).empty() ? std::string("?") : FieldAt(e, 0).substr(0, 1);
  std::string d = kind;  // frame position 4
  if (kind == "1") {
    d += Num(FieldAt(e, 2), 6);              // 5-10 date
    d += Text(FieldAt(e, 3), 1);             // 11 flags
    d += Num(FieldAt(e, 1), 10);             // 12-21 number
    d += Num(FieldAt(e, 4), 10);             // 22-31 gross total
    for (int i = 0; i < 7; ++i) d += Num(FieldAt(e, 5 + i), 10);  // 32-101 gross per rate
    d += Num(FieldAt(e, 12), 10);            // 102-111 VAT total
    d += Num(FieldAt(e, 13), 5);             // 112-116 receipts
    d += Num(FieldAt(e, 14), 5);             // 117-121
    d += " ";                                // 122
    d += Text(FieldAt(e, 15), 10);           // 123-132
    d += Num(FieldAt(e, 16), 10);            // 133-142
    if (!extended) {
      d += Num(FieldAt(e, 17), 10);          // 143-152 cancelled receipts
      d += Num(FieldAt(e, 18), 10);          // 153-162 their value
    } else {
      d += std::string(20, ' ');             // 146-165 of the extended frame
      for (int i = 0; i < 7; ++i) d += Num(FieldAt(e, 19 + i), 20);  // 166-305 cumulative VAT per rate
      d += Num(FieldAt(e, 26), 20);          // 306-325
      d += Num(FieldAt(e, 27), 20);          // 326-345
    }
  } else if (kind == "2" || kind == "3") {
    d += Num(FieldAt(e, 2), 6);              // 5-10 date
    d += Text(FieldAt(e, 4), 1);             // 11 flags
    d += Num(FieldAt(e, 3), 4);              // 12-15 time
    d += " ";                                // 16
    d += Num(FieldAt(e, 1), 3);              // 17-19 reset number
    d += Text(FieldAt(e, 5), 2);             // 20-21
  } else if (kind == "4") {
    d += Num(FieldAt(e, 1), 6);
    d += Text(FieldAt(e, 3), 1);
    for (int i = 0; i < 7; ++i) d += Num(FieldAt(e, 4 + i), 4);  // 12-39 rates
  } else if (kind == "5" || kind == "8") {
    d += Num(FieldAt(e, 1), 6);
    d += " ";
    d += Text(FieldAt(e, 2), 6);             // 12-17 currency
  } else {
    d += Num(FieldAt(e, 1), 6);
  }
  return extended ? "#00" + d : d;
}

std::vector<std::string> PeriodicReport(const TRegisterData& data, bool extended, bool byNumbers,
                                        const std::string& from, const std::string& to) {
  std::vector<std::string> out;
  if (byNumbers) {
    const int a = StrToIntDef(Trim(from), 0), b = StrToIntDef(Trim(to), 0);
    std::size_t first = data.Entries.size(), last = 0;
    for (std::size_t i = 0; i < data.Entries.size(); ++i) {
      const auto& e = data.Entries[i];
      if (FieldAt(e, 0) != "1") continue;
      const int n = StrToIntDef(Trim(FieldAt(e, 1)), -1);
      if (n >= a && first == data.Entries.size()) first = i;
      if (n >= a && n <= b) last = i;
    }
    for (std::size_t i = first; i < data.Entries.size() && i <= last; ++i)
      out.push_back(RecordData(data.Entries[i], extended));
    return out;
  }
  const int a = FullDate(from), b = FullDate(to);
  for (const auto& e : data.Entries) {
    const int at = FullDate(FieldAt(e, 0) == "1" || FieldAt(e, 0) == "2" || FieldAt(e, 0) == "3"
                                ? FieldAt(e, 2)
                                : FieldAt(e, 1));
    if (at >= a && at <= b) out.push_back(RecordData(e, extended));
  }
  return out;
}

std::vector<std::string> TransferPackets(const std::string& name, const std::string& bytes, char lastKind,
                                         std::size_t chunk) {
  std::vector<std::string> out;
  std::size_t at = 0;
  int number = 1;
  do {
    const std::string piece = bytes.substr(at, chunk);
    at += piece.size();
    const bool last = at >= bytes.size();
    std::string d = Format("%06d", number++);       // 4-9
    d += last ? lastKind : '0';                     // 10
    d += Text(name, 40);                            // 11-50
    d += ' ';                                       // 51
    d += Format("%06zu", piece.size());             // 52-57
    d += piece;                                     // 58-
    out.push_back(d);
  } while (at < bytes.size());
  return out;
}

std::string RegisterChecksum(const std::string& bytes) {
  unsigned v = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) v = (v ^ (static_cast<unsigned char>(bytes[i]) << (i % 9))) & 0xFFFF;
  return Format("%04X", v);
}

std::string RegisterFrame(const std::string& header, const std::string& data) {
  const std::string inner = header + data + "\x03";
  return "\x02" + inner + RegisterChecksum(inner);
}

}  // namespace quorvel::sim
