/*
 * CoreFoundation: reference-counted objects (UUIDs, strings, URLs, arrays,
 * bundles) and the plug-in model (factories, types, instance counting).
 *
 * Every object starts with a retain count of 1 and is freed when CFRelease
 * brings the count to 0. Constant objects (CFUUIDGetConstantUUIDWithBytes,
 * CFSTR) are interned for the life of the process: retains and releases
 * are counted but never free them, and their count never drops below 1.
 * Unlike the original platform, CFRetain(NULL) returns NULL and
 * CFRelease(NULL) does nothing, so a failed creation can be released
 * without a check.
 *
 * A string keeps its characters either as UTF-16 (CFStringGetCharactersPtr
 * gives a direct pointer) or as 8-bit text (Mac Roman or Latin-1; no direct
 * UTF-16 pointer, CFStringGetCStringPtr instead). CFStringCreateWithCharacters
 * always stores UTF-16; the C-string and Pascal-string creators store 8-bit
 * text when the source encoding is 8-bit, and UTF-8 text that is plain
 * ASCII, otherwise UTF-16.
 *
 * A bundle is a directory "NAME.plugin/" holding a text manifest named
 * "Info.manifest" and the shared object. The manifest has one directive a
 * line; blank lines and lines starting with '#' are ignored:
 *
 *     identifier org.example.encoders
 *     executable libencoders.so
 *     factory 0E2A1B8C-0000-4000-8000-00AA00BB00CC MyPlugInFactory
 *     type 2F6522E9-3E66-11D5-80A7-003065B300BC 0E2A1B8C-0000-4000-8000-00AA00BB00CC
 *
 * "executable" is a path relative to the bundle directory (or absolute);
 * "factory" names the exported function that makes instances for the
 * factory UUID, a `void *(*)(CFAllocatorRef, CFUUIDRef typeID)`; "type"
 * registers factories (one or more UUIDs) for a plug-in type. Creating a
 * bundle registers its factories; loading it (dlopen with RTLD_NOW |
 * RTLD_GLOBAL, so that the bundle and its host share one copy of every
 * library) makes them callable. A loaded bundle stays alive, and its code
 * stays mapped, until CFBundleUnloadExecutable, which does nothing while an
 * instance of one of its factories lives.
 *
 *     CFURLRef url = CFURLCreateFromFileSystemRepresentation(NULL, path, len, true);
 *     CFBundleRef bundle = CFBundleCreate(NULL, url);
 *     CFRelease(url);
 *     CFArrayRef factories = CFPlugInFindFactoriesForPlugInTypeInPlugIn(typeID, bundle);
 *     if (factories && CFArrayGetCount(factories) > 0) {
 *       CFUUIDRef f = (CFUUIDRef)CFArrayGetValueAtIndex(factories, 0);
 *       void *iunknown = CFPlugInInstanceCreate(NULL, f, typeID);
 *       ...
 *     }
 *     CFRelease(factories);
 *
 * Thread safety: every call may be made from any thread.
 */
#ifndef PLATFORM_COREFOUNDATION_COREFOUNDATION_H
#define PLATFORM_COREFOUNDATION_COREFOUNDATION_H

#include "platform/core/MacErrors.h"
#include "platform/core/MacTypes.h"

PLATFORM_BEGIN_DECLS

/* ---- Base ----------------------------------------------------------------*/
/* Counts and indexes are signed 32-bit, as on the original 32-bit platform. */
typedef SInt32 CFIndex;
typedef UInt32 CFTypeID;
typedef UInt32 CFHashCode;
typedef UInt32 CFOptionFlags;
typedef const void *CFTypeRef;
typedef const struct __CFAllocator *CFAllocatorRef;
typedef const struct __CFString *CFStringRef;
typedef struct __CFString *CFMutableStringRef;
typedef const struct __CFUUID *CFUUIDRef;
typedef const struct __CFURL *CFURLRef;
typedef const struct __CFArray *CFArrayRef;
typedef struct __CFBundle *CFBundleRef;
typedef struct __CFBundle *CFPlugInRef;
typedef UInt32 CFStringEncoding;

typedef struct CFRange {
  CFIndex location;
  CFIndex length;
} CFRange;

#ifdef __cplusplus
inline CFRange CFRangeMake(CFIndex loc, CFIndex len) { return CFRange{loc, len}; }
#else
static inline CFRange CFRangeMake(CFIndex loc, CFIndex len) {
  CFRange r;
  r.location = loc;
  r.length = len;
  return r;
}
#endif

/* The only allocator: the default one (NULL). Every call accepts NULL or
 * kCFAllocatorDefault and ignores the allocator. */
#define kCFAllocatorDefault ((CFAllocatorRef)0)
#define kCFAllocatorSystemDefault ((CFAllocatorRef)0)

enum { kCFNotFound = -1 };

/* Adds one to the count; returns cf (NULL for NULL). */
PLATFORM_API CFTypeRef CFRetain(CFTypeRef cf) PLATFORM_NOEXCEPT;
/* Takes one from the count and frees the object at 0 (constants are never
 * freed). NULL is ignored. */
PLATFORM_API void CFRelease(CFTypeRef cf) PLATFORM_NOEXCEPT;
/* The current count (0 for NULL). */
PLATFORM_API CFIndex CFGetRetainCount(CFTypeRef cf) PLATFORM_NOEXCEPT;
/* True when both are the same object, or objects of the same type with
 * equal values (UUIDs: the same 16 bytes; strings: the same UTF-16
 * characters; URLs: the same path; arrays: equal items in order). NULL
 * equals nothing. */
PLATFORM_API Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2) PLATFORM_NOEXCEPT;
PLATFORM_API CFHashCode CFHash(CFTypeRef cf) PLATFORM_NOEXCEPT;
/* The object's type (0 for NULL); compare with the XGetTypeID calls. */
PLATFORM_API CFTypeID CFGetTypeID(CFTypeRef cf) PLATFORM_NOEXCEPT;

/* ---- UUIDs ---------------------------------------------------------------*/
typedef struct CFUUIDBytes {
  UInt8 byte0, byte1, byte2, byte3, byte4, byte5, byte6, byte7;
  UInt8 byte8, byte9, byte10, byte11, byte12, byte13, byte14, byte15;
} CFUUIDBytes;

PLATFORM_API CFTypeID CFUUIDGetTypeID(void) PLATFORM_NOEXCEPT;
/* A new random (version 4) UUID. */
PLATFORM_API CFUUIDRef CFUUIDCreate(CFAllocatorRef alloc) PLATFORM_NOEXCEPT;
/* A new UUID from its text form "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX"
 * (hexadecimal digits of either case, optionally inside braces); NULL when
 * the text does not have that form, or uuidStr is NULL. */
PLATFORM_API CFUUIDRef CFUUIDCreateFromString(CFAllocatorRef alloc, CFStringRef uuidStr) PLATFORM_NOEXCEPT;
PLATFORM_API CFUUIDRef CFUUIDCreateWithBytes(CFAllocatorRef alloc, UInt8 byte0, UInt8 byte1, UInt8 byte2,
                                             UInt8 byte3, UInt8 byte4, UInt8 byte5, UInt8 byte6,
                                             UInt8 byte7, UInt8 byte8, UInt8 byte9, UInt8 byte10,
                                             UInt8 byte11, UInt8 byte12, UInt8 byte13, UInt8 byte14,
                                             UInt8 byte15) PLATFORM_NOEXCEPT;
PLATFORM_API CFUUIDRef CFUUIDCreateFromUUIDBytes(CFAllocatorRef alloc, CFUUIDBytes bytes) PLATFORM_NOEXCEPT;
/* The interned constant UUID with these bytes: the same object for the
 * same bytes, for the life of the process; never release it. */
PLATFORM_API CFUUIDRef CFUUIDGetConstantUUIDWithBytes(CFAllocatorRef alloc, UInt8 byte0, UInt8 byte1,
                                                      UInt8 byte2, UInt8 byte3, UInt8 byte4, UInt8 byte5,
                                                      UInt8 byte6, UInt8 byte7, UInt8 byte8, UInt8 byte9,
                                                      UInt8 byte10, UInt8 byte11, UInt8 byte12,
                                                      UInt8 byte13, UInt8 byte14,
                                                      UInt8 byte15) PLATFORM_NOEXCEPT;
/* The 16 bytes in order (all zero for NULL). */
PLATFORM_API CFUUIDBytes CFUUIDGetUUIDBytes(CFUUIDRef uuid) PLATFORM_NOEXCEPT;
/* The text form, upper-case, without braces (the caller releases it). */
PLATFORM_API CFStringRef CFUUIDCreateString(CFAllocatorRef alloc, CFUUIDRef uuid) PLATFORM_NOEXCEPT;

/* ---- Strings -------------------------------------------------------------*/
enum {
  kCFStringEncodingMacRoman = 0,
  kCFStringEncodingISOLatin1 = 0x0201,
  kCFStringEncodingASCII = 0x0600,
  kCFStringEncodingUnicode = 0x0100,
  kCFStringEncodingUTF16 = 0x0100,
  kCFStringEncodingUTF8 = 0x08000100,
  kCFStringEncodingInvalidId = 0xFFFFFFFFu
};

PLATFORM_API CFTypeID CFStringGetTypeID(void) PLATFORM_NOEXCEPT;
/* A new string from NUL-terminated text in the encoding (Mac Roman,
 * Latin-1, ASCII or UTF-8). NULL when the text is not valid in that encoding (bytes over
 * 0x7F in ASCII, malformed UTF-8), the encoding is not one of these, or
 * cStr is NULL. */
PLATFORM_API CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char *cStr,
                                                   CFStringEncoding encoding) PLATFORM_NOEXCEPT;
/* The same from a Pascal string (length byte first). */
PLATFORM_API CFStringRef CFStringCreateWithPascalString(CFAllocatorRef alloc, ConstStr255Param pStr,
                                                        CFStringEncoding encoding) PLATFORM_NOEXCEPT;
/* A new UTF-16 string holding a copy of numChars units (chars may be NULL
 * when numChars is 0; a negative count gives NULL). */
PLATFORM_API CFStringRef CFStringCreateWithCharacters(CFAllocatorRef alloc, const UniChar *chars,
                                                      CFIndex numChars) PLATFORM_NOEXCEPT;
/* The length in UTF-16 units. */
PLATFORM_API CFIndex CFStringGetLength(CFStringRef theString) PLATFORM_NOEXCEPT;
/* The UTF-16 unit at idx (0 outside the string). */
PLATFORM_API UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx) PLATFORM_NOEXCEPT;
/* A pointer to the string's UTF-16 units when it stores them (valid while
 * the string lives); NULL for 8-bit storage. */
PLATFORM_API const UniChar *CFStringGetCharactersPtr(CFStringRef theString) PLATFORM_NOEXCEPT;
/* Copies the units of range into buffer. A range outside the string
 * copies nothing. */
PLATFORM_API void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar *buffer) PLATFORM_NOEXCEPT;
/* The NUL-terminated text in the encoding, into bufferSize bytes. False
 * (buffer untouched) when it does not fit with its NUL, a character has no
 * form in the encoding, or the encoding is unsupported. */
PLATFORM_API Boolean CFStringGetCString(CFStringRef theString, char *buffer, CFIndex bufferSize,
                                        CFStringEncoding encoding) PLATFORM_NOEXCEPT;
/* The same as a Pascal string (at most 255 bytes, and bufferSize - 1). */
PLATFORM_API Boolean CFStringGetPascalString(CFStringRef theString, StringPtr buffer, CFIndex bufferSize,
                                             CFStringEncoding encoding) PLATFORM_NOEXCEPT;
/* A pointer to the stored NUL-terminated 8-bit text when the string is
 * stored as 8-bit text compatible with the encoding (Mac Roman or Latin-1
 * storage asked in its own encoding; any 8-bit storage holding only ASCII
 * for ASCII and UTF-8); otherwise NULL. */
PLATFORM_API const char *CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding) PLATFORM_NOEXCEPT;

/* A constant string for a literal, interned by its bytes (UTF-8 source
 * text): CFSTR("Quillomat"). Never release it. */
PLATFORM_API CFStringRef PlatformCFStringMakeConstant(const char *cStr) PLATFORM_NOEXCEPT;
#define CFSTR(cStr) PlatformCFStringMakeConstant("" cStr "")

/* ---- URLs ----------------------------------------------------------------*/
typedef enum CFURLPathStyle { kCFURLPOSIXPathStyle = 0 } CFURLPathStyle;

PLATFORM_API CFTypeID CFURLGetTypeID(void) PLATFORM_NOEXCEPT;
/* A file URL for bufLen bytes of a POSIX path (a relative path is taken
 * from the working directory). NULL for an empty path. */
PLATFORM_API CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef alloc, const UInt8 *buffer,
                                                              CFIndex bufLen, Boolean isDirectory) PLATFORM_NOEXCEPT;
PLATFORM_API CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef alloc, CFStringRef filePath,
                                                    CFURLPathStyle pathStyle, Boolean isDirectory) PLATFORM_NOEXCEPT;
/* The absolute POSIX path, NUL-terminated, into maxBufLen bytes; false
 * when it does not fit. */
PLATFORM_API Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, UInt8 *buffer,
                                                      CFIndex maxBufLen) PLATFORM_NOEXCEPT;
PLATFORM_API CFStringRef CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle pathStyle) PLATFORM_NOEXCEPT;

/* ---- Arrays (immutable) ----------------------------------------------------*/
typedef const void *(*CFArrayRetainCallBack)(CFAllocatorRef allocator, const void *value);
typedef void (*CFArrayReleaseCallBack)(CFAllocatorRef allocator, const void *value);
typedef CFStringRef (*CFArrayCopyDescriptionCallBack)(const void *value);
typedef Boolean (*CFArrayEqualCallBack)(const void *value1, const void *value2);
typedef struct CFArrayCallBacks {
  CFIndex version;
  CFArrayRetainCallBack retain;
  CFArrayReleaseCallBack release;
  CFArrayCopyDescriptionCallBack copyDescription;
  CFArrayEqualCallBack equal;
} CFArrayCallBacks;
/* Retains CF objects on insertion and releases them with the array. */
PLATFORM_API extern const CFArrayCallBacks kCFTypeArrayCallBacks;

PLATFORM_API CFTypeID CFArrayGetTypeID(void) PLATFORM_NOEXCEPT;
/* A new array of numValues values; callBacks NULL stores the pointers as
 * they are (no retain), otherwise its retain and release are used. */
PLATFORM_API CFArrayRef CFArrayCreate(CFAllocatorRef alloc, const void **values, CFIndex numValues,
                                      const CFArrayCallBacks *callBacks) PLATFORM_NOEXCEPT;
PLATFORM_API CFIndex CFArrayGetCount(CFArrayRef theArray) PLATFORM_NOEXCEPT;
/* The value at idx, not retained (NULL outside the array). */
PLATFORM_API const void *CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) PLATFORM_NOEXCEPT;

/* ---- Bundles -------------------------------------------------------------*/
PLATFORM_API CFTypeID CFBundleGetTypeID(void) PLATFORM_NOEXCEPT;
/* The bundle at the directory bundleURL (see the manifest above), and
 * registers its factories and types. The same directory gives the same
 * object while it lives (retained again). NULL when the directory or its
 * manifest is missing or the manifest is malformed (an unknown directive,
 * a bad UUID, no identifier or no executable); PlatformCFBundleCreateError
 * then says why. */
PLATFORM_API CFBundleRef CFBundleCreate(CFAllocatorRef alloc, CFURLRef bundleURL) PLATFORM_NOEXCEPT;
/* A bundle with that identifier, among the bundles made in this process
 * (a loaded one first), not retained; NULL when there is none. */
PLATFORM_API CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID) PLATFORM_NOEXCEPT;
/* The manifest's identifier (not retained; lives as long as the bundle). */
PLATFORM_API CFStringRef CFBundleGetIdentifier(CFBundleRef bundle) PLATFORM_NOEXCEPT;
PLATFORM_API CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle) PLATFORM_NOEXCEPT;
PLATFORM_API CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle) PLATFORM_NOEXCEPT;
/* Loads the shared object (once); true when it is loaded. On failure the
 * loader's message is kept (PlatformCFBundleGetLoadError). */
PLATFORM_API Boolean CFBundleLoadExecutable(CFBundleRef bundle) PLATFORM_NOEXCEPT;
PLATFORM_API Boolean CFBundleIsExecutableLoaded(CFBundleRef bundle) PLATFORM_NOEXCEPT;
/* Unloads the shared object, unless an instance of one of the bundle's
 * factories lives (then nothing happens). */
PLATFORM_API void CFBundleUnloadExecutable(CFBundleRef bundle) PLATFORM_NOEXCEPT;
/* The address of an exported function of the loaded bundle (NULL when the
 * bundle is not loaded or has no such symbol). */
PLATFORM_API void *CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName) PLATFORM_NOEXCEPT;
/* A bundle's plug-in is the bundle itself. */
PLATFORM_API CFPlugInRef CFBundleGetPlugIn(CFBundleRef bundle) PLATFORM_NOEXCEPT;
PLATFORM_API CFBundleRef CFPlugInGetBundle(CFPlugInRef plugIn) PLATFORM_NOEXCEPT;

/* ---- Plug-ins ------------------------------------------------------------*/
typedef void *(*CFPlugInFactoryFunction)(CFAllocatorRef allocator, CFUUIDRef typeUUID);

/* The factories registered for typeUUID (a new array of CFUUIDRef, the
 * caller releases it; empty when there are none). The InPlugIn form looks
 * only at one bundle's factories. */
PLATFORM_API CFArrayRef CFPlugInFindFactoriesForPlugInType(CFUUIDRef typeUUID) PLATFORM_NOEXCEPT;
PLATFORM_API CFArrayRef CFPlugInFindFactoriesForPlugInTypeInPlugIn(CFUUIDRef typeUUID,
                                                                   CFPlugInRef plugIn) PLATFORM_NOEXCEPT;
/* Makes an instance: finds the factory, checks that it is registered for
 * typeUUID, loads its bundle when needed, and returns what the factory
 * function returns for (allocator, typeUUID). NULL when the factory is
 * unknown, does not serve the type, or its function cannot be found. */
PLATFORM_API void *CFPlugInInstanceCreate(CFAllocatorRef allocator, CFUUIDRef factoryUUID,
                                          CFUUIDRef typeUUID) PLATFORM_NOEXCEPT;
/* Registers a factory function directly (no bundle), and a factory for a
 * type. False for NULL arguments or a factory already registered with
 * another function. */
PLATFORM_API Boolean CFPlugInRegisterFactoryFunction(CFUUIDRef factoryUUID,
                                                     CFPlugInFactoryFunction func) PLATFORM_NOEXCEPT;
PLATFORM_API Boolean CFPlugInRegisterPlugInType(CFUUIDRef factoryUUID, CFUUIDRef typeUUID) PLATFORM_NOEXCEPT;
PLATFORM_API Boolean CFPlugInUnregisterFactory(CFUUIDRef factoryUUID) PLATFORM_NOEXCEPT;
/* Instance counting per factory UUID (by value). Removing more than was
 * added leaves the count at 0. */
PLATFORM_API void CFPlugInAddInstanceForFactory(CFUUIDRef factoryID) PLATFORM_NOEXCEPT;
PLATFORM_API void CFPlugInRemoveInstanceForFactory(CFUUIDRef factoryID) PLATFORM_NOEXCEPT;

/* ---- Platform calls and test hooks ---------------------------------------*/
/* Why the last CFBundleCreate on this thread returned NULL ("" after a
 * success); the text lives until the next CFBundleCreate on this thread. */
PLATFORM_API const char *PlatformCFBundleCreateError(void) PLATFORM_NOEXCEPT;
/* The loader's message for the bundle's last failed load ("" when none). */
PLATFORM_API const char *PlatformCFBundleGetLoadError(CFBundleRef bundle) PLATFORM_NOEXCEPT;
/* Instances of the factory alive (added and not removed). */
PLATFORM_API SInt32 PlatformCFPlugInInstanceCount(CFUUIDRef factoryID) PLATFORM_NOEXCEPT;
/* Objects alive, constants left out. */
PLATFORM_API SInt32 PlatformCFLiveObjectCount(void) PLATFORM_NOEXCEPT;
/* Makes the n-th object creation from now on (counting from 1) fail with
 * NULL; 0 disarms. Constants that already exist are not creations. */
PLATFORM_API void PlatformCFFailNthCreation(UInt32 n) PLATFORM_NOEXCEPT;

PLATFORM_END_DECLS

#endif
