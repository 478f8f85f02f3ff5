// LZSS expander on arbitrary bytes: no out-of-bounds access, the dry run
// agrees with the real one, and the input itself survives a round trip.

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"
#include "platform/memory/Memory.h"
#include "toolbox/encoding/EncodingToolbox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > (1u << 20))
    return 0;
  const SInt32 n = SInt32(size);
  Handle out = NewHandle(0);
  fuzz::Require(out != nullptr);
  fuzz::Require(LZSSExpand(data, n, out) == noErr);
  SInt32 dry = -1;
  fuzz::Require(LZSSGetExpandedSize(data, n, &dry) == noErr);
  fuzz::Require(dry == GetHandleSize(out));

  Handle packed = NewHandle(0);
  fuzz::Require(packed != nullptr);
  fuzz::Require(LZSSCompress(data, n, packed) == noErr);
  HLock(packed);
  fuzz::Require(LZSSExpand(*packed, GetHandleSize(packed), out) == noErr);
  fuzz::Require(fuzz::Bytes(out) == std::vector<uint8_t>(data, data + size));

  DisposeHandle(packed);
  DisposeHandle(out);
  return 0;
}
