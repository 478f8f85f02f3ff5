// Floating-point values through the number formats: the canonical format
// against snprintf, format strings, malformed formats, the missing-table
// and bad-text paths, and the 80-bit extended conversions against the
// host's own x87 extended type.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "platform/intl/International.h"
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

// snprintf("%.*f") with trailing fraction zeros (and a bare point) removed:
// what the canonical '######0.###' format shows.
std::string Canonical(double v, int fraction) {
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.*f", fraction, v);
  std::string s = buf;
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

TEST(CanonicalFormat, CompilesAndCopiesTheNumberParts) {
  NumFormatString format;
  NumberParts parts;
  std::memset(&parts, 0xAA, sizeof parts);
  EXPECT_EQ(CreateCannonicalStringFormat(0, &format, &parts), fFormatOK);
  EXPECT_EQ(parts.version, curNumberPartsVersion);
  EXPECT_EQ(parts.data[tokDecPoint - 1].a[0], '.');
  EXPECT_EQ(parts.data[tokThousands - 1].a[0], ',');
  EXPECT_GT(format.fLength, 0);
  extended80 x;
  const double v = 3.25;
  dtox80(&v, &x);
  Str255 out;
  EXPECT_EQ(ExtendedToString(&x, &format, &parts, out), fFormatOK);
  EXPECT_EQ(P(out), "3.25");
}

TEST(CanonicalFormat, MatchesSnprintfRounding) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> unit(-1, 1);
  for (int i = 0; i < 3000; ++i) {
    const double v = unit(rng) * std::pow(10.0, std::uniform_int_distribution<int>(-8, 14)(rng));
    for (SInt32 precision : {0, 1, 2, 5, 12, 30}) {
      const int fraction = precision <= 0 || precision > 12 ? 12 : precision;
      Str255 out;
      ConvertDoubleToString(v, precision, out);
      ASSERT_EQ(P(out), Canonical(v, fraction)) << v << " precision " << precision;
    }
  }
}

TEST(CanonicalFormat, DocumentedValuesAndReadingBack) {
  struct Case {
    const char *id;
    double value;
    SInt32 precision;
    const char *text;
  } cases[] = {
      {"fraction", 3.25, 0, "3.25"},       {"no fraction", 2, 0, "2"},
      {"below one", 0.5, 0, "0.5"},        {"negative", -1234.5, 0, "-1234.5"},
      {"more digits than places", 123456789, 0, "123456789"},
      {"precision 2", 3.14159, 2, "3.14"}, {"zero", 0, 0, "0"},
      {"negative zero", -0.0, 0, "0"},     {"rounds to zero", 1e-13, 0, "0"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    Str255 out;
    EXPECT_EQ(ConvertDoubleToString(c.value, c.precision, out), out);
    EXPECT_EQ(P(out), c.text);
    EXPECT_EQ(ConvertStringToDouble(out, c.precision), std::strtod(c.text, nullptr));
  }
  EXPECT_EQ(ConvertStringToDouble(PStr(" 12.5 ").s, 0), 12.5);
  EXPECT_EQ(ConvertStringToDouble(PStr("-0.125").s, 0), -0.125);
  EXPECT_EQ(ConvertStringToDouble(PStr("1,234.5").s, 0), 1234.5);
  EXPECT_EQ(ConvertStringToDouble(PStr("abc").s, 0), 0.0);
  EXPECT_EQ(ConvertStringToDouble(PStr("12x").s, 0), 0.0);
  EXPECT_EQ(ConvertStringToDouble(PStr("").s, 0), 0.0);
}

TEST(FormatStrings, ValuesThroughFormats) {
  struct Case {
    const char *format;
    double value;
    const char *text;
  } cases[] = {
      {"###,##0.00", 1234567.891, "1,234,567.89"},
      {"###,##0.00", -12.5, "-12.50"},
      {"###,##0.00", 0.004, "0.00"},
      {"##0.00;(##0.00)", -12.5, "(12.50)"},
      {"##0.00;(##0.00);'zero'", 0, "zero"},
      {"0.00E+00", 12345.678, "1.23E+04"},
      {"0.00E+00", 0.000123, "1.23E-04"},
      {"0.###E-0", 12345.678, "1.235E4"},
      {"##0%", 0.256, "26%"},
      {"'$'#,##0.00", 1234.5, "$1,234.50"},
      {"^^^0.0", 5.25, "   5.2"},
      {"+0.0", 5, "+5.0"},
      {"+0.0", -5, "-5.0"},
      {"0", 2.5, "2"},
      {"0", 3.5, "4"},
      {"000", 7, "007"},
      {"\\#0", 7, "#7"},
      {"#,###", 1234567, "1,234,567"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.format);
    Str255 out;
    EXPECT_EQ(FloatingPointValueToString(c.value, out, PStr(c.format).s), noErr);
    EXPECT_EQ(P(out), c.text);
    double back = -1;
    EXPECT_EQ(StringToFloatingPointValue(out, &back, PStr(c.format).s), std::strcmp(c.text, "zero") ? noErr : paramErr);
  }
}

TEST(FormatStrings, ReadingThroughFormats) {
  struct Case {
    const char *format;
    const char *text;
    double value;
  } cases[] = {
      {"##0.00;(##0.00)", "(12.50)", -12.5},  {"##0.00;(##0.00)", "12.50", 12.5},
      {"'$'#,##0.00", "$1,234.50", 1234.5},   {"'$'#,##0.00", "-$5.00", -5},
      {"##0%", "26%", 0.26},                  {"0.00E+00", "1.5E+03", 1500},
      {"0.00E+00", "1.5e-2", 0.015},          {"", "  -7.25 ", -7.25},
      {"", "1e400", HUGE_VAL},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.format) + " / " + c.text);
    double v = 0;
    const OSErr err = StringToFloatingPointValue(PStr(c.text).s, &v, PStr(c.format).s);
    EXPECT_EQ(err, std::isinf(c.value) ? paramErr : noErr);
    if (!std::isinf(c.value)) {
      EXPECT_DOUBLE_EQ(v, c.value);
    }
  }
}

TEST(FormatStrings, FreeFormatWhenNull) {
  struct Case {
    double value;
    const char *text;
  } cases[] = {{0.1, "0.1"}, {-2.5, "-2.5"}, {1e25, "1E+25"}, {1e-7, "1E-07"}, {0, "0"},
               {HUGE_VAL, "INF"}, {-HUGE_VAL, "-INF"}, {std::nan(""), "NAN"}, {123456789012, "123456789012"}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    Str255 out;
    EXPECT_EQ(FloatingPointValueToString(c.value, out, nullptr), noErr);
    EXPECT_EQ(P(out), c.text);
  }
  // Every double survives the free format.
  std::mt19937_64 rng(3);
  for (int i = 0; i < 2000; ++i) {
    UInt64 bits = rng();
    double v;
    std::memcpy(&v, &bits, 8);
    if (!std::isfinite(v)) continue;
    Str255 out;
    ASSERT_EQ(FloatingPointValueToString(v, out, nullptr), noErr);
    double back = 0;
    ASSERT_EQ(StringToFloatingPointValue(out, &back, nullptr), noErr) << P(out);
    ASSERT_EQ(back, v) << P(out);
  }
}

TEST(FormatStrings, MalformedFormatsAreParamErr) {
  const char *bad[] = {"##.#.#",  "'abc",  "0;0;0;0", "abc",   "0%%",    "0E+0E+0", "0\\",
                       ";0",      "0;;0",  "E+0",     "#.#E+0.0", "0\x80"};
  for (const char *f : bad) {
    SCOPED_TRACE(f);
    Str255 out;
    std::memset(out, 7, sizeof out);
    EXPECT_EQ(FloatingPointValueToString(1.5, out, PStr(f).s), paramErr);
    EXPECT_EQ(out[0], 0);
    double v = 42;
    EXPECT_EQ(StringToFloatingPointValue(PStr("1.5").s, &v, PStr(f).s), paramErr);
    EXPECT_EQ(v, 42) << "written only on success";
  }
  // The platform's own status for each kind of fault.
  NumberParts parts;
  NumFormatString fmt;
  CreateCannonicalStringFormat(0, &fmt, &parts);
  struct Case {
    const char *format;
    FormatStatus status;
  } cases[] = {{"##.#.#", fExtraDecimal}, {"'abc", fMissingDelimiter}, {"0;0;0;0", fExtraSeparator},
               {"abc", fSpuriousChars},   {"0%%", fExtraPercent},       {"0E+0E+0", fExtraExp},
               {"", fFormatOK},           {"#,##0.00;-#,##0.00", fFormatOK}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(StringToFormatRec(PStr(c.format).s, &parts, &fmt), c.status);
  }
  NumberParts wrong = parts;
  wrong.version = 7;
  EXPECT_EQ(StringToFormatRec(PStr("0").s, &wrong, &fmt), fBadPartsTable);
  NumFormatString foreign;
  std::memset(&foreign, 0x33, sizeof foreign);
  extended80 x{};
  Str255 out;
  EXPECT_EQ(ExtendedToString(&x, &foreign, &parts, out), fOutOfSynch);
}

TEST(FormatStrings, TextThatIsNoNumberIsParamErr) {
  for (const char *text : {"", "abc", "1.2.3", "12x", "--5", "1e", "."}) {
    SCOPED_TRACE(text);
    double v = 42;
    EXPECT_EQ(StringToFloatingPointValue(PStr(text).s, &v, nullptr), paramErr);
    EXPECT_EQ(v, 42);
  }
  EXPECT_EQ(StringToFloatingPointValue(PStr("1").s, nullptr, nullptr), paramErr);
  EXPECT_EQ(FloatingPointValueToString(1, nullptr, nullptr), paramErr);
}

TEST(FormatStrings, MissingNumberPartsIsResNotFound) {
  PlatformSetIntlResourcesMissing(true);
  Str255 out;
  std::memset(out, 7, sizeof out);
  EXPECT_EQ(FloatingPointValueToString(1.5, out, nullptr), resNotFound);
  EXPECT_EQ(out[0], 7) << "output untouched";
  double v = 42;
  EXPECT_EQ(StringToFloatingPointValue(PStr("1.5").s, &v, nullptr), resNotFound);
  EXPECT_EQ(v, 42);
  NumFormatString fmt;
  NumberParts parts;
  std::memset(&parts, 0x5A, sizeof parts);
  EXPECT_EQ(CreateCannonicalStringFormat(0, &fmt, &parts), fBadPartsTable);
  EXPECT_EQ(parts.version, 0x5A5A) << "parts untouched";
  EXPECT_EQ(P(ConvertDoubleToString(1.5, 0, out)), "");
  EXPECT_EQ(ConvertStringToDouble(PStr("1.5").s, 0), 0.0);
  PlatformSetIntlResourcesMissing(false);
  EXPECT_EQ(FloatingPointValueToString(1.5, out, nullptr), noErr);
}

TEST(ScriptManager, VariablesAndTables) {
  EXPECT_EQ(GetScriptManagerVariable(smSysScript), smRoman);
  Ptr itl = nullptr;
  SInt32 offset = -1, length = -1;
  GetIntlResourceTable(smCurrentScript, smNumberPartsTable, &itl, &offset, &length);
  ASSERT_NE(itl, nullptr);
  EXPECT_EQ(length, 172);
  GetIntlResourceTable(1, smNumberPartsTable, &itl, &offset, &length);
  EXPECT_EQ(itl, nullptr);
  EXPECT_EQ(length, 0);
  GetIntlResourceTable(smRoman, smWordWrapTable, &itl, &offset, &length);
  EXPECT_EQ(itl, nullptr);
  EXPECT_EQ(GetIntlResource(4), nullptr);
  EXPECT_EQ(ResError(), resNotFound);
  Handle h = GetIntlResource(0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(ResError(), noErr);
  EXPECT_EQ(GetIntlResource(0), h) << "same resource until released";
  EXPECT_EQ((*h)[0], '.');
  EXPECT_EQ((*h)[1], ',');
  ReleaseResource(h);
  EXPECT_EQ(ResError(), noErr);
  ReleaseResource(h);
  EXPECT_EQ(ResError(), resNotFound);
}

// ---- 80-bit extended ---------------------------------------------------------

static_assert(LDBL_MANT_DIG == 64, "x87 extended long double is the oracle");

extended80 FromLongDouble(long double v) {
  unsigned char raw[16] = {};
  std::memcpy(raw, &v, 10); // little-endian: significand, then sign and exponent
  extended80 x;
  x.exp = UInt16(raw[8] | raw[9] << 8);
  for (int w = 0; w < 4; ++w) x.man[w] = UInt16(raw[7 - 2 * w - 1] | raw[7 - 2 * w] << 8);
  return x;
}

long double ToLongDouble(const extended80 &x) {
  unsigned char raw[16] = {};
  for (int w = 0; w < 4; ++w) {
    raw[7 - 2 * w] = UInt8(x.man[w] >> 8);
    raw[7 - 2 * w - 1] = UInt8(x.man[w]);
  }
  raw[8] = UInt8(x.exp);
  raw[9] = UInt8(x.exp >> 8);
  long double v;
  std::memcpy(&v, raw, 10);
  return v;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, 8) == 0; }

TEST(Extended80, WideningIsExactAndMatchesTheHost) {
  std::mt19937_64 rng(17);
  std::vector<double> values = {0.0, -0.0, 1.0, -1.5, DBL_MIN, DBL_MAX, DBL_TRUE_MIN, -DBL_TRUE_MIN,
                                HUGE_VAL, -HUGE_VAL, 5e-324 * 3, 2.2250738585072009e-308};
  for (int i = 0; i < 20000; ++i) {
    UInt64 bits = rng();
    double v;
    std::memcpy(&v, &bits, 8);
    if (!std::isnan(v)) values.push_back(v);
  }
  for (double v : values) {
    SCOPED_TRACE(v);
    extended80 x;
    dtox80(&v, &x);
    const extended80 host = FromLongDouble(static_cast<long double>(v));
    ASSERT_EQ(x.exp, host.exp);
    ASSERT_EQ(std::memcmp(x.man, host.man, 8), 0);
    ASSERT_TRUE(SameBits(x80tod(&x), v));
  }
  const double nan = std::nan("");
  extended80 x;
  dtox80(&nan, &x);
  EXPECT_TRUE(std::isnan(x80tod(&x)));
}

TEST(Extended80, NarrowingRoundsLikeTheHost) {
  std::mt19937_64 rng(23);
  for (int i = 0; i < 50000; ++i) {
    extended80 x;
    const UInt64 m = rng() | (UInt64(1) << 63); // normal extended values
    // Exponents around the whole double range, its edges included.
    int e;
    switch (i % 4) {
    case 0: e = int(std::uniform_int_distribution<int>(16383 - 1100, 16383 + 1100)(rng)); break;
    case 1: e = int(std::uniform_int_distribution<int>(16383 - 1080, 16383 - 1018)(rng)); break;
    case 2: e = int(std::uniform_int_distribution<int>(16383 + 1020, 16383 + 1025)(rng)); break;
    default: e = int(std::uniform_int_distribution<int>(1, 0x7FFE)(rng)); break;
    }
    x.exp = UInt16(e | ((rng() & 1) << 15));
    // Some values exactly halfway between two doubles.
    const UInt64 mm = (i % 5 == 0) ? ((m & ~UInt64(0x7FF)) | 0x400) : m;
    for (int w = 0; w < 4; ++w) x.man[w] = UInt16(mm >> (48 - 16 * w));
    const double expected = static_cast<double>(ToLongDouble(x));
    ASSERT_TRUE(SameBits(x80tod(&x), expected)) << std::hex << x.exp << " " << mm;
  }
}

} // namespace
