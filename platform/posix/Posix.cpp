#include "platform/posix/Posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/core/Internal.h"
#include "platform/files/Files.h"

namespace ql::platform::posix {

namespace {
struct Fault {
  std::string path;
  int ops;
  OSErr err;
};
struct Faults {
  std::mutex lock;
  std::vector<Fault> list;
  std::atomic<bool> any{false};
};
Faults &F() {
  static Faults *f = new Faults;
  return *f;
}

template <class Call> auto Retry(Call call) {
  decltype(call()) r;
  do
    r = call();
  while (r < 0 && errno == EINTR);
  return r;
}

std::string Join(const std::string &dir, const std::string &name) {
  return dir == "/" ? "/" + name : dir + "/" + name;
}
} // namespace

void UniqueFd::Reset() {
  if (fd_ >= 0)
    ::close(fd_);
  fd_ = -1;
}

OSErr InjectedError(std::string_view path, Op op) noexcept {
  Faults &f = F();
  if (!f.any.load(std::memory_order_relaxed))
    return noErr;
  std::lock_guard g(f.lock);
  for (const Fault &fault : f.list)
    if ((fault.ops & int(op)) && fault.path == path)
      return fault.err;
  return noErr;
}

OSErr OpenDirectory(const std::string &path, UniqueFd &out) {
  int fd = Retry([&] { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0)
    return errno == ENOENT || errno == ENOTDIR ? dirNFErr : ErrnoToOSErr(errno);
  out = UniqueFd(fd);
  return noErr;
}

OSErr StatAt(int dirFd, const std::string &dirPath, const std::string &name, struct stat &st) {
  if (OSErr e = InjectedError(Join(dirPath, name), Op::Lookup))
    return e;
  if (Retry([&] { return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW); }) < 0)
    return ErrnoToOSErr(errno);
  return noErr;
}

OSErr Stat(const std::string &path, struct stat &st, bool followLinks) {
  if (OSErr e = InjectedError(path, Op::Lookup))
    return e;
  int r = Retry([&] { return followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st); });
  return r < 0 ? ErrnoToOSErr(errno) : noErr;
}

OSErr FStat(int fd, struct stat &st) {
  return Retry([&] { return ::fstat(fd, &st); }) < 0 ? ErrnoToOSErr(errno) : noErr;
}

OSErr ReadDirectory(int dirFd, const std::string &dirPath, std::vector<DirEntry> &out) {
  if (OSErr e = InjectedError(dirPath, Op::List))
    return e;
  out.clear();
  if (::lseek(dirFd, 0, SEEK_SET) < 0)
    return ErrnoToOSErr(errno);
  // getdents64 straight into a buffer: no DIR stream to allocate per read.
  alignas(8) char buf[32768];
  for (;;) {
    long n = Retry([&] { return ::syscall(SYS_getdents64, dirFd, buf, sizeof buf); });
    if (n < 0)
      return ErrnoToOSErr(errno);
    if (n == 0)
      break;
    for (long pos = 0; pos < n;) {
      auto *d = reinterpret_cast<struct dirent64 *>(buf + pos);
      pos += d->d_reclen;
      const char *nm = d->d_name;
      if (nm[0] == '.' && (nm[1] == 0 || (nm[1] == '.' && nm[2] == 0)))
        continue;
      out.push_back(DirEntry{std::string(nm), ino_t(d->d_ino), d->d_type});
    }
  }
  return noErr;
}

OSErr ReadFileAt(int dirFd, const std::string &name, std::string &out, size_t limit) {
  int fd = Retry([&] { return ::openat(dirFd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW); });
  if (fd < 0)
    return ErrnoToOSErr(errno);
  UniqueFd guard(fd);
  out.clear();
  char buf[4096];
  for (;;) {
    ssize_t n = Retry([&] { return ::read(fd, buf, sizeof buf); });
    if (n < 0)
      return ErrnoToOSErr(errno);
    if (n == 0)
      break;
    out.append(buf, size_t(n));
    if (out.size() > limit)
      return ioErr;
  }
  return noErr;
}


OSErr OpenFile(const std::string &path, int flags, int mode, UniqueFd &out) {
  int fd = Retry([&] { return ::open(path.c_str(), flags | O_CLOEXEC, mode); });
  if (fd < 0)
    return ErrnoToOSErr(errno);
  out = UniqueFd(fd);
  return noErr;
}

OSErr PRead(int fd, void *buf, size_t count, UInt64 offset, size_t &done) {
  done = 0;
  auto *p = static_cast<char *>(buf);
  while (done < count) {
    ssize_t n = Retry([&] { return ::pread(fd, p + done, count - done, off_t(offset + done)); });
    if (n < 0)
      return ErrnoToOSErr(errno);
    if (n == 0)
      break;
    done += size_t(n);
  }
  return noErr;
}

OSErr PWrite(int fd, const void *buf, size_t count, UInt64 offset) {
  auto *p = static_cast<const char *>(buf);
  size_t done = 0;
  while (done < count) {
    ssize_t n = Retry([&] { return ::pwrite(fd, p + done, count - done, off_t(offset + done)); });
    if (n < 0)
      return ErrnoToOSErr(errno);
    if (n == 0)
      return ioErr;
    done += size_t(n);
  }
  return noErr;
}

OSErr FTruncate(int fd, UInt64 size) {
  return Retry([&] { return ::ftruncate(fd, off_t(size)); }) < 0 ? ErrnoToOSErr(errno) : noErr;
}

OSErr FSync(int fd) { return Retry([&] { return ::fdatasync(fd); }) < 0 ? ErrnoToOSErr(errno) : noErr; }

OSErr Rename(const std::string &from, const std::string &to) {
  return ::rename(from.c_str(), to.c_str()) < 0 ? ErrnoToOSErr(errno) : noErr;
}

OSErr Unlink(const std::string &path, bool directory) {
  int r = directory ? ::rmdir(path.c_str()) : ::unlink(path.c_str());
  return r < 0 ? ErrnoToOSErr(errno) : noErr;
}

OSErr Chmod(const std::string &path, mode_t mode) {
  return ::chmod(path.c_str(), mode) < 0 ? ErrnoToOSErr(errno) : noErr;
}

OSErr SyncFileSystem(int fd) { return ::syncfs(fd) < 0 ? ErrnoToOSErr(errno) : noErr; }

} // namespace ql::platform::posix

extern "C" {

void PlatformInjectFileError(const char *absolutePath, int op, OSErr err) noexcept {
  using namespace ql::platform::posix;
  if (absolutePath == nullptr)
    return;
  try {
    std::lock_guard g(F().lock);
    std::string p(absolutePath);
    while (p.size() > 1 && p.back() == '/')
      p.pop_back();
    F().list.push_back({p, op, err});
    F().any = true;
  } catch (...) {
  }
}

void PlatformClearFileErrors(void) noexcept {
  using namespace ql::platform::posix;
  std::lock_guard g(F().lock);
  F().list.clear();
  F().any = false;
}

} // extern "C"
