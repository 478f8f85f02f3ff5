// Descriptors, lists, records and Apple events: copies, order, errors,
// attributes and disposal.
#include "appleevents/AETestUtil.h"

namespace {

using qltest::AETest;
using qltest::Bytes;
using qltest::Desc;
using qltest::Shape;

const OSType kTypeA = ql::FourCC("aaaa");
const OSType kKeyA = ql::FourCC("keyA"), kKeyB = ql::FourCC("keyB"), kKeyC = ql::FourCC("keyC");

class Descriptors : public AETest {};

TEST_F(Descriptors, CreateCopiesAndDisposeFrees) {
  const SInt32 start = PlatformLiveDescriptorCount();
  char buf[] = "abc";
  Desc d;
  ASSERT_EQ(AECreateDesc(typeChar, buf, 3, &d), noErr);
  buf[0] = 'X'; // the descriptor keeps its own copy
  EXPECT_EQ(Bytes(d.get()), "abc");
  EXPECT_EQ(AEGetDescDataSize(d.get()), 3);
  EXPECT_EQ(PlatformLiveDescriptorCount(), start + 1);
  {
    Desc dup;
    ASSERT_EQ(AEDuplicateDesc(d.get(), &dup), noErr);
    EXPECT_NE(dup.d.dataHandle, d.d.dataHandle);
    EXPECT_EQ(PlatformLiveDescriptorCount(), start + 2);
  }
  EXPECT_EQ(PlatformLiveDescriptorCount(), start + 1);

  // A partial read copies no more than asked and leaves the rest alone.
  char out[4] = {'.', '.', '.', '.'};
  EXPECT_EQ(AEGetDescData(d.get(), out, 2), noErr);
  EXPECT_EQ(std::string(out, 4), "ab..");

  // The null descriptor holds nothing and disposes of cleanly, twice.
  Desc n;
  ASSERT_EQ(AECreateDesc(typeNull, nullptr, 0, &n), noErr);
  EXPECT_EQ(n.d.dataHandle, nullptr);
  EXPECT_EQ(AEDisposeDesc(&n), noErr);
  EXPECT_EQ(AEDisposeDesc(&n), noErr);
  EXPECT_EQ(PlatformLiveDescriptorCount(), start + 1);
}

TEST_F(Descriptors, StaleAndForeignDescriptorsAreRefused) {
  AEDesc d, copy;
  ASSERT_EQ(AECreateDesc(typeSInt32, "\1\0\0\0", 4, &d), noErr);
  copy = d; // a second record of the same descriptor
  EXPECT_EQ(AEDisposeDesc(&d), noErr);
  EXPECT_EQ(d.descriptorType, typeNull);
  // Using or freeing it again through the stale copy is refused, not a crash.
  EXPECT_EQ(AEDisposeDesc(&copy), errAENotAEDesc);
  EXPECT_EQ(AEGetDescDataSize(&copy), 0);
  SInt32 count;
  EXPECT_EQ(AECountItems(&copy, &count), errAENotAEDesc);
  AEDesc bogus{typeChar, reinterpret_cast<AEDataStorage>(&count)};
  Desc out;
  EXPECT_EQ(AEDuplicateDesc(&bogus, &out), errAENotAEDesc);
  EXPECT_EQ(out.type(), typeNull) << "no output on failure";
}

TEST_F(Descriptors, ListKeepsOrderAndPutsByIndex) {
  Desc list;
  ASSERT_EQ(AECreateList(nullptr, 0, false, &list), noErr);
  EXPECT_EQ(list.type(), typeAEList);
  for (SInt32 v : {10, 20, 30})
    ASSERT_EQ(AEPutPtr(&list, 0, typeSInt32, &v, 4), noErr);
  SInt32 v = 40;
  ASSERT_EQ(AEPutPtr(&list, 4, typeSInt32, &v, 4), noErr); // count + 1 appends
  v = 21;
  ASSERT_EQ(AEPutPtr(&list, 2, typeSInt32, &v, 4), noErr); // replaces
  {
    Desc text;
    ASSERT_EQ(AECreateDesc(typeChar, "hi", 2, &text), noErr);
    ASSERT_EQ(AEPutDesc(&list, 0, text.get()), noErr);
  } // the list keeps its own copy
  SInt32 n = 0;
  ASSERT_EQ(AECountItems(list.get(), &n), noErr);
  ASSERT_EQ(n, 5);
  const SInt32 want[] = {10, 21, 30, 40};
  for (SInt32 i = 1; i <= 4; ++i) {
    SInt32 got = 0;
    DescType type = 0;
    Size actual = 0;
    AEKeyword key = 0;
    ASSERT_EQ(AEGetNthPtr(list.get(), i, typeSInt32, &key, &type, &got, 4, &actual), noErr);
    EXPECT_EQ(got, want[i - 1]);
    EXPECT_EQ(type, typeSInt32);
    EXPECT_EQ(actual, 4);
  }
  DescType t;
  Size size;
  ASSERT_EQ(AESizeOfNthItem(list.get(), 5, &t, &size), noErr);
  EXPECT_EQ(t, typeChar);
  EXPECT_EQ(size, 2);

  ASSERT_EQ(AEDeleteItem(&list, 1), noErr);
  EXPECT_EQ(Shape(list.get()), "list[long:15000000,long:1e000000,long:28000000,TEXT:6869]");

  // A list put into itself holds a copy of what it was.
  ASSERT_EQ(AEPutDesc(&list, 0, list.get()), noErr);
  ASSERT_EQ(AECountItems(list.get(), &n), noErr);
  EXPECT_EQ(n, 5);
  ASSERT_EQ(AESizeOfNthItem(list.get(), 5, &t, nullptr), noErr);
  EXPECT_EQ(t, typeAEList);
}

TEST_F(Descriptors, RecordKeepsOrderAndReplacesInPlace) {
  Desc rec;
  ASSERT_EQ(AECreateList(nullptr, 0, true, &rec), noErr);
  EXPECT_EQ(rec.type(), typeAERecord);
  ASSERT_EQ(AEPutKeyPtr(&rec, kKeyA, typeChar, "a", 1), noErr);
  ASSERT_EQ(AEPutKeyPtr(&rec, kKeyB, typeChar, "b", 1), noErr);
  ASSERT_EQ(AEPutKeyPtr(&rec, kKeyC, typeChar, "c", 1), noErr);
  ASSERT_EQ(AEPutParamPtr(&rec, kKeyA, typeChar, "A", 1), noErr); // same keyword: replaced where it was
  EXPECT_EQ(Shape(rec.get()), "reco[keyA=TEXT:41,keyB=TEXT:62,keyC=TEXT:63]");
  ASSERT_EQ(AEDeleteKeyDesc(&rec, kKeyB), noErr);
  EXPECT_EQ(Shape(rec.get()), "reco[keyA=TEXT:41,keyC=TEXT:63]");
  EXPECT_EQ(AEDeleteKeyDesc(&rec, kKeyB), errAEDescNotFound);

  char c = 0;
  DescType t;
  Size actual;
  EXPECT_EQ(AEGetKeyPtr(rec.get(), kKeyC, typeWildCard, &t, &c, 1, &actual), noErr);
  EXPECT_EQ(c, 'c');
  Desc item;
  AEKeyword key = 0;
  ASSERT_EQ(AEGetNthDesc(rec.get(), 2, typeWildCard, &key, &item), noErr);
  EXPECT_EQ(key, kKeyC);
}

// Each call on the wrong kind of descriptor or index fails and writes nothing.
TEST_F(Descriptors, WrongKindsAndIndexes) {
  Desc list, rec, data, ev;
  ASSERT_EQ(AECreateList(nullptr, 0, false, &list), noErr);
  ASSERT_EQ(AECreateList(nullptr, 0, true, &rec), noErr);
  ASSERT_EQ(AECreateDesc(typeChar, "x", 1, &data), noErr);
  ASSERT_EQ(AECreateAppleEvent(kCoreEventClass, kAEOpenDocuments, nullptr, kAutoGenerateReturnID,
                               kAnyTransactionID, &ev),
            noErr);
  ASSERT_EQ(AEPutPtr(&list, 0, typeChar, "a", 1), noErr);
  SInt32 v = 1;
  struct Case {
    const char *id;
    std::function<OSErr(AEDesc *)> call;
    OSErr err;
  };
  const Case cases[] = {
      {"count data", [&](AEDesc *o) { SInt32 n; return AECountItems(data.get(), &n); }, errAEWrongDataType},
      {"put by index into record", [&](AEDesc *o) { return AEPutPtr(&rec, 0, typeSInt32, &v, 4); }, errAEWrongDataType},
      {"put by key into list", [&](AEDesc *o) { return AEPutKeyPtr(&list, kKeyA, typeSInt32, &v, 4); }, errAEWrongDataType},
      {"index 0", [&](AEDesc *o) { return AEGetNthDesc(list.get(), 0, typeWildCard, nullptr, o); }, errAEIllegalIndex},
      {"index past end", [&](AEDesc *o) { return AEGetNthDesc(list.get(), 2, typeWildCard, nullptr, o); }, errAEIllegalIndex},
      {"negative index", [&](AEDesc *o) { return AEGetNthDesc(list.get(), -1, typeWildCard, nullptr, o); }, errAEIllegalIndex},
      {"put past end + 1", [&](AEDesc *o) { return AEPutPtr(&list, 3, typeSInt32, &v, 4); }, errAEIllegalIndex},
      {"delete past end", [&](AEDesc *o) { return AEDeleteItem(&list, 2); }, errAEIllegalIndex},
      {"missing key", [&](AEDesc *o) { return AEGetKeyDesc(rec.get(), kKeyA, typeWildCard, o); }, errAEDescNotFound},
      {"attribute of record", [&](AEDesc *o) { return AEGetAttributeDesc(rec.get(), keyEventClassAttr, typeWildCard, o); }, errAENotAppleEvent},
      {"attribute put on list", [&](AEDesc *o) { return AEPutAttributePtr(&list, kKeyA, typeSInt32, &v, 4); }, errAENotAppleEvent},
      {"uncoercible item", [&](AEDesc *o) { return AEGetNthDesc(list.get(), 1, typeFSRef, nullptr, o); }, errAECoercionFail},
      {"negative size", [&](AEDesc *o) { return AECreateDesc(typeChar, "x", -1, o); }, paramErr},
      {"null data with size", [&](AEDesc *o) { return AECreateDesc(typeChar, nullptr, 1, o); }, paramErr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    AEDesc out{ql::FourCC("sent"), reinterpret_cast<AEDataStorage>(0x5e)};
    EXPECT_EQ(c.call(&out), c.err);
    EXPECT_EQ(out.descriptorType, ql::FourCC("sent"));
    EXPECT_EQ(out.dataHandle, reinterpret_cast<AEDataStorage>(0x5e));
  }
  SInt32 n = 0;
  ASSERT_EQ(AECountItems(list.get(), &n), noErr);
  EXPECT_EQ(n, 1);
}

TEST_F(Descriptors, AppleEventAttributesAndParameters) {
  ProcessSerialNumber psn{0, kCurrentProcess};
  Desc addr, ev, ev2;
  ASSERT_EQ(AECreateDesc(typeProcessSerialNumber, &psn, sizeof psn, &addr), noErr);
  ASSERT_EQ(AECreateAppleEvent(kCoreEventClass, kAEOpenDocuments, addr.get(), kAutoGenerateReturnID,
                               kAnyTransactionID, &ev),
            noErr);
  ASSERT_EQ(AECreateAppleEvent(kCoreEventClass, kAEOpenDocuments, addr.get(), kAutoGenerateReturnID, 7, &ev2),
            noErr);
  EXPECT_EQ(ev.type(), typeAppleEvent);

  AEEventClass cls = 0;
  AEEventID id = 0;
  DescType t = 0;
  Size actual = 0;
  ASSERT_EQ(AEGetAttributePtr(ev.get(), keyEventClassAttr, typeType, &t, &cls, 4, &actual), noErr);
  EXPECT_EQ(cls, kCoreEventClass);
  ASSERT_EQ(AEGetAttributePtr(ev.get(), keyEventIDAttr, typeType, &t, &id, 4, &actual), noErr);
  EXPECT_EQ(id, kAEOpenDocuments);
  ProcessSerialNumber got{};
  ASSERT_EQ(AEGetAttributePtr(ev.get(), keyAddressAttr, typeWildCard, &t, &got, sizeof got, &actual), noErr);
  EXPECT_EQ(t, typeProcessSerialNumber);
  EXPECT_EQ(got.lowLongOfPSN, UInt32(kCurrentProcess));
  SInt16 r1 = 0, r2 = 0;
  ASSERT_EQ(AEGetAttributePtr(ev.get(), keyReturnIDAttr, typeSInt16, &t, &r1, 2, &actual), noErr);
  ASSERT_EQ(AEGetAttributePtr(ev2.get(), keyReturnIDAttr, typeSInt16, &t, &r2, 2, &actual), noErr);
  EXPECT_NE(r1, r2) << "generated return IDs differ";
  EXPECT_NE(r1, kAutoGenerateReturnID);
  SInt32 tran = -1;
  ASSERT_EQ(AEGetAttributePtr(ev2.get(), keyTransactionIDAttr, typeSInt32, &t, &tran, 4, &actual), noErr);
  EXPECT_EQ(tran, 7);

  // Parameters: every one unread is "missed" until read, unless optional.
  EXPECT_EQ(AEGetAttributePtr(ev.get(), keyMissedKeywordAttr, typeWildCard, &t, &id, 4, &actual), errAEDescNotFound);
  ASSERT_EQ(AEPutParamPtr(&ev, keyDirectObject, typeChar, "doc", 3), noErr);
  ASSERT_EQ(AEPutParamPtr(&ev, kKeyA, typeChar, "opt", 3), noErr);
  AEKeyword missed = 0;
  ASSERT_EQ(AEGetAttributePtr(ev.get(), keyMissedKeywordAttr, typeWildCard, &t, &missed, 4, &actual), noErr);
  EXPECT_EQ(missed, keyDirectObject);
  EXPECT_EQ(t, typeKeyword);
  char buf[8];
  ASSERT_EQ(AEGetParamPtr(ev.get(), keyDirectObject, typeChar, &t, buf, sizeof buf, &actual), noErr);
  ASSERT_EQ(AEGetAttributePtr(ev.get(), keyMissedKeywordAttr, typeWildCard, &t, &missed, 4, &actual), noErr);
  EXPECT_EQ(missed, kKeyA);
  {
    Desc optional;
    ASSERT_EQ(AECreateList(nullptr, 0, false, &optional), noErr);
    ASSERT_EQ(AEPutPtr(&optional, 0, typeKeyword, &kKeyA, 4), noErr);
    ASSERT_EQ(AEPutAttributeDesc(&ev, keyOptionalKeywordAttr, optional.get()), noErr);
  }
  EXPECT_EQ(AEGetAttributePtr(ev.get(), keyMissedKeywordAttr, typeWildCard, &t, &missed, 4, &actual), errAEDescNotFound);

  SInt32 n = 0;
  ASSERT_EQ(AECountItems(ev.get(), &n), noErr);
  EXPECT_EQ(n, 2);
  ASSERT_EQ(AEDeleteParam(&ev, kKeyA), noErr);
  EXPECT_EQ(AEGetParamPtr(ev.get(), kKeyA, typeWildCard, &t, buf, 8, &actual), errAEDescNotFound);
}

// Puts and reads of every kind stop on an injected failure and leak nothing.
TEST_F(Descriptors, InjectedFailuresLeaveNothingBehind) {
  auto build = []() -> OSErr {
    AEDesc list, rec, ev;
    AEInitializeDesc(&list);
    AEInitializeDesc(&rec);
    AEInitializeDesc(&ev);
    SInt32 v = 5;
    OSErr err = AECreateList(nullptr, 0, false, &list);
    if (!err)
      err = AECreateList(nullptr, 0, true, &rec);
    if (!err)
      err = AEPutKeyPtr(&rec, kKeyA, typeChar, "name", 4);
    if (!err)
      err = AEPutKeyPtr(&rec, kKeyB, typeSInt32, &v, 4);
    if (!err)
      err = AEPutDesc(&list, 0, &rec);
    if (!err)
      err = AECreateAppleEvent(kCoreEventClass, kAEOpenDocuments, nullptr, 1, 0, &ev);
    if (!err)
      err = AEPutParamDesc(&ev, keyDirectObject, &list);
    AEDesc copy;
    if (!err)
      err = AEDuplicateDesc(&ev, &copy);
    if (!err) {
      SInt16 s = 0;
      err = AEGetNthPtr(&list, 1, typeWildCard, nullptr, nullptr, nullptr, 0, nullptr);
      if (!err)
        err = AEGetKeyPtr(&rec, kKeyB, typeSInt16, nullptr, &s, 2, nullptr);
      if (!err && s != 5)
        err = -1;
      AEDisposeDesc(&copy);
    }
    AEDisposeDesc(&ev);
    AEDisposeDesc(&rec);
    AEDisposeDesc(&list);
    return err;
  };
  auto check = [](OSErr r, bool injected) { EXPECT_EQ(r, injected ? memFullErr : noErr); };
  EXPECT_GT(qltest::ForEachAECallFailure(build, [](OSErr r, bool injected) {
              EXPECT_EQ(r, injected ? OSErr(-12345) : noErr);
            }),
            8);
  EXPECT_GT(qltest::ForEachAllocFailure(build,
                                        check),
            5);
}

} // namespace
