// Memory Manager over malloc: handle records with stable master pointers,
// pointer blocks with a header, two zones with byte accounting and limits,
// and the fault-injection and counting hooks used by the tests.

#include "platform/memory/Memory.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

constexpr UInt32 kHandleMagic = 0x48444C45; // "HDLE"
constexpr UInt32 kPtrMagic = 0x50545242;    // "PTRB"
constexpr int kZoneCount = 2;

struct Zone {
  SInt64 limit = INT32_MAX;
  SInt64 inUse = 0;
};

// One per handle. `master` must stay the first member: a Handle is the
// address of this field, which never moves while the handle lives.
struct HandleRec {
  char *master = nullptr;
  Size size = 0;
  Size capacity = 0;
  UInt8 state = 0;
  UInt8 zone = 0;
  UInt32 magic = kHandleMagic;
};
static_assert(offsetof(HandleRec, master) == 0);

// Header in front of every pointer block; 16 bytes keep the data aligned
// as malloc aligns.
struct alignas(16) PtrHeader {
  UInt32 magic;
  Size size;
  Size capacity;
  UInt8 zone;
};
static_assert(sizeof(PtrHeader) == 16);

struct State {
  std::mutex lock;
  Zone zones[kZoneCount];
  std::unordered_map<const char *, HandleRec *> byBlock; // RecoverHandle
  SInt32 liveHandles = 0;
  SInt32 livePtrs = 0;
  UInt32 failCountdown = 0;
  bool failInjected = false;
  bool alwaysMove = false;
  int currentZone = kPlatformApplicationZone; // SetZone/GetZone
};

State &S() {
  static State *s = new State; // never destroyed: handles may outlive statics
  return *s;
}

thread_local OSErr tMemError = noErr;

inline void SetErr(OSErr e) { tMemError = e; }

// Counts one allocation against the armed fault; true when it must fail.
bool InjectFailure(State &s) {
  if (s.failCountdown == 0)
    return false;
  if (--s.failCountdown == 0) {
    s.failInjected = true;
    return true;
  }
  return false;
}

void Release(State &s, int zone, SInt64 bytes);

// Empties every unlocked purgeable handle of a zone except `keep`. Caller
// holds the lock.
void PurgeZone(State &s, int zone, const HandleRec *keep) {
  for (auto it = s.byBlock.begin(); it != s.byBlock.end();) {
    HandleRec *rec = it->second;
    if (rec != keep && rec->zone == zone && (rec->state & kHandlePurgeableMask) &&
        !(rec->state & kHandleLockedMask)) {
      std::free(rec->master);
      Release(s, rec->zone, rec->capacity);
      rec->master = nullptr;
      rec->size = rec->capacity = 0;
      it = s.byBlock.erase(it);
    } else {
      ++it;
    }
  }
}

// Reserves bytes in a zone, honouring its limit and the fault hook. A zone
// that is short purges its purgeable handles (never `keep`) and tries again.
bool Reserve(State &s, int zone, SInt64 bytes, const HandleRec *keep = nullptr) {
  if (InjectFailure(s))
    return false;
  Zone &z = s.zones[zone];
  if (bytes > z.limit - z.inUse) {
    PurgeZone(s, zone, keep);
    if (bytes > z.limit - z.inUse)
      return false;
  }
  z.inUse += bytes;
  return true;
}

void Release(State &s, int zone, SInt64 bytes) { s.zones[zone].inUse -= bytes; }

HandleRec *Rec(Handle h) {
  if (h == nullptr)
    return nullptr;
  auto *r = reinterpret_cast<HandleRec *>(h);
  return r->magic == kHandleMagic ? r : nullptr;
}

PtrHeader *Hdr(Ptr p) {
  if (p == nullptr)
    return nullptr;
  auto *hdr = reinterpret_cast<PtrHeader *>(p) - 1;
  return hdr->magic == kPtrMagic ? hdr : nullptr;
}

// Allocates a handle of byteCount bytes in the given zone. Caller holds the lock.
Handle NewHandleLocked(State &s, Size byteCount, int zone, bool clear) {
  if (byteCount < 0) {
    SetErr(memFullErr);
    return nullptr;
  }
  Size cap = std::max<Size>(byteCount, 1);
  if (!Reserve(s, zone, cap)) {
    SetErr(memFullErr);
    return nullptr;
  }
  char *block = static_cast<char *>(clear ? std::calloc(1, size_t(cap)) : std::malloc(size_t(cap)));
  auto *rec = block ? new (std::nothrow) HandleRec : nullptr;
  if (rec == nullptr) {
    std::free(block);
    Release(s, zone, cap);
    SetErr(memFullErr);
    return nullptr;
  }
  rec->master = block;
  rec->size = byteCount;
  rec->capacity = cap;
  rec->zone = UInt8(zone);
  try {
    s.byBlock.emplace(block, rec);
  } catch (...) {
    std::free(block);
    delete rec;
    Release(s, zone, cap);
    SetErr(memFullErr);
    return nullptr;
  }
  ++s.liveHandles;
  SetErr(noErr);
  return &rec->master;
}

// Changes a handle's capacity to at least newSize. Moves the block unless
// it is locked. Caller holds the lock.
OSErr GrowLocked(State &s, HandleRec *r, Size newSize) {
  if (newSize <= r->capacity && r->master != nullptr)
    return noErr;
  if (r->state & kHandleLockedMask)
    return memFullErr;
  // Amortised growth: half again as much, but never beyond what the zone
  // can still give when the exact size would fit.
  SInt64 wanted = std::max<SInt64>(newSize, 1);
  SInt64 generous = std::min<SInt64>(INT32_MAX, std::max<SInt64>(wanted, SInt64(r->capacity) + r->capacity / 2));
  Zone &z = s.zones[r->zone];
  SInt64 extra = generous - r->capacity;
  if (extra > z.limit - z.inUse)
    generous = wanted;
  if (!Reserve(s, r->zone, generous - r->capacity, r))
    return memFullErr;
  char *old = r->master;
  char *block;
  if (s.alwaysMove || old == nullptr) {
    block = static_cast<char *>(std::malloc(size_t(generous)));
    if (block && old)
      std::memcpy(block, old, size_t(r->size));
    if (block)
      std::free(old);
  } else {
    block = static_cast<char *>(std::realloc(old, size_t(generous)));
  }
  if (block == nullptr) {
    Release(s, r->zone, generous - r->capacity);
    return memFullErr;
  }
  if (old)
    s.byBlock.erase(old);
  s.byBlock[block] = r;
  r->master = block;
  r->capacity = Size(generous);
  return noErr;
}

} // namespace

extern "C" {

OSErr MemError(void) noexcept { return tMemError; }

Handle NewHandle(Size byteCount) noexcept {
  std::lock_guard g(S().lock);
  return NewHandleLocked(S(), byteCount, S().currentZone, false);
}

Handle NewHandleClear(Size byteCount) noexcept {
  std::lock_guard g(S().lock);
  return NewHandleLocked(S(), byteCount, S().currentZone, true);
}

Handle TempNewHandle(Size byteCount, OSErr *resultCode) noexcept {
  Handle h;
  {
    std::lock_guard g(S().lock);
    h = NewHandleLocked(S(), byteCount, kPlatformTemporaryZone, false);
  }
  if (resultCode)
    *resultCode = MemError();
  return h;
}

Handle NewEmptyHandle(void) noexcept {
  State &s = S();
  std::lock_guard g(s.lock);
  if (InjectFailure(s)) {
    SetErr(memFullErr);
    return nullptr;
  }
  auto *rec = new (std::nothrow) HandleRec;
  if (rec == nullptr) {
    SetErr(memFullErr);
    return nullptr;
  }
  ++s.liveHandles;
  SetErr(noErr);
  return &rec->master;
}

void DisposeHandle(Handle h) noexcept {
  State &s = S();
  std::lock_guard g(s.lock);
  if (h == nullptr) {
    SetErr(nilHandleErr);
    return;
  }
  HandleRec *r = Rec(h);
  if (r == nullptr) {
    SetErr(memWZErr);
    return;
  }
  if (r->master) {
    s.byBlock.erase(r->master);
    std::free(r->master);
    Release(s, r->zone, r->capacity);
  }
  r->magic = 0;
  delete r;
  --s.liveHandles;
  SetErr(noErr);
}

Size GetHandleSize(Handle h) noexcept {
  HandleRec *r = Rec(h);
  if (r == nullptr) {
    SetErr(h ? memWZErr : nilHandleErr);
    return 0;
  }
  SetErr(noErr);
  return r->master ? r->size : 0;
}

void SetHandleSize(Handle h, Size newSize) noexcept {
  State &s = S();
  std::lock_guard g(s.lock);
  HandleRec *r = Rec(h);
  if (r == nullptr) {
    SetErr(h ? memWZErr : nilHandleErr);
    return;
  }
  if (newSize < 0) {
    SetErr(memFullErr);
    return;
  }
  if (r->master == nullptr) {
    SetErr(nilHandleErr);
    return;
  }
  OSErr err = GrowLocked(s, r, newSize);
  if (err == noErr)
    r->size = newSize;
  SetErr(err);
}

static void ChangeState(Handle h, UInt8 set, UInt8 clear) {
  HandleRec *r = Rec(h);
  if (r == nullptr) {
    SetErr(h ? memWZErr : nilHandleErr);
    return;
  }
  r->state = UInt8((r->state | set) & ~clear);
  SetErr(noErr);
}

void HLock(Handle h) noexcept { ChangeState(h, kHandleLockedMask, 0); }
void HUnlock(Handle h) noexcept { ChangeState(h, 0, kHandleLockedMask); }
void HPurge(Handle h) noexcept { ChangeState(h, kHandlePurgeableMask, 0); }
void HNoPurge(Handle h) noexcept { ChangeState(h, 0, kHandlePurgeableMask); }
void HSetRBit(Handle h) noexcept { ChangeState(h, kHandleIsResourceMask, 0); }
void HClrRBit(Handle h) noexcept { ChangeState(h, 0, kHandleIsResourceMask); }

SignedByte HGetState(Handle h) noexcept {
  HandleRec *r = Rec(h);
  if (r == nullptr) {
    SetErr(h ? memWZErr : nilHandleErr);
    return 0;
  }
  SetErr(noErr);
  return SignedByte(r->state);
}

void HSetState(Handle h, SignedByte flags) noexcept {
  HandleRec *r = Rec(h);
  if (r == nullptr) {
    SetErr(h ? memWZErr : nilHandleErr);
    return;
  }
  r->state = UInt8(flags) & (kHandleLockedMask | kHandlePurgeableMask | kHandleIsResourceMask);
  SetErr(noErr);
}

void EmptyHandle(Handle h) noexcept {
  State &s = S();
  std::lock_guard g(s.lock);
  HandleRec *r = Rec(h);
  if (r == nullptr) {
    SetErr(h ? memWZErr : nilHandleErr);
    return;
  }
  if (r->state & kHandleLockedMask) {
    SetErr(memPurErr);
    return;
  }
  if (r->master) {
    s.byBlock.erase(r->master);
    std::free(r->master);
    Release(s, r->zone, r->capacity);
  }
  r->master = nullptr;
  r->size = r->capacity = 0;
  SetErr(noErr);
}

void ReallocateHandle(Handle h, Size logicalSize) noexcept {
  State &s = S();
  std::lock_guard g(s.lock);
  HandleRec *r = Rec(h);
  if (r == nullptr) {
    SetErr(h ? memWZErr : nilHandleErr);
    return;
  }
  if (r->state & kHandleLockedMask) {
    SetErr(memLockedErr);
    return;
  }
  if (logicalSize < 0) {
    SetErr(memFullErr);
    return;
  }
  if (r->master) {
    s.byBlock.erase(r->master);
    std::free(r->master);
    Release(s, r->zone, r->capacity);
    r->master = nullptr;
    r->size = r->capacity = 0;
  }
  OSErr err = GrowLocked(s, r, logicalSize);
  if (err == noErr)
    r->size = logicalSize;
  SetErr(err);
}

Handle RecoverHandle(Ptr p) noexcept {
  State &s = S();
  std::lock_guard g(s.lock);
  auto it = s.byBlock.find(p);
  if (it == s.byBlock.end()) {
    SetErr(memWZErr);
    return nullptr;
  }
  SetErr(noErr);
  return &it->second->master;
}

// Zones are identified by small tokens; callers only compare them.
THz HandleZone(Handle h) noexcept {
  HandleRec *r = Rec(h);
  if (r == nullptr) {
    SetErr(h ? memWZErr : nilHandleErr);
    return nullptr;
  }
  SetErr(noErr);
  return reinterpret_cast<THz>(&S().zones[r->zone]);
}

THz ApplicationZone(void) noexcept { return reinterpret_cast<THz>(&S().zones[kPlatformApplicationZone]); }
THz TempZone(void) noexcept { return reinterpret_cast<THz>(&S().zones[kPlatformTemporaryZone]); }

OSErr HandToHand(Handle *theHndl) noexcept {
  if (theHndl == nullptr || *theHndl == nullptr) {
    SetErr(nilHandleErr);
    return nilHandleErr;
  }
  Handle src = *theHndl;
  HandleRec *r = Rec(src);
  if (r == nullptr || r->master == nullptr) {
    SetErr(r ? nilHandleErr : memWZErr);
    return MemError();
  }
  Handle copy = NewHandle(r->size);
  if (copy == nullptr)
    return MemError();
  std::memcpy(*copy, *src, size_t(r->size));
  *theHndl = copy;
  return noErr;
}

OSErr PtrToHand(const void *srcPtr, Handle *dstHndl, SInt32 size) noexcept {
  if (dstHndl == nullptr || size < 0 || (srcPtr == nullptr && size > 0)) {
    SetErr(paramErr);
    return paramErr;
  }
  Handle h = NewHandle(size);
  if (h == nullptr)
    return MemError();
  if (size)
    std::memcpy(*h, srcPtr, size_t(size));
  *dstHndl = h;
  return noErr;
}

OSErr PtrToXHand(const void *srcPtr, Handle dstHndl, SInt32 size) noexcept {
  if (size < 0 || (srcPtr == nullptr && size > 0)) {
    SetErr(paramErr);
    return paramErr;
  }
  SetHandleSize(dstHndl, size);
  if (OSErr e = MemError())
    return e;
  if (size)
    std::memmove(*dstHndl, srcPtr, size_t(size));
  return noErr;
}

OSErr PtrAndHand(const void *ptr1, Handle hand2, SInt32 size) noexcept {
  if (size < 0 || (ptr1 == nullptr && size > 0)) {
    SetErr(paramErr);
    return paramErr;
  }
  Size old = GetHandleSize(hand2);
  if (OSErr e = MemError())
    return e;
  if (SInt64(old) + size > INT32_MAX) {
    SetErr(memFullErr);
    return memFullErr;
  }
  // ptr1 may lie inside hand2's own block, which growth may move.
  HandleRec *r = Rec(hand2);
  ptrdiff_t inside = -1;
  if (r->master && ptr1 >= r->master && static_cast<const char *>(ptr1) < r->master + r->size)
    inside = static_cast<const char *>(ptr1) - r->master;
  SetHandleSize(hand2, old + size);
  if (OSErr e = MemError())
    return e;
  const void *src = inside >= 0 ? *hand2 + inside : ptr1;
  if (size)
    std::memmove(*hand2 + old, src, size_t(size));
  return noErr;
}

OSErr HandAndHand(Handle hand1, Handle hand2) noexcept {
  HandleRec *r = Rec(hand1);
  if (r == nullptr || r->master == nullptr) {
    SetErr(hand1 && r ? nilHandleErr : (hand1 ? memWZErr : nilHandleErr));
    return MemError();
  }
  // Appending a handle to itself: PtrAndHand copes with a source inside
  // the destination block.
  return PtrAndHand(*hand1, hand2, r->size);
}

SInt32 Munger(Handle h, SInt32 offset, const void *ptr1, SInt32 len1, const void *ptr2,
              SInt32 len2) noexcept {
  HandleRec *r = Rec(h);
  if (r == nullptr || r->master == nullptr) {
    SetErr(h ? (r ? nilHandleErr : memWZErr) : nilHandleErr);
    return -1;
  }
  Size size = r->size;
  if (offset < 0 || (ptr1 != nullptr && offset > size)) {
    SetErr(paramErr);
    return -1;
  }
  // The range forms work on the part of the range inside the handle: an
  // offset past the end inserts at the end and deletes nothing.
  if (offset > size)
    offset = size;
  SInt32 start = offset;
  SInt32 targetLen;
  if (ptr1 == nullptr) {
    // Replace len1 bytes at offset (a negative len1: through the end),
    // clipped to the handle.
    targetLen = (len1 < 0 || len1 > size - offset) ? size - offset : len1;
  } else {
    if (len1 <= 0) {
      SetErr(paramErr);
      return -1;
    }
    const void *found = len1 <= size - offset ? memmem(*h + offset, size_t(size - offset), ptr1, size_t(len1)) : nullptr;
    if (found == nullptr) {
      SetErr(noErr);
      return -1;
    }
    start = SInt32(static_cast<const char *>(found) - *h);
    targetLen = len1;
    if (ptr2 == nullptr) {
      SetErr(noErr);
      return start;
    }
  }
  if (len2 < 0)
    len2 = 0;
  if (ptr2 == nullptr && ptr1 == nullptr)
    len2 = 0;
  SInt64 newSize = SInt64(size) - targetLen + len2;
  if (newSize > INT32_MAX) {
    SetErr(memFullErr);
    return -1;
  }
  // ptr2 may point into h itself: copy it out before the block moves.
  char *replacement = nullptr;
  if (len2 > 0) {
    replacement = static_cast<char *>(std::malloc(size_t(len2)));
    if (replacement == nullptr) {
      SetErr(memFullErr);
      return -1;
    }
    std::memcpy(replacement, ptr2, size_t(len2));
  }
  SInt32 tail = size - start - targetLen;
  if (newSize > size) {
    SetHandleSize(h, Size(newSize));
    if (OSErr e = MemError()) {
      std::free(replacement);
      SetErr(e);
      return -1;
    }
  }
  std::memmove(*h + start + len2, *h + start + targetLen, size_t(tail));
  if (len2 > 0)
    std::memcpy(*h + start, replacement, size_t(len2));
  std::free(replacement);
  if (newSize < size)
    SetHandleSize(h, Size(newSize));
  SetErr(noErr);
  return start + len2;
}

static Ptr NewPtrImpl(Size byteCount, bool clear) {
  State &s = S();
  std::lock_guard g(s.lock);
  if (byteCount < 0) {
    SetErr(memFullErr);
    return nullptr;
  }
  const int zone = s.currentZone;
  Size cap = std::max<Size>(byteCount, 1);
  if (!Reserve(s, zone, cap)) {
    SetErr(memFullErr);
    return nullptr;
  }
  void *raw = clear ? std::calloc(1, sizeof(PtrHeader) + size_t(cap)) : std::malloc(sizeof(PtrHeader) + size_t(cap));
  if (raw == nullptr) {
    Release(s, zone, cap);
    SetErr(memFullErr);
    return nullptr;
  }
  auto *hdr = static_cast<PtrHeader *>(raw);
  hdr->magic = kPtrMagic;
  hdr->size = byteCount;
  hdr->capacity = cap;
  hdr->zone = UInt8(zone);
  ++s.livePtrs;
  SetErr(noErr);
  return reinterpret_cast<Ptr>(hdr + 1);
}

Ptr NewPtr(Size byteCount) noexcept { return NewPtrImpl(byteCount, false); }
Ptr NewPtrClear(Size byteCount) noexcept { return NewPtrImpl(byteCount, true); }

void DisposePtr(Ptr p) noexcept {
  State &s = S();
  std::lock_guard g(s.lock);
  if (p == nullptr) {
    SetErr(noErr);
    return;
  }
  PtrHeader *hdr = Hdr(p);
  if (hdr == nullptr) {
    SetErr(memWZErr);
    return;
  }
  Release(s, hdr->zone, hdr->capacity);
  hdr->magic = 0;
  std::free(hdr);
  --s.livePtrs;
  SetErr(noErr);
}

Size GetPtrSize(Ptr p) noexcept {
  PtrHeader *hdr = Hdr(p);
  if (hdr == nullptr) {
    SetErr(p ? memWZErr : nilHandleErr);
    return 0;
  }
  SetErr(noErr);
  return hdr->size;
}

void SetPtrSize(Ptr p, Size newSize) noexcept {
  PtrHeader *hdr = Hdr(p);
  if (hdr == nullptr) {
    SetErr(p ? memWZErr : nilHandleErr);
    return;
  }
  if (newSize < 0 || newSize > hdr->capacity) {
    SetErr(memFullErr); // a pointer block never moves
    return;
  }
  hdr->size = newSize;
  SetErr(noErr);
}

void BlockMove(const void *srcPtr, void *destPtr, Size byteCount) noexcept {
  if (byteCount > 0)
    std::memmove(destPtr, srcPtr, size_t(byteCount));
}
void BlockMoveData(const void *srcPtr, void *destPtr, Size byteCount) noexcept {
  if (byteCount > 0)
    std::memmove(destPtr, srcPtr, size_t(byteCount));
}
void BlockZero(void *destPtr, Size byteCount) noexcept {
  if (byteCount > 0)
    std::memset(destPtr, 0, size_t(byteCount));
}

static SInt32 AvailableLocked(State &s, int zone) {
  SInt64 left = s.zones[zone].limit - s.zones[zone].inUse;
  return SInt32(std::clamp<SInt64>(left, 0, INT32_MAX));
}

static SInt32 Available(int zone) {
  State &s = S();
  std::lock_guard g(s.lock);
  return AvailableLocked(s, zone);
}

static int CurrentZone() {
  std::lock_guard g(S().lock);
  return S().currentZone;
}

SInt32 FreeMem(void) noexcept { return Available(CurrentZone()); }
Size MaxBlock(void) noexcept { return Available(CurrentZone()); }

// Purges the current zone (every unlocked purgeable handle is emptied, as
// EmptyHandle does), then reports what the zone can give.
Size MaxMem(Size *grow) noexcept {
  State &s = S();
  std::lock_guard g(s.lock);
  const int zone = s.currentZone;
  PurgeZone(s, zone, nullptr);
  if (grow)
    *grow = 0;
  SetErr(noErr);
  return AvailableLocked(s, zone);
}
SInt32 TempFreeMem(void) noexcept { return Available(kPlatformTemporaryZone); }
Size TempMaxMem(Size *grow) noexcept {
  if (grow)
    *grow = 0;
  return Available(kPlatformTemporaryZone);
}

void PurgeSpace(SInt32 *total, SInt32 *contig) noexcept {
  State &s = S();
  std::lock_guard g(s.lock);
  const int zone = s.currentZone;
  SInt64 purgeable = 0;
  for (auto &[block, rec] : s.byBlock) {
    if (rec->zone == zone && (rec->state & kHandlePurgeableMask) && !(rec->state & kHandleLockedMask))
      purgeable += rec->capacity;
  }
  // The zone has no fragmentation: free space and purged space add up to
  // one contiguous figure.
  SInt64 after = std::min<SInt64>(SInt64(AvailableLocked(s, zone)) + purgeable, INT32_MAX);
  if (total)
    *total = SInt32(after);
  if (contig)
    *contig = SInt32(after);
  SetErr(noErr);
}

THz GetZone(void) noexcept {
  std::lock_guard g(S().lock);
  SetErr(noErr);
  return reinterpret_cast<THz>(&S().zones[S().currentZone]);
}

void SetZone(THz zone) noexcept {
  State &s = S();
  std::lock_guard g(s.lock);
  for (int i = 0; i < kZoneCount; ++i) {
    if (reinterpret_cast<THz>(&s.zones[i]) == zone) {
      s.currentZone = i;
      SetErr(noErr);
      return;
    }
  }
  SetErr(memAZErr);
}

THz SystemZone(void) noexcept { return ApplicationZone(); }

void PlatformSetZoneLimit(int zone, SInt64 limitBytes) noexcept {
  if (zone < 0 || zone >= kZoneCount)
    return;
  std::lock_guard g(S().lock);
  S().zones[zone].limit = limitBytes;
}

SInt64 PlatformZoneBytesInUse(int zone) noexcept {
  if (zone < 0 || zone >= kZoneCount)
    return 0;
  std::lock_guard g(S().lock);
  return S().zones[zone].inUse;
}

void PlatformFailNthAllocation(UInt32 n) noexcept {
  std::lock_guard g(S().lock);
  S().failCountdown = n;
  S().failInjected = false;
}

Boolean PlatformAllocationFailureInjected(void) noexcept {
  std::lock_guard g(S().lock);
  return S().failInjected;
}

SInt32 PlatformLiveHandleCount(void) noexcept { return S().liveHandles; }
SInt32 PlatformLivePtrCount(void) noexcept { return S().livePtrs; }

void PlatformSetAlwaysMoveOnGrowth(Boolean on) noexcept {
  std::lock_guard g(S().lock);
  S().alwaysMove = on != 0;
}

} // extern "C"
