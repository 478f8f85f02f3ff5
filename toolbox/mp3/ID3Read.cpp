// ID3v2 reading: version 2.2 and 2.3/2.4 frame walks, syncsafe sizes,
// unsynchronisation, and the tag read from an open file.

#include <zlib.h>

#include <climits>
#include <new>

#include "toolbox/encoding/EncodingToolbox.h"
#include "toolbox/mp3/MP3Body.h"
#include "toolbox/mp3/MP3Core.h"
#include "toolbox/mp3/MP3Toolbox.h"

using namespace ql::detail;

namespace {


// zlib cannot expand more than about 1032 bytes per byte of stream; a count
// above this bound is a lie and the frame is dropped before any allocation.
constexpr uint64_t kMaxInflateRatio = 1032;
uint64_t ExpansionCap(size_t streamLength) { return uint64_t(streamLength) * kMaxInflateRatio + 1024; }

bool IsIDByte(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }
bool IsFrameID(const uint8_t *p, int n) {
  for (int i = 0; i < n; ++i)
    if (!IsIDByte(p[i]))
      return false;
  return true;
}

// Version 2.4 frame flags in the version 2.3 layout kept by the tag.
UInt32 FlagsFrom24(UInt32 f) {
  UInt32 r = 0;
  if (f & 0x4000) r |= kID3FrameTagAlterPreservation;
  if (f & 0x2000) r |= kID3FrameFileAlterPreservation;
  if (f & 0x1000) r |= kID3FrameReadOnly;
  if (f & 0x0008) r |= kID3FrameCompressed;
  return r;
}

// Frame data after decoding: either a span of the body or a handle's bytes.
struct FrameData {
  const uint8_t *bytes = nullptr;
  SInt32 length = 0;
  Handle scratch = nullptr;
  ~FrameData() { DisposeHandle(scratch); }
  void Take(Handle h) {
    DisposeHandle(scratch);
    scratch = h;
    HLock(h);
    bytes = reinterpret_cast<const uint8_t *>(*h);
    length = GetHandleSize(h);
  }
};

// Outcome of decoding one frame: keep it, drop it, or stop for lack of memory.
enum class Decoded { kKeep, kDrop, kNoMemory };

// Expands a zlib stream into data. expected is the announced size (0 when
// none was given: the size is then found by growing guesses).
Decoded Expand(const uint8_t *stream, size_t streamLength, uint64_t expected, bool announced,
               FrameData &data) {
  const uint64_t cap = ExpansionCap(streamLength);
  if (announced && expected > cap)
    return Decoded::kDrop;
  uint64_t guess = announced ? expected : std::min<uint64_t>(cap, streamLength * 4 + 64);
  for (;;) {
    OSErr err = noErr;
    Handle h = TempNewHandle(0, &err);
    if (h == nullptr)
      return Decoded::kNoMemory;
    err = ZLibExpand(stream, UInt32(streamLength), UInt32(guess), h);
    if (err == noErr) {
      data.Take(h); // the expanded length is what zlib produced
      return Decoded::kKeep;
    }
    DisposeHandle(h);
    if (err == memFullErr)
      return Decoded::kNoMemory;
    if (err != Z_BUF_ERROR || announced || guess >= cap)
      return Decoded::kDrop;
    guess = std::min<uint64_t>(cap, guess * 4);
  }
}

// Resynchronises len bytes into data.
Decoded Resync(const uint8_t *p, size_t len, FrameData &data) {
  Handle h = nullptr;
  if (PtrToHand(p, &h, SInt32(len)) != noErr)
    return Decoded::kNoMemory;
  if (ID3Sync(h) != noErr) {
    DisposeHandle(h);
    return Decoded::kNoMemory;
  }
  data.Take(h);
  return Decoded::kKeep;
}

// Adds a parsed frame with add-always set.
OSErr AddFrame(MP3Tag *tag, OSType key, const char *longID, const char *shortID, UInt32 flags,
               const uint8_t *bytes, SInt32 length) {
  return ID3SetFrame(tag, true, key, longID, shortID, flags, length, bytes, nullptr);
}

const MP3FrameInfo *RowByLongID(const uint8_t *id) {
  for (const MP3FrameInfo &row : kMP3FrameDispatchTable)
    if (std::memcmp(row.longID, id, 4) == 0)
      return &row;
  return nullptr;
}

const MP3FrameInfo *RowByShortID(const uint8_t *id) {
  for (const MP3FrameInfo &row : kMP3FrameDispatchTable)
    if (row.shortID[0] != 0 && std::memcmp(row.shortID, id, 3) == 0)
      return &row;
  return nullptr;
}

// Whether a walk of version 2.3/2.4 frame headers from p, with syncsafe or
// plain sizes, lands only on frame IDs and ends on padding, audio or the
// exact end.
bool WalkIsClean(const uint8_t *b, size_t len, size_t p, bool syncsafe) {
  for (;;) {
    if (p == len || b[p] == 0 || b[p] == 0xFF)
      return true;
    if (len - p < 10 || !IsFrameID(b + p, 4))
      return false;
    const uint8_t *s = b + p + 4;
    if (syncsafe && ((s[0] | s[1] | s[2] | s[3]) & 0x80) != 0)
      return false;
    const UInt32 size = syncsafe ? ID3DecodeSize(LoadBE32(s)) : LoadBE32(s);
    if (size > len - p - 10)
      return false;
    p += 10 + size;
  }
}

// The end rules shared by both walks: true when the walk stops at p.
bool WalkEnds(const uint8_t *b, size_t len, size_t p, MP3Tag *tag, bool offsetsAreFileOffsets) {
  if (p >= len || b[p] == 0)
    return true;
  if (b[p] == 0xFF) {
    // Audio right where a frame should start: the tag ends here. Positions
    // in a resynchronised body are not file positions, so then the size
    // from the header stands.
    if (offsetsAreFileOffsets && p + 10 <= size_t(INT32_MAX))
      tag->v2TagSize = tag->audioOffset = SInt32(p + 10);
    return true;
  }
  return false;
}

// One version 2.3 frame body into data (flags in the 2.3 layout).
Decoded Decode23(const uint8_t *body, size_t size, UInt32 flags, FrameData &data) {
  if (flags & kID3FrameCompressed) {
    if (size < 4)
      return Decoded::kDrop;
    return Expand(body + 4, size - 4, LoadBE32(body), true, data);
  }
  data.bytes = body;
  data.length = SInt32(size);
  return Decoded::kKeep;
}

// One version 2.4 frame body into data (flags in the 2.4 layout).
Decoded Decode24(const uint8_t *body, size_t size, UInt32 flags, bool tagUnsynchronised,
                 FrameData &data) {
  uint64_t dataLength = 0;
  const bool hasLength = (flags & 0x0001) != 0;
  if (hasLength) {
    if (size < 4)
      return Decoded::kDrop;
    dataLength = ID3DecodeSize(LoadBE32(body));
    body += 4;
    size -= 4;
  }
  data.bytes = body;
  data.length = SInt32(size);
  if ((flags & 0x0002) != 0 || tagUnsynchronised) {
    if (Decoded d = Resync(body, size, data); d != Decoded::kKeep)
      return d;
  }
  if (flags & 0x0008) {
    Handle stream = data.scratch;
    data.scratch = nullptr; // keep the resynchronised stream alive while expanding
    FrameData expanded;
    const Decoded d = Expand(data.bytes, size_t(data.length), dataLength, hasLength, expanded);
    DisposeHandle(stream);
    if (d != Decoded::kKeep)
      return d;
    data.Take(expanded.scratch);
    expanded.scratch = nullptr;
  }
  return Decoded::kKeep;
}

// Skips an extended header at the start of a 2.3/2.4 body; returns the
// offset of the first frame, or length when the header runs past the body.
size_t SkipExtendedHeader(const uint8_t *b, size_t len, const MP3Tag *tag) {
  if ((tag->v2Flags & 0x40) == 0 || len < 4)
    return 0;
  // Some writers set the flag without writing the header: a frame ID here
  // means the frames start at once.
  if (IsFrameID(b, 4))
    return 0;
  const uint64_t size = tag->v2MajorVersion == 4 ? ID3DecodeSize(LoadBE32(b)) // includes itself
                                                 : uint64_t(LoadBE32(b)) + 4;
  if (size < 6 || size > len)
    return len;
  return size_t(size);
}

} // namespace

extern "C" UInt32 ID3DecodeSize(UInt32 word) noexcept {
  return ((word >> 24 & 0x7F) << 21) | ((word >> 16 & 0x7F) << 14) | ((word >> 8 & 0x7F) << 7) |
         (word & 0x7F);
}

extern "C" UInt32 ID3EncodeSize(UInt32 n) noexcept {
  return ((n >> 21 & 0x7F) << 24) | ((n >> 14 & 0x7F) << 16) | ((n >> 7 & 0x7F) << 8) | (n & 0x7F);
}

extern "C" OSErr ID3Parse2Pt3Tag(const void *bodyPtr, SInt32 length, MP3Tag *tag) noexcept {
  if (tag == nullptr || length < 0 || (bodyPtr == nullptr && length > 0))
    return paramErr;
  const auto *b = static_cast<const uint8_t *>(bodyPtr);
  const size_t len = size_t(length);
  const bool v24 = tag->v2MajorVersion == 4;
  const bool resynchronised = !v24 && (tag->v2Flags & 0x80) != 0;
  size_t p = SkipExtendedHeader(b, len, tag);

  // Version 2.4 sizes are syncsafe; some writers wrote plain ones. Plain
  // sizes are used only when they alone walk the body cleanly.
  bool syncsafe = v24;
  if (v24 && !WalkIsClean(b, len, p, true) && WalkIsClean(b, len, p, false))
    syncsafe = false;

  while (!WalkEnds(b, len, p, tag, !resynchronised)) {
    if (len - p < 10)
      break; // a cut frame header
    const uint8_t *id = b + p;
    const UInt32 rawSize = LoadBE32(b + p + 4);
    const UInt32 size = syncsafe ? ID3DecodeSize(rawSize) : rawSize;
    const UInt32 flags = UInt32(b[p + 8]) << 8 | b[p + 9];
    if (size > len - p - 10)
      break; // claims more than remains: the frames before it stand
    const uint8_t *body = b + p + 10;
    p += 10 + size_t(size);

    const MP3FrameInfo *row = RowByLongID(id);
    const OSType key = row ? row->key : kMP3UnknownFrameKey;
    const char *shortID = row ? row->shortID : "???";
    const char *longID = reinterpret_cast<const char *>(id);

    const UInt32 rawFlags = v24 ? (0x0004 | 0x0040) : (kID3FrameEncrypted | kID3FrameGrouped);
    if ((flags & rawFlags) != 0) {
      // Encrypted or grouped: kept exactly as stored, for the same version.
      const UInt32 kept = flags | (UInt32(v24 ? 4 : 3) << kID3FrameRawVersionShift);
      if (OSErr err = AddFrame(tag, key, longID, shortID, kept, body, SInt32(size)); err != noErr)
        return err;
      continue;
    }
    FrameData data;
    const Decoded d = v24 ? Decode24(body, size, flags, (tag->v2Flags & 0x80) != 0, data)
                          : Decode23(body, size, flags, data);
    if (d == Decoded::kNoMemory)
      return memFullErr;
    if (d == Decoded::kDrop)
      continue;
    const UInt32 kept = v24 ? FlagsFrom24(flags) : flags;
    if (OSErr err = AddFrame(tag, key, longID, shortID, kept, data.bytes, data.length); err != noErr)
      return err;
  }
  return noErr;
}

extern "C" OSErr ID3Parse2Pt2Tag(const void *bodyPtr, SInt32 length, MP3Tag *tag) noexcept {
  if (tag == nullptr || length < 0 || (bodyPtr == nullptr && length > 0))
    return paramErr;
  const auto *b = static_cast<const uint8_t *>(bodyPtr);
  const size_t len = size_t(length);
  const bool resynchronised = (tag->v2Flags & 0x80) != 0;
  size_t p = 0;
  while (!WalkEnds(b, len, p, tag, !resynchronised)) {
    if (len - p < 6)
      break;
    const uint8_t *id = b + p;
    const UInt32 size = LoadBE24(b + p + 3);
    if (size > len - p - 6)
      break;
    const uint8_t *body = b + p + 6;
    p += 6 + size_t(size);

    const char *shortID = reinterpret_cast<const char *>(id);
    const MP3FrameInfo *row = RowByShortID(id);
    OSErr err = noErr;
    if (row != nullptr && row->key == ql::FourCC("APIC")) {
      ByteVector apic;
      bool converted = false;
      try {
        converted = ID3PicToApic(body, size, apic);
      } catch (const std::bad_alloc &) {
        return memFullErr;
      }
      if (converted)
        err = AddFrame(tag, row->key, row->longID, shortID, 0, apic.data(), SInt32(apic.size()));
      else // too short for a picture: kept as it stands, for version 2.2 only
        err = AddFrame(tag, kMP3UnknownFrameKey, "????", shortID, 0, body, SInt32(size));
    } else if (row != nullptr) {
      err = AddFrame(tag, row->key, row->longID, shortID, 0, body, SInt32(size));
    } else {
      err = AddFrame(tag, kMP3UnknownFrameKey, "????", shortID, 0, body, SInt32(size));
    }
    if (err != noErr)
      return err;
  }
  return noErr;
}

extern "C" OSErr ID3Sync(Handle h) noexcept {
  if (h == nullptr)
    return nilHandleErr;
  const Size n = GetHandleSize(h);
  auto *p = reinterpret_cast<uint8_t *>(*h);
  Size j = 0;
  for (Size i = 0; i < n;) {
    const uint8_t c = p[i++];
    p[j++] = c;
    if (c == 0xFF && i < n) {
      const uint8_t next = p[i++];
      if (next != 0)
        p[j++] = next;
    }
  }
  SetHandleSize(h, j);
  return MemError();
}

extern "C" UInt32 ID3CalcUnsyncSize(const void *ptr, UInt32 length) noexcept {
  if (ptr == nullptr)
    return length;
  const auto *p = static_cast<const uint8_t *>(ptr);
  UInt32 size = length;
  for (UInt32 i = 0; i < length; ++i)
    if (p[i] == 0xFF && (i + 1 == length || p[i + 1] == 0 || p[i + 1] >= 0xE0))
      ++size;
  return size;
}

extern "C" OSErr ID3Unsync(Handle h) noexcept {
  if (h == nullptr)
    return nilHandleErr;
  const Size n = GetHandleSize(h);
  if (n <= 0)
    return noErr;
  const UInt32 grown = ID3CalcUnsyncSize(*h, UInt32(n));
  if (grown == UInt32(n))
    return noErr;
  if (grown > UInt32(INT32_MAX))
    return memFullErr;
  SetHandleSize(h, Size(grown));
  if (OSErr err = MemError(); err != noErr)
    return err;
  ID3UnsyncInPlace(reinterpret_cast<uint8_t *>(*h), size_t(n), size_t(grown));
  return noErr;
}
