/*
 * Event Manager, Thread Manager yield and the low-memory accessors: the
 * tick count (60 per second, from the monotonic clock), an in-process event
 * queue, giving time to other processes and threads, and the running
 * application's file reference.
 *
 *     UInt32 next = TickCount() + 10;        // a sixth of a second from now
 *     EventRecord ev;
 *     WaitNextEvent(0, &ev, 0, NULL);        // lets other processes run
 */
#ifndef PLATFORM_EVENTS_EVENTS_H
#define PLATFORM_EVENTS_EVENTS_H

#include "platform/core/MacErrors.h"
#include "platform/core/MacTypes.h"

PLATFORM_BEGIN_DECLS

typedef UInt16 EventKind;
typedef UInt16 EventMask;
typedef UInt16 EventModifiers;

enum {
  nullEvent = 0,
  mouseDown = 1,
  mouseUp = 2,
  keyDown = 3,
  keyUp = 4,
  autoKey = 5,
  updateEvt = 6,
  diskEvt = 7,
  activateEvt = 8,
  osEvt = 15,
  kHighLevelEvent = 23
};
enum { everyEvent = 0xFFFF };

typedef struct EventRecord {
  EventKind what;
  UInt32 message;
  UInt32 when;
  Point where;
  EventModifiers modifiers;
} EventRecord;

typedef struct OpaqueRgnHandle *RgnHandle;

/* Ticks (sixtieths of a second) since an arbitrary start; wraps at 2^32. */
PLATFORM_API UInt32 TickCount(void) PLATFORM_NOEXCEPT;

/* Takes the first queued event whose kind is in eventMask into *theEvent
 * and returns true. With none, waits up to sleep ticks for one (0: just
 * gives up the processor once), then stores a null event stamped with the
 * current ticks and returns false. mouseRgn is ignored. */
PLATFORM_API Boolean WaitNextEvent(EventMask eventMask, EventRecord *theEvent, UInt32 sleep,
                                   RgnHandle mouseRgn) PLATFORM_NOEXCEPT;
/* Like WaitNextEvent with sleep 0, but leaves the event in the queue. */
PLATFORM_API Boolean EventAvail(EventMask eventMask, EventRecord *theEvent) PLATFORM_NOEXCEPT;
/* Queues an event of the given kind and message. */
PLATFORM_API OSErr PostEvent(EventKind eventNum, UInt32 eventMsg) PLATFORM_NOEXCEPT;
/* Removes queued events whose kind is in whichMask up to the first whose
 * kind is in stopMask. */
PLATFORM_API void FlushEvents(EventMask whichMask, EventMask stopMask) PLATFORM_NOEXCEPT;

/* Gives up the processor to any other thread that is ready. Always noErr. */
PLATFORM_API OSErr YieldToAnyThread(void) PLATFORM_NOEXCEPT;

/* The file reference of the running application's own file (its resource
 * fork, open read-only for the life of the process); 0 when the program's
 * file cannot be opened. */
PLATFORM_API SInt16 LMGetCurApRefNum(void) PLATFORM_NOEXCEPT;

/* ---- Test hooks ------------------------------------------------------------*/
/* How often WaitNextEvent and YieldToAnyThread have been called. */
PLATFORM_API UInt32 PlatformWaitNextEventCount(void) PLATFORM_NOEXCEPT;
PLATFORM_API UInt32 PlatformYieldCount(void) PLATFORM_NOEXCEPT;

PLATFORM_END_DECLS

#endif
