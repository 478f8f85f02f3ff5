// Helpers for the MP3 tag tests: byte builders for hand-made tags, an owned
// tag, frame snapshots, and a text decoder of our own for frame bodies.
#ifndef TESTS_MP3_MP3TESTSUPPORT_H
#define TESTS_MP3_MP3TESTSUPPORT_H

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory/Memory.h"
#include "toolbox/mp3/MP3Core.h"
#include "toolbox/mp3/MP3Toolbox.h"

namespace mp3test {

using Bytes = std::vector<uint8_t>;

inline Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &p : parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline Bytes BE32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
inline Bytes BE24(uint32_t v) { return {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
inline Bytes BE16(uint32_t v) { return {uint8_t(v >> 8), uint8_t(v)}; }
// Syncsafe: four 7-bit groups, worked out here independently of the library.
inline Bytes Syncsafe(uint32_t v) {
  return {uint8_t((v >> 21) & 0x7F), uint8_t((v >> 14) & 0x7F), uint8_t((v >> 7) & 0x7F),
          uint8_t(v & 0x7F)};
}

inline Bytes Frame22(std::string_view id, const Bytes &body) {
  return Cat({B(id), BE24(uint32_t(body.size())), body});
}
inline Bytes Frame23(std::string_view id, const Bytes &body, uint16_t flags = 0) {
  return Cat({B(id), BE32(uint32_t(body.size())), BE16(flags), body});
}
inline Bytes Frame24(std::string_view id, const Bytes &body, uint16_t flags = 0) {
  return Cat({B(id), Syncsafe(uint32_t(body.size())), BE16(flags), body});
}
// A whole tag: header (syncsafe size of body), the body, an optional footer.
inline Bytes Tag(uint8_t major, uint8_t flags, const Bytes &body, bool footer = false) {
  Bytes header = Cat({B("ID3"), {major, 0, flags}, Syncsafe(uint32_t(body.size()))});
  Bytes out = Cat({header, body});
  if (footer) {
    Bytes f = header;
    std::memcpy(f.data(), "3DI", 3);
    out.insert(out.end(), f.begin(), f.end());
  }
  return out;
}

// Latin-1 text frame body.
inline Bytes Text(std::string_view s, uint8_t encoding = 0) { return Cat({{encoding}, B(s)}); }

inline Bytes Compress(const Bytes &in) {
  uLongf n = compressBound(uLong(in.size()));
  Bytes out(n);
  EXPECT_EQ(compress(out.data(), &n, in.data(), uLong(in.size())), Z_OK);
  out.resize(n);
  return out;
}

inline Bytes Inflate(const uint8_t *p, size_t n, size_t expected) {
  Bytes out(expected);
  uLongf got = uLongf(expected);
  EXPECT_EQ(uncompress(out.data(), &got, p, uLong(n)), Z_OK);
  out.resize(got);
  return out;
}

struct TagDeleter {
  void operator()(MP3Tag *t) const { MP3FreeTag(t); }
};
using TagPtr = std::unique_ptr<MP3Tag, TagDeleter>;

inline TagPtr NewTag(UInt32 options = 0) {
  MP3Tag *t = nullptr;
  EXPECT_EQ(MP3NewTag(options, &t), noErr);
  return TagPtr(t);
}

// Parses a whole tag held in memory (header first).
inline TagPtr Parse(const Bytes &whole, OSErr expect = noErr) {
  TagPtr tag = NewTag();
  EXPECT_EQ(ql::detail::ID3ParseTagBytes(whole.data(), whole.size(), tag.get()), expect);
  return tag;
}

inline Bytes HandleBytes(Handle h) {
  const Size n = GetHandleSize(h);
  const auto *p = reinterpret_cast<const uint8_t *>(*h);
  return n > 0 ? Bytes(p, p + n) : Bytes();
}

struct HandleDeleter {
  void operator()(Handle h) const { DisposeHandle(h); }
};
using OwnedHandle = std::unique_ptr<std::remove_pointer_t<Handle>, HandleDeleter>;

inline Bytes Flatten(const MP3Tag *tag, UInt32 flags, OSErr expect = noErr) {
  OwnedHandle h(NewHandle(0));
  EXPECT_EQ(ID3FlattenTagToID3v2(tag, flags, h.get()), expect);
  return HandleBytes(h.get());
}

// Sets the process-wide options for a scope.
class ScopedOptions {
public:
  explicit ScopedOptions(UInt32 options) {
    MP3GetOptions(&saved_);
    MP3SetOptions(options);
  }
  ~ScopedOptions() { MP3SetOptions(saved_); }

private:
  UInt32 saved_ = 0;
};

struct FrameView {
  std::string longID, shortID;
  OSType key = 0;
  UInt32 flags = 0;
  Bytes body;
  bool operator==(const FrameView &) const = default;
};

inline std::vector<FrameView> Frames(const MP3Tag *tag) {
  std::vector<FrameView> out;
  SInt32 counted = 0;
  for (const MP3TagFrame *f = tag->firstFrame; f != nullptr; f = f->nextFrame, ++counted) {
    const auto *p = reinterpret_cast<const uint8_t *>(f->data);
    out.push_back({std::string(f->longID, 4), std::string(f->shortID, 3), f->frameKey,
                   f->frameFlags, Bytes(p, p + f->dataLength)});
  }
  EXPECT_EQ(counted, tag->frameCount);
  return out;
}

inline std::vector<std::string> FrameIDs(const MP3Tag *tag) {
  std::vector<std::string> ids;
  for (const FrameView &f : Frames(tag))
    ids.push_back(f.longID);
  return ids;
}

// Adds a frame as a reader would: key and short ID from the frame table,
// 'unkn' and "???" for an ID in no row.
inline void AddFrame(MP3Tag *tag, std::string_view longID, const Bytes &body, UInt32 flags = 0) {
  char shortID[3] = {'?', '?', '?'};
  OSType key = ql::detail::kMP3UnknownFrameKey;
  for (const auto &row : ql::detail::kMP3FrameDispatchTable)
    if (std::memcmp(row.longID, longID.data(), 4) == 0) {
      key = row.key;
      std::memcpy(shortID, row.shortID, 3);
      break;
    }
  ASSERT_EQ(ql::detail::ID3SetFrame(tag, true, key, longID.data(), shortID, flags,
                                    SInt32(body.size()), body.data(), nullptr),
            noErr);
}

// ---- Text of frame bodies, decoded here independently of the library ----

inline void PutUTF8(std::string &out, uint32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | c >> 6);
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | c >> 12);
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | c >> 18);
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

// Splits encoded text into strings (UTF-8), reading from p and advancing it;
// `count` strings at most (0: all to the end).
inline std::vector<std::string> DecodeStrings(uint8_t encoding, const Bytes &b, size_t &p,
                                              size_t count = 0) {
  std::vector<std::string> out;
  while (p < b.size() && (count == 0 || out.size() < count)) {
    std::string s;
    if (encoding == 1 || encoding == 2) {
      bool little = false;
      if (p + 1 < b.size() && b[p] == 0xFF && b[p + 1] == 0xFE) {
        little = true;
        p += 2;
      } else if (p + 1 < b.size() && b[p] == 0xFE && b[p + 1] == 0xFF) {
        p += 2;
      }
      uint32_t high = 0;
      for (; p + 1 < b.size(); p += 2) {
        uint32_t u = little ? (b[p] | b[p + 1] << 8) : (b[p] << 8 | b[p + 1]);
        if (u == 0) {
          p += 2;
          break;
        }
        if (u >= 0xD800 && u < 0xDC00) {
          high = u;
          continue;
        }
        if (u >= 0xDC00 && u < 0xE000) {
          u = 0x10000 + ((high - 0xD800) << 10) + (u - 0xDC00);
        }
        PutUTF8(s, u);
      }
    } else {
      for (; p < b.size() && b[p] != 0; ++p) {
        if (encoding == 3)
          s += char(b[p]);
        else
          PutUTF8(s, b[p]);
      }
      if (p < b.size())
        ++p;
    }
    out.push_back(s);
  }
  return out;
}

// A readable summary of a frame's content, the same for every encoding:
// "ID|field|field...". Texts are UTF-8; binary data is given by its size
// and a checksum.
inline std::string Describe(const std::string &id, const Bytes &b) {
  auto join = [](const std::vector<std::string> &v) {
    std::string s;
    for (size_t i = 0; i < v.size(); ++i)
      s += (i ? "/" : "") + v[i];
    return s;
  };
  auto binary = [&](size_t from) {
    const size_t n = from <= b.size() ? b.size() - from : 0;
    return "bin" + std::to_string(n) + ":" +
           std::to_string(crc32(0, n ? b.data() + from : nullptr, uInt(n)));
  };
  size_t p = 1;
  if (b.empty())
    return id + "|";
  const uint8_t e = b[0];
  if (id == "TXXX") {
    auto desc = DecodeStrings(e, b, p, 1);
    return id + "|" + join(desc) + "|" + join(DecodeStrings(e, b, p));
  }
  if (id[0] == 'T')
    return id + "|" + join(DecodeStrings(e, b, p));
  if (id == "COMM" || id == "USLT") {
    if (b.size() < 4)
      return id + "|?";
    std::string lang(b.begin() + 1, b.begin() + 4);
    p = 4;
    auto desc = DecodeStrings(e, b, p, 1);
    return id + "|" + lang + "|" + join(desc) + "|" + join(DecodeStrings(e, b, p));
  }
  if (id == "APIC") {
    std::string mime;
    for (; p < b.size() && b[p] != 0; ++p)
      mime += char(b[p]);
    p += 2; // NUL and picture type
    const int type = p - 1 < b.size() ? b[p - 1] : -1;
    auto desc = DecodeStrings(e, b, p, 1);
    return id + "|" + mime + "|" + std::to_string(type) + "|" + join(desc) + "|" + binary(p);
  }
  return id + "|" + binary(0);
}

inline std::vector<std::string> Describe(const MP3Tag *tag) {
  std::vector<std::string> out;
  for (const FrameView &f : Frames(tag))
    out.push_back(Describe(f.longID, f.body));
  return out;
}

} // namespace mp3test

#endif
