// Paths that depend on process-wide answers made on first use (the FSRef
// capability and the name converters), tested in a process of their own
// where nothing has asked yet.
#include <fstream>

#include <gtest/gtest.h>

#include "platform/gestalt/Gestalt.h"
#include "platform/text/TextEncoding.h"
#include "support/TestSupport.h"
#include "toolbox/files/FileToolbox.h"

namespace {

std::string PStr(const unsigned char *p) { return std::string(reinterpret_cast<const char *>(p + 1), p[0]); }

TEST(FreshProcess, ConverterFailureAndNoFSRefInterfaces) {
  qltest::TempDir tmp;
  const std::string longName = "A name of exactly forty characters long!";
  std::ofstream(tmp.path() / longName) << "x";
  SInt16 vol;
  SInt32 dir;
  ASSERT_EQ(PlatformDirectoryIDForPath(tmp.path().c_str(), &vol, &dir), noErr);
  Str255 name;
  name[0] = UInt8(longName.size());
  memcpy(name + 1, longName.data(), longName.size());

  // The converter cannot be made: HMakeFSRef reports it instead of looking
  // up a name it never converted; the next call makes the converter.
  PlatformFailNthConverterCreation(1, kTECNoConversionPathErr);
  FSRef ref;
  EXPECT_EQ(HMakeFSRef(vol, dir, name, &ref), kTECNoConversionPathErr);
  EXPECT_EQ(HMakeFSRef(vol, dir, name, &ref), noErr);

  // Without the FSRef interfaces: the answer is asked once and kept, and
  // FSpGetName gives the FSSpec's own (short) name.
  PlatformGestaltSet(gestaltFSAttr, 0);
  EXPECT_FALSE(HasHFSPlusAPIs());
  PlatformGestaltReset();
  EXPECT_FALSE(HasHFSPlusAPIs()) << "the first answer is kept for the life of the process";
  FSSpec spec;
  ASSERT_EQ(FSRefMakeFSSpec(&ref, &spec), noErr);
  Str255 display;
  ASSERT_EQ(FSpGetName(&spec, display), noErr);
  EXPECT_EQ(PStr(display), PStr(spec.name));
  EXPECT_LE(display[0], 31);
  // HExists then asks the catalog by name, which holds the short name.
  EXPECT_EQ(HExists(vol, dir, spec.name), noErr);
  EXPECT_EQ(HExists(vol, dir, nullptr), noErr);
}

} // namespace
