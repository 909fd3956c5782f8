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
// Where the processor has AVX2, the searches over the whole text take 32 bytes per step; the
// program itself stays built for plain x86-64.
#if defined(__SSE2__) && defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QUORVEL_LINECURSOR_AVX2 1
#include <immintrin.h>
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

inline bool CpuHasAvx2() {
#if defined(QUORVEL_LINECURSOR_AVX2)
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
#else
  return false;
#endif
}

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
// line. Unless every line is wanted, the cursor jumps straight to the next wanted byte or text
// (found 32 bytes at a time) and only then looks back for the start of its line; the line
// breaks it jumped over are counted in bulk, so lines of no interest cost a few instructions
// per 16 bytes and no line is ever copied.
class TLineCursor {
 public:
  struct TLine {
    std::string_view Text;
    int32_t Index = 0;
    uint32_t Bytes = 0;    // kBit* of the wanted marker bytes anywhere in the line
    uint32_t Needles = 0;  // 1 << kNeedle* of the wanted texts the line holds
  };

  explicit TLineCursor(std::string_view text) : data_(text.data()), size_(text.size()) { cursors_.fill(0); }

  void SetNeedle(int i, std::string_view needle) {
    needles_[i] = needle;
    cursors_[i] = 0;
    known_[i] = false;
    rare_[i] = RarestByte(needle, needle.size());
    // A second byte, of another value where the needle has one, filters the candidates.
    second_[i] = RarestByte(needle, rare_[i]);
  }

  uint32_t WantBytes = 0;
  uint32_t WantNeedles = 0;
  bool WantAll = false;

  bool Next(TLine& out) {
    if (lineStart_ >= size_) return false;
    std::size_t stop = kNone;
    for (int i = 0; i < kNeedles; ++i) {
      if (!(WantNeedles & (1u << i)) || needles_[i].empty()) continue;
      if (!known_[i] || cursors_[i] < lineStart_) {
        cursors_[i] = Find(i, lineStart_);
        known_[i] = true;
      }
      stop = std::min(stop, cursors_[i]);
    }
    std::size_t start = lineStart_;
    int32_t index = lineNo_;
    std::size_t from = lineStart_;  // where to look for the line's end
    if (WantBytes != armed_ || !armedOnce_) Arm();
    if (!WantAll) {
      // Neither a marker byte nor a needle is a line break, so the line holding the first of
      // them is the line to give.
      const std::size_t target = FindWanted(lineStart_, std::min(stop, size_));
      if (target >= size_) {
        lineStart_ = size_;
        return false;
      }
      start = LineStartBefore(target);
      index = lineNo_ + CountBreaks(lineStart_, start);
      from = target;
    }
    // Before `from` the line holds no wanted byte when the cursor jumped to `from`.
    uint32_t bytes = 0;
    const std::size_t end = LineEnd(from, bytes);
    out.Text = std::string_view(data_ + start, end - start);
    out.Index = index;
    out.Bytes = bytes & WantBytes;
    out.Needles = 0;
    for (int i = 0; i < kNeedles; ++i)
      if ((WantNeedles & (1u << i)) && known_[i] && cursors_[i] >= start && cursors_[i] < end)
        out.Needles |= 1u << i;
    std::size_t next = end;
    if (next < size_) {
      ++next;
      if (data_[end] == '\r' && next < size_ && data_[next] == '\n') ++next;
    }
    lineStart_ = next;
    lineNo_ = index + 1;
    return true;
  }

  // The line after the one Next() gave last (empty at the end of the text).
  std::string_view FollowingLine() const {
    const std::size_t e = lineStart_ >= size_ ? size_ : FindLineEnd(lineStart_);
    return std::string_view(data_ + lineStart_, e - lineStart_);
  }

 private:
  static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  static constexpr unsigned char kValues[7] = {0xA4, 0x1F, 0xBB, 0x87, 0xA0, 0xA8, 0xA1};

  // The offset in `needle` of the byte that is rarest in a sample of the text, leaving out the
  // byte value at offset `other` (when the needle has another value; none left out when `other`
  // is past its end): looking for two rare bytes at once and checking the rest is much faster
  // than a general substring search. The sample is a few short stretches spread over the file,
  // so that it sees the printouts and not only the header.
  std::size_t RarestByte(std::string_view needle, std::size_t other) {
    if (!sampled_) {
      constexpr std::size_t kStretch = 2048, kStretches = 4;
      for (std::size_t s = 0; s < kStretches; ++s) {
        const std::size_t at = size_ / kStretches * s;
        const std::size_t n = std::min(kStretch, size_ - at);
        for (std::size_t k = 0; k < n; ++k) ++histogram_[static_cast<unsigned char>(data_[at + k])];
      }
      sampled_ = true;
    }
    auto count = [this](char c) { return histogram_[static_cast<unsigned char>(c)]; };
    const bool skip = other < needle.size() && needle.find_first_not_of(needle[other]) != std::string_view::npos;
    std::size_t best = std::string_view::npos;
    for (std::size_t k = 0; k < needle.size(); ++k) {
      if (skip && needle[k] == needle[other]) continue;
      if (k == other) continue;
      if (best == std::string_view::npos || count(needle[k]) < count(needle[best])) best = k;
    }
    return best == std::string_view::npos ? 0 : best;
  }

  std::size_t Find(int i, std::size_t from) const {
    const std::string_view needle = needles_[i];
    const std::size_t n = needle.size();
    if (n > size_ || from > size_ - n) return kNone;
    const std::size_t last = size_ - n;  // the last offset where an occurrence can start
    const std::size_t o1 = rare_[i], o2 = second_[i];
    const char b1 = needle[o1], b2 = needle[o2];
    // Compared in place rather than by memcmp: a call in the loop would keep the registers
    // of the block search on the stack.
    auto matches = [&](std::size_t start) {
      for (std::size_t k = 0; k < n; ++k)
        if (data_[start + k] != needle[k]) return false;
      return true;
    };
    std::size_t pos = from;
#if defined(QUORVEL_LINECURSOR_AVX2)
    if (avx2_) {
      const std::size_t found = FindAvx2(pos, last, o1, o2, needle);
      if (found != kMore) return found;
    }
#endif
#if defined(__SSE2__)
    // Thirty-two starting offsets at a time: both rare bytes in place make a candidate, and
    // candidates are few enough to check one by one.
    const __m128i k1 = _mm_set1_epi8(b1), k2 = _mm_set1_epi8(b2);
    const std::size_t reach = std::max(o1, o2) + 32;
    const char* p1 = data_ + o1;
    const char* p2 = data_ + o2;
    auto candidates = [&](std::size_t at) {
      const __m128i a = _mm_and_si128(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p1 + at)), k1),
                                      _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p2 + at)), k2));
      const __m128i b =
          _mm_and_si128(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p1 + at + 16)), k1),
                        _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p2 + at + 16)), k2));
      return static_cast<uint32_t>(_mm_movemask_epi8(a)) | static_cast<uint32_t>(_mm_movemask_epi8(b)) << 16;
    };
    while (pos <= last && reach <= size_ - pos) {
      uint32_t mask = candidates(pos);
      while (mask != 0) {
        const std::size_t start = pos + static_cast<unsigned>(__builtin_ctz(mask));
        mask &= mask - 1;
        if (start > last) return kNone;
        if (matches(start)) return start;
      }
      pos += 32;
    }
#endif
    for (; pos <= last; ++pos)
      if (data_[pos + o1] == b1 && data_[pos + o2] == b2 && matches(pos)) return pos;
    return kNone;
  }

#if defined(QUORVEL_LINECURSOR_AVX2)
  static constexpr std::size_t kMore = kNone - 1;

  // Find's block loop with 64 starting offsets a step; kMore with `pos` where the shorter steps
  // are to go on.
  __attribute__((target("avx2"))) std::size_t FindAvx2(std::size_t& pos, std::size_t last, std::size_t o1,
                                                       std::size_t o2, std::string_view needle) const {
    const __m256i k1 = _mm256_set1_epi8(needle[o1]), k2 = _mm256_set1_epi8(needle[o2]);
    const std::size_t reach = std::max(o1, o2) + 64;
    const char* p1 = data_ + o1;
    const char* p2 = data_ + o2;
    // (No lambdas here: they would not inherit the target.)
#define QUORVEL_LOAD256(q) _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q))
    while (pos <= last && reach <= size_ - pos) {
      const __m256i a = _mm256_and_si256(_mm256_cmpeq_epi8(QUORVEL_LOAD256(p1 + pos), k1),
                                         _mm256_cmpeq_epi8(QUORVEL_LOAD256(p2 + pos), k2));
      const __m256i b = _mm256_and_si256(_mm256_cmpeq_epi8(QUORVEL_LOAD256(p1 + pos + 32), k1),
                                         _mm256_cmpeq_epi8(QUORVEL_LOAD256(p2 + pos + 32), k2));
      if (_mm256_testz_si256(_mm256_or_si256(a, b), _mm256_or_si256(a, b))) {
        pos += 64;
        continue;
      }
      uint64_t mask = static_cast<uint32_t>(_mm256_movemask_epi8(a)) |
                      static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(b))) << 32;
      for (; mask != 0; mask &= mask - 1) {
        const std::size_t start = pos + static_cast<unsigned>(__builtin_ctzll(mask));
        if (start > last) return kNone;
        if (Matches(start, needle)) return start;
      }
      pos += 64;
    }
    return kMore;
  }

  // FindAny's block loop with 64 bytes a step; `pos` is left where the shorter steps go on.
  template <int N>
  __attribute__((target("avx2"))) std::size_t FindAnyAvx2(std::size_t& pos, std::size_t limit) const {
    __m256i keys[N];
    for (int k = 0; k < N; ++k) keys[k] = _mm256_set1_epi8(values_[k]);
    while (pos + 64 <= limit) {
      const __m256i v = QUORVEL_LOAD256(data_ + pos), w = QUORVEL_LOAD256(data_ + pos + 32);
      __m256i a = _mm256_cmpeq_epi8(v, keys[0]), b = _mm256_cmpeq_epi8(w, keys[0]);
      for (int k = 1; k < N; ++k) {
        a = _mm256_or_si256(a, _mm256_cmpeq_epi8(v, keys[k]));
        b = _mm256_or_si256(b, _mm256_cmpeq_epi8(w, keys[k]));
      }
      const __m256i any = _mm256_or_si256(a, b);
      if (!_mm256_testz_si256(any, any)) {
        const uint64_t mask = static_cast<uint32_t>(_mm256_movemask_epi8(a)) |
                              static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(b))) << 32;
        return pos + static_cast<unsigned>(__builtin_ctzll(mask));
      }
      pos += 64;
    }
    return kNone;
  }

  // CountBreaks's block loop with 32 bytes a step, up to the last full step before `to`.
  __attribute__((target("avx2"))) int64_t CountBreaksAvx2(std::size_t& pos, std::size_t to) const {
    const __m256i cr = _mm256_set1_epi8('\r'), lf = _mm256_set1_epi8('\n'), zero = _mm256_setzero_si256();
    int64_t count = 0;
    while (pos + 32 <= to) {
      __m256i acc = zero;
      for (int round = 0; round < 255 && pos + 32 <= to; ++round, pos += 32) {
        const __m256i v = QUORVEL_LOAD256(data_ + pos), w = QUORVEL_LOAD256(data_ + pos + 1);
        const __m256i breaks = _mm256_or_si256(_mm256_cmpeq_epi8(v, lf),
                                               _mm256_andnot_si256(_mm256_cmpeq_epi8(w, lf), _mm256_cmpeq_epi8(v, cr)));
        acc = _mm256_sub_epi8(acc, breaks);
      }
      const __m256i sums = _mm256_sad_epu8(acc, zero);
      count += _mm256_extract_epi64(sums, 0) + _mm256_extract_epi64(sums, 1) + _mm256_extract_epi64(sums, 2) +
               _mm256_extract_epi64(sums, 3);
    }
    return count;
  }
#undef QUORVEL_LOAD256
#endif

  bool Matches(std::size_t start, std::string_view needle) const {
    for (std::size_t k = 0; k < needle.size(); ++k)
      if (data_[start + k] != needle[k]) return false;
    return true;
  }

  // Only the wanted marker bytes are looked for.
  void Arm() {
    count_ = 0;
    for (const unsigned char v : kValues)
      if (WantBytes & kByteBits[v]) values_[count_++] = static_cast<char>(v);
    armed_ = WantBytes;
    armedOnce_ = true;
  }

  // The first offset in [from, limit) holding a wanted marker byte; `limit` when there is none.
  std::size_t FindWanted(std::size_t from, std::size_t limit) const {
    switch (count_) {
      case 0: return limit;
      case 1: return FindAny<1>(from, limit);
      case 2: return FindAny<2>(from, limit);
      case 3: return FindAny<3>(from, limit);
      case 4: return FindAny<4>(from, limit);
      case 5: return FindAny<5>(from, limit);
      case 6: return FindAny<6>(from, limit);
      default: return FindAny<7>(from, limit);
    }
  }

  template <int N>
  std::size_t FindAny(std::size_t pos, std::size_t limit) const {
#if defined(QUORVEL_LINECURSOR_AVX2)
    if (avx2_) {
      const std::size_t found = FindAnyAvx2<N>(pos, limit);
      if (found != kNone) return found;
    }
#endif
#if defined(__SSE2__)
    __m128i keys[N];
    for (int k = 0; k < N; ++k) keys[k] = _mm_set1_epi8(values_[k]);
    auto match = [&keys](const char* p) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      __m128i m = _mm_cmpeq_epi8(v, keys[0]);
      for (int k = 1; k < N; ++k) m = _mm_or_si128(m, _mm_cmpeq_epi8(v, keys[k]));
      return m;
    };
    while (pos + 32 <= limit) {
      const __m128i a = match(data_ + pos), b = match(data_ + pos + 16);
      if (_mm_movemask_epi8(_mm_or_si128(a, b)) != 0) {
        const uint32_t mask = static_cast<uint32_t>(_mm_movemask_epi8(a)) |
                              static_cast<uint32_t>(_mm_movemask_epi8(b)) << 16;
        return pos + static_cast<unsigned>(__builtin_ctz(mask));
      }
      pos += 32;
    }
#endif
    for (; pos < limit; ++pos)
      for (int k = 0; k < N; ++k)
        if (data_[pos] == values_[k]) return pos;
    return limit;
  }

  // The start of the line holding `target`: just after the last CR or LF before it, and not
  // before the first line not given yet.
  std::size_t LineStartBefore(std::size_t target) const {
    std::size_t p = target;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    while (p >= lineStart_ + 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + p - 16));
      const auto mask =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
      if (mask != 0) return p - 16 + static_cast<std::size_t>(32 - __builtin_clz(mask));
      p -= 16;
    }
#endif
    while (p > lineStart_ && data_[p - 1] != '\n' && data_[p - 1] != '\r') --p;
    return p;
  }

  // The end of the line from `pos` on (as FindLineEnd), with the kBit* of the wanted marker
  // bytes on the way added to `bytes`.
  std::size_t LineEnd(std::size_t pos, uint32_t& bytes) const {
    switch (count_) {
      case 0: return FindLineEnd(pos);
      case 1: return LineEndN<1>(pos, bytes);
      case 2: return LineEndN<2>(pos, bytes);
      case 3: return LineEndN<3>(pos, bytes);
      case 4: return LineEndN<4>(pos, bytes);
      case 5: return LineEndN<5>(pos, bytes);
      case 6: return LineEndN<6>(pos, bytes);
      default: return LineEndN<7>(pos, bytes);
    }
  }

  template <int N>
  std::size_t LineEndN(std::size_t pos, uint32_t& bytes) const {
#if defined(__SSE2__)
    __m128i keys[N];
    for (int k = 0; k < N; ++k) keys[k] = _mm_set1_epi8(values_[k]);
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    while (pos + 16 <= size_) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + pos));
      __m128i m = _mm_cmpeq_epi8(v, keys[0]);
      for (int k = 1; k < N; ++k) m = _mm_or_si128(m, _mm_cmpeq_epi8(v, keys[k]));
      auto marks = static_cast<unsigned>(_mm_movemask_epi8(m));
      const auto ends =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
      if (ends != 0) marks &= (ends & (0u - ends)) - 1;  // only the marks before the line's end
      for (; marks != 0; marks &= marks - 1)
        bytes |= kByteBits[static_cast<unsigned char>(data_[pos + static_cast<unsigned>(__builtin_ctz(marks))])];
      if (ends != 0) return pos + static_cast<unsigned>(__builtin_ctz(ends));
      pos += 16;
    }
#endif
    for (; pos < size_ && data_[pos] != '\r' && data_[pos] != '\n'; ++pos)
      bytes |= kByteBits[static_cast<unsigned char>(data_[pos])];
    return pos;
  }

  // The first CR or LF at or after `pos`; the size of the text when there is none.
  std::size_t FindLineEnd(std::size_t pos) const {
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    while (pos + 16 <= size_) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + pos));
      const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
      if (mask != 0) return pos + static_cast<unsigned>(__builtin_ctz(static_cast<unsigned>(mask)));
      pos += 16;
    }
#endif
    while (pos < size_ && data_[pos] != '\r' && data_[pos] != '\n') ++pos;
    return pos;
  }

  // The line breaks in [from, to), a CR LF pair being one; `to` is below the size of the text
  // and does not split a pair.
  int32_t CountBreaks(std::size_t from, std::size_t to) const {
    std::size_t pos = from;
    int64_t count = 0;
#if defined(QUORVEL_LINECURSOR_AVX2)
    if (avx2_) count += CountBreaksAvx2(pos, to);
#endif
#if defined(__SSE2__)
    // Every LF counts, and every CR that no LF follows; the byte after `to` exists, so the
    // block one byte on can always be loaded.
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), zero = _mm_setzero_si128();
    while (pos + 16 <= to) {
      __m128i acc = zero;  // per-byte counts, at most one per round, added up before they overflow
      for (int round = 0; round < 255 && pos + 16 <= to; ++round, pos += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + pos));
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + pos + 1));
        const __m128i breaks =
            _mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_andnot_si128(_mm_cmpeq_epi8(w, lf), _mm_cmpeq_epi8(v, cr)));
        acc = _mm_sub_epi8(acc, breaks);
      }
      const __m128i sums = _mm_sad_epu8(acc, zero);
      count += _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8));
    }
#endif
    for (; pos < to; ++pos) {
      const char c = data_[pos];
      if (c == '\n' || (c == '\r' && data_[pos + 1] != '\n')) ++count;
    }
    return static_cast<int32_t>(count);
  }

  const char* data_;
  std::size_t size_;
  std::size_t lineStart_ = 0;  // the start of the first line not given yet
  int32_t lineNo_ = 0;         // its index
  std::array<std::string_view, kNeedles> needles_{};
  std::array<std::size_t, kNeedles> cursors_{};
  std::array<bool, kNeedles> known_{};
  std::array<std::size_t, kNeedles> rare_{};
  std::array<std::size_t, kNeedles> second_{};
  std::array<uint32_t, 256> histogram_{};
  bool sampled_ = false;
  std::array<char, 7> values_{};
  int count_ = 0;
  uint32_t armed_ = 0;
  bool armedOnce_ = false;
  bool avx2_ = CpuHasAvx2();
};

}  // namespace quorvel::linecursor
