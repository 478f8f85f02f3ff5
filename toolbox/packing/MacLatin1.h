// Mac Roman <-> Latin-1 byte mapping used by the packing letter 'l': the
// character-set tables, under the names the packing engine uses.
#ifndef TOOLBOX_PACKING_MACLATIN1_H
#define TOOLBOX_PACKING_MACLATIN1_H

#include "toolbox/charsets/CharsetTables.h"

namespace ql::detail::packing {

using ql::detail::charsets::kLatin1ToMac;
using ql::detail::charsets::kMacToLatin1;

} // namespace ql::detail::packing

#endif
