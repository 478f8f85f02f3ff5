// Alias Manager: record layout, resolution by path (also in another
// process), changed targets, relative search, missing targets, full-path
// minimal aliases and malformed records.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "appleevents/AETestUtil.h"
#include "platform/files/Files.h"

namespace {

namespace fs = std::filesystem;
using qltest::AETest;

class Aliases : public AETest {
protected:
  qltest::TempDir dir;
  FSRef RefOf(const fs::path &p) {
    FSRef ref{};
    EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8 *>(p.c_str()), &ref, nullptr), noErr) << p;
    return ref;
  }
  FSSpec SpecOf(const fs::path &p) {
    FSRef ref = RefOf(p);
    FSSpec spec{};
    EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, &spec, nullptr), noErr);
    return spec;
  }
  static std::string PathOf(const FSRef &ref) {
    UInt8 buf[4096];
    if (FSRefMakePath(&ref, buf, sizeof buf) != noErr)
      return "<none>";
    return reinterpret_cast<const char *>(buf);
  }
  static std::string Record(AliasHandle a) {
    Handle h = reinterpret_cast<Handle>(a);
    return std::string(*h, size_t(GetHandleSize(h)));
  }
  // The alias's target path, or its error as text.
  static std::string Resolve(AliasHandle a, const FSRef *from = nullptr, Boolean *changed = nullptr) {
    FSRef ref;
    Boolean c = 2;
    OSErr e = FSResolveAlias(from, a, &ref, &c);
    if (changed)
      *changed = c;
    return e ? "error " + std::to_string(e) : PathOf(ref);
  }
};

struct AliasGuard {
  AliasHandle a = nullptr;
  ~AliasGuard() { DisposeHandle(reinterpret_cast<Handle>(a)); }
};

TEST_F(Aliases, RecordHeaderIsBigEndianAndResolves) {
  fs::path p = dir.File("doc.txt", "x");
  FSSpec spec = SpecOf(p);
  AliasGuard g;
  ASSERT_EQ(NewAlias(nullptr, &spec, &g.a), noErr);
  const std::string rec = Record(g.a);
  ASSERT_GE(rec.size(), 32u);
  EXPECT_EQ(GetAliasSize(g.a), rec.size());
  EXPECT_EQ(UInt8(rec[4]), rec.size() >> 8);
  EXPECT_EQ(UInt8(rec[5]), rec.size() & 0xFF);
  EXPECT_EQ(rec.substr(0, 4), std::string(4, '\0'));
  EXPECT_EQ(rec.substr(6, 6), std::string("\0\1QLal", 6));
  SetAliasUserType(g.a, ql::FourCC("Qlmt"));
  EXPECT_EQ(GetAliasUserType(g.a), ql::FourCC("Qlmt"));
  EXPECT_EQ(Record(g.a).substr(0, 4), "Qlmt");
  Boolean changed = 2;
  EXPECT_EQ(Resolve(g.a, nullptr, &changed), p.string());
  EXPECT_FALSE(changed);

  FSSpec back;
  ASSERT_EQ(ResolveAlias(nullptr, g.a, &back, &changed), noErr);
  EXPECT_EQ(SInt32(back.parID), SInt32(spec.parID));
  EXPECT_EQ(std::string((char *)back.name + 1, back.name[0]), "doc.txt");

  // The FSRef and minimal forms make records that resolve the same way.
  FSRef ref = RefOf(p);
  AliasGuard f, m;
  ASSERT_EQ(FSNewAlias(nullptr, &ref, &f.a), noErr);
  ASSERT_EQ(FSNewAliasMinimal(&ref, &m.a), noErr);
  EXPECT_EQ(Resolve(f.a), p.string());
  EXPECT_EQ(Resolve(m.a), p.string());
  EXPECT_LE(GetAliasSize(m.a), GetAliasSize(f.a));
}

// A record made here resolves in a child process (whose File Manager
// tables start from what the child sees), and the child's record here.
TEST_F(Aliases, ResolvesInAnotherProcess) {
  fs::path p = dir.File("shared/item.bin", "x");
  AliasGuard g;
  FSRef ref = RefOf(p);
  ASSERT_EQ(FSNewAlias(nullptr, &ref, &g.a), noErr);
  const std::string rec = Record(g.a);
  int toParent[2];
  ASSERT_EQ(pipe(toParent), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(toParent[0]);
    Handle h = NewHandle(Size(rec.size()));
    std::memcpy(*h, rec.data(), rec.size());
    FSRef found;
    int status = FSResolveAlias(nullptr, reinterpret_cast<AliasHandle>(h), &found, nullptr) == noErr &&
                         PathOf(found) == p.string()
                     ? 0
                     : 1;
    // And a record of our own for the parent.
    AliasHandle mine = nullptr;
    FSRef folder;
    FSPathMakeRef(reinterpret_cast<const UInt8 *>(p.parent_path().c_str()), &folder, nullptr);
    if (FSNewAlias(nullptr, &folder, &mine) == noErr) {
      std::string r(*reinterpret_cast<Handle>(mine), size_t(GetHandleSize(reinterpret_cast<Handle>(mine))));
      (void)!write(toParent[1], r.data(), r.size());
    }
    close(toParent[1]);
    _exit(status);
  }
  close(toParent[1]);
  std::string fromChild;
  char buf[512];
  ssize_t n;
  while ((n = read(toParent[0], buf, sizeof buf)) > 0)
    fromChild.append(buf, size_t(n));
  close(toParent[0]);
  int status = -1;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child could not resolve the record";
  ASSERT_FALSE(fromChild.empty());
  Handle h = NewHandle(Size(fromChild.size()));
  std::memcpy(*h, fromChild.data(), fromChild.size());
  AliasGuard child;
  child.a = reinterpret_cast<AliasHandle>(h);
  EXPECT_EQ(Resolve(child.a), p.parent_path().string());
}

TEST_F(Aliases, ReplacedTargetIsReportedChangedAndRecordUpdated) {
  fs::path p = dir.File("doc.txt", "v1");
  AliasGuard g;
  FSRef ref = RefOf(p);
  ASSERT_EQ(FSNewAlias(nullptr, &ref, &g.a), noErr);
  const std::string before = Record(g.a);
  // Save by replacement: a new file (new inode) under the same name.
  fs::path tmp = dir.File("doc.tmp", "v2");
  fs::rename(tmp, p);
  Boolean changed = 2;
  EXPECT_EQ(Resolve(g.a, nullptr, &changed), p.string());
  EXPECT_TRUE(changed);
  EXPECT_NE(Record(g.a), before) << "the record follows the new item";
  EXPECT_EQ(Resolve(g.a, nullptr, &changed), p.string());
  EXPECT_FALSE(changed);

  // UpdateAlias reports whether the bytes change.
  FSSpec spec = SpecOf(p);
  ASSERT_EQ(UpdateAlias(nullptr, &spec, g.a, &changed), noErr);
  EXPECT_FALSE(changed);
  fs::path other = dir.File("other.txt");
  FSSpec otherSpec = SpecOf(other);
  ASSERT_EQ(UpdateAlias(nullptr, &otherSpec, g.a, &changed), noErr);
  EXPECT_TRUE(changed);
  EXPECT_EQ(Resolve(g.a), other.string());
}

TEST_F(Aliases, RelativeSearchFromAMovedFolder) {
  fs::path from = dir.File("proj/index.txt"), target = dir.File("proj/data/item.txt");
  AliasGuard g;
  FSRef fromRef = RefOf(from), targetRef = RefOf(target);
  ASSERT_EQ(FSNewAlias(&fromRef, &targetRef, &g.a), noErr);
  fs::rename(dir.path() / "proj", dir.path() / "moved");
  EXPECT_EQ(Resolve(g.a).rfind("error ", 0), 0u) << "without a from file the old path is all there is";
  // The File Manager keeps a moved folder's cached listing under its old
  // path; start from fresh listings (the alias search itself uses paths).
  PlatformResetCatalogCache();
  FSRef movedFrom = RefOf(dir.path() / "moved/index.txt");
  ASSERT_EQ(PathOf(movedFrom), (dir.path() / "moved/index.txt").string());
  Boolean changed = 2;
  EXPECT_EQ(Resolve(g.a, &movedFrom, &changed), (dir.path() / "moved/data/item.txt").string());
  EXPECT_TRUE(changed);
  EXPECT_EQ(Resolve(g.a), (dir.path() / "moved/data/item.txt").string()) << "the record was updated";
}

TEST_F(Aliases, MissingTargets) {
  fs::path p = dir.File("gone.txt");
  FSSpec spec = SpecOf(p);
  AliasGuard g;
  ASSERT_EQ(NewAlias(nullptr, &spec, &g.a), noErr);
  fs::remove(p);
  FSRef ref;
  std::memset(&ref, 0xAA, sizeof ref);
  Boolean changed = 2;
  EXPECT_EQ(FSResolveAlias(nullptr, g.a, &ref, &changed), fnfErr);
  EXPECT_EQ(UInt8(ref.hidden[0]), 0xAA) << "not written on failure";
  EXPECT_EQ(changed, 2);
  // The FSSpec form names the missing item so that it can be made again.
  FSSpec out{};
  EXPECT_EQ(ResolveAlias(nullptr, g.a, &out, &changed), fnfErr);
  EXPECT_EQ(SInt32(out.parID), SInt32(spec.parID));
  EXPECT_EQ(std::string((char *)out.name + 1, out.name[0]), "gone.txt");
  // New aliases need an existing target.
  AliasHandle none = nullptr;
  EXPECT_EQ(NewAlias(nullptr, &spec, &none), fnfErr);
  EXPECT_EQ(none, nullptr);
  SInt16 count = 1;
  FSSpec found[1];
  Boolean needs = 2;
  EXPECT_EQ(MatchAlias(nullptr, kARMNoUI | kARMSearch, g.a, &count, found, &needs, nullptr, nullptr), fnfErr);
  EXPECT_EQ(count, 0);
}

TEST_F(Aliases, MinimalFromFullPath) {
  fs::path p = dir.File("full/path.txt");
  struct Case {
    const char *id;
    std::string path;
    OSErr resolveErr;
    std::string leaf;
  };
  // The colon form of the folder, through the File Manager's own names.
  FSSpec folder = SpecOf(p.parent_path());
  FSSpec root;
  ASSERT_EQ(FSMakeFSSpec(folder.vRefNum, fsRtDirID, nullptr, &root), noErr);
  std::string colon = std::string((char *)root.name + 1, root.name[0]);
  for (const auto &part : fs::relative(p, "/"))
    colon += ":" + part.string();
  const Case cases[] = {
      {"posix, existing", p.string(), noErr, "path.txt"},
      {"posix, missing item", (p.parent_path() / "new.txt").string(), fnfErr, "new.txt"},
      {"colon path, existing", colon, noErr, "path.txt"},
      {"colon path, missing item", colon.substr(0, colon.rfind(':')) + ":made.txt", fnfErr, "made.txt"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    AliasGuard g;
    ASSERT_EQ(NewAliasMinimalFromFullPath(SInt16(c.path.size()), c.path.data(), nullptr, nullptr, &g.a), noErr);
    FSSpec out{};
    Boolean changed;
    EXPECT_EQ(ResolveAlias(nullptr, g.a, &out, &changed), c.resolveErr);
    EXPECT_EQ(SInt32(out.parID), SInt32(SpecOf(p).parID));
    EXPECT_EQ(std::string((char *)out.name + 1, out.name[0]), c.leaf);
  }
  AliasHandle none = nullptr;
  const std::string noFolder = (dir.path() / "nowhere/x.txt").string();
  EXPECT_EQ(NewAliasMinimalFromFullPath(SInt16(noFolder.size()), noFolder.data(), nullptr, nullptr, &none), dirNFErr);
  EXPECT_EQ(NewAliasMinimalFromFullPath(11, "NoSuchVol:x", nullptr, nullptr, &none), nsvErr);
  EXPECT_EQ(none, nullptr);
}

// Every truncation and every corrupted field length of a record is refused.
TEST_F(Aliases, MalformedRecordsAreRefused) {
  fs::path p = dir.File("x.txt");
  FSRef ref = RefOf(p);
  AliasGuard g;
  ASSERT_EQ(FSNewAlias(&ref, &ref, &g.a), noErr);
  const std::string rec = Record(g.a);
  auto resolveBytes = [&](const std::string &bytes) -> OSErr {
    Handle h = NewHandle(Size(bytes.size()));
    if (!bytes.empty())
      std::memcpy(*h, bytes.data(), bytes.size());
    FSRef out;
    OSErr e = FSResolveAlias(nullptr, reinterpret_cast<AliasHandle>(h), &out, nullptr);
    DisposeHandle(h);
    return e;
  };
  EXPECT_EQ(resolveBytes(rec), noErr);
  for (size_t n = 0; n < rec.size(); ++n) {
    std::string cut = rec.substr(0, n);
    if (n >= 6) { // keep the header's size consistent with the cut
      cut[4] = char(n >> 8);
      cut[5] = char(n);
    }
    EXPECT_EQ(resolveBytes(cut), paramErr) << "prefix " << n;
  }
  // Each 2-byte length field (at 32 and after each string) made larger.
  size_t pos = 32;
  for (int field = 0; field < 4; ++field) {
    const size_t len = (UInt8(rec[pos]) << 8) | UInt8(rec[pos + 1]);
    for (UInt16 v : {UInt16(len + 1), UInt16(0xFFFF)}) {
      std::string bad = rec;
      bad[pos] = char(v >> 8);
      bad[pos + 1] = char(v);
      EXPECT_EQ(resolveBytes(bad), paramErr) << "field " << field;
    }
    pos += 2 + len;
  }
  // A record claiming to be the data of an alias descriptor fails there too.
  AEDesc out;
  std::string bad = rec;
  bad[8] = 'X';
  EXPECT_EQ(AECoercePtr(typeAlias, bad.data(), Size(bad.size()), typeFSRef, &out), errAECoercionFail);
  EXPECT_EQ(GetAliasSize(nullptr), 0);
}

TEST_F(Aliases, AllocationFailuresLeakNothing) {
  fs::path p = dir.File("a/b.txt");
  FSSpec spec = SpecOf(p);
  qltest::ForEachAllocFailure(
      [&]() -> OSErr {
        AliasHandle a = nullptr;
        OSErr e = NewAlias(nullptr, &spec, &a);
        if (e)
          return e;
        FSSpec out;
        Boolean changed;
        e = ResolveAlias(nullptr, a, &out, &changed);
        DisposeHandle(reinterpret_cast<Handle>(a));
        return e;
      },
      [](OSErr r, bool injected) { EXPECT_EQ(r, injected ? memFullErr : noErr); });
}

} // namespace
