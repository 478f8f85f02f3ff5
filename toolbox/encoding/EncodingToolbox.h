/*
 * Encodings and compression of memory blocks.
 *
 * Three lossless coders:
 *   - LZSS with a 4096-byte sliding window, matches of 3 to 18 bytes found
 *     through binary search trees; no header, the stream ends with the data;
 *   - PackBits (run-length) over blocks of any size, in chunks of 32,000
 *     source bytes;
 *   - zlib streams appended to a handle.
 *
 *     Handle packed = NewHandle(0);
 *     OSErr err = LZSSCompress(text, textLength, packed);
 *     Handle plain = NewHandle(0);
 *     if (err == noErr) err = LZSSExpand(*packed, GetHandleSize(packed), plain);
 *
 * No call keeps state between calls; each allocates its own work memory and
 * frees it before returning. Handles passed in stay the caller's.
 */
#ifndef TOOLBOX_ENCODING_ENCODINGTOOLBOX_H
#define TOOLBOX_ENCODING_ENCODINGTOOLBOX_H

#include "platform/core/MacTypes.h"
#include "toolbox/common/Export.h"

QL_BEGIN_DECLS

/* ---- LZSS ----------------------------------------------------------------
 * Stream: groups of one flag byte and up to eight items; flag bits are read
 * from the least significant upward, 1 = one literal byte, 0 = a reference
 * b0 b1 to ring position b0 | (b1 & 0xF0) << 4 of length (b1 & 0x0F) + 3.
 * The ring starts with spaces in positions 0 to 4077 and zeros in 4078 to
 * 4095; the first byte goes to position 4078. */

/* Compresses sourceLength bytes into destination, replacing its content;
 * the handle's size becomes the compressed length (0 for an empty source).
 * The output is the same for the same input on every run.
 * Results: noErr; paramErr for a null handle, a negative length or a null
 * source with a non-zero length; memFullErr when the work memory cannot be
 * had (handle untouched); the MemError of a failed resize, the handle then
 * holding the complete groups written before. */
QL_EXPORT OSErr LZSSCompress(const void *source, SInt32 sourceLength, Handle destination) QL_NOEXCEPT;

/* Expands an LZSS stream into destination, replacing its content; the
 * handle's size becomes the expanded length (0 for an empty source).
 * The source is never read past sourceLength: a stream cut inside an item
 * (a flag bit with no byte for it, a reference with one byte left) ends
 * quietly with what was decoded so far. References to ring positions not
 * yet written give the ring's initial bytes.
 * Results: noErr; paramErr as for LZSSCompress; memFullErr when the window
 * cannot be allocated (handle untouched); the MemError of a failed resize,
 * the handle then holding the bytes produced before it. */
QL_EXPORT OSErr LZSSExpand(const void *source, SInt32 sourceLength, Handle destination) QL_NOEXCEPT;

/* Stores in *expandedSize (may be NULL) the size LZSSExpand would give the
 * handle for this source, stopping at the same truncation points.
 * Results: noErr; paramErr for a negative length or a null source with a
 * non-zero length; memFullErr when the stream would expand past 2 GiB - 1
 * (nothing stored). */
QL_EXPORT OSErr LZSSGetExpandedSize(const void *source, SInt32 sourceLength,
                                    SInt32 *expandedSize) QL_NOEXCEPT;

/* ---- PackBits in chunks ----------------------------------------------------
 * The source is packed in chunks of 32,000 bytes (the last one shorter); no
 * item spans a chunk boundary, so the packed stream unpacks chunk by chunk. */

/* Packs *length bytes from source to destination and stores the packed
 * size in *length. destination must hold GetMaxPackBitsExpandedSize(*length)
 * bytes. A null pointer, a zero or negative length packs nothing (*length
 * becomes 0 when length is not NULL). */
QL_EXPORT void BigPackBits(const void *source, void *destination, SInt32 *length) QL_NOEXCEPT;

/* Unpacks a stream made by BigPackBits into unpackedLength bytes at
 * destination, chunk by chunk. Never writes past unpackedLength bytes:
 * an item that would cross the end of a chunk is cut there. The source has
 * no length, so it must hold the complete stream; untrusted data must go
 * through a bounded decoder instead. A null pointer or a count of 0 or less
 * does nothing. */
QL_EXPORT void BigUnpackBits(const void *source, void *destination, SInt32 unpackedLength) QL_NOEXCEPT;

/* The most bytes BigPackBits can produce from byteCount bytes:
 * byteCount + (byteCount + 126) / 127, capped at 0xFFFFFFFF. */
QL_EXPORT UInt32 GetMaxPackBitsExpandedSize(UInt32 byteCount) QL_NOEXCEPT;

/* ---- zlib --------------------------------------------------------------- */

/* Appends the zlib stream (RFC 1950) of sourceLength bytes to destination,
 * after its current content. The handle is grown by at least zlib's own
 * worst-case bound for the length, then cut to the stream's end; its lock
 * state is restored.
 * Results: noErr; paramErr for a null handle or a null source with a
 * non-zero length; memFullErr when the handle cannot hold the bound (over
 * 2 GiB - 1 in all included); the MemError of a failed resize; zlib's own
 * negative code from compress(), the handle then left exactly as it was. */
QL_EXPORT OSErr ZLibCompress(const void *source, UInt32 sourceLength, Handle destination) QL_NOEXCEPT;

/* Inflates a zlib stream of sourceLength bytes and appends the result to
 * destination, after its current content. expandedLength is the size the
 * data inflates to; the handle keeps exactly the bytes produced.
 * Results: noErr (Z_OK); paramErr for a null handle or a null source with a
 * non-zero length; memFullErr when the handle cannot grow by
 * expandedLength (or the total would pass 2 GiB - 1); zlib's own negative
 * code from uncompress() (Z_DATA_ERROR for corrupt or cut data, Z_BUF_ERROR
 * when the data inflates to more than expandedLength), the handle then
 * restored to its size on entry. */
QL_EXPORT OSErr ZLibExpand(const void *source, UInt32 sourceLength, UInt32 expandedLength,
                           Handle destination) QL_NOEXCEPT;

QL_END_DECLS

#endif
