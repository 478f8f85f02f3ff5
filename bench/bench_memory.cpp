// Memory helpers beside their anchors, on the same work in the same binary:
//   pool       a fixed-size block pool through MemAllocate/MemFree against
//              malloc/free: 1M blocks of 48 bytes allocated, then released,
//              10 rounds per iteration. Both allocators keep their memory
//              between iterations (the pool lives for the whole benchmark,
//              as malloc's heap does), so the first iteration's growth is
//              amortised in both.
//   fill       BlockFill with a 1-byte pattern against memset, 1 MiB
//   compare    BlockCompare against memcmp, 1 MiB of equal bytes
//   reverse    BlockReverse against std::reverse, 1 MiB
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include "toolbox/memory/MemoryToolbox.h"

namespace {

constexpr size_t kBlocks = 1 << 20;
constexpr ByteCount kBlockSize = 48;
constexpr int kRounds = 10;
constexpr size_t kMiB = 1 << 20;

// One set of buffers for every benchmark, so that a library function and its
// anchor work on the very same memory (separately allocated buffers land at
// different alignments and in different kinds of memory from one run to the
// next, which moves the results more than the code does).
struct Buffers {
  unsigned char *a;
  unsigned char *b;
  std::vector<void *> blocks;
  Buffers() : blocks(kBlocks) {
    a = static_cast<unsigned char *>(std::aligned_alloc(4096, 2 * kMiB));
    b = a + kMiB + 64; // a and b not a multiple of 4 KiB apart
    std::memset(a, 0x33, 2 * kMiB);
  }
};

Buffers &Shared() {
  static Buffers *buffers = new Buffers;
  return *buffers;
}

void Pool_MemAllocate(benchmark::State &state) {
  std::vector<void *> &blocks = Shared().blocks;
  FixedSizeBlockMemAllocator *pool = nullptr;
  if (FixedSizeBlockMemAllocatorNew(kBlockSize, 0, 0, &pool) != noErr) {
    state.SkipWithError("no pool");
    return;
  }
  auto ref = reinterpret_cast<MemAllocatorRef>(pool);
  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      for (void *&b : blocks)
        if (MemAllocate(ref, 0, kBlockSize, reinterpret_cast<Ptr *>(&b)) != noErr)
          std::abort();
      benchmark::DoNotOptimize(blocks.data());
      for (void *b : blocks)
        MemFree(ref, 0, static_cast<Ptr>(b));
    }
    benchmark::ClobberMemory();
  }
  FixedSizeBlockMemAllocatorDispose(pool);
  state.SetItemsProcessed(int64_t(state.iterations()) * kRounds * kBlocks);
}

void Pool_Malloc(benchmark::State &state) {
  std::vector<void *> &blocks = Shared().blocks;
  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      for (void *&b : blocks)
        if ((b = std::malloc(kBlockSize)) == nullptr)
          std::abort();
      benchmark::DoNotOptimize(blocks.data());
      for (void *b : blocks)
        std::free(b);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kRounds * kBlocks);
}

void Fill_BlockFill(benchmark::State &state) {
  unsigned char *buf = Shared().a;
  const unsigned char pattern = 0x5A;
  for (auto _ : state) {
    BlockFill(&pattern, 1, buf, UInt32(kMiB));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}

void Fill_Memset(benchmark::State &state) {
  unsigned char *buf = Shared().a;
  for (auto _ : state) {
    std::memset(buf, 0x5A, kMiB);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}

// Equal blocks: both compare every byte.
void Compare_BlockCompare(benchmark::State &state) {
  Buffers &s = Shared();
  std::memset(s.a, 0x33, kMiB);
  std::memset(s.b, 0x33, kMiB);
  for (auto _ : state) {
    benchmark::DoNotOptimize(BlockCompare(UInt32(kMiB), s.a, s.b));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}

void Compare_Memcmp(benchmark::State &state) {
  Buffers &s = Shared();
  std::memset(s.a, 0x33, kMiB);
  std::memset(s.b, 0x33, kMiB);
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::memcmp(s.a, s.b, kMiB));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}

void Reverse_BlockReverse(benchmark::State &state) {
  unsigned char *buf = Shared().a;
  for (auto _ : state) {
    BlockReverse(buf, UInt32(kMiB));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}

void Reverse_StdReverse(benchmark::State &state) {
  unsigned char *buf = Shared().a;
  for (auto _ : state) {
    std::reverse(buf, buf + kMiB);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}

} // namespace

BENCHMARK(Pool_MemAllocate)->Unit(benchmark::kMillisecond);
BENCHMARK(Pool_Malloc)->Unit(benchmark::kMillisecond);
BENCHMARK(Fill_BlockFill);
BENCHMARK(Fill_Memset);
BENCHMARK(Compare_BlockCompare);
BENCHMARK(Compare_Memcmp);
BENCHMARK(Reverse_BlockReverse);
BENCHMARK(Reverse_StdReverse);

BENCHMARK_MAIN();
