// Parsing ID3v2 tags held in memory: 1,000 version 2.3 tags, each with a
// dozen text frames (Latin-1 and UTF-16) and a 30 KB picture, parsed into
// frame lists by the library and, in the same binary on the same bytes, by
// the C++ tag library from Debian's libtag1-dev (when it was found at
// configure time). The setup checks that both find every frame.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/memory/Memory.h"
#include "toolbox/mp3/MP3Core.h"
#include "toolbox/mp3/MP3Toolbox.h"

#ifdef QL_HAVE_TAGLIB
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kTags = 1000;
constexpr int kFramesPerTag = 13; // 12 text frames and the picture

void Check(bool ok, const char *what) {
  if (!ok) {
    std::fprintf(stderr, "bench_mp3: %s\n", what);
    std::abort();
  }
}

void Add(MP3Tag *tag, const char *id, const Bytes &body) {
  char longID[4], shortID[3];
  const OSType key = ql::FourCC(reinterpret_cast<const char(&)[5]>(*id));
  Check(ql::detail::ID3FindFrameInfo(key, longID, shortID), "frame ID not in the table");
  Check(ql::detail::ID3SetFrame(tag, true, key, longID, shortID, 0, SInt32(body.size()), body.data(),
                                nullptr) == noErr,
        "ID3SetFrame failed");
}

Bytes Latin1(const std::string &s) {
  Bytes b(s.size() + 1, 0);
  std::copy(s.begin(), s.end(), b.begin() + 1);
  return b;
}

Bytes UTF16(const std::string &s) {
  Bytes b{1, 0xFF, 0xFE};
  for (char c : s) {
    b.push_back(uint8_t(c));
    b.push_back(0);
  }
  return b;
}

// The tags as version 2.3 bytes, made by the library's own writer.
std::vector<Bytes> MakeTags() {
  static const char *kTextIDs[] = {"TIT2", "TPE1", "TALB", "TCON", "TRCK", "TYER",
                                   "TCOM", "TPE2", "TPOS", "TENC", "TCOP", "TBPM"};
  std::vector<Bytes> tags;
  uint32_t seed = 1;
  for (int t = 0; t < kTags; ++t) {
    MP3Tag *tag = nullptr;
    Check(MP3NewTag(0, &tag) == noErr, "MP3NewTag failed");
    for (int i = 0; i < 12; ++i) {
      const std::string text = std::string(kTextIDs[i]) + " text " + std::to_string(t * 31 + i);
      Add(tag, kTextIDs[i], i % 3 == 1 ? UTF16(text) : Latin1(text));
    }
    Bytes picture = {0, 'i', 'm', 'a', 'g', 'e', '/', 'j', 'p', 'e', 'g', 0, 3, 'c', 0};
    for (int i = 0; i < 30 * 1024; ++i) {
      seed = seed * 1103515245u + 12345u;
      picture.push_back(uint8_t(seed >> 16));
    }
    Add(tag, "APIC", picture);
    Handle h = NewHandle(0);
    Check(ID3FlattenTagToID3v2(tag, kMP3WriteID3v23, h) == noErr, "flattening failed");
    const auto *p = reinterpret_cast<const uint8_t *>(*h);
    tags.emplace_back(p, p + GetHandleSize(h));
    DisposeHandle(h);
    MP3FreeTag(tag);
  }
  return tags;
}

const std::vector<Bytes> &Tags() {
  static const std::vector<Bytes> tags = MakeTags();
  return tags;
}

// Frames found by the library in all the tags.
long LibraryParseAll(const std::vector<Bytes> &tags) {
  long frames = 0;
  for (const Bytes &bytes : tags) {
    MP3Tag *tag = nullptr;
    MP3NewTag(0, &tag);
    if (ql::detail::ID3ParseTagBytes(bytes.data(), bytes.size(), tag) == noErr)
      frames += tag->frameCount;
    MP3FreeTag(tag);
  }
  return frames;
}

void BM_Library_Parse1000Tags(benchmark::State &state) {
  const auto &tags = Tags();
  Check(LibraryParseAll(tags) == long(kTags) * kFramesPerTag, "library missed frames");
  for (auto _ : state)
    benchmark::DoNotOptimize(LibraryParseAll(tags));
  state.SetItemsProcessed(state.iterations() * kTags);
}
BENCHMARK(BM_Library_Parse1000Tags)->Unit(benchmark::kMillisecond);

#ifdef QL_HAVE_TAGLIB
long TagLibParseAll(const std::vector<Bytes> &tags) {
  long frames = 0;
  for (const Bytes &bytes : tags) {
    TagLib::ByteVectorStream stream(
        TagLib::ByteVector(reinterpret_cast<const char *>(bytes.data()), unsigned(bytes.size())));
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (TagLib::ID3v2::Tag *tag = file.ID3v2Tag())
      frames += long(tag->frameList().size());
  }
  return frames;
}

void BM_TagLib_Parse1000Tags(benchmark::State &state) {
  const auto &tags = Tags();
  Check(TagLibParseAll(tags) == long(kTags) * kFramesPerTag, "tag library missed frames");
  for (auto _ : state)
    benchmark::DoNotOptimize(TagLibParseAll(tags));
  state.SetItemsProcessed(state.iterations() * kTags);
}
BENCHMARK(BM_TagLib_Parse1000Tags)->Unit(benchmark::kMillisecond);
#endif

} // namespace

BENCHMARK_MAIN();
