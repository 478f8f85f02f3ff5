// zlib wrapper on arbitrary bytes. Input: four bytes of expected length
// (capped at 1 MiB), then the stream. On success the handle holds its old
// content plus exactly what zlib produced; on failure exactly its old
// content. The stream's bytes must also survive ZLibCompress/ZLibExpand.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "toolbox/encoding/EncodingToolbox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const uint32_t expected = fuzz::TakeNumber(data, size, 4) % ((1u << 20) + 1);
  const std::vector<uint8_t> stream(data, data + size);
  const std::vector<uint8_t> prefix = {'o', 'l', 'd'};

  Handle h = NewHandle(3);
  fuzz::Require(h != nullptr);
  std::memcpy(*h, prefix.data(), 3);
  const OSErr err = ZLibExpand(stream.data(), UInt32(stream.size()), expected, h);
  std::vector<uint8_t> got = fuzz::Bytes(h);
  fuzz::Require(got.size() >= 3 && std::vector<uint8_t>(got.begin(), got.begin() + 3) == prefix);
  if (err == noErr) {
    std::vector<uint8_t> direct(expected);
    uLongf n = expected;
    fuzz::Require(uncompress(direct.data(), &n, stream.data(), uLong(stream.size())) == Z_OK);
    direct.resize(n);
    fuzz::Require(std::vector<uint8_t>(got.begin() + 3, got.end()) == direct);
  } else {
    fuzz::Require(got.size() == 3);
  }

  SetHandleSize(h, 0);
  fuzz::Require(ZLibCompress(stream.data(), UInt32(stream.size()), h) == noErr);
  Handle back = NewHandle(0);
  fuzz::Require(back != nullptr);
  HLock(h);
  fuzz::Require(ZLibExpand(*h, UInt32(GetHandleSize(h)), UInt32(stream.size()), back) == noErr);
  fuzz::Require(fuzz::Bytes(back) == stream);
  DisposeHandle(back);
  DisposeHandle(h);
  return 0;
}
