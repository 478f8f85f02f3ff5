// Mac Roman <-> Latin-1 tables, byte/unit helpers and the UTF-16 helpers.
// Expected character data comes from Python's codecs (CharsetOracle.inc,
// made by gen_charset_oracle.py), not from the library's own tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/text/TextEncoding.h"
#include "toolbox/charsets/CharsetToolbox.h"

namespace {

#include "CharsetOracle.inc"

std::string FromHex(const char *hex) {
  std::string out;
  for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) out.push_back(char(std::stoi(std::string(hex + i, 2), nullptr, 16)));
  return out;
}

TEST(CharsetTables, SharedCharactersMapToTheSameCharacter) {
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    if (kOracleLatin1ToMacSameChar[b] >= 0) {
      EXPECT_EQ(kLatin1ToMacTable[b], kOracleLatin1ToMacSameChar[b]);
    }
  }
  // The currency sign, absent from current Mac Roman, takes the euro's byte.
  EXPECT_EQ(kLatin1ToMacTable[0xA4], 0xDB);
}

TEST(CharsetTables, EveryByteSurvivesBothWays) {
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    UInt8 x = UInt8(b);
    EXPECT_EQ(MacToLatin1Text(Latin1ToMacText(&x, 1), 1), reinterpret_cast<Ptr>(&x));
    EXPECT_EQ(x, b) << "Latin-1 -> Mac -> Latin-1";
    x = UInt8(b);
    MacToLatin1Text(&x, 1);
    Latin1ToMacText(&x, 1);
    EXPECT_EQ(x, b) << "Mac -> Latin-1 -> Mac";
    if (b < 0x80) {
      EXPECT_EQ(kLatin1ToMacTable[b], b);
    }
  }
}

TEST(CharsetTables, TextExamples) {
  UInt8 text[] = {0xE9, 0xFC, 0xDF, 'a'};
  Latin1ToMacText(text, 4);
  EXPECT_EQ(std::vector<UInt8>(text, text + 4), (std::vector<UInt8>{0x8E, 0x9F, 0xA7, 'a'}));
  MacToLatin1Text(text, 4);
  EXPECT_EQ(std::vector<UInt8>(text, text + 4), (std::vector<UInt8>{0xE9, 0xFC, 0xDF, 'a'}));
  EXPECT_EQ(Latin1ToMacText(nullptr, 0), nullptr);
}

TEST(ByteUnits, WideningAndNarrowingInNativeValues) {
  const char ab[] = "AB";
  UniChar u[2];
  ASCIIToUnicode(ab, 2, u, true);
  EXPECT_EQ(u[0], 0x0041);
  EXPECT_EQ(u[1], 0x0042);
  ASCIIToUnicode(ab, 2, u, false);
  EXPECT_EQ(u[0], 0x4100);
  char back[2] = {};
  UnicodeToASCII(u, 2, back, false);
  EXPECT_EQ(std::string(back, 2), "AB");
  const UniChar be[] = {0x0048, 0x0069};
  UnicodeToASCII(be, 2, back, true);
  EXPECT_EQ(std::string(back, 2), "Hi");

  UniChar out[8];
  std::fill(std::begin(out), std::end(out), UniChar(0xAAAA));
  UInt32 count = 99;
  PStringToUnicodeSimple(reinterpret_cast<ConstStr255Param>("\x05hello"), 3, out, &count);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(out[0], 'h');
  EXPECT_EQ(out[2], 'l');
  EXPECT_EQ(out[3], 0xAAAA) << "wrote past the maximum";
  const unsigned char high[] = {1, 0xE9};
  PStringToUnicodeSimple(high, 10, out, nullptr);
  EXPECT_EQ(out[0], 0x00E9) << "no character-set conversion";
}

TEST(ByteUnits, BigEndianTestNeedsMoreThanHalf) {
  struct Case {
    const char *id;
    std::vector<UniChar> units;
    Boolean expected;
  } cases[] = {
      {"two of four", {0x0041, 0x0042, 0x4300, 0x4400}, 0},
      {"three of four", {0x0041, 0x0042, 0x0043, 0x4400}, 1},
      {"two of three", {0x0041, 0x4200, 0x0043}, 1},
      {"control bytes do not count", {0x0001, 0x0002, 0x0041}, 0},
      {"0x7F does not count", {0x007F, 0x007F, 0x0041}, 0},
      {"empty", {}, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(IsUnicodeBigEndian(UInt32(c.units.size()), c.units.data()), c.expected);
  }
}

TEST(SmartUnicode, FlagsDecideTheSwap) {
  const UniChar native[] = {'H', 'i'};
  const UniChar swapped[] = {0x4800, 0x6900};
  struct Case {
    const char *id;
    const UniChar *units;
    UInt32 flags;
    const char *expected;
  } cases[] = {
      {"swapped text claimed native, checked: test fails, swapped", swapped, 1, "Hi"},
      // Swapped anyway: 0x4800 and 0x6900 are CJK characters Mac Roman lacks.
      {"native text, flags 2: swapped anyway", native, 2, "??"},
      {"native text claimed native", native, 1, "Hi"},
      {"native text, flags 3", native, 3, "Hi"},
      {"swapped text, flags 0", swapped, 0, "Hi"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    char out[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(SmartUnicodeToASCII(c.units, 2, c.flags, out), out);
    EXPECT_EQ(std::string(out, 2), c.expected);
    EXPECT_EQ(out[2], '#');
  }
}

TEST(SmartUnicode, LongTextIsCutAtTheScratchArea) {
  std::vector<UniChar> units(300, UniChar('x'));
  std::vector<char> out(300, '#');
  SmartUnicodeToASCII(units.data(), UInt32(units.size()), 1, out.data());
  EXPECT_EQ(std::string(out.data(), 255), std::string(255, 'x'));
  EXPECT_EQ(out[255], '#') << "at most 255 bytes";
}

TEST(SmartUnicode, AccentsAndUnmappableCharacters) {
  const UniChar text[] = {'c', 'a', 'f', 0x00E9, 0x4E2D};
  char out[8] = {};
  SmartUnicodeToASCII(text, 5, 1, out);
  EXPECT_EQ(std::string(out, 5), "caf\x8E?");
}

TEST(UnicodeHelpers, Classes) {
  for (UInt32 c = 0; c < 0x10000; ++c) {
    const bool alpha = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    ASSERT_EQ(UnicodeIsAlpha(UniChar(c)) != 0, alpha) << c;
    ASSERT_EQ(UnicodeIsPrint(UniChar(c)) != 0, c >= 0x21 && c <= 0x7F) << c;
  }
}

TEST(UnicodeHelpers, ReverseSearchAndAppend) {
  const UniChar s[] = {'a', '.', 'b', '.', 'c'};
  EXPECT_EQ(UnicodeReverseCharSearch(s, 5, '.'), s + 3);
  EXPECT_EQ(UnicodeReverseCharSearch(s, 3, '.'), s + 1);
  EXPECT_EQ(UnicodeReverseCharSearch(s, 5, 'z'), nullptr);
  EXPECT_EQ(UnicodeReverseCharSearch(s, 0, 'a'), nullptr);

  struct Case {
    const char *id;
    UInt32 capacity, destCount, sourceCount, expectedCount;
  } cases[] = {
      {"fits", 10, 3, 5, 8},
      {"exactly fits", 10, 5, 5, 10},
      {"cut to capacity", 10, 8, 5, 10},
      {"already full", 10, 10, 5, 10},
      {"count beyond capacity copies nothing", 10, 12, 5, 12},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    std::vector<UniChar> dest(16, UniChar(0xAAAA));
    const UniChar src[] = {1, 2, 3, 4, 5};
    UInt32 n = 0;
    UnicodeAppend(src, c.sourceCount, c.capacity, dest.data(), c.destCount, &n);
    EXPECT_EQ(n, c.expectedCount);
    for (UInt32 i = c.destCount; i < n; ++i) EXPECT_EQ(dest[i], src[i - c.destCount]);
    for (UInt32 i = std::max(n, c.destCount); i < 16; ++i) EXPECT_EQ(dest[i], 0xAAAA) << i;
  }
}

TEST(UnicodeHelpers, FilenameExtension) {
  struct Case {
    const char *id;
    const char *name;
    long offset; // -1: null
    UInt32 length;
  } cases[] = {
      {"plain", "song.mp3", 5, 3},     {"digit after the dot", "a.1", -1, 0},
      {"dot last", "name.", 5, 0},     {"no dot", "name", -1, 0},
      {"last dot wins", "a.b.cd", 4, 2}, {"leading dot", ".profile", 1, 7},
      {"empty", "", -1, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    std::vector<UniChar> units(c.name, c.name + std::strlen(c.name));
    UInt32 length = 99;
    UniChar *ext = UnicodeFindFilenameExtension(units.data(), UInt32(units.size()), &length);
    if (c.offset < 0) {
      EXPECT_EQ(ext, nullptr);
    } else {
      EXPECT_EQ(ext, units.data() + c.offset);
    }
    EXPECT_EQ(length, c.length);
    UnicodeFindFilenameExtension(units.data(), UInt32(units.size()), nullptr);
  }
}

// The general converter against Python's codecs for every 8-bit byte.
TEST(TextConverter, EightBitSetsToUtf8MatchPython) {
  struct Set {
    const char *id;
    TextEncoding encoding;
    const char *const *oracle;
  } sets[] = {{"Mac Roman", kTextEncodingMacRoman, kOracleMacRomanUtf8},
              {"Latin-1", kTextEncodingISOLatin1, kOracleLatin1Utf8}};
  const TextEncoding utf8 = CreateTextEncoding(kTextEncodingUnicodeDefault, 0, kUnicodeUTF8Format);
  const SInt32 liveBefore = PlatformLiveConverterCount();
  for (const auto &s : sets) {
    SCOPED_TRACE(s.id);
    TECObjectRef to = nullptr, from = nullptr;
    ASSERT_EQ(TECCreateConverter(&to, s.encoding, utf8), noErr);
    ASSERT_EQ(TECCreateConverter(&from, utf8, s.encoding), noErr);
    for (int b = 0; b < 256; ++b) {
      SCOPED_TRACE(b);
      const UInt8 in = UInt8(b);
      UInt8 out[8];
      ByteCount used = 0, written = 0;
      ASSERT_EQ(TECConvertText(to, &in, 1, &used, out, sizeof out, &written), noErr);
      EXPECT_EQ(std::string(reinterpret_cast<char *>(out), written), FromHex(s.oracle[b]));
      UInt8 back = 0;
      ASSERT_EQ(TECConvertText(from, out, written, &used, &back, 1, &written), noErr);
      EXPECT_EQ(back, b);
      EXPECT_EQ(written, 1u);
    }
    TECDisposeConverter(to);
    TECDisposeConverter(from);
  }
  EXPECT_EQ(PlatformLiveConverterCount(), liveBefore);
}

TEST(TextConverter, UnmappableAndUnsupported) {
  TECObjectRef tec = nullptr;
  EXPECT_EQ(TECCreateConverter(&tec, 0x0A01, kTextEncodingMacRoman), kTECNoConversionPathErr);
  EXPECT_EQ(TECCreateConverter(nullptr, kTextEncodingMacRoman, kTextEncodingISOLatin1), paramErr);
  ASSERT_EQ(TECCreateConverter(&tec, CreateTextEncoding(kTextEncodingUnicodeDefault, 0, kUnicodeUTF8Format),
                               kTextEncodingISOLatin1),
            noErr);
  const char text[] = "ab\xE2\x82\xAC"; // a, b, euro sign
  UInt8 out[8];
  ByteCount used = 0, written = 0;
  EXPECT_EQ(TECConvertText(tec, reinterpret_cast<ConstTextPtr>(text), 5, &used, out, sizeof out, &written),
            kTECUnmappableElementErr);
  EXPECT_EQ(used, 2u);
  EXPECT_EQ(written, 2u);
  TECDisposeConverter(tec);
}

} // namespace
