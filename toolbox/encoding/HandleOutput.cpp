// Geometric output into a handle for the coders whose output size is not
// known in advance.

#include <algorithm>
#include <climits>

#include "platform/memory/Memory.h"
#include "toolbox/encoding/CompressionCore.h"

namespace ql::detail {

OSErr ResizeHandle(Handle h, Size newSize) noexcept {
  if (*h == nullptr)
    ReallocateHandle(h, newSize);
  else
    SetHandleSize(h, newSize);
  return MemError();
}

HandleOutput::HandleOutput(Handle h, Size start) noexcept
    : h_(h), base_(reinterpret_cast<uint8_t *>(*h)), size_(start), capacity_(GetHandleSize(h)) {}

OSErr HandleOutput::Grow(size_t extra) noexcept {
  const int64_t need = size_ + int64_t(extra);
  if (extra > size_t(INT32_MAX) || need > INT32_MAX)
    return memFullErr;
  const int64_t doubled = std::min<int64_t>(INT32_MAX, std::max<int64_t>(capacity_ * 2, 4096));
  const int64_t target = std::max(need, doubled);
  OSErr err = ResizeHandle(h_, Size(target));
  int64_t got = target;
  if (err != noErr && target != need) {
    err = ResizeHandle(h_, Size(need));
    got = need;
  }
  if (err != noErr) {
    // The handle keeps its previous size and block.
    base_ = reinterpret_cast<uint8_t *>(*h_);
    return err;
  }
  capacity_ = got;
  base_ = reinterpret_cast<uint8_t *>(*h_);
  return noErr;
}

OSErr HandleOutput::Finish() noexcept {
  const OSErr err = ResizeHandle(h_, Size(size_));
  base_ = reinterpret_cast<uint8_t *>(*h_);
  if (err == noErr)
    capacity_ = size_;
  return err;
}

} // namespace ql::detail
