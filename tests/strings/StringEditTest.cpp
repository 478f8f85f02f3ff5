// Copy, convert, insert, append, pad and the small helpers. The Pascal
// buffers are guarded: nothing may be written past byte 255.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "text/TextTestSupport.h"
#include "toolbox/strings/StringToolbox.h"

using namespace std::string_literals;
using qltext::CBuf;
using qltext::PStr;

namespace {

const std::string k250(250, 'x');
const std::string k255(255, 'y');

TEST(PascalWriters, StopAt255Bytes) {
  struct Case {
    const char *id;
    std::string initial;
    void (*op)(PStr &);
    std::string expect;
  };
  static const std::string ten = "0123456789";
  const Case cases[] = {
      {"append cut", k250, [](PStr &s) { PStr src(ten); AppendPascalString(s.p(), src.p()); },
       k250 + "01234"},
      {"append count cut", k250,
       [](PStr &s) { PStr src(ten); AppendPascalStringCount(s.p(), src.p(), 1000); }, k250 + "01234"},
      {"append source first", k250,
       [](PStr &s) { PStr src(ten); AppendPascalStringToPascalString(src.p(), s.p()); }, k250 + "01234"},
      {"append C string", k250, [](PStr &s) { AppendCStringToPascalString(ten.c_str(), s.p()); },
       k250 + "01234"},
      {"append text", k250, [](PStr &s) { PStringAppendText(ten.data(), 10, s.p()); }, k250 + "01234"},
      {"append char at 255", k255, [](PStr &s) { AppendCharToPascalString('!', s.p()); }, k255},
      {"insert cut", k250, [](PStr &s) { PStr src(ten); InsertPascalString(s.p(), src.p(), 0); },
       "01234" + k250},
      {"insert count cut", k250,
       [](PStr &s) { PStr src(ten); InsertPascalStringCount(s.p(), src.p(), 1, 8); },
       "x01234" + k250.substr(1)},
      // A maximum above 255 counts as 255.
      {"insert maximum above 255", k250,
       [](PStr &s) { PStr src(ten); InsertMaximumPascalString(s.p(), src.p(), 250, 1000); }, k250 + "01234"},
      {"insert maximum count above 255", k250,
       [](PStr &s) { PStr src(ten); InsertMaximumPascalStringCount(s.p(), src.p(), 250, 9, 300); },
       k250 + "01234"},
      {"insert char at 255", k255, [](PStr &s) { InsertCharIntoPascalString(s.p(), '!', 3); }, k255},
      {"text to Pascal with max above 255", "",
       [](PStr &s) { std::string t(300, 'z'); TextToPascalString(t.data(), 300, 1000, s.p()); },
       std::string(255, 'z')},
      {"C to Pascal copy", "",
       [](PStr &s) { std::string t(300, 'q'); CopyCToPascalString(t.c_str(), s.p()); }, std::string(255, 'q')},
      {"pad width above 255", "ab", [](PStr &s) { PadPascalString(s.p(), 999, '-'); },
       std::string(253, '-') + "ab"},
      {"pad end width above 255", "ab", [](PStr &s) { PadPascalStringToEnd(s.p(), 999, '-'); },
       "ab" + std::string(253, '-')},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    PStr s(c.initial);
    c.op(s);
    EXPECT_EQ(s.str(), c.expect);
    EXPECT_TRUE(s.Intact()) << "wrote past byte 255";
  }
}

TEST(Insert, MaximumRule) {
  struct Case {
    const char *id;
    std::string dest, source;
    UInt32 offset, count, maximum;
    std::string expect;
  };
  const Case cases[] = {
      {"partial fit", "abcdefghij", "XYZ", 2, 99, 12, "abXYcdefghij"},
      {"all fits", "abc", "XYZ", 1, 99, 6, "aXYZbc"},
      {"already at maximum", "abcdef", "XYZ", 1, 99, 6, "abcdef"},
      {"already above maximum", "abcdef", "XYZ", 1, 99, 4, "abcdef"},
      {"count first", "abc", "XYZ", 3, 1, 10, "abcX"},
      {"offset past the end appends", "abc", "XYZ", 99, 99, 10, "abcXYZ"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    PStr d(c.dest), s(c.source);
    InsertMaximumPascalStringCount(d.p(), s.p(), c.offset, c.count, c.maximum);
    EXPECT_EQ(d.str(), c.expect);
    CBuf cd(c.dest, 64);
    InsertMaximumCStringCount(cd.p(), c.source.c_str(), c.offset, c.count, c.maximum);
    EXPECT_EQ(cd.str(), c.expect);
    if (c.count >= c.source.size()) {
      PStr d2(c.dest);
      InsertMaximumPascalString(d2.p(), s.p(), c.offset, c.maximum);
      EXPECT_EQ(d2.str(), c.expect);
      CBuf cd2(c.dest, 64);
      InsertMaximumCString(cd2.p(), c.source.c_str(), c.offset, c.maximum);
      EXPECT_EQ(cd2.str(), c.expect);
    }
  }
}

TEST(Insert, PlainFormsAndOffsets) {
  CBuf c("hello", 32);
  InsertCString(c.p(), "XY", 2);
  EXPECT_EQ(c.str(), "heXYllo");
  InsertCStringCount(c.p(), "123", 100, 2);
  EXPECT_EQ(c.str(), "heXYllo12");
  InsertCharIntoCString(c.p(), '!', 0);
  EXPECT_EQ(c.str(), "!heXYllo12");
  EXPECT_TRUE(c.Intact());

  PStr p("hello");
  InsertCharIntoPascalString(p.p(), '!', 5);
  EXPECT_EQ(p.str(), "hello!");
  PStr src("AB");
  InsertPascalStringCount(p.p(), src.p(), 0, 1);
  EXPECT_EQ(p.str(), "Ahello!");
}

// The source may be the destination itself: the inserted bytes are those
// of the string before the insertion.
TEST(Insert, SourceInsideDestination) {
  PStr p("abc");
  InsertPascalString(p.p(), p.p(), 1);
  EXPECT_EQ(p.str(), "aabcbc");

  CBuf c("abcdef", 32);
  InsertCString(c.p(), c.p(), 2);
  EXPECT_EQ(c.str(), "ababcdefcdef");
  CBuf c2("abcdef", 32);
  InsertCString(c2.p(), c2.p() + 3, 1); // "def" from the moved tail
  EXPECT_EQ(c2.str(), "adefbcdef");
  CBuf c3("abcdef", 32);
  InsertCStringCount(c3.p(), c3.p() + 1, 3, 4); // "bcde" straddles the insertion point
  EXPECT_EQ(c3.str(), "abcbcdedef");
}

TEST(CopyConvert, CAndPascal) {
  CBuf c("", 16);
  CopyCString("hello", c.p());
  EXPECT_EQ(c.str(), "hello");

  CBuf n("", 4);
  CopyCStringCount("hello", n.p(), 3); // max + 1 bytes: "hel" and the NUL
  EXPECT_EQ(n.str(), "hel");
  EXPECT_TRUE(n.Intact());
  CopyCStringCount("hi", n.p(), 3);
  EXPECT_EQ(n.str(), "hi");

  PStr src("hello"), dst;
  CopyPascalStringCount(src.p(), dst.p(), 3);
  EXPECT_EQ(dst.str(), "hel");
  CopyPascalStringCount(src.p(), dst.p(), 100);
  EXPECT_EQ(dst.str(), "hello");

  PStr inplace("abc");
  char *cs = ConvertPascalToCString(inplace.p());
  EXPECT_STREQ(cs, "abc");
  EXPECT_EQ(ConvertCToPascalString(cs), inplace.p());
  EXPECT_EQ(inplace.str(), "abc");
  EXPECT_EQ(ConvertPascalToCString(nullptr), nullptr);
  EXPECT_EQ(ConvertCToPascalString(nullptr), nullptr);

  std::string longC(300, 'k');
  longC.push_back('\0');
  StringPtr asP = ConvertCToPascalString(longC.data());
  EXPECT_EQ(asP[0], 255);
  EXPECT_EQ(qltext::Str(asP), std::string(255, 'k'));

  PStr p("text");
  CBuf out("", 8);
  EXPECT_EQ(CopyPascalToCString(p.p(), out.p()), out.p());
  EXPECT_EQ(out.str(), "text");
  PStringToCString(p.p(), out.p());
  EXPECT_EQ(out.str(), "text");
  PStr q;
  EXPECT_EQ(CStringToPString("abc", q.p()), q.p());
  EXPECT_EQ(q.str(), "abc");
  TextToPascalString("abcdef", 6, 4, q.p());
  EXPECT_EQ(q.str(), "abcd");
}

TEST(Append, CStrings) {
  CBuf c("ab", 16);
  AppendCString(c.p(), "cd");
  AppendCStringCount(c.p(), "efgh", 2);
  AppendCharToCString(c.p(), '!');
  EXPECT_EQ(c.str(), "abcdef!");
  EXPECT_TRUE(c.Intact());
}

TEST(Lengths, AllForms) {
  PStr p("abc");
  EXPECT_EQ(PascalStringLength(p.p()), 3);
  EXPECT_EQ(CStringLength("hello"), 5u);
  EXPECT_EQ(CStringLengthMax("hello", 3), 3u);
  EXPECT_EQ(CStringLengthMax("hi", 0), 0u);
  EXPECT_EQ(CStringNSize("hi", 10), 2u);
  // Never reads past string + max: the buffer below has no NUL.
  const char unterminated[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(CStringLengthMax(unterminated, 4), 4u);
  const UniChar u[] = {'a', 0x263A, 'b', 0};
  EXPECT_EQ(UnicodeStringLength(u), 3u);
  EXPECT_EQ(UnicodeStringLengthMax(u, 2), 2u);
  EXPECT_EQ(UnicodeStringLengthMax(u, 10), 3u);
}

TEST(Pad, FrontAndEnd) {
  PStr p("ab");
  PadPascalString(p.p(), 5, '0');
  EXPECT_EQ(p.str(), "000ab");
  PadPascalString(p.p(), 3, '0');
  EXPECT_EQ(p.str(), "000ab");
  PStr q("ab");
  PadPascalStringToEnd(q.p(), 4, '.');
  EXPECT_EQ(q.str(), "ab..");
}

TEST(FourCharCodes, BothWays) {
  PStr p;
  OSTypeToPascalString(ql::FourCC("TEXT"), p.p());
  EXPECT_EQ(p.str(), "TEXT");
  OSTypeToPascalString(0, p.p());
  EXPECT_EQ(p.str(), "");
  char c[5];
  OSTypeToCString(QL_FOURCC('a', 'b', 'c', 'd'), c);
  EXPECT_STREQ(c, "abcd");

  struct Case {
    const char *id;
    std::string s;
    OSType code;
  };
  const Case cases[] = {{"four", "TEXT", 0x54455854},
                        {"extra bytes ignored", "TEXTS", 0x54455854},
                        {"short", "ab", 0x61620000},
                        {"empty", "", 0},
                        {"high bytes", "\xFF\x80", 0xFF800000}};
  for (const Case &k : cases) {
    SCOPED_TRACE(k.id);
    PStr ps(k.s);
    EXPECT_EQ(PascalStringToOSType(ps.p()), k.code);
    EXPECT_EQ(CStringToOSType(k.s.c_str()), k.code);
  }
}

TEST(Printable, ReplaceAndStrip) {
  PStr p("\x01\x02" "A\x7F\x80 ~"s);
  ReplaceNonPrintableCharsInString(p.p(), '?');
  EXPECT_EQ(p.str(), "??A?? ~");
  PStr q("\x01\x02" "A"s);
  StripNonPrintableCharsFromString(q.p());
  EXPECT_EQ(q.str(), "A");
  PStr r("\0a\x1F\xFF" "b"s);
  StripNonPrintableCharsFromString(r.p());
  EXPECT_EQ(r.str(), "ab");
}

TEST(WhiteSpace, Trimmers) {
  struct Case {
    const char *id;
    std::string text;
    size_t lead, trimmed, untrailed; // first non-white, its trimmed length, length without trailing white
  };
  const Case cases[] = {
      {"both ends", " \t\nab c\r\f\v ", 3, 4, 7},
      {"none", "abc", 0, 3, 3},
      {"all white", " \t ", 3, 0, 0},
      {"empty", "", 0, 0, 0},
      // 0xA0 and 0x85 are not white space in the "C" locale.
      {"high bytes are not white", "\xA0x\x85", 0, 3, 3},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    const char *t = c.text.data();
    const UInt32 n = UInt32(c.text.size());
    UInt32 out = 12345;
    EXPECT_EQ(SkipLeadingWhiteSpace(t, n, &out), t + c.lead);
    EXPECT_EQ(out, n - c.lead);
    SkipTrailingWhiteSpace(t, n, &out);
    EXPECT_EQ(out, c.untrailed);
    EXPECT_EQ(StripLeadingAndTrailingWhiteSpace(t, n, &out), t + c.lead);
    EXPECT_EQ(out, c.trimmed);
    EXPECT_EQ(StripLeadingAndTrailingWhiteSpace(t, n, nullptr), t + c.lead);
    PStr p(c.text);
    PStringStripLeadingAndTrailingWhiteSpace(p.p());
    EXPECT_EQ(p.str(), c.text.substr(c.lead, c.trimmed));
  }
}

TEST(QSortComparator, SortsPascalStringsIgnoringCase) {
  std::vector<PStr> v{PStr("delta"), PStr("Alpha"), PStr("charlie"), PStr("Bravo"), PStr("alp")};
  std::vector<std::array<unsigned char, 256>> a;
  for (auto &s : v) {
    std::array<unsigned char, 256> x{};
    std::memcpy(x.data(), s.p(), 256);
    a.push_back(x);
  }
  std::qsort(a.data(), a.size(), sizeof(a[0]), &QSortPStringCompare);
  std::vector<std::string> got;
  for (auto &x : a) got.push_back(qltext::Str(x.data()));
  EXPECT_EQ(got, (std::vector<std::string>{"alp", "Alpha", "Bravo", "charlie", "delta"}));
}

} // namespace
