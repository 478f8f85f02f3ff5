// The plug-in end to end: loaded as a bundle, examined with real files,
// opening them with real encoder programs that record their arguments.
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "files/FilesTestUtil.h"
#include "platform/aliases/Aliases.h"
#include "platform/files/Folders.h"
#include "platform/memory/Memory.h"
#include "platform/processes/Processes.h"
#include "plugin/QuillomatPlugIn.h"
#include "support/TestSupport.h"
#include "toolbox/appleevents/AppleEventToolbox.h"

namespace fs = std::filesystem;
using namespace qltest;

namespace {

// Loads the bundle once, as a host does, so the plug-in finds itself.
CFBundleRef Bundle() {
  static CFBundleRef bundle = [] {
    const char *dir = QL_PLUGIN_DIR;
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>(dir),
                                                           CFIndex(strlen(dir)), true);
    CFBundleRef b = CFBundleCreate(nullptr, url);
    CFRelease(url);
    if (b)
      CFBundleLoadExecutable(b);
    return b;
  }();
  return bundle;
}

using Menu = ContextualMenuInterfaceStruct **;

struct MenuEntry {
  std::string name;
  SInt32 id;
  bool operator==(const MenuEntry &) const = default;
};

std::string TextOf(const AEDesc &record) {
  DescType type;
  Size size = 0;
  char buf[512];
  if (AEGetParamPtr(&record, keyAEName, typeChar, &type, buf, sizeof buf, &size) != noErr)
    return "?";
  return std::string(buf, size_t(size));
}

// What the plug-in added: the submenu's entries, or a plain command.
struct Added {
  SInt32 records = 0;
  std::string title;
  bool submenu = false;
  SInt32 plainID = 0;
  std::vector<MenuEntry> entries;
};

Added ReadAdded(const AEDescList &commands) {
  Added a;
  AECountItems(&commands, &a.records);
  if (a.records == 0)
    return a;
  AEDesc record;
  AEInitializeDesc(&record);
  AEKeyword kw;
  EXPECT_EQ(AEGetNthDesc(&commands, 1, typeAERecord, &kw, &record), noErr);
  a.title = TextOf(record);
  AEDesc sub;
  AEInitializeDesc(&sub);
  if (AEGetParamDesc(&record, keyContextualMenuSubmenu, typeAEList, &sub) == noErr) {
    a.submenu = true;
    SInt32 n = 0;
    AECountItems(&sub, &n);
    for (SInt32 i = 1; i <= n; ++i) {
      AEDesc item;
      AEInitializeDesc(&item);
      AEGetNthDesc(&sub, i, typeAERecord, &kw, &item);
      SInt32 id = -1;
      DescType type;
      Size size;
      AEGetParamPtr(&item, keyContextualMenuCommandID, typeLongInteger, &type, &id, sizeof id, &size);
      a.entries.push_back({TextOf(item), id});
      AEDisposeDesc(&item);
    }
    AEDisposeDesc(&sub);
  } else {
    DescType type;
    Size size;
    AEGetParamPtr(&record, keyContextualMenuCommandID, typeLongInteger, &type, &a.plainID, sizeof a.plainID, &size);
  }
  AEDisposeDesc(&record);
  return a;
}

class PlugInTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(Bundle(), nullptr) << "the plug-in bundle did not load from " << QL_PLUGIN_DIR;
    scripts = tmp.Dir("home/Scripts");
    PlatformSetFolderPath(kScriptsFolderType, scripts.c_str());
    log = tmp.path() / "runs.log";
    PlatformResetLaunchLog();
    object = static_cast<Menu>(PlugInFactory(nullptr, kContextualMenuTypeID));
    ASSERT_NE(object, nullptr);
    handles = PlatformLiveHandleCount();
    descriptors = PlatformLiveDescriptorCount();
  }
  void TearDown() override {
    (*object)->PostMenuCleanup(object);
    EXPECT_EQ((*object)->Release(object), 0u);
    WaitForRuns();
    PlatformSetFolderPath(kScriptsFolderType, nullptr);
    EXPECT_EQ(PlatformLiveHandleCount(), handles);
    EXPECT_EQ(PlatformLiveDescriptorCount(), descriptors);
  }
  // An encoder program that appends "NAME ARGS..." to the run log.
  void Encoder(const std::string &rel) {
    fs::path p = scripts / "Encoders" / rel;
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "#!/bin/sh\necho \"" << p.filename().string() << " $*\" >> '" << log.string() << "'\n";
    fs::permissions(p, fs::perms::owner_all);
  }
  fs::path Doc(const std::string &name) { return tmp.File("docs/" + name, name); }
  // The clicked items: one alias per file.
  void Select(const std::vector<fs::path> &files) {
    AEDisposeDesc(&context);
    ASSERT_EQ(AECreateList(nullptr, 0, false, &context), noErr);
    for (const fs::path &f : files) {
      FSRef ref = RefOf(f);
      AliasHandle alias = nullptr;
      ASSERT_EQ(FSNewAlias(nullptr, &ref, &alias), noErr);
      ASSERT_EQ(AEPutPtr(&context, 0, typeAlias, *alias, GetHandleSize(reinterpret_cast<Handle>(alias))), noErr);
      DisposeHandle(reinterpret_cast<Handle>(alias));
    }
  }
  Added Examine(OSStatus expected = noErr) {
    AEDescList commands;
    AEInitializeDesc(&commands);
    EXPECT_EQ(AECreateList(nullptr, 0, false, &commands), noErr);
    EXPECT_EQ((*object)->ExamineContext(object, &context, &commands), expected);
    Added a = ReadAdded(commands);
    AEDisposeDesc(&commands);
    return a;
  }
  void WaitForRuns() {
    for (SInt32 i = 0; i < PlatformLaunchLogCount(); ++i) {
      PlatformLaunchRecord r;
      if (PlatformGetLaunchRecord(i, &r) == noErr && r.pid > 0)
        PlatformWaitForProcess(&r.process, 10000, nullptr);
    }
  }
  // Program and arguments of every launch, in launch order.
  std::vector<std::string> Launches() {
    std::vector<std::string> out;
    for (SInt32 i = 0; i < PlatformLaunchLogCount(); ++i) {
      PlatformLaunchRecord r;
      PlatformGetLaunchRecord(i, &r);
      std::string line = fs::path(r.programPath).filename().string();
      for (SInt32 a = 0; a < r.argumentCount; ++a)
        line += std::string(" ") + PlatformGetLaunchArgument(i, a);
      out.push_back(line);
    }
    return out;
  }
  void TearDownContext() { AEDisposeDesc(&context); }

  TempDir tmp;
  fs::path scripts, log;
  Menu object = nullptr;
  AEDescList context = {typeNull, nullptr};
  SInt32 handles = 0, descriptors = 0;
};

TEST_F(PlugInTest, SubmenuListsTheEncodersTreeByIndex) {
  Encoder("A");
  Encoder("B");
  Encoder("F/D");
  Select({Doc("one.txt"), Doc("two.txt"), Doc("three.txt")});
  Added a = Examine();
  EXPECT_EQ(a.title, "Quillomat");
  ASSERT_TRUE(a.submenu);
  EXPECT_EQ(a.entries, (std::vector<MenuEntry>{{"A", 0}, {"B", 1}, {"D", 3}}));

  // A hidden item and an empty folder change the indexes, never the entries.
  Encoder(".x");
  fs::create_directories(scripts / "Encoders/G");
  (*object)->PostMenuCleanup(object);
  a = Examine();
  EXPECT_EQ(a.entries, (std::vector<MenuEntry>{{"A", 1}, {"B", 2}, {"D", 4}}));
  TearDownContext();
}

TEST_F(PlugInTest, ChoosingOpensEachFileWithItsOwnRequestInOrder) {
  Encoder("A");
  Encoder("B");
  const std::string longName = "A document whose name has forty chars.tx";
  ASSERT_EQ(longName.size(), 40u);
  std::vector<fs::path> docs = {Doc("first.txt"), Doc(longName), Doc("\xE6\x97\xA5\xE6\x9C\xAC.txt")};
  Select(docs);
  Added a = Examine();
  ASSERT_EQ(a.entries.size(), 2u);
  ASSERT_EQ((*object)->HandleSelection(object, &context, 1), noErr);
  std::vector<std::string> expected;
  for (const fs::path &d : docs)
    expected.push_back("B " + d.string());
  EXPECT_EQ(Launches(), expected);
  WaitForRuns();
  std::ifstream in(log);
  std::multiset<std::string> ran;
  for (std::string line; std::getline(in, line);)
    ran.insert(line);
  EXPECT_EQ(ran, std::multiset<std::string>(expected.begin(), expected.end()));
  TearDownContext();
}

TEST_F(PlugInTest, PlainCommandOrNothing) {
  Select({Doc("x.txt")});
  struct Case {
    const char *id;
    std::function<void()> setup;
    SInt32 records;
  } cases[] = {
      {"missing Scripts folder", [&] { PlatformSetFolderPath(kScriptsFolderType, (tmp.path() / "nowhere").c_str()); }, 0},
      {"missing Encoders folder", [&] { PlatformSetFolderPath(kScriptsFolderType, scripts.c_str()); }, 0},
      {"empty Encoders folder", [&] { fs::create_directories(scripts / "Encoders"); }, 0},
      {"only folders and hidden items", [&] {
         fs::create_directories(scripts / "Encoders/Pkg.app/Contents");
         Encoder(".hidden");
       }, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    c.setup();
    Added a = Examine();
    EXPECT_EQ(a.records, c.records);
    if (c.records) {
      EXPECT_EQ(a.title, "Quillomat");
      EXPECT_FALSE(a.submenu);
      EXPECT_EQ(a.plainID, SInt32(ql::FourCC("Qlmt")));
    }
    (*object)->PostMenuCleanup(object);
  }
  TearDownContext();
}

TEST_F(PlugInTest, AContextWithoutFilesAddsNothing) {
  Encoder("A");
  ASSERT_EQ(AECreateList(nullptr, 0, false, &context), noErr);
  SInt32 number = 7;
  ASSERT_EQ(AEPutPtr(&context, 0, typeLongInteger, &number, sizeof number), noErr);
  Added a = Examine(errAECoercionFail);
  EXPECT_EQ(a.records, 0);
  AEDescList commands;
  AEInitializeDesc(&commands);
  EXPECT_EQ((*object)->ExamineContext(object, nullptr, &commands), paramErr);
  TearDownContext();
}

TEST_F(PlugInTest, SelectionsOutsideTheListOpenNothing) {
  Encoder("A");
  Select({Doc("x.txt")});
  EXPECT_EQ((*object)->HandleSelection(object, &context, 0), paramErr) << "no list held yet";
  Examine();
  for (SInt32 id : {-1, 1, 1000, SInt32(ql::FourCC("Qlmt"))}) {
    SCOPED_TRACE(id);
    EXPECT_EQ((*object)->HandleSelection(object, &context, id), paramErr);
  }
  EXPECT_EQ(PlatformLaunchLogCount(), 0);
  (*object)->PostMenuCleanup(object);
  (*object)->PostMenuCleanup(object);
  EXPECT_EQ(gAppFSRefsHandle, nullptr);
  EXPECT_EQ((*object)->HandleSelection(object, &context, 0), paramErr) << "after cleanup";
  TearDownContext();
}

TEST_F(PlugInTest, ExaminingAgainReplacesTheList) {
  Encoder("A");
  Select({Doc("x.txt")});
  Examine();
  const SInt32 afterFirst = PlatformLiveHandleCount();
  Examine();
  EXPECT_EQ(PlatformLiveHandleCount(), afterFirst) << "the earlier list must be disposed of";
  // A failed build leaves no stale list behind.
  fs::remove_all(scripts / "Encoders");
  Examine();
  EXPECT_EQ(gAppFSRefsHandle, nullptr);
  TearDownContext();
}

TEST_F(PlugInTest, ExamineReleasesEverythingUnderAllocationFailures) {
  Encoder("A");
  Encoder("F/B");
  Select({Doc("x.txt")});
  ForEachAllocFailure(
      [&] {
        AEDescList commands;
        AEInitializeDesc(&commands);
        AECreateList(nullptr, 0, false, &commands);
        SInt32 live = PlatformLiveDescriptorCount();
        OSStatus err = (*object)->ExamineContext(object, &context, &commands);
        (*object)->PostMenuCleanup(object);
        AEDisposeDesc(&commands);
        EXPECT_EQ(PlatformLiveDescriptorCount(), live - 1);
        return OSErr(err);
      },
      [](OSErr result, bool injected) { EXPECT_TRUE(result == noErr || (injected && result == memFullErr)) << result; });
  TearDownContext();
}

TEST_F(PlugInTest, LaunchBlockAndOpenDocumentsEvent) {
  Encoder("A");
  fs::path doc = Doc("x.txt");
  Select({doc});
  Examine();
  ASSERT_EQ((*object)->HandleSelection(object, &context, 0), noErr);
  ASSERT_EQ(PlatformLaunchLogCount(), 1);
  PlatformLaunchRecord r;
  ASSERT_EQ(PlatformGetLaunchRecord(0, &r), noErr);
  EXPECT_EQ(r.launchBlockID, 0x4C43);
  EXPECT_EQ(r.launchEPBLength, 32u);
  EXPECT_EQ(r.launchFileFlags, 0x0800);
  EXPECT_EQ(r.launchControlFlags, 0x4000) << "launchContinue, brought to the front";
  ASSERT_NE(r.parameters, nullptr);
  AppleEvent event;
  AEInitializeDesc(&event);
  ASSERT_EQ(AECoercePtr(typeAppParameters, r.parameters, r.parametersSize, typeAppleEvent, &event), noErr);
  OSType value;
  DescType type;
  Size size;
  ASSERT_EQ(AEGetAttributePtr(&event, keyEventClassAttr, typeType, &type, &value, sizeof value, &size), noErr);
  EXPECT_EQ(value, kCoreEventClass);
  ASSERT_EQ(AEGetAttributePtr(&event, keyEventIDAttr, typeType, &type, &value, sizeof value, &size), noErr);
  EXPECT_EQ(value, kAEOpenDocuments);
  AEDescList direct;
  AEInitializeDesc(&direct);
  ASSERT_EQ(AEGetParamDesc(&event, keyDirectObject, typeWildCard, &direct), noErr);
  EXPECT_EQ(direct.descriptorType, typeAEList);
  FSRef got;
  ASSERT_EQ(AEGetNthFSRef(&direct, 1, &got), noErr);
  EXPECT_EQ(PathOf(got), doc.string());
  AEDisposeDesc(&direct);
  AEDisposeDesc(&event);
  TearDownContext();
}

TEST(PlugInObject, FactoryInterfacesAndCounts) {
  ASSERT_NE(Bundle(), nullptr);
  EXPECT_EQ(PlugInFactory(nullptr, kContextualMenuInterfaceID), nullptr) << "not the plug-in type";
  auto object = static_cast<Menu>(PlugInFactory(nullptr, kContextualMenuTypeID));
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(*object, &gTestInterfaceFunctionTable);
  EXPECT_EQ(gTestInterfaceFunctionTable._reserved, nullptr);
  CFStringRef text = CFStringCreateWithCString(nullptr, QUILLOMAT_FACTORY_UUID, kCFStringEncodingUTF8);
  CFUUIDRef factory = CFUUIDGetConstantUUIDWithString(nullptr, text);
  CFRelease(text);
  const SInt32 instances = PlatformCFPlugInInstanceCount(factory);
  EXPECT_GE(instances, 1);

  LPVOID out = reinterpret_cast<LPVOID>(1);
  EXPECT_EQ((*object)->QueryInterface(object, CFUUIDGetUUIDBytes(IUnknownUUID), &out), S_OK);
  EXPECT_EQ(out, object);
  EXPECT_EQ((*object)->AddRef(object), 3u) << "QueryInterface added a reference";
  EXPECT_EQ((*object)->Release(object), 2u);
  EXPECT_EQ((*object)->Release(object), 1u);
  EXPECT_EQ((*object)->QueryInterface(object, CFUUIDGetUUIDBytes(kContextualMenuTypeID), &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ((*object)->AddRef(object), 2u) << "count unchanged by a refused interface";
  EXPECT_EQ((*object)->Release(object), 1u);
  EXPECT_EQ((*object)->Release(object), 0u);
  EXPECT_EQ(PlatformCFPlugInInstanceCount(factory), instances - 1);
}

} // namespace
