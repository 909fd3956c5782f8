// The taxi meter's data directory and its view of a fiscal-memory request range.
#include <cstdio>
#include <tuple>

#include "base/Cp1250.h"
#include "base/TextUtils.h"
#include "sim/SimPty.h"
#include "sim/SimTaxi.h"

namespace quorvel::sim {

namespace {

using TStamp = std::tuple<int, int, int, int, int>;  // year, month, day, hour, minute

int Part(const std::string& s, std::size_t at, std::size_t len) {
  return s.size() >= at + len ? StrToIntDef(std::string_view(s).substr(at, len), 0) : 0;
}

// The entry's own date, when its type carries one ("dd-mm-yyyy hh:mi" or "dd-mm-yyyy", or the
// currency change's yy mm dd hh mi fields).
bool EntryStamp(const std::vector<std::string>& e, TStamp& stamp) {
  if (e.size() < 3) return false;
  const int type = StrToIntDef(e[1], 0);
  if (type == 10 || type == 11 || type == 12) {
    const std::string& f = e[2];
    stamp = {Part(f, 6, 4), Part(f, 3, 2), Part(f, 0, 2), Part(f, 11, 2), Part(f, 14, 2)};
    return true;
  }
  if (type == 15 && e.size() >= 9) {
    int parts[5];
    bool any = false;
    for (int i = 0; i < 5; ++i) any |= (parts[i] = StrToIntDef(e[4 + i], 0)) != 0;
    stamp = {2000 + parts[0], parts[1], parts[2], parts[3], parts[4]};
    return any;
  }
  return false;
}

}  // namespace

TTaxiMeterData LoadTaxiMeterData(const std::string& dir) {
  TTaxiMeterData data;
  for (const auto& line : ReadDataLines(dir + "/meter.txt", true)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, eq)), value = Utf8ToCp1250(line.substr(eq + 1));
    if (key == "UniqueNo") data.UniqueNo = value;
    else if (key == "NIP") data.Nip = value;
  }
  for (const auto& line : ReadDataLines(dir + "/entries.txt", true)) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
      const auto tab = line.find('\t', start);
      fields.push_back(Utf8ToCp1250(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start)));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    data.Entries.push_back(std::move(fields));
  }
  return data;
}

std::size_t FirstEntryFromNumber(const TTaxiMeterData& data, int from) {
  std::size_t first = 0;
  for (std::size_t i = 0; i < data.Entries.size(); ++i) {
    const auto& e = data.Entries[i];
    // A daily report's number is its 13th field after the type.
    if (e.size() > 14 && StrToIntDef(e[1], 0) == 10 && StrToIntDef(e[14], 0) < from) first = i + 1;
  }
  return first;
}

std::size_t FirstEntryFromDate(const TTaxiMeterData& data, const std::string& from) {
  const TStamp wanted{Part(from, 0, 4), Part(from, 5, 2), Part(from, 8, 2), Part(from, 11, 2), Part(from, 14, 2)};
  TStamp last{0, 0, 0, 0, 0};
  for (std::size_t i = 0; i < data.Entries.size(); ++i) {
    TStamp own;
    if (EntryStamp(data.Entries[i], own)) last = own;
    if (last >= wanted) return i;
  }
  return data.Entries.size();
}

std::string TaxiReplyFrame(const std::vector<std::string>& fields) {
  std::string body;
  for (const auto& f : fields) body += f + "\r";
  unsigned code = 2;
  for (unsigned char c : body) code ^= c;
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", code & 0xFFu);
  return "\x02" + body + hex + "\x03";
}

}  // namespace quorvel::sim
