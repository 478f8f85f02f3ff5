// zlib wrappers: streams that another zlib implementation reads and
// writes, appending after existing content, sizing and restoring the
// handle, and memory failures.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/TestSupport.h"
#include "tests/encoding/TestData.h"
#include "toolbox/encoding/EncodingToolbox.h"

using enctest::Bytes;
using enctest::OwnedHandle;

namespace {

constexpr const char *kPython = "/usr/bin/python3";

Bytes ReadFile(const std::filesystem::path &p) {
  std::ifstream f(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path &p, const Bytes &b) {
  std::ofstream f(p, std::ios::binary);
  f.write(reinterpret_cast<const char *>(b.data()), std::streamsize(b.size()));
}

// Runs a Python one-liner that maps file `in` to file `out` with zlib.
void RunPython(const std::string &code, const std::filesystem::path &in, const std::filesystem::path &out) {
  const std::string cmd = std::string(kPython) + " -c '" + code + "' '" + in.string() + "' '" + out.string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

Bytes Compressed(const Bytes &in) {
  OwnedHandle h;
  EXPECT_EQ(ZLibCompress(in.data(), UInt32(in.size()), h), noErr);
  return h.bytes();
}

Bytes PythonCompressed(const Bytes &in, int level) {
  uLongf n = compressBound(uLong(in.size()));
  Bytes out(n);
  EXPECT_EQ(compress2(out.data(), &n, in.data(), uLong(in.size()), level), Z_OK);
  out.resize(n);
  return out;
}

class ZLibInterop : public ::testing::Test {
protected:
  void SetUp() override {
    if (!std::filesystem::exists(kPython))
      GTEST_SKIP() << kPython << " is missing: no independent zlib to check against";
  }
  qltest::TempDir dir;
};

TEST_F(ZLibInterop, PythonInflatesOurStreams) {
  for (const Bytes &in : {Bytes{}, enctest::FromString("a"), enctest::Text(100000, 1),
                          enctest::RandomBytes(70000, 2), enctest::Runs(50000, 3)}) {
    SCOPED_TRACE(in.size());
    WriteFile(dir.path() / "z", Compressed(in));
    RunPython("import sys,zlib; open(sys.argv[2],\"wb\").write(zlib.decompress(open(sys.argv[1],\"rb\").read()))",
              dir.path() / "z", dir.path() / "plain");
    EXPECT_EQ(ReadFile(dir.path() / "plain"), in);
  }
}

TEST_F(ZLibInterop, WeInflatePythonStreams) {
  for (int level : {0, 1, 6, 9}) {
    const Bytes in = enctest::Text(80000, uint32_t(level));
    SCOPED_TRACE(level);
    WriteFile(dir.path() / "plain", in);
    RunPython("import sys,zlib; open(sys.argv[2],\"wb\").write(zlib.compress(open(sys.argv[1],\"rb\").read()," +
                  std::to_string(level) + "))",
              dir.path() / "plain", dir.path() / "z");
    const Bytes z = ReadFile(dir.path() / "z");
    OwnedHandle h;
    ASSERT_EQ(ZLibExpand(z.data(), UInt32(z.size()), UInt32(in.size()), h), noErr);
    EXPECT_EQ(h.bytes(), in);
  }
}

TEST(ZLib, AppendsAfterExistingContent) {
  const Bytes prefix = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  const Bytes in = enctest::Text(5000, 4);
  OwnedHandle h(prefix);
  ASSERT_EQ(ZLibCompress(in.data(), UInt32(in.size()), h), noErr);
  Bytes got = h.bytes();
  ASSERT_GT(got.size(), prefix.size());
  EXPECT_EQ(Bytes(got.begin(), got.begin() + 10), prefix);
  const Bytes stream(got.begin() + 10, got.end());
  // Inflate with zlib directly: the stream is complete and nothing follows.
  Bytes plain(in.size());
  uLongf n = uLongf(plain.size());
  ASSERT_EQ(uncompress(plain.data(), &n, stream.data(), uLong(stream.size())), Z_OK);
  EXPECT_EQ(plain, in);

  ASSERT_EQ(ZLibExpand(stream.data(), UInt32(stream.size()), UInt32(in.size()), h), noErr);
  got = h.bytes();
  EXPECT_EQ(Bytes(got.begin() + std::ptrdiff_t(prefix.size() + stream.size()), got.end()), in);
}

TEST(ZLib, IncompressibleDataOfEverySmallSizeFits) {
  // The room asked for must cover zlib's worst case even where a tenth
  // plus 12 bytes is less (the empty and tiny sources).
  for (size_t n = 0; n <= 300; ++n) {
    SCOPED_TRACE(n);
    const Bytes in = enctest::RandomBytes(n, uint32_t(n));
    OwnedHandle h;
    ASSERT_EQ(ZLibCompress(in.data(), UInt32(n), h), noErr);
    OwnedHandle back;
    const Bytes z = h.bytes();
    ASSERT_EQ(ZLibExpand(z.data(), UInt32(z.size()), UInt32(n), back), noErr);
    EXPECT_EQ(back.bytes(), in);
  }
}

TEST(ZLib, ExpandKeepsOnlyWhatWasProduced) {
  const Bytes in = enctest::Text(4000, 5);
  const Bytes z = PythonCompressed(in, 6);
  const Bytes prefix = {0xAB, 0xCD, 0xEF};
  Bytes corrupt = z;
  corrupt[z.size() / 2] ^= 0x55;
  corrupt[z.size() / 2 + 1] ^= 0xAA;

  struct Case {
    const char *id;
    Bytes stream;
    UInt32 expected;
    OSErr err;
    size_t keep; // bytes appended after the prefix
  };
  const Case cases[] = {
      {"exact", z, UInt32(in.size()), Z_OK, in.size()},
      {"larger than needed", z, UInt32(in.size() + 1000), Z_OK, in.size()},
      {"too small", z, UInt32(in.size() - 1), Z_BUF_ERROR, 0},
      {"zero expected", z, 0, Z_DATA_ERROR, 0},
      {"cut stream", Bytes(z.begin(), z.begin() + std::ptrdiff_t(z.size() / 2)), UInt32(in.size()),
       Z_DATA_ERROR, 0},
      {"corrupt stream", corrupt, UInt32(in.size()), Z_DATA_ERROR, 0},
      {"not zlib", enctest::FromString("hello, world"), 100, Z_DATA_ERROR, 0},
      {"empty source", {}, 100, Z_DATA_ERROR, 0},
      {"beyond 2 GiB", z, 0x7FFFFFFFu, memFullErr, 0},
      {"4 GiB - 1", z, 0xFFFFFFFFu, memFullErr, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    OwnedHandle h(prefix);
    const OSErr err = ZLibExpand(c.stream.data(), UInt32(c.stream.size()), c.expected, h);
    if (c.err == Z_DATA_ERROR && err == Z_BUF_ERROR) {
      // Some damage reads as "more output wanted"; either way nothing stays.
    } else {
      EXPECT_EQ(err, c.err);
    }
    const Bytes got = h.bytes();
    ASSERT_EQ(got.size(), prefix.size() + c.keep);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 3), prefix);
    if (c.keep != 0) {
      EXPECT_EQ(Bytes(got.begin() + 3, got.end()), in);
    }
  }
}

TEST(ZLib, EveryTruncationFailsAndRestoresTheHandle) {
  const Bytes in = enctest::Text(2000, 9);
  const Bytes z = Compressed(in);
  for (size_t cut = 0; cut < z.size(); ++cut) {
    SCOPED_TRACE(cut);
    // A copy of exactly `cut` bytes, so that reading past it is caught.
    const Bytes part(z.begin(), z.begin() + std::ptrdiff_t(cut));
    OwnedHandle h(Bytes{1, 2, 3});
    EXPECT_LT(ZLibExpand(part.data(), UInt32(part.size()), UInt32(in.size()), h), 0);
    EXPECT_EQ(h.bytes(), (Bytes{1, 2, 3}));
  }
}

TEST(ZLib, LockStateIsRestoredAndArgumentsChecked) {
  const Bytes in = enctest::Text(1000, 6);
  const Bytes z = Compressed(in);
  // The calls lock the handle while zlib writes into it and give it back in
  // the state it came in. A locked handle only grows within its block, so
  // the locked one starts with room to spare.
  for (bool locked : {false, true}) {
    SCOPED_TRACE(locked);
    OwnedHandle h(Bytes(8192)), c(Bytes(8192));
    SetHandleSize(h, 0);
    SetHandleSize(c, 0);
    if (locked) {
      HLock(h);
      HLock(c);
    }
    ASSERT_EQ(ZLibExpand(z.data(), UInt32(z.size()), UInt32(in.size() + 5), h), noErr);
    EXPECT_EQ(h.bytes(), in);
    EXPECT_EQ((HGetState(h) & kHandleLockedMask) != 0, locked);
    ASSERT_EQ(ZLibCompress(in.data(), UInt32(in.size()), c), noErr);
    EXPECT_EQ(c.bytes(), z);
    EXPECT_EQ((HGetState(c) & kHandleLockedMask) != 0, locked);
  }
  // A locked handle without room: the growth fails and nothing changes.
  OwnedHandle tight(Bytes{1, 2});
  HLock(tight);
  EXPECT_EQ(ZLibExpand(z.data(), UInt32(z.size()), 1u << 20, tight), memFullErr);
  EXPECT_EQ(tight.bytes(), (Bytes{1, 2}));
  EXPECT_NE(HGetState(tight) & kHandleLockedMask, 0);
  OwnedHandle h;
  EXPECT_EQ(ZLibCompress(nullptr, 5, h), paramErr);
  EXPECT_EQ(ZLibCompress(in.data(), 5, nullptr), paramErr);
  EXPECT_EQ(ZLibExpand(nullptr, 5, 10, h), paramErr);
  EXPECT_EQ(ZLibExpand(z.data(), UInt32(z.size()), 10, nullptr), paramErr);
  EXPECT_EQ(GetHandleSize(h), 0);
}

TEST(ZLib, MemoryFailuresLeaveTheHandleAsItWas) {
  const Bytes prefix = {7, 7, 7};
  const Bytes in = enctest::Text(30000, 8);
  const Bytes z = Compressed(in);
  PlatformSetAlwaysMoveOnGrowth(true);
  {
    OwnedHandle h(prefix);
    qltest::ForEachAllocFailure(
        [&] {
          SetHandleSize(h, 3);
          return ZLibCompress(in.data(), UInt32(in.size()), h);
        },
        [&](OSErr err, bool injected) {
          if (err == noErr) {
            EXPECT_EQ(h.bytes(), [&] { Bytes b = prefix; b.insert(b.end(), z.begin(), z.end()); return b; }());
          } else {
            EXPECT_EQ(err, memFullErr);
            EXPECT_EQ(h.bytes(), prefix);
          }
        });
  }
  {
    OwnedHandle h(prefix);
    qltest::ForEachAllocFailure(
        [&] {
          SetHandleSize(h, 3);
          return ZLibExpand(z.data(), UInt32(z.size()), UInt32(in.size()), h);
        },
        [&](OSErr err, bool injected) {
          if (err == noErr) {
            const Bytes got = h.bytes();
            ASSERT_GE(got.size(), 3u);
            EXPECT_EQ(Bytes(got.begin(), got.begin() + 3), prefix);
            EXPECT_EQ(Bytes(got.begin() + 3, got.end()), in);
          } else {
            EXPECT_EQ(err, memFullErr);
            EXPECT_EQ(h.bytes(), prefix);
          }
        });
  }
  PlatformSetAlwaysMoveOnGrowth(false);
}

} // namespace
