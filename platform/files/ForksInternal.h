// Shared pieces of the File Manager's content calls: AppleDouble sidecars
// read and written whole, the table of open forks, and resolving FSSpecs
// to catalog nodes. Everything here runs under the File Manager's lock.
#ifndef PLATFORM_FILES_FORKSINTERNAL_H
#define PLATFORM_FILES_FORKSINTERNAL_H

#include <string>
#include <vector>

#include "platform/files/FilesInternal.h"
#include "platform/files/Forks.h"

namespace ql::platform::files {

// AppleDouble entry IDs this platform writes.
constexpr UInt32 kSidecarResourceFork = 2;
constexpr UInt32 kSidecarDates = 8;
constexpr UInt32 kSidecarFinderInfo = 9;

// A whole sidecar: its entries in file order, unknown ones included.
struct Sidecar {
  struct Entry {
    UInt32 id;
    std::string data;
  };
  std::vector<Entry> entries;

  const std::string *Find(UInt32 id) const;
  // Replaces (or adds) the entry's data.
  void Set(UInt32 id, std::string data);
  // True when nothing differs from an item without a sidecar.
  bool AllDefault() const;
};

std::string SidecarName(const std::string &disk);
// Reads the sidecar of the item `disk` in folder dirPath. A missing sidecar
// reads as empty; a damaged one as empty too (it is replaced on the next
// store). Other read errors are returned.
OSErr LoadSidecar(const std::string &dirPath, const std::string &disk, Sidecar &out);
// Writes the sidecar in one step (a new file renamed over the old), or
// removes it when everything it holds is the default.
OSErr StoreSidecar(const std::string &dirPath, const std::string &disk, const Sidecar &sc);
// Removes the sidecar if there is one.
OSErr RemoveSidecar(const std::string &dirPath, const std::string &disk);
// Moves the sidecar along with its item; a stale sidecar at the new name is
// removed.
OSErr MoveSidecar(const std::string &fromDir, const std::string &fromDisk, const std::string &toDir,
                  const std::string &toDisk);

// The bytes of an empty resource fork: a header and an empty map.
std::string EmptyResourceFork();

// The node an FSSpec names (vRefNum 0: the default volume).
OSErr NodeOfSpec(const FSSpec &spec, Node &out);
SInt16 DefaultedVolume(SInt16 vRefNum);

// True when a fork of the file (dev, ino) is open.
bool FileIsOpen(dev_t dev, ino_t ino);
// After a rename made through our calls: open resource forks of the file
// write their sidecar under the new name.
void ForksFollowRename(dev_t dev, ino_t ino, const std::string &dirPath, const std::string &disk);
// The rewritten resource fork of an open file, after FSpCreateResFile:
// open paths of that fork see the new contents.
void ForksReloadResource(dev_t dev, ino_t ino, const std::string &data);
// The number of the application's own resource fork, opened read-only on
// first use; 0 when it cannot be opened.
SInt16 ApplicationForkRef();

} // namespace ql::platform::files

#endif
