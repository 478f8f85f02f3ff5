// The object model behind the CoreFoundation stand-in, shared by its source
// files. A CF reference is the address of an Object; the type field tells
// which subclass it is.
#ifndef PLATFORM_COREFOUNDATION_CFINTERNAL_H
#define PLATFORM_COREFOUNDATION_CFINTERNAL_H

#include <array>
#include <atomic>
#include <new>
#include <string>
#include <utility>

#include "platform/corefoundation/CoreFoundation.h"

namespace ql::platform::cf {

enum TypeID : CFTypeID { kTypeUUID = 1, kTypeString = 2, kTypeURL = 3, kTypeArray = 4, kTypeBundle = 5 };

class Object {
public:
  explicit Object(CFTypeID type) noexcept;
  virtual ~Object();
  Object(const Object &) = delete;
  Object &operator=(const Object &) = delete;

  const CFTypeID type;
  std::atomic<SInt32> retainCount{1};
  bool constant = false;

  // Values of the same type: equal contents.
  virtual bool Equals(const Object &other) const = 0;
  virtual CFHashCode Hash() const = 0;

  // Makes the object a constant: never freed, left out of the live count.
  void MakeConstant() noexcept;
  // Adds a reference unless the count already reached 0 (an object being
  // destroyed); for registries that find objects they do not own.
  bool TryRetain() noexcept;
};

// Whether the next creation may go ahead (the failure hook).
bool CreationAllowed() noexcept;

// Allocates a T, or NULL when allocation fails or a failure is injected.
template <class T, class... Args>
T *Make(Args &&...args) noexcept {
  if (!CreationAllowed())
    return nullptr;
  try {
    return new T(std::forward<Args>(args)...);
  } catch (...) {
    return nullptr;
  }
}

template <class T>
const T *As(CFTypeRef cf, CFTypeID type) noexcept {
  auto *o = static_cast<const Object *>(cf);
  return (o != nullptr && o->type == type) ? static_cast<const T *>(o) : nullptr;
}
template <class T>
T *AsMutable(CFTypeRef cf, CFTypeID type) noexcept {
  return const_cast<T *>(As<T>(cf, type));
}

using UUIDKey = std::array<UInt8, 16>;

class UUID final : public Object {
public:
  explicit UUID(const UUIDKey &b) noexcept : Object(kTypeUUID), bytes(b) {}
  UUIDKey bytes;
  bool Equals(const Object &other) const override;
  CFHashCode Hash() const override;
};

UUIDKey KeyOf(CFUUIDRef uuid) noexcept;
// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (optionally in braces).
bool ParseUUID(std::u16string_view text, UUIDKey &out) noexcept;
bool ParseUUID(std::string_view text, UUIDKey &out) noexcept;
std::string FormatUUID(const UUIDKey &key);

// The string's characters as UTF-16 (a copy).
std::u16string StringChars(CFStringRef s);
// A new string from UTF-8 text (8-bit storage when it is ASCII).
CFStringRef StringFromUtf8(std::string_view utf8) noexcept;
// The string as UTF-8 (false when it holds an unpaired surrogate).
bool StringToUtf8(CFStringRef s, std::string &out);

// The absolute path of a file URL.
const std::string *URLPath(CFURLRef url) noexcept;
CFURLRef URLFromPath(std::string path, bool isDirectory) noexcept;

} // namespace ql::platform::cf

#endif
