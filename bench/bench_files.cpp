// Folder walk: FSIterateFolder over a generated tree of 100,000 files in
// 1,000 folders, beside nftw over the same tree in the same run.
//
//   build/bench/bench_files [--benchmark_repetitions=5]
#include <fcntl.h>
#include <ftw.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "platform/files/Files.h"
#include "toolbox/files/FileToolbox.h"

namespace fs = std::filesystem;

namespace {

constexpr int kGroups = 10;
constexpr int kFoldersPerGroup = 100;
constexpr int kFilesPerFolder = 100;
std::string gRoot;

void MakeTree() {
  char templ[] = "/tmp/qlbench.XXXXXX";
  gRoot = mkdtemp(templ);
  for (int g = 0; g < kGroups; ++g) {
    for (int f = 0; f < kFoldersPerGroup; ++f) {
      std::string dir = gRoot + "/group" + std::to_string(g) + "/folder" + std::to_string(f);
      fs::create_directories(dir);
      for (int i = 0; i < kFilesPerFolder; ++i) {
        std::string file = dir + "/file" + std::to_string(i) + ".dat";
        int fd = ::open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ::close(fd);
      }
    }
  }
  ::sync();
}

long MaxRssKiB() {
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

SInt32 CountItem(void *user, CInfoPBRec *) {
  ++*static_cast<long *>(user);
  return 0;
}

void BM_FSIterateFolder(benchmark::State &state) {
  FSRef ref;
  if (FSPathMakeRef(reinterpret_cast<const UInt8 *>(gRoot.c_str()), &ref, nullptr) != noErr) {
    state.SkipWithError("no tree");
    return;
  }
  long items = 0;
  long rssBefore = MaxRssKiB();
  for (auto _ : state) {
    items = 0;
    OSStatus err = FSRefIterateFolder(&ref, 0, 0, CountItem, &items);
    if (err != noErr)
      state.SkipWithError("walk failed");
    benchmark::DoNotOptimize(items);
  }
  state.counters["items"] = double(items);
  state.counters["cached_listings"] = PlatformCachedListingCount();
  state.counters["directory_ids"] = PlatformDirectoryIDCount();
  state.counters["max_rss_growth_KiB"] = double(MaxRssKiB() - rssBefore);
}

long gNftwItems;
int CountEntry(const char *, const struct stat *, int, struct FTW *) {
  ++gNftwItems;
  return 0;
}

void BM_nftw(benchmark::State &state) {
  for (auto _ : state) {
    gNftwItems = 0;
    nftw(gRoot.c_str(), CountEntry, 64, FTW_PHYS);
    benchmark::DoNotOptimize(gNftwItems);
  }
  state.counters["items"] = double(gNftwItems - 1); // nftw also reports the root
}

BENCHMARK(BM_nftw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FSIterateFolder)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  MakeTree();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(gRoot);
  return 0;
}
