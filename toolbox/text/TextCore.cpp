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
void BaseRemove(uint8_t *s, size_t n, const uint8_t *p, size_t m, bool fold, bool all, bool final,
                RemoveState &st) {
  RemoveV<V16, void>(s, n, p, m, fold, all, final, st);
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
void BaseRemove(uint8_t *s, size_t n, const uint8_t *p, size_t m, bool fold, bool all, bool final,
                RemoveState &st) {
  if (!final) return; // everything happens on the final call
  for (size_t k = std::max(st.i, st.r); !st.done && k + m <= n;) {
    if (BaseMismatch(s + k, p, m, fold) == m) {
      std::memmove(s + st.w, s + st.r, k - st.r);
      st.w += k - st.r;
      st.r = k = k + m;
      ++st.found;
      st.done = !all;
    } else {
      ++k;
    }
  }
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
  RemoveState st;
  sKernels.removeAll(s, n, pattern.data(), pattern.size(), !exact, all, true, st);
  std::memmove(s + st.w, s + st.r, n - st.r);
  *removed = st.found;
  return st.w + (n - st.r);
}

size_t RemovePatternC(uint8_t *s, Bytes pattern, bool exact, bool all, size_t *removed) noexcept {
  const char *cs = reinterpret_cast<const char *>(s);
  if (pattern.size() < 2) {
    size_t n = std::strlen(cs);
    n = RemovePattern(s, n, pattern, exact, all, removed);
    s[n] = '\0';
    return n;
  }
  // Measure and scan the string a window at a time, so each window is
  // still in cache when it is scanned.
  constexpr size_t kWindow = 64 * 1024;
  RemoveState st;
  size_t n = 0;
  for (;;) {
    const size_t add = strnlen(cs + n, kWindow);
    n += add;
    const bool final = add < kWindow;
    sKernels.removeAll(s, n, pattern.data(), pattern.size(), !exact, all, final, st);
    if (final) break;
    if (st.done) {
      n += std::strlen(cs + n);
      break;
    }
  }
  std::memmove(s + st.w, s + st.r, n - st.r + 1); // with the NUL
  *removed = st.found;
  return st.w + (n - st.r);
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
