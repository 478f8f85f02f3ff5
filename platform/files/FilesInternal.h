// The File Manager's catalog model: volumes, the directory-ID registry, the
// cache of sorted directory listings, and resolved catalog nodes. Shared by
// the File Manager's exported calls and the Folder Manager.
#ifndef PLATFORM_FILES_FILESINTERNAL_H
#define PLATFORM_FILES_FILESINTERNAL_H

#include <sys/stat.h>

#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/files/Files.h"
#include "platform/posix/Posix.h"

namespace ql::platform::files {

struct Volume {
  SInt16 ref;
  std::string root; // absolute path of the mount point or test directory
  std::string name; // Mac Roman volume name
  bool test;
};

// A registered directory. Its ID is never reused; every use re-checks that
// the directory at `path` is still the same device and inode.
struct DirRec {
  SInt16 vol;
  SInt32 id;
  SInt32 parent; // fsRtParID for a volume's root
  std::string path;
  dev_t dev;
  ino_t ino;
};

// One item of a directory listing, in catalog order.
struct Entry {
  std::string disk;      // name on disk (bytes)
  std::string mac;       // name reported in FSSpecs: Mac Roman, at most 31 bytes
  std::string longMac;   // the whole name in Mac Roman when that differs from mac, else empty
  std::u16string uni;    // the long name in UTF-16; empty for ASCII names (see EntryUni)
  ino_t ino;
  unsigned char type;    // DT_* from the directory, DT_UNKNOWN when not known
  bool sidecar = false;  // a "._name" AppleDouble file exists beside it
};

struct Listing {
  SInt16 vol;
  SInt32 dirID;
  std::shared_ptr<const std::string> path;
  posix::UniqueFd fd;
  struct timespec mtime, ctime;
  nlink_t nlink;
  dev_t dev;
  struct timespec readAt;
  std::vector<Entry> entries;
  // Lookup indexes, built on the first lookup by name.
  bool indexed = false;
  std::unordered_map<std::string, UInt32> byMac, byFolded, byLongMac;
  std::unordered_map<std::u16string, UInt32> byUni;
  std::unordered_map<ino_t, UInt32> byIno;
  UInt64 lastUse = 0;
};

// Finder information, dates and resource-fork length from a sidecar.
struct Metadata {
  bool present = false;
  std::array<UInt8, 32> finderInfo{}; // FInfo/DInfo then FXInfo/DXInfo, big-endian
  bool hasDates = false;
  SInt32 createDate = 0, modDate = 0, backupDate = 0, accessDate = 0; // seconds since 2000 UTC
  UInt32 rsrcLength = 0;
};

// A resolved catalog node: an existing file or folder.
struct Node {
  SInt16 vol;
  SInt32 parentID;  // fsRtParID for a volume root
  SInt32 nodeID;    // directory ID, or a file's number
  bool isDir;
  std::string mac;  // short name
  std::u16string uni; // long name; empty when it is the ASCII name on disk
  std::shared_ptr<const std::string> dirPath; // the containing folder's path
  std::string disk; // name on disk; empty for a volume root (dirPath is its path)
  struct stat st;   // only st_dev, st_ino and the file type when !hasAttributes
  bool hasAttributes = true;
  Metadata meta;
  UInt32 valence = 0;

  std::string Path() const;
  std::u16string Uni() const;
};

// The long name of a listing entry in UTF-16.
std::u16string EntryUni(const Entry &e);

// Whether resolving a node must read the item's own status (mode, sizes,
// dates, Finder information). Calls that only need an item's identity and
// name (making references and specs, paths, comparisons) turn it off for
// their extent: a file's listing entry, revalidated against its directory,
// already proves that the item exists with that inode.
class NeedAttributes {
public:
  explicit NeedAttributes(bool need) : saved_(sNeed) { sNeed = need; }
  ~NeedAttributes() { sNeed = saved_; }
  NeedAttributes(const NeedAttributes &) = delete;
  NeedAttributes &operator=(const NeedAttributes &) = delete;
  static bool Needed() { return sNeed; }

private:
  static thread_local bool sNeed;
  bool saved_;
};

// Everything below runs under the File Manager's lock.
std::recursive_mutex &Lock();

const Volume *VolumeByRef(SInt16 ref);
const Volume &VolumeForPath(const std::string &absPath);
OSErr AddTestVolume(const std::string &dir, SInt16 &ref);
OSErr RemoveTestVolume(SInt16 ref);
const std::vector<Volume> &Volumes();

// The registered directory (vol, id), checked against the disk.
OSErr ResolveDir(SInt16 vol, SInt32 id, const DirRec *&out);
// Registers (or finds) a directory met on disk.
SInt32 RegisterDir(SInt16 vol, SInt32 parent, const std::string &path, dev_t dev, ino_t ino);
// The listing of a directory, read or revalidated.
OSErr GetListing(const DirRec &dir, Listing *&out);

OSErr NodeByIndex(SInt16 vol, SInt32 dirID, SInt32 index, Node &out);
// name: Mac Roman bytes; empty means the directory itself. May be a path
// with ':' separators.
OSErr NodeByName(SInt16 vol, SInt32 dirID, std::string_view name, Node &out);
OSErr NodeByUnicode(SInt16 vol, SInt32 dirID, std::u16string_view name, Node &out);
OSErr NodeOfDir(SInt16 vol, SInt32 dirID, Node &out);
OSErr NodeByPath(const std::string &absPath, Node &out);

// The node's path as it stands now, after any move of a folder above it.
OSErr NodeCurrentPath(const Node &n, std::string &out);

// FSRef encoding of a node, and back.
void MakeRef(const Node &n, FSRef &ref);
OSErr NodeFromRef(const FSRef &ref, Node &out);

// Names.
std::string FoldMac(std::string_view mac);
// Converts a Mac Roman name to its name on disk (UTF-8, '/' for ':').
std::optional<std::string> DiskNameFromMac(std::string_view mac);

// Sidecar reading.
Metadata ReadSidecar(int dirFd, const std::string &name);

// Dates: seconds since 1904 local time from a timespec.
UInt32 MacLocalSeconds(const struct timespec &t);
UInt32 FileNumber(ino_t ino);

} // namespace ql::platform::files

#endif
