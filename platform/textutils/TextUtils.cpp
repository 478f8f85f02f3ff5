#include "platform/textutils/TextUtils.h"

#include <algorithm>
#include <cstring>

namespace {

inline unsigned char FoldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

inline size_t LengthOf(const void *p, SInt16 len) { return (p == nullptr || len < 0) ? 0 : size_t(len); }

} // namespace

SInt16 CompareText(const void *aPtr, const void *bPtr, SInt16 aLen, SInt16 bLen,
                   Handle itl2Handle) noexcept {
  const auto *a = static_cast<const unsigned char *>(aPtr);
  const auto *b = static_cast<const unsigned char *>(bPtr);
  const size_t an = LengthOf(aPtr, aLen), bn = LengthOf(bPtr, bLen);
  const size_t n = std::min(an, bn);
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = FoldAscii(a[i]), y = FoldAscii(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (an != bn) return an < bn ? -1 : 1;
  // Equal apart from case: the first case difference decides, upper first.
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}

SInt16 IdenticalText(const void *aPtr, const void *bPtr, SInt16 aLen, SInt16 bLen,
                     Handle itl2Handle) noexcept {
  const size_t an = LengthOf(aPtr, aLen), bn = LengthOf(bPtr, bLen);
  if (an != bn) return 1;
  if (an == 0) return 0;
  return std::memcmp(aPtr, bPtr, an) == 0 ? 0 : 1;
}
