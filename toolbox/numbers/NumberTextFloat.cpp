// Floating-point values to and from Pascal strings through the platform's
// number formats, by way of the 80-bit extended type.
#include <cstring>

#include "platform/intl/International.h"
#include "toolbox/numbers/NumbersToolbox.h"

namespace {

// The number-parts table of a script, copied; false when it is missing.
bool CopyNumberParts(ScriptCode script, NumberParts &parts) noexcept {
  Ptr itl = nullptr;
  SInt32 offset = 0, length = 0;
  GetIntlResourceTable(script, smNumberPartsTable, &itl, &offset, &length);
  if (itl == nullptr || length < SInt32(sizeof(NumberParts))) return false;
  std::memcpy(&parts, itl + offset, sizeof parts);
  return true;
}

} // namespace

extern "C" {

FormatStatus CreateCannonicalStringFormat(SInt32 precision, NumFormatString *format, NumberParts *parts) noexcept {
  if (format == nullptr || parts == nullptr) return fBadPartsTable;
  NumberParts table;
  if (!CopyNumberParts(ScriptCode(GetScriptManagerVariable(smSysScript)), table)) {
    format->fLength = 0;
    format->fVersion = 0;
    return fBadPartsTable;
  }
  std::memcpy(parts, &table, sizeof table);
  if (precision <= 0) precision = 18;
  // "######0." and then '#' per fraction digit, at most 20 bytes in all.
  Str255 canonical;
  const SInt32 length = precision + 8 > 20 ? 20 : precision + 8;
  canonical[0] = UInt8(length);
  std::memset(canonical + 1, '#', size_t(length));
  canonical[7] = '0';
  canonical[8] = '.';
  return StringToFormatRec(canonical, parts, format);
}

StringPtr ConvertDoubleToString(double value, SInt32 precision, StringPtr output) noexcept {
  output[0] = 0;
  NumFormatString format;
  NumberParts parts;
  if (CreateCannonicalStringFormat(precision, &format, &parts) != fFormatOK) return output;
  extended80 x;
  dtox80(&value, &x);
  if (ExtendedToString(&x, &format, &parts, output) != fFormatOK) output[0] = 0;
  return output;
}

double ConvertStringToDouble(ConstStr255Param string, SInt32 precision) noexcept {
  NumFormatString format;
  NumberParts parts;
  if (CreateCannonicalStringFormat(precision, &format, &parts) != fFormatOK) return 0.0;
  extended80 x;
  if (StringToExtended(string, &format, &parts, &x) != fFormatOK) return 0.0;
  return x80tod(&x);
}

OSErr FloatingPointValueToString(double value, StringPtr output, ConstStr255Param format) noexcept {
  if (output == nullptr) return paramErr;
  NumberParts parts;
  if (!CopyNumberParts(smCurrentScript, parts)) return resNotFound;
  static constexpr unsigned char kEmpty[1] = {0};
  NumFormatString compiled;
  if (StringToFormatRec(format != nullptr ? format : kEmpty, &parts, &compiled) != fFormatOK) {
    output[0] = 0;
    return paramErr;
  }
  extended80 x;
  dtox80(&value, &x);
  if (ExtendedToString(&x, &compiled, &parts, output) != fFormatOK) {
    output[0] = 0;
    return paramErr;
  }
  return noErr;
}

OSErr StringToFloatingPointValue(ConstStr255Param string, double *value, ConstStr255Param format) noexcept {
  if (string == nullptr || value == nullptr) return paramErr;
  NumberParts parts;
  if (!CopyNumberParts(smCurrentScript, parts)) return resNotFound;
  static constexpr unsigned char kEmpty[1] = {0};
  NumFormatString compiled;
  if (StringToFormatRec(format != nullptr ? format : kEmpty, &parts, &compiled) != fFormatOK) return paramErr;
  extended80 x;
  if (StringToExtended(string, &compiled, &parts, &x) != fFormatOK) return paramErr;
  *value = x80tod(&x);
  return noErr;
}

} // extern "C"
