// Reading ID3v2 tags: hand-made byte vectors for every layout other writers
// rarely produce, and hostile sizes.

#include <gtest/gtest.h>

#include "tests/mp3/Mp3TestSupport.h"

using namespace mp3test;
using ql::FourCC;

namespace {

TEST(ID3Read, HeaderErrors) {
  struct Case {
    const char *id;
    Bytes bytes;
    OSErr err;
  } cases[] = {
      {"no marker", Cat({B("ID4"), {3, 0, 0, 0, 0, 0, 0}}), kMP3NoTagErr},
      {"lower case", Cat({B("id3"), {3, 0, 0, 0, 0, 0, 0}}), kMP3NoTagErr},
      {"version 5", Cat({B("ID3"), {5, 0, 0, 0, 0, 0, 0}}), errAENewerVersion},
      {"short header", B("ID3\3\0"), eofErr},
      {"body cut", Cat({B("ID3"), {3, 0, 0, 0, 0, 1, 0}}), eofErr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    TagPtr tag = Parse(c.bytes, c.err);
    EXPECT_EQ(tag->frameCount, 0);
  }
}

TEST(ID3Read, EmptyBodiesPaddingAndAudio) {
  TagPtr empty = Parse(Tag(3, 0, {}));
  EXPECT_EQ(empty->v2TagSize, 10);
  EXPECT_EQ(empty->v2MajorVersion, 3);
  EXPECT_EQ(empty->frameCount, 0);

  // Audio right after the header moves the tag's end there.
  TagPtr audio = Parse(Tag(3, 0, Cat({{0xFF, 0xFB}, Bytes(100, 0)})));
  EXPECT_EQ(audio->v2TagSize, 10);
  EXPECT_EQ(audio->audioOffset, 10);

  const Bytes frames = Cat({Frame23("TIT2", Text("a")), Frame23("TPE1", Text("b"))});
  TagPtr padded = Parse(Tag(3, 0, Cat({frames, Bytes(200, 0)})));
  EXPECT_EQ(FrameIDs(padded.get()), (std::vector<std::string>{"TIT2", "TPE1"}));
  EXPECT_EQ(padded->v2TagSize, 10 + SInt32(frames.size()) + 200);

  TagPtr early = Parse(Tag(4, 0, Cat({frames, {0xFF, 0xFB, 0x90}, Bytes(50, 0)})));
  EXPECT_EQ(early->frameCount, 2);
  EXPECT_EQ(early->audioOffset, 10 + SInt32(frames.size()));
  EXPECT_EQ(early->v2TagSize, early->audioOffset);
}

TEST(ID3Read, Version22IDsAndPictures) {
  const Bytes pic = Cat({{0}, B("PNG"), {3}, B("cover"), {0}, {0x89, 'P', 'N', 'G'}});
  TagPtr tag = Parse(Tag(2, 0, Cat({Frame22("TT2", Text("Song")), Frame22("TP1", Text("Band")),
                                     Frame22("XYZ", B("odd")), Frame22("PIC", pic)})));
  const auto frames = Frames(tag.get());
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0].key, FourCC("TIT2"));
  EXPECT_EQ(frames[0].longID, "TIT2");
  EXPECT_EQ(frames[0].shortID, "TT2");
  EXPECT_EQ(frames[1].key, FourCC("TPE1"));
  EXPECT_EQ(frames[1].longID, "TPE1");
  EXPECT_EQ(frames[2].key, FourCC("unkn"));
  EXPECT_EQ(frames[2].longID, "????");
  EXPECT_EQ(frames[2].shortID, "XYZ");
  EXPECT_EQ(frames[3].key, FourCC("APIC"));
  EXPECT_EQ(frames[3].shortID, "PIC");
  EXPECT_EQ(frames[3].body, Cat({{0}, B("image/png"), {0}, {3}, B("cover"), {0}, {0x89, 'P', 'N', 'G'}}));
}

TEST(ID3Read, UnknownVersion23FrameKeepsItsID) {
  TagPtr tag = Parse(Tag(3, 0, Frame23("ZZZ9", B("raw"), 0x2000)));
  const auto frames = Frames(tag.get());
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].key, FourCC("unkn"));
  EXPECT_EQ(frames[0].longID, "ZZZ9");
  EXPECT_EQ(frames[0].shortID, "???");
  EXPECT_EQ(frames[0].flags, 0x2000u);
}

// A version 2.3 tag unsynchronised as a whole, frame headers included.
TEST(ID3Read, UnsynchronisedVersion23Tag) {
  const Bytes body = Cat({B("TIT2"), {0, 0, 0, 6, 0, 0}, {0, 'a', 0xFF, 0x00, 0xE0, 'b', 0xFF},
                          // size 255: its 0xFF before the flags' 0x00 gains a 0x00
                          B("TALB"), {0, 0, 0, 0xFF, 0x00, 0, 0}, {0}, Bytes(254, 'x')});
  TagPtr tag = Parse(Tag(3, 0x80, body));
  const auto frames = Frames(tag.get());
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].body, (Bytes{0, 'a', 0xFF, 0xE0, 'b', 0xFF}));
  EXPECT_EQ(frames[1].body, Cat({{0}, Bytes(254, 'x')}));
  EXPECT_EQ(tag->v2Flags, 0x80);
  EXPECT_EQ(tag->v2TagSize, 10 + SInt32(body.size()));
}

TEST(ID3Read, Version24FrameUnsyncAndDataLength) {
  const Bytes body = Cat({
      // per-frame unsynchronisation with a data-length indicator
      Frame24("TIT2", Cat({Syncsafe(5), {0, 'a', 0xFF, 0x00, 0xE0, 'z'}}), 0x0003),
      // a data-length indicator alone
      Frame24("TPE1", Cat({Syncsafe(3), {0, 'h', 'i'}}), 0x0001),
      Frame24("TALB", Text("plain")),
  });
  TagPtr tag = Parse(Tag(4, 0, body));
  const auto frames = Frames(tag.get());
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].body, (Bytes{0, 'a', 0xFF, 0xE0, 'z'}));
  EXPECT_EQ(frames[0].flags, 0u);
  EXPECT_EQ(frames[1].body, (Bytes{0, 'h', 'i'}));
  EXPECT_EQ(frames[2].body, Text("plain"));

  // The header flag makes every frame unsynchronised; sizes are of the
  // stored bytes.
  TagPtr all = Parse(Tag(4, 0x80, Cat({Frame24("TIT2", {0, 0xFF, 0x00, 'q'}),
                                       Frame24("TPE1", {0, 0xFF, 0x00, 0x00})})));
  const auto allFrames = Frames(all.get());
  ASSERT_EQ(allFrames.size(), 2u);
  EXPECT_EQ(allFrames[0].body, (Bytes{0, 0xFF, 'q'}));
  EXPECT_EQ(allFrames[1].body, (Bytes{0, 0xFF, 0x00}));
}

TEST(ID3Read, CompressedFrames) {
  const Bytes eleven = Cat({{0}, B("helloworld")});
  const Bytes z = Compress(eleven);
  TagPtr v23 = Parse(Tag(3, 0, Cat({Frame23("TIT2", Cat({BE32(11), z}), 0x0080),
                                    Frame23("TPE1", Text("after"))})));
  auto frames = Frames(v23.get());
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].body, eleven);
  EXPECT_EQ(frames[0].flags, 0x0080u);

  // Version 2.4: compression with its data-length indicator, alone and
  // unsynchronised; the flags come out in the 2.3 layout.
  Bytes big(3000);
  for (size_t i = 0; i < big.size(); ++i)
    big[i] = uint8_t(i % 7 == 0 ? 0xFF : i * 31);
  const Bytes zBig = Compress(big);
  OwnedHandle u(NewHandle(SInt32(zBig.size())));
  std::memcpy(*u, zBig.data(), zBig.size());
  ASSERT_EQ(ID3Unsync(u.get()), noErr);
  TagPtr v24 = Parse(Tag(4, 0, Cat({Frame24("TIT2", Cat({Syncsafe(11), z}), 0x4009),
                                    Frame24("APIC", Cat({Syncsafe(3000), HandleBytes(u.get())}), 0x000B)})));
  frames = Frames(v24.get());
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].body, eleven);
  EXPECT_EQ(frames[0].flags, UInt32(kID3FrameCompressed | kID3FrameTagAlterPreservation));
  EXPECT_EQ(frames[1].body, big);

  // Compression without the data-length indicator the version requires:
  // the size is found by expanding.
  TagPtr bare = Parse(Tag(4, 0, Frame24("TALB", Compress(big), 0x0008)));
  ASSERT_EQ(bare->frameCount, 1);
  EXPECT_EQ(Frames(bare.get())[0].body, big);
}

TEST(ID3Read, ExtendedHeadersAreSkipped) {
  const Bytes frames = Cat({Frame23("TIT2", Text("x")), Frame23("TPE1", Text("y"))});
  const Bytes frames24 = Cat({Frame24("TIT2", Text("x")), Frame24("TPE1", Text("y"))});
  struct Case {
    const char *id;
    Bytes tag;
  } cases[] = {
      {"2.3 six bytes", Tag(3, 0x40, Cat({BE32(6), {0, 0}, BE32(0), frames}))},
      {"2.3 with CRC", Tag(3, 0x40, Cat({BE32(10), {0x80, 0}, BE32(0), BE32(0x12345678), frames}))},
      {"2.3 unsynchronised", Tag(3, 0xC0, Cat({BE32(10), {0x80, 0}, BE32(0), {0xFF, 0x00, 0xFF, 0x00, 1, 2}, frames}))},
      {"2.4", Tag(4, 0x40, Cat({Syncsafe(6), {1, 0}, frames24}))},
      {"2.4 with CRC", Tag(4, 0x40, Cat({Syncsafe(12), {1, 0x20}, {5, 1, 2, 3, 4, 5}, frames24}))},
      {"flag without header", Tag(3, 0x40, frames)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    TagPtr tag = Parse(c.tag);
    EXPECT_EQ(Describe(tag.get()), (std::vector<std::string>{"TIT2|x", "TPE1|y"}));
  }
  // An extended header that claims more than the body: no frames, no error.
  TagPtr bad = Parse(Tag(3, 0x40, Cat({BE32(0x7FFFFFFF), frames})));
  EXPECT_EQ(bad->frameCount, 0);
}

TEST(ID3Read, Version24FooterCountsInTheTagSize) {
  const Bytes body = Frame24("TIT2", Text("foot"));
  TagPtr tag = Parse(Tag(4, 0x10, body, true));
  EXPECT_EQ(tag->v2TagSize, 10 + SInt32(body.size()) + 10);
  EXPECT_EQ(tag->audioOffset, tag->v2TagSize);
  EXPECT_EQ(Describe(tag.get()), (std::vector<std::string>{"TIT2|foot"}));
}

// Some writers put plain sizes in version 2.4 tags.
TEST(ID3Read, PlainSizesInVersion24) {
  const Bytes long1 = Cat({{0}, Bytes(199, 'a')}); // 200 = 0xC8: not syncsafe
  const Bytes long2 = Cat({{0}, Bytes(255, 'b')}); // 256 reads as 128 syncsafe
  const Bytes body = Cat({Frame23("TIT2", long1), Frame23("TALB", long2), Frame23("TPE1", Text("c"))});
  TagPtr tag = Parse(Tag(4, 0, Cat({body, Bytes(30, 0)})));
  const auto frames = Frames(tag.get());
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].body, long1);
  EXPECT_EQ(frames[1].body, long2);
  EXPECT_EQ(frames[2].body, Text("c"));

  // Syncsafe sizes win whenever they walk cleanly.
  TagPtr good = Parse(Tag(4, 0, Cat({Frame24("TIT2", long1), Frame24("TALB", long2)})));
  EXPECT_EQ(FrameIDs(good.get()), (std::vector<std::string>{"TIT2", "TALB"}));
}

TEST(ID3Read, EncryptedAndGroupedFramesStayRaw) {
  const Bytes stored = {0x81, 0x01, 0xDE, 0xAD};
  TagPtr v23 = Parse(Tag(3, 0, Cat({Frame23("TIT2", stored, 0x0040), Frame23("TPE1", Text("x"))})));
  auto frames = Frames(v23.get());
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].body, stored);
  EXPECT_EQ(frames[0].flags, 0x0040u | (3u << kID3FrameRawVersionShift));
  TagPtr v24 = Parse(Tag(4, 0, Frame24("TIT2", stored, 0x0048)));
  frames = Frames(v24.get());
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].body, stored);
  EXPECT_EQ(frames[0].flags, 0x0048u | (4u << kID3FrameRawVersionShift));
}

// Untrusted sizes: a bad frame is dropped or ends the list, the frames
// before it stay, and nothing is read out of bounds (AddressSanitizer).
TEST(ID3Read, HostileSizes) {
  const Bytes first = Frame23("TIT2", Text("kept"));
  const Bytes after = Frame23("TPE1", Text("after"));
  struct Case {
    const char *id;
    Bytes body;
    std::vector<std::string> ids;
  } cases[] = {
      {"size 0xFFFFFFFF", Cat({first, B("TALB"), BE32(0xFFFFFFFF), {0, 0}, Text("x")}), {"TIT2"}},
      {"size one past the end", Cat({first, B("TALB"), BE32(3), {0, 0}, {0, 'x'}}), {"TIT2"}},
      {"cut frame header", Cat({first, B("TALB"), {0, 0}}), {"TIT2"}},
      {"absurd expanded size", Cat({first, Frame23("TALB", Cat({BE32(0xFFFFFFFF), Compress(B("abc"))}), 0x80), after}),
       {"TIT2", "TPE1"}},
      {"expanded size too small", Cat({first, Frame23("TALB", Cat({BE32(2), Compress(B("abcdef"))}), 0x80), after}),
       {"TIT2", "TPE1"}},
      {"corrupt stream", Cat({first, Frame23("TALB", Cat({BE32(10), {0x78, 0x9C, 1, 2, 3, 4}}), 0x80), after}),
       {"TIT2", "TPE1"}},
      {"compressed below 4 bytes", Cat({first, Frame23("TALB", {1, 2}, 0x80), after}), {"TIT2", "TPE1"}},
  };
  PlatformSetZoneLimit(kPlatformTemporaryZone, 1 << 20); // no giant allocation is tried
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    TagPtr tag = NewTag();
    tag->v2MajorVersion = 3;
    EXPECT_EQ(ID3Parse2Pt3Tag(c.body.data(), SInt32(c.body.size()), tag.get()), noErr);
    EXPECT_EQ(FrameIDs(tag.get()), c.ids);
  }
  PlatformSetZoneLimit(kPlatformTemporaryZone, INT32_MAX);
}

// Every cut of a body keeps exactly the frames that end before it.
TEST(ID3Read, TruncationAtEveryByte) {
  const Bytes f1 = Frame24("TIT2", Text("one"));
  const Bytes f2 = Frame24("TPE1", Cat({Syncsafe(4), {0, 0xFF, 0x00, 0xE0, 'x'}}), 0x0003);
  const Bytes f3 = Frame24("TALB", Cat({Syncsafe(20), Compress(Bytes(20, 'z'))}), 0x0009);
  const Bytes body = Cat({f1, f2, f3});
  for (uint8_t major : {2, 3, 4}) {
    for (size_t cut = 0; cut <= body.size(); ++cut) {
      SCOPED_TRACE(std::to_string(major) + " cut " + std::to_string(cut));
      Bytes part(body.begin(), body.begin() + cut);
      TagPtr tag = NewTag();
      tag->v2MajorVersion = major;
      const OSErr err = major == 2 ? ID3Parse2Pt2Tag(part.data(), SInt32(cut), tag.get())
                                   : ID3Parse2Pt3Tag(part.data(), SInt32(cut), tag.get());
      EXPECT_EQ(err, noErr);
      if (major == 4) {
        const SInt32 expected = cut >= body.size() ? 3 : cut >= f1.size() + f2.size() ? 2 : cut >= f1.size() ? 1 : 0;
        EXPECT_EQ(tag->frameCount, expected);
      }
    }
  }
}

TEST(ID3Read, DuplicateFramesAreKept) {
  const Bytes c1 = Cat({{0}, B("eng"), {0}, B("first")});
  const Bytes c2 = Cat({{0}, B("eng"), B("x"), {0}, B("second")});
  TagPtr tag = Parse(Tag(3, 0, Cat({Frame23("COMM", c1), Frame23("COMM", c2)})));
  const auto frames = Frames(tag.get());
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].body, c1);
  EXPECT_EQ(frames[1].body, c2);
}

TEST(ID3Read, TagSizeFromHeader) {
  struct Case {
    const char *id;
    Bytes bytes;
    OSErr err;
    SInt32 size;
  } cases[] = {
      {"257", Cat({B("ID3"), {3, 0, 0, 0, 0, 2, 1}}), noErr, 267},
      {"footer", Cat({B("ID3"), {4, 0, 0x10, 0, 0, 0, 5}}), noErr, 25},
      {"footer flag in 2.3", Cat({B("ID3"), {3, 0, 0x10, 0, 0, 0, 5}}), noErr, 15},
      {"no tag", B("TAG0123456"), kMP3NoTagErr, -1},
      {"version 9", Cat({B("ID3"), {9, 0, 0, 0, 0, 0, 5}}), errAENewerVersion, -1},
      {"short", B("ID3"), eofErr, -1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    ql::detail::ID3MemorySource source{c.bytes.data(), c.bytes.size()};
    SInt32 size = -1;
    EXPECT_EQ(ql::detail::ID3ReadV2TagSize(source, &size), c.err);
    EXPECT_EQ(size, c.size);
  }
  // The open-file forms never report success for a file that is not open.
  SInt32 size = -1;
  EXPECT_NE(ID3Getv2TagSize(-32000, &size), noErr);
  TagPtr tag = NewTag();
  EXPECT_NE(ID3Getv2Tag(-32000, tag.get()), noErr);
}

TEST(ID3Read, NullArguments) {
  TagPtr tag = NewTag();
  EXPECT_EQ(ID3Parse2Pt3Tag(nullptr, 4, tag.get()), paramErr);
  EXPECT_EQ(ID3Parse2Pt2Tag("abc", 3, nullptr), paramErr);
  EXPECT_EQ(ID3Parse2Pt3Tag(nullptr, 0, tag.get()), noErr);
}

} // namespace
