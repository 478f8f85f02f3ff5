// Text search, compare and removal beside their C library anchors, on the
// same inputs in the same binary. Run:
//   build/bench/bench_text --benchmark_min_time=0.2
// Pairs (library / anchor):
//   Search/Exact/TextSearch        / Search/Exact/memmem          1 MiB, needle at the end
//   Search/Fold/TextSearch         / Search/Fold/strcasestr       1 MiB, needle in another case
//   Compare/Fold/TextCompare/N     / Compare/Fold/strncasecmp/N   N = 32 and 4096, equal but for case
//   Sort/Natural/TextCompareNatural / Sort/Natural/strverscmp     100,000 file names (/1: long shared prefix)
//   Remove/CStringRemoveString/N/G / Remove/CopyLoop/N/G          N-byte C string, every "abc" removed
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <strings.h>
#include <vector>

#include "toolbox/strings/StringToolbox.h"
#include "toolbox/text/TextToolbox.h"

namespace {

constexpr size_t kMiB = 1 << 20;

// Word-like text: lower-case letters and spaces, deterministic.
std::string MakeText(size_t n, unsigned seed = 7) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> letter(0, 25), wordLen(1, 9);
  std::string s;
  s.reserve(n);
  while (s.size() < n) {
    int w = wordLen(rng);
    for (int i = 0; i < w && s.size() < n; ++i) s.push_back(char('a' + letter(rng)));
    if (s.size() < n) s.push_back(' ');
  }
  return s;
}

const char kNeedle[] = "quillomat needle";

const std::string &ExactHaystack() {
  static const std::string s = [] {
    std::string t = MakeText(kMiB);
    t.replace(t.size() - 20, 16, kNeedle);
    return t;
  }();
  return s;
}

void Search_Exact_TextSearch(benchmark::State &st) {
  const std::string &h = ExactHaystack();
  for (auto _ : st) benchmark::DoNotOptimize(TextSearch(h.data(), UInt32(h.size()), kNeedle, 16, true));
  st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(h.size()));
}
void Search_Exact_memmem(benchmark::State &st) {
  const std::string &h = ExactHaystack();
  for (auto _ : st) benchmark::DoNotOptimize(memmem(h.data(), h.size(), kNeedle, 16));
  st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(h.size()));
}
BENCHMARK(Search_Exact_TextSearch)->Name("Search/Exact/TextSearch");
BENCHMARK(Search_Exact_memmem)->Name("Search/Exact/memmem");

const std::string &FoldHaystack() {
  static const std::string s = [] {
    std::string t = MakeText(kMiB, 11);
    t.replace(t.size() - 20, 16, "QUILLOMAT Needle");
    return t;
  }();
  return s;
}

void Search_Fold_TextSearch(benchmark::State &st) {
  const std::string &h = FoldHaystack();
  for (auto _ : st) benchmark::DoNotOptimize(TextSearch(h.data(), UInt32(h.size()), kNeedle, 16, false));
  st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(h.size()));
}
void Search_Fold_stristr(benchmark::State &st) {
  const std::string &h = FoldHaystack();
  for (auto _ : st) benchmark::DoNotOptimize(stristr(h.c_str(), kNeedle));
  st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(h.size()));
}
void Search_Fold_strcasestr(benchmark::State &st) {
  const std::string &h = FoldHaystack();
  for (auto _ : st) benchmark::DoNotOptimize(strcasestr(h.c_str(), kNeedle));
  st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(h.size()));
}
BENCHMARK(Search_Fold_TextSearch)->Name("Search/Fold/TextSearch");
BENCHMARK(Search_Fold_stristr)->Name("Search/Fold/stristr");
BENCHMARK(Search_Fold_strcasestr)->Name("Search/Fold/strcasestr");

// Two strings equal but for the case of every letter, so both sides scan
// them whole.
struct ComparePair {
  std::string a, b;
  explicit ComparePair(size_t n) : a(MakeText(n, 3)), b(a) {
    for (char &c : b)
      if (c >= 'a' && c <= 'z') c = char(c - 32);
  }
};

void Compare_Fold_TextCompare(benchmark::State &st) {
  ComparePair p(size_t(st.range(0)));
  const UInt32 n = UInt32(p.a.size());
  for (auto _ : st) {
    benchmark::DoNotOptimize(p.a.data());
    benchmark::DoNotOptimize(TextCompare(p.a.data(), n, p.b.data(), n, false));
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(0));
}
void Compare_Fold_strncasecmp(benchmark::State &st) {
  ComparePair p(size_t(st.range(0)));
  const size_t n = p.a.size();
  for (auto _ : st) {
    benchmark::DoNotOptimize(p.a.data());
    benchmark::DoNotOptimize(strncasecmp(p.a.c_str(), p.b.c_str(), n));
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(0));
}
BENCHMARK(Compare_Fold_TextCompare)->Name("Compare/Fold/TextCompare")->Arg(32)->Arg(4096);
BENCHMARK(Compare_Fold_strncasecmp)->Name("Compare/Fold/strncasecmp")->Arg(32)->Arg(4096);

std::vector<std::string> MakeFileNames(const std::string &prefix) {
  std::mt19937 rng(5);
  const char *stems[] = {"IMG_", "track", "Report v", "photo-", "scan", "a", "file", "DSC0"};
  const char *exts[] = {".jpg", ".mp3", ".txt", "", ".tar.gz"};
  std::vector<std::string> v;
  v.reserve(100000);
  for (int i = 0; i < 100000; ++i) {
    std::string s = prefix + stems[rng() % 8];
    s += std::to_string(rng() % 20000);
    if (rng() % 3 == 0) s += "." + std::to_string(rng() % 30);
    s += exts[rng() % 5];
    v.push_back(s);
  }
  return v;
}

// 100,000 file names of the kinds people sort: numbered photos, tracks,
// versions, with and without leading zeros; with a long shared prefix
// ("Holiday Photos 2023 - ") when the argument is 1.
const std::vector<std::string> &FileNames(bool longPrefix) {
  static const std::vector<std::string> sets[2] = {MakeFileNames(""), MakeFileNames("Holiday Photos 2023 - ")};
  return sets[longPrefix];
}

void Sort_Natural_Library(benchmark::State &st) {
  const auto &names = FileNames(st.range(0) != 0);
  std::vector<const std::string *> v;
  for (auto _ : st) {
    st.PauseTiming();
    v.clear();
    for (auto &s : names) v.push_back(&s);
    st.ResumeTiming();
    std::sort(v.begin(), v.end(), [](const std::string *a, const std::string *b) {
      return TextCompareNatural(a->data(), UInt32(a->size()), b->data(), UInt32(b->size()), true) < 0;
    });
    benchmark::DoNotOptimize(v.data());
  }
}
void Sort_Natural_strverscmp(benchmark::State &st) {
  const auto &names = FileNames(st.range(0) != 0);
  std::vector<const std::string *> v;
  for (auto _ : st) {
    st.PauseTiming();
    v.clear();
    for (auto &s : names) v.push_back(&s);
    st.ResumeTiming();
    std::sort(v.begin(), v.end(),
              [](const std::string *a, const std::string *b) { return strverscmp(a->c_str(), b->c_str()) < 0; });
    benchmark::DoNotOptimize(v.data());
  }
}
BENCHMARK(Sort_Natural_Library)->Name("Sort/Natural/TextCompareNatural")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Sort_Natural_strverscmp)->Name("Sort/Natural/strverscmp")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A C string with an "abc" planted every 3 + rand(gap) bytes (gap 16: one
// every ~10 bytes, 30% of the text removed; 128: one every ~67 bytes;
// 1024: one every ~0.5 KiB) in text that has no other "abc".
std::string RemovalText(size_t n, size_t gap) {
  std::string s = MakeText(n, 9);
  for (size_t i = 0; i + 2 < n; ++i)
    if (s.compare(i, 3, "abc") == 0) s[i] = 'x';
  std::mt19937 rng(17);
  for (size_t at = rng() % gap; at + 3 < n; at += 3 + rng() % gap) s.replace(at, 3, "abc");
  return s;
}

void Remove_Library(benchmark::State &st) {
  const std::string src = RemovalText(size_t(st.range(0)), size_t(st.range(1)));
  std::string work(src.size() + 1, '\0');
  for (auto _ : st) {
    st.PauseTiming();
    std::memcpy(work.data(), src.c_str(), src.size() + 1);
    st.ResumeTiming();
    benchmark::DoNotOptimize(CStringRemoveString(work.data(), "abc", true, true));
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(0));
}
// The anchor: one pass over the same string copying it byte by byte up to
// its NUL (what any single-pass filter must at least do).
void Remove_CopyLoop(benchmark::State &st) {
  const std::string src = RemovalText(size_t(st.range(0)), size_t(st.range(1)));
  std::string work(src.size() + 1, '\0');
  for (auto _ : st) {
    const char *s = src.c_str();
    char *d = work.data();
    benchmark::DoNotOptimize(s);
    while ((*d++ = *s++) != '\0') {
    }
    benchmark::DoNotOptimize(work.data());
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(0));
}
// For scale: the C library's vectorised copy of the same bytes.
void Remove_memcpy(benchmark::State &st) {
  const std::string src = RemovalText(size_t(st.range(0)), size_t(st.range(1)));
  std::string work(src.size() + 1, '\0');
  for (auto _ : st) {
    std::memcpy(work.data(), src.c_str(), src.size() + 1);
    benchmark::DoNotOptimize(work.data());
  }
  st.SetBytesProcessed(int64_t(st.iterations()) * st.range(0));
}
#define REMOVAL_ARGS \
  ->Args({1 << 18, 16})->Args({1 << 20, 16})->Args({1 << 22, 16})->Args({1 << 20, 128})->Args({1 << 20, 1024})
BENCHMARK(Remove_Library)->Name("Remove/CStringRemoveString") REMOVAL_ARGS;
BENCHMARK(Remove_CopyLoop)->Name("Remove/CopyLoop") REMOVAL_ARGS;
BENCHMARK(Remove_memcpy)->Name("Remove/memcpy") REMOVAL_ARGS;

} // namespace

BENCHMARK_MAIN();
