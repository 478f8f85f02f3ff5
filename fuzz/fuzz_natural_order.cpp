// Natural order of arbitrary blocks. Input: one byte that splits the rest
// into the two blocks, then their bytes. The sixteen-byte walk and the byte
// walk are two separate implementations of one order: they must agree, in
// both case modes, and the order must be antisymmetric. Blocks are heap
// copies of exactly their size, so a read past either end is caught.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "toolbox/text/NaturalOrder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  const size_t split = data[0] % size;
  ++data;
  --size;
  const std::vector<uint8_t> a(data, data + split), b(data + split, data + size);
  using ql::detail::Bytes;
  for (bool exact : {true, false}) {
    const int order = ql::detail::CompareNatural(Bytes(a), Bytes(b), exact);
    fuzz::Require(order >= -1 && order <= 1);
    fuzz::Require(ql::detail::CompareNatural(Bytes(b), Bytes(a), exact) == -order);
    fuzz::Require(ql::detail::CompareNaturalBytes(a.data(), a.size(), b.data(), b.size(), exact) == order);
  }
  return 0;
}
