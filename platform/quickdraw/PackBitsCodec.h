// The PackBits coder on plain byte spans, shared by the QuickDraw stand-in
// (PackBits, UnpackBits) and the toolbox's chunked and bounded forms.
// C++ only; header-only so that both libraries compile the same code.
//
// Packing rules (they fix the output bytes):
//   - at each position, a run of 3 or more equal bytes (at most 128) becomes
//     one repeat item;
//   - otherwise a literal item collects bytes until a run of 3 equal bytes
//     begins, 128 bytes are collected or the input ends.
// So two equal bytes never make a repeat item, which keeps the packed size
// within n + ceil(n / 128) (the published bound is n + ceil(n / 127)).
#ifndef PLATFORM_QUICKDRAW_PACKBITSCODEC_H
#define PLATFORM_QUICKDRAW_PACKBITSCODEC_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ql::packbits {

inline constexpr size_t kMaxItem = 128;

inline uint64_t Load64(const uint8_t *p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big)
    v = __builtin_bswap64(v); // lowest address in the low byte
  return v;
}

// Length of the run of bytes equal to p[0] starting at p, at most limit
// (limit >= 1).
inline size_t RunLength(const uint8_t *p, size_t limit) {
  const uint8_t c = p[0];
  size_t n = 1;
  const uint64_t pattern = 0x0101010101010101ull * c;
  while (n + 8 <= limit) {
    const uint64_t diff = Load64(p + n) ^ pattern;
    if (diff != 0)
      return n + size_t(std::countr_zero(diff) >> 3);
    n += 8;
  }
  while (n < limit && p[n] == c)
    ++n;
  return n;
}

// First position j in [from, to) where p[j] == p[j+1] == p[j+2] with
// j + 2 < end; `to` when there is none.
inline size_t FindTriple(const uint8_t *p, size_t from, size_t to, size_t end) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  size_t j = from;
  // Eight candidate positions per step: byte k of t is zero exactly when
  // positions j+k, j+k+1 and j+k+2 hold equal bytes. The lowest flagged
  // byte of the zero-byte test is always a true zero.
  while (j + 8 <= to && j + 10 <= end) {
    const uint64_t a = Load64(p + j), b = Load64(p + j + 1), c = Load64(p + j + 2);
    const uint64_t t = (a ^ b) | (b ^ c);
    const uint64_t zero = (t - kOnes) & ~t & kHighs;
    if (zero != 0)
      return j + size_t(std::countr_zero(zero) >> 3);
    j += 8;
  }
  for (; j < to; ++j)
    if (j + 2 < end && p[j] == p[j + 1] && p[j + 1] == p[j + 2])
      return j;
  return to;
}

// Packs n bytes from src to dst; returns the number of bytes written
// (at most n + ceil(n / 128)).
inline size_t Pack(const uint8_t *src, size_t n, uint8_t *dst) {
  uint8_t *out = dst;
  size_t i = 0;
  while (i < n) {
    const size_t room = n - i < kMaxItem ? n - i : kMaxItem;
    const size_t run = RunLength(src + i, room);
    if (run >= 3) {
      *out++ = uint8_t(257 - run); // header 1 - run as a signed byte
      *out++ = src[i];
      i += run;
      continue;
    }
    // No run of 3 starts at i, so the literal holds at least one byte.
    const size_t stop = FindTriple(src, i + 1, i + room, n);
    const size_t count = stop - i;
    *out++ = uint8_t(count - 1);
    std::memcpy(out, src + i, count);
    out += count;
    i = stop;
  }
  return size_t(out - dst);
}

struct UnpackResult {
  size_t read;    // source bytes consumed
  size_t written; // destination bytes produced
};

// Unpacks items from src (srcLen bytes; SIZE_MAX when the caller vouches for
// the source) into dst until dstLen bytes are produced or the source ends.
// An item that would pass dstLen is cut there and the rest of its source
// bytes is skipped; an item cut short by the end of the source yields the
// bytes that are present. Never reads past srcLen nor writes past dstLen.
inline UnpackResult Unpack(const uint8_t *src, size_t srcLen, uint8_t *dst, size_t dstLen) {
  size_t si = 0, di = 0;
  while (di < dstLen && si < srcLen) {
    const int header = int(int8_t(src[si++]));
    const size_t room = dstLen - di;
    if (header >= 0) {
      const size_t want = size_t(header) + 1;
      const size_t have = srcLen - si < want ? srcLen - si : want;
      const size_t put = have < room ? have : room;
      std::memcpy(dst + di, src + si, put);
      di += put;
      si += have;
    } else if (header != -128) {
      if (si == srcLen)
        break;
      const size_t want = size_t(1 - header);
      const size_t put = want < room ? want : room;
      std::memset(dst + di, src[si++], put);
      di += put;
    }
  }
  return {si, di};
}

} // namespace ql::packbits

#endif
