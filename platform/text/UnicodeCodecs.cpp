// Bounded UTF-8 <-> UTF-16 codecs with the strict well-formedness rules of
// UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF).
//
// Decoding takes the fastest path that applies while the output surely has
// room: 16 ASCII bytes at once (SSE2); 16 bytes of ASCII, two- and
// three-byte characters at once, validated and packed with SSSE3 when the
// processor has it; runs of one kind of character a few at a time; and
// one character at a time with every check (near the end of the input or
// the output, and wherever a faster path declines). Every fast path
// declines on anything unusual, so errors are always found by the careful
// loop, at the right byte.
#include "platform/text/UnicodeCodecs.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace ql::platform::text {

namespace {

inline void StoreUnit(uint8_t *out, size_t index, uint16_t u) noexcept { std::memcpy(out + 2 * index, &u, 2); }
inline uint16_t LoadUnit(const uint8_t *in, size_t index) noexcept {
  uint16_t u;
  std::memcpy(&u, in + 2 * index, 2);
  return u;
}

} // namespace

CodecStop DecodeUtf8Char(const uint8_t *in, size_t n, char32_t &cp, size_t &len) noexcept {
  const uint8_t c = in[0];
  if (c < 0x80) {
    cp = c;
    len = 1;
    return CodecStop::kDone;
  }
  uint8_t lo = 0x80, hi = 0xBF;
  size_t need;
  char32_t v;
  if (c < 0xC2) {
    return CodecStop::kMalformed; // continuation byte or overlong two-byte lead
  } else if (c < 0xE0) {
    need = 2;
    v = c & 0x1F;
  } else if (c < 0xF0) {
    need = 3;
    v = c & 0x0F;
    if (c == 0xE0) lo = 0xA0;      // overlong
    else if (c == 0xED) hi = 0x9F; // surrogates
  } else if (c < 0xF5) {
    need = 4;
    v = c & 0x07;
    if (c == 0xF0) lo = 0x90;      // overlong
    else if (c == 0xF4) hi = 0x8F; // above U+10FFFF
  } else {
    return CodecStop::kMalformed;
  }
  const size_t have = n < need ? n : need;
  for (size_t k = 1; k < have; ++k) {
    const uint8_t b = in[k];
    const uint8_t l = k == 1 ? lo : 0x80, h = k == 1 ? hi : 0xBF;
    if (b < l || b > h) return CodecStop::kMalformed;
    v = (v << 6) | (b & 0x3F);
  }
  if (have < need) return CodecStop::kPartial;
  cp = v;
  len = need;
  return CodecStop::kDone;
}

#if defined(__x86_64__)
namespace {

// kCompact[m]: the byte shuffle that packs the 16-bit lanes whose bit is
// set in m to the front.
struct CompactTable {
  alignas(16) uint8_t t[256][16];
  uint8_t count[256]; // lanes kept (no popcnt instruction is assumed)
};
constexpr CompactTable MakeCompactTable() {
  CompactTable c{};
  for (int m = 0; m < 256; ++m) {
    int k = 0;
    for (int lane = 0; lane < 8; ++lane) {
      if (m & (1 << lane)) {
        c.t[m][k++] = uint8_t(2 * lane);
        c.t[m][k++] = uint8_t(2 * lane + 1);
      }
    }
    c.count[m] = uint8_t(k / 2);
    while (k < 16) c.t[m][k++] = 0x80;
  }
  return c;
}
constexpr CompactTable kCompact = MakeCompactTable();

// Sixteen bytes of characters from the Basic Multilingual Plane at once
// (ASCII, two- and three-byte characters: alphabetic scripts, CJK). Needs
// 16 readable bytes and room for 16 units. False, changing nothing, when
// the block holds a four-byte character or anything not well formed; a
// character cut by the block's end is left for the next step.
__attribute__((target("ssse3"))) bool DecodeBmpBlock(const uint8_t *in, size_t &i, uint8_t *out,
                                                      size_t &o) noexcept {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
  const __m128i c0 = _mm_set1_epi8(char(0xC0)), e0 = _mm_set1_epi8(char(0xE0)), f0 = _mm_set1_epi8(char(0xF0));
  const unsigned four = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, f0), f0)));
  const unsigned overlong =
      unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(char(0xFE))), c0)));
  if ((four | overlong) != 0) return false; // F0-FF, C0, C1
  const __m128i lead2 = _mm_cmpeq_epi8(_mm_and_si128(v, e0), c0);
  const __m128i lead3 = _mm_cmpeq_epi8(_mm_and_si128(v, f0), e0);
  const unsigned cont =
      unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, c0), _mm_set1_epi8(char(0x80)))));
  unsigned l2 = unsigned(_mm_movemask_epi8(lead2)), l3 = unsigned(_mm_movemask_epi8(lead3));
  unsigned limit = 16;
  if (l3 & 0x4000) limit = 14;
  else if ((l2 | l3) & 0x8000) limit = 15;
  const unsigned limitMask = (1u << limit) - 1;
  l2 &= limitMask;
  l3 &= limitMask;
  // Every continuation byte belongs to a lead, every lead has its own, and
  // no character before the cut claims the cut character's bytes.
  const unsigned expected = (l2 << 1) | (l3 << 1) | (l3 << 2);
  if ((cont & limitMask) != expected) return false;
  const __m128i next = _mm_srli_si128(v, 1), next2 = _mm_srli_si128(v, 2);
  // E0 needs A0-BF next (else overlong), ED 80-9F (else a surrogate).
  const unsigned bit5 =
      unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(next, _mm_set1_epi8(0x20)), _mm_set1_epi8(0x20))));
  const unsigned isE0 = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, e0)));
  const unsigned isED = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(char(0xED)))));
  if (((isE0 & ~bit5) | (isED & bit5)) & limitMask) return false;
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo4 = _mm_set1_epi16(0x0F), lo5 = _mm_set1_epi16(0x1F), lo6 = _mm_set1_epi16(0x3F);
  auto lanes = [&](__m128i b, __m128i n1, __m128i n2, __m128i m2, __m128i m3) {
    const __m128i c1 = _mm_slli_epi16(_mm_and_si128(n1, lo6), 6);
    const __m128i two = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(b, lo5), 6), _mm_and_si128(n1, lo6));
    const __m128i three =
        _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_and_si128(b, lo4), 12), c1), _mm_and_si128(n2, lo6));
    const __m128i r = _mm_or_si128(_mm_and_si128(m2, two), _mm_andnot_si128(m2, b));
    return _mm_or_si128(_mm_and_si128(m3, three), _mm_andnot_si128(m3, r));
  };
  const __m128i first = lanes(_mm_unpacklo_epi8(v, zero), _mm_unpacklo_epi8(next, zero),
                              _mm_unpacklo_epi8(next2, zero), _mm_unpacklo_epi8(lead2, lead2),
                              _mm_unpacklo_epi8(lead3, lead3));
  const __m128i second = lanes(_mm_unpackhi_epi8(v, zero), _mm_unpackhi_epi8(next, zero),
                               _mm_unpackhi_epi8(next2, zero), _mm_unpackhi_epi8(lead2, lead2),
                               _mm_unpackhi_epi8(lead3, lead3));
  const unsigned keep = ~cont & limitMask;
  const unsigned k0 = keep & 0xFF, k1 = keep >> 8;
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 2 * o),
                   _mm_shuffle_epi8(first, _mm_load_si128(reinterpret_cast<const __m128i *>(kCompact.t[k0]))));
  o += kCompact.count[k0];
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 2 * o),
                   _mm_shuffle_epi8(second, _mm_load_si128(reinterpret_cast<const __m128i *>(kCompact.t[k1]))));
  o += kCompact.count[k1];
  i += limit;
  return true;
}

// Asked at load time; the CPU model must be initialised first in a
// library's static initialisers.
const bool kHasSsse3 = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3") != 0;
}();

} // namespace
#endif

namespace {

// The main loop while the output certainly has room: every input byte
// makes at most one unit (a four-byte sequence makes two), so with
// outCap - o >= n - i nothing can overflow and no room checks are needed.
// Handles ASCII runs, two- and three-byte characters inline; returns at
// the first byte it leaves to the careful loop.
inline void DecodeRoomy(const uint8_t *in, size_t n, uint8_t *out, size_t &i, size_t &o) noexcept {
  while (i < n) {
#if defined(__x86_64__)
    if (kHasSsse3 && n - i >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
      if (_mm_movemask_epi8(v) == 0) {
        const __m128i zero = _mm_setzero_si128();
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 2 * o), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 2 * o + 16), _mm_unpackhi_epi8(v, zero));
        i += 16;
        o += 16;
        continue;
      }
      if (DecodeBmpBlock(in, i, out, o)) continue;
    }
#endif
    const uint8_t c = in[i];
    if (c < 0x80) {
#if defined(__SSE2__)
      if (n - i >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        const unsigned mask = unsigned(_mm_movemask_epi8(v));
        const __m128i zero = _mm_setzero_si128();
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 2 * o), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 2 * o + 16), _mm_unpackhi_epi8(v, zero));
        const unsigned k = mask == 0 ? 16u : unsigned(__builtin_ctz(mask));
        i += k;
        o += k;
        continue;
      }
#endif
      StoreUnit(out, o++, c);
      ++i;
    } else if (uint8_t(c - 0xC2) < 0x1E) {
      // A run of two-byte characters (C2..DF and one continuation byte),
      // four at a time while eight bytes hold four of them.
      while (n - i >= 8) {
        uint64_t w;
        std::memcpy(&w, in + i, 8);
        // Little-endian lanes of 16 bits: lead in the low byte, continuation in the high.
        const bool shape = (w & 0xC0E0C0E0C0E0C0E0ull) == 0x80C080C080C080C0ull;
        // Leads C0 and C1 are overlong: every lead needs a bit of 0x1E.
        const bool notOverlong =
            (((w & 0x001E001E001E001Eull) + 0x7FFF7FFF7FFF7FFFull) & 0x8000800080008000ull) == 0x8000800080008000ull;
        if (!(shape && notOverlong)) break;
        const uint64_t units = ((w & 0x001F001F001F001Full) << 6) | ((w >> 8) & 0x003F003F003F003Full);
        std::memcpy(out + 2 * o, &units, 8);
        i += 8;
        o += 4;
      }
      if (i >= n || uint8_t(in[i] - 0xC2) >= 0x1E) continue;
      do {
        if (n - i < 2) return;
        const uint8_t c0 = in[i], c1 = in[i + 1];
        if ((c1 & 0xC0) != 0x80) return;
        StoreUnit(out, o++, uint16_t(((c0 & 0x1F) << 6) | (c1 & 0x3F)));
        i += 2;
      } while (i < n && uint8_t(in[i] - 0xC2) < 0x1E);
    } else if ((c & 0xF0) == 0xE0) {
      // A run of three-byte characters, two at a time while eight bytes
      // hold two of them.
      while (n - i >= 8) {
        uint64_t w;
        std::memcpy(&w, in + i, 8);
        if ((w & 0x0000C0C0F0C0C0F0ull) != 0x00008080E08080E0ull) break;
        const uint32_t a = (uint32_t(w & 0x0F) << 12) | (uint32_t((w >> 8) & 0x3F) << 6) | uint32_t((w >> 16) & 0x3F);
        const uint32_t b =
            (uint32_t((w >> 24) & 0x0F) << 12) | (uint32_t((w >> 32) & 0x3F) << 6) | uint32_t((w >> 40) & 0x3F);
        if (a < 0x800 || (a & 0xF800) == 0xD800 || b < 0x800 || (b & 0xF800) == 0xD800) break;
        StoreUnit(out, o, uint16_t(a));
        StoreUnit(out, o + 1, uint16_t(b));
        o += 2;
        i += 6;
      }
      if (i >= n || (in[i] & 0xF0) != 0xE0) continue;
      do {
        if (n - i < 3) return;
        const uint8_t c0 = in[i], c1 = in[i + 1], c2 = in[i + 2];
        if (((c1 & 0xC0) | ((c2 & 0xC0) >> 2)) != 0xA0) return; // both continuation bytes
        const uint32_t cp = (uint32_t(c0 & 0x0F) << 12) | (uint32_t(c1 & 0x3F) << 6) | (c2 & 0x3F);
        if (cp < 0x800 || (cp & 0xF800) == 0xD800) return; // overlong or surrogate
        StoreUnit(out, o++, uint16_t(cp));
        i += 3;
      } while (i < n && (in[i] & 0xF0) == 0xE0);
    } else if (uint8_t(c - 0xF0) < 5) {
      // A run of four-byte characters: surrogate pairs.
      do {
        if (n - i < 4) return;
        const uint8_t c0 = in[i], c1 = in[i + 1], c2 = in[i + 2], c3 = in[i + 3];
        if (((c1 & 0xC0) | ((c2 & 0xC0) >> 2) | ((c3 & 0xC0) >> 4)) != 0xA8) return;
        const uint32_t cp = (uint32_t(c0 & 0x07) << 18) | (uint32_t(c1 & 0x3F) << 12) |
                            (uint32_t(c2 & 0x3F) << 6) | (c3 & 0x3F);
        if (cp - 0x10000 > 0xFFFFF) return; // overlong or above U+10FFFF
        StoreUnit(out, o++, uint16_t(0xD800 + ((cp - 0x10000) >> 10)));
        StoreUnit(out, o++, uint16_t(0xDC00 + (cp & 0x3FF)));
        i += 4;
      } while (i < n && uint8_t(in[i] - 0xF0) < 5);
    } else {
      return;
    }
  }
}

} // namespace

CodecResult DecodeUtf8ToUtf16(const uint8_t *in, size_t n, uint8_t *out, size_t outCap) noexcept {
  size_t i = 0, o = 0;
  while (i < n) {
    if (outCap - o >= n - i) {
      DecodeRoomy(in, n, out, i, o);
      if (i >= n) break;
    }
#if defined(__SSE2__)
    while (n - i >= 16 && outCap - o >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
      const unsigned mask = unsigned(_mm_movemask_epi8(v));
      const __m128i zero = _mm_setzero_si128();
      // Room for 16 units is there, so all 16 may be stored; only the
      // ASCII prefix counts.
      _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 2 * o), _mm_unpacklo_epi8(v, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 2 * o + 16), _mm_unpackhi_epi8(v, zero));
      if (mask != 0) {
        const unsigned k = unsigned(__builtin_ctz(mask));
        i += k;
        o += k;
        break;
      }
      i += 16;
      o += 16;
    }
    if (i >= n) break;
#endif
    const uint8_t c = in[i];
    if (c < 0x80) {
      if (o >= outCap) return {i, o, CodecStop::kFull};
      StoreUnit(out, o++, c);
      ++i;
      continue;
    }
    char32_t cp;
    size_t len;
    const CodecStop s = DecodeUtf8Char(in + i, n - i, cp, len);
    if (s != CodecStop::kDone) return {i, o, s};
    if (cp >= 0x10000) {
      if (outCap - o < 2) return {i, o, CodecStop::kFull};
      cp -= 0x10000;
      StoreUnit(out, o++, uint16_t(0xD800 + (cp >> 10)));
      StoreUnit(out, o++, uint16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      if (o >= outCap) return {i, o, CodecStop::kFull};
      StoreUnit(out, o++, uint16_t(cp));
    }
    i += len;
  }
  return {i, o, CodecStop::kDone};
}

CodecResult EncodeUtf16ToUtf8(const uint8_t *in, size_t n, uint8_t *out, size_t outCap) noexcept {
  size_t i = 0, o = 0;
  while (i < n) {
#if defined(__SSE2__)
    while (n - i >= 8 && outCap - o >= 8) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 2 * i));
      const __m128i high = _mm_and_si128(v, _mm_set1_epi16(short(0xFF80)));
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) != 0xFFFF) break;
      _mm_storel_epi64(reinterpret_cast<__m128i *>(out + o), _mm_packus_epi16(v, v));
      i += 8;
      o += 8;
    }
    if (i >= n) break;
#endif
    char32_t cp = LoadUnit(in, i);
    size_t used = 1;
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 >= n) return {i, o, CodecStop::kPartial};
      const char32_t lo = LoadUnit(in, i + 1);
      if (lo < 0xDC00 || lo > 0xDFFF) return {i, o, CodecStop::kMalformed};
      cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
      used = 2;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      return {i, o, CodecStop::kMalformed};
    }
    if (cp < 0x80) {
      if (o >= outCap) return {i, o, CodecStop::kFull};
      out[o++] = uint8_t(cp);
    } else if (cp < 0x800) {
      if (outCap - o < 2) return {i, o, CodecStop::kFull};
      out[o++] = uint8_t(0xC0 | (cp >> 6));
      out[o++] = uint8_t(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      if (outCap - o < 3) return {i, o, CodecStop::kFull};
      out[o++] = uint8_t(0xE0 | (cp >> 12));
      out[o++] = uint8_t(0x80 | ((cp >> 6) & 0x3F));
      out[o++] = uint8_t(0x80 | (cp & 0x3F));
    } else {
      if (outCap - o < 4) return {i, o, CodecStop::kFull};
      out[o++] = uint8_t(0xF0 | (cp >> 18));
      out[o++] = uint8_t(0x80 | ((cp >> 12) & 0x3F));
      out[o++] = uint8_t(0x80 | ((cp >> 6) & 0x3F));
      out[o++] = uint8_t(0x80 | (cp & 0x3F));
    }
    i += used;
  }
  return {i, o, CodecStop::kDone};
}

} // namespace ql::platform::text
