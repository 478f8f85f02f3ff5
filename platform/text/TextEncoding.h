/*
 * Text Encoding Converter (the conversions this platform offers) and the
 * Text Utilities string comparison EqualString.
 *
 * Supported encodings: Mac Roman (kTextEncodingMacRoman, and
 * kTextEncodingMacHFS, the same repertoire used for file names) to and from
 * UTF-16 in the host's native byte order. Mac Roman is the modern table,
 * with the euro sign at 0xDB. Converting to Mac Roman composes a base letter
 * followed by a combining mark into the accented letter when the set holds
 * it; a character the set lacks gives kTECUnmappableElementErr.
 *
 *     UnicodeToTextInfo info;
 *     UnicodeMapping m = {kTextEncodingUnicodeDefault, kTextEncodingMacHFS,
 *                         kUnicodeUseLatestMapping};
 *     CreateUnicodeToTextInfo(&m, &info);
 *     ConvertFromUnicodeToPString(info, 2 * count, units, name);
 */
#ifndef PLATFORM_TEXT_TEXTENCODING_H
#define PLATFORM_TEXT_TEXTENCODING_H

#include "platform/core/MacErrors.h"
#include "platform/core/MacTypes.h"

PLATFORM_BEGIN_DECLS

enum {
  kTextEncodingMacRoman = 0,
  kTextEncodingMacHFS = 0xFF,
  kTextEncodingUnicodeDefault = 0x100,
  kTextEncodingISOLatin1 = 0x201,
  kTextEncodingUnknown = 0xFFFF
};
enum { kUnicodeUseLatestMapping = -1, kUnicodeUseHFSPlusMapping = 4 };

typedef struct UnicodeMapping {
  TextEncoding unicodeEncoding;
  TextEncoding otherEncoding;
  SInt32 mappingVersion;
} UnicodeMapping;
typedef const UnicodeMapping *ConstUnicodeMappingPtr;

typedef struct OpaqueTextToUnicodeInfo *TextToUnicodeInfo;
typedef struct OpaqueUnicodeToTextInfo *UnicodeToTextInfo;

/* Converter objects. Creation fails with kTECNoConversionPathErr for an
 * encoding this platform cannot convert, paramErr for a null argument. */
PLATFORM_API OSStatus CreateTextToUnicodeInfoByEncoding(TextEncoding encoding,
                                                        TextToUnicodeInfo *info) PLATFORM_NOEXCEPT;
PLATFORM_API OSStatus CreateUnicodeToTextInfo(ConstUnicodeMappingPtr mapping,
                                              UnicodeToTextInfo *info) PLATFORM_NOEXCEPT;
PLATFORM_API OSStatus CreateUnicodeToTextInfoByEncoding(TextEncoding encoding,
                                                        UnicodeToTextInfo *info) PLATFORM_NOEXCEPT;
PLATFORM_API OSStatus DisposeTextToUnicodeInfo(TextToUnicodeInfo *info) PLATFORM_NOEXCEPT;
PLATFORM_API OSStatus DisposeUnicodeToTextInfo(UnicodeToTextInfo *info) PLATFORM_NOEXCEPT;

/* Converts a Pascal string to UTF-16. outputBufLen is the buffer's size in
 * bytes; *unicodeLen (bytes) receives what was written. A buffer too small
 * for the whole string is filled as far as it goes and gives
 * kTECOutputBufferFullStatus. */
PLATFORM_API OSStatus ConvertFromPStringToUnicode(TextToUnicodeInfo info, ConstStr255Param pString,
                                                  ByteCount outputBufLen, ByteCount *unicodeLen,
                                                  UniChar *unicodeStr) PLATFORM_NOEXCEPT;
/* Converts UTF-16 text of unicodeLen bytes to a Pascal string. A result
 * longer than 255 bytes gives kTECOutputBufferFullStatus with the first 255;
 * an odd length is paramErr; an unmappable character
 * kTECUnmappableElementErr (pString is then the empty string). */
PLATFORM_API OSStatus ConvertFromUnicodeToPString(UnicodeToTextInfo info, ByteCount unicodeLen,
                                                  const UniChar *unicodeStr,
                                                  Str255 pString) PLATFORM_NOEXCEPT;

/* Compares two Pascal strings for equality in Mac Roman. caseSensitive
 * false folds letters (accented ones too); diacSensitive false ignores
 * accents. */
PLATFORM_API Boolean EqualString(ConstStr255Param str1, ConstStr255Param str2,
                                 Boolean caseSensitive, Boolean diacSensitive) PLATFORM_NOEXCEPT;

/* ---- Test hooks ---------------------------------------------------------
 * Makes the n-th converter creation from now on fail with err; 0 disarms. */
PLATFORM_API void PlatformFailNthConverterCreation(UInt32 n, OSStatus err) PLATFORM_NOEXCEPT;
PLATFORM_API SInt32 PlatformLiveConverterCount(void) PLATFORM_NOEXCEPT;

PLATFORM_END_DECLS

#endif
