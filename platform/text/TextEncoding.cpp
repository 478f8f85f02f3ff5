// Text Encoding Converter stand-in (Mac Roman <-> UTF-16) and EqualString.
#include "platform/text/TextEncoding.h"

#include <atomic>
#include <cstring>
#include <new>

#include "platform/text/MacRoman.h"

namespace txt = ql::platform::text;

struct OpaqueTextToUnicodeInfo {
  TextEncoding from;
};
struct OpaqueUnicodeToTextInfo {
  TextEncoding to;
};

namespace {
std::atomic<UInt32> gFailCountdown{0};
std::atomic<OSStatus> gFailError{0};
std::atomic<SInt32> gLiveConverters{0};

bool IsMacRoman(TextEncoding e) {
  // The base encoding is the low 16 bits; variants and formats don't matter here.
  TextEncoding base = e & 0xFFFF;
  return base == kTextEncodingMacRoman || base == kTextEncodingMacHFS;
}

bool IsUtf16(TextEncoding e) { return (e & 0xFFFF) == kTextEncodingUnicodeDefault && (e >> 26) == 0; }

OSStatus InjectedFailure() {
  UInt32 n = gFailCountdown.load();
  if (n != 0 && gFailCountdown.fetch_sub(1) == 1)
    return gFailError.load();
  return noErr;
}
} // namespace

extern "C" {

OSStatus CreateTextToUnicodeInfoByEncoding(TextEncoding encoding, TextToUnicodeInfo *info) noexcept {
  if (info == nullptr)
    return paramErr;
  if (!IsMacRoman(encoding))
    return kTECNoConversionPathErr;
  if (OSStatus e = InjectedFailure())
    return e;
  auto *p = new (std::nothrow) OpaqueTextToUnicodeInfo{encoding};
  if (p == nullptr)
    return memFullErr;
  ++gLiveConverters;
  *info = p;
  return noErr;
}

OSStatus CreateUnicodeToTextInfoByEncoding(TextEncoding encoding, UnicodeToTextInfo *info) noexcept {
  if (info == nullptr)
    return paramErr;
  if (!IsMacRoman(encoding))
    return kTECNoConversionPathErr;
  if (OSStatus e = InjectedFailure())
    return e;
  auto *p = new (std::nothrow) OpaqueUnicodeToTextInfo{encoding};
  if (p == nullptr)
    return memFullErr;
  ++gLiveConverters;
  *info = p;
  return noErr;
}

OSStatus CreateUnicodeToTextInfo(ConstUnicodeMappingPtr mapping, UnicodeToTextInfo *info) noexcept {
  if (mapping == nullptr || info == nullptr)
    return paramErr;
  if (!IsUtf16(mapping->unicodeEncoding))
    return kTECNoConversionPathErr;
  return CreateUnicodeToTextInfoByEncoding(mapping->otherEncoding, info);
}

OSStatus DisposeTextToUnicodeInfo(TextToUnicodeInfo *info) noexcept {
  if (info == nullptr || *info == nullptr)
    return paramErr;
  delete *info;
  *info = nullptr;
  --gLiveConverters;
  return noErr;
}

OSStatus DisposeUnicodeToTextInfo(UnicodeToTextInfo *info) noexcept {
  if (info == nullptr || *info == nullptr)
    return paramErr;
  delete *info;
  *info = nullptr;
  --gLiveConverters;
  return noErr;
}

OSStatus ConvertFromPStringToUnicode(TextToUnicodeInfo info, ConstStr255Param pString, ByteCount outputBufLen,
                                     ByteCount *unicodeLen, UniChar *unicodeStr) noexcept {
  if (info == nullptr || pString == nullptr || unicodeLen == nullptr || (unicodeStr == nullptr && outputBufLen))
    return paramErr;
  const size_t len = pString[0];
  const size_t room = outputBufLen / 2;
  const size_t n = len < room ? len : room;
  for (size_t i = 0; i < n; ++i)
    unicodeStr[i] = txt::MacRomanToUnicode(pString[1 + i]);
  *unicodeLen = ByteCount(n * 2);
  return n < len ? OSStatus(kTECOutputBufferFullStatus) : OSStatus(noErr);
}

OSStatus ConvertFromUnicodeToPString(UnicodeToTextInfo info, ByteCount unicodeLen, const UniChar *unicodeStr,
                                     Str255 pString) noexcept {
  if (info == nullptr || pString == nullptr || (unicodeStr == nullptr && unicodeLen) || (unicodeLen & 1))
    return paramErr;
  try {
    auto mac = txt::UnicodeToMacRoman(
        std::u16string_view(reinterpret_cast<const char16_t *>(unicodeStr), unicodeLen / 2));
    if (!mac) {
      pString[0] = 0;
      return kTECUnmappableElementErr;
    }
    size_t n = mac->size() > 255 ? 255 : mac->size();
    pString[0] = UInt8(n);
    std::memcpy(pString + 1, mac->data(), n);
    return mac->size() > 255 ? OSStatus(kTECOutputBufferFullStatus) : OSStatus(noErr);
  } catch (const std::bad_alloc &) {
    return memFullErr;
  }
}

Boolean EqualString(ConstStr255Param a, ConstStr255Param b, Boolean caseSensitive, Boolean diacSensitive) noexcept {
  if (a == nullptr || b == nullptr)
    return a == b;
  if (a[0] != b[0])
    return false;
  for (size_t i = 1; i <= a[0]; ++i) {
    UInt8 x = a[i], y = b[i];
    if (!diacSensitive) {
      x = txt::MacRomanStripDiacritic(x);
      y = txt::MacRomanStripDiacritic(y);
    }
    if (!caseSensitive) {
      x = txt::MacRomanUpper(x);
      y = txt::MacRomanUpper(y);
    }
    if (x != y)
      return false;
  }
  return true;
}

void PlatformFailNthConverterCreation(UInt32 n, OSStatus err) noexcept {
  gFailError = err;
  gFailCountdown = n;
}

SInt32 PlatformLiveConverterCount(void) noexcept { return gLiveConverters.load(); }

} // extern "C"
