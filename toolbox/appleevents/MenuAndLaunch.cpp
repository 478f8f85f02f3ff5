// Descriptor-list access, contextual-menu command records, and opening
// documents with an application.
#include <cstdlib>
#include <cstring>

#include "platform/aliases/Aliases.h"
#include "platform/memory/Memory.h"
#include "toolbox/appleevents/AppleEventToolbox.h"
#include "toolbox/files/FileToolbox.h"

namespace {

constexpr DescType kTypeFSS = ql::FourCC("fss ");
constexpr DescType kTypeAlias = ql::FourCC("alis");
constexpr DescType kTypeChar = ql::FourCC("TEXT");
constexpr DescType kTypeUnicodeText = ql::FourCC("utxt");
constexpr DescType kTypeLongInteger = ql::FourCC("long");
constexpr DescType kTypePSN = ql::FourCC("psn ");
constexpr DescType kTypeAppParameters = ql::FourCC("appa");
constexpr AEKeyword kKeyName = ql::FourCC("pnam");
constexpr AEKeyword kKeyCommandID = ql::FourCC("cmcd");
constexpr AEKeyword kKeySubmenu = ql::FourCC("cmsb");
constexpr AEKeyword kKeyDirect = ql::FourCC("----");
constexpr AEEventClass kCoreClass = ql::FourCC("aevt");
constexpr AEEventID kOpenDocuments = ql::FourCC("odoc");
constexpr OSType kUnknownCode = ql::FourCC("????");

constexpr SInt16 kAutoReturnID = -1;
constexpr SInt32 kAnyTransaction = 0;
constexpr AESendMode kNoReply = 1;
constexpr AESendPriority kNormalPriority = 0;
constexpr SInt32 kNoTimeOutTicks = -2;

// Launch block values.
constexpr UInt16 kExtendedBlock = 0x4C43; // 'LC'
constexpr UInt32 kExtendedBlockLen = 32;
constexpr UInt16 kLaunchContinue = 0x4000;
constexpr UInt16 kLaunchNoFileFlags = 0x0800;
constexpr UInt16 kLaunchDontSwitch = 0x0200;
constexpr UInt16 kLaunchFileFlagsWithDocuments = 0x0800;

// A descriptor disposed of when it goes out of scope.
struct ScopedDesc {
  AEDesc d;
  ScopedDesc() { AEInitializeDesc(&d); }
  ~ScopedDesc() { AEDisposeDesc(&d); }
  ScopedDesc(const ScopedDesc &) = delete;
  ScopedDesc &operator=(const ScopedDesc &) = delete;
};

struct ScopedHandle {
  Handle h = nullptr;
  ~ScopedHandle() {
    if (h)
      DisposeHandle(h);
  }
};

OSErr NewCommandRecordWithText(AEDesc &record, DescType textType, const void *text, Size length) {
  if (OSErr err = AECreateList(nullptr, 0, true, &record))
    return err;
  return AEPutParamPtr(&record, kKeyName, textType, text, length);
}

OSErr AppendCommand(DescType textType, const void *text, Size length, SInt32 commandID, AEDescList *commandList) {
  ScopedDesc record;
  if (OSErr err = NewCommandRecordWithText(record.d, textType, text, length))
    return err;
  if (OSErr err = AEPutParamPtr(&record.d, kKeyCommandID, kTypeLongInteger, &commandID, sizeof commandID))
    return err;
  return AEPutDesc(commandList, 0, &record.d);
}

// Codes that do not tell one application from another: 0 and '????' match
// anything or everything unknown, and every symbolic link reads as
// 'slnk'/'rhap' whatever it points to.
bool CodesIdentifyApplication(OSType type, OSType creator) {
  if (type == 0 || creator == 0 || type == kUnknownCode || creator == kUnknownCode)
    return false;
  return !(type == ql::FourCC("slnk") && creator == ql::FourCC("rhap"));
}

// The running process launched from this application file, found by
// comparing application files, not type and creator codes.
OSErr FindProcessByApplicationFile(const FSSpec &application, ProcessSerialNumber &found) {
  FSRef appRef;
  if (OSErr err = FSpMakeFSRef(&application, &appRef))
    return err;
  ProcessSerialNumber psn = {0, kNoProcess};
  for (;;) {
    if (OSErr err = GetNextProcess(&psn))
      return err; // procNotFound at the end of the list
    FSSpec spec;
    ProcessInfoRec info;
    std::memset(&info, 0, sizeof info);
    info.processInfoLength = sizeof info;
    info.processAppSpec = &spec;
    if (GetProcessInformation(&psn, &info) != noErr)
      continue;
    FSRef ref;
    if (FSpMakeFSRef(&spec, &ref) == noErr && FSCompareFSRefs(&ref, &appRef) == noErr) {
      found = psn;
      return noErr;
    }
  }
}

} // namespace

extern "C" {

OSErr AEGetNthFSSpec(const AEDescList *list, SInt32 index, FSSpec *spec) noexcept {
  if (spec == nullptr)
    return paramErr;
  AEKeyword keyword;
  DescType type;
  Size actual = 0;
  if (OSErr err = AEGetNthPtr(list, index, kTypeFSS, &keyword, &type, spec, sizeof(FSSpec), &actual))
    return err;
  // A short record would leave part of the FSSpec unset, and a name length
  // beyond its field would make readers run past it: neither is a spec.
  if (actual != Size(sizeof(FSSpec)) || spec->name[0] > 63)
    return errAECoercionFail;
  return noErr;
}

OSErr AEGetNthFSRef(const AEDescList *list, SInt32 index, FSRef *ref) noexcept {
  if (list == nullptr || ref == nullptr)
    return paramErr;
  ScopedDesc item;
  ScopedHandle alias;
  AEKeyword keyword;
  if (OSErr err = AEGetNthDesc(list, index, kTypeAlias, &keyword, &item.d))
    return err;
  if (OSErr err = AEGetDescDataHandle(&item.d, &alias.h))
    return err;
  HUnlock(alias.h);
  FSRef target;
  Boolean changed = false;
  if (OSErr err = FSResolveAlias(nullptr, reinterpret_cast<AliasHandle>(alias.h), &target, &changed))
    return err;
  *ref = target;
  return noErr;
}

OSErr AEGetDescDataHandle(const AEDesc *desc, Handle *data) noexcept {
  if (desc == nullptr || data == nullptr)
    return paramErr;
  const Size size = AEGetDescDataSize(desc);
  Handle h = NewHandle(size);
  if (h == nullptr)
    return memFullErr;
  if (OSErr err = AEGetDescData(desc, *h, size)) {
    DisposeHandle(h);
    return err;
  }
  *data = h;
  return noErr;
}

OSErr AddContextualMenuCommand(ConstStr255Param text, SInt32 commandID, AEDescList *commandList) noexcept {
  if (text == nullptr || commandList == nullptr)
    return paramErr;
  return AppendCommand(kTypeChar, text + 1, text[0], commandID, commandList);
}

OSErr AddContextualMenuCommandCFString(CFStringRef text, SInt32 commandID, AEDescList *commandList) noexcept {
  if (text == nullptr || commandList == nullptr)
    return paramErr;
  const CFIndex length = CFStringGetLength(text);
  const UniChar *units = CFStringGetCharactersPtr(text);
  UniChar *copy = nullptr;
  // An empty string needs no copy (a zero-byte allocation may come back
  // null and would read as a memory failure).
  if (units == nullptr && length > 0) {
    copy = static_cast<UniChar *>(std::malloc(size_t(length) * sizeof(UniChar)));
    if (copy == nullptr)
      return memFullErr;
    CFStringGetCharacters(text, CFRangeMake(0, length), copy);
    units = copy;
  }
  OSErr err = AppendCommand(kTypeUnicodeText, units, Size(length * Size(sizeof(UniChar))), commandID, commandList);
  std::free(copy);
  return err;
}

OSErr AddContextualMenuHierarchicalCommandList(ConstStr255Param title, SInt32 commandID, const AEDescList *submenu,
                                               AEDescList *commandList) noexcept {
  if (title == nullptr || submenu == nullptr || commandList == nullptr)
    return paramErr;
  ScopedDesc record;
  if (OSErr err = NewCommandRecordWithText(record.d, kTypeChar, title + 1, title[0]))
    return err;
  SInt32 count = 0;
  if (OSErr err = AECountItems(submenu, &count))
    return err;
  OSErr err = count > 0 ? AEPutParamDesc(&record.d, kKeySubmenu, submenu)
                        : AEPutParamPtr(&record.d, kKeyCommandID, kTypeLongInteger, &commandID, sizeof commandID);
  if (err)
    return err;
  return AEPutDesc(commandList, 0, &record.d);
}

OSErr SimpleLaunchApplication(const FSSpec *application, Boolean bringToFront) noexcept {
  if (application == nullptr)
    return paramErr;
  LaunchParamBlockRec launch;
  std::memset(&launch, 0, sizeof launch);
  launch.launchBlockID = kExtendedBlock;
  launch.launchEPBLength = kExtendedBlockLen;
  launch.launchFileFlags = 0;
  launch.launchControlFlags = UInt16(kLaunchContinue | kLaunchNoFileFlags | (bringToFront ? 0 : kLaunchDontSwitch));
  launch.launchAppSpec = const_cast<FSSpecPtr>(application);
  launch.launchAppParameters = nullptr;
  return LaunchApplication(&launch);
}

OSErr SimpleLaunchApplicationWithDocuments(const FSSpec *application, const FSSpec *documents, UInt32 count,
                                           Boolean bringToFront) noexcept {
  if (application == nullptr || documents == nullptr || count == 0)
    return paramErr;
  OSType type = 0, creator = 0;
  if (OSErr err = FSpGetTypeAndCreator(application, &type, &creator))
    return err;
  ProcessSerialNumber running;
  OSErr found = CodesIdentifyApplication(type, creator) ? FindTypeCreatorProcess(type, creator, &running)
                                                       : FindProcessByApplicationFile(*application, running);
  if (found == noErr) {
    if (OSErr err = OpenDocumentsWithRunningApplication(&running, documents, count))
      return err;
    return bringToFront ? SetFrontProcess(&running) : OSErr(noErr);
  }
  if (found != procNotFound)
    return found;

  // Not running: launch it with the event in its launch parameters. The
  // event's address does not matter; it travels inside the parameters.
  ProcessSerialNumber self;
  if (OSErr err = GetCurrentProcess(&self))
    return err;
  ScopedDesc coerced;
  {
    ScopedDesc event;
    if (OSErr err = BuildOpenDocumentEvent(&self, documents, count, &event.d))
      return err;
    if (OSErr err = AECoerceDesc(&event.d, kTypeAppParameters, &coerced.d))
      return err;
  }
  ScopedHandle parameters;
  if (OSErr err = AEGetDescDataHandle(&coerced.d, &parameters.h))
    return err;
  HLock(parameters.h);
  LaunchParamBlockRec launch;
  std::memset(&launch, 0, sizeof launch);
  launch.launchBlockID = kExtendedBlock;
  launch.launchEPBLength = kExtendedBlockLen;
  launch.launchFileFlags = kLaunchFileFlagsWithDocuments;
  launch.launchControlFlags = UInt16(kLaunchContinue | (bringToFront ? 0 : kLaunchDontSwitch));
  launch.launchAppSpec = const_cast<FSSpecPtr>(application);
  launch.launchAppParameters = reinterpret_cast<AppParametersPtr>(*parameters.h);
  return LaunchApplication(&launch);
}

OSErr OpenDocumentsWithRunningApplication(const ProcessSerialNumber *process, const FSSpec *documents,
                                          UInt32 count) noexcept {
  if (process == nullptr || documents == nullptr || count == 0)
    return paramErr;
  ScopedDesc event;
  if (OSErr err = BuildOpenDocumentEvent(process, documents, count, &event.d))
    return err;
  ScopedDesc reply;
  return AESend(&event.d, &reply.d, kNoReply, kNormalPriority, kNoTimeOutTicks, nullptr, nullptr);
}

OSErr BuildOpenDocumentEvent(const ProcessSerialNumber *process, const FSSpec *documents, UInt32 count,
                             AppleEvent *event) noexcept {
  if (process == nullptr || documents == nullptr || count == 0 || event == nullptr)
    return paramErr;
  ScopedDesc built;
  {
    ScopedDesc address;
    if (OSErr err = AECreateDesc(kTypePSN, process, sizeof *process, &address.d))
      return err;
    if (OSErr err = AECreateAppleEvent(kCoreClass, kOpenDocuments, &address.d, kAutoReturnID, kAnyTransaction,
                                       &built.d))
      return err;
  }
  ScopedDesc list;
  if (OSErr err = AECreateList(nullptr, 0, false, &list.d))
    return err;
  for (UInt32 i = 0; i < count; ++i) {
    AliasHandle alias = nullptr;
    if (OSErr err = NewAlias(nullptr, &documents[i], &alias))
      return err;
    HLock(reinterpret_cast<Handle>(alias));
    ScopedDesc item;
    OSErr err = AECreateDesc(kTypeAlias, *alias, GetHandleSize(reinterpret_cast<Handle>(alias)), &item.d);
    DisposeHandle(reinterpret_cast<Handle>(alias));
    if (err)
      return err;
    if (OSErr putErr = AEPutDesc(&list.d, 0, &item.d))
      return putErr;
  }
  if (OSErr err = AEPutParamDesc(&built.d, kKeyDirect, &list.d))
    return err;
  *event = built.d;
  AEInitializeDesc(&built.d); // ownership passes to the caller
  return noErr;
}

OSErr FindTypeCreatorProcess(OSType fileType, OSType creator, ProcessSerialNumber *process) noexcept {
  ProcessSerialNumber psn = {0, kNoProcess};
  for (;;) {
    if (OSErr err = GetNextProcess(&psn))
      return err; // procNotFound: the end of the list
    ProcessInfoRec info;
    std::memset(&info, 0, sizeof info);
    info.processInfoLength = 60; // the record as the library knows it
    info.processName = nullptr;
    info.processAppSpec = nullptr;
    if (OSErr err = GetProcessInformation(&psn, &info))
      return err;
    if (fileType != 0 && fileType != info.processType)
      continue;
    if (creator != 0 && creator != info.processSignature)
      continue;
    if (process)
      *process = psn;
    return noErr;
  }
}

CFUUIDRef CFUUIDGetConstantUUIDWithString(CFAllocatorRef allocator, CFStringRef text) noexcept {
  CFUUIDRef made = CFUUIDCreateFromString(allocator, text);
  if (made == nullptr)
    return nullptr;
  CFUUIDBytes b = CFUUIDGetUUIDBytes(made);
  CFRelease(made);
  return CFUUIDGetConstantUUIDWithBytes(allocator, b.byte0, b.byte1, b.byte2, b.byte3, b.byte4, b.byte5, b.byte6,
                                        b.byte7, b.byte8, b.byte9, b.byte10, b.byte11, b.byte12, b.byte13, b.byte14,
                                        b.byte15);
}

} // extern "C"
