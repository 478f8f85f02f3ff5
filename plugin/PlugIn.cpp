// The plug-in object, its factory, and the encoder submenu.
#include <cstdlib>
#include <cstring>

#include "platform/files/Folders.h"
#include "platform/memory/Memory.h"
#include "plugin/QuillomatPlugIn.h"
#include "toolbox/appleevents/AppleEventToolbox.h"
#include "toolbox/files/FileToolbox.h"

namespace {

constexpr SInt32 kSubmenuCommandID = SInt32(ql::FourCC("Qlmt"));
const unsigned char kSubmenuTitle[] = "\x09Quillomat";
const unsigned char kEncodersFolder[] = "\x08" "Encoders";

// The plug-in object. The host's interface pointer is the object's address,
// whose first field points to the interface table.
struct PlugInInstance {
  ContextualMenuInterfaceStruct *interface;
  CFUUIDRef factoryID; // retained; the key of the factory's instance count
  UInt32 refCount;
  CFBundleRef bundle;  // the plug-in's own bundle, not owned
};

CFStringRef MakeString(const char *text) {
  return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}

void ReleasePlugInType(PlugInInstance *object) {
  CFUUIDRef factoryID = object->factoryID;
  std::free(object);
  if (factoryID) {
    CFPlugInRemoveInstanceForFactory(factoryID);
    CFRelease(factoryID);
  }
}

OSErr CreatePlugInType(CFUUIDRef factoryID, PlugInInstance **out) {
  auto *object = static_cast<PlugInInstance *>(std::calloc(1, sizeof(PlugInInstance)));
  if (object == nullptr)
    return memFullErr;
  object->interface = &gTestInterfaceFunctionTable;
  object->factoryID = factoryID ? static_cast<CFUUIDRef>(CFRetain(factoryID)) : nullptr;
  if (object->factoryID == nullptr) {
    ReleasePlugInType(object);
    return coreFoundationUnknownErr;
  }
  CFPlugInAddInstanceForFactory(object->factoryID);
  object->refCount = 1;
  CFStringRef identifier = MakeString(QUILLOMAT_BUNDLE_IDENTIFIER);
  object->bundle = identifier ? CFBundleGetBundleWithIdentifier(identifier) : nullptr;
  if (identifier)
    CFRelease(identifier);
  if (object->bundle == nullptr) {
    ReleasePlugInType(object);
    return resNotFound;
  }
  *out = object;
  return noErr;
}

ULONG PlugInAddRef(void *thisPointer) {
  auto *object = static_cast<PlugInInstance *>(thisPointer);
  return ++object->refCount;
}

ULONG PlugInRelease(void *thisPointer) {
  auto *object = static_cast<PlugInInstance *>(thisPointer);
  const ULONG count = --object->refCount;
  if (count == 0)
    ReleasePlugInType(object);
  return count;
}

HRESULT PlugInQueryInterface(void *thisPointer, REFIID iid, LPVOID *ppv) {
  CFUUIDRef requested = CFUUIDCreateFromUUIDBytes(nullptr, iid);
  HRESULT result;
  if (requested && (CFEqual(requested, kContextualMenuInterfaceID) || CFEqual(requested, IUnknownUUID))) {
    PlugInAddRef(thisPointer);
    *ppv = thisPointer;
    result = S_OK;
  } else {
    *ppv = nullptr;
    result = E_NOINTERFACE;
  }
  if (requested)
    CFRelease(requested);
  return result;
}

void DisposeHeldList() {
  if (gAppFSRefsHandle) {
    DisposeHandle(gAppFSRefsHandle);
    gAppFSRefsHandle = nullptr;
  }
}

// Builds the submenu from the named folder inside the user's Scripts
// folder: one entry per file of its tree, named by the file's display name,
// whose command ID is the file's index in the held list.
OSErr AddAppsFromFolder(ConstStr255Param folderName, AEDescList *commandList) {
  // A list held from an earlier examination goes first, so that a failed
  // build never leaves a stale list for the selection.
  DisposeHeldList();
  SInt16 vRefNum;
  SInt32 dirID;
  if (OSErr err = FindFolder(kUserDomain, kScriptsFolderType, kDontCreateFolder, &vRefNum, &dirID))
    return err;
  FSSpec folderSpec;
  if (OSErr err = FSMakeFSSpec(vRefNum, dirID, folderName, &folderSpec))
    return err;
  FSRef folder;
  if (OSErr err = FSpMakeFSRef(&folderSpec, &folder))
    return err;
  UInt32 count = 0;
  if (OSErr err = FSRefBuildSubItemList(&folder, &gAppFSRefsHandle, &count))
    return err;
  if (count == 0)
    return noErr;

  HLock(gAppFSRefsHandle);
  AEDescList submenu;
  AEInitializeDesc(&submenu);
  OSErr err = AECreateList(nullptr, 0, false, &submenu);
  if (err == noErr) {
    const FSRef *refs = reinterpret_cast<const FSRef *>(*gAppFSRefsHandle);
    for (UInt32 i = 0; i < count; ++i) {
      FSSpec spec;
      Str255 name;
      Boolean isFolder = false;
      if (FSRefMakeFSSpec(&refs[i], &spec) != noErr || FSpGetName(&spec, name) != noErr ||
          FSpIsFolder(&spec, &isFolder) != noErr)
        continue;
      if (isFolder || (name[0] > 0 && name[1] == '.'))
        continue;
      AddContextualMenuCommand(name, SInt32(i), &submenu);
    }
    err = AddContextualMenuHierarchicalCommandList(kSubmenuTitle, kSubmenuCommandID, &submenu, commandList);
    AEDisposeDesc(&submenu);
  }
  HUnlock(gAppFSRefsHandle);
  return err;
}

OSStatus PlugInExamineContext(void *thisInstance, const AEDesc *inContext, AEDescList *outCommandPairs) {
  if (inContext == nullptr)
    return paramErr;
  FSRef first;
  if (OSErr err = AEGetNthFSRef(inContext, 1, &first))
    return err;
  AddAppsFromFolder(kEncodersFolder, outCommandPairs);
  return noErr;
}

OSStatus PlugInHandleSelection(void *thisInstance, AEDesc *inContext, SInt32 inCommandID) {
  // Only an index of the held list names an application; anything else
  // (the plain submenu command, no list) opens nothing.
  if (gAppFSRefsHandle == nullptr || inCommandID < 0 ||
      UInt32(inCommandID) >= UInt32(GetHandleSize(gAppFSRefsHandle)) / sizeof(FSRef))
    return paramErr;
  const SignedByte state = HGetState(gAppFSRefsHandle);
  HLock(gAppFSRefsHandle);
  FSSpec application;
  OSErr err = FSRefMakeFSSpec(reinterpret_cast<const FSRef *>(*gAppFSRefsHandle) + inCommandID, &application);
  if (err == noErr) {
    for (SInt32 n = 1;; ++n) {
      FSSpec item;
      if (AEGetNthFSSpec(inContext, n, &item) != noErr)
        break;
      if (SimpleLaunchApplicationWithDocuments(&application, &item, 1, true) != noErr)
        break;
    }
  }
  HSetState(gAppFSRefsHandle, state);
  return err;
}

void PlugInPostMenuCleanup(void *thisInstance) { DisposeHeldList(); }

} // namespace

extern "C" {

Handle gAppFSRefsHandle = nullptr;

ContextualMenuInterfaceStruct gTestInterfaceFunctionTable = {
    nullptr,
    PlugInQueryInterface,
    PlugInAddRef,
    PlugInRelease,
    PlugInExamineContext,
    PlugInHandleSelection,
    PlugInPostMenuCleanup,
};

void *PlugInFactory(CFAllocatorRef allocator, CFUUIDRef typeID) noexcept {
  if (typeID == nullptr || !CFEqual(typeID, kContextualMenuTypeID))
    return nullptr;
  CFStringRef text = MakeString(QUILLOMAT_FACTORY_UUID);
  CFUUIDRef factoryID = text ? CFUUIDGetConstantUUIDWithString(nullptr, text) : nullptr;
  if (text)
    CFRelease(text);
  PlugInInstance *object = nullptr;
  if (factoryID == nullptr || CreatePlugInType(factoryID, &object) != noErr)
    return nullptr;
  return object;
}

} // extern "C"
