// Open forks: the table of access paths, reads and writes at marks and
// positions, ends of file, the parameter-block and fork calls, delayed
// asynchronous completion for tests, and file control block information.
//
// A data fork path holds a descriptor of the file. A resource fork is kept
// in memory, shared by every path open on it, and written through to the
// sidecar on each change, so the catalog always reports its true length.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/core/Internal.h"
#include "platform/files/ForksInternal.h"

namespace ql::platform::files {

namespace {

constexpr size_t kMaxOpenForks = 4096;

struct ResourceData {
  dev_t dev;
  ino_t ino;
  std::string dirPath, disk; // where its sidecar lives
  std::string data;
};

struct Path {
  SInt16 ref;
  bool rsrc;
  bool canWrite;
  bool exclusive; // write access that shuts out other writers
  bool counted;   // counted by PlatformOpenForkCount
  posix::UniqueFd fd;
  std::shared_ptr<ResourceData> res;
  UInt64 mark = 0;
  FSRef file;
  SInt16 vol;
  SInt32 parentID;
  dev_t dev;
  ino_t ino;
};

struct Table {
  std::map<SInt16, std::unique_ptr<Path>> paths;
  SInt16 next = 1;
  UInt32 ioCount = 0, failAt = 0;
  OSErr failWith = noErr;
  bool injected = false;
  SInt16 appRef = 0;
};

Table &T() {
  static Table *t = new Table;
  return *t;
}

Path *Find(SInt16 ref) {
  auto it = T().paths.find(ref);
  return it == T().paths.end() ? nullptr : it->second.get();
}

OSErr Injected() {
  Table &t = T();
  if (t.failAt == 0)
    return noErr;
  if (++t.ioCount == t.failAt) {
    t.injected = true;
    return t.failWith;
  }
  return noErr;
}

bool IsLockedMode(const struct stat &st) { return (st.st_mode & S_IWUSR) == 0; }

OSErr ForkSize(Path &p, UInt64 &size) {
  if (p.rsrc) {
    size = p.res->data.size();
    return noErr;
  }
  struct stat st;
  if (OSErr e = posix::FStat(p.fd.get(), st))
    return e;
  size = UInt64(st.st_size);
  return noErr;
}

OSErr StoreResource(ResourceData &r) {
  Sidecar sc;
  if (OSErr e = LoadSidecar(r.dirPath, r.disk, sc))
    return e;
  sc.Set(kSidecarResourceFork, r.data);
  return StoreSidecar(r.dirPath, r.disk, sc);
}

OSErr ForkRead(Path &p, UInt64 pos, void *buf, size_t n, size_t &done) {
  done = 0;
  if (OSErr e = Injected())
    return e;
  if (p.rsrc) {
    const std::string &d = p.res->data;
    if (pos < d.size()) {
      done = std::min<size_t>(n, d.size() - size_t(pos));
      std::memcpy(buf, d.data() + pos, done);
    }
    return noErr;
  }
  return posix::PRead(p.fd.get(), buf, n, pos, done);
}

OSErr ForkWrite(Path &p, UInt64 pos, const void *buf, size_t n) {
  if (!p.canWrite)
    return wrPermErr;
  if (n == 0)
    return noErr;
  if (OSErr e = Injected())
    return e;
  if (p.rsrc) {
    std::string &d = p.res->data;
    if (pos + n > 0xFFFFFFFFull)
      return dskFulErr;
    const std::string old = d;
    if (d.size() < pos + n)
      d.resize(size_t(pos + n), '\0');
    std::memcpy(d.data() + pos, buf, n);
    if (OSErr e = StoreResource(*p.res)) {
      d = old;
      return e;
    }
    return noErr;
  }
  return posix::PWrite(p.fd.get(), buf, n, pos);
}

OSErr ForkTruncate(Path &p, UInt64 size) {
  if (!p.canWrite)
    return wrPermErr;
  if (OSErr e = Injected())
    return e;
  if (p.rsrc) {
    if (size > 0xFFFFFFFFull)
      return dskFulErr;
    std::string &d = p.res->data;
    const std::string old = d;
    d.resize(size_t(size), '\0');
    if (OSErr e = StoreResource(*p.res)) {
      d = old;
      return e;
    }
    return noErr;
  }
  return posix::FTruncate(p.fd.get(), size);
}

// The absolute position a mode and offset name, before any end-of-file
// check; posErr when it lies before the start.
OSErr Position(Path &p, UInt16 mode, SInt64 offset, UInt64 &pos) {
  SInt64 base;
  switch (mode & 3) {
  case fsAtMark:
    pos = p.mark;
    return noErr;
  case fsFromStart:
    base = 0;
    break;
  case fsFromLEOF: {
    UInt64 size;
    if (OSErr e = ForkSize(p, size))
      return e;
    base = SInt64(size);
    break;
  }
  default:
    base = SInt64(p.mark);
    break;
  }
  if (offset < 0 && base + offset < 0)
    return posErr;
  pos = UInt64(base + offset);
  return noErr;
}

OSErr DoRead(Path &p, UInt16 mode, SInt64 offset, UInt64 count, void *buf, UInt64 &done) {
  done = 0;
  if (count > 0 && buf == nullptr)
    return paramErr;
  UInt64 pos, size;
  if (OSErr e = Position(p, mode, offset, pos))
    return e;
  if (OSErr e = ForkSize(p, size))
    return e;
  if (pos > size) {
    p.mark = size;
    return eofErr;
  }
  size_t got = 0;
  const UInt64 want = std::min<UInt64>(count, size - pos);
  OSErr e = ForkRead(p, pos, buf, size_t(want), got);
  done = got;
  p.mark = pos + got;
  if (e)
    return e;
  return got < count ? eofErr : noErr;
}

OSErr DoWrite(Path &p, UInt16 mode, SInt64 offset, UInt64 count, const void *buf, UInt64 &done) {
  done = 0;
  if (!p.canWrite)
    return wrPermErr;
  if (count > 0 && buf == nullptr)
    return paramErr;
  UInt64 pos;
  if (OSErr e = Position(p, mode, offset, pos))
    return e;
  if (OSErr e = ForkWrite(p, pos, buf, size_t(count)))
    return e;
  done = count;
  p.mark = pos + count;
  return noErr;
}

// Opens a fork of the node. permission as for FSpOpenDF.
OSErr OpenNode(const Node &n, bool rsrc, SInt8 permission, bool counted, SInt16 &refOut) {
  if (permission < fsCurPerm || permission > fsRdWrShPerm)
    return paramErr;
  if (n.isDir || !S_ISREG(n.st.st_mode))
    return notAFileErr;
  Table &t = T();
  if (t.paths.size() >= kMaxOpenForks)
    return tmfoErr;
  // Another path writing this fork decides what this one may do.
  Path *writer = nullptr;
  bool anyWriter = false;
  for (auto &[r, p] : t.paths)
    if (p->dev == n.st.st_dev && p->ino == n.st.st_ino && p->rsrc == rsrc && p->canWrite) {
      anyWriter = true;
      if (p->exclusive)
        writer = p.get();
      else if (writer == nullptr && permission != fsRdWrShPerm)
        writer = p.get();
    }
  const bool locked = IsLockedMode(n.st);
  bool canWrite;
  bool exclusive = false;
  switch (permission) {
  case fsRdPerm:
    canWrite = false;
    break;
  case fsCurPerm:
    canWrite = !locked && !anyWriter;
    exclusive = canWrite;
    break;
  case fsRdWrShPerm:
    if (locked)
      return permErr;
    if (writer && writer->exclusive) {
      refOut = writer->ref;
      return opWrErr;
    }
    canWrite = true;
    break;
  default: // fsWrPerm, fsRdWrPerm
    if (locked)
      return permErr;
    if (anyWriter) {
      refOut = writer ? writer->ref : refOut;
      return opWrErr;
    }
    canWrite = true;
    exclusive = true;
    break;
  }
  auto p = std::make_unique<Path>();
  p->rsrc = rsrc;
  p->canWrite = canWrite;
  p->exclusive = exclusive;
  p->counted = counted;
  p->vol = n.vol;
  p->parentID = n.parentID;
  p->dev = n.st.st_dev;
  p->ino = n.st.st_ino;
  MakeRef(n, p->file);
  const std::string path = n.Path();
  if (rsrc) {
    for (auto &[r, q] : t.paths)
      if (q->rsrc && q->dev == p->dev && q->ino == p->ino)
        p->res = q->res;
    if (!p->res) {
      auto res = std::make_shared<ResourceData>();
      res->dev = p->dev;
      res->ino = p->ino;
      res->dirPath = *n.dirPath;
      res->disk = n.disk;
      Sidecar sc;
      if (OSErr e = LoadSidecar(res->dirPath, res->disk, sc))
        return e;
      if (const std::string *d = sc.Find(kSidecarResourceFork))
        res->data = *d;
      p->res = std::move(res);
    }
  } else {
    if (OSErr e = posix::OpenFile(path, (canWrite ? O_RDWR : O_RDONLY) | O_NOFOLLOW, 0, p->fd))
      return e;
    struct stat st;
    if (OSErr e = posix::FStat(p->fd.get(), st))
      return e;
    if (st.st_dev != p->dev || st.st_ino != p->ino)
      return fnfErr; // replaced behind our back
  }
  // Reference numbers count up and skip those in use, so a stale number is
  // unlikely to name another file soon.
  SInt16 ref = t.next;
  while (t.paths.count(ref))
    ref = ref >= 0x7FFF ? 1 : SInt16(ref + 1);
  t.next = ref >= 0x7FFF ? 1 : SInt16(ref + 1);
  p->ref = ref;
  t.paths.emplace(ref, std::move(p));
  refOut = ref;
  return noErr;
}

OSErr OpenSpec(const FSSpec *spec, bool rsrc, SInt8 permission, SInt16 *refNum) {
  if (spec == nullptr || refNum == nullptr)
    return paramErr;
  return Barrier([&]() -> OSErr {
    std::lock_guard g(Lock());
    Node n;
    if (OSErr e = NodeOfSpec(*spec, n))
      return e;
    return OpenNode(n, rsrc, permission, true, *refNum);
  });
}

OSErr OpenByName(SInt16 vRefNum, SInt32 dirID, ConstStr255Param name, bool rsrc, SInt8 permission, SInt16 *refNum) {
  if (refNum == nullptr)
    return paramErr;
  return Barrier([&]() -> OSErr {
    std::lock_guard g(Lock());
    Node n;
    std::string_view nm = name ? std::string_view(reinterpret_cast<const char *>(name + 1), name[0]) : std::string_view();
    if (nm.empty())
      return bdNamErr;
    if (OSErr e = NodeByName(DefaultedVolume(vRefNum), dirID == 0 ? fsRtDirID : dirID, nm, n))
      return e;
    return OpenNode(n, rsrc, permission, true, *refNum);
  });
}

// ---- Parameter blocks and delayed completion --------------------------------

OSErr RunIO(IOParam &pb, bool write) {
  std::lock_guard g(Lock());
  Path *p = Find(pb.ioRefNum);
  pb.ioActCount = 0;
  if (p == nullptr)
    return rnfErr;
  if (pb.ioReqCount < 0)
    return paramErr;
  UInt64 done = 0;
  OSErr e = write ? DoWrite(*p, UInt16(pb.ioPosMode), pb.ioPosOffset, UInt64(pb.ioReqCount), pb.ioBuffer, done)
                  : DoRead(*p, UInt16(pb.ioPosMode), pb.ioPosOffset, UInt64(pb.ioReqCount), pb.ioBuffer, done);
  pb.ioActCount = SInt32(done);
  pb.ioPosOffset = SInt32(std::min<UInt64>(p->mark, INT32_MAX));
  return e;
}

void Finish(ParmBlkPtr pb, OSErr result) {
  __atomic_store_n(const_cast<OSErr *>(&pb->ioParam.ioResult), result, __ATOMIC_RELEASE);
  if (pb->ioParam.ioCompletion)
    reinterpret_cast<IOCompletionProcPtr>(pb->ioParam.ioCompletion)(pb);
}

struct Pending {
  ParmBlkPtr pb;
  bool write;
  std::chrono::steady_clock::time_point due;
};

struct AsyncQueue {
  std::mutex lock;
  std::condition_variable wake;
  std::deque<Pending> queue;
  bool started = false;
  std::atomic<UInt32> delayMs{0};

  void Add(Pending p) {
    std::lock_guard g(lock);
    if (!started) {
      std::thread([this] { Run(); }).detach();
      started = true;
    }
    queue.push_back(p);
    wake.notify_one();
  }

  void Run() {
    std::unique_lock g(lock);
    for (;;) {
      wake.wait(g, [&] { return !queue.empty(); });
      Pending p = queue.front();
      if (std::chrono::steady_clock::now() < p.due) {
        wake.wait_until(g, p.due);
        continue;
      }
      queue.pop_front();
      g.unlock();
      OSErr result = Barrier([&] { return RunIO(p.pb->ioParam, p.write); });
      Finish(p.pb, result);
      g.lock();
    }
  }
};

AsyncQueue &Q() {
  static AsyncQueue *q = new AsyncQueue;
  return *q;
}

OSErr StartAsync(ParmBlkPtr pb, bool write) {
  if (pb == nullptr)
    return paramErr;
  const UInt32 delay = Q().delayMs.load();
  if (delay == 0) {
    OSErr result = Barrier([&] { return RunIO(pb->ioParam, write); });
    Finish(pb, result);
    return result;
  }
  pb->ioParam.ioResult = 1; // in progress
  OSErr queued = Barrier([&]() -> OSErr {
    Q().Add(Pending{pb, write, std::chrono::steady_clock::now() + std::chrono::milliseconds(delay)});
    return noErr;
  });
  if (queued)
    pb->ioParam.ioResult = queued; // never started: nobody would finish it
  return queued;
}

OSErr SyncIO(ParmBlkPtr pb, bool write) {
  if (pb == nullptr)
    return paramErr;
  OSErr result = Barrier([&] { return RunIO(pb->ioParam, write); });
  pb->ioParam.ioResult = result;
  return result;
}

template <class Body> OSErr WithPath(SInt16 ref, Body body) {
  return Barrier([&]() -> OSErr {
    std::lock_guard g(Lock());
    Path *p = Find(ref);
    if (p == nullptr)
      return rnfErr;
    return body(*p);
  });
}

const char16_t kResourceForkName[] = u"RESOURCE_FORK";
constexpr UniCharCount kResourceForkNameLength = 13;

} // namespace

// ---- Shared with the other File Manager files -------------------------------

SInt16 DefaultedVolume(SInt16 vRefNum) { return vRefNum == 0 ? SInt16(-1) : vRefNum; }

OSErr NodeOfSpec(const FSSpec &spec, Node &out) {
  const SInt16 vol = DefaultedVolume(spec.vRefNum);
  if (spec.parID == fsRtParID)
    return NodeOfDir(vol, fsRtDirID, out);
  const UInt8 len = std::min<UInt8>(spec.name[0], 63);
  return NodeByName(vol, spec.parID == 0 ? fsRtDirID : spec.parID,
                    std::string_view(reinterpret_cast<const char *>(spec.name + 1), len), out);
}

bool FileIsOpen(dev_t dev, ino_t ino) {
  for (auto &[r, p] : T().paths)
    if (p->dev == dev && p->ino == ino && r != T().appRef)
      return true;
  return false;
}

void ForksFollowRename(dev_t dev, ino_t ino, const std::string &dirPath, const std::string &disk) {
  for (auto &[r, p] : T().paths)
    if (p->res && p->dev == dev && p->ino == ino) {
      p->res->dirPath = dirPath;
      p->res->disk = disk;
    }
}

void ForksReloadResource(dev_t dev, ino_t ino, const std::string &data) {
  for (auto &[r, p] : T().paths)
    if (p->res && p->dev == dev && p->ino == ino)
      p->res->data = data;
}

SInt16 ApplicationForkRef() {
  Table &t = T();
  if (t.appRef && Find(t.appRef))
    return t.appRef;
  char buf[4096];
  ssize_t len = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (len <= 0)
    return 0;
  buf[len] = 0;
  Node n;
  if (NodeByPath(buf, n) != noErr)
    return 0;
  SInt16 ref = 0;
  if (OpenNode(n, true, fsRdPerm, false, ref) != noErr)
    return 0;
  t.appRef = ref;
  return ref;
}

} // namespace ql::platform::files

namespace f = ql::platform::files;
using ql::platform::Barrier;

extern "C" {

OSErr FSpOpenDF(const FSSpec *spec, SInt8 permission, SInt16 *refNum) noexcept {
  return f::OpenSpec(spec, false, permission, refNum);
}

OSErr FSpOpenRF(const FSSpec *spec, SInt8 permission, SInt16 *refNum) noexcept {
  return f::OpenSpec(spec, true, permission, refNum);
}

OSErr HOpenDF(SInt16 vRefNum, SInt32 dirID, ConstStr255Param fileName, SInt8 permission, SInt16 *refNum) noexcept {
  return f::OpenByName(vRefNum, dirID, fileName, false, permission, refNum);
}

OSErr HOpenRF(SInt16 vRefNum, SInt32 dirID, ConstStr255Param fileName, SInt8 permission, SInt16 *refNum) noexcept {
  return f::OpenByName(vRefNum, dirID, fileName, true, permission, refNum);
}

OSErr FSClose(SInt16 refNum) noexcept {
  return Barrier([&]() -> OSErr {
    std::lock_guard g(f::Lock());
    auto &paths = f::T().paths;
    auto it = paths.find(refNum);
    if (it == paths.end())
      return rnfErr;
    if (refNum == f::T().appRef)
      f::T().appRef = 0;
    paths.erase(it);
    return noErr;
  });
}

OSErr FSRead(SInt16 refNum, SInt32 *count, void *buffPtr) noexcept {
  if (count == nullptr)
    return paramErr;
  ParamBlockRec pb{};
  pb.ioParam.ioRefNum = refNum;
  pb.ioParam.ioBuffer = static_cast<Ptr>(buffPtr);
  pb.ioParam.ioReqCount = *count;
  pb.ioParam.ioPosMode = fsAtMark;
  OSErr e = PBReadSync(&pb);
  *count = pb.ioParam.ioActCount;
  return e;
}

OSErr FSWrite(SInt16 refNum, SInt32 *count, const void *buffPtr) noexcept {
  if (count == nullptr)
    return paramErr;
  ParamBlockRec pb{};
  pb.ioParam.ioRefNum = refNum;
  pb.ioParam.ioBuffer = static_cast<Ptr>(const_cast<void *>(buffPtr));
  pb.ioParam.ioReqCount = *count;
  pb.ioParam.ioPosMode = fsAtMark;
  OSErr e = PBWriteSync(&pb);
  *count = pb.ioParam.ioActCount;
  return e;
}

OSErr GetFPos(SInt16 refNum, SInt32 *filePos) noexcept {
  if (filePos == nullptr)
    return paramErr;
  return f::WithPath(refNum, [&](f::Path &p) -> OSErr {
    *filePos = SInt32(std::min<UInt64>(p.mark, INT32_MAX));
    return noErr;
  });
}

OSErr SetFPos(SInt16 refNum, SInt16 posMode, SInt32 posOff) noexcept {
  return FSSetForkPosition(refNum, UInt16(posMode), posOff);
}

OSErr GetEOF(SInt16 refNum, SInt32 *logEOF) noexcept {
  if (logEOF == nullptr)
    return paramErr;
  SInt64 size;
  OSErr e = FSGetForkSize(refNum, &size);
  if (e == noErr)
    *logEOF = SInt32(std::min<SInt64>(size, INT32_MAX));
  return e;
}

OSErr SetEOF(SInt16 refNum, SInt32 logEOF) noexcept {
  if (logEOF < 0)
    return paramErr;
  return FSSetForkSize(refNum, fsFromStart, logEOF);
}

OSErr PBReadSync(ParmBlkPtr paramBlock) noexcept { return f::SyncIO(paramBlock, false); }
OSErr PBWriteSync(ParmBlkPtr paramBlock) noexcept { return f::SyncIO(paramBlock, true); }
OSErr PBReadAsync(ParmBlkPtr paramBlock) noexcept { return f::StartAsync(paramBlock, false); }
OSErr PBWriteAsync(ParmBlkPtr paramBlock) noexcept { return f::StartAsync(paramBlock, true); }

OSErr PBFlushFileSync(ParmBlkPtr paramBlock) noexcept {
  if (paramBlock == nullptr)
    return paramErr;
  OSErr e = f::WithPath(paramBlock->ioParam.ioRefNum, [&](f::Path &p) -> OSErr {
    return p.rsrc ? OSErr(noErr) : ql::platform::posix::FSync(p.fd.get());
  });
  paramBlock->ioParam.ioResult = e;
  return e;
}

OSErr PBGetFCBInfoSync(FCBPBPtr pb) noexcept {
  if (pb == nullptr)
    return paramErr;
  OSErr err = Barrier([&]() -> OSErr {
    std::lock_guard g(f::Lock());
    f::Path *p = nullptr;
    if (pb->ioFCBIndx > 0) {
      SInt16 n = 0;
      for (auto &[r, q] : f::T().paths)
        if (++n == pb->ioFCBIndx) {
          p = q.get();
          break;
        }
      if (p == nullptr)
        return fnfErr;
    } else {
      p = f::Find(pb->ioRefNum);
      if (p == nullptr)
        return rnfErr;
    }
    UInt64 size;
    if (OSErr e = f::ForkSize(*p, size))
      return e;
    // The file's current name and place (it may have been renamed).
    f::Node n;
    OSErr ne = f::NodeFromRef(p->file, n);
    if (pb->ioNamePtr) {
      const std::string &name = ne == noErr ? n.mac : std::string();
      pb->ioNamePtr[0] = UInt8(std::min<size_t>(name.size(), 63));
      std::memcpy(pb->ioNamePtr + 1, name.data(), pb->ioNamePtr[0]);
    }
    if (pb->ioFCBIndx > 0)
      pb->ioRefNum = p->ref;
    pb->ioVRefNum = p->vol;
    pb->ioFCBFlNm = SInt32(f::FileNumber(p->ino));
    pb->ioFCBFlags = UInt16((p->canWrite ? kioFCBWriteMask : 0) | (p->rsrc ? kioFCBResourceMask : 0) |
                            (p->canWrite && !p->exclusive ? kioFCBSharedWriteMask : 0) |
                            (ne == noErr && (n.st.st_mode & S_IWUSR) == 0 ? kioFCBFileLockedMask : 0));
    pb->ioFCBStBlk = 0;
    pb->ioFCBEOF = SInt32(std::min<UInt64>(size, INT32_MAX));
    pb->ioFCBPLen = SInt32(std::min<UInt64>((size + 511) / 512 * 512, INT32_MAX));
    pb->ioFCBCrPs = SInt32(std::min<UInt64>(p->mark, INT32_MAX));
    pb->ioFCBVRefNum = p->vol;
    pb->ioFCBClpSiz = 0;
    pb->ioFCBParID = ne == noErr ? n.parentID : p->parentID;
    return noErr;
  });
  pb->ioResult = err;
  return err;
}

OSErr FSGetDataForkName(HFSUniStr255 *dataForkName) noexcept {
  if (dataForkName == nullptr)
    return paramErr;
  dataForkName->length = 0;
  return noErr;
}

OSErr FSGetResourceForkName(HFSUniStr255 *resourceForkName) noexcept {
  if (resourceForkName == nullptr)
    return paramErr;
  resourceForkName->length = UInt16(f::kResourceForkNameLength);
  for (UniCharCount i = 0; i < f::kResourceForkNameLength; ++i)
    resourceForkName->unicode[i] = f::kResourceForkName[i];
  return noErr;
}

OSErr FSOpenFork(const FSRef *ref, UniCharCount forkNameLength, const UniChar *forkName, SInt8 permissions,
                 SInt16 *forkRefNum) noexcept {
  if (ref == nullptr || forkRefNum == nullptr || (forkNameLength > 0 && forkName == nullptr))
    return paramErr;
  bool rsrc;
  if (forkNameLength == 0)
    rsrc = false;
  else if (forkNameLength == f::kResourceForkNameLength &&
           std::equal(forkName, forkName + forkNameLength, f::kResourceForkName))
    rsrc = true;
  else
    return errFSForkNotFound;
  return Barrier([&]() -> OSErr {
    std::lock_guard g(f::Lock());
    f::Node n;
    if (OSErr e = f::NodeFromRef(*ref, n))
      return e;
    return f::OpenNode(n, rsrc, permissions, true, *forkRefNum);
  });
}

OSErr FSReadFork(SInt16 forkRefNum, UInt16 positionMode, SInt64 positionOffset, ByteCount requestCount,
                 void *buffer, ByteCount *actualCount) noexcept {
  UInt64 done = 0;
  OSErr e = f::WithPath(forkRefNum, [&](f::Path &p) {
    return f::DoRead(p, positionMode, positionOffset, requestCount, buffer, done);
  });
  if (actualCount)
    *actualCount = ByteCount(done);
  return e;
}

OSErr FSWriteFork(SInt16 forkRefNum, UInt16 positionMode, SInt64 positionOffset, ByteCount requestCount,
                  const void *buffer, ByteCount *actualCount) noexcept {
  UInt64 done = 0;
  OSErr e = f::WithPath(forkRefNum, [&](f::Path &p) {
    return f::DoWrite(p, positionMode, positionOffset, requestCount, buffer, done);
  });
  if (actualCount)
    *actualCount = ByteCount(done);
  return e;
}

OSErr FSGetForkPosition(SInt16 forkRefNum, SInt64 *position) noexcept {
  if (position == nullptr)
    return paramErr;
  return f::WithPath(forkRefNum, [&](f::Path &p) -> OSErr {
    *position = SInt64(p.mark);
    return noErr;
  });
}

OSErr FSSetForkPosition(SInt16 forkRefNum, UInt16 positionMode, SInt64 positionOffset) noexcept {
  return f::WithPath(forkRefNum, [&](f::Path &p) -> OSErr {
    UInt64 pos, size;
    if (OSErr e = f::Position(p, positionMode, positionOffset, pos))
      return e;
    if (OSErr e = f::ForkSize(p, size))
      return e;
    if (pos > size) {
      p.mark = size;
      return eofErr;
    }
    p.mark = pos;
    return noErr;
  });
}

OSErr FSGetForkSize(SInt16 forkRefNum, SInt64 *forkSize) noexcept {
  if (forkSize == nullptr)
    return paramErr;
  return f::WithPath(forkRefNum, [&](f::Path &p) -> OSErr {
    UInt64 size;
    if (OSErr e = f::ForkSize(p, size))
      return e;
    *forkSize = SInt64(size);
    return noErr;
  });
}

OSErr FSSetForkSize(SInt16 forkRefNum, UInt16 positionMode, SInt64 positionOffset) noexcept {
  return f::WithPath(forkRefNum, [&](f::Path &p) -> OSErr {
    if (!p.canWrite)
      return wrPermErr;
    UInt64 pos;
    if (OSErr e = f::Position(p, positionMode, positionOffset, pos))
      return e;
    if (OSErr e = f::ForkTruncate(p, pos))
      return e;
    if (p.mark > pos)
      p.mark = pos;
    return noErr;
  });
}

OSErr FSCloseFork(SInt16 forkRefNum) noexcept { return FSClose(forkRefNum); }

SInt32 PlatformOpenForkCount(void) noexcept {
  std::lock_guard g(f::Lock());
  SInt32 n = 0;
  for (auto &[r, p] : f::T().paths)
    n += p->counted ? 1 : 0;
  return n;
}

void PlatformFailNthForkIO(UInt32 n, OSErr err) noexcept {
  std::lock_guard g(f::Lock());
  f::Table &t = f::T();
  t.failAt = n;
  t.failWith = err;
  t.ioCount = 0;
  t.injected = false;
}

Boolean PlatformForkIOFailureInjected(void) noexcept {
  std::lock_guard g(f::Lock());
  return f::T().injected;
}

void PlatformSetAsyncCompletionDelay(UInt32 milliseconds) noexcept { f::Q().delayMs = milliseconds; }

} // extern "C"
