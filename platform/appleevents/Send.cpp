// Event handlers and AESend: events to this process go straight to their
// handler; events to other processes go through the transport the Process
// Manager installs.

#include <unistd.h>

#include <cstring>

#include "platform/appleevents/AEInternal.h"
#include "platform/core/Internal.h"

using namespace ql::platform::ae;
using ql::platform::Barrier;

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

struct Handler {
  AEEventClass cls;
  AEEventID id;
  AEEventHandlerUPP proc;
  SRefCon refcon;
  bool sys;
};

struct SendState {
  std::vector<Handler> handlers;
  PlatformAESendTransport transport = nullptr;
  PlatformAECurrentProcess current = nullptr;
};

SendState &SS() {
  static SendState *s = new SendState;
  return *s;
}

Handler *FindExact(AEEventClass cls, AEEventID id, bool sys) {
  for (Handler &h : SS().handlers)
    if (h.cls == cls && h.id == id && h.sys == sys)
      return &h;
  return nullptr;
}

// The handler for (cls, id): exact, then wildcards; application handlers
// before system ones.
bool LookupHandler(AEEventClass cls, AEEventID id, Handler &out) {
  const std::pair<AEEventClass, AEEventID> order[] = {
      {cls, id}, {cls, typeWildCard}, {typeWildCard, id}, {typeWildCard, typeWildCard}};
  for (bool sys : {false, true})
    for (auto [c, i] : order)
      if (Handler *h = FindExact(c, i, sys)) {
        out = *h;
        return true;
      }
  return false;
}

const Item *Attr(const Storage &ev, AEKeyword key) {
  for (const Item &it : ev.attrs)
    if (it.key == key)
      return &it;
  return nullptr;
}

// A 4- or 2-byte attribute value.
template <class T> T AttrValue(const Storage &ev, AEKeyword key, T fallback) {
  const Item *it = Attr(ev, key);
  if (it == nullptr || !it->desc.data || it->desc.data->kind != Kind::Data)
    return fallback;
  auto b = it->desc.data->Bytes();
  if (b.size() != sizeof(T))
    return fallback;
  T v;
  std::memcpy(&v, b.data(), sizeof v);
  return v;
}

void SetAttr(Storage &ev, AEKeyword key, Desc &&d) {
  for (Item &it : ev.attrs)
    if (it.key == key) {
      it.desc = std::move(d);
      return;
    }
  Item it;
  it.key = key;
  it.desc = std::move(d);
  ev.attrs.push_back(std::move(it));
}

ProcessSerialNumber CurrentPSN() {
  ProcessSerialNumber psn{0, kCurrentProcess};
  if (PlatformAECurrentProcess hook = SS().current) {
    ProcessSerialNumber real;
    if (hook(&real) == noErr)
      psn = real;
  }
  return psn;
}

// The reply event for ev: 'aevt'/'ansr' with ev's return and transaction IDs.
OSErr MakeReply(const Storage &ev, Desc &out) {
  Desc r;
  MakeContainer(Kind::Event, typeAppleEvent, r);
  const AEEventClass cls = kCoreEventClass;
  const AEEventID id = kAEAnswer;
  const SInt16 rtid = AttrValue<SInt16>(ev, keyReturnIDAttr, 0);
  const SInt32 tran = AttrValue<SInt32>(ev, keyTransactionIDAttr, 0);
  Desc d;
  if (OSErr e = MakeData(typeType, &cls, 4, d))
    return e;
  SetAttr(*r.data, keyEventClassAttr, std::move(d));
  if (OSErr e = MakeData(typeType, &id, 4, d))
    return e;
  SetAttr(*r.data, keyEventIDAttr, std::move(d));
  SetAttr(*r.data, keyAddressAttr, Desc{});
  if (OSErr e = MakeData(typeSInt16, &rtid, 2, d))
    return e;
  SetAttr(*r.data, keyReturnIDAttr, std::move(d));
  if (OSErr e = MakeData(typeSInt32, &tran, 4, d))
    return e;
  SetAttr(*r.data, keyTransactionIDAttr, std::move(d));
  out = std::move(r);
  return noErr;
}

// Records a handler's failure in the reply, when there is a reply event.
void NoteError(AppleEvent *reply, OSErr err) {
  if (err == noErr || reply == nullptr)
    return;
  SInt16 v = err;
  Guard g(Lock());
  View rv;
  if (Look(reply, rv) != noErr || rv.kind() != Kind::Event)
    return;
  Desc d;
  if (MakeData(typeSInt16, &v, 2, d) == noErr) {
    for (Item &it : rv.s->items)
      if (it.key == keyErrorNumber) {
        it.desc = std::move(d);
        return;
      }
    Item it;
    it.key = keyErrorNumber;
    it.desc = std::move(d);
    rv.s->items.push_back(std::move(it));
  }
}

enum class Route { Self, Transport, Unknown };

Route RouteOf(const Storage &ev, ProcessSerialNumber &psn) {
  const Item *a = Attr(ev, keyAddressAttr);
  if (a == nullptr || !a->desc.data || a->desc.data->kind != Kind::Data)
    return Route::Unknown;
  auto b = a->desc.data->Bytes();
  if (a->desc.type == typeProcessSerialNumber && b.size() == sizeof psn) {
    std::memcpy(&psn, b.data(), sizeof psn);
    return PlatformAEIsCurrentProcess(&psn) ? Route::Self : Route::Transport;
  }
  if (a->desc.type == typeKernelProcessID && b.size() == 4) {
    SInt32 pid;
    std::memcpy(&pid, b.data(), 4);
    return pid == SInt32(::getpid()) ? Route::Self : Route::Unknown;
  }
  return Route::Unknown;
}

} // namespace

extern "C" {

OSErr AEInstallEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP handler,
                            SRefCon handlerRefcon, Boolean isSysHandler) noexcept {
  if (handler == nullptr)
    return paramErr;
  return Barrier([&]() -> OSErr {
    Guard g(Lock());
    if (Handler *h = FindExact(theAEEventClass, theAEEventID, isSysHandler != 0)) {
      h->proc = handler;
      h->refcon = handlerRefcon;
      return noErr;
    }
    SS().handlers.push_back(Handler{theAEEventClass, theAEEventID, handler, handlerRefcon, isSysHandler != 0});
    return noErr;
  });
}

OSErr AERemoveEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP handler,
                           Boolean isSysHandler) noexcept {
  Guard g(Lock());
  auto &hs = SS().handlers;
  for (auto it = hs.begin(); it != hs.end(); ++it)
    if (it->cls == theAEEventClass && it->id == theAEEventID && it->sys == (isSysHandler != 0) &&
        (handler == nullptr || it->proc == handler)) {
      hs.erase(it);
      return noErr;
    }
  return errAEHandlerNotFound;
}

OSErr AEGetEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP *handler,
                        SRefCon *handlerRefcon, Boolean isSysHandler) noexcept {
  Guard g(Lock());
  Handler *h = FindExact(theAEEventClass, theAEEventID, isSysHandler != 0);
  if (h == nullptr)
    return errAEHandlerNotFound;
  if (handler)
    *handler = h->proc;
  if (handlerRefcon)
    *handlerRefcon = h->refcon;
  return noErr;
}

OSErr AESend(const AppleEvent *theAppleEvent, AppleEvent *reply, AESendMode sendMode, AESendPriority sendPriority,
             SInt32 timeOutInTicks, AEIdleUPP idleProc, AEFilterUPP filterProc) noexcept {
  if (theAppleEvent == nullptr)
    return paramErr;
  if (reply)
    AEInitializeDesc(reply);
  AEDesc copy, answer;
  AEInitializeDesc(&copy);
  AEInitializeDesc(&answer);
  Handler handler{};
  bool found = false;
  ProcessSerialNumber psn{0, 0};
  bool toTransport = false;
  OSErr err = Barrier([&]() -> OSErr {
    Guard g(Lock());
    if (OSErr e = Tick())
      return e;
    View ev;
    if (OSErr e = Look(theAppleEvent, ev))
      return e;
    if (ev.kind() != Kind::Event)
      return errAENotAppleEvent;
    const SInt32 mode = sendMode & 3;
    if (mode == 0)
      return errAEUnknownSendMode;
    switch (RouteOf(*ev.s, psn)) {
    case Route::Unknown:
      return errAEUnknownAddressType;
    case Route::Transport:
      toTransport = true;
      return noErr;
    case Route::Self:
      break;
    }
    // The handler works on its own copy, stamped with the sender.
    Desc c;
    if (OSErr e = CopyDesc(ev.type, ev.s, c))
      return e;
    for (Item &p : c.data->items)
      p.read = false;
    ProcessSerialNumber self = CurrentPSN();
    const SInt16 source = kAESameProcess;
    Desc d;
    if (OSErr e = MakeData(typeProcessSerialNumber, &self, sizeof self, d))
      return e;
    SetAttr(*c.data, keyOriginalAddressAttr, std::move(d));
    if (OSErr e = MakeData(typeSInt16, &source, 2, d))
      return e;
    SetAttr(*c.data, keyEventSourceAttr, std::move(d));
    Desc r;
    if (mode == kAEWaitReply) {
      if (OSErr e = MakeReply(*ev.s, r))
        return e;
    }
    const AEEventClass cls = AttrValue<AEEventClass>(*ev.s, keyEventClassAttr, 0);
    const AEEventID id = AttrValue<AEEventID>(*ev.s, keyEventIDAttr, 0);
    found = LookupHandler(cls, id, handler);
    Hand(std::move(c), &copy);
    Hand(std::move(r), &answer);
    return noErr;
  });
  if (err == noErr && toTransport) {
    // To another process, outside the lock (the transport may block).
    PlatformAESendTransport transport;
    {
      Guard g(Lock());
      transport = SS().transport;
    }
    AEDesc local;
    AEInitializeDesc(&local);
    err = transport ? transport(&psn, theAppleEvent, reply ? reply : &local, sendMode) : connectionInvalid;
    if (reply == nullptr)
      AEDisposeDesc(&local);
    return err;
  }
  if (err != noErr) {
    AEDisposeDesc(&copy);
    AEDisposeDesc(&answer);
    return err;
  }
  err = found ? handler.proc(&copy, &answer, handler.refcon) : errAEEventNotHandled;
  NoteError(&answer, err);
  AEDisposeDesc(&copy);
  if (reply)
    *reply = answer;
  else
    AEDisposeDesc(&answer);
  return err;
}

OSErr PlatformAEDispatchEvent(const AppleEvent *theAppleEvent, AppleEvent *reply) noexcept {
  Handler handler{};
  bool found = false;
  OSErr err = Barrier([&]() -> OSErr {
    Guard g(Lock());
    View ev;
    if (OSErr e = Look(theAppleEvent, ev))
      return e;
    if (ev.kind() != Kind::Event)
      return errAENotAppleEvent;
    found = LookupHandler(AttrValue<AEEventClass>(*ev.s, keyEventClassAttr, 0),
                          AttrValue<AEEventID>(*ev.s, keyEventIDAttr, 0), handler);
    return noErr;
  });
  if (err)
    return err;
  AEDesc local;
  AEInitializeDesc(&local);
  AppleEvent *r = reply ? reply : &local;
  err = found ? handler.proc(theAppleEvent, r, handler.refcon) : errAEEventNotHandled;
  NoteError(r, err);
  if (reply == nullptr)
    AEDisposeDesc(&local);
  return err;
}

void PlatformSetAESendTransport(PlatformAESendTransport transport) noexcept {
  Guard g(Lock());
  SS().transport = transport;
}

void PlatformSetAECurrentProcess(PlatformAECurrentProcess lookup) noexcept {
  Guard g(Lock());
  SS().current = lookup;
}

Boolean PlatformAEIsCurrentProcess(const ProcessSerialNumber *psn) noexcept {
  if (psn == nullptr)
    return false;
  if (psn->highLongOfPSN == 0 && psn->lowLongOfPSN == kCurrentProcess)
    return true;
  PlatformAECurrentProcess hook;
  {
    Guard g(Lock());
    hook = SS().current;
  }
  if (hook) {
    ProcessSerialNumber self;
    return hook(&self) == noErr && self.highLongOfPSN == psn->highLongOfPSN &&
           self.lowLongOfPSN == psn->lowLongOfPSN;
  }
  return psn->highLongOfPSN == UInt32(::getpid());
}

AEIdleUPP NewAEIdleUPP(AEIdleProcPtr userRoutine) noexcept { return userRoutine; }
void DisposeAEIdleUPP(AEIdleUPP) noexcept {}
AEEventHandlerUPP NewAEEventHandlerUPP(AEEventHandlerProcPtr userRoutine) noexcept { return userRoutine; }
void DisposeAEEventHandlerUPP(AEEventHandlerUPP) noexcept {}

void PlatformResetAppleEvents(void) noexcept {
  Guard g(Lock());
  SS().handlers.clear();
  SS().transport = nullptr;
  SS().current = nullptr;
}

} // extern "C"
