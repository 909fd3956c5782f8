// The frame of the cash-register protocol: STX, body, ETX (or ETB), four hexadecimal checksum
// digits, and the control bytes of its handshakes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/Cp1250.h"

namespace quorvel {

namespace r5 {
inline constexpr char STX = 0x02;
inline constexpr char ETX = 0x03;
inline constexpr char EOT = 0x04;
inline constexpr char ENQ = 0x05;
inline constexpr char ACK = 0x06;
inline constexpr char TAB = 0x09;
inline constexpr char NAK = 0x15;
inline constexpr char ETB = 0x17;
inline constexpr char ERR = 0x40;  // the register reports an error; an error frame follows
}  // namespace r5

// The 16-bit checksum value: each byte at 1-based position i is shifted left by (i-1) mod 9 bits
// and XORed in.
uint16_t R5ChecksumValue(std::string_view bytes);
// The four upper-case hexadecimal digits of that value.
AnsiString R5Checksum(std::string_view bytes);
// STX, body, ETX, checksum of body plus ETX.
AnsiString R5MakeFrame(std::string_view body);
// A received frame is good when its last four characters, upper-cased, equal the checksum of
// the characters between its first character and those four.
bool R5FrameChecksumOk(std::string_view frame);
// Two upper-case hexadecimal digits of one byte, as the link's messages show bytes.
AnsiString R5Hex2(char byte);

}  // namespace quorvel
