// ID3v2 writing: a tag's frames flattened to the bytes of a version 2.2, 2.3
// or 2.4 tag, converting IDs, picture layouts, text encodings and frame
// flags for the version written.

#include <climits>
#include <cstring>
#include <new>

#include "toolbox/encoding/EncodingToolbox.h"
#include "toolbox/mp3/MP3Body.h"
#include "toolbox/mp3/MP3Core.h"
#include "toolbox/mp3/MP3Toolbox.h"

using namespace ql::detail;

namespace {

constexpr UInt32 kMaxSyncsafe = 0x0FFFFFFF;
constexpr UInt32 kMax24Bit = 0xFFFFFF;

// Frame IDs that exist in only one of versions 2.3 and 2.4.
constexpr const char *kOnlyIn23[] = {"EQUA", "IPLS", "RVAD", "TDAT", "TIME",
                                     "TORY", "TRDA", "TSIZ", "TYER"};
constexpr const char *kOnlyIn24[] = {"ASPI", "EQU2", "RVA2", "SEEK", "SIGN", "TDEN",
                                     "TDOR", "TDRC", "TDRL", "TDTG", "TIPL", "TMCL",
                                     "TMOO", "TPRO", "TSOA", "TSOP", "TSOT", "TSST"};

template <size_t N> bool Listed(const char *const (&list)[N], const char *id) {
  for (const char *entry : list)
    if (std::memcmp(entry, id, 4) == 0)
      return true;
  return false;
}

bool IsIDByte(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }
bool IsFrameID(const char *p, int n) {
  for (int i = 0; i < n; ++i)
    if (!IsIDByte(p[i]))
      return false;
  return true;
}

UInt32 RawVersion(const MP3TagFrame *f) {
  return (f->frameFlags & kID3FrameRawVersionMask) >> kID3FrameRawVersionShift;
}

// Whether the tag has a frame (other than a raw one) with that long ID.
bool HasFrame(const MP3Tag *tag, const char *longID) {
  for (const MP3TagFrame *f = tag->firstFrame; f != nullptr; f = f->nextFrame)
    if (RawVersion(f) == 0 && std::memcmp(f->longID, longID, 4) == 0)
      return true;
  return false;
}

// Version 2.3 status flags in the 2.4 layout.
UInt32 StatusTo24(UInt32 f) {
  UInt32 r = 0;
  if (f & kID3FrameTagAlterPreservation) r |= 0x4000;
  if (f & kID3FrameFileAlterPreservation) r |= 0x2000;
  if (f & kID3FrameReadOnly) r |= 0x1000;
  return r;
}

int TargetVersion(UInt32 flags) {
  return (flags & kMP3WriteID3v24) ? 4 : (flags & kMP3WriteID3v23) ? 3 : 2;
}

// What one frame becomes in the version written.
struct FramePlan {
  char id[4] = {0, 0, 0, 0};
  const uint8_t *body = nullptr;
  size_t length = 0;
  UInt32 flags = 0; // as written, in the target version's layout
  bool compress = false;
  bool unsync = false;
  bool raw = false;
  int sizeVersion = 0; // 4: syncsafe size field
  ByteVector converted;
  ByteVector picture;
};

// Fills plan; false when the frame has no place in the version.
bool PlanFrame(const MP3Tag *tag, const MP3TagFrame *f, int version, FramePlan &plan) {
  plan.body = reinterpret_cast<const uint8_t *>(f->data);
  plan.length = f->data != nullptr && f->dataLength > 0 ? size_t(f->dataLength) : 0;
  plan.sizeVersion = version;

  if (const UInt32 rawVersion = RawVersion(f); rawVersion != 0) {
    // Encrypted or grouped bodies cannot be converted: same version only.
    if (UInt32(version) != rawVersion || !IsFrameID(f->longID, 4))
      return false;
    std::memcpy(plan.id, f->longID, 4);
    plan.flags = f->frameFlags & 0xFFFF;
    plan.raw = true;
    return true;
  }

  char longID[4];
  std::memcpy(longID, f->longID, 4);
  bool toYear = false;
  if (std::memcmp(longID, "TDRC", 4) == 0 && version < 4) {
    if (HasFrame(tag, "TYER"))
      return false; // the tag's own year frame is written instead
    std::memcpy(longID, "TYER", 4);
    toYear = true;
  } else if (std::memcmp(longID, "TYER", 4) == 0 && version == 4) {
    if (HasFrame(tag, "TDRC"))
      return false;
    std::memcpy(longID, "TDRC", 4);
  }

  if (version == 2) {
    if (toYear)
      std::memcpy(plan.id, "TYE", 3);
    else
      std::memcpy(plan.id, f->shortID, 3);
    if (!IsFrameID(plan.id, 3))
      return false;
  } else {
    if (!IsFrameID(longID, 4))
      return false;
    if ((version == 3 && Listed(kOnlyIn24, longID)) || (version == 4 && Listed(kOnlyIn23, longID)))
      return false;
    std::memcpy(plan.id, longID, 4);
  }

  if (toYear && ID3YearFromTimestamp(plan.body, plan.length, plan.converted)) {
    plan.body = plan.converted.data();
    plan.length = plan.converted.size();
  } else if (version < 4) {
    const bool bigEndian = ((tag->options | gMP3Options) & kMP3OptionBigEndianMark) != 0;
    switch (ID3ConvertToUTF16(longID, plan.body, plan.length, bigEndian, plan.converted)) {
    case ID3Conversion::kImpossible:
      return false;
    case ID3Conversion::kConverted:
      plan.body = plan.converted.data();
      plan.length = plan.converted.size();
      break;
    case ID3Conversion::kUnchanged:
      break;
    }
  }

  if (version == 2) {
    if (std::memcmp(longID, "APIC", 4) == 0) {
      if (!ID3ApicToPic(plan.body, plan.length, plan.picture))
        return false;
      plan.body = plan.picture.data();
      plan.length = plan.picture.size();
    }
    return plan.length <= kMax24Bit;
  }
  plan.compress = (f->frameFlags & kID3FrameCompressed) != 0;
  if (version == 3) {
    plan.flags = f->frameFlags & (kID3FrameTagAlterPreservation | kID3FrameFileAlterPreservation |
                                  kID3FrameReadOnly | kID3FrameCompressed);
  } else {
    plan.flags = StatusTo24(f->frameFlags);
    if (plan.compress)
      plan.flags |= 0x0008 | 0x0001;
    if ((tag->v2Flags & 0x80) != 0) {
      plan.unsync = true;
      plan.flags |= 0x0002 | 0x0001;
    }
  }
  return true;
}

// Grows h by n bytes; the new bytes start at the returned offset.
OSErr Grow(Handle h, size_t n, Size &offset) {
  offset = GetHandleSize(h);
  if (uint64_t(offset) + n > uint64_t(INT32_MAX))
    return memFullErr;
  SetHandleSize(h, Size(offset + int64_t(n)));
  return MemError();
}

uint8_t *At(Handle h, Size offset) { return reinterpret_cast<uint8_t *>(*h) + offset; }

// Unsynchronises the bytes of h from `from` to its end.
OSErr UnsyncTail(Handle h, Size from) {
  const Size end = GetHandleSize(h);
  const UInt32 grown = ID3CalcUnsyncSize(At(h, from), UInt32(end - from));
  if (grown == UInt32(end - from))
    return noErr;
  Size at;
  if (OSErr err = Grow(h, grown - UInt32(end - from), at); err != noErr)
    return err;
  ID3UnsyncInPlace(At(h, from), size_t(end - from), size_t(grown));
  return noErr;
}

// Appends one planned frame.
OSErr AppendFrame(Handle h, const FramePlan &plan, int version) {
  Size start;
  if (version == 2) {
    if (OSErr err = Grow(h, 6 + plan.length, start); err != noErr)
      return err;
    uint8_t *p = At(h, start);
    std::memcpy(p, plan.id, 3);
    p[3] = uint8_t(plan.length >> 16);
    p[4] = uint8_t(plan.length >> 8);
    p[5] = uint8_t(plan.length);
    if (plan.length > 0)
      std::memcpy(p + 6, plan.body, plan.length);
    return noErr;
  }

  // Header, then the payload, then the size field once the payload is known.
  Handle stream = nullptr;
  const uint8_t *payload = plan.body;
  size_t payloadLength = plan.length;
  if (plan.compress) {
    stream = NewHandle(0);
    if (stream == nullptr)
      return memFullErr;
    if (OSErr err = ZLibCompress(plan.body, UInt32(plan.length), stream); err != noErr) {
      DisposeHandle(stream);
      return err;
    }
    HLock(stream);
    payload = reinterpret_cast<const uint8_t *>(*stream);
    payloadLength = size_t(GetHandleSize(stream));
  }
  // Version 2.3 compressed bodies and 2.4 data-length indicators carry the
  // body's length in front of the payload: plain in 2.3, syncsafe in 2.4.
  const bool lengthPrefix = !plan.raw && (version == 3 ? plan.compress : (plan.flags & 0x0001) != 0);
  const size_t prefix = lengthPrefix ? 4 : 0;
  OSErr err = Grow(h, 10 + prefix + payloadLength, start);
  if (err == noErr) {
    uint8_t *p = At(h, start);
    std::memcpy(p, plan.id, 4);
    p[8] = uint8_t(plan.flags >> 8);
    p[9] = uint8_t(plan.flags);
    if (lengthPrefix)
      StoreBE32(p + 10, version == 3 ? UInt32(plan.length) : ID3EncodeSize(UInt32(plan.length)));
    if (payloadLength > 0)
      std::memcpy(p + 10 + prefix, payload, payloadLength);
  }
  DisposeHandle(stream);
  if (err == noErr && plan.unsync)
    err = UnsyncTail(h, start + 10 + Size(prefix));
  if (err != noErr)
    return err;
  const size_t size = size_t(GetHandleSize(h) - start - 10);
  if (plan.sizeVersion == 4 && size > kMaxSyncsafe)
    return paramErr;
  StoreBE32(At(h, start + 4), plan.sizeVersion == 4 ? ID3EncodeSize(UInt32(size)) : UInt32(size));
  return noErr;
}

// Appends one frame; *unsynchronised is cleared when a 2.4 frame goes out
// without its unsynchronisation flag.
OSErr FlattenFrame(const MP3Tag *tag, const MP3TagFrame *frame, int version, Handle h,
                   bool *unsynchronised) noexcept {
  try {
    FramePlan plan;
    if (!PlanFrame(tag, frame, version, plan))
      return noErr;
    if (version == 4 && (plan.flags & 0x0002) == 0)
      *unsynchronised = false;
    return AppendFrame(h, plan, version);
  } catch (const std::bad_alloc &) {
    return memFullErr;
  }
}

} // namespace

extern "C" OSErr ID3FlattenTagFrameToID3v2(const MP3Tag *tag, const MP3TagFrame *frame,
                                           UInt32 flags, Handle h) noexcept {
  if (tag == nullptr || frame == nullptr || h == nullptr)
    return paramErr;
  bool unsynchronised = true;
  return FlattenFrame(tag, frame, TargetVersion(flags), h, &unsynchronised);
}

extern "C" OSErr ID3FlattenTagToID3v2(const MP3Tag *tag, UInt32 flags, Handle h) noexcept {
  if (tag == nullptr || h == nullptr)
    return paramErr;
  const int version = TargetVersion(flags);
  const bool unsync = (tag->v2Flags & 0x80) != 0;
  Size start;
  if (OSErr err = Grow(h, 10, start); err != noErr)
    return err;
  std::memset(At(h, start), 0, 10);

  bool allUnsynchronised = true;
  for (const MP3TagFrame *f = tag->firstFrame; f != nullptr; f = f->nextFrame)
    if (OSErr err = FlattenFrame(tag, f, version, h, &allUnsynchronised); err != noErr)
      return err;
  // Versions 2.2 and 2.3 unsynchronise the whole tag after its header (and
  // nothing that was in the handle before it).
  if (unsync && version < 4)
    if (OSErr err = UnsyncTail(h, start + 10); err != noErr)
      return err;

  Size total = GetHandleSize(h) - start;
  if ((gMP3Options & kMP3OptionPadTags) != 0 && total % 512 != 0) {
    const Size padded = (total / 512 + 1) * 512;
    Size at;
    if (OSErr err = Grow(h, size_t(padded - total), at); err != noErr)
      return err;
    std::memset(At(h, at), 0, size_t(padded - total));
    total = padded;
  }
  if (UInt32(total - 10) > kMaxSyncsafe) {
    SetHandleSize(h, start); // no tag rather than one whose size field lies
    return paramErr;
  }
  uint8_t *p = At(h, start);
  p[0] = 'I';
  p[1] = 'D';
  p[2] = '3';
  p[3] = uint8_t(version);
  p[4] = 0;
  p[5] = unsync && (version < 4 || allUnsynchronised) ? 0x80 : 0;
  StoreBE32(p + 6, ID3EncodeSize(UInt32(total - 10)));
  return noErr;
}
