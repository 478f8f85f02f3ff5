// The shared cores of the text and string families (see TextCore.h).
#include "toolbox/text/TextCore.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace ql::detail {
namespace {

#if defined(__x86_64__)
// 16-byte vectors: SSE2 is part of every x86-64 CPU.
struct V16 {
  static constexpr size_t kWidth = 16;
  using T = __m128i;
  static T Load(const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
  static T Splat(uint8_t c) { return _mm_set1_epi8(char(c)); }
  static T Eq(T a, T b) { return _mm_cmpeq_epi8(a, b); }
  static T And(T a, T b) { return _mm_and_si128(a, b); }
  static uint32_t Mask(T a) { return uint32_t(_mm_movemask_epi8(a)); }
  static T FoldLower(T x) {
    // x - 'A' + 0x80 lands in [0x80, 0x99] (signed -128..-103) exactly for A-Z.
    T t = _mm_add_epi8(x, _mm_set1_epi8(char(0x80 - 'A')));
    T up = _mm_cmpgt_epi8(_mm_set1_epi8(char(0x80 + 26)), t);
    return _mm_or_si128(x, _mm_and_si128(up, _mm_set1_epi8(0x20)));
  }
};

#include "toolbox/text/TextSimdKernels.inc"

size_t BaseMismatch(const uint8_t *a, const uint8_t *b, size_t n, bool fold) {
  return MismatchV<V16, void>(a, b, n, fold);
}
size_t BaseFind(const uint8_t *h, size_t n, const uint8_t *p, size_t m, bool fold) {
  return FindV<V16, void>(h, n, p, m, fold);
}
size_t BaseRemove(uint8_t *s, size_t n, const uint8_t *p, size_t m, bool fold, bool all, size_t *count) {
  return RemoveV<V16, void>(s, n, p, m, fold, all, count);
}
#else
size_t BaseMismatch(const uint8_t *a, const uint8_t *b, size_t n, bool fold) {
  for (size_t i = 0; i < n; ++i)
    if (Fold(a[i], !fold) != Fold(b[i], !fold)) return i;
  return n;
}
size_t BaseFind(const uint8_t *h, size_t n, const uint8_t *p, size_t m, bool fold) {
  for (size_t i = 0; i + m <= n; ++i)
    if (BaseMismatch(h + i, p, m, fold) == m) return i;
  return kNotFound;
}
size_t BaseRemove(uint8_t *s, size_t n, const uint8_t *p, size_t m, bool fold, bool all, size_t *count) {
  size_t w = 0, r = 0, found = 0;
  for (size_t k = 0; k + m <= n;) {
    if (BaseMismatch(s + k, p, m, fold) == m) {
      std::memmove(s + w, s + r, k - r);
      w += k - r;
      r = k = k + m;
      ++found;
      if (!all) break;
    } else {
      ++k;
    }
  }
  std::memmove(s + w, s + r, n - r);
  *count = found;
  return w + (n - r);
}
#endif

// The baseline kernels from the start (constant initialisation, so a call
// made before this library's initialisers have run still works), upgraded
// once at load time when the CPU has wider vectors.
SimdKernels sKernels = {&BaseMismatch, &BaseFind, &BaseRemove};

[[gnu::constructor]] void ChooseKernels() noexcept {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) {
    SimdKernels wide = Avx2Kernels();
    if (wide.mismatch != nullptr && wide.find != nullptr && wide.removeAll != nullptr) sKernels = wide;
  }
#endif
}

} // namespace

const SimdKernels &Kernels() noexcept { return sKernels; }

size_t MismatchLong(const uint8_t *a, const uint8_t *b, size_t n, bool exact) noexcept {
  return sKernels.mismatch(a, b, n, !exact);
}

namespace {

// The natural order walk from position `from`, where both blocks have had
// the same bytes so far and no digit run spans `from`.
[[gnu::noinline]] int CompareNaturalFrom(const uint8_t *a, size_t an, const uint8_t *b, size_t bn, size_t from,
                       bool exact) noexcept {
  size_t i = from, j = from;
  for (;;) {
    while (i < an && j < bn && !(IsDigit(a[i]) && IsDigit(b[j]))) {
      uint8_t x = Fold(a[i], exact), y = Fold(b[j], exact);
      if (x != y) return x < y ? -1 : 1;
      ++i;
      ++j;
    }
    if (i >= an) return j >= bn ? 0 : -1;
    if (j >= bn) return 1;
    // Both at a digit. Skip leading zeros, keeping a run of zeros' last one.
    int balance = 0;
    while (a[i] == '0' && i + 1 < an && IsDigit(a[i + 1])) {
      ++i;
      ++balance;
    }
    while (b[j] == '0' && j + 1 < bn && IsDigit(b[j + 1])) {
      ++j;
      --balance;
    }
    // Walk both runs together: a longer run is a larger number; at equal
    // lengths the first differing digit decides.
    int first = 0;
    for (;; ++i, ++j) {
      const bool da = i < an && IsDigit(a[i]), db = j < bn && IsDigit(b[j]);
      if (!da || !db) {
        if (da != db) return da ? 1 : -1;
        break;
      }
      if (first == 0 && a[i] != b[j]) first = a[i] < b[j] ? -1 : 1;
    }
    if (first != 0) return first;
    if (balance != 0) return balance < 0 ? -1 : 1;
    // i and j now stand just after the runs.
  }
}

} // namespace

int CompareNatural(Bytes left, Bytes right, bool exact) noexcept {
  const uint8_t *a = left.data(), *b = right.data();
  const size_t an = left.size(), bn = right.size();
  // Up to the first difference both blocks hold the same bytes, so every
  // digit run there is equal on both sides (same value, same zeros). Unless
  // the difference touches a digit, plain byte order decides.
  // Names differ early: a byte loop beats setting up vectors here.
  const size_t n = std::min(an, bn);
  size_t i = 0;
  if (exact) {
    // Eight bytes at a time while both have them: the lowest differing
    // byte of the XOR is the first difference (little-endian loads).
    while (i + 8 <= n) {
      uint64_t x, y;
      std::memcpy(&x, a + i, 8);
      std::memcpy(&y, b + i, 8);
      if (x != y) {
        i += size_t(__builtin_ctzll(x ^ y)) / 8;
        goto found;
      }
      i += 8;
    }
    while (i < n && a[i] == b[i]) ++i;
  found:;
  } else {
    while (i < n && ToLower(a[i]) == ToLower(b[i])) ++i;
  }
  const bool digit = (i < an && IsDigit(a[i])) || (i < bn && IsDigit(b[i]));
  if (!digit) {
    if (i < an && i < bn) return Fold(a[i], exact) < Fold(b[i], exact) ? -1 : 1;
    return an == bn ? 0 : (an < bn ? -1 : 1);
  }
  // Back up to the start of the digit run the difference lies in.
  size_t from = i;
  while (from > 0 && IsDigit(a[from - 1])) --from;
  const bool zeroA = from < an && a[from] == '0', zeroB = from < bn && b[from] == '0';
  if (!zeroA && !zeroB) {
    // No leading zeros: the longer run is the larger number; runs of equal
    // length differ first at i, inside both runs.
    if (from == i) { // the runs start at the difference: both must be digits
      const bool da = i < an && IsDigit(a[i]), db = i < bn && IsDigit(b[i]);
      if (!da || !db)
        return i < an && i < bn ? (Fold(a[i], exact) < Fold(b[i], exact) ? -1 : 1) : (i < an ? 1 : -1);
    }
    // Walk both runs together from the difference: the one that goes on
    // longer is the larger number; equal lengths are decided at i.
    for (size_t e = i;; ++e) {
      const bool da = e < an && IsDigit(a[e]), db = e < bn && IsDigit(b[e]);
      if (da != db) return da ? 1 : -1;
      if (!da) break;
    }
    return a[i] < b[i] ? -1 : 1;
  }
  return CompareNaturalFrom(a, an, b, bn, from, exact);
}

bool GlobMatch(Bytes text, Bytes pattern) noexcept {
  // Greedy match with one back-track point: the most recent '*' absorbs one
  // more byte whenever the literal after it fails. Linear in practice and
  // O(text * pattern) at worst, without recursion.
  size_t t = 0, p = 0;
  size_t star = kNotFound, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && pattern[p] == text[t]) {
      ++p;
      ++t;
    } else if (star != kNotFound) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// ---- Byte and set searches -------------------------------------------------

size_t FindByte(Bytes text, uint8_t c, bool exact) noexcept {
  if (text.empty()) return kNotFound;
  const uint8_t *base = text.data();
  const uint8_t lo = ToLower(c), up = ToUpper(c);
  const void *hit = std::memchr(base, exact ? c : lo, text.size());
  if (!exact && lo != up) {
    // The other case can only win before the first hit of this one.
    size_t limit = hit ? size_t(static_cast<const uint8_t *>(hit) - base) : text.size();
    const void *other = std::memchr(base, up, limit);
    if (other != nullptr) hit = other;
  }
  return hit ? size_t(static_cast<const uint8_t *>(hit) - base) : kNotFound;
}

size_t FindLastByte(Bytes text, uint8_t c, bool exact) noexcept {
  if (text.empty()) return kNotFound;
  const uint8_t *base = text.data();
  const uint8_t lo = ToLower(c), up = ToUpper(c);
  const void *hit = ::memrchr(base, exact ? c : lo, text.size());
  if (!exact && lo != up) {
    size_t from = hit ? size_t(static_cast<const uint8_t *>(hit) - base) + 1 : 0;
    const void *other = ::memrchr(base + from, up, text.size() - from);
    if (other != nullptr) hit = other;
  }
  return hit ? size_t(static_cast<const uint8_t *>(hit) - base) : kNotFound;
}

size_t CountByte(Bytes text, uint8_t c, bool exact) noexcept {
  size_t count = 0;
  if (exact) {
    for (uint8_t x : text) count += x == c;
  } else {
    const uint8_t f = ToLower(c);
    for (uint8_t x : text) count += ToLower(x) == f;
  }
  return count;
}

size_t LeadingRun(Bytes text, uint8_t c, bool exact) noexcept {
  const uint8_t f = Fold(c, exact);
  size_t i = 0;
  while (i < text.size() && Fold(text[i], exact) == f) ++i;
  return i;
}

ByteSet::ByteSet(Bytes set, bool exact) noexcept {
  for (uint8_t c : set) {
    empty_ = false;
    if (exact) {
      member_[c] = true;
    } else {
      // Folded set: a byte matches when its fold equals a member's fold.
      member_[ToLower(c)] = true;
      member_[ToUpper(c)] = true;
    }
  }
}

size_t FindInSet(Bytes text, const ByteSet &set) noexcept {
  for (size_t i = 0; i < text.size(); ++i)
    if (set.Has(text[i])) return i;
  return kNotFound;
}

size_t SpanInSet(Bytes text, const ByteSet &set) noexcept {
  size_t i = 0;
  while (i < text.size() && set.Has(text[i])) ++i;
  return i;
}

size_t SpanNotInSet(Bytes text, const ByteSet &set) noexcept {
  size_t i = 0;
  while (i < text.size() && !set.Has(text[i])) ++i;
  return i;
}

// ---- Substring searches --------------------------------------------------------

size_t Find(Bytes text, Bytes pattern, bool exact) noexcept {
  const size_t m = pattern.size();
  if (m == 0 || m > text.size()) return kNotFound;
  if (m == 1) return FindByte(text, pattern[0], exact);
  return sKernels.find(text.data(), text.size(), pattern.data(), m, !exact);
}

size_t CountOccurrences(Bytes text, Bytes pattern, bool exact) noexcept {
  size_t count = 0, from = 0;
  for (;;) {
    size_t i = FindFrom(text, from, pattern, exact);
    if (i == kNotFound) return count;
    ++count;
    from = i + pattern.size();
  }
}

const uint8_t *StreamSearch(Bytes text, Bytes pattern, bool exact, uint32_t &matched) noexcept {
  const size_t n = text.size(), m = pattern.size();
  const uint8_t *t = text.data(), *p = pattern.data();
  const size_t carried = matched; // pattern bytes that ended the earlier buffers
  // Candidates that began in earlier buffers, earliest first: one that began
  // j bytes before this buffer needs p[0..j) to equal the last j stream
  // bytes, which are the carried prefix's tail p[carried-j..carried).
  for (size_t j = carried; j > 0; --j) {
    if (j != carried && !EqualBytes(p, p + (carried - j), j, exact)) continue;
    const size_t need = m - j;               // bytes this buffer must supply
    const size_t have = std::min(need, n);
    if (!EqualBytes(p + j, t, have, exact)) continue;
    if (have == need) {
      matched = uint32_t(j);
      return t; // began j bytes before this buffer
    }
    matched = uint32_t(j + n); // the buffer ran out first: still a partial match
    return nullptr;
  }
  // Candidates inside this buffer: a complete match first...
  size_t i = Find(text, pattern, exact);
  if (i != kNotFound) {
    matched = 0;
    return t + i;
  }
  // ...else the earliest start whose bytes run to the buffer's end.
  for (size_t s = n > m - 1 ? n - (m - 1) : 0; s < n; ++s) {
    if (EqualBytes(t + s, p, n - s, exact)) {
      matched = uint32_t(n - s);
      return nullptr;
    }
  }
  matched = 0;
  return nullptr;
}

// ---- In-place removal ------------------------------------------------------------

size_t RemoveByte(uint8_t *s, size_t n, uint8_t c, bool exact, bool all, size_t *removed) noexcept {
  size_t first = FindByte(Bytes(s, n), c, exact);
  if (first == kNotFound) {
    *removed = 0;
    return n;
  }
  if (!all) {
    std::memmove(s + first, s + first + 1, n - first - 1);
    *removed = 1;
    return n - 1;
  }
  const uint8_t f = Fold(c, exact);
  size_t w = first;
  for (size_t r = first + 1; r < n; ++r) {
    uint8_t x = s[r];
    if (Fold(x, exact) != f) s[w++] = x;
  }
  *removed = n - w;
  return w;
}

size_t FilterSet(uint8_t *s, size_t n, const ByteSet &set, bool keepMembers, size_t *removed) noexcept {
  size_t w = 0;
  for (size_t r = 0; r < n; ++r) {
    uint8_t x = s[r];
    if (set.Has(x) == keepMembers) s[w++] = x;
  }
  *removed = n - w;
  return w;
}

size_t RemovePattern(uint8_t *s, size_t n, Bytes pattern, bool exact, bool all,
                     size_t *removed) noexcept {
  // One pass: kept stretches move down once each, so the work is linear in
  // n however many occurrences there are. After a removal the search goes
  // on in the bytes that followed the removed one, which is exactly where
  // a fresh search of the shortened string would resume.
  if (pattern.empty()) {
    *removed = 0;
    return n;
  }
  if (pattern.size() == 1) return RemoveByte(s, n, pattern[0], exact, all, removed);
  return sKernels.removeAll(s, n, pattern.data(), pattern.size(), !exact, all, removed);
}

size_t RemoveNonPrintable(uint8_t *s, size_t n) noexcept {
  size_t w = 0;
  for (size_t r = 0; r < n; ++r)
    if (IsPrint(s[r])) s[w++] = s[r];
  return w;
}

size_t DeleteSpan(size_t length, size_t count, bool fromStart, size_t offset, size_t *start) noexcept {
  size_t n = count, k = offset, L = length;
  if (L == 0 || n > L || k >= L) return 0;
  if (fromStart) {
    if (k > 0 && n + k >= L) n = L - k;
    *start = k;
  } else {
    if (k == 0) {
      *start = L - n;
    } else {
      if (n + k >= L) n = L - k;
      // The span begins k bytes before the end: at most k bytes remain
      // from there, so it stops at the end of the string.
      n = std::min(n, k);
      *start = L - k;
    }
  }
  return n;
}

void MapBytes(uint8_t *s, size_t n, const std::array<uint8_t, 256> &table) noexcept {
  for (size_t i = 0; i < n; ++i) s[i] = table[s[i]];
}

} // namespace ql::detail
