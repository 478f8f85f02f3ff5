// Natural order, wildcard and fixed-length comparisons, the memory and
// C-string helpers, and the platform's text comparison stand-ins.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/textutils/TextUtils.h"
#include "text/TextTestSupport.h"
#include "toolbox/text/TextToolbox.h"

using namespace std::string_literals;

namespace {

int Natural(const std::string &a, const std::string &b, bool exact = true) {
  return TextCompareNatural(a.data(), UInt32(a.size()), b.data(), UInt32(b.size()), exact);
}

TEST(TextCompareNatural, Order) {
  struct Case {
    const char *id;
    std::string left, right;
    bool exact;
    int expect;
  };
  const Case cases[] = {
      {"shorter number first", "a2", "a10", true, -1},
      {"greater number", "a10", "a9", true, 1},
      {"plain bytes", "abc", "abd", true, -1},
      {"prefix", "ab", "abc", true, -1},
      {"both empty", "", "", true, 0},
      {"leading zeros sort after", "x007", "x7", true, 1},
      {"zeros inside", "x01y", "x1y", true, 1},
      {"versions", "ver1.10", "ver1.9", true, 1},
      {"case folded", "File10", "file10", false, 0},
      {"case counted", "File10", "file10", true, -1},
      {"all zeros keep one", "a00", "a0", true, 1},
      {"zero against nothing", "a0", "a", true, 1},
      {"digit against letter", "a1", "aa", true, -1},
      {"long runs do not overflow", "n123456789012345678901234567890", "n123456789012345678901234567891", true, -1},
      {"equal numbers, text after", "a10b", "a10c", true, -1},
      {"high bytes unsigned", "a\xE9", "az", true, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(Natural(c.left, c.right, c.exact), c.expect);
    EXPECT_EQ(Natural(c.right, c.left, c.exact), -c.expect) << "not antisymmetric";
  }
}

// The order is a strict weak order on file names: sorting agrees with a
// pairwise check, so it can serve as a sort comparator.
TEST(TextCompareNatural, SortsFileNames) {
  std::vector<std::string> names;
  for (int i : {10, 2, 1, 20, 3, 100, 01})
    for (const char *stem : {"img", "IMG", "img0"}) names.push_back(std::string(stem) + std::to_string(i) + ".jpg");
  std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) { return Natural(a, b) < 0; });
  for (size_t i = 0; i + 1 < names.size(); ++i)
    for (size_t j = i + 1; j < names.size(); ++j) EXPECT_LE(Natural(names[i], names[j]), 0) << names[i] << " " << names[j];
  auto pos = [&](const char *s) { return std::find(names.begin(), names.end(), s) - names.begin(); };
  EXPECT_LT(pos("img2.jpg"), pos("img10.jpg"));
  EXPECT_LT(pos("img10.jpg"), pos("img100.jpg"));
}

TEST(FixedLengthCompare, Comparers) {
  struct Case {
    const char *id;
    std::string text, pattern;
    Boolean exact, fold, wild, wildFold;
  };
  const Case cases[] = {
      {"equal", "abc", "abc", 1, 1, 1, 1},
      {"case differs", "aBc", "AbC", 0, 1, 0, 1},
      {"wildcard byte", "abc", "a*c", 0, 0, 1, 1},
      {"wildcard with case", "aBc", "A*C", 0, 0, 0, 1},
      {"wildcard then differ", "abc", "a*d", 0, 0, 0, 0},
      {"wildcard never stretches", "abcc", "a*c*", 0, 0, 1, 1},
      {"star in text is a byte", "*bc", "abc", 0, 0, 0, 0},
      {"high bytes have no case", "\xC9", "\xE9", 0, 0, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    const UInt32 n = UInt32(c.text.size());
    EXPECT_EQ(CompareTextBlock(c.text.data(), c.pattern.data(), n), c.exact);
    EXPECT_EQ(CompareIgnoreCaseTextBlock(c.text.data(), c.pattern.data(), n), c.fold);
    EXPECT_EQ(CompareWildcardTextBlock(c.text.data(), c.pattern.data(), n), c.wild);
    EXPECT_EQ(CompareWildcardIgnoreCaseTextBlock(c.text.data(), c.pattern.data(), n), c.wildFold);
    EXPECT_EQ(CompareWildcardText(c.text.data(), c.pattern.data(), n, true), c.wild);
    EXPECT_EQ(CompareWildcardText(c.text.data(), c.pattern.data(), n, false), c.wildFold);
  }
}

TEST(CompareWildcardBlock, RunWildcard) {
  struct Case {
    const char *id;
    std::string text, pattern;
    bool expect;
  };
  const Case cases[] = {
      {"exact literal", "abc", "abc", true},
      {"literal differs", "abc", "abd", false},
      {"literal prefix of text", "abcd", "abc", false},
      {"prefix then star", "abcd", "ab*", true},
      {"star matches nothing", "ab", "ab*", true},
      {"suffix", "report.txt", "*.txt", true},
      {"suffix differs", "report.txd", "*.txt", false},
      {"middle", "a-long-b", "a*b", true},
      {"two stars", "xaybz", "*a*b*", true},
      {"needs back-tracking", "aaab", "*ab", true},
      {"star alone", "", "*", true},
      {"empty both", "", "", true},
      {"empty pattern", "a", "", false},
      {"empty text", "", "a*", false},
      {"case counts", "ABC", "abc", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(CompareWildcardBlock(c.text.data(), UInt32(c.text.size()), c.pattern.data(),
                                   UInt32(c.pattern.size())),
              c.expect);
  }
}

TEST(MemoryHelpers, Memicmp) {
  struct Case {
    const char *id;
    std::string a, b;
    size_t n;
    int expect;
  };
  const Case cases[] = {
      {"folded then differ", "ABC", "abd", 3, -1},
      {"equal folded", "HeLLo", "hello", 5, 0},
      {"length bounds", "abX", "abY", 2, 0},
      {"signed bytes: high before ASCII", "\xE9", "a", 1, -1},
      {"stops after both NUL", "a\0x"s, "a\0y"s, 3, 0},
      {"NUL against byte", "a\0"s, "ab", 2, -1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(memicmp(c.a.data(), c.b.data(), c.n), c.expect);
    EXPECT_EQ(memicmp(c.b.data(), c.a.data(), c.n), -c.expect);
  }
}

TEST(MemoryHelpers, StrrstrAndStristr) {
  const char *s = "abcabcab";
  EXPECT_EQ(strrstr(s, "abc"), s + 3);
  EXPECT_EQ(strrstr(s, "ab"), s + 6);
  const char *a = "aaa";
  EXPECT_EQ(strrstr(a, "aa"), a) << "overlapping occurrences are not seen";
  EXPECT_EQ(strrstr(s, "x"), nullptr);
  EXPECT_EQ(strrstr(s, ""), nullptr);

  const char *h = "Hello World";
  EXPECT_EQ(stristr(h, "WORLD"), h + 6);
  EXPECT_EQ(stristr(h, ""), h);
  EXPECT_EQ(stristr(h, nullptr), h);
  EXPECT_EQ(stristr(h, "worlds"), nullptr);
  EXPECT_EQ(stristr("caf\xC9", "CAF\xE9"), nullptr) << "0xC9 and 0xE9 have no case";
}

TEST(PlatformTextUtils, CompareAndIdentical) {
  EXPECT_EQ(IdenticalText("abc", "abc", 3, 3, nullptr), 0);
  EXPECT_EQ(IdenticalText("abc", "abC", 3, 3, nullptr), 1);
  EXPECT_EQ(IdenticalText("abc", "ab", 3, 2, nullptr), 1);
  EXPECT_EQ(CompareText("abc", "abc", 3, 3, nullptr), 0);
  EXPECT_EQ(CompareText("abc", "abd", 3, 3, nullptr), -1);
  EXPECT_EQ(CompareText("B", "a", 1, 1, nullptr), 1) << "primary order ignores case";
  EXPECT_EQ(CompareText("Abc", "abc", 3, 3, nullptr), -1) << "case breaks ties, upper first";
  EXPECT_EQ(CompareText("ab", "abc", 2, 3, nullptr), -1);
  EXPECT_EQ(CompareText(nullptr, "a", 0, 1, nullptr), -1);
  EXPECT_EQ(CompareText("a", "b", -4, -4, nullptr), 0);
}

} // namespace
