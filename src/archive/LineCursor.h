// Walking the lines of an electronic-copy file in memory, stopping only at the lines a scan needs.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quorvel::linecursor {

// Bits of the marker bytes a line holds.
enum : uint32_t {
  kBitReceipt = 1u << 0,
  kBitPharmacy = 1u << 1,
  kBitUnique = 1u << 2,
  kBitClose = 1u << 3,
  kBitNbsp = 1u << 4,
  kBitVat = 1u << 5,
  kBitTime = 1u << 6,
};

// Multi-byte texts the cursor finds over the whole buffer.
enum : int { kNeedleInvoice = 0, kNeedleIssueDate = 1, kNeedleText = 2, kNeedles = 3 };

constexpr std::array<uint32_t, 256> MakeByteBits() {
  std::array<uint32_t, 256> t{};
  t[0xA4] = kBitReceipt;
  t[0x1F] = kBitPharmacy;
  t[0xBB] = kBitUnique;
  t[0x87] = kBitClose;
  t[0xA0] = kBitNbsp;
  t[0xA8] = kBitVat;
  t[0xA1] = kBitTime;
  return t;
}
inline constexpr std::array<uint32_t, 256> kByteBits = MakeByteBits();

// Walks the lines of a buffer (CR LF, LF or CR ends, as SplitLines splits them) and stops only
// at the lines the caller wants: those holding a wanted marker byte or a wanted text, or every
// line. Line breaks and marker bytes are found 16 bytes at a time, so lines of no interest cost
// little more than counting them, and no line is ever copied.
class TLineCursor {
 public:
  struct TLine {
    std::string_view Text;
    int32_t Index = 0;
    uint32_t Bytes = 0;    // kBit* of the wanted marker bytes anywhere in the line
    uint32_t Needles = 0;  // 1 << kNeedle* of the wanted texts the line holds
  };

  explicit TLineCursor(std::string_view text) : data_(text.data()), size_(text.size()) {
    cursors_.fill(0);
  }

  void SetNeedle(int i, std::string_view needle) {
    needles_[i] = needle;
    cursors_[i] = 0;
    known_[i] = false;
    rare_[i] = RarestByte(needle);
  }

  uint32_t WantBytes = 0;
  uint32_t WantNeedles = 0;
  bool WantAll = false;

  bool Next(TLine& out) {
    if (WantBytes != armed_ || !armedOnce_) Arm();
    std::size_t stop = kNone;
    for (int i = 0; i < kNeedles; ++i) {
      if (!(WantNeedles & (1u << i)) || needles_[i].empty()) continue;
      if (!known_[i] || cursors_[i] < lineStart_) {
        cursors_[i] = Find(i, lineStart_);
        known_[i] = true;
      }
      stop = std::min(stop, cursors_[i]);
    }
    for (;;) {
      while (mask_ == 0) {
        if (blockPos_ >= size_) {
          if (done_) return false;
          done_ = true;
          if (lineStart_ >= size_) return false;
          // The last line has no line end.
          const bool yield = WantAll || (acc_ & WantBytes) || stop < size_;
          MakeLine(out, size_);
          lineStart_ = size_;
          return yield;
        }
        blockBase_ = blockPos_;
        mask_ = BlockMask(blockPos_);
        blockPos_ += 16;
      }
      const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask_));
      mask_ &= mask_ - 1;
      const std::size_t pos = blockBase_ + bit;
      const auto c = static_cast<unsigned char>(data_[pos]);
      if (c != '\n' && c != '\r') {
        acc_ |= kByteBits[c];
        continue;
      }
      if (c == '\n' && pos == skipLf_) continue;
      std::size_t next = pos + 1;
      if (c == '\r' && next < size_ && data_[next] == '\n') {
        skipLf_ = next;
        ++next;
      }
      const bool yield = WantAll || (acc_ & WantBytes) || stop < pos;
      if (yield) MakeLine(out, pos);
      lineStart_ = next;
      ++lineNo_;
      acc_ = 0;
      if (yield) return true;
    }
  }

  // The line after the one Next() gave last (empty at the end of the text).
  std::string_view FollowingLine() const {
    std::size_t e = lineStart_;
    while (e < size_ && data_[e] != '\r' && data_[e] != '\n') ++e;
    return std::string_view(data_ + lineStart_, e - lineStart_);
  }

 private:
  static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

  // The offset in `needle` of the byte that is rarest in a sample of the text: searching for
  // that byte with memchr and checking the rest is much faster than a general substring search.
  std::size_t RarestByte(std::string_view needle) {
    if (!sampled_) {
      const std::size_t n = std::min<std::size_t>(size_, 65536);
      for (std::size_t k = 0; k < n; ++k) ++histogram_[static_cast<unsigned char>(data_[k])];
      sampled_ = true;
    }
    std::size_t best = 0;
    for (std::size_t k = 1; k < needle.size(); ++k)
      if (histogram_[static_cast<unsigned char>(needle[k])] < histogram_[static_cast<unsigned char>(needle[best])])
        best = k;
    return best;
  }

  std::size_t Find(int i, std::size_t from) const {
    const std::string_view needle = needles_[i];
    const std::size_t rare = rare_[i];
    const char key = needle[rare];
    std::size_t at = from + rare;  // where the rare byte of an occurrence starting at `from` lies
    while (at < size_ && needle.size() - rare <= size_ - at) {
      const void* hit = std::memchr(data_ + at, key, size_ - at);
      if (!hit) return kNone;
      const auto pos = static_cast<std::size_t>(static_cast<const char*>(hit) - data_);
      const std::size_t start = pos - rare;
      if (start + needle.size() > size_) return kNone;
      if (std::memcmp(data_ + start, needle.data(), needle.size()) == 0) return start;
      at = pos + 1;
    }
    return kNone;
  }

  void MakeLine(TLine& out, std::size_t end) {
    out.Text = std::string_view(data_ + lineStart_, end - lineStart_);
    out.Index = lineNo_;
    out.Bytes = acc_;
    out.Needles = 0;
    for (int i = 0; i < kNeedles; ++i)
      if ((WantNeedles & (1u << i)) && known_[i] && cursors_[i] >= lineStart_ && cursors_[i] < end)
        out.Needles |= 1u << i;
  }

  // Only the wanted marker bytes (and the line ends) are looked for; the bits of the block
  // under way are found again when the wanted set changes in the middle of it.
  void Arm() {
    static constexpr unsigned char kValues[7] = {0xA4, 0x1F, 0xBB, 0x87, 0xA0, 0xA8, 0xA1};
    for (int k = 0; k < 7; ++k) {
      const bool on = (WantBytes & kByteBits[kValues[k]]) != 0;
      values_[k] = on ? static_cast<char>(kValues[k]) : '\n';
    }
    armed_ = WantBytes;
    armedOnce_ = true;
    if (blockPos_ > blockBase_ || mask_ != 0) {
      const std::size_t shift = lineStart_ > blockBase_ ? lineStart_ - blockBase_ : 0;
      mask_ = shift >= 16 ? 0 : BlockMask(blockBase_) & (~0u << shift);
    }
  }

  uint32_t BlockMask(std::size_t pos) const {
#if defined(__SSE2__)
    if (pos + 16 <= size_) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + pos));
      __m128i m = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\r')));
      for (int k = 0; k < 7; ++k) m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8(values_[k])));
      return static_cast<uint32_t>(_mm_movemask_epi8(m));
    }
#endif
    uint32_t mask = 0;
    const std::size_t n = std::min<std::size_t>(16, size_ - pos);
    for (std::size_t i = 0; i < n; ++i) {
      const char c = data_[pos + i];
      bool hit = c == '\n' || c == '\r';
      for (int k = 0; k < 7 && !hit; ++k) hit = c == values_[k];
      if (hit) mask |= 1u << i;
    }
    return mask;
  }

  const char* data_;
  std::size_t size_;
  std::size_t lineStart_ = 0;
  int32_t lineNo_ = 0;
  std::size_t blockPos_ = 0;
  std::size_t blockBase_ = 0;
  uint32_t mask_ = 0;
  uint32_t acc_ = 0;
  std::size_t skipLf_ = kNone;
  bool done_ = false;
  std::array<std::string_view, kNeedles> needles_{};
  std::array<std::size_t, kNeedles> cursors_{};
  std::array<bool, kNeedles> known_{};
  std::array<std::size_t, kNeedles> rare_{};
  std::array<uint32_t, 256> histogram_{};
  bool sampled_ = false;
  std::array<char, 7> values_{};
  uint32_t armed_ = 0;
  bool armedOnce_ = false;
};

}  // namespace quorvel::linecursor
