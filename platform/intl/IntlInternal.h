// Internal pieces of the international resources shared by the platform's
// sources. Not installed, not exported.
#ifndef PLATFORM_INTL_INTLINTERNAL_H
#define PLATFORM_INTL_INTLINTERNAL_H

#include "platform/intl/International.h"

namespace ql::platform::intl {

// The Roman script's number-parts table.
const NumberParts &DefaultNumberParts() noexcept;

} // namespace ql::platform::intl

#endif
