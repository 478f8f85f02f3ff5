// The platform's one seam for system calls on files: every open, stat and
// directory read goes through here, retries EINTR, opens with O_CLOEXEC,
// and consults the test hooks that inject errors for a path.
#ifndef PLATFORM_POSIX_POSIX_H
#define PLATFORM_POSIX_POSIX_H

#include <sys/stat.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/core/MacErrors.h"

namespace ql::platform::posix {

// An owned file descriptor, closed on destruction.
class UniqueFd {
public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd &&o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  UniqueFd &operator=(UniqueFd &&o) noexcept {
    if (this != &o) {
      Reset();
      fd_ = std::exchange(o.fd_, -1);
    }
    return *this;
  }
  ~UniqueFd() { Reset(); }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void Reset();

private:
  int fd_ = -1;
};

enum class Op { List = 1, Lookup = 2 };

// The error injected for op on path, or noErr.
OSErr InjectedError(std::string_view path, Op op) noexcept;

// Opens a directory for reading its entries.
OSErr OpenDirectory(const std::string &path, UniqueFd &out);
// lstat-like status of name inside the directory dirFd (whose path is
// dirPath, for the fault hooks).
OSErr StatAt(int dirFd, const std::string &dirPath, const std::string &name, struct stat &st);
OSErr Stat(const std::string &path, struct stat &st, bool followLinks = false);
OSErr FStat(int fd, struct stat &st);

struct DirEntry {
  std::string name;
  ino_t ino;
  unsigned char type; // DT_*
};
// Reads every entry of the open directory (without "." and ".."),
// rewinding first. dirPath is for the fault hooks.
OSErr ReadDirectory(int dirFd, const std::string &dirPath, std::vector<DirEntry> &out);
// Reads a whole small file (the sidecars) inside a directory.
OSErr ReadFileAt(int dirFd, const std::string &name, std::string &out, size_t limit);


// ---- File contents (fork I/O) ---------------------------------------------
// Opens a regular file (flags as for open(2); O_CLOEXEC is added).
OSErr OpenFile(const std::string &path, int flags, int mode, UniqueFd &out);
// Reads up to count bytes at offset; *done receives the bytes read (fewer
// only at the end of the file).
OSErr PRead(int fd, void *buf, size_t count, UInt64 offset, size_t &done);
// Writes all count bytes at offset (short writes are finished).
OSErr PWrite(int fd, const void *buf, size_t count, UInt64 offset);
OSErr FTruncate(int fd, UInt64 size);
OSErr FSync(int fd);
OSErr Rename(const std::string &from, const std::string &to);
// Removes a file (or, with directory, an empty directory).
OSErr Unlink(const std::string &path, bool directory = false);
OSErr Chmod(const std::string &path, mode_t mode);
// Writes everything pending on the file system holding fd to the disk.
OSErr SyncFileSystem(int fd);

} // namespace ql::platform::posix

#endif
