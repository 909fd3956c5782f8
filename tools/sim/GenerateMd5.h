// The MD5 digest (RFC 1321) the generator signs its card files and printouts with. The simulator
// keeps its own copy so that it never shares code with the readers it is used to test.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel::sim {

class TMd5 {
 public:
  TMd5();
  void Update(std::string_view bytes);
  // The digest as 32 upper-case hexadecimal digits; the object is spent afterwards.
  std::string HexDigest();

 private:
  void Block(const unsigned char* p);
  uint32_t state_[4];
  uint64_t length_ = 0;  // bytes
  unsigned char buffer_[64];
  std::size_t used_ = 0;
};

// MD5 of `bytes` as 32 upper-case hexadecimal digits.
std::string Md5Hex(std::string_view bytes);

}  // namespace quorvel::sim
