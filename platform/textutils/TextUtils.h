/*
 * Text Utilities stand-in: script-aware comparison of two texts, as the
 * Roman script does it for ASCII text.
 *
 *     if (IdenticalText(a, b, aLen, bLen, NULL) == 0) { ... same bytes ... }
 *
 * The script table handle (itl2) is accepted and ignored: this platform has
 * one script, whose ordering is fixed.
 */
#ifndef PLATFORM_TEXTUTILS_TEXTUTILS_H
#define PLATFORM_TEXTUTILS_TEXTUTILS_H

#include "platform/core/MacTypes.h"

PLATFORM_BEGIN_DECLS

/* Truncation codes: where a shortened text loses its bytes. */
enum { smTruncEnd = 0, smTruncMiddle = 0x4000 };

/* The ellipsis byte that marks a cut. */
enum { kTruncationEllipsis = 0xC9 };

/* Sort order of two texts: -1, 0 or 1. Primary order: bytes with A-Z folded
 * to a-z, compared as unsigned values, a proper prefix first. Ties (texts
 * that differ only in case) are broken by the unfolded bytes, upper case
 * first. So the result is 0 only for identical texts. Negative lengths
 * count as 0; a null pointer is an empty text. */
PLATFORM_API SInt16 CompareText(const void *aPtr, const void *bPtr, SInt16 aLen, SInt16 bLen,
                                Handle itl2Handle) PLATFORM_NOEXCEPT;

/* 0 when the two texts are identical (same length, same bytes: case and
 * every other mark count), else 1. Negative lengths count as 0. */
PLATFORM_API SInt16 IdenticalText(const void *aPtr, const void *bPtr, SInt16 aLen, SInt16 bLen,
                                  Handle itl2Handle) PLATFORM_NOEXCEPT;

PLATFORM_END_DECLS

#endif
