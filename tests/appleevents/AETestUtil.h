// Helpers for the Apple Event Manager tests: descriptor guards, a sweep
// over injected call failures, and readers that turn descriptors into
// plain values for comparison.
#ifndef TESTS_APPLEEVENTS_AETESTUTIL_H
#define TESTS_APPLEEVENTS_AETESTUTIL_H

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/aliases/Aliases.h"
#include "platform/appleevents/AppleEvents.h"
#include "platform/memory/Memory.h"
#include "support/TestSupport.h"

namespace qltest {

// A descriptor disposed of at scope exit.
struct Desc {
  AEDesc d;
  Desc() { AEInitializeDesc(&d); }
  ~Desc() { AEDisposeDesc(&d); }
  Desc(const Desc &) = delete;
  Desc &operator=(const Desc &) = delete;
  AEDesc *operator&() { return &d; }
  const AEDesc *get() const { return &d; }
  DescType type() const { return d.descriptorType; }
};

// Every test leaves no descriptor and no handle behind.
class AETest : public ::testing::Test {
protected:
  void SetUp() override {
    descs_ = PlatformLiveDescriptorCount();
    handles_ = PlatformLiveHandleCount();
  }
  void TearDown() override {
    PlatformResetAppleEvents();
    EXPECT_EQ(PlatformLiveDescriptorCount(), descs_) << "descriptors leaked";
    EXPECT_EQ(PlatformLiveHandleCount(), handles_) << "handles leaked";
  }

private:
  SInt32 descs_ = 0, handles_ = 0;
};

// Runs body with the n-th data-making Apple Event Manager call failing with
// a sentinel error, n = 1, 2, ... until a run injects nothing. After each
// run check(result, injected) is called and no descriptor or handle may
// be left over. Returns the number of runs.
inline int ForEachAECallFailure(const std::function<OSErr()> &body,
                                const std::function<void(OSErr, bool)> &check) {
  int runs = 0;
  for (UInt32 n = 1; n < 10000; ++n) {
    const SInt32 descs = PlatformLiveDescriptorCount();
    const SInt32 handles = PlatformLiveHandleCount();
    PlatformFailNthAECall(n, -12345);
    OSErr r = body();
    const bool injected = PlatformAECallFailureInjected();
    PlatformFailNthAECall(0, noErr);
    ++runs;
    SCOPED_TRACE("AE call " + std::to_string(n) + " failing");
    check(r, injected);
    EXPECT_EQ(PlatformLiveDescriptorCount(), descs) << "descriptors leaked";
    EXPECT_EQ(PlatformLiveHandleCount(), handles) << "handles leaked";
    if (!injected)
      break;
  }
  return runs;
}

inline std::string Code(OSType t) {
  std::string s;
  for (int i = 3; i >= 0; --i)
    s.push_back(char(t >> (8 * i)));
  return s;
}

// The data of a descriptor as bytes.
inline std::string Bytes(const AEDesc *d) {
  std::string s(size_t(AEGetDescDataSize(d)), '\0');
  EXPECT_EQ(AEGetDescData(d, s.data(), Size(s.size())), noErr);
  return s;
}

template <class T> std::string Raw(const T &v) { return std::string(reinterpret_cast<const char *>(&v), sizeof v); }

// A readable picture of a descriptor's shape and contents, for equality
// checks of nested structures: "list[TEXT:'ab',long:4]".
inline std::string Shape(const AEDesc *d);

inline std::string Hex(const std::string &s) {
  static const char k[] = "0123456789abcdef";
  std::string o;
  for (unsigned char c : s) {
    o.push_back(k[c >> 4]);
    o.push_back(k[c & 15]);
  }
  return o;
}

inline std::string ItemsShape(const AEDesc *d, bool keyed) {
  SInt32 n = 0;
  EXPECT_EQ(AECountItems(d, &n), noErr);
  std::string o = "[";
  for (SInt32 i = 1; i <= n; ++i) {
    AEDesc item;
    AEKeyword key = 0;
    EXPECT_EQ(AEGetNthDesc(d, i, typeWildCard, &key, &item), noErr);
    if (i > 1)
      o += ",";
    if (keyed)
      o += Code(key) + "=";
    o += Shape(&item);
    AEDisposeDesc(&item);
  }
  return o + "]";
}

inline std::string Shape(const AEDesc *d) {
  if (d->descriptorType == typeNull && d->dataHandle == nullptr)
    return "null";
  if (d->descriptorType == typeAEList)
    return "list" + ItemsShape(d, false);
  if (d->descriptorType == typeAERecord)
    return "reco" + ItemsShape(d, true);
  if (d->descriptorType == typeAppleEvent) {
    std::string o = "aevt{";
    for (AEKeyword k : {keyEventClassAttr, keyEventIDAttr, keyReturnIDAttr, keyTransactionIDAttr, keyAddressAttr}) {
      AEDesc a;
      if (AEGetAttributeDesc(d, k, typeWildCard, &a) == noErr) {
        o += Code(k) + "=" + Shape(&a) + ";";
        AEDisposeDesc(&a);
      }
    }
    return o + "}" + ItemsShape(d, true);
  }
  return Code(d->descriptorType) + ":" + Hex(Bytes(d));
}

} // namespace qltest

#endif
