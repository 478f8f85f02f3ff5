// PackBits over blocks of any size: chunks of 32,000 source bytes, each
// packed by one QuickDraw PackBits call, so that no item crosses a chunk
// boundary and the stream unpacks chunk by chunk.

#include <climits>
#include <cstdint>

#include "platform/quickdraw/PackBits.h"
#include "toolbox/encoding/CompressionCore.h"
#include "toolbox/encoding/EncodingToolbox.h"

extern "C" void BigPackBits(const void *source, void *destination, SInt32 *length) noexcept {
  if (length == nullptr)
    return;
  const SInt32 count = *length;
  *length = 0;
  if (source == nullptr || destination == nullptr || count <= 0)
    return;
  Ptr src = static_cast<Ptr>(const_cast<void *>(source));
  Ptr dst = static_cast<Ptr>(destination);
  SInt32 left = count;
  while (left > 0) {
    const SInt16 chunk = SInt16(left < SInt32(ql::detail::kPackBitsChunk)
                                    ? left
                                    : SInt32(ql::detail::kPackBitsChunk));
    const Ptr before = dst;
    PackBits(&src, &dst, chunk);
    *length += SInt32(dst - before);
    left -= chunk;
  }
}

extern "C" void BigUnpackBits(const void *source, void *destination, SInt32 unpackedLength) noexcept {
  if (source == nullptr || destination == nullptr || unpackedLength <= 0)
    return;
  // The caller vouches for the source; every chunk is still cut at the
  // destination's end.
  ql::detail::BigUnpackBitsBounded(static_cast<const uint8_t *>(source), SIZE_MAX,
                                   static_cast<uint8_t *>(destination), size_t(unpackedLength));
}

extern "C" UInt32 GetMaxPackBitsExpandedSize(UInt32 byteCount) noexcept {
  const uint64_t bound = uint64_t(byteCount) + (uint64_t(byteCount) + 126) / 127;
  return bound > UINT32_MAX ? UINT32_MAX : UInt32(bound);
}
