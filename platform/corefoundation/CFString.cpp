// Strings, in two storage kinds (UTF-16, or 8-bit Mac Roman / Latin-1 text),
// and file URLs.
#include <unistd.h>

#include <cstring>
#include <map>
#include <mutex>

#include "platform/corefoundation/CFInternal.h"
#include "platform/text/MacRoman.h"

namespace txt = ql::platform::text;

namespace ql::platform::cf {

namespace {

class String final : public Object {
public:
  String() noexcept : Object(kTypeString) {}
  bool wide = false;
  std::u16string units;          // wide storage
  std::string bytes;             // 8-bit storage (NUL-terminated by std::string)
  CFStringEncoding byteEncoding = kCFStringEncodingMacRoman; // MacRoman or ISOLatin1

  size_t Length() const { return wide ? units.size() : bytes.size(); }
  char16_t At(size_t i) const {
    if (wide)
      return units[i];
    UInt8 b = UInt8(bytes[i]);
    return byteEncoding == kCFStringEncodingISOLatin1 ? char16_t(b) : txt::MacRomanToUnicode(b);
  }
  bool AllAscii() const {
    for (char c : bytes)
      if (UInt8(c) > 0x7F)
        return false;
    return true;
  }
  bool Equals(const Object &other) const override {
    auto &o = static_cast<const String &>(other);
    if (o.Length() != Length())
      return false;
    for (size_t i = 0; i < Length(); ++i)
      if (At(i) != o.At(i))
        return false;
    return true;
  }
  CFHashCode Hash() const override {
    CFHashCode h = 2166136261u;
    for (size_t i = 0; i < Length(); ++i)
      h = (h ^ At(i)) * 16777619u;
    return h;
  }
};

CFStringRef Ref(String *s) { return reinterpret_cast<CFStringRef>(static_cast<Object *>(s)); }

bool IsAscii(std::string_view s) {
  for (char c : s)
    if (UInt8(c) > 0x7F)
      return false;
  return true;
}

// A new string from len bytes in the encoding, or NULL.
CFStringRef FromBytes(const char *p, size_t len, CFStringEncoding encoding) noexcept {
  try {
    std::string_view text(p, len);
    String *s = nullptr;
    switch (encoding) {
    case kCFStringEncodingMacRoman:
    case kCFStringEncodingISOLatin1:
    case kCFStringEncodingASCII:
      if (encoding == kCFStringEncodingASCII && !IsAscii(text))
        return nullptr;
      if ((s = Make<String>()) == nullptr)
        return nullptr;
      s->bytes.assign(text);
      s->byteEncoding = encoding == kCFStringEncodingISOLatin1 ? kCFStringEncodingISOLatin1 : kCFStringEncodingMacRoman;
      return Ref(s);
    case kCFStringEncodingUTF8: {
      if (IsAscii(text))
        return FromBytes(p, len, kCFStringEncodingMacRoman);
      auto units = txt::Utf8ToUtf16(text);
      if (!units || (s = Make<String>()) == nullptr)
        return nullptr;
      s->wide = true;
      s->units = std::move(*units);
      return Ref(s);
    }
    default:
      return nullptr;
    }
  } catch (...) {
    return nullptr;
  }
}

// The string's text in an 8-bit or UTF-8 encoding, or false.
bool Encode(const String &s, CFStringEncoding encoding, std::string &out) {
  if (!s.wide && (encoding == s.byteEncoding || s.AllAscii()) &&
      (encoding == kCFStringEncodingMacRoman || encoding == kCFStringEncodingISOLatin1 ||
       encoding == kCFStringEncodingASCII || encoding == kCFStringEncodingUTF8)) {
    out = s.bytes;
    return true;
  }
  std::u16string u;
  for (size_t i = 0; i < s.Length(); ++i)
    u += s.At(i);
  switch (encoding) {
  case kCFStringEncodingMacRoman: {
    auto r = txt::UnicodeToMacRoman(u);
    if (!r)
      return false;
    out = std::move(*r);
    return true;
  }
  case kCFStringEncodingISOLatin1:
  case kCFStringEncodingASCII: {
    char16_t limit = encoding == kCFStringEncodingASCII ? 0x7F : 0xFF;
    out.clear();
    for (char16_t c : u) {
      if (c > limit)
        return false;
      out += char(c);
    }
    return true;
  }
  case kCFStringEncodingUTF8: {
    auto r = txt::Utf16ToUtf8(u);
    if (!r)
      return false;
    out = std::move(*r);
    return true;
  }
  default:
    return false;
  }
}

class URL final : public Object {
public:
  URL() noexcept : Object(kTypeURL) {}
  std::string path;
  bool isDirectory = false;
  bool Equals(const Object &other) const override { return static_cast<const URL &>(other).path == path; }
  CFHashCode Hash() const override {
    CFHashCode h = 2166136261u;
    for (char c : path)
      h = (h ^ UInt8(c)) * 16777619u;
    return h;
  }
};

struct ConstantStrings {
  std::mutex lock;
  std::map<std::string, String *, std::less<>> strings;
};
ConstantStrings &Constants() {
  static ConstantStrings *s = new ConstantStrings;
  return *s;
}

} // namespace

std::u16string StringChars(CFStringRef str) {
  std::u16string out;
  if (auto *s = As<String>(str, kTypeString)) {
    out.reserve(s->Length());
    for (size_t i = 0; i < s->Length(); ++i)
      out += s->At(i);
  }
  return out;
}

CFStringRef StringFromUtf8(std::string_view utf8) noexcept {
  return FromBytes(utf8.data(), utf8.size(), kCFStringEncodingUTF8);
}

bool StringToUtf8(CFStringRef str, std::string &out) {
  auto *s = As<String>(str, kTypeString);
  return s != nullptr && Encode(*s, kCFStringEncodingUTF8, out);
}

const std::string *URLPath(CFURLRef url) noexcept {
  auto *u = As<URL>(url, kTypeURL);
  return u ? &u->path : nullptr;
}

CFURLRef URLFromPath(std::string path, bool isDirectory) noexcept {
  try {
    if (path.empty())
      return nullptr;
    if (path[0] != '/') {
      char cwd[4096];
      if (getcwd(cwd, sizeof cwd) == nullptr)
        return nullptr;
      std::string base(cwd);
      if (base.back() != '/')
        base += '/';
      path = base + path;
    }
    while (path.size() > 1 && path.back() == '/')
      path.pop_back();
    URL *u = Make<URL>();
    if (u == nullptr)
      return nullptr;
    u->path = std::move(path);
    u->isDirectory = isDirectory;
    return reinterpret_cast<CFURLRef>(static_cast<Object *>(u));
  } catch (...) {
    return nullptr;
  }
}

} // namespace ql::platform::cf

using namespace ql::platform::cf;

extern "C" {

CFTypeID CFStringGetTypeID(void) noexcept { return kTypeString; }

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char *cStr, CFStringEncoding encoding) noexcept {
  if (cStr == nullptr)
    return nullptr;
  return FromBytes(cStr, std::strlen(cStr), encoding);
}

CFStringRef CFStringCreateWithPascalString(CFAllocatorRef, ConstStr255Param pStr, CFStringEncoding encoding) noexcept {
  if (pStr == nullptr)
    return nullptr;
  return FromBytes(reinterpret_cast<const char *>(pStr + 1), pStr[0], encoding);
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar *chars, CFIndex numChars) noexcept {
  if (numChars < 0 || (numChars > 0 && chars == nullptr))
    return nullptr;
  String *s = Make<String>();
  if (s == nullptr)
    return nullptr;
  try {
    s->wide = true;
    s->units.assign(reinterpret_cast<const char16_t *>(chars), size_t(numChars));
  } catch (...) {
    delete s;
    return nullptr;
  }
  return Ref(s);
}

CFIndex CFStringGetLength(CFStringRef theString) noexcept {
  auto *s = As<String>(theString, kTypeString);
  return s ? CFIndex(s->Length()) : 0;
}

UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx) noexcept {
  auto *s = As<String>(theString, kTypeString);
  if (s == nullptr || idx < 0 || size_t(idx) >= s->Length())
    return 0;
  return s->At(size_t(idx));
}

const UniChar *CFStringGetCharactersPtr(CFStringRef theString) noexcept {
  auto *s = As<String>(theString, kTypeString);
  if (s == nullptr || !s->wide)
    return nullptr;
  return reinterpret_cast<const UniChar *>(s->units.c_str());
}

void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar *buffer) noexcept {
  auto *s = As<String>(theString, kTypeString);
  if (s == nullptr || buffer == nullptr || range.location < 0 || range.length < 0 ||
      size_t(range.location) + size_t(range.length) > s->Length())
    return;
  for (CFIndex i = 0; i < range.length; ++i)
    buffer[i] = s->At(size_t(range.location + i));
}

Boolean CFStringGetCString(CFStringRef theString, char *buffer, CFIndex bufferSize, CFStringEncoding encoding) noexcept {
  auto *s = As<String>(theString, kTypeString);
  if (s == nullptr || buffer == nullptr || bufferSize <= 0)
    return false;
  try {
    std::string text;
    if (!Encode(*s, encoding, text) || text.size() + 1 > size_t(bufferSize))
      return false;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
  } catch (...) {
    return false;
  }
}

Boolean CFStringGetPascalString(CFStringRef theString, StringPtr buffer, CFIndex bufferSize,
                                CFStringEncoding encoding) noexcept {
  auto *s = As<String>(theString, kTypeString);
  if (s == nullptr || buffer == nullptr || bufferSize <= 0)
    return false;
  try {
    std::string text;
    if (!Encode(*s, encoding, text) || text.size() > 255 || text.size() + 1 > size_t(bufferSize))
      return false;
    buffer[0] = UInt8(text.size());
    std::memcpy(buffer + 1, text.data(), text.size());
    return true;
  } catch (...) {
    return false;
  }
}

const char *CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding) noexcept {
  auto *s = As<String>(theString, kTypeString);
  if (s == nullptr || s->wide)
    return nullptr;
  if (encoding == s->byteEncoding)
    return s->bytes.c_str();
  if ((encoding == kCFStringEncodingASCII || encoding == kCFStringEncodingUTF8 ||
       encoding == kCFStringEncodingMacRoman || encoding == kCFStringEncodingISOLatin1) &&
      s->AllAscii())
    return s->bytes.c_str();
  return nullptr;
}

CFStringRef PlatformCFStringMakeConstant(const char *cStr) noexcept {
  if (cStr == nullptr)
    return nullptr;
  ConstantStrings &in = Constants();
  std::lock_guard<std::mutex> guard(in.lock);
  auto it = in.strings.find(std::string_view(cStr));
  if (it != in.strings.end())
    return Ref(it->second);
  CFStringRef made = StringFromUtf8(cStr);
  if (made == nullptr)
    return nullptr;
  String *s = AsMutable<String>(made, kTypeString);
  try {
    in.strings.emplace(cStr, s);
  } catch (...) {
    CFRelease(made);
    return nullptr;
  }
  s->MakeConstant();
  return made;
}

CFTypeID CFURLGetTypeID(void) noexcept { return kTypeURL; }

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef, const UInt8 *buffer, CFIndex bufLen,
                                                 Boolean isDirectory) noexcept {
  if (buffer == nullptr || bufLen <= 0)
    return nullptr;
  try {
    std::string path(reinterpret_cast<const char *>(buffer), size_t(bufLen));
    if (path.find('\0') != std::string::npos)
      return nullptr;
    return URLFromPath(std::move(path), isDirectory);
  } catch (...) {
    return nullptr;
  }
}

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef filePath, CFURLPathStyle pathStyle,
                                       Boolean isDirectory) noexcept {
  if (pathStyle != kCFURLPOSIXPathStyle)
    return nullptr;
  try {
    std::string path;
    if (!StringToUtf8(filePath, path) || path.find('\0') != std::string::npos)
      return nullptr;
    return URLFromPath(std::move(path), isDirectory);
  } catch (...) {
    return nullptr;
  }
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean, UInt8 *buffer, CFIndex maxBufLen) noexcept {
  const std::string *path = URLPath(url);
  if (path == nullptr || buffer == nullptr || maxBufLen <= 0 || path->size() + 1 > size_t(maxBufLen))
    return false;
  std::memcpy(buffer, path->c_str(), path->size() + 1);
  return true;
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle pathStyle) noexcept {
  const std::string *path = URLPath(url);
  if (path == nullptr || pathStyle != kCFURLPOSIXPathStyle)
    return nullptr;
  return StringFromUtf8(*path);
}

} // extern "C"
