// AESend: handlers of this process called directly, replies, errors,
// wildcard handlers, and the transport to other processes.
#include <unistd.h>

#include "appleevents/AETestUtil.h"
#include "platform/processes/Processes.h"

namespace {

using qltest::AETest;
using qltest::Desc;

const AEEventClass kClass = ql::FourCC("Test");
const AEEventID kID = ql::FourCC("ping");

struct Seen {
  int calls = 0;
  std::string direct;
  ProcessSerialNumber from{};
  SInt16 source = -1;
  OSErr missedBefore = 1, missedAfter = 1;
  DescType replyType = 0;
  OSErr result = noErr;
};

OSErr Handler(const AppleEvent *ev, AppleEvent *reply, SRefCon refcon) {
  Seen &s = *static_cast<Seen *>(refcon);
  ++s.calls;
  AEKeyword k;
  s.missedBefore = AEGetAttributePtr(ev, keyMissedKeywordAttr, typeWildCard, nullptr, &k, 4, nullptr);
  char buf[64];
  Size n = 0;
  if (AEGetParamPtr(ev, keyDirectObject, typeChar, nullptr, buf, sizeof buf, &n) == noErr)
    s.direct.assign(buf, size_t(std::min<Size>(n, 64)));
  s.missedAfter = AEGetAttributePtr(ev, keyMissedKeywordAttr, typeWildCard, nullptr, &k, 4, nullptr);
  AEGetAttributePtr(ev, keyOriginalAddressAttr, typeProcessSerialNumber, nullptr, &s.from, 8, nullptr);
  AEGetAttributePtr(ev, keyEventSourceAttr, typeSInt16, nullptr, &s.source, 2, nullptr);
  s.replyType = reply->descriptorType;
  if (reply->descriptorType == typeAppleEvent)
    AEPutParamPtr(reply, keyDirectObject, typeChar, "pong", 4);
  return s.result;
}

// Reads the direct object and answers, passing up the first error.
OSErr StrictHandler(const AppleEvent *ev, AppleEvent *reply, SRefCon) {
  char buf[8];
  Size n;
  if (OSErr e = AEGetParamPtr(ev, keyDirectObject, typeChar, nullptr, buf, sizeof buf, &n))
    return e;
  return AEPutParamPtr(reply, keyDirectObject, typeChar, buf, n);
}

// These tests define who "self" is and what carries events to others
// themselves: they start from an Apple Event Manager without the Process
// Manager's hooks and put the hooks back afterwards.
class Send : public AETest {
protected:
  void SetUp() override {
    AETest::SetUp();
    PlatformResetAppleEvents();
  }
  void TearDown() override {
    AETest::TearDown();
    PlatformInstallProcessHooks();
  }

  // An event to the given address with a text direct object.
  void Event(AEDesc *ev, DescType addrType, const void *addr, Size size, AEEventClass cls = kClass,
             AEEventID id = kID) {
    Desc a;
    ASSERT_EQ(AECreateDesc(addrType, addr, size, &a), noErr);
    ASSERT_EQ(AECreateAppleEvent(cls, id, a.get(), kAutoGenerateReturnID, kAnyTransactionID, ev), noErr);
    ASSERT_EQ(AEPutParamPtr(ev, keyDirectObject, typeChar, "hello", 5), noErr);
  }
};

TEST_F(Send, ToSelfCallsTheHandlerWithAReply) {
  Seen seen;
  ASSERT_EQ(AEInstallEventHandler(kClass, kID, Handler, &seen, false), noErr);
  const ProcessSerialNumber selves[] = {{0, kCurrentProcess}, {UInt32(getpid()), 12345}};
  for (const ProcessSerialNumber &psn : selves) {
    SCOPED_TRACE(psn.highLongOfPSN);
    seen = Seen{};
    Desc ev, reply;
    Event(&ev, typeProcessSerialNumber, &psn, sizeof psn);
    SInt16 rtid = 0;
    ASSERT_EQ(AEGetAttributePtr(ev.get(), keyReturnIDAttr, typeSInt16, nullptr, &rtid, 2, nullptr), noErr);
    ASSERT_EQ(AESend(ev.get(), &reply, kAEWaitReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr), noErr);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.direct, "hello");
    EXPECT_EQ(seen.missedBefore, noErr) << "the direct object was not read yet";
    EXPECT_EQ(seen.missedAfter, errAEDescNotFound);
    EXPECT_EQ(seen.source, kAESameProcess);
    EXPECT_EQ(seen.from.lowLongOfPSN, UInt32(kCurrentProcess));
    ASSERT_EQ(reply.type(), typeAppleEvent);
    char buf[4];
    ASSERT_EQ(AEGetParamPtr(reply.get(), keyDirectObject, typeChar, nullptr, buf, 4, nullptr), noErr);
    EXPECT_EQ(std::string(buf, 4), "pong");
    AEEventID id = 0;
    SInt16 replyID = 0;
    ASSERT_EQ(AEGetAttributePtr(reply.get(), keyEventIDAttr, typeType, nullptr, &id, 4, nullptr), noErr);
    ASSERT_EQ(AEGetAttributePtr(reply.get(), keyReturnIDAttr, typeSInt16, nullptr, &replyID, 2, nullptr), noErr);
    EXPECT_EQ(id, kAEAnswer);
    EXPECT_EQ(replyID, rtid);
    // The sender's event is untouched: its parameter is still unread.
    AEKeyword k;
    EXPECT_EQ(AEGetAttributePtr(ev.get(), keyMissedKeywordAttr, typeWildCard, nullptr, &k, 4, nullptr), noErr);
  }
}

TEST_F(Send, ModesErrorsAndWildcards) {
  Seen seen;
  const ProcessSerialNumber self{0, kCurrentProcess};
  Desc ev;
  Event(&ev, typeProcessSerialNumber, &self, sizeof self);

  // No handler.
  AEDesc reply{ql::FourCC("sent"), nullptr};
  EXPECT_EQ(AESend(ev.get(), &reply, kAENoReply, 0, kNoTimeOut, nullptr, nullptr), errAEEventNotHandled);
  EXPECT_EQ(reply.descriptorType, typeNull);

  // A handler's failure comes back as the result and in the reply.
  ASSERT_EQ(AEInstallEventHandler(kClass, typeWildCard, Handler, &seen, false), noErr);
  seen.result = userCanceledErr;
  {
    Desc r;
    EXPECT_EQ(AESend(ev.get(), &r, kAEWaitReply, 0, kNoTimeOut, nullptr, nullptr), userCanceledErr);
    SInt16 errn = 0;
    ASSERT_EQ(AEGetParamPtr(r.get(), keyErrorNumber, typeSInt16, nullptr, &errn, 2, nullptr), noErr);
    EXPECT_EQ(errn, userCanceledErr);
  }
  EXPECT_EQ(seen.calls, 1) << "found through the (class, '****') handler";

  // Without a reply the handler sees the null descriptor; a NULL reply is fine.
  seen = Seen{};
  EXPECT_EQ(AESend(ev.get(), nullptr, kAENoReply | kAEAlwaysInteract, 0, kAEDefaultTimeout, nullptr, nullptr), noErr);
  EXPECT_EQ(seen.replyType, typeNull);

  // An exact handler wins over the wildcard; removing it brings the wildcard back.
  Seen exact;
  ASSERT_EQ(AEInstallEventHandler(kClass, kID, Handler, &exact, false), noErr);
  EXPECT_EQ(AESend(ev.get(), nullptr, kAENoReply, 0, 0, nullptr, nullptr), noErr);
  EXPECT_EQ(exact.calls, 1);
  AEEventHandlerUPP proc = nullptr;
  SRefCon ref = nullptr;
  ASSERT_EQ(AEGetEventHandler(kClass, kID, &proc, &ref, false), noErr);
  EXPECT_EQ(ref, &exact);
  EXPECT_EQ(AEGetEventHandler(kClass, kID, &proc, &ref, true), errAEHandlerNotFound);
  ASSERT_EQ(AERemoveEventHandler(kClass, kID, Handler, false), noErr);
  EXPECT_EQ(AERemoveEventHandler(kClass, kID, Handler, false), errAEHandlerNotFound);
  EXPECT_EQ(AESend(ev.get(), nullptr, kAENoReply, 0, 0, nullptr, nullptr), noErr);
  EXPECT_EQ(seen.calls, 2);

  // Not an event, a bad mode, an address nobody can reach.
  Desc text, other;
  ASSERT_EQ(AECreateDesc(typeChar, "x", 1, &text), noErr);
  EXPECT_EQ(AESend(text.get(), nullptr, kAENoReply, 0, 0, nullptr, nullptr), errAENotAppleEvent);
  EXPECT_EQ(AESend(ev.get(), nullptr, 0, 0, 0, nullptr, nullptr), errAEUnknownSendMode);
  Event(&other, typeApplSignature, "MACS", 4);
  EXPECT_EQ(AESend(other.get(), nullptr, kAENoReply, 0, 0, nullptr, nullptr), errAEUnknownAddressType);
}

struct Delivery {
  int calls = 0;
  ProcessSerialNumber to{};
  std::string shape;
  SInt32 mode = 0;
};
Delivery gDelivery;

OSErr Transport(const ProcessSerialNumber *psn, const AppleEvent *ev, AppleEvent *reply, SInt32 mode) {
  ++gDelivery.calls;
  gDelivery.to = *psn;
  gDelivery.mode = mode;
  gDelivery.shape = qltest::Shape(ev);
  return noErr;
}

TEST_F(Send, OtherProcessesGoThroughTheTransport) {
  const ProcessSerialNumber other{UInt32(getpid()) + 1, 99};
  Desc ev;
  Event(&ev, typeProcessSerialNumber, &other, sizeof other, kCoreEventClass, kAEOpenDocuments);
  EXPECT_EQ(AESend(ev.get(), nullptr, kAENoReply, 0, kNoTimeOut, nullptr, nullptr), connectionInvalid);
  gDelivery = Delivery{};
  PlatformSetAESendTransport(Transport);
  Desc reply;
  EXPECT_EQ(AESend(ev.get(), &reply, kAENoReply, 0, kNoTimeOut, nullptr, nullptr), noErr);
  EXPECT_EQ(gDelivery.calls, 1);
  EXPECT_EQ(gDelivery.to.highLongOfPSN, other.highLongOfPSN);
  EXPECT_EQ(gDelivery.to.lowLongOfPSN, 99u);
  EXPECT_EQ(gDelivery.mode, kAENoReply);
  EXPECT_EQ(gDelivery.shape, qltest::Shape(ev.get()));
  EXPECT_EQ(reply.type(), typeNull);
}

OSErr RealSelf(ProcessSerialNumber *psn) {
  *psn = ProcessSerialNumber{UInt32(getpid()), 4242};
  return noErr;
}

TEST_F(Send, CurrentProcessHookDecidesWhoIsSelf) {
  PlatformSetAECurrentProcess(RealSelf);
  const ProcessSerialNumber exact{UInt32(getpid()), 4242}, stale{UInt32(getpid()), 1};
  const ProcessSerialNumber current{0, kCurrentProcess};
  EXPECT_TRUE(PlatformAEIsCurrentProcess(&exact));
  EXPECT_TRUE(PlatformAEIsCurrentProcess(&current));
  EXPECT_FALSE(PlatformAEIsCurrentProcess(&stale)) << "an earlier process with a reused ID";
  Seen seen;
  ASSERT_EQ(AEInstallEventHandler(kClass, kID, Handler, &seen, false), noErr);
  Desc ev;
  Event(&ev, typeProcessSerialNumber, &current, sizeof current);
  ASSERT_EQ(AESend(ev.get(), nullptr, kAENoReply, 0, 0, nullptr, nullptr), noErr);
  EXPECT_EQ(seen.from.highLongOfPSN, UInt32(getpid()));
  EXPECT_EQ(seen.from.lowLongOfPSN, 4242u);
}

TEST_F(Send, DispatchOfAReceivedEventAndInjectedFailures) {
  Seen seen;
  ASSERT_EQ(AEInstallEventHandler(kClass, kID, Handler, &seen, false), noErr);
  const ProcessSerialNumber self{0, kCurrentProcess};
  Desc ev;
  Event(&ev, typeProcessSerialNumber, &self, sizeof self);
  EXPECT_EQ(PlatformAEDispatchEvent(ev.get(), nullptr), noErr);
  EXPECT_EQ(seen.direct, "hello");
  EXPECT_EQ(seen.replyType, typeNull);

  ASSERT_EQ(AEInstallEventHandler(kClass, kID, StrictHandler, nullptr, false), noErr);
  qltest::ForEachAECallFailure(
      [&]() -> OSErr {
        AEDesc reply;
        OSErr e = AESend(ev.get(), &reply, kAEWaitReply, 0, 0, nullptr, nullptr);
        AEDisposeDesc(&reply);
        return e;
      },
      [](OSErr r, bool injected) { EXPECT_EQ(r, injected ? OSErr(-12345) : noErr); });
  qltest::ForEachAllocFailure(
      [&]() -> OSErr {
        AEDesc reply;
        OSErr e = AESend(ev.get(), &reply, kAEWaitReply, 0, 0, nullptr, nullptr);
        AEDisposeDesc(&reply);
        return e;
      },
      [](OSErr r, bool injected) { EXPECT_EQ(r, injected ? memFullErr : noErr); });
}

} // namespace
