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

void Pool_MemAllocate(benchmark::State &state) {
  std::vector<Ptr> blocks(kBlocks);
  FixedSizeBlockMemAllocator *pool = nullptr;
  if (FixedSizeBlockMemAllocatorNew(kBlockSize, 0, 0, &pool) != noErr) {
    state.SkipWithError("no pool");
    return;
  }
  auto ref = reinterpret_cast<MemAllocatorRef>(pool);
  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      for (Ptr &b : blocks)
        if (MemAllocate(ref, 0, kBlockSize, &b) != noErr)
          std::abort();
      benchmark::DoNotOptimize(blocks.data());
      for (Ptr b : blocks)
        MemFree(ref, 0, b);
    }
    benchmark::ClobberMemory();
  }
  FixedSizeBlockMemAllocatorDispose(pool);
  state.SetItemsProcessed(int64_t(state.iterations()) * kRounds * kBlocks);
}

void Pool_Malloc(benchmark::State &state) {
  std::vector<void *> blocks(kBlocks);
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
  std::vector<unsigned char> buf(kMiB);
  const unsigned char pattern = 0x5A;
  for (auto _ : state) {
    BlockFill(&pattern, 1, buf.data(), UInt32(buf.size()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}

void Fill_Memset(benchmark::State &state) {
  std::vector<unsigned char> buf(kMiB);
  for (auto _ : state) {
    std::memset(buf.data(), 0x5A, buf.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}

void Compare_BlockCompare(benchmark::State &state) {
  std::vector<unsigned char> a(kMiB, 0x33), b(kMiB, 0x33);
  for (auto _ : state) {
    benchmark::DoNotOptimize(BlockCompare(UInt32(a.size()), a.data(), b.data()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}

void Compare_Memcmp(benchmark::State &state) {
  std::vector<unsigned char> a(kMiB, 0x33), b(kMiB, 0x33);
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::memcmp(a.data(), b.data(), a.size()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}

void Reverse_BlockReverse(benchmark::State &state) {
  std::vector<unsigned char> buf(kMiB);
  for (size_t i = 0; i < buf.size(); ++i)
    buf[i] = static_cast<unsigned char>(i * 31);
  for (auto _ : state) {
    BlockReverse(buf.data(), UInt32(buf.size()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}

void Reverse_StdReverse(benchmark::State &state) {
  std::vector<unsigned char> buf(kMiB);
  for (size_t i = 0; i < buf.size(); ++i)
    buf[i] = static_cast<unsigned char>(i * 31);
  for (auto _ : state) {
    std::reverse(buf.begin(), buf.end());
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
