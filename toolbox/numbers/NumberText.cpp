// Integers to and from text: Pascal strings, text blocks and C strings.
// Digits are written into a small scratch buffer from its end and then
// appended or copied, so every form shares one writer; readers share one
// forgiving accumulator. All arithmetic that may wrap is unsigned.
#include <cstring>

#include "platform/memory/Memory.h"
#include "toolbox/numbers/NumberTextCore.h"
#include "toolbox/numbers/NumbersToolbox.h"
#include "toolbox/strings/StringToolbox.h"

namespace nt = ql::detail::numtext;

namespace {

// Appends n bytes to a Pascal string, stopping at 255.
void AppendBytes(StringPtr p, const char *s, size_t n) noexcept {
  const size_t len = p[0];
  const size_t room = 255 - len;
  if (n > room) n = room;
  std::memcpy(p + 1 + len, s, n);
  p[0] = UInt8(len + n);
}

// Decimal text of a signed value into the end of buf[0..12); returns the start.
char *SignedDecimal(SInt32 value, char *end) noexcept {
  // The magnitude in unsigned arithmetic: INT32_MIN's is 2147483648.
  const UInt32 magnitude = value < 0 ? 0u - UInt32(value) : UInt32(value);
  char *p = nt::WriteDecimal32(magnitude, end);
  if (value < 0) *--p = '-';
  return p;
}

void AppendPow2(UInt32 value, unsigned bits, StringPtr output) noexcept {
  char buf[32];
  char *end = buf + sizeof buf;
  char *p = nt::WritePow2(value, bits, nt::kUpperDigits, end);
  AppendBytes(output, p, size_t(end - p));
}

// Digits of value (bits per digit) with '0' in front up to width bytes.
void PaddedPow2(UInt32 value, unsigned bits, UInt32 width, StringPtr output) noexcept {
  output[0] = 0;
  AppendPow2(value, bits, output);
  PadPascalString(output, width, '0');
}

} // namespace

extern "C" {

// ---- Into Pascal strings ----------------------------------------------------

void AppendNumberToString(SInt32 value, StringPtr output) noexcept {
  const size_t len = output[0];
  if (len <= 255 - 11) {
    // Room for any value: write in place.
    char *p = reinterpret_cast<char *>(output + 1 + len);
    UInt32 magnitude = UInt32(value);
    if (value < 0) {
      *p++ = '-';
      magnitude = 0u - magnitude;
    }
    char *end = nt::WriteDecimal32At(magnitude, p);
    output[0] = UInt8(end - reinterpret_cast<char *>(output + 1));
    return;
  }
  char buf[12];
  char *end = buf + sizeof buf;
  char *p = SignedDecimal(value, end);
  AppendBytes(output, p, size_t(end - p));
}

void ConvertNumberToString(SInt32 value, StringPtr output) noexcept {
  output[0] = 0;
  AppendNumberToString(value, output);
}

void AppendNumberToHexString(UInt32 value, StringPtr output) noexcept { AppendPow2(value, 4, output); }
void ConvertNumberToHexString(UInt32 value, StringPtr output) noexcept {
  output[0] = 0;
  AppendPow2(value, 4, output);
}
void AppendNumberToBinaryString(UInt32 value, StringPtr output) noexcept { AppendPow2(value, 1, output); }
void ConvertNumberToBinaryString(UInt32 value, StringPtr output) noexcept {
  output[0] = 0;
  AppendPow2(value, 1, output);
}
void AppendNumberToOctalString(UInt32 value, StringPtr output) noexcept { AppendPow2(value, 3, output); }
void ConvertNumberToOctalString(UInt32 value, StringPtr output) noexcept {
  output[0] = 0;
  AppendPow2(value, 3, output);
}

void ConvertNumberToHexStringPadded(UInt32 value, UInt32 width, StringPtr output) noexcept {
  PaddedPow2(value, 4, width, output);
}
void ConvertNumberToBinaryStringPadded(UInt32 value, UInt32 width, StringPtr output) noexcept {
  PaddedPow2(value, 1, width, output);
}

void ConvertNumberToFormattedStringWithSeperator(SInt32 value, UInt8 separator, StringPtr output) noexcept {
  char digits[12];
  char *end = digits + sizeof digits;
  const UInt32 magnitude = value < 0 ? 0u - UInt32(value) : UInt32(value);
  const char *p = nt::WriteDecimal32(magnitude, end);
  size_t n = size_t(end - p);
  // With the sign, L = n + s and (L - s - 1) div 3 = (n - 1) div 3 separators.
  char out[16];
  size_t k = 0;
  if (value < 0) out[k++] = '-';
  size_t first = n - 3 * ((n - 1) / 3);
  for (size_t i = 0; i < n; ++i) {
    if (i >= first && (i - first) % 3 == 0) out[k++] = char(separator);
    out[k++] = p[i];
  }
  output[0] = 0;
  AppendBytes(output, out, k);
}

OSErr ConvertNumberToFormattedString(SInt32 value, StringPtr output) noexcept {
  UInt8 separator = ',';
  OSErr result = noErr;
  Handle itl0 = GetIntlResource(0);
  if (itl0 == nullptr || *itl0 == nullptr) {
    result = resNotFound;
  } else if (OSErr err = ResError()) {
    result = err;
  } else {
    separator = UInt8((*itl0)[1]); // byte 1: the thousands separator
    ReleaseResource(itl0);
  }
  ConvertNumberToFormattedStringWithSeperator(value, separator, output);
  return result;
}

void NumVersionToPascalString(UInt32 version, StringPtr output) noexcept {
  const UInt32 major = version >> 24;
  const UInt32 minor = (version >> 20) & 0xF;
  const UInt32 bugFix = (version >> 16) & 0xF;
  const UInt32 stage = (version >> 8) & 0xFF;
  const UInt32 revision = version & 0xFF;
  output[0] = 0;
  AppendNumberToString(SInt32(major), output);
  AppendCharToPascalString('.', output);
  AppendNumberToString(SInt32(minor), output);
  if (bugFix != 0) {
    AppendCharToPascalString('.', output);
    AppendNumberToString(SInt32(bugFix), output);
  }
  char letter = 0;
  bool always = true;
  switch (stage) {
  case 0x20: letter = 'd'; break;
  case 0x40: letter = 'a'; break;
  case 0x60: letter = 'b'; break;
  case 0x80: letter = 'f'; always = false; break;
  default: break;
  }
  if (letter != 0) {
    AppendCharToPascalString(UInt8(letter), output);
    if (always || revision != 0) AppendNumberToString(SInt32(revision), output);
  }
}

void ConvertNumberToHexText(UInt32 value, void *text, UInt32 width) noexcept {
  auto *out = static_cast<char *>(text);
  for (UInt32 i = width; i > 0; --i) {
    out[i - 1] = nt::kUpperDigits[value & 0xF];
    value >>= 4;
  }
}

// ---- From Pascal strings -----------------------------------------------------

SInt32 ConvertStringToNumber(ConstStr255Param string) noexcept {
  const UInt32 v = nt::AccumulateDigits(string + 1, string[0], 10);
  return SInt32(string[0] >= 1 && string[1] == '-' ? 0u - v : v);
}

SInt32 ConvertHexStringToNumber(ConstStr255Param string) noexcept {
  return SInt32(nt::AccumulateDigits(string + 1, string[0], 16));
}

SInt32 ConvertBinaryStringToNumber(ConstStr255Param string) noexcept {
  return SInt32(nt::AccumulateDigits(string + 1, string[0], 2));
}

SInt32 ConvertCharToNumber(UInt8 c) noexcept { return nt::kDigitValue[c] < 10 ? nt::kDigitValue[c] : -1; }
SInt32 ConvertHexCharToNumber(UInt8 c) noexcept { return nt::kDigitValue[c] < 16 ? nt::kDigitValue[c] : -1; }
SInt32 ConvertBinaryCharToNumber(UInt8 c) noexcept { return nt::kDigitValue[c] < 2 ? nt::kDigitValue[c] : -1; }

// ---- From text blocks ----------------------------------------------------------

SInt32 DecimalTextToNumber(const void *text, UInt32 length) noexcept {
  if (length == 0) return 0;
  const auto *p = static_cast<const UInt8 *>(text);
  const bool negative = p[0] == '-';
  const UInt32 v = nt::AccumulateDigits(p, length, 10);
  return SInt32(negative ? 0u - v : v);
}

SInt32 HexTextToNumber(const void *text, UInt32 length) noexcept {
  return length == 0 ? 0 : SInt32(nt::AccumulateDigits(static_cast<const UInt8 *>(text), length, 16));
}

SInt32 ConvertHexTextToNumber(const void *text, UInt32 length) noexcept { return HexTextToNumber(text, length); }

SInt32 BinaryTextToNumber(const void *text, UInt32 length) noexcept {
  return length == 0 ? 0 : SInt32(nt::AccumulateDigits(static_cast<const UInt8 *>(text), length, 2));
}

SInt32 FormattedTextToNumber(const void *text, UInt32 length, OSType base) noexcept {
  if (length == 0 || text == nullptr) return 0;
  UInt32 n = 0;
  const auto *p = reinterpret_cast<const UInt8 *>(StripLeadingAndTrailingWhiteSpace(text, length, &n));
  if (n >= 2) {
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) return HexTextToNumber(p + 2, n - 2);
    if (p[0] == '0' && (p[1] == 'b' || p[1] == 'B')) return BinaryTextToNumber(p + 2, n - 2);
    if (p[0] == '$') return HexTextToNumber(p + 1, n - 1);
    if (p[0] == '#') return DecimalTextToNumber(p + 1, n - 1);
  }
  switch (base) {
  case kNumberBaseBinary: return BinaryTextToNumber(p, n);
  case kNumberBaseDecimal: return DecimalTextToNumber(p, n);
  case kNumberBaseHex: return HexTextToNumber(p, n);
  default: return 0;
  }
}

// ---- C strings --------------------------------------------------------------------

char *NumberToString(UInt32 value, SInt32 base, char pad, SInt32 width, SInt32 precision, Boolean upper,
                     char *output) noexcept {
  if ((base == -10 || base == 10) && precision == 0 && (width <= 1 || pad == 0)) {
    // Plain decimal, the common case: no padding can apply.
    char *out = output;
    if (base == -10 && SInt32(value) < 0) {
      *out++ = '-';
      value = 0u - value; // INT32_MIN's magnitude is 2147483648
    }
    out = nt::WriteDecimal32At(value, out);
    *out = 0;
    return out;
  }
  if (precision != 0) {
    pad = '0';
    width = precision;
  }
  bool minus = false;
  if (base == -10) {
    if (value == 0x80000000u) {
      static constexpr char kMin[] = "-2147483648";
      std::memcpy(output, kMin, sizeof kMin);
      return output + sizeof kMin - 1;
    }
    if (SInt32(value) < 0) {
      minus = true;
      value = 0u - value;
    }
    base = 10;
  }
  if (base < 2 || base > 16) {
    // No digits in such a base: dividing by 0 or 1 would never end.
    output[0] = 0;
    return output;
  }
  if (base == 10 && (width <= 0 || pad == 0 || width <= 10)) {
    // Decimal written in place; padding only when the digits are fewer.
    const unsigned digits = nt::DecimalDigits32(value);
    char *out = output;
    if (minus) *out++ = '-';
    if (pad != 0 && width > 0 && unsigned(width) > digits) {
      const unsigned fill = unsigned(width) - digits;
      std::memset(out, pad, fill);
      out += fill;
    }
    out += digits;
    nt::WriteDecimal32(value, out);
    *out = 0;
    return out;
  }
  char buf[32];
  char *end = buf + sizeof buf;
  const char *alphabet = upper ? nt::kUpperDigits : nt::kLowerDigits;
  char *p;
  switch (base) {
  case 16: p = nt::WritePow2(value, 4, alphabet, end); break;
  case 8: p = nt::WritePow2(value, 3, alphabet, end); break;
  case 2: p = nt::WritePow2(value, 1, alphabet, end); break;
  case 10: p = nt::WriteDecimal32(value, end); break;
  default: p = nt::WriteAnyBase(value, UInt32(base), alphabet, end); break;
  }
  const size_t digits = size_t(end - p);
  char *out = output;
  if (minus) *out++ = '-';
  if (pad != 0 && width > 0 && size_t(width) > digits) {
    const size_t fill = size_t(width) - digits;
    std::memset(out, pad, fill);
    out += fill;
  }
  std::memcpy(out, p, digits);
  out += digits;
  *out = 0;
  return out;
}

SInt32 StringToNumber(const char *text, char **end, SInt32 base) noexcept {
  if (end != nullptr) *end = const_cast<char *>(text);
  if (base != 10 && base != 16) return 0;
  const auto *p = reinterpret_cast<const UInt8 *>(text);
  while (*p == ' ' || *p == '\t' || *p == '\n') ++p;
  const bool negative = *p == '-';
  if (negative) ++p;
  UInt32 v = 0;
  if (base == 10) {
    // Two digits per step halve the chain of dependent multiplications.
    for (;;) {
      const UInt32 d0 = UInt32(p[0]) - '0';
      if (d0 >= 10) break;
      const UInt32 d1 = UInt32(p[1]) - '0';
      if (d1 >= 10) {
        v = v * 10 + d0;
        ++p;
        break;
      }
      v = v * 100 + (d0 * 10 + d1);
      p += 2;
    }
  } else {
    for (UInt32 d; (d = nt::kDigitValue[*p]) < 16; ++p) v = v * 16 + d;
  }
  if (end != nullptr) *end = reinterpret_cast<char *>(const_cast<UInt8 *>(p));
  return SInt32(negative ? 0u - v : v);
}

// ---- Into text blocks -------------------------------------------------------------

void NumberToText64(UInt64 value, Boolean isSigned, UInt64 base, UInt32 maxLength, void *dest,
                    UInt32 *outLength) noexcept {
  if (base < 2 || base > 36) {
    if (outLength != nullptr) *outLength = 0;
    return;
  }
  char buf[72];
  char *end = buf + sizeof buf;
  const bool negative = isSigned && SInt64(value) < 0;
  const UInt64 magnitude = negative ? 0 - value : value;
  char *p = base == 10 ? nt::WriteDecimal(magnitude, end) : nt::WriteAnyBase(magnitude, base, nt::kUpperDigits, end);
  if (negative) *--p = '-';
  UInt32 n = UInt32(end - p);
  if (n > maxLength) n = maxLength;
  if (dest != nullptr) std::memcpy(dest, p, n);
  if (outLength != nullptr) *outLength = n;
}

void NumberToText(UInt32 value, Boolean isSigned, UInt32 base, UInt32 maxLength, void *dest,
                  UInt32 *outLength) noexcept {
  // Sign-extend a signed value so that the 64-bit writer sees it negative.
  const UInt64 wide = isSigned ? UInt64(SInt64(SInt32(value))) : UInt64(value);
  NumberToText64(wide, isSigned, base, maxLength, dest, outLength);
}

void PadText(UInt32 length, void *text, UInt32 width, UInt8 pad) noexcept {
  if (width <= length) return;
  auto *p = static_cast<UInt8 *>(text);
  const UInt32 shift = width - length;
  std::memmove(p + shift, p, length);
  std::memset(p, pad, shift);
}

} // extern "C"
