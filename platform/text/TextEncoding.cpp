// Text Encoding Converter stand-in (Mac Roman, Latin-1, UTF-16, UTF-8) and
// EqualString.
#include "platform/text/TextEncoding.h"

#include <atomic>
#include <cstring>
#include <new>

#include "platform/text/MacRoman.h"
#include "platform/text/UnicodeCodecs.h"

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

bool IsLatin1(TextEncoding e) { return (e & 0xFFFF) == kTextEncodingISOLatin1; }

bool IsUnicodeBase(TextEncoding e) { return (e & 0xFFFF) >= 0x100 && (e & 0xFFFF) <= 0x104; }

bool IsUtf16(TextEncoding e) { return (e & 0xFFFF) == kTextEncodingUnicodeDefault && (e >> 26) == 0; }

// The 8-bit sets the Pascal-string converters handle.
bool IsByteSet(TextEncoding e) { return IsMacRoman(e) || IsLatin1(e); }

OSStatus InjectedFailure() {
  UInt32 n = gFailCountdown.load();
  if (n != 0 && gFailCountdown.fetch_sub(1) == 1)
    return gFailError.load();
  return noErr;
}
// Both converter kinds are a record of one encoding: made and disposed of
// the same way, counted for the tests.
template <class Info> OSStatus CreateConverter(TextEncoding encoding, Info **info) {
  if (info == nullptr)
    return paramErr;
  if (!IsByteSet(encoding))
    return kTECNoConversionPathErr;
  if (OSStatus e = InjectedFailure())
    return e;
  auto *p = new (std::nothrow) Info{encoding};
  if (p == nullptr)
    return memFullErr;
  ++gLiveConverters;
  *info = p;
  return noErr;
}

template <class Info> OSStatus DisposeConverter(Info **info) {
  if (info == nullptr || *info == nullptr)
    return paramErr;
  delete *info;
  *info = nullptr;
  --gLiveConverters;
  return noErr;
}
} // namespace

extern "C" {

OSStatus CreateTextToUnicodeInfoByEncoding(TextEncoding encoding, TextToUnicodeInfo *info) noexcept {
  return CreateConverter(encoding, info);
}

OSStatus CreateUnicodeToTextInfoByEncoding(TextEncoding encoding, UnicodeToTextInfo *info) noexcept {
  return CreateConverter(encoding, info);
}

OSStatus CreateUnicodeToTextInfo(ConstUnicodeMappingPtr mapping, UnicodeToTextInfo *info) noexcept {
  if (mapping == nullptr || info == nullptr)
    return paramErr;
  if (!IsUtf16(mapping->unicodeEncoding))
    return kTECNoConversionPathErr;
  return CreateUnicodeToTextInfoByEncoding(mapping->otherEncoding, info);
}

OSStatus DisposeTextToUnicodeInfo(TextToUnicodeInfo *info) noexcept { return DisposeConverter(info); }

OSStatus DisposeUnicodeToTextInfo(UnicodeToTextInfo *info) noexcept { return DisposeConverter(info); }

OSStatus ConvertFromPStringToUnicode(TextToUnicodeInfo info, ConstStr255Param pString, ByteCount outputBufLen,
                                     ByteCount *unicodeLen, UniChar *unicodeStr) noexcept {
  if (info == nullptr || pString == nullptr || unicodeLen == nullptr || (unicodeStr == nullptr && outputBufLen))
    return paramErr;
  const size_t len = pString[0];
  const size_t room = outputBufLen / 2;
  const size_t n = len < room ? len : room;
  const bool latin1 = IsLatin1(info->from);
  for (size_t i = 0; i < n; ++i)
    unicodeStr[i] = latin1 ? UniChar(pString[1 + i]) : UniChar(txt::MacRomanToUnicode(pString[1 + i]));
  *unicodeLen = ByteCount(n * 2);
  return n < len ? OSStatus(kTECOutputBufferFullStatus) : OSStatus(noErr);
}

OSStatus ConvertFromUnicodeToPString(UnicodeToTextInfo info, ByteCount unicodeLen, const UniChar *unicodeStr,
                                     Str255 pString) noexcept {
  if (info == nullptr || pString == nullptr || (unicodeStr == nullptr && unicodeLen) || (unicodeLen & 1))
    return paramErr;
  if (IsLatin1(info->to)) {
    const size_t units = unicodeLen / 2;
    for (size_t i = 0; i < units; ++i) {
      if (unicodeStr[i] > 0xFF) {
        pString[0] = 0;
        return kTECUnmappableElementErr;
      }
    }
    const size_t n = units > 255 ? 255 : units;
    for (size_t i = 0; i < n; ++i)
      pString[1 + i] = UInt8(unicodeStr[i]);
    pString[0] = UInt8(n);
    return units > 255 ? OSStatus(kTECOutputBufferFullStatus) : OSStatus(noErr);
  }
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

} // extern "C"

// ---- General converters --------------------------------------------------------

namespace {

enum class Set { kMacRoman, kLatin1, kUtf16, kUtf8 };

bool Classify(TextEncoding e, Set &set) {
  if (IsMacRoman(e)) {
    set = Set::kMacRoman;
  } else if (IsLatin1(e)) {
    set = Set::kLatin1;
  } else if (IsUnicodeBase(e) && (e >> 26) == kUnicode16BitFormat) {
    set = Set::kUtf16;
  } else if (IsUnicodeBase(e) && (e >> 26) == kUnicodeUTF8Format) {
    set = Set::kUtf8;
  } else {
    return false;
  }
  return true;
}

OSStatus StopStatus(txt::CodecStop s) {
  switch (s) {
  case txt::CodecStop::kDone: return noErr;
  case txt::CodecStop::kFull: return kTECOutputBufferFullStatus;
  case txt::CodecStop::kMalformed: return kTextMalformedInputErr;
  case txt::CodecStop::kPartial: return kTECPartialCharErr;
  }
  return kTextMalformedInputErr;
}

// One character of the input set at in[0..n): its code point and length.
txt::CodecStop ReadChar(Set set, const UInt8 *in, size_t n, char32_t &cp, size_t &len) {
  switch (set) {
  case Set::kMacRoman:
    cp = txt::MacRomanToUnicode(in[0]);
    len = 1;
    return txt::CodecStop::kDone;
  case Set::kLatin1:
    cp = in[0];
    len = 1;
    return txt::CodecStop::kDone;
  case Set::kUtf8: return txt::DecodeUtf8Char(in, n, cp, len);
  case Set::kUtf16: {
    if (n < 2) return txt::CodecStop::kPartial;
    UInt16 u;
    std::memcpy(&u, in, 2);
    if (u >= 0xDC00 && u <= 0xDFFF) return txt::CodecStop::kMalformed;
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (n < 4) return txt::CodecStop::kPartial;
      UInt16 lo;
      std::memcpy(&lo, in + 2, 2);
      if (lo < 0xDC00 || lo > 0xDFFF) return txt::CodecStop::kMalformed;
      cp = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (lo - 0xDC00);
      len = 4;
    } else {
      cp = u;
      len = 2;
    }
    return txt::CodecStop::kDone;
  }
  }
  return txt::CodecStop::kMalformed;
}

// The bytes of one code point in the output set; 0 when it is unmappable.
size_t WriteChar(Set set, char32_t cp, UInt8 *out) {
  switch (set) {
  case Set::kMacRoman: {
    auto b = txt::UnicodeToMacRomanChar(cp);
    if (!b) return 0;
    out[0] = *b;
    return 1;
  }
  case Set::kLatin1:
    if (cp > 0xFF) return 0;
    out[0] = UInt8(cp);
    return 1;
  case Set::kUtf8:
    if (cp < 0x80) {
      out[0] = UInt8(cp);
      return 1;
    } else if (cp < 0x800) {
      out[0] = UInt8(0xC0 | (cp >> 6));
      out[1] = UInt8(0x80 | (cp & 0x3F));
      return 2;
    } else if (cp < 0x10000) {
      out[0] = UInt8(0xE0 | (cp >> 12));
      out[1] = UInt8(0x80 | ((cp >> 6) & 0x3F));
      out[2] = UInt8(0x80 | (cp & 0x3F));
      return 3;
    }
    out[0] = UInt8(0xF0 | (cp >> 18));
    out[1] = UInt8(0x80 | ((cp >> 12) & 0x3F));
    out[2] = UInt8(0x80 | ((cp >> 6) & 0x3F));
    out[3] = UInt8(0x80 | (cp & 0x3F));
    return 4;
  case Set::kUtf16:
    if (cp >= 0x10000) {
      const UInt16 hi = UInt16(0xD800 + ((cp - 0x10000) >> 10)), lo = UInt16(0xDC00 + ((cp - 0x10000) & 0x3FF));
      std::memcpy(out, &hi, 2);
      std::memcpy(out + 2, &lo, 2);
      return 4;
    } else {
      const UInt16 u = UInt16(cp);
      std::memcpy(out, &u, 2);
      return 2;
    }
  }
  return 0;
}

} // namespace

struct OpaqueTECObjectRef {
  Set from;
  Set to;
};

extern "C" {

TextEncoding CreateTextEncoding(TextEncodingBase encodingBase, TextEncodingVariant encodingVariant,
                                TextEncodingFormat encodingFormat) noexcept {
  return (encodingBase & 0xFFFF) | ((encodingVariant & 0x3FF) << 16) | ((encodingFormat & 0x3F) << 26);
}

OSStatus TECCreateConverter(TECObjectRef *newEncodingConverter, TextEncoding inputEncoding,
                            TextEncoding outputEncoding) noexcept {
  if (newEncodingConverter == nullptr)
    return paramErr;
  Set from, to;
  if (!Classify(inputEncoding, from) || !Classify(outputEncoding, to))
    return kTECNoConversionPathErr;
  if (OSStatus e = InjectedFailure())
    return e;
  auto *p = new (std::nothrow) OpaqueTECObjectRef{from, to};
  if (p == nullptr)
    return memFullErr;
  ++gLiveConverters;
  *newEncodingConverter = p;
  return noErr;
}

OSStatus TECDisposeConverter(TECObjectRef encodingConverter) noexcept {
  if (encodingConverter == nullptr)
    return paramErr;
  delete encodingConverter;
  --gLiveConverters;
  return noErr;
}

OSStatus TECConvertText(TECObjectRef tec, ConstTextPtr in, ByteCount inLen, ByteCount *actualIn, TextPtr out,
                        ByteCount outLen, ByteCount *actualOut) noexcept {
  if (actualIn != nullptr)
    *actualIn = 0;
  if (actualOut != nullptr)
    *actualOut = 0;
  if (tec == nullptr || (in == nullptr && inLen != 0) || (out == nullptr && outLen != 0))
    return paramErr;
  size_t i = 0, o = 0;
  OSStatus status = noErr;
  if (tec->from == Set::kUtf8 && tec->to == Set::kUtf16) {
    auto r = txt::DecodeUtf8ToUtf16(in, inLen, out, outLen / 2);
    i = r.in;
    o = r.out * 2;
    status = StopStatus(r.stop);
  } else if (tec->from == Set::kUtf16 && tec->to == Set::kUtf8) {
    auto r = txt::EncodeUtf16ToUtf8(in, inLen / 2, out, outLen);
    i = r.in * 2;
    o = r.out;
    status = StopStatus(r.stop);
    if (status == noErr && (inLen & 1))
      status = kTECPartialCharErr; // a lone last byte
  } else {
    while (i < inLen) {
      char32_t cp;
      size_t len;
      const auto s = ReadChar(tec->from, in + i, inLen - i, cp, len);
      if (s != txt::CodecStop::kDone) {
        status = StopStatus(s);
        break;
      }
      if (tec->to == Set::kMacRoman && i + len < inLen) {
        // A base letter and a combining mark that make one Mac Roman letter.
        char32_t mark;
        size_t markLen;
        if (ReadChar(tec->from, in + i + len, inLen - i - len, mark, markLen) == txt::CodecStop::kDone) {
          if (auto b = txt::ComposeMacRoman(cp, mark)) {
            if (o >= outLen) {
              status = kTECOutputBufferFullStatus;
              break;
            }
            out[o++] = *b;
            i += len + markLen;
            continue;
          }
        }
      }
      UInt8 bytes[4];
      const size_t n = WriteChar(tec->to, cp, bytes);
      if (n == 0) {
        status = kTECUnmappableElementErr;
        break;
      }
      if (outLen - o < n) {
        status = kTECOutputBufferFullStatus;
        break;
      }
      std::memcpy(out + o, bytes, n);
      o += n;
      i += len;
    }
  }
  if (actualIn != nullptr)
    *actualIn = ByteCount(i);
  if (actualOut != nullptr)
    *actualOut = ByteCount(o);
  return status;
}

OSStatus TECFlushText(TECObjectRef encodingConverter, TextPtr outputBuffer, ByteCount outputBufferLength,
                      ByteCount *actualOutputLength) noexcept {
  if (actualOutputLength != nullptr)
    *actualOutputLength = 0;
  return encodingConverter == nullptr ? OSStatus(paramErr) : OSStatus(noErr);
}

} // extern "C"

extern "C" {

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
