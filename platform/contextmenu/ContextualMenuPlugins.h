/*
 * The contextual-menu plug-in interface: what a host expects of a plug-in
 * object, and the UUIDs that name the plug-in type and its interface.
 *
 * A plug-in object's first field points to a ContextualMenuInterfaceStruct;
 * the object's address is the interface pointer. The host calls every
 * operation through that table, passing the object as the first argument.
 *
 *     ContextualMenuInterfaceStruct **menu = ...;   // from QueryInterface
 *     (*menu)->ExamineContext(menu, &context, &commands);
 */
#ifndef PLATFORM_CONTEXTMENU_CONTEXTUALMENUPLUGINS_H
#define PLATFORM_CONTEXTMENU_CONTEXTUALMENUPLUGINS_H

#include "platform/appleevents/AppleEvents.h"
#include "platform/corefoundation/CoreFoundation.h"

PLATFORM_BEGIN_DECLS

typedef SInt32 HRESULT;
typedef UInt32 ULONG;
typedef void *LPVOID;
typedef CFUUIDBytes REFIID;

#define S_OK ((HRESULT)0)
#define E_NOINTERFACE ((HRESULT)0x80000004)

/* 2F6522E9-3E66-11D5-80A7-003065B300BC */
#define kContextualMenuTypeID                                                                  \
  CFUUIDGetConstantUUIDWithBytes(NULL, 0x2F, 0x65, 0x22, 0xE9, 0x3E, 0x66, 0x11, 0xD5, 0x80, \
                                 0xA7, 0x00, 0x30, 0x65, 0xB3, 0x00, 0xBC)
/* 32997B62-3E66-11D5-BEAB-003065B300BC */
#define kContextualMenuInterfaceID                                                             \
  CFUUIDGetConstantUUIDWithBytes(NULL, 0x32, 0x99, 0x7B, 0x62, 0x3E, 0x66, 0x11, 0xD5, 0xBE, \
                                 0xAB, 0x00, 0x30, 0x65, 0xB3, 0x00, 0xBC)
/* 00000000-0000-0000-C000-000000000046 */
#define IUnknownUUID                                                                           \
  CFUUIDGetConstantUUIDWithBytes(NULL, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, \
                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46)

/* Command records a plug-in appends to the host's list. */
enum {
  keyContextualMenuName = QL_FOURCC('p', 'n', 'a', 'm'),
  keyContextualMenuCommandID = QL_FOURCC('c', 'm', 'c', 'd'),
  keyContextualMenuSubmenu = QL_FOURCC('c', 'm', 's', 'b')
};

typedef struct ContextualMenuInterfaceStruct {
  void *_reserved;
  HRESULT (*QueryInterface)(void *thisPointer, REFIID iid, LPVOID *ppv);
  ULONG (*AddRef)(void *thisPointer);
  ULONG (*Release)(void *thisPointer);
  OSStatus (*ExamineContext)(void *thisInstance, const AEDesc *inContext, AEDescList *outCommandPairs);
  OSStatus (*HandleSelection)(void *thisInstance, AEDesc *inContext, SInt32 inCommandID);
  void (*PostMenuCleanup)(void *thisInstance);
} ContextualMenuInterfaceStruct;

PLATFORM_END_DECLS

#endif
