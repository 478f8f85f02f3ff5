// The format engine behind PackData, UnpackData and EndianSwapFormatted.
//
// Each engine walks the format once, taking every argument with its real
// type (32-bit values and counts, native pointers). Integers with a stated
// byte order are written and read with shifts, so those letters mean the
// same bytes on any host; the copy letters move memory as it lies.
#include "toolbox/packing/PackingToolbox.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "toolbox/packing/MacLatin1.h"

namespace {

using ql::detail::packing::kLatin1ToMac;
using ql::detail::packing::kMacToLatin1;

// Reads the arguments of a format in order. Every argument the formats take
// (32-bit values, 32-bit counts, pointers) is of the integer class and
// travels in one 8-byte slot, so on the x86-64 System V ABI the cursor walks
// the slots itself: the six register slots saved by va_start, then the stack
// slots. That is what va_arg does for these types, but with the position in
// registers instead of in the va_list in memory, which removes a
// store-to-load chain from every field. Other targets use va_arg.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(_WIN32)
class ArgCursor {
public:
  explicit ArgCursor(va_list *ap) {
    struct SysVList {
      unsigned gpOffset;
      unsigned fpOffset;
      const char *overflowArea;
      const char *regSaveArea;
    } list;
    static_assert(sizeof(SysVList) == sizeof(va_list), "System V va_list layout");
    std::memcpy(&list, *ap, sizeof list);
    gpOffset_ = list.gpOffset;
    overflow_ = list.overflowArea;
    regs_ = list.regSaveArea;
  }
  std::uint32_t U32() { return std::uint32_t(Slot()); }
  std::int32_t S32() { return std::int32_t(std::uint32_t(Slot())); }
  template <typename T> T *Ptr() { return reinterpret_cast<T *>(std::uintptr_t(Slot())); }

private:
  // 48 bytes of register save area hold the six integer argument registers.
  std::uint64_t Slot() {
    std::uint64_t v;
    if (gpOffset_ < 48) {
      std::memcpy(&v, regs_ + gpOffset_, 8);
      gpOffset_ += 8;
    } else {
      std::memcpy(&v, overflow_, 8);
      overflow_ += 8;
    }
    return v;
  }
  unsigned gpOffset_;
  const char *overflow_;
  const char *regs_;
};
#else
class ArgCursor {
public:
  explicit ArgCursor(va_list *ap) : ap_(ap) {}
  std::uint32_t U32() { return va_arg(*ap_, std::uint32_t); }
  std::int32_t S32() { return va_arg(*ap_, std::int32_t); }
  template <typename T> T *Ptr() { return va_arg(*ap_, T *); }

private:
  va_list *ap_;
};
#endif

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
  const auto d = reinterpret_cast<std::uintptr_t>(dst), s = reinterpret_cast<std::uintptr_t>(src);
  if (d < s + n && s < d + n) {
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

// Copies n bytes as memmove does. Short ranges, the usual case in records,
// are moved with a few fixed-size loads (all done before the stores, so the
// ranges may overlap) instead of a library call.
inline void MoveBytes(std::uint8_t *dst, const std::uint8_t *src, std::size_t n) {
  if (n > 16) {
    std::memmove(dst, src, n);
  } else if (n >= 8) {
    std::uint64_t head, tail;
    std::memcpy(&head, src, 8);
    std::memcpy(&tail, src + n - 8, 8);
    std::memcpy(dst, &head, 8);
    std::memcpy(dst + n - 8, &tail, 8);
  } else if (n >= 4) {
    std::uint32_t head, tail;
    std::memcpy(&head, src, 4);
    std::memcpy(&tail, src + n - 4, 4);
    std::memcpy(dst, &head, 4);
    std::memcpy(dst + n - 4, &tail, 4);
  } else if (n != 0) {
    const std::uint8_t a = src[0], b = src[n / 2], c = src[n - 1];
    dst[0] = a;
    dst[n / 2] = b;
    dst[n - 1] = c;
  }
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

// Operation of each format character in PackData, by character code.
enum PackOp : std::uint8_t {
  kPackBad, kPackEnd, kPackByte, kPack16BE, kPack16LE, kPack24BE, kPack24LE, kPack32BE,
  kPack32LE, kPackCopy, kPackReversed, kPackCount, kPackCountReversed, kPackLatin1,
  kPackPascal, kPackCString, kPackOpCount
};

constexpr std::array<std::uint8_t, 256> MakePackOps() {
  std::array<std::uint8_t, 256> ops{}; // kPackBad everywhere else
  ops['\0'] = kPackEnd;
  ops['b'] = kPackByte;
  ops['h'] = kPack16BE;
  ops['H'] = kPack16LE;
  ops['t'] = kPack24BE;
  ops['T'] = kPack24LE;
  ops['w'] = kPack32BE;
  ops['W'] = kPack32LE;
  for (char c = '1'; c <= '9'; ++c) ops[std::uint8_t(c)] = kPackCopy;
  for (char c : {'@', '#', '$', '%', '^', '&', '*', '('}) ops[std::uint8_t(c)] = kPackReversed;
  ops['n'] = kPackCount;
  ops['N'] = kPackCountReversed;
  ops['l'] = kPackLatin1;
  ops['p'] = kPackPascal;
  ops['s'] = kPackCString;
  return ops;
}
constexpr std::array<std::uint8_t, 256> kPackOps = MakePackOps();

// The packing loop is threaded: every field ends by jumping straight to the
// handler of the next format character, so a field costs a table look-up and
// one indirect branch, each with its own prediction. Label addresses are a
// GNU extension (GCC and Clang); a function holding them in a static table is
// never inlined, and tail merging is turned off for it so that the handlers
// keep their own jumps. The argument cursor is made here so that it lives in
// registers. This is the hot path of every record the tag engine writes.
#if defined(__clang__)
#define QL_KEEP_SEPARATE_JUMPS
#else
#define QL_KEEP_SEPARATE_JUMPS gnu::optimize("no-crossjumping", "no-gcse")
#endif
[[gnu::noinline, QL_KEEP_SEPARATE_JUMPS]] SInt32 PackCore(void *destination, const char *format, va_list *ap) {
  if (format == nullptr) return -1;
  if (destination == nullptr) return *format == '\0' ? 0 : -1;
  ArgCursor args(ap);
  // In PackOp order.
  static const void *const kHandlers[kPackOpCount] = {
      &&bad,  &&end,  &&byte,     &&be16,    &&le16,           &&be24,   &&le24,  &&be32,
      &&le32, &&copy, &&reversed, &&counted, &&countedReversed, &&latin1, &&pascal, &&cString};
  auto *const start = static_cast<std::uint8_t *>(destination);
  std::uint8_t *p = start;
  std::uint8_t c;
#define QL_NEXT_FIELD()                                                                            \
  do {                                                                                             \
    c = std::uint8_t(*format++);                                                                   \
    goto *kHandlers[kPackOps[c]];                                                                  \
  } while (0)

  QL_NEXT_FIELD();
bad:
  return -1;
end:
  return SInt32(p - start);
byte: {
  const std::uint32_t v = args.U32();
  p[0] = std::uint8_t(v);
  p += 1;
  QL_NEXT_FIELD();
}
be16: {
  const std::uint32_t v = args.U32();
  p[0] = std::uint8_t(v >> 8);
  p[1] = std::uint8_t(v);
  p += 2;
  QL_NEXT_FIELD();
}
le16: {
  const std::uint32_t v = args.U32();
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
  p += 2;
  QL_NEXT_FIELD();
}
be24: {
  const std::uint32_t v = args.U32();
  p[0] = std::uint8_t(v >> 16);
  p[1] = std::uint8_t(v >> 8);
  p[2] = std::uint8_t(v);
  p += 3;
  QL_NEXT_FIELD();
}
le24: {
  const std::uint32_t v = args.U32();
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
  p[2] = std::uint8_t(v >> 16);
  p += 3;
  QL_NEXT_FIELD();
}
be32: {
  const std::uint32_t v = args.U32();
  p[0] = std::uint8_t(v >> 24);
  p[1] = std::uint8_t(v >> 16);
  p[2] = std::uint8_t(v >> 8);
  p[3] = std::uint8_t(v);
  p += 4;
  QL_NEXT_FIELD();
}
le32: {
  const std::uint32_t v = args.U32();
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
  p[2] = std::uint8_t(v >> 16);
  p[3] = std::uint8_t(v >> 24);
  p += 4;
  QL_NEXT_FIELD();
}
copy: {
  const auto *src = args.Ptr<const std::uint8_t>();
  if (src == nullptr) return -1;
  const std::size_t n = std::size_t(c - '0');
  MoveBytes(p, src, n);
  p += n;
  QL_NEXT_FIELD();
}
reversed: {
  const auto *src = args.Ptr<const std::uint8_t>();
  if (src == nullptr) return -1;
  const std::size_t n = std::size_t(ShiftedDigitWidth(char(c)));
  CopyReversed(p, src, n);
  p += n;
  QL_NEXT_FIELD();
}
counted: {
  const std::uint32_t count = args.U32();
  const auto *src = args.Ptr<const std::uint8_t>();
  if (count != 0) {
    if (src == nullptr) return -1;
    MoveBytes(p, src, count);
    p += count;
  }
  QL_NEXT_FIELD();
}
countedReversed: {
  const std::uint32_t count = args.U32();
  const auto *src = args.Ptr<const std::uint8_t>();
  if (count != 0) {
    if (src == nullptr) return -1;
    CopyReversed(p, src, count);
    p += count;
  }
  QL_NEXT_FIELD();
}
latin1: {
  const std::uint32_t count = args.U32();
  const auto *src = args.Ptr<const std::uint8_t>();
  if (count != 0) {
    if (src == nullptr) return -1;
    for (std::uint32_t i = 0; i < count; ++i) p[i] = kMacToLatin1[src[i]];
    p += count;
  }
  QL_NEXT_FIELD();
}
pascal: {
  const auto *src = args.Ptr<const std::uint8_t>();
  if (src == nullptr) return -1;
  const std::size_t n = std::size_t(src[0]) + 1;
  MoveBytes(p, src, n);
  p += n;
  QL_NEXT_FIELD();
}
cString: {
  const auto *src = args.Ptr<const char>();
  if (src == nullptr) return -1;
  const std::size_t n = std::strlen(src) + 1;
  MoveBytes(p, reinterpret_cast<const std::uint8_t *>(src), n);
  p += n;
  QL_NEXT_FIELD();
}
#undef QL_NEXT_FIELD
#undef QL_KEEP_SEPARATE_JUMPS
}

[[gnu::always_inline]] inline SInt32 UnpackCore(UInt32 available, const void *source, const char *format, va_list *ap) {
  ArgCursor args(ap);
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
      auto *out = args.Ptr<std::uint8_t>();
      if (left < 1 || out == nullptr) return -1;
      *out = p[0];
      p += 1;
      left -= 1;
      break;
    }
    case 'h':
    case 'H': {
      void *out = args.Ptr<void>();
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
      void *out = args.Ptr<void>();
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
      void *out = args.Ptr<void>();
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
      void *out = args.Ptr<void>();
      const std::uint32_t n = std::uint32_t(c - '0');
      if (left < n || out == nullptr) return -1;
      MoveBytes(static_cast<std::uint8_t *>(out), p, n);
      p += n;
      left -= n;
      break;
    }
    case '@': case '#': case '$': case '%': case '^': case '&': case '*': case '(': {
      auto *out = args.Ptr<std::uint8_t>();
      const std::uint32_t n = std::uint32_t(ShiftedDigitWidth(c));
      if (left < n || out == nullptr) return -1;
      CopyReversed(out, p, n);
      p += n;
      left -= n;
      break;
    }
    case 'n': case 'N': case 'l': {
      const std::uint32_t count = args.U32();
      auto *out = args.Ptr<std::uint8_t>();
      if (left < count) return -1;
      if (count == 0) break;
      if (out == nullptr) return -1;
      if (c == 'n') {
        MoveBytes(out, p, count);
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
      const std::int32_t capacity = args.S32();
      auto *out = args.Ptr<std::uint8_t>();
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
      const std::int32_t capacity = args.S32();
      auto *out = args.Ptr<std::uint8_t>();
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
  ArgCursor args(ap);
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
      n = args.U32();
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
