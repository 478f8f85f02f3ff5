// PackBits decoding of arbitrary bytes. Input: three bytes of unpacked
// length (up to 100,000), then the packed stream. The bounded decoder must
// stay inside both buffers; when it completes, the exported decoder (which
// trusts its source) must give the same bytes; and packing the stream's
// bytes must round-trip within the published bound.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "toolbox/encoding/CompressionCore.h"
#include "toolbox/encoding/EncodingToolbox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const uint32_t count = fuzz::TakeNumber(data, size, 3) % 100001;
  // Exact-size heap copies so that any stray access is caught.
  const std::vector<uint8_t> stream(data, data + size);
  std::vector<uint8_t> out(count);
  const auto r = ql::detail::BigUnpackBitsBounded(stream.data(), stream.size(), out.data(), out.size());
  fuzz::Require(r.read <= stream.size() && r.written <= out.size());
  if (r.written == count && count > 0) {
    std::vector<uint8_t> again(count);
    BigUnpackBits(stream.data(), again.data(), SInt32(count));
    fuzz::Require(again == out);
  }

  std::vector<uint8_t> packed(GetMaxPackBitsExpandedSize(UInt32(size)));
  SInt32 length = SInt32(size);
  BigPackBits(stream.data(), packed.data(), &length);
  fuzz::Require(length >= 0 && UInt32(length) <= packed.size());
  packed.resize(size_t(length));
  std::vector<uint8_t> back(size);
  const auto b = ql::detail::BigUnpackBitsBounded(packed.data(), packed.size(), back.data(), back.size());
  fuzz::Require(b.written == size && b.read == packed.size() && back == stream);
  return 0;
}
