// CoreFoundation stand-in: UUID parsing and interning, the two string
// storages, reference counts, plug-in instance counting, and a real bundle
// directory loaded and asked for an instance.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/corefoundation/CoreFoundation.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

std::vector<UInt8> Bytes(CFUUIDRef u) {
  CFUUIDBytes b = CFUUIDGetUUIDBytes(u);
  const UInt8 *p = reinterpret_cast<const UInt8 *>(&b);
  return std::vector<UInt8>(p, p + 16);
}

std::u16string Chars(CFStringRef s) {
  std::u16string out(size_t(CFStringGetLength(s)), u'\0');
  CFStringGetCharacters(s, CFRangeMake(0, CFStringGetLength(s)), reinterpret_cast<UniChar *>(out.data()));
  return out;
}

std::string CString(CFStringRef s, CFStringEncoding enc) {
  char buf[256];
  return CFStringGetCString(s, buf, sizeof buf, enc) ? std::string(buf) : std::string("<fail>");
}

// Checks that a test leaves no object alive.
class CFTest : public ::testing::Test {
protected:
  void SetUp() override { live_ = PlatformCFLiveObjectCount(); }
  void TearDown() override {
    PlatformCFFailNthCreation(0);
    EXPECT_EQ(PlatformCFLiveObjectCount(), live_) << "objects leaked";
  }
  SInt32 live_ = 0;
};

TEST_F(CFTest, UUIDTextForms) {
  const std::vector<UInt8> kMenuType = {0x2F, 0x65, 0x22, 0xE9, 0x3E, 0x66, 0x11, 0xD5,
                                        0x80, 0xA7, 0x00, 0x30, 0x65, 0xB3, 0x00, 0xBC};
  struct Case {
    const char *id;
    const char *text;
    bool parses;
  } cases[] = {
      {"upper", "2F6522E9-3E66-11D5-80A7-003065B300BC", true},
      {"lower", "2f6522e9-3e66-11d5-80a7-003065b300bc", true},
      {"braces", "{2F6522E9-3E66-11D5-80A7-003065B300BC}", true},
      {"no dashes", "2F6522E93E6611D580A7003065B300BC", false},
      {"dash moved", "2F6522E-93E66-11D5-80A7-003065B300BC", false},
      {"one digit short", "2F6522E9-3E66-11D5-80A7-003065B300B", false},
      {"one digit long", "2F6522E9-3E66-11D5-80A7-003065B300BC0", false},
      {"not hex", "2F6522E9-3E66-11D5-80A7-003065B300BG", false},
      {"open brace only", "{2F6522E9-3E66-11D5-80A7-003065B300BC", false},
      {"empty", "", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    CFStringRef text = CFStringCreateWithCString(nullptr, c.text, kCFStringEncodingASCII);
    ASSERT_NE(text, nullptr);
    CFUUIDRef u = CFUUIDCreateFromString(nullptr, text);
    EXPECT_EQ(u != nullptr, c.parses);
    if (u) {
      EXPECT_EQ(Bytes(u), kMenuType);
      CFStringRef back = CFUUIDCreateString(nullptr, u);
      EXPECT_EQ(CString(back, kCFStringEncodingASCII), "2F6522E9-3E66-11D5-80A7-003065B300BC");
      CFRelease(back);
    }
    CFRelease(u);
    CFRelease(text);
  }
  EXPECT_EQ(CFUUIDCreateFromString(nullptr, nullptr), nullptr);
}

TEST_F(CFTest, ConstantUUIDsAreInternedAndNeverFreed) {
  CFUUIDRef a = CFUUIDGetConstantUUIDWithBytes(nullptr, 0x32, 0x99, 0x7B, 0x62, 0x3E, 0x66, 0x11, 0xD5, 0xBE, 0xAB,
                                               0x00, 0x30, 0x65, 0xB3, 0x00, 0xBC);
  CFUUIDRef b = CFUUIDGetConstantUUIDWithBytes(nullptr, 0x32, 0x99, 0x7B, 0x62, 0x3E, 0x66, 0x11, 0xD5, 0xBE, 0xAB,
                                               0x00, 0x30, 0x65, 0xB3, 0x00, 0xBC);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b) << "the same bytes give the same constant";
  EXPECT_EQ(PlatformCFLiveObjectCount(), live_) << "constants are not counted as live objects";

  // Retains and releases are counted, so a caller's balance shows, but an
  // extra release never frees a constant.
  CFIndex before = CFGetRetainCount(a);
  CFRetain(a);
  EXPECT_EQ(CFGetRetainCount(a), before + 1);
  CFRelease(a);
  CFRelease(a);
  CFRelease(a);
  EXPECT_GE(CFGetRetainCount(a), 1);
  EXPECT_EQ(CFUUIDGetConstantUUIDWithBytes(nullptr, 0x32, 0x99, 0x7B, 0x62, 0x3E, 0x66, 0x11, 0xD5, 0xBE, 0xAB,
                                           0x00, 0x30, 0x65, 0xB3, 0x00, 0xBC),
            a);

  // A created UUID with the same bytes is another object, equal by value.
  CFUUIDBytes raw = CFUUIDGetUUIDBytes(a);
  CFUUIDRef made = CFUUIDCreateFromUUIDBytes(nullptr, raw);
  ASSERT_NE(made, nullptr);
  EXPECT_NE(made, a);
  EXPECT_TRUE(CFEqual(made, a));
  EXPECT_EQ(CFHash(made), CFHash(a));
  EXPECT_EQ(PlatformCFLiveObjectCount(), live_ + 1);
  CFRelease(made);
  CFUUIDRef other = CFUUIDCreateWithBytes(nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
  EXPECT_FALSE(CFEqual(other, a));
  CFRelease(other);

  // Two fresh random UUIDs differ and carry version 4.
  CFUUIDRef r1 = CFUUIDCreate(nullptr), r2 = CFUUIDCreate(nullptr);
  EXPECT_FALSE(CFEqual(r1, r2));
  EXPECT_EQ(Bytes(r1)[6] >> 4, 4);
  CFRelease(r1);
  CFRelease(r2);
}

TEST_F(CFTest, RetainReleaseAndNullArguments) {
  CFStringRef s = CFStringCreateWithCString(nullptr, "abc", kCFStringEncodingUTF8);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(CFGetRetainCount(s), 1);
  EXPECT_EQ(CFRetain(s), s);
  EXPECT_EQ(CFGetRetainCount(s), 2);
  CFRelease(s);
  EXPECT_EQ(PlatformCFLiveObjectCount(), live_ + 1);
  CFRelease(s);
  EXPECT_EQ(PlatformCFLiveObjectCount(), live_);

  EXPECT_EQ(CFRetain(nullptr), nullptr);
  CFRelease(nullptr);
  EXPECT_FALSE(CFEqual(nullptr, nullptr));
  EXPECT_EQ(CFGetRetainCount(nullptr), 0);

  // A string and a UUID are never equal, even via their text.
  CFStringRef t = CFSTR("00000000-0000-0000-C000-000000000046");
  CFUUIDRef u = CFUUIDCreateFromString(nullptr, t);
  EXPECT_FALSE(CFEqual(t, u));
  EXPECT_EQ(CFGetTypeID(u), CFUUIDGetTypeID());
  EXPECT_EQ(CFGetTypeID(t), CFStringGetTypeID());
  CFRelease(u);
}

TEST_F(CFTest, InjectedCreationFailure) {
  PlatformCFFailNthCreation(2);
  CFStringRef first = CFStringCreateWithCString(nullptr, "one", kCFStringEncodingASCII);
  CFStringRef second = CFStringCreateWithCString(nullptr, "two", kCFStringEncodingASCII);
  CFStringRef third = CFStringCreateWithCString(nullptr, "three", kCFStringEncodingASCII);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr);
  CFRelease(first);
  CFRelease(third);
}

TEST_F(CFTest, StringStoragesAndTheirCharacters) {
  const unsigned char pascal[] = {5, 'c', 'a', 'f', 0x8E, '!'}; // Mac Roman e-acute
  const UniChar wide[] = {'c', 'a', 'f', 0x00E9, '!'};
  struct Case {
    const char *id;
    CFStringRef (*make)();
    bool direct; // UTF-16 storage with a direct pointer
  };
  static const unsigned char *sPascal = pascal;
  static const UniChar *sWide = wide;
  Case cases[] = {
      {"Mac Roman C string", [] { return CFStringCreateWithCString(nullptr, "caf\x8E!", kCFStringEncodingMacRoman); },
       false},
      {"Latin-1 C string", [] { return CFStringCreateWithCString(nullptr, "caf\xE9!", kCFStringEncodingISOLatin1); },
       false},
      {"UTF-8 C string", [] { return CFStringCreateWithCString(nullptr, "caf\xC3\xA9!", kCFStringEncodingUTF8); },
       true},
      {"Pascal string", [] { return CFStringCreateWithPascalString(nullptr, sPascal, kCFStringEncodingMacRoman); },
       false},
      {"characters", [] { return CFStringCreateWithCharacters(nullptr, sWide, 5); }, true},
  };
  CFStringRef reference = CFStringCreateWithCharacters(nullptr, wide, 5);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    CFStringRef s = c.make();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(CFStringGetLength(s), 5);
    EXPECT_EQ(CFStringGetCharactersPtr(s) != nullptr, c.direct);
    if (c.direct) {
      EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(CFStringGetCharactersPtr(s)), 5), u"caf\u00E9!");
    }
    EXPECT_EQ(Chars(s), u"caf\u00E9!");
    EXPECT_EQ(CFStringGetCharacterAtIndex(s, 3), 0x00E9);
    EXPECT_TRUE(CFEqual(s, reference));
    EXPECT_EQ(CFHash(s), CFHash(reference));
    EXPECT_EQ(CString(s, kCFStringEncodingMacRoman), "caf\x8E!");
    EXPECT_EQ(CString(s, kCFStringEncodingISOLatin1), "caf\xE9!");
    EXPECT_EQ(CString(s, kCFStringEncodingUTF8), "caf\xC3\xA9!");
    EXPECT_EQ(CString(s, kCFStringEncodingASCII), "<fail>");
    CFRelease(s);
  }
  CFRelease(reference);
}

TEST_F(CFTest, StringEdgeCases) {
  // An empty string of either storage: length 0; the UTF-16 one still has a
  // direct pointer.
  CFStringRef empty8 = CFStringCreateWithCString(nullptr, "", kCFStringEncodingMacRoman);
  CFStringRef empty16 = CFStringCreateWithCharacters(nullptr, nullptr, 0);
  ASSERT_NE(empty8, nullptr);
  ASSERT_NE(empty16, nullptr);
  EXPECT_EQ(CFStringGetLength(empty8), 0);
  EXPECT_EQ(CFStringGetLength(empty16), 0);
  EXPECT_EQ(CFStringGetCharactersPtr(empty8), nullptr);
  EXPECT_NE(CFStringGetCharactersPtr(empty16), nullptr);
  EXPECT_TRUE(CFEqual(empty8, empty16));
  CFRelease(empty8);
  CFRelease(empty16);

  // Text that is not valid in its encoding makes no string.
  EXPECT_EQ(CFStringCreateWithCString(nullptr, "caf\xE9", kCFStringEncodingASCII), nullptr);
  EXPECT_EQ(CFStringCreateWithCString(nullptr, "caf\xC3", kCFStringEncodingUTF8), nullptr);
  EXPECT_EQ(CFStringCreateWithCString(nullptr, "\xC0\xAF", kCFStringEncodingUTF8), nullptr);
  EXPECT_EQ(CFStringCreateWithCString(nullptr, "x", 0x12345), nullptr);
  EXPECT_EQ(CFStringCreateWithCharacters(nullptr, nullptr, 3), nullptr);

  // GetCString: the NUL must fit; on failure the buffer is untouched.
  CFStringRef s = CFStringCreateWithCString(nullptr, "abcd", kCFStringEncodingASCII);
  char buf[8];
  std::memset(buf, 0xAA, sizeof buf);
  EXPECT_FALSE(CFStringGetCString(s, buf, 4, kCFStringEncodingASCII));
  EXPECT_EQ(UInt8(buf[0]), 0xAA);
  EXPECT_TRUE(CFStringGetCString(s, buf, 5, kCFStringEncodingASCII));
  EXPECT_STREQ(buf, "abcd");
  EXPECT_NE(CFStringGetCStringPtr(s, kCFStringEncodingMacRoman), nullptr);
  // Characters outside the string copy nothing.
  UniChar out[4] = {0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA};
  CFStringGetCharacters(s, CFRangeMake(2, 3), out);
  EXPECT_EQ(out[0], 0xAAAA);
  CFStringGetCharacters(s, CFRangeMake(2, 2), out);
  EXPECT_EQ(out[0], 'c');
  EXPECT_EQ(out[1], 'd');
  CFRelease(s);

  // A character with no Mac Roman form: no Mac Roman text, but UTF-8.
  const UniChar cjk[] = {0x6587, 0x5B57};
  CFStringRef k = CFStringCreateWithCharacters(nullptr, cjk, 2);
  EXPECT_EQ(CString(k, kCFStringEncodingMacRoman), "<fail>");
  EXPECT_EQ(CString(k, kCFStringEncodingUTF8), "\xE6\x96\x87\xE5\xAD\x97");
  EXPECT_EQ(CFStringGetCStringPtr(k, kCFStringEncodingUTF8), nullptr);
  unsigned char p[8];
  EXPECT_FALSE(CFStringGetPascalString(k, p, sizeof p, kCFStringEncodingMacRoman));
  CFRelease(k);

  // CFSTR constants are interned and not live objects.
  EXPECT_EQ(CFSTR("Quillomat"), CFSTR("Quillomat"));
  EXPECT_EQ(PlatformCFLiveObjectCount(), live_);
  unsigned char title[32];
  ASSERT_TRUE(CFStringGetPascalString(CFSTR("Quillomat"), title, sizeof title, kCFStringEncodingMacRoman));
  EXPECT_EQ(std::string(reinterpret_cast<char *>(title + 1), title[0]), "Quillomat");
}

TEST_F(CFTest, InstanceCountsPerFactory) {
  CFUUIDRef f1 = CFUUIDCreateWithBytes(nullptr, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  CFUUIDRef f1Again = CFUUIDCreateWithBytes(nullptr, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  CFUUIDRef f2 = CFUUIDCreateWithBytes(nullptr, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 17);
  struct Step {
    const char *id;
    CFUUIDRef factory;
    bool add;
    SInt32 count1, count2;
  } steps[] = {
      {"add f1", f1, true, 1, 0},
      {"add f1 through another object with the same bytes", f1Again, true, 2, 0},
      {"add f2", f2, true, 2, 1},
      {"remove f1", f1, false, 1, 1},
      {"remove f1 again", f1Again, false, 0, 1},
      {"remove f1 once too often", f1, false, 0, 1},
      {"remove f2", f2, false, 0, 0},
  };
  for (const Step &s : steps) {
    SCOPED_TRACE(s.id);
    if (s.add)
      CFPlugInAddInstanceForFactory(s.factory);
    else
      CFPlugInRemoveInstanceForFactory(s.factory);
    EXPECT_EQ(PlatformCFPlugInInstanceCount(f1), s.count1);
    EXPECT_EQ(PlatformCFPlugInInstanceCount(f2), s.count2);
  }
  CFPlugInAddInstanceForFactory(f1);
  CFPlugInRemoveInstanceForFactory(f1);
  EXPECT_EQ(PlatformCFPlugInInstanceCount(f1), 0);
  CFRelease(f1);
  CFRelease(f1Again);
  CFRelease(f2);
}

CFUUIDRef gSeenType = nullptr;
void *RecordingFactory(CFAllocatorRef, CFUUIDRef typeID) {
  gSeenType = typeID;
  static int instance;
  return &instance;
}

TEST_F(CFTest, RegisteredFactoryFunctionServesOnlyItsTypes) {
  CFUUIDRef factory = CFUUIDCreateWithBytes(nullptr, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 1);
  CFUUIDRef type = CFUUIDCreateWithBytes(nullptr, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 2);
  CFUUIDRef otherType = CFUUIDCreateWithBytes(nullptr, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 3);
  ASSERT_TRUE(CFPlugInRegisterFactoryFunction(factory, RecordingFactory));
  ASSERT_TRUE(CFPlugInRegisterPlugInType(factory, type));

  CFArrayRef found = CFPlugInFindFactoriesForPlugInType(type);
  ASSERT_EQ(CFArrayGetCount(found), 1);
  EXPECT_TRUE(CFEqual(CFArrayGetValueAtIndex(found, 0), factory));
  CFRelease(found);
  CFArrayRef none = CFPlugInFindFactoriesForPlugInType(otherType);
  EXPECT_EQ(CFArrayGetCount(none), 0);
  CFRelease(none);

  EXPECT_EQ(CFPlugInInstanceCreate(nullptr, factory, otherType), nullptr);
  EXPECT_EQ(gSeenType, nullptr) << "the factory is not called for a type it does not serve";
  EXPECT_NE(CFPlugInInstanceCreate(nullptr, factory, type), nullptr);
  EXPECT_EQ(gSeenType, type);

  EXPECT_TRUE(CFPlugInUnregisterFactory(factory));
  EXPECT_EQ(CFPlugInInstanceCreate(nullptr, factory, type), nullptr);
  CFRelease(factory);
  CFRelease(type);
  CFRelease(otherType);
}

// The test plug-in's object, as its interface table lays it out.
struct TestObject;
struct TestInterface {
  UInt32 (*AddRef)(TestObject *self);
  UInt32 (*Release)(TestObject *self);
  SInt32 (*Answer)(TestObject *self);
};
struct TestObject {
  const TestInterface *interface;
};

const char *kTypeText = "6A1F0C2E-1111-4E5B-9C3D-00AABBCCDD01";
const char *kFactoryText = "6A1F0C2E-2222-4E5B-9C3D-00AABBCCDD02";

class BundleTest : public CFTest {
protected:
  // Makes NAME.plugin with the manifest text and a copy of the plug-in.
  fs::path MakeBundle(const std::string &name, const std::string &manifest, bool withCode = true) {
    fs::path dir = tmp_.Dir(name);
    std::ofstream(dir / "Info.manifest") << manifest;
    if (withCode)
      fs::copy_file(QL_TEST_PLUGIN, dir / "libtestplugin.so");
    return dir;
  }
  CFBundleRef Create(const fs::path &dir) {
    std::string p = dir.string();
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>(p.data()),
                                                           CFIndex(p.size()), true);
    CFBundleRef b = CFBundleCreate(nullptr, url);
    CFRelease(url);
    return b;
  }
  std::string GoodManifest() {
    return std::string("# test bundle\nidentifier org.quillomat.test-plugin\nexecutable libtestplugin.so\n") +
           "factory " + kFactoryText + " TestPlugInFactory\n" + "type " + kTypeText + " " + kFactoryText + "\n";
  }
  qltest::TempDir tmp_;
};

TEST_F(BundleTest, LoadsAndMakesAnInstanceThroughItsFactory) {
  fs::path dir = MakeBundle("Test.plugin", GoodManifest());
  CFBundleRef bundle = Create(dir);
  ASSERT_NE(bundle, nullptr) << PlatformCFBundleCreateError();
  EXPECT_EQ(CString(CFBundleGetIdentifier(bundle), kCFStringEncodingUTF8), "org.quillomat.test-plugin");
  EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR("org.quillomat.test-plugin")), bundle);
  EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR("org.quillomat.other")), nullptr);
  CFBundleRef same = Create(dir / "." );
  EXPECT_EQ(same, bundle) << "one object per bundle directory";
  CFRelease(same);

  CFStringRef typeText = CFStringCreateWithCString(nullptr, kTypeText, kCFStringEncodingASCII);
  CFUUIDRef type = CFUUIDCreateFromString(nullptr, typeText);
  CFRelease(typeText);
  CFArrayRef factories = CFPlugInFindFactoriesForPlugInTypeInPlugIn(type, CFBundleGetPlugIn(bundle));
  ASSERT_EQ(CFArrayGetCount(factories), 1);
  CFUUIDRef factory = static_cast<CFUUIDRef>(CFRetain(CFArrayGetValueAtIndex(factories, 0)));
  CFRelease(factories);
  EXPECT_FALSE(CFBundleIsExecutableLoaded(bundle));

  auto *object = static_cast<TestObject *>(CFPlugInInstanceCreate(nullptr, factory, type));
  ASSERT_NE(object, nullptr);
  EXPECT_TRUE(CFBundleIsExecutableLoaded(bundle)) << "making an instance loads the code";
  EXPECT_EQ(object->interface->Answer(object), 42);
  EXPECT_EQ(PlatformCFPlugInInstanceCount(factory), 1);

  // The plug-in finds its own bundle: it shares the platform library with us.
  auto findsOwn = reinterpret_cast<Boolean (*)()>(
      CFBundleGetFunctionPointerForName(bundle, CFSTR("TestPlugInFindsOwnBundle")));
  ASSERT_NE(findsOwn, nullptr);
  EXPECT_TRUE(findsOwn());
  EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle, CFSTR("NoSuchFunction")), nullptr);

  // The factory refuses another type.
  auto rawFactory = reinterpret_cast<CFPlugInFactoryFunction>(
      CFBundleGetFunctionPointerForName(bundle, CFSTR("TestPlugInFactory")));
  ASSERT_NE(rawFactory, nullptr);
  EXPECT_EQ(rawFactory(nullptr, factory), nullptr);

  // The code stays while the instance lives; the bundle outlives the host's
  // reference while loaded.
  CFBundleUnloadExecutable(bundle);
  EXPECT_TRUE(CFBundleIsExecutableLoaded(bundle));
  EXPECT_EQ(object->interface->Release(object), 0u);
  EXPECT_EQ(PlatformCFPlugInInstanceCount(factory), 0);
  CFBundleUnloadExecutable(bundle);
  EXPECT_FALSE(CFBundleIsExecutableLoaded(bundle));

  CFRelease(bundle);
  CFArrayRef gone = CFPlugInFindFactoriesForPlugInType(type);
  EXPECT_EQ(CFArrayGetCount(gone), 0) << "a destroyed bundle's factories are forgotten";
  CFRelease(gone);
  CFRelease(factory);
  CFRelease(type);
}

TEST_F(BundleTest, RefusesBrokenBundles) {
  const std::string factoryLine = std::string("factory ") + kFactoryText + " TestPlugInFactory\n";
  struct Case {
    const char *id;
    std::string manifest; // empty: no manifest file at all
    const char *why;      // part of the message
  } cases[] = {
      {"no manifest", "", "no Info.manifest"},
      {"no identifier", "executable libtestplugin.so\n" + factoryLine, "required"},
      {"no executable", "identifier org.quillomat.broken\n", "required"},
      {"unknown directive", "identifier x\nexecutable y\nversion 2\n", "unknown directive"},
      {"bad factory UUID", "identifier x\nexecutable y\nfactory 1234 F\n", "factory"},
      {"factory without function", std::string("identifier x\nexecutable y\nfactory ") + kFactoryText + "\n",
       "factory"},
      {"bad type UUID", std::string("identifier x\nexecutable y\ntype ") + kTypeText + " nope\n", "bad factory"},
  };
  int n = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    fs::path dir = tmp_.Dir("Broken" + std::to_string(n++) + ".plugin");
    if (!c.manifest.empty())
      std::ofstream(dir / "Info.manifest") << c.manifest;
    EXPECT_EQ(Create(dir), nullptr);
    EXPECT_NE(std::string(PlatformCFBundleCreateError()).find(c.why), std::string::npos)
        << PlatformCFBundleCreateError();
  }
  EXPECT_EQ(Create(tmp_.path() / "Missing.plugin"), nullptr);

  // A bundle whose code is missing is made, but does not load, and says why.
  fs::path dir = MakeBundle("NoCode.plugin", "identifier org.quillomat.nocode\nexecutable libnothere.so\n", false);
  CFBundleRef b = Create(dir);
  ASSERT_NE(b, nullptr);
  EXPECT_FALSE(CFBundleLoadExecutable(b));
  EXPECT_NE(std::string(PlatformCFBundleGetLoadError(b)).find("libnothere.so"), std::string::npos);
  CFRelease(b);
}

} // namespace
