// One table of cases per family, run through every twin (text block, C
// string, Pascal string), with an expected value per twin where their
// contracts differ: unsigned versus signed byte order, what a proper prefix
// or an empty side gives, the empty-pattern and NUL-byte rules.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "text/TextTestSupport.h"
#include "toolbox/strings/StringToolbox.h"
#include "toolbox/text/TextToolbox.h"

using namespace std::string_literals;
using qltext::PStr;

namespace {

constexpr int kSkip = INT_MIN; // the twin cannot express the case (embedded NUL)

long Offset(const void *hit, const void *base) {
  return hit == nullptr ? -1 : static_cast<const char *>(hit) - static_cast<const char *>(base);
}

TEST(TwinTables, Compare) {
  struct Case {
    const char *id;
    std::string left, right;
    bool exact;
    int text, pascal, cstr;
  };
  const Case cases[] = {
      {"first difference", "abc", "abd", true, -1, -1, -1},
      {"shorter left sorts first", "ab", "abc", true, -98, -98, -99},
      {"shorter right", "abc", "ab", true, 98, 98, 99},
      {"empty left", "", "x", true, -120, -120, -120},
      {"empty right", "x", "", true, 120, 120, 120},
      // The text form reports the other side's first byte unfolded, the Pascal form folded.
      {"empty left folded", "", "ABC", false, -65, -97, -97},
      {"case ignored", "ABC", "abc", false, 0, 0, 0},
      {"case counted", "ABC", "abc", true, -32, -32, -32},
      {"folded last shared byte", "aB", "abc", false, -98, -98, -99},
      // Unsigned versus signed bytes: 0xE9 sorts after 'a' in text and C
      // strings, before it in Pascal strings.
      {"high byte order", "\xE9", "a", true, 0xE9 - 'a', -23 - 'a', 0xE9 - 'a'},
      {"high bytes have no case", "\xC9", "\xE9", false, -32, -32, -32},
      // A shorter string ending in NUL never equals the longer one.
      {"prefix ending in NUL", "a\0"s, "a\0b"s, true, -1, -1, kSkip},
      {"prefix ending in NUL, right", "a\0b"s, "a\0"s, true, 1, 1, kSkip},
      {"empty against NUL", "", "\0"s, true, -1, -1, kSkip},
      // A Pascal prefix ending in a byte >= 0x80 still sorts first.
      {"prefix ending high", "a\xE9", "a\xE9z", true, -0xE9, -1, -'z'},
      {"equal", "same", "same", true, 0, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(TextCompare(c.left.data(), UInt32(c.left.size()), c.right.data(), UInt32(c.right.size()),
                          c.exact),
              c.text);
    PStr l(c.left), r(c.right);
    EXPECT_EQ(PascalStringCompare(l.p(), r.p(), c.exact), c.pascal);
    if (c.cstr != kSkip) {
      EXPECT_EQ(CStringCompare(c.left.c_str(), c.right.c_str(), c.exact), c.cstr);
    }
    if (!c.exact) {
      EXPECT_EQ(QSortPStringCompare(l.p(), r.p()), c.pascal);
    }
  }
  EXPECT_EQ(TextCompare(nullptr, 3, "abc", 3, true), 0);
  EXPECT_EQ(TextCompare("abc", 3, nullptr, 3, true), 0);
}

TEST(TwinTables, SubstringSearch) {
  struct Case {
    const char *id;
    std::string text, pattern;
    bool exact;
    long text_off, c_off, pascal_off; // -1: not found
  };
  const Case cases[] = {
      {"first occurrence", "xxabdabc", "abc", true, 5, 5, 5},
      {"absent", "xxabd", "abc", true, -1, -1, -1},
      {"folded", "xxABC", "abc", false, 2, 2, 2},
      {"case counted", "xxABC", "abc", true, -1, -1, -1},
      {"text shorter than pattern", "ab", "abc", true, -1, -1, -1},
      {"self-overlapping", "aaab", "aab", true, 1, 1, 1},
      {"whole text", "abc", "abc", true, 0, 0, 0},
      {"at the very end", "xyzab", "ab", true, 3, 3, 3},
      {"one byte", "xyz", "z", true, 2, 2, 2},
      {"high bytes have no case", "\xC9x", "\xE9x", false, -1, -1, -1},
      // Empty pattern: nothing for text blocks, the text itself for C and
      // Pascal strings.
      {"empty pattern", "abc", "", true, -1, 0, 0},
      {"empty text", "", "a", true, -1, -1, -1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    const char *t = c.text.data();
    const UInt32 n = UInt32(c.text.size()), m = UInt32(c.pattern.size());
    EXPECT_EQ(Offset(TextSearch(t, n, c.pattern.data(), m, c.exact), t), c.text_off);
    EXPECT_EQ(Offset(SearchTextContains(t, n, c.pattern.data(), m, c.exact), t), c.text_off);
    EXPECT_EQ(Offset(CStringStringSearch(t, c.pattern.c_str(), c.exact), t), c.c_off);
    if (!c.exact) {
      EXPECT_EQ(Offset(stristr(t, c.pattern.c_str()), t), c.c_off);
    }
    PStr ps(c.text), pp(c.pattern), out;
    StringPtr r = PascalStringStringSearch(ps.p(), pp.p(), c.exact, out.p());
    if (c.pascal_off < 0) {
      EXPECT_EQ(r, nullptr);
      EXPECT_EQ(out.str(), "");
    } else {
      EXPECT_EQ(r, out.p());
      EXPECT_EQ(out.str(), c.text.substr(size_t(c.pascal_off)));
    }
    EXPECT_TRUE(out.Intact());
  }
}

TEST(TwinTables, ByteSearchAndCounts) {
  struct Case {
    const char *id;
    std::string text;
    unsigned char byte;
    bool exact;
    long first, last; // text block and Pascal forms
    long c_first, c_last;
    int count, run;
  };
  const Case cases[] = {
      {"0xE9 matches itself folded", "\xE9" "abc", 0xE9, false, 0, 0, 0, 0, 1, 1},
      {"'A' finds 'a' folded", "xaAa", 'A', false, 1, 3, 1, 3, 3, 0},
      {"case counted", "xaAa", 'A', true, 2, 2, 2, 2, 1, 0},
      {"leading run", "aaAb", 'a', false, 0, 2, 0, 2, 3, 3},
      {"absent", "abc", 'z', true, -1, -1, -1, -1, 0, 0},
      {"high bytes have no case", "\xC9", 0xE9, false, -1, -1, -1, -1, 0, 0},
      // Searching a C string for NUL finds its terminator; the text and
      // Pascal forms have no terminator.
      {"NUL", "ab", 0, true, -1, -1, 2, 2, 0, 0},
      {"empty", "", 'a', true, -1, -1, -1, -1, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    const char *t = c.text.c_str();
    const UInt32 n = UInt32(c.text.size());
    EXPECT_EQ(Offset(TextByteSearch(t, n, c.byte, c.exact), t), c.first);
    EXPECT_EQ(Offset(TextReverseByteSearch(t, n, c.byte, c.exact), t), c.last);
    EXPECT_EQ(Offset(CStringCharSearch(t, c.byte, c.exact), t), c.c_first);
    EXPECT_EQ(Offset(CStringCharReverseSearch(t, c.byte, c.exact), t), c.c_last);
    PStr ps(c.text), out;
    StringPtr r = PascalStringCharSearch(ps.p(), c.byte, c.exact, out.p());
    EXPECT_EQ(r ? out.str() : "-", c.first < 0 ? "-" : c.text.substr(size_t(c.first)));
    r = PascalStringCharReverseSearch(ps.p(), c.byte, c.exact, out.p());
    EXPECT_EQ(r ? out.str() : "-", c.last < 0 ? "-" : c.text.substr(size_t(c.last)));
    EXPECT_EQ(TextCountMatchingBytes(t, n, c.byte, c.exact), UInt32(c.count));
    EXPECT_EQ(CStringCountChars(t, c.byte, c.exact), UInt32(c.count));
    EXPECT_EQ(CStringSetCharSearch(t, c.byte, c.exact), UInt32(c.count));
    EXPECT_EQ(PascalStringCountChars(ps.p(), c.byte, c.exact), c.count);
    EXPECT_EQ(PascalStringSetCharSearch(ps.p(), c.byte, c.exact), c.count);
    EXPECT_EQ(TextCountConsecutiveMatchingBytes(t, n, c.byte, c.exact), UInt32(c.run));
    EXPECT_EQ(CStringCountConsecutiveChars(t, c.byte, c.exact), UInt32(c.run));
    EXPECT_EQ(PascalStringCountConsecutiveChars(ps.p(), c.byte, c.exact), c.run);
    // The text as a set contains the byte exactly when a search finds it.
    EXPECT_EQ(PascalStringSetContainsChar(ps.p(), c.byte, c.exact), c.first >= 0);
    EXPECT_EQ(CStringSetContainsChar(t, c.byte, c.exact), c.first >= 0);
  }
  EXPECT_EQ(TextByteSearch(nullptr, 4, 'a', true), nullptr);
  EXPECT_EQ(TextCountMatchingBytes(nullptr, 4, 'a', true), 0u);
}

TEST(TwinTables, SetSearchAndSpans) {
  struct Case {
    const char *id;
    std::string text, set;
    bool exact;
    long first; // first byte in the set
    int in, not_in;
  };
  const Case cases[] = {
      {"leading members", "aab!b", "ab", true, 0, 3, 0},
      {"leading non-members", "xyab", "ab", true, 2, 0, 2},
      {"no member at all", "xyzw", "ab", true, -1, 0, 4},
      {"empty set", "xyab", "", true, -1, 0, 0},
      {"folded set", "ABx", "ab", false, 0, 2, 0},
      {"case counted", "ABx", "ab", true, -1, 0, 3},
      {"folded both ways", "abX", "BAx", false, 0, 3, 0},
      {"empty text", "", "ab", true, -1, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    const char *t = c.text.c_str();
    const UInt32 n = UInt32(c.text.size()), k = UInt32(c.set.size());
    EXPECT_EQ(Offset(TextSetSearch(t, n, c.set.data(), k, c.exact), t), c.first);
    EXPECT_EQ(Offset(CStringSetSearch(t, c.set.c_str(), c.exact), t), c.first);
    EXPECT_EQ(TextSetCountSearch(t, n, c.set.data(), k, c.exact), UInt32(c.in));
    EXPECT_EQ(CStringSetCountSearch(t, c.set.c_str(), c.exact), UInt32(c.in));
    EXPECT_EQ(TextNotSetCountSearch(t, n, c.set.data(), k, c.exact), UInt32(c.not_in));
    EXPECT_EQ(CStringNotSetCountSearch(t, c.set.c_str(), c.exact), UInt32(c.not_in));
    PStr ps(c.text), pset(c.set), out;
    StringPtr r = PascalStringSetSearch(ps.p(), pset.p(), c.exact, out.p());
    EXPECT_EQ(r ? out.str() : "-", c.first < 0 ? "-" : c.text.substr(size_t(c.first)));
    EXPECT_EQ(PascalStringSetCountSearch(ps.p(), pset.p(), c.exact), c.in);
    EXPECT_EQ(PascalStringNotSetCountSearch(ps.p(), pset.p(), c.exact), c.not_in);
  }
}

TEST(TwinTables, CountStrings) {
  struct Case {
    const char *id;
    std::string text, pattern;
    bool exact;
    int count;
  };
  const Case cases[] = {
      {"non-overlapping", "aaaa", "aa", true, 2},
      {"resumes past each match", "aaa", "aa", true, 1},
      {"folded", "AbaBab", "ab", false, 3},
      {"case counted", "AbaBab", "ab", true, 1},
      {"empty pattern", "abc", "", true, 0},
      {"absent", "abc", "x", true, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(CStringCountStrings(c.text.c_str(), c.pattern.c_str(), c.exact), UInt32(c.count));
    PStr t(c.text), p(c.pattern);
    EXPECT_EQ(PascalStringCountStrings(t.p(), p.p(), c.exact), c.count);
  }
}

TEST(TwinTables, Removal) {
  enum Kind { kChar, kSet, kNotSet, kString };
  struct Case {
    const char *id;
    Kind kind;
    std::string text, arg; // arg: the byte (first char), set or pattern
    bool exact, all;
    std::string result;
    int removed;
  };
  const Case cases[] = {
      {"char first", kChar, "banana", "a", true, false, "bnana", 1},
      {"char all", kChar, "banana", "a", true, true, "bnn", 3},
      {"char folded", kChar, "bAnana", "a", false, true, "bnn", 3},
      {"char absent", kChar, "xyz", "a", true, true, "xyz", 0},
      {"char empty string", kChar, "", "a", true, true, "", 0},
      {"set all", kSet, "a-b_c-d", "-_", true, true, "abcd", 3},
      // Without all, each set byte in turn removes its first occurrence.
      {"set first of each", kSet, "a-b_c-d_", "-_", true, false, "abc-d_", 2},
      {"set folded", kSet, "AbCd", "ac", false, true, "bd", 2},
      {"not set", kNotSet, "a1b2c3", "0123456789", true, false, "123", 3},
      {"not set folded", kNotSet, "aAbB", "a", false, false, "aA", 2},
      {"not set empty set keeps nothing", kNotSet, "abc", "", true, false, "", 3},
      {"string resumes where removed text began", kString, "aabb", "ab", true, true, "ab", 1},
      {"string all", kString, "xabyabzab", "ab", true, true, "xyz", 3},
      {"string first", kString, "xabyab", "ab", true, false, "xyab", 1},
      {"string folded", kString, "xABy", "ab", false, true, "xy", 1},
      {"string whole", kString, "abab", "abab", true, true, "", 1},
      {"string empty pattern", kString, "abc", "", true, true, "abc", 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    std::string cs = c.text;
    cs.push_back('\0');
    PStr ps(c.text), parg(c.arg);
    long cr = 0, pr = 0;
    const UInt8 byte = c.arg.empty() ? 0 : UInt8(c.arg[0]);
    switch (c.kind) {
    case kChar:
      cr = CStringRemoveChar(cs.data(), byte, c.exact, c.all);
      pr = PascalStringRemoveChar(ps.p(), byte, c.exact, c.all);
      break;
    case kSet:
      cr = CStringRemoveSet(cs.data(), c.arg.c_str(), c.exact, c.all);
      pr = PascalStringRemoveSet(ps.p(), parg.p(), c.exact, c.all);
      break;
    case kNotSet:
      cr = CStringRemoveNotSet(cs.data(), c.arg.c_str(), c.exact);
      pr = PascalStringRemoveNotSet(ps.p(), parg.p(), c.exact);
      break;
    case kString:
      cr = CStringRemoveString(cs.data(), c.arg.c_str(), c.exact, c.all);
      pr = PascalStringRemoveString(ps.p(), parg.p(), c.exact, c.all);
      break;
    }
    EXPECT_EQ(std::string(cs.c_str()), c.result);
    EXPECT_EQ(cr, c.removed);
    EXPECT_EQ(ps.str(), c.result);
    EXPECT_EQ(pr, c.removed);
  }
}

TEST(TwinTables, DeleteCharCount) {
  struct Case {
    const char *id;
    std::string text;
    UInt32 count;
    bool from_start;
    UInt32 offset;
    std::string result;
    int deleted;
  };
  const Case cases[] = {
      {"start", "abcdef", 2, true, 0, "cdef", 2},
      {"start offset", "abcdef", 2, true, 1, "adef", 2},
      {"start offset runs to the end", "abcdef", 5, true, 3, "abc", 3},
      {"end", "abcdef", 2, false, 0, "abcd", 2},
      {"end offset", "abcdef", 2, false, 3, "abcf", 2},
      {"end offset clamped to length - offset", "abcdefghij", 5, false, 8, "abefghij", 2},
      // The span that begins offset bytes before the end stops at the end.
      {"end span past the end", "abcdefghij", 8, false, 3, "abcdefg", 3},
      {"end count above offset", "abcdefghij", 5, false, 2, "abcdefgh", 2},
      {"whole string", "abc", 3, true, 0, "", 3},
      {"count above length", "abc", 4, true, 0, "abc", 0},
      {"offset at length", "abc", 1, true, 3, "abc", 0},
      {"empty", "", 1, true, 0, "", 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    qltext::CBuf cs(c.text, c.text.size() + 1);
    EXPECT_EQ(CStringDeleteCharCount(cs.p(), c.count, c.from_start, c.offset), UInt32(c.deleted));
    EXPECT_EQ(cs.str(), c.result);
    EXPECT_TRUE(cs.Intact());
    PStr ps(c.text);
    EXPECT_EQ(PascalStringDeleteCharCount(ps.p(), c.count, c.from_start, c.offset), c.deleted);
    EXPECT_EQ(ps.str(), c.result);
  }
}

TEST(TwinTables, Truncate) {
  struct Case {
    const char *id;
    std::string text;
    UInt32 length;
    SInt16 where;
    std::string result;
  };
  const Case cases[] = {
      {"end", "abcdefgh", 5, smTruncEnd, "abcd\xC9"},
      {"middle", "abcdefgh", 5, smTruncMiddle, "ab\xC9gh"},
      {"middle even", "abcdefgh", 6, smTruncMiddle, "abc\xC9gh"},
      {"end to one byte: no ellipsis", "abc", 1, smTruncEnd, "a"},
      {"middle to one byte", "abc", 1, smTruncMiddle, "a"},
      {"to zero", "abc", 0, smTruncEnd, ""},
      {"other code just cuts", "abcdef", 3, 1, "abc"},
      {"long enough already", "abc", 3, smTruncEnd, "abc"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    std::string cs = c.text + '\0';
    TruncateCString(cs.data(), c.length, c.where);
    EXPECT_EQ(std::string(cs.c_str()), c.result);
    PStr ps(c.text);
    TruncatePascalString(ps.p(), c.length, c.where);
    EXPECT_EQ(ps.str(), c.result);
  }
}

// Every byte through both case conversions of both twins.
TEST(TwinTables, CaseConversionOfEveryByte) {
  for (int b = 1; b < 256; ++b) {
    SCOPED_TRACE(b);
    const unsigned char c = static_cast<unsigned char>(b);
    const unsigned char lower = (c >= 'A' && c <= 'Z') ? c + 32 : c;
    const unsigned char upper = (c >= 'a' && c <= 'z') ? c - 32 : c;
    char s[2] = {char(c), 0};
    EXPECT_EQ(ConvertCStringToLowercase(s), s);
    EXPECT_EQ(static_cast<unsigned char>(s[0]), lower);
    s[0] = char(c);
    ConvertCStringToUppercase(s);
    EXPECT_EQ(static_cast<unsigned char>(s[0]), upper);
    PStr p(std::string(1, char(c)));
    ConvertPascalStringToLowercase(p.p());
    EXPECT_EQ(p.b[1], lower);
    p.b[1] = c;
    ConvertPascalStringToUppercase(p.p());
    EXPECT_EQ(p.b[1], upper);
  }
}

} // namespace
