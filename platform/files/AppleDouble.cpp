// Reading AppleDouble (version 2) sidecars: the Finder information, the
// dates and the resource fork's length of the item they describe. Every
// offset is checked; a damaged sidecar reads as absent.
#include <cstring>

#include "platform/files/FilesInternal.h"

namespace ql::platform::files {

namespace {
constexpr UInt32 kAppleDoubleMagic = 0x00051607;
constexpr UInt32 kAppleDoubleVersion = 0x00020000;
constexpr UInt32 kEntryResourceFork = 2;
constexpr UInt32 kEntryDates = 8;
constexpr UInt32 kEntryFinderInfo = 9;
constexpr size_t kHeaderSize = 26;
constexpr size_t kEntrySize = 12;

UInt32 LoadBE32(const std::string &s, size_t at) {
  return (UInt32(UInt8(s[at])) << 24) | (UInt32(UInt8(s[at + 1])) << 16) | (UInt32(UInt8(s[at + 2])) << 8) |
         UInt32(UInt8(s[at + 3]));
}
UInt16 LoadBE16(const std::string &s, size_t at) { return UInt16((UInt8(s[at]) << 8) | UInt8(s[at + 1])); }
} // namespace

Metadata ReadSidecar(int dirFd, const std::string &name) {
  Metadata m;
  std::string data;
  // Sidecars written by this platform are small; the resource fork may be
  // large, but only the entry table and the small entries are needed here.
  if (posix::ReadFileAt(dirFd, name, data, 64u << 20) != noErr)
    return m;
  if (data.size() < kHeaderSize || LoadBE32(data, 0) != kAppleDoubleMagic || LoadBE32(data, 4) != kAppleDoubleVersion)
    return m;
  const size_t count = LoadBE16(data, 24);
  if (kHeaderSize + count * kEntrySize > data.size())
    return m;
  for (size_t i = 0; i < count; ++i) {
    const size_t at = kHeaderSize + i * kEntrySize;
    const UInt32 id = LoadBE32(data, at);
    const UInt32 offset = LoadBE32(data, at + 4);
    const UInt32 length = LoadBE32(data, at + 8);
    if (UInt64(offset) + length > data.size())
      return Metadata{};
    if (id == kEntryFinderInfo && length >= 32) {
      std::memcpy(m.finderInfo.data(), data.data() + offset, 32);
      m.present = true;
    } else if (id == kEntryDates && length >= 16) {
      m.createDate = SInt32(LoadBE32(data, offset));
      m.modDate = SInt32(LoadBE32(data, offset + 4));
      m.backupDate = SInt32(LoadBE32(data, offset + 8));
      m.accessDate = SInt32(LoadBE32(data, offset + 12));
      m.hasDates = true;
      m.present = true;
    } else if (id == kEntryResourceFork) {
      m.rsrcLength = length;
      m.present = true;
    }
  }
  return m;
}

} // namespace ql::platform::files
