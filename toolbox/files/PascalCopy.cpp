#include "toolbox/files/FileToolbox.h"

#include <cstring>

extern "C" void CopyPascalString(ConstStr255Param source, StringPtr dest) noexcept {
  // The length byte and that many bytes, front to back (1 to 256 bytes).
  std::memmove(dest, source, size_t(source[0]) + 1);
}
