// Small helpers shared by the fuzz targets.
#ifndef FUZZ_FUZZSUPPORT_H
#define FUZZ_FUZZSUPPORT_H

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/memory/Memory.h"

namespace fuzz {

// Aborts (a finding for libFuzzer) when a property does not hold.
inline void Require(bool ok) {
  if (!ok)
    std::abort();
}

inline std::vector<uint8_t> Bytes(Handle h) {
  const Size n = GetHandleSize(h);
  const auto *p = reinterpret_cast<const uint8_t *>(*h);
  return n > 0 ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>();
}

// The first `count` bytes as a little-endian number; the input advances.
inline uint32_t TakeNumber(const uint8_t *&data, size_t &size, int count) {
  uint32_t v = 0;
  for (int i = 0; i < count && size > 0; ++i, ++data, --size)
    v |= uint32_t(*data) << (8 * i);
  return v;
}

} // namespace fuzz

#endif
