// The catalog model: volumes from the mount table, the directory-ID
// registry, cached sorted listings revalidated against the directory's
// status on every use, and resolution of names, indexes and references to
// catalog nodes.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>

#include "platform/core/Internal.h"
#include "platform/files/FilesInternal.h"
#include "platform/text/MacRoman.h"

namespace ql::platform::files {

namespace txt = ql::platform::text;
using posix::UniqueFd;

namespace {

constexpr SInt16 kRootVolume = -1;
constexpr SInt16 kFirstTestVolume = -100;
constexpr SInt32 kFirstDirID = 16;
constexpr size_t kMaxListings = 64;
// A listing read less than this after its directory last changed may have
// missed a change made within the same timestamp tick: it is read again.
constexpr long long kRacyWindowNs = 20'000'000;

struct RefData {
  UInt32 magic;
  UInt32 processKey;
  SInt16 vol;
  UInt8 isDir;
  UInt8 reserved;
  SInt32 parentID;
  SInt32 nodeID;
  UInt64 dev;
  UInt64 ino;
};
static_assert(sizeof(RefData) <= sizeof(FSRef));
constexpr UInt32 kRefMagic = 0x51524546; // "QREF"

UInt32 ProcessKey() {
  static const UInt32 key = [] {
    std::random_device rd;
    UInt32 k = rd() ^ UInt32(::getpid());
    return k ? k : 1;
  }();
  return key;
}

struct DirKey {
  SInt16 vol;
  SInt32 id;
  bool operator==(const DirKey &) const = default;
};
struct DirKeyHash {
  size_t operator()(const DirKey &k) const { return std::hash<UInt64>()((UInt64(UInt16(k.vol)) << 32) | UInt32(k.id)); }
};
struct InodeKey {
  SInt16 vol;
  dev_t dev;
  ino_t ino;
  bool operator==(const InodeKey &) const = default;
};
struct InodeKeyHash {
  size_t operator()(const InodeKey &k) const {
    return std::hash<UInt64>()(UInt64(k.ino) * 1000003u ^ UInt64(k.dev) ^ UInt64(UInt16(k.vol)) << 48);
  }
};

struct Catalog {
  std::recursive_mutex lock;
  std::vector<Volume> volumes;
  bool volumesLoaded = false;
  SInt16 nextTestVolume = kFirstTestVolume;
  std::unordered_map<DirKey, DirRec, DirKeyHash> dirs;
  std::unordered_map<InodeKey, SInt32, InodeKeyHash> dirsByInode;
  SInt32 nextDirID = kFirstDirID;
  std::unordered_map<DirKey, std::unique_ptr<Listing>, DirKeyHash> listings;
  UInt64 useClock = 0;
};

Catalog &C() {
  static Catalog *c = new Catalog;
  return *c;
}

std::string Unescape(const std::string &s) {
  // Mount points escape space, tab, newline and backslash as \ooo.
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size()) {
      int v = (s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0');
      out.push_back(char(v));
      i += 3;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

bool IsPseudoFileSystem(const std::string &type) {
  static const char *const kPseudo[] = {"proc",     "sysfs",      "cgroup",   "cgroup2",   "devpts",
                                        "devtmpfs", "mqueue",     "securityfs", "debugfs", "tracefs",
                                        "pstore",   "bpf",        "autofs",   "fusectl",   "configfs",
                                        "hugetlbfs", "binfmt_misc", "nsfs",    "rpc_pipefs", "efivarfs"};
  for (const char *p : kPseudo)
    if (type == p)
      return true;
  return false;
}

std::string MacVolumeName(const std::string &root) {
  if (root == "/")
    return "Root";
  std::string base = root.substr(root.find_last_of('/') + 1);
  auto uni = txt::Utf8ToUtf16(base);
  std::optional<std::string> mac;
  if (uni)
    mac = txt::UnicodeToMacRoman(*uni);
  std::string name = mac ? *mac : std::string("Volume");
  if (name.size() > 27)
    name.resize(27);
  std::replace(name.begin(), name.end(), ':', '/');
  return name;
}

void LoadVolumes(Catalog &c) {
  if (c.volumesLoaded)
    return;
  c.volumesLoaded = true;
  std::vector<std::string> roots;
  std::ifstream in("/proc/self/mountinfo");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, devnum, root, mountPoint;
    fields >> id >> parent >> devnum >> root >> mountPoint;
    std::string tok;
    while (fields >> tok && tok != "-") {
    }
    std::string type;
    fields >> type;
    mountPoint = Unescape(mountPoint);
    if (mountPoint.empty() || mountPoint == "/" || IsPseudoFileSystem(type))
      continue;
    if (std::find(roots.begin(), roots.end(), mountPoint) == roots.end())
      roots.push_back(mountPoint);
  }
  std::sort(roots.begin(), roots.end());
  c.volumes.push_back(Volume{kRootVolume, "/", MacVolumeName("/"), false});
  SInt16 ref = kRootVolume - 1;
  for (const std::string &r : roots) {
    if (ref <= kFirstTestVolume)
      break;
    c.volumes.push_back(Volume{ref--, r, MacVolumeName(r), false});
  }
}

bool PathUnder(const std::string &path, const std::string &root) {
  if (root == "/")
    return true;
  return path.size() >= root.size() && path.compare(0, root.size(), root) == 0 &&
         (path.size() == root.size() || path[root.size()] == '/');
}

std::string Join(const std::string &dir, const std::string &name) {
  return dir == "/" ? "/" + name : dir + "/" + name;
}

long long Ns(const struct timespec &t) { return (long long)t.tv_sec * 1'000'000'000LL + t.tv_nsec; }

struct timespec Now() {
  struct timespec t;
  ::clock_gettime(CLOCK_REALTIME, &t);
  return t;
}

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char ch) { return UInt8(ch) < 0x80; });
}

UInt8 AsciiFold(UInt8 c) { return (c >= 'a' && c <= 'z') ? UInt8(c - 32) : c; }

bool CatalogLess(const std::string &a, const std::string &b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    UInt8 x = AsciiFold(UInt8(a[i])), y = AsciiFold(UInt8(b[i]));
    if (x != y)
      return x < y;
  }
  if (a.size() != b.size())
    return a.size() < b.size();
  return a < b;
}

// The short name of an item whose name an FSSpec cannot hold: as much of
// the name's Mac Roman start as fits, '#', the node ID in hexadecimal, and
// a short extension when the name has one.
std::string Mangle(const std::u16string &uni, const std::string &disk, UInt32 nodeID) {
  std::string start;
  for (char16_t c : uni) {
    auto m = txt::UnicodeToMacRoman(std::u16string_view(&c, 1));
    if (!m || (*m)[0] == '#' || ((*m)[0] == '.' && start.empty()))
      break;
    start += *m;
  }
  if (size_t dot = start.rfind('.'); dot != std::string::npos && dot > 0)
    start.resize(dot);
  std::string ext;
  if (size_t dot = disk.rfind('.'); dot != std::string::npos && dot > 0 && disk.size() - dot <= 6) {
    ext = disk.substr(dot);
    if (!std::all_of(ext.begin() + 1, ext.end(), [](char ch) {
          return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
        }))
      ext.clear();
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "#%X", nodeID);
  size_t room = 31 - std::strlen(hex) - ext.size();
  if (start.size() > room)
    start.resize(room);
  return start + hex + ext;
}

OSErr ReadListing(Catalog &c, Listing &l) {
  std::vector<posix::DirEntry> raw;
  struct timespec started = Now();
  if (OSErr e = posix::ReadDirectory(l.fd.get(), *l.path, raw))
    return e;
  struct stat st;
  if (OSErr e = posix::FStat(l.fd.get(), st))
    return e;
  l.mtime = st.st_mtim;
  l.ctime = st.st_ctim;
  l.nlink = st.st_nlink;
  l.dev = st.st_dev;
  l.readAt = started;
  l.indexed = false;
  l.byMac.clear();
  l.byFolded.clear();
  l.byLongMac.clear();
  l.byUni.clear();
  l.byIno.clear();

  std::vector<std::string> sidecars;
  std::vector<posix::DirEntry> items;
  items.reserve(raw.size());
  for (auto &d : raw) {
    if (d.name.size() > 2 && d.name[0] == '.' && d.name[1] == '_')
      sidecars.push_back(d.name.substr(2));
    else
      items.push_back(std::move(d));
  }
  std::sort(items.begin(), items.end(), [](const auto &a, const auto &b) { return CatalogLess(a.name, b.name); });
  std::sort(sidecars.begin(), sidecars.end());

  l.entries.clear();
  l.entries.reserve(items.size());
  std::unordered_map<std::string, UInt32> seen;
  for (auto &d : items) {
    Entry e;
    e.disk = std::move(d.name);
    e.ino = d.ino;
    e.type = d.type;
    e.sidecar = !sidecars.empty() && std::binary_search(sidecars.begin(), sidecars.end(), e.disk);
    bool needMangle;
    if (IsAscii(e.disk)) {
      // The common case: the Mac name is the name on disk with ':' read as
      // '/', and no two ASCII names can meet once converted.
      std::string mac = e.disk;
      std::replace(mac.begin(), mac.end(), ':', '/');
      needMangle = mac.size() > 31;
      if (needMangle)
        e.longMac = std::move(mac);
      else
        e.mac = std::move(mac);
    } else {
      needMangle = true;
      if (auto uni = txt::Utf8ToUtf16(e.disk)) {
        // ':' is the separator of Mac names; a ':' on disk reads as '/'.
        std::replace(uni->begin(), uni->end(), u':', u'/');
        e.uni = std::move(*uni);
        if (auto mac = txt::UnicodeToMacRoman(e.uni); mac && seen.emplace(*mac, 0).second) {
          needMangle = mac->size() > 31;
          if (needMangle)
            e.longMac = std::move(*mac);
          else
            e.mac = std::move(*mac);
        }
        // A name that composes like an earlier one (NFC and NFD forms of one
        // name) is reached by its mangled name.
      }
    }
    if (needMangle) {
      bool isDir = e.type == DT_DIR;
      struct stat st{};
      if (e.type == DT_UNKNOWN || isDir) {
        if (posix::StatAt(l.fd.get(), *l.path, e.disk, st) == noErr && S_ISDIR(st.st_mode))
          isDir = true;
      }
      UInt32 id = isDir ? UInt32(RegisterDir(l.vol, l.dirID, Join(*l.path, e.disk), st.st_dev, st.st_ino))
                        : FileNumber(e.ino);
      std::u16string uni = EntryUni(e);
      const bool validUtf8 = IsAscii(e.disk) || !e.uni.empty();
      e.mac = Mangle(uni, e.disk, id);
      if (!validUtf8)
        e.uni = txt::MacRomanToUnicode(e.mac); // no Unicode form: the short name serves
    }
    l.entries.push_back(std::move(e));
  }
  return noErr;
}

void EnsureIndexed(Listing &l) {
  if (l.indexed)
    return;
  for (UInt32 i = 0; i < l.entries.size(); ++i) {
    const Entry &e = l.entries[i];
    l.byMac.emplace(e.mac, i);
    l.byFolded.emplace(FoldMac(e.mac), i);
    if (!e.longMac.empty()) {
      l.byLongMac.emplace(e.longMac, i);
      l.byFolded.emplace(FoldMac(e.longMac), i);
    }
    l.byUni.emplace(EntryUni(e), i);
    l.byIno.emplace(e.ino, i);
  }
  l.indexed = true;
}

OSErr NodeFromEntry(Catalog &c, Listing &l, UInt32 index, Node &out) {
  const Entry &e = l.entries[index];
  Node n;
  if (!NeedAttributes::Needed() && (e.type == DT_REG || e.type == DT_LNK)) {
    // Identity only: the listing, just revalidated, holds the file's inode.
    std::memset(&n.st, 0, sizeof n.st);
    n.st.st_dev = l.dev;
    n.st.st_ino = e.ino;
    n.st.st_mode = e.type == DT_REG ? S_IFREG : S_IFLNK;
    n.hasAttributes = false;
  } else if (OSErr err = posix::StatAt(l.fd.get(), *l.path, e.disk, n.st)) {
    return err;
  }
  n.vol = l.vol;
  n.parentID = l.dirID;
  n.isDir = S_ISDIR(n.st.st_mode);
  n.mac = e.mac;
  n.uni = e.uni;
  n.dirPath = l.path;
  n.disk = e.disk;
  if (e.sidecar && NeedAttributes::Needed())
    n.meta = ReadSidecar(l.fd.get(), "._" + e.disk);
  if (n.isDir) {
    n.nodeID = RegisterDir(l.vol, l.dirID, n.Path(), n.st.st_dev, n.st.st_ino);
    // The valence needs the folder's own listing; `l` may be evicted by it,
    // so nothing below touches `l`.
    const DirRec *child;
    Listing *cl;
    if (NeedAttributes::Needed() && ResolveDir(n.vol, n.nodeID, child) == noErr && GetListing(*child, cl) == noErr)
      n.valence = UInt32(cl->entries.size());
  } else {
    n.nodeID = SInt32(FileNumber(n.st.st_ino));
  }
  out = std::move(n);
  return noErr;
}

OSErr VolumeRootNode(Catalog &c, const Volume &v, Node &out) {
  const DirRec *d;
  if (OSErr e = ResolveDir(v.ref, fsRtDirID, d))
    return e;
  Node n;
  if (OSErr e = posix::Stat(d->path, n.st, true))
    return e == fnfErr ? nsvErr : e;
  if (n.st.st_dev != d->dev || n.st.st_ino != d->ino)
    return nsvErr;
  n.vol = v.ref;
  n.parentID = fsRtParID;
  n.nodeID = fsRtDirID;
  n.isDir = true;
  n.mac = v.name;
  n.uni = txt::MacRomanToUnicode(v.name);
  n.dirPath = std::make_shared<const std::string>(d->path);
  Listing *l;
  if (GetListing(*d, l) == noErr)
    n.valence = UInt32(l->entries.size());
  out = std::move(n);
  return noErr;
}

// One component, by Mac Roman name, inside a directory.
OSErr LookupComponent(SInt16 vol, SInt32 dirID, std::string_view name, Node &out) {
  Catalog &c = C();
  const DirRec *d;
  if (OSErr e = ResolveDir(vol, dirID, d))
    return e;
  Listing *l;
  if (OSErr e = GetListing(*d, l))
    return e;
  EnsureIndexed(*l);
  // The exact name first (it tells apart names that differ only in case),
  // then the whole name, then any case.
  std::string key(name);
  UInt32 index;
  if (auto it = l->byMac.find(key); it != l->byMac.end())
    index = it->second;
  else if (auto lit = l->byLongMac.find(key); lit != l->byLongMac.end())
    index = lit->second;
  else if (auto fit = l->byFolded.find(FoldMac(key)); fit != l->byFolded.end())
    index = fit->second;
  else
    return fnfErr;
  return NodeFromEntry(c, *l, index, out);
}

} // namespace

std::recursive_mutex &Lock() { return C().lock; }

thread_local bool NeedAttributes::sNeed = true;

const std::vector<Volume> &Volumes() {
  LoadVolumes(C());
  return C().volumes;
}

const Volume *VolumeByRef(SInt16 ref) {
  for (const Volume &v : Volumes())
    if (v.ref == ref)
      return &v;
  return nullptr;
}

const Volume &VolumeForPath(const std::string &absPath) {
  const std::vector<Volume> &vols = Volumes();
  const Volume *best = &vols.front();
  for (const Volume &v : vols)
    if (PathUnder(absPath, v.root) && v.root.size() >= best->root.size())
      best = &v; // test volumes come later and win ties
  return *best;
}

OSErr AddTestVolume(const std::string &dir, SInt16 &ref) {
  Catalog &c = C();
  LoadVolumes(c);
  struct stat st;
  if (OSErr e = posix::Stat(dir, st, true))
    return e;
  if (!S_ISDIR(st.st_mode))
    return dirNFErr;
  char *real = ::realpath(dir.c_str(), nullptr);
  if (real == nullptr)
    return ErrnoToOSErr(errno);
  std::string root(real);
  std::free(real);
  ref = c.nextTestVolume--;
  c.volumes.push_back(Volume{ref, root, MacVolumeName(root), true});
  return noErr;
}

OSErr RemoveTestVolume(SInt16 ref) {
  Catalog &c = C();
  auto it = std::find_if(c.volumes.begin(), c.volumes.end(), [&](const Volume &v) { return v.ref == ref && v.test; });
  if (it == c.volumes.end())
    return nsvErr;
  c.volumes.erase(it);
  for (auto l = c.listings.begin(); l != c.listings.end();)
    l = l->first.vol == ref ? c.listings.erase(l) : std::next(l);
  return noErr;
}

SInt32 RegisterDir(SInt16 vol, SInt32 parent, const std::string &path, dev_t dev, ino_t ino) {
  Catalog &c = C();
  auto found = c.dirsByInode.find(InodeKey{vol, dev, ino});
  if (found != c.dirsByInode.end()) {
    DirRec &d = c.dirs[DirKey{vol, found->second}];
    if (d.parent != fsRtParID) {
      d.parent = parent; // the directory may have moved
      d.path = path;
    }
    return found->second;
  }
  SInt32 id = c.nextDirID++;
  c.dirs.emplace(DirKey{vol, id}, DirRec{vol, id, parent, path, dev, ino});
  c.dirsByInode.emplace(InodeKey{vol, dev, ino}, id);
  return id;
}

OSErr ResolveDir(SInt16 vol, SInt32 id, const DirRec *&out) {
  Catalog &c = C();
  if (id == 0)
    id = fsRtDirID;
  if (id == fsRtDirID) {
    const Volume *v = VolumeByRef(vol);
    if (v == nullptr)
      return nsvErr;
    auto it = c.dirs.find(DirKey{vol, fsRtDirID});
    if (it == c.dirs.end()) {
      struct stat st;
      if (OSErr e = posix::Stat(v->root, st, true))
        return e == fnfErr ? nsvErr : e;
      it = c.dirs.emplace(DirKey{vol, fsRtDirID}, DirRec{vol, fsRtDirID, fsRtParID, v->root, st.st_dev, st.st_ino}).first;
      c.dirsByInode.emplace(InodeKey{vol, st.st_dev, st.st_ino}, fsRtDirID);
    }
    out = &it->second;
    return noErr;
  }
  if (VolumeByRef(vol) == nullptr)
    return nsvErr;
  auto it = c.dirs.find(DirKey{vol, id});
  if (it == c.dirs.end())
    return dirNFErr;
  out = &it->second;
  return noErr;
}

// Finds a registered directory's current path through its parent's
// listing (by inode), after the directory or a folder above it moved.
bool RelocateDir(const DirRec &dir) {
  Catalog &c = C();
  if (dir.parent == fsRtParID)
    return false;
  auto pit = c.dirs.find(DirKey{dir.vol, dir.parent});
  if (pit == c.dirs.end())
    return false;
  Listing *pl;
  if (GetListing(pit->second, pl) != noErr)
    return false;
  EnsureIndexed(*pl);
  auto found = pl->byIno.find(dir.ino);
  if (found == pl->byIno.end())
    return false;
  const std::string path = Join(*pl->path, pl->entries[found->second].disk);
  const_cast<DirRec &>(dir).path = path;
  return true;
}

// Checks that a registered directory still stands at its recorded path,
// finding it again through its parents when a folder above it moved.
bool VerifyDirPath(const DirRec &dir) {
  struct stat st;
  if (posix::Stat(dir.path, st) == noErr && st.st_dev == dir.dev && st.st_ino == dir.ino)
    return true;
  if (dir.parent == fsRtParID)
    return false;
  auto pit = C().dirs.find(DirKey{dir.vol, dir.parent});
  if (pit == C().dirs.end() || !VerifyDirPath(pit->second))
    return false;
  return RelocateDir(dir);
}

OSErr NodeCurrentPath(const Node &n, std::string &out) {
  // A cached listing serves a moved directory's items correctly, but its
  // recorded path may be old: check it before handing a path out.
  const SInt32 dirID = n.isDir ? n.nodeID : n.parentID;
  if (n.disk.empty() || dirID == fsRtParID) {
    out = n.Path();
    return noErr;
  }
  auto it = C().dirs.find(DirKey{n.vol, dirID});
  if (it == C().dirs.end())
    return fnfErr;
  if (!VerifyDirPath(it->second))
    return fnfErr;
  out = n.isDir ? it->second.path : Join(it->second.path, n.disk);
  return noErr;
}

OSErr GetListing(const DirRec &dir, Listing *&out) {
  Catalog &c = C();
  if (OSErr e = posix::InjectedError(dir.path, posix::Op::List))
    return e;
  DirKey key{dir.vol, dir.id};
  auto it = c.listings.find(key);
  if (it != c.listings.end()) {
    Listing &l = *it->second;
    if (*l.path != dir.path) // the directory moved: its items are now there
      l.path = std::make_shared<const std::string>(dir.path);
    struct stat st;
    if (posix::FStat(l.fd.get(), st) != noErr || st.st_nlink == 0) {
      c.listings.erase(it);
      return dirNFErr;
    }
    l.lastUse = ++c.useClock;
    bool same = Ns(st.st_mtim) == Ns(l.mtime) && Ns(st.st_ctim) == Ns(l.ctime) && st.st_nlink == l.nlink;
    bool racy = Ns(l.readAt) - std::max(Ns(l.mtime), Ns(l.ctime)) < kRacyWindowNs;
    if (!same || racy) {
      if (OSErr e = ReadListing(c, l)) {
        c.listings.erase(key);
        return e;
      }
    }
    out = &l;
    return noErr;
  }
  auto l = std::make_unique<Listing>();
  l->vol = dir.vol;
  l->dirID = dir.id;
  OSErr opened = posix::OpenDirectory(dir.path, l->fd);
  struct stat st;
  if (opened == noErr)
    opened = posix::FStat(l->fd.get(), st);
  if (opened != noErr || st.st_dev != dir.dev || st.st_ino != dir.ino) {
    // The directory is gone from its path, or another stands there: it may
    // have moved with a folder above it. Find it again through its parent.
    if (!RelocateDir(dir))
      return opened == noErr || opened == fnfErr ? dirNFErr : opened;
    l->fd.Reset();
    if (OSErr e = posix::OpenDirectory(dir.path, l->fd))
      return e;
    if (OSErr e = posix::FStat(l->fd.get(), st))
      return e;
    if (st.st_dev != dir.dev || st.st_ino != dir.ino)
      return dirNFErr;
  }
  l->path = std::make_shared<const std::string>(dir.path);
  if (OSErr e = ReadListing(c, *l))
    return e;
  if (c.listings.size() >= kMaxListings) {
    auto victim = std::min_element(c.listings.begin(), c.listings.end(),
                                   [](const auto &a, const auto &b) { return a.second->lastUse < b.second->lastUse; });
    c.listings.erase(victim);
  }
  l->lastUse = ++c.useClock;
  out = l.get();
  c.listings.emplace(key, std::move(l));
  return noErr;
}

OSErr NodeByIndex(SInt16 vol, SInt32 dirID, SInt32 index, Node &out) {
  const DirRec *d;
  if (OSErr e = ResolveDir(vol, dirID, d))
    return e;
  Listing *l;
  if (OSErr e = GetListing(*d, l))
    return e;
  if (index < 1 || size_t(index) > l->entries.size())
    return fnfErr;
  return NodeFromEntry(C(), *l, UInt32(index - 1), out);
}

OSErr NodeOfDir(SInt16 vol, SInt32 dirID, Node &out) {
  Catalog &c = C();
  if (dirID == fsRtParID)
    return fnfErr;
  const DirRec *d;
  if (OSErr e = ResolveDir(vol, dirID, d))
    return e;
  if (d->parent == fsRtParID)
    return VolumeRootNode(c, *VolumeByRef(vol), out);
  const ino_t ino = d->ino;
  const dev_t dev = d->dev;
  const DirRec *parent;
  if (OSErr e = ResolveDir(vol, d->parent, parent))
    return e == nsvErr ? e : dirNFErr;
  Listing *l;
  if (OSErr e = GetListing(*parent, l))
    return e == dirNFErr ? dirNFErr : e;
  EnsureIndexed(*l);
  auto it = l->byIno.find(ino);
  if (it == l->byIno.end())
    return dirNFErr;
  Node n;
  if (OSErr e = NodeFromEntry(c, *l, it->second, n))
    return e == fnfErr ? dirNFErr : e;
  if (!n.isDir || n.st.st_dev != dev || n.st.st_ino != ino)
    return dirNFErr;
  out = std::move(n);
  return noErr;
}

OSErr NodeByName(SInt16 vol, SInt32 dirID, std::string_view name, Node &out) {
  if (name.empty())
    return NodeOfDir(vol, dirID, out);
  if (dirID == fsRtParID && name.find(':') == std::string_view::npos) {
    // The parent of a volume's root holds just the root, by the volume's name.
    const Volume *v = VolumeByRef(vol);
    if (v == nullptr)
      return nsvErr;
    if (FoldMac(v->name) != FoldMac(name))
      return fnfErr;
    return VolumeRootNode(C(), *v, out);
  }
  if (name.find(':') == std::string_view::npos)
    return LookupComponent(vol, dirID, name, out);
  // A path: ":a:b" is relative to dirID, "Vol:a:b" starts at a volume's
  // root; each further empty component ("::") steps up to the parent.
  size_t pos = 0;
  SInt32 cur = dirID;
  if (name[0] != ':') {
    size_t colon = name.find(':');
    std::string volName(name.substr(0, colon));
    const Volume *found = nullptr;
    for (const Volume &v : Volumes())
      if (FoldMac(v.name) == FoldMac(volName))
        found = &v;
    if (found == nullptr)
      return nsvErr;
    vol = found->ref;
    cur = fsRtDirID;
    pos = colon + 1;
  } else {
    pos = 1;
  }
  Node n;
  bool haveNode = false;
  while (true) {
    size_t colon = name.find(':', pos);
    std::string_view comp = name.substr(pos, colon == std::string_view::npos ? std::string_view::npos : colon - pos);
    bool last = colon == std::string_view::npos;
    if (comp.empty()) {
      if (last)
        break;
      const DirRec *d;
      if (OSErr e = ResolveDir(vol, cur, d))
        return e;
      if (d->parent == fsRtParID)
        return dirNFErr;
      cur = d->parent;
      haveNode = false;
    } else {
      if (OSErr e = LookupComponent(vol, cur, comp, n))
        return (e == fnfErr && !last) ? dirNFErr : e;
      haveNode = true;
      if (last)
        break;
      if (!n.isDir)
        return dirNFErr;
      cur = n.nodeID;
    }
    pos = colon + 1;
  }
  if (haveNode) {
    out = std::move(n);
    return noErr;
  }
  return NodeOfDir(vol, cur, out);
}

OSErr NodeByUnicode(SInt16 vol, SInt32 dirID, std::u16string_view name, Node &out) {
  if (name.empty())
    return NodeOfDir(vol, dirID, out);
  const DirRec *d;
  if (OSErr e = ResolveDir(vol, dirID, d))
    return e;
  Listing *l;
  if (OSErr e = GetListing(*d, l))
    return e;
  EnsureIndexed(*l);
  auto it = l->byUni.find(std::u16string(name));
  // (ASCII names are indexed by their widened form.)
  if (it != l->byUni.end())
    return NodeFromEntry(C(), *l, it->second, out);
  // Another form of the same name: decomposed, other case, or mangled.
  auto mac = txt::UnicodeToMacRoman(name);
  if (!mac || mac->find(':') != std::string::npos)
    return fnfErr;
  return LookupComponent(vol, dirID, *mac, out);
}

OSErr NodeByPath(const std::string &absPath, Node &out) {
  if (absPath.empty() || absPath[0] != '/')
    return paramErr;
  // Lexically normalise: no ".", "..", or repeated slashes.
  std::vector<std::string> parts;
  std::stringstream ss(absPath);
  std::string part;
  while (std::getline(ss, part, '/')) {
    if (part.empty() || part == ".")
      continue;
    if (part == "..") {
      if (!parts.empty())
        parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string path = "/";
  for (size_t i = 0; i < parts.size(); ++i)
    path = Join(path, parts[i]);
  const Volume &v = VolumeForPath(path);
  const DirRec *root;
  if (OSErr e = ResolveDir(v.ref, fsRtDirID, root))
    return e;
  // Components below the volume's root.
  std::vector<std::string> below;
  {
    std::string rest = v.root == "/" ? path : path.substr(v.root.size());
    std::stringstream rs(rest);
    while (std::getline(rs, part, '/'))
      if (!part.empty())
        below.push_back(part);
  }
  if (below.empty())
    return VolumeRootNode(C(), v, out);
  SInt32 cur = fsRtDirID;
  std::string curPath = v.root;
  for (size_t i = 0; i < below.size(); ++i) {
    std::string childPath = Join(curPath, below[i]);
    struct stat st;
    if (OSErr e = posix::Stat(childPath, st))
      return (e == fnfErr && i + 1 < below.size()) ? dirNFErr : e;
    if (i + 1 < below.size()) {
      if (!S_ISDIR(st.st_mode))
        return dirNFErr;
      cur = RegisterDir(v.ref, cur, childPath, st.st_dev, st.st_ino);
      curPath = childPath;
      continue;
    }
    const DirRec *d;
    if (OSErr e = ResolveDir(v.ref, cur, d))
      return e;
    Listing *l;
    if (OSErr e = GetListing(*d, l))
      return e;
    EnsureIndexed(*l);
    auto it = l->byIno.find(st.st_ino);
    if (it == l->byIno.end() || l->entries[it->second].disk != below[i]) {
      // A hard link, or a listing older than the item: find it by name.
      auto byName = std::find_if(l->entries.begin(), l->entries.end(), [&](const Entry &e) { return e.disk == below[i]; });
      if (byName == l->entries.end())
        return fnfErr;
      return NodeFromEntry(C(), *l, UInt32(byName - l->entries.begin()), out);
    }
    return NodeFromEntry(C(), *l, it->second, out);
  }
  return fnfErr;
}

void MakeRef(const Node &n, FSRef &ref) {
  RefData d{};
  d.magic = kRefMagic;
  d.processKey = ProcessKey();
  d.vol = n.vol;
  d.isDir = n.isDir ? 1 : 0;
  d.parentID = n.parentID;
  d.nodeID = n.nodeID;
  d.dev = UInt64(n.st.st_dev);
  d.ino = UInt64(n.st.st_ino);
  std::memset(&ref, 0, sizeof ref);
  std::memcpy(&ref, &d, sizeof d);
}

OSErr NodeFromRef(const FSRef &ref, Node &out) {
  RefData d;
  std::memcpy(&d, &ref, sizeof d);
  if (d.magic != kRefMagic || d.processKey != ProcessKey())
    return errFSBadFSRef;
  Node n;
  if (d.isDir) {
    if (OSErr e = NodeOfDir(d.vol, d.nodeID, n))
      return e == dirNFErr ? fnfErr : e;
  } else {
    const DirRec *dir;
    if (OSErr e = ResolveDir(d.vol, d.parentID, dir))
      return e == dirNFErr ? fnfErr : e;
    Listing *l;
    if (OSErr e = GetListing(*dir, l))
      return e == dirNFErr ? fnfErr : e;
    EnsureIndexed(*l);
    auto it = l->byIno.find(ino_t(d.ino));
    if (it == l->byIno.end())
      return fnfErr;
    if (OSErr e = NodeFromEntry(C(), *l, it->second, n))
      return e;
  }
  if (UInt64(n.st.st_dev) != d.dev || UInt64(n.st.st_ino) != d.ino)
    return fnfErr;
  out = std::move(n);
  return noErr;
}

std::string Node::Path() const { return disk.empty() ? *dirPath : Join(*dirPath, disk); }

std::u16string Node::Uni() const {
  if (!uni.empty() || disk.empty())
    return uni;
  std::u16string out(disk.begin(), disk.end());
  std::replace(out.begin(), out.end(), u':', u'/');
  return out;
}

std::u16string EntryUni(const Entry &e) {
  if (!e.uni.empty())
    return e.uni;
  std::u16string out(e.disk.begin(), e.disk.end());
  std::replace(out.begin(), out.end(), u':', u'/');
  return out;
}

std::string FoldMac(std::string_view mac) {
  std::string out(mac);
  for (char &ch : out)
    ch = char(txt::MacRomanUpper(UInt8(ch)));
  return out;
}

std::optional<std::string> DiskNameFromMac(std::string_view mac) {
  std::u16string uni = txt::MacRomanToUnicode(mac);
  std::replace(uni.begin(), uni.end(), u'/', u':');
  return txt::Utf16ToUtf8(uni);
}

UInt32 FileNumber(ino_t ino) {
  UInt64 v = UInt64(ino);
  UInt32 folded = UInt32(v ^ (v >> 31)) & 0x7FFFFFFF;
  return folded < UInt32(kFirstDirID) ? folded + UInt32(kFirstDirID) : folded;
}

UInt32 MacLocalSeconds(const struct timespec &t) {
  // Mac time counts local seconds from 1904-01-01; 2082844800 seconds lie
  // between 1904 and 1970.
  time_t secs = t.tv_sec;
  struct tm local;
  ::localtime_r(&secs, &local);
  return UInt32(SInt64(secs) + 2082844800LL + local.tm_gmtoff);
}

} // namespace ql::platform::files

extern "C" {

OSErr PlatformAddTestVolume(const char *directory, SInt16 *vRefNum) noexcept {
  namespace f = ql::platform::files;
  if (directory == nullptr || vRefNum == nullptr)
    return paramErr;
  return ql::platform::Barrier([&]() -> OSErr {
    std::lock_guard g(f::Lock());
    return f::AddTestVolume(directory, *vRefNum);
  });
}

OSErr PlatformRemoveTestVolume(SInt16 vRefNum) noexcept {
  namespace f = ql::platform::files;
  std::lock_guard g(f::Lock());
  return f::RemoveTestVolume(vRefNum);
}

void PlatformResetCatalogCache(void) noexcept {
  namespace f = ql::platform::files;
  std::lock_guard g(f::Lock());
  f::C().listings.clear();
}

SInt32 PlatformCachedListingCount(void) noexcept {
  namespace f = ql::platform::files;
  std::lock_guard g(f::Lock());
  return SInt32(f::C().listings.size());
}

SInt32 PlatformDirectoryIDCount(void) noexcept {
  namespace f = ql::platform::files;
  std::lock_guard g(f::Lock());
  return SInt32(f::C().dirs.size());
}

} // extern "C"
