// Folder walks and listings.
#include <cstring>

#include "platform/memory/Memory.h"
#include "platform/text/TextEncoding.h"
#include "toolbox/files/FilesCore.h"

using ql::detail::FSIterateFolderState;
using ql::detail::GetIndexedCatInfo;

namespace {

constexpr UInt32 kKnownIterateFlags = 0;

bool IsFolder(const CInfoPBRec &pb) { return (pb.hFileInfo.ioFlAttrib & kioFlAttribDirMask) != 0; }

} // namespace

namespace ql::detail {

void FSIterateFolderLevel(SInt32 dirID, FSIterateFolderState &state) noexcept {
  if (state.maxDepth != 0 && state.depth >= state.maxDepth)
    return;
  ++state.depth;
  for (UInt32 n = 1;; ++n) {
    const SInt16 volume = state.pb.hFileInfo.ioVRefNum;
    state.error = GetIndexedCatInfo(state.pb, volume, dirID, n);
    if (state.error != noErr)
      break;
    state.callbackResult = state.callback(state.userData, &state.pb);
    if (state.callbackResult != 0)
      break;
    // Alias-following mode adds its resolution step here.
    if (IsFolder(state.pb)) {
      FSIterateFolderLevel(state.pb.dirInfo.ioDrDirID, state);
      if (state.error != noErr || state.callbackResult != 0)
        break;
    }
    state.pb.hFileInfo.ioVRefNum = volume;
  }
  // The end of a folder, or a folder that may not be read, ends only this
  // level; any other error ends the whole walk.
  if (state.error == fnfErr || state.error == afpAccessDenied)
    state.error = noErr;
  --state.depth;
}

} // namespace ql::detail

extern "C" {

OSStatus FSIterateFolder(SInt16 vRefNum, SInt32 dirID, ConstStr255Param name, UInt32 maxDepth, UInt32 flags,
                         FSIterateFolderProcPtr callback, void *userData) noexcept {
  if (callback == nullptr)
    return paramErr;
  if (flags & ~kKnownIterateFlags)
    return paramErr; // alias-following mode is not offered yet
  FSIterateFolderState state;
  std::memset(&state, 0, sizeof state);
  SInt32 startDir;
  if (OSErr err = FSGetFolderID(vRefNum, dirID, name, &startDir, nullptr))
    return err;
  state.pb.hFileInfo.ioNamePtr = state.name;
  state.pb.hFileInfo.ioVRefNum = vRefNum;
  state.maxDepth = maxDepth;
  state.flags = flags;
  state.callback = callback;
  state.userData = userData;
  ql::detail::FSIterateFolderLevel(startDir, state);
  return state.callbackResult != 0 ? state.callbackResult : state.error;
}

OSStatus FSpIterateFolder(const FSSpec *spec, UInt32 maxDepth, UInt32 flags, FSIterateFolderProcPtr callback,
                          void *userData) noexcept {
  if (spec == nullptr)
    return paramErr;
  if (!ql::detail::SpecNameFits(spec))
    return bdNamErr;
  return FSIterateFolder(spec->vRefNum, spec->parID, spec->name, maxDepth, flags, callback, userData);
}

OSStatus FSRefIterateFolder(const FSRef *ref, UInt32 maxDepth, UInt32 flags, FSIterateFolderProcPtr callback,
                            void *userData) noexcept {
  FSSpec spec;
  if (OSErr err = FSRefMakeFSSpec(ref, &spec))
    return err;
  return FSpIterateFolder(&spec, maxDepth, flags, callback, userData);
}

SInt32 FSRefBuildSubItemListIterateCallBack(void *userData, CInfoPBRec *pb) noexcept {
  FSRef ref;
  OSErr err = HMakeFSRef(pb->hFileInfo.ioVRefNum, pb->hFileInfo.ioFlParID, pb->hFileInfo.ioNamePtr, &ref);
  if (err == noErr)
    err = PtrAndHand(&ref, static_cast<Handle>(userData), SInt32(sizeof ref));
  return err;
}

OSErr FSRefBuildSubItemList(const FSRef *folder, Handle *list, UInt32 *count) noexcept {
  if (folder == nullptr)
    return paramErr;
  OSErr err = noErr;
  Handle h = TempNewHandle(0, &err);
  if (h == nullptr)
    return memFullErr;
  OSStatus result = FSRefIterateFolder(folder, 0, 0, FSRefBuildSubItemListIterateCallBack, h);
  if (result != noErr) {
    DisposeHandle(h);
    return OSErr(result);
  }
  if (count)
    *count = UInt32(GetHandleSize(h)) / UInt32(sizeof(FSRef));
  if (list)
    *list = h;
  else
    DisposeHandle(h);
  return noErr;
}

OSStatus FSpProcessFolderContents(const FSSpec *folder, void *userData,
                                  FSpProcessFolderContentsProcPtr callback) noexcept {
  if (folder == nullptr || callback == nullptr)
    return paramErr;
  if (!ql::detail::SpecNameFits(folder))
    return bdNamErr;
  CInfoPBRec pb;
  Str255 name;
  CopyPascalString(folder->name, name);
  std::memset(&pb, 0, sizeof pb);
  pb.hFileInfo.ioNamePtr = name;
  pb.hFileInfo.ioVRefNum = folder->vRefNum;
  pb.hFileInfo.ioDirID = folder->parID;
  if (OSErr err = PBGetCatInfoSync(&pb))
    return err;
  const SInt32 dirID = pb.dirInfo.ioDrDirID;
  const SInt16 vol = folder->vRefNum;
  OSErr err = noErr;
  for (UInt32 i = 1;;) {
    err = GetIndexedCatInfo(pb, vol, dirID, i);
    if (err)
      break;
    FSSpec item;
    item.vRefNum = vol;
    item.parID = dirID;
    CopyPascalString(name, item.name);
    if (SInt32 r = callback(&item, userData))
      return r;
    // Did the callback leave the item where it was?
    Str255 again;
    pb.hFileInfo.ioNamePtr = again;
    err = GetIndexedCatInfo(pb, vol, dirID, i);
    if (err == noErr && EqualString(again, item.name, false, true)) {
      ++i;
    } else if (err != noErr && err != fnfErr) {
      break;
    } else {
      // Removed, renamed or moved: find where the items now stand.
      UInt32 j = 1;
      for (;; ++j) {
        err = GetIndexedCatInfo(pb, vol, dirID, j);
        if (err || EqualString(again, item.name, false, true))
          break;
      }
      if (err == noErr)
        i = j + 1;
      else if (err != fnfErr)
        break;
      // At the end of the folder the item is gone: item i is the next one.
      err = noErr;
    }
    pb.hFileInfo.ioNamePtr = name;
  }
  return err == fnfErr ? OSErr(noErr) : err;
}

OSErr FSpGetIndexedSubItem(const FSSpec *folder, SInt32 index, FSSpec *item) noexcept {
  if (folder == nullptr || item == nullptr || index < 1)
    return paramErr;
  if (!ql::detail::SpecNameFits(folder))
    return bdNamErr;
  std::memmove(item, folder, sizeof *item);
  CInfoPBRec pb;
  std::memset(&pb, 0, sizeof pb);
  pb.hFileInfo.ioNamePtr = item->name;
  pb.hFileInfo.ioVRefNum = item->vRefNum;
  pb.hFileInfo.ioDirID = item->parID;
  if (OSErr err = PBGetCatInfoSync(&pb))
    return err;
  if (OSErr err = GetIndexedCatInfo(pb, item->vRefNum, pb.dirInfo.ioDrDirID, UInt32(index)))
    return err;
  item->parID = pb.hFileInfo.ioFlParID;
  return noErr;
}

OSErr FSGetIndexedSubItem(SInt16 vRefNum, SInt32 dirID, SInt32 index, FSSpec *item) noexcept {
  if (item == nullptr || index < 1)
    return paramErr;
  CInfoPBRec pb;
  std::memset(&pb, 0, sizeof pb);
  pb.hFileInfo.ioNamePtr = item->name;
  if (OSErr err = GetIndexedCatInfo(pb, vRefNum, dirID, UInt32(index)))
    return err;
  item->vRefNum = vRefNum;
  item->parID = dirID;
  return noErr;
}

static OSErr BuildSubItemList(const FSSpec &folder, bool recurse, SInt32 capacity, FSSpec *items, SInt32 &stored) {
  SInt32 n = 0;
  for (SInt32 i = 1; n < capacity; ++i) {
    OSErr err = FSpGetIndexedSubItem(&folder, i, &items[n]);
    if (err == fnfErr)
      break;
    if (err)
      return err;
    const FSSpec &item = items[n];
    ++n;
    if (recurse) {
      Boolean isFolder = false;
      if (OSErr e = FSpIsFolder(&item, &isFolder))
        return e;
      if (isFolder && n < capacity) {
        SInt32 inner = 0;
        if (OSErr e = BuildSubItemList(items[n - 1], true, capacity - n, items + n, inner))
          return e;
        n += inner;
      }
    }
  }
  stored = n;
  return noErr;
}

OSErr FSpBuildSubItemList(const FSSpec *folder, Boolean recurse, SInt32 *count, FSSpec *items) noexcept {
  if (folder == nullptr || count == nullptr || *count < 0 || (items == nullptr && *count > 0))
    return paramErr;
  SInt32 stored = 0;
  if (OSErr err = BuildSubItemList(*folder, recurse != 0, *count, items, stored))
    return err;
  *count = stored;
  return noErr;
}

OSErr HCountSubItems(SInt16 vRefNum, SInt32 dirID, OSType fileType, OSType creator, SInt32 *count) noexcept {
  CInfoPBRec pb;
  Str255 name;
  std::memset(&pb, 0, sizeof pb);
  pb.hFileInfo.ioNamePtr = name;
  SInt32 found = 0;
  for (UInt32 i = 1;; ++i) {
    OSErr err = GetIndexedCatInfo(pb, vRefNum, dirID, i);
    if (err == fnfErr)
      break;
    if (err)
      return err;
    const FInfo &fi = pb.hFileInfo.ioFlFndrInfo;
    if (IsFolder(pb) || (fi.fdFlags & kIsInvisible))
      continue;
    if ((fileType == 0 || fi.fdType == fileType) && (creator == 0 || fi.fdCreator == creator))
      ++found;
  }
  if (count)
    *count = found;
  return noErr;
}

OSErr HGetSubItem(SInt16 vRefNum, SInt32 dirID, SInt32 *index, OSType fileType, OSType creator,
                  StringPtr name) noexcept {
  if (index == nullptr || *index < 1)
    return paramErr;
  CInfoPBRec pb;
  Str255 itemName;
  std::memset(&pb, 0, sizeof pb);
  pb.hFileInfo.ioNamePtr = itemName;
  for (;;) {
    if (OSErr err = GetIndexedCatInfo(pb, vRefNum, dirID, UInt32(*index)))
      return err;
    const FInfo &fi = pb.hFileInfo.ioFlFndrInfo;
    if ((fileType == 0 || fi.fdType == fileType) && (creator == 0 || fi.fdCreator == creator))
      break;
    if (*index == INT32_MAX)
      return fnfErr;
    ++*index;
  }
  if (name)
    CopyPascalString(itemName, name);
  return noErr;
}

} // extern "C"
