// Alias Manager over paths: records hold the target's absolute path and
// identity, so that they resolve in any process that sees the same files.

#include "platform/aliases/AliasesInternal.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "platform/core/Internal.h"
#include "platform/memory/Memory.h"
#include "platform/text/MacRoman.h"

namespace ql::platform::aliases {
namespace {

namespace txt = ql::platform::text;

static_assert(sizeof(AliasRecord) == 6, "the classic alias record header");
constexpr UInt32 kMagic = ql::FourCC("QLal");
constexpr size_t kFixed = 32;
constexpr size_t kMaxRecord = 0xFFFF;

void Put16(std::string &o, UInt16 v) {
  o.push_back(char(v >> 8));
  o.push_back(char(v));
}
void Put32(std::string &o, UInt32 v) {
  Put16(o, UInt16(v >> 16));
  Put16(o, UInt16(v));
}
void Put64(std::string &o, UInt64 v) {
  Put32(o, UInt32(v >> 32));
  Put32(o, UInt32(v));
}
UInt16 Load16(const UInt8 *p) { return UInt16((p[0] << 8) | p[1]); }
UInt32 Load32(const UInt8 *p) { return (UInt32(Load16(p)) << 16) | Load16(p + 2); }
UInt64 Load64(const UInt8 *p) { return (UInt64(Load32(p)) << 32) | Load32(p + 4); }

std::string PString(const unsigned char *p) { return std::string(reinterpret_cast<const char *>(p + 1), p[0]); }

// The Mac Roman form of a name on disk (':' on disk reads as '/').
bool MacNameOfDisk(const std::string &disk, std::string &mac) {
  auto uni = txt::Utf8ToUtf16(disk);
  if (!uni)
    return false;
  for (char16_t &c : *uni)
    if (c == u':')
      c = u'/';
  auto m = txt::UnicodeToMacRoman(*uni);
  if (!m)
    return false;
  mac = *m;
  return true;
}

// The name on disk of a Mac Roman name ('/' in a Mac name is ':' on disk).
bool DiskNameOfMac(std::string_view mac, std::string &disk) {
  std::u16string uni = txt::MacRomanToUnicode(mac);
  for (char16_t &c : uni)
    if (c == u'/')
      c = u':';
  auto u8 = txt::Utf16ToUtf8(uni);
  if (!u8)
    return false;
  disk = *u8;
  return true;
}

bool IsDir(const std::string &p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

bool Parse(std::span<const UInt8> b, Record &out) {
  if (b.size() < kFixed + 8)
    return false;
  const UInt8 *p = b.data();
  if (Load16(p + 4) != b.size() || Load16(p + 6) != kQLAliasRecordVersion || Load32(p + 8) != kMagic)
    return false;
  Record r;
  r.userType = Load32(p);
  r.flags = Load16(p + 12);
  r.dev = Load64(p + 16);
  r.ino = Load64(p + 24);
  size_t pos = kFixed;
  std::string *fields[] = {&r.path, &r.from, &r.volume, &r.name};
  for (std::string *f : fields) {
    if (b.size() - pos < 2)
      return false;
    size_t n = Load16(p + pos);
    pos += 2;
    if (b.size() - pos < n)
      return false;
    f->assign(reinterpret_cast<const char *>(p + pos), n);
    pos += n;
  }
  if (pos != b.size() || r.path.empty() || r.path[0] != '/' || r.path.find('\0') != std::string::npos ||
      r.from.find('\0') != std::string::npos || (!r.from.empty() && r.from[0] != '/'))
    return false;
  out = std::move(r);
  return true;
}

OSErr Serialize(const Record &r, std::string &out) {
  std::string o;
  Put32(o, r.userType);
  Put16(o, 0); // size, below
  Put16(o, kQLAliasRecordVersion);
  Put32(o, kMagic);
  Put16(o, r.flags);
  Put16(o, 0);
  Put64(o, r.dev);
  Put64(o, r.ino);
  for (const std::string *f : {&r.path, &r.from, &r.volume, &r.name}) {
    if (f->size() > kMaxRecord)
      return paramErr;
    Put16(o, UInt16(f->size()));
    o += *f;
  }
  if (o.size() > kMaxRecord)
    return paramErr;
  o[4] = char(o.size() >> 8);
  o[5] = char(o.size());
  out = std::move(o);
  return noErr;
}

OSErr PathOfRef(const FSRef &ref, std::string &out) {
  std::string buf(4096 + 1, '\0');
  if (OSStatus e = FSRefMakePath(&ref, reinterpret_cast<UInt8 *>(buf.data()), UInt32(buf.size())))
    return OSErr(e);
  out.assign(buf.c_str());
  return noErr;
}

OSErr PathOfSpec(const FSSpec &spec, std::string &out) {
  FSRef ref;
  if (OSErr e = FSpMakeFSRef(&spec, &ref))
    return e;
  return PathOfRef(ref, out);
}

OSErr RefOfPath(const std::string &path, FSRef &out) {
  return OSErr(FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &out, nullptr));
}

OSErr SpecOfPath(const std::string &path, FSSpec &out) {
  FSRef ref;
  if (OSErr e = RefOfPath(path, ref))
    return e;
  return FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, &out, nullptr);
}

OSErr RecordForPath(const std::string &target, const std::string &from, bool minimal, bool allowMissing,
                    Record &out) {
  if (target.empty() || target[0] != '/')
    return paramErr;
  Record r;
  r.path = std::filesystem::path(target).lexically_normal().string();
  if (r.path.size() > 1 && r.path.back() == '/')
    r.path.pop_back();
  r.from = from;
  r.flags = minimal ? kFlagMinimal : 0;
  FSRef ref;
  OSErr e = RefOfPath(r.path, ref);
  if (e == noErr) {
    struct stat st;
    if (::lstat(r.path.c_str(), &st) != 0)
      return fnfErr;
    r.dev = UInt64(st.st_dev);
    r.ino = UInt64(st.st_ino);
    if (S_ISDIR(st.st_mode))
      r.flags |= kFlagFolder;
    FSCatalogInfo ci;
    FSSpec spec;
    if (OSErr ce = FSGetCatalogInfo(&ref, kFSCatInfoVolume, &ci, nullptr, &spec, nullptr))
      return ce;
    r.name = PString(spec.name);
    if (!minimal) {
      FSSpec root;
      if (FSMakeFSSpec(ci.volume, fsRtDirID, nullptr, &root) == noErr)
        r.volume = PString(root.name);
    }
  } else if (e == fnfErr && allowMissing) {
    std::filesystem::path p(r.path);
    if (!IsDir(p.parent_path().string()))
      return dirNFErr;
    r.flags |= kFlagMissing;
    if (!MacNameOfDisk(p.filename().string(), r.name))
      r.name.clear();
  } else {
    return e;
  }
  out = std::move(r);
  return noErr;
}

OSErr Resolve(const Record &r, const std::string *newFrom, std::string &found, bool &changed) {
  struct stat st;
  if (::lstat(r.path.c_str(), &st) == 0) {
    found = r.path;
    changed = UInt64(st.st_dev) != r.dev || UInt64(st.st_ino) != r.ino;
    return noErr;
  }
  // Relative search: the target's place seen from the recorded "from"
  // file, taken from the caller's "from" file.
  if (newFrom && !newFrom->empty() && !r.from.empty() && *newFrom != r.from) {
    namespace fs = std::filesystem;
    fs::path rel = fs::path(r.path).lexically_relative(fs::path(r.from).parent_path());
    if (!rel.empty()) {
      std::string cand = (fs::path(*newFrom).parent_path() / rel).lexically_normal().string();
      if (::lstat(cand.c_str(), &st) == 0) {
        found = cand;
        changed = true;
        return noErr;
      }
    }
  }
  return fnfErr;
}

} // namespace ql::platform::aliases

using namespace ql::platform::aliases;
using ql::platform::Barrier;

namespace {

std::span<const UInt8> BytesOf(AliasHandle a) {
  Handle h = reinterpret_cast<Handle>(a);
  if (h == nullptr || *h == nullptr)
    return {};
  return {reinterpret_cast<const UInt8 *>(*h), size_t(GetHandleSize(h))};
}

OSErr ParseHandle(AliasHandle a, Record &r) {
  if (a == nullptr)
    return paramErr;
  return Parse(BytesOf(a), r) ? noErr : paramErr;
}

OSErr NewHandleFor(const Record &r, AliasHandle *out) {
  std::string bytes;
  if (OSErr e = Serialize(r, bytes))
    return e;
  Handle h = NewHandle(Size(bytes.size()));
  if (h == nullptr)
    return memFullErr;
  std::memcpy(*h, bytes.data(), bytes.size());
  *out = reinterpret_cast<AliasHandle>(h);
  return noErr;
}

// Rewrites the handle with r's bytes; changed tells whether they differ.
OSErr Rewrite(AliasHandle a, const Record &r, bool &changed) {
  std::string bytes;
  if (OSErr e = Serialize(r, bytes))
    return e;
  auto old = BytesOf(a);
  changed = old.size() != bytes.size() || std::memcmp(old.data(), bytes.data(), bytes.size()) != 0;
  if (!changed)
    return noErr;
  Handle h = reinterpret_cast<Handle>(a);
  SetHandleSize(h, Size(bytes.size()));
  if (OSErr e = MemError())
    return e;
  std::memcpy(*h, bytes.data(), bytes.size());
  return noErr;
}

OSErr FromPathOfSpec(const FSSpec *from, std::string &out) {
  out.clear();
  return from ? PathOfSpec(*from, out) : noErr;
}
OSErr FromPathOfRef(const FSRef *from, std::string &out) {
  out.clear();
  return from ? PathOfRef(*from, out) : noErr;
}

OSErr NewFromPath(const std::string &target, const std::string &from, bool minimal, AliasHandle *alias) {
  Record r;
  if (OSErr e = RecordForPath(target, from, minimal, false, r))
    return e;
  return NewHandleFor(r, alias);
}

// Resolves the alias to a path; updates the record when asked and the
// target changed.
OSErr ResolveCore(const std::string *from, AliasHandle alias, bool update, std::string &found, bool &changed,
                  Record *parsed = nullptr) {
  Record r;
  if (OSErr e = ParseHandle(alias, r))
    return e;
  if (parsed)
    *parsed = r;
  if (OSErr e = Resolve(r, from, found, changed))
    return e;
  if (changed && update) {
    Record now;
    const std::string &keepFrom = (from && !from->empty()) ? *from : r.from;
    if (RecordForPath(found, keepFrom, (r.flags & kFlagMinimal) != 0, false, now) == noErr) {
      now.userType = r.userType;
      bool rewritten;
      (void)Rewrite(alias, now, rewritten); // a record that cannot grow stays as it was
    }
  }
  return noErr;
}

} // namespace

extern "C" {

OSErr NewAlias(const FSSpec *fromFile, const FSSpec *target, AliasHandle *alias) noexcept {
  if (target == nullptr || alias == nullptr)
    return paramErr;
  return Barrier([&]() -> OSErr {
    std::string from, path;
    if (OSErr e = FromPathOfSpec(fromFile, from))
      return e;
    if (OSErr e = PathOfSpec(*target, path))
      return e;
    return NewFromPath(path, from, false, alias);
  });
}

OSErr NewAliasMinimal(const FSSpec *target, AliasHandle *alias) noexcept {
  if (target == nullptr || alias == nullptr)
    return paramErr;
  return Barrier([&]() -> OSErr {
    std::string path;
    if (OSErr e = PathOfSpec(*target, path))
      return e;
    return NewFromPath(path, std::string(), true, alias);
  });
}

OSErr FSNewAlias(const FSRef *fromFile, const FSRef *target, AliasHandle *inAlias) noexcept {
  if (target == nullptr || inAlias == nullptr)
    return paramErr;
  return Barrier([&]() -> OSErr {
    std::string from, path;
    if (OSErr e = FromPathOfRef(fromFile, from))
      return e;
    if (OSErr e = PathOfRef(*target, path))
      return e;
    return NewFromPath(path, from, false, inAlias);
  });
}

OSErr FSNewAliasMinimal(const FSRef *target, AliasHandle *inAlias) noexcept {
  if (target == nullptr || inAlias == nullptr)
    return paramErr;
  return Barrier([&]() -> OSErr {
    std::string path;
    if (OSErr e = PathOfRef(*target, path))
      return e;
    return NewFromPath(path, std::string(), true, inAlias);
  });
}

OSErr NewAliasMinimalFromFullPath(SInt16 fullPathLength, const void *fullPath, const unsigned char *zoneName,
                                  ConstStr31Param serverName, AliasHandle *alias) noexcept {
  if (fullPath == nullptr || alias == nullptr || fullPathLength <= 0)
    return paramErr;
  return Barrier([&]() -> OSErr {
    std::string text(static_cast<const char *>(fullPath), size_t(fullPathLength));
    if (text.find('\0') != std::string::npos)
      return paramErr;
    std::string path;
    if (text[0] == '/') {
      path = text;
    } else {
      // "Volume:folder:name" in Mac Roman, through the File Manager.
      if (text.size() > 255)
        return bdNamErr;
      Str255 pname;
      pname[0] = UInt8(text.size());
      std::memcpy(pname + 1, text.data(), text.size());
      FSSpec spec;
      OSErr e = FSMakeFSSpec(0, 0, pname, &spec);
      if (e == noErr) {
        if (OSErr pe = PathOfSpec(spec, path))
          return pe;
      } else if (e == fnfErr) {
        FSSpec dir;
        if (OSErr de = FSMakeFSSpec(spec.vRefNum, spec.parID, nullptr, &dir))
          return de == fnfErr ? dirNFErr : de;
        std::string dirPath, leaf;
        if (OSErr pe = PathOfSpec(dir, dirPath))
          return pe;
        if (!DiskNameOfMac(PString(spec.name), leaf) || leaf.empty())
          return bdNamErr;
        path = dirPath == "/" ? "/" + leaf : dirPath + "/" + leaf;
      } else {
        return e;
      }
    }
    Record r;
    if (OSErr e = RecordForPath(path, std::string(), true, true, r))
      return e;
    return NewHandleFor(r, alias);
  });
}

OSErr FSResolveAlias(const FSRef *fromFile, AliasHandle alias, FSRef *target, Boolean *wasChanged) noexcept {
  if (alias == nullptr || target == nullptr)
    return paramErr;
  return Barrier([&]() -> OSErr {
    std::string from, found;
    if (OSErr e = FromPathOfRef(fromFile, from))
      return e;
    bool changed = false;
    if (OSErr e = ResolveCore(fromFile ? &from : nullptr, alias, true, found, changed))
      return e;
    FSRef ref;
    if (OSErr e = RefOfPath(found, ref))
      return e;
    *target = ref;
    if (wasChanged)
      *wasChanged = changed;
    return noErr;
  });
}

// The FSSpec naming a missing target whose folder exists.
static OSErr SpecOfMissing(const Record &r, FSSpec &out) {
  std::filesystem::path p(r.path);
  std::string name = r.name;
  if (name.empty() && !MacNameOfDisk(p.filename().string(), name))
    return fnfErr;
  if (name.size() > 63)
    return fnfErr;
  SInt16 vol;
  SInt32 dirID;
  if (PlatformDirectoryIDForPath(p.parent_path().c_str(), &vol, &dirID) != noErr)
    return fnfErr;
  Str255 pname;
  pname[0] = UInt8(name.size());
  std::memcpy(pname + 1, name.data(), name.size());
  FSSpec spec;
  OSErr e = FSMakeFSSpec(vol, dirID, pname, &spec);
  if (e != fnfErr)
    return fnfErr; // appeared meanwhile, or not nameable: report it missing without an FSSpec
  out = spec;
  return noErr;
}

OSErr ResolveAlias(const FSSpec *fromFile, AliasHandle alias, FSSpec *target, Boolean *wasChanged) noexcept {
  if (alias == nullptr || target == nullptr)
    return paramErr;
  return Barrier([&]() -> OSErr {
    std::string from, found;
    if (OSErr e = FromPathOfSpec(fromFile, from))
      return e;
    bool changed = false;
    Record r;
    OSErr e = ResolveCore(fromFile ? &from : nullptr, alias, true, found, changed, &r);
    if (e == fnfErr) {
      FSSpec spec;
      if (SpecOfMissing(r, spec) == noErr)
        *target = spec;
      return fnfErr;
    }
    if (e)
      return e;
    FSSpec spec;
    if (OSErr se = SpecOfPath(found, spec))
      return se;
    *target = spec;
    if (wasChanged)
      *wasChanged = changed;
    return noErr;
  });
}

OSErr MatchAlias(const FSSpec *fromFile, UInt32 rulesMask, AliasHandle alias, SInt16 *aliasCount,
                 FSSpecArrayPtr aliasList, Boolean *needsUpdate, AliasFilterUPP aliasFilter,
                 void *yourDataPtr) noexcept {
  if (alias == nullptr || aliasCount == nullptr || aliasList == nullptr || *aliasCount < 1)
    return paramErr;
  return Barrier([&]() -> OSErr {
    std::string from, found;
    if (OSErr e = FromPathOfSpec(fromFile, from))
      return e;
    bool changed = false;
    if (OSErr e = ResolveCore(fromFile ? &from : nullptr, alias, false, found, changed)) {
      *aliasCount = 0;
      return e;
    }
    FSSpec spec;
    if (OSErr e = SpecOfPath(found, spec))
      return e;
    aliasList[0] = spec;
    *aliasCount = 1;
    if (needsUpdate)
      *needsUpdate = changed;
    return noErr;
  });
}

static OSErr UpdateCore(const std::string &from, const std::string &target, AliasHandle alias,
                        Boolean *wasChanged) {
  Record old;
  if (OSErr e = ParseHandle(alias, old))
    return e;
  Record r;
  if (OSErr e = RecordForPath(target, from, (old.flags & kFlagMinimal) != 0, false, r))
    return e;
  r.userType = old.userType;
  bool changed;
  if (OSErr e = Rewrite(alias, r, changed))
    return e;
  if (wasChanged)
    *wasChanged = changed;
  return noErr;
}

OSErr UpdateAlias(const FSSpec *fromFile, const FSSpec *target, AliasHandle alias, Boolean *wasChanged) noexcept {
  if (target == nullptr || alias == nullptr)
    return paramErr;
  return Barrier([&]() -> OSErr {
    std::string from, path;
    if (OSErr e = FromPathOfSpec(fromFile, from))
      return e;
    if (OSErr e = PathOfSpec(*target, path))
      return e;
    return UpdateCore(from, path, alias, wasChanged);
  });
}

OSErr FSUpdateAlias(const FSRef *fromFile, const FSRef *target, AliasHandle alias, Boolean *wasChanged) noexcept {
  if (target == nullptr || alias == nullptr)
    return paramErr;
  return Barrier([&]() -> OSErr {
    std::string from, path;
    if (OSErr e = FromPathOfRef(fromFile, from))
      return e;
    if (OSErr e = PathOfRef(*target, path))
      return e;
    return UpdateCore(from, path, alias, wasChanged);
  });
}

UInt16 GetAliasSize(AliasHandle alias) noexcept {
  auto b = BytesOf(alias);
  return b.size() < 6 ? 0 : UInt16((b[4] << 8) | b[5]);
}

OSType GetAliasUserType(AliasHandle alias) noexcept {
  auto b = BytesOf(alias);
  return b.size() < 6 ? 0 : (OSType(b[0]) << 24) | (OSType(b[1]) << 16) | (OSType(b[2]) << 8) | OSType(b[3]);
}

void SetAliasUserType(AliasHandle alias, OSType userType) noexcept {
  auto b = BytesOf(alias);
  if (b.size() < 6)
    return;
  UInt8 *p = const_cast<UInt8 *>(b.data());
  p[0] = UInt8(userType >> 24);
  p[1] = UInt8(userType >> 16);
  p[2] = UInt8(userType >> 8);
  p[3] = UInt8(userType);
}

} // extern "C"
