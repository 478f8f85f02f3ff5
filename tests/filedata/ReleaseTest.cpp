// Every file-data function releases what it made (handles, open forks) on
// every path: under each injected Memory Manager failure and under each
// injected failure of a fork transfer.
#include <cstdio>
#include <functional>

#include "filedata/FileDataTestUtil.h"
#include "toolbox/files/FileToolbox.h"

namespace fs = std::filesystem;
using namespace qltest;

namespace {

class Release : public FileDataFixture {
protected:
  struct Case {
    const char *id;
    std::function<OSErr()> call;
  };

  // Fresh files before every run: the calls change them.
  void Reset() {
    Put("src", Pattern(3000, 1));
    Put("dst", Pattern(5000, 2));
    for (const char *gone : {"new", "._new"})
      fs::remove(tmp.path() / gone);
  }

  // Opens src read-write around a call given the reference.
  static OSErr WithOpen(const FSSpec &spec, const std::function<OSErr(SInt16)> &body) {
    SInt16 ref;
    if (OSErr e = FSpOpenDF(&spec, fsRdWrPerm, &ref))
      return e;
    OSErr e = body(ref);
    FSClose(ref);
    return e;
  }

  std::vector<Case> Cases() {
    Reset();
    src = Spec("src");
    dst = Spec("dst");
    fresh = Spec("new");
    srcRef = RefOf(tmp.path() / "src");
    // Reads into a handle and disposes of it again on success.
    auto keep = [](const std::function<OSErr(Handle *)> &read) {
      Handle h = nullptr;
      OSErr e = read(&h);
      if (e == noErr)
        DisposeHandle(h);
      return e;
    };
    return {
        {"FSpReadDataFork", [=, this] { return keep([&](Handle *h) { return FSpReadDataFork(&src, 10, 2000, h); }); }},
        {"FSpReadResourceFork", [=, this] { return keep([&](Handle *h) { return FSpReadResourceFork(&src, 0, 0, h); }); }},
        {"FSReadDataFork", [=, this] { return keep([&](Handle *h) { return FSReadDataFork(&srcRef, 1, 0, h); }); }},
        {"FSpWriteDataFork", [=, this] { return FSpWriteDataFork(&dst, 100, "abc", 3); }},
        {"FSpWriteDataFork new", [=, this] { return FSpWriteDataFork(&fresh, 0, "abc", 3); }},
        {"FSpWriteResourceFork new", [=, this] { return FSpWriteResourceFork(&fresh, 0, "abc", 3); }},
        {"FSWriteDataFork", [=, this] { return FSWriteDataFork(&srcRef, 7, "abc", 3); }},
        {"FSpGetFileForkSize", [=, this] { SInt32 d, r; return FSpGetFileForkSize(&src, &d, &r); }},
        {"FSpCopyFileDataFork", [=, this] { return FSpCopyFileDataFork(&src, &dst); }},
        {"FSpCopyFileDataFork new", [=, this] { return FSpCopyFileDataFork(&src, &fresh); }},
        {"FSpCopyFileResourceFork", [=, this] { return FSpCopyFileResourceFork(&src, &dst); }},
        {"FSpCopyFileResourceAndDataFork", [=, this] { return FSpCopyFileResourceAndDataFork(&src, &fresh); }},
        {"FSpAppendFileDataFork", [=, this] { return FSpAppendFileDataFork(&dst, &src); }},
        {"FSpPadFileDataFork", [=, this] { return FSpPadFileDataFork(&src, 4096); }},
        {"FSShiftData grow", [=, this] { return WithOpen(src, [](SInt16 r) { return FSShiftData(0, r, 100, 700); }); }},
        {"FSShiftData shrink", [=, this] { return WithOpen(src, [](SInt16 r) { return FSShiftData(0, r, 700, -600); }); }},
        {"FSWriteWithOptions", [=, this] { return WithOpen(src, [](SInt16 r) { return FSWriteWithOptions(0, r, 3, "abc", nullptr); }); }},
        {"FSReadYield", [=, this] {
           return WithOpen(src, [](SInt16 r) {
             char b[16];
             return FSReadYield(r, fsFromStart, 5, 16, nullptr, 0, b, nullptr, nullptr);
           });
         }},
        {"FSReadUntilText", [=, this] {
           return WithOpen(src, [](SInt16 r) {
             char b[64];
             SInt32 n = 64;
             Boolean found;
             OSErr e = FSReadUntilText(r, b, &n, "zzzzzz", 6, &found);
             return e == eofErr ? OSErr(noErr) : e;
           });
         }},
        {"FSReadUntilDelimiter", [=, this] {
           return WithOpen(src, [](SInt16 r) {
             char b[64];
             SInt32 n = 64;
             Boolean found;
             return FSReadUntilDelimiter(r, b, &n, 'q', &found);
           });
         }},
        {"FSCopyForkData", [=, this] {
           return WithOpen(src, [this](SInt16 r) {
             SInt16 d;
             if (OSErr e = FSpOpenDF(&dst, fsRdWrPerm, &d))
               return e;
             char b[100];
             OSErr e = FSCopyForkData(r, d, 1000, b, sizeof b);
             FSClose(d);
             return e;
           });
         }},
        {"FSpSearchFileContents", [=, this] {
           UInt32 at;
           OSErr e = FSpSearchFileContents(&src, "\x01\x02\x03\x04", 4, nullptr, 0, false, &at);
           return e == fnfErr ? OSErr(noErr) : e;
         }},
        {"FSCreateFileBuffer", [] {
           Handle h;
           Ptr p;
           UInt32 n;
           OSErr e = FSCreateFileBuffer(100000, 0, nullptr, 0, &h, &p, &n);
           if (e == noErr)
             FSDeleteFileBuffer(h);
           return e;
         }},
        {"FSp_fopen_compat", [=, this] {
           FILE *f = FSp_fopen_compat(&src, "rb");
           if (f == nullptr)
             return memFullErr;
           std::fclose(f);
           return noErr;
         }},
        {"FileReferenceToFSSpec", [=, this] {
           return WithOpen(src, [](SInt16 r) { FSSpec s; return FileReferenceToFSSpec(r, &s); });
         }},
    };
  }

  FSSpec src{}, dst{}, fresh{};
  FSRef srcRef{};
};

TEST_F(Release, UnderAllocationFailures) {
  const SInt32 forks = PlatformOpenForkCount();
  for (const Case &c : Cases()) {
    SCOPED_TRACE(c.id);
    ForEachAllocFailure(
        [&] {
          Reset();
          return c.call();
        },
        [&](OSErr result, bool injected) {
          EXPECT_TRUE(result == noErr || (injected && result == memFullErr)) << result;
          EXPECT_EQ(PlatformOpenForkCount(), forks);
        });
  }
}

TEST_F(Release, UnderForkTransferFailures) {
  const SInt32 forks = PlatformOpenForkCount();
  const SInt32 handles = PlatformLiveHandleCount();
  for (const Case &c : Cases()) {
    SCOPED_TRACE(c.id);
    for (UInt32 n = 1; n < 1000; ++n) {
      SCOPED_TRACE(n);
      Reset();
      PlatformFailNthForkIO(n, ioErr);
      const OSErr result = c.call();
      const bool injected = PlatformForkIOFailureInjected();
      PlatformFailNthForkIO(0, noErr);
      EXPECT_TRUE(result == noErr || (injected && result == ioErr)) << result;
      EXPECT_EQ(PlatformOpenForkCount(), forks);
      EXPECT_EQ(PlatformLiveHandleCount(), handles);
      if (!injected)
        break;
    }
  }
}

} // namespace
