// The 16-byte (SSE2) kernels run only on CPUs without AVX2, so this machine
// would never exercise them through the library. This file compiles the
// core into the test itself, with no wider kernels, and checks the baseline
// kernels against plain loops on random blocks long enough for every path.
#include "toolbox/text/TextCore.cpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

// No wider kernels in this copy of the core.
ql::detail::SimdKernels ql::detail::Avx2Kernels() noexcept { return {nullptr, nullptr, nullptr}; }

namespace {

unsigned char F(unsigned char c, bool fold) { return (fold && c >= 'A' && c <= 'Z') ? c + 32 : c; }

TEST(BaselineKernels, AgreeWithPlainLoops) {
  ASSERT_EQ(ql::detail::Kernels().find, &ql::detail::BaseFind);
  std::mt19937 rng(99);
  auto make = [&](size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back("abAB"[rng() % 4]);
    return s;
  };
  for (int it = 0; it < 3000; ++it) {
    const std::string h = make(rng() % 120), p = make(2 + rng() % 40);
    for (bool fold : {false, true}) {
      SCOPED_TRACE(h + " / " + p + (fold ? " folded" : ""));
      const auto *hb = reinterpret_cast<const uint8_t *>(h.data());
      const auto *pb = reinterpret_cast<const uint8_t *>(p.data());
      // Mismatch against a copy with one byte changed.
      std::string g = h;
      if (!g.empty() && rng() % 2) g[rng() % g.size()] ^= (rng() % 2 ? 0x20 : 0x01);
      size_t want = 0;
      while (want < h.size() && F(h[want], fold) == F(g[want], fold)) ++want;
      ASSERT_EQ(ql::detail::BaseMismatch(hb, reinterpret_cast<const uint8_t *>(g.data()), h.size(), fold), want);
      // First occurrence.
      size_t first = ql::detail::kNotFound;
      for (size_t i = 0; i + p.size() <= h.size() && first == ql::detail::kNotFound; ++i) {
        size_t k = 0;
        while (k < p.size() && F(h[i + k], fold) == F(p[k], fold)) ++k;
        if (k == p.size()) first = i;
      }
      ASSERT_EQ(ql::detail::BaseFind(hb, h.size(), pb, p.size(), fold), first);
      // Removal of every non-overlapping occurrence (short patterns so there are some).
      const std::string q = p.substr(0, 2 + rng() % 2);
      std::string ref, s = h;
      size_t count = 0;
      for (size_t i = 0; i < h.size();) {
        size_t k = 0;
        while (k < q.size() && i + k < h.size() && F(h[i + k], fold) == F(q[k], fold)) ++k;
        if (k == q.size()) {
          i += q.size();
          ++count;
        } else {
          ref.push_back(h[i++]);
        }
      }
      // Fed in two growing prefixes, then the final call.
      ql::detail::RemoveState st;
      auto *sb = reinterpret_cast<uint8_t *>(s.data());
      const auto *qb = reinterpret_cast<const uint8_t *>(q.data());
      const size_t cut = s.empty() ? 0 : rng() % (s.size() + 1);
      ql::detail::BaseRemove(sb, cut, qb, q.size(), fold, true, false, st);
      ql::detail::BaseRemove(sb, s.size(), qb, q.size(), fold, true, true, st);
      std::memmove(sb + st.w, sb + st.r, s.size() - st.r);
      ASSERT_EQ(s.substr(0, st.w + s.size() - st.r), ref);
      ASSERT_EQ(st.found, count);
    }
  }
}

} // namespace
