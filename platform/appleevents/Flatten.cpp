// The flattened form of descriptors (see AppleEvents.h for the layout):
// sizing, writing, and a parser that checks every length and count against
// the bytes that remain.

#include <cstring>
#include <unordered_set>

#include "platform/appleevents/AEInternal.h"
#include "platform/core/Internal.h"

namespace ql::platform::ae {
namespace {

constexpr UInt32 kMagic = ql::FourCC("QLAE");
constexpr UInt16 kVersion = 1;
constexpr size_t kHeader = 12;
constexpr int kMaxDepth = 64;
constexpr size_t kMinDesc = 5; // type and kind

SInt64 DescSize(DescType type, const Storage *s);

SInt64 ItemsSize(const std::vector<Item> &items, bool keyed) {
  SInt64 n = 4;
  for (const Item &it : items) {
    SInt64 d = DescSize(it.desc.type, it.desc.data.get());
    if (d < 0)
      return -1;
    n += (keyed ? 4 : 0) + d;
    if (n > INT32_MAX)
      return -1;
  }
  return n;
}

SInt64 DescSize(DescType type, const Storage *s) {
  if (s == nullptr)
    return SInt64(kMinDesc);
  switch (s->kind) {
  case Kind::Data:
    return SInt64(kMinDesc) + 4 + SInt64(s->Bytes().size());
  case Kind::List:
  case Kind::Record: {
    SInt64 n = ItemsSize(s->items, s->kind == Kind::Record);
    return n < 0 ? -1 : SInt64(kMinDesc) + n;
  }
  case Kind::Event: {
    SInt64 a = ItemsSize(s->attrs, true), p = ItemsSize(s->items, true);
    return a < 0 || p < 0 ? -1 : SInt64(kMinDesc) + a + p;
  }
  case Kind::Null:
    break;
  }
  return SInt64(kMinDesc);
}

void WriteDesc(DescType type, const Storage *s, std::string &o);

void WriteItems(const std::vector<Item> &items, bool keyed, std::string &o) {
  PutBE32(o, UInt32(items.size()));
  for (const Item &it : items) {
    if (keyed)
      PutBE32(o, it.key);
    WriteDesc(it.desc.type, it.desc.data.get(), o);
  }
}

void WriteDesc(DescType type, const Storage *s, std::string &o) {
  PutBE32(o, type);
  if (s == nullptr) {
    o.push_back(char(Kind::Null));
    return;
  }
  o.push_back(char(s->kind));
  switch (s->kind) {
  case Kind::Data: {
    auto b = s->Bytes();
    PutBE32(o, UInt32(b.size()));
    o.append(reinterpret_cast<const char *>(b.data()), b.size());
    break;
  }
  case Kind::List:
  case Kind::Record:
    WriteItems(s->items, s->kind == Kind::Record, o);
    break;
  case Kind::Event:
    WriteItems(s->attrs, true, o);
    WriteItems(s->items, true, o);
    break;
  case Kind::Null:
    break;
  }
}

struct Reader {
  const UInt8 *p;
  size_t n;
  size_t pos = 0;
  size_t Left() const { return n - pos; }
  bool U32(UInt32 &v) {
    if (Left() < 4)
      return false;
    v = LoadBE32(p + pos);
    pos += 4;
    return true;
  }
  bool U8(UInt8 &v) {
    if (Left() < 1)
      return false;
    v = p[pos++];
    return true;
  }
};

OSErr ReadDesc(Reader &r, int depth, Desc &out);

OSErr ReadItems(Reader &r, int depth, bool keyed, std::vector<Item> &items) {
  UInt32 count;
  if (!r.U32(count))
    return errAECorruptData;
  // Each item takes at least its type and kind (and keyword): a count the
  // remaining bytes cannot hold is corrupt before anything is allocated.
  if (count > r.Left() / (kMinDesc + (keyed ? 4 : 0)))
    return errAECorruptData;
  std::unordered_set<AEKeyword> keys;
  for (UInt32 i = 0; i < count; ++i) {
    Item it;
    if (keyed && !r.U32(it.key))
      return errAECorruptData;
    if (OSErr e = ReadDesc(r, depth + 1, it.desc))
      return e;
    if (keyed && !keys.insert(it.key).second)
      return errAECorruptData; // a keyword appears once
    items.push_back(std::move(it));
  }
  return noErr;
}

OSErr ReadDesc(Reader &r, int depth, Desc &out) {
  if (depth > kMaxDepth)
    return errAECorruptData;
  UInt32 type;
  UInt8 kind;
  if (!r.U32(type) || !r.U8(kind))
    return errAECorruptData;
  switch (Kind(kind)) {
  case Kind::Null:
    if (type != typeNull)
      return errAECorruptData;
    out = Desc{};
    return noErr;
  case Kind::Data: {
    UInt32 len;
    if (type == typeNull || !r.U32(len) || len > r.Left())
      return errAECorruptData;
    if (OSErr e = MakeData(type, r.p + r.pos, len, out))
      return e;
    r.pos += len;
    return noErr;
  }
  case Kind::List:
    if (type != typeAEList)
      return errAECorruptData;
    MakeContainer(Kind::List, type, out);
    return ReadItems(r, depth, false, out.data->items);
  case Kind::Record:
    if (type == typeNull || type == typeAEList || type == typeAppleEvent)
      return errAECorruptData;
    MakeContainer(Kind::Record, type, out);
    return ReadItems(r, depth, true, out.data->items);
  case Kind::Event:
    if (type != typeAppleEvent)
      return errAECorruptData;
    MakeContainer(Kind::Event, type, out);
    if (OSErr e = ReadItems(r, depth, true, out.data->attrs))
      return e;
    return ReadItems(r, depth, true, out.data->items);
  }
  return errAECorruptData;
}

} // namespace

SInt64 FlatSize(DescType type, const Storage *s) {
  SInt64 n = DescSize(type, s);
  if (n < 0 || n + SInt64(kHeader) > INT32_MAX)
    return -1;
  return n + SInt64(kHeader);
}

void Flatten(DescType type, const Storage *s, std::string &out) {
  SInt64 total = FlatSize(type, s);
  out.reserve(out.size() + size_t(total < 0 ? 0 : total));
  PutBE32(out, kMagic);
  PutBE16(out, kVersion);
  PutBE16(out, 0);
  PutBE32(out, UInt32(total));
  WriteDesc(type, s, out);
}

OSErr Unflatten(const UInt8 *p, size_t n, Desc &out) {
  if (p == nullptr || n < kHeader)
    return errAECorruptData;
  if (LoadBE32(p) != kMagic)
    return errAECorruptData;
  UInt16 version = LoadBE16(p + 4);
  if (version > kVersion)
    return errAENewerVersion;
  if (version != kVersion || LoadBE16(p + 6) != 0 || LoadBE32(p + 8) != n)
    return errAECorruptData;
  Reader r{p, n, kHeader};
  Desc d;
  if (OSErr e = ReadDesc(r, 0, d))
    return e;
  if (r.pos != n)
    return errAECorruptData;
  out = std::move(d);
  return noErr;
}

} // namespace ql::platform::ae

using namespace ql::platform::ae;
using ql::platform::Barrier;

extern "C" {

Size AESizeOfFlattenedDesc(const AEDesc *theAEDesc) noexcept {
  std::lock_guard g(Lock());
  View v;
  if (Look(theAEDesc, v) != noErr)
    return 0;
  SInt64 n = FlatSize(v.type, v.s);
  return n < 0 ? 0 : Size(n);
}

OSStatus AEFlattenDesc(const AEDesc *theAEDesc, Ptr buffer, Size bufferSize, Size *actualSize) noexcept {
  if (bufferSize < 0 || (buffer == nullptr && bufferSize > 0))
    return paramErr;
  return Barrier([&]() -> OSStatus {
    std::lock_guard g(Lock());
    View v;
    if (OSErr e = Look(theAEDesc, v))
      return e;
    SInt64 n = FlatSize(v.type, v.s);
    if (n < 0)
      return memFullErr;
    if (n > bufferSize) {
      if (actualSize)
        *actualSize = Size(n);
      return errAEBufferTooSmall;
    }
    std::string out;
    Flatten(v.type, v.s, out);
    std::memcpy(buffer, out.data(), out.size());
    if (actualSize)
      *actualSize = Size(out.size());
    return noErr;
  });
}

OSStatus PlatformAEUnflattenDescSized(const void *buffer, Size bufferSize, AEDesc *result) noexcept {
  if (buffer == nullptr || result == nullptr || bufferSize < 0)
    return paramErr;
  return Barrier([&]() -> OSStatus {
    std::lock_guard g(Lock());
    if (OSErr e = Tick())
      return e;
    Desc d;
    if (OSErr e = Unflatten(static_cast<const UInt8 *>(buffer), size_t(bufferSize), d))
      return e;
    Hand(std::move(d), result);
    return noErr;
  });
}

OSStatus AEUnflattenDesc(const void *buffer, AEDesc *result) noexcept {
  if (buffer == nullptr || result == nullptr)
    return paramErr;
  // The header's own total length bounds the parse.
  const UInt8 *p = static_cast<const UInt8 *>(buffer);
  if (LoadBE32(p) != ql::FourCC("QLAE"))
    return errAECorruptData;
  UInt32 total = LoadBE32(p + 8);
  if (total < 12 || total > UInt32(INT32_MAX))
    return errAECorruptData;
  return PlatformAEUnflattenDescSized(buffer, Size(total), result);
}

} // extern "C"
