// The packing engine's own rules: 24-bit letters, failures part-way through
// a format, string letters at the edges of their capacity, the Mac Roman /
// Latin-1 letter, in-place formatted swapping, the list forms and the array
// swappers.
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "packing/PythonOracle.h"
#include "toolbox/packing/PackingToolbox.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Out(const std::uint8_t *p, std::size_t n) { return Bytes(p, p + n); }

// --- 24-bit letters (struct has none: expectations by hand) ---------------

TEST(Packing, TwentyFourBitLettersBothDirections) {
  struct Case {
    const char *id;
    char letter;
    std::uint32_t value;
    Bytes bytes;
  };
  const Case cases[] = {
      {"t ascending", 't', 0x123456, {0x12, 0x34, 0x56}},
      {"T ascending", 'T', 0x123456, {0x56, 0x34, 0x12}},
      {"t top byte dropped", 't', 0xAB123456, {0x12, 0x34, 0x56}},
      {"T top byte dropped", 'T', 0xAB123456, {0x56, 0x34, 0x12}},
      {"t all ones", 't', 0xFFFFFF, {0xFF, 0xFF, 0xFF}},
      {"T high bit only", 'T', 0x800000, {0x00, 0x00, 0x80}},
      {"t zero", 't', 0, {0, 0, 0}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    const char format[2] = {c.letter, 0};
    std::uint8_t out[8];
    std::memset(out, 0xAA, sizeof out);
    ASSERT_EQ(PackData(out, format, c.value), 3);
    EXPECT_EQ(Out(out, 3), c.bytes);
    EXPECT_EQ(out[3], 0xAA) << "wrote a fourth byte";

    // Unpacking stores the 24-bit value in a whole 32-bit integer, without
    // sign extension.
    UInt32 back = 0xDEADBEEF;
    ASSERT_EQ(UnpackData(3, c.bytes.data(), format, &back), 3);
    EXPECT_EQ(back, c.value & 0xFFFFFF);
    EXPECT_EQ(UnpackData(2, c.bytes.data(), format, &back), -1) << "needs three bytes";
  }
}

TEST(Packing, DocumentedRecords) {
  std::uint8_t out[32];
  EXPECT_EQ(PackData(out, "bt", 0, 0x20656E67), 4);
  EXPECT_EQ(Out(out, 4), (Bytes{0x00, 0x65, 0x6E, 0x67}));
  EXPECT_EQ(PackData(out, "hhhh", 1, 2, 3, 4), 8);
  EXPECT_EQ(Out(out, 8), (Bytes{0, 1, 0, 2, 0, 3, 0, 4}));
  EXPECT_EQ(PackData(out, "HHHH", 1, 2, 3, 4), 8);
  EXPECT_EQ(Out(out, 8), (Bytes{1, 0, 2, 0, 3, 0, 4, 0}));
  const unsigned char pascal[] = "\x03" "abc";
  EXPECT_EQ(PackData(out, "p", pascal), 4);
  EXPECT_EQ(PackData(out, "s", "ab"), 3);
  EXPECT_EQ(Out(out, 3), (Bytes{'a', 'b', 0}));
  // An ID3v1-like block: tag, text fields, a byte.
  const char title[30] = "Title";
  EXPECT_EQ(PackData(out, "3nb", "TAG", 5u, title, 17), 9);
  EXPECT_EQ(Out(out, 9), (Bytes{'T', 'A', 'G', 'T', 'i', 't', 'l', 'e', 17}));
  // The empty format writes nothing.
  EXPECT_EQ(PackData(out, ""), 0);
}

// --- failure part-way keeps what was done ---------------------------------

TEST(Packing, FailurePartWayKeepsEarlierFields) {
  std::uint8_t out[16];
  std::memset(out, 0xAA, sizeof out);
  EXPECT_EQ(PackData(out, "h w", 0x0102, 0x03040506), -1) << "a space is not a field letter";
  EXPECT_EQ(Out(out, 3), (Bytes{0x01, 0x02, 0xAA}));

  std::memset(out, 0xAA, sizeof out);
  EXPECT_EQ(PackData(out, "bbXw", 1, 2, 3), -1);
  EXPECT_EQ(Out(out, 3), (Bytes{1, 2, 0xAA}));

  // Unpacking: a field longer than what remains.
  const std::uint8_t data[] = {7, 0x01, 0x02, 0x10, 0x20, 0x30};
  UInt8 b = 0;
  UInt16 h = 0;
  UInt32 w = 0xDEADBEEF;
  EXPECT_EQ(UnpackData(sizeof data, data, "bhw", &b, &h, &w), -1);
  EXPECT_EQ(b, 7);
  EXPECT_EQ(h, 0x0102);
  EXPECT_EQ(w, 0xDEADBEEFu) << "the failing field stores nothing";
  EXPECT_EQ(UnpackData(3, data, "w", &w), -1);
  EXPECT_EQ(UnpackData(4, data, "w", &w), 4);
  EXPECT_EQ(w, 0x07010210u);
  // ... and an unknown letter after good fields.
  b = 0, h = 0;
  EXPECT_EQ(UnpackData(sizeof data, data, "bh?", &b, &h), -1);
  EXPECT_EQ(b, 7);
  EXPECT_EQ(h, 0x0102);
  // Counted fields are checked against what remains before anything is read.
  std::uint8_t range[8];
  std::memset(range, 0xAA, sizeof range);
  EXPECT_EQ(UnpackData(sizeof data, data, "bn", &b, 6u, range), -1);
  EXPECT_EQ(range[0], 0xAA);
  EXPECT_EQ(UnpackData(sizeof data, data, "bn", &b, 5u, range), 6);
  EXPECT_EQ(Out(range, 5), (Bytes{0x01, 0x02, 0x10, 0x20, 0x30}));
}

TEST(Packing, NullPointersFailAtTheirField) {
  std::uint8_t out[8] = {};
  EXPECT_EQ(PackData(out, "b4", 9, nullptr), -1);
  EXPECT_EQ(out[0], 9);
  EXPECT_EQ(PackData(out, "n", 0u, nullptr), 0) << "an empty range needs no pointer";
  EXPECT_EQ(PackData(nullptr, "b", 1), -1);
  EXPECT_EQ(PackData(out, nullptr), -1);
  UInt8 b;
  EXPECT_EQ(UnpackData(1, out, "b", nullptr), -1);
  EXPECT_EQ(UnpackData(4, nullptr, "b", &b), -1) << "no source means no bytes";
  const std::uint8_t empty[1] = {0};
  EXPECT_EQ(UnpackData(1, empty, "p", 0, nullptr), 1) << "capacity 0 stores nothing";
}

// --- string letters at the edges of their capacity ------------------------

TEST(Packing, UnpackStringLettersAtCapacityEdges) {
  // Source: "p" 03 'a' 'b' 'c'; "s" 'a' 'b' 'c' 00. Both take 4 bytes.
  const std::uint8_t pdata[] = {3, 'a', 'b', 'c'};
  const std::uint8_t sdata[] = {'a', 'b', 'c', 0};
  struct Case {
    const char *id;
    char letter;
    SInt32 capacity;
    Bytes stored; // bytes written to the buffer; the rest keeps 0xAA
  };
  const Case cases[] = {
      {"p capacity 0 stores nothing", 'p', 0, {}},
      {"p negative capacity stores nothing", 'p', -5, {}},
      {"p capacity 1: empty string", 'p', 1, {0}},
      {"p capacity 2: one byte", 'p', 2, {1, 'a'}},
      {"p exact capacity", 'p', 4, {3, 'a', 'b', 'c'}},
      {"p room to spare", 'p', 9, {3, 'a', 'b', 'c'}},
      {"s capacity 0 stores nothing", 's', 0, {}},
      {"s capacity 1: one byte, no terminator", 's', 1, {'a'}},
      {"s one short: no terminator", 's', 3, {'a', 'b', 'c'}},
      {"s exact capacity", 's', 4, {'a', 'b', 'c', 0}},
      {"s room to spare", 's', 9, {'a', 'b', 'c', 0}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    const char format[2] = {c.letter, 0};
    std::uint8_t buffer[12];
    std::memset(buffer, 0xAA, sizeof buffer);
    const std::uint8_t *data = c.letter == 'p' ? pdata : sdata;
    EXPECT_EQ(UnpackData(4, data, format, c.capacity, buffer), 4) << "all four bytes are consumed";
    EXPECT_EQ(Out(buffer, c.stored.size()), c.stored);
    EXPECT_EQ(buffer[c.stored.size()], 0xAA) << "wrote past the stored bytes";
  }
}

TEST(Packing, UnpackStringLettersNeedTheirBytes) {
  std::uint8_t buffer[16];
  const std::uint8_t five[] = {5, 'h', 'e', 'l', 'l', 'o'};
  EXPECT_EQ(UnpackData(6, five, "p", 4, buffer), 6);
  EXPECT_EQ(Out(buffer, 4), (Bytes{3, 'h', 'e', 'l'}));
  EXPECT_EQ(UnpackData(5, five, "p", 16, buffer), -1) << "text shorter than its length byte";
  EXPECT_EQ(UnpackData(0, five, "p", 16, buffer), -1) << "no length byte";
  const std::uint8_t noNul[] = {'a', 'b', 'c'};
  EXPECT_EQ(UnpackData(3, noNul, "s", 16, buffer), -1);
  EXPECT_EQ(UnpackData(0, noNul, "s", 16, buffer), -1);
  // The NUL counts against the available bytes: "ab\0" uses all three, so
  // the following byte field fails.
  const std::uint8_t ab[] = {'a', 'b', 0, 9};
  UInt8 b = 0;
  EXPECT_EQ(UnpackData(3, ab, "sb", 16, buffer, &b), -1);
  EXPECT_EQ(UnpackData(4, ab, "sb", 16, buffer, &b), 4);
  EXPECT_EQ(b, 9);
  // A NUL beyond the available bytes is not seen.
  EXPECT_EQ(UnpackData(2, ab, "s", 16, buffer), -1);
}

// --- Mac Roman <-> Latin-1 ------------------------------------------------

TEST(Packing, LatinLetterMapsEveryByteBothWays) {
  std::uint8_t all[256], latin[256], back[256];
  for (int i = 0; i < 256; ++i) all[i] = std::uint8_t(i);
  ASSERT_EQ(PackData(latin, "l", 256u, all), 256);
  ASSERT_EQ(UnpackData(256, latin, "l", 256u, back), 256);
  EXPECT_EQ(Out(back, 256), Out(all, 256)) << "Mac Roman -> Latin-1 -> Mac Roman loses nothing";
  for (int i = 0; i < 128; ++i) EXPECT_EQ(latin[i], i) << "ASCII maps to itself";
  // The Latin-1 bytes of e acute, u umlaut, sharp s.
  const std::uint8_t latinText[] = {0xE9, 0xFC, 0xDF};
  std::uint8_t mac[3];
  ASSERT_EQ(UnpackData(3, latinText, "l", 3u, mac), 3);
  EXPECT_EQ(Out(mac, 3), (Bytes{0x8E, 0x9F, 0xA7}));

  // Latin-1 0xA0-0xFF are real characters: Python's mac_roman codec must
  // agree wherever Mac Roman has the character (it lacks 16 of them, such as
  // the superscripts and fractions, which take free slots).
  QLTEST_REQUIRE_PYTHON();
  std::string hex;
  for (int i = 0xA0; i <= 0xFF; ++i) {
    static const char *d = "0123456789abcdef";
    hex += d[i >> 4];
    hex += d[i & 15];
  }
  const auto answers = qltest::RunPython(qltest::ScriptDir(__FILE__) / "struct_oracle.py",
                                         {"latin1tomac " + hex});
  ASSERT_EQ(answers.size(), 1u);
  std::uint8_t upper[96], mapped[96];
  for (int i = 0; i < 96; ++i) upper[i] = std::uint8_t(0xA0 + i);
  ASSERT_EQ(UnpackData(96, upper, "l", 96u, mapped), 96);
  for (int i = 0; i < 96; ++i) {
    const std::string want = answers[0].substr(i * 3, 2);
    if (want != "--") {
      EXPECT_EQ(std::stoi(want, nullptr, 16), mapped[i]) << "Latin-1 byte " << 0xA0 + i;
    }
  }
}

// --- formatted swapping ---------------------------------------------------

TEST(Packing, EndianSwapFormattedLetters) {
  struct Case {
    const char *id;
    const char *format;
    UInt32 available;
    SInt32 result;
    Bytes after; // the record 00 01 02 ... 0B afterwards
  };
  const Case cases[] = {
      {"4 @ 2", "4@2", 8, 8, {3, 2, 1, 0, 4, 5, 7, 6, 8, 9, 10, 11}},
      {"4 @ 2 short of one byte", "4@2", 7, -1, {3, 2, 1, 0, 4, 5, 6, 7, 8, 9, 10, 11}},
      {"1 is left alone", "1", 1, 1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
      {"3 exchanges the outer bytes", "3", 3, 3, {2, 1, 0, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
      {"9 reverses nine", "9", 12, 9, {8, 7, 6, 5, 4, 3, 2, 1, 0, 9, 10, 11}},
      {"shifted digits skip", "#(", 12, 12, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
      {"unknown letter after a field", "2h", 12, -1, {1, 0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
      {"pack letters are not swap letters", "w", 12, -1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
      {"empty format", "", 12, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    Bytes record = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    EXPECT_EQ(EndianSwapFormatted(c.available, record.data(), c.format), c.result);
    EXPECT_EQ(record, c.after);
  }
  // Counted fields: n reverses its count, N skips it.
  Bytes record = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  EXPECT_EQ(EndianSwapFormatted(12, record.data(), "nNn", 5u, 3u, 4u), 12);
  EXPECT_EQ(record, (Bytes{4, 3, 2, 1, 0, 5, 6, 7, 11, 10, 9, 8}));
  EXPECT_EQ(EndianSwapFormatted(12, record.data(), "2n", 11u), -1);
  EXPECT_EQ(record[0], 3) << "the first field was swapped before the failure";
}

// --- the list forms -------------------------------------------------------

SInt32 PackVia(void *destination, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  const SInt32 n = PackDataList(destination, format, ap);
  va_end(ap);
  return n;
}
SInt32 UnpackVia(UInt32 available, const void *source, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  const SInt32 n = UnpackDataList(available, source, format, ap);
  va_end(ap);
  return n;
}
SInt32 SwapVia(UInt32 available, void *record, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  const SInt32 n = EndianSwapFormattedList(available, record, format, ap);
  va_end(ap);
  return n;
}

TEST(Packing, ListFormsTakeArgumentsLikeTheVariadicForms) {
  // Many arguments, so that some travel on the stack; values and pointers
  // interleaved, each read with its own width.
  std::uint8_t out[64], ref[64];
  const char *text = "xyz";
  const std::uint32_t word = 0x11223344;
  const char *format = "bwhs4bTWHnb";
  const SInt32 n = PackVia(out, format, 1, 0x01020304, 0x0506, text, &word, 2, 0x070809,
                           0x0A0B0C0D, 0x0E0F, 3u, "abc", 0xFF);
  const SInt32 m = PackData(ref, format, 1, 0x01020304, 0x0506, text, &word, 2, 0x070809,
                            0x0A0B0C0D, 0x0E0F, 3u, "abc", 0xFF);
  ASSERT_EQ(n, 1 + 4 + 2 + 4 + 4 + 1 + 3 + 4 + 2 + 3 + 1);
  ASSERT_EQ(m, n);
  EXPECT_EQ(Out(out, n), Out(ref, m));

  UInt8 b1 = 0, b2 = 0, b3 = 0;
  UInt32 w = 0, t = 0, W = 0, copied = 0;
  UInt16 h = 0, H = 0;
  char s[8] = {}, range[4] = {};
  ASSERT_EQ(UnpackVia(UInt32(n), out, format, &b1, &w, &h, 8, s, &copied, &b2, &t, &W, &H, 3u,
                      range, &b3),
            n);
  EXPECT_EQ(b1, 1);
  EXPECT_EQ(w, 0x01020304u);
  EXPECT_EQ(h, 0x0506);
  EXPECT_STREQ(s, "xyz");
  EXPECT_EQ(copied, word);
  EXPECT_EQ(b2, 2);
  EXPECT_EQ(t, 0x070809u);
  EXPECT_EQ(W, 0x0A0B0C0Du);
  EXPECT_EQ(H, 0x0E0F);
  EXPECT_EQ(std::string(range, 3), "abc");
  EXPECT_EQ(b3, 0xFF);

  Bytes record = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(SwapVia(6, record.data(), "2n", 4u), 6);
  EXPECT_EQ(record, (Bytes{2, 1, 6, 5, 4, 3}));
}

// --- array swappers and host order ----------------------------------------

TEST(Packing, ArraySwappersReverseEachValueAndLeaveTheTail) {
  // Unaligned block: one byte of offset, sentinel after the byte count.
  struct Case {
    const char *id;
    void (*swap)(UInt32, void *);
    unsigned width;
  };
  const Case cases[] = {{"16", EndianSwapMemory16Bit, 2},
                        {"32", EndianSwapMemory32Bit, 4},
                        {"64", EndianSwapMemory64Bit, 8}};
  for (const auto &c : cases) {
    for (UInt32 count : {0u, 1u, c.width - 1, c.width, 3 * c.width + 1, 40u + c.width - 1}) {
      SCOPED_TRACE(std::string(c.id) + " bytes " + std::to_string(count));
      std::uint8_t storage[64];
      for (int i = 0; i < 64; ++i) storage[i] = std::uint8_t(i);
      c.swap(count, storage + 1);
      const UInt32 whole = count / c.width * c.width;
      for (UInt32 i = 0; i < 63; ++i) {
        std::uint8_t want = std::uint8_t(i + 1);
        if (i < whole) want = std::uint8_t(1 + (i / c.width) * c.width + (c.width - 1 - i % c.width));
        ASSERT_EQ(storage[1 + i], want) << "byte " << i;
      }
      ASSERT_EQ(storage[0], 0);
    }
  }
  const std::uint8_t five[] = {1, 2, 3, 4, 5};
  std::uint8_t copy[6] = {0, 0, 0, 0, 0xAA, 0xAA};
  EndianSwapMemory16BitCopy(5, five, copy);
  EXPECT_EQ(Out(copy, 6), (Bytes{2, 1, 4, 3, 0xAA, 0xAA}));
  EXPECT_EQ(Out(five, 5), (Bytes{1, 2, 3, 4, 5})) << "the source is unchanged";
  std::uint8_t inPlace[] = {1, 2, 3, 4, 5};
  EndianSwapMemory16BitCopy(5, inPlace, inPlace);
  EXPECT_EQ(Out(inPlace, 5), (Bytes{2, 1, 4, 3, 5}));
}

TEST(Packing, HostOrderQueriesTellTheTruth) {
  const std::uint32_t one = 1;
  std::uint8_t first;
  std::memcpy(&first, &one, 1);
  EXPECT_EQ(IsLittleEndian(), first == 1);
  EXPECT_EQ(IsBigEndian(), first == 0);
  EXPECT_NE(IsBigEndian(), IsLittleEndian());
  // "$" writes a native integer most significant byte first only on a
  // little-endian host; "w" does so everywhere.
  std::uint8_t viaCopy[4], viaShift[4];
  const std::uint32_t x = 0x01020304;
  PackData(viaCopy, "$", &x);
  PackData(viaShift, "w", x);
  EXPECT_EQ(Out(viaShift, 4), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(Out(viaCopy, 4) == Out(viaShift, 4), bool(IsLittleEndian()));
}

} // namespace
