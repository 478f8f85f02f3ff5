// Differential tests: every search, count and removal function against a
// straightforward reference that models that function's own rule (overlaps,
// resume points, empty patterns), on random haystacks over a tiny alphabet
// so that self-overlapping patterns and near-misses are the norm. Long
// haystacks reach the vector kernels; the stream search is fed every 2- and
// 3-way split of each short haystack, from every start offset.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "text/TextTestSupport.h"
#include "toolbox/strings/StringToolbox.h"
#include "toolbox/text/TextToolbox.h"

using qltext::PStr;
using qltext::RefFold;
using Str = std::string;

namespace {

constexpr long kNone = -1;

bool EqAt(const Str &h, size_t i, const Str &p, bool exact) {
  if (i + p.size() > h.size()) return false;
  for (size_t k = 0; k < p.size(); ++k)
    if (RefFold(h[i + k], exact) != RefFold(p[k], exact)) return false;
  return true;
}

long RefFind(const Str &h, const Str &p, bool exact, size_t from = 0) {
  for (size_t i = from; i + p.size() <= h.size(); ++i)
    if (EqAt(h, i, p, exact)) return long(i);
  return kNone;
}

size_t RefCount(const Str &h, const Str &p, bool exact) {
  size_t n = 0;
  for (long i = RefFind(h, p, exact); i != kNone; i = RefFind(h, p, exact, size_t(i) + p.size())) ++n;
  return n;
}

// The removal loop taken literally: remove, then search the shortened
// string again from where the removed text began.
size_t RefRemove(Str &s, const Str &p, bool exact, bool all) {
  size_t count = 0, pos = 0;
  for (;;) {
    long i = RefFind(s, p, exact, pos);
    if (i == kNone) break;
    s.erase(size_t(i), p.size());
    ++count;
    pos = size_t(i);
    if (!all) break;
  }
  return count;
}

bool RefInSet(unsigned char c, const Str &set, bool exact) {
  for (unsigned char s : set)
    if (RefFold(s, exact) == RefFold(c, exact)) return true;
  return false;
}

long Offset(const void *hit, const void *base) {
  return hit == nullptr ? kNone : static_cast<const char *>(hit) - static_cast<const char *>(base);
}

struct Gen {
  std::mt19937 rng{20261211};
  Str Make(size_t maxLen, const char *alphabet) {
    size_t n = std::uniform_int_distribution<size_t>(0, maxLen)(rng);
    size_t k = strlen(alphabet);
    Str s;
    for (size_t i = 0; i < n; ++i) s.push_back(alphabet[std::uniform_int_distribution<size_t>(0, k - 1)(rng)]);
    return s;
  }
  bool Coin() { return std::uniform_int_distribution<int>(0, 1)(rng) == 1; }
};

// Haystack and pattern pairs: mostly short, every fourth long enough for
// the vector paths (patterns up to 40 bytes so the middle check is long too).
template <class F> void ForRandomPairs(int count, F f) {
  Gen g;
  for (int it = 0; it < count; ++it) {
    const bool big = it % 4 == 0;
    Str h = g.Make(big ? 300 : 14, "abAB");
    Str p = g.Make(big ? 40 : 5, "abAB");
    if (big && !p.empty() && h.size() > p.size() && g.Coin()) {
      // Plant a (case-changed) copy so long searches also succeed.
      size_t at = std::uniform_int_distribution<size_t>(0, h.size() - p.size())(g.rng);
      h.replace(at, p.size(), p);
      if (g.Coin()) h[at] ^= 0x20;
    }
    for (bool exact : {true, false}) {
      SCOPED_TRACE("h=\"" + h + "\" p=\"" + p + "\" exact=" + std::to_string(exact));
      f(h, p, exact, g);
    }
  }
}

TEST(Differential, SubstringSearches) {
  ForRandomPairs(1500, [](const Str &h, const Str &p, bool exact, Gen &) {
    const UInt32 n = UInt32(h.size()), m = UInt32(p.size());
    const long ref = RefFind(h, p, exact);
    const bool usable = n != 0 && m != 0 && n >= m;
    ASSERT_EQ(Offset(TextSearch(h.data(), n, p.data(), m, exact), h.data()), usable ? ref : kNone);
    ASSERT_EQ(Offset(SearchTextContains(h.data(), n, p.data(), m, exact), h.data()), usable ? ref : kNone);
    ASSERT_EQ(Offset(CStringStringSearch(h.c_str(), p.c_str(), exact), h.c_str()), p.empty() ? 0 : ref);
    if (!exact) {
      ASSERT_EQ(Offset(stristr(h.c_str(), p.c_str()), h.c_str()), p.empty() ? 0 : ref);
    }
    if (h.size() <= 255 && p.size() <= 255) {
      PStr ph(h), pp(p), out;
      StringPtr r = PascalStringStringSearch(ph.p(), pp.p(), exact, out.p());
      const long pref = p.empty() ? 0 : ref;
      ASSERT_EQ(r == nullptr, pref == kNone);
      ASSERT_EQ(out.str(), pref == kNone ? "" : h.substr(size_t(pref)));
      ASSERT_EQ(PascalStringCountStrings(ph.p(), pp.p(), exact), p.empty() ? 0 : SInt16(RefCount(h, p, exact)));
    }
    ASSERT_EQ(CStringCountStrings(h.c_str(), p.c_str(), exact), p.empty() ? 0u : UInt32(RefCount(h, p, exact)));
    if (exact) {
      long last = kNone;
      if (!p.empty())
        for (long i = RefFind(h, p, true); i != kNone; i = RefFind(h, p, true, size_t(i) + p.size())) last = i;
      ASSERT_EQ(Offset(strrstr(h.c_str(), p.c_str()), h.c_str()), last);
    }
    // Anchored forms.
    ASSERT_EQ(Offset(TextBeginsWith(h.data(), n, p.data(), m, exact), h.data()),
              usable && EqAt(h, 0, p, exact) ? 0 : kNone);
    ASSERT_EQ(Offset(TextEndsWith(h.data(), n, p.data(), m, exact), h.data()),
              usable && EqAt(h, n - m, p, exact) ? long(n - m) : kNone);
    ASSERT_EQ(Offset(TextIsExactly(h.data(), n, p.data(), m, exact), h.data()),
              usable && n == m && EqAt(h, 0, p, exact) ? 0 : kNone);
  });
}

TEST(Differential, PositionalSearches) {
  ForRandomPairs(400, [](const Str &h, const Str &p, bool exact, Gen &g) {
    const UInt32 n = UInt32(h.size()), m = UInt32(p.size());
    // A wildcard version of the pattern: some bytes become '*'.
    Str w = p;
    for (char &c : w)
      if (g.Coin() && g.Coin()) c = '*';
    for (UInt32 start = 0; start <= n + 1; ++start) {
      long ref = kNone, wref = kNone;
      if (n != 0 && n >= m && start < n) {
        ref = RefFind(h, p, exact, start);
        for (size_t i = start; i + m <= n && wref == kNone; ++i) {
          bool ok = true;
          for (size_t k = 0; k < m && ok; ++k) ok = w[k] == '*' || RefFold(h[i + k], exact) == RefFold(w[k], exact);
          if (ok) wref = long(i);
        }
      }
      auto asLong = [](UInt32 v) { return v == kTextNotFound ? kNone : long(v); };
      ASSERT_EQ(asLong(SearchTextBlock(h.data(), n, p.data(), m, start,
                                       exact ? &CompareTextBlock : &CompareIgnoreCaseTextBlock)),
                ref)
          << "start " << start;
      ASSERT_EQ(asLong(SearchWildcardText(h.data(), n, w.data(), m, start, exact)), wref) << "start " << start;
      if (exact && m != 0) {
        ASSERT_EQ(SearchText(h.data(), SInt32(n), p.data(), SInt32(m), SInt32(start), true),
                  n >= m ? RefFind(h, p, true, start) : kNone)
            << "start " << start;
      }
    }
  });
}

TEST(Differential, Removal) {
  ForRandomPairs(1500, [](const Str &h, const Str &p, bool exact, Gen &) {
    for (bool all : {false, true}) {
      SCOPED_TRACE(all ? "all" : "first");
      Str ref = h;
      size_t count = (h.empty() || p.empty()) ? 0 : RefRemove(ref, p, exact, all);
      Str c = h;
      c.push_back('\0');
      ASSERT_EQ(CStringRemoveString(c.data(), p.c_str(), exact, all), UInt32(count));
      ASSERT_EQ(Str(c.c_str()), (h.empty() || p.empty()) ? h : ref);
      if (h.size() <= 255 && p.size() <= 255) {
        PStr ph(h), pp(p);
        ASSERT_EQ(PascalStringRemoveString(ph.p(), pp.p(), exact, all), SInt16(count));
        ASSERT_EQ(ph.str(), (h.empty() || p.empty()) ? h : ref);
      }
    }
  });
}

TEST(Differential, BytesAndSets) {
  ForRandomPairs(800, [](const Str &h, const Str &set, bool exact, Gen &) {
    const UInt32 n = UInt32(h.size());
    const bool pascal = h.size() <= 255 && set.size() <= 255;
    for (unsigned char c : Str("aAbBz")) {
      long first = kNone, last = kNone;
      UInt32 count = 0, run = 0;
      for (size_t i = 0; i < h.size(); ++i)
        if (RefFold(h[i], exact) == RefFold(c, exact)) {
          if (first == kNone) first = long(i);
          last = long(i);
          ++count;
        }
      while (run < n && RefFold(h[run], exact) == RefFold(c, exact)) ++run;
      ASSERT_EQ(Offset(TextByteSearch(h.data(), n, c, exact), h.data()), first);
      ASSERT_EQ(Offset(TextReverseByteSearch(h.data(), n, c, exact), h.data()), last);
      ASSERT_EQ(Offset(CStringCharSearch(h.c_str(), c, exact), h.c_str()), first);
      ASSERT_EQ(Offset(CStringCharReverseSearch(h.c_str(), c, exact), h.c_str()), last);
      ASSERT_EQ(TextCountMatchingBytes(h.data(), n, c, exact), count);
      ASSERT_EQ(CStringCountChars(h.c_str(), c, exact), count);
      ASSERT_EQ(TextCountConsecutiveMatchingBytes(h.data(), n, c, exact), run);
      ASSERT_EQ(CStringCountConsecutiveChars(h.c_str(), c, exact), run);
      for (bool all : {false, true}) {
        Str ref = h;
        size_t removed = 0;
        for (size_t i = 0; i < ref.size();)
          if (RefFold(ref[i], exact) == RefFold(c, exact) && (all || removed == 0)) {
            ref.erase(i, 1);
            ++removed;
          } else {
            ++i;
          }
        Str cs = h + '\0';
        ASSERT_EQ(CStringRemoveChar(cs.data(), c, exact, all), UInt32(removed));
        ASSERT_EQ(Str(cs.c_str()), ref);
        if (pascal) {
          PStr ph(h);
          ASSERT_EQ(PascalStringRemoveChar(ph.p(), c, exact, all), SInt16(removed));
          ASSERT_EQ(ph.str(), ref);
        }
      }
    }
    // Set functions, with the pattern string as the set.
    long first = kNone;
    size_t in = 0, notIn = 0;
    for (size_t i = 0; i < h.size() && first == kNone; ++i)
      if (RefInSet(h[i], set, exact)) first = long(i);
    while (in < h.size() && RefInSet(h[in], set, exact)) ++in;
    while (notIn < h.size() && !RefInSet(h[notIn], set, exact)) ++notIn;
    if (set.empty()) in = notIn = 0;
    const bool usable = !h.empty() && !set.empty();
    ASSERT_EQ(Offset(TextSetSearch(h.data(), n, set.data(), UInt32(set.size()), exact), h.data()),
              usable ? first : kNone);
    ASSERT_EQ(TextSetCountSearch(h.data(), n, set.data(), UInt32(set.size()), exact), UInt32(in));
    ASSERT_EQ(TextNotSetCountSearch(h.data(), n, set.data(), UInt32(set.size()), exact), UInt32(notIn));
    ASSERT_EQ(CStringSetCountSearch(h.c_str(), set.c_str(), exact), UInt32(in));
    ASSERT_EQ(CStringNotSetCountSearch(h.c_str(), set.c_str(), exact), UInt32(notIn));
    for (bool all : {false, true}) {
      // Each set byte in order removes its first (or every) occurrence.
      Str ref = h;
      size_t removed = 0;
      for (unsigned char s : set) {
        for (size_t i = 0; i < ref.size();)
          if (RefFold(ref[i], exact) == RefFold(s, exact)) {
            ref.erase(i, 1);
            ++removed;
            if (!all) break;
          } else {
            ++i;
          }
      }
      Str cs = h + '\0';
      ASSERT_EQ(CStringRemoveSet(cs.data(), set.c_str(), exact, all), UInt32(removed));
      ASSERT_EQ(Str(cs.c_str()), ref);
      if (pascal) {
        PStr ph(h), ps(set);
        ASSERT_EQ(PascalStringRemoveSet(ph.p(), ps.p(), exact, all), SInt16(removed));
        ASSERT_EQ(ph.str(), ref);
      }
    }
    Str kept;
    for (unsigned char x : h)
      if (RefInSet(x, set, exact)) kept.push_back(char(x));
    Str cs = h + '\0';
    ASSERT_EQ(CStringRemoveNotSet(cs.data(), set.c_str(), exact), UInt32(h.size() - kept.size()));
    ASSERT_EQ(Str(cs.c_str()), kept);
  });
}

// The ordered compare against its rule, on long blocks too (the vector
// mismatch kernel), mostly equal so that the prefix rule is reached.
TEST(Differential, OrderedCompare) {
  ForRandomPairs(1500, [](const Str &a0, const Str &, bool exact, Gen &g) {
    Str a = a0, b = a0;
    if (!b.empty() && g.Coin()) b.resize(std::uniform_int_distribution<size_t>(0, b.size())(g.rng));
    if (!b.empty() && g.Coin()) b[std::uniform_int_distribution<size_t>(0, b.size() - 1)(g.rng)] ^= 0x20;
    if (g.Coin()) std::swap(a, b);
    int ref;
    size_t common = std::min(a.size(), b.size()), i = 0;
    while (i < common && RefFold(a[i], exact) == RefFold(b[i], exact)) ++i;
    if (i < common) {
      ref = int(RefFold(a[i], exact)) - int(RefFold(b[i], exact));
    } else if (a.size() == b.size()) {
      ref = 0;
    } else {
      int mag = common == 0 ? (unsigned char)(a.empty() ? b[0] : a[0]) : RefFold(a[common - 1], exact);
      ref = a.size() < b.size() ? -mag : mag;
    }
    ASSERT_EQ(TextCompare(a.data(), UInt32(a.size()), b.data(), UInt32(b.size()), exact), ref)
        << "a=" << a << " b=" << b;
  });
}

// Feeds `stream` to TextPartialSearch in the given buffers; returns the
// stream offset of the first reported occurrence or kNone, checking after
// every fruitless buffer that the carried count is the longest pattern
// prefix the stream so far ends with.
long Feed(const Str &stream, const std::vector<size_t> &cuts, const Str &p, bool exact) {
  UInt32 m = 0;
  size_t begin = 0;
  for (size_t k = 0; k <= cuts.size(); ++k) {
    size_t end = k < cuts.size() ? cuts[k] : stream.size();
    const char *buf = stream.data() + begin;
    Ptr r = TextPartialSearch(buf, UInt32(end - begin), p.data(), UInt32(p.size()), exact, &m);
    if (r != nullptr) {
      EXPECT_TRUE(m == 0 || r == buf) << "a carried match is reported at the buffer start";
      return long(begin) + (r - buf) - long(m);
    }
    size_t want = 0;
    for (size_t len = std::min(p.size() - 1, end); len > 0 && want == 0; --len)
      if (EqAt(stream.substr(end - len, len), 0, p.substr(0, len), exact)) want = len;
    EXPECT_EQ(m, UInt32(want)) << "carried count after buffer " << k;
    begin = end;
  }
  return kNone;
}

TEST(Differential, StreamSearchEverySplit) {
  ForRandomPairs(400, [](const Str &h, const Str &p, bool exact, Gen &g) {
    if (p.empty()) return;
    if (h.size() > 14) {
      // Long haystacks: a few random splits into up to 6 buffers.
      for (int t = 0; t < 4; ++t) {
        std::vector<size_t> cuts;
        for (size_t at = 1; at < h.size(); at += std::uniform_int_distribution<size_t>(1, h.size() / 3 + 1)(g.rng))
          cuts.push_back(at);
        ASSERT_EQ(Feed(h, cuts, p, exact), RefFind(h, p, exact));
      }
      return;
    }
    // Every occurrence is the first one of some suffix of the stream: each
    // suffix, in one buffer and in every 2- and 3-way split.
    for (size_t s = 0; s < h.size(); ++s) {
      const Str stream = h.substr(s);
      const size_t n = stream.size();
      const long ref = RefFind(stream, p, exact);
      SCOPED_TRACE("stream \"" + stream + "\"");
      ASSERT_EQ(Feed(stream, {}, p, exact), ref);
      for (size_t i = 1; i < n; ++i) {
        ASSERT_EQ(Feed(stream, {i}, p, exact), ref) << "split at " << i;
        for (size_t j = i + 1; j < n; ++j) ASSERT_EQ(Feed(stream, {i, j}, p, exact), ref) << "split at " << i << "," << j;
      }
    }
  });
}

} // namespace

namespace {

// The natural order walked exactly as described: two cursors, byte
// comparison outside digit pairs, zeros skipped with a balance, run length,
// then run bytes, then the balance.
int RefNatural(const Str &a, const Str &b, bool exact) {
  auto digit = [](unsigned char c) { return c >= '0' && c <= '9'; };
  size_t i = 0, j = 0;
  for (;;) {
    while (i < a.size() && j < b.size() && !(digit(a[i]) && digit(b[j]))) {
      unsigned char x = RefFold(a[i], exact), y = RefFold(b[j], exact);
      if (x < y) return -1;
      if (x > y) return 1;
      ++i, ++j;
    }
    if (i >= a.size()) return j >= b.size() ? 0 : -1;
    if (j >= b.size()) return 1;
    int balance = 0;
    while (a[i] == '0' && i + 1 < a.size() && digit(a[i + 1])) ++i, ++balance;
    while (b[j] == '0' && j + 1 < b.size() && digit(b[j + 1])) ++j, --balance;
    size_t ie = i, je = j;
    while (ie < a.size() && digit(a[ie])) ++ie;
    while (je < b.size() && digit(b[je])) ++je;
    if (ie - i > je - j) return 1;
    if (ie - i < je - j) return -1;
    for (; i < ie; ++i, ++j)
      if (a[i] != b[j]) return (unsigned char)a[i] < (unsigned char)b[j] ? -1 : 1;
    if (balance < 0) return -1;
    if (balance > 0) return 1;
  }
}

// Pairs shaped to reach every rule wherever it falls: lengths across the
// 8- and 16-byte windows, digit runs (with zeros) that cross window edges,
// near-identical pairs that differ in one byte, by one inserted or deleted
// byte, or by an added tail, and bytes next to the class boundaries of
// digits and letters ('/', ':', '@', '[', '`', '{', NUL, 0x80 and up).
TEST(Differential, NaturalCompare) {
  Gen g;
  static const char kBytes[] = {'0', '0', '1', '9', '5', '0', '7', 'a', 'A', 'Z', 'z', '.', '/', ':', '@',
                                '[', '`', '{', '\0', '\x80', '\xb0', '\xb9', '\xc1', '\xda', '\xff'};
  auto pick = [&](size_t digitsOnly) {
    return kBytes[std::uniform_int_distribution<size_t>(0, digitsOnly ? 6 : sizeof kBytes - 1)(g.rng)];
  };
  auto make = [&](size_t maxLen) {
    Str s(std::uniform_int_distribution<size_t>(0, maxLen)(g.rng), 'x');
    // Stretches of digits between other bytes, as in names.
    for (size_t i = 0; i < s.size(); ++i) s[i] = pick(g.Coin());
    return s;
  };
  for (int it = 0; it < 100000; ++it) {
    Str a = make(it % 4 == 0 ? 48 : 20), b = a;
    const size_t at = b.empty() ? 0 : std::uniform_int_distribution<size_t>(0, b.size() - 1)(g.rng);
    switch (it % 5) {
    case 0: b = make(20); break;
    case 1: if (!b.empty()) b[at] = pick(g.Coin()); break;
    case 2: b.insert(b.begin() + at, pick(g.Coin())); break;
    case 3: if (!b.empty()) b.erase(at, 1); break;
    case 4: b += make(4); break;
    }
    // Blocks in allocations of exactly their size, so that a read past
    // either end is caught under the address sanitizer.
    const std::unique_ptr<char[]> ta(new char[a.size()]), tb(new char[b.size()]);
    std::copy(a.begin(), a.end(), ta.get());
    std::copy(b.begin(), b.end(), tb.get());
    for (bool exact : {true, false}) {
      ASSERT_EQ(TextCompareNatural(ta.get(), UInt32(a.size()), tb.get(), UInt32(b.size()), exact),
                RefNatural(a, b, exact))
          << "a=\"" << a << "\" b=\"" << b << "\" exact=" << exact;
      ASSERT_EQ(TextCompareNatural(tb.get(), UInt32(b.size()), ta.get(), UInt32(a.size()), exact),
                RefNatural(b, a, exact));
    }
  }
}

} // namespace

namespace {

// C strings far longer than the removal's scan window, with occurrences
// straddling every window boundary, against a one-pass reference.
TEST(Differential, RemovalOfLongCStrings) {
  std::mt19937 rng(3);
  for (const char *pat : {"abc", "aXa", "abcdefghijkl"}) {
    const Str p = pat;
    for (bool exact : {true, false}) {
      for (bool all : {true, false}) {
        SCOPED_TRACE(p + (exact ? " exact" : " folded") + (all ? " all" : " first"));
        Str h;
        while (h.size() < 300000) {
          h += Str(rng() % 20, "xyz"[rng() % 3]);
          Str occ = p;
          if (!exact && rng() % 2) occ[0] = char(occ[0] ^ 0x20);
          h += occ;
        }
        for (size_t b = 65536; b < h.size(); b += 65536) h.replace(b - 1, p.size(), p); // across a window edge
        Str ref;
        size_t count = 0, i = 0;
        for (; i < h.size();) {
          if ((all || count == 0) && EqAt(h, i, p, exact)) {
            i += p.size();
            ++count;
          } else {
            ref.push_back(h[i++]);
          }
        }
        Str c = h + '\0';
        ASSERT_EQ(CStringRemoveString(c.data(), p.c_str(), exact, all), UInt32(count));
        ASSERT_EQ(Str(c.c_str()), ref);
      }
    }
  }
}

} // namespace

namespace {

// Long strings packed with occurrences of patterns that cannot overlap
// themselves (lengths 2-17), side by side, cut short and case-changed, so
// occurrences straddle every vector block boundary and fill whole blocks.
TEST(Differential, DenseRemovalOfLongStrings) {
  Gen g;
  for (size_t m = 2; m <= 17; ++m) {
    // 'a' then bytes that are never 'a': no proper suffix is a prefix.
    Str p = "a";
    while (p.size() < m) p.push_back("bcBC"[g.rng() % 4]);
    for (bool exact : {true, false}) {
      SCOPED_TRACE(p + (exact ? " exact" : " folded"));
      Str h;
      while (h.size() < 3000) {
        switch (g.rng() % 4) {
        case 0: h += p; break;
        case 1: h += p.substr(0, 1 + g.rng() % (m - 1)); break; // cut short
        case 2: { Str q = p; q[g.rng() % m] ^= 0x20; h += q; break; } // another case
        default: h += g.Make(6, "abcAB"); break;
        }
      }
      Str ref = h;
      const size_t count = RefRemove(ref, p, exact, true);
      Str c = h + '\0';
      ASSERT_EQ(CStringRemoveString(c.data(), p.c_str(), exact, true), UInt32(count));
      ASSERT_EQ(Str(c.c_str()), ref);
    }
  }
}

} // namespace
