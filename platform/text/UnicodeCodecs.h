// Internal bounded UTF-8 <-> UTF-16 codecs behind the Text Encoding
// Converter. Both stop at the first malformed or incomplete character and
// at the last whole character that fits the output; they never read past
// the input nor write past the output. UTF-16 units are native-order
// values at any alignment (loads and stores go through memcpy).
#ifndef PLATFORM_TEXT_UNICODECODECS_H
#define PLATFORM_TEXT_UNICODECODECS_H

#include <cstddef>
#include <cstdint>

namespace ql::platform::text {

enum class CodecStop {
  kDone,      // all input converted
  kFull,      // the next character does not fit the output
  kMalformed, // the next bytes are no character (overlong, surrogate, > U+10FFFF, stray byte)
  kPartial    // the input ends inside a character
};

struct CodecResult {
  size_t in;  // input consumed (bytes for UTF-8, units for UTF-16)
  size_t out; // output written (units for UTF-16, bytes for UTF-8)
  CodecStop stop;
};

// Strict UTF-8 to UTF-16; outCap in units.
CodecResult DecodeUtf8ToUtf16(const uint8_t *in, size_t n, uint8_t *out, size_t outCap) noexcept;
// UTF-16 (n units at `in`) to UTF-8; an unpaired surrogate is malformed,
// a high surrogate as the last unit is partial. outCap in bytes.
CodecResult EncodeUtf16ToUtf8(const uint8_t *in, size_t n, uint8_t *out, size_t outCap) noexcept;

// One UTF-8 character at in[0..n): its code point and length, or the
// reason there is none (kMalformed / kPartial). n > 0.
CodecStop DecodeUtf8Char(const uint8_t *in, size_t n, char32_t &cp, size_t &len) noexcept;

} // namespace ql::platform::text

#endif
