// Internal helpers shared by the platform managers: the exception barrier
// at the C boundary and errno translation. Not installed, not exported.
#ifndef PLATFORM_CORE_INTERNAL_H
#define PLATFORM_CORE_INTERNAL_H

#include <new>
#include <utility>

#include "platform/core/MacErrors.h"

namespace ql::platform {

// Runs body() and maps escaping exceptions to result codes, so that no
// exception ever crosses an exported function.
template <class Body>
auto Barrier(Body &&body, OSErr onBadAlloc = memFullErr) noexcept -> decltype(body()) {
  try {
    return std::forward<Body>(body)();
  } catch (const std::bad_alloc &) {
    return static_cast<decltype(body())>(onBadAlloc);
  } catch (...) {
    return static_cast<decltype(body())>(ioErr);
  }
}

// errno to File Manager result code, in one table.
OSErr ErrnoToOSErr(int err) noexcept;

// Sets what ResError answers on this thread (for the managers that hand
// out resources: resource files, the international resources).
void SetResError(OSErr err) noexcept;

} // namespace ql::platform

#endif
