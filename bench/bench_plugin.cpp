// The menu must appear without a visible pause: ExamineContext plus
// PostMenuCleanup over an "Encoders" tree of 2,000 entries (warm cache),
// beside a plain nftw listing of the same tree in the same run.
//
//   build/bench/bench_plugin --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>

#include "platform/aliases/Aliases.h"
#include "platform/files/Folders.h"
#include "platform/memory/Memory.h"
#include "plugin/QuillomatPlugIn.h"

namespace fs = std::filesystem;

namespace {

std::string gRoot;
std::string gEncoders;

void MakeTree() {
  char templ[] = "/tmp/qlbench-plugin.XXXXXX";
  gRoot = mkdtemp(templ);
  gEncoders = gRoot + "/Scripts/Encoders";
  // 2,000 entries: 40 folders of 49 encoders, plus the folders themselves.
  for (int f = 0; f < 40; ++f) {
    std::string dir = gEncoders + "/Group " + std::to_string(f);
    fs::create_directories(dir);
    for (int i = 0; i < 49; ++i) {
      std::string file = dir + "/Encoder " + std::to_string(i);
      int fd = ::open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0755);
      ::close(fd);
    }
  }
  std::ofstream(gRoot + "/selected.txt") << "x";
}

ContextualMenuInterfaceStruct **LoadPlugIn() {
  const char *dir = QL_PLUGIN_DIR;
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>(dir),
                                                         CFIndex(std::strlen(dir)), true);
  CFBundleRef bundle = CFBundleCreate(nullptr, url);
  CFRelease(url);
  if (bundle == nullptr || !CFBundleLoadExecutable(bundle))
    return nullptr;
  return static_cast<ContextualMenuInterfaceStruct **>(PlugInFactory(nullptr, kContextualMenuTypeID));
}

void BM_ExamineAndCleanup(benchmark::State &state) {
  PlatformSetFolderPath(kScriptsFolderType, (gRoot + "/Scripts").c_str());
  auto menu = LoadPlugIn();
  if (menu == nullptr) {
    state.SkipWithError("the plug-in did not load");
    return;
  }
  AEDescList context;
  AECreateList(nullptr, 0, false, &context);
  FSRef ref;
  std::string selected = gRoot + "/selected.txt";
  FSPathMakeRef(reinterpret_cast<const UInt8 *>(selected.c_str()), &ref, nullptr);
  AliasHandle alias;
  FSNewAlias(nullptr, &ref, &alias);
  AEPutPtr(&context, 0, typeAlias, *alias, GetHandleSize(reinterpret_cast<Handle>(alias)));
  DisposeHandle(reinterpret_cast<Handle>(alias));
  SInt32 entries = 0;
  for (auto _ : state) {
    AEDescList commands;
    AECreateList(nullptr, 0, false, &commands);
    (*menu)->ExamineContext(menu, &context, &commands);
    entries = gAppFSRefsHandle ? GetHandleSize(gAppFSRefsHandle) / SInt32(sizeof(FSRef)) : 0;
    (*menu)->PostMenuCleanup(menu);
    AEDisposeDesc(&commands);
  }
  state.counters["listed"] = entries;
  AEDisposeDesc(&context);
  (*menu)->Release(menu);
}

long gCount;
int Count(const char *, const struct stat *, int, struct FTW *) {
  ++gCount;
  return 0;
}

void BM_nftw(benchmark::State &state) {
  for (auto _ : state) {
    gCount = 0;
    nftw(gEncoders.c_str(), Count, 32, FTW_PHYS);
  }
  state.counters["listed"] = double(gCount - 1);
}

BENCHMARK(BM_nftw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExamineAndCleanup)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  MakeTree();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(gRoot);
  return 0;
}
