// The format engine behind PackData, UnpackData and EndianSwapFormatted.
//
// Each engine walks the format once, taking every argument with its real
// type (32-bit values and counts, native pointers). Integers with a stated
// byte order are written and read with shifts, so those letters mean the
// same bytes on any host; the copy letters move memory as it lies.
#include "toolbox/packing/PackingToolbox.h"

#include <cstdint>
#include <cstring>

#include "toolbox/packing/MacLatin1.h"

namespace {

using ql::detail::packing::kLatin1ToMac;
using ql::detail::packing::kMacToLatin1;

// Width of a shifted-digit letter (@ 2, # 3, $ 4, % 5, ^ 6, & 7, * 8, ( 9),
// or 0 for any other character.
constexpr int ShiftedDigitWidth(char c) {
  switch (c) {
  case '@': return 2;
  case '#': return 3;
  case '$': return 4;
  case '%': return 5;
  case '^': return 6;
  case '&': return 7;
  case '*': return 8;
  case '(': return 9;
  default: return 0;
  }
}

// Copies n bytes from src to dst, last byte first. The two ranges may
// overlap (unpacking in place).
void CopyReversed(std::uint8_t *dst, const std::uint8_t *src, std::size_t n) {
  if (n == 0) return;
  if (dst < src + n && src < dst + n) {
    std::memmove(dst, src, n);
    for (std::size_t i = 0, j = n - 1; i < j; ++i, --j) {
      std::uint8_t t = dst[i];
      dst[i] = dst[j];
      dst[j] = t;
    }
    return;
  }
  for (std::size_t i = 0; i < n; ++i) dst[i] = src[n - 1 - i];
}

void ReverseInPlace(std::uint8_t *p, std::size_t n) {
  if (n < 2) return;
  for (std::size_t i = 0, j = n - 1; i < j; ++i, --j) {
    std::uint8_t t = p[i];
    p[i] = p[j];
    p[j] = t;
  }
}

// Stores v through an integer pointer that may be unaligned.
template <typename T> inline void StoreNative(void *out, T v) { std::memcpy(out, &v, sizeof v); }

SInt32 PackCore(void *destination, const char *format, va_list *ap) {
  if (format == nullptr) return -1;
  if (destination == nullptr) return *format == '\0' ? 0 : -1;
  auto *const start = static_cast<std::uint8_t *>(destination);
  std::uint8_t *p = start;
  for (;; ++format) {
    const char c = *format;
    switch (c) {
    case '\0':
      return SInt32(p - start);
    case 'b': {
      const std::uint32_t v = va_arg(*ap, std::uint32_t);
      p[0] = std::uint8_t(v);
      p += 1;
      break;
    }
    case 'h': {
      const std::uint32_t v = va_arg(*ap, std::uint32_t);
      p[0] = std::uint8_t(v >> 8);
      p[1] = std::uint8_t(v);
      p += 2;
      break;
    }
    case 'H': {
      const std::uint32_t v = va_arg(*ap, std::uint32_t);
      p[0] = std::uint8_t(v);
      p[1] = std::uint8_t(v >> 8);
      p += 2;
      break;
    }
    case 't': {
      const std::uint32_t v = va_arg(*ap, std::uint32_t);
      p[0] = std::uint8_t(v >> 16);
      p[1] = std::uint8_t(v >> 8);
      p[2] = std::uint8_t(v);
      p += 3;
      break;
    }
    case 'T': {
      const std::uint32_t v = va_arg(*ap, std::uint32_t);
      p[0] = std::uint8_t(v);
      p[1] = std::uint8_t(v >> 8);
      p[2] = std::uint8_t(v >> 16);
      p += 3;
      break;
    }
    case 'w': {
      const std::uint32_t v = va_arg(*ap, std::uint32_t);
      p[0] = std::uint8_t(v >> 24);
      p[1] = std::uint8_t(v >> 16);
      p[2] = std::uint8_t(v >> 8);
      p[3] = std::uint8_t(v);
      p += 4;
      break;
    }
    case 'W': {
      const std::uint32_t v = va_arg(*ap, std::uint32_t);
      p[0] = std::uint8_t(v);
      p[1] = std::uint8_t(v >> 8);
      p[2] = std::uint8_t(v >> 16);
      p[3] = std::uint8_t(v >> 24);
      p += 4;
      break;
    }
    case '1': case '2': case '3': case '4': case '5': case '6': case '7': case '8': case '9': {
      const void *src = va_arg(*ap, const void *);
      if (src == nullptr) return -1;
      const std::size_t n = std::size_t(c - '0');
      std::memmove(p, src, n);
      p += n;
      break;
    }
    case '@': case '#': case '$': case '%': case '^': case '&': case '*': case '(': {
      const auto *src = va_arg(*ap, const std::uint8_t *);
      if (src == nullptr) return -1;
      const std::size_t n = std::size_t(ShiftedDigitWidth(c));
      CopyReversed(p, src, n);
      p += n;
      break;
    }
    case 'n': case 'N': case 'l': {
      const std::uint32_t count = va_arg(*ap, std::uint32_t);
      const auto *src = va_arg(*ap, const std::uint8_t *);
      if (count == 0) break;
      if (src == nullptr) return -1;
      if (c == 'n') {
        std::memmove(p, src, count);
      } else if (c == 'N') {
        CopyReversed(p, src, count);
      } else {
        for (std::uint32_t i = 0; i < count; ++i) p[i] = kMacToLatin1[src[i]];
      }
      p += count;
      break;
    }
    case 'p': {
      const auto *src = va_arg(*ap, const std::uint8_t *);
      if (src == nullptr) return -1;
      const std::size_t n = std::size_t(src[0]) + 1;
      std::memmove(p, src, n);
      p += n;
      break;
    }
    case 's': {
      const auto *src = va_arg(*ap, const char *);
      if (src == nullptr) return -1;
      const std::size_t n = std::strlen(src) + 1;
      std::memmove(p, src, n);
      p += n;
      break;
    }
    default:
      return -1;
    }
  }
}

SInt32 UnpackCore(UInt32 available, const void *source, const char *format, va_list *ap) {
  if (format == nullptr) return -1;
  if (source == nullptr) available = 0;
  const auto *const start = static_cast<const std::uint8_t *>(source);
  const std::uint8_t *p = start;
  std::uint32_t left = available;
  for (;; ++format) {
    const char c = *format;
    switch (c) {
    case '\0':
      return SInt32(p - start);
    case 'b': {
      auto *out = va_arg(*ap, std::uint8_t *);
      if (left < 1 || out == nullptr) return -1;
      *out = p[0];
      p += 1;
      left -= 1;
      break;
    }
    case 'h':
    case 'H': {
      void *out = va_arg(*ap, void *);
      if (left < 2 || out == nullptr) return -1;
      const std::uint16_t v = c == 'h' ? std::uint16_t((p[0] << 8) | p[1])
                                       : std::uint16_t(p[0] | (p[1] << 8));
      StoreNative(out, v);
      p += 2;
      left -= 2;
      break;
    }
    case 't':
    case 'T': {
      void *out = va_arg(*ap, void *);
      if (left < 3 || out == nullptr) return -1;
      const std::uint32_t v = c == 't'
          ? (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2]
          : std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16);
      StoreNative(out, v);
      p += 3;
      left -= 3;
      break;
    }
    case 'w':
    case 'W': {
      void *out = va_arg(*ap, void *);
      if (left < 4 || out == nullptr) return -1;
      const std::uint32_t v = c == 'w'
          ? (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) |
                (std::uint32_t(p[2]) << 8) | p[3]
          : std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
                (std::uint32_t(p[3]) << 24);
      StoreNative(out, v);
      p += 4;
      left -= 4;
      break;
    }
    case '1': case '2': case '3': case '4': case '5': case '6': case '7': case '8': case '9': {
      void *out = va_arg(*ap, void *);
      const std::uint32_t n = std::uint32_t(c - '0');
      if (left < n || out == nullptr) return -1;
      std::memmove(out, p, n);
      p += n;
      left -= n;
      break;
    }
    case '@': case '#': case '$': case '%': case '^': case '&': case '*': case '(': {
      auto *out = va_arg(*ap, std::uint8_t *);
      const std::uint32_t n = std::uint32_t(ShiftedDigitWidth(c));
      if (left < n || out == nullptr) return -1;
      CopyReversed(out, p, n);
      p += n;
      left -= n;
      break;
    }
    case 'n': case 'N': case 'l': {
      const std::uint32_t count = va_arg(*ap, std::uint32_t);
      auto *out = va_arg(*ap, std::uint8_t *);
      if (left < count) return -1;
      if (count == 0) break;
      if (out == nullptr) return -1;
      if (c == 'n') {
        std::memmove(out, p, count);
      } else if (c == 'N') {
        CopyReversed(out, p, count);
      } else {
        for (std::uint32_t i = 0; i < count; ++i) out[i] = kLatin1ToMac[p[i]];
      }
      p += count;
      left -= count;
      break;
    }
    case 'p': {
      const std::int32_t capacity = va_arg(*ap, std::int32_t);
      auto *out = va_arg(*ap, std::uint8_t *);
      if (left < 1) return -1;
      const std::uint32_t length = p[0];
      if (left - 1 < length) return -1;
      if (capacity > 0) {
        if (out == nullptr) return -1;
        // The longest prefix that fits: the length byte and capacity - 1
        // text bytes at most.
        const std::uint32_t kept =
            length < std::uint32_t(capacity) ? length : std::uint32_t(capacity) - 1;
        std::memmove(out + 1, p + 1, kept);
        out[0] = std::uint8_t(kept);
      }
      p += 1 + length;
      left -= 1 + length;
      break;
    }
    case 's': {
      const std::int32_t capacity = va_arg(*ap, std::int32_t);
      auto *out = va_arg(*ap, std::uint8_t *);
      if (left < 1) return -1;
      const void *nul = std::memchr(p, 0, left);
      if (nul == nullptr) return -1;
      const std::uint32_t length = std::uint32_t(static_cast<const std::uint8_t *>(nul) - p) + 1;
      if (capacity > 0) {
        if (out == nullptr) return -1;
        const std::uint32_t kept =
            length < std::uint32_t(capacity) ? length : std::uint32_t(capacity);
        std::memmove(out, p, kept);
      }
      p += length;
      left -= length;
      break;
    }
    default:
      return -1;
    }
  }
}

SInt32 SwapCore(UInt32 available, void *record, const char *format, va_list *ap) {
  if (format == nullptr) return -1;
  if (record == nullptr) available = 0;
  auto *const start = static_cast<std::uint8_t *>(record);
  std::uint8_t *p = start;
  std::uint32_t left = available;
  for (;; ++format) {
    const char c = *format;
    std::uint32_t n;
    bool reverse;
    if (c == '\0') {
      return SInt32(p - start);
    } else if (c >= '1' && c <= '9') {
      n = std::uint32_t(c - '0');
      reverse = true;
    } else if (c == 'n' || c == 'N') {
      n = va_arg(*ap, std::uint32_t);
      reverse = c == 'n';
    } else if (int w = ShiftedDigitWidth(c); w != 0) {
      n = std::uint32_t(w);
      reverse = false;
    } else {
      return -1;
    }
    if (left < n) return -1;
    if (reverse) ReverseInPlace(p, n);
    p += n;
    left -= n;
  }
}

} // namespace

extern "C" SInt32 PackData(void *destination, const char *format, ...) noexcept {
  va_list ap;
  va_start(ap, format);
  const SInt32 result = PackCore(destination, format, &ap);
  va_end(ap);
  return result;
}

extern "C" SInt32 PackDataList(void *destination, const char *format, va_list args) noexcept {
  va_list ap;
  va_copy(ap, args);
  const SInt32 result = PackCore(destination, format, &ap);
  va_end(ap);
  return result;
}

extern "C" SInt32 UnpackData(UInt32 available, const void *source, const char *format, ...) noexcept {
  va_list ap;
  va_start(ap, format);
  const SInt32 result = UnpackCore(available, source, format, &ap);
  va_end(ap);
  return result;
}

extern "C" SInt32 UnpackDataList(UInt32 available, const void *source, const char *format,
                                 va_list args) noexcept {
  va_list ap;
  va_copy(ap, args);
  const SInt32 result = UnpackCore(available, source, format, &ap);
  va_end(ap);
  return result;
}

extern "C" SInt32 EndianSwapFormatted(UInt32 available, void *record, const char *format, ...) noexcept {
  va_list ap;
  va_start(ap, format);
  const SInt32 result = SwapCore(available, record, format, &ap);
  va_end(ap);
  return result;
}

extern "C" SInt32 EndianSwapFormattedList(UInt32 available, void *record, const char *format,
                                          va_list args) noexcept {
  va_list ap;
  va_copy(ap, args);
  const SInt32 result = SwapCore(available, record, format, &ap);
  va_end(ap);
  return result;
}
