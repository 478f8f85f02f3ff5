// Internal pieces shared by the compression families: output into a handle
// that grows geometrically, and the bounded PackBits decoder for data that
// comes with a length (files, network, fuzzing).
#ifndef TOOLBOX_ENCODING_COMPRESSIONCORE_H
#define TOOLBOX_ENCODING_COMPRESSIONCORE_H

#include <cstddef>
#include <cstdint>

#include "platform/core/MacTypes.h"
#include "platform/quickdraw/PackBitsCodec.h"

namespace ql::detail {

// Sets a handle's size, giving an empty (purged or NewEmptyHandle) handle a
// new block. Returns the MemError of the call.
OSErr ResizeHandle(Handle h, Size newSize) noexcept;

// Appends bytes to a handle from a start offset. Room is reserved ahead
// (doubling, falling back to the exact size when doubling fails), and
// Finish() sets the handle's size to what was written. The cached block
// address is refreshed after every resize, the only time the block moves.
class HandleOutput {
public:
  HandleOutput(Handle h, Size start) noexcept;
  // Makes room for `extra` more bytes: noErr, memFullErr past 2 GiB - 1, or
  // the MemError of the resize.
  OSErr Reserve(size_t extra) noexcept {
    return int64_t(extra) <= capacity_ - size_ ? OSErr(noErr) : Grow(extra);
  }
  uint8_t *Cursor() noexcept { return base_ + size_; }
  void Advance(size_t n) noexcept { size_ += int64_t(n); }
  void Put(uint8_t c) noexcept { base_[size_++] = c; }
  int64_t Written() const noexcept { return size_; }
  // Cuts the handle to the bytes written; returns the MemError.
  OSErr Finish() noexcept;

private:
  OSErr Grow(size_t extra) noexcept;
  Handle h_;
  uint8_t *base_;
  int64_t size_;
  int64_t capacity_;
};

// PackBits chunk of the chunked coder: 32,000 source bytes.
inline constexpr size_t kPackBitsChunk = 32000;

struct UnpackedSpan {
  size_t read;    // source bytes consumed
  size_t written; // destination bytes produced
};

// Unpacks a chunked PackBits stream of srcLen bytes into at most dstLen
// bytes, chunk by chunk as BigUnpackBits does: an item crossing the end of a
// 32,000-byte chunk is cut there. Stops when dstLen bytes are produced or
// the source ends; never reads or writes out of bounds. srcLen may be
// SIZE_MAX when the caller vouches for the source. Header-only so that
// tests and fuzzers reach it without an exported name.
inline UnpackedSpan BigUnpackBitsBounded(const uint8_t *src, size_t srcLen, uint8_t *dst,
                                         size_t dstLen) noexcept {
  UnpackedSpan total{0, 0};
  while (total.written < dstLen) {
    const size_t left = dstLen - total.written;
    const size_t chunk = left < kPackBitsChunk ? left : kPackBitsChunk;
    const auto r =
        ql::packbits::Unpack(src + total.read, srcLen - total.read, dst + total.written, chunk);
    total.read += r.read;
    total.written += r.written;
    if (r.written < chunk) // the source ended
      break;
  }
  return total;
}

} // namespace ql::detail

#endif
