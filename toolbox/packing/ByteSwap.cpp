// In-place byte-order swappers for arrays of 16-, 32- and 64-bit values and
// the host byte-order queries.
//
// Blocks may be unaligned, so values are loaded and stored with memcpy, which
// the compiler turns into plain moves; the loops are simple enough for it to
// vectorise.
#include "toolbox/packing/PackingToolbox.h"

#include <cstdint>
#include <cstring>

namespace {

template <typename T, T (*Swap)(T)>
inline void SwapArray(std::uint32_t byteCount, std::uint8_t *p) {
  const std::uint32_t n = byteCount / sizeof(T);
  for (std::uint32_t i = 0; i < n; ++i) {
    T v;
    std::memcpy(&v, p + std::size_t(i) * sizeof(T), sizeof(T));
    v = Swap(v);
    std::memcpy(p + std::size_t(i) * sizeof(T), &v, sizeof(T));
  }
}

inline std::uint16_t Swap16(std::uint16_t v) { return __builtin_bswap16(v); }
inline std::uint32_t Swap32(std::uint32_t v) { return __builtin_bswap32(v); }
inline std::uint64_t Swap64(std::uint64_t v) { return __builtin_bswap64(v); }

} // namespace

extern "C" void EndianSwapMemory16Bit(UInt32 byteCount, void *block) noexcept {
  if (block == nullptr) return;
  SwapArray<std::uint16_t, Swap16>(byteCount, static_cast<std::uint8_t *>(block));
}

extern "C" void EndianSwapMemory32Bit(UInt32 byteCount, void *block) noexcept {
  if (block == nullptr) return;
  SwapArray<std::uint32_t, Swap32>(byteCount, static_cast<std::uint8_t *>(block));
}

extern "C" void EndianSwapMemory64Bit(UInt32 byteCount, void *block) noexcept {
  if (block == nullptr) return;
  SwapArray<std::uint64_t, Swap64>(byteCount, static_cast<std::uint8_t *>(block));
}

extern "C" void EndianSwapMemory16BitCopy(UInt32 byteCount, const void *source,
                                          void *destination) noexcept {
  if (source == nullptr || destination == nullptr) return;
  const auto *src = static_cast<const std::uint8_t *>(source);
  auto *dst = static_cast<std::uint8_t *>(destination);
  const std::uint32_t n = byteCount / 2;
  for (std::uint32_t i = 0; i < n; ++i) {
    std::uint16_t v;
    std::memcpy(&v, src + std::size_t(i) * 2, 2);
    v = __builtin_bswap16(v);
    std::memcpy(dst + std::size_t(i) * 2, &v, 2);
  }
}

extern "C" Boolean IsBigEndian(void) noexcept {
  return __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
}

extern "C" Boolean IsLittleEndian(void) noexcept {
  return __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
}
