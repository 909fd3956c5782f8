// The MD5 message digest (RFC 1321), used for the signature lines of card identification files.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

// Incremental digest: Update() as often as needed, then Final() once.
class TMD5 {
 public:
  using TDigest = std::array<uint8_t, 16>;

  TMD5();
  void Update(std::string_view bytes);
  TDigest Final();

 private:
  void Transform(const uint8_t* block);

  std::array<uint32_t, 4> state_;
  uint64_t length_ = 0;  // bytes seen so far
  std::array<uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  bool finished_ = false;
};

// The 16 digest bytes of `bytes`.
TMD5::TDigest MD5Digest(std::string_view bytes);
// The digest written as 32 upper-case hexadecimal digits.
std::string MD5Hex(std::string_view bytes);

}  // namespace quorvel
