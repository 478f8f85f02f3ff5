// Inserting 1 MiB at the start of a 50 MiB file with FSShiftData, beside a
// plain read/write copy of the same 50 MiB file to another file, in the
// same run. Both move the same bytes through the page cache; the shift
// must stay within 1.5 times the copy's time and use at most 8 MiB of
// memory beyond what the process had (the growth of the peak resident
// size over the shift's runs is reported as extra_rss_MiB; the page cache
// is not part of it).
//
//   build/bench/bench_filedata [--benchmark_repetitions=3]
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/files/Forks.h"
#include "platform/memory/Memory.h"
#include "toolbox/files/FileToolbox.h"

namespace fs = std::filesystem;

namespace {

constexpr SInt32 kFileSize = 50 << 20;
constexpr SInt32 kInsert = 1 << 20;
constexpr size_t kCopyPiece = 1 << 20;
std::string gDir, gFile, gCopy;

void MakeFiles() {
  char templ[] = "/tmp/qlbench-filedata.XXXXXX";
  gDir = mkdtemp(templ);
  gFile = gDir + "/data";
  gCopy = gDir + "/copy";
  std::vector<char> piece(kCopyPiece);
  for (size_t i = 0; i < piece.size(); ++i)
    piece[i] = char(i * 131 + 7);
  for (const std::string &path : {gFile, gCopy}) {
    int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
    for (SInt32 done = 0; done < kFileSize; done += SInt32(piece.size()))
      if (::write(fd, piece.data(), piece.size()) != ssize_t(piece.size()))
        std::abort();
    ::close(fd);
  }
}

long MaxRssKiB() {
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

void BM_FSShiftData_Insert1MiB(benchmark::State &state) {
  FSRef ref;
  SInt16 fork;
  if (FSPathMakeRef(reinterpret_cast<const UInt8 *>(gFile.c_str()), &ref, nullptr) != noErr ||
      FSOpenFork(&ref, 0, nullptr, fsRdWrPerm, &fork) != noErr) {
    state.SkipWithError("no file");
    return;
  }
  const long rssBefore = MaxRssKiB();
  for (auto _ : state) {
    if (FSShiftData(0, fork, 0, kInsert) != noErr) {
      state.SkipWithError("FSShiftData failed");
      break;
    }
    state.PauseTiming();
    SetEOF(fork, kFileSize); // back to 50 MiB for the next round
    state.ResumeTiming();
  }
  FSClose(fork);
  state.SetBytesProcessed(int64_t(state.iterations()) * kFileSize);
  state.counters["extra_rss_MiB"] = double(MaxRssKiB() - rssBefore) / 1024.0;
}

// The anchor: read the 50 MiB file and write it over another file, in 1 MiB
// pieces, with plain read and write calls.
void BM_PlainReadWriteCopy(benchmark::State &state) {
  std::vector<char> piece(kCopyPiece);
  for (auto _ : state) {
    int in = ::open(gFile.c_str(), O_RDONLY | O_CLOEXEC);
    int out = ::open(gCopy.c_str(), O_WRONLY | O_CLOEXEC);
    for (;;) {
      ssize_t n = ::read(in, piece.data(), piece.size());
      if (n <= 0)
        break;
      if (::write(out, piece.data(), size_t(n)) != n)
        std::abort();
    }
    ::close(in);
    ::close(out);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kFileSize);
}

} // namespace

// The shift runs first, so the anchor's buffer cannot hide in its
// resident-size figure.
BENCHMARK(BM_FSShiftData_Insert1MiB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainReadWriteCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv) {
  MakeFiles();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(gDir);
  return 0;
}
