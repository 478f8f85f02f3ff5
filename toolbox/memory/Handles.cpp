// Handle makers with temporary-memory fall-back, maximum-size handles,
// copies and conversions, and item arrays kept in a handle.

#include <algorithm>
#include <cstdarg>
#include <cstdint>

#include "toolbox/memory/MemoryToolbox.h"

namespace {

constexpr SInt64 kLargestBlock = INT32_MAX;

// Temporary memory first, then the application heap. *err is the
// temporary-memory result when that succeeded, else MemError() after
// NewHandle.
Handle NewHandleTempFirst(Size size, OSErr *err) {
  Handle h = TempNewHandle(size, err);
  if (h == nullptr) {
    h = NewHandle(size);
    *err = MemError();
  }
  return h;
}

// An error for a NULL handle that came back without one.
inline OSErr FailureOf(OSErr err) { return err != noErr ? err : OSErr(memFullErr); }

} // namespace

extern "C" {

Size GetMaximumHandleSize(Size wantedSize, Size reserve, Boolean tryHard, Boolean useTemp) noexcept {
  const SInt64 wanted = std::max<SInt64>(wantedSize, 0);
  const SInt64 kept = std::max<SInt64>(reserve, 0);
  const SInt64 total = wanted + kept; // 64-bit: cannot overflow
  SInt64 available;
  if (useTemp) {
    available = TempMaxMem(nullptr);
  } else {
    available = MaxBlock();
    if (available < total) {
      SInt32 purgeTotal = 0, contiguous = 0;
      PurgeSpace(&purgeTotal, &contiguous);
      available = contiguous;
      if (available < total && tryHard) {
        Size grow = 0;
        available = MaxMem(&grow);
      }
    }
  }
  available = std::min(available, total);
  return Size(std::max<SInt64>(available - kept, 0));
}

OSErr NewMaximumHandle(Handle *outHandle, Size *ioSize, Size reserve, Boolean tryHard, Boolean useTemp) noexcept {
  if (outHandle == nullptr || ioSize == nullptr)
    return paramErr;
  const Size size = GetMaximumHandleSize(*ioSize, reserve, tryHard, useTemp);
  if (size == 0 && *ioSize > 0)
    return memFullErr;
  OSErr err = noErr;
  Handle h = nullptr;
  if (useTemp)
    h = TempNewHandle(size, &err);
  if (h == nullptr) {
    h = NewHandle(size);
    err = MemError();
  }
  if (h == nullptr)
    return FailureOf(err);
  *outHandle = h;
  *ioSize = size;
  return noErr;
}

OSErr NewMaximumQuantizedHandle(Handle *outHandle, UInt32 quantum, UInt32 *ioCount, Size reserve,
                                Boolean tryHard, Boolean useTemp) noexcept {
  if (outHandle == nullptr || ioCount == nullptr || quantum == 0)
    return paramErr;
  const SInt64 wanted = std::min<SInt64>(SInt64(quantum) * *ioCount, kLargestBlock);
  Size size = GetMaximumHandleSize(Size(wanted), reserve, tryHard, useTemp);
  size -= Size(UInt32(size) % quantum);
  if (size == 0 && *ioCount > 0)
    return memFullErr;
  OSErr err = noErr;
  Handle h;
  if (useTemp) {
    h = NewHandleTempFirst(size, &err);
  } else {
    h = NewHandleClear(size);
    err = MemError();
  }
  if (h == nullptr)
    return FailureOf(err);
  *outHandle = h;
  *ioCount = UInt32(size) / quantum;
  return noErr;
}

Boolean IsMemoryAvailable(Size size) noexcept { return MaxBlock() >= size; }

Boolean IsMemoryAvailableAfterTryingHard(Size size, Boolean noTemp, Boolean tempOnly, Boolean tempFirst) noexcept {
  Size grow = 0;
  if (tempFirst && !noTemp) {
    if (TempMaxMem(&grow) >= size)
      return true;
    return !tempOnly && MaxMem(&grow) >= size;
  }
  if (MaxMem(&grow) >= size)
    return true;
  return !noTemp && TempMaxMem(&grow) >= size;
}

Size CompactAndPurgeHeap(void) noexcept {
  Size grow = 0;
  return MaxMem(&grow);
}

OSErr NewTempOrRegularHandle(Size size, Boolean preferTemp, Handle *outHandle) noexcept {
  if (outHandle == nullptr)
    return paramErr;
  OSErr err = noErr;
  Handle h;
  if (preferTemp) {
    h = NewHandleTempFirst(size, &err);
  } else {
    h = NewHandle(size);
    err = MemError();
    if (err != noErr)
      h = TempNewHandle(size, &err);
  }
  *outHandle = h;
  return err;
}

OSErr NewHandleTemp(Size size, Handle *outHandle) noexcept {
  if (outHandle == nullptr)
    return paramErr;
  OSErr err = noErr;
  Handle h = TempNewHandle(size, &err);
  if (h == nullptr)
    return memFullErr;
  *outHandle = h;
  return noErr;
}

OSErr NewHandleTempOrLess(Handle *outHandle, Size *outSize, UInt32 count, ...) noexcept {
  if (outHandle == nullptr || count == 0)
    return paramErr;
  va_list sizes;
  va_start(sizes, count);
  OSErr err = memFullErr;
  for (UInt32 i = 0; i < count; ++i) {
    const uint32_t size = va_arg(sizes, uint32_t);
    if (size == 0) {
      err = paramErr;
      break;
    }
    if (size > uint32_t(INT32_MAX)) {
      err = memFullErr;
      continue;
    }
    Handle h = nullptr;
    err = NewHandleTemp(Size(size), &h);
    if (err == noErr) {
      *outHandle = h;
      if (outSize != nullptr)
        *outSize = Size(size);
      break;
    }
  }
  va_end(sizes);
  return err;
}

Handle NewAnyHandle(Size size) noexcept {
  OSErr err = noErr;
  return NewHandleTempFirst(size, &err);
}

OSErr MemAllocHandle(Size size, Handle *outHandle) noexcept {
  if (outHandle == nullptr)
    return paramErr;
  OSErr err = noErr;
  Handle h = NewHandleTempFirst(size, &err);
  if (h == nullptr)
    return FailureOf(err);
  *outHandle = h;
  return noErr;
}

static OSErr CopyIntoNewHandle(const void *source, Handle *outHandle, Size length, bool tempOnly) {
  if (outHandle == nullptr || length < 0 || (source == nullptr && length > 0))
    return paramErr;
  OSErr err = noErr;
  Handle h = tempOnly ? TempNewHandle(length, &err) : NewHandleTempFirst(length, &err);
  if (h == nullptr)
    return memFullErr;
  BlockMoveData(source, *h, length);
  *outHandle = h;
  return noErr;
}

OSErr PtrToAnyHand(const void *source, Handle *outHandle, Size length) noexcept {
  return CopyIntoNewHandle(source, outHandle, length, false);
}

OSErr PtrToTempHand(const void *source, Handle *outHandle, Size length) noexcept {
  return CopyIntoNewHandle(source, outHandle, length, true);
}

OSErr HandToTempHand(Handle *ioHandle) noexcept {
  if (ioHandle == nullptr || *ioHandle == nullptr)
    return paramErr;
  Handle source = *ioHandle;
  const Size size = GetHandleSize(source);
  if (OSErr err = MemError())
    return err;
  OSErr err = noErr;
  Handle copy = TempNewHandle(size, &err);
  if (copy == nullptr)
    return FailureOf(err);
  if (size > 0)
    BlockMoveData(*source, *copy, size);
  *ioHandle = copy;
  return noErr;
}

OSErr HandToHandAndAllowTempMem(Handle *ioHandle, Boolean preferTemp) noexcept {
  if (ioHandle == nullptr || *ioHandle == nullptr)
    return paramErr;
  OSErr err;
  if (preferTemp) {
    err = HandToTempHand(ioHandle);
    if (err != noErr)
      err = HandToHand(ioHandle);
  } else {
    err = HandToHand(ioHandle);
    if (err != noErr)
      err = HandToTempHand(ioHandle);
  }
  return err;
}

OSErr HandToXHand(Handle source, Handle destination) noexcept {
  if (source == nullptr || destination == nullptr)
    return paramErr;
  const Size size = GetHandleSize(source);
  if (OSErr err = MemError())
    return err;
  const Size current = GetHandleSize(destination);
  if (OSErr err = MemError())
    return err;
  if (current != size || *destination == nullptr) {
    // An emptied destination has no block to resize: give it a new one.
    if (*destination == nullptr)
      ReallocateHandle(destination, size);
    else
      SetHandleSize(destination, size);
    if (OSErr err = MemError())
      return err;
  }
  if (size > 0)
    BlockMoveData(*source, *destination, size);
  return noErr;
}

OSErr AdjustHandleSize(Handle h, Size delta, Boolean clearNew, Size *outOldSize) noexcept {
  const Size oldSize = GetHandleSize(h);
  if (OSErr err = MemError())
    return err;
  const SInt64 newSize = SInt64(oldSize) + delta;
  if (newSize < 0 || newSize > kLargestBlock)
    return memFullErr;
  SetHandleSize(h, Size(newSize));
  if (OSErr err = MemError())
    return err;
  if (clearNew && delta > 0)
    BlockZero(*h + oldSize, delta);
  if (outOldSize != nullptr)
    *outOldSize = oldSize;
  return noErr;
}

SignedByte HGetStateAndLock(Handle h) noexcept {
  const SignedByte state = HGetState(h);
  HLock(h);
  return state;
}

OSErr AddItemsToHandle(Handle h, Size itemSize, UInt32 index, UInt32 count, const void *items) noexcept {
  if (itemSize < 0)
    return paramErr;
  const Size size = GetHandleSize(h);
  if (OSErr err = MemError())
    return err;
  const SInt64 bytes = SInt64(itemSize) * count;
  if (bytes > kLargestBlock - size)
    return memFullErr;
  if (bytes > 0 && items == nullptr)
    return paramErr;
  const SInt64 offset = std::min<SInt64>(SInt64(itemSize) * index, size);
  Munger(h, SInt32(offset), nullptr, 0, items, SInt32(bytes));
  return MemError();
}

OSErr RemoveItemsFromHandle(Handle h, Size itemSize, UInt32 index, UInt32 count) noexcept {
  if (itemSize < 0)
    return paramErr;
  const Size size = GetHandleSize(h);
  if (OSErr err = MemError())
    return err;
  const SInt64 offset = SInt64(itemSize) * index;
  if (offset >= size)
    return noErr; // nothing there to remove
  const SInt64 bytes = std::min<SInt64>(SInt64(itemSize) * count, size - offset);
  if (bytes == 0)
    return noErr;
  static const char kNothing = 0; // deletion form: a non-null, empty insertion
  Munger(h, SInt32(offset), nullptr, SInt32(bytes), &kNothing, 0);
  return MemError();
}

Handle NewHandleMax(Size size, Size reserve, Size *outSize) noexcept {
  if (size < 0 || reserve < 0)
    return nullptr;
  const SInt64 need = SInt64(size) + reserve;
  Size grow = 0;
  OSErr err = noErr;
  Handle h = nullptr;
  const SInt64 temp = TempMaxMem(&grow);
  if (temp >= need) {
    h = TempNewHandle(size, &err);
  } else {
    const SInt64 app = MaxMem(&grow);
    if (app >= need) {
      h = NewHandle(size);
    } else if (temp > app) {
      size = Size(temp);
      h = TempNewHandle(size, &err);
    } else {
      size = Size(app);
      // Both exhausted: a handle of 0 bytes would pass for success.
      h = size > 0 ? NewHandle(size) : nullptr;
    }
  }
  if (outSize != nullptr)
    *outSize = size;
  return h;
}

} // extern "C"
