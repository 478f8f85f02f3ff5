// Ordered, natural, fixed-length and wildcard comparison of text blocks.
#include "toolbox/text/NaturalOrder.h"
#include "toolbox/text/TextCore.h"
#include "toolbox/text/TextToolbox.h"

using namespace ql::detail;

namespace {

// The fixed-length one-byte wildcard: '*' in the pattern matches any byte.
bool WildcardEqual(const void *text, const void *pattern, UInt32 length, bool exact) {
  const auto *t = static_cast<const uint8_t *>(text);
  const auto *p = static_cast<const uint8_t *>(pattern);
  for (UInt32 i = 0; i < length; ++i)
    if (p[i] != '*' && Fold(t[i], exact) != Fold(p[i], exact)) return false;
  return true;
}

} // namespace

extern "C" {

SInt32 TextCompare(const void *left, UInt32 leftLength, const void *right, UInt32 rightLength,
                   Boolean caseSensitive) noexcept {
  if (left == nullptr || right == nullptr) return 0;
  return CompareWithPrefixRule(MakeBytes(left, leftLength), MakeBytes(right, rightLength),
                               caseSensitive, PrefixRule{false, false});
}

SInt32 TextCompareNatural(const void *left, UInt32 leftLength, const void *right,
                          UInt32 rightLength, Boolean caseSensitive) noexcept {
  // A null pointer is an empty block.
  return CompareNatural(Bytes(static_cast<const uint8_t *>(left), left ? leftLength : 0),
                        Bytes(static_cast<const uint8_t *>(right), right ? rightLength : 0), caseSensitive);
}

Boolean CompareTextBlock(const void *text, const void *pattern, UInt32 length) noexcept {
  if (length == 0) return 1;
  return EqualBytes(static_cast<const uint8_t *>(text), static_cast<const uint8_t *>(pattern),
                    length, true);
}

Boolean CompareIgnoreCaseTextBlock(const void *text, const void *pattern, UInt32 length) noexcept {
  if (length == 0) return 1;
  return EqualBytes(static_cast<const uint8_t *>(text), static_cast<const uint8_t *>(pattern),
                    length, false);
}

Boolean CompareWildcardTextBlock(const void *text, const void *pattern, UInt32 length) noexcept {
  return WildcardEqual(text, pattern, length, true);
}

Boolean CompareWildcardIgnoreCaseTextBlock(const void *text, const void *pattern,
                                           UInt32 length) noexcept {
  return WildcardEqual(text, pattern, length, false);
}

Boolean CompareWildcardText(const void *text, const void *pattern, UInt32 length,
                            Boolean caseSensitive) noexcept {
  return WildcardEqual(text, pattern, length, caseSensitive);
}

Boolean CompareWildcardBlock(const void *text, UInt32 textLength, const void *pattern,
                             UInt32 patternLength) noexcept {
  if ((text == nullptr && textLength != 0) || (pattern == nullptr && patternLength != 0)) return 0;
  return GlobMatch(MakeBytes(text, textLength), MakeBytes(pattern, patternLength));
}

int memicmp(const void *left, const void *right, size_t length) noexcept {
  const auto *a = static_cast<const uint8_t *>(left);
  const auto *b = static_cast<const uint8_t *>(right);
  for (size_t i = 0; i < length; ++i) {
    const int8_t x = int8_t(ToLower(a[i])), y = int8_t(ToLower(b[i]));
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0; // both NUL: the strings ended together
  }
  return 0;
}

} // extern "C"
