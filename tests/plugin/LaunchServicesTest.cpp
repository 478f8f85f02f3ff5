// Menu command records, descriptor-list access and opening documents with
// applications, with real processes where processes are the truth.
#include <chrono>
#include <functional>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "files/FilesTestUtil.h"
#include "platform/aliases/Aliases.h"
#include "platform/files/Forks.h"
#include "platform/memory/Memory.h"
#include "platform/processes/Processes.h"
#include "platform/contextmenu/ContextualMenuPlugins.h"
#include "support/TestSupport.h"
#include "toolbox/appleevents/AppleEventToolbox.h"

namespace fs = std::filesystem;
using namespace qltest;

namespace {

struct Desc {
  AEDesc d;
  Desc() { AEInitializeDesc(&d); }
  ~Desc() { AEDisposeDesc(&d); }
};

// The keys of record `index` of a list, its text and command ID.
struct Record {
  bool hasID = false, hasSubmenu = false;
  SInt32 id = 0;
  DescType textType = 0;
  std::string text;
};

Record ReadRecord(const AEDescList &list, SInt32 index) {
  Record r;
  Desc rec;
  AEKeyword kw;
  EXPECT_EQ(AEGetNthDesc(&list, index, typeWildCard, &kw, &rec.d), noErr);
  char buf[256];
  Size size = 0;
  EXPECT_EQ(AEGetParamPtr(&rec.d, keyAEName, typeWildCard, &r.textType, buf, sizeof buf, &size), noErr);
  r.text.assign(buf, size_t(size));
  DescType t;
  r.hasID = AEGetParamPtr(&rec.d, keyContextualMenuCommandID, typeLongInteger, &t, &r.id, 4, &size) == noErr;
  Desc sub;
  r.hasSubmenu = AEGetParamDesc(&rec.d, keyContextualMenuSubmenu, typeAEList, &sub.d) == noErr;
  return r;
}

TEST(CommandRecords, PlainCFStringAndHierarchical) {
  const SInt32 live = PlatformLiveDescriptorCount();
  {
    Desc list, sub;
    ASSERT_EQ(AECreateList(nullptr, 0, false, &list.d), noErr);
    ASSERT_EQ(AECreateList(nullptr, 0, false, &sub.d), noErr);
    ASSERT_EQ(AddContextualMenuCommand(reinterpret_cast<const unsigned char *>("\x00"), 7, &list.d), noErr);
    const UniChar units[] = {u'\x00e9', u't', u'\x00e9'};
    CFStringRef direct = CFStringCreateWithCharacters(nullptr, units, 3);
    CFStringRef copied = CFStringCreateWithCString(nullptr, "abc", kCFStringEncodingUTF8);
    CFStringRef empty = CFStringCreateWithCString(nullptr, "", kCFStringEncodingUTF8);
    ASSERT_NE(CFStringGetCharactersPtr(direct), nullptr);
    ASSERT_EQ(CFStringGetCharactersPtr(copied), nullptr) << "both paths of the twin are exercised";
    ASSERT_EQ(AddContextualMenuCommandCFString(direct, 8, &list.d), noErr);
    ASSERT_EQ(AddContextualMenuCommandCFString(copied, 9, &list.d), noErr);
    ASSERT_EQ(AddContextualMenuCommandCFString(empty, 10, &list.d), noErr) << "an empty string is no memory failure";
    CFRelease(direct);
    CFRelease(copied);
    CFRelease(empty);
    const unsigned char title[] = "\x05Title";
    ASSERT_EQ(AddContextualMenuHierarchicalCommandList(title, 11, &sub.d, &list.d), noErr);
    ASSERT_EQ(AddContextualMenuCommand(reinterpret_cast<const unsigned char *>("\x01x"), 1, &sub.d), noErr);
    ASSERT_EQ(AddContextualMenuHierarchicalCommandList(title, 12, &sub.d, &list.d), noErr);

    SInt32 n = 0;
    ASSERT_EQ(AECountItems(&list.d, &n), noErr);
    ASSERT_EQ(n, 6);
    struct Expect {
      const char *id;
      DescType type;
      std::string text;
      bool hasID, hasSubmenu;
      SInt32 commandID;
    } expected[] = {
        {"empty name", typeChar, "", true, false, 7},
        {"UTF-16 storage", typeUnicodeText, std::string("\xE9\0t\0\xE9\0", 6), true, false, 8},
        {"8-bit storage", typeUnicodeText, std::string("a\0b\0c\0", 6), true, false, 9},
        {"empty CFString", typeUnicodeText, "", true, false, 10},
        {"empty submenu: a plain command", typeChar, "Title", true, false, 11},
        {"submenu: no command ID", typeChar, "Title", false, true, 0},
    };
    for (SInt32 i = 0; i < n; ++i) {
      SCOPED_TRACE(expected[i].id);
      Record r = ReadRecord(list.d, i + 1);
      EXPECT_EQ(r.textType, expected[i].type);
      EXPECT_EQ(r.text, expected[i].text);
      EXPECT_EQ(r.hasID, expected[i].hasID);
      EXPECT_EQ(r.hasSubmenu, expected[i].hasSubmenu);
      if (r.hasID) {
        EXPECT_EQ(r.id, expected[i].commandID);
      }
    }
  }
  EXPECT_EQ(PlatformLiveDescriptorCount(), live);
}

TEST(DescriptorLists, NthItemAsFileReference) {
  TempDir tmp;
  fs::path a = tmp.File("a.txt"), b = tmp.File("b.txt");
  Desc list;
  ASSERT_EQ(AECreateList(nullptr, 0, false, &list.d), noErr);
  for (const fs::path &p : {a, b}) {
    FSSpec spec = SpecOf(p);
    ASSERT_EQ(AEPutPtr(&list.d, 0, typeFSS, &spec, sizeof spec), noErr);
  }
  FSRef ref;
  ASSERT_EQ(AEGetNthFSRef(&list.d, 2, &ref), noErr);
  EXPECT_EQ(PathOf(ref), b.string());
  FSRef untouched;
  memset(&untouched, 0xAA, sizeof untouched);
  FSRef out = untouched;
  EXPECT_NE(AEGetNthFSRef(&list.d, 3, &out), noErr);
  EXPECT_EQ(memcmp(&out, &untouched, sizeof out), 0) << "written on failure";
  EXPECT_EQ(AEGetNthFSRef(nullptr, 1, &out), paramErr);
  EXPECT_EQ(AEGetNthFSRef(&list.d, 1, nullptr), paramErr);
  FSSpec spec;
  ASSERT_EQ(AEGetNthFSSpec(&list.d, 1, &spec), noErr);
  EXPECT_EQ(PStr(spec.name), "a.txt");
  // The target gone: resolution fails.
  fs::remove(a);
  EXPECT_EQ(AEGetNthFSRef(&list.d, 1, &out), fnfErr);
}

TEST(OpenDocuments, EventKeepsTheOrderOfTheDocuments) {
  TempDir tmp;
  std::vector<FSSpec> docs;
  std::vector<std::string> paths;
  for (const char *n : {"c", "a", "b"}) {
    paths.push_back(tmp.File(n).string());
    docs.push_back(SpecOf(paths.back()));
  }
  ProcessSerialNumber self;
  ASSERT_EQ(GetCurrentProcess(&self), noErr);
  AppleEvent event;
  EXPECT_EQ(BuildOpenDocumentEvent(&self, docs.data(), 0, &event), paramErr);
  EXPECT_EQ(BuildOpenDocumentEvent(nullptr, docs.data(), 3, &event), paramErr);
  const SInt32 live = PlatformLiveDescriptorCount();
  ASSERT_EQ(BuildOpenDocumentEvent(&self, docs.data(), 3, &event), noErr);
  {
  Desc direct;
  ASSERT_EQ(AEGetParamDesc(&event, keyDirectObject, typeWildCard, &direct.d), noErr);
  EXPECT_EQ(direct.d.descriptorType, typeAEList);
  SInt32 n = 0;
  AECountItems(&direct.d, &n);
  ASSERT_EQ(n, 3);
  for (SInt32 i = 1; i <= n; ++i) {
    Desc item;
    AEKeyword kw;
    ASSERT_EQ(AEGetNthDesc(&direct.d, i, typeWildCard, &kw, &item.d), noErr);
    EXPECT_EQ(item.d.descriptorType, typeAlias);
    FSRef ref;
    ASSERT_EQ(AEGetNthFSRef(&direct.d, i, &ref), noErr);
    EXPECT_EQ(PathOf(ref), paths[size_t(i - 1)]);
  }
  }
  AEDisposeDesc(&event);
  EXPECT_EQ(PlatformLiveDescriptorCount(), live);
  // The first process in the list matches any type and creator.
  ProcessSerialNumber first{0, kNoProcess}, found;
  ASSERT_EQ(GetNextProcess(&first), noErr);
  ASSERT_EQ(FindTypeCreatorProcess(0, 0, &found), noErr);
  EXPECT_EQ(found.highLongOfPSN, first.highLongOfPSN);
  EXPECT_EQ(found.lowLongOfPSN, first.lowLongOfPSN);
  EXPECT_EQ(FindTypeCreatorProcess(ql::FourCC("none"), ql::FourCC("none"), nullptr), procNotFound);
}

class LaunchTest : public ::testing::Test {
protected:
  void SetUp() override {
    PlatformResetLaunchLog();
    log = tmp.path() / "recorder.log";
    setenv("QL_RECORDER_LOG", log.c_str(), 1);
    setenv("QL_RECORDER_TIMEOUT_MS", "10000", 1);
    // A copy of the event recorder: an application of its own, not yet running.
    app = tmp.path() / "Recorder";
    fs::copy_file(QL_EVENT_RECORDER, app);
    fs::permissions(app, fs::perms::owner_all);
    doc1 = SpecOf(tmp.File("one.txt"));
    doc2 = SpecOf(tmp.File("two.txt"));
    appSpec = SpecOf(app);
  }
  void TearDown() override {
    for (SInt32 i = 0; i < PlatformLaunchLogCount(); ++i) {
      PlatformLaunchRecord r;
      if (PlatformGetLaunchRecord(i, &r) == noErr && r.pid > 0) {
        AppleEvent quit;
        Desc address;
        AECreateDesc(typeProcessSerialNumber, &r.process, sizeof r.process, &address.d);
        if (AECreateAppleEvent(kCoreEventClass, kAEQuitApplication, &address.d, -1, 0, &quit) == noErr) {
          Desc reply;
          AESend(&quit, &reply.d, kAENoReply, 0, -2, nullptr, nullptr);
          AEDisposeDesc(&quit);
        }
        PlatformWaitForProcess(&r.process, 10000, nullptr);
      }
    }
    unsetenv("QL_RECORDER_LOG");
    unsetenv("QL_RECORDER_TIMEOUT_MS");
  }
  std::string Log() {
    std::ifstream in(log);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool WaitForLog(const std::string &text) {
    for (int i = 0; i < 500; ++i) {
      if (Log().find(text) != std::string::npos)
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  TempDir tmp;
  fs::path log, app;
  FSSpec doc1, doc2, appSpec;
};

TEST_F(LaunchTest, ArgumentsAreChecked) {
  EXPECT_EQ(SimpleLaunchApplicationWithDocuments(&appSpec, &doc1, 0, true), paramErr);
  EXPECT_EQ(SimpleLaunchApplicationWithDocuments(nullptr, &doc1, 1, true), paramErr);
  EXPECT_EQ(SimpleLaunchApplicationWithDocuments(&appSpec, nullptr, 1, true), paramErr);
  FSSpec folder = SpecOf(tmp.path());
  EXPECT_EQ(SimpleLaunchApplicationWithDocuments(&folder, &doc1, 1, true), fnfErr);
  EXPECT_EQ(PlatformLaunchLogCount(), 0);
}

TEST_F(LaunchTest, RunningApplicationGetsTheEventAndComesToTheFront) {
  ASSERT_EQ(SimpleLaunchApplicationWithDocuments(&appSpec, &doc1, 1, false), noErr);
  ASSERT_EQ(PlatformLaunchLogCount(), 1);
  PlatformLaunchRecord first;
  ASSERT_EQ(PlatformGetLaunchRecord(0, &first), noErr);
  EXPECT_EQ(first.launchControlFlags, 0x4200) << "launchContinue + launchDontSwitch";
  ASSERT_TRUE(WaitForLog("READY")) << Log();

  const SInt32 fronts = PlatformProcessCount(kPlatformProcessFrontChanges);
  ASSERT_EQ(SimpleLaunchApplicationWithDocuments(&appSpec, &doc2, 1, false), noErr);
  ASSERT_TRUE(WaitForLog(tmp.path().string() + "/two.txt")) << Log();
  EXPECT_EQ(PlatformProcessCount(kPlatformProcessFrontChanges), fronts) << "not brought to the front";
  ASSERT_EQ(SimpleLaunchApplicationWithDocuments(&appSpec, &doc1, 1, true), noErr);
  EXPECT_EQ(PlatformProcessCount(kPlatformProcessFrontChanges), fronts + 1);
  ProcessSerialNumber front;
  ASSERT_EQ(GetFrontProcess(&front), noErr);
  EXPECT_EQ(front.highLongOfPSN, first.process.highLongOfPSN);
  EXPECT_EQ(PlatformLaunchLogCount(), 1) << "the running application was not launched again";
}

TEST_F(LaunchTest, LinkedApplicationsAreMatchedByTheirFiles) {
  // Every link reads as 'slnk'/'rhap': by those codes, documents for one
  // linked encoder would go to another that is running.
  fs::path other = tmp.path() / "Other Recorder";
  fs::copy_file(app, other);
  fs::create_symlink(app, tmp.path() / "A");
  fs::create_symlink(other, tmp.path() / "B");
  FSSpec a = SpecOf(tmp.path() / "A"), b = SpecOf(tmp.path() / "B");
  ASSERT_EQ(SimpleLaunchApplicationWithDocuments(&a, &doc1, 1, true), noErr);
  ASSERT_TRUE(WaitForLog("READY")) << Log();
  ASSERT_EQ(SimpleLaunchApplicationWithDocuments(&b, &doc2, 1, true), noErr);
  EXPECT_EQ(PlatformLaunchLogCount(), 2) << "B is launched, not sent A's way";
}

TEST_F(LaunchTest, ApplicationWithUnknownCreatorIsMatchedByItsFile) {
  // Two different applications that both call themselves 'APPL'/'????':
  // by their codes, documents for the second would go to the first.
  fs::path other = tmp.path() / "Other Recorder";
  fs::copy_file(app, other);
  FSSpec otherSpec = SpecOf(other);
  for (const FSSpec *spec : {&appSpec, &otherSpec}) {
    FInfo info{};
    ASSERT_EQ(FSpGetFInfo(spec, &info), noErr);
    info.fdType = ql::FourCC("APPL");
    info.fdCreator = ql::FourCC("????");
    ASSERT_EQ(FSpSetFInfo(spec, &info), noErr);
  }
  ASSERT_EQ(SimpleLaunchApplicationWithDocuments(&appSpec, &doc1, 1, true), noErr);
  ASSERT_TRUE(WaitForLog("READY")) << Log();
  ASSERT_EQ(SimpleLaunchApplicationWithDocuments(&otherSpec, &doc2, 1, true), noErr);
  ASSERT_EQ(PlatformLaunchLogCount(), 2) << "the other application is launched, not sent the event";
  PlatformLaunchRecord second;
  ASSERT_EQ(PlatformGetLaunchRecord(1, &second), noErr);
  EXPECT_EQ(std::string(second.programPath), other.string());
  // The first one, still running, gets its next document by its file.
  ASSERT_EQ(SimpleLaunchApplicationWithDocuments(&appSpec, &doc2, 1, false), noErr);
  EXPECT_EQ(PlatformLaunchLogCount(), 2);
  EXPECT_TRUE(WaitForLog("EVENT")) << Log();
}

// Every service releases what it made when any allocation or any
// Apple Event Manager call inside it fails.
TEST(Release, ServicesUnderInjectedFailures) {
  TempDir tmp;
  FSSpec docs[2] = {SpecOf(tmp.File("a")), SpecOf(tmp.File("b"))};
  ProcessSerialNumber self;
  ASSERT_EQ(GetCurrentProcess(&self), noErr);
  Desc files;
  ASSERT_EQ(AECreateList(nullptr, 0, false, &files.d), noErr);
  ASSERT_EQ(AEPutPtr(&files.d, 0, typeFSS, &docs[0], sizeof docs[0]), noErr);
  const unsigned char text[] = "\x04Text";
  // The lists the services append to are made outside the failure window.
  Desc target, sub;
  ASSERT_EQ(AECreateList(nullptr, 0, false, &target.d), noErr);
  ASSERT_EQ(AECreateList(nullptr, 0, false, &sub.d), noErr);
  ASSERT_EQ(AddContextualMenuCommand(text, 1, &sub.d), noErr);
  // A record appended on success is removed again, so that what is left
  // over is only what a service failed to release.
  auto Appended = [&](OSErr err) {
    if (err == noErr)
      AEDeleteItem(&target.d, 1);
    return err;
  };
  struct Case {
    const char *id;
    std::function<OSErr()> call;
  } cases[] = {
      {"AddContextualMenuCommand", [&] { return Appended(AddContextualMenuCommand(text, 1, &target.d)); }},
      {"AddContextualMenuHierarchicalCommandList",
       [&] { return Appended(AddContextualMenuHierarchicalCommandList(text, 2, &sub.d, &target.d)); }},
      {"BuildOpenDocumentEvent", [&] {
         AppleEvent event;
         OSErr err = BuildOpenDocumentEvent(&self, docs, 2, &event);
         if (err == noErr)
           AEDisposeDesc(&event);
         return err;
       }},
      {"AEGetNthFSRef", [&] { FSRef ref; return AEGetNthFSRef(&files.d, 1, &ref); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    ForEachAllocFailure(c.call, [](OSErr result, bool injected) {
      EXPECT_TRUE(result == noErr || (injected && result == memFullErr)) << result;
    });
    for (UInt32 n = 1; n < 200; ++n) {
      const SInt32 live = PlatformLiveDescriptorCount(), handles = PlatformLiveHandleCount();
      PlatformFailNthAECall(n, -12345);
      OSErr result = c.call();
      const bool injected = PlatformAECallFailureInjected();
      PlatformFailNthAECall(0, noErr);
      EXPECT_EQ(PlatformLiveDescriptorCount(), live) << "call " << n;
      EXPECT_EQ(PlatformLiveHandleCount(), handles) << "call " << n;
      if (!injected) {
        EXPECT_EQ(result, noErr);
        break;
      }
      EXPECT_NE(result, noErr) << "call " << n << ": a failure reported as success";
    }
  }
}

} // namespace

namespace {

TEST(DescriptorLists, OnlyWholeSoundSpecsAreAnswers) {
  TempDir tmp;
  FSSpec good = SpecOf(tmp.File("a"));
  FSSpec longName = good;
  longName.name[0] = 255;
  const char shortRecord[10] = {};
  Desc list;
  ASSERT_EQ(AECreateList(nullptr, 0, false, &list.d), noErr);
  ASSERT_EQ(AEPutPtr(&list.d, 0, typeFSS, &good, sizeof good), noErr);
  ASSERT_EQ(AEPutPtr(&list.d, 0, typeFSS, shortRecord, sizeof shortRecord), noErr);
  ASSERT_EQ(AEPutPtr(&list.d, 0, typeFSS, &longName, sizeof longName), noErr);
  FSSpec out;
  EXPECT_EQ(AEGetNthFSSpec(&list.d, 1, &out), noErr);
  EXPECT_EQ(AEGetNthFSSpec(&list.d, 2, &out), errAECoercionFail) << "a 10-byte record";
  EXPECT_EQ(AEGetNthFSSpec(&list.d, 3, &out), errAECoercionFail) << "a name longer than its field";
  EXPECT_EQ(AEGetNthFSSpec(&list.d, 1, nullptr), paramErr);
}

} // namespace
