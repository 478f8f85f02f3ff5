/*
 * Text compare and search over text blocks (a pointer and a byte count, no
 * terminator): ordered and natural comparison, fixed-length equality with a
 * one-byte wildcard, substring searches (first occurrence, at the start, at
 * the end, whole block), a search that carries on across the consecutive
 * buffers of a stream, byte and byte-set searches and counts, and a few
 * memory and C-string helpers. Nothing here allocates or keeps state.
 *
 *     const char *t = "xxabdabc";
 *     Ptr hit = TextSearch(t, 8, "ABC", 3, false);   // t + 5
 *
 * The case flag `caseSensitive`: true compares bytes exactly; false folds
 * A-Z to a-z on both sides first. No other byte has case: 0x80-0xFF only
 * match themselves. Classes and folding are those of the "C" locale,
 * whatever locale the process has set.
 *
 * Byte arguments are the values 0-255. memmem and memrchr are the C
 * library's own (<string.h>); this library neither defines nor replaces them.
 */
#ifndef TOOLBOX_TEXT_TEXTTOOLBOX_H
#define TOOLBOX_TEXT_TEXTTOOLBOX_H

#include "platform/core/MacTypes.h"
#include "toolbox/common/Export.h"

QL_BEGIN_DECLS

/* ---- Ordered comparison ------------------------------------------------ */

/* Compares two blocks. A null pointer on either side gives 0. Bytes compare
 * as unsigned values (folded when !caseSensitive); the first differing pair
 * returns left - right. When one block is a proper prefix of the other the
 * result is the last shared byte (as compared), negated when the left block
 * is the shorter; when the shorter block is empty it is the other block's
 * first byte, unfolded, with the same sign rule. Where that byte is NUL the
 * result is -1 or 1, so a proper prefix always sorts first. Equal blocks of
 * equal length give 0.
 *     TextCompare("ab", 2, "abc", 3, true) == -98; ("", 0, "x", 1, true) == -120 */
QL_EXPORT SInt32 TextCompare(const void *left, UInt32 leftLength, const void *right,
                             UInt32 rightLength, Boolean caseSensitive) QL_NOEXCEPT;

/* Natural order: -1, 0 or 1. Runs of decimal digits compare by numeric
 * value (any length, no overflow); at equal value the run written with more
 * leading zeros sorts after ("a007" > "a7"); other bytes compare as unsigned
 * values, folded when !caseSensitive. "file2" < "file10". Null pointers are
 * treated as empty blocks. */
QL_EXPORT SInt32 TextCompareNatural(const void *left, UInt32 leftLength, const void *right,
                                    UInt32 rightLength, Boolean caseSensitive) QL_NOEXCEPT;

/* ---- Fixed-length equality: 1 when the `length` bytes at text and pattern
 * count as equal, else 0. A length of 0 is equal. ---------------------- */

/* Comparison callback of SearchTextBlock; the four comparers below fit it. */
typedef Boolean (*TextBlockCompareProcPtr)(const void *text, const void *pattern, UInt32 length);

QL_EXPORT Boolean CompareTextBlock(const void *text, const void *pattern, UInt32 length) QL_NOEXCEPT;
/* ASCII letters that differ only in case are equal. */
QL_EXPORT Boolean CompareIgnoreCaseTextBlock(const void *text, const void *pattern,
                                             UInt32 length) QL_NOEXCEPT;
/* A pattern byte '*' matches any one text byte (it never stretches). */
QL_EXPORT Boolean CompareWildcardTextBlock(const void *text, const void *pattern,
                                           UInt32 length) QL_NOEXCEPT;
QL_EXPORT Boolean CompareWildcardIgnoreCaseTextBlock(const void *text, const void *pattern,
                                                     UInt32 length) QL_NOEXCEPT;
/* CompareWildcardTextBlock when caseSensitive, else the ignore-case form. */
QL_EXPORT Boolean CompareWildcardText(const void *text, const void *pattern, UInt32 length,
                                      Boolean caseSensitive) QL_NOEXCEPT;

/* Glob match of a whole text: '*' in the pattern stands for any run of bytes
 * (including none); every other byte must be equal (case-sensitive). An
 * exact literal pattern matches only the identical text.
 *     CompareWildcardBlock("report.txt", 10, "*.txt", 5) == true */
QL_EXPORT Boolean CompareWildcardBlock(const void *text, UInt32 textLength, const void *pattern,
                                       UInt32 patternLength) QL_NOEXCEPT;

/* ---- Positional searches returning an offset --------------------------- */

/* The first offset >= start at which at least patternLength bytes remain
 * and compare(text + offset, pattern, patternLength) is non-zero.
 * kTextNotFound (0xFFFFFFFF) when there is none, or when length <
 * patternLength, start >= length, length is 0, text or pattern is null, or
 * compare is null. */
#define kTextNotFound ((UInt32)0xFFFFFFFFu)
QL_EXPORT UInt32 SearchTextBlock(const void *text, UInt32 length, const void *pattern,
                                 UInt32 patternLength, UInt32 start,
                                 TextBlockCompareProcPtr compare) QL_NOEXCEPT;
/* SearchTextBlock with the one-byte wildcard comparison of
 * CompareWildcardText(..., caseSensitive). */
QL_EXPORT UInt32 SearchWildcardText(const void *text, UInt32 length, const void *pattern,
                                    UInt32 patternLength, UInt32 start,
                                    Boolean caseSensitive) QL_NOEXCEPT;
/* The first offset >= max(start, 0) at which patternLength bytes remain and
 * the platform's text comparison of the pattern with that many text bytes
 * answers equal (CompareText when caseSensitive, IdenticalText otherwise,
 * both without a script table). Offsets are 32-bit, so texts of any size
 * give true offsets. -1 when none, when a pointer is null, a length is 0 or
 * negative, or the pattern is longer than 32767 bytes (the platform
 * comparison's limit). */
QL_EXPORT SInt32 SearchText(const void *text, SInt32 length, const void *pattern,
                            SInt32 patternLength, SInt32 start, Boolean caseSensitive) QL_NOEXCEPT;

/* ---- Substring searches returning a pointer into text ------------------
 * Each gives null when a pointer is null, a length is 0 or the text is
 * shorter than the pattern. The two names on each line are one function. */

/* Start of the first occurrence of the whole pattern. */
QL_EXPORT Ptr TextSearch(const void *text, UInt32 length, const void *pattern, UInt32 patternLength,
                         Boolean caseSensitive) QL_NOEXCEPT;
QL_EXPORT Ptr SearchTextContains(const void *text, UInt32 length, const void *pattern,
                                 UInt32 patternLength, Boolean caseSensitive) QL_NOEXCEPT;
/* text when the text begins with the pattern. */
QL_EXPORT Ptr TextBeginsWith(const void *text, UInt32 length, const void *pattern,
                             UInt32 patternLength, Boolean caseSensitive) QL_NOEXCEPT;
QL_EXPORT Ptr SearchTextBeginsWith(const void *text, UInt32 length, const void *pattern,
                                   UInt32 patternLength, Boolean caseSensitive) QL_NOEXCEPT;
/* The last patternLength bytes of text when the text ends with the pattern. */
QL_EXPORT Ptr TextEndsWith(const void *text, UInt32 length, const void *pattern,
                           UInt32 patternLength, Boolean caseSensitive) QL_NOEXCEPT;
QL_EXPORT Ptr SearchTextEndsWith(const void *text, UInt32 length, const void *pattern,
                                 UInt32 patternLength, Boolean caseSensitive) QL_NOEXCEPT;
/* text when both lengths are equal and the bytes match. */
QL_EXPORT Ptr TextIsExactly(const void *text, UInt32 length, const void *pattern,
                            UInt32 patternLength, Boolean caseSensitive) QL_NOEXCEPT;
QL_EXPORT Ptr SearchTextIsExactly(const void *text, UInt32 length, const void *pattern,
                                  UInt32 patternLength, Boolean caseSensitive) QL_NOEXCEPT;

/* Search of a stream delivered as consecutive buffers. *matched (in/out;
 * set it to 0 at the start of a stream) counts the pattern bytes that
 * matched at the very end of the earlier buffers. Finds the stream's first
 * occurrence of the pattern wherever it lies, overlapping failed partial
 * matches and ending at the stream's last byte included:
 *  - found: returns a pointer into text and sets *matched to the number of
 *    the occurrence's bytes that lay in earlier buffers (then the result is
 *    text itself); the occurrence starts in the stream at
 *        (bytes of earlier buffers) + (result - text) - *matched;
 *  - not found: returns null and sets *matched to the length of the longest
 *    pattern prefix that the stream now ends with (0 when none).
 * A null or empty text or pattern sets *matched to 0 and returns null, as
 * does a *matched greater than patternLength; a null matched returns null.
 *     UInt32 m = 0;
 *     TextPartialSearch("xxab", 4, "abc", 3, true, &m);  // null, m == 2
 *     TextPartialSearch("cyy", 3, "abc", 3, true, &m);   // "cyy", m == 2: offset 4+0-2 */
QL_EXPORT Ptr TextPartialSearch(const void *text, UInt32 length, const void *pattern,
                                UInt32 patternLength, Boolean caseSensitive,
                                UInt32 *matched) QL_NOEXCEPT;

/* ---- Byte and set searches (null text or zero length: null or 0) ------- */

QL_EXPORT Ptr TextByteSearch(const void *text, UInt32 length, UInt8 byte,
                             Boolean caseSensitive) QL_NOEXCEPT;
QL_EXPORT Ptr TextReverseByteSearch(const void *text, UInt32 length, UInt8 byte,
                                    Boolean caseSensitive) QL_NOEXCEPT;
/* First text byte that occurs in the set; null also for a null or empty set. */
QL_EXPORT Ptr TextSetSearch(const void *text, UInt32 length, const void *set, UInt32 setLength,
                            Boolean caseSensitive) QL_NOEXCEPT;
/* Number of leading text bytes in the set; 0 for a null or empty set. */
QL_EXPORT UInt32 TextSetCountSearch(const void *text, UInt32 length, const void *set,
                                    UInt32 setLength, Boolean caseSensitive) QL_NOEXCEPT;
/* Number of leading text bytes not in the set (the whole length when none
 * is); 0 for a null or empty set. */
QL_EXPORT UInt32 TextNotSetCountSearch(const void *text, UInt32 length, const void *set,
                                       UInt32 setLength, Boolean caseSensitive) QL_NOEXCEPT;
QL_EXPORT UInt32 TextCountMatchingBytes(const void *text, UInt32 length, UInt8 byte,
                                        Boolean caseSensitive) QL_NOEXCEPT;
/* Length of the run of bytes equal to byte at the start of the text. */
QL_EXPORT UInt32 TextCountConsecutiveMatchingBytes(const void *text, UInt32 length, UInt8 byte,
                                                   Boolean caseSensitive) QL_NOEXCEPT;

/* ---- Memory and C-string helpers ------------------------------------------ */

/* -1, 0 or 1: up to length byte pairs folded to lower case and compared as
 * signed 8-bit values (0x80-0xFF sort before ASCII); stops with 0 after a
 * position where both bytes are NUL. */
QL_EXPORT int memicmp(const void *left, const void *right, size_t length) QL_NOEXCEPT;
/* The last occurrence found by repeated forward searches, each starting
 * just past the previous match (so "aa" in "aaa" is found at offset 0).
 * Null for a null or empty pattern or a null string. */
QL_EXPORT char *strrstr(const char *string, const char *pattern) QL_NOEXCEPT;
/* First occurrence ignoring ASCII case; a null or empty pattern gives the
 * string itself; null when absent or when string is null. */
QL_EXPORT char *stristr(const char *string, const char *pattern) QL_NOEXCEPT;

QL_END_DECLS

#endif
