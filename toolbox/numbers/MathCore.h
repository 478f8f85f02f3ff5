// Internal cores of the integer-math family, kept header-only so that the
// exported wrappers and the tests share them.
#ifndef TOOLBOX_NUMBERS_MATHCORE_H
#define TOOLBOX_NUMBERS_MATHCORE_H

#include <cstdint>

namespace ql::detail {

// Fills best[1..count] and choice[1..count] (both count + 1 entries long;
// entry 0 is set to 0): best[cap] is the largest total not above cap made
// from sizes used any number of times, where only sizes[0 .. cap-1] are
// candidates for capacity cap; choice[cap] is the size picked last for it
// (the lowest index reaching the best total; sizes[0] when nothing fits).
// Bottom-up, so the work is count^2 / 2 steps and no recursion. Every size
// must be positive.
inline void KnapsackFill(std::int32_t count, const std::int32_t *sizes, std::int32_t *best,
                         std::int32_t *choice) {
  best[0] = 0;
  choice[0] = 0;
  for (std::int32_t cap = 1; cap <= count; ++cap) {
    std::int32_t top = 0;
    std::int32_t chosen = 0;
    for (std::int32_t i = 0; i < cap; ++i) {
      const std::int32_t size = sizes[i];
      if (size > cap) continue;
      const std::int32_t candidate = best[cap - size] + size;
      if (candidate > top) {
        top = candidate;
        chosen = i;
      }
    }
    best[cap] = top;
    choice[cap] = sizes[chosen];
  }
}

} // namespace ql::detail

#endif
