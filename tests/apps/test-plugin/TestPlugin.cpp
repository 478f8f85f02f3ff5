// A tiny plug-in for the bundle tests: a factory that makes a counted
// object for one type, and a function that looks its own bundle up by
// identifier (which only works when the bundle and its host share one copy
// of the platform library).
#include <cstdlib>

#include "platform/corefoundation/CoreFoundation.h"

#define TEST_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct TestObject;
struct TestInterface {
  UInt32 (*AddRef)(TestObject *self);
  UInt32 (*Release)(TestObject *self);
  SInt32 (*Answer)(TestObject *self);
};

struct TestObject {
  const TestInterface *interface;
  CFUUIDRef factoryID;
  UInt32 refs;
};

// The type served: 6A1F0C2E-1111-4E5B-9C3D-00AABBCCDD01.
CFUUIDRef TypeID() {
  return CFUUIDGetConstantUUIDWithBytes(nullptr, 0x6A, 0x1F, 0x0C, 0x2E, 0x11, 0x11, 0x4E, 0x5B, 0x9C, 0x3D, 0x00,
                                        0xAA, 0xBB, 0xCC, 0xDD, 0x01);
}
// The factory: 6A1F0C2E-2222-4E5B-9C3D-00AABBCCDD02.
CFUUIDRef FactoryID() {
  return CFUUIDGetConstantUUIDWithBytes(nullptr, 0x6A, 0x1F, 0x0C, 0x2E, 0x22, 0x22, 0x4E, 0x5B, 0x9C, 0x3D, 0x00,
                                        0xAA, 0xBB, 0xCC, 0xDD, 0x02);
}

UInt32 AddRef(TestObject *self) { return ++self->refs; }
UInt32 Release(TestObject *self) {
  UInt32 n = --self->refs;
  if (n == 0) {
    CFPlugInRemoveInstanceForFactory(self->factoryID);
    CFRelease(self->factoryID);
    std::free(self);
  }
  return n;
}
SInt32 Answer(TestObject *) { return 42; }

const TestInterface kInterface = {AddRef, Release, Answer};

} // namespace

TEST_PLUGIN_EXPORT void *TestPlugInFactory(CFAllocatorRef, CFUUIDRef typeID) {
  if (!CFEqual(typeID, TypeID()))
    return nullptr;
  auto *o = static_cast<TestObject *>(std::malloc(sizeof(TestObject)));
  if (o == nullptr)
    return nullptr;
  o->interface = &kInterface;
  o->factoryID = static_cast<CFUUIDRef>(CFRetain(FactoryID()));
  o->refs = 1;
  CFPlugInAddInstanceForFactory(o->factoryID);
  return o;
}

TEST_PLUGIN_EXPORT Boolean TestPlugInFindsOwnBundle(void) {
  return CFBundleGetBundleWithIdentifier(CFSTR("org.quillomat.test-plugin")) != nullptr;
}
