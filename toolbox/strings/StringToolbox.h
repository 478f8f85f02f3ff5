/*
 * Pascal and C strings: copying and converting between the two kinds,
 * inserting, appending, case conversion, lengths, comparison, searching,
 * counting, removal, truncation and padding, four-character codes,
 * printable filtering, and white-space trimming of text blocks.
 *
 *     Str255 s;
 *     CopyCToPascalString("Hello", s);        // s = "\pHello"
 *     AppendCStringToPascalString(", World", s);
 *     char c[256];
 *     CopyPascalToCString(s, c);              // "Hello, World"
 *
 * Pascal strings (Str255): byte 0 is the length (0-255), bytes 1..length the
 * text; positions in Pascal strings are 1-based. Every function that
 * lengthens a Pascal string stops at 255 bytes (or at a smaller `maximum`
 * where one is passed) and drops the rest: none writes past byte 255 of its
 * destination. C strings end at a NUL; offsets are 0-based and the caller
 * guarantees room unless a count bounds the work.
 *
 * The case flag `caseSensitive`: true compares bytes exactly; false folds
 * A-Z to a-z on both sides (set bytes included). Classes and case are those
 * of the "C" locale whatever locale the process has set; bytes 0x80-0xFF
 * have no case and no class. White space is space, tab, line feed, vertical
 * tab, form feed and return; printable is 0x20-0x7E.
 *
 * Pascal searches that "return the tail" copy bytes p..length of the text
 * (p the 1-based found position) into `output` (a Str255; it may be the
 * text itself) and return output; when nothing is found they set output to
 * the empty string and return null.
 *
 * Unless stated, pointers must be valid; source and destination may be the
 * same buffer only where a function says so, and a pattern or set must not
 * lie inside the string a removal function changes.
 */
#ifndef TOOLBOX_STRINGS_STRINGTOOLBOX_H
#define TOOLBOX_STRINGS_STRINGTOOLBOX_H

#include "platform/core/MacTypes.h"
#include "platform/textutils/TextUtils.h"
#include "toolbox/common/Export.h"

QL_BEGIN_DECLS

/* ---- Copy and convert ---------------------------------------------------- */

/* Copies the bytes and the NUL. */
QL_EXPORT void CopyCString(const char *source, char *dest) QL_NOEXCEPT;
/* Copies the first min(length, maxCount) bytes and sets that length. */
QL_EXPORT void CopyPascalStringCount(ConstStr255Param source, StringPtr dest,
                                     UInt32 maxCount) QL_NOEXCEPT;
/* Copies bytes until the source's NUL or until maxCount bytes were copied,
 * then always writes a NUL: dest needs maxCount + 1 bytes. */
QL_EXPORT void CopyCStringCount(const char *source, char *dest, UInt32 maxCount) QL_NOEXCEPT;
/* In place: the text moves down one byte and a NUL follows it. Returns its
 * argument (null in, null out). */
QL_EXPORT char *ConvertPascalToCString(StringPtr string) QL_NOEXCEPT;
/* In place: length = min(strlen, 255), the text moves up one byte, the
 * length goes to byte 0. Returns its argument (null in, null out). */
QL_EXPORT StringPtr ConvertCToPascalString(char *string) QL_NOEXCEPT;
/* Copies at most 255 bytes of a C string; returns dest. The two are one function. */
QL_EXPORT StringPtr CopyCToPascalString(const char *source, StringPtr dest) QL_NOEXCEPT;
QL_EXPORT StringPtr CStringToPString(const char *source, StringPtr dest) QL_NOEXCEPT;
/* Copies the text and a NUL (dest may be source); returns dest / nothing. */
QL_EXPORT char *CopyPascalToCString(ConstStr255Param source, char *dest) QL_NOEXCEPT;
QL_EXPORT void PStringToCString(ConstStr255Param source, char *dest) QL_NOEXCEPT;
/* dest = the first min(textLength, maxCount, 255) bytes of text. */
QL_EXPORT void TextToPascalString(const void *text, UInt32 textLength, UInt32 maxCount,
                                  StringPtr dest) QL_NOEXCEPT;

/* ---- Insert: offset is 0-based and clamped to the current length (past
 * the end appends); the bytes after it move right. The source may lie
 * inside the destination. -------------------------------------------------- */

/* All of source, cut to 255 - length(dest). */
QL_EXPORT void InsertPascalString(StringPtr dest, ConstStr255Param source, UInt32 offset) QL_NOEXCEPT;
/* The first min(count, length(source)) bytes, cut to 255 - length(dest). */
QL_EXPORT void InsertPascalStringCount(StringPtr dest, ConstStr255Param source, UInt32 offset,
                                       UInt32 count) QL_NOEXCEPT;
/* The result holds at most `maximum` bytes (a maximum above 255 counts as
 * 255): all of source when it fits, else its first maximum - length(dest)
 * bytes, else nothing. */
QL_EXPORT void InsertMaximumPascalString(StringPtr dest, ConstStr255Param source, UInt32 offset,
                                         UInt32 maximum) QL_NOEXCEPT;
QL_EXPORT void InsertMaximumPascalStringCount(StringPtr dest, ConstStr255Param source,
                                              UInt32 offset, UInt32 count,
                                              UInt32 maximum) QL_NOEXCEPT;
QL_EXPORT void InsertCString(char *dest, const char *source, UInt32 offset) QL_NOEXCEPT;
QL_EXPORT void InsertCStringCount(char *dest, const char *source, UInt32 offset,
                                  UInt32 count) QL_NOEXCEPT;
/* As the Pascal forms: the result holds at most `maximum` bytes before its NUL. */
QL_EXPORT void InsertMaximumCString(char *dest, const char *source, UInt32 offset,
                                    UInt32 maximum) QL_NOEXCEPT;
QL_EXPORT void InsertMaximumCStringCount(char *dest, const char *source, UInt32 offset,
                                         UInt32 count, UInt32 maximum) QL_NOEXCEPT;
/* One byte; nothing happens when dest already holds 255 bytes. */
QL_EXPORT void InsertCharIntoPascalString(StringPtr dest, UInt8 c, UInt32 offset) QL_NOEXCEPT;
QL_EXPORT void InsertCharIntoCString(char *dest, UInt8 c, UInt32 offset) QL_NOEXCEPT;

/* ---- Append (Pascal results cut at 255 bytes) ------------------------------ */

QL_EXPORT void AppendPascalString(StringPtr dest, ConstStr255Param source) QL_NOEXCEPT;
QL_EXPORT void AppendPascalStringCount(StringPtr dest, ConstStr255Param source,
                                       UInt32 count) QL_NOEXCEPT;
/* Note the order: source first. */
QL_EXPORT void AppendPascalStringToPascalString(ConstStr255Param source, StringPtr dest) QL_NOEXCEPT;
QL_EXPORT void AppendCStringToPascalString(const char *source, StringPtr dest) QL_NOEXCEPT;
QL_EXPORT void PStringAppendText(const void *text, UInt32 textLength, StringPtr dest) QL_NOEXCEPT;
/* Nothing happens at length 255. Note the order: byte first. */
QL_EXPORT void AppendCharToPascalString(UInt8 c, StringPtr dest) QL_NOEXCEPT;
QL_EXPORT void AppendCString(char *dest, const char *source) QL_NOEXCEPT;
QL_EXPORT void AppendCStringCount(char *dest, const char *source, UInt32 count) QL_NOEXCEPT;
QL_EXPORT void AppendCharToCString(char *dest, UInt8 c) QL_NOEXCEPT;

/* ---- Case conversion ("C" locale: only A-Z and a-z change) ------------- */

QL_EXPORT void ConvertPascalStringToLowercase(StringPtr string) QL_NOEXCEPT;
QL_EXPORT void ConvertPascalStringToUppercase(StringPtr string) QL_NOEXCEPT;
QL_EXPORT char *ConvertCStringToLowercase(char *string) QL_NOEXCEPT;
QL_EXPORT char *ConvertCStringToUppercase(char *string) QL_NOEXCEPT;

/* ---- Lengths ------------------------------------------------------------------ */

QL_EXPORT UInt8 PascalStringLength(ConstStr255Param string) QL_NOEXCEPT;
QL_EXPORT UInt32 CStringLength(const char *string) QL_NOEXCEPT;
/* Bytes before the NUL, at most max (never reads past string + max). The
 * two are one function. */
QL_EXPORT UInt32 CStringLengthMax(const char *string, UInt32 max) QL_NOEXCEPT;
QL_EXPORT UInt32 CStringNSize(const char *string, UInt32 max) QL_NOEXCEPT;
/* 16-bit units before a 0 unit (at most max). */
QL_EXPORT UInt32 UnicodeStringLength(const UniChar *string) QL_NOEXCEPT;
QL_EXPORT UInt32 UnicodeStringLengthMax(const UniChar *string, UInt32 max) QL_NOEXCEPT;

/* ---- Comparison ------------------------------------------------------------- */

/* 0 when equal; else the first differing pair, as unsigned bytes (folded
 * when !caseSensitive), left - right. A proper prefix compares its NUL:
 * CStringCompare("ab", "abc", true) == -99. */
QL_EXPORT SInt32 CStringCompare(const char *left, const char *right, Boolean caseSensitive) QL_NOEXCEPT;
/* Bytes compare as signed 8-bit values (0x80-0xFF sort before ASCII),
 * folded when !caseSensitive; the first differing pair returns left - right.
 * A proper prefix gives the last shared byte (as compared), negated when the
 * left string is the shorter; when the shorter string is empty, the other's
 * first byte (folded likewise). When that value is 0 or negative the result
 * is -1 or 1 instead, so a proper prefix always sorts first.
 *     ("ab", "abc") == -98; ("", "abc", false) == -97 */
QL_EXPORT SInt32 PascalStringCompare(ConstStr255Param left, ConstStr255Param right,
                                     Boolean caseSensitive) QL_NOEXCEPT;
/* PascalStringCompare(left, right, false), shaped as a qsort comparator
 * over an array of Str255. */
QL_EXPORT int QSortPStringCompare(const void *left, const void *right) QL_NOEXCEPT;

/* ---- Search ------------------------------------------------------------------ */

/* First byte equal to c; c == 0 finds the terminator; else null. */
QL_EXPORT char *CStringCharSearch(const char *string, UInt8 c, Boolean caseSensitive) QL_NOEXCEPT;
QL_EXPORT StringPtr PascalStringCharSearch(ConstStr255Param string, UInt8 c, Boolean caseSensitive,
                                           StringPtr output) QL_NOEXCEPT;
/* Last byte equal to c; c == 0 finds the terminator; else null. */
QL_EXPORT char *CStringCharReverseSearch(const char *string, UInt8 c,
                                         Boolean caseSensitive) QL_NOEXCEPT;
QL_EXPORT StringPtr PascalStringCharReverseSearch(ConstStr255Param string, UInt8 c,
                                                  Boolean caseSensitive, StringPtr output) QL_NOEXCEPT;
/* First occurrence of the whole pattern; an empty pattern gives text. */
QL_EXPORT char *CStringStringSearch(const char *text, const char *pattern,
                                    Boolean caseSensitive) QL_NOEXCEPT;
/* Tail from the first occurrence; an empty pattern copies the whole text. */
QL_EXPORT StringPtr PascalStringStringSearch(ConstStr255Param text, ConstStr255Param pattern,
                                             Boolean caseSensitive, StringPtr output) QL_NOEXCEPT;
/* First byte that occurs in the set; an empty set gives null. */
QL_EXPORT char *CStringSetSearch(const char *string, const char *set, Boolean caseSensitive) QL_NOEXCEPT;
/* Tail from the first byte in the set; an empty text or set gives the empty output and null. */
QL_EXPORT StringPtr PascalStringSetSearch(ConstStr255Param string, ConstStr255Param set,
                                          Boolean caseSensitive, StringPtr output) QL_NOEXCEPT;
/* Number of leading bytes in the set (0 for an empty set or text). */
QL_EXPORT UInt32 CStringSetCountSearch(const char *string, const char *set,
                                       Boolean caseSensitive) QL_NOEXCEPT;
QL_EXPORT SInt16 PascalStringSetCountSearch(ConstStr255Param string, ConstStr255Param set,
                                            Boolean caseSensitive) QL_NOEXCEPT;
/* Number of leading bytes not in the set; an empty set (or text) gives 0. */
QL_EXPORT UInt32 CStringNotSetCountSearch(const char *string, const char *set,
                                          Boolean caseSensitive) QL_NOEXCEPT;
QL_EXPORT SInt16 PascalStringNotSetCountSearch(ConstStr255Param string, ConstStr255Param set,
                                               Boolean caseSensitive) QL_NOEXCEPT;
/* Number of bytes equal to c (as CStringCountChars / PascalStringCountChars). */
QL_EXPORT UInt32 CStringSetCharSearch(const char *string, UInt8 c, Boolean caseSensitive) QL_NOEXCEPT;
QL_EXPORT SInt16 PascalStringSetCharSearch(ConstStr255Param string, UInt8 c,
                                           Boolean caseSensitive) QL_NOEXCEPT;
/* 1 when c occurs in the set, else 0 (a C set never contains NUL). */
QL_EXPORT Boolean CStringSetContainsChar(const char *set, UInt8 c, Boolean caseSensitive) QL_NOEXCEPT;
QL_EXPORT Boolean PascalStringSetContainsChar(ConstStr255Param set, UInt8 c,
                                              Boolean caseSensitive) QL_NOEXCEPT;

/* ---- Count -------------------------------------------------------------------- */

QL_EXPORT UInt32 CStringCountChars(const char *string, UInt8 c, Boolean caseSensitive) QL_NOEXCEPT;
QL_EXPORT SInt16 PascalStringCountChars(ConstStr255Param string, UInt8 c,
                                        Boolean caseSensitive) QL_NOEXCEPT;
/* Non-overlapping occurrences, each search resuming just past the previous
 * match; an empty pattern gives 0. */
QL_EXPORT UInt32 CStringCountStrings(const char *text, const char *pattern,
                                     Boolean caseSensitive) QL_NOEXCEPT;
QL_EXPORT SInt16 PascalStringCountStrings(ConstStr255Param text, ConstStr255Param pattern,
                                          Boolean caseSensitive) QL_NOEXCEPT;
/* Length of the run of bytes equal to c at the start (c == 0 gives 0: the
 * terminator is not part of a C string). */
QL_EXPORT UInt32 CStringCountConsecutiveChars(const char *string, UInt8 c,
                                              Boolean caseSensitive) QL_NOEXCEPT;
QL_EXPORT SInt16 PascalStringCountConsecutiveChars(ConstStr255Param string, UInt8 c,
                                                   Boolean caseSensitive) QL_NOEXCEPT;

/* ---- Remove and delete: each returns what it removed (bytes for the char,
 * set and delete forms, occurrences for the string forms). `all` false
 * removes only the first occurrence. ------------------------------------- */

QL_EXPORT UInt32 CStringRemoveChar(char *string, UInt8 c, Boolean caseSensitive, Boolean all) QL_NOEXCEPT;
QL_EXPORT SInt16 PascalStringRemoveChar(StringPtr string, UInt8 c, Boolean caseSensitive,
                                        Boolean all) QL_NOEXCEPT;
/* For each set byte in order, the char removal above; returns the sum. */
QL_EXPORT UInt32 CStringRemoveSet(char *string, const char *set, Boolean caseSensitive,
                                  Boolean all) QL_NOEXCEPT;
QL_EXPORT SInt16 PascalStringRemoveSet(StringPtr string, ConstStr255Param set, Boolean caseSensitive,
                                       Boolean all) QL_NOEXCEPT;
/* Keeps only the bytes that occur in the set, in order (an empty set keeps nothing). */
QL_EXPORT UInt32 CStringRemoveNotSet(char *string, const char *set, Boolean caseSensitive) QL_NOEXCEPT;
QL_EXPORT SInt16 PascalStringRemoveNotSet(StringPtr string, ConstStr255Param set,
                                          Boolean caseSensitive) QL_NOEXCEPT;
/* Removes the first or every occurrence of the whole pattern; after a
 * removal the search resumes where the removed text began, in the bytes
 * that followed it ("aabb" less every "ab" is "ab"). An empty string or
 * pattern gives 0. Linear time whatever the number of occurrences. */
QL_EXPORT UInt32 CStringRemoveString(char *string, const char *pattern, Boolean caseSensitive,
                                     Boolean all) QL_NOEXCEPT;
QL_EXPORT SInt16 PascalStringRemoveString(StringPtr string, ConstStr255Param pattern,
                                          Boolean caseSensitive, Boolean all) QL_NOEXCEPT;
/* Deletes count bytes at offset bytes from the start (fromStart) or from
 * the end. Nothing happens (result 0) when the string is empty, count >
 * length or offset >= length. From the start with offset > 0, or from the
 * end with offset > 0, a count with count + offset >= length becomes
 * length - offset. From the end with offset > 0 the span begins offset
 * bytes before the end and stops at the end (count at most offset). From
 * the end with offset 0 the last count bytes go. Returns the bytes deleted. */
QL_EXPORT UInt32 CStringDeleteCharCount(char *string, UInt32 count, Boolean fromStart,
                                        UInt32 offset) QL_NOEXCEPT;
QL_EXPORT SInt16 PascalStringDeleteCharCount(StringPtr string, UInt32 count, Boolean fromStart,
                                             UInt32 offset) QL_NOEXCEPT;

/* ---- Truncate and pad -------------------------------------------------------- */

/* Shortens to newLength bytes (nothing when newLength >= length). where:
 * smTruncEnd keeps the first newLength bytes and, when newLength > 1, makes
 * the last of them the ellipsis 0xC9; smTruncMiddle with newLength > 1
 * keeps the first newLength/2 bytes, then 0xC9, then the old string's last
 * newLength - newLength/2 - 1 bytes ("abcdefgh" to 5: "ab\xC9gh"); any other
 * value (or newLength <= 1) just cuts. */
QL_EXPORT void TruncatePascalString(StringPtr string, UInt32 newLength, SInt16 where) QL_NOEXCEPT;
QL_EXPORT void TruncateCString(char *string, UInt32 newLength, SInt16 where) QL_NOEXCEPT;
/* If length < width: the text moves right and pad bytes fill the front up
 * to width bytes (at most 255). */
QL_EXPORT void PadPascalString(StringPtr string, UInt32 width, UInt8 pad) QL_NOEXCEPT;
/* If length < width: pad bytes are appended up to width bytes (at most 255). */
QL_EXPORT void PadPascalStringToEnd(StringPtr string, UInt32 width, UInt8 pad) QL_NOEXCEPT;

/* ---- Four-character codes ---------------------------------------------------- */

/* The code's four bytes, most significant first, as a 4-byte string; the
 * code 0 gives the empty string. */
QL_EXPORT void OSTypeToPascalString(OSType code, StringPtr output) QL_NOEXCEPT;
/* The four bytes and a NUL (output needs 5 bytes). */
QL_EXPORT void OSTypeToCString(OSType code, char *output) QL_NOEXCEPT;
/* The first min(length, 4) bytes as the most significant bytes, the rest
 * zero: "ab" gives 0x61620000. */
QL_EXPORT OSType PascalStringToOSType(ConstStr255Param string) QL_NOEXCEPT;
QL_EXPORT OSType CStringToOSType(const char *string) QL_NOEXCEPT;

/* ---- Printable filtering -------------------------------------------------------- */

/* Every byte outside 0x20-0x7E becomes replacement. */
QL_EXPORT void ReplaceNonPrintableCharsInString(StringPtr string, UInt8 replacement) QL_NOEXCEPT;
/* Every byte outside 0x20-0x7E is removed. */
QL_EXPORT void StripNonPrintableCharsFromString(StringPtr string) QL_NOEXCEPT;

/* ---- White-space trimming of text blocks (out-parameters may be null) ------ */

/* Pointer to the first byte that is not white space (text + length if all
 * are); *remaining = the bytes from there to the end. */
QL_EXPORT Ptr SkipLeadingWhiteSpace(const void *text, UInt32 length, UInt32 *remaining) QL_NOEXCEPT;
/* *newLength = length without the trailing white space. */
QL_EXPORT void SkipTrailingWhiteSpace(const void *text, UInt32 length, UInt32 *newLength) QL_NOEXCEPT;
/* Pointer to the first non-white byte (text + length if none);
 * *newLength = the bytes from it through the last non-white byte (0 if none). */
QL_EXPORT Ptr StripLeadingAndTrailingWhiteSpace(const void *text, UInt32 length,
                                                UInt32 *newLength) QL_NOEXCEPT;
/* Trims a Pascal string in place. */
QL_EXPORT void PStringStripLeadingAndTrailingWhiteSpace(StringPtr string) QL_NOEXCEPT;

QL_END_DECLS

#endif
