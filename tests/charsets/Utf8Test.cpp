// UTF-8 <-> UTF-16 through UTF8ToUnicode / UnicodeToUTF8, against the C
// library's iconv (an independent converter) and Python's strict decoder
// (the rejected byte strings of CharsetOracle.inc).
#include <gtest/gtest.h>

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/text/TextEncoding.h"
#include "toolbox/charsets/CharsetToolbox.h"

namespace {

#include "CharsetOracle.inc"

// Host order is little-endian here; the converters use native order.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "oracle names assume a little-endian host");
constexpr const char *kNativeUtf16 = "UTF-16LE";

// iconv over the whole input; false when iconv rejects it.
bool Iconv(const char *to, const char *from, const std::string &in, std::string &out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == iconv_t(-1)) return false;
  out.assign(in.size() * 4 + 16, '\0');
  char *ip = const_cast<char *>(in.data());
  size_t il = in.size();
  char *op = out.data();
  size_t ol = out.size();
  const size_t r = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  if (r == size_t(-1)) return false;
  out.resize(out.size() - ol);
  return true;
}

std::string FromHex(const char *hex) {
  std::string out;
  for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) out.push_back(char(std::stoi(std::string(hex + i, 2), nullptr, 16)));
  return out;
}

// The input in a heap block of exactly its size, so that the sanitizer
// build catches any read past the end.
std::unique_ptr<char[]> Exact(const std::string &s) {
  auto p = std::make_unique<char[]>(s.size() ? s.size() : 1);
  std::memcpy(p.get(), s.data(), s.size());
  return p;
}

std::string ToUnicode(const std::string &utf8, OSStatus &err, size_t capacity = size_t(-1)) {
  if (capacity == size_t(-1)) capacity = utf8.size() * 2 + 2;
  auto in = Exact(utf8);
  std::string out(capacity, '\xAA');
  ByteCount n = 12345;
  err = UTF8ToUnicode(in.get(), ByteCount(utf8.size()), ByteCount(capacity), out.data(), &n);
  EXPECT_LE(n, capacity);
  out.resize(n);
  return out;
}

std::string ToUtf8(const std::string &utf16, OSStatus &err) {
  auto in = Exact(utf16);
  std::string out(utf16.size() * 2 + 4, '\xAA');
  ByteCount n = 12345;
  err = UnicodeToUTF8(in.get(), ByteCount(utf16.size()), ByteCount(out.size()), out.data(), &n);
  out.resize(n);
  return out;
}

TEST(Utf8, EveryScalarValueRoundTrips) {
  std::u32string all;
  for (char32_t c = 0; c <= 0x10FFFF; ++c)
    if (c < 0xD800 || c > 0xDFFF) all.push_back(c);
  std::string utf8, expected16;
  ASSERT_TRUE(Iconv("UTF-8", "UTF-32LE", std::string(reinterpret_cast<const char *>(all.data()), all.size() * 4), utf8));
  ASSERT_TRUE(Iconv(kNativeUtf16, "UTF-8", utf8, expected16));
  OSStatus err;
  const std::string units = ToUnicode(utf8, err);
  EXPECT_EQ(err, noErr);
  EXPECT_TRUE(units == expected16) << "UTF-16 differs from iconv's";
  const std::string back = ToUtf8(units, err);
  EXPECT_EQ(err, noErr);
  EXPECT_TRUE(back == utf8) << "UTF-8 did not survive the round trip";
}

TEST(Utf8, RandomMixedTextMatchesIconv) {
  std::mt19937 rng(42);
  // ASCII, Latin, Greek/Cyrillic, CJK, emoji: 1 to 4 bytes per character.
  const char32_t ranges[][2] = {{0x20, 0x7E}, {0xA0, 0x24F}, {0x370, 0x4FF}, {0x4E00, 0x9FFF}, {0x1F300, 0x1F64F}};
  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE(round);
    std::u32string text;
    const int n = std::uniform_int_distribution<int>(0, 400)(rng);
    for (int i = 0; i < n; ++i) {
      const auto &r = ranges[std::uniform_int_distribution<int>(0, 4)(rng)];
      text.push_back(std::uniform_int_distribution<char32_t>(r[0], r[1])(rng));
    }
    std::string utf8, expected16;
    ASSERT_TRUE(
        Iconv("UTF-8", "UTF-32LE", std::string(reinterpret_cast<const char *>(text.data()), text.size() * 4), utf8));
    ASSERT_TRUE(Iconv(kNativeUtf16, "UTF-8", utf8, expected16));
    OSStatus err;
    EXPECT_EQ(ToUnicode(utf8, err), expected16);
    EXPECT_EQ(err, noErr);
    EXPECT_EQ(ToUtf8(expected16, err), utf8);
    EXPECT_EQ(err, noErr);
  }
}

TEST(Utf8, MalformedInputIsRejectedAtTheBadByte) {
  for (const char *hex : kOracleRejectedUtf8) {
    SCOPED_TRACE(hex);
    const std::string bad = FromHex(hex);
    std::string ignored;
    EXPECT_FALSE(Iconv(kNativeUtf16, "UTF-8", bad, ignored)) << "iconv accepts it too";
    // Inside runs of one-, two-, three- and four-byte characters.
    const struct {
      std::string text;
      size_t units;
    } prefixes[] = {{"", 0},
                    {"ok ", 3},
                    {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 5},
                    {"\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD", 3},
                    {"\xF0\x9F\x98\x80\xF0\x9F\x98\x80", 4},
                    {std::string(40, 'a'), 40},
                    {"\xC3\xA9\xE4\xB8\xAD" "a", 3}};
    for (const auto &prefix : prefixes) {
      OSStatus err;
      // A long tail, so that the bad bytes also sit inside 16-byte blocks.
      const std::string units = ToUnicode(prefix.text + bad + "tail\xC3\xA9\xE4\xB8\xAD" + std::string(20, 'z'), err);
      EXPECT_EQ(err, kTextMalformedInputErr);
      EXPECT_EQ(units.size(), prefix.units * 2) << "the text before the bad byte is converted";
    }
  }
}

// Valid text with one byte changed: the same converted prefix and the
// same kind of stop as iconv (which stops at the first bad sequence too).
TEST(Utf8, DamagedTextStopsWhereIconvStops) {
  std::mt19937 rng(77);
  const char32_t ranges[][2] = {{0x20, 0x7E}, {0x80, 0x7FF}, {0x800, 0xFFFF}, {0x10000, 0x10FFFF}};
  for (int round = 0; round < 20000; ++round) {
    std::u32string text;
    const int n = std::uniform_int_distribution<int>(1, 60)(rng);
    const int bias = std::uniform_int_distribution<int>(0, 3)(rng);
    for (int i = 0; i < n; ++i) {
      const auto &r = ranges[rng() % 3 == 0 ? rng() % 4 : bias];
      char32_t c = std::uniform_int_distribution<char32_t>(r[0], r[1])(rng);
      if (c >= 0xD800 && c <= 0xDFFF) c = 0xE000;
      text.push_back(c);
    }
    std::string utf8;
    ASSERT_TRUE(
        Iconv("UTF-8", "UTF-32LE", std::string(reinterpret_cast<const char *>(text.data()), text.size() * 4), utf8));
    const size_t at = rng() % utf8.size();
    utf8[at] = char(rng() % 256);
    if (round % 3 == 0) utf8.resize(at + 1); // sometimes cut right after the change
    std::string hex;
    for (unsigned char ch : utf8) {
      char b[4];
      std::snprintf(b, sizeof b, "%02X", ch);
      hex += b;
    }
    SCOPED_TRACE(testing::Message() << "round " << round << ": " << hex);

    iconv_t cd = iconv_open(kNativeUtf16, "UTF-8");
    std::string expected(utf8.size() * 2 + 8, '\0');
    char *ip = utf8.data();
    size_t il = utf8.size();
    char *op = expected.data();
    size_t ol = expected.size();
    const bool ok = iconv(cd, &ip, &il, &op, &ol) != size_t(-1);
    const int why = errno;
    iconv_close(cd);
    expected.resize(expected.size() - ol);

    OSStatus err;
    const std::string units = ToUnicode(utf8, err);
    ASSERT_EQ(units, expected);
    if (ok) {
      ASSERT_EQ(err, noErr);
      // Exactly enough room, and one unit too little: whole characters only.
      ASSERT_EQ(ToUnicode(utf8, err, expected.size()), expected);
      ASSERT_EQ(err, noErr);
      if (expected.size() >= 2) {
        const std::string cut = ToUnicode(utf8, err, expected.size() - 2);
        ASSERT_EQ(err, kTECOutputBufferFullStatus);
        ASSERT_EQ(cut, expected.substr(0, cut.size()));
        ASSERT_GE(cut.size() + 4, expected.size());
      }
    } else if (why == EILSEQ) {
      ASSERT_EQ(err, kTextMalformedInputErr);
    } else {
      ASSERT_TRUE(err == kTECPartialCharErr || err == kTextMalformedInputErr) << err;
    }
  }
}

// Random units, surrogates included: the same UTF-8 prefix and the same
// kind of stop as iconv.
TEST(Utf8, RandomUnitsToUtf8MatchIconv) {
  std::mt19937 rng(78);
  for (int round = 0; round < 5000; ++round) {
    std::vector<UniChar> units(std::uniform_int_distribution<size_t>(1, 40)(rng));
    for (auto &u : units) {
      switch (rng() % 5) {
      case 0: u = UniChar(0xD800 + rng() % 0x800); break; // any surrogate
      case 1: u = UniChar(0x20 + rng() % 0x5F); break;
      default: u = UniChar(rng()); break;
      }
      if (rng() % 4 == 0 && u >= 0xD800 && u < 0xDC00 && &u != &units.back()) {
        (&u)[1] = UniChar(0xDC00 + rng() % 0x400); // a proper pair now and then
      }
    }
    const std::string bytes(reinterpret_cast<const char *>(units.data()), units.size() * 2);
    iconv_t cd = iconv_open("UTF-8", kNativeUtf16);
    std::string expected(bytes.size() * 2 + 8, '\0');
    char *ip = const_cast<char *>(bytes.data());
    size_t il = bytes.size();
    char *op = expected.data();
    size_t ol = expected.size();
    const bool ok = iconv(cd, &ip, &il, &op, &ol) != size_t(-1);
    const int why = errno;
    iconv_close(cd);
    expected.resize(expected.size() - ol);
    SCOPED_TRACE(round);
    OSStatus err;
    ASSERT_EQ(ToUtf8(bytes, err), expected);
    if (ok) {
      ASSERT_EQ(err, noErr);
    } else {
      ASSERT_EQ(err, why == EILSEQ ? kTextMalformedInputErr : kTECPartialCharErr);
    }
  }
}

TEST(Utf8, TruncatedSequencesArePartialAndNeverReadPast) {
  struct Case {
    const char *id;
    const char *hex;
    OSStatus err;
    size_t units;
  } cases[] = {
      {"two-byte lead at the end", "41C3", kTECPartialCharErr, 1},
      {"three-byte lead and one", "41E282", kTECPartialCharErr, 1},
      {"four-byte lead and two", "F09F98", kTECPartialCharErr, 0},
      {"end of a two-byte run", "C3A9C3A9C3A9C3A9C3", kTECPartialCharErr, 4},
      {"end of a three-byte run", "E4B8ADE4B8ADE4B8", kTECPartialCharErr, 2},
      {"end of a four-byte run", "F09F9880F09F98", kTECPartialCharErr, 2},
      {"cut surrogate-range lead is malformed", "EDA0", kTextMalformedInputErr, 0},
      {"cut overlong lead is malformed", "E080", kTextMalformedInputErr, 0},
      {"cut beyond U+10FFFF is malformed", "F490", kTextMalformedInputErr, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    OSStatus err;
    EXPECT_EQ(ToUnicode(FromHex(c.hex), err).size(), c.units * 2);
    EXPECT_EQ(err, c.err);
  }
}

TEST(Utf8, OutputFullKeepsWholeCharacters) {
  OSStatus err;
  // "a" + U+1F600 (a surrogate pair): with room for two units only "a" fits.
  std::string units = ToUnicode("a\xF0\x9F\x98\x80", err, 4);
  EXPECT_EQ(err, kTECOutputBufferFullStatus);
  EXPECT_EQ(units.size(), 2u);
  // A long ASCII run into a short buffer: exactly the room, never more.
  units = ToUnicode(std::string(100, 'x'), err, 21);
  EXPECT_EQ(err, kTECOutputBufferFullStatus);
  EXPECT_EQ(units, std::string("x\0x\0x\0x\0x\0x\0x\0x\0x\0x\0", 20));
}

TEST(Utf8, Utf16ErrorsAndArguments) {
  struct Case {
    const char *id;
    std::vector<UniChar> units;
    bool oddByte;
    OSStatus err;
    const char *utf8;
  } cases[] = {
      {"unpaired low surrogate", {'a', 0xDC00, 'b'}, false, kTextMalformedInputErr, "a"},
      {"high surrogate then letter", {'a', 0xD800, 'b'}, false, kTextMalformedInputErr, "a"},
      {"high surrogate at the end", {'a', 0xD83D}, false, kTECPartialCharErr, "a"},
      {"odd byte count", {'a', 'b'}, true, kTECPartialCharErr, "ab"},
      {"pair", {0xD83D, 0xDE00}, false, noErr, "\xF0\x9F\x98\x80"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    std::string bytes(reinterpret_cast<const char *>(c.units.data()), c.units.size() * 2);
    if (c.oddByte) bytes.push_back('c');
    OSStatus err;
    EXPECT_EQ(ToUtf8(bytes, err), c.utf8);
    EXPECT_EQ(err, c.err);
  }
  char out[8];
  ByteCount n = 77;
  EXPECT_EQ(UTF8ToUnicode(nullptr, 1, 8, out, &n), paramErr);
  EXPECT_EQ(UnicodeToUTF8(nullptr, 2, 8, out, &n), paramErr);
  EXPECT_EQ(UTF8ToUnicode("a", 1, 8, nullptr, &n), kCharsetNullOutputErr);
  EXPECT_EQ(UnicodeToUTF8(u"a", 2, 8, nullptr, &n), kCharsetNullOutputErr);
  EXPECT_EQ(n, 77u);
  EXPECT_EQ(UTF8ToUnicode("a", 1, 8, out, nullptr), noErr);
  EXPECT_EQ(UTF8ToUnicode("", 0, 0, out, &n), noErr);
  EXPECT_EQ(n, 0u);
}

// Run in a fresh process (as ctest does) so that no converter exists yet.
TEST(Utf8, FailedConverterCreationIsRetried) {
  if (PlatformLiveConverterCount() != 0) GTEST_SKIP() << "converters already made in this process";
  char out[8];
  ByteCount n = 0;
  PlatformFailNthConverterCreation(1, memFullErr);
  EXPECT_EQ(UTF8ToUnicode("hi", 2, sizeof out, out, &n), memFullErr);
  EXPECT_EQ(PlatformLiveConverterCount(), 0);
  EXPECT_EQ(UTF8ToUnicode("hi", 2, sizeof out, out, &n), noErr);
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(PlatformLiveConverterCount(), 1) << "one converter, kept";
  EXPECT_EQ(UTF8ToUnicode("hi", 2, sizeof out, out, &n), noErr);
  EXPECT_EQ(PlatformLiveConverterCount(), 1);
}

} // namespace
