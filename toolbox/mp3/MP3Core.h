// Internal pieces of the MP3 tag family: the frame table, the process-wide
// options, the frame-list primitives every tag call builds on, and the
// ID3v2 tag reader over any byte source (a file or memory).
//
// The primitives and the reader are header-only so that tests, fuzzers and
// benchmarks reach them without exported names; they call only exported
// functions and the platform's Memory Manager.
#ifndef TOOLBOX_MP3_MP3CORE_H
#define TOOLBOX_MP3_MP3CORE_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/memory/Memory.h"
#include "toolbox/mp3/MP3Toolbox.h"

namespace ql::detail {

// ---- Frame table -----------------------------------------------------------

// One row: the accessor key (the long ID read as a big-endian OSType), the
// version 2.3/2.4 ID and the version 2.2 ID ("" where 2.2 has none).
struct MP3FrameInfo {
  OSType key;
  char longID[5];
  char shortID[4];
};

constexpr MP3FrameInfo Row(const char (&longID)[5], const char (&shortID)[4]) {
  return {FourCC(longID), {longID[0], longID[1], longID[2], longID[3], 0},
          {shortID[0], shortID[1], shortID[2], 0}};
}
constexpr MP3FrameInfo Row(const char (&longID)[5], const char (&)[1]) {
  return {FourCC(longID), {longID[0], longID[1], longID[2], longID[3], 0}, {0, 0, 0, 0}};
}

inline constexpr int kMP3FrameDispatchTableCount = 77;

// Lookups scan from the first row and take the first match.
inline constexpr MP3FrameInfo kMP3FrameDispatchTable[kMP3FrameDispatchTableCount] = {
    Row("AENC", "CRA"), Row("APIC", "PIC"), Row("COMM", "COM"), Row("COMR", ""), Row("ENCR", ""),
    Row("EQUA", "EQU"), Row("ETCO", "ETC"), Row("GEOB", "GEO"), Row("GRID", ""),
    Row("IPLS", "IPL"), Row("LINK", "LNK"), Row("MCDI", "MCI"), Row("MLLT", "MLL"),
    Row("OWNE", ""), Row("PRIV", ""), Row("PCNT", "CNT"), Row("POPM", "POP"), Row("POSS", ""),
    Row("RBUF", "BUF"), Row("RVAD", "RVA"), Row("RVRB", "REV"), Row("SYLT", "SLT"),
    Row("SYTC", "STC"), Row("TALB", "TAL"), Row("TBPM", "TBP"), Row("TCOM", "TCM"),
    Row("TCON", "TCO"), Row("TCOP", "TCR"), Row("TDAT", "TDA"), Row("TDLY", "TDY"),
    Row("TENC", "TEN"), Row("TEXT", "TXT"), Row("TFLT", "TFT"), Row("TIME", "TIM"),
    Row("TIPL", ""), Row("TIT1", "TT1"), Row("TIT2", "TT2"), Row("TIT3", "TT3"),
    Row("TKEY", "TKE"), Row("TLAN", "TLA"), Row("TLEN", "TLE"), Row("TMED", "TMT"),
    Row("TOAL", "TOT"), Row("TOFN", "TOF"), Row("TOLY", "TOL"), Row("TOPE", "TOA"),
    Row("TORY", "TOR"), Row("TOWN", ""), Row("TPE1", "TP1"), Row("TPE2", "TP2"),
    Row("TPE3", "TP3"), Row("TPE4", "TP4"), Row("TPOS", "TPA"), Row("TPUB", "TPB"),
    Row("TRCK", "TRK"), Row("TRDA", "TRD"), Row("TRSN", ""), Row("TRSO", ""), Row("TSRC", "TRC"),
    Row("TSOA", ""), Row("TSOP", ""), Row("TSOT", ""), Row("TSSE", "TSS"), Row("TYER", "TYE"),
    Row("TXXX", "TXX"), Row("UFID", "UFI"), Row("USER", ""), Row("USLT", "ULT"),
    Row("WCOM", "WCM"), Row("WCOP", "WCP"), Row("WOAF", "WAF"), Row("WOAR", "WAR"),
    Row("WOAS", "WAS"), Row("WORS", ""), Row("WPAY", ""), Row("WPUB", "WPB"), Row("WXXX", "WXX"),
};

// Key of frames whose ID is in no row.
inline constexpr OSType kMP3UnknownFrameKey = FourCC("unkn");

// ---- Options ---------------------------------------------------------------

// Process-wide option bits (MP3GetOptions / MP3SetOptions); initially
// kMP3OptionPadTags | kMP3OptionSmartUnicode | kMP3OptionKeepUnicode. Lives
// in the library; code outside it uses MP3GetOptions.
extern UInt32 gMP3Options;

// ---- Frame-list primitives ------------------------------------------------

// The first frame in list order with the key, or null.
inline MP3TagFrame *ID3FindFrame(const MP3Tag *tag, OSType key) noexcept {
  if (tag == nullptr)
    return nullptr;
  for (MP3TagFrame *f = tag->firstFrame; f != nullptr; f = f->nextFrame)
    if (f->frameKey == key)
      return f;
  return nullptr;
}

// The IDs of the first table row with the key: exactly 4 and 3 bytes (an
// empty short ID gives three zero bytes). False when no row has the key.
inline bool ID3FindFrameInfo(OSType key, char *longID, char *shortID) noexcept {
  for (const MP3FrameInfo &row : kMP3FrameDispatchTable) {
    if (row.key != key)
      continue;
    if (longID != nullptr)
      std::memcpy(longID, row.longID, 4);
    if (shortID != nullptr)
      std::memcpy(shortID, row.shortID, 3);
    return true;
  }
  return false;
}

// Unlinks the frame, frees its body and the frame.
inline OSErr ID3RemoveFrame(MP3Tag *tag, MP3TagFrame *frame) noexcept {
  if (tag == nullptr || frame == nullptr)
    return paramErr;
  (frame->prevFrame ? frame->prevFrame->nextFrame : tag->firstFrame) = frame->nextFrame;
  (frame->nextFrame ? frame->nextFrame->prevFrame : tag->lastFrame) = frame->prevFrame;
  DisposePtr(frame->data);
  DisposePtr(reinterpret_cast<Ptr>(frame));
  --tag->frameCount;
  return noErr;
}

// Adds a frame (when none has the key, or addAlways is set) or replaces the
// body of the first frame with the key (its IDs and flags kept). A null
// longID or shortID takes both IDs from the table row of the key, "????" and
// "???" without one. data may be null (a zero-filled body). noErr, paramErr,
// memFullErr (nothing changed).
inline OSErr ID3SetFrame(MP3Tag *tag, bool addAlways, OSType key, const char *longID,
                         const char *shortID, UInt32 frameFlags, SInt32 length, const void *data,
                         MP3TagFrame **outFrame) noexcept {
  if (tag == nullptr || length < 0)
    return paramErr;
  MP3TagFrame *frame = addAlways ? nullptr : ID3FindFrame(tag, key);
  if (frame == nullptr) {
    char ids[7] = {'?', '?', '?', '?', '?', '?', '?'};
    if (longID == nullptr || shortID == nullptr) {
      ID3FindFrameInfo(key, ids, ids + 4);
    } else {
      std::memcpy(ids, longID, 4);
      std::memcpy(ids + 4, shortID, 3);
    }
    frame = reinterpret_cast<MP3TagFrame *>(NewPtrClear(Size(sizeof(MP3TagFrame))));
    Ptr body = frame != nullptr ? NewPtrClear(length) : nullptr;
    if (body == nullptr) {
      DisposePtr(reinterpret_cast<Ptr>(frame));
      return memFullErr;
    }
    frame->frameKey = key;
    std::memcpy(frame->longID, ids, 4);
    std::memcpy(frame->shortID, ids + 4, 3);
    frame->frameFlags = frameFlags;
    frame->dataLength = length;
    frame->data = body;
    if (data != nullptr && length > 0)
      std::memcpy(body, data, size_t(length));
    frame->prevFrame = tag->lastFrame;
    (tag->lastFrame ? tag->lastFrame->nextFrame : tag->firstFrame) = frame;
    tag->lastFrame = frame;
    ++tag->frameCount;
  } else {
    if (length != frame->dataLength) {
      Ptr body = NewPtrClear(length);
      if (body == nullptr)
        return memFullErr;
      DisposePtr(frame->data);
      frame->data = body;
      frame->dataLength = length;
    }
    if (length > 0) {
      if (data != nullptr)
        std::memmove(frame->data, data, size_t(length));
      else
        std::memset(frame->data, 0, size_t(length));
    }
  }
  if (outFrame != nullptr)
    *outFrame = frame;
  return noErr;
}

// ---- Byte helpers ------------------------------------------------------------

inline UInt32 LoadBE32(const uint8_t *p) noexcept {
  return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | UInt32(p[3]);
}
inline UInt32 LoadBE24(const uint8_t *p) noexcept {
  return (UInt32(p[0]) << 16) | (UInt32(p[1]) << 8) | UInt32(p[2]);
}
inline void StoreBE32(uint8_t *p, UInt32 v) noexcept {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

// Unsynchronisation in place: the block holds oldLength bytes and has room
// for newLength = ID3CalcUnsyncSize(block, oldLength); a 0x00 is inserted
// after every 0xFF followed by 0xE0-0xFF, 0x00 or nothing. Works from the end
// so that no byte is overwritten before it is moved.
inline void ID3UnsyncInPlace(uint8_t *p, size_t oldLength, size_t newLength) noexcept {
  size_t j = newLength;
  int next = -1; // the original byte after position i, -1 past the end
  for (size_t i = oldLength; i-- > 0;) {
    const uint8_t c = p[i];
    if (c == 0xFF && (next < 0 || next == 0 || next >= 0xE0))
      p[--j] = 0;
    p[--j] = c;
    next = c;
  }
}

// ---- Reading a whole tag -------------------------------------------------------

// Bytes of a tag from its 10-byte header: 10 + body (+ 10 for a 2.4 footer).
inline SInt32 ID3TagSizeFromHeader(const uint8_t *header) noexcept {
  SInt32 size = 10 + SInt32(ID3DecodeSize(LoadBE32(header + 6)));
  if (header[3] == 4 && (header[5] & 0x10) != 0)
    size += 10;
  return size;
}

// Checks a header: noErr, kMP3NoTagErr or errAENewerVersion.
inline OSErr ID3CheckHeader(const uint8_t *header) noexcept {
  if (header[0] != 'I' || header[1] != 'D' || header[2] != '3')
    return kMP3NoTagErr;
  if (header[3] > 4)
    return errAENewerVersion;
  return noErr;
}

// A byte source: Read(buffer, count) fills exactly count bytes, or returns
// an error (eofErr when the source ends first).
struct ID3MemorySource {
  const uint8_t *bytes;
  size_t length;
  size_t position = 0;
  OSErr Read(void *buffer, SInt32 count) noexcept {
    if (count < 0 || size_t(count) > length - position)
      return eofErr;
    if (count > 0)
      std::memcpy(buffer, bytes + position, size_t(count));
    position += size_t(count);
    return noErr;
  }
};

// Reads a tag from the source's current position into tag: header fields,
// v2TagSize and audioOffset, then the frames. The body is read in growing
// chunks, so a size field that claims more than the source holds costs no
// more memory than the source has. Versions 2.2/2.3 with the
// unsynchronisation flag are resynchronised as a whole; 2.4 frames are
// resynchronised one by one by the parser.
template <class Source> OSErr ID3ReadV2Tag(Source &source, MP3Tag *tag) noexcept {
  if (tag == nullptr)
    return paramErr;
  uint8_t header[10];
  if (OSErr err = source.Read(header, 10); err != noErr)
    return err;
  if (OSErr err = ID3CheckHeader(header); err != noErr)
    return err;
  tag->v2MajorVersion = header[3];
  tag->v2Revision = header[4];
  tag->v2Flags = header[5];
  tag->v1Version = 0;
  tag->v2TagSize = tag->audioOffset = ID3TagSizeFromHeader(header);
  const Size bodySize = Size(ID3DecodeSize(LoadBE32(header + 6)));

  OSErr err = noErr;
  Handle body = TempNewHandle(0, &err);
  if (body == nullptr)
    return memFullErr;
  Size have = 0;
  Size chunk = 64 * 1024;
  while (have < bodySize) {
    const Size want = std::min(bodySize - have, chunk);
    SetHandleSize(body, have + want);
    if ((err = MemError()) == noErr)
      err = source.Read(*body + have, want);
    if (err != noErr) {
      DisposeHandle(body);
      return err;
    }
    have += want;
    chunk = std::min<Size>(chunk * 2, 16 * 1024 * 1024);
  }
  if ((tag->v2Flags & 0x80) != 0 && tag->v2MajorVersion < 4) {
    if ((err = ID3Sync(body)) != noErr) {
      DisposeHandle(body);
      return err;
    }
  }
  HLock(body);
  const SInt32 length = GetHandleSize(body);
  err = tag->v2MajorVersion >= 3 ? ID3Parse2Pt3Tag(*body, length, tag)
                                 : ID3Parse2Pt2Tag(*body, length, tag);
  DisposeHandle(body);
  return err;
}

// Reads a header from the source and gives the tag's size.
template <class Source> OSErr ID3ReadV2TagSize(Source &source, SInt32 *size) noexcept {
  uint8_t header[10];
  if (OSErr err = source.Read(header, 10); err != noErr)
    return err;
  if (OSErr err = ID3CheckHeader(header); err != noErr)
    return err;
  if (size != nullptr)
    *size = ID3TagSizeFromHeader(header);
  return noErr;
}

// Parses a whole tag held in memory (header first) into tag.
inline OSErr ID3ParseTagBytes(const void *bytes, size_t length, MP3Tag *tag) noexcept {
  ID3MemorySource source{static_cast<const uint8_t *>(bytes), length};
  return ID3ReadV2Tag(source, tag);
}

} // namespace ql::detail

#endif
