// Positional and anchored searches, and the stream search's own cases.
#include <gtest/gtest.h>

#include <string>

#include "text/TextTestSupport.h"
#include "toolbox/text/TextToolbox.h"

namespace {

long Offset(const void *hit, const void *base) {
  return hit == nullptr ? -1 : static_cast<const char *>(hit) - static_cast<const char *>(base);
}

int gCalls = 0;
Boolean CountingCompare(const void *t, const void *p, UInt32 n) {
  ++gCalls;
  return CompareTextBlock(t, p, n);
}

TEST(SearchTextBlock, OffsetsAndLimits) {
  const std::string t = "abcabcab";
  struct Case {
    const char *id;
    std::string pattern;
    UInt32 length, start;
    UInt32 expect;
  };
  const Case cases[] = {
      {"first", "abc", 8, 0, 0},
      {"from start", "abc", 8, 1, 3},
      {"pattern must fit", "cab", 8, 3, 5},
      {"no room left", "abc", 8, 6, kTextNotFound},
      {"start at length", "a", 8, 8, kTextNotFound},
      {"start past length", "a", 8, 100, kTextNotFound},
      {"text shorter than pattern", "abcabcabc", 8, 0, kTextNotFound},
      {"zero length", "a", 0, 0, kTextNotFound},
      {"last offset", "b", 8, 7, 7},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(SearchTextBlock(t.data(), c.length, c.pattern.data(), UInt32(c.pattern.size()), c.start,
                              &CompareTextBlock),
              c.expect);
  }
  EXPECT_EQ(SearchTextBlock(t.data(), 8, "abc", 3, 0, nullptr), kTextNotFound);
  EXPECT_EQ(SearchTextBlock(nullptr, 8, "abc", 3, 0, &CompareTextBlock), kTextNotFound);
  EXPECT_EQ(SearchTextBlock(t.data(), 8, nullptr, 3, 0, &CompareTextBlock), kTextNotFound);
  // The callback is only asked where the whole pattern fits.
  gCalls = 0;
  EXPECT_EQ(SearchTextBlock(t.data(), 8, "xyz", 3, 0, &CountingCompare), kTextNotFound);
  EXPECT_EQ(gCalls, 6);
}

TEST(SearchWildcardText, OneByteWildcard) {
  const std::string t = "xxaBcxabd";
  EXPECT_EQ(SearchWildcardText(t.data(), 9, "a*c", 3, 0, true), 2u) << "the wildcard takes any byte, case or not";
  EXPECT_EQ(SearchWildcardText(t.data(), 9, "a*C", 3, 0, true), kTextNotFound);
  EXPECT_EQ(SearchWildcardText(t.data(), 9, "A*C", 3, 0, false), 2u);
  EXPECT_EQ(SearchWildcardText(t.data(), 9, "a*d", 3, 0, true), 6u);
  EXPECT_EQ(SearchWildcardText(t.data(), 9, "a*d", 3, 7, true), kTextNotFound);
  EXPECT_EQ(SearchWildcardText(t.data(), 9, "*", 1, 4, true), 4u);
}

TEST(SearchText, SixteenBitOffsetsAreWidened) {
  // A text well beyond 32 KiB with the only match past offset 65535.
  std::string big(70000, '.');
  big.replace(66000, 6, "needle");
  EXPECT_EQ(SearchText(big.data(), SInt32(big.size()), "needle", 6, 0, true), 66000);
  EXPECT_EQ(SearchText(big.data(), SInt32(big.size()), "needle", 6, 40000, false), 66000);
  EXPECT_EQ(SearchText(big.data(), SInt32(big.size()), "needle", 6, 66001, true), -1);

  const std::string t = "abcABCabc";
  EXPECT_EQ(SearchText(t.data(), 9, "ABC", 3, -5, true), 3) << "a negative start counts as 0";
  EXPECT_EQ(SearchText(t.data(), 9, "ABC", 3, 0, false), 3);
  EXPECT_EQ(SearchText(t.data(), 9, "abc", 3, 1, true), 6);
  EXPECT_EQ(SearchText(t.data(), 9, "abcd", 4, 0, true), -1);
  EXPECT_EQ(SearchText(t.data(), 0, "a", 1, 0, true), -1);
  EXPECT_EQ(SearchText(nullptr, 9, "a", 1, 0, true), -1);
  EXPECT_EQ(SearchText(t.data(), 9, "a", 0, 0, true), -1);
}

TEST(AnchoredSearch, BeginsEndsExactly) {
  struct Case {
    const char *id;
    std::string text, pattern;
    bool exact;
    long begins, ends, exactly;
  };
  const Case cases[] = {
      {"begins", "abcdef", "abc", true, 0, -1, -1},
      {"ends", "abcdef", "def", true, -1, 3, -1},
      {"exactly", "abc", "abc", true, 0, 0, 0},
      {"exactly folded", "ABC", "abc", false, 0, 0, 0},
      {"case counted", "ABC", "abc", true, -1, -1, -1},
      {"text shorter", "ab", "abc", true, -1, -1, -1},
      {"empty pattern", "abc", "", true, -1, -1, -1},
      {"empty text", "", "", true, -1, -1, -1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    const char *t = c.text.data();
    const UInt32 n = UInt32(c.text.size()), m = UInt32(c.pattern.size());
    const char *p = c.pattern.data();
    EXPECT_EQ(Offset(TextBeginsWith(t, n, p, m, c.exact), t), c.begins);
    EXPECT_EQ(Offset(SearchTextBeginsWith(t, n, p, m, c.exact), t), c.begins);
    EXPECT_EQ(Offset(TextEndsWith(t, n, p, m, c.exact), t), c.ends);
    EXPECT_EQ(Offset(SearchTextEndsWith(t, n, p, m, c.exact), t), c.ends);
    EXPECT_EQ(Offset(TextIsExactly(t, n, p, m, c.exact), t), c.exactly);
    EXPECT_EQ(Offset(SearchTextIsExactly(t, n, p, m, c.exact), t), c.exactly);
  }
  EXPECT_EQ(TextSearch(nullptr, 3, "a", 1, true), nullptr);
  EXPECT_EQ(TextSearch("abc", 3, nullptr, 1, true), nullptr);
}

// One stream fed buffer by buffer: the results of each call.
struct Step {
  std::string buffer;
  long hit; // offset in the buffer, -1 for null
  UInt32 matched;
};

void RunStream(const char *pattern, bool exact, const std::vector<Step> &steps, UInt32 m = 0) {
  for (size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE("buffer " + std::to_string(i));
    const Step &s = steps[i];
    Ptr r = TextPartialSearch(s.buffer.data(), UInt32(s.buffer.size()), pattern, UInt32(strlen(pattern)), exact, &m);
    EXPECT_EQ(Offset(r, s.buffer.data()), s.hit);
    EXPECT_EQ(m, s.matched);
  }
}

TEST(TextPartialSearch, StreamCases) {
  // A match across the boundary: reported at the start of the next buffer
  // with the bytes it had in the earlier one (stream offset 4 + 0 - 2 = 2).
  RunStream("abc", true, {{"xxab", -1, 2}, {"cyy", 0, 2}});
  // A match ending at a buffer's (or the stream's) last byte is reported at once.
  RunStream("a", true, {{"xa", 1, 0}});
  RunStream("abc", true, {{"xabc", 1, 0}});
  RunStream("abc", true, {{"xxab", -1, 2}, {"c", 0, 2}});
  // A partial match that fails must not hide an overlapping one.
  RunStream("aab", true, {{"xaa", -1, 2}, {"ab", 0, 1}});
  RunStream("abab", true, {{"xaba", -1, 3}, {"abab", 0, 0}});
  RunStream("abab", true, {{"xaba", -1, 3}, {"babz", 0, 3}});
  RunStream("abcabd", true, {{"abcab", -1, 5}, {"cabd", 0, 2}});
  // A partial match carried through a whole buffer.
  RunStream("abcdef", true, {{"xab", -1, 2}, {"cd", -1, 4}, {"efz", 0, 4}});
  RunStream("abc", false, {{"xA", -1, 1}, {"Bc", 0, 1}});
  RunStream("abc", true, {{"xxab", -1, 2}, {"zz", -1, 0}});
}

TEST(TextPartialSearch, BadArguments) {
  UInt32 m = 2;
  EXPECT_EQ(TextPartialSearch("abc", 3, "abc", 3, true, nullptr), nullptr);
  EXPECT_EQ(TextPartialSearch(nullptr, 3, "abc", 3, true, &m), nullptr);
  EXPECT_EQ(m, 0u);
  m = 2;
  EXPECT_EQ(TextPartialSearch("abc", 0, "abc", 3, true, &m), nullptr);
  EXPECT_EQ(m, 0u);
  m = 4;
  EXPECT_EQ(TextPartialSearch("abc", 3, "abc", 3, true, &m), nullptr) << "more matched than the pattern holds";
  EXPECT_EQ(m, 0u);
}

} // namespace
