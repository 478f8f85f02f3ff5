// QuickDraw's PackBits and UnpackBits over the shared coder.

#include "platform/quickdraw/PackBits.h"

#include <cstdint>

#include "platform/quickdraw/PackBitsCodec.h"

void PackBits(Ptr *srcPtr, Ptr *dstPtr, SInt16 srcBytes) noexcept {
  if (srcPtr == nullptr || dstPtr == nullptr || srcBytes <= 0)
    return;
  const auto *src = reinterpret_cast<const uint8_t *>(*srcPtr);
  auto *dst = reinterpret_cast<uint8_t *>(*dstPtr);
  const size_t written = ql::packbits::Pack(src, size_t(srcBytes), dst);
  *srcPtr += srcBytes;
  *dstPtr += written;
}

void UnpackBits(Ptr *srcPtr, Ptr *dstPtr, SInt16 dstBytes) noexcept {
  if (srcPtr == nullptr || dstPtr == nullptr || dstBytes <= 0)
    return;
  const auto *src = reinterpret_cast<const uint8_t *>(*srcPtr);
  auto *dst = reinterpret_cast<uint8_t *>(*dstPtr);
  const auto r = ql::packbits::Unpack(src, SIZE_MAX, dst, size_t(dstBytes));
  *srcPtr += r.read;
  *dstPtr += r.written;
}
