// Natural order of two blocks (see TextCompareNatural). Kept apart from
// TextCore.h and inline so that the exported function is the comparison
// itself: it runs a hundred thousand times per sort.
#ifndef TOOLBOX_TEXT_NATURALORDER_H
#define TOOLBOX_TEXT_NATURALORDER_H

#include "toolbox/text/TextCore.h"

namespace ql::detail {

// The natural order walk from position `from`, where both blocks have had
// the same bytes so far and no digit run spans `from`.
[[gnu::noinline]] inline int CompareNaturalFrom(const uint8_t *a, size_t an, const uint8_t *b, size_t bn, size_t from,
                       bool exact) noexcept {
  size_t i = from, j = from;
  for (;;) {
    while (i < an && j < bn && !(IsDigit(a[i]) && IsDigit(b[j]))) {
      uint8_t x = Fold(a[i], exact), y = Fold(b[j], exact);
      if (x != y) return x < y ? -1 : 1;
      ++i;
      ++j;
    }
    if (i >= an) return j >= bn ? 0 : -1;
    if (j >= bn) return 1;
    // Both at a digit. Skip leading zeros, keeping a run of zeros' last one.
    int balance = 0;
    while (a[i] == '0' && i + 1 < an && IsDigit(a[i + 1])) {
      ++i;
      ++balance;
    }
    while (b[j] == '0' && j + 1 < bn && IsDigit(b[j + 1])) {
      ++j;
      --balance;
    }
    // Walk both runs together: a longer run is a larger number; at equal
    // lengths the first differing digit decides.
    size_t k = 0;
    while (i + k < an && j + k < bn && (IsDigit(a[i + k]) & IsDigit(b[j + k]))) ++k;
    const bool da = i + k < an && IsDigit(a[i + k]), db = j + k < bn && IsDigit(b[j + k]);
    if (da != db) return da ? 1 : -1;
    int first = 0;
    for (size_t d = 0; d < k; ++d)
      if (a[i + d] != b[j + d]) {
        first = a[i + d] < b[j + d] ? -1 : 1;
        break;
      }
    i += k;
    j += k;
    if (first != 0) return first;
    if (balance != 0) return balance < 0 ? -1 : 1;
    // i and j now stand just after the runs.
  }
}

inline int CompareNatural(Bytes left, Bytes right, bool exact) noexcept {
  const uint8_t *a = left.data(), *b = right.data();
  const size_t an = left.size(), bn = right.size();
  // Up to the first difference both blocks hold the same bytes, so every
  // digit run there is equal on both sides (same value, same zeros). Unless
  // the difference touches a digit, plain byte order decides. Names
  // differ early, so a byte loop beats setting up vectors here.
  const size_t n = std::min(an, bn);
  // `from` follows the start of the digit run the shared bytes end in (or
  // i when they end in a non-digit), without a branch per byte.
  size_t i = 0, from = 0;
  if (exact) {
    for (; i < n && a[i] == b[i]; ++i) from = IsDigit(a[i]) ? from : i + 1;
  } else {
    for (; i < n && ToLower(a[i]) == ToLower(b[i]); ++i) from = IsDigit(a[i]) ? from : i + 1;
  }
  const bool digit = (i < an && IsDigit(a[i])) || (i < bn && IsDigit(b[i]));
  if (!digit) {
    if (i < an && i < bn) return Fold(a[i], exact) < Fold(b[i], exact) ? -1 : 1;
    return an == bn ? 0 : (an < bn ? -1 : 1);
  }
  const bool zeroA = from < an && a[from] == '0', zeroB = from < bn && b[from] == '0';
  if (!zeroA && !zeroB) {
    // No leading zeros: the longer run is the larger number; runs of equal
    // length differ first at i, inside both runs.
    if (from == i) { // the runs start at the difference: both must be digits
      const bool da = i < an && IsDigit(a[i]), db = i < bn && IsDigit(b[i]);
      if (!da || !db)
        return i < an && i < bn ? (Fold(a[i], exact) < Fold(b[i], exact) ? -1 : 1) : (i < an ? 1 : -1);
    }
    // Walk both runs together from the difference: the one that goes on
    // longer is the larger number; equal lengths are decided at i. (One
    // branch per digit: the class tests are combined without short cuts.)
    const size_t both = std::min(an, bn);
    size_t e = i;
    while (e < both && (IsDigit(a[e]) & IsDigit(b[e]))) ++e;
    const bool da = e < an && IsDigit(a[e]), db = e < bn && IsDigit(b[e]);
    if (da != db) return da ? 1 : -1;
    return a[i] < b[i] ? -1 : 1;
  }
  return CompareNaturalFrom(a, an, b, bn, from, exact);
}

} // namespace ql::detail

#endif
