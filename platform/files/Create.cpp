// Creating, deleting, renaming and locking files, Finder information, file
// information by name, and flushing a volume. The sidecar of an item
// follows it through every rename and deletion made here.
#include <fcntl.h>

#include <cstring>

#include "platform/core/Internal.h"
#include "platform/files/ForksInternal.h"

namespace f = ql::platform::files;
namespace px = ql::platform::posix;
using ql::platform::Barrier;

namespace {

std::string_view SpecName(const FSSpec &spec) {
  return std::string_view(reinterpret_cast<const char *>(spec.name + 1), std::min<UInt8>(spec.name[0], 63));
}

std::string Join(const std::string &dir, const std::string &name) { return dir == "/" ? "/" + name : dir + "/" + name; }

bool Locked(const struct stat &st) { return (st.st_mode & S_IWUSR) == 0 && !S_ISLNK(st.st_mode); }

// A name a new or renamed item may take: 1 to 31 Mac Roman bytes, no ':'.
OSErr CheckName(std::string_view mac) {
  if (mac.empty() || mac.size() > 31 || mac.find(':') != std::string_view::npos)
    return bdNamErr;
  return noErr;
}

void Put32(UInt8 *p, UInt32 v) {
  p[0] = UInt8(v >> 24);
  p[1] = UInt8(v >> 16);
  p[2] = UInt8(v >> 8);
  p[3] = UInt8(v);
}
void Put16(UInt8 *p, UInt16 v) {
  p[0] = UInt8(v >> 8);
  p[1] = UInt8(v);
}

// The sidecar's 32 bytes of Finder information with FInfo written into
// the first 16, big-endian.
std::string WithFInfo(const std::string *old, const FInfo &fi) {
  std::string d = old && old->size() >= 32 ? *old : std::string(32, '\0');
  auto *p = reinterpret_cast<UInt8 *>(d.data());
  Put32(p, fi.fdType);
  Put32(p + 4, fi.fdCreator);
  Put16(p + 8, fi.fdFlags);
  Put16(p + 10, UInt16(fi.fdLocation.v));
  Put16(p + 12, UInt16(fi.fdLocation.h));
  Put16(p + 14, UInt16(fi.fdFldr));
  return d;
}

OSErr CreateFile(const FSSpec &spec, OSType creator, OSType fileType, ScriptCode scriptTag) {
  std::lock_guard g(f::Lock());
  const std::string_view name = SpecName(spec);
  if (OSErr e = CheckName(name))
    return e;
  const SInt16 vol = f::DefaultedVolume(spec.vRefNum);
  if (spec.parID == fsRtParID)
    return dupFNErr; // the only item there is the volume's root
  f::Node dir;
  if (OSErr e = f::NodeOfDir(vol, spec.parID == 0 ? fsRtDirID : spec.parID, dir))
    return e == fnfErr ? dirNFErr : e;
  f::Node existing;
  OSErr le = f::NodeByName(vol, dir.nodeID, name, existing);
  if (le == noErr)
    return dupFNErr;
  if (le != fnfErr)
    return le;
  auto disk = f::DiskNameFromMac(name);
  if (!disk || disk->size() > 255)
    return bdNamErr;
  const std::string dirPath = dir.Path();
  const std::string path = Join(dirPath, *disk);
  px::UniqueFd fd;
  if (OSErr e = px::OpenFile(path, O_WRONLY | O_CREAT | O_EXCL, 0644, fd))
    return e;
  fd.Reset();
  // A fresh sidecar: whatever an earlier item of this name left is dropped.
  f::Sidecar sc;
  FInfo fi{};
  fi.fdType = fileType;
  fi.fdCreator = creator;
  std::string info = WithFInfo(nullptr, fi);
  if (scriptTag > 0)
    info[16 + 8] = char(0x80 | UInt8(scriptTag)); // fdScript, with "script set"
  sc.Set(f::kSidecarFinderInfo, info);
  if (OSErr e = f::StoreSidecar(dirPath, *disk, sc)) {
    px::Unlink(path);
    return e;
  }
  return noErr;
}

OSErr DeleteItem(const FSSpec &spec) {
  std::lock_guard g(f::Lock());
  f::Node n;
  if (OSErr e = f::NodeOfSpec(spec, n))
    return e;
  if (n.disk.empty())
    return fBsyErr; // a volume's root
  if (Locked(n.st))
    return fLckdErr;
  const std::string dirPath = *n.dirPath;
  if (n.isDir) {
    OSErr e = px::Unlink(n.Path(), true);
    if (e == dupFNErr)
      return fBsyErr; // not empty
    if (e)
      return e;
  } else {
    if (f::FileIsOpen(n.st.st_dev, n.st.st_ino))
      return fBsyErr;
    if (OSErr e = px::Unlink(n.Path()))
      return e;
  }
  return f::RemoveSidecar(dirPath, n.disk);
}

OSErr RenameItem(const FSSpec &spec, ConstStr255Param newName) {
  std::lock_guard g(f::Lock());
  f::Node n;
  if (OSErr e = f::NodeOfSpec(spec, n))
    return e;
  const std::string_view mac(reinterpret_cast<const char *>(newName + 1), newName[0]);
  if (OSErr e = CheckName(mac))
    return e;
  if (n.disk.empty())
    return paramErr; // volumes are not renamed here
  if (Locked(n.st))
    return fLckdErr;
  f::Node other;
  OSErr le = f::NodeByName(n.vol, n.parentID, mac, other);
  if (le == noErr && !(other.st.st_dev == n.st.st_dev && other.st.st_ino == n.st.st_ino))
    return dupFNErr;
  if (le != noErr && le != fnfErr)
    return le;
  auto disk = f::DiskNameFromMac(mac);
  if (!disk || disk->size() > 255)
    return bdNamErr;
  const std::string dirPath = *n.dirPath;
  if (*disk == n.disk)
    return noErr;
  if (OSErr e = px::Rename(Join(dirPath, n.disk), Join(dirPath, *disk)))
    return e;
  OSErr se = f::MoveSidecar(dirPath, n.disk, dirPath, *disk);
  f::ForksFollowRename(n.st.st_dev, n.st.st_ino, dirPath, *disk);
  if (n.isDir) {
    f::RegisterDir(n.vol, n.parentID, Join(dirPath, *disk), n.st.st_dev, n.st.st_ino);
    PlatformResetCatalogCache(); // listings inside remember the old path
  }
  return se;
}

OSErr SetLock(const FSSpec &spec, bool lock) {
  std::lock_guard g(f::Lock());
  f::Node n;
  if (OSErr e = f::NodeOfSpec(spec, n))
    return e;
  if (S_ISLNK(n.st.st_mode))
    return paramErr;
  mode_t mode = n.st.st_mode & 07777;
  mode = lock ? (mode & ~mode_t(S_IWUSR)) : (mode | S_IWUSR);
  return px::Chmod(n.Path(), mode);
}

OSErr ByNameForSpec(const FSSpec &spec, CInfoPBRec &pb, Str255 name) {
  std::memset(&pb, 0, sizeof pb);
  std::memcpy(name, spec.name, std::min<UInt8>(spec.name[0], 63) + 1);
  pb.hFileInfo.ioNamePtr = name;
  pb.hFileInfo.ioVRefNum = spec.vRefNum;
  pb.hFileInfo.ioDirID = spec.parID;
  return PBGetCatInfoSync(&pb);
}

} // namespace

extern "C" {

OSErr FSpCreate(const FSSpec *spec, OSType creator, OSType fileType, ScriptCode scriptTag) noexcept {
  if (spec == nullptr)
    return paramErr;
  return Barrier([&] { return CreateFile(*spec, creator, fileType, scriptTag); });
}

OSErr HCreate(SInt16 vRefNum, SInt32 dirID, ConstStr255Param fileName, OSType creator, OSType fileType) noexcept {
  FSSpec spec;
  OSErr e = FSMakeFSSpec(vRefNum, dirID, fileName, &spec);
  if (e == noErr)
    return dupFNErr;
  if (e != fnfErr)
    return e;
  return FSpCreate(&spec, creator, fileType, smSystemScript);
}

OSErr FSpDelete(const FSSpec *spec) noexcept {
  if (spec == nullptr)
    return paramErr;
  return Barrier([&] { return DeleteItem(*spec); });
}

OSErr HDelete(SInt16 vRefNum, SInt32 dirID, ConstStr255Param fileName) noexcept {
  FSSpec spec;
  if (OSErr e = FSMakeFSSpec(vRefNum, dirID, fileName, &spec))
    return e;
  return FSpDelete(&spec);
}

OSErr FSpRename(const FSSpec *spec, ConstStr255Param newName) noexcept {
  if (spec == nullptr || newName == nullptr)
    return paramErr;
  return Barrier([&] { return RenameItem(*spec, newName); });
}

OSErr HRename(SInt16 vRefNum, SInt32 dirID, ConstStr255Param oldName, ConstStr255Param newName) noexcept {
  FSSpec spec;
  if (OSErr e = FSMakeFSSpec(vRefNum, dirID, oldName, &spec))
    return e;
  return FSpRename(&spec, newName);
}

OSErr FSpSetFLock(const FSSpec *spec) noexcept {
  if (spec == nullptr)
    return paramErr;
  return Barrier([&] { return SetLock(*spec, true); });
}

OSErr FSpRstFLock(const FSSpec *spec) noexcept {
  if (spec == nullptr)
    return paramErr;
  return Barrier([&] { return SetLock(*spec, false); });
}

OSErr FSpGetFInfo(const FSSpec *spec, FInfo *fndrInfo) noexcept {
  if (spec == nullptr || fndrInfo == nullptr)
    return paramErr;
  CInfoPBRec pb;
  Str255 name;
  if (OSErr e = ByNameForSpec(*spec, pb, name))
    return e;
  if (pb.hFileInfo.ioFlAttrib & kioFlAttribDirMask)
    return fnfErr;
  *fndrInfo = pb.hFileInfo.ioFlFndrInfo;
  return noErr;
}

OSErr FSpSetFInfo(const FSSpec *spec, const FInfo *fndrInfo) noexcept {
  if (spec == nullptr || fndrInfo == nullptr)
    return paramErr;
  return Barrier([&]() -> OSErr {
    std::lock_guard g(f::Lock());
    f::Node n;
    if (OSErr e = f::NodeOfSpec(*spec, n))
      return e;
    if (n.isDir)
      return fnfErr;
    if (Locked(n.st))
      return fLckdErr;
    f::Sidecar sc;
    if (OSErr e = f::LoadSidecar(*n.dirPath, n.disk, sc))
      return e;
    sc.Set(f::kSidecarFinderInfo, WithFInfo(sc.Find(f::kSidecarFinderInfo), *fndrInfo));
    return f::StoreSidecar(*n.dirPath, n.disk, sc);
  });
}

OSErr PBHGetFInfoSync(HParmBlkPtr paramBlock) noexcept {
  if (paramBlock == nullptr)
    return paramErr;
  HFileParam &h = paramBlock->fileParam;
  CInfoPBRec pb;
  std::memset(&pb, 0, sizeof pb);
  pb.hFileInfo.ioNamePtr = h.ioNamePtr;
  pb.hFileInfo.ioVRefNum = h.ioVRefNum;
  pb.hFileInfo.ioDirID = h.ioDirID;
  OSErr e;
  if (h.ioFDirIndex > 0) {
    // The n-th file of the folder: folders are not counted.
    SInt32 files = 0;
    for (UInt32 i = 1;; ++i) {
      pb.hFileInfo.ioDirID = h.ioDirID;
      e = PBGetCatInfoAtIndexSync(&pb, i);
      if (e)
        break;
      if (!(pb.hFileInfo.ioFlAttrib & kioFlAttribDirMask) && ++files == h.ioFDirIndex)
        break;
    }
  } else {
    pb.hFileInfo.ioFDirIndex = 0;
    e = PBGetCatInfoSync(&pb);
    if (e == noErr && (pb.hFileInfo.ioFlAttrib & kioFlAttribDirMask))
      e = fnfErr;
  }
  if (e == noErr) {
    const HFileInfo &c = pb.hFileInfo;
    h.ioVRefNum = c.ioVRefNum;
    h.ioFRefNum = 0;
    h.ioFVersNum = 0;
    h.ioFlAttrib = c.ioFlAttrib;
    h.ioFlVersNum = 0;
    h.ioFlFndrInfo = c.ioFlFndrInfo;
    h.ioDirID = c.ioDirID;
    h.ioFlStBlk = c.ioFlStBlk;
    h.ioFlLgLen = c.ioFlLgLen;
    h.ioFlPyLen = c.ioFlPyLen;
    h.ioFlRStBlk = c.ioFlRStBlk;
    h.ioFlRLgLen = c.ioFlRLgLen;
    h.ioFlRPyLen = c.ioFlRPyLen;
    h.ioFlCrDat = c.ioFlCrDat;
    h.ioFlMdDat = c.ioFlMdDat;
  }
  h.ioResult = e;
  return e;
}

OSErr FlushVol(ConstStr63Param volName, SInt16 vRefNum) noexcept {
  return Barrier([&]() -> OSErr {
    std::lock_guard g(f::Lock());
    const f::Volume *v = f::VolumeByRef(f::DefaultedVolume(vRefNum));
    if (v == nullptr)
      return nsvErr;
    px::UniqueFd fd;
    if (OSErr e = px::OpenDirectory(v->root, fd))
      return e;
    return px::SyncFileSystem(fd.get());
  });
}

} // extern "C"
