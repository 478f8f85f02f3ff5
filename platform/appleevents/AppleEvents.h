/*
 * Apple Event Manager: descriptors (typed data), descriptor lists, records
 * (keyword-tagged items) and Apple events (attributes and parameters),
 * coercions between descriptor types, flattening, event handlers and
 * sending.
 *
 * Ownership: every call that stores data copies it; every descriptor a call
 * hands out belongs to the caller until AEDisposeDesc. A descriptor's data
 * lives in Memory Manager handles, so the Memory Manager's allocation
 * failures reach these calls as memFullErr. A descriptor that was never
 * made by these calls (or was disposed of already through another copy of
 * the record) is refused with errAENotAEDesc; nothing is freed twice.
 *
 * Data is kept as the caller gave it (numbers in host order). Getters that
 * take a desired type coerce (see AECoerceDesc); typeWildCard means "as it
 * is".
 *
 *     AEDescList list;
 *     OSErr err = AECreateList(NULL, 0, false, &list);
 *     SInt32 n = 42;
 *     if (err == noErr) err = AEPutPtr(&list, 0, typeSInt32, &n, sizeof n);
 *     ...
 *     AEDisposeDesc(&list);
 *
 * Every call is noexcept; calls serialise on one lock, handlers run outside
 * it.
 */
#ifndef PLATFORM_APPLEEVENTS_APPLEEVENTS_H
#define PLATFORM_APPLEEVENTS_APPLEEVENTS_H

#include "platform/core/MacErrors.h"
#include "platform/core/MacTypes.h"

PLATFORM_BEGIN_DECLS

/* ---- Process serial numbers ---------------------------------------------
 * Shared with the Process Manager's header, which defines the same guard. */
#ifndef QL_PROCESS_SERIAL_NUMBER_DEFINED
#define QL_PROCESS_SERIAL_NUMBER_DEFINED
typedef struct ProcessSerialNumber {
  UInt32 highLongOfPSN;
  UInt32 lowLongOfPSN;
} ProcessSerialNumber;
typedef ProcessSerialNumber *ProcessSerialNumberPtr;
enum { kNoProcess = 0, kSystemProcess = 1, kCurrentProcess = 2 };
#endif

/* ---- Types -------------------------------------------------------------*/
typedef OSType DescType;
typedef OSType AEKeyword;
typedef OSType AEEventClass;
typedef OSType AEEventID;
typedef SInt16 AEReturnID;
typedef SInt32 AETransactionID;
typedef SInt32 AESendMode;
typedef SInt16 AESendPriority;
typedef SInt16 AEEventSource;
/* A handler's reference value: pointer-sized, so it may carry a pointer. */
typedef void *SRefCon;

/* The opaque storage behind a descriptor (pointer-sized). */
typedef struct OpaqueAEDataStorageType *AEDataStorageType;
typedef AEDataStorageType *AEDataStorage;

typedef struct AEDesc {
  DescType descriptorType;
  AEDataStorage dataHandle; /* NULL for a null descriptor */
} AEDesc;
typedef AEDesc *AEDescPtr;
typedef AEDesc AEAddressDesc;
typedef AEDesc AEDescList;
typedef AEDescList AERecord;
typedef AERecord AppleEvent;
typedef AppleEvent *AppleEventPtr;

struct EventRecord; /* the Event Manager's event record */
struct MacRegion;   /* QuickDraw's region record */
typedef Boolean (*AEIdleProcPtr)(struct EventRecord *theEvent, SInt32 *sleepTime,
                                 struct MacRegion ***mouseRgn);
typedef Boolean (*AEFilterProcPtr)(struct EventRecord *theEvent, SInt32 returnID,
                                   SInt32 transactionID, const AEAddressDesc *sender);
typedef OSErr (*AEEventHandlerProcPtr)(const AppleEvent *theAppleEvent, AppleEvent *reply,
                                       SRefCon handlerRefcon);
/* Universal procedure pointers are plain function pointers here. */
typedef AEIdleProcPtr AEIdleUPP;
typedef AEFilterProcPtr AEFilterUPP;
typedef AEEventHandlerProcPtr AEEventHandlerUPP;

/* ---- Codes -------------------------------------------------------------*/
enum {
  typeNull = QL_FOURCC('n', 'u', 'l', 'l'),
  typeWildCard = QL_FOURCC('*', '*', '*', '*'),
  typeBoolean = QL_FOURCC('b', 'o', 'o', 'l'),
  typeTrue = QL_FOURCC('t', 'r', 'u', 'e'),
  typeFalse = QL_FOURCC('f', 'a', 'l', 's'),
  typeSInt16 = QL_FOURCC('s', 'h', 'o', 'r'),
  typeShortInteger = QL_FOURCC('s', 'h', 'o', 'r'),
  typeSInt32 = QL_FOURCC('l', 'o', 'n', 'g'),
  typeLongInteger = QL_FOURCC('l', 'o', 'n', 'g'),
  typeUInt32 = QL_FOURCC('m', 'a', 'g', 'n'),
  typeMagnitude = QL_FOURCC('m', 'a', 'g', 'n'),
  typeIEEE32BitFloatingPoint = QL_FOURCC('s', 'i', 'n', 'g'),
  typeShortFloat = QL_FOURCC('s', 'i', 'n', 'g'),
  typeIEEE64BitFloatingPoint = QL_FOURCC('d', 'o', 'u', 'b'),
  typeFloat = QL_FOURCC('d', 'o', 'u', 'b'),
  typeChar = QL_FOURCC('T', 'E', 'X', 'T'),
  typeUnicodeText = QL_FOURCC('u', 't', 'x', 't'),
  typeUTF8Text = QL_FOURCC('u', 't', 'f', '8'),
  typeType = QL_FOURCC('t', 'y', 'p', 'e'),
  typeKeyword = QL_FOURCC('k', 'e', 'y', 'w'),
  typeEnumerated = QL_FOURCC('e', 'n', 'u', 'm'),
  typeProperty = QL_FOURCC('p', 'r', 'o', 'p'),
  typeObjectSpecifier = QL_FOURCC('o', 'b', 'j', ' '),
  typeFSS = QL_FOURCC('f', 's', 's', ' '),
  typeFSRef = QL_FOURCC('f', 's', 'r', 'f'),
  typeAlias = QL_FOURCC('a', 'l', 'i', 's'),
  typeFileURL = QL_FOURCC('f', 'u', 'r', 'l'),
  typeAEList = QL_FOURCC('l', 'i', 's', 't'),
  typeAERecord = QL_FOURCC('r', 'e', 'c', 'o'),
  typeAppleEvent = QL_FOURCC('a', 'e', 'v', 't'),
  typeAppParameters = QL_FOURCC('a', 'p', 'p', 'a'),
  typeProcessSerialNumber = QL_FOURCC('p', 's', 'n', ' '),
  typeKernelProcessID = QL_FOURCC('k', 'p', 'i', 'd'),
  typeApplSignature = QL_FOURCC('s', 'i', 'g', 'n'),
  typeApplicationBundleID = QL_FOURCC('b', 'u', 'n', 'd')
};

enum {
  keyDirectObject = QL_FOURCC('-', '-', '-', '-'),
  keyErrorNumber = QL_FOURCC('e', 'r', 'r', 'n'),
  keyErrorString = QL_FOURCC('e', 'r', 'r', 's'),
  keyAEName = QL_FOURCC('p', 'n', 'a', 'm'),
  keyAEData = QL_FOURCC('d', 'a', 't', 'a'),
  keyAESaveOptions = QL_FOURCC('s', 'a', 'v', 'o'),
  /* Attributes of an Apple event. */
  keyEventClassAttr = QL_FOURCC('e', 'v', 'c', 'l'),
  keyEventIDAttr = QL_FOURCC('e', 'v', 'i', 'd'),
  keyAddressAttr = QL_FOURCC('a', 'd', 'd', 'r'),
  keyReturnIDAttr = QL_FOURCC('r', 't', 'i', 'd'),
  keyTransactionIDAttr = QL_FOURCC('t', 'r', 'a', 'n'),
  keyOptionalKeywordAttr = QL_FOURCC('o', 'p', 't', 'k'),
  keyMissedKeywordAttr = QL_FOURCC('m', 'i', 's', 's'),
  keyOriginalAddressAttr = QL_FOURCC('f', 'r', 'o', 'm'),
  keyEventSourceAttr = QL_FOURCC('e', 's', 'r', 'c'),
  keyTimeoutAttr = QL_FOURCC('t', 'i', 'm', 'o'),
  keyInteractLevelAttr = QL_FOURCC('i', 'n', 't', 'e')
};

enum {
  kCoreEventClass = QL_FOURCC('a', 'e', 'v', 't'),
  kAEOpenApplication = QL_FOURCC('o', 'a', 'p', 'p'),
  kAEOpenDocuments = QL_FOURCC('o', 'd', 'o', 'c'),
  kAEPrintDocuments = QL_FOURCC('p', 'd', 'o', 'c'),
  kAEQuitApplication = QL_FOURCC('q', 'u', 'i', 't'),
  kAEReopenApplication = QL_FOURCC('r', 'a', 'p', 'p'),
  kAEAnswer = QL_FOURCC('a', 'n', 's', 'r'),
  kAECoreSuite = QL_FOURCC('c', 'o', 'r', 'e'),
  kAEGetData = QL_FOURCC('g', 'e', 't', 'd'),
  kAESetData = QL_FOURCC('s', 'e', 't', 'd'),
  kAEAsk = QL_FOURCC('a', 's', 'k', ' '),
  kAEYes = QL_FOURCC('y', 'e', 's', ' '),
  kAENo = QL_FOURCC('n', 'o', ' ', ' ')
};

/* Send modes: one of the reply modes, optionally combined with the others. */
enum {
  kAENoReply = 0x00000001,
  kAEQueueReply = 0x00000002,
  kAEWaitReply = 0x00000003,
  kAEDontReconnect = 0x00000080,
  kAEWantReceipt = 0x00000200,
  kAENeverInteract = 0x00000010,
  kAECanInteract = 0x00000020,
  kAEAlwaysInteract = 0x00000030,
  kAECanSwitchLayer = 0x00000040,
  kAEDontRecord = 0x00001000,
  kAEDontExecute = 0x00002000,
  kAEProcessNonReplyEvents = 0x00008000
};
enum { kAENormalPriority = 0, kAEHighPriority = 1 };
enum { kAEDefaultTimeout = -1, kNoTimeOut = -2 };
enum { kAutoGenerateReturnID = -1, kAnyTransactionID = 0 };
enum {
  kAEUnknownSource = 0,
  kAEDirectCall = 1,
  kAESameProcess = 2,
  kAELocalProcess = 3,
  kAERemoteProcess = 4
};

/* ---- Descriptors -------------------------------------------------------*/

/* Sets *desc to the null descriptor (typeNull, no data) without freeing
 * anything. */
PLATFORM_API void AEInitializeDesc(AEDesc *desc) PLATFORM_NOEXCEPT;
/* A descriptor of typeCode holding a copy of dataSize bytes (dataPtr may be
 * NULL when dataSize is 0). typeNull with no bytes gives the null
 * descriptor. Errors: paramErr (negative size, NULL data with a size, NULL
 * result), memFullErr. *result is written only on success. */
PLATFORM_API OSErr AECreateDesc(DescType typeCode, const void *dataPtr, Size dataSize,
                                AEDesc *result) PLATFORM_NOEXCEPT;
/* Frees the descriptor's data (of every kind, with all its items) and
 * sets *theAEDesc to the null descriptor. The null descriptor is noErr;
 * a descriptor these calls did not make, or already disposed of through a
 * copy of the record, is errAENotAEDesc and is left alone. */
PLATFORM_API OSErr AEDisposeDesc(AEDesc *theAEDesc) PLATFORM_NOEXCEPT;
/* A deep copy. */
PLATFORM_API OSErr AEDuplicateDesc(const AEDesc *theAEDesc, AEDesc *result) PLATFORM_NOEXCEPT;
/* The data's size: the bytes of a plain descriptor; for a list, record or
 * Apple event, the size of its flattened form (see AEFlattenDesc). 0 for
 * the null descriptor or one these calls did not make. */
PLATFORM_API Size AEGetDescDataSize(const AEDesc *theAEDesc) PLATFORM_NOEXCEPT;
/* Copies at most maximumSize bytes of the data (as AEGetDescDataSize
 * describes it) to dataPtr. */
PLATFORM_API OSErr AEGetDescData(const AEDesc *theAEDesc, void *dataPtr, Size maximumSize) PLATFORM_NOEXCEPT;

/* ---- Coercion ------------------------------------------------------------
 * Supported coercions (anything else is errAECoercionFail):
 *   - identity (any descriptor to its own type, and to typeWildCard);
 *   - 'shor', 'long', 'magn', 'sing', 'doub', 'bool' among each other when
 *     the value is exactly representable ('bool' is 0 or 1; 'true' and
 *     'fals' coerce to 'bool'); otherwise errAECoercionFail;
 *   - 'TEXT' (Mac Roman), 'utxt' (UTF-16, host order), 'utf8' among each
 *     other; text that cannot be converted is errAECoercionFail;
 *   - 'fss ' (FSSpec, 70 bytes), 'fsrf' (FSRef, 80 bytes), 'alis' (an alias
 *     record) and 'furl' (the text "file:///path", percent-encoded; a
 *     folder's URL ends with '/') among each other, through the Alias
 *     Manager: the item must exist (File Manager and Alias Manager errors
 *     such as fnfErr pass up unchanged);
 *   - 'aevt' (an Apple event) to 'appa' (its flattened form, as written by
 *     AEFlattenDesc) and 'appa' back to 'aevt' (errAECorruptData for data
 *     that is not a well-formed flattened event).
 * *result is written only on success. */
PLATFORM_API OSErr AECoercePtr(DescType typeCode, const void *dataPtr, Size dataSize,
                               DescType toType, AEDesc *result) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr AECoerceDesc(const AEDesc *theAEDesc, DescType toType, AEDesc *result) PLATFORM_NOEXCEPT;

/* ---- Lists and records ---------------------------------------------------
 * A list holds descriptors by index (1-based); a record holds them by
 * keyword, in the order they were first put. Indexed getters work on
 * lists, records and the parameters of an Apple event (*theAEKeyword
 * receives the item's keyword, or typeWildCard for a list item).
 * Errors common to these calls: errAENotAEDesc for a descriptor not made
 * here, errAEWrongDataType when the descriptor is not a list or record
 * (not an Apple event, not a record, as each call says), errAEIllegalIndex
 * for an index out of range, errAEDescNotFound for a missing keyword,
 * memFullErr, and the coercion errors. */

/* An empty list (typeAEList) or, with isRecord, an empty record
 * (typeAERecord). The factoring arguments are accepted and ignored. */
PLATFORM_API OSErr AECreateList(const void *factoringPtr, Size factoredSize, Boolean isRecord,
                                AEDescList *resultList) PLATFORM_NOEXCEPT;
/* The number of items of a list or record, or of parameters of an Apple
 * event. */
PLATFORM_API OSErr AECountItems(const AEDescList *theAEDescList, SInt32 *theCount) PLATFORM_NOEXCEPT;
/* Puts a copy of the data at index: 0 or count + 1 appends, 1..count
 * replaces. Lists only (a record takes AEPutKeyPtr). */
PLATFORM_API OSErr AEPutPtr(AEDescList *theAEDescList, SInt32 index, DescType typeCode,
                            const void *dataPtr, Size dataSize) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr AEPutDesc(AEDescList *theAEDescList, SInt32 index, const AEDesc *theAEDesc) PLATFORM_NOEXCEPT;
/* Reads item index, coerced to desiredType, into dataPtr (at most
 * maximumSize bytes); *actualSize receives the whole size of the coerced
 * data. theAEKeyword, typeCode and actualSize may be NULL. */
PLATFORM_API OSErr AEGetNthPtr(const AEDescList *theAEDescList, SInt32 index, DescType desiredType,
                               AEKeyword *theAEKeyword, DescType *typeCode, void *dataPtr,
                               Size maximumSize, Size *actualSize) PLATFORM_NOEXCEPT;
/* A copy of item index, coerced to desiredType, in *result (the caller's). */
PLATFORM_API OSErr AEGetNthDesc(const AEDescList *theAEDescList, SInt32 index, DescType desiredType,
                                AEKeyword *theAEKeyword, AEDesc *result) PLATFORM_NOEXCEPT;
/* The type and data size of item index (either output may be NULL). */
PLATFORM_API OSErr AESizeOfNthItem(const AEDescList *theAEDescList, SInt32 index, DescType *typeCode,
                                   Size *dataSize) PLATFORM_NOEXCEPT;
/* Removes item index; later items move down. */
PLATFORM_API OSErr AEDeleteItem(AEDescList *theAEDescList, SInt32 index) PLATFORM_NOEXCEPT;

/* Keyed items of a record, or parameters of an Apple event. A put under an
 * existing keyword replaces that item in place. */
PLATFORM_API OSErr AEPutParamPtr(AppleEvent *theAppleEvent, AEKeyword theAEKeyword, DescType typeCode,
                                 const void *dataPtr, Size dataSize) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr AEPutParamDesc(AppleEvent *theAppleEvent, AEKeyword theAEKeyword,
                                  const AEDesc *theAEDesc) PLATFORM_NOEXCEPT;
/* Reading a parameter marks it as read (see keyMissedKeywordAttr). */
PLATFORM_API OSErr AEGetParamPtr(const AppleEvent *theAppleEvent, AEKeyword theAEKeyword,
                                 DescType desiredType, DescType *typeCode, void *dataPtr,
                                 Size maximumSize, Size *actualSize) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr AEGetParamDesc(const AppleEvent *theAppleEvent, AEKeyword theAEKeyword,
                                  DescType desiredType, AEDesc *result) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr AESizeOfParam(const AppleEvent *theAppleEvent, AEKeyword theAEKeyword,
                                 DescType *typeCode, Size *dataSize) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr AEDeleteParam(AppleEvent *theAppleEvent, AEKeyword theAEKeyword) PLATFORM_NOEXCEPT;
/* The same calls under their record names. */
PLATFORM_API OSErr AEPutKeyPtr(AERecord *theAERecord, AEKeyword theAEKeyword, DescType typeCode,
                               const void *dataPtr, Size dataSize) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr AEPutKeyDesc(AERecord *theAERecord, AEKeyword theAEKeyword,
                                const AEDesc *theAEDesc) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr AEGetKeyPtr(const AERecord *theAERecord, AEKeyword theAEKeyword, DescType desiredType,
                               DescType *typeCode, void *dataPtr, Size maximumSize,
                               Size *actualSize) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr AEGetKeyDesc(const AERecord *theAERecord, AEKeyword theAEKeyword, DescType desiredType,
                                AEDesc *result) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr AESizeOfKeyDesc(const AERecord *theAERecord, AEKeyword theAEKeyword,
                                   DescType *typeCode, Size *dataSize) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr AEDeleteKeyDesc(AERecord *theAERecord, AEKeyword theAEKeyword) PLATFORM_NOEXCEPT;

/* ---- Apple events --------------------------------------------------------
 * An Apple event (typeAppleEvent) has attributes and parameters. Creation
 * stores the attributes keyEventClassAttr and keyEventIDAttr (typeType),
 * keyAddressAttr (a copy of the target, of its own type), keyReturnIDAttr
 * (typeSInt16; kAutoGenerateReturnID picks a new ID unique in this
 * process) and keyTransactionIDAttr (typeSInt32). keyMissedKeywordAttr is
 * computed when read: the first parameter not yet read (typeKeyword) that
 * is not listed in keyOptionalKeywordAttr (a list of typeKeyword), or
 * errAEDescNotFound when every parameter was read. Attribute calls on
 * anything but an Apple event give errAENotAppleEvent. */
PLATFORM_API OSErr AECreateAppleEvent(AEEventClass theAEEventClass, AEEventID theAEEventID,
                                      const AEAddressDesc *target, AEReturnID returnID,
                                      AETransactionID transactionID, AppleEvent *result) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr AEPutAttributePtr(AppleEvent *theAppleEvent, AEKeyword theAEKeyword, DescType typeCode,
                                     const void *dataPtr, Size dataSize) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr AEPutAttributeDesc(AppleEvent *theAppleEvent, AEKeyword theAEKeyword,
                                      const AEDesc *theAEDesc) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr AEGetAttributePtr(const AppleEvent *theAppleEvent, AEKeyword theAEKeyword,
                                     DescType desiredType, DescType *typeCode, void *dataPtr,
                                     Size maximumSize, Size *actualSize) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr AEGetAttributeDesc(const AppleEvent *theAppleEvent, AEKeyword theAEKeyword,
                                      DescType desiredType, AEDesc *result) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr AESizeOfAttribute(const AppleEvent *theAppleEvent, AEKeyword theAEKeyword,
                                     DescType *typeCode, Size *dataSize) PLATFORM_NOEXCEPT;

/* ---- Flattening ------------------------------------------------------------
 * The flattened form of any descriptor, big-endian throughout:
 *
 *   stream := magic 'QLAE' (4) | version UInt16 = 1 | reserved UInt16 = 0 |
 *             total length UInt32 (of the whole stream) | desc
 *   desc   := type OSType (4) | kind UInt8 | body
 *     kind 0 (data):   length UInt32 | length bytes (the data as stored)
 *     kind 1 (list):   count UInt32 | count x desc
 *     kind 2 (record): count UInt32 | count x (keyword OSType | desc)
 *     kind 3 (event):  attribute count UInt32 | count x (keyword | desc) |
 *                      parameter count UInt32 | count x (keyword | desc)
 *     kind 4 (null):   nothing (the null descriptor)
 *
 * Nesting is at most 64 deep. Unflattening checks every length and count
 * against the bytes that remain and fails with errAECorruptData for any
 * truncation, excess, unknown kind or version (errAENewerVersion for a
 * later version). */
PLATFORM_API Size AESizeOfFlattenedDesc(const AEDesc *theAEDesc) PLATFORM_NOEXCEPT;
/* Writes the flattened form into buffer; a buffer smaller than
 * AESizeOfFlattenedDesc gives errAEBufferTooSmall and *actualSize receives
 * the size needed. actualSize may be NULL. */
PLATFORM_API OSStatus AEFlattenDesc(const AEDesc *theAEDesc, Ptr buffer, Size bufferSize,
                                    Size *actualSize) PLATFORM_NOEXCEPT;
PLATFORM_API OSStatus AEUnflattenDesc(const void *buffer, AEDesc *result) PLATFORM_NOEXCEPT;
/* AEUnflattenDesc reads the 12-byte header and then trusts the total length
 * it records: the caller must hold that many bytes. The sized form reads
 * no byte past bufferSize and wants the total length to equal it: prefer
 * it for data from outside. */
PLATFORM_API OSStatus PlatformAEUnflattenDescSized(const void *buffer, Size bufferSize,
                                                   AEDesc *result) PLATFORM_NOEXCEPT;
enum { errAEBufferTooSmall = -1741 };

/* ---- Handlers and sending --------------------------------------------------
 * Handlers are looked up by (class, ID), then (class, typeWildCard), then
 * (typeWildCard, ID), then (typeWildCard, typeWildCard). System handlers
 * form a table of their own, searched after the application's. */
PLATFORM_API OSErr AEInstallEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID,
                                         AEEventHandlerUPP handler, SRefCon handlerRefcon,
                                         Boolean isSysHandler) PLATFORM_NOEXCEPT;
/* errAEHandlerNotFound when no handler is installed for exactly that class
 * and ID with that procedure (a NULL handler removes whatever is there). */
PLATFORM_API OSErr AERemoveEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID,
                                        AEEventHandlerUPP handler, Boolean isSysHandler) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr AEGetEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID,
                                     AEEventHandlerUPP *handler, SRefCon *handlerRefcon,
                                     Boolean isSysHandler) PLATFORM_NOEXCEPT;

/* Sends an event.
 * - Target this process (keyAddressAttr of typeProcessSerialNumber holding
 *   {0, kCurrentProcess} or this process's own serial number, or
 *   typeKernelProcessID holding getpid()): the handler is called directly,
 *   on a copy of the event that carries keyOriginalAddressAttr (this
 *   process's serial number) and keyEventSourceAttr (kAESameProcess).
 *   With kAEWaitReply the reply is an 'aevt'/'ansr' event with the same
 *   return ID, passed to the handler; with the other modes the handler
 *   gets a null reply and *reply is the null descriptor. When the handler
 *   fails, its error is stored in the reply (keyErrorNumber, typeSInt16)
 *   when there is one, and returned. No handler: errAEEventNotHandled.
 * - Any other serial number: the transport installed with
 *   PlatformSetAESendTransport, or connectionInvalid when none is.
 * - Any other address (another typeKernelProcessID, an application
 *   signature or bundle ID, a null address): errAEUnknownAddressType.
 * reply may be NULL; when not, it is written in every case (the null
 * descriptor unless a reply was made). Priority, time-out, idle and filter
 * procedures are accepted and not used for this process. */
PLATFORM_API OSErr AESend(const AppleEvent *theAppleEvent, AppleEvent *reply, AESendMode sendMode,
                          AESendPriority sendPriority, SInt32 timeOutInTicks, AEIdleUPP idleProc,
                          AEFilterUPP filterProc) PLATFORM_NOEXCEPT;

PLATFORM_API AEIdleUPP NewAEIdleUPP(AEIdleProcPtr userRoutine) PLATFORM_NOEXCEPT;
PLATFORM_API void DisposeAEIdleUPP(AEIdleUPP userUPP) PLATFORM_NOEXCEPT;
PLATFORM_API AEEventHandlerUPP NewAEEventHandlerUPP(AEEventHandlerProcPtr userRoutine) PLATFORM_NOEXCEPT;
PLATFORM_API void DisposeAEEventHandlerUPP(AEEventHandlerUPP userUPP) PLATFORM_NOEXCEPT;

/* ---- Platform hooks ---------------------------------------------------------
 * Delivery to other processes, installed by the Process Manager. The
 * transport receives the target's serial number, the event (the caller's,
 * unchanged), the caller's reply (already the null descriptor; may be
 * filled by the transport) and the send mode. */
typedef OSErr (*PlatformAESendTransport)(const ProcessSerialNumber *target, const AppleEvent *event,
                                         AppleEvent *reply, SInt32 sendMode);
PLATFORM_API void PlatformSetAESendTransport(PlatformAESendTransport transport) PLATFORM_NOEXCEPT;
/* This process's serial number, installed by the Process Manager. Without
 * it, a serial number whose high word is this process's ID counts as this
 * process, and keyOriginalAddressAttr holds {0, kCurrentProcess}. */
typedef OSErr (*PlatformAECurrentProcess)(ProcessSerialNumber *psn);
PLATFORM_API void PlatformSetAECurrentProcess(PlatformAECurrentProcess lookup) PLATFORM_NOEXCEPT;
/* True when psn names this process (see above). */
PLATFORM_API Boolean PlatformAEIsCurrentProcess(const ProcessSerialNumber *psn) PLATFORM_NOEXCEPT;
/* Calls the handler installed for the event's class and ID, as a received
 * event is handled (for a transport's receiving side): errAEEventNotHandled
 * when there is none; reply may be NULL. */
PLATFORM_API OSErr PlatformAEDispatchEvent(const AppleEvent *theAppleEvent, AppleEvent *reply) PLATFORM_NOEXCEPT;

/* ---- Test hooks -------------------------------------------------------------*/
/* Descriptors handed out and not yet disposed of (every AEDesc that holds
 * data, whatever its kind; items inside a list do not count on their own). */
PLATFORM_API SInt32 PlatformLiveDescriptorCount(void) PLATFORM_NOEXCEPT;
/* Makes the n-th call from now on (counting from 1) of the calls that create
 * or copy descriptor data fail with err before doing anything; 0 disarms.
 * Those calls: AECreateDesc, AEDuplicateDesc, AECoercePtr, AECoerceDesc,
 * AECreateList, AECreateAppleEvent, AEPutPtr, AEPutDesc, AEPutParamPtr,
 * AEPutParamDesc, AEPutKeyPtr, AEPutKeyDesc, AEPutAttributePtr,
 * AEPutAttributeDesc, AEGetNthPtr, AEGetNthDesc, AEGetParamPtr,
 * AEGetParamDesc, AEGetKeyPtr, AEGetKeyDesc, AEGetAttributePtr,
 * AEGetAttributeDesc, AEUnflattenDesc, PlatformAEUnflattenDescSized and
 * AESend. */
PLATFORM_API void PlatformFailNthAECall(UInt32 n, OSErr err) PLATFORM_NOEXCEPT;
/* True when the armed failure has been injected since it was armed. */
PLATFORM_API Boolean PlatformAECallFailureInjected(void) PLATFORM_NOEXCEPT;
/* Removes every installed handler and the hooks (between tests). */
PLATFORM_API void PlatformResetAppleEvents(void) PLATFORM_NOEXCEPT;

PLATFORM_END_DECLS

#endif
