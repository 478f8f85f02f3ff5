// File-name conversions between UTF-16 and the Mac file-name encoding, and
// the FSRef capability test. Converters and the answer are made on first
// use and kept for the life of the process.
#include "platform/gestalt/Gestalt.h"
#include "platform/text/TextEncoding.h"
#include "toolbox/files/FileToolbox.h"

namespace {
UnicodeToTextInfo sUnicodeToText = nullptr;
TextToUnicodeInfo sTextToUnicode = nullptr;
bool sAskedHFSPlus = false;
bool sHasHFSPlus = false;
} // namespace

extern "C" {

OSStatus ConvertUnicodeToPString(const UniChar *text, UInt32 length, StringPtr name) noexcept {
  if (name == nullptr || (text == nullptr && length > 0))
    return paramErr;
  if (length > 0x7FFFFFFF / 2)
    return paramErr;
  if (sUnicodeToText == nullptr) {
    UnicodeMapping mapping = {kTextEncodingUnicodeDefault, kTextEncodingMacHFS, kUnicodeUseLatestMapping};
    if (OSStatus err = CreateUnicodeToTextInfo(&mapping, &sUnicodeToText)) {
      sUnicodeToText = nullptr;
      return err;
    }
  }
  return ConvertFromUnicodeToPString(sUnicodeToText, ByteCount(length) * 2, text, name);
}

OSStatus ConvertPStringToUnicode(ConstStr255Param name, UInt32 capacity, UInt32 *length, UniChar *buffer) noexcept {
  if (name == nullptr || (buffer == nullptr && capacity > 0) || capacity > 0x7FFFFFFF / 2)
    return paramErr;
  if (sTextToUnicode == nullptr) {
    if (OSStatus err = CreateTextToUnicodeInfoByEncoding(kTextEncodingMacHFS, &sTextToUnicode)) {
      sTextToUnicode = nullptr;
      return err;
    }
  }
  ByteCount bytes = 0;
  OSStatus err = ConvertFromPStringToUnicode(sTextToUnicode, name, ByteCount(capacity) * 2, &bytes, buffer);
  if (length)
    *length = UInt32(bytes / 2);
  return err;
}

Boolean HasHFSPlusAPIs(void) noexcept {
  if (!sAskedHFSPlus) {
    SInt32 response = 0;
    sHasHFSPlus = Gestalt(gestaltFSAttr, &response) == noErr && (response & (1 << gestaltHasHFSPlusAPIs)) != 0;
    sAskedHFSPlus = true;
  }
  return sHasHFSPlus;
}

} // extern "C"
