// The File Manager's exported calls over the catalog model: catalog
// parameter blocks, FSSpec and FSRef creation, catalog information, paths.
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>

#include "platform/core/Internal.h"
#include "platform/files/FilesInternal.h"
#include "platform/text/MacRoman.h"

namespace f = ql::platform::files;
using ql::platform::Barrier;

// Both views of a catalog block must agree on the fields they share.
#define QL_SAME_OFFSET(a, b) static_assert(offsetof(HFileInfo, a) == offsetof(DirInfo, b))
QL_SAME_OFFSET(ioFlAttrib, ioFlAttrib);
QL_SAME_OFFSET(ioFlFndrInfo, ioDrUsrWds);
QL_SAME_OFFSET(ioDirID, ioDrDirID);
QL_SAME_OFFSET(ioFlCrDat, ioDrCrDat);
QL_SAME_OFFSET(ioFlMdDat, ioDrMdDat);
QL_SAME_OFFSET(ioFlBkDat, ioDrBkDat);
QL_SAME_OFFSET(ioFlXFndrInfo, ioDrFndrInfo);
QL_SAME_OFFSET(ioFlParID, ioDrParID);
#undef QL_SAME_OFFSET
static_assert(offsetof(FInfo, fdFlags) == offsetof(DInfo, frFlags));
static_assert(sizeof(FSSpec) == 70 && sizeof(FSRef) == 80 && sizeof(HFSUniStr255) == 512);
static_assert(sizeof(FInfo) == 16 && sizeof(FXInfo) == 16 && sizeof(DInfo) == 16 && sizeof(DXInfo) == 16);

namespace {

constexpr SInt16 kDefaultVolume = -1;
constexpr UInt32 kSecondsFrom1904To1970 = 2082844800u;
constexpr UInt32 kSecondsFrom1904To2000 = 3029529600u;

std::string_view PName(ConstStr255Param p) {
  return p ? std::string_view(reinterpret_cast<const char *>(p + 1), p[0]) : std::string_view();
}

void SetPName(StringPtr dst, std::string_view s, size_t cap = 255) {
  size_t n = std::min(s.size(), cap);
  dst[0] = UInt8(n);
  std::memcpy(dst + 1, s.data(), n);
}

UInt16 BE16(const UInt8 *p) { return UInt16((p[0] << 8) | p[1]); }
UInt32 BE32(const UInt8 *p) { return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | p[3]; }

// A creator code for an executable without metadata, derived from the
// file's identity: stable for the same file, different for other files,
// never 0 and never '????'.
OSType DerivedCreator(const struct stat &st) {
  UInt64 h = 1469598103934665603ull;
  for (UInt64 v : {UInt64(st.st_dev), UInt64(st.st_ino)}) {
    for (int i = 0; i < 8; ++i) {
      h ^= (v >> (8 * i)) & 0xFF;
      h *= 1099511628211ull;
    }
  }
  static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  OSType code = 0;
  for (int i = 0; i < 4; ++i) {
    code = (code << 8) | UInt8(kAlphabet[h % 36]);
    h /= 36;
  }
  return code;
}

bool IsLocked(const struct stat &st) { return (st.st_mode & S_IWUSR) == 0 && !S_ISLNK(st.st_mode); }

// Finder information of a file: the sidecar's, or defaults that describe
// the file truthfully (executables as applications, links as aliases,
// dot-files as invisible).
FInfo FileFinderInfo(const f::Node &n) {
  FInfo fi{};
  if (n.meta.present) {
    const UInt8 *p = n.meta.finderInfo.data();
    fi.fdType = BE32(p);
    fi.fdCreator = BE32(p + 4);
    fi.fdFlags = BE16(p + 8);
    fi.fdLocation.v = SInt16(BE16(p + 10));
    fi.fdLocation.h = SInt16(BE16(p + 12));
    fi.fdFldr = SInt16(BE16(p + 14));
  } else if (S_ISLNK(n.st.st_mode)) {
    fi.fdType = ql::FourCC("slnk");
    fi.fdCreator = ql::FourCC("rhap");
  } else if (S_ISREG(n.st.st_mode) && (n.st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH))) {
    fi.fdType = ql::FourCC("APPL");
    fi.fdCreator = DerivedCreator(n.st);
  }
  if (S_ISLNK(n.st.st_mode))
    fi.fdFlags |= kIsAlias;
  if (!n.meta.present && !n.mac.empty() && n.mac[0] == '.')
    fi.fdFlags |= kIsInvisible;
  return fi;
}

DInfo DirFinderInfo(const f::Node &n) {
  DInfo di{};
  if (n.meta.present) {
    const UInt8 *p = n.meta.finderInfo.data();
    di.frRect = Rect{SInt16(BE16(p)), SInt16(BE16(p + 2)), SInt16(BE16(p + 4)), SInt16(BE16(p + 6))};
    di.frFlags = BE16(p + 8);
    di.frLocation.v = SInt16(BE16(p + 10));
    di.frLocation.h = SInt16(BE16(p + 12));
    di.frView = SInt16(BE16(p + 14));
  }
  if (!n.meta.present && !n.mac.empty() && n.mac[0] == '.')
    di.frFlags |= kIsInvisible;
  return di;
}

void ExtendedInfo(const f::Node &n, UInt8 out[16]) {
  std::memset(out, 0, 16);
  if (n.meta.present) {
    // FXInfo and DXInfo share one layout of 16-bit and 32-bit fields.
    const UInt8 *p = n.meta.finderInfo.data() + 16;
    UInt16 w[8];
    for (int i = 0; i < 8; ++i)
      w[i] = BE16(p + 2 * i);
    // Fields: 4 x SInt16 (or Point + SInt32), SInt8 x2, SInt16, SInt32.
    FXInfo x{};
    x.fdIconID = SInt16(w[0]);
    x.fdReserved[0] = SInt16(w[1]);
    x.fdReserved[1] = SInt16(w[2]);
    x.fdReserved[2] = SInt16(w[3]);
    x.fdScript = SInt8(p[8]);
    x.fdXFlags = SInt8(p[9]);
    x.fdComment = SInt16(w[5]);
    x.fdPutAway = SInt32(BE32(p + 12));
    std::memcpy(out, &x, 16);
  }
}

UInt32 CreateSeconds(const f::Node &n) {
  if (n.meta.hasDates)
    return UInt32(kSecondsFrom1904To2000 + UInt32(n.meta.createDate));
  return f::MacLocalSeconds(n.st.st_mtim);
}

SInt32 Clamp32(UInt64 v) { return SInt32(std::min<UInt64>(v, INT32_MAX)); }

void FillCatInfo(const f::Node &n, CInfoPBRec &pb) {
  HFileInfo &h = pb.hFileInfo;
  h.ioResult = noErr;
  h.ioVRefNum = n.vol;
  h.ioFRefNum = 0;
  h.ioFVersNum = 0;
  h.ioFlAttrib = SInt8((n.isDir ? kioFlAttribDirMask : 0) | (IsLocked(n.st) ? kioFlAttribLockedMask : 0));
  h.ioACUser = 0;
  const UInt32 created = CreateSeconds(n);
  const UInt32 modified = f::MacLocalSeconds(n.st.st_mtim);
  const UInt32 backup = n.meta.hasDates && n.meta.backupDate != SInt32(0x80000000)
                            ? UInt32(kSecondsFrom1904To2000 + UInt32(n.meta.backupDate))
                            : 0;
  if (n.isDir) {
    DirInfo &d = pb.dirInfo;
    d.ioDrUsrWds = DirFinderInfo(n);
    d.ioDrDirID = n.nodeID;
    d.ioDrNmFls = UInt16(std::min<UInt32>(n.valence, 0xFFFF));
    std::memset(d.filler3, 0, sizeof d.filler3);
    d.ioDrCrDat = created;
    d.ioDrMdDat = modified;
    d.ioDrBkDat = backup;
    UInt8 x[16];
    ExtendedInfo(n, x);
    std::memcpy(&d.ioDrFndrInfo, x, 16);
    d.ioDrParID = n.parentID;
  } else {
    h.ioFlFndrInfo = FileFinderInfo(n);
    h.ioDirID = n.nodeID;
    h.ioFlStBlk = 0;
    h.ioFlLgLen = Clamp32(UInt64(n.st.st_size));
    h.ioFlPyLen = Clamp32(UInt64(n.st.st_blocks) * 512);
    h.ioFlRStBlk = 0;
    h.ioFlRLgLen = SInt32(std::min<UInt32>(n.meta.rsrcLength, INT32_MAX));
    h.ioFlRPyLen = SInt32(std::min<UInt64>((UInt64(n.meta.rsrcLength) + 511) / 512 * 512, INT32_MAX));
    h.ioFlCrDat = created;
    h.ioFlMdDat = modified;
    h.ioFlBkDat = backup;
    UInt8 x[16];
    ExtendedInfo(n, x);
    std::memcpy(&h.ioFlXFndrInfo, x, 16);
    h.ioFlParID = n.parentID;
    h.ioFlClpSiz = 0;
  }
}

UTCDateTime Utc(const struct timespec &t) {
  UInt64 secs = UInt64(SInt64(t.tv_sec) + kSecondsFrom1904To1970);
  UTCDateTime u;
  u.highSeconds = UInt16(secs >> 32);
  u.lowSeconds = UInt32(secs);
  u.fraction = UInt16((UInt64(t.tv_nsec) << 16) / 1'000'000'000ull);
  return u;
}

UTCDateTime UtcFrom2000(SInt32 secs) {
  UInt64 s = UInt64(SInt64(kSecondsFrom1904To2000) + secs);
  return UTCDateTime{UInt16(s >> 32), UInt32(s), 0};
}

void FillCatalogInfo(const f::Node &n, FSCatalogInfoBitmap which, FSCatalogInfo &ci) {
  if (which & kFSCatInfoTextEncoding)
    ci.textEncodingHint = 0;
  if (which & kFSCatInfoNodeFlags)
    ci.nodeFlags = UInt16((n.isDir ? kFSNodeIsDirectoryMask : 0) | (IsLocked(n.st) ? kFSNodeLockedMask : 0));
  if (which & kFSCatInfoVolume)
    ci.volume = n.vol;
  if (which & kFSCatInfoParentDirID)
    ci.parentDirID = UInt32(n.parentID);
  if (which & kFSCatInfoNodeID)
    ci.nodeID = UInt32(n.nodeID);
  if (which & kFSCatInfoSharingFlags)
    ci.sharingFlags = 0;
  if (which & kFSCatInfoUserPrivs)
    ci.userPrivileges = 0;
  if (which & kFSCatInfoCreateDate)
    ci.createDate = n.meta.hasDates ? UtcFrom2000(n.meta.createDate) : Utc(n.st.st_mtim);
  if (which & kFSCatInfoContentMod)
    ci.contentModDate = Utc(n.st.st_mtim);
  if (which & kFSCatInfoAttrMod)
    ci.attributeModDate = Utc(n.st.st_ctim);
  if (which & kFSCatInfoAccessDate)
    ci.accessDate = Utc(n.st.st_atim);
  if (which & kFSCatInfoBackupDate)
    ci.backupDate = n.meta.hasDates && n.meta.backupDate != SInt32(0x80000000) ? UtcFrom2000(n.meta.backupDate)
                                                                                : UTCDateTime{0, 0, 0};
  if (which & kFSCatInfoPermissions) {
    ci.permissions[0] = n.st.st_uid;
    ci.permissions[1] = n.st.st_gid;
    ci.permissions[2] = n.st.st_mode & 07777;
    ci.permissions[3] = 0;
  }
  if (which & kFSCatInfoFinderInfo) {
    if (n.isDir) {
      DInfo di = DirFinderInfo(n);
      std::memcpy(ci.finderInfo, &di, 16);
    } else {
      FInfo fi = FileFinderInfo(n);
      std::memcpy(ci.finderInfo, &fi, 16);
    }
  }
  if (which & kFSCatInfoFinderXInfo)
    ExtendedInfo(n, ci.extFinderInfo);
  if (which & kFSCatInfoValence)
    ci.valence = n.isDir ? n.valence : 0;
  if (which & kFSCatInfoDataSizes) {
    ci.dataLogicalSize = n.isDir ? 0 : UInt64(n.st.st_size);
    ci.dataPhysicalSize = n.isDir ? 0 : UInt64(n.st.st_blocks) * 512;
  }
  if (which & kFSCatInfoRsrcSizes) {
    ci.rsrcLogicalSize = n.meta.rsrcLength;
    ci.rsrcPhysicalSize = (UInt64(n.meta.rsrcLength) + 511) / 512 * 512;
  }
}

void SpecOf(const f::Node &n, FSSpec &spec) {
  spec.vRefNum = n.vol;
  spec.parID = n.parentID;
  SetPName(spec.name, n.mac, 63);
}

SInt16 Vol(SInt16 v) { return v == 0 ? kDefaultVolume : v; }

// Catalog information that needs the item's own status, not just its
// identity in its folder's listing.
constexpr FSCatalogInfoBitmap kAttributeBits =
    kFSCatInfoNodeFlags | kFSCatInfoCreateDate | kFSCatInfoContentMod | kFSCatInfoAttrMod | kFSCatInfoAccessDate |
    kFSCatInfoBackupDate | kFSCatInfoPermissions | kFSCatInfoFinderInfo | kFSCatInfoFinderXInfo |
    kFSCatInfoValence | kFSCatInfoDataSizes | kFSCatInfoRsrcSizes;

} // namespace

extern "C" {

static OSErr GetCatInfo(CInfoPBPtr pb, SInt32 index) {
  OSErr err = Barrier([&]() -> OSErr {
    std::lock_guard g(f::Lock());
    HFileInfo &h = pb->hFileInfo;
    const SInt16 vol = Vol(h.ioVRefNum);
    f::Node n;
    OSErr e;
    bool writeName;
    if (index > 0) {
      e = f::NodeByIndex(vol, h.ioDirID, index, n);
      writeName = true;
    } else if (index == 0) {
      e = f::NodeByName(vol, h.ioDirID, PName(h.ioNamePtr), n);
      writeName = false; // the name looked up is left as the caller gave it
    } else {
      e = f::NodeOfDir(vol, h.ioDirID == 0 ? fsRtDirID : h.ioDirID, n);
      writeName = true;
    }
    if (e)
      return e;
    FillCatInfo(n, *pb);
    if (writeName && h.ioNamePtr)
      SetPName(h.ioNamePtr, n.mac);
    return noErr;
  });
  pb->hFileInfo.ioResult = err;
  return err;
}

OSErr PBGetCatInfoSync(CInfoPBPtr pb) noexcept {
  if (pb == nullptr)
    return paramErr;
  return GetCatInfo(pb, pb->hFileInfo.ioFDirIndex);
}

OSErr PBGetCatInfoAtIndexSync(CInfoPBPtr pb, UInt32 index) noexcept {
  if (pb == nullptr || index == 0 || index > UInt32(INT32_MAX))
    return paramErr;
  return GetCatInfo(pb, SInt32(index));
}

OSErr FSMakeFSSpec(SInt16 vRefNum, SInt32 dirID, ConstStr255Param fileName, FSSpec *spec) noexcept {
  if (spec == nullptr)
    return paramErr;
  return Barrier([&]() -> OSErr {
    std::lock_guard g(f::Lock());
    f::NeedAttributes identityOnly(false);
    const SInt16 vol = Vol(vRefNum);
    std::string_view name = PName(fileName);
    f::Node n;
    OSErr e = f::NodeByName(vol, dirID == 0 ? fsRtDirID : dirID, name, n);
    if (e == noErr) {
      SpecOf(n, *spec);
      return noErr;
    }
    if (e != fnfErr)
      return e;
    // A missing item in an existing directory: the FSSpec names it anyway.
    std::string_view leaf = name;
    SInt32 parent = dirID == 0 ? fsRtDirID : dirID;
    if (size_t colon = name.rfind(':'); colon != std::string_view::npos) {
      f::Node dir;
      std::string_view head = name.substr(0, colon + 1);
      if (OSErr de = f::NodeByName(vol, parent, head, dir))
        return de == fnfErr ? dirNFErr : de;
      if (!dir.isDir)
        return dirNFErr;
      parent = dir.nodeID;
      leaf = name.substr(colon + 1);
    } else {
      const f::DirRec *d;
      if (OSErr de = f::ResolveDir(vol, parent, d))
        return de;
      f::Listing *l;
      if (OSErr le = f::GetListing(*d, l))
        return le;
    }
    if (leaf.size() > 63)
      return bdNamErr;
    spec->vRefNum = vol;
    spec->parID = parent;
    SetPName(spec->name, leaf, 63);
    return fnfErr;
  });
}

OSErr FSpMakeFSRef(const FSSpec *source, FSRef *newRef) noexcept {
  if (source == nullptr || newRef == nullptr)
    return paramErr;
  return Barrier([&]() -> OSErr {
    std::lock_guard g(f::Lock());
    f::NeedAttributes identityOnly(false);
    FSSpec spec;
    std::memcpy(&spec, source, sizeof spec);
    if (spec.name[0] > 63)
      return bdNamErr; // a length beyond the record's name field
    f::Node n;
    OSErr e = spec.parID == fsRtParID ? f::NodeOfDir(Vol(spec.vRefNum), fsRtDirID, n)
                                      : f::NodeByName(Vol(spec.vRefNum), spec.parID, PName(spec.name), n);
    if (e)
      return e;
    f::MakeRef(n, *newRef);
    return noErr;
  });
}

OSErr FSMakeFSRefUnicode(const FSRef *parentRef, UniCharCount nameLength, const UniChar *name,
                         TextEncoding textEncodingHint, FSRef *newRef) noexcept {
  if (parentRef == nullptr || newRef == nullptr || (name == nullptr && nameLength > 0))
    return paramErr;
  if (nameLength > 255)
    return errFSNameTooLong;
  return Barrier([&]() -> OSErr {
    std::lock_guard g(f::Lock());
    f::NeedAttributes identityOnly(false);
    f::Node parent;
    if (OSErr e = f::NodeFromRef(*parentRef, parent))
      return e;
    if (!parent.isDir)
      return errFSNotAFolder;
    f::Node n;
    std::u16string_view uni(reinterpret_cast<const char16_t *>(name), nameLength);
    if (OSErr e = f::NodeByUnicode(parent.vol, parent.nodeID, uni, n))
      return e;
    f::MakeRef(n, *newRef);
    return noErr;
  });
}

OSErr FSGetCatalogInfo(const FSRef *ref, FSCatalogInfoBitmap whichInfo, FSCatalogInfo *catalogInfo,
                       HFSUniStr255 *outName, FSSpec *fsSpec, FSRef *parentRef) noexcept {
  if (ref == nullptr)
    return paramErr;
  if (whichInfo != kFSCatInfoNone && catalogInfo == nullptr)
    return paramErr;
  if (whichInfo & ~FSCatalogInfoBitmap(kFSCatInfoGettableInfo))
    return errFSBadInfoBitmap;
  return Barrier([&]() -> OSErr {
    std::lock_guard g(f::Lock());
    f::NeedAttributes identityOnly((whichInfo & kAttributeBits) != 0);
    f::Node n;
    if (OSErr e = f::NodeFromRef(*ref, n))
      return e;
    FSRef parent{};
    if (parentRef && n.parentID != fsRtParID) {
      f::Node p;
      if (OSErr e = f::NodeOfDir(n.vol, n.parentID, p))
        return e;
      f::MakeRef(p, parent);
    }
    if (catalogInfo)
      FillCatalogInfo(n, whichInfo, *catalogInfo);
    if (outName) {
      const std::u16string uni = n.Uni();
      size_t len = std::min<size_t>(uni.size(), 255);
      outName->length = UInt16(len);
      std::memcpy(outName->unicode, uni.data(), len * 2);
    }
    if (fsSpec)
      SpecOf(n, *fsSpec);
    if (parentRef)
      *parentRef = parent;
    return noErr;
  });
}

OSErr FSCompareFSRefs(const FSRef *ref1, const FSRef *ref2) noexcept {
  if (ref1 == nullptr || ref2 == nullptr)
    return paramErr;
  return Barrier([&]() -> OSErr {
    std::lock_guard g(f::Lock());
    f::NeedAttributes identityOnly(false);
    f::Node a, b;
    if (OSErr e = f::NodeFromRef(*ref1, a))
      return e;
    if (OSErr e = f::NodeFromRef(*ref2, b))
      return e;
    return a.st.st_dev == b.st.st_dev && a.st.st_ino == b.st.st_ino ? OSErr(noErr) : OSErr(errFSRefsDifferent);
  });
}

OSStatus FSRefMakePath(const FSRef *ref, UInt8 *path, UInt32 maxPathSize) noexcept {
  if (ref == nullptr || path == nullptr || maxPathSize == 0)
    return paramErr;
  return Barrier([&]() -> OSStatus {
    std::lock_guard g(f::Lock());
    f::NeedAttributes identityOnly(false);
    f::Node n;
    if (OSErr e = f::NodeFromRef(*ref, n))
      return e;
    std::string p;
    if (OSErr e = f::NodeCurrentPath(n, p))
      return e;
    if (p.size() + 1 > maxPathSize)
      return errFSNameTooLong;
    std::memcpy(path, p.c_str(), p.size() + 1);
    return noErr;
  });
}

OSStatus FSPathMakeRef(const UInt8 *path, FSRef *ref, Boolean *isDirectory) noexcept {
  if (path == nullptr || ref == nullptr)
    return paramErr;
  return Barrier([&]() -> OSStatus {
    std::string p(reinterpret_cast<const char *>(path));
    if (p.empty())
      return fnfErr;
    if (p[0] != '/') {
      char cwd[PATH_MAX];
      if (::getcwd(cwd, sizeof cwd) == nullptr)
        return ioErr;
      p = std::string(cwd) + "/" + p;
    }
    std::lock_guard g(f::Lock());
    f::NeedAttributes identityOnly(false);
    f::Node n;
    if (OSErr e = f::NodeByPath(p, n))
      return e == dirNFErr ? fnfErr : e;
    f::MakeRef(n, *ref);
    if (isDirectory)
      *isDirectory = n.isDir;
    return noErr;
  });
}

OSErr PlatformDirectoryIDForPath(const char *path, SInt16 *vRefNum, SInt32 *dirID) noexcept {
  if (path == nullptr)
    return paramErr;
  FSRef ref;
  Boolean isDir = false;
  OSStatus e = FSPathMakeRef(reinterpret_cast<const UInt8 *>(path), &ref, &isDir);
  if (e)
    return OSErr(e);
  if (!isDir)
    return dirNFErr;
  FSCatalogInfo ci;
  if (OSErr ce = FSGetCatalogInfo(&ref, kFSCatInfoVolume | kFSCatInfoNodeID, &ci, nullptr, nullptr, nullptr))
    return ce;
  if (vRefNum)
    *vRefNum = ci.volume;
  if (dirID)
    *dirID = SInt32(ci.nodeID);
  return noErr;
}

} // extern "C"
