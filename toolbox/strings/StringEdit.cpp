// Copying, converting, inserting, appending, case conversion, lengths,
// truncation, padding, four-character codes, printable filtering and
// white-space trimming of Pascal and C strings.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "toolbox/strings/StringToolbox.h"
#include "toolbox/text/TextCore.h"

using namespace ql::detail;

namespace {

constexpr size_t kPascalMax = 255;

// Inserts k bytes from src at `offset` (clamped to L) into text[0..L), moving
// the bytes after it right; the caller has checked the room for L + k.
// src may lie inside text[0..L): the part of it that moved is read from its
// new place. Returns L + k.
size_t InsertBytes(uint8_t *text, size_t L, size_t offset, const uint8_t *src, size_t k) {
  offset = std::min(offset, L);
  if (k == 0) return L;
  const uintptr_t movedLo = uintptr_t(text + offset), movedHi = uintptr_t(text + L);
  const uintptr_t s = uintptr_t(src);
  std::memmove(text + offset + k, text + offset, L - offset);
  uint8_t *dst = text + offset;
  size_t j = 0;
  if (s < movedLo) { // the part below the moved bytes stayed where it was
    size_t a = std::min<uintptr_t>(k, movedLo - s);
    std::memcpy(dst, src, a);
    j = a;
  }
  if (j < k && s + j < movedHi) { // the part inside the moved bytes is now k further on
    size_t b = std::min<uintptr_t>(k - j, movedHi - (s + j));
    std::memcpy(dst + j, src + j + k, b);
    j += b;
  }
  if (j < k) std::memcpy(dst + j, src + j, k - j);
  return L + k;
}

// Bytes of a k-byte insertion that fit when the result may hold `cap` bytes.
inline size_t Fit(size_t k, size_t length, size_t cap) { return length >= cap ? 0 : std::min(k, cap - length); }

void InsertIntoPascal(StringPtr dest, const uint8_t *src, size_t k, size_t offset, size_t cap) {
  cap = std::min(cap, kPascalMax);
  size_t L = dest[0];
  k = Fit(k, L, cap);
  dest[0] = uint8_t(InsertBytes(dest + 1, L, offset, src, k));
}

// C strings: the NUL moves with the tail.
void InsertIntoC(char *dest, const char *src, size_t k, size_t offset, size_t cap) {
  size_t L = std::strlen(dest);
  k = Fit(k, L, cap);
  offset = std::min(offset, L);
  InsertBytes(reinterpret_cast<uint8_t *>(dest), L + 1, offset, reinterpret_cast<const uint8_t *>(src), k);
}

size_t Truncate(uint8_t *s, size_t L, size_t N, SInt16 where) {
  if (N >= L) return L;
  if (where == smTruncEnd) {
    if (N > 1) s[N - 1] = kTruncationEllipsis;
  } else if (where == smTruncMiddle && N > 1) {
    size_t head = N / 2, tail = N - head - 1;
    std::memmove(s + head + 1, s + L - tail, tail);
    s[head] = kTruncationEllipsis;
  }
  return N;
}

inline Ptr AtText(const void *text, size_t offset) {
  return const_cast<Ptr>(static_cast<const char *>(text) + offset);
}

size_t LeadingWhite(const uint8_t *t, size_t n) {
  size_t i = 0;
  while (i < n && IsSpace(t[i])) ++i;
  return i;
}

size_t WithoutTrailingWhite(const uint8_t *t, size_t n) {
  while (n > 0 && IsSpace(t[n - 1])) --n;
  return n;
}

} // namespace

extern "C" {

// ---- Copy and convert ----------------------------------------------------------

void CopyCString(const char *source, char *dest) noexcept {
  std::memmove(dest, source, std::strlen(source) + 1);
}

void CopyPascalStringCount(ConstStr255Param source, StringPtr dest, UInt32 maxCount) noexcept {
  size_t n = std::min<size_t>(source[0], maxCount);
  std::memmove(dest + 1, source + 1, n);
  dest[0] = uint8_t(n);
}

void CopyCStringCount(const char *source, char *dest, UInt32 maxCount) noexcept {
  size_t n = strnlen(source, maxCount);
  std::memmove(dest, source, n);
  dest[n] = '\0';
}

char *ConvertPascalToCString(StringPtr string) noexcept {
  if (string == nullptr) return nullptr;
  size_t n = string[0];
  std::memmove(string, string + 1, n);
  string[n] = '\0';
  return reinterpret_cast<char *>(string);
}

StringPtr ConvertCToPascalString(char *string) noexcept {
  if (string == nullptr) return nullptr;
  size_t n = strnlen(string, kPascalMax);
  std::memmove(string + 1, string, n);
  string[0] = char(n);
  return reinterpret_cast<StringPtr>(string);
}

StringPtr CopyCToPascalString(const char *source, StringPtr dest) noexcept {
  size_t n = strnlen(source, kPascalMax);
  std::memmove(dest + 1, source, n);
  dest[0] = uint8_t(n);
  return dest;
}

StringPtr CStringToPString(const char *source, StringPtr dest) noexcept {
  return CopyCToPascalString(source, dest);
}

char *CopyPascalToCString(ConstStr255Param source, char *dest) noexcept {
  size_t n = source[0];
  std::memmove(dest, source + 1, n);
  dest[n] = '\0';
  return dest;
}

void PStringToCString(ConstStr255Param source, char *dest) noexcept { CopyPascalToCString(source, dest); }

void TextToPascalString(const void *text, UInt32 textLength, UInt32 maxCount, StringPtr dest) noexcept {
  // A maxCount above 255 still stops at 255 bytes.
  size_t n = std::min<size_t>({textLength, maxCount, kPascalMax});
  if (n > 0) std::memmove(dest + 1, text, n);
  dest[0] = uint8_t(n);
}

// ---- Insert ----------------------------------------------------------------------

void InsertPascalString(StringPtr dest, ConstStr255Param source, UInt32 offset) noexcept {
  InsertIntoPascal(dest, source + 1, source[0], offset, kPascalMax);
}

void InsertPascalStringCount(StringPtr dest, ConstStr255Param source, UInt32 offset,
                             UInt32 count) noexcept {
  InsertIntoPascal(dest, source + 1, std::min<size_t>(source[0], count), offset, kPascalMax);
}

void InsertMaximumPascalString(StringPtr dest, ConstStr255Param source, UInt32 offset,
                               UInt32 maximum) noexcept {
  InsertIntoPascal(dest, source + 1, source[0], offset, maximum);
}

void InsertMaximumPascalStringCount(StringPtr dest, ConstStr255Param source, UInt32 offset,
                                    UInt32 count, UInt32 maximum) noexcept {
  InsertIntoPascal(dest, source + 1, std::min<size_t>(source[0], count), offset, maximum);
}

void InsertCString(char *dest, const char *source, UInt32 offset) noexcept {
  InsertIntoC(dest, source, std::strlen(source), offset, SIZE_MAX);
}

void InsertCStringCount(char *dest, const char *source, UInt32 offset, UInt32 count) noexcept {
  InsertIntoC(dest, source, strnlen(source, count), offset, SIZE_MAX);
}

void InsertMaximumCString(char *dest, const char *source, UInt32 offset, UInt32 maximum) noexcept {
  InsertIntoC(dest, source, std::strlen(source), offset, maximum);
}

void InsertMaximumCStringCount(char *dest, const char *source, UInt32 offset, UInt32 count,
                               UInt32 maximum) noexcept {
  InsertIntoC(dest, source, strnlen(source, count), offset, maximum);
}

void InsertCharIntoPascalString(StringPtr dest, UInt8 c, UInt32 offset) noexcept {
  InsertIntoPascal(dest, &c, 1, offset, kPascalMax);
}

void InsertCharIntoCString(char *dest, UInt8 c, UInt32 offset) noexcept {
  const char byte = char(c);
  InsertIntoC(dest, &byte, 1, offset, SIZE_MAX);
}

// ---- Append ------------------------------------------------------------------------

void AppendPascalString(StringPtr dest, ConstStr255Param source) noexcept {
  InsertIntoPascal(dest, source + 1, source[0], dest[0], kPascalMax);
}

void AppendPascalStringCount(StringPtr dest, ConstStr255Param source, UInt32 count) noexcept {
  InsertIntoPascal(dest, source + 1, std::min<size_t>(source[0], count), dest[0], kPascalMax);
}

void AppendPascalStringToPascalString(ConstStr255Param source, StringPtr dest) noexcept {
  AppendPascalString(dest, source);
}

void AppendCStringToPascalString(const char *source, StringPtr dest) noexcept {
  // Only the bytes that can fit are looked at.
  size_t k = strnlen(source, kPascalMax - dest[0]);
  InsertIntoPascal(dest, reinterpret_cast<const uint8_t *>(source), k, dest[0], kPascalMax);
}

void PStringAppendText(const void *text, UInt32 textLength, StringPtr dest) noexcept {
  if (textLength == 0) return;
  InsertIntoPascal(dest, static_cast<const uint8_t *>(text), textLength, dest[0], kPascalMax);
}

void AppendCharToPascalString(UInt8 c, StringPtr dest) noexcept {
  InsertIntoPascal(dest, &c, 1, dest[0], kPascalMax);
}

void AppendCString(char *dest, const char *source) noexcept {
  size_t L = std::strlen(dest);
  std::memmove(dest + L, source, std::strlen(source) + 1);
}

void AppendCStringCount(char *dest, const char *source, UInt32 count) noexcept {
  size_t L = std::strlen(dest), k = strnlen(source, count);
  std::memmove(dest + L, source, k);
  dest[L + k] = '\0';
}

void AppendCharToCString(char *dest, UInt8 c) noexcept {
  size_t L = std::strlen(dest);
  dest[L] = char(c);
  dest[L + 1] = '\0';
}

// ---- Case conversion --------------------------------------------------------------

void ConvertPascalStringToLowercase(StringPtr string) noexcept { MapBytes(string + 1, string[0], kChars.lower); }

void ConvertPascalStringToUppercase(StringPtr string) noexcept { MapBytes(string + 1, string[0], kChars.upper); }

char *ConvertCStringToLowercase(char *string) noexcept {
  MapBytes(reinterpret_cast<uint8_t *>(string), std::strlen(string), kChars.lower);
  return string;
}

char *ConvertCStringToUppercase(char *string) noexcept {
  MapBytes(reinterpret_cast<uint8_t *>(string), std::strlen(string), kChars.upper);
  return string;
}

// ---- Lengths ------------------------------------------------------------------------

UInt8 PascalStringLength(ConstStr255Param string) noexcept { return string[0]; }

UInt32 CStringLength(const char *string) noexcept { return UInt32(std::strlen(string)); }

UInt32 CStringLengthMax(const char *string, UInt32 max) noexcept { return UInt32(strnlen(string, max)); }

UInt32 CStringNSize(const char *string, UInt32 max) noexcept { return CStringLengthMax(string, max); }

UInt32 UnicodeStringLength(const UniChar *string) noexcept {
  UInt32 n = 0;
  while (string[n] != 0) ++n;
  return n;
}

UInt32 UnicodeStringLengthMax(const UniChar *string, UInt32 max) noexcept {
  UInt32 n = 0;
  while (n < max && string[n] != 0) ++n;
  return n;
}

// ---- Truncate and pad ------------------------------------------------------------------

void TruncatePascalString(StringPtr string, UInt32 newLength, SInt16 where) noexcept {
  string[0] = uint8_t(Truncate(string + 1, string[0], newLength, where));
}

void TruncateCString(char *string, UInt32 newLength, SInt16 where) noexcept {
  auto *s = reinterpret_cast<uint8_t *>(string);
  size_t L = std::strlen(string);
  s[Truncate(s, L, newLength, where)] = '\0';
}

void PadPascalString(StringPtr string, UInt32 width, UInt8 pad) noexcept {
  size_t L = string[0], w = std::min<size_t>(width, kPascalMax);
  if (L >= w) return;
  std::memmove(string + 1 + (w - L), string + 1, L);
  std::memset(string + 1, pad, w - L);
  string[0] = uint8_t(w);
}

void PadPascalStringToEnd(StringPtr string, UInt32 width, UInt8 pad) noexcept {
  size_t L = string[0], w = std::min<size_t>(width, kPascalMax);
  if (L >= w) return;
  std::memset(string + 1 + L, pad, w - L);
  string[0] = uint8_t(w);
}

// ---- Four-character codes -----------------------------------------------------------------

void OSTypeToPascalString(OSType code, StringPtr output) noexcept {
  if (code == 0) {
    output[0] = 0;
    return;
  }
  output[0] = 4;
  output[1] = uint8_t(code >> 24);
  output[2] = uint8_t(code >> 16);
  output[3] = uint8_t(code >> 8);
  output[4] = uint8_t(code);
}

void OSTypeToCString(OSType code, char *output) noexcept {
  output[0] = char(uint8_t(code >> 24));
  output[1] = char(uint8_t(code >> 16));
  output[2] = char(uint8_t(code >> 8));
  output[3] = char(uint8_t(code));
  output[4] = '\0';
}

static OSType CodeFromBytes(const uint8_t *p, size_t n) {
  OSType code = 0;
  for (size_t i = 0; i < 4; ++i) code = (code << 8) | (i < n ? p[i] : 0);
  return code;
}

OSType PascalStringToOSType(ConstStr255Param string) noexcept { return CodeFromBytes(string + 1, string[0]); }

OSType CStringToOSType(const char *string) noexcept {
  return CodeFromBytes(reinterpret_cast<const uint8_t *>(string), strnlen(string, 4));
}

// ---- Printable filtering -----------------------------------------------------------------------

void ReplaceNonPrintableCharsInString(StringPtr string, UInt8 replacement) noexcept {
  for (size_t i = 1; i <= string[0]; ++i)
    if (!IsPrint(string[i])) string[i] = replacement;
}

void StripNonPrintableCharsFromString(StringPtr string) noexcept {
  string[0] = uint8_t(RemoveNonPrintable(string + 1, string[0]));
}

// ---- White space ---------------------------------------------------------------------------------

Ptr SkipLeadingWhiteSpace(const void *text, UInt32 length, UInt32 *remaining) noexcept {
  size_t i = text ? LeadingWhite(static_cast<const uint8_t *>(text), length) : 0;
  if (remaining) *remaining = text ? UInt32(length - i) : 0;
  return AtText(text, i);
}

void SkipTrailingWhiteSpace(const void *text, UInt32 length, UInt32 *newLength) noexcept {
  size_t n = text ? WithoutTrailingWhite(static_cast<const uint8_t *>(text), length) : 0;
  if (newLength) *newLength = UInt32(n);
}

Ptr StripLeadingAndTrailingWhiteSpace(const void *text, UInt32 length, UInt32 *newLength) noexcept {
  if (text == nullptr) {
    if (newLength) *newLength = 0;
    return nullptr;
  }
  const auto *t = static_cast<const uint8_t *>(text);
  size_t i = LeadingWhite(t, length);
  size_t end = i == length ? length : WithoutTrailingWhite(t, length);
  if (newLength) *newLength = UInt32(end - i);
  return AtText(text, i);
}

void PStringStripLeadingAndTrailingWhiteSpace(StringPtr string) noexcept {
  size_t L = string[0];
  size_t i = LeadingWhite(string + 1, L);
  size_t end = i == L ? L : WithoutTrailingWhite(string + 1, L);
  std::memmove(string + 1, string + 1 + i, end - i);
  string[0] = uint8_t(end - i);
}

} // extern "C"
