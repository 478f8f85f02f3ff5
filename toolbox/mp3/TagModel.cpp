// The tag record's public calls and the process-wide options.

#include "toolbox/mp3/MP3Core.h"
#include "toolbox/mp3/MP3Toolbox.h"

namespace ql::detail {

UInt32 gMP3Options = kMP3OptionPadTags | kMP3OptionSmartUnicode | kMP3OptionKeepUnicode;

} // namespace ql::detail

namespace {

constexpr OSErr kBadSelectorErr = -1754; // errOSABadSelector

} // namespace

using namespace ql::detail;

extern "C" OSErr MP3NewTag(UInt32 options, MP3Tag **outTag) noexcept {
  if (outTag == nullptr)
    return paramErr;
  auto *tag = reinterpret_cast<MP3Tag *>(NewPtrClear(Size(sizeof(MP3Tag))));
  if (tag == nullptr)
    return memFullErr;
  tag->options = options;
  *outTag = tag;
  return noErr;
}

extern "C" OSErr MP3FreeTag(MP3Tag *tag) noexcept {
  if (tag == nullptr)
    return noErr;
  MP3TagFrame *frame = tag->firstFrame;
  while (frame != nullptr) {
    MP3TagFrame *next = frame->nextFrame;
    DisposePtr(frame->data);
    DisposePtr(reinterpret_cast<Ptr>(frame));
    frame = next;
  }
  DisposePtr(reinterpret_cast<Ptr>(tag));
  return noErr;
}

extern "C" OSErr MP3RemoveTagFrame(MP3Tag *tag, OSType key) noexcept {
  if (tag == nullptr)
    return paramErr;
  MP3TagFrame *frame = ID3FindFrame(tag, key);
  if (frame == nullptr)
    return errAEDescNotFound;
  return ID3RemoveFrame(tag, frame);
}

extern "C" OSErr MP3GetTagVersion(const MP3Tag *tag, SInt16 selector, UInt8 *major,
                                  UInt8 *minor) noexcept {
  if (tag == nullptr)
    return paramErr;
  UInt8 hi, lo;
  if (selector == 1) {
    if (tag->v2MajorVersion == 0)
      return errAENewerVersion;
    hi = tag->v2MajorVersion;
    lo = tag->v2Revision;
  } else if (selector == 0) {
    if (tag->v1Version == 0)
      return errAENewerVersion;
    hi = tag->v1Version >> 4;
    lo = tag->v1Version & 0x0F;
  } else {
    return kBadSelectorErr;
  }
  if (major != nullptr)
    *major = hi;
  if (minor != nullptr)
    *minor = lo;
  return noErr;
}

extern "C" OSErr MP3GetTagSize(const MP3Tag *tag, SInt16 selector, SInt32 *size) noexcept {
  if (tag == nullptr)
    return paramErr;
  SInt32 value;
  if (selector == 1 && tag->v2MajorVersion != 0)
    value = tag->v2TagSize;
  else if (selector == 0 && tag->v1Version != 0)
    value = 128;
  else
    return kBadSelectorErr;
  if (size != nullptr)
    *size = value;
  return noErr;
}

extern "C" OSErr MP3GetTagFrameCount(const MP3Tag *tag, SInt32 *count) noexcept {
  if (tag == nullptr)
    return paramErr;
  if (count != nullptr)
    *count = tag->frameCount;
  return noErr;
}

extern "C" OSErr MP3GetOptions(UInt32 *options) noexcept {
  if (options != nullptr)
    *options = gMP3Options;
  return noErr;
}

extern "C" OSErr MP3SetOptions(UInt32 options) noexcept {
  gMP3Options = options;
  return noErr;
}
