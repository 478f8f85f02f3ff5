// Reference counting, equality, the live-object count and the creation
// failure hook; immutable arrays.
#include <vector>

#include "platform/corefoundation/CFInternal.h"

namespace ql::platform::cf {

namespace {
std::atomic<SInt32> gLive{0};
std::atomic<UInt32> gFailCountdown{0};
} // namespace

Object::Object(CFTypeID t) noexcept : type(t) { gLive.fetch_add(1, std::memory_order_relaxed); }

Object::~Object() {
  if (!constant)
    gLive.fetch_sub(1, std::memory_order_relaxed);
}

void Object::MakeConstant() noexcept {
  if (!constant) {
    constant = true;
    gLive.fetch_sub(1, std::memory_order_relaxed);
  }
}

bool Object::TryRetain() noexcept {
  SInt32 n = retainCount.load(std::memory_order_relaxed);
  while (n > 0) {
    if (retainCount.compare_exchange_weak(n, n + 1, std::memory_order_acq_rel))
      return true;
  }
  return false;
}

bool CreationAllowed() noexcept {
  UInt32 n = gFailCountdown.load(std::memory_order_relaxed);
  while (n > 0) {
    if (gFailCountdown.compare_exchange_weak(n, n - 1, std::memory_order_relaxed))
      return n != 1;
  }
  return true;
}

namespace {

class Array final : public Object {
public:
  Array() noexcept : Object(kTypeArray) {}
  ~Array() override {
    if (callbacks.release)
      for (const void *v : values)
        callbacks.release(nullptr, v);
  }
  std::vector<const void *> values;
  CFArrayCallBacks callbacks{};

  bool Equals(const Object &other) const override {
    auto &o = static_cast<const Array &>(other);
    if (o.values.size() != values.size())
      return false;
    for (size_t i = 0; i < values.size(); ++i) {
      if (values[i] == o.values[i])
        continue;
      if (callbacks.equal == nullptr || !callbacks.equal(values[i], o.values[i]))
        return false;
    }
    return true;
  }
  CFHashCode Hash() const override { return CFHashCode(values.size()); }
};

const void *RetainValue(CFAllocatorRef, const void *v) { return CFRetain(v); }
void ReleaseValue(CFAllocatorRef, const void *v) { CFRelease(v); }
Boolean EqualValues(const void *a, const void *b) { return CFEqual(a, b); }

} // namespace

} // namespace ql::platform::cf

using namespace ql::platform::cf;

extern "C" {

const CFArrayCallBacks kCFTypeArrayCallBacks = {0, RetainValue, ReleaseValue, nullptr, EqualValues};

CFTypeRef CFRetain(CFTypeRef cf) noexcept {
  auto *o = static_cast<const Object *>(cf);
  if (o == nullptr)
    return nullptr;
  const_cast<Object *>(o)->retainCount.fetch_add(1, std::memory_order_relaxed);
  return cf;
}

void CFRelease(CFTypeRef cf) noexcept {
  auto *o = const_cast<Object *>(static_cast<const Object *>(cf));
  if (o == nullptr)
    return;
  if (o->constant) {
    // Counted, so that callers' balance can be checked, but never below 1.
    SInt32 n = o->retainCount.load(std::memory_order_relaxed);
    while (n > 1 && !o->retainCount.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) {
    }
    return;
  }
  if (o->retainCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
    delete o;
}

CFIndex CFGetRetainCount(CFTypeRef cf) noexcept {
  auto *o = static_cast<const Object *>(cf);
  return o ? o->retainCount.load(std::memory_order_relaxed) : 0;
}

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2) noexcept {
  auto *a = static_cast<const Object *>(cf1);
  auto *b = static_cast<const Object *>(cf2);
  if (a == nullptr || b == nullptr)
    return false;
  if (a == b)
    return true;
  return a->type == b->type && a->Equals(*b);
}

CFHashCode CFHash(CFTypeRef cf) noexcept {
  auto *o = static_cast<const Object *>(cf);
  return o ? o->Hash() : 0;
}

CFTypeID CFGetTypeID(CFTypeRef cf) noexcept {
  auto *o = static_cast<const Object *>(cf);
  return o ? o->type : 0;
}

CFTypeID CFArrayGetTypeID(void) noexcept { return kTypeArray; }

CFArrayRef CFArrayCreate(CFAllocatorRef, const void **values, CFIndex numValues,
                         const CFArrayCallBacks *callBacks) noexcept {
  if (numValues < 0 || (numValues > 0 && values == nullptr))
    return nullptr;
  Array *a = Make<Array>();
  if (a == nullptr)
    return nullptr;
  try {
    a->values.assign(values, values + numValues);
  } catch (...) {
    delete a;
    return nullptr;
  }
  if (callBacks) {
    a->callbacks = *callBacks;
    if (a->callbacks.retain)
      for (const void *&v : a->values)
        v = a->callbacks.retain(nullptr, v);
  }
  return reinterpret_cast<CFArrayRef>(static_cast<Object *>(a));
}

CFIndex CFArrayGetCount(CFArrayRef theArray) noexcept {
  auto *a = As<Array>(theArray, kTypeArray);
  return a ? CFIndex(a->values.size()) : 0;
}

const void *CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) noexcept {
  auto *a = As<Array>(theArray, kTypeArray);
  if (a == nullptr || idx < 0 || size_t(idx) >= a->values.size())
    return nullptr;
  return a->values[size_t(idx)];
}

SInt32 PlatformCFLiveObjectCount(void) noexcept { return gLive.load(std::memory_order_relaxed); }

void PlatformCFFailNthCreation(UInt32 n) noexcept { gFailCountdown.store(n, std::memory_order_relaxed); }

} // extern "C"
