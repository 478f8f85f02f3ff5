// Substring, positional, byte and set searches over text blocks, and the
// C-string search helpers.
#include <cstring>

#include "platform/textutils/TextUtils.h"
#include "toolbox/text/TextCore.h"
#include "toolbox/text/TextToolbox.h"

using namespace ql::detail;

namespace {

inline Ptr At(const void *text, size_t offset) {
  return const_cast<Ptr>(static_cast<const char *>(text) + offset);
}

// Common argument rule of the pointer-returning substring searches.
inline bool Usable(const void *text, UInt32 length, const void *pattern, UInt32 patternLength) {
  return text != nullptr && pattern != nullptr && length != 0 && patternLength != 0 &&
         length >= patternLength;
}

Boolean WildcardExact(const void *t, const void *p, UInt32 n) { return CompareWildcardTextBlock(t, p, n); }
Boolean WildcardFold(const void *t, const void *p, UInt32 n) {
  return CompareWildcardIgnoreCaseTextBlock(t, p, n);
}

} // namespace

extern "C" {

UInt32 SearchTextBlock(const void *text, UInt32 length, const void *pattern, UInt32 patternLength,
                       UInt32 start, TextBlockCompareProcPtr compare) noexcept {
  if (text == nullptr || (pattern == nullptr && patternLength != 0) || compare == nullptr ||
      length == 0 || length < patternLength || start >= length)
    return kTextNotFound;
  const auto *t = static_cast<const uint8_t *>(text);
  for (UInt32 i = start; length - i >= patternLength; ++i) {
    if (compare(t + i, pattern, patternLength)) return i;
    if (i == length - 1) break;
  }
  return kTextNotFound;
}

UInt32 SearchWildcardText(const void *text, UInt32 length, const void *pattern, UInt32 patternLength,
                          UInt32 start, Boolean caseSensitive) noexcept {
  return SearchTextBlock(text, length, pattern, patternLength, start,
                         caseSensitive ? &WildcardExact : &WildcardFold);
}

SInt32 SearchText(const void *text, SInt32 length, const void *pattern, SInt32 patternLength,
                  SInt32 start, Boolean caseSensitive) noexcept {
  // Offsets and lengths are 32-bit here, so a text beyond 32 KiB gives true
  // offsets; only the compared span goes to the platform as a 16-bit length.
  if (text == nullptr || pattern == nullptr || length <= 0 || patternLength <= 0 ||
      patternLength > 0x7FFF || patternLength > length)
    return -1;
  const auto *t = static_cast<const uint8_t *>(text);
  const SInt16 n = SInt16(patternLength);
  for (SInt32 i = start < 0 ? 0 : start; i <= length - patternLength; ++i) {
    SInt16 r = caseSensitive ? CompareText(t + i, pattern, n, n, nullptr)
                             : IdenticalText(t + i, pattern, n, n, nullptr);
    if (r == 0) return i;
  }
  return -1;
}

Ptr TextSearch(const void *text, UInt32 length, const void *pattern, UInt32 patternLength,
               Boolean caseSensitive) noexcept {
  if (!Usable(text, length, pattern, patternLength)) return nullptr;
  size_t i = Find(MakeBytes(text, length), MakeBytes(pattern, patternLength), caseSensitive);
  return i == kNotFound ? nullptr : At(text, i);
}

Ptr SearchTextContains(const void *text, UInt32 length, const void *pattern, UInt32 patternLength,
                       Boolean caseSensitive) noexcept {
  return TextSearch(text, length, pattern, patternLength, caseSensitive);
}

Ptr TextBeginsWith(const void *text, UInt32 length, const void *pattern, UInt32 patternLength,
                   Boolean caseSensitive) noexcept {
  if (!Usable(text, length, pattern, patternLength)) return nullptr;
  return EqualBytes(static_cast<const uint8_t *>(text), static_cast<const uint8_t *>(pattern),
                    patternLength, caseSensitive)
             ? At(text, 0)
             : nullptr;
}

Ptr SearchTextBeginsWith(const void *text, UInt32 length, const void *pattern, UInt32 patternLength,
                         Boolean caseSensitive) noexcept {
  return TextBeginsWith(text, length, pattern, patternLength, caseSensitive);
}

Ptr TextEndsWith(const void *text, UInt32 length, const void *pattern, UInt32 patternLength,
                 Boolean caseSensitive) noexcept {
  if (!Usable(text, length, pattern, patternLength)) return nullptr;
  const size_t at = length - patternLength;
  return EqualBytes(static_cast<const uint8_t *>(text) + at, static_cast<const uint8_t *>(pattern),
                    patternLength, caseSensitive)
             ? At(text, at)
             : nullptr;
}

Ptr SearchTextEndsWith(const void *text, UInt32 length, const void *pattern, UInt32 patternLength,
                       Boolean caseSensitive) noexcept {
  return TextEndsWith(text, length, pattern, patternLength, caseSensitive);
}

Ptr TextIsExactly(const void *text, UInt32 length, const void *pattern, UInt32 patternLength,
                  Boolean caseSensitive) noexcept {
  if (length != patternLength) return nullptr;
  return TextBeginsWith(text, length, pattern, patternLength, caseSensitive);
}

Ptr SearchTextIsExactly(const void *text, UInt32 length, const void *pattern, UInt32 patternLength,
                        Boolean caseSensitive) noexcept {
  return TextIsExactly(text, length, pattern, patternLength, caseSensitive);
}

Ptr TextPartialSearch(const void *text, UInt32 length, const void *pattern, UInt32 patternLength,
                      Boolean caseSensitive, UInt32 *matched) noexcept {
  if (matched == nullptr) return nullptr;
  if (text == nullptr || length == 0 || pattern == nullptr || patternLength == 0 ||
      *matched > patternLength) {
    *matched = 0;
    return nullptr;
  }
  uint32_t m = *matched;
  const uint8_t *hit =
      StreamSearch(MakeBytes(text, length), MakeBytes(pattern, patternLength), caseSensitive, m);
  *matched = m;
  return hit ? At(text, size_t(hit - static_cast<const uint8_t *>(text))) : nullptr;
}

Ptr TextByteSearch(const void *text, UInt32 length, UInt8 byte, Boolean caseSensitive) noexcept {
  if (text == nullptr || length == 0) return nullptr;
  size_t i = FindByte(MakeBytes(text, length), byte, caseSensitive);
  return i == kNotFound ? nullptr : At(text, i);
}

Ptr TextReverseByteSearch(const void *text, UInt32 length, UInt8 byte, Boolean caseSensitive) noexcept {
  if (text == nullptr || length == 0) return nullptr;
  size_t i = FindLastByte(MakeBytes(text, length), byte, caseSensitive);
  return i == kNotFound ? nullptr : At(text, i);
}

Ptr TextSetSearch(const void *text, UInt32 length, const void *set, UInt32 setLength,
                  Boolean caseSensitive) noexcept {
  if (text == nullptr || length == 0 || set == nullptr || setLength == 0) return nullptr;
  size_t i = FindInSet(MakeBytes(text, length), ByteSet(MakeBytes(set, setLength), caseSensitive));
  return i == kNotFound ? nullptr : At(text, i);
}

UInt32 TextSetCountSearch(const void *text, UInt32 length, const void *set, UInt32 setLength,
                          Boolean caseSensitive) noexcept {
  if (text == nullptr || length == 0 || set == nullptr || setLength == 0) return 0;
  return UInt32(SpanInSet(MakeBytes(text, length), ByteSet(MakeBytes(set, setLength), caseSensitive)));
}

UInt32 TextNotSetCountSearch(const void *text, UInt32 length, const void *set, UInt32 setLength,
                             Boolean caseSensitive) noexcept {
  if (text == nullptr || length == 0 || set == nullptr || setLength == 0) return 0;
  return UInt32(
      SpanNotInSet(MakeBytes(text, length), ByteSet(MakeBytes(set, setLength), caseSensitive)));
}

UInt32 TextCountMatchingBytes(const void *text, UInt32 length, UInt8 byte, Boolean caseSensitive) noexcept {
  if (text == nullptr || length == 0) return 0;
  return UInt32(CountByte(MakeBytes(text, length), byte, caseSensitive));
}

UInt32 TextCountConsecutiveMatchingBytes(const void *text, UInt32 length, UInt8 byte,
                                         Boolean caseSensitive) noexcept {
  if (text == nullptr || length == 0) return 0;
  return UInt32(LeadingRun(MakeBytes(text, length), byte, caseSensitive));
}

char *strrstr(const char *string, const char *pattern) noexcept {
  if (string == nullptr || pattern == nullptr || pattern[0] == '\0') return nullptr;
  Bytes text = MakeBytes(string, std::strlen(string));
  Bytes pat = MakeBytes(pattern, std::strlen(pattern));
  size_t last = kNotFound, from = 0;
  for (;;) {
    size_t i = FindFrom(text, from, pat, true);
    if (i == kNotFound) break;
    last = i;
    from = i + pat.size(); // just past the match: overlapping ones are not seen
  }
  return last == kNotFound ? nullptr : At(string, last);
}

char *stristr(const char *string, const char *pattern) noexcept {
  if (string == nullptr) return nullptr;
  if (pattern == nullptr || pattern[0] == '\0') return const_cast<char *>(string);
  size_t i = Find(MakeBytes(string, std::strlen(string)), MakeBytes(pattern, std::strlen(pattern)), false);
  return i == kNotFound ? nullptr : At(string, i);
}

} // extern "C"
