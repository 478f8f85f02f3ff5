// Character sets: the Mac Roman <-> Latin-1 tables, byte/unit widening,
// the byte-order test, UTF-16 helpers, and the UTF-16 <-> UTF-8 converters.
#include <cstring>

#include "platform/text/TextEncoding.h"
#include "toolbox/charsets/CharsetTables.h"
#include "toolbox/charsets/CharsetToolbox.h"
#include "toolbox/files/FileToolbox.h"

namespace cs = ql::detail::charsets;

namespace {

TECObjectRef sUnicodeToUTF8 = nullptr;
TECObjectRef sUTF8ToUnicode = nullptr;

// Makes the converter on first use; a failure leaves it unset.
OSStatus Converter(TECObjectRef &slot, TextEncoding from, TextEncoding to) noexcept {
  if (slot != nullptr) return noErr;
  TECObjectRef tec = nullptr;
  if (OSStatus err = TECCreateConverter(&tec, from, to)) return err;
  slot = tec;
  return noErr;
}

OSStatus Convert(TECObjectRef &slot, TextEncoding from, TextEncoding to, const void *in, ByteCount inLen,
                 ByteCount capacity, void *out, ByteCount *outLength) noexcept {
  if (in == nullptr) return paramErr;
  if (out == nullptr) return kCharsetNullOutputErr;
  if (OSStatus err = Converter(slot, from, to)) return err;
  ByteCount used = 0, written = 0;
  const OSStatus err = TECConvertText(slot, static_cast<ConstTextPtr>(in), inLen, &used,
                                      static_cast<TextPtr>(out), capacity, &written);
  if (outLength != nullptr) *outLength = written;
  return err;
}

inline UniChar Swap(UniChar u) { return UniChar((u >> 8) | (u << 8)); }

} // namespace

extern "C" {

const UInt8 kLatin1ToMacTable[256] = {
#define QL_ROW(i)                                                                                           \
  cs::kLatin1ToMac[i + 0], cs::kLatin1ToMac[i + 1], cs::kLatin1ToMac[i + 2], cs::kLatin1ToMac[i + 3],       \
      cs::kLatin1ToMac[i + 4], cs::kLatin1ToMac[i + 5], cs::kLatin1ToMac[i + 6], cs::kLatin1ToMac[i + 7]
    QL_ROW(0),   QL_ROW(8),   QL_ROW(16),  QL_ROW(24),  QL_ROW(32),  QL_ROW(40),  QL_ROW(48),  QL_ROW(56),
    QL_ROW(64),  QL_ROW(72),  QL_ROW(80),  QL_ROW(88),  QL_ROW(96),  QL_ROW(104), QL_ROW(112), QL_ROW(120),
    QL_ROW(128), QL_ROW(136), QL_ROW(144), QL_ROW(152), QL_ROW(160), QL_ROW(168), QL_ROW(176), QL_ROW(184),
    QL_ROW(192), QL_ROW(200), QL_ROW(208), QL_ROW(216), QL_ROW(224), QL_ROW(232), QL_ROW(240), QL_ROW(248),
#undef QL_ROW
};

const UInt8 kMacToLatin1Table[256] = {
#define QL_ROW(i)                                                                                           \
  cs::kMacToLatin1[i + 0], cs::kMacToLatin1[i + 1], cs::kMacToLatin1[i + 2], cs::kMacToLatin1[i + 3],       \
      cs::kMacToLatin1[i + 4], cs::kMacToLatin1[i + 5], cs::kMacToLatin1[i + 6], cs::kMacToLatin1[i + 7]
    QL_ROW(0),   QL_ROW(8),   QL_ROW(16),  QL_ROW(24),  QL_ROW(32),  QL_ROW(40),  QL_ROW(48),  QL_ROW(56),
    QL_ROW(64),  QL_ROW(72),  QL_ROW(80),  QL_ROW(88),  QL_ROW(96),  QL_ROW(104), QL_ROW(112), QL_ROW(120),
    QL_ROW(128), QL_ROW(136), QL_ROW(144), QL_ROW(152), QL_ROW(160), QL_ROW(168), QL_ROW(176), QL_ROW(184),
    QL_ROW(192), QL_ROW(200), QL_ROW(208), QL_ROW(216), QL_ROW(224), QL_ROW(232), QL_ROW(240), QL_ROW(248),
#undef QL_ROW
};

// ---- Mac Roman and Latin-1 ------------------------------------------------------

Ptr Latin1ToMacText(void *text, UInt32 length) noexcept {
  auto *p = static_cast<UInt8 *>(text);
  for (UInt32 i = 0; i < length; ++i) p[i] = cs::kLatin1ToMac[p[i]];
  return static_cast<Ptr>(text);
}

Ptr MacToLatin1Text(void *text, UInt32 length) noexcept {
  auto *p = static_cast<UInt8 *>(text);
  for (UInt32 i = 0; i < length; ++i) p[i] = cs::kMacToLatin1[p[i]];
  return static_cast<Ptr>(text);
}

// ---- Bytes and units ---------------------------------------------------------------

void ASCIIToUnicode(const void *bytes, UInt32 count, UniChar *units, Boolean bigEndian) noexcept {
  const auto *b = static_cast<const UInt8 *>(bytes);
  for (UInt32 i = 0; i < count; ++i) units[i] = bigEndian ? UniChar(b[i]) : UniChar(b[i] << 8);
}

void UnicodeToASCII(const UniChar *units, UInt32 count, void *bytes, Boolean bigEndian) noexcept {
  auto *b = static_cast<UInt8 *>(bytes);
  for (UInt32 i = 0; i < count; ++i) b[i] = bigEndian ? UInt8(units[i]) : UInt8(units[i] >> 8);
}

void PStringToUnicodeSimple(ConstStr255Param string, UInt32 maxUnits, UniChar *units, UInt32 *outCount) noexcept {
  const UInt32 n = string[0] < maxUnits ? string[0] : maxUnits;
  for (UInt32 i = 0; i < n; ++i) units[i] = string[1 + i];
  if (outCount != nullptr) *outCount = n;
}

Boolean IsUnicodeBigEndian(UInt32 count, const UniChar *units) noexcept {
  UInt32 hits = 0;
  for (UInt32 i = 0; i < count; ++i) {
    const UniChar u = units[i];
    if ((u >> 8) == 0 && (u & 0xFF) >= 0x20 && (u & 0xFF) <= 0x7E) ++hits;
  }
  return hits > count / 2 ? 1 : 0;
}

Ptr SmartUnicodeToASCII(const UniChar *units, UInt32 count, UInt32 flags, void *output) noexcept {
  if ((flags & 3) != 0 && !IsUnicodeBigEndian(count, units)) flags &= ~UInt32(kSmartUnicodeBigEndian);
  // The scratch copy holds 256 units; longer text is cut there.
  UniChar scratch[256];
  const UInt32 n = count < 256 ? count : 256;
  const UniChar *src = units;
  if ((flags & kSmartUnicodeBigEndian) == 0) {
    for (UInt32 i = 0; i < n; ++i) scratch[i] = Swap(units[i]);
    src = scratch;
  }
  Str255 text;
  const OSStatus err = ConvertUnicodeToPString(src, n, text);
  auto *out = static_cast<UInt8 *>(output);
  if (err == noErr || err == kTECOutputBufferFullStatus) {
    std::memcpy(out, text + 1, text[0]);
    return static_cast<Ptr>(output);
  }
  // Some character has no Mac Roman form: convert unit by unit, '?' for
  // those, so that the caller still gets one byte per unit.
  const UInt32 m = n < 255 ? n : 255;
  for (UInt32 i = 0; i < m; ++i) {
    Str255 one;
    out[i] = ConvertUnicodeToPString(src + i, 1, one) == noErr && one[0] == 1 ? one[1] : UInt8('?');
  }
  return static_cast<Ptr>(output);
}

// ---- UTF-16 helpers ------------------------------------------------------------------

Boolean UnicodeIsAlpha(UniChar c) noexcept { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

Boolean UnicodeIsPrint(UniChar c) noexcept { return c >= 0x21 && c <= 0x7F; }

UniChar *UnicodeReverseCharSearch(const UniChar *units, UInt32 count, UniChar c) noexcept {
  for (UInt32 i = count; i > 0; --i)
    if (units[i - 1] == c) return const_cast<UniChar *>(units + i - 1);
  return nullptr;
}

void UnicodeAppend(const UniChar *source, UInt32 sourceCount, UInt32 destCapacity, UniChar *dest, UInt32 destCount,
                   UInt32 *newCount) noexcept {
  const UInt32 room = destCount < destCapacity ? destCapacity - destCount : 0;
  const UInt32 n = sourceCount < room ? sourceCount : room;
  if (n != 0) std::memmove(dest + destCount, source, size_t(n) * sizeof(UniChar));
  if (newCount != nullptr) *newCount = destCount + n;
}

UniChar *UnicodeFindFilenameExtension(const UniChar *units, UInt32 count, UInt32 *extLength) noexcept {
  if (extLength != nullptr) *extLength = 0;
  const UniChar *dot = count == 0 ? nullptr : UnicodeReverseCharSearch(units, count, '.');
  if (dot == nullptr) return nullptr;
  const UniChar *after = dot + 1;
  const UInt32 rest = UInt32(units + count - after);
  if (rest == 0) return const_cast<UniChar *>(after);
  if (!UnicodeIsAlpha(*after)) return nullptr;
  if (extLength != nullptr) *extLength = rest;
  return const_cast<UniChar *>(after);
}

// ---- UTF-16 <-> UTF-8 ---------------------------------------------------------------------

OSStatus UnicodeToUTF8(const void *utf16, ByteCount byteCount, ByteCount capacity, void *output,
                       ByteCount *outLength) noexcept {
  return Convert(sUnicodeToUTF8, CreateTextEncoding(kTextEncodingUnicodeDefault, 0, kUnicode16BitFormat),
                 CreateTextEncoding(kTextEncodingUnicodeDefault, 0, kUnicodeUTF8Format), utf16, byteCount,
                 capacity, output, outLength);
}

OSStatus UTF8ToUnicode(const void *utf8, ByteCount byteCount, ByteCount capacity, void *output,
                       ByteCount *outLength) noexcept {
  return Convert(sUTF8ToUnicode, CreateTextEncoding(kTextEncodingUnicodeDefault, 0, kUnicodeUTF8Format),
                 CreateTextEncoding(kTextEncodingUnicodeDefault, 0, kUnicode16BitFormat), utf8, byteCount,
                 capacity, output, outLength);
}

} // extern "C"
