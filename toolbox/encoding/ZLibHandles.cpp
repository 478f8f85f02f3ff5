// zlib's one-call compress and uncompress, appending to a handle.

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "platform/memory/Memory.h"
#include "toolbox/encoding/CompressionCore.h"
#include "toolbox/encoding/EncodingToolbox.h"

namespace {

// Room asked for the compressed stream: a tenth more plus 12 bytes, and
// never less than zlib's own worst case for this length.
uint64_t CompressRoom(UInt32 length) {
  const uint64_t tenth = uint64_t(length) + length / 10 + 12;
  return std::max<uint64_t>(tenth, compressBound(uLong(length)));
}

} // namespace

extern "C" OSErr ZLibCompress(const void *source, UInt32 sourceLength, Handle destination) noexcept {
  if (destination == nullptr || (source == nullptr && sourceLength != 0))
    return paramErr;
  const Size start = GetHandleSize(destination);
  const uint64_t room = CompressRoom(sourceLength);
  if (uint64_t(start) + room > uint64_t(INT32_MAX))
    return memFullErr;
  if (OSErr err = ql::detail::ResizeHandle(destination, Size(start + int64_t(room))); err != noErr)
    return err;
  const SignedByte state = HGetState(destination);
  HLock(destination);
  uLongf produced = uLongf(room);
  const int z = compress(reinterpret_cast<Bytef *>(*destination) + start, &produced,
                         static_cast<const Bytef *>(source), uLong(sourceLength));
  HSetState(destination, state);
  if (z != Z_OK) {
    SetHandleSize(destination, start);
    return OSErr(z);
  }
  SetHandleSize(destination, Size(start + int64_t(produced)));
  return MemError();
}

extern "C" OSErr ZLibExpand(const void *source, UInt32 sourceLength, UInt32 expandedLength,
                            Handle destination) noexcept {
  if (destination == nullptr || (source == nullptr && sourceLength != 0))
    return paramErr;
  const Size start = GetHandleSize(destination);
  // A length the handle can never hold is a memory failure, not a number
  // to wrap around.
  if (uint64_t(start) + expandedLength > uint64_t(INT32_MAX))
    return memFullErr;
  if (OSErr err = ql::detail::ResizeHandle(destination, Size(start + int64_t(expandedLength)));
      err != noErr)
    return err;
  const SignedByte state = HGetState(destination);
  HLock(destination);
  uLongf produced = uLongf(expandedLength);
  const int z = uncompress(reinterpret_cast<Bytef *>(*destination) + start, &produced,
                           static_cast<const Bytef *>(source), uLong(sourceLength));
  HSetState(destination, state);
  // Keep exactly what was produced; nothing of a failed inflation.
  SetHandleSize(destination, z == Z_OK ? Size(start + int64_t(produced)) : start);
  return OSErr(z);
}
