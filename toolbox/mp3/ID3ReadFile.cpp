// The ID3v2 tag read from an open file through the File Manager's fork
// calls. Kept apart from the in-memory parsers, which need no files.
#include "platform/files/Forks.h"
#include "toolbox/mp3/MP3Core.h"
#include "toolbox/mp3/MP3Toolbox.h"

using namespace ql::detail;

namespace {

// An open file as a byte source.
struct FileSource {
  SInt16 refNum;
  OSErr Read(void *buffer, SInt32 count) noexcept {
    SInt32 got = count;
    OSErr err = FSRead(refNum, &got, buffer);
    if (err == noErr && got != count)
      err = eofErr;
    return err;
  }
};

} // namespace

extern "C" OSErr ID3Getv2TagSize(SInt16 refNum, SInt32 *size) noexcept {
  if (OSErr err = SetFPos(refNum, fsFromStart, 0); err != noErr)
    return err;
  FileSource source{refNum};
  return ID3ReadV2TagSize(source, size);
}

extern "C" OSErr ID3Getv2Tag(SInt16 refNum, MP3Tag *tag) noexcept {
  FileSource source{refNum};
  return ID3ReadV2Tag(source, tag);
}
