// quorvel-sim printer: a fiscal printer on a pseudo-terminal, answering from a data directory.
//
//   quorvel-sim printer --data DIR [--link PATH] [--corrupt PCT] [--drop PCT] [--seed N]
//                       [--corrupt-frames I,J,..] [--repeat-packet N] [--silent-after N] [--packet SIZE]
//
// The data directory:
//   unique.txt        the unique number (default ABC12345678)
//   version.txt       the version text (default "QS-1 1.00")
//   status.txt        the status byte in decimal (default 0)
//   fm.txt            fiscal-memory entries, one a line: "yyyy-mm-dd NUMBER BODY", BODY being the
//                     record text before its check code ("20#X...;..."); "\r" in BODY stands for CR.
//                     The list should end with a code 25 entry; reading past the end repeats it.
//   ecopy/            electronic-copy files, named in the packets by their path below ecopy/
//   ecopy-dates.txt   optional, "PATH dd-mm-yyyy" per line: the dates the mode-1 request selects by
//
// Answers: "1#e", "#u", "#v", ENQ (the status byte), "53;yy;mm;dd;hh;mi;ss#s" (first entry on or
// after the date), "63#sN/" (first entry with a number of at least N), "27#s" (the next entry),
// "@EP" modes 1 (by date), 2 (by file number, the digits of the file name) and 5 (one named file)
// with steps 0 (first), 1 (next) and 2 (the last packet again), and "@EV". Modes 1 and 2 take
// only files whose names begin with four digits; idhist.txt and the like come only by mode 5.
// Packets carry up to 512 payload bytes, 4096 with a big-packet request (or --packet SIZE);
// payload bytes below 0x20, 0x5C and 0x86 are escaped as 0x86 followed by the byte xor 0x20.
// "@EV" rule: the printer confirms ("1") when the control code equals the sum of the checked
// content bytes (as received, hexadecimal pieces decoded) modulo 65536 as four upper-case
// hexadecimal digits; otherwise it answers "0".
//
// Faults: --corrupt PCT flips one byte in PCT percent of the reply frames, --drop PCT drops one
// byte from PCT percent of them, --corrupt-frames lists reply frames (1-based) to corrupt,
// --repeat-packet N sends packet N again (same number) instead of packet N+1 once,
// --silent-after N stops answering after N reply frames.
#pragma once

#include <string>
#include <vector>

namespace quorvel::sim {

int CmdPrinter(const std::vector<std::string>& args);

}  // namespace quorvel::sim
