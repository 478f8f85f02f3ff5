// UUIDs: values of 16 bytes; constant UUIDs are interned by their bytes and
// live for the whole process.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <mutex>
#include <random>

#include "platform/corefoundation/CFInternal.h"

namespace ql::platform::cf {

bool UUID::Equals(const Object &other) const { return static_cast<const UUID &>(other).bytes == bytes; }

CFHashCode UUID::Hash() const {
  CFHashCode h = 2166136261u;
  for (UInt8 b : bytes)
    h = (h ^ b) * 16777619u;
  return h;
}

UUIDKey KeyOf(CFUUIDRef uuid) noexcept {
  auto *u = As<UUID>(uuid, kTypeUUID);
  return u ? u->bytes : UUIDKey{};
}

namespace {

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9')
    return c - u'0';
  if (c >= u'a' && c <= u'f')
    return c - u'a' + 10;
  if (c >= u'A' && c <= u'F')
    return c - u'A' + 10;
  return -1;
}

template <class Char>
bool Parse(std::basic_string_view<Char> t, UUIDKey &out) noexcept {
  if (t.size() == 38 && t.front() == Char('{') && t.back() == Char('}'))
    t = t.substr(1, 36);
  if (t.size() != 36)
    return false;
  UUIDKey key{};
  size_t byte = 0;
  for (size_t i = 0; i < 36;) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (t[i] != Char('-'))
        return false;
      ++i;
      continue;
    }
    int hi = HexValue(char16_t(t[i])), lo = HexValue(char16_t(t[i + 1]));
    if (hi < 0 || lo < 0)
      return false;
    key[byte++] = UInt8(hi << 4 | lo);
    i += 2;
  }
  out = key;
  return true;
}

UUIDKey FromArgs(UInt8 b0, UInt8 b1, UInt8 b2, UInt8 b3, UInt8 b4, UInt8 b5, UInt8 b6, UInt8 b7, UInt8 b8,
                 UInt8 b9, UInt8 b10, UInt8 b11, UInt8 b12, UInt8 b13, UInt8 b14, UInt8 b15) {
  return UUIDKey{b0, b1, b2, b3, b4, b5, b6, b7, b8, b9, b10, b11, b12, b13, b14, b15};
}

CFUUIDRef Create(const UUIDKey &key) noexcept { return reinterpret_cast<CFUUIDRef>(static_cast<Object *>(Make<UUID>(key))); }

struct Interned {
  std::mutex lock;
  std::map<UUIDKey, UUID *> constants;
};
Interned &Constants() {
  static Interned *s = new Interned; // lives as long as the constants it holds
  return *s;
}

} // namespace

bool ParseUUID(std::u16string_view text, UUIDKey &out) noexcept { return Parse(text, out); }
bool ParseUUID(std::string_view text, UUIDKey &out) noexcept { return Parse(text, out); }

std::string FormatUUID(const UUIDKey &key) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10)
      s += '-';
    s += kHex[key[i] >> 4];
    s += kHex[key[i] & 15];
  }
  return s;
}

} // namespace ql::platform::cf

using namespace ql::platform::cf;

extern "C" {

CFTypeID CFUUIDGetTypeID(void) noexcept { return kTypeUUID; }

CFUUIDRef CFUUIDCreate(CFAllocatorRef) noexcept {
  UUIDKey key{};
  bool filled = false;
  int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    filled = read(fd, key.data(), key.size()) == ssize_t(key.size());
    close(fd);
  }
  if (!filled) {
    std::random_device rd;
    for (auto &b : key)
      b = UInt8(rd());
  }
  key[6] = UInt8((key[6] & 0x0F) | 0x40); // version 4
  key[8] = UInt8((key[8] & 0x3F) | 0x80); // RFC 4122 variant
  return Create(key);
}

CFUUIDRef CFUUIDCreateFromString(CFAllocatorRef, CFStringRef uuidStr) noexcept {
  if (CFGetTypeID(uuidStr) != CFStringGetTypeID())
    return nullptr;
  UUIDKey key;
  try {
    if (!ParseUUID(std::u16string_view(StringChars(uuidStr)), key))
      return nullptr;
  } catch (...) {
    return nullptr;
  }
  return Create(key);
}

CFUUIDRef CFUUIDCreateWithBytes(CFAllocatorRef, UInt8 b0, UInt8 b1, UInt8 b2, UInt8 b3, UInt8 b4, UInt8 b5,
                                UInt8 b6, UInt8 b7, UInt8 b8, UInt8 b9, UInt8 b10, UInt8 b11, UInt8 b12,
                                UInt8 b13, UInt8 b14, UInt8 b15) noexcept {
  return Create(FromArgs(b0, b1, b2, b3, b4, b5, b6, b7, b8, b9, b10, b11, b12, b13, b14, b15));
}

CFUUIDRef CFUUIDCreateFromUUIDBytes(CFAllocatorRef, CFUUIDBytes b) noexcept {
  UUIDKey key;
  std::memcpy(key.data(), &b, 16);
  return Create(key);
}

CFUUIDRef CFUUIDGetConstantUUIDWithBytes(CFAllocatorRef, UInt8 b0, UInt8 b1, UInt8 b2, UInt8 b3, UInt8 b4,
                                         UInt8 b5, UInt8 b6, UInt8 b7, UInt8 b8, UInt8 b9, UInt8 b10,
                                         UInt8 b11, UInt8 b12, UInt8 b13, UInt8 b14, UInt8 b15) noexcept {
  UUIDKey key = FromArgs(b0, b1, b2, b3, b4, b5, b6, b7, b8, b9, b10, b11, b12, b13, b14, b15);
  Interned &in = Constants();
  std::lock_guard<std::mutex> guard(in.lock);
  auto it = in.constants.find(key);
  if (it != in.constants.end())
    return reinterpret_cast<CFUUIDRef>(static_cast<Object *>(it->second));
  UUID *u = Make<UUID>(key);
  if (u == nullptr)
    return nullptr;
  try {
    in.constants.emplace(key, u);
  } catch (...) {
    delete u;
    return nullptr;
  }
  u->MakeConstant();
  return reinterpret_cast<CFUUIDRef>(static_cast<Object *>(u));
}

CFUUIDBytes CFUUIDGetUUIDBytes(CFUUIDRef uuid) noexcept {
  UUIDKey key = KeyOf(uuid);
  CFUUIDBytes b;
  std::memcpy(&b, key.data(), 16);
  return b;
}

CFStringRef CFUUIDCreateString(CFAllocatorRef, CFUUIDRef uuid) noexcept {
  auto *u = As<UUID>(uuid, kTypeUUID);
  if (u == nullptr)
    return nullptr;
  try {
    return StringFromUtf8(FormatUUID(u->bytes));
  } catch (...) {
    return nullptr;
  }
}

} // extern "C"

static_assert(sizeof(CFUUIDBytes) == 16, "CFUUIDBytes is 16 bytes");
