// Whole-fork and range transfers, copies, shifts, delimiter and text reads,
// the contents search, file buffers and the stream bridges, on real files.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "filedata/FileDataTestUtil.h"
#include "platform/events/Events.h"
#include "toolbox/files/FileToolbox.h"

namespace fs = std::filesystem;
using namespace qltest;

namespace {

using FileData = FileDataFixture;

// Opens a data fork for the length of a test body.
struct Open {
  SInt16 ref = 0;
  Open(const FSSpec &spec, SInt8 perm = fsRdWrPerm) { EXPECT_EQ(FSpOpenDF(&spec, perm, &ref), noErr); }
  ~Open() {
    if (ref)
      FSClose(ref);
  }
};

TEST_F(FileData, ShiftDataGrowsAndShrinks) {
  const std::string old = Pattern(100);
  struct Case {
    const char *id;
    SInt32 offset, shift;
    OSErr err;
    std::string expected;
  } cases[] = {
      {"grow at 10 by 5", 10, 5, noErr, old.substr(0, 15) + old.substr(10)},
      {"shrink at 10 by 10", 10, -10, noErr, old.substr(10)},
      {"nothing past the end", 100, 7, noErr, old},
      {"nothing far past the end", 500, -7, noErr, old},
      {"shift zero", 30, 0, noErr, old},
      {"grow at 0", 0, 3, noErr, old.substr(0, 3) + old},
      {"shift before the start", 5, -6, paramErr, old},
      {"negative offset", -1, 4, paramErr, old},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    Put("f", old);
    FSSpec spec = Spec("f");
    Open f(spec);
    EXPECT_EQ(FSShiftData(0, f.ref, c.offset, c.shift), c.err);
    if (c.err == noErr && std::string(c.id).rfind("nothing", 0) != 0) {
      SInt32 mark = -1;
      EXPECT_EQ(GetFPos(f.ref, &mark), noErr);
      EXPECT_EQ(mark, SInt32(c.expected.size())) << "the mark ends at the new end";
    }
    FSClose(f.ref);
    f.ref = 0;
    EXPECT_EQ(Read("f"), c.expected);
  }
}

TEST_F(FileData, ShiftDataMovesLargeTailsInPiecesUnderTightMemory) {
  // With memory for only small pieces, the tail moves through many of
  // them; every piece boundary must land exactly.
  const std::string old = Pattern(300000 + 17, 5);
  PlatformSetZoneLimit(kPlatformTemporaryZone, 20000);
  PlatformSetZoneLimit(kPlatformApplicationZone, 0);
  for (SInt32 shift : {4099, -4099, 1, -1, 123457}) {
    SCOPED_TRACE(shift);
    Put("f", old);
    FSSpec spec = Spec("f");
    Open f(spec);
    const SInt32 offset = 150001;
    ASSERT_EQ(FSShiftData(0, f.ref, offset, shift), noErr);
    FSClose(f.ref);
    f.ref = 0;
    const std::string now = Read("f");
    ASSERT_EQ(now.size(), old.size() + shift);
    EXPECT_TRUE(now.compare(offset + shift, std::string::npos, old, offset) == 0);
    const size_t keep = std::min<size_t>(offset, offset + shift);
    EXPECT_TRUE(now.compare(0, keep, old, 0, keep) == 0);
  }
  // No memory at all for even the smallest piece.
  PlatformSetZoneLimit(kPlatformTemporaryZone, 100);
  Put("f", old);
  FSSpec spec = Spec("f");
  Open f(spec);
  EXPECT_EQ(FSShiftData(0, f.ref, 10, 10), memFullErr);
}

TEST_F(FileData, RangeReads) {
  const std::string data = Pattern(100);
  Put("f", data);
  FSSpec spec = Spec("f");
  FSRef ref = RefOf(tmp.path() / "f");
  struct Case {
    const char *id;
    UInt32 start, limit;
    OSErr err;
    std::string expected;
  } cases[] = {
      {"10 to 20", 10, 20, noErr, data.substr(10, 10)},
      {"10 to the end", 10, 0, noErr, data.substr(10)},
      {"whole", 0, 0, noErr, data},
      {"limit past the end", 0, 1000, noErr, data},
      {"limit below start", 50, 20, noErr, ""},
      {"limit equal to start", 50, 50, noErr, ""},
      {"start at the end", 100, 0, noErr, ""},
      {"start past the end", 101, 0, eofErr, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    Handle h = reinterpret_cast<Handle>(0x1);
    EXPECT_EQ(FSpReadDataFork(&spec, c.start, c.limit, &h), c.err);
    if (c.err == noErr) {
      EXPECT_EQ(HandleBytes(h), c.expected);
      EXPECT_EQ(HandleZone(h), TempZone());
      EXPECT_EQ(HGetState(h) & kHandleLockedMask, 0);
      DisposeHandle(h);
    } else {
      EXPECT_EQ(h, reinterpret_cast<Handle>(0x1)) << "written only on success";
    }
    Handle h2 = nullptr;
    EXPECT_EQ(FSReadDataFork(&ref, c.start, c.limit, &h2), c.err);
    if (h2) {
      EXPECT_EQ(HandleBytes(h2), c.expected);
      DisposeHandle(h2);
    }
  }
  Handle h = nullptr;
  EXPECT_EQ(FSReadDataFork(&ref, -1, 0, &h), paramErr);
  EXPECT_EQ(FSpReadDataFork(nullptr, 0, 0, &h), paramErr);
  EXPECT_EQ(FSpReadDataFork(&spec, 0, 0, nullptr), paramErr);
  // Ranges a handle cannot hold are refused before any memory is asked
  // for: 2 to 4 GiB, and from the fork calls 4 GiB and more (sparse files).
  const SInt32 handles = PlatformLiveHandleCount();
  {
    std::FILE *big = std::fopen((tmp.path() / "big").c_str(), "wb");
    ASSERT_NE(big, nullptr);
    ASSERT_EQ(ftruncate(fileno(big), off_t(5) << 30), 0);
    std::fclose(big);
  }
  FSSpec big = Spec("big");
  FSRef bigRef = RefOf(tmp.path() / "big");
  EXPECT_EQ(FSReadDataFork(&bigRef, 0, 0, &h), paramErr);
  EXPECT_EQ(FSReadDataFork(&bigRef, 1, SInt64(1) << 32, &h), memFullErr);
  EXPECT_EQ(FSpReadDataFork(&big, 0, 0xC0000000u, &h), memFullErr);
  Handle small = nullptr;
  ASSERT_EQ(FSReadDataFork(&bigRef, (SInt64(4) << 30) + 5, (SInt64(4) << 30) + 9, &small), noErr);
  EXPECT_EQ(HandleBytes(small), std::string(4, '\0'));
  DisposeHandle(small);
  EXPECT_EQ(PlatformLiveHandleCount(), handles);
  // An empty fork gives an empty handle.
  Put("empty", "");
  FSSpec empty = Spec("empty");
  ASSERT_EQ(FSpReadDataFork(&empty, 0, 0, &h), noErr);
  EXPECT_EQ(GetHandleSize(h), 0);
  DisposeHandle(h);
}

TEST_F(FileData, WritesAtOffsets) {
  const std::string data = Pattern(100);
  struct Case {
    const char *id;
    bool fsref;
    SInt64 offset, count;
    OSErr err;
    std::string expected;
  } cases[] = {
      {"FSp 5 bytes at 0 keeps the rest", false, 0, 5, noErr, "HELLO" + data.substr(5)},
      {"FSRef 5 bytes at 0 ends the file", true, 0, 5, noErr, "HELLO"},
      {"FSp past the end appends", false, 500, 5, noErr, data + "HELLO"},
      {"FSRef past the end appends", true, 500, 5, noErr, data + "HELLO"},
      {"FSp in the middle", false, 98, 5, noErr, data.substr(0, 98) + "HELLO"},
      {"FSp count 0", false, 0, 0, paramErr, data},
      {"FSp negative count", false, 0, -5, paramErr, data},
      {"FSRef negative count", true, 0, -5, paramErr, data},
      {"FSRef count of 4 GiB", true, 0, 0x100000000ll, paramErr, data},
      {"FSRef count 0 cuts at the offset", true, 40, 0, noErr, data.substr(0, 40)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    Put("f", data);
    if (c.fsref) {
      FSRef ref = RefOf(tmp.path() / "f");
      EXPECT_EQ(FSWriteDataFork(&ref, c.offset, "HELLO", c.count), c.err);
    } else {
      FSSpec spec = Spec("f");
      EXPECT_EQ(FSpWriteDataFork(&spec, UInt32(c.offset), "HELLO", SInt32(c.count)), c.err);
    }
    EXPECT_EQ(Read("f"), c.expected);
  }
  // A missing file is created as 'TEXT' by 'MPS '.
  FSSpec missing = Spec("missing");
  ASSERT_EQ(FSpWriteDataFork(&missing, 7, "abc", 3), noErr);
  EXPECT_EQ(Read("missing"), "abc");
  OSType type, creator;
  ASSERT_EQ(FSpGetTypeAndCreator(&missing, &type, &creator), noErr);
  EXPECT_EQ(type, ql::FourCC("TEXT"));
  EXPECT_EQ(creator, ql::FourCC("MPS "));
  // The resource-fork twin creates a resource file.
  FSSpec missingR = Spec("missingR");
  ASSERT_EQ(FSpWriteResourceFork(&missingR, 1000, "xyz", 3), noErr);
  SInt32 dataLen = -1, rsrcLen = -1;
  ASSERT_EQ(FSpGetFileForkSize(&missingR, &dataLen, &rsrcLen), noErr);
  EXPECT_EQ(dataLen, 0);
  EXPECT_EQ(rsrcLen, 286 + 3);
}

TEST_F(FileData, CopiesAppendsAndPadding) {
  const std::string src = Pattern(3000, 2);
  Put("src", src);
  Put("long", Pattern(5000, 3));
  FSSpec s = Spec("src"), longer = Spec("long"), fresh = Spec("fresh");
  FInfo fi{};
  fi.fdType = ql::FourCC("MP3 ");
  fi.fdCreator = ql::FourCC("hook");
  ASSERT_EQ(FSpSetFInfo(&s, &fi), noErr);

  // Copying over a longer file leaves no old tail.
  ASSERT_EQ(FSpCopyFileDataFork(&s, &longer), noErr);
  EXPECT_EQ(Read("long"), src);
  // A missing destination gets the source's type and creator.
  ASSERT_EQ(FSpCopyFileDataFork(&s, &fresh), noErr);
  EXPECT_EQ(Read("fresh"), src);
  OSType type, creator;
  ASSERT_EQ(FSpGetTypeAndCreator(&fresh, &type, &creator), noErr);
  EXPECT_EQ(type, ql::FourCC("MP3 "));
  EXPECT_EQ(creator, ql::FourCC("hook"));
  // A zero-byte source leaves a zero-byte destination.
  Put("zero", "");
  FSSpec zero = Spec("zero");
  ASSERT_EQ(FSpCopyFileDataFork(&zero, &longer), noErr);
  EXPECT_EQ(Read("long"), "");

  // Both forks, into a new file only.
  ASSERT_EQ(FSpWriteResourceFork(&s, 0, "R", 1), noErr);
  FSSpec both = Spec("both");
  ASSERT_EQ(FSpCopyFileResourceAndDataFork(&s, &both), noErr);
  EXPECT_EQ(Read("both"), src);
  EXPECT_EQ(SidecarEntry(Read("._both"), 2), SidecarEntry(Read("._src"), 2));
  EXPECT_EQ(FSpCopyFileResourceAndDataFork(&s, &both), dupFNErr);

  // Appending.
  Put("a", "head:");
  FSSpec a = Spec("a");
  ASSERT_EQ(FSpAppendFileDataFork(&a, &s), noErr);
  EXPECT_EQ(Read("a"), "head:" + src);

  // Padding with zeros to the alignment.
  struct Pad {
    const char *id;
    size_t size;
    UInt32 alignment;
    size_t expected;
  } pads[] = {
      {"1000 to 512", 1000, 512, 1024}, {"1024 to 512", 1024, 512, 1024}, {"1 to 4096", 1, 4096, 4096},
      {"alignment 0", 1000, 0, 1000},   {"empty file", 0, 512, 0},
  };
  for (const Pad &p : pads) {
    SCOPED_TRACE(p.id);
    Put("p", std::string(p.size, 'x'));
    FSSpec ps = Spec("p");
    ASSERT_EQ(FSpPadFileDataFork(&ps, p.alignment), noErr);
    EXPECT_EQ(Read("p"), std::string(p.size, 'x') + std::string(p.expected - p.size, '\0'));
  }
}

TEST_F(FileData, ForkToForkCopyAndSkippingReads) {
  Put("src", "0123456789");
  Put("dst", "");
  FSSpec s = Spec("src"), d = Spec("dst");
  Open src(s, fsRdPerm), dst(d);
  char buf[3];
  ASSERT_EQ(SetFPos(src.ref, fsFromStart, 2), noErr);
  EXPECT_EQ(FSCopyForkData(src.ref, dst.ref, 7, buf, sizeof buf), noErr);
  EXPECT_EQ(FSCopyForkData(src.ref, dst.ref, 0, nullptr, 0), noErr);
  EXPECT_EQ(FSCopyForkData(src.ref, dst.ref, 5, buf, 0), paramErr);
  EXPECT_EQ(FSCopyForkData(src.ref, dst.ref, 5, buf, sizeof buf), eofErr); // one byte left
  EXPECT_EQ(Read("dst"), "23456789");

  // Records of 4 bytes read 2 at a time: the mark skips the other 2.
  ByteCount got = 0;
  EXPECT_EQ(FSReadForkSkip(src.ref, fsFromStart, 0, 4, 2, buf, &got), noErr);
  EXPECT_EQ(std::string(buf, got), "01");
  EXPECT_EQ(FSReadForkSkip(src.ref, fsAtMark, 0, 4, 2, buf, &got), noErr);
  EXPECT_EQ(std::string(buf, got), "45");
  SInt32 mark;
  EXPECT_EQ(GetFPos(src.ref, &mark), noErr);
  EXPECT_EQ(mark, 8);
}

TEST_F(FileData, ReadUntilDelimiter) {
  Put("f", "alpha,beta");
  FSSpec spec = Spec("f");
  Open f(spec, fsRdPerm);
  char buf[64];
  SInt32 size = sizeof buf;
  Boolean found = false;
  EXPECT_EQ(FSReadUntilDelimiter(f.ref, buf, &size, ',', &found), noErr);
  EXPECT_TRUE(found);
  EXPECT_EQ(size, 5);
  SInt32 mark;
  EXPECT_EQ(GetFPos(f.ref, &mark), noErr);
  EXPECT_EQ(mark, 6);
  size = sizeof buf;
  EXPECT_EQ(FSReadUntilDelimiter(f.ref, buf, &size, ',', &found), eofErr);
  EXPECT_FALSE(found);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(GetFPos(f.ref, &mark), noErr);
  EXPECT_EQ(mark, 10);
  // A delimiter byte above 0x7F.
  Put("g", "ab\xE9z");
  FSSpec g = Spec("g");
  Open fg(g, fsRdPerm);
  size = sizeof buf;
  EXPECT_EQ(FSReadUntilDelimiter(fg.ref, buf, &size, char(0xE9), &found), noErr);
  EXPECT_TRUE(found);
  EXPECT_EQ(size, 2);
}

TEST_F(FileData, ReadUntilTextAcrossBuffers) {
  const std::string text = "NEEDLE";
  struct Case {
    const char *id;
    std::string contents;
    SInt32 buffer;
    bool found;
    SInt32 markAfter;
  } cases[] = {
      {"inside the first buffer", "ab" + text + "cdefghijkl", 16, true, 8},
      {"straddling two buffers", "0123456" + text + "xyz", 10, true, 13},
      {"ending exactly at the end", "0123456789" + text, 8, true, 16},
      {"buffer as small as the text", "abcdefghij" + text + "k", 6, true, 16},
      {"absent", "0123456789abcdefghij", 8, false, 0},
      {"only a prefix at the end", "0123456789NEED", 8, false, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    Put("f", c.contents);
    FSSpec spec = Spec("f");
    Open f(spec, fsRdPerm);
    std::string buf(size_t(c.buffer), '\0');
    SInt32 size = c.buffer;
    Boolean found = !c.found;
    OSErr e = FSReadUntilText(f.ref, buf.data(), &size, text.data(), SInt32(text.size()), &found);
    EXPECT_EQ(found, c.found);
    SInt32 mark = -1;
    EXPECT_EQ(GetFPos(f.ref, &mark), noErr);
    EXPECT_EQ(mark, c.markAfter);
    if (c.found) {
      EXPECT_EQ(e, noErr);
    } else {
      EXPECT_EQ(e, eofErr);
      EXPECT_EQ(size, 0);
    }
  }
  Put("f", "x");
  FSSpec spec = Spec("f");
  Open f(spec, fsRdPerm);
  char small[4];
  SInt32 size = 4;
  Boolean found;
  EXPECT_EQ(FSReadUntilText(f.ref, small, &size, "longer", 6, &found), paramErr);
}

TEST_F(FileData, SearchFileContents) {
  // A file with the text at many places; every buffer size from 1 up must
  // give the same offset, also across chunk ends and at the file's end.
  const std::string filler = Pattern(37, 9);
  struct Case {
    const char *id;
    std::string contents;
    std::string text;
    bool caseSensitive;
    OSErr err;
    UInt32 offset;
  } cases[] = {
      {"at the start", "needle" + filler, "needle", true, noErr, 0},
      {"in the middle", filler + "needle" + filler, "needle", true, noErr, 37},
      {"ending exactly at the end", filler + "needle", "needle", true, noErr, 37},
      {"overlapping candidates", "aaab" + filler, "aab", true, noErr, 1},
      {"folded case", filler + "NeEdLe!", "needle", false, noErr, 37},
      {"case matters", filler + "NeEdLe!", "needle", true, fnfErr, 0},
      {"absent", filler + filler, "needle", true, fnfErr, 0},
      {"prefix only at the end", filler + "need", "needle", true, fnfErr, 0},
      {"text longer than the file", "nee", "needle", true, fnfErr, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    Put("f", c.contents);
    FSSpec spec = Spec("f");
    for (UInt32 size : {1u, 2u, 3u, 5u, 8u, 13u, 64u, 0u}) {
      SCOPED_TRACE(size);
      std::string buf(std::max<UInt32>(size, 1), '\0');
      UInt32 offset = 12345;
      EXPECT_EQ(FSpSearchFileContents(&spec, c.text.data(), UInt32(c.text.size()), size ? buf.data() : nullptr, size,
                                      c.caseSensitive, &offset),
                c.err);
      EXPECT_EQ(offset, c.offset);
    }
  }
  Put("f", "abc");
  FSSpec spec = Spec("f");
  UInt32 offset;
  EXPECT_EQ(FSpSearchFileContents(&spec, "a", 0, nullptr, 0, true, &offset), paramErr);
  EXPECT_EQ(FSpSearchFileContents(&spec, nullptr, 1, nullptr, 0, true, &offset), paramErr);
}

TEST_F(FileData, SearchFallsBackWhenMemoryIsShort) {
  std::string contents = Pattern(200000, 4);
  contents.replace(150000, 6, "needle");
  Put("f", contents);
  FSSpec spec = Spec("f");
  struct Case {
    const char *id;
    SInt64 tempLimit;
  } cases[] = {{"whole file", INT32_MAX}, {"largest block", 100000}, {"own small buffer", 1000}};
  PlatformSetZoneLimit(kPlatformApplicationZone, 0);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    PlatformSetZoneLimit(kPlatformTemporaryZone, c.tempLimit);
    UInt32 offset = 0;
    EXPECT_EQ(FSpSearchFileContents(&spec, "needle", 6, nullptr, 0, true, &offset), noErr);
    EXPECT_EQ(offset, 150000u);
  }
}

TEST_F(FileData, FileBuffers) {
  struct Case {
    const char *id;
    UInt32 wanted;
    SInt64 tempLimit;
    bool fallback;
    OSErr err;
    UInt32 size;
  } cases[] = {
      {"5000 rounds to 8192", 5000, INT32_MAX, false, noErr, 8192},
      {"100 rounds up to 4096", 100, INT32_MAX, false, noErr, 4096},
      {"above 16 MiB is 16 MiB", 0x2000000, INT32_MAX, false, noErr, 0x1000000},
      {"halves until it fits", 5000, 6000, false, noErr, 4096},
      {"no memory, no fallback", 5000, 100, false, memFullErr, 0},
      {"no memory, a fallback", 5000, 100, true, noErr, 300},
  };
  static char fallback[300];
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    PlatformSetZoneLimit(kPlatformTemporaryZone, c.tempLimit);
    Handle h = nullptr;
    Ptr p = nullptr;
    UInt32 size = 0;
    EXPECT_EQ(FSCreateFileBuffer(c.wanted, 0, c.fallback ? fallback : nullptr, c.fallback ? sizeof fallback : 0, &h,
                                 &p, &size),
              c.err);
    EXPECT_EQ(size, c.size);
    if (c.err == noErr && c.fallback) {
      EXPECT_EQ(h, kFSFileBufferFallbackHandle);
      EXPECT_EQ(p, fallback);
    } else if (c.err == noErr) {
      EXPECT_EQ(p, *h);
      EXPECT_NE(HGetState(h) & kHandleLockedMask, 0);
      EXPECT_EQ(GetHandleSize(h), Size(c.size));
    }
    EXPECT_EQ(FSDeleteFileBuffer(h), noErr);
  }
}

SInt32 gHookCalls = 0;
void CountingHook(ParmBlkPtr pb, void *context) {
  ++gHookCalls;
  EXPECT_EQ(context, &gHookCalls);
  EXPECT_EQ(pb->ioParam.ioReqCount, 5);
}

struct Idle {
  int calls = 0;
};
void IdleProc(void *data) { ++static_cast<Idle *>(data)->calls; }

TEST_F(FileData, WaitingWritesAndReadsGiveTime) {
  Put("f", "");
  FSSpec spec = Spec("f");
  Open f(spec);
  PlatformSetAsyncCompletionDelay(40);
  gFSGiveTimeProc = CountingHook;
  gFSGiveTimeContextPtr = &gHookCalls;
  gHookCalls = 0;
  SInt32 actual = 0;
  EXPECT_EQ(FSWriteWithOptions(0, f.ref, 5, "hello", &actual), noErr);
  EXPECT_EQ(actual, 5);
  EXPECT_GT(gHookCalls, 0);
  // Option 2 writes synchronously: the hook is not called.
  gHookCalls = 0;
  EXPECT_EQ(FSWriteWithOptions(kFSWriteOptionSynchronous, f.ref, 6, " world", &actual), noErr);
  EXPECT_EQ(gHookCalls, 0);
  gFSGiveTimeProc = nullptr;
  gFSGiveTimeContextPtr = nullptr;
  EXPECT_EQ(FSWriteWithOptions(0, f.ref, 1, "!", nullptr), noErr);
  EXPECT_EQ(Read("f"), "hello world!");

  // The yielding read: idle work at once and then every 10 ticks.
  Idle idle;
  const UInt32 waits = PlatformWaitNextEventCount(), yields = PlatformYieldCount();
  char buf[8] = {};
  const UInt32 t0 = TickCount();
  EXPECT_EQ(FSReadYield(f.ref, fsFromStart, 6, 5, &actual, kFSYieldOptionThreads | kFSYieldOptionProcesses, buf,
                        IdleProc, &idle),
            noErr);
  EXPECT_EQ(actual, 5);
  EXPECT_EQ(std::string(buf, 5), "world");
  const UInt32 elapsed = TickCount() - t0;
  EXPECT_GE(idle.calls, 1);
  EXPECT_LE(UInt32(idle.calls), elapsed / 10 + 1) << "idle work at most every 10 ticks";
  EXPECT_EQ(PlatformWaitNextEventCount() - waits, UInt32(idle.calls));
  EXPECT_EQ(PlatformYieldCount() - yields, UInt32(idle.calls));
  EXPECT_EQ(FSWriteYield(f.ref, fsFromLEOF, 0, 3, 0, "???", nullptr, nullptr), noErr);
  EXPECT_EQ(FSReadYield(f.ref, fsFromStart, 100, 1, &actual, 0, buf, nullptr, nullptr), eofErr);
  PlatformSetAsyncCompletionDelay(0);
  EXPECT_EQ(Read("f"), "hello world!???");

  SInt32 n = 3;
  ASSERT_EQ(SetFPos(f.ref, fsFromStart, 0), noErr);
  EXPECT_EQ(FSReadDontCache(f.ref, &n, buf), noErr);
  EXPECT_EQ(std::string(buf, 3), "hel");
  n = 2;
  EXPECT_EQ(FSWriteDontCache(f.ref, &n, "LO"), noErr);
  EXPECT_EQ(FSFlushFile(f.ref), noErr);
  EXPECT_EQ(Read("f"), "helLO world!???");
  n = 3;
  EXPECT_EQ(FSReadDontCache(999, &n, buf), rnfErr);
  EXPECT_EQ(n, 0) << "the count is stored also on failure";
}

TEST_F(FileData, StreamBridges) {
  Put("s", "stream data");
  FSSpec spec = Spec("s");
  FILE *f = FSp_fopen_compat(&spec, "r+b");
  ASSERT_NE(f, nullptr);
  char buf[6] = {};
  EXPECT_EQ(FRead(f, 6, buf), 0);
  EXPECT_EQ(std::string(buf, 6), "stream");
  SInt64 size = 0;
  EXPECT_EQ(fgetsize(f, &size), 0);
  EXPECT_EQ(size, 11);
  EXPECT_EQ(ftell(f), 6) << "the position is kept";
  EXPECT_EQ(fshift(f, 0, 10), 0);
  EXPECT_EQ(FRead(f, 100, buf), -1);
  EXPECT_EQ(FWrite(f, 3, "xyz"), 0);
  // Sizes are unsigned up to 4 GiB; 4 GiB and above change nothing.
  EXPECT_EQ(fsetsize(f, 0x100000000ll), -1412);
  EXPECT_EQ(fsetsize(f, -1), -1412);
  EXPECT_EQ(fsetsize(f, 0xC0000000ll), 0); // 3 GiB, sparse
  EXPECT_EQ(fs::file_size(tmp.path() / "s"), 0xC0000000ull);
  EXPECT_EQ(ftell(f), 0) << "rewound";
  EXPECT_EQ(fsetsize(f, 4), 0);
  EXPECT_EQ(fclose(f), 0);
  EXPECT_EQ(Read("s"), "stre");
  EXPECT_EQ(fgetsize(nullptr, &size), -1);
  FSSpec missing = Spec("missing");
  EXPECT_EQ(FSp_fopen_compat(&missing, "rb"), nullptr);
}

TEST_F(FileData, ReferenceToSpec) {
  Put("f", "x");
  FSSpec spec = Spec("f");
  Open f(spec, fsRdPerm);
  FSSpec out;
  std::memset(&out, 0xAA, sizeof out);
  ASSERT_EQ(FileReferenceToFSSpec(f.ref, &out), noErr);
  EXPECT_EQ(out.vRefNum, spec.vRefNum);
  EXPECT_EQ(SInt32{out.parID}, SInt32{spec.parID});
  EXPECT_EQ(PStr(out.name), "f");
  std::memset(&out, 0xAA, sizeof out);
  EXPECT_EQ(FileReferenceToFSSpec(999, &out), rnfErr);
  EXPECT_EQ(out.vRefNum, SInt16(0xAAAA));
}

} // namespace
