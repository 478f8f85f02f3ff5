/*
 * Text Encoding Converter (the conversions this platform offers) and the
 * Text Utilities string comparison EqualString.
 *
 * General converters (TECCreateConverter / TECConvertText) convert between
 * any two of: Mac Roman (and its file-name form Mac HFS), ISO Latin-1,
 * UTF-16 and UTF-8. UTF-16 text is a sequence of 16-bit units in the
 * host's native byte order; a byte-order mark is an ordinary character.
 *
 *     TECObjectRef tec;
 *     TECCreateConverter(&tec, CreateTextEncoding(kTextEncodingUnicodeDefault, 0, kUnicodeUTF8Format),
 *                        CreateTextEncoding(kTextEncodingUnicodeDefault, 0, kUnicode16BitFormat));
 *     TECConvertText(tec, utf8, n, &used, (TextPtr)units, sizeof units, &written);
 *
 * The Pascal-string converters (TextToUnicodeInfo, UnicodeToTextInfo):
 * Mac Roman (kTextEncodingMacRoman, and kTextEncodingMacHFS, the same
 * repertoire used for file names) and ISO Latin-1 to and from UTF-16 in the
 * host's native byte order. Mac Roman is the modern table,
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

/* ---- General converters ------------------------------------------------- */

typedef UInt32 TextEncodingBase;
typedef UInt32 TextEncodingVariant;
typedef UInt32 TextEncodingFormat;
enum {
  kUnicode16BitFormat = 0,
  kUnicodeUTF7Format = 1,
  kUnicodeUTF8Format = 2,
  kUnicode32BitFormat = 3
};
typedef UInt8 *TextPtr;
typedef const UInt8 *ConstTextPtr;
typedef struct OpaqueTECObjectRef *TECObjectRef;

/* base in bits 0-15, variant in bits 16-25, format in bits 26-31. */
PLATFORM_API TextEncoding CreateTextEncoding(TextEncodingBase encodingBase, TextEncodingVariant encodingVariant,
                                             TextEncodingFormat encodingFormat) PLATFORM_NOEXCEPT;

/* A converter from one encoding to another. Supported: kTextEncodingMacRoman,
 * kTextEncodingMacHFS, kTextEncodingISOLatin1 (any variant and format), and
 * Unicode (bases 0x100-0x104) in kUnicode16BitFormat or kUnicodeUTF8Format.
 * Results: noErr; paramErr for a null out-pointer; kTECNoConversionPathErr
 * for any other encoding; memFullErr. *newEncodingConverter is written only
 * on success. */
PLATFORM_API OSStatus TECCreateConverter(TECObjectRef *newEncodingConverter, TextEncoding inputEncoding,
                                         TextEncoding outputEncoding) PLATFORM_NOEXCEPT;
PLATFORM_API OSStatus TECDisposeConverter(TECObjectRef encodingConverter) PLATFORM_NOEXCEPT;

/* Converts as many whole characters of the input as fit the output.
 * Lengths are in bytes (a UTF-16 unit is two bytes, native order). The
 * converter keeps no state between calls: every call stands alone.
 * *actualInputLength / *actualOutputLength (either may be null) receive the
 * bytes consumed and written, also on failure. Results:
 *   noErr                       all input converted
 *   kTECOutputBufferFullStatus  the next character did not fit
 *   kTextMalformedInputErr      the input holds no character at the stop
 *                               (overlong or surrogate UTF-8, unpaired
 *                               UTF-16 surrogate, stray byte)
 *   kTECPartialCharErr          the input ends inside a character (an odd
 *                               UTF-16 byte count, a cut UTF-8 sequence)
 *   kTECUnmappableElementErr    a character the output set lacks
 *   paramErr                    a null converter, or a null buffer with a
 *                               non-zero length
 * Converting to Mac Roman composes a base letter and a following combining
 * mark into the accented letter when the set has it. */
PLATFORM_API OSStatus TECConvertText(TECObjectRef encodingConverter, ConstTextPtr inputBuffer,
                                     ByteCount inputBufferLength, ByteCount *actualInputLength,
                                     TextPtr outputBuffer, ByteCount outputBufferLength,
                                     ByteCount *actualOutputLength) PLATFORM_NOEXCEPT;
/* Nothing is ever held back, so this writes nothing: *actualOutputLength = 0. */
PLATFORM_API OSStatus TECFlushText(TECObjectRef encodingConverter, TextPtr outputBuffer,
                                   ByteCount outputBufferLength,
                                   ByteCount *actualOutputLength) PLATFORM_NOEXCEPT;

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
