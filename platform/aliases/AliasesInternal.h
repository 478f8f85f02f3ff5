// Alias records as values: building, parsing and resolving them by path.
// Shared by the Alias Manager's calls and the Apple Event Manager's file
// coercions.
#ifndef PLATFORM_ALIASES_ALIASESINTERNAL_H
#define PLATFORM_ALIASES_ALIASESINTERNAL_H

#include <span>
#include <string>

#include "platform/aliases/Aliases.h"

namespace ql::platform::aliases {

enum : UInt16 { kFlagFolder = 1, kFlagMinimal = 2, kFlagMissing = 4 };

struct Record {
  OSType userType = 0;
  UInt16 flags = 0;
  UInt64 dev = 0, ino = 0;
  std::string path;   // absolute POSIX path of the target
  std::string from;   // absolute POSIX path of the "from" file, or empty
  std::string volume; // Mac Roman
  std::string name;   // Mac Roman
};

// Parses a whole record; false for anything malformed.
bool Parse(std::span<const UInt8> bytes, Record &out);
// The record's bytes; paramErr when it would exceed 65535 bytes.
OSErr Serialize(const Record &r, std::string &out);

// A record for the item at an absolute path (which must exist unless
// allowMissing; its folder must exist in any case).
OSErr RecordForPath(const std::string &target, const std::string &from, bool minimal, bool allowMissing,
                    Record &out);
// Finds the record's target. newFrom (may be null) is the caller's "from"
// file. changed is true when the item found is not the one recorded.
OSErr Resolve(const Record &r, const std::string *newFrom, std::string &found, bool &changed);

// Conversions between the File Manager's records and absolute paths.
OSErr PathOfRef(const FSRef &ref, std::string &out);
OSErr PathOfSpec(const FSSpec &spec, std::string &out);
OSErr RefOfPath(const std::string &path, FSRef &out);
OSErr SpecOfPath(const std::string &path, FSSpec &out);

} // namespace ql::platform::aliases

#endif
