// Internal pieces shared by the file-system helpers: the walk's state
// record and the indexed catalog lookup that never wraps.
#ifndef TOOLBOX_FILES_FILESCORE_H
#define TOOLBOX_FILES_FILESCORE_H

#include "toolbox/files/FileToolbox.h"

namespace ql::detail {

// One record per walk, on the caller's stack, cleared at the start.
struct FSIterateFolderState {
  Str255 name;                    // the current item's name; pb.ioNamePtr points here
  CInfoPBRec pb;                  // reused for every lookup
  SInt32 error;                   // the last catalog or alias error
  UInt32 maxDepth;                // 0: no limit
  UInt32 depth;                   // current level, 0 before the first
  UInt32 flags;                   // kIterateResolveAliases, kIterateIgnoreAliasErrors
  void *visited;                  // visited-folder set (alias-following mode)
  void *pool;                     // the set's node pool (alias-following mode)
  SInt32 callbackResult;          // the last value the callback returned
  FSIterateFolderProcPtr callback;
  void *userData;
  UInt8 key[8];                   // a visited-set key (alias-following mode)
  UInt32 alreadyPresent;          // the set's answer for the last key
  Boolean wasAliased;             // alias resolution's answer for the last item
};

// Looks up item `index` (1-based) of directory dirID into pb, by the
// 16-bit field while the index fits and by the platform's wide lookup past
// it. pb's ioNamePtr receives the item's name when not null.
OSErr GetIndexedCatInfo(CInfoPBRec &pb, SInt16 vRefNum, SInt32 dirID, UInt32 index) noexcept;

// True when the FSSpec's name fits its 63-byte field: a longer length byte
// would make every reader of the name run past the record.
inline bool SpecNameFits(const FSSpec *spec) noexcept { return spec != nullptr && spec->name[0] <= 63; }

// The walk's level procedure.
void FSIterateFolderLevel(SInt32 dirID, FSIterateFolderState &state) noexcept;

} // namespace ql::detail

#endif
