// Every catalog and listing function releases what it made, on success and
// under each injected allocation failure.
#include <functional>

#include <gtest/gtest.h>

#include "files/FilesTestUtil.h"
#include "platform/memory/Memory.h"
#include "platform/text/TextEncoding.h"
#include "support/TestSupport.h"

using namespace qltest;

namespace {

SInt32 Nothing(void *, CInfoPBRec *) { return 0; }
SInt32 NothingSpec(const FSSpec *, void *) { return 0; }

TEST(Release, EveryFunctionUnderAllocationFailures) {
  TempDir tmp;
  tmp.File("f/a", "1");
  tmp.File("f/sub/b", "2");
  tmp.File("f/A name of exactly forty characters long!", "3");
  SInt16 vol;
  SInt32 dir = DirIDOf(tmp.path() / "f", &vol);
  FSSpec folder = SpecOf(tmp.path() / "f");
  FSSpec file = SpecOf(tmp.path() / "f/a");
  FSRef folderRef = RefOf(tmp.path() / "f");
  PString longName("A name of exactly forty characters long!");
  HFSUniStr255 uni = {1, {u'a'}};
  struct Case {
    const char *id;
    std::function<OSErr()> call;
  } cases[] = {
      {"FSGetCatInfo", [&] { CInfoPBRec pb; return FSGetCatInfo(vol, dir, PString("a"), &pb); }},
      {"FSpGetFolderID", [&] { SInt32 id; Boolean f; return FSpGetFolderID(&folder, &id, &f); }},
      {"FSGetFolderID long", [&] { SInt32 id; return FSGetFolderID(vol, dir, longName, &id, nullptr); }},
      {"HMakeFSRef long", [&] { FSRef r; return HMakeFSRef(vol, dir, longName, &r); }},
      {"FSMakeFSRef", [&] { FSRef r; return FSMakeFSRef(vol, dir, &uni, &r); }},
      {"HGetCatalogInfo", [&] { FSCatalogInfo ci; return HGetCatalogInfo(vol, dir, PString("a"), kFSCatInfoGettableInfo, &ci, nullptr, nullptr, nullptr); }},
      {"FSpIsFolder", [&] { Boolean f; return FSpIsFolder(&file, &f); }},
      {"FSRefIsFolder", [&] { Boolean f; return FSRefIsFolder(&folderRef, &f); }},
      {"FSpGetTypeAndCreator", [&] { return FSpGetTypeAndCreator(&file, nullptr, nullptr); }},
      {"FSpGetName", [&] { Str255 n; return FSpGetName(&file, n); }},
      {"FSpExists", [&] { return FSpExists(&file); }},
      {"HExists", [&] { return HExists(vol, dir, longName); }},
      {"FSExists", [&] { return FSExists(vol, dir, &uni); }},
      {"FSIterateFolder", [&] { return OSErr(FSIterateFolder(vol, dir, nullptr, 0, 0, Nothing, nullptr)); }},
      {"FSRefIterateFolder", [&] { return OSErr(FSRefIterateFolder(&folderRef, 0, 0, Nothing, nullptr)); }},
      {"FSRefBuildSubItemList", [&] {
         Handle h = nullptr;
         OSErr e = FSRefBuildSubItemList(&folderRef, &h, nullptr);
         if (h) DisposeHandle(h);
         return e;
       }},
      {"FSpProcessFolderContents", [&] { return OSErr(FSpProcessFolderContents(&folder, nullptr, NothingSpec)); }},
      {"FSpBuildSubItemList", [&] { FSSpec s[8]; SInt32 n = 8; return FSpBuildSubItemList(&folder, true, &n, s); }},
      {"HCountSubItems", [&] { SInt32 n; return HCountSubItems(vol, dir, 0, 0, &n); }},
      {"HGetSubItem", [&] { SInt32 i = 1; Str255 n; return HGetSubItem(vol, dir, &i, 0, 0, n); }},
  };
  const SInt32 converters = PlatformLiveConverterCount();
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    ForEachAllocFailure(c.call, [](OSErr result, bool injected) {
      EXPECT_TRUE(result == noErr || (injected && result == memFullErr)) << result;
    });
  }
  // The two name converters are made once and kept; nothing else lives on.
  EXPECT_LE(PlatformLiveConverterCount() - converters, 2);
}

} // namespace
