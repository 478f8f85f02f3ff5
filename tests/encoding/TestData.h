// Inputs for the compression tests: reproducible random bytes, word text,
// run-heavy data, and a handle <-> bytes bridge.
#ifndef TESTS_ENCODING_TESTDATA_H
#define TESTS_ENCODING_TESTDATA_H

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/memory/Memory.h"

namespace enctest {

using Bytes = std::vector<uint8_t>;

inline Bytes RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto &c : b)
    c = uint8_t(rng());
  return b;
}

// Words from a small vocabulary, with spaces, punctuation and line ends.
inline Bytes Text(size_t n, uint32_t seed) {
  static const char *const kWords[] = {
      "the",    "quick",  "brown", "fox",    "jumps", "over",   "lazy",   "dog",     "and",
      "a",      "window", "of",    "bytes",  "slides", "past",  "every",  "match",   "tree",
      "search", "ring",   "buffer", "handle", "memory", "stream", "packed", "literal", "run"};
  std::mt19937 rng(seed);
  Bytes b;
  b.reserve(n + 16);
  while (b.size() < n) {
    const std::string w = kWords[rng() % (sizeof kWords / sizeof kWords[0])];
    b.insert(b.end(), w.begin(), w.end());
    const uint32_t p = rng() % 16;
    b.push_back(p == 0 ? '\n' : p == 1 ? ',' : ' ');
  }
  b.resize(n);
  return b;
}

// Runs of 1 to 300 equal bytes between literal stretches.
inline Bytes Runs(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b;
  b.reserve(n);
  while (b.size() < n) {
    const size_t len = 1 + rng() % 300;
    if (rng() % 2)
      b.insert(b.end(), len, uint8_t(rng()));
    else
      for (size_t k = 0; k < len; ++k)
        b.push_back(uint8_t(rng()));
  }
  b.resize(n);
  return b;
}

inline Bytes FromString(const std::string &s) { return Bytes(s.begin(), s.end()); }

inline Bytes HandleBytes(Handle h) {
  const Size n = GetHandleSize(h);
  if (n == 0)
    return {};
  const auto *p = reinterpret_cast<const uint8_t *>(*h);
  return Bytes(p, p + n);
}

// A handle that disposes of itself.
class OwnedHandle {
public:
  explicit OwnedHandle(const Bytes &content = {}) : h_(NewHandle(Size(content.size()))) {
    if (h_ && !content.empty())
      std::copy(content.begin(), content.end(), reinterpret_cast<uint8_t *>(*h_));
  }
  ~OwnedHandle() { DisposeHandle(h_); }
  OwnedHandle(const OwnedHandle &) = delete;
  OwnedHandle &operator=(const OwnedHandle &) = delete;
  operator Handle() const { return h_; }
  Bytes bytes() const { return HandleBytes(h_); }

private:
  Handle h_;
};

} // namespace enctest

#endif
