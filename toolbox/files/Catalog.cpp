// Catalog access and item tests.
#include <cstring>

#include "platform/text/TextEncoding.h"
#include "toolbox/files/FilesCore.h"

namespace {

void ClearBlock(CInfoPBRec &pb) { std::memset(&pb, 0, sizeof pb); }

// A spec's name as a mutable buffer for a parameter block.
struct NameCopy {
  Str255 buf;
  explicit NameCopy(ConstStr255Param name) {
    if (name)
      CopyPascalString(name, buf);
    else
      buf[0] = 0;
  }
};

OSErr LookupByName(SInt16 vRefNum, SInt32 dirID, StringPtr name, CInfoPBRec &pb) {
  ClearBlock(pb);
  pb.hFileInfo.ioNamePtr = name;
  pb.hFileInfo.ioVRefNum = vRefNum;
  pb.hFileInfo.ioFDirIndex = 0;
  pb.hFileInfo.ioDirID = dirID;
  return PBGetCatInfoSync(&pb);
}

} // namespace

namespace ql::detail {

OSErr GetIndexedCatInfo(CInfoPBRec &pb, SInt16 vRefNum, SInt32 dirID, UInt32 index) noexcept {
  pb.hFileInfo.ioVRefNum = vRefNum;
  pb.hFileInfo.ioDirID = dirID;
  if (index >= 1 && index <= 0x7FFF) {
    pb.hFileInfo.ioFDirIndex = SInt16(index);
    return PBGetCatInfoSync(&pb);
  }
  pb.hFileInfo.ioFDirIndex = 0;
  return PBGetCatInfoAtIndexSync(&pb, index);
}

} // namespace ql::detail

extern "C" {

OSErr FSGetCatInfo(SInt16 vRefNum, SInt32 dirID, ConstStr255Param name, CInfoPBRec *pb) noexcept {
  if (pb == nullptr)
    return paramErr;
  // The block points at the caller's name, which a lookup by name leaves alone.
  ClearBlock(*pb);
  pb->hFileInfo.ioNamePtr = const_cast<StringPtr>(name);
  pb->hFileInfo.ioVRefNum = vRefNum;
  pb->hFileInfo.ioFDirIndex = 0;
  pb->hFileInfo.ioDirID = dirID;
  return PBGetCatInfoSync(pb);
}

OSErr FSpGetCatInfo(const FSSpec *spec, CInfoPBRec *pb) noexcept {
  if (spec == nullptr)
    return paramErr;
  if (!ql::detail::SpecNameFits(spec))
    return bdNamErr;
  return FSGetCatInfo(spec->vRefNum, spec->parID, spec->name, pb);
}

OSErr FSGetFolderID(SInt16 vRefNum, SInt32 dirID, ConstStr255Param name, SInt32 *folderID,
                    Boolean *isFolder) noexcept {
  SInt32 id;
  bool folder;
  if (name && name[0] >= 32 && HasHFSPlusAPIs()) {
    // A name an FSSpec cannot hold: ask through the FSRef interfaces.
    FSCatalogInfo info;
    OSErr err = HGetCatalogInfo(vRefNum, dirID, name, kFSCatInfoNodeFlags | kFSCatInfoNodeID | kFSCatInfoParentDirID,
                                &info, nullptr, nullptr, nullptr);
    if (err)
      return err;
    folder = (info.nodeFlags & kFSNodeIsDirectoryMask) != 0;
    id = SInt32(folder ? info.nodeID : info.parentDirID);
  } else {
    CInfoPBRec pb;
    Str255 empty = {0};
    NameCopy copy(name);
    OSErr err;
    if (name) {
      err = LookupByName(vRefNum, dirID, copy.buf, pb);
    } else {
      ClearBlock(pb);
      pb.hFileInfo.ioNamePtr = empty;
      pb.hFileInfo.ioVRefNum = vRefNum;
      pb.hFileInfo.ioFDirIndex = -1;
      pb.hFileInfo.ioDirID = dirID;
      err = PBGetCatInfoSync(&pb);
    }
    if (err)
      return err;
    folder = (pb.hFileInfo.ioFlAttrib & kioFlAttribDirMask) != 0;
    id = folder ? pb.dirInfo.ioDrDirID : pb.hFileInfo.ioFlParID;
  }
  if (folderID)
    *folderID = id;
  if (isFolder)
    *isFolder = folder;
  return noErr;
}

OSErr FSpGetFolderID(const FSSpec *spec, SInt32 *folderID, Boolean *isFolder) noexcept {
  if (spec == nullptr)
    return paramErr;
  if (!ql::detail::SpecNameFits(spec))
    return bdNamErr;
  return FSGetFolderID(spec->vRefNum, spec->parID, spec->name, folderID, isFolder);
}

OSErr HMakeFSRef(SInt16 vRefNum, SInt32 dirID, ConstStr255Param name, FSRef *ref) noexcept {
  FSRef scratch;
  FSRef *out = ref ? ref : &scratch;
  FSSpec spec;
  spec.vRefNum = vRefNum;
  spec.parID = dirID;
  spec.name[0] = 0;
  if (name == nullptr || name[0] <= 31) {
    if (name)
      CopyPascalString(name, spec.name);
    return FSpMakeFSRef(&spec, out);
  }
  // 32 to 255 characters: look the name up in Unicode inside the directory.
  FSRef dirRef;
  if (OSErr err = FSpMakeFSRef(&spec, &dirRef))
    return err;
  UniChar units[255];
  UInt32 length = 0;
  if (OSStatus err = ConvertPStringToUnicode(name, 255, &length, units))
    return OSErr(err);
  return FSMakeFSRefUnicode(&dirRef, length, units, kTextEncodingUnknown, out);
}

OSErr FSMakeFSRef(SInt16 vRefNum, SInt32 dirID, const HFSUniStr255 *name, FSRef *ref) noexcept {
  FSRef scratch;
  FSRef *out = ref ? ref : &scratch;
  FSSpec spec;
  spec.vRefNum = vRefNum;
  spec.parID = dirID;
  spec.name[0] = 0;
  if (name == nullptr)
    return FSpMakeFSRef(&spec, out);
  FSRef dirRef;
  if (OSErr err = FSpMakeFSRef(&spec, &dirRef))
    return err;
  return FSMakeFSRefUnicode(&dirRef, name->length, name->unicode, kTextEncodingUnknown, out);
}

OSErr HGetCatalogInfo(SInt16 vRefNum, SInt32 dirID, ConstStr255Param name, FSCatalogInfoBitmap whichInfo,
                      FSCatalogInfo *catalogInfo, HFSUniStr255 *outName, FSSpec *fsSpec, FSRef *parentRef) noexcept {
  FSRef ref;
  if (OSErr err = HMakeFSRef(vRefNum, dirID, name, &ref))
    return err;
  return FSGetCatalogInfo(&ref, whichInfo, catalogInfo, outName, fsSpec, parentRef);
}

OSErr FSRefMakeFSSpec(const FSRef *ref, FSSpec *spec) noexcept {
  if (spec == nullptr)
    return paramErr;
  return FSGetCatalogInfo(ref, kFSCatInfoNone, nullptr, nullptr, spec, nullptr);
}

OSErr FSpIsFolder(const FSSpec *spec, Boolean *isFolder) noexcept {
  if (spec == nullptr || isFolder == nullptr)
    return paramErr;
  if (spec->parID == fsRtParID) {
    *isFolder = true;
    return noErr;
  }
  CInfoPBRec pb;
  if (OSErr err = FSpGetCatInfo(spec, &pb))
    return err;
  *isFolder = (pb.hFileInfo.ioFlAttrib & kioFlAttribDirMask) != 0;
  return noErr;
}

OSErr FSRefIsFolder(const FSRef *ref, Boolean *isFolder) noexcept {
  if (isFolder == nullptr)
    return paramErr;
  FSCatalogInfo info;
  if (OSErr err = FSGetCatalogInfo(ref, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr))
    return err;
  *isFolder = (info.nodeFlags & kFSNodeIsDirectoryMask) != 0;
  return noErr;
}

OSErr FSpGetTypeAndCreator(const FSSpec *spec, OSType *fileType, OSType *creator) noexcept {
  CInfoPBRec pb;
  if (OSErr err = FSpGetCatInfo(spec, &pb))
    return err;
  if (pb.hFileInfo.ioFlAttrib & kioFlAttribDirMask)
    return fnfErr;
  if (fileType)
    *fileType = pb.hFileInfo.ioFlFndrInfo.fdType;
  if (creator)
    *creator = pb.hFileInfo.ioFlFndrInfo.fdCreator;
  return noErr;
}

OSErr FSpGetName(const FSSpec *spec, StringPtr name) noexcept {
  if (spec == nullptr || name == nullptr)
    return paramErr;
  if (!ql::detail::SpecNameFits(spec))
    return bdNamErr;
  if (HasHFSPlusAPIs()) {
    FSRef ref;
    HFSUniStr255 uni;
    Str255 converted;
    if (FSpMakeFSRef(spec, &ref) == noErr &&
        FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, &uni, nullptr, nullptr) == noErr &&
        ConvertUnicodeToPString(uni.unicode, uni.length, converted) == noErr) {
      CopyPascalString(converted, name);
      return noErr;
    }
  }
  CopyPascalString(spec->name, name);
  return noErr;
}

OSErr FSpExists(const FSSpec *spec) noexcept {
  CInfoPBRec pb;
  return FSpGetCatInfo(spec, &pb);
}

OSErr HExists(SInt16 vRefNum, SInt32 dirID, ConstStr255Param name) noexcept {
  if (name && HasHFSPlusAPIs())
    return HMakeFSRef(vRefNum, dirID, name, nullptr);
  CInfoPBRec pb;
  return FSGetCatInfo(vRefNum, dirID, name, &pb);
}

OSErr FSExists(SInt16 vRefNum, SInt32 dirID, const HFSUniStr255 *name) noexcept {
  return FSMakeFSRef(vRefNum, dirID, name, nullptr);
}

} // extern "C"
