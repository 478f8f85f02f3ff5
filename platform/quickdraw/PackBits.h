/*
 * QuickDraw's run-length coder (the PackBits scheme).
 *
 * A packed stream is a sequence of items, each led by one signed header
 * byte n:
 *   0 to 127     n + 1 literal bytes follow;
 *   -1 to -127   one byte follows, repeated 1 - n times (2 to 128);
 *   -128         no operation (nothing follows).
 * This coder only makes a repeat item for three or more equal bytes, so
 * packing k bytes never produces more than k + (k + 126) / 127 bytes.
 *
 *     Ptr src = data, dst = packed;
 *     PackBits(&src, &dst, 1000);        // src += 1000, dst += packed size
 *     Ptr in = packed, out = restored;
 *     UnpackBits(&in, &out, 1000);       // in += packed size, out += 1000
 */
#ifndef PLATFORM_QUICKDRAW_PACKBITS_H
#define PLATFORM_QUICKDRAW_PACKBITS_H

#include "platform/core/MacTypes.h"

PLATFORM_BEGIN_DECLS

/* Packs srcBytes bytes from *srcPtr to *dstPtr and advances both pointers
 * past what was read and written. The destination must hold
 * srcBytes + (srcBytes + 126) / 127 bytes. A count of 0 or less does
 * nothing. */
PLATFORM_API void PackBits(Ptr *srcPtr, Ptr *dstPtr, SInt16 srcBytes) PLATFORM_NOEXCEPT;

/* Unpacks items from *srcPtr until dstBytes bytes have been written to
 * *dstPtr, then advances both pointers past what was read and written.
 * Never writes more than dstBytes bytes: an item that would run past the
 * end is cut there, and the rest of that item's source bytes is skipped.
 * The source has no length: the caller guarantees that it holds complete
 * items for dstBytes bytes. A count of 0 or less does nothing. */
PLATFORM_API void UnpackBits(Ptr *srcPtr, Ptr *dstPtr, SInt16 dstBytes) PLATFORM_NOEXCEPT;

PLATFORM_END_DECLS

#endif
