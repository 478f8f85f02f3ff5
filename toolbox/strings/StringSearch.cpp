// Comparison, searching, counting and removal for Pascal and C strings: each
// twin makes a byte span of its string and calls the shared core.
#include <algorithm>
#include <cstring>

#include "toolbox/files/FileToolbox.h"
#include "toolbox/strings/StringToolbox.h"
#include "toolbox/text/TextCore.h"

using namespace ql::detail;

namespace {

inline Bytes CBytes(const char *s) { return MakeBytes(s, std::strlen(s)); }
inline uint8_t *Mut(char *s) { return reinterpret_cast<uint8_t *>(s); }
inline char *AtC(const char *s, size_t i) { return const_cast<char *>(s) + i; }

// The tail of a Pascal string from 0-based index i to its end, into output
// (which may be the string itself); kNotFound empties the output.
StringPtr EmitTail(ConstStr255Param string, size_t i, StringPtr output) {
  if (i == kNotFound) {
    output[0] = 0;
    return nullptr;
  }
  size_t n = string[0] - i;
  std::memmove(output + 1, string + 1 + i, n);
  output[0] = uint8_t(n);
  return output;
}

// Pascal removals work on a copy of the pattern or set: either may be the
// string itself or lie inside it.
struct PascalCopy {
  Str255 bytes;
  explicit PascalCopy(ConstStr255Param s) { std::memcpy(bytes, s, size_t(s[0]) + 1); }
  Bytes View() const { return PascalBytes(bytes); }
};

// For each set byte in order, the first (or every) byte equal to it goes.
size_t RemoveSetBytes(uint8_t *s, size_t n, Bytes set, bool exact, bool all, size_t *removed) {
  if (all) return FilterSet(s, n, ByteSet(set, exact), false, removed);
  size_t total = 0;
  for (uint8_t c : set) {
    size_t r = 0;
    n = RemoveByte(s, n, c, exact, false, &r);
    total += r;
  }
  *removed = total;
  return n;
}

} // namespace

extern "C" {

// ---- Comparison ----------------------------------------------------------------------

SInt32 CStringCompare(const char *left, const char *right, Boolean caseSensitive) noexcept {
  const auto *a = reinterpret_cast<const uint8_t *>(left);
  const auto *b = reinterpret_cast<const uint8_t *>(right);
  for (size_t i = 0;; ++i) {
    uint8_t x = Fold(a[i], caseSensitive), y = Fold(b[i], caseSensitive);
    if (x != y) return SInt32(x) - SInt32(y);
    if (x == 0) return 0;
  }
}

SInt32 PascalStringCompare(ConstStr255Param left, ConstStr255Param right, Boolean caseSensitive) noexcept {
  return CompareWithPrefixRule(PascalBytes(left), PascalBytes(right), caseSensitive, PrefixRule{true, true});
}

int QSortPStringCompare(const void *left, const void *right) noexcept {
  return PascalStringCompare(static_cast<ConstStr255Param>(left), static_cast<ConstStr255Param>(right), false);
}

// ---- Search ----------------------------------------------------------------------------

char *CStringCharSearch(const char *string, UInt8 c, Boolean caseSensitive) noexcept {
  Bytes s = CBytes(string);
  if (c == 0) return AtC(string, s.size());
  size_t i = FindByte(s, c, caseSensitive);
  return i == kNotFound ? nullptr : AtC(string, i);
}

StringPtr PascalStringCharSearch(ConstStr255Param string, UInt8 c, Boolean caseSensitive,
                                 StringPtr output) noexcept {
  return EmitTail(string, FindByte(PascalBytes(string), c, caseSensitive), output);
}

char *CStringCharReverseSearch(const char *string, UInt8 c, Boolean caseSensitive) noexcept {
  Bytes s = CBytes(string);
  if (c == 0) return AtC(string, s.size());
  size_t i = FindLastByte(s, c, caseSensitive);
  return i == kNotFound ? nullptr : AtC(string, i);
}

StringPtr PascalStringCharReverseSearch(ConstStr255Param string, UInt8 c, Boolean caseSensitive,
                                        StringPtr output) noexcept {
  return EmitTail(string, FindLastByte(PascalBytes(string), c, caseSensitive), output);
}

char *CStringStringSearch(const char *text, const char *pattern, Boolean caseSensitive) noexcept {
  if (pattern[0] == '\0') return const_cast<char *>(text);
  size_t i = Find(CBytes(text), CBytes(pattern), caseSensitive);
  return i == kNotFound ? nullptr : AtC(text, i);
}

StringPtr PascalStringStringSearch(ConstStr255Param text, ConstStr255Param pattern,
                                   Boolean caseSensitive, StringPtr output) noexcept {
  if (pattern[0] == 0) {
    CopyPascalString(text, output);
    return output;
  }
  return EmitTail(text, Find(PascalBytes(text), PascalBytes(pattern), caseSensitive), output);
}

char *CStringSetSearch(const char *string, const char *set, Boolean caseSensitive) noexcept {
  if (set[0] == '\0') return nullptr;
  size_t i = FindInSet(CBytes(string), ByteSet(CBytes(set), caseSensitive));
  return i == kNotFound ? nullptr : AtC(string, i);
}

StringPtr PascalStringSetSearch(ConstStr255Param string, ConstStr255Param set, Boolean caseSensitive,
                                StringPtr output) noexcept {
  size_t i = FindInSet(PascalBytes(string), ByteSet(PascalBytes(set), caseSensitive));
  return EmitTail(string, i, output);
}

UInt32 CStringSetCountSearch(const char *string, const char *set, Boolean caseSensitive) noexcept {
  return UInt32(SpanInSet(CBytes(string), ByteSet(CBytes(set), caseSensitive)));
}

SInt16 PascalStringSetCountSearch(ConstStr255Param string, ConstStr255Param set,
                                  Boolean caseSensitive) noexcept {
  return SInt16(SpanInSet(PascalBytes(string), ByteSet(PascalBytes(set), caseSensitive)));
}

UInt32 CStringNotSetCountSearch(const char *string, const char *set, Boolean caseSensitive) noexcept {
  ByteSet members(CBytes(set), caseSensitive);
  return members.Empty() ? 0 : UInt32(SpanNotInSet(CBytes(string), members));
}

SInt16 PascalStringNotSetCountSearch(ConstStr255Param string, ConstStr255Param set,
                                     Boolean caseSensitive) noexcept {
  ByteSet members(PascalBytes(set), caseSensitive);
  return members.Empty() ? 0 : SInt16(SpanNotInSet(PascalBytes(string), members));
}

UInt32 CStringSetCharSearch(const char *string, UInt8 c, Boolean caseSensitive) noexcept {
  return UInt32(CountByte(CBytes(string), c, caseSensitive));
}

SInt16 PascalStringSetCharSearch(ConstStr255Param string, UInt8 c, Boolean caseSensitive) noexcept {
  return SInt16(CountByte(PascalBytes(string), c, caseSensitive));
}

Boolean CStringSetContainsChar(const char *set, UInt8 c, Boolean caseSensitive) noexcept {
  return c != 0 && FindByte(CBytes(set), c, caseSensitive) != kNotFound;
}

Boolean PascalStringSetContainsChar(ConstStr255Param set, UInt8 c, Boolean caseSensitive) noexcept {
  return FindByte(PascalBytes(set), c, caseSensitive) != kNotFound;
}

// ---- Count ----------------------------------------------------------------------------------

UInt32 CStringCountChars(const char *string, UInt8 c, Boolean caseSensitive) noexcept {
  return UInt32(CountByte(CBytes(string), c, caseSensitive));
}

SInt16 PascalStringCountChars(ConstStr255Param string, UInt8 c, Boolean caseSensitive) noexcept {
  return SInt16(CountByte(PascalBytes(string), c, caseSensitive));
}

UInt32 CStringCountStrings(const char *text, const char *pattern, Boolean caseSensitive) noexcept {
  if (pattern[0] == '\0') return 0;
  return UInt32(CountOccurrences(CBytes(text), CBytes(pattern), caseSensitive));
}

SInt16 PascalStringCountStrings(ConstStr255Param text, ConstStr255Param pattern,
                                Boolean caseSensitive) noexcept {
  if (pattern[0] == 0) return 0;
  return SInt16(CountOccurrences(PascalBytes(text), PascalBytes(pattern), caseSensitive));
}

UInt32 CStringCountConsecutiveChars(const char *string, UInt8 c, Boolean caseSensitive) noexcept {
  if (c == 0) return 0; // the terminator is not part of the string
  return UInt32(LeadingRun(CBytes(string), c, caseSensitive));
}

SInt16 PascalStringCountConsecutiveChars(ConstStr255Param string, UInt8 c, Boolean caseSensitive) noexcept {
  return SInt16(LeadingRun(PascalBytes(string), c, caseSensitive));
}

// ---- Remove and delete ----------------------------------------------------------------------

UInt32 CStringRemoveChar(char *string, UInt8 c, Boolean caseSensitive, Boolean all) noexcept {
  size_t n = std::strlen(string), removed = 0;
  if (c == 0 || n == 0) return 0;
  string[RemoveByte(Mut(string), n, c, caseSensitive, all, &removed)] = '\0';
  return UInt32(removed);
}

SInt16 PascalStringRemoveChar(StringPtr string, UInt8 c, Boolean caseSensitive, Boolean all) noexcept {
  size_t removed = 0;
  string[0] = uint8_t(RemoveByte(string + 1, string[0], c, caseSensitive, all, &removed));
  return SInt16(removed);
}

UInt32 CStringRemoveSet(char *string, const char *set, Boolean caseSensitive, Boolean all) noexcept {
  size_t n = std::strlen(string), removed = 0;
  if (n == 0) return 0;
  string[RemoveSetBytes(Mut(string), n, CBytes(set), caseSensitive, all, &removed)] = '\0';
  return UInt32(removed);
}

SInt16 PascalStringRemoveSet(StringPtr string, ConstStr255Param set, Boolean caseSensitive,
                             Boolean all) noexcept {
  PascalCopy members(set);
  size_t removed = 0;
  string[0] = uint8_t(RemoveSetBytes(string + 1, string[0], members.View(), caseSensitive, all, &removed));
  return SInt16(removed);
}

UInt32 CStringRemoveNotSet(char *string, const char *set, Boolean caseSensitive) noexcept {
  size_t n = std::strlen(string), removed = 0;
  string[FilterSet(Mut(string), n, ByteSet(CBytes(set), caseSensitive), true, &removed)] = '\0';
  return UInt32(removed);
}

SInt16 PascalStringRemoveNotSet(StringPtr string, ConstStr255Param set, Boolean caseSensitive) noexcept {
  size_t removed = 0;
  ByteSet members(PascalBytes(set), caseSensitive);
  string[0] = uint8_t(FilterSet(string + 1, string[0], members, true, &removed));
  return SInt16(removed);
}

UInt32 CStringRemoveString(char *string, const char *pattern, Boolean caseSensitive, Boolean all) noexcept {
  if (string[0] == '\0' || pattern[0] == '\0') return 0;
  size_t removed = 0;
  RemovePatternC(Mut(string), CBytes(pattern), caseSensitive, all, &removed);
  return UInt32(removed);
}

SInt16 PascalStringRemoveString(StringPtr string, ConstStr255Param pattern, Boolean caseSensitive,
                                Boolean all) noexcept {
  if (string[0] == 0 || pattern[0] == 0) return 0;
  PascalCopy pat(pattern);
  size_t removed = 0;
  string[0] = uint8_t(RemovePattern(string + 1, string[0], pat.View(), caseSensitive, all, &removed));
  return SInt16(removed);
}

UInt32 CStringDeleteCharCount(char *string, UInt32 count, Boolean fromStart, UInt32 offset) noexcept {
  size_t L = std::strlen(string), start = 0;
  size_t n = DeleteSpan(L, count, fromStart, offset, &start);
  if (n == 0) return 0;
  std::memmove(string + start, string + start + n, L - start - n + 1); // with the NUL
  return UInt32(n);
}

SInt16 PascalStringDeleteCharCount(StringPtr string, UInt32 count, Boolean fromStart, UInt32 offset) noexcept {
  size_t L = string[0], start = 0;
  size_t n = DeleteSpan(L, count, fromStart, offset, &start);
  if (n == 0) return 0;
  std::memmove(string + 1 + start, string + 1 + start + n, L - start - n);
  string[0] = uint8_t(L - n);
  return SInt16(n);
}

} // extern "C"
