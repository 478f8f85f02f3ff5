// The tick count, the in-process event queue, yielding, and the
// application's file reference.
#include <sched.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/core/Internal.h"
#include "platform/events/Events.h"
#include "platform/files/ForksInternal.h"

namespace {

struct Queue {
  std::mutex lock;
  std::condition_variable posted;
  std::deque<EventRecord> events;
};

Queue &Q() {
  static Queue *q = new Queue;
  return *q;
}

std::atomic<UInt32> sWaitCount{0}, sYieldCount{0};

bool InMask(EventKind what, EventMask mask) { return what < 16 && (mask & (1u << what)) != 0; }

EventRecord NullEvent() {
  EventRecord ev{};
  ev.what = nullEvent;
  ev.when = TickCount();
  return ev;
}

// Takes (or with remove false, copies) the first matching event.
bool Take(Queue &q, EventMask mask, EventRecord *out, bool remove) {
  for (auto it = q.events.begin(); it != q.events.end(); ++it)
    if (InMask(it->what, mask)) {
      if (out)
        *out = *it;
      if (remove)
        q.events.erase(it);
      return true;
    }
  return false;
}

} // namespace

extern "C" {

UInt32 TickCount(void) noexcept {
  struct timespec t;
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  // 60 ticks per second: whole seconds times 60 plus the ticks of the
  // fraction, in 64 bits, wrapping to 32.
  return UInt32(UInt64(t.tv_sec) * 60u + UInt64(t.tv_nsec) * 60u / 1'000'000'000u);
}

Boolean WaitNextEvent(EventMask eventMask, EventRecord *theEvent, UInt32 sleep, RgnHandle mouseRgn) noexcept {
  sWaitCount.fetch_add(1, std::memory_order_relaxed);
  Queue &q = Q();
  std::unique_lock g(q.lock);
  if (Take(q, eventMask, theEvent, true))
    return true;
  if (sleep == 0) {
    g.unlock();
    sched_yield();
  } else {
    auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(UInt64(sleep) * 1'000'000u / 60u);
    while (q.posted.wait_until(g, until) != std::cv_status::timeout)
      if (Take(q, eventMask, theEvent, true))
        return true;
    if (Take(q, eventMask, theEvent, true))
      return true;
  }
  if (theEvent)
    *theEvent = NullEvent();
  return false;
}

Boolean EventAvail(EventMask eventMask, EventRecord *theEvent) noexcept {
  Queue &q = Q();
  std::lock_guard g(q.lock);
  if (Take(q, eventMask, theEvent, false))
    return true;
  if (theEvent)
    *theEvent = NullEvent();
  return false;
}

OSErr PostEvent(EventKind eventNum, UInt32 eventMsg) noexcept {
  return ql::platform::Barrier([&]() -> OSErr {
    Queue &q = Q();
    std::lock_guard g(q.lock);
    EventRecord ev{};
    ev.what = eventNum;
    ev.message = eventMsg;
    ev.when = TickCount();
    q.events.push_back(ev);
    q.posted.notify_all();
    return noErr;
  });
}

void FlushEvents(EventMask whichMask, EventMask stopMask) noexcept {
  Queue &q = Q();
  std::lock_guard g(q.lock);
  for (auto it = q.events.begin(); it != q.events.end();) {
    if (InMask(it->what, stopMask))
      break;
    it = InMask(it->what, whichMask) ? q.events.erase(it) : std::next(it);
  }
}

OSErr YieldToAnyThread(void) noexcept {
  sYieldCount.fetch_add(1, std::memory_order_relaxed);
  sched_yield();
  return noErr;
}

SInt16 LMGetCurApRefNum(void) noexcept {
  return ql::platform::Barrier([]() -> SInt16 {
    std::lock_guard g(ql::platform::files::Lock());
    return ql::platform::files::ApplicationForkRef();
  }, 0);
}

UInt32 PlatformWaitNextEventCount(void) noexcept { return sWaitCount.load(); }
UInt32 PlatformYieldCount(void) noexcept { return sYieldCount.load(); }

} // extern "C"
