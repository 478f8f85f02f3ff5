// Byte-block operations, binary search, array compaction and page tests.
// The Mem and Block spellings of one operation share one core. Cores work
// eight bytes at a time where that pays (memcpy of a word compiles to one
// load or store, so alignment does not matter).

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "toolbox/memory/MemoryToolbox.h"

namespace {

using Byte = unsigned char;

// destination[j] = pattern[j % patternLength]; a pattern of 0 or 1 bytes is
// a plain set. Longer patterns are laid down once, then doubled by copying
// what is already filled (the filled length stays a multiple of the pattern
// length until the last, partial copy).
void Fill(const Byte *pattern, UInt32 patternLength, Byte *destination, UInt32 count) {
  if (count == 0)
    return;
  if (patternLength <= 1) {
    std::memset(destination, pattern[0], count);
    return;
  }
  UInt32 filled = std::min(patternLength, count);
  std::memcpy(destination, pattern, filled);
  while (filled < count) {
    const UInt32 chunk = std::min(filled, count - filled);
    std::memcpy(destination + filled, destination, chunk);
    filled += chunk;
  }
}

inline UInt64 Load64(const Byte *p) {
  UInt64 v;
  std::memcpy(&v, p, 8);
  return v;
}

inline void Store64(Byte *p, UInt64 v) { std::memcpy(p, &v, 8); }

void Reverse(Byte *block, UInt32 length) {
  Byte *lo = block;
  Byte *hi = block + length;
  while (hi - lo >= 32) {
    const UInt64 a0 = Load64(lo), a1 = Load64(lo + 8);
    const UInt64 b0 = Load64(hi - 8), b1 = Load64(hi - 16);
    Store64(lo, __builtin_bswap64(b0));
    Store64(lo + 8, __builtin_bswap64(b1));
    Store64(hi - 8, __builtin_bswap64(a0));
    Store64(hi - 16, __builtin_bswap64(a1));
    lo += 16;
    hi -= 16;
  }
  while (hi - lo >= 16) {
    const UInt64 a = Load64(lo), b = Load64(hi - 8);
    Store64(lo, __builtin_bswap64(b));
    Store64(hi - 8, __builtin_bswap64(a));
    lo += 8;
    hi -= 8;
  }
  while (lo + 1 < hi) {
    --hi;
    std::swap(*lo, *hi);
    ++lo;
  }
}

void ReverseCopy(const Byte *source, Byte *destination, UInt32 count) {
  UInt32 i = 0;
  for (; count - i >= 8; i += 8)
    Store64(destination + count - i - 8, __builtin_bswap64(Load64(source + i)));
  for (; i < count; ++i)
    destination[count - 1 - i] = source[i];
}

void Swap(Byte *a, Byte *b, size_t length) {
  size_t i = 0;
  for (; length - i >= 32; i += 32) {
    Byte ta[32], tb[32];
    std::memcpy(ta, a + i, 32);
    std::memcpy(tb, b + i, 32);
    std::memcpy(a + i, tb, 32);
    std::memcpy(b + i, ta, 32);
  }
  for (; i < length; ++i)
    std::swap(a[i], b[i]);
}

inline UInt32 RoundDown(UInt32 address, UInt32 pageSize) { return address - address % pageSize; }

} // namespace

extern "C" {

void MemFill(UInt32 patternLength, const void *pattern, UInt32 count, void *destination) noexcept {
  Fill(static_cast<const Byte *>(pattern), patternLength, static_cast<Byte *>(destination), count);
}

void BlockFill(const void *pattern, UInt32 patternLength, void *destination, UInt32 destinationLength) noexcept {
  Fill(static_cast<const Byte *>(pattern), patternLength, static_cast<Byte *>(destination), destinationLength);
}

void MemTrash(UInt32 count, void *destination) noexcept {
  static const Byte kTrash[4] = {0x68, 0xF1, 0x68, 0xF1};
  Fill(kTrash, sizeof kTrash, static_cast<Byte *>(destination), count);
}

void BlockSet(void *block, UInt32 length, UInt8 value) noexcept {
  if (length > 0)
    std::memset(block, value, length);
}

void BlockClear(void *block, UInt32 length) noexcept {
  if (length > 0)
    std::memset(block, 0, length);
}

void MemReverse(UInt32 count, void *block) noexcept { Reverse(static_cast<Byte *>(block), count); }

void BlockReverse(void *block, UInt32 length) noexcept { Reverse(static_cast<Byte *>(block), length); }

void MemReverseCopy(UInt32 count, const void *source, void *destination) noexcept {
  ReverseCopy(static_cast<const Byte *>(source), static_cast<Byte *>(destination), count);
}

void BlockSwap(void *blockA, void *blockB, UInt32 length) noexcept {
  Swap(static_cast<Byte *>(blockA), static_cast<Byte *>(blockB), length);
}

void BlockSwapIndexed(void *base, UInt32 elementSize, UInt32 i, UInt32 j) noexcept {
  if (i == j)
    return;
  Byte *b = static_cast<Byte *>(base);
  Swap(b + size_t(i) * elementSize, b + size_t(j) * elementSize, elementSize);
}

void BlockReverseIndexed(void *base, UInt32 elementSize, UInt32 count) noexcept {
  if (count < 2)
    return;
  Byte *lo = static_cast<Byte *>(base);
  Byte *hi = lo + size_t(count - 1) * elementSize;
  for (; lo < hi; lo += elementSize, hi -= elementSize)
    Swap(lo, hi, elementSize);
}

Boolean BlockCompare(UInt32 length, const void *blockA, const void *blockB) noexcept {
  return length == 0 || std::memcmp(blockA, blockB, length) == 0;
}

void *BinarySearch(const void *base, UInt32 count, UInt32 elementSize, const void *keyA, uintptr_t keyB,
                   BinarySearchCompareProcPtr comparator, void *refCon) noexcept {
  if (base == nullptr || count == 0 || elementSize == 0 || comparator == nullptr)
    return nullptr;
  Byte *elements = static_cast<Byte *>(const_cast<void *>(base));
  // Element 0 first: a key before it is not in the array at all.
  SInt32 order = comparator(refCon, keyA, keyB, elements, elementSize);
  if (order == 0)
    return elements;
  if (order < 0)
    return nullptr;
  UInt32 low = 1, high = count - 1;
  while (low <= high) {
    const UInt32 middle = low + (high - low) / 2; // no overflow near UINT32_MAX
    Byte *element = elements + size_t(middle) * elementSize;
    order = comparator(refCon, keyA, keyB, element, elementSize);
    if (order == 0)
      return element;
    if (order < 0)
      high = middle - 1; // middle >= 1, so this cannot wrap
    else
      low = middle + 1;
  }
  return nullptr;
}

UInt32 CollapseArray(UInt32 count, UInt32 *array) noexcept {
  UInt32 kept = 0;
  for (UInt32 i = 0; i < count; ++i) {
    if (array[i] != 0)
      array[kept++] = array[i];
  }
  for (UInt32 i = kept; i < count; ++i)
    array[i] = 0;
  return kept;
}

Boolean IsPreviousPageContiguous(const UInt32 *pageTable, UInt32 index, UInt32 pageSize) noexcept {
  if (index == 0 || pageSize == 0)
    return false;
  const UInt64 previous = RoundDown(pageTable[index - 1], pageSize);
  const UInt64 current = RoundDown(pageTable[index], pageSize);
  return previous + pageSize == current;
}

Boolean IsNextPageContiguous(const UInt32 *pageTable, UInt32 index, UInt32 pageSize) noexcept {
  if (pageSize == 0)
    return false;
  const UInt64 current = RoundDown(pageTable[index], pageSize);
  return current + pageSize == pageTable[index + 1];
}

OSErr CalculateCacheLineSize(UInt32 *outSize) noexcept {
  long line = sysconf(_SC_LEVEL1_DCACHE_LINESIZE);
  if (line <= 0 || line > 4096)
    line = 64; // the line size of every current x86-64 and most ARM cores
  if (outSize != nullptr)
    *outSize = UInt32(line);
  return noErr;
}

} // extern "C"
