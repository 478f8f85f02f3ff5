// File data: whole-fork and range transfers, copies, shifts, yielding
// reads and writes, delimiter and text reads, the contents search, file
// buffers and the standard I/O bridges.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/events/Events.h"
#include "platform/memory/Memory.h"
#include "platform/resources/Resources.h"
#include "toolbox/files/FileToolbox.h"

extern "C" {
QL_EXPORT FSGiveTimeProcPtr gFSGiveTimeProc = nullptr;
QL_EXPORT void *gFSGiveTimeContextPtr = nullptr;
}

namespace {

constexpr OSType kNewFileCreator = ql::FourCC("MPS ");
constexpr OSType kNewFileType = ql::FourCC("TEXT");
// Pieces of data moved by shifts and copies: large enough that the system
// calls cost little next to the copying, small enough to stay out of the
// way of the caller's memory.
constexpr UInt32 kMovePiece = 1u << 20;
constexpr UInt32 kSmallestPiece = 4096;
constexpr UInt64 k4GiB = 0x100000000ull;
constexpr UInt16 kUncached = fsFromStart | noCacheMask;

// Closes a fork this file opened, on every path out.
class OpenFork {
public:
  OpenFork() = default;
  OpenFork(const OpenFork &) = delete;
  OpenFork &operator=(const OpenFork &) = delete;
  ~OpenFork() {
    if (ref_)
      FSClose(ref_);
  }
  SInt16 *out() { return &ref_; }
  SInt16 get() const { return ref_; }

private:
  SInt16 ref_ = 0;
};

// A locked work buffer in temporary memory (the application heap when that
// is out), as large as wanted up to kMovePiece, halving on failure.
class WorkBuffer {
public:
  ~WorkBuffer() {
    if (h_)
      DisposeHandle(h_);
  }
  OSErr Get(UInt64 wanted) {
    UInt32 size = UInt32(std::clamp<UInt64>(wanted, 1, kMovePiece));
    for (;;) {
      OSErr e;
      h_ = TempNewHandle(Size(size), &e);
      if (h_ == nullptr)
        h_ = NewHandle(Size(size));
      if (h_) {
        HLock(h_);
        size_ = size;
        return noErr;
      }
      if (size <= kSmallestPiece)
        return memFullErr;
      size /= 2;
    }
  }
  char *data() const { return *h_; }
  UInt32 size() const { return size_; }

private:
  Handle h_ = nullptr;
  UInt32 size_ = 0;
};

UInt8 Fold(UInt8 c) { return (c >= 'A' && c <= 'Z') ? UInt8(c + ('a' - 'A')) : c; }

OSErr ForkSize(SInt16 ref, UInt64 &size) {
  SInt64 s;
  if (OSErr e = FSGetForkSize(ref, &s))
    return e;
  size = UInt64(s);
  return noErr;
}

// Reads exactly n bytes at pos; a fork that ends first is eofErr.
OSErr ReadAt(SInt16 ref, UInt64 pos, void *buf, UInt32 n) {
  ByteCount got = 0;
  OSErr e = FSReadFork(ref, kUncached, SInt64(pos), n, buf, &got);
  if (e == noErr && got != n)
    e = eofErr;
  return e;
}

OSErr WriteAt(SInt16 ref, UInt64 pos, const void *buf, UInt32 n) {
  return FSWriteFork(ref, kUncached, SInt64(pos), n, buf, nullptr);
}

// Copies count bytes from src at srcPos to dst at dstPos in pieces, front
// to back.
OSErr CopyRange(SInt16 src, UInt64 srcPos, SInt16 dst, UInt64 dstPos, UInt64 count) {
  if (count == 0)
    return noErr;
  WorkBuffer buf;
  if (OSErr e = buf.Get(count))
    return e;
  for (UInt64 done = 0; done < count;) {
    const UInt32 n = UInt32(std::min<UInt64>(buf.size(), count - done));
    if (OSErr e = ReadAt(src, srcPos + done, buf.data(), n))
      return e;
    if (OSErr e = WriteAt(dst, dstPos + done, buf.data(), n))
      return e;
    done += n;
  }
  return noErr;
}

// Bytes [start, min(limit, end)) of an open fork into a new temporary
// handle. A limit at or below start gives an empty handle.
OSErr ReadRange(SInt16 ref, UInt64 start, UInt64 limit, Handle *out) {
  UInt64 length;
  if (OSErr e = ForkSize(ref, length))
    return e;
  if (limit != 0 && limit < length)
    length = limit;
  if (start != 0) {
    if (OSErr e = FSSetForkPosition(ref, fsFromStart, SInt64(start)))
      return e;
    length = length > start ? length - start : 0;
  }
  if (length >= k4GiB)
    return paramErr;
  if (length > UInt64(INT32_MAX))
    return memFullErr;
  OSErr e;
  Handle h = TempNewHandle(Size(length), &e);
  if (h == nullptr)
    return memFullErr;
  HLock(h);
  e = length ? ReadAt(ref, start, *h, UInt32(length)) : OSErr(noErr);
  HUnlock(h);
  if (e) {
    DisposeHandle(h);
    return e;
  }
  *out = h;
  return noErr;
}

OSErr ReadSpecFork(const FSSpec *spec, bool rsrc, UInt32 start, UInt32 limit, Handle *out) {
  if (spec == nullptr || out == nullptr)
    return paramErr;
  OpenFork f;
  if (OSErr e = rsrc ? FSpOpenRF(spec, fsRdPerm, f.out()) : FSpOpenDF(spec, fsRdPerm, f.out()))
    return e;
  return ReadRange(f.get(), start, limit, out);
}

OSErr WriteSpecFork(const FSSpec *spec, bool rsrc, UInt32 offset, const void *data, SInt32 count) {
  if (spec == nullptr || data == nullptr || count <= 0)
    return paramErr;
  OpenFork f;
  auto open = [&] { return rsrc ? FSpOpenRF(spec, fsRdWrPerm, f.out()) : FSpOpenDF(spec, fsRdWrPerm, f.out()); };
  OSErr e = open();
  if (e == fnfErr) {
    if (rsrc) {
      FSpCreateResFile(spec, kNewFileCreator, kNewFileType, smCurrentScript);
      e = ResError();
    } else {
      e = FSpCreate(spec, kNewFileCreator, kNewFileType, smCurrentScript);
    }
    if (e == noErr)
      e = open();
  }
  if (e)
    return e;
  UInt64 size;
  if (OSErr se = ForkSize(f.get(), size))
    return se;
  return WriteAt(f.get(), std::min<UInt64>(offset, size), data, UInt32(count));
}

// Copies a whole fork over another's: the destination ends with the copy.
OSErr CopyFork(const FSSpec *source, const FSSpec *destination, bool rsrc) {
  if (source == nullptr || destination == nullptr)
    return paramErr;
  OSErr e = FSpExists(destination);
  if (e == fnfErr) {
    OSType type, creator;
    if (OSErr te = FSpGetTypeAndCreator(source, &type, &creator))
      return te;
    e = FSpCreate(destination, creator, type, smCurrentScript);
  }
  if (e)
    return e;
  OpenFork src, dst;
  if (OSErr oe = rsrc ? FSpOpenRF(source, fsRdPerm, src.out()) : FSpOpenDF(source, fsRdPerm, src.out()))
    return oe;
  if (OSErr oe = rsrc ? FSpOpenRF(destination, fsRdWrPerm, dst.out()) : FSpOpenDF(destination, fsRdWrPerm, dst.out()))
    return oe;
  UInt64 size;
  if (OSErr se = ForkSize(src.get(), size))
    return se;
  if (OSErr ce = CopyRange(src.get(), 0, dst.get(), 0, size))
    return ce;
  return FSSetForkSize(dst.get(), fsFromStart, SInt64(size));
}

bool Pending(const ParamBlockRec &pb) { return __atomic_load_n(&pb.ioParam.ioResult, __ATOMIC_ACQUIRE) > 0; }

OSErr YieldingTransfer(bool write, SInt16 refNum, SInt16 positionMode, SInt32 positionOffset, SInt32 count,
                       SInt32 *actualCount, UInt32 options, void *buffer, FSYieldIdleProcPtr idleProc,
                       void *idleData) {
  ParamBlockRec pb{};
  pb.ioParam.ioRefNum = refNum;
  pb.ioParam.ioBuffer = static_cast<Ptr>(buffer);
  pb.ioParam.ioReqCount = count;
  pb.ioParam.ioPosMode =
      SInt16(positionMode | ((options & kFSYieldOptionAllowCache) ? pleaseCacheMask : noCacheMask));
  pb.ioParam.ioPosOffset = positionOffset;
  OSErr started = write ? PBWriteAsync(&pb) : PBReadAsync(&pb);
  if (started < 0 && !Pending(pb))
    pb.ioParam.ioResult = started;
  bool first = true;
  UInt32 next = 0;
  while (Pending(pb)) {
    const UInt32 now = TickCount();
    if (first || SInt32(now - next) >= 0) {
      first = false;
      if (idleProc)
        idleProc(idleData);
      if (options & kFSYieldOptionThreads)
        YieldToAnyThread();
      if (options & kFSYieldOptionProcesses) {
        EventRecord ev;
        WaitNextEvent(0, &ev, 0, nullptr);
      }
      next = now + 10; // a sixth of a second at 60 ticks per second
    }
  }
  if (actualCount)
    *actualCount = pb.ioParam.ioActCount;
  return pb.ioParam.ioResult;
}

// Compares a candidate's bytes with the text, folding case when asked.
bool SameBytes(const UInt8 *a, const UInt8 *b, size_t n, bool caseSensitive) {
  if (caseSensitive)
    return std::memcmp(a, b, n) == 0;
  for (size_t i = 0; i < n; ++i)
    if (Fold(a[i]) != Fold(b[i]))
      return false;
  return true;
}

// Finds the text in bytes [0, length) of an open fork, reading it through
// buf in pieces of bufSize. A candidate that runs past the end of a piece
// is checked against the following bytes of the file directly, so no
// occurrence is missed at any piece size and nothing more is allocated.
OSErr SearchFork(SInt16 ref, UInt64 length, UInt8 *buf, UInt32 bufSize, const UInt8 *text, UInt32 textLength,
                 bool caseSensitive, UInt64 &found) {
  if (length < textLength)
    return fnfErr;
  const UInt8 first = caseSensitive ? text[0] : Fold(text[0]);
  for (UInt64 start = 0; start + textLength <= length;) {
    const UInt32 n = UInt32(std::min<UInt64>(bufSize, length - start));
    if (OSErr e = ReadAt(ref, start, buf, n))
      return e;
    for (UInt32 i = 0; i < n; ++i) {
      if ((caseSensitive ? buf[i] : Fold(buf[i])) != first)
        continue;
      if (start + i + textLength > length)
        return fnfErr; // no room left for the text from here on
      const UInt32 inPiece = std::min<UInt32>(textLength, n - i);
      if (!SameBytes(buf + i, text, inPiece, caseSensitive))
        continue;
      // The rest of the candidate lies after this piece.
      bool match = true;
      UInt8 tail[256];
      for (UInt32 k = inPiece; match && k < textLength;) {
        const UInt32 m = std::min<UInt32>(sizeof tail, textLength - k);
        if (OSErr e = ReadAt(ref, start + i + k, tail, m))
          return e;
        match = SameBytes(tail, text + k, m, caseSensitive);
        k += m;
      }
      if (match) {
        found = start + i;
        return noErr;
      }
    }
    start += n;
  }
  return fnfErr;
}

} // namespace

extern "C" {

OSErr FSpReadDataFork(const FSSpec *spec, UInt32 start, UInt32 limit, Handle *data) noexcept {
  return ReadSpecFork(spec, false, start, limit, data);
}

OSErr FSpReadResourceFork(const FSSpec *spec, UInt32 start, UInt32 limit, Handle *data) noexcept {
  return ReadSpecFork(spec, true, start, limit, data);
}

OSErr FSReadDataFork(const FSRef *ref, SInt64 start, SInt64 limit, Handle *data) noexcept {
  if (ref == nullptr || data == nullptr || start < 0 || limit < 0)
    return paramErr;
  OpenFork f;
  if (OSErr e = FSOpenFork(ref, 0, nullptr, fsRdPerm, f.out()))
    return e;
  return ReadRange(f.get(), UInt64(start), UInt64(limit), data);
}

OSErr FSpWriteDataFork(const FSSpec *spec, UInt32 offset, const void *data, SInt32 count) noexcept {
  return WriteSpecFork(spec, false, offset, data, count);
}

OSErr FSpWriteResourceFork(const FSSpec *spec, UInt32 offset, const void *data, SInt32 count) noexcept {
  return WriteSpecFork(spec, true, offset, data, count);
}

OSErr FSWriteDataFork(const FSRef *ref, SInt64 offset, const void *data, SInt64 count) noexcept {
  if (ref == nullptr || offset < 0 || count < 0 || UInt64(count) >= k4GiB || (data == nullptr && count > 0))
    return paramErr;
  OpenFork f;
  if (OSErr e = FSOpenFork(ref, 0, nullptr, fsRdWrPerm, f.out()))
    return e;
  UInt64 size;
  if (OSErr e = ForkSize(f.get(), size))
    return e;
  const UInt64 at = std::min<UInt64>(UInt64(offset), size);
  if (OSErr e = FSSetForkSize(f.get(), fsFromStart, SInt64(at + UInt64(count))))
    return e;
  return count ? WriteAt(f.get(), at, data, UInt32(count)) : OSErr(noErr);
}

OSErr FSpGetFileForkSize(const FSSpec *spec, SInt32 *dataSize, SInt32 *resourceSize) noexcept {
  if (spec == nullptr)
    return paramErr;
  Str255 name;
  std::memcpy(name, spec->name, size_t(std::min<UInt8>(spec->name[0], 63)) + 1);
  HParamBlockRec pb{};
  pb.fileParam.ioNamePtr = name;
  pb.fileParam.ioVRefNum = spec->vRefNum;
  pb.fileParam.ioDirID = spec->parID;
  if (OSErr e = PBHGetFInfoSync(&pb))
    return e;
  if (dataSize)
    *dataSize = pb.fileParam.ioFlLgLen;
  if (resourceSize)
    *resourceSize = pb.fileParam.ioFlRLgLen;
  return noErr;
}

OSErr FSpCopyFileDataFork(const FSSpec *source, const FSSpec *destination) noexcept {
  return CopyFork(source, destination, false);
}

OSErr FSpCopyFileResourceFork(const FSSpec *source, const FSSpec *destination) noexcept {
  return CopyFork(source, destination, true);
}

OSErr FSpCopyFileResourceAndDataFork(const FSSpec *source, const FSSpec *destination) noexcept {
  if (source == nullptr || destination == nullptr)
    return paramErr;
  OSType type, creator;
  if (OSErr e = FSpGetTypeAndCreator(source, &type, &creator))
    return e;
  if (OSErr e = FSpCreate(destination, creator, type, smCurrentScript))
    return e;
  if (OSErr e = CopyFork(source, destination, true))
    return e;
  return CopyFork(source, destination, false);
}

OSErr FSpAppendFileDataFork(const FSSpec *destination, const FSSpec *source) noexcept {
  if (source == nullptr || destination == nullptr)
    return paramErr;
  OpenFork src, dst;
  if (OSErr e = FSpOpenDF(source, fsRdPerm, src.out()))
    return e;
  if (OSErr e = FSpOpenDF(destination, fsRdWrPerm, dst.out()))
    return e;
  UInt64 srcSize, dstSize;
  if (OSErr e = ForkSize(src.get(), srcSize))
    return e;
  if (OSErr e = ForkSize(dst.get(), dstSize))
    return e;
  if (OSErr e = CopyRange(src.get(), 0, dst.get(), dstSize, srcSize))
    return e;
  return FSSetForkPosition(dst.get(), fsFromLEOF, 0);
}

OSErr FSpPadFileDataFork(const FSSpec *spec, UInt32 alignment) noexcept {
  if (spec == nullptr)
    return paramErr;
  OpenFork f;
  if (OSErr e = FSpOpenDF(spec, fsRdWrPerm, f.out()))
    return e;
  if (alignment == 0)
    return noErr;
  UInt64 eof;
  if (OSErr e = ForkSize(f.get(), eof))
    return e;
  UInt64 padding = (eof + alignment - 1) / alignment * alignment - eof;
  if (padding == 0)
    return noErr;
  static const UInt8 kZeros[512] = {};
  for (UInt64 at = eof; padding > 0;) {
    const UInt32 n = UInt32(std::min<UInt64>(padding, sizeof kZeros));
    if (OSErr e = WriteAt(f.get(), at, kZeros, n))
      return e;
    at += n;
    padding -= n;
  }
  return FlushVol(nullptr, spec->vRefNum);
}

OSErr FSCopyForkData(SInt16 sourceRefNum, SInt16 destinationRefNum, UInt32 count, void *buffer,
                     UInt32 bufferSize) noexcept {
  if (count == 0)
    return noErr;
  if (buffer == nullptr || bufferSize == 0)
    return paramErr;
  for (UInt32 left = count; left > 0;) {
    const UInt32 n = std::min(bufferSize, left);
    ByteCount got = 0;
    OSErr e = FSReadFork(sourceRefNum, fsAtMark | noCacheMask, 0, n, buffer, &got);
    if (e && e != eofErr)
      return e;
    if (OSErr we = FSWriteFork(destinationRefNum, fsAtMark | noCacheMask, 0, got, buffer, nullptr))
      return we;
    if (got < n)
      return eofErr;
    left -= n;
  }
  return noErr;
}

OSErr FSShiftData(UInt32 options, SInt16 refNum, SInt32 offset, SInt32 shift) noexcept {
  UInt64 eof;
  if (OSErr e = ForkSize(refNum, eof))
    return e;
  if (offset < 0)
    return paramErr;
  const UInt64 from = UInt64(offset);
  if (eof <= from)
    return noErr;
  if (shift < 0 && SInt64(offset) + shift < 0)
    return paramErr;
  const UInt64 tail = eof - from;
  const UInt64 to = UInt64(SInt64(from) + shift);
  const UInt64 newEnd = to + tail;
  if (shift != 0) {
    WorkBuffer buf;
    if (OSErr e = buf.Get(tail))
      return e;
    if (shift > 0) {
      // Grow first, then move pieces from the end backwards, so no byte
      // is overwritten before it has been moved.
      if (OSErr e = FSSetForkSize(refNum, fsFromStart, SInt64(newEnd)))
        return e;
      for (UInt64 end = eof; end > from;) {
        const UInt32 n = UInt32(std::min<UInt64>(buf.size(), end - from));
        const UInt64 at = end - n;
        if (OSErr e = ReadAt(refNum, at, buf.data(), n))
          return e;
        if (OSErr e = WriteAt(refNum, at + UInt64(shift), buf.data(), n))
          return e;
        end = at;
      }
    } else {
      for (UInt64 at = from; at < eof;) {
        const UInt32 n = UInt32(std::min<UInt64>(buf.size(), eof - at));
        if (OSErr e = ReadAt(refNum, at, buf.data(), n))
          return e;
        if (OSErr e = WriteAt(refNum, at - from + to, buf.data(), n))
          return e;
        at += n;
      }
      if (OSErr e = FSSetForkSize(refNum, fsFromStart, SInt64(newEnd)))
        return e;
    }
  }
  return FSSetForkPosition(refNum, fsFromStart, SInt64(newEnd));
}

OSErr FSWriteWithOptions(UInt32 options, SInt16 refNum, SInt32 count, const void *data, SInt32 *actualCount) noexcept {
  ParamBlockRec pb{};
  pb.ioParam.ioRefNum = refNum;
  pb.ioParam.ioBuffer = static_cast<Ptr>(const_cast<void *>(data));
  pb.ioParam.ioReqCount = count;
  pb.ioParam.ioPosMode =
      SInt16(fsAtMark | ((options & kFSWriteOptionAllowCache) ? pleaseCacheMask : noCacheMask));
  pb.ioParam.ioPosOffset = 0;
  const FSGiveTimeProcPtr hook = gFSGiveTimeProc;
  if (hook == nullptr || (options & kFSWriteOptionSynchronous)) {
    PBWriteSync(&pb);
  } else {
    void *context = gFSGiveTimeContextPtr;
    OSErr started = PBWriteAsync(&pb);
    if (started < 0 && !Pending(pb))
      pb.ioParam.ioResult = started;
    while (Pending(pb))
      hook(&pb, context);
  }
  if (actualCount)
    *actualCount = pb.ioParam.ioActCount;
  return pb.ioParam.ioResult;
}

OSErr FSReadDontCache(SInt16 refNum, SInt32 *count, void *buffer) noexcept {
  if (count == nullptr)
    return paramErr;
  ParamBlockRec pb{};
  pb.ioParam.ioRefNum = refNum;
  pb.ioParam.ioBuffer = static_cast<Ptr>(buffer);
  pb.ioParam.ioReqCount = *count;
  pb.ioParam.ioPosMode = fsAtMark | noCacheMask;
  OSErr e = PBReadSync(&pb);
  *count = pb.ioParam.ioActCount;
  return e;
}

OSErr FSWriteDontCache(SInt16 refNum, SInt32 *count, const void *data) noexcept {
  if (count == nullptr)
    return paramErr;
  ParamBlockRec pb{};
  pb.ioParam.ioRefNum = refNum;
  pb.ioParam.ioBuffer = static_cast<Ptr>(const_cast<void *>(data));
  pb.ioParam.ioReqCount = *count;
  pb.ioParam.ioPosMode = fsAtMark | noCacheMask;
  OSErr e = PBWriteSync(&pb);
  *count = pb.ioParam.ioActCount;
  return e;
}

OSErr FSFlushFile(SInt16 refNum) noexcept {
  ParamBlockRec pb{};
  pb.ioParam.ioRefNum = refNum;
  return PBFlushFileSync(&pb);
}

OSErr FSReadYield(SInt16 refNum, SInt16 positionMode, SInt32 positionOffset, SInt32 count, SInt32 *actualCount,
                  UInt32 options, void *buffer, FSYieldIdleProcPtr idleProc, void *idleData) noexcept {
  return YieldingTransfer(false, refNum, positionMode, positionOffset, count, actualCount, options, buffer, idleProc,
                          idleData);
}

OSErr FSWriteYield(SInt16 refNum, SInt16 positionMode, SInt32 positionOffset, SInt32 count, UInt32 options,
                   const void *buffer, FSYieldIdleProcPtr idleProc, void *idleData) noexcept {
  return YieldingTransfer(true, refNum, positionMode, positionOffset, count, nullptr, options,
                          const_cast<void *>(buffer), idleProc, idleData);
}

OSErr FSReadUntilDelimiter(SInt16 refNum, void *buffer, SInt32 *size, char delimiter, Boolean *found) noexcept {
  if (buffer == nullptr || size == nullptr || found == nullptr || *size < 0)
    return paramErr;
  *found = false;
  SInt64 mark;
  if (OSErr e = FSGetForkPosition(refNum, &mark))
    return e;
  ByteCount got = 0;
  OSErr e = FSReadFork(refNum, fsAtMark, 0, ByteCount(*size), buffer, &got);
  if (e && e != eofErr)
    return e;
  const auto *bytes = static_cast<const SInt8 *>(buffer);
  for (ByteCount i = 0; i < got; ++i)
    if (bytes[i] == SInt8(delimiter)) {
      *size = SInt32(i);
      *found = true;
      return FSSetForkPosition(refNum, fsFromStart, mark + SInt64(i) + 1);
    }
  *size = 0;
  return e;
}

OSErr FSReadUntilText(SInt16 refNum, void *buffer, SInt32 *size, const void *text, SInt32 textLength,
                      Boolean *found) noexcept {
  if (buffer == nullptr || size == nullptr || text == nullptr || found == nullptr || textLength <= 0)
    return paramErr;
  // Each read repeats the last textLength - 1 bytes of the one before, so
  // a buffer must hold the text and leave room to move on.
  if (*size < textLength)
    return paramErr;
  *found = false;
  SInt64 mark;
  if (OSErr e = FSGetForkPosition(refNum, &mark))
    return e;
  auto *buf = static_cast<UInt8 *>(buffer);
  const auto *pattern = static_cast<const UInt8 *>(text);
  const ByteCount want = ByteCount(*size);
  OSErr e;
  for (SInt64 pos = mark;;) {
    ByteCount got = 0;
    e = FSReadFork(refNum, fsFromStart, pos, want, buf, &got);
    if (e && e != eofErr)
      break;
    if (got >= ByteCount(textLength)) {
      const UInt8 *hit = nullptr;
      for (const UInt8 *p = buf, *last = buf + got - textLength; p <= last; ++p) {
        p = static_cast<const UInt8 *>(std::memchr(p, pattern[0], size_t(last - p) + 1));
        if (p == nullptr)
          break;
        if (std::memcmp(p, pattern, size_t(textLength)) == 0) {
          hit = p;
          break;
        }
      }
      if (hit) {
        *found = true;
        return FSSetForkPosition(refNum, fsFromStart, pos + (hit - buf) + textLength);
      }
    }
    if (e == eofErr || got < want) {
      e = eofErr;
      break;
    }
    pos += SInt64(got) - (textLength - 1);
  }
  FSSetForkPosition(refNum, fsFromStart, mark);
  *size = 0;
  return e;
}

OSErr FSReadForkSkip(SInt16 forkRefNum, UInt16 positionMode, SInt64 positionOffset, UInt32 recordLength,
                     UInt32 bufferSize, void *buffer, ByteCount *actualCount) noexcept {
  const UInt32 n = std::min(recordLength, bufferSize);
  ByteCount got = 0;
  OSErr e = FSReadFork(forkRefNum, UInt16(positionMode | noCacheMask), positionOffset, n, buffer, &got);
  if (actualCount)
    *actualCount = got;
  if (e == noErr && n < recordLength)
    e = FSSetForkPosition(forkRefNum, fsFromMark, SInt64(recordLength - n));
  return e;
}

OSErr FSpSearchFileContents(const FSSpec *spec, const void *text, UInt32 textLength, void *buffer,
                            UInt32 bufferSize, Boolean caseSensitive, UInt32 *offset) noexcept {
  if (spec == nullptr || text == nullptr || offset == nullptr || textLength == 0)
    return paramErr;
  *offset = 0;
  OpenFork f;
  if (OSErr e = FSpOpenDF(spec, fsRdPerm, f.out()))
    return e;
  UInt64 length;
  if (OSErr e = ForkSize(f.get(), length))
    return e;
  if (length < textLength)
    return fnfErr;
  UInt8 own[4096]; // the last resort when memory is short
  UInt8 *buf = own;
  UInt32 bufSize = sizeof own;
  Handle h = nullptr;
  if (buffer && bufferSize) {
    buf = static_cast<UInt8 *>(buffer);
    bufSize = bufferSize;
  } else {
    // The whole fork in one block if memory allows; else the largest block
    // that still leaves 32 KiB free.
    constexpr Size kReserve = 32768;
    if (length <= UInt64(INT32_MAX)) {
      OSErr e;
      h = TempNewHandle(Size(length), &e);
      if (h == nullptr)
        h = NewHandle(Size(length));
    }
    if (h == nullptr) {
      const Size avail = std::max(TempMaxMem(nullptr), MaxBlock());
      const UInt64 room = avail > kReserve ? UInt64(avail - kReserve) : 0;
      const UInt64 size = std::min<UInt64>(room, length);
      if (size > sizeof own) {
        OSErr e;
        h = TempNewHandle(Size(size), &e);
        if (h == nullptr)
          h = NewHandle(Size(size));
      }
    }
    if (h) {
      HLock(h);
      buf = reinterpret_cast<UInt8 *>(*h);
      bufSize = UInt32(GetHandleSize(h));
    }
  }
  UInt64 at = 0;
  OSErr e = SearchFork(f.get(), length, buf, bufSize, static_cast<const UInt8 *>(text), textLength,
                       caseSensitive != 0, at);
  if (h)
    DisposeHandle(h);
  if (e == noErr) {
    if (at > 0xFFFFFFFFull)
      return fnfErr; // beyond what the offset can tell
    *offset = UInt32(at);
  }
  return e;
}

OSErr FSCreateFileBuffer(UInt32 wantedSize, UInt32 unused, void *fallbackBuffer, UInt32 fallbackSize,
                         Handle *bufferHandle, Ptr *bufferPtr, UInt32 *bufferSize) noexcept {
  constexpr UInt32 kMost = 0x1000000, kLeast = 4096, kSmallest = 512;
  UInt32 size;
  if (wantedSize > kMost)
    size = kMost;
  else if (wantedSize < kLeast)
    size = kLeast;
  else
    size = (wantedSize + kLeast - 1) / kLeast * kLeast;
  // A fallback size without a fallback buffer is no fallback.
  const UInt32 fallback = fallbackBuffer ? fallbackSize : 0;
  Handle h = nullptr;
  while (size >= kSmallest && size > fallback) {
    OSErr e;
    h = TempNewHandle(Size(size), &e);
    if (h)
      break;
    size /= 2;
  }
  if (h) {
    HLock(h);
    if (bufferSize)
      *bufferSize = size;
    if (bufferHandle == nullptr) {
      // Nobody could release the buffer: only its size is reported.
      DisposeHandle(h);
      return noErr;
    }
    *bufferHandle = h;
    if (bufferPtr)
      *bufferPtr = *h;
    return noErr;
  }
  if (fallback) {
    if (bufferHandle)
      *bufferHandle = kFSFileBufferFallbackHandle;
    if (bufferPtr)
      *bufferPtr = static_cast<Ptr>(fallbackBuffer);
    if (bufferSize)
      *bufferSize = fallback;
    return noErr;
  }
  return memFullErr;
}

OSErr FSDeleteFileBuffer(Handle bufferHandle) noexcept {
  if (bufferHandle && bufferHandle != kFSFileBufferFallbackHandle)
    DisposeHandle(bufferHandle);
  return noErr;
}

OSErr FileReferenceToFSSpec(SInt16 refNum, FSSpec *spec) noexcept {
  if (spec == nullptr)
    return paramErr;
  FCBPBRec pb{};
  pb.ioNamePtr = spec->name;
  pb.ioRefNum = refNum;
  pb.ioFCBIndx = 0;
  if (OSErr e = PBGetFCBInfoSync(&pb))
    return e;
  spec->vRefNum = pb.ioFCBVRefNum;
  spec->parID = pb.ioFCBParID;
  return noErr;
}

SInt16 GetApplicationFileReference(void) noexcept { return LMGetCurApRefNum(); }

FILE *FSp_fopen_compat(const FSSpec *spec, const char *mode) noexcept {
  if (spec == nullptr || mode == nullptr)
    return nullptr;
  FSRef ref;
  if (FSpMakeFSRef(spec, &ref) != noErr)
    return nullptr;
  constexpr UInt32 kPathSize = 4096;
  Ptr path = NewPtr(kPathSize);
  if (path == nullptr)
    return nullptr;
  FILE *stream = nullptr;
  if (FSRefMakePath(&ref, reinterpret_cast<UInt8 *>(path), kPathSize) == noErr)
    stream = std::fopen(path, mode);
  DisposePtr(path);
  return stream;
}

int FRead(FILE *stream, SInt32 count, void *buffer) noexcept {
  if (stream == nullptr || count < 0 || (buffer == nullptr && count > 0))
    return -1;
  return std::fread(buffer, 1, size_t(count), stream) == size_t(count) ? 0 : -1;
}

int FWrite(FILE *stream, SInt32 count, const void *data) noexcept {
  if (stream == nullptr || count < 0 || (data == nullptr && count > 0))
    return -1;
  return std::fwrite(data, 1, size_t(count), stream) == size_t(count) ? 0 : -1;
}

int fgetsize(FILE *stream, SInt64 *size) noexcept {
  if (stream == nullptr || size == nullptr)
    return -1;
  const off_t here = ::ftello(stream);
  if (here < 0)
    return -1;
  if (int r = ::fseeko(stream, 0, SEEK_END))
    return r;
  const off_t end = ::ftello(stream);
  if (int r = ::fseeko(stream, here, SEEK_SET))
    return r;
  if (end < 0)
    return -1;
  *size = SInt64(end);
  return 0;
}

int fsetsize(FILE *stream, SInt64 size) noexcept {
  if (stream == nullptr)
    return -1;
  if (UInt64(size) >> 32)
    return errFSBadPosMode; // -1412: 4 GiB or more
  // Buffered output would otherwise land after the truncation.
  if (std::fflush(stream) != 0)
    return -1;
  const int r = ::ftruncate(::fileno(stream), off_t(UInt32(size)));
  if (r == 0)
    std::fseek(stream, 0, SEEK_SET);
  return r;
}

int fshift(FILE *stream, SInt64 offset, SInt64 shift) noexcept {
  SInt64 size;
  return fgetsize(stream, &size);
}

} // extern "C"
