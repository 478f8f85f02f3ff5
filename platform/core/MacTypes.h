/*
 * Basic types of the platform: exact-width integers, result codes, Pascal
 * strings, four-character codes, memory blocks and points.
 *
 * All widths are those of the original 32-bit platform: SInt32 is 32 bits,
 * never `long`. Pointers are native (8 bytes on this host).
 *
 *     OSType t = QL_FOURCC('T', 'E', 'X', 'T');   // 0x54455854
 */
#ifndef PLATFORM_CORE_MACTYPES_H
#define PLATFORM_CORE_MACTYPES_H

#include <stddef.h>
#include <stdint.h>

#include "platform/core/PlatformExport.h"

typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef uint64_t UInt64;
typedef int64_t SInt64;

typedef uint8_t Boolean;
#ifndef __cplusplus
#ifndef true
#define true 1
#define false 0
#endif
#endif

typedef SInt16 OSErr;
typedef SInt32 OSStatus;
typedef UInt32 FourCharCode;
typedef FourCharCode OSType;
typedef FourCharCode ResType;
typedef UInt32 ByteCount;
typedef UInt32 ItemCount;
typedef UInt32 OptionBits;
typedef UInt32 TextEncoding;
typedef UInt16 UniChar;
typedef UInt32 UniCharCount;
typedef SInt16 ScriptCode;
typedef SInt16 LangCode;
typedef SInt32 Fixed;

/* Memory block sizes are signed 32-bit, as on the original platform. */
typedef SInt32 Size;
typedef char *Ptr;
typedef Ptr *Handle;
typedef void (*ProcPtr)(void);

typedef unsigned char Str255[256];
typedef unsigned char Str63[64];
typedef unsigned char Str32[33];
typedef unsigned char Str31[32];
typedef unsigned char Str27[28];
typedef unsigned char Str15[16];
typedef unsigned char *StringPtr;
typedef StringPtr *StringHandle;
typedef const unsigned char *ConstStringPtr;
typedef const unsigned char *ConstStr255Param;
typedef const unsigned char *ConstStr63Param;
typedef const unsigned char *ConstStr31Param;

typedef struct Point {
  SInt16 v;
  SInt16 h;
} Point;

typedef struct Rect {
  SInt16 top;
  SInt16 left;
  SInt16 bottom;
  SInt16 right;
} Rect;

/* A four-character code from its four characters, first character in the
 * most significant byte. Built with shifts so that it means the same on any
 * host; never use multi-character literals. */
#define QL_FOURCC(a, b, c, d)                                                 \
  ((OSType)(((UInt32)(UInt8)(a) << 24) | ((UInt32)(UInt8)(b) << 16) |        \
            ((UInt32)(UInt8)(c) << 8) | (UInt32)(UInt8)(d)))

#ifdef __cplusplus
inline constexpr SInt16 noErr = 0;
#else
enum { noErr = 0 };
#endif

#ifdef __cplusplus
#include <string_view>
namespace ql {
/* C++ form of QL_FOURCC: FourCC("aevt"). */
constexpr OSType FourCC(const char (&s)[5]) noexcept {
  return (OSType(UInt8(s[0])) << 24) | (OSType(UInt8(s[1])) << 16) |
         (OSType(UInt8(s[2])) << 8) | OSType(UInt8(s[3]));
}
} // namespace ql
#endif

#endif
