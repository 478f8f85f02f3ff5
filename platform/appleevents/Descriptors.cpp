// Descriptors, lists, records and Apple events: the live registry, the
// exported accessors, counting and failure injection.

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "platform/appleevents/AEInternal.h"
#include "platform/core/Internal.h"

namespace ql::platform::ae {
namespace {

struct State {
  std::recursive_mutex lock;
  std::unordered_set<const Storage *> live; // storage handed to callers
  UInt32 failAt = 0;                        // armed call number, 0 = off
  UInt32 calls = 0;
  OSErr failErr = noErr;
  bool injected = false;
  SInt16 nextReturnID = 1;
};

State &S() {
  static State *s = new State; // never destroyed: descriptors may outlive statics
  return *s;
}

} // namespace

std::recursive_mutex &Lock() { return S().lock; }

OSErr Tick() {
  State &s = S();
  if (s.failAt == 0)
    return noErr;
  if (++s.calls == s.failAt) {
    s.failAt = 0;
    s.injected = true;
    return s.failErr;
  }
  return noErr;
}

OSErr Look(const AEDesc *d, View &out) {
  if (d == nullptr)
    return paramErr;
  const Storage *s = reinterpret_cast<const Storage *>(d->dataHandle);
  if (s == nullptr) {
    out = View{d->descriptorType, nullptr};
    return noErr;
  }
  if (!S().live.contains(s))
    return errAENotAEDesc;
  out = View{d->descriptorType, const_cast<Storage *>(s)};
  return noErr;
}

void Hand(Desc &&d, AEDesc *out) {
  if (d.data)
    S().live.insert(d.data.get()); // may throw; d still owns the storage then
  out->descriptorType = d.type;
  out->dataHandle = reinterpret_cast<AEDataStorage>(d.data.release());
}

OSErr MakeData(DescType type, const void *p, size_t n, Desc &out) {
  if (type == typeNull) {
    out = Desc{};
    return noErr;
  }
  if (n > size_t(INT32_MAX))
    return memFullErr;
  auto st = std::make_unique<Storage>();
  st->kind = Kind::Data;
  st->bytes = NewHandle(Size(n));
  if (st->bytes == nullptr)
    return memFullErr;
  if (n)
    std::memcpy(*st->bytes, p, n);
  out.type = type;
  out.data = std::move(st);
  return noErr;
}

OSErr MakeContainer(Kind kind, DescType type, Desc &out) {
  auto st = std::make_unique<Storage>();
  st->kind = kind;
  out.type = type;
  out.data = std::move(st);
  return noErr;
}

static OSErr CopyItems(const std::vector<Item> &from, std::vector<Item> &to) {
  to.reserve(from.size());
  for (const Item &it : from) {
    Item c;
    c.key = it.key;
    c.read = it.read;
    if (OSErr e = CopyDesc(it.desc, c.desc))
      return e;
    to.push_back(std::move(c));
  }
  return noErr;
}

OSErr CopyDesc(DescType type, const Storage *s, Desc &out) {
  if (s == nullptr) {
    out = Desc{type, nullptr};
    return noErr;
  }
  if (s->kind == Kind::Data) {
    auto b = s->Bytes();
    return MakeData(type, b.data(), b.size(), out);
  }
  Desc d;
  MakeContainer(s->kind, type, d);
  if (OSErr e = CopyItems(s->items, d.data->items))
    return e;
  if (OSErr e = CopyItems(s->attrs, d.data->attrs))
    return e;
  out = std::move(d);
  return noErr;
}

std::span<const UInt8> DataOf(DescType type, const Storage *s, std::string &scratch) {
  if (s == nullptr)
    return {};
  if (s->kind == Kind::Data)
    return s->Bytes();
  scratch.clear();
  Flatten(type, s, scratch);
  return {reinterpret_cast<const UInt8 *>(scratch.data()), scratch.size()};
}

} // namespace ql::platform::ae

using namespace ql::platform::ae;
using ql::platform::Barrier;

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

// Runs body under the lock with the exception barrier.
template <class Body> OSErr Locked(Body &&body) noexcept {
  return Barrier([&]() -> OSErr {
    Guard g(Lock());
    return body();
  });
}

OSErr CopyOut(std::span<const UInt8> b, DescType type, DescType *typeCode, void *dataPtr, Size maximumSize,
              Size *actualSize) {
  if (maximumSize < 0)
    return paramErr;
  size_t n = std::min(b.size(), size_t(maximumSize));
  if (n && dataPtr == nullptr)
    return paramErr;
  if (n)
    std::memcpy(dataPtr, b.data(), n);
  if (typeCode)
    *typeCode = type;
  if (actualSize)
    *actualSize = Size(b.size());
  return noErr;
}

// A copy of d coerced to desiredType (typeWildCard: as it is).
OSErr Coerced(const Desc &d, DescType desiredType, Desc &out) {
  return Coerce(d.type, d.data.get(), desiredType, out);
}

// Copies the coerced data of d to the caller's buffer.
OSErr ReadPtr(const Desc &d, DescType desiredType, DescType *typeCode, void *dataPtr, Size maximumSize,
              Size *actualSize) {
  std::string scratch;
  if (desiredType == typeWildCard || desiredType == d.type)
    return CopyOut(DataOf(d.type, d.data.get(), scratch), d.type, typeCode, dataPtr, maximumSize, actualSize);
  Desc c;
  if (OSErr e = Coerced(d, desiredType, c))
    return e;
  return CopyOut(DataOf(c.type, c.data.get(), scratch), c.type, typeCode, dataPtr, maximumSize, actualSize);
}

bool Indexed(const View &v) {
  return v.kind() == Kind::List || v.kind() == Kind::Record || v.kind() == Kind::Event;
}
bool Keyed(const View &v) { return v.kind() == Kind::Record || v.kind() == Kind::Event; }

OSErr IndexedView(const AEDesc *d, View &v) {
  if (OSErr e = Look(d, v))
    return e;
  return Indexed(v) ? noErr : errAEWrongDataType;
}

OSErr KeyedView(const AEDesc *d, View &v) {
  if (OSErr e = Look(d, v))
    return e;
  return Keyed(v) ? noErr : errAEWrongDataType;
}

OSErr EventView(const AEDesc *d, View &v) {
  if (OSErr e = Look(d, v))
    return e;
  return v.kind() == Kind::Event ? noErr : errAENotAppleEvent;
}

Item *FindKey(std::vector<Item> &items, AEKeyword key) {
  for (Item &it : items)
    if (it.key == key)
      return &it;
  return nullptr;
}

// Puts a descriptor under key (replacing in place).
void PutKey(std::vector<Item> &items, AEKeyword key, Desc &&d) {
  if (Item *it = FindKey(items, key)) {
    it->desc = std::move(d);
    it->read = false;
    return;
  }
  Item n;
  n.key = key;
  n.desc = std::move(d);
  items.push_back(std::move(n));
}

// A copy of a caller's descriptor.
OSErr CopyCaller(const AEDesc *d, Desc &out) {
  View v;
  if (OSErr e = Look(d, v))
    return e;
  return CopyDesc(v.type, v.s, out);
}

OSErr PutKeyed(AEDesc *container, AEKeyword key, Desc &&d, bool attribute) {
  View v;
  if (OSErr e = attribute ? EventView(container, v) : KeyedView(container, v))
    return e;
  PutKey(attribute ? v.s->attrs : v.s->items, key, std::move(d));
  return noErr;
}

// The first unread parameter not named in keyOptionalKeywordAttr.
bool MissedKeyword(const Storage &ev, AEKeyword &missed) {
  std::vector<AEKeyword> optional;
  for (const Item &a : ev.attrs) {
    if (a.key != keyOptionalKeywordAttr || !a.desc.data)
      continue;
    const Storage &o = *a.desc.data;
    if (o.kind == Kind::Data && o.Bytes().size() == 4) {
      AEKeyword k;
      std::memcpy(&k, o.Bytes().data(), 4);
      optional.push_back(k);
    }
    for (const Item &i : o.items)
      if (i.desc.data && i.desc.data->kind == Kind::Data && i.desc.data->Bytes().size() == 4) {
        AEKeyword k;
        std::memcpy(&k, i.desc.data->Bytes().data(), 4);
        optional.push_back(k);
      }
  }
  for (const Item &p : ev.items) {
    if (p.read)
      continue;
    if (std::find(optional.begin(), optional.end(), p.key) != optional.end())
      continue;
    missed = p.key;
    return true;
  }
  return false;
}

// The descriptor stored under key: a parameter (marked read) or an
// attribute (keyMissedKeywordAttr computed).
OSErr GetKeyed(const AEDesc *container, AEKeyword key, bool attribute, Desc &computed, const Desc *&found) {
  View v;
  if (OSErr e = attribute ? EventView(container, v) : KeyedView(container, v))
    return e;
  if (attribute && key == keyMissedKeywordAttr) {
    AEKeyword missed;
    if (!MissedKeyword(*v.s, missed))
      return errAEDescNotFound;
    if (OSErr e = MakeData(typeKeyword, &missed, 4, computed))
      return e;
    found = &computed;
    return noErr;
  }
  Item *it = FindKey(attribute ? v.s->attrs : v.s->items, key);
  if (it == nullptr)
    return errAEDescNotFound;
  if (!attribute)
    it->read = true;
  found = &it->desc;
  return noErr;
}

OSErr GetKeyedPtr(const AEDesc *c, AEKeyword key, bool attribute, DescType desiredType, DescType *typeCode,
                  void *dataPtr, Size maximumSize, Size *actualSize) {
  return Locked([&]() -> OSErr {
    if (OSErr e = Tick())
      return e;
    Desc computed;
    const Desc *d;
    if (OSErr e = GetKeyed(c, key, attribute, computed, d))
      return e;
    return ReadPtr(*d, desiredType, typeCode, dataPtr, maximumSize, actualSize);
  });
}

OSErr GetKeyedDesc(const AEDesc *c, AEKeyword key, bool attribute, DescType desiredType, AEDesc *result) {
  if (result == nullptr)
    return paramErr;
  return Locked([&]() -> OSErr {
    if (OSErr e = Tick())
      return e;
    Desc computed;
    const Desc *d;
    if (OSErr e = GetKeyed(c, key, attribute, computed, d))
      return e;
    Desc out;
    if (OSErr e = Coerced(*d, desiredType, out))
      return e;
    Hand(std::move(out), result);
    return noErr;
  });
}

OSErr SizeOfKeyed(const AEDesc *c, AEKeyword key, bool attribute, DescType *typeCode, Size *dataSize) {
  return Locked([&]() -> OSErr {
    View v;
    if (OSErr e = attribute ? EventView(c, v) : KeyedView(c, v))
      return e;
    Desc computed;
    const Desc *d = nullptr;
    if (attribute && key == keyMissedKeywordAttr) {
      AEKeyword missed;
      if (!MissedKeyword(*v.s, missed))
        return errAEDescNotFound;
      if (typeCode)
        *typeCode = typeKeyword;
      if (dataSize)
        *dataSize = 4;
      return noErr;
    }
    Item *it = FindKey(attribute ? v.s->attrs : v.s->items, key);
    if (it == nullptr)
      return errAEDescNotFound;
    d = &it->desc;
    std::string scratch;
    if (typeCode)
      *typeCode = d->type;
    if (dataSize)
      *dataSize = Size(DataOf(d->type, d->data.get(), scratch).size());
    return noErr;
  });
}

OSErr PutKeyedPtr(AEDesc *c, AEKeyword key, bool attribute, DescType typeCode, const void *dataPtr,
                  Size dataSize) {
  if (dataSize < 0 || (dataPtr == nullptr && dataSize > 0))
    return paramErr;
  return Locked([&]() -> OSErr {
    if (OSErr e = Tick())
      return e;
    View v;
    if (OSErr e = attribute ? EventView(c, v) : KeyedView(c, v))
      return e;
    Desc d;
    if (OSErr e = MakeData(typeCode, dataPtr, size_t(dataSize), d))
      return e;
    return PutKeyed(c, key, std::move(d), attribute);
  });
}

OSErr PutKeyedDesc(AEDesc *c, AEKeyword key, bool attribute, const AEDesc *theAEDesc) {
  return Locked([&]() -> OSErr {
    if (OSErr e = Tick())
      return e;
    View v;
    if (OSErr e = attribute ? EventView(c, v) : KeyedView(c, v))
      return e;
    Desc d;
    if (OSErr e = CopyCaller(theAEDesc, d))
      return e;
    return PutKeyed(c, key, std::move(d), attribute);
  });
}

OSErr DeleteKeyed(AEDesc *c, AEKeyword key) {
  return Locked([&]() -> OSErr {
    View v;
    if (OSErr e = KeyedView(c, v))
      return e;
    auto &items = v.s->items;
    for (auto it = items.begin(); it != items.end(); ++it)
      if (it->key == key) {
        items.erase(it);
        return noErr;
      }
    return errAEDescNotFound;
  });
}

OSErr NthItem(const AEDesc *list, SInt32 index, View &v, Item *&item) {
  if (OSErr e = IndexedView(list, v))
    return e;
  if (index < 1 || size_t(index) > v.s->items.size())
    return errAEIllegalIndex;
  item = &v.s->items[size_t(index) - 1];
  return noErr;
}

OSErr PutIndexed(AEDescList *list, SInt32 index, Desc &&d) {
  View v;
  if (OSErr e = Look(list, v))
    return e;
  if (v.kind() != Kind::List)
    return errAEWrongDataType;
  auto &items = v.s->items;
  if (index < 0 || size_t(index) > items.size() + 1)
    return errAEIllegalIndex;
  if (index == 0 || size_t(index) == items.size() + 1) {
    Item it;
    it.desc = std::move(d);
    items.push_back(std::move(it));
  } else {
    items[size_t(index) - 1].desc = std::move(d);
  }
  return noErr;
}

} // namespace

extern "C" {

void AEInitializeDesc(AEDesc *desc) noexcept {
  if (desc) {
    desc->descriptorType = typeNull;
    desc->dataHandle = nullptr;
  }
}

OSErr AECreateDesc(DescType typeCode, const void *dataPtr, Size dataSize, AEDesc *result) noexcept {
  if (result == nullptr || dataSize < 0 || (dataPtr == nullptr && dataSize > 0))
    return paramErr;
  return Locked([&]() -> OSErr {
    if (OSErr e = Tick())
      return e;
    Desc d;
    if (OSErr e = MakeData(typeCode, dataPtr, size_t(dataSize), d))
      return e;
    Hand(std::move(d), result);
    return noErr;
  });
}

OSErr AEDisposeDesc(AEDesc *theAEDesc) noexcept {
  if (theAEDesc == nullptr)
    return paramErr;
  return Locked([&]() -> OSErr {
    View v;
    if (OSErr e = Look(theAEDesc, v))
      return e;
    if (v.s) {
      S().live.erase(v.s);
      delete v.s;
    }
    AEInitializeDesc(theAEDesc);
    return noErr;
  });
}

OSErr AEDuplicateDesc(const AEDesc *theAEDesc, AEDesc *result) noexcept {
  if (theAEDesc == nullptr || result == nullptr)
    return paramErr;
  return Locked([&]() -> OSErr {
    if (OSErr e = Tick())
      return e;
    Desc d;
    if (OSErr e = CopyCaller(theAEDesc, d))
      return e;
    Hand(std::move(d), result);
    return noErr;
  });
}

Size AEGetDescDataSize(const AEDesc *theAEDesc) noexcept {
  Guard g(Lock());
  View v;
  if (Look(theAEDesc, v) != noErr || v.s == nullptr)
    return 0;
  if (v.s->kind == Kind::Data)
    return Size(v.s->Bytes().size());
  SInt64 n = FlatSize(v.type, v.s);
  return n < 0 ? 0 : Size(n);
}

OSErr AEGetDescData(const AEDesc *theAEDesc, void *dataPtr, Size maximumSize) noexcept {
  return Locked([&]() -> OSErr {
    View v;
    if (OSErr e = Look(theAEDesc, v))
      return e;
    std::string scratch;
    return CopyOut(DataOf(v.type, v.s, scratch), v.type, nullptr, dataPtr, maximumSize, nullptr);
  });
}

OSErr AECoercePtr(DescType typeCode, const void *dataPtr, Size dataSize, DescType toType,
                  AEDesc *result) noexcept {
  if (result == nullptr || dataSize < 0 || (dataPtr == nullptr && dataSize > 0))
    return paramErr;
  return Locked([&]() -> OSErr {
    if (OSErr e = Tick())
      return e;
    Desc d;
    std::span<const UInt8> b(static_cast<const UInt8 *>(dataPtr), size_t(dataSize));
    if (OSErr e = CoerceBytes(typeCode, b, toType, d))
      return e;
    Hand(std::move(d), result);
    return noErr;
  });
}

OSErr AECoerceDesc(const AEDesc *theAEDesc, DescType toType, AEDesc *result) noexcept {
  if (theAEDesc == nullptr || result == nullptr)
    return paramErr;
  return Locked([&]() -> OSErr {
    if (OSErr e = Tick())
      return e;
    View v;
    if (OSErr e = Look(theAEDesc, v))
      return e;
    Desc d;
    if (OSErr e = Coerce(v.type, v.s, toType, d))
      return e;
    Hand(std::move(d), result);
    return noErr;
  });
}

OSErr AECreateList(const void *factoringPtr, Size factoredSize, Boolean isRecord,
                   AEDescList *resultList) noexcept {
  if (resultList == nullptr)
    return paramErr;
  return Locked([&]() -> OSErr {
    if (OSErr e = Tick())
      return e;
    Desc d;
    MakeContainer(isRecord ? Kind::Record : Kind::List, isRecord ? typeAERecord : typeAEList, d);
    Hand(std::move(d), resultList);
    return noErr;
  });
}

OSErr AECountItems(const AEDescList *theAEDescList, SInt32 *theCount) noexcept {
  if (theCount == nullptr)
    return paramErr;
  return Locked([&]() -> OSErr {
    View v;
    if (OSErr e = IndexedView(theAEDescList, v))
      return e;
    *theCount = SInt32(v.s->items.size());
    return noErr;
  });
}

OSErr AEPutPtr(AEDescList *theAEDescList, SInt32 index, DescType typeCode, const void *dataPtr,
               Size dataSize) noexcept {
  if (dataSize < 0 || (dataPtr == nullptr && dataSize > 0))
    return paramErr;
  return Locked([&]() -> OSErr {
    if (OSErr e = Tick())
      return e;
    View v;
    if (OSErr e = Look(theAEDescList, v))
      return e;
    if (v.kind() != Kind::List)
      return errAEWrongDataType;
    Desc d;
    if (OSErr e = MakeData(typeCode, dataPtr, size_t(dataSize), d))
      return e;
    return PutIndexed(theAEDescList, index, std::move(d));
  });
}

OSErr AEPutDesc(AEDescList *theAEDescList, SInt32 index, const AEDesc *theAEDesc) noexcept {
  return Locked([&]() -> OSErr {
    if (OSErr e = Tick())
      return e;
    View v;
    if (OSErr e = Look(theAEDescList, v))
      return e;
    if (v.kind() != Kind::List)
      return errAEWrongDataType;
    Desc d;
    if (OSErr e = CopyCaller(theAEDesc, d)) // copied first: the list may be put into itself
      return e;
    return PutIndexed(theAEDescList, index, std::move(d));
  });
}

OSErr AEGetNthPtr(const AEDescList *theAEDescList, SInt32 index, DescType desiredType, AEKeyword *theAEKeyword,
                  DescType *typeCode, void *dataPtr, Size maximumSize, Size *actualSize) noexcept {
  return Locked([&]() -> OSErr {
    if (OSErr e = Tick())
      return e;
    View v;
    Item *it;
    if (OSErr e = NthItem(theAEDescList, index, v, it))
      return e;
    if (OSErr e = ReadPtr(it->desc, desiredType, typeCode, dataPtr, maximumSize, actualSize))
      return e;
    if (theAEKeyword)
      *theAEKeyword = it->key;
    return noErr;
  });
}

OSErr AEGetNthDesc(const AEDescList *theAEDescList, SInt32 index, DescType desiredType, AEKeyword *theAEKeyword,
                   AEDesc *result) noexcept {
  if (result == nullptr)
    return paramErr;
  return Locked([&]() -> OSErr {
    if (OSErr e = Tick())
      return e;
    View v;
    Item *it;
    if (OSErr e = NthItem(theAEDescList, index, v, it))
      return e;
    Desc d;
    if (OSErr e = Coerced(it->desc, desiredType, d))
      return e;
    if (theAEKeyword)
      *theAEKeyword = it->key;
    Hand(std::move(d), result);
    return noErr;
  });
}

OSErr AESizeOfNthItem(const AEDescList *theAEDescList, SInt32 index, DescType *typeCode, Size *dataSize) noexcept {
  return Locked([&]() -> OSErr {
    View v;
    Item *it;
    if (OSErr e = NthItem(theAEDescList, index, v, it))
      return e;
    std::string scratch;
    if (typeCode)
      *typeCode = it->desc.type;
    if (dataSize)
      *dataSize = Size(DataOf(it->desc.type, it->desc.data.get(), scratch).size());
    return noErr;
  });
}

OSErr AEDeleteItem(AEDescList *theAEDescList, SInt32 index) noexcept {
  return Locked([&]() -> OSErr {
    View v;
    Item *it;
    if (OSErr e = NthItem(theAEDescList, index, v, it))
      return e;
    v.s->items.erase(v.s->items.begin() + (index - 1));
    return noErr;
  });
}

OSErr AEPutParamPtr(AppleEvent *e, AEKeyword k, DescType t, const void *p, Size n) noexcept {
  return PutKeyedPtr(e, k, false, t, p, n);
}
OSErr AEPutParamDesc(AppleEvent *e, AEKeyword k, const AEDesc *d) noexcept { return PutKeyedDesc(e, k, false, d); }
OSErr AEGetParamPtr(const AppleEvent *e, AEKeyword k, DescType want, DescType *t, void *p, Size max,
                    Size *actual) noexcept {
  return GetKeyedPtr(e, k, false, want, t, p, max, actual);
}
OSErr AEGetParamDesc(const AppleEvent *e, AEKeyword k, DescType want, AEDesc *r) noexcept {
  return GetKeyedDesc(e, k, false, want, r);
}
OSErr AESizeOfParam(const AppleEvent *e, AEKeyword k, DescType *t, Size *n) noexcept {
  return SizeOfKeyed(e, k, false, t, n);
}
OSErr AEDeleteParam(AppleEvent *e, AEKeyword k) noexcept { return DeleteKeyed(e, k); }

OSErr AEPutKeyPtr(AERecord *r, AEKeyword k, DescType t, const void *p, Size n) noexcept {
  return PutKeyedPtr(r, k, false, t, p, n);
}
OSErr AEPutKeyDesc(AERecord *r, AEKeyword k, const AEDesc *d) noexcept { return PutKeyedDesc(r, k, false, d); }
OSErr AEGetKeyPtr(const AERecord *r, AEKeyword k, DescType want, DescType *t, void *p, Size max,
                  Size *actual) noexcept {
  return GetKeyedPtr(r, k, false, want, t, p, max, actual);
}
OSErr AEGetKeyDesc(const AERecord *r, AEKeyword k, DescType want, AEDesc *res) noexcept {
  return GetKeyedDesc(r, k, false, want, res);
}
OSErr AESizeOfKeyDesc(const AERecord *r, AEKeyword k, DescType *t, Size *n) noexcept {
  return SizeOfKeyed(r, k, false, t, n);
}
OSErr AEDeleteKeyDesc(AERecord *r, AEKeyword k) noexcept { return DeleteKeyed(r, k); }

OSErr AEPutAttributePtr(AppleEvent *e, AEKeyword k, DescType t, const void *p, Size n) noexcept {
  return PutKeyedPtr(e, k, true, t, p, n);
}
OSErr AEPutAttributeDesc(AppleEvent *e, AEKeyword k, const AEDesc *d) noexcept { return PutKeyedDesc(e, k, true, d); }
OSErr AEGetAttributePtr(const AppleEvent *e, AEKeyword k, DescType want, DescType *t, void *p, Size max,
                        Size *actual) noexcept {
  return GetKeyedPtr(e, k, true, want, t, p, max, actual);
}
OSErr AEGetAttributeDesc(const AppleEvent *e, AEKeyword k, DescType want, AEDesc *r) noexcept {
  return GetKeyedDesc(e, k, true, want, r);
}
OSErr AESizeOfAttribute(const AppleEvent *e, AEKeyword k, DescType *t, Size *n) noexcept {
  return SizeOfKeyed(e, k, true, t, n);
}

OSErr AECreateAppleEvent(AEEventClass theAEEventClass, AEEventID theAEEventID, const AEAddressDesc *target,
                         AEReturnID returnID, AETransactionID transactionID, AppleEvent *result) noexcept {
  if (result == nullptr)
    return paramErr;
  return Locked([&]() -> OSErr {
    if (OSErr e = Tick())
      return e;
    Desc addr;
    if (target) {
      if (OSErr e = CopyCaller(target, addr))
        return e;
    }
    if (returnID == kAutoGenerateReturnID) {
      SInt16 &next = S().nextReturnID;
      returnID = next;
      next = next == INT16_MAX ? 1 : SInt16(next + 1);
    }
    Desc ev;
    MakeContainer(Kind::Event, typeAppleEvent, ev);
    auto &attrs = ev.data->attrs;
    Desc d;
    if (OSErr e = MakeData(typeType, &theAEEventClass, 4, d))
      return e;
    PutKey(attrs, keyEventClassAttr, std::move(d));
    if (OSErr e = MakeData(typeType, &theAEEventID, 4, d))
      return e;
    PutKey(attrs, keyEventIDAttr, std::move(d));
    PutKey(attrs, keyAddressAttr, std::move(addr));
    if (OSErr e = MakeData(typeSInt16, &returnID, 2, d))
      return e;
    PutKey(attrs, keyReturnIDAttr, std::move(d));
    if (OSErr e = MakeData(typeSInt32, &transactionID, 4, d))
      return e;
    PutKey(attrs, keyTransactionIDAttr, std::move(d));
    Hand(std::move(ev), result);
    return noErr;
  });
}

SInt32 PlatformLiveDescriptorCount(void) noexcept {
  Guard g(Lock());
  return SInt32(S().live.size());
}

void PlatformFailNthAECall(UInt32 n, OSErr err) noexcept {
  Guard g(Lock());
  State &s = S();
  s.failAt = n;
  s.calls = 0;
  s.failErr = err;
  s.injected = false;
}

Boolean PlatformAECallFailureInjected(void) noexcept {
  Guard g(Lock());
  return S().injected;
}

} // extern "C"
