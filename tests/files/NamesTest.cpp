// Names an FSSpec cannot hold: every item a listing reports resolves back
// to the same file, whatever its name on disk.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <set>
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

const std::string kLong40 = "A name of exactly forty characters long!";
static_assert(sizeof("A name of exactly forty characters long!") == 41);

// Names on disk, as raw bytes.
const std::vector<std::string> kNames = {
    "plain.txt",
    kLong40,
    "caf\xC3\xA9.txt",                       // é precomposed
    "cafe\xCC\x81-decomposed.txt",           // e + combining acute
    "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt", // CJK
    "with:colon",
    "bad\xFF\xFEutf8.bin",                   // not UTF-8
    "euro\xE2\x82\xAC",                      // in Mac Roman at 0xDB
    "UPPER", "upper",                        // differ only in case
    "\xC3\xA9t\xC3\xA9", "e\xCC\x81te\xCC\x81", // one name, NFC and NFD
    "a-very-long-name-that-goes-on-and-on-well-past-thirty-one-bytes.tar.gz",
};

class NamesTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir = tmp.Dir("names");
    for (const std::string &n : kNames)
      std::ofstream(dir / n) << n;
    // A sidecar beside an item, and one on its own: neither is listed.
    std::ofstream(dir / "._plain.txt") << "not an AppleDouble file";
    std::ofstream(dir / "._orphan") << "x";
  }
  TempDir tmp;
  fs::path dir;
};

std::vector<FSRef> List(const fs::path &dir) {
  FSRef folder = RefOf(dir);
  Handle list = nullptr;
  UInt32 count = 0;
  EXPECT_EQ(FSRefBuildSubItemList(&folder, &list, &count), noErr);
  std::vector<FSRef> refs(reinterpret_cast<FSRef *>(*list), reinterpret_cast<FSRef *>(*list) + count);
  DisposeHandle(list);
  return refs;
}

TEST_F(NamesTest, EveryReportedNameResolvesToTheSameFile) {
  std::vector<FSRef> refs = List(dir);
  ASSERT_EQ(refs.size(), kNames.size()) << "sidecars must not be listed";
  std::set<std::string> paths;
  SInt16 vol;
  SInt32 dirID = DirIDOf(dir, &vol);
  for (const FSRef &ref : refs) {
    const std::string path = PathOf(ref);
    SCOPED_TRACE(path);
    paths.insert(path);
    FSSpec spec;
    ASSERT_EQ(FSRefMakeFSSpec(&ref, &spec), noErr);
    EXPECT_LE(spec.name[0], 31);
    EXPECT_EQ(SInt32(spec.parID), dirID);

    // The short name, by every road that takes a name.
    FSSpec again;
    ASSERT_EQ(FSMakeFSSpec(vol, dirID, spec.name, &again), noErr);
    FSRef back;
    ASSERT_EQ(FSpMakeFSRef(&again, &back), noErr);
    EXPECT_EQ(FSCompareFSRefs(&ref, &back), noErr);
    ASSERT_EQ(HMakeFSRef(vol, dirID, spec.name, &back), noErr);
    EXPECT_EQ(PathOf(back), path);
    CInfoPBRec pb{};
    EXPECT_EQ(FSpGetCatInfo(&spec, &pb), noErr);

    // The long name, through the Unicode calls.
    HFSUniStr255 uni;
    ASSERT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, &uni, nullptr, nullptr), noErr);
    ASSERT_EQ(FSMakeFSRef(vol, dirID, &uni, &back), noErr);
    EXPECT_EQ(PathOf(back), path);

    // The display name finds an item too; it is this one unless two names
    // compose alike (then this one's short name is the mangled one).
    Str255 display;
    ASSERT_EQ(FSpGetName(&spec, display), noErr);
    ASSERT_EQ(HMakeFSRef(vol, dirID, display, &back), noErr);
    if (PStr(spec.name).find('#') == std::string::npos || PStr(display).size() > 31)
      EXPECT_EQ(PathOf(back), path);
  }
  EXPECT_EQ(paths.size(), kNames.size()) << "two names resolved to one file";
}

TEST_F(NamesTest, DisplayNamesAndShortNames) {
  SInt16 vol;
  SInt32 dirID = DirIDOf(dir, &vol);
  struct Case {
    const char *id;
    std::string disk;
    std::string display; // Mac Roman
  } cases[] = {
      {"forty characters", kLong40, kLong40},
      {"precomposed accent", "caf\xC3\xA9.txt", "caf\x8E.txt"},
      {"decomposed accent composes", "cafe\xCC\x81-decomposed.txt", "caf\x8E-decomposed.txt"},
      {"colon reads as slash", "with:colon", "with/colon"},
      {"euro sign", "euro\xE2\x82\xAC", "euro\xDB"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    FSSpec spec = SpecOf(dir / c.disk);
    Str255 name;
    ASSERT_EQ(FSpGetName(&spec, name), noErr);
    EXPECT_EQ(PStr(name), c.display);
  }
  // A CJK name has no Mac Roman form: the display name is the short one.
  FSSpec cjk = SpecOf(dir / "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt");
  Str255 name;
  ASSERT_EQ(FSpGetName(&cjk, name), noErr);
  EXPECT_EQ(PStr(name), PStr(cjk.name));
  EXPECT_NE(PStr(cjk.name).find('#'), std::string::npos);
  EXPECT_EQ(PStr(cjk.name).substr(PStr(cjk.name).size() - 4), ".txt");
  // Long names: a 40-character Pascal name finds the item through the
  // FSRef calls, and FSGetFolderID takes it too.
  SInt32 folderID = 0;
  Boolean isFolder = true;
  EXPECT_EQ(FSGetFolderID(vol, dirID, PString(kLong40), &folderID, &isFolder), noErr);
  EXPECT_EQ(folderID, dirID);
  EXPECT_FALSE(isFolder);
  EXPECT_EQ(HExists(vol, dirID, PString(kLong40)), noErr);
  EXPECT_EQ(HExists(vol, dirID, PString(kLong40 + "?")), fnfErr);
}

TEST_F(NamesTest, OrderIsStableAndCaseInsensitive) {
  std::vector<std::string> first, second;
  for (const FSRef &r : List(dir))
    first.push_back(PathOf(r));
  PlatformResetCatalogCache();
  for (const FSRef &r : List(dir))
    second.push_back(PathOf(r));
  EXPECT_EQ(first, second);
  auto pos = [&](const std::string &n) { return std::find(first.begin(), first.end(), (dir / n).string()) - first.begin(); };
  EXPECT_LT(pos("plain.txt"), pos("UPPER"));
  EXPECT_LT(pos("UPPER"), pos("upper")) << "raw bytes break ties";
}

TEST_F(NamesTest, LookupsAreCaseInsensitiveButExactFirst) {
  SInt16 vol;
  SInt32 dirID = DirIDOf(dir, &vol);
  FSSpec spec;
  ASSERT_EQ(FSMakeFSSpec(vol, dirID, PString("upper"), &spec), noErr);
  EXPECT_EQ(PStr(spec.name), "upper");
  ASSERT_EQ(FSMakeFSSpec(vol, dirID, PString("UPPER"), &spec), noErr);
  EXPECT_EQ(PStr(spec.name), "UPPER");
  ASSERT_EQ(FSMakeFSSpec(vol, dirID, PString("PLAIN.TXT"), &spec), noErr);
  EXPECT_EQ(PStr(spec.name), "plain.txt");
  // A missing item in an existing folder still gets a spec.
  EXPECT_EQ(FSMakeFSSpec(vol, dirID, PString("missing"), &spec), fnfErr);
  EXPECT_EQ(SInt32(spec.parID), dirID);
  EXPECT_EQ(PStr(spec.name), "missing");
  EXPECT_EQ(FSMakeFSSpec(vol, 0x7FFFFFF0, PString("missing"), &spec), dirNFErr);
}

TEST(PartialPaths, ResolveRelativeToTheDirectory) {
  TempDir tmp;
  tmp.File("a/b/c.txt", "x");
  SInt16 vol;
  SInt32 a = DirIDOf(tmp.path() / "a", &vol);
  SInt32 b = DirIDOf(tmp.path() / "a/b");
  FSSpec spec;
  ASSERT_EQ(FSMakeFSSpec(vol, a, PString(":b:c.txt"), &spec), noErr);
  EXPECT_EQ(SInt32(spec.parID), b);
  EXPECT_EQ(PStr(spec.name), "c.txt");
  ASSERT_EQ(FSMakeFSSpec(vol, b, PString("::b:c.txt"), &spec), noErr);
  EXPECT_EQ(SInt32(spec.parID), b);
  EXPECT_EQ(FSMakeFSSpec(vol, a, PString(":nope:c.txt"), &spec), dirNFErr);
}

TEST(TestVolumes, ADirectoryBecomesAVolume) {
  TempDir tmp;
  tmp.File("vol/x/y", "1");
  SInt16 vol = 0;
  ASSERT_EQ(PlatformAddTestVolume((tmp.path() / "vol").c_str(), &vol), noErr);
  FSSpec x = SpecOf(tmp.path() / "vol/x");
  EXPECT_EQ(x.vRefNum, vol);
  EXPECT_EQ(SInt32(x.parID), fsRtDirID);
  // The root's own spec has parent fsRtParID and names a folder without a
  // lookup.
  FSSpec root = SpecOf(tmp.path() / "vol");
  EXPECT_EQ(SInt32(root.parID), fsRtParID);
  Boolean isFolder = false;
  EXPECT_EQ(FSpIsFolder(&root, &isFolder), noErr);
  EXPECT_TRUE(isFolder);
  FSSpec nowhere = {-32000, fsRtParID, "\x04none"};
  isFolder = false;
  EXPECT_EQ(FSpIsFolder(&nowhere, &isFolder), noErr) << "answered without touching the disk";
  EXPECT_TRUE(isFolder);
  SInt32 count = 0;
  FSSpec items[4];
  count = 4;
  EXPECT_EQ(FSpBuildSubItemList(&root, true, &count, items), noErr);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(PlatformRemoveTestVolume(vol), noErr);
}

TEST(ItemTests, TypeCreatorAndFolders) {
  TempDir tmp;
  tmp.File("d/app", "#!/bin/sh\n");
  fs::permissions(tmp.path() / "d/app", fs::perms::owner_exec, fs::perm_options::add);
  tmp.File("d/other", "#!/bin/sh\n");
  fs::permissions(tmp.path() / "d/other", fs::perms::owner_exec, fs::perm_options::add);
  tmp.File("d/doc", "x");
  FSSpec folder = SpecOf(tmp.path() / "d");
  OSType type = 1, creator = 1;
  EXPECT_EQ(FSpGetTypeAndCreator(&folder, &type, &creator), fnfErr);
  EXPECT_EQ(type, 1u);
  FSSpec doc = SpecOf(tmp.path() / "d/doc");
  EXPECT_EQ(FSpGetTypeAndCreator(&doc, &type, &creator), noErr);
  EXPECT_EQ(type, 0u);
  EXPECT_EQ(creator, 0u);
  FSSpec app = SpecOf(tmp.path() / "d/app");
  FSSpec other = SpecOf(tmp.path() / "d/other");
  OSType appCreator = 0, otherCreator = 0;
  EXPECT_EQ(FSpGetTypeAndCreator(&app, &type, &appCreator), noErr);
  EXPECT_EQ(type, ql::FourCC("APPL"));
  EXPECT_EQ(FSpGetTypeAndCreator(&other, nullptr, &otherCreator), noErr);
  EXPECT_NE(appCreator, 0u);
  EXPECT_NE(appCreator, ql::FourCC("????"));
  EXPECT_NE(appCreator, otherCreator) << "unrelated programs must not share a creator";

  Boolean isFolder = true;
  EXPECT_EQ(FSpIsFolder(&doc, &isFolder), noErr);
  EXPECT_FALSE(isFolder);
  FSRef ref = RefOf(tmp.path() / "d");
  EXPECT_EQ(FSRefIsFolder(&ref, &isFolder), noErr);
  EXPECT_TRUE(isFolder);
  EXPECT_EQ(FSpExists(&doc), noErr);
  fs::remove(tmp.path() / "d/doc");
  EXPECT_EQ(FSpExists(&doc), fnfErr);
  FSRef docRef{};
  EXPECT_EQ(FSRefIsFolder(&docRef, &isFolder), errFSBadFSRef);
}

TEST(ItemTests, FinderInfoComesFromTheSidecar) {
  TempDir tmp;
  tmp.File("d/song", "x");
  // AppleDouble v2 with one Finder-info entry: type 'MP3 ', creator 'QLMT',
  // flags kIsInvisible.
  std::string ad = {0, 5, 0x16, 7, 0, 2, 0, 0};
  ad += std::string(16, '\0');
  ad += std::string{0, 1};                                  // one entry
  ad += std::string{0, 0, 0, 9, 0, 0, 0, 38, 0, 0, 0, 32}; // id 9 at 38, 32 bytes
  ad += std::string("MP3 QLMT") + std::string{0x40, 0} + std::string(22, '\0');
  std::ofstream(tmp.path() / "d/._song", std::ios::binary) << ad;
  FSSpec song = SpecOf(tmp.path() / "d/song");
  OSType type = 0, creator = 0;
  ASSERT_EQ(FSpGetTypeAndCreator(&song, &type, &creator), noErr);
  EXPECT_EQ(type, ql::FourCC("MP3 "));
  EXPECT_EQ(creator, ql::FourCC("QLMT"));
  SInt16 vol;
  SInt32 dir = DirIDOf(tmp.path() / "d", &vol);
  SInt32 count = -1;
  EXPECT_EQ(HCountSubItems(vol, dir, 0, 0, &count), noErr);
  EXPECT_EQ(count, 0) << "invisible by its Finder flags";
  // A damaged sidecar reads as no metadata.
  std::ofstream(tmp.path() / "d/._song", std::ios::binary) << ad.substr(0, 40);
  ASSERT_EQ(FSpGetTypeAndCreator(&song, &type, &creator), noErr);
  EXPECT_EQ(type, 0u);
}

TEST(LargeFolders, IndexesPast32767NeverWrap) {
  TempDir tmp;
  fs::path big = tmp.Dir("big");
  const int kItems = 33000;
  for (int i = 0; i < kItems; ++i) {
    char name[16];
    snprintf(name, sizeof name, "f%05d", i);
    int fd = ::open((big / name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
  }
  SInt16 vol;
  SInt32 dir = DirIDOf(big, &vol);
  SInt32 count = 0;
  ASSERT_EQ(HCountSubItems(vol, dir, 0, 0, &count), noErr);
  EXPECT_EQ(count, kItems);
  FSSpec item;
  ASSERT_EQ(FSGetIndexedSubItem(vol, dir, kItems, &item), noErr);
  EXPECT_EQ(PStr(item.name), "f32999");
  EXPECT_EQ(FSGetIndexedSubItem(vol, dir, kItems + 1, &item), fnfErr);
  SInt32 index = 32768;
  Str255 name;
  ASSERT_EQ(HGetSubItem(vol, dir, &index, 0, 0, name), noErr);
  EXPECT_EQ(PStr(name), "f32767");
  struct Counter {
    static SInt32 Count(void *u, CInfoPBRec *) {
      ++*static_cast<int *>(u);
      return 0;
    }
  };
  int visited = 0;
  FSSpec spec = SpecOf(big);
  ASSERT_EQ(FSpIterateFolder(&spec, 0, 0, Counter::Count, &visited), noErr);
  EXPECT_EQ(visited, kItems);
}

} // namespace

namespace {

TEST(ShortNames, NeverStandForAnotherItem) {
  TempDir tmp;
  fs::path dir = tmp.Dir("d");
  std::ofstream(dir / "rep\xFF") << "the real one";
  FSSpec first = SpecOf(dir / "rep\xFF");
  const std::string shortName = PStr(first.name);
  ASSERT_NE(shortName.find('#'), std::string::npos);
  // A decoy literally named like the short name: each name still finds its
  // own item, and the item without a Mac name gets another short name.
  std::ofstream(dir / shortName) << "decoy";
  SInt16 vol;
  SInt32 dirID = DirIDOf(dir, &vol);
  std::set<std::string> paths;
  for (SInt32 i = 1; i <= 2; ++i) {
    FSSpec item;
    ASSERT_EQ(FSGetIndexedSubItem(vol, dirID, i, &item), noErr);
    FSRef ref;
    ASSERT_EQ(FSpMakeFSRef(&item, &ref), noErr);
    paths.insert(PathOf(ref));
  }
  EXPECT_EQ(paths, (std::set<std::string>{(dir / "rep\xFF").string(), (dir / shortName).string()}));
  FSSpec decoy;
  ASSERT_EQ(FSMakeFSSpec(vol, dirID, PString(shortName), &decoy), noErr);
  FSRef ref;
  ASSERT_EQ(FSpMakeFSRef(&decoy, &ref), noErr);
  EXPECT_EQ(PathOf(ref), (dir / shortName).string());
}

TEST(ShortNames, ALengthBeyondTheNameFieldIsRefused) {
  TempDir tmp;
  FSSpec spec = SpecOf(tmp.File("f"));
  spec.name[0] = 200; // would read past the 64-byte field
  Str255 name;
  CInfoPBRec pb;
  FSRef ref;
  EXPECT_EQ(FSpGetName(&spec, name), bdNamErr);
  EXPECT_EQ(FSpGetCatInfo(&spec, &pb), bdNamErr);
  EXPECT_EQ(FSpMakeFSRef(&spec, &ref), bdNamErr);
  EXPECT_EQ(FSpGetFolderID(&spec, nullptr, nullptr), bdNamErr);
}

} // namespace
