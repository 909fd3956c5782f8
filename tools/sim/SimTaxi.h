// `quorvel-sim taxi`: a taxi meter on a pseudo-terminal. It answers the unique-number, NIP and
// fiscal-memory requests from a data directory, entry by entry with ACK from the host, and can
// be told to misbehave (NAK, silence, EOT, damaged or unfinished entries, a stop mid-reading).
#pragma once

#include <set>
#include <string>
#include <vector>

namespace quorvel::sim {

// What the meter holds. DIR/meter.txt: "UniqueNo=..." and "NIP=..." lines. DIR/entries.txt: one
// fiscal-memory entry per line, its fields separated by TAB exactly as the meter sends them
// after STX: the reply code ("129"), the entry type, then the type's fields. Both UTF-8;
// lines that are empty or begin with "#" are skipped.
struct TTaxiMeterData {
  std::string UniqueNo;
  std::string Nip;
  std::vector<std::vector<std::string>> Entries;  // Windows-1250 fields
};

// Reads the data directory; throws std::runtime_error with a message on a missing file.
TTaxiMeterData LoadTaxiMeterData(const std::string& dir);

// The first entry the meter sends for a request from report number `from`: the one after the
// last daily report numbered below it.
std::size_t FirstEntryFromNumber(const TTaxiMeterData& data, int from);
// The first entry dated at or after `from` ("yyyy-mm-dd hh:mm:ss"); entries without a date of
// their own take the date of the entry before them.
std::size_t FirstEntryFromDate(const TTaxiMeterData& data, const std::string& from);

// The reply frame of the meter: STX, the fields each ended by CR, the check code, ETX.
std::string TaxiReplyFrame(const std::vector<std::string>& fields);

struct TTaxiFaults {
  std::set<std::string> Nak, Silent, Eot;  // request kinds "uid", "nip", "fm"
  std::set<int> Corrupt;                   // 1-based entries sent with a damaged reply code
  std::set<int> Truncate;                  // 1-based entries whose first sending lacks its end
  int StopAfter = -1;                      // entries sent before the meter falls silent
  int ResendMs = 7000;                     // wait for the host's ACK before sending again
  int Resends = 2;
};

int CmdTaxi(const std::vector<std::string>& args);

}  // namespace quorvel::sim
