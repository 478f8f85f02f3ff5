// Folder walks and listings on real temporary directories.
#include <sys/stat.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/FilesTestUtil.h"
#include "platform/memory/Memory.h"
#include "support/TestSupport.h"
#include "toolbox/files/FileToolbox.h"

namespace fs = std::filesystem;
using namespace qltest;

namespace {

struct Visit {
  std::vector<std::string> names;
  int stopAt = 0;
  SInt32 stopWith = 0;
};

SInt32 Record(void *user, CInfoPBRec *pb) {
  auto *v = static_cast<Visit *>(user);
  std::string name = PStr(pb->hFileInfo.ioNamePtr);
  if (pb->hFileInfo.ioFlAttrib & kioFlAttribDirMask)
    name += "/";
  v->names.push_back(name);
  if (v->stopAt && int(v->names.size()) == v->stopAt)
    return v->stopWith;
  return 0;
}

class WalkTest : public ::testing::Test {
protected:
  void SetUp() override {
    tmp.File("root/a.txt", "a");
    tmp.File("root/B.txt", "b");
    tmp.File("root/sub/c.txt", "c");
    tmp.File("root/sub/deeper/d.txt", "d");
    tmp.File("root/z.txt", "z");
    tmp.Dir("empty");
  }
  void TearDown() override { PlatformClearFileErrors(); }
  TempDir tmp;
};

TEST_F(WalkTest, DepthLimitsAndOrder) {
  struct Case {
    const char *id;
    UInt32 depth;
    std::vector<std::string> expected;
  } cases[] = {
      {"depth 1: own items only", 1, {"a.txt", "B.txt", "sub/", "z.txt"}},
      {"depth 2: and their contents", 2, {"a.txt", "B.txt", "sub/", "c.txt", "deeper/", "z.txt"}},
      {"depth 0: the whole tree", 0, {"a.txt", "B.txt", "sub/", "c.txt", "deeper/", "d.txt", "z.txt"}},
  };
  FSSpec root = SpecOf(tmp.path() / "root");
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    Visit v;
    EXPECT_EQ(FSpIterateFolder(&root, c.depth, 0, Record, &v), noErr);
    EXPECT_EQ(v.names, c.expected);
  }
}

TEST_F(WalkTest, StartAtFileWalksItsFolder) {
  FSSpec file = SpecOf(tmp.path() / "root/sub/c.txt");
  Visit v;
  EXPECT_EQ(FSpIterateFolder(&file, 1, 0, Record, &v), noErr);
  EXPECT_EQ(v.names, (std::vector<std::string>{"c.txt", "deeper/"}));
}

TEST_F(WalkTest, EmptyFolderNeverCallsBack) {
  FSRef ref = RefOf(tmp.path() / "empty");
  Visit v;
  EXPECT_EQ(FSRefIterateFolder(&ref, 0, 0, Record, &v), noErr);
  EXPECT_TRUE(v.names.empty());
}

TEST_F(WalkTest, UnreadableFolderEndsOnlyItsLevel) {
  PlatformInjectFileError((tmp.path() / "root/sub").c_str(), kPlatformFileOpList, afpAccessDenied);
  FSSpec root = SpecOf(tmp.path() / "root");
  Visit v;
  EXPECT_EQ(FSpIterateFolder(&root, 0, 0, Record, &v), noErr);
  EXPECT_EQ(v.names, (std::vector<std::string>{"a.txt", "B.txt", "sub/", "z.txt"}));
}

TEST_F(WalkTest, OtherErrorsEndTheWholeWalk) {
  PlatformInjectFileError((tmp.path() / "root/sub").c_str(), kPlatformFileOpList, ioErr);
  FSSpec root = SpecOf(tmp.path() / "root");
  Visit v;
  EXPECT_EQ(FSpIterateFolder(&root, 0, 0, Record, &v), ioErr);
  EXPECT_EQ(v.names, (std::vector<std::string>{"a.txt", "B.txt", "sub/"}));
}

TEST_F(WalkTest, CallbackResultStopsTheWalk) {
  FSSpec root = SpecOf(tmp.path() / "root");
  Visit v;
  v.stopAt = 3;
  v.stopWith = 5;
  EXPECT_EQ(FSpIterateFolder(&root, 0, 0, Record, &v), 5);
  EXPECT_EQ(v.names.size(), 3u);
  // Results wider than 16 bits come back whole.
  Visit wide;
  wide.stopAt = 1;
  wide.stopWith = 0x12345678;
  EXPECT_EQ(FSpIterateFolder(&root, 0, 0, Record, &wide), 0x12345678);
}

TEST_F(WalkTest, NullCallbackAndAliasModeAreRefused) {
  FSSpec root = SpecOf(tmp.path() / "root");
  EXPECT_EQ(FSpIterateFolder(&root, 0, 0, nullptr, nullptr), paramErr);
  Visit v;
  EXPECT_EQ(FSpIterateFolder(&root, 0, kIterateResolveAliases, Record, &v), paramErr);
  EXPECT_TRUE(v.names.empty());
}

TEST_F(WalkTest, SubItemListIsInWalkOrder) {
  TempDir t;
  t.File("f/one", "1");
  t.File("f/two", "2");
  t.File("f/sub/three", "3");
  FSRef folder = RefOf(t.path() / "f");
  Handle list = nullptr;
  UInt32 count = 0;
  ASSERT_EQ(FSRefBuildSubItemList(&folder, &list, &count), noErr);
  ASSERT_EQ(count, 4u);
  ASSERT_EQ(GetHandleSize(list), SInt32(4 * sizeof(FSRef)));
  std::vector<std::string> paths;
  for (UInt32 i = 0; i < count; ++i)
    paths.push_back(PathOf(reinterpret_cast<FSRef *>(*list)[i]));
  EXPECT_EQ(paths, (std::vector<std::string>{(t.path() / "f/one").string(), (t.path() / "f/sub").string(),
                                             (t.path() / "f/sub/three").string(), (t.path() / "f/two").string()}));
  DisposeHandle(list);
}

TEST_F(WalkTest, SubItemListReleasesEverythingUnderAllocationFailures) {
  FSRef folder = RefOf(tmp.path() / "root");
  int runs = ForEachAllocFailure(
      [&] {
        Handle list = nullptr;
        UInt32 count = 0;
        OSErr err = FSRefBuildSubItemList(&folder, &list, &count);
        if (err == noErr) {
          EXPECT_EQ(count, 7u);
          DisposeHandle(list);
        }
        return err;
      },
      [](OSErr result, bool injected) { EXPECT_EQ(result, injected ? memFullErr : noErr); });
  EXPECT_GT(runs, 1);
  // Count only: no handle handed out.
  UInt32 count = 0;
  SInt32 live = PlatformLiveHandleCount();
  EXPECT_EQ(FSRefBuildSubItemList(&folder, nullptr, &count), noErr);
  EXPECT_EQ(count, 7u);
  EXPECT_EQ(PlatformLiveHandleCount(), live);
}

TEST_F(WalkTest, IndexedListsAndCounts) {
  TempDir t;
  for (const char *n : {"1", "2", "3", "4", "5"})
    t.File(std::string("five/") + n, n);
  FSSpec five = SpecOf(t.path() / "five");
  FSSpec items[5];
  FSSpec sentinel;
  memset(&sentinel, 0xAA, sizeof sentinel);
  std::fill(std::begin(items), std::end(items), sentinel);
  SInt32 count = 3;
  ASSERT_EQ(FSpBuildSubItemList(&five, false, &count, items), noErr);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(PStr(items[2].name), "3");
  EXPECT_EQ(memcmp(&items[3], &sentinel, sizeof sentinel), 0) << "wrote past the capacity";

  // Recursion shares the capacity between a folder and its subfolders.
  FSSpec root = SpecOf(tmp.path() / "root");
  FSSpec all[10];
  count = 10;
  ASSERT_EQ(FSpBuildSubItemList(&root, true, &count, all), noErr);
  EXPECT_EQ(count, 7);
  count = 4;
  ASSERT_EQ(FSpBuildSubItemList(&root, true, &count, all), noErr);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(PStr(all[3].name), "c.txt");

  FSSpec item;
  EXPECT_EQ(FSpGetIndexedSubItem(&five, 5, &item), noErr);
  EXPECT_EQ(PStr(item.name), "5");
  EXPECT_EQ(FSpGetIndexedSubItem(&five, 6, &item), fnfErr);
  EXPECT_EQ(FSpGetIndexedSubItem(&five, 0, &item), paramErr);
}

TEST_F(WalkTest, CountAndFindByTypeAndCreator) {
  TempDir t;
  t.File("d/tool", "#!/bin/sh\n");
  fs::permissions(t.path() / "d/tool", fs::perms::owner_exec, fs::perm_options::add);
  t.File("d/plain", "x");
  t.File("d/.hidden", "x");
  t.Dir("d/folder");
  SInt16 vol;
  SInt32 dir = DirIDOf(t.path() / "d", &vol);
  SInt32 count = -1;
  EXPECT_EQ(HCountSubItems(vol, dir, 0, 0, &count), noErr);
  EXPECT_EQ(count, 2) << "visible files only";
  EXPECT_EQ(HCountSubItems(vol, dir, ql::FourCC("APPL"), 0, &count), noErr);
  EXPECT_EQ(count, 1);

  SInt32 index = 1;
  Str255 name;
  EXPECT_EQ(HGetSubItem(vol, dir, &index, ql::FourCC("APPL"), 0, name), noErr);
  EXPECT_EQ(PStr(name), "tool");
  EXPECT_EQ(index, 4);
  ++index;
  EXPECT_EQ(HGetSubItem(vol, dir, &index, ql::FourCC("APPL"), 0, name), fnfErr);
}

SInt32 DeleteItem(const FSSpec *item, void *user) {
  auto *seen = static_cast<std::vector<std::string> *>(user);
  seen->push_back(PStr(item->name));
  FSRef ref;
  if (FSpMakeFSRef(item, &ref) != noErr)
    return -1;
  fs::remove(PathOf(ref));
  return 0;
}

SInt32 RenameItem(const FSSpec *item, void *user) {
  auto *seen = static_cast<std::vector<std::string> *>(user);
  seen->push_back(PStr(item->name));
  FSRef ref;
  if (FSpMakeFSRef(item, &ref) != noErr)
    return -1;
  fs::path p = PathOf(ref);
  fs::rename(p, p.parent_path() / ("zz-" + p.filename().string()));
  return 0;
}

TEST_F(WalkTest, ProcessFolderContentsToleratesChanges) {
  TempDir t;
  for (const char *n : {"a", "b", "c", "d"})
    t.File(std::string("p/") + n, n);
  FSSpec folder = SpecOf(t.path() / "p");
  std::vector<std::string> seen;
  EXPECT_EQ(FSpProcessFolderContents(&folder, &seen, DeleteItem), noErr);
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_TRUE(fs::is_empty(t.path() / "p"));

  for (const char *n : {"a", "b", "c"})
    t.File(std::string("p/") + n, n);
  seen.clear();
  EXPECT_EQ(FSpProcessFolderContents(&folder, &seen, RenameItem), noErr);
  // Renamed items move to the end and are met again under their new names
  // until the names sort last; each original is processed once.
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(seen.begin(), seen.begin() + 3), (std::vector<std::string>{"a", "b", "c"}));

  FSSpec missing = folder;
  missing.name[0] = 0;
  memcpy(missing.name, "\x05nope!", 6);
  seen.clear();
  EXPECT_EQ(FSpProcessFolderContents(&missing, &seen, DeleteItem), fnfErr);
}

TEST_F(WalkTest, ListingSeesChangesMadeBehindItsBack) {
  FSSpec root = SpecOf(tmp.path() / "root");
  Visit before;
  ASSERT_EQ(FSpIterateFolder(&root, 1, 0, Record, &before), noErr);
  tmp.File("root/m.txt", "new");
  fs::remove(tmp.path() / "root/a.txt");
  Visit after;
  ASSERT_EQ(FSpIterateFolder(&root, 1, 0, Record, &after), noErr);
  EXPECT_EQ(after.names, (std::vector<std::string>{"B.txt", "m.txt", "sub/", "z.txt"}));
}

} // namespace

namespace {

TEST(Moves, FoldersFoundAgainAfterAFolderAboveMoved) {
  TempDir t;
  t.File("top/mid/deep/f.txt", "x");
  FSRef deep = RefOf(t.path() / "top/mid/deep");
  FSRef file = RefOf(t.path() / "top/mid/deep/f.txt");
  ASSERT_EQ(PathOf(file), (t.path() / "top/mid/deep/f.txt").string());
  fs::rename(t.path() / "top", t.path() / "moved");
  EXPECT_EQ(PathOf(deep), (t.path() / "moved/mid/deep").string());
  EXPECT_EQ(PathOf(file), (t.path() / "moved/mid/deep/f.txt").string());
  FSRef again = RefOf(t.path() / "moved/mid");
  EXPECT_EQ(PathOf(again), (t.path() / "moved/mid").string());
  // A folder replaced by another of the same name is not the same folder.
  fs::remove_all(t.path() / "moved/mid/deep");
  fs::create_directories(t.path() / "moved/mid/deep");
  Boolean isFolder;
  EXPECT_EQ(FSRefIsFolder(&deep, &isFolder), fnfErr);
}

} // namespace
