// `quorvel-sim register`: a cash register of the R5 family on a pseudo-terminal. It answers the
// unique-number, NIP, status and version requests, periodic reports by dates and by numbers in
// the basic and the extended layouts, electronic-copy transfers by numbers and by dates, and the
// card files, from a data directory; and it can be told to misbehave (TAB, NAK, a wrong
// checksum, silence, an error report, EOT right after a frame), from the first exchange or a later one.
#pragma once

#include <string>
#include <vector>

namespace quorvel::sim {

// What the register holds.
//  DIR/register.txt  "UniqueNo=", "NIP=", "Version=" (13 characters: 4, 4 and 5 digits) and
//                    "Status=" (one character) lines; missing keys take built-in values.
//  DIR/fm.txt        the fiscal memory, one entry per line, fields separated by ";", numbers
//                    as the register writes them (amounts in hundredths, dates yymmdd):
//                      1;number;yymmdd;flags;gross;A;B;C;D;E;F;G;vat;receipts;f52;f51;f53;
//                        voids;voidValue;cumA;cumB;cumC;cumD;cumE;cumF;cumG;cumVat;cumGross
//                      2 or 3;resetNo;yymmdd;hhmm;flags;goodsNotCleared
//                      4;yymmdd;hhmm;flags;A;B;C;D;E;F;G   (rates: hundredths of a percent, FFFF)
//                      5 or 8;yymmdd;currency
//                      any other kind;yymmdd   (sent as it is, with no fields)
//                    missing trailing fields are zero or blank.
//  DIR/ecopy/        the electronic copy: NNNN.txt files; DIR/ecopy/index.txt (optional) lines
//                    "number;yymmdd;file" give each file its printout number and date, otherwise
//                    the number is the file name's and the file has no date (any range of dates
//                    takes it).
//  DIR/cards/        the card files "id.txt" and "idhist.txt".
// Text files may be UTF-8 or plain bytes; lines that are empty or begin with "#" are skipped.
struct TRegisterEntry {
  std::vector<std::string> Fields;  // Fields[0] is the kind
};

struct TECopyFile {
  int Number = 0;
  std::string Date;  // yymmdd or empty
  std::string Path;
  std::string Name;
};

struct TRegisterData {
  std::string UniqueNo = "ABC12345678";
  std::string Nip = "123-456-78-90";
  std::string Version = "0102030400005";
  std::string Status = "0";
  std::string Model = "Varno";
  std::vector<TRegisterEntry> Entries;
  std::vector<TECopyFile> ECopy;
  std::string CardsDir;
};

// Reads the data directory; throws std::runtime_error naming what is wrong.
TRegisterData LoadRegisterData(const std::string& dir, const std::string& model);

// yymmdd as yyyymmdd, years up to 48 in this century.
int FullDate(const std::string& yymmdd);

// The data area (from frame position 4 on) of a fiscal-memory entry in the basic or the
// extended layout.
std::string RecordData(const TRegisterEntry& entry, bool extended);
// The data areas of the entries a periodic report covers: by report numbers (every entry from
// the first daily report numbered `from` or above up to the last numbered `to` or below), or
// by dates (entries dated within the range).
std::vector<std::string> PeriodicReport(const TRegisterData& data, bool extended, bool byNumbers,
                                        const std::string& from, const std::string& to);
// The data areas of the transfer packets of one file (up to `chunk` data bytes each); the last
// packet of the file has the kind `lastKind`.
std::vector<std::string> TransferPackets(const std::string& name, const std::string& bytes, char lastKind,
                                         std::size_t chunk = 512);

// The frame of a reply: STX, the two-character header, the data, ETX, checksum.
std::string RegisterFrame(const std::string& header, const std::string& data);
std::string RegisterChecksum(const std::string& bytes);

int CmdRegister(const std::vector<std::string>& args);

}  // namespace quorvel::sim
