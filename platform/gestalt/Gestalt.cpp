#include "platform/gestalt/Gestalt.h"

#include <map>
#include <mutex>

namespace {

std::map<OSType, SInt32> Defaults() {
  return {
      // File Manager: FSSpec calls and the FSRef interfaces.
      {gestaltFSAttr, SInt32((1 << gestaltHasFSSpecCalls) | (1 << gestaltHasHFSPlusAPIs))},
      {gestaltSystemVersion, 0x1040},
  };
}

struct Table {
  std::mutex lock;
  std::map<OSType, SInt32> answers = Defaults();
};

Table &T() {
  static Table *t = new Table;
  return *t;
}

} // namespace

extern "C" {

OSErr Gestalt(OSType selector, SInt32 *response) noexcept {
  if (response == nullptr)
    return paramErr;
  std::lock_guard g(T().lock);
  auto it = T().answers.find(selector);
  if (it == T().answers.end())
    return gestaltUndefSelectorErr;
  *response = it->second;
  return noErr;
}

void PlatformGestaltSet(OSType selector, SInt32 response) noexcept {
  std::lock_guard g(T().lock);
  T().answers[selector] = response;
}

void PlatformGestaltRemove(OSType selector) noexcept {
  std::lock_guard g(T().lock);
  T().answers.erase(selector);
}

void PlatformGestaltReset(void) noexcept {
  std::lock_guard g(T().lock);
  T().answers = Defaults();
}

} // extern "C"
