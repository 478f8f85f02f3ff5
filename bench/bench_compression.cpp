// Compression coders beside straightforward coders that produce the same
// bytes: LZSS on 4 MiB of text, PackBits on 16 MiB of mixed runs and
// literals. Each pair runs on the same input in this binary; the setup
// checks that both produce identical output before anything is timed.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/memory/Memory.h"
#include "tests/encoding/ReferenceCoders.h"
#include "tests/encoding/TestData.h"
#include "toolbox/encoding/EncodingToolbox.h"

namespace {

using enctest::Bytes;

constexpr size_t kLzssSize = 4u << 20;
constexpr size_t kPackSize = 16u << 20;

void Check(bool ok, const char *what) {
  if (!ok) {
    std::fprintf(stderr, "bench_compression: %s\n", what);
    std::abort();
  }
}

struct LzssData {
  Bytes text = enctest::Text(kLzssSize, 2024);
  Bytes packed;
  LzssData() {
    Handle h = NewHandle(0);
    Check(LZSSCompress(text.data(), SInt32(text.size()), h) == noErr, "LZSSCompress failed");
    packed = enctest::HandleBytes(h);
    DisposeHandle(h);
    auto ref = std::make_unique<reference::Lzss>();
    Check(ref->Compress(text.data(), text.size()) == packed, "LZSS coders differ");
    Check(reference::Lzss::Expand(packed.data(), packed.size()) == text, "LZSS reference expander differs");
  }
};

const LzssData &Lzss() {
  static const LzssData d;
  return d;
}

struct PackData {
  Bytes raw = enctest::Runs(kPackSize, 2024);
  Bytes packed;
  PackData() {
    packed.resize(GetMaxPackBitsExpandedSize(UInt32(raw.size())));
    SInt32 length = SInt32(raw.size());
    BigPackBits(raw.data(), packed.data(), &length);
    packed.resize(size_t(length));
    Check(reference::PackBits(raw.data(), raw.size()) == packed, "PackBits coders differ");
    Bytes back(raw.size());
    reference::UnpackBits(packed.data(), back.data(), back.size());
    Check(back == raw, "PackBits reference unpacker differs");
  }
};

const PackData &Pack() {
  static const PackData d;
  return d;
}

void BM_LzssCompress_Library(benchmark::State &state) {
  const Bytes &in = Lzss().text;
  Handle h = NewHandle(0);
  for (auto _ : state) {
    Check(LZSSCompress(in.data(), SInt32(in.size()), h) == noErr, "LZSSCompress failed");
    benchmark::DoNotOptimize(*h);
  }
  DisposeHandle(h);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
}

void BM_LzssCompress_Reference(benchmark::State &state) {
  const Bytes &in = Lzss().text;
  auto coder = std::make_unique<reference::Lzss>();
  for (auto _ : state) {
    Bytes out = coder->Compress(in.data(), in.size());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
}

void BM_LzssExpand_Library(benchmark::State &state) {
  const Bytes &in = Lzss().packed;
  Handle h = NewHandle(0);
  for (auto _ : state) {
    Check(LZSSExpand(in.data(), SInt32(in.size()), h) == noErr, "LZSSExpand failed");
    benchmark::DoNotOptimize(*h);
  }
  DisposeHandle(h);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Lzss().text.size()));
}

void BM_LzssExpand_Reference(benchmark::State &state) {
  const Bytes &in = Lzss().packed;
  for (auto _ : state) {
    Bytes out = reference::Lzss::Expand(in.data(), in.size());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Lzss().text.size()));
}

void BM_PackBits_Library(benchmark::State &state) {
  const Bytes &in = Pack().raw;
  Bytes out(GetMaxPackBitsExpandedSize(UInt32(in.size())));
  for (auto _ : state) {
    SInt32 length = SInt32(in.size());
    BigPackBits(in.data(), out.data(), &length);
    benchmark::DoNotOptimize(length);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
}

void BM_PackBits_Reference(benchmark::State &state) {
  const Bytes &in = Pack().raw;
  for (auto _ : state) {
    Bytes out = reference::PackBits(in.data(), in.size());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
}

void BM_UnpackBits_Library(benchmark::State &state) {
  const Bytes &in = Pack().packed;
  Bytes out(Pack().raw.size());
  for (auto _ : state) {
    BigUnpackBits(in.data(), out.data(), SInt32(out.size()));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
}

void BM_UnpackBits_Reference(benchmark::State &state) {
  const Bytes &in = Pack().packed;
  Bytes out(Pack().raw.size());
  for (auto _ : state) {
    reference::UnpackBits(in.data(), out.data(), out.size());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
}

BENCHMARK(BM_LzssCompress_Library)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzssCompress_Reference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzssExpand_Library)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzssExpand_Reference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackBits_Library)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackBits_Reference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnpackBits_Library)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnpackBits_Reference)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
