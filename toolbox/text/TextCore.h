// Internal cores of the text and string families.
//
// Every exported search, compare, count and removal function of the text
// blocks, C strings and Pascal strings is a thin adapter that makes a byte
// span of its arguments and calls one function here, so the twins cannot
// drift apart. Character classes and case folding come from our own tables
// of the "C" locale: the result never depends on the process locale.
//
// Conventions: `exact` is the case flag of the public functions (true:
// bytes compare as they are; false: A-Z fold to a-z on both sides, every
// other byte, 0x80-0xFF included, only matches itself). Positions are
// 0-based; kNotFound means "nothing found".
#ifndef TOOLBOX_TEXT_TEXTCORE_H
#define TOOLBOX_TEXT_TEXTCORE_H

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace ql::detail {

using Bytes = std::span<const uint8_t>;
inline constexpr size_t kNotFound = size_t(-1);

inline Bytes MakeBytes(const void *p, size_t n) noexcept {
  return n == 0 ? Bytes() : Bytes(static_cast<const uint8_t *>(p), n);
}
// The text of a Pascal string (byte 0 is the length).
inline Bytes PascalBytes(const unsigned char *s) noexcept { return Bytes(s + 1, s[0]); }

// ---- "C" locale character tables ----------------------------------------

enum : uint8_t {
  kClassUpper = 1,
  kClassLower = 2,
  kClassDigit = 4,
  kClassSpace = 8, // space, tab, line feed, vertical tab, form feed, return
  kClassPrint = 16 // 0x20-0x7E
};

struct CharTables {
  std::array<uint8_t, 256> lower{};
  std::array<uint8_t, 256> upper{};
  std::array<uint8_t, 256> cls{};
};

constexpr CharTables MakeCharTables() {
  CharTables t;
  for (int c = 0; c < 256; ++c) {
    t.lower[c] = uint8_t(c);
    t.upper[c] = uint8_t(c);
    uint8_t k = 0;
    if (c >= 'A' && c <= 'Z') {
      k |= kClassUpper;
      t.lower[c] = uint8_t(c + ('a' - 'A'));
    }
    if (c >= 'a' && c <= 'z') {
      k |= kClassLower;
      t.upper[c] = uint8_t(c - ('a' - 'A'));
    }
    if (c >= '0' && c <= '9') k |= kClassDigit;
    if (c == ' ' || (c >= '\t' && c <= '\r')) k |= kClassSpace;
    if (c >= 0x20 && c <= 0x7E) k |= kClassPrint;
    t.cls[c] = k;
  }
  return t;
}

inline constexpr CharTables kChars = MakeCharTables();

inline constexpr uint8_t ToLower(uint8_t c) noexcept { return kChars.lower[c]; }
inline constexpr uint8_t ToUpper(uint8_t c) noexcept { return kChars.upper[c]; }
inline constexpr bool IsDigit(uint8_t c) noexcept { return uint8_t(c - '0') < 10; }
inline constexpr bool IsSpace(uint8_t c) noexcept { return kChars.cls[c] & kClassSpace; }
inline constexpr bool IsPrint(uint8_t c) noexcept { return kChars.cls[c] & kClassPrint; }
inline constexpr bool IsLetter(uint8_t c) noexcept {
  return kChars.cls[c] & (kClassUpper | kClassLower);
}
// The byte as compared under the case flag.
inline constexpr uint8_t Fold(uint8_t c, bool exact) noexcept { return exact ? c : ToLower(c); }

// ---- Equality and ordering ------------------------------------------------

// First index i < n at which a[i] and b[i] differ (after folding when
// !exact), or n when the blocks are equal. Blocks of up to 32 bytes are
// handled inline with 8- and 16-byte vectors; longer ones go to the
// widest kernel the CPU has.
size_t MismatchLong(const uint8_t *a, const uint8_t *b, size_t n, bool exact) noexcept;

#if defined(__x86_64__)
[[gnu::always_inline]] inline uint32_t EqMask16(__m128i x, __m128i y, bool exact) noexcept {
  if (!exact) {
    // x - 'A' + 0x80 lands in [0x80, 0x99] (signed -128..-103) exactly for A-Z.
    const __m128i bias = _mm_set1_epi8(char(0x80 - 'A')), limit = _mm_set1_epi8(char(0x80 + 26));
    const __m128i bit = _mm_set1_epi8(0x20);
    x = _mm_or_si128(x, _mm_and_si128(_mm_cmpgt_epi8(limit, _mm_add_epi8(x, bias)), bit));
    y = _mm_or_si128(y, _mm_and_si128(_mm_cmpgt_epi8(limit, _mm_add_epi8(y, bias)), bit));
  }
  return uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y)));
}
#endif

[[gnu::always_inline]] inline size_t Mismatch(const uint8_t *a, const uint8_t *b, size_t n, bool exact) noexcept {
#if defined(__x86_64__)
  if (n >= 16 && n <= 32) {
    // Two 16-byte windows, the second ending at n (they may overlap).
    uint32_t m = EqMask16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(a)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i *>(b)), exact);
    if (m != 0xFFFF) return size_t(__builtin_ctz(~m));
    const size_t s = n - 16;
    m = EqMask16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(a + s)),
                 _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + s)), exact);
    return m != 0xFFFF ? s + size_t(__builtin_ctz(~m)) : n;
  }
  if (n >= 8 && n < 16) {
    uint32_t m = EqMask16(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(a)),
                          _mm_loadl_epi64(reinterpret_cast<const __m128i *>(b)), exact) & 0xFF;
    if (m != 0xFF) return size_t(__builtin_ctz(~m));
    const size_t s = n - 8;
    m = EqMask16(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(a + s)),
                 _mm_loadl_epi64(reinterpret_cast<const __m128i *>(b + s)), exact) & 0xFF;
    return m != 0xFF ? s + size_t(__builtin_ctz(~m)) : n;
  }
#endif
  if (n < 16) {
    for (size_t i = 0; i < n; ++i)
      if (Fold(a[i], exact) != Fold(b[i], exact)) return i;
    return n;
  }
  return MismatchLong(a, b, n, exact);
}

inline bool EqualBytes(const uint8_t *a, const uint8_t *b, size_t n, bool exact) noexcept {
  return Mismatch(a, b, n, exact) == n;
}

// Ordered comparison with the "last shared byte" rule used by the text
// block and Pascal string compares: the first differing pair (folded when
// !exact) returns left - right; equal common parts give 0 for equal lengths;
// else the magnitude is the last shared byte (or the other side's first byte
// when one side is empty) with the sign of "the shorter side sorts first".
// The sign is forced when that byte's value is 0 or negative, so a proper
// prefix never compares equal to, or after, the longer string.
struct PrefixRule {
  bool signedBytes;       // bytes compare as int8_t (Pascal strings) or uint8_t
  bool foldEmptySideByte; // fold the first byte reported when one side is empty
};
[[gnu::always_inline]] inline int32_t CompareWithPrefixRule(Bytes left, Bytes right, bool exact, PrefixRule rule) noexcept {
  auto value = [&](uint8_t c, bool fold) -> int32_t {
    uint8_t f = fold ? ToLower(c) : c;
    return rule.signedBytes ? int32_t(int8_t(f)) : int32_t(f);
  };
  const size_t n = std::min(left.size(), right.size());
  const size_t i = Mismatch(left.data(), right.data(), n, exact);
  if (i < n) return value(left[i], !exact) - value(right[i], !exact);
  if (left.size() == right.size()) return 0;
  int32_t magnitude;
  if (n == 0) {
    Bytes other = left.empty() ? right : left;
    magnitude = value(other[0], !exact && rule.foldEmptySideByte);
  } else {
    magnitude = value(left[n - 1], !exact);
  }
  // The shorter side sorts first. A NUL (or, with signed bytes, a byte of
  // 0x80 or above) would give 0 or the wrong sign: report -1/1 instead.
  if (magnitude <= 0) magnitude = 1;
  return left.size() < right.size() ? -magnitude : magnitude;
}

// Natural order (digit runs compare by numeric value): NaturalOrder.h.

// Glob match: '*' in the pattern stands for any run of bytes (including
// none); every other byte matches itself exactly.
bool GlobMatch(Bytes text, Bytes pattern) noexcept;

// ---- Byte and set searches ---------------------------------------------

size_t FindByte(Bytes text, uint8_t c, bool exact) noexcept;
size_t FindLastByte(Bytes text, uint8_t c, bool exact) noexcept;
size_t CountByte(Bytes text, uint8_t c, bool exact) noexcept;
// Length of the leading run of bytes equal to c.
size_t LeadingRun(Bytes text, uint8_t c, bool exact) noexcept;

// Membership table of a byte set, folded when !exact.
class ByteSet {
public:
  ByteSet(Bytes set, bool exact) noexcept;
  bool Has(uint8_t c) const noexcept { return member_[c]; }
  bool Empty() const noexcept { return empty_; }

private:
  std::array<bool, 256> member_{};
  bool empty_ = true;
};

size_t FindInSet(Bytes text, const ByteSet &set) noexcept;
size_t SpanInSet(Bytes text, const ByteSet &set) noexcept;    // leading bytes in the set
size_t SpanNotInSet(Bytes text, const ByteSet &set) noexcept; // leading bytes not in it

// ---- Substring searches ----------------------------------------------------

// First occurrence of a non-empty pattern, or kNotFound.
size_t Find(Bytes text, Bytes pattern, bool exact) noexcept;
// First occurrence starting at or after `from`.
inline size_t FindFrom(Bytes text, size_t from, Bytes pattern, bool exact) noexcept {
  if (from > text.size()) return kNotFound;
  size_t i = Find(text.subspan(from), pattern, exact);
  return i == kNotFound ? kNotFound : from + i;
}
// Number of non-overlapping occurrences, scanning left to right and
// resuming just past each match (pattern non-empty).
size_t CountOccurrences(Bytes text, Bytes pattern, bool exact) noexcept;

// One step of the stream search: `matched` holds how many pattern bytes
// matched at the very end of the earlier buffers. Returns the position in
// `text` of the first occurrence's start clipped to the buffer start (with
// `matched` set to the number of its bytes that lay in earlier buffers), or
// nullptr with `matched` set to the longest pattern prefix the stream now
// ends with.
const uint8_t *StreamSearch(Bytes text, Bytes pattern, bool exact, uint32_t &matched) noexcept;

// ---- In-place removal ------------------------------------------------------
// Each works on s[0..n) and returns the new length; *removed receives the
// number of removed bytes (or occurrences for RemovePattern). Bytes past
// the new length are left as they were.

size_t RemoveByte(uint8_t *s, size_t n, uint8_t c, bool exact, bool all, size_t *removed) noexcept;
// Removes every byte that is (keepMembers false) or is not (keepMembers true) in the set.
size_t FilterSet(uint8_t *s, size_t n, const ByteSet &set, bool keepMembers, size_t *removed) noexcept;
// Removes the first or every non-overlapping occurrence (left to right) of a
// non-empty pattern that must not overlap s.
size_t RemovePattern(uint8_t *s, size_t n, Bytes pattern, bool exact, bool all,
                     size_t *removed) noexcept;
// The same for a C string whose length is not known: the string is taken
// in windows that stay in cache while they are measured and scanned.
// Returns the new length; the NUL moves with the rest.
size_t RemovePatternC(uint8_t *s, Bytes pattern, bool exact, bool all, size_t *removed) noexcept;
// Removes every byte outside 0x20-0x7E.
size_t RemoveNonPrintable(uint8_t *s, size_t n) noexcept;

// Span of `n` bytes deleted at `offset` bytes from the start or the end of
// a string of length `length`; returns the adjusted count (0: nothing) and
// sets *start to the first deleted position.
size_t DeleteSpan(size_t length, size_t count, bool fromStart, size_t offset, size_t *start) noexcept;

// Maps every byte through the table, in place.
void MapBytes(uint8_t *s, size_t n, const std::array<uint8_t, 256> &table) noexcept;

// ---- Vector kernels (chosen at load time for the CPU) --------------------

// Progress of a pattern removal that may be fed its string in growing
// prefixes: scan position, write and read positions, removals so far, and
// whether a first-only removal has happened.
struct RemoveState {
  size_t i = 0, w = 0, r = 0, found = 0;
  bool done = false;
};
struct SimdKernels {
  size_t (*mismatch)(const uint8_t *a, const uint8_t *b, size_t n, bool fold);
  // First occurrence of p[0..m) (m >= 2) in h[0..n), or kNotFound.
  size_t (*find)(const uint8_t *h, size_t n, const uint8_t *p, size_t m, bool fold);
  // One step of a pattern removal (m >= 2); see RemoveState.
  void (*removeAll)(uint8_t *s, size_t n, const uint8_t *p, size_t m, bool fold, bool all, bool final,
                    RemoveState &st);
};
const SimdKernels &Kernels() noexcept;
// Kernels for 256-bit vectors; null members when the build has none.
SimdKernels Avx2Kernels() noexcept;

} // namespace ql::detail

#endif
