#include "links/R5Frame.h"

#include "base/TextUtils.h"

namespace quorvel {

uint16_t R5ChecksumValue(std::string_view bytes) {
  unsigned value = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const unsigned b = static_cast<unsigned char>(bytes[i]);
    value = (value ^ (b << (i % 9))) & 0xFFFFu;
  }
  return static_cast<uint16_t>(value);
}

AnsiString R5Checksum(std::string_view bytes) { return Format("%04X", R5ChecksumValue(bytes)); }

AnsiString R5MakeFrame(std::string_view body) {
  AnsiString inner(body);
  inner += r5::ETX;
  AnsiString frame(1, r5::STX);
  frame += inner;
  frame += R5Checksum(inner);
  return frame;
}

bool R5FrameChecksumOk(std::string_view frame) {
  if (frame.size() < 5) return false;
  const std::string_view digits = frame.substr(frame.size() - 4);
  const std::string_view inner = frame.substr(1, frame.size() - 5);
  return AnsiUpperCase(digits) == R5Checksum(inner);
}

AnsiString R5Hex2(char byte) { return Format("%02X", static_cast<unsigned char>(byte)); }

}  // namespace quorvel
