// The Apple Event Manager's descriptor model, shared by its source files.
//
// A descriptor is a type and an optional Storage. Storage of kind Data
// keeps its bytes in a Memory Manager handle; lists, records and Apple
// events keep their items in vectors of descriptors they own. The null
// descriptor (typeNull) has no storage, and no other descriptor lacks one.
// Storage handed to a caller (AEDesc::dataHandle) is registered as live;
// items inside a container are owned by it and never registered.
#ifndef PLATFORM_APPLEEVENTS_AEINTERNAL_H
#define PLATFORM_APPLEEVENTS_AEINTERNAL_H

#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/appleevents/AppleEvents.h"
#include "platform/memory/Memory.h"

namespace ql::platform::ae {

enum class Kind : UInt8 { Data = 0, List = 1, Record = 2, Event = 3, Null = 4 };

struct Storage;

struct Desc {
  DescType type = typeNull;
  std::unique_ptr<Storage> data;
};

struct Item {
  AEKeyword key = typeWildCard; // typeWildCard for list items
  Desc desc;
  bool read = false; // a parameter read by a keyed getter
};

struct Storage {
  Kind kind = Kind::Data;
  Handle bytes = nullptr;   // Data
  std::vector<Item> items;  // List, Record: items; Event: parameters
  std::vector<Item> attrs;  // Event: attributes
  Storage() = default;
  Storage(const Storage &) = delete;
  Storage &operator=(const Storage &) = delete;
  ~Storage() {
    if (bytes)
      DisposeHandle(bytes);
  }
  std::span<const UInt8> Bytes() const {
    if (bytes == nullptr || *bytes == nullptr)
      return {};
    return {reinterpret_cast<const UInt8 *>(*bytes), size_t(GetHandleSize(bytes))};
  }
};

// The manager's lock (recursive: coercions call back into the core).
std::recursive_mutex &Lock();

// A view of a caller's descriptor: its type and storage (null for the null
// descriptor). errAENotAEDesc for storage these calls did not hand out.
struct View {
  DescType type = typeNull;
  Storage *s = nullptr;
  Kind kind() const { return s ? s->kind : Kind::Null; }
};
OSErr Look(const AEDesc *d, View &out);

// Hands a descriptor to the caller (registering its storage).
void Hand(Desc &&d, AEDesc *out);

// Builders. Each returns noErr or memFullErr.
OSErr MakeData(DescType type, const void *p, size_t n, Desc &out);
OSErr MakeContainer(Kind kind, DescType type, Desc &out);
OSErr CopyDesc(DescType type, const Storage *s, Desc &out);
inline OSErr CopyDesc(const Desc &d, Desc &out) { return CopyDesc(d.type, d.data.get(), out); }

// Coerces (type, s) to toType into out.
OSErr Coerce(DescType type, const Storage *s, DescType toType, Desc &out);
OSErr CoerceBytes(DescType type, std::span<const UInt8> bytes, DescType toType, Desc &out);

// Flattening. Size of the whole stream (header included), or -1 when it
// exceeds what a Size can hold.
SInt64 FlatSize(DescType type, const Storage *s);
// Appends the whole stream to out.
void Flatten(DescType type, const Storage *s, std::string &out);
// Parses a whole stream of exactly n bytes.
OSErr Unflatten(const UInt8 *p, size_t n, Desc &out);

// The bytes a Ptr getter copies for a descriptor: the data, or the
// flattened form of a container (kept in scratch).
std::span<const UInt8> DataOf(DescType type, const Storage *s, std::string &scratch);

// Failure injection: counts a call that creates or copies data.
OSErr Tick();

// Big-endian helpers.
inline void PutBE32(std::string &o, UInt32 v) {
  char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
  o.append(b, 4);
}
inline void PutBE16(std::string &o, UInt16 v) {
  char b[2] = {char(v >> 8), char(v)};
  o.append(b, 2);
}
inline UInt32 LoadBE32(const UInt8 *p) {
  return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | UInt32(p[3]);
}
inline UInt16 LoadBE16(const UInt8 *p) { return UInt16((p[0] << 8) | p[1]); }

} // namespace ql::platform::ae

#endif
