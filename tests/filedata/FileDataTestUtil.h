// Helpers for the file-data tests: file contents on disk, specs of missing
// files, and a fixture that checks every fork opened is closed again.
#ifndef TESTS_FILEDATA_FILEDATATESTUTIL_H
#define TESTS_FILEDATA_FILEDATATESTUTIL_H

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "files/FilesTestUtil.h"
#include "platform/files/Forks.h"
#include "platform/memory/Memory.h"
#include "support/TestSupport.h"

namespace qltest {

inline std::string Slurp(const std::filesystem::path &p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::string Pattern(size_t n, unsigned seed = 1) {
  std::string s(n, '\0');
  UInt32 x = seed * 2654435761u + 1;
  for (auto &c : s) {
    x = x * 1103515245u + 12345u;
    c = char(x >> 24);
  }
  return s;
}

// The FSSpec of an item that may not exist yet, in an existing folder.
inline FSSpec SpecIn(const std::filesystem::path &folder, const std::string &name) {
  SInt16 vol;
  SInt32 dir = DirIDOf(folder, &vol);
  FSSpec spec{};
  OSErr e = FSMakeFSSpec(vol, dir, PString(name), &spec);
  EXPECT_TRUE(e == noErr || e == fnfErr) << e;
  return spec;
}

inline std::string HandleBytes(Handle h) { return std::string(*h, size_t(GetHandleSize(h))); }

inline UInt32 BE32(const std::string &s, size_t at) {
  return (UInt32(UInt8(s[at])) << 24) | (UInt32(UInt8(s[at + 1])) << 16) | (UInt32(UInt8(s[at + 2])) << 8) |
         UInt32(UInt8(s[at + 3]));
}

// The data of AppleDouble entry `id` in a sidecar's bytes, or "<none>".
inline std::string SidecarEntry(const std::string &sc, UInt32 id) {
  if (sc.size() < 26)
    return "<none>";
  const size_t count = (size_t(UInt8(sc[24])) << 8) | UInt8(sc[25]);
  for (size_t i = 0; i < count; ++i) {
    const size_t at = 26 + 12 * i;
    if (BE32(sc, at) == id)
      return sc.substr(BE32(sc, at + 4), BE32(sc, at + 8));
  }
  return "<none>";
}

// A temporary folder, and after each test: no fork left open, no handle
// leaked, no fault or memory limit left armed.
class FileDataFixture : public ::testing::Test {
protected:
  void SetUp() override {
    forks_ = PlatformOpenForkCount();
    handles_ = PlatformLiveHandleCount();
  }
  void TearDown() override {
    PlatformFailNthForkIO(0, noErr);
    PlatformFailNthAllocation(0);
    PlatformSetZoneLimit(kPlatformApplicationZone, INT32_MAX);
    PlatformSetZoneLimit(kPlatformTemporaryZone, INT32_MAX);
    PlatformSetAsyncCompletionDelay(0);
    EXPECT_EQ(PlatformOpenForkCount(), forks_) << "forks left open";
    EXPECT_EQ(PlatformLiveHandleCount(), handles_) << "handles leaked";
  }
  std::filesystem::path Put(const std::string &name, const std::string &contents) { return tmp.File(name, contents); }
  FSSpec Spec(const std::string &name) { return SpecIn(tmp.path(), name); }
  std::string Read(const std::string &name) { return Slurp(tmp.path() / name); }

  TempDir tmp;

private:
  SInt32 forks_ = 0, handles_ = 0;
};

} // namespace qltest

#endif
