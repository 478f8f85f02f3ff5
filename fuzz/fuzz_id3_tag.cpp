// ID3v2 tags on arbitrary bytes. Input starting with "ID3" is a whole tag;
// any other input is a frame area: its first byte picks version 2.2, 2.3 or
// 2.4 and its second byte is the header flags. Whatever is read is
// flattened in every version; our own output must parse back without error,
// and a second trip must give the frames of the first (the conversions
// between versions settle after one trip). Nothing may read or write out of
// bounds or leak.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "toolbox/mp3/MP3Core.h"
#include "toolbox/mp3/MP3Toolbox.h"

namespace {

struct Frame {
  std::vector<uint8_t> ids, body;
  UInt32 flags;
  bool operator==(const Frame &) const = default;
};

std::vector<Frame> Frames(const MP3Tag *tag) {
  std::vector<Frame> out;
  for (const MP3TagFrame *f = tag->firstFrame; f != nullptr; f = f->nextFrame) {
    const auto *p = reinterpret_cast<const uint8_t *>(f->data);
    Frame v{{}, std::vector<uint8_t>(p, p + f->dataLength), f->frameFlags};
    v.ids.assign(f->longID, f->longID + 4);
    v.ids.insert(v.ids.end(), f->shortID, f->shortID + 3);
    out.push_back(v);
  }
  return out;
}

// Flattens tag in the version and parses the result into a new tag.
MP3Tag *Trip(const MP3Tag *tag, UInt32 flags) {
  Handle h = NewHandle(0);
  fuzz::Require(h != nullptr);
  fuzz::Require(ID3FlattenTagToID3v2(tag, flags, h) == noErr);
  MP3Tag *back = nullptr;
  fuzz::Require(MP3NewTag(0, &back) == noErr);
  HLock(h);
  fuzz::Require(ql::detail::ID3ParseTagBytes(*h, size_t(GetHandleSize(h)), back) == noErr);
  fuzz::Require(back->v2TagSize == GetHandleSize(h));
  DisposeHandle(h);
  back->v2Flags = tag->v2Flags & 0x80; // ask for the same unsynchronisation
  return back;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  MP3Tag *tag = nullptr;
  fuzz::Require(MP3NewTag(0, &tag) == noErr);
  if (size >= 3 && std::memcmp(data, "ID3", 3) == 0) {
    ql::detail::ID3ParseTagBytes(data, size, tag);
  } else if (size >= 2) {
    static const UInt8 kVersions[] = {2, 3, 4};
    tag->v2MajorVersion = kVersions[data[0] % 3];
    tag->v2Flags = data[1];
    const std::vector<uint8_t> body(data + 2, data + size); // exact bounds for the sanitizer
    if (tag->v2MajorVersion == 2)
      ID3Parse2Pt2Tag(body.data(), SInt32(body.size()), tag);
    else
      ID3Parse2Pt3Tag(body.data(), SInt32(body.size()), tag);
  }
  for (UInt32 flags : {UInt32(kMP3WriteID3v22), UInt32(kMP3WriteID3v23), UInt32(kMP3WriteID3v24)}) {
    MP3Tag *once = Trip(tag, flags);
    MP3Tag *twice = Trip(once, flags);
    fuzz::Require(Frames(once) == Frames(twice));
    MP3FreeTag(once);
    MP3FreeTag(twice);
  }
  MP3FreeTag(tag);
  return 0;
}
