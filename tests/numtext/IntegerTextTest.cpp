// Integers to and from text, against the C library's snprintf, strtol and
// strtoul over boundary and random values, plus the documented cases.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdarg>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/intl/International.h"
#include "platform/memory/Memory.h"
#include "toolbox/numbers/NumbersToolbox.h"

namespace {

std::string P(const unsigned char *s) { return std::string(reinterpret_cast<const char *>(s + 1), s[0]); }

struct PStr {
  Str255 s;
  explicit PStr(const std::string &t) {
    s[0] = UInt8(t.size());
    std::memcpy(s + 1, t.data(), t.size());
  }
};

std::string Fmt(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string Fmt(const char *format, ...) {
  char buf[128];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  return buf;
}

// Boundary values and a fixed random sample.
std::vector<UInt32> Values() {
  std::vector<UInt32> v = {0, 1, UInt32(-1), 2, 7, 8, 9, 10, 15, 16, 99, 100, 255, 256, 999, 1000, 65535, 65536,
                           999999999, 1000000000, 0x7FFFFFFF, 0x80000000, 0x80000001, 0xFFFFFFFE};
  for (UInt32 p = 10; p <= 1000000000u; p *= 10) {
    v.push_back(p - 1);
    v.push_back(p);
    v.push_back(0u - p);
  }
  std::mt19937 rng(2024);
  for (int i = 0; i < 3000; ++i) {
    const int bits = std::uniform_int_distribution<int>(1, 32)(rng);
    v.push_back(UInt32(rng() >> (32 - bits)));
  }
  return v;
}

std::string Binary(UInt32 v) {
  std::string s;
  do {
    s.insert(s.begin(), char('0' + (v & 1)));
    v >>= 1;
  } while (v);
  return s;
}

TEST(PascalNumbers, MatchSnprintfForEveryValue) {
  for (UInt32 v : Values()) {
    SCOPED_TRACE(v);
    Str255 s;
    ConvertNumberToString(SInt32(v), s);
    ASSERT_EQ(P(s), Fmt("%" PRId32, SInt32(v)));
    ConvertNumberToHexString(v, s);
    ASSERT_EQ(P(s), Fmt("%" PRIX32, v));
    ConvertNumberToOctalString(v, s);
    ASSERT_EQ(P(s), Fmt("%" PRIo32, v));
    ConvertNumberToBinaryString(v, s);
    ASSERT_EQ(std::strtoul(P(s).c_str(), nullptr, 2), v);
    ASSERT_EQ(P(s), Binary(v));
    for (UInt32 width : {0u, 1u, 4u, 8u, 12u, 33u}) {
      ConvertNumberToHexStringPadded(v, width, s);
      ASSERT_EQ(P(s), Fmt("%0*" PRIX32, int(width), v)) << width;
      ConvertNumberToBinaryStringPadded(v, width, s);
      std::string b = Binary(v);
      if (b.size() < width) b.insert(0, width - b.size(), '0');
      ASSERT_EQ(P(s), b) << width;
    }
    // Back again: every digit of the base is taken.
    ASSERT_EQ(ConvertStringToNumber(PStr(Fmt("%" PRId32, SInt32(v))).s), SInt32(v));
    ASSERT_EQ(UInt32(ConvertHexStringToNumber(PStr(Fmt("%" PRIx32, v)).s)), v);
    ASSERT_EQ(UInt32(ConvertBinaryStringToNumber(PStr(Binary(v)).s)), v);
    ASSERT_EQ(DecimalTextToNumber(Fmt("%" PRId32, SInt32(v)).c_str(), UInt32(Fmt("%" PRId32, SInt32(v)).size())),
              SInt32(v));
  }
}

TEST(PascalNumbers, DocumentedCases) {
  struct Case {
    const char *id;
    void (*make)(StringPtr);
    const char *expected;
  } cases[] = {
      {"zero", [](StringPtr s) { ConvertNumberToString(0, s); }, "0"},
      {"most negative", [](StringPtr s) { ConvertNumberToString(INT32_MIN, s); }, "-2147483648"},
      {"hex padded", [](StringPtr s) { ConvertNumberToHexStringPadded(0x1F, 4, s); }, "001F"},
      {"binary", [](StringPtr s) { ConvertNumberToBinaryString(5, s); }, "101"},
      {"hex zero", [](StringPtr s) { ConvertNumberToHexString(0, s); }, "0"},
      {"separator", [](StringPtr s) { ConvertNumberToFormattedStringWithSeperator(1234567, ',', s); }, "1,234,567"},
      {"separator negative", [](StringPtr s) { ConvertNumberToFormattedStringWithSeperator(-1234, ',', s); }, "-1,234"},
      {"separator none", [](StringPtr s) { ConvertNumberToFormattedStringWithSeperator(999, ',', s); }, "999"},
      {"separator -999", [](StringPtr s) { ConvertNumberToFormattedStringWithSeperator(-999, '.', s); }, "-999"},
      {"separator most negative",
       [](StringPtr s) { ConvertNumberToFormattedStringWithSeperator(INT32_MIN, '\'', s); }, "-2'147'483'648"},
      {"version unknown stage", [](StringPtr s) { NumVersionToPascalString(0x01234503, s); }, "1.2.3"},
      {"version final", [](StringPtr s) { NumVersionToPascalString(0x02108003, s); }, "2.1f3"},
      {"version final no revision", [](StringPtr s) { NumVersionToPascalString(0x02108000, s); }, "2.1f"},
      {"version alpha zero", [](StringPtr s) { NumVersionToPascalString(0x01004000, s); }, "1.0a0"},
      {"version development", [](StringPtr s) { NumVersionToPascalString(0x0A512007, s); }, "10.5.1d7"},
      {"version beta", [](StringPtr s) { NumVersionToPascalString(0xFF006012, s); }, "255.0b18"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    Str255 s;
    std::memset(s, 0xAA, sizeof s);
    c.make(s);
    EXPECT_EQ(P(s), c.expected);
  }
}

TEST(PascalNumbers, AppendStopsAt255) {
  Str255 s;
  s[0] = 250;
  std::memset(s + 1, 'x', 250);
  AppendNumberToString(-1234567, s);
  EXPECT_EQ(s[0], 255);
  EXPECT_EQ(P(s).substr(250), "-1234");
  AppendNumberToHexString(0xFFFF, s);
  EXPECT_EQ(s[0], 255);
  s[0] = 3;
  AppendNumberToOctalString(8, s);
  AppendNumberToBinaryString(2, s);
  EXPECT_EQ(P(s), "xxx1010");
}

TEST(PascalNumbers, ReadersSkipStrayBytesAndWrap) {
  struct Case {
    const char *id;
    SInt32 (*read)(ConstStr255Param);
    const char *text;
    SInt32 expected;
  } cases[] = {
      {"minus first", ConvertStringToNumber, "-1a2", -12},
      {"minus inside", ConvertStringToNumber, "12-3", 123},
      {"empty", ConvertStringToNumber, "", 0},
      {"wraps", ConvertStringToNumber, "4294967297", 1},
      {"most negative", ConvertStringToNumber, "-2147483648", INT32_MIN},
      {"negated wrap", ConvertStringToNumber, "-4294967295", 1},
      {"hex prefix skipped", ConvertHexStringToNumber, "0x1F", 0x1F},
      {"hex cases", ConvertHexStringToNumber, "aBcD", 0xABCD},
      {"hex wraps", ConvertHexStringToNumber, "123456789", 0x23456789},
      {"hex no sign", ConvertHexStringToNumber, "-1", 1},
      {"binary", ConvertBinaryStringToNumber, "1 0 1 2", 5},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(c.read(PStr(c.text).s), c.expected);
  }
  for (int b = 0; b < 256; ++b) {
    const SInt32 dec = b >= '0' && b <= '9' ? b - '0' : -1;
    SInt32 hex = dec;
    if (b >= 'a' && b <= 'f') hex = b - 'a' + 10;
    if (b >= 'A' && b <= 'F') hex = b - 'A' + 10;
    EXPECT_EQ(ConvertCharToNumber(UInt8(b)), dec) << b;
    EXPECT_EQ(ConvertHexCharToNumber(UInt8(b)), hex) << b;
    EXPECT_EQ(ConvertBinaryCharToNumber(UInt8(b)), b == '0' ? 0 : b == '1' ? 1 : -1) << b;
  }
}

TEST(TextNumbers, ForgivingReadersAndPrefixes) {
  const OSType kDeci = QL_FOURCC('d', 'e', 'c', 'i'), kHex = QL_FOURCC('h', 'e', 'x', ' '),
               kBina = QL_FOURCC('b', 'i', 'n', 'a'), kOther = QL_FOURCC('o', 'c', 't', 'a');
  struct Case {
    const char *id;
    const char *text;
    OSType base;
    SInt32 expected;
  } cases[] = {
      {"0x with any code", "  0x1F  ", kOther, 31}, {"0X", "0X1f", kDeci, 31},
      {"dollar", "$ff", kDeci, 255},                {"hash", "#12", kHex, 12},
      {"0b", "0b101", kDeci, 5},                    {"0B", "\t0B11\n", kHex, 3},
      {"hex code", "17", kHex, 23},                 {"binary code", "17", kBina, 1},
      {"decimal code", "7", kDeci, 7},              {"unknown code", "17", kOther, 0},
      {"one byte 0", "0", kDeci, 0},                {"negative decimal", " -42 ", kDeci, -42},
      {"hash negative", "#-5", kDeci, -5},          {"all white", "   ", kDeci, 0},
      {"lone dollar", "$", kHex, 0},                {"dollar then stray", "$1g2", kDeci, 0x12},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(FormattedTextToNumber(c.text, UInt32(std::strlen(c.text)), c.base), c.expected);
  }
  EXPECT_EQ(FormattedTextToNumber(nullptr, 0, kDeci), 0);
  EXPECT_EQ(DecimalTextToNumber("12:34", 5), 1234);
  EXPECT_EQ(DecimalTextToNumber("-7", 2), -7);
  EXPECT_EQ(DecimalTextToNumber("7-", 2), 7);
  EXPECT_EQ(DecimalTextToNumber(nullptr, 0), 0);
  EXPECT_EQ(DecimalTextToNumber("-", 1), 0);
  EXPECT_EQ(HexTextToNumber("de:ad", 5), 0xDEAD);
  EXPECT_EQ(ConvertHexTextToNumber("de:ad", 5), 0xDEAD);
  EXPECT_EQ(BinaryTextToNumber("1x1", 3), 3);
  // Only the given bytes are read.
  EXPECT_EQ(DecimalTextToNumber("123456", 3), 123);
}

// NumberToString against snprintf: every base it shares with printf, every
// pad, width and precision.
TEST(CStringNumbers, NumberToStringMatchesSnprintf) {
  std::mt19937 rng(7);
  const auto values = Values();
  for (size_t k = 0; k < values.size(); ++k) {
    const UInt32 v = values[k];
    const SInt32 width = std::uniform_int_distribution<SInt32>(0, 14)(rng);
    const bool upper = k & 1;
    char out[64];
    SCOPED_TRACE(testing::Message() << v << " width " << width);
    struct Form {
      SInt32 base;
      const char *spacePad, *zeroPad, *upperZero;
    } forms[] = {{16, "%*" PRIx32, "%0*" PRIx32, "%0*" PRIX32},
                 {8, "%*" PRIo32, "%0*" PRIo32, "%0*" PRIo32},
                 {10, "%*" PRIu32, "%0*" PRIu32, "%0*" PRIu32}};
    for (const auto &f : forms) {
      char *end = NumberToString(v, f.base, ' ', width, 0, false, out);
      ASSERT_EQ(std::string(out), Fmt(f.spacePad, int(width), v)) << f.base;
      ASSERT_EQ(end, out + std::strlen(out));
      NumberToString(v, f.base, 'Z', 0, width, upper, out); // precision forces '0' padding
      ASSERT_EQ(std::string(out), Fmt(upper ? f.upperZero : f.zeroPad, int(width), v)) << f.base;
      NumberToString(v, f.base, 0, width, 0, false, out); // NUL pad: no padding
      ASSERT_EQ(std::string(out), Fmt(f.spacePad, 0, v)) << f.base;
    }
    // Signed decimal: the sign goes before the padding and is not counted.
    const SInt32 s = SInt32(v);
    NumberToString(v, -10, '0', width, 0, false, out);
    if (s == INT32_MIN) {
      ASSERT_STREQ(out, "-2147483648");
    } else if (s < 0) {
      ASSERT_EQ(std::string(out), "-" + Fmt("%0*" PRId32, int(width), -s));
    } else {
      ASSERT_EQ(std::string(out), Fmt("%0*" PRId32, int(width), s));
    }
    // Bases printf lacks: read back with strtoul.
    for (SInt32 base : {2, 3, 5, 7, 11, 13}) {
      NumberToString(v, base, ' ', 0, 0, true, out);
      char *stop = nullptr;
      ASSERT_EQ(std::strtoul(out, &stop, base), v) << base;
      ASSERT_EQ(*stop, 0);
      ASSERT_TRUE(out[0] != '0' || v == 0);
    }
  }
}

TEST(CStringNumbers, DocumentedCasesAndBadBases) {
  char out[64];
  NumberToString(255, 16, ' ', 6, 0, false, out);
  EXPECT_STREQ(out, "    ff");
  NumberToString(255, 16, 0, 0, 4, true, out);
  EXPECT_STREQ(out, "00FF");
  NumberToString(UInt32(-42), -10, 0, 0, 0, false, out);
  EXPECT_STREQ(out, "-42");
  NumberToString(UInt32(-5), -10, '0', 4, 0, false, out);
  EXPECT_STREQ(out, "-0005");
  NumberToString(UInt32(-5), -10, ' ', 4, 0, false, out);
  EXPECT_STREQ(out, "-   5");
  NumberToString(0x80000000u, -10, '0', 20, 0, false, out);
  EXPECT_STREQ(out, "-2147483648");
  NumberToString(0x80000000u, 10, 0, 0, 0, false, out);
  EXPECT_STREQ(out, "2147483648") << "base 10 is unsigned";
  NumberToString(0, 2, 0, 0, 0, false, out);
  EXPECT_STREQ(out, "0");
  // Bases with no digits (0, 1, negative other than -10) or beyond the
  // 16-digit alphabet are refused: empty output, no endless loop.
  for (SInt32 base : {0, 1, -1, -2, -16, 17, 36, INT32_MIN}) {
    SCOPED_TRACE(base);
    std::memset(out, 'A', sizeof out);
    EXPECT_EQ(NumberToString(12345, base, '0', 8, 0, false, out), out);
    EXPECT_EQ(out[0], 0);
  }
  // Width beyond the scratch of a fixed buffer is written straight out.
  std::vector<char> big(300);
  NumberToString(7, 10, '.', 250, 0, false, big.data());
  EXPECT_EQ(std::string(big.data()), std::string(249, '.') + "7");
}

TEST(CStringNumbers, StringToNumberMatchesStrtol) {
  std::mt19937 rng(99);
  const char *spaces[] = {"", " ", "\t", "\n", " \t\n "};
  const char *tails[] = {"", "x", " 5", "-", "z9", ".", "\r"};
  for (int base : {10, 16}) {
    for (int i = 0; i < 4000; ++i) {
      const int digits = std::uniform_int_distribution<int>(1, 19)(rng);
      std::string num;
      for (int d = 0; d < digits; ++d)
        num.push_back((base == 10 ? "0123456789" : "0123456789abcdefABCDEF")[rng() % (base == 10 ? 10 : 22)]);
      const bool minus = rng() & 1;
      const std::string text = std::string(spaces[rng() % 5]) + (minus ? "-" : "") + num + tails[rng() % 7];
      SCOPED_TRACE(text + " base " + std::to_string(base));
      char *ourEnd = nullptr, *theirEnd = nullptr;
      const SInt32 ours = StringToNumber(text.c_str(), &ourEnd, base);
      // strtoull reads the digits exactly (19 digits fit 64 bits in base
      // 10; in base 16 only the last 8 digits matter after the wrap).
      const unsigned long long theirs = std::strtoull(num.c_str() + (base == 16 && digits > 16 ? digits - 16 : 0),
                                                      nullptr, base);
      std::strtol(text.c_str(), &theirEnd, base);
      const UInt32 expected = minus ? 0u - UInt32(theirs) : UInt32(theirs);
      ASSERT_EQ(UInt32(ours), expected);
      ASSERT_EQ(ourEnd, theirEnd);
    }
  }
  // Boundary values through strtol/strtoul.
  for (UInt32 v : {0u, 1u, UInt32(-1), 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
    const std::string dec = Fmt("%" PRId32, SInt32(v));
    EXPECT_EQ(StringToNumber(dec.c_str(), nullptr, 10), SInt32(std::strtol(dec.c_str(), nullptr, 10)));
    const std::string hex = Fmt("%" PRIx32, v);
    EXPECT_EQ(UInt32(StringToNumber(hex.c_str(), nullptr, 16)), std::strtoul(hex.c_str(), nullptr, 16));
  }
}

TEST(CStringNumbers, StringToNumberEdges) {
  struct Case {
    const char *id;
    const char *text;
    SInt32 base;
    SInt32 expected;
    long endOffset;
  } cases[] = {
      {"documented", " -12x", 10, -12, 4},
      {"hex", "1F", 16, 31, 2},
      {"minus without digits is consumed", "-x", 10, 0, 1},
      {"other white space is not skipped", "\r5", 10, 0, 0},
      {"vertical tab stops", "\v5", 10, 0, 0},
      {"plus is no sign", "+5", 10, 0, 0},
      {"bad base", " 12", 8, 0, 0},
      {"base 2 refused", "101", 2, 0, 0},
      {"most negative", "-2147483648", 10, INT32_MIN, 11},
      {"wraps", "4294967296", 10, 0, 10},
      {"hex letters in base 10 stop", "12ab", 10, 12, 2},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    char *end = reinterpret_cast<char *>(0x1);
    EXPECT_EQ(StringToNumber(c.text, &end, c.base), c.expected);
    EXPECT_EQ(end, c.text + c.endOffset);
    EXPECT_EQ(StringToNumber(c.text, nullptr, c.base), c.expected);
  }
}

TEST(TextBlockNumbers, NumberToTextMatchesSnprintfAndStrtoull) {
  std::mt19937_64 rng(5);
  std::vector<UInt64> values = {0, 1, UINT64_MAX, UInt64(INT64_MIN), UInt64(INT64_MAX), 0x80000000u, 0xFFFFFFFFu};
  for (int i = 0; i < 3000; ++i) values.push_back(rng() >> (rng() % 64));
  for (UInt64 v : values) {
    SCOPED_TRACE(v);
    char out[80];
    UInt32 n = 0;
    NumberToText64(v, true, 10, 80, out, &n);
    ASSERT_EQ(std::string(out, n), Fmt("%" PRId64, SInt64(v)));
    NumberToText64(v, false, 10, 80, out, &n);
    ASSERT_EQ(std::string(out, n), Fmt("%" PRIu64, v));
    NumberToText64(v, false, 16, 80, out, &n);
    ASSERT_EQ(std::string(out, n), Fmt("%" PRIX64, v));
    NumberToText64(v, false, 8, 80, out, &n);
    ASSERT_EQ(std::string(out, n), Fmt("%" PRIo64, v));
    for (UInt64 base : {2ull, 3ull, 7ull, 20ull, 35ull, 36ull}) {
      NumberToText64(v, false, base, 80, out, &n);
      ASSERT_EQ(std::strtoull(std::string(out, n).c_str(), nullptr, int(base)), v) << base;
    }
    const UInt32 v32 = UInt32(v);
    NumberToText(v32, true, 10, 80, out, &n);
    ASSERT_EQ(std::string(out, n), Fmt("%" PRId32, SInt32(v32)));
    NumberToText(v32, false, 16, 80, out, &n);
    ASSERT_EQ(std::string(out, n), Fmt("%" PRIX32, v32));
    NumberToText(v32, true, 16, 80, out, &n);
    const SInt32 s = SInt32(v32);
    ASSERT_EQ(std::string(out, n), s < 0 ? "-" + Fmt("%" PRIX32, 0u - v32) : Fmt("%" PRIX32, v32));
  }
}

TEST(TextBlockNumbers, CutsInvalidBasesAndPadding) {
  char out[16];
  UInt32 n = 0;
  NumberToText(UInt32(-255), true, 16, 3, out, &n);
  EXPECT_EQ(std::string(out, n), "-FF");
  std::memset(out, '#', sizeof out);
  NumberToText(UInt32(-255), true, 16, 2, out, &n);
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(std::string(out, 3), "-F#");
  NumberToText(0x80000000u, true, 10, 16, out, &n);
  EXPECT_EQ(std::string(out, n), "-2147483648");
  NumberToText(12, false, 10, 16, nullptr, &n);
  EXPECT_EQ(n, 2u);
  NumberToText(12, false, 10, 16, out, nullptr);
  for (UInt64 base : {0ull, 1ull, 37ull, 1ull << 40}) {
    SCOPED_TRACE(base);
    std::memset(out, '#', sizeof out);
    n = 99;
    NumberToText64(1234, false, base, 16, out, &n);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(out[0], '#');
    NumberToText(1234, true, UInt32(base), 16, out, &n);
    EXPECT_EQ(n, 0u);
  }

  char text[8] = {'a', 'b', '#', '#', '#', '#', '#', '#'};
  PadText(2, text, 5, '*');
  EXPECT_EQ(std::string(text, 6), "***ab#");
  PadText(5, text, 3, '-');
  EXPECT_EQ(std::string(text, 6), "***ab#") << "width below length changes nothing";

  std::memset(out, '#', sizeof out);
  ConvertNumberToHexText(0x1F, out, 4);
  EXPECT_EQ(std::string(out, 5), "001F#");
  ConvertNumberToHexText(0x12345, out, 2);
  EXPECT_EQ(std::string(out, 5), "451F#") << "only width bytes, the low digits";
  ConvertNumberToHexText(0xABC, out, 0);
  EXPECT_EQ(out[0], '4');
}

// The system separator comes from 'itl0', which is released again.
TEST(FormattedNumbers, SystemSeparatorAndResourceErrors) {
  const SInt32 handles = PlatformLiveHandleCount();
  Str255 s;
  EXPECT_EQ(ConvertNumberToFormattedString(-1234567, s), noErr);
  EXPECT_EQ(P(s), "-1,234,567");
  EXPECT_EQ(PlatformLiveHandleCount(), handles) << "the resource is released";

  PlatformSetIntlResourcesMissing(true);
  std::memset(s, 0, sizeof s);
  EXPECT_EQ(ConvertNumberToFormattedString(1234, s), resNotFound);
  EXPECT_EQ(P(s), "1,234") << "written with ',' all the same";
  PlatformSetIntlResourcesMissing(false);

  PlatformSetIntlResourceError(mapReadErr);
  EXPECT_EQ(ConvertNumberToFormattedString(5000, s), mapReadErr);
  EXPECT_EQ(P(s), "5,000");
  PlatformSetIntlResourceError(noErr);
  Handle h = GetIntlResource(0);
  ASSERT_NE(h, nullptr);
  ReleaseResource(h);
  EXPECT_EQ(PlatformLiveHandleCount(), handles);
}

} // namespace
