/*
 * Format-driven packing and byte-order swapping.
 *
 * Binary records are built and taken apart by a format string with one
 * letter per field instead of hand-written byte shuffling. PackData writes
 * values and byte ranges into a buffer; UnpackData reads a byte stream back
 * into variables with bounds checks; EndianSwapFormatted reverses, in place,
 * the byte order of the fields a format marks as numbers. The family also
 * holds in-place swappers for arrays of 16-, 32- and 64-bit values and the
 * host byte-order queries.
 *
 *     UInt8 frame[16];
 *     SInt32 n = PackData(frame, "bhw", 3, 0x0102, 0x0A0B0C0D);
 *     // n == 7, frame = 03 01 02 0A 0B 0C 0D on every host
 *
 *     UInt8 version; UInt16 flags; UInt32 size;
 *     if (UnpackData(7, frame, "bhw", &version, &flags, &size) < 0) ...
 *
 * Formats. A format is a C string; every character is one field, read left
 * to right, and the NUL ends it. There are no separators, counts or spaces:
 * any other character is an error. Arguments are taken in order, each with
 * its own type: values as 32-bit integers (int or UInt32; smaller integers
 * are promoted), counts and capacities as 32-bit integers (UInt32 and SInt32
 * respectively), pointers as pointers.
 *
 * Letters of PackData / UnpackData:
 *
 *   letter     PackData takes -> writes             UnpackData takes -> stores
 *   b          value -> low 8 bits                  UInt8*  <- 1 byte
 *   h          value -> low 16 bits, high first     UInt16* <- 2 bytes, high first
 *   H          value -> low 16 bits, low first      UInt16* <- 2 bytes, low first
 *   t          value -> low 24 bits, high first     UInt32* <- 3 bytes, high first
 *   T          value -> low 24 bits, low first      UInt32* <- 3 bytes, low first
 *   w          value -> 32 bits, high first         UInt32* <- 4 bytes, high first
 *   W          value -> 32 bits, low first          UInt32* <- 4 bytes, low first
 *   1 ... 9    pointer -> 1..9 bytes as they lie    pointer <- 1..9 bytes as they lie
 *   n          count, pointer -> count bytes        count, pointer <- count bytes
 *   @#$%^&*(   pointer -> 2..9 bytes, last first    pointer <- 2..9 bytes, reversed
 *   N          count, pointer -> reversed           count, pointer <- reversed
 *   l          count, pointer -> Mac Roman text     count, pointer <- Latin-1 text
 *              written as Latin-1                   stored as Mac Roman
 *   p          Pascal string -> length + text       capacity, buffer <- Pascal string
 *   s          C string -> text and its NUL         capacity, buffer <- up to a NUL
 *
 * The shifted digits stand for the digits below them on a US keyboard:
 * @ 2, # 3, $ 4, % 5, ^ 6, & 7, * 8, ( 9.
 *
 * Host byte order: b, h, H, t, T, w, W, l, p and s give the same bytes on
 * every host. The copy letters (1-9, n, @#$%^&*(, N) copy memory as it lies
 * or reversed: pointed at a multi-byte integer they give its native bytes
 * ("4", low byte first here) or their reverse ("$", high byte first here),
 * so their bytes depend on the host. In EndianSwapFormatted the digits and n
 * are reversals and mean "the other byte order", whichever the host is.
 *
 * Null pointers where bytes are to be read or written make the call fail
 * with -1 at that field; fields before it stay written.
 */
#ifndef TOOLBOX_PACKING_PACKINGTOOLBOX_H
#define TOOLBOX_PACKING_PACKINGTOOLBOX_H

#include <stdarg.h>

#include "platform/core/MacTypes.h"
#include "toolbox/common/Export.h"

QL_BEGIN_DECLS

/* Writes the fields of format, taking their arguments in order, at
 * destination, which must have room for them (the size is not passed).
 * Returns the number of bytes written, or -1 at a character that is not a
 * field letter or a null pointer argument; the fields before it are
 * written. */
QL_EXPORT SInt32 PackData(void *destination, const char *format, ...) QL_NOEXCEPT;
/* PackData with its arguments in an argument list; args is left in an
 * indeterminate state, as with vprintf. */
QL_EXPORT SInt32 PackDataList(void *destination, const char *format, va_list args) QL_NOEXCEPT;

/* Reads the fields of format from the first `available` bytes at source
 * and stores them through the pointer arguments. Returns the number of
 * source bytes consumed, or -1 when a field needs more bytes than remain,
 * at a character that is not a field letter, or at a null pointer where a
 * byte would be stored; the fields before it are stored.
 *
 * p (capacity, buffer): reads a length byte c and c text bytes (-1 when
 * they are not all there). With capacity >= 1 the buffer receives the
 * longest prefix that fits: length byte min(c, capacity - 1) and that many
 * bytes. With capacity <= 0 nothing is stored. All 1 + c bytes are consumed.
 * s (capacity, buffer): reads bytes up to and including a NUL (-1 when the
 * available bytes end first) and stores the first `capacity` of them; when
 * the capacity ends first the buffer holds no terminator. */
QL_EXPORT SInt32 UnpackData(UInt32 available, const void *source, const char *format, ...) QL_NOEXCEPT;
QL_EXPORT SInt32 UnpackDataList(UInt32 available, const void *source, const char *format,
                                va_list args) QL_NOEXCEPT;

/* Walks the first `available` bytes of record as format says and reverses
 * in place the byte order of the number fields:
 *
 *   1          1 byte, left alone
 *   2 ... 9    2..9 bytes, reversed
 *   n          count (UInt32 argument) bytes, reversed
 *   @#$%^&*(   2..9 bytes, left alone (text or codes)
 *   N          count (UInt32 argument) bytes, left alone
 *
 * Returns the number of bytes covered, or -1 when a field needs more bytes
 * than remain or at a character that is not a field letter (fields before it
 * have been swapped). */
QL_EXPORT SInt32 EndianSwapFormatted(UInt32 available, void *record, const char *format, ...) QL_NOEXCEPT;
QL_EXPORT SInt32 EndianSwapFormattedList(UInt32 available, void *record, const char *format,
                                         va_list args) QL_NOEXCEPT;

/* Exchange the bytes of byteCount / 2 consecutive 16-bit values in place;
 * an odd last byte is left alone. block may be unaligned. */
QL_EXPORT void EndianSwapMemory16Bit(UInt32 byteCount, void *block) QL_NOEXCEPT;
/* Reverse the bytes of byteCount / 4 consecutive 32-bit values in place;
 * the 1 to 3 bytes after the last whole value are left alone. */
QL_EXPORT void EndianSwapMemory32Bit(UInt32 byteCount, void *block) QL_NOEXCEPT;
/* Reverse the bytes of byteCount / 8 consecutive 64-bit values in place. */
QL_EXPORT void EndianSwapMemory64Bit(UInt32 byteCount, void *block) QL_NOEXCEPT;
/* Writes byteCount / 2 16-bit values from source to destination, each with
 * its two bytes exchanged; source is unchanged unless it is destination
 * (swapping in place is allowed; other overlaps are not). */
QL_EXPORT void EndianSwapMemory16BitCopy(UInt32 byteCount, const void *source,
                                         void *destination) QL_NOEXCEPT;

/* True when this host stores the most significant byte of an integer
 * first. Constant for a build. */
QL_EXPORT Boolean IsBigEndian(void) QL_NOEXCEPT;
/* True when this host stores the least significant byte first. */
QL_EXPORT Boolean IsLittleEndian(void) QL_NOEXCEPT;

QL_END_DECLS

#endif
