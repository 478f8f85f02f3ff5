// The platform's fork I/O, resource forks in sidecars, creation, locks,
// busy files and the asynchronous requests, on real temporary files.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "filedata/FileDataTestUtil.h"
#include "platform/events/Events.h"
#include "platform/resources/Resources.h"
#include "toolbox/files/FileToolbox.h"

namespace fs = std::filesystem;
using namespace qltest;

namespace {

using ForkIO = FileDataFixture;

TEST_F(ForkIO, ReadWriteMarksAndEndOfFile) {
  Put("f", "0123456789");
  FSSpec spec = Spec("f");
  SInt16 ref;
  ASSERT_EQ(FSpOpenDF(&spec, fsRdWrPerm, &ref), noErr);
  char buf[16] = {};
  SInt32 n = 4;
  EXPECT_EQ(FSRead(ref, &n, buf), noErr);
  EXPECT_EQ(std::string(buf, 4), "0123");
  SInt32 pos = -1;
  EXPECT_EQ(GetFPos(ref, &pos), noErr);
  EXPECT_EQ(pos, 4);

  struct Case {
    const char *id;
    SInt16 mode;
    SInt32 offset;
    OSErr err;
    SInt32 mark;
  } cases[] = {
      {"from start", fsFromStart, 7, noErr, 7},
      {"from end", fsFromLEOF, -3, noErr, 7},
      {"from mark back", fsFromMark, -2, noErr, 5},
      {"at mark ignores offset", fsAtMark, 99, noErr, 5},
      {"before the start", fsFromStart, -1, posErr, 5},
      {"past the end", fsFromStart, 11, eofErr, 10},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(SetFPos(ref, c.mode, c.offset), c.err);
    EXPECT_EQ(GetFPos(ref, &pos), noErr);
    EXPECT_EQ(pos, c.mark);
  }

  // A read running into the end reads what is there and says eofErr.
  ASSERT_EQ(SetFPos(ref, fsFromStart, 8), noErr);
  n = 5;
  EXPECT_EQ(FSRead(ref, &n, buf), eofErr);
  EXPECT_EQ(n, 2);
  n = -1;
  EXPECT_EQ(FSRead(ref, &n, buf), paramErr);

  // Writing at the end extends; SetEOF cuts and pulls the mark back.
  n = 3;
  EXPECT_EQ(FSWrite(ref, &n, "abc"), noErr);
  SInt32 eof = 0;
  EXPECT_EQ(GetEOF(ref, &eof), noErr);
  EXPECT_EQ(eof, 13);
  EXPECT_EQ(SetEOF(ref, 4), noErr);
  EXPECT_EQ(GetFPos(ref, &pos), noErr);
  EXPECT_EQ(pos, 4);
  EXPECT_EQ(SetEOF(ref, 6), noErr); // grows with zeros
  EXPECT_EQ(FSClose(ref), noErr);
  EXPECT_EQ(FSClose(ref), rnfErr);
  EXPECT_EQ(Read("f"), std::string("0123\0\0", 6));
}

TEST_F(ForkIO, PermissionsLocksAndBusyFiles) {
  Put("f", "data");
  FSSpec spec = Spec("f");
  SInt16 reader, writer, other = 0;
  ASSERT_EQ(FSpOpenDF(&spec, fsRdPerm, &reader), noErr);
  SInt32 n = 1;
  EXPECT_EQ(FSWrite(reader, &n, "x"), wrPermErr);
  EXPECT_EQ(SetEOF(reader, 0), wrPermErr);
  ASSERT_EQ(FSpOpenDF(&spec, fsRdWrPerm, &writer), noErr);
  // A second writer is refused and told who writes.
  EXPECT_EQ(FSpOpenDF(&spec, fsWrPerm, &other), opWrErr);
  EXPECT_EQ(other, writer);
  // fsCurPerm falls back to reading.
  SInt16 cur;
  ASSERT_EQ(FSpOpenDF(&spec, fsCurPerm, &cur), noErr);
  n = 1;
  EXPECT_EQ(FSWrite(cur, &n, "x"), wrPermErr);
  // An open file is busy.
  EXPECT_EQ(FSpDelete(&spec), fBsyErr);
  EXPECT_EQ(FSClose(cur), noErr);
  EXPECT_EQ(FSClose(writer), noErr);
  EXPECT_EQ(FSClose(reader), noErr);

  // Locked: the owner-write bit is clear, and our calls refuse changes.
  ASSERT_EQ(FSpSetFLock(&spec), noErr);
  struct stat st;
  ASSERT_EQ(stat((tmp.path() / "f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & S_IWUSR, 0u);
  EXPECT_EQ(FSpOpenDF(&spec, fsRdWrPerm, &writer), permErr);
  EXPECT_EQ(FSpDelete(&spec), fLckdErr);
  EXPECT_EQ(FSpRename(&spec, PString("g")), fLckdErr);
  FInfo fi{};
  EXPECT_EQ(FSpSetFInfo(&spec, &fi), fLckdErr);
  const char data[] = "x";
  EXPECT_EQ(FSpWriteDataFork(&spec, 0, data, 1), permErr);
  ASSERT_EQ(FSpRstFLock(&spec), noErr);
  EXPECT_EQ(FSpDelete(&spec), noErr);
  EXPECT_FALSE(fs::exists(tmp.path() / "f"));
}

TEST_F(ForkIO, CreateWritesTypeAndCreatorIntoTheSidecar) {
  FSSpec spec = Spec("new");
  ASSERT_EQ(FSpCreate(&spec, ql::FourCC("MPS "), ql::FourCC("TEXT"), smCurrentScript), noErr);
  EXPECT_EQ(FSpCreate(&spec, 0, 0, smCurrentScript), dupFNErr);
  EXPECT_EQ(fs::file_size(tmp.path() / "new"), 0u);
  const std::string info = SidecarEntry(Read("._new"), 9);
  ASSERT_EQ(info.size(), 32u);
  EXPECT_EQ(info.substr(0, 8), "TEXTMPS ");
  OSType type = 0, creator = 0;
  EXPECT_EQ(FSpGetTypeAndCreator(&spec, &type, &creator), noErr);
  EXPECT_EQ(type, ql::FourCC("TEXT"));
  EXPECT_EQ(creator, ql::FourCC("MPS "));

  // All metadata back to the defaults: the sidecar goes.
  FInfo zero{};
  ASSERT_EQ(FSpSetFInfo(&spec, &zero), noErr);
  EXPECT_FALSE(fs::exists(tmp.path() / "._new"));
  // A listing never shows sidecars, and HCreate refuses a taken name.
  SInt16 vol;
  SInt32 dir = DirIDOf(tmp.path(), &vol);
  EXPECT_EQ(HCreate(vol, dir, PString("new"), 0, 0), dupFNErr);
  EXPECT_EQ(HCreate(vol, dir, PString("other"), ql::FourCC("ttxt"), ql::FourCC("TEXT")), noErr);
  SInt32 count = 0;
  EXPECT_EQ(HCountSubItems(vol, dir, 0, 0, &count), noErr);
  EXPECT_EQ(count, 2);

  // The name-based twins: open, rename (the sidecar follows), delete.
  SInt16 ref;
  EXPECT_EQ(HOpenDF(vol, dir, PString(""), fsRdPerm, &ref), bdNamErr);
  ASSERT_EQ(HOpenRF(vol, dir, PString("other"), fsRdPerm, &ref), noErr);
  EXPECT_EQ(FSClose(ref), noErr);
  EXPECT_EQ(HRename(vol, dir, PString("other"), PString("new")), dupFNErr);
  EXPECT_EQ(HRename(vol, dir, PString("other"), PString("a:b")), bdNamErr);
  ASSERT_EQ(HRename(vol, dir, PString("other"), PString("third")), noErr);
  EXPECT_TRUE(fs::exists(tmp.path() / "._third"));
  EXPECT_FALSE(fs::exists(tmp.path() / "._other"));
  ASSERT_EQ(HDelete(vol, dir, PString("third")), noErr);
  EXPECT_FALSE(fs::exists(tmp.path() / "._third"));
  EXPECT_EQ(HDelete(vol, dir, PString("third")), fnfErr);
  // A folder that is not empty is busy.
  tmp.File("full/x", "1");
  EXPECT_EQ(HDelete(vol, dir, PString("full")), fBsyErr);
}

TEST_F(ForkIO, ResourceForkLivesInTheSidecarAndFollowsRenames) {
  Put("doc", "data fork");
  FSSpec spec = Spec("doc");
  FSpCreateResFile(&spec, ql::FourCC("ttxt"), ql::FourCC("TEXT"), smSystemScript);
  ASSERT_EQ(ResError(), noErr); // the file existed: only the fork is made
  std::string rsrc = SidecarEntry(Read("._doc"), 2);
  ASSERT_EQ(rsrc.size(), 286u);
  EXPECT_EQ(BE32(rsrc, 0), 256u); // data offset
  EXPECT_EQ(BE32(rsrc, 4), 256u); // map offset
  EXPECT_EQ(BE32(rsrc, 12), 30u); // map length
  EXPECT_EQ(rsrc.substr(256, 16), rsrc.substr(0, 16));
  EXPECT_EQ(UInt8(rsrc[256 + 24]), 0);
  EXPECT_EQ(UInt8(rsrc[256 + 25]), 28); // type list offset
  EXPECT_EQ(rsrc.substr(284, 2), "\xFF\xFF");
  FSpCreateResFile(&spec, 0, 0, smSystemScript);
  EXPECT_EQ(ResError(), dupFNErr);

  // Writes land in entry 2 of the sidecar, big-endian header untouched.
  SInt16 ref;
  ASSERT_EQ(FSpOpenRF(&spec, fsRdWrPerm, &ref), noErr);
  SInt32 n = 5;
  ASSERT_EQ(SetFPos(ref, fsFromStart, 286), noErr);
  EXPECT_EQ(FSWrite(ref, &n, "HELLO"), noErr);
  SInt32 dataLen = 0, rsrcLen = 0;
  EXPECT_EQ(FSpGetFileForkSize(&spec, &dataLen, &rsrcLen), noErr);
  EXPECT_EQ(dataLen, 9);
  EXPECT_EQ(rsrcLen, 291);
  // Renaming the open file carries the sidecar; later writes follow it.
  ASSERT_EQ(FSpRename(&spec, PString("renamed")), noErr);
  EXPECT_FALSE(fs::exists(tmp.path() / "._doc"));
  n = 1;
  EXPECT_EQ(FSWrite(ref, &n, "!"), noErr);
  FSSpec after{};
  EXPECT_EQ(FileReferenceToFSSpec(ref, &after), noErr);
  EXPECT_EQ(PStr(after.name), "renamed");
  EXPECT_EQ(SInt32{after.parID}, SInt32{spec.parID});
  EXPECT_EQ(FSClose(ref), noErr);
  const std::string sc = Read("._renamed");
  EXPECT_EQ(BE32(sc, 0), 0x00051607u);
  EXPECT_EQ(BE32(sc, 4), 0x00020000u);
  EXPECT_EQ(SidecarEntry(sc, 2).substr(286), "HELLO!");
  EXPECT_EQ(SidecarEntry(sc, 9), "<none>"); // an existing file keeps its (default) type
  EXPECT_EQ(Read("renamed"), "data fork");

  // Reading back through the toolbox, then deleting takes the sidecar too.
  FSSpec renamed = Spec("renamed");
  Handle h = nullptr;
  ASSERT_EQ(FSpReadResourceFork(&renamed, 286, 0, &h), noErr);
  EXPECT_EQ(HandleBytes(h), "HELLO!");
  DisposeHandle(h);
  ASSERT_EQ(FSpDelete(&renamed), noErr);
  EXPECT_FALSE(fs::exists(tmp.path() / "._renamed"));
}

TEST_F(ForkIO, UnknownSidecarEntriesAreKept) {
  // A sidecar written elsewhere, with a comment entry (id 4) we do not use.
  Put("f", "x");
  std::string sc;
  auto put32 = [&](UInt32 v) { for (int s = 24; s >= 0; s -= 8) sc.push_back(char(v >> s)); };
  put32(0x00051607);
  put32(0x00020000);
  sc.append(16, '\0');
  sc.push_back(0);
  sc.push_back(1);
  put32(4);
  put32(38);
  put32(7);
  sc += "comment";
  Put("._f", sc);
  FSSpec spec = Spec("f");
  const char r[] = "RSRC";
  ASSERT_EQ(FSpWriteResourceFork(&spec, 0, r, 4), noErr);
  const std::string now = Read("._f");
  EXPECT_EQ(SidecarEntry(now, 4), "comment");
  EXPECT_EQ(SidecarEntry(now, 2), "RSRC");
  // Clearing the resource fork keeps the sidecar: the comment is not a default.
  SInt16 ref;
  ASSERT_EQ(FSpOpenRF(&spec, fsRdWrPerm, &ref), noErr);
  EXPECT_EQ(SetEOF(ref, 0), noErr);
  EXPECT_EQ(FSClose(ref), noErr);
  EXPECT_EQ(SidecarEntry(Read("._f"), 4), "comment");
}

TEST_F(ForkIO, ForkCallsAndFileInformation) {
  Put("f", "abcdef");
  FSRef ref = RefOf(tmp.path() / "f");
  HFSUniStr255 rname;
  ASSERT_EQ(FSGetResourceForkName(&rname), noErr);
  SInt16 fork;
  EXPECT_EQ(FSOpenFork(&ref, 3, rname.unicode, fsRdPerm, &fork), errFSForkNotFound);
  ASSERT_EQ(FSOpenFork(&ref, 0, nullptr, fsRdWrPerm, &fork), noErr);
  ByteCount got = 0;
  char buf[8];
  EXPECT_EQ(FSReadFork(fork, fsFromLEOF, -2, 4, buf, &got), eofErr);
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(std::string(buf, 2), "ef");
  EXPECT_EQ(FSSetForkSize(fork, fsFromStart, 3), noErr);
  SInt64 size = 0;
  EXPECT_EQ(FSGetForkSize(fork, &size), noErr);
  EXPECT_EQ(size, 3);
  FCBPBRec fcb{};
  Str255 name;
  fcb.ioNamePtr = name;
  fcb.ioRefNum = fork;
  ASSERT_EQ(PBGetFCBInfoSync(&fcb), noErr);
  EXPECT_EQ(PStr(name), "f");
  EXPECT_EQ(fcb.ioFCBEOF, 3);
  EXPECT_TRUE(fcb.ioFCBFlags & kioFCBWriteMask);
  EXPECT_FALSE(fcb.ioFCBFlags & kioFCBResourceMask);
  EXPECT_EQ(FSCloseFork(fork), noErr);
  fcb.ioRefNum = fork;
  EXPECT_EQ(PBGetFCBInfoSync(&fcb), rnfErr);

  HParamBlockRec pb{};
  Str255 fname;
  std::memcpy(fname, "\x01" "f", 2);
  SInt16 vol;
  pb.fileParam.ioNamePtr = fname;
  pb.fileParam.ioDirID = DirIDOf(tmp.path(), &vol);
  pb.fileParam.ioVRefNum = vol;
  ASSERT_EQ(PBHGetFInfoSync(&pb), noErr);
  EXPECT_EQ(pb.fileParam.ioFlLgLen, 3);
  EXPECT_EQ(pb.fileParam.ioFlRLgLen, 0);
  tmp.Dir("sub");
  std::memcpy(fname, "\x03" "sub", 4);
  pb.fileParam.ioDirID = DirIDOf(tmp.path()); // the last call returned the file's number here
  EXPECT_EQ(PBHGetFInfoSync(&pb), fnfErr);
  EXPECT_EQ(FlushVol(nullptr, vol), noErr);
  EXPECT_EQ(FlushVol(nullptr, 12345), nsvErr);
}

TEST_F(ForkIO, DelayedAsynchronousCompletion) {
  Put("f", "0123456789");
  FSSpec spec = Spec("f");
  SInt16 ref;
  ASSERT_EQ(FSpOpenDF(&spec, fsRdPerm, &ref), noErr);
  char buf[4] = {};
  ParamBlockRec pb{};
  pb.ioParam.ioRefNum = ref;
  pb.ioParam.ioBuffer = buf;
  pb.ioParam.ioReqCount = 4;
  pb.ioParam.ioPosMode = fsFromStart;
  pb.ioParam.ioPosOffset = 3;
  // Completing inside the call.
  EXPECT_EQ(PBReadAsync(&pb), noErr);
  EXPECT_EQ(pb.ioParam.ioResult, noErr);
  EXPECT_EQ(std::string(buf, 4), "3456");
  // Delayed: in progress on return, done later.
  PlatformSetAsyncCompletionDelay(30);
  pb.ioParam.ioPosOffset = 0;
  const UInt32 start = TickCount();
  EXPECT_EQ(PBReadAsync(&pb), noErr);
  EXPECT_GT(pb.ioParam.ioResult, 0);
  while (__atomic_load_n(&pb.ioParam.ioResult, __ATOMIC_ACQUIRE) > 0)
    std::this_thread::yield();
  EXPECT_EQ(pb.ioParam.ioResult, noErr);
  EXPECT_EQ(pb.ioParam.ioActCount, 4);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_GE(TickCount() - start, 1u); // 30 ms is about 2 ticks
  EXPECT_EQ(FSClose(ref), noErr);
}

TEST(Events, TicksAndEvents) {
  const UInt32 t0 = TickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const UInt32 elapsed = TickCount() - t0;
  EXPECT_GE(elapsed, 5u);
  EXPECT_LE(elapsed, 120u); // generous: the machine may be busy
  EventRecord ev;
  FlushEvents(everyEvent, 0);
  EXPECT_FALSE(WaitNextEvent(everyEvent, &ev, 0, nullptr));
  EXPECT_EQ(ev.what, nullEvent);
  ASSERT_EQ(PostEvent(keyDown, 'a'), noErr);
  EXPECT_FALSE(WaitNextEvent(0, &ev, 0, nullptr)); // an empty mask takes nothing
  EXPECT_TRUE(WaitNextEvent(everyEvent, &ev, 0, nullptr));
  EXPECT_EQ(ev.what, keyDown);
  EXPECT_EQ(ev.message, UInt32('a'));
}

TEST_F(ForkIO, ApplicationFileReferenceNamesThisProgram) {
  const SInt16 ref = GetApplicationFileReference();
  ASSERT_GT(ref, 0);
  EXPECT_EQ(GetApplicationFileReference(), ref);
  FSSpec spec{};
  ASSERT_EQ(FileReferenceToFSSpec(ref, &spec), noErr);
  char exe[4096];
  ssize_t len = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(len, 0);
  exe[len] = 0;
  EXPECT_EQ(PStr(spec.name), fs::path(exe).filename().string());
}

} // namespace
