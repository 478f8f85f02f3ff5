// The tag record, its frame list and options, and the frame table.

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "tests/mp3/Mp3TestSupport.h"

using namespace mp3test;
using ql::FourCC;

namespace {

TEST(MP3FrameTable, RowsInOrderWithKeysFromLongIDs) {
  using ql::detail::kMP3FrameDispatchTable;
  ASSERT_EQ(ql::detail::kMP3FrameDispatchTableCount, 77);
  std::string order, shorts;
  for (const auto &row : kMP3FrameDispatchTable) {
    EXPECT_EQ(row.key, FourCC(row.longID)) << row.longID;
    EXPECT_EQ(std::strlen(row.longID), 4u);
    EXPECT_TRUE(std::strlen(row.shortID) == 0 || std::strlen(row.shortID) == 3) << row.longID;
    order += std::string(row.longID) + " ";
    shorts += std::string(row.shortID[0] ? row.shortID : "-") + " ";
  }
  // Spot checks on order: first, the PRIV/PCNT pair that breaks alphabetical
  // order, the TYER/TXXX pair, and the last row.
  EXPECT_EQ(order.substr(0, 10), "AENC APIC ");
  EXPECT_NE(order.find("PRIV PCNT POPM"), std::string::npos);
  EXPECT_NE(order.find("TSSE TYER TXXX UFID"), std::string::npos);
  EXPECT_EQ(order.substr(order.size() - 10), "WPUB WXXX ");
  EXPECT_EQ(shorts.substr(0, 12), "CRA PIC COM ");
}

TEST(MP3FrameTable, FindFrameInfo) {
  char longID[4] = {'x', 'x', 'x', 'x'}, shortID[3] = {'x', 'x', 'x'};
  EXPECT_TRUE(ql::detail::ID3FindFrameInfo(FourCC("TIT2"), longID, shortID));
  EXPECT_EQ(std::string(longID, 4), "TIT2");
  EXPECT_EQ(std::string(shortID, 3), "TT2");
  EXPECT_TRUE(ql::detail::ID3FindFrameInfo(FourCC("TSOP"), longID, shortID));
  EXPECT_EQ(std::string(shortID, 3), std::string(3, '\0'));
  EXPECT_TRUE(ql::detail::ID3FindFrameInfo(FourCC("WXXX"), nullptr, nullptr));
  EXPECT_FALSE(ql::detail::ID3FindFrameInfo(FourCC("TDRC"), longID, shortID));
}

TEST(MP3Tag, NewTagIsEmptyWithOptions) {
  TagPtr tag = NewTag(0x30);
  EXPECT_EQ(tag->options, 0x30u);
  EXPECT_EQ(tag->frameCount, 0);
  EXPECT_EQ(tag->firstFrame, nullptr);
  EXPECT_EQ(MP3NewTag(0, nullptr), paramErr);
  EXPECT_EQ(MP3FreeTag(nullptr), noErr);
}

TEST(MP3Tag, SetFrameAddsReplacesAndNamesUnknownKeys) {
  TagPtr tag = NewTag();
  using ql::detail::ID3SetFrame;
  MP3TagFrame *first = nullptr, *second = nullptr, *again = nullptr;
  ASSERT_EQ(ID3SetFrame(tag.get(), false, FourCC("COMM"), nullptr, nullptr, 0, 3, "abc", &first), noErr);
  ASSERT_EQ(ID3SetFrame(tag.get(), true, FourCC("COMM"), "COMM", "COM", 0x8000, 2, "de", &second), noErr);
  EXPECT_NE(first, second);
  EXPECT_EQ(std::string(first->shortID, 3), "COM");
  // Without add-always the first frame with the key gets the new body; its
  // IDs and flags stay.
  ASSERT_EQ(ID3SetFrame(tag.get(), false, FourCC("COMM"), "XXXX", "XXX", 0x4000, 5, "fghij", &again), noErr);
  EXPECT_EQ(again, first);
  EXPECT_EQ(std::string(first->data, 5), "fghij");
  EXPECT_EQ(std::string(first->longID, 4), "COMM");
  EXPECT_EQ(first->frameFlags, 0u);
  EXPECT_EQ(std::string(second->data, 2), "de");

  MP3TagFrame *odd = nullptr;
  ASSERT_EQ(ID3SetFrame(tag.get(), false, FourCC("zzzz"), nullptr, nullptr, 0, 0, nullptr, &odd), noErr);
  EXPECT_EQ(std::string(odd->longID, 4), "????");
  EXPECT_EQ(std::string(odd->shortID, 3), "???");

  SInt32 count = 0;
  EXPECT_EQ(MP3GetTagFrameCount(tag.get(), &count), noErr);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(FrameIDs(tag.get()), (std::vector<std::string>{"COMM", "COMM", "????"}));
}

TEST(MP3Tag, RemoveFrameTakesTheFirstWithTheKey) {
  TagPtr tag = NewTag();
  AddFrame(tag.get(), "COMM", B("one"));
  AddFrame(tag.get(), "TIT2", B("t"));
  AddFrame(tag.get(), "COMM", B("two"));
  EXPECT_EQ(MP3RemoveTagFrame(tag.get(), FourCC("COMM")), noErr);
  auto frames = Frames(tag.get());
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1].body, B("two"));
  EXPECT_EQ(tag->lastFrame->prevFrame, tag->firstFrame);
  EXPECT_EQ(MP3RemoveTagFrame(tag.get(), FourCC("TALB")), errAEDescNotFound);
  EXPECT_EQ(tag->frameCount, 2);
  EXPECT_EQ(MP3RemoveTagFrame(tag.get(), FourCC("COMM")), noErr);
  EXPECT_EQ(MP3RemoveTagFrame(tag.get(), FourCC("TIT2")), noErr);
  EXPECT_EQ(tag->firstFrame, nullptr);
  EXPECT_EQ(tag->lastFrame, nullptr);
  EXPECT_EQ(tag->frameCount, 0);
}

TEST(MP3Tag, VersionAndSizeSelectors) {
  TagPtr tag = NewTag();
  UInt8 major = 0xAA, minor = 0xAA;
  SInt32 size = -7;
  EXPECT_EQ(MP3GetTagVersion(tag.get(), 1, &major, &minor), errAENewerVersion);
  EXPECT_EQ(MP3GetTagVersion(tag.get(), 0, &major, &minor), errAENewerVersion);
  EXPECT_EQ(MP3GetTagVersion(tag.get(), 2, &major, &minor), -1754);
  EXPECT_EQ(MP3GetTagSize(tag.get(), 1, &size), -1754);
  EXPECT_EQ(MP3GetTagSize(tag.get(), 0, &size), -1754);
  EXPECT_EQ(major, 0xAA);
  EXPECT_EQ(size, -7);

  tag->v2MajorVersion = 3;
  tag->v2Revision = 1;
  tag->v2TagSize = 2048;
  tag->v1Version = 0x11;
  EXPECT_EQ(MP3GetTagVersion(tag.get(), 1, &major, &minor), noErr);
  EXPECT_EQ(major, 3);
  EXPECT_EQ(minor, 1);
  EXPECT_EQ(MP3GetTagVersion(tag.get(), 0, &major, nullptr), noErr);
  EXPECT_EQ(major, 1);
  EXPECT_EQ(MP3GetTagSize(tag.get(), 1, &size), noErr);
  EXPECT_EQ(size, 2048);
  EXPECT_EQ(MP3GetTagSize(tag.get(), 0, &size), noErr);
  EXPECT_EQ(size, 128);
  EXPECT_EQ(MP3GetTagSize(tag.get(), 5, nullptr), -1754);
}

TEST(MP3Options, InitialValueAndSet) {
  UInt32 options = 0;
  EXPECT_EQ(MP3GetOptions(&options), noErr);
  EXPECT_EQ(options, 7u);
  {
    ScopedOptions scoped(0x12);
    EXPECT_EQ(MP3GetOptions(&options), noErr);
    EXPECT_EQ(options, 0x12u);
  }
  MP3GetOptions(&options);
  EXPECT_EQ(options, 7u);
}

// Parsing and flattening under every possible allocation failure: the
// result is right or memFullErr, and nothing leaks.
TEST(MP3Tag, AllocationFailuresLeakNothing) {
  const Bytes body = Cat({Frame23("TIT2", Text("title")),
                          Frame23("TALB", Cat({BE32(30), Compress(Bytes(30, 'a'))}), 0x0080),
                          Frame23("COMM", Cat({{0}, B("eng"), {0}, B("c")}))});
  const Bytes whole = Tag(3, 0x80, body);
  const int runs = qltest::ForEachAllocFailure(
      [&] {
        MP3Tag *tag = nullptr;
        OSErr err = MP3NewTag(0, &tag);
        if (err != noErr)
          return err;
        err = ql::detail::ID3ParseTagBytes(whole.data(), whole.size(), tag);
        if (err == noErr) {
          Handle h = NewHandle(0);
          err = h ? ID3FlattenTagToID3v2(tag, kMP3WriteID3v24, h) : memFullErr;
          if (err == noErr)
            err = ID3FlattenTagToID3v2(tag, kMP3WriteID3v23, h);
          DisposeHandle(h);
        }
        MP3FreeTag(tag);
        return err;
      },
      [](OSErr result, bool injected) {
        EXPECT_TRUE(result == noErr || (injected && result == memFullErr)) << result;
      });
  EXPECT_GT(runs, 10); // the sweep reached the frames, the expansion and both flattenings
}

} // namespace
