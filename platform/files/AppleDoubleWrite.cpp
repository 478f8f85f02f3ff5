// Writing AppleDouble (version 2) sidecars: the whole file is read, one
// entry changed, and the file written anew beside the old one and renamed
// over it, so a reader never sees half a sidecar. Entries this platform
// does not know are carried over unchanged. A sidecar that would hold only
// defaults is removed instead.
#include <fcntl.h>

#include <algorithm>
#include <cstring>

#include "platform/files/ForksInternal.h"

namespace ql::platform::files {

namespace {

constexpr UInt32 kMagic = 0x00051607;
constexpr UInt32 kVersion = 0x00020000;
constexpr size_t kHeaderSize = 26; // magic, version, 16 filler bytes, entry count
constexpr size_t kEntrySize = 12;  // id, offset, length
constexpr size_t kMaxSidecar = size_t(1) << 30;

UInt32 Load32(const std::string &s, size_t at) {
  return (UInt32(UInt8(s[at])) << 24) | (UInt32(UInt8(s[at + 1])) << 16) | (UInt32(UInt8(s[at + 2])) << 8) |
         UInt32(UInt8(s[at + 3]));
}
void Put32(std::string &s, UInt32 v) {
  s.push_back(char(v >> 24));
  s.push_back(char(v >> 16));
  s.push_back(char(v >> 8));
  s.push_back(char(v));
}
void Put16(std::string &s, UInt16 v) {
  s.push_back(char(v >> 8));
  s.push_back(char(v));
}

std::string Join(const std::string &dir, const std::string &name) { return dir == "/" ? "/" + name : dir + "/" + name; }

bool Parse(const std::string &data, Sidecar &out) {
  out.entries.clear();
  if (data.size() < kHeaderSize || Load32(data, 0) != kMagic || Load32(data, 4) != kVersion)
    return false;
  const size_t count = (size_t(UInt8(data[24])) << 8) | UInt8(data[25]);
  if (kHeaderSize + count * kEntrySize > data.size())
    return false;
  for (size_t i = 0; i < count; ++i) {
    const size_t at = kHeaderSize + i * kEntrySize;
    const UInt32 id = Load32(data, at), offset = Load32(data, at + 4), length = Load32(data, at + 8);
    if (UInt64(offset) + length > data.size())
      return false;
    out.entries.push_back({id, data.substr(offset, length)});
  }
  return true;
}

} // namespace

const std::string *Sidecar::Find(UInt32 id) const {
  for (const Entry &e : entries)
    if (e.id == id)
      return &e.data;
  return nullptr;
}

void Sidecar::Set(UInt32 id, std::string data) {
  for (Entry &e : entries)
    if (e.id == id) {
      e.data = std::move(data);
      return;
    }
  entries.push_back({id, std::move(data)});
}

bool Sidecar::AllDefault() const {
  for (const Entry &e : entries) {
    if (e.id == kSidecarFinderInfo) {
      if (std::any_of(e.data.begin(), e.data.end(), [](char c) { return c != 0; }))
        return false;
    } else if (e.id == kSidecarResourceFork) {
      if (!e.data.empty())
        return false;
    } else {
      return false;
    }
  }
  return true;
}

std::string SidecarName(const std::string &disk) { return "._" + disk; }

OSErr LoadSidecar(const std::string &dirPath, const std::string &disk, Sidecar &out) {
  out.entries.clear();
  posix::UniqueFd dir;
  if (OSErr e = posix::OpenDirectory(dirPath, dir))
    return e;
  std::string data;
  OSErr e = posix::ReadFileAt(dir.get(), SidecarName(disk), data, kMaxSidecar);
  if (e == fnfErr)
    return noErr;
  if (e)
    return e;
  if (!Parse(data, out))
    out.entries.clear();
  return noErr;
}

OSErr StoreSidecar(const std::string &dirPath, const std::string &disk, const Sidecar &sc) {
  const std::string path = Join(dirPath, SidecarName(disk));
  if (sc.AllDefault())
    return RemoveSidecar(dirPath, disk);
  // Finder information first, the resource fork (which may grow) last,
  // everything else in between in its old order.
  std::vector<const Sidecar::Entry *> order;
  for (const auto &e : sc.entries)
    if (e.id == kSidecarFinderInfo)
      order.push_back(&e);
  for (const auto &e : sc.entries)
    if (e.id != kSidecarFinderInfo && e.id != kSidecarResourceFork)
      order.push_back(&e);
  for (const auto &e : sc.entries)
    if (e.id == kSidecarResourceFork)
      order.push_back(&e);
  UInt64 total = kHeaderSize + order.size() * kEntrySize;
  for (const auto *e : order)
    total += e->data.size();
  if (total > 0xFFFFFFFFull)
    return dskFulErr;
  std::string out;
  out.reserve(size_t(total));
  Put32(out, kMagic);
  Put32(out, kVersion);
  out.append(16, '\0');
  Put16(out, UInt16(order.size()));
  UInt32 offset = UInt32(kHeaderSize + order.size() * kEntrySize);
  for (const auto *e : order) {
    Put32(out, e->id);
    Put32(out, offset);
    Put32(out, UInt32(e->data.size()));
    offset += UInt32(e->data.size());
  }
  for (const auto *e : order)
    out += e->data;

  // The new file's name begins with "._" too, so listings never show it.
  const std::string temp = path + ".new";
  posix::UniqueFd fd;
  if (OSErr e = posix::OpenFile(temp, O_WRONLY | O_CREAT | O_TRUNC, 0644, fd))
    return e;
  OSErr e = posix::PWrite(fd.get(), out.data(), out.size(), 0);
  fd.Reset();
  if (e == noErr)
    e = posix::Rename(temp, path);
  if (e)
    posix::Unlink(temp);
  return e;
}

OSErr RemoveSidecar(const std::string &dirPath, const std::string &disk) {
  OSErr e = posix::Unlink(Join(dirPath, SidecarName(disk)));
  return e == fnfErr ? noErr : e;
}

OSErr MoveSidecar(const std::string &fromDir, const std::string &fromDisk, const std::string &toDir,
                  const std::string &toDisk) {
  const std::string from = Join(fromDir, SidecarName(fromDisk));
  const std::string to = Join(toDir, SidecarName(toDisk));
  struct stat st;
  if (posix::Stat(from, st) == fnfErr)
    return RemoveSidecar(toDir, toDisk); // nothing to carry; drop a stale one
  return posix::Rename(from, to);
}

std::string EmptyResourceFork() {
  // Header: data at 256, map at 256, no data, a 30-byte map; then the
  // reserved area up to 256. The map repeats the header, leaves the handle,
  // file number and attributes zero, puts the type list at 28 and the name
  // list at 30 (both right after the map header), and counts -1 + 1 = 0
  // types.
  constexpr UInt32 kDataOffset = 256, kMapOffset = 256, kDataLength = 0, kMapLength = 30;
  std::string r;
  Put32(r, kDataOffset);
  Put32(r, kMapOffset);
  Put32(r, kDataLength);
  Put32(r, kMapLength);
  r.resize(256, '\0');
  Put32(r, kDataOffset);
  Put32(r, kMapOffset);
  Put32(r, kDataLength);
  Put32(r, kMapLength);
  Put32(r, 0); // next map
  Put16(r, 0); // file reference
  Put16(r, 0); // attributes
  Put16(r, 28); // type list offset from the map's start
  Put16(r, 30); // name list offset
  Put16(r, 0xFFFF); // number of types minus one
  return r;
}

} // namespace ql::platform::files
