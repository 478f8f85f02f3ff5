/*
 * Character sets: Mac Roman and ISO Latin-1 text, UTF-16 units, UTF-8.
 *
 * Mac Roman <-> Latin-1 is a byte table in each direction (the two tables
 * are exported and are each other's inverse); bytes and 16-bit units
 * convert by arithmetic; UTF-16 <-> UTF-8 goes through the platform's Text
 * Encoding Converter.
 *
 *     char tag[] = "Caf\xE9";                    // Latin-1
 *     Latin1ToMacText(tag, 4);                   // "Caf\x8E", Mac Roman
 *     UniChar units[64]; ByteCount bytes;
 *     UTF8ToUnicode("na\xC3\xAFve", 6, sizeof units, units, &bytes); // 5 units, 10 bytes
 *
 * Byte order. UTF-16 text in memory is an array of 16-bit units holding
 * their values in the host's native byte order. "Big-endian" in the names
 * and flags below (IsUnicodeBigEndian, SmartUnicodeToASCII, the bigEndian
 * flags) means that native order, in which the unit values are right; the
 * "little-endian" form is the same text with the two bytes of every unit
 * exchanged (so 'A' is the unit value 0x4100). Where units come from or go
 * to bytes (files, tags) the caller fixes the order explicitly.
 *
 * Counts are in units for UTF-16 and in bytes for 8-bit text unless stated.
 * Pointers must be valid for their counts unless stated.
 */
#ifndef TOOLBOX_CHARSETS_CHARSETTOOLBOX_H
#define TOOLBOX_CHARSETS_CHARSETTOOLBOX_H

#include "platform/core/MacErrors.h"
#include "platform/core/MacTypes.h"
#include "toolbox/common/Export.h"

QL_BEGIN_DECLS

/* The result of UnicodeToUTF8 and UTF8ToUnicode for a null output. */
enum { kCharsetNullOutputErr = -8764 };

/* Flags of SmartUnicodeToASCII. */
enum {
  kSmartUnicodeBigEndian = 1,  /* the units are in native order */
  kSmartUnicodeCheckOrder = 2  /* test the claim with IsUnicodeBigEndian */
};

/* ---- Mac Roman and Latin-1 ------------------------------------------------ */

/* index = Latin-1 byte, value = Mac Roman byte; and the inverse. */
QL_EXPORT extern const UInt8 kLatin1ToMacTable[256];
QL_EXPORT extern const UInt8 kMacToLatin1Table[256];

/* In place, every byte b becomes kLatin1ToMacTable[b] (kMacToLatin1Table[b]).
 * Return text. text may be null when length is 0. */
QL_EXPORT Ptr Latin1ToMacText(void *text, UInt32 length) QL_NOEXCEPT;
QL_EXPORT Ptr MacToLatin1Text(void *text, UInt32 length) QL_NOEXCEPT;

/* ---- Bytes and 16-bit units ---------------------------------------------- */

/* Each byte b becomes the unit b (bigEndian true) or b * 256, the swapped
 * form (false). 'A' gives 0x0041 or 0x4100. */
QL_EXPORT void ASCIIToUnicode(const void *bytes, UInt32 count, UniChar *units, Boolean bigEndian) QL_NOEXCEPT;
/* Each unit gives one byte: its low byte (bigEndian true) or its high byte
 * (false) as values, the reverse of ASCIIToUnicode. */
QL_EXPORT void UnicodeToASCII(const UniChar *units, UInt32 count, void *bytes, Boolean bigEndian) QL_NOEXCEPT;
/* Widens the first min(length, maxUnits) bytes of a Pascal string to units
 * (byte value = unit value, no character-set conversion); *outCount (may
 * be null) receives the number written. */
QL_EXPORT void PStringToUnicodeSimple(ConstStr255Param string, UInt32 maxUnits, UniChar *units,
                                      UInt32 *outCount) QL_NOEXCEPT;
/* 1 when strictly more than count / 2 (integer division) of the units have
 * a zero high byte and a low byte 0x20-0x7E, read in native order; else 0
 * (0 for count 0). */
QL_EXPORT Boolean IsUnicodeBigEndian(UInt32 count, const UniChar *units) QL_NOEXCEPT;
/* UTF-16 to Mac Roman bytes for text that maps character for character.
 * flags: kSmartUnicodeBigEndian says the units are in native order;
 * kSmartUnicodeCheckOrder asks for a test. When either flag is set and
 * IsUnicodeBigEndian(count, units) is 0, the native-order claim is dropped;
 * without the claim the units are byte-swapped first. So flags 0 and 2
 * always swap, 1 and 3 only when the test fails. At most the first 256
 * units are converted (as to a file name, Mac HFS); a character Mac Roman
 * lacks becomes '?'. The bytes (at most 255, no length byte, no
 * terminator; usually one per unit) are written to output, which must hold
 * min(count, 255) bytes. Returns output. */
QL_EXPORT Ptr SmartUnicodeToASCII(const UniChar *units, UInt32 count, UInt32 flags, void *output) QL_NOEXCEPT;

/* ---- UTF-16 helpers ---------------------------------------------------------- */

/* A-Z and a-z only. */
QL_EXPORT Boolean UnicodeIsAlpha(UniChar c) QL_NOEXCEPT;
/* 0x21-0x7F (space is not printable here, 0x7F is). */
QL_EXPORT Boolean UnicodeIsPrint(UniChar c) QL_NOEXCEPT;
/* The last unit equal to c, or null. */
QL_EXPORT UniChar *UnicodeReverseCharSearch(const UniChar *units, UInt32 count, UniChar c) QL_NOEXCEPT;
/* Copies source units after the destination's destCount units: all of
 * them when sourceCount + destCount <= destCapacity, else capacity -
 * destCount (nothing when the destination is already full or over).
 * *newCount (may be null) receives the destination's new count. */
QL_EXPORT void UnicodeAppend(const UniChar *source, UInt32 sourceCount, UInt32 destCapacity, UniChar *dest,
                             UInt32 destCount, UInt32 *newCount) QL_NOEXCEPT;
/* The extension of a file name: after the last '.', when the unit after it
 * is an ASCII letter, a pointer to it and *extLength the units to the end
 * ("song.mp3" -> "mp3", 3). A '.' as the last unit gives a pointer just
 * past it with length 0. No '.', or no letter after it ("a.1"), gives null
 * and length 0. extLength may be null. */
QL_EXPORT UniChar *UnicodeFindFilenameExtension(const UniChar *units, UInt32 count,
                                                UInt32 *extLength) QL_NOEXCEPT;

/* ---- UTF-16 <-> UTF-8 ---------------------------------------------------------- */

/* UTF-16 (byteCount bytes of native-order units) to UTF-8 in output
 * (capacity bytes); *outLength (may be null) receives the bytes written,
 * also when the result is not noErr. Each direction keeps one converter for
 * the life of the process, made on first use (a failed creation is retried
 * next time). Results: noErr; paramErr (-50) for a null input;
 * kCharsetNullOutputErr (-8764) for a null output; the converter's status:
 * kTECOutputBufferFullStatus when the output is too small (the whole
 * characters that fit are written), kTextMalformedInputErr for an unpaired
 * surrogate, kTECPartialCharErr for an odd byte count or a high surrogate
 * at the end (the text before it is written), or the creation error. */
QL_EXPORT OSStatus UnicodeToUTF8(const void *utf16, ByteCount byteCount, ByteCount capacity, void *output,
                                 ByteCount *outLength) QL_NOEXCEPT;
/* UTF-8 to native-order UTF-16, capacity and *outLength in bytes. Malformed
 * UTF-8 (stray continuation bytes, overlong forms, surrogates, values above
 * U+10FFFF) stops the conversion with kTextMalformedInputErr; a sequence cut
 * by the end of the input gives kTECPartialCharErr; in both cases what came
 * before is converted and nothing past byteCount is read. Other results as
 * for UnicodeToUTF8. */
QL_EXPORT OSStatus UTF8ToUnicode(const void *utf8, ByteCount byteCount, ByteCount capacity, void *output,
                                 ByteCount *outLength) QL_NOEXCEPT;

QL_END_DECLS

#endif
