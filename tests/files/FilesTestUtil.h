// Helpers for file-system tests: specs and references from real paths.
#ifndef TESTS_FILES_FILESTESTUTIL_H
#define TESTS_FILES_FILESTESTUTIL_H

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/files/Files.h"
#include "toolbox/files/FileToolbox.h"

namespace qltest {

inline FSRef RefOf(const std::filesystem::path &p) {
  FSRef ref{};
  EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8 *>(p.c_str()), &ref, nullptr), noErr) << p;
  return ref;
}

inline FSSpec SpecOf(const std::filesystem::path &p) {
  FSRef ref = RefOf(p);
  FSSpec spec{};
  EXPECT_EQ(FSRefMakeFSSpec(&ref, &spec), noErr) << p;
  return spec;
}

inline std::string PathOf(const FSRef &ref) {
  UInt8 buf[4096];
  if (FSRefMakePath(&ref, buf, sizeof buf) != noErr)
    return "<no path>";
  return reinterpret_cast<const char *>(buf);
}

inline std::string PStr(const unsigned char *p) { return std::string(reinterpret_cast<const char *>(p + 1), p[0]); }

struct PString {
  Str255 s;
  explicit PString(const std::string &v) {
    s[0] = UInt8(v.size());
    memcpy(s + 1, v.data(), v.size());
  }
  operator const unsigned char *() const { return s; }
};

// The directory ID of a folder given by path.
inline SInt32 DirIDOf(const std::filesystem::path &p, SInt16 *vol = nullptr) {
  SInt16 v = 0;
  SInt32 id = 0;
  EXPECT_EQ(PlatformDirectoryIDForPath(p.c_str(), &v, &id), noErr) << p;
  if (vol)
    *vol = v;
  return id;
}

} // namespace qltest

#endif
