// Packing and byte-order swapping beside their hand-written anchors.
//
//   EndianSwapMemory32Bit on 1 MiB   vs  a __builtin_bswap32 loop over the
//                                        same aligned buffer
//   PackData of a 10-field record    vs  the same bytes written with shifts
//                                        and a memcpy by a hand-written
//                                        function
//
// Run (one line):
//   build/bench/bench_packing --benchmark_min_time=0.1 --benchmark_repetitions=10
//   --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "toolbox/packing/PackingToolbox.h"

namespace {

constexpr std::size_t kSwapBytes = 1 << 20;

std::vector<std::uint32_t> SwapBuffer() {
  std::vector<std::uint32_t> v(kSwapBytes / 4);
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = std::uint32_t(i * 2654435761u);
  return v;
}

void BM_EndianSwapMemory32Bit(benchmark::State &state) {
  auto buffer = SwapBuffer();
  for (auto _ : state) {
    EndianSwapMemory32Bit(UInt32(kSwapBytes), buffer.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSwapBytes));
}
BENCHMARK(BM_EndianSwapMemory32Bit);

__attribute__((noinline)) void Bswap32Loop(std::uint32_t *p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) p[i] = __builtin_bswap32(p[i]);
}

void BM_Anchor_Bswap32Loop(benchmark::State &state) {
  auto buffer = SwapBuffer();
  for (auto _ : state) {
    Bswap32Loop(buffer.data(), buffer.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSwapBytes));
}
BENCHMARK(BM_Anchor_Bswap32Loop);

// A 10-field record: a frame-like header of integers in both byte orders,
// 24-bit sizes and a 16-byte identifier. 41 bytes packed.
struct Record {
  std::uint32_t id;        // w
  std::uint32_t size;      // w
  std::uint16_t flags;     // h
  std::uint16_t count;     // H
  std::uint8_t version;    // b
  std::uint8_t revision;   // b
  std::uint32_t offset;    // t
  std::uint32_t length;    // T
  std::uint32_t checksum;  // W
  std::uint8_t name[16];   // n
};
constexpr const char *kRecordFormat = "wwhHbbtTWn";
constexpr std::size_t kRecordBytes = 4 + 4 + 2 + 2 + 1 + 1 + 3 + 3 + 4 + 16;

Record MakeRecord() {
  Record r{0x49443320, 0x00012345, 0xA0B0, 0x0102, 3, 0, 0x123456, 0x654321, 0xDEADBEEF, {}};
  std::memcpy(r.name, "identifier-16byt", 16);
  return r;
}

__attribute__((noinline)) std::size_t PackByHand(std::uint8_t *p, const Record &r) {
  p[0] = std::uint8_t(r.id >> 24);
  p[1] = std::uint8_t(r.id >> 16);
  p[2] = std::uint8_t(r.id >> 8);
  p[3] = std::uint8_t(r.id);
  p[4] = std::uint8_t(r.size >> 24);
  p[5] = std::uint8_t(r.size >> 16);
  p[6] = std::uint8_t(r.size >> 8);
  p[7] = std::uint8_t(r.size);
  p[8] = std::uint8_t(r.flags >> 8);
  p[9] = std::uint8_t(r.flags);
  p[10] = std::uint8_t(r.count);
  p[11] = std::uint8_t(r.count >> 8);
  p[12] = r.version;
  p[13] = r.revision;
  p[14] = std::uint8_t(r.offset >> 16);
  p[15] = std::uint8_t(r.offset >> 8);
  p[16] = std::uint8_t(r.offset);
  p[17] = std::uint8_t(r.length);
  p[18] = std::uint8_t(r.length >> 8);
  p[19] = std::uint8_t(r.length >> 16);
  p[20] = std::uint8_t(r.checksum);
  p[21] = std::uint8_t(r.checksum >> 8);
  p[22] = std::uint8_t(r.checksum >> 16);
  p[23] = std::uint8_t(r.checksum >> 24);
  std::memcpy(p + 24, r.name, sizeof r.name);
  return 24 + sizeof r.name;
}

void BM_PackData10Fields(benchmark::State &state) {
  Record r = MakeRecord();
  std::uint8_t out[64];
  for (auto _ : state) {
    benchmark::DoNotOptimize(&r);
    SInt32 n = PackData(out, kRecordFormat, r.id, r.size, r.flags, r.count, r.version,
                        r.revision, r.offset, r.length, r.checksum, UInt32(sizeof r.name),
                        r.name);
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PackData10Fields);

void BM_Anchor_PackByHand10Fields(benchmark::State &state) {
  Record r = MakeRecord();
  std::uint8_t out[64];
  for (auto _ : state) {
    benchmark::DoNotOptimize(&r);
    std::size_t n = PackByHand(out, r);
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Anchor_PackByHand10Fields);

// Both forms must agree, or the comparison means nothing.
[[maybe_unused]] const bool kSameBytes = [] {
  Record r = MakeRecord();
  std::uint8_t a[64], b[64];
  const SInt32 n = PackData(a, kRecordFormat, r.id, r.size, r.flags, r.count, r.version,
                            r.revision, r.offset, r.length, r.checksum, UInt32(sizeof r.name),
                            r.name);
  const std::size_t m = PackByHand(b, r);
  if (n != SInt32(kRecordBytes) || m != kRecordBytes || std::memcmp(a, b, m) != 0) __builtin_trap();
  return true;
}();

} // namespace

BENCHMARK_MAIN();
