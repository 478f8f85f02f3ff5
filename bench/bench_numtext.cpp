// Numbers to text and back, and UTF-8 to UTF-16, beside their anchors on
// the same inputs in the same binary. Run:
//   build/bench/bench_numtext --benchmark_min_time=0.2
// Pairs (library / anchor):
//   Decimal/ToText/NumberToString        / Decimal/ToText/to_chars         4096 random int32, signed decimal
//   Decimal/ToText/ConvertNumberToString / Decimal/ToText/to_chars         (Pascal-string form)
//   Decimal/FromText/StringToNumber      / Decimal/FromText/from_chars     the same 4096 numbers as text
//   Decimal/FromText/DecimalTextToNumber / Decimal/FromText/from_chars     (text-block form)
//   Decimal/RoundTrip/Library            / Decimal/RoundTrip/charconv      to text and back
//   Utf8ToUtf16/Mixed/UTF8ToUnicode      / Utf8ToUtf16/Mixed/iconv         1 MiB, script changes every word
//   Utf8ToUtf16/Sentences/UTF8ToUnicode  / Utf8ToUtf16/Sentences/iconv     1 MiB, one language per sentence
//   Utf8ToUtf16/Ascii/UTF8ToUnicode      / Utf8ToUtf16/Ascii/iconv         1 MiB ASCII text
#include <benchmark/benchmark.h>

#include <iconv.h>

#include <charconv>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "toolbox/charsets/CharsetToolbox.h"
#include "toolbox/numbers/NumbersToolbox.h"

namespace {

constexpr size_t kCount = 4096;

// Magnitudes spread over every digit count.
const std::vector<SInt32> &Numbers() {
  static const std::vector<SInt32> v = [] {
    std::mt19937 rng(1);
    std::vector<SInt32> out;
    for (size_t i = 0; i < kCount; ++i) {
      const int bits = std::uniform_int_distribution<int>(1, 32)(rng);
      out.push_back(SInt32(UInt32(rng()) >> (32 - bits)));
    }
    return out;
  }();
  return v;
}

// The numbers as NUL-terminated text, 16 bytes apart.
const std::vector<char> &Texts() {
  static const std::vector<char> t = [] {
    std::vector<char> out(kCount * 16, 0);
    for (size_t i = 0; i < kCount; ++i) std::to_chars(&out[i * 16], &out[i * 16 + 15], Numbers()[i]);
    return out;
  }();
  return t;
}

void Decimal_ToText_NumberToString(benchmark::State &state) {
  char buf[32];
  for (auto _ : state) {
    for (SInt32 v : Numbers()) {
      NumberToString(UInt32(v), -10, 0, 0, 0, false, buf);
      benchmark::DoNotOptimize(buf);
    }
  }
  state.SetItemsProcessed(int64_t(state.iterations() * kCount));
}

void Decimal_ToText_ConvertNumberToString(benchmark::State &state) {
  Str255 s;
  for (auto _ : state) {
    for (SInt32 v : Numbers()) {
      ConvertNumberToString(v, s);
      benchmark::DoNotOptimize(s);
    }
  }
  state.SetItemsProcessed(int64_t(state.iterations() * kCount));
}

void Decimal_ToText_to_chars(benchmark::State &state) {
  char buf[32];
  for (auto _ : state) {
    for (SInt32 v : Numbers()) {
      *std::to_chars(buf, buf + sizeof buf - 1, v).ptr = 0; // same output: text and a NUL
      benchmark::DoNotOptimize(buf);
    }
  }
  state.SetItemsProcessed(int64_t(state.iterations() * kCount));
}

void Decimal_FromText_StringToNumber(benchmark::State &state) {
  const char *t = Texts().data();
  for (auto _ : state) {
    UInt32 sum = 0;
    for (size_t i = 0; i < kCount; ++i) {
      char *end;
      sum += UInt32(StringToNumber(t + i * 16, &end, 10));
      benchmark::DoNotOptimize(end);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(int64_t(state.iterations() * kCount));
}

void Decimal_FromText_DecimalTextToNumber(benchmark::State &state) {
  const char *t = Texts().data();
  std::vector<UInt32> lengths(kCount);
  for (size_t i = 0; i < kCount; ++i) lengths[i] = UInt32(std::strlen(t + i * 16));
  for (auto _ : state) {
    UInt32 sum = 0;
    for (size_t i = 0; i < kCount; ++i) sum += UInt32(DecimalTextToNumber(t + i * 16, lengths[i]));
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(int64_t(state.iterations() * kCount));
}

void Decimal_FromText_from_chars(benchmark::State &state) {
  const char *t = Texts().data();
  // The anchor is given every length up front (the library's C-string
  // reader finds the end itself).
  std::vector<UInt32> lengths(kCount);
  for (size_t i = 0; i < kCount; ++i) lengths[i] = UInt32(std::strlen(t + i * 16));
  for (auto _ : state) {
    UInt32 sum = 0;
    for (size_t i = 0; i < kCount; ++i) {
      SInt32 v = 0;
      const char *p = t + i * 16;
      auto r = std::from_chars(p, p + lengths[i], v);
      benchmark::DoNotOptimize(r.ptr);
      sum += UInt32(v);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(int64_t(state.iterations() * kCount));
}

void Decimal_RoundTrip_Library(benchmark::State &state) {
  char buf[32];
  for (auto _ : state) {
    UInt32 sum = 0;
    for (SInt32 v : Numbers()) {
      NumberToString(UInt32(v), -10, 0, 0, 0, false, buf);
      sum += UInt32(StringToNumber(buf, nullptr, 10));
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(int64_t(state.iterations() * kCount));
}

void Decimal_RoundTrip_charconv(benchmark::State &state) {
  char buf[32];
  for (auto _ : state) {
    UInt32 sum = 0;
    for (SInt32 v : Numbers()) {
      char *end = std::to_chars(buf, buf + sizeof buf - 1, v).ptr;
      *end = 0;
      SInt32 back = 0;
      std::from_chars(buf, end, back);
      sum += UInt32(back);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(int64_t(state.iterations() * kCount));
}

// ---- UTF-8 to UTF-16 ----------------------------------------------------------

void AppendUtf8(std::string &s, char32_t c) {
  if (c < 0x80) {
    s.push_back(char(c));
  } else if (c < 0x800) {
    s.push_back(char(0xC0 | (c >> 6)));
    s.push_back(char(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    s.push_back(char(0xE0 | (c >> 12)));
    s.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    s.push_back(char(0x80 | (c & 0x3F)));
  } else {
    s.push_back(char(0xF0 | (c >> 18)));
    s.push_back(char(0x80 | ((c >> 12) & 0x3F)));
    s.push_back(char(0x80 | ((c >> 6) & 0x3F)));
    s.push_back(char(0x80 | (c & 0x3F)));
  }
}

// 1 MiB of words: mostly ASCII, with accented Latin, Greek and Cyrillic,
// CJK and emoji words mixed in (by words: 70% ASCII, 15% two-byte, 10%
// three-byte, 5% four-byte characters).
std::string MakeText(bool mixed) {
  std::mt19937 rng(9);
  std::string s;
  const size_t size = size_t(1) << 20;
  while (s.size() < size - 64) {
    const int kind = mixed ? std::uniform_int_distribution<int>(0, 99)(rng) : 0;
    const int len = std::uniform_int_distribution<int>(2, 9)(rng);
    for (int i = 0; i < len; ++i) {
      char32_t c;
      if (kind < 70) c = char32_t('a' + rng() % 26);
      else if (kind < 85) c = std::uniform_int_distribution<char32_t>(0xC0, 0x4FF)(rng);
      else if (kind < 95) c = std::uniform_int_distribution<char32_t>(0x4E00, 0x9FFF)(rng);
      else c = std::uniform_int_distribution<char32_t>(0x1F300, 0x1F64F)(rng);
      AppendUtf8(s, c);
    }
    s.push_back(' ');
  }
  return s;
}

// 1 MiB of sentences, each in one language: English (ASCII), French
// (ASCII with accented letters), Russian (Cyrillic words, ASCII spaces and
// punctuation), Chinese (CJK characters, no spaces), with an emoji now and
// then; in equal shares.
std::string MakeSentences() {
  std::mt19937 rng(12);
  std::string s;
  const size_t size = size_t(1) << 20;
  const char32_t french[] = {0xE9, 0xE8, 0xEA, 0xE0, 0xE7, 0xF4, 0xEF, 0xFB};
  while (s.size() < size - 256) {
    const int lang = std::uniform_int_distribution<int>(0, 3)(rng);
    const int words = std::uniform_int_distribution<int>(5, 15)(rng);
    for (int w = 0; w < words; ++w) {
      const int len = std::uniform_int_distribution<int>(2, 9)(rng);
      for (int i = 0; i < len; ++i) {
        char32_t c;
        switch (lang) {
        case 0: c = char32_t('a' + rng() % 26); break;
        case 1: c = rng() % 12 == 0 ? french[rng() % 8] : char32_t('a' + rng() % 26); break;
        case 2: c = std::uniform_int_distribution<char32_t>(0x430, 0x44F)(rng); break;
        default: c = std::uniform_int_distribution<char32_t>(0x4E00, 0x9FFF)(rng); break;
        }
        AppendUtf8(s, c);
      }
      if (rng() % 40 == 0) AppendUtf8(s, std::uniform_int_distribution<char32_t>(0x1F600, 0x1F64F)(rng));
      if (lang != 3) s.push_back(' ');
    }
    AppendUtf8(s, lang == 3 ? char32_t(0x3002) : char32_t('.'));
    s.push_back(' ');
  }
  return s;
}

const std::string &Text(int kind) {
  static const std::string m = MakeText(true), a = MakeText(false), t = MakeSentences();
  return kind == 0 ? m : kind == 1 ? a : t;
}

void RunLibrary(benchmark::State &state, int kind) {
  const std::string &in = Text(kind);
  std::vector<char> out(in.size() * 2 + 16);
  for (auto _ : state) {
    ByteCount n = 0;
    OSStatus err = UTF8ToUnicode(in.data(), ByteCount(in.size()), ByteCount(out.size()), out.data(), &n);
    if (err != noErr) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(int64_t(state.iterations() * in.size()));
}

void RunIconv(benchmark::State &state, int kind) {
  const std::string &in = Text(kind);
  std::vector<char> out(in.size() * 2 + 16);
  iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
  for (auto _ : state) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char *ip = const_cast<char *>(in.data());
    size_t il = in.size();
    char *op = out.data();
    size_t ol = out.size();
    if (iconv(cd, &ip, &il, &op, &ol) == size_t(-1)) state.SkipWithError("iconv failed");
    benchmark::DoNotOptimize(op);
  }
  iconv_close(cd);
  state.SetBytesProcessed(int64_t(state.iterations() * in.size()));
}

void Utf8ToUtf16_Mixed_UTF8ToUnicode(benchmark::State &state) { RunLibrary(state, 0); }
void Utf8ToUtf16_Mixed_iconv(benchmark::State &state) { RunIconv(state, 0); }
void Utf8ToUtf16_Ascii_UTF8ToUnicode(benchmark::State &state) { RunLibrary(state, 1); }
void Utf8ToUtf16_Ascii_iconv(benchmark::State &state) { RunIconv(state, 1); }
void Utf8ToUtf16_Sentences_UTF8ToUnicode(benchmark::State &state) { RunLibrary(state, 2); }
void Utf8ToUtf16_Sentences_iconv(benchmark::State &state) { RunIconv(state, 2); }

} // namespace

BENCHMARK(Decimal_ToText_NumberToString)->Name("Decimal/ToText/NumberToString");
BENCHMARK(Decimal_ToText_ConvertNumberToString)->Name("Decimal/ToText/ConvertNumberToString");
BENCHMARK(Decimal_ToText_to_chars)->Name("Decimal/ToText/to_chars");
BENCHMARK(Decimal_FromText_StringToNumber)->Name("Decimal/FromText/StringToNumber");
BENCHMARK(Decimal_FromText_DecimalTextToNumber)->Name("Decimal/FromText/DecimalTextToNumber");
BENCHMARK(Decimal_FromText_from_chars)->Name("Decimal/FromText/from_chars");
BENCHMARK(Decimal_RoundTrip_Library)->Name("Decimal/RoundTrip/Library");
BENCHMARK(Decimal_RoundTrip_charconv)->Name("Decimal/RoundTrip/charconv");
BENCHMARK(Utf8ToUtf16_Mixed_UTF8ToUnicode)->Name("Utf8ToUtf16/Mixed/UTF8ToUnicode");
BENCHMARK(Utf8ToUtf16_Mixed_iconv)->Name("Utf8ToUtf16/Mixed/iconv");
BENCHMARK(Utf8ToUtf16_Ascii_UTF8ToUnicode)->Name("Utf8ToUtf16/Ascii/UTF8ToUnicode");
BENCHMARK(Utf8ToUtf16_Ascii_iconv)->Name("Utf8ToUtf16/Ascii/iconv");
BENCHMARK(Utf8ToUtf16_Sentences_UTF8ToUnicode)->Name("Utf8ToUtf16/Sentences/UTF8ToUnicode");
BENCHMARK(Utf8ToUtf16_Sentences_iconv)->Name("Utf8ToUtf16/Sentences/iconv");
BENCHMARK_MAIN();
