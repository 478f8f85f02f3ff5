/*
 * Integer math: small stateless numeric helpers.
 *
 * Pinning a value into a range, translating a value from one range to
 * another, rounding, greatest common divisor and ratio reduction, powers of
 * two and quantising, integer square root, next prime (32- and 64-bit),
 * binary-coded decimal, temperatures and a knapsack. Each function is
 * defined by its exact arithmetic, including results at the edges that
 * differ from the textbook function of the same name (IntegerPower squares,
 * the quantisers mask, GetNextPrime(2) is 3); those results are the
 * behaviour.
 *
 *     SInt32 gain = TranslateValue(0, 255, field, 0, 65535);  // 128 -> 32896
 *     UInt32 num, den; SInt32 numShift, denShift;
 *     OptimizeRatio(640, 480, &num, &den, &numShift, &denShift); // 4, 3, 2, -1
 *
 * Nothing here fails except Knapsack; results that do not fit a 32-bit
 * integer (NaN, infinities, values out of range) saturate.
 */
#ifndef TOOLBOX_NUMBERS_NUMBERSTOOLBOX_H
#define TOOLBOX_NUMBERS_NUMBERSTOOLBOX_H

#include "platform/core/MacErrors.h"
#include "platform/core/MacTypes.h"
#include "toolbox/common/Export.h"

QL_BEGIN_DECLS

/* If *value > maximum it becomes maximum, else if *value < minimum it
 * becomes minimum. The maximum is tested first, so with minimum > maximum
 * every value ends at or below maximum. Does nothing when value is null. */
QL_EXPORT void PinValueInRangePtr(SInt32 *value, SInt32 minimum, SInt32 maximum) QL_NOEXCEPT;

/* Maps value from fromMin..fromMax onto toMin..toMax in single precision:
 * the differences value - fromMin, fromMax - fromMin and toMax - toMin are
 * converted to float, ratio = (value - fromMin) / (fromMax - fromMin) and
 * scaled = (toMax - toMin) * ratio are rounded to float, and the result is
 * toMin + scaled truncated toward zero. TranslateValue(0, 255, 128, 0, 65535)
 * is 32896. A degenerate source range (fromMin == fromMax) gives toMin; a
 * result outside the 32-bit range saturates. */
QL_EXPORT SInt32 TranslateValue(SInt32 fromMin, SInt32 fromMax, SInt32 value, SInt32 toMin,
                                SInt32 toMax) QL_NOEXCEPT;

/* (toMax - toMin) * ((value - fromMin) / (fromMax - fromMin)) + toMin in
 * double, the multiply and the add fused (one rounding). A degenerate source
 * range gives toMin. NaN arguments give NaN. */
QL_EXPORT double TranslateFloatValue(double fromMin, double fromMax, double value, double toMin,
                                     double toMax) QL_NOEXCEPT;

/* toMin + (toMax - toMin) * ((value - fromMin) / (fromMax - fromMin)) in
 * double with a fused multiply-add, truncated toward zero. A degenerate
 * source range or a NaN gives toMin; results beyond the 32-bit range
 * saturate to INT32_MIN or INT32_MAX. */
QL_EXPORT SInt32 TranslateFloatValueToIntegerValue(double fromMin, double fromMax, double value,
                                                   SInt32 toMin, SInt32 toMax) QL_NOEXCEPT;

/* Greatest common divisor of two positive values. A first argument of 0 or
 * less returns b unchanged (GreatestCommonDenominator(0, 7) is 7). With a
 * positive a and b of 0 the result is a; with a negative b it is the
 * divisor of a and |b|. */
QL_EXPORT SInt32 GreatestCommonDenominator(SInt32 a, SInt32 b) QL_NOEXCEPT;

/* The nearest integer, halves away from zero (2.5 -> 3, -2.5 -> -3).
 * Beyond the 32-bit range, and for infinities, saturates to INT32_MIN or
 * INT32_MAX; NaN gives 0. */
QL_EXPORT SInt32 Round(double x) QL_NOEXCEPT;

/* base squared n times in succession with 32-bit wrap-around: base raised to
 * 2^n modulo 2^32 (n = 0 gives base, n = 1 base^2, n = 2 base^4). n <= 0
 * gives base. */
QL_EXPORT SInt32 IntegerPower(SInt32 base, SInt32 n) QL_NOEXCEPT;

/* r = a - trunc(a / b) * b, plus |b| when r < 0: a result in 0 .. |b| - 1
 * (Mod(-7, 3) is 2, Mod(7, -3) is 1). b = 0 gives a; b = -1 gives 0 (also
 * for INT32_MIN); b = INT32_MIN is handled without overflow. */
QL_EXPORT SInt32 Mod(SInt32 a, SInt32 b) QL_NOEXCEPT;

/* k when x = 2^k with k >= 1; 0 for every other x (0, 1, non-powers). */
QL_EXPORT SInt32 PowerOf2(UInt32 x) QL_NOEXCEPT;

/* 2 for x <= 1; otherwise the smallest power of two strictly greater than x
 * (4 for 2 and 3, 8 for 4); 0 when that would be 2^32. */
QL_EXPORT UInt32 NextPowerOf2(UInt32 x) QL_NOEXCEPT;

/* (value + quantum - 1) AND (quantum - 1), 32-bit: the masked remainder
 * form, not value rounded up to a multiple (QuantizeValueUp(13, 8) is 4). */
QL_EXPORT UInt32 QuantizeValueUp(UInt32 value, UInt32 quantum) QL_NOEXCEPT;
/* value AND (quantum - 1): the masked remainder form, not value rounded
 * down (QuantizeValueDown(13, 8) is 5). */
QL_EXPORT UInt32 QuantizeValueDown(UInt32 value, UInt32 quantum) QL_NOEXCEPT;

/* Reduces numerator / denominator by their greatest common divisor g and
 * stores, each only when its pointer is not null: the reduced numerator and
 * denominator, and for each side a shift: 0 when it reduced to 1, k when it
 * reduced to 2^k, -1 otherwise. OptimizeRatio(640, 480) gives 4, 3, 2, -1;
 * OptimizeRatio(2, 8) gives 1, 4, 0, 2. Both values are unsigned: a zero
 * numerator reduces 0/d to 0/1, a zero denominator n/0 to 1/0, and 0/0 stays
 * 0/0. */
QL_EXPORT void OptimizeRatio(UInt32 numerator, UInt32 denominator, UInt32 *outNumerator,
                             UInt32 *outDenominator, SInt32 *outNumeratorShift,
                             SInt32 *outDenominatorShift) QL_NOEXCEPT;

/* floor(sqrt(n)) for n >= 1; 0 for n <= 0. */
QL_EXPORT SInt32 IntegerSquareRoot(SInt32 n) QL_NOEXCEPT;

/* 1 for n <= 1; 3 for n = 2 or 3; otherwise the smallest prime >= n.
 * 0 when there is none below 2^32 (n above 4294967291). */
QL_EXPORT UInt32 GetNextPrime(UInt32 n) QL_NOEXCEPT;

/* GetNextPrime on the 64-bit value high:low: 1 for n <= 1, 3 for 2 and 3,
 * the smallest prime >= n otherwise, 0 when there is none below 2^64
 * (n above 2^64 - 59). Primality is decided by a deterministic test. */
QL_EXPORT UInt64 GetNextPrime64(UInt32 high, UInt32 low) QL_NOEXCEPT;

/* Packed binary-coded decimal: for each byte in order, result = result * 100
 * + high nibble * 10 + low nibble, with 32-bit wrap-around. Nibbles above 9
 * are not rejected. bytes may be null when byteCount is 0. */
QL_EXPORT UInt32 BCDToInteger(UInt32 byteCount, const void *bytes) QL_NOEXCEPT;

/* x * 1.8 + 32, the multiply and the add fused. */
QL_EXPORT double CelsiusToFahrenheit(double celsius) QL_NOEXCEPT;
/* (x - 32) / 1.8. */
QL_EXPORT double FahrenheitToCelsius(double fahrenheit) QL_NOEXCEPT;

/* Solves the knapsack over capacities 1 .. count: the largest total not
 * above a capacity cap made from sizes used any number of times, where only
 * the first cap sizes are candidates. The work arrays come from temporary
 * memory first, then the application heap, and are released before
 * returning, so only the result code is handed back.
 * Results: noErr; paramErr (-50) when count < 0, sizes is null with
 * count > 0, or one of the count sizes is 0 or less; memFullErr (-108) when
 * the work arrays cannot be had (nothing is left allocated). */
QL_EXPORT OSErr Knapsack(SInt32 count, const SInt32 *sizes) QL_NOEXCEPT;

QL_END_DECLS


/* ==========================================================================
 * Numbers and text
 *
 * Integers to and from decimal, hexadecimal, binary and octal text in
 * Pascal strings, text blocks and C strings; version numbers as text; and
 * floating-point values through the platform's number formats.
 *
 *     Str255 s;
 *     ConvertNumberToFormattedStringWithSeperator(1234567, ',', s); // "1,234,567"
 *     char buf[16];
 *     NumberToString(255, 16, ' ', 6, 0, false, buf);               // "    ff"
 *     SInt32 v = FormattedTextToNumber("  0x1F ", 7, QL_FOURCC('d','e','c','i')); // 31
 *
 * Digits and separators are plain ASCII whatever the process locale. The
 * Pascal-string writers stop silently at 255 bytes. The readers never fail:
 * bytes that are not digits of the base are skipped, and values beyond 32
 * bits wrap modulo 2^32 (computed in unsigned arithmetic). Pointers must be
 * valid unless a declaration says otherwise.
 * ========================================================================== */

#include "platform/intl/International.h"

QL_BEGIN_DECLS

/* Base codes of FormattedTextToNumber. */
enum {
  kNumberBaseBinary = QL_FOURCC('b', 'i', 'n', 'a'),
  kNumberBaseDecimal = QL_FOURCC('d', 'e', 'c', 'i'),
  kNumberBaseHex = QL_FOURCC('h', 'e', 'x', ' ')
};

/* ---- Into Pascal strings: Convert... empties `output` first, Append...
 * adds to it (stopping at 255 bytes). --------------------------------------- */

/* Decimal, '-' first for negative values; INT32_MIN gives "-2147483648". */
QL_EXPORT void ConvertNumberToString(SInt32 value, StringPtr output) QL_NOEXCEPT;
QL_EXPORT void AppendNumberToString(SInt32 value, StringPtr output) QL_NOEXCEPT;
/* Upper-case hexadecimal, binary or octal digits of the unsigned value, no
 * prefix, no leading zeros (0 gives "0"). */
QL_EXPORT void ConvertNumberToHexString(UInt32 value, StringPtr output) QL_NOEXCEPT;
QL_EXPORT void AppendNumberToHexString(UInt32 value, StringPtr output) QL_NOEXCEPT;
QL_EXPORT void ConvertNumberToBinaryString(UInt32 value, StringPtr output) QL_NOEXCEPT;
QL_EXPORT void AppendNumberToBinaryString(UInt32 value, StringPtr output) QL_NOEXCEPT;
QL_EXPORT void ConvertNumberToOctalString(UInt32 value, StringPtr output) QL_NOEXCEPT;
QL_EXPORT void AppendNumberToOctalString(UInt32 value, StringPtr output) QL_NOEXCEPT;
/* The hexadecimal / binary digits, then '0' bytes in front up to `width`
 * bytes (a width above 255 pads to 255; digits are never cut). */
QL_EXPORT void ConvertNumberToHexStringPadded(UInt32 value, UInt32 width, StringPtr output) QL_NOEXCEPT;
QL_EXPORT void ConvertNumberToBinaryStringPadded(UInt32 value, UInt32 width, StringPtr output) QL_NOEXCEPT;
/* Decimal with `separator` before every group of three digits counted from
 * the right: 1234567 -> "1,234,567", -1234 -> "-1,234", 999 -> "999". */
QL_EXPORT void ConvertNumberToFormattedStringWithSeperator(SInt32 value, UInt8 separator,
                                                           StringPtr output) QL_NOEXCEPT;
/* As above with the thousands separator of the system's 'itl0' resource.
 * Results: noErr (the resource is released again); resNotFound (-192) when
 * the resource is missing, or ResError's code when it reports one: in both
 * cases the output is still written, with ','. */
QL_EXPORT OSErr ConvertNumberToFormattedString(SInt32 value, StringPtr output) QL_NOEXCEPT;
/* A NumVersion (major in the top byte, minor in bits 20-23, bug fix in bits
 * 16-19, stage in byte 1, non-release revision in byte 0) as text:
 * "major.minor", ".bugfix" when non-zero, then by stage 0x20 'd', 0x40 'a',
 * 0x60 'b' each followed by the revision, 0x80 'f' followed by the revision
 * when non-zero; other stages add nothing. 0x02108003 -> "2.1f3". */
QL_EXPORT void NumVersionToPascalString(UInt32 version, StringPtr output) QL_NOEXCEPT;
/* Writes exactly `width` bytes at text: the upper-case hexadecimal digits
 * of value with '0' in front; when the digits need more than width bytes
 * only the last width digits are written (value modulo 16^width). No length
 * byte, no terminator; width 0 writes nothing. */
QL_EXPORT void ConvertNumberToHexText(UInt32 value, void *text, UInt32 width) QL_NOEXCEPT;

/* ---- From Pascal strings: every digit of the base anywhere in the string
 * is taken in order, everything else skipped. -------------------------------- */

/* Decimal; negated when byte 1 is '-' ("-1a2" -> -12, "12-3" -> 123). */
QL_EXPORT SInt32 ConvertStringToNumber(ConstStr255Param string) QL_NOEXCEPT;
/* Hexadecimal digits of either case; no sign ("0x1F" -> 0x1F: 'x' is skipped). */
QL_EXPORT SInt32 ConvertHexStringToNumber(ConstStr255Param string) QL_NOEXCEPT;
/* '0' and '1'. */
QL_EXPORT SInt32 ConvertBinaryStringToNumber(ConstStr255Param string) QL_NOEXCEPT;
/* The value of one digit, or -1 when the byte is no digit of the base. */
QL_EXPORT SInt32 ConvertCharToNumber(UInt8 c) QL_NOEXCEPT;
QL_EXPORT SInt32 ConvertHexCharToNumber(UInt8 c) QL_NOEXCEPT;
QL_EXPORT SInt32 ConvertBinaryCharToNumber(UInt8 c) QL_NOEXCEPT;

/* ---- From text blocks (text may be null when length is 0) ---------------- */

/* An optional '-' as the very first byte, then every decimal digit
 * ("12:34" -> 1234, "7-" -> 7); an empty text gives 0. */
QL_EXPORT SInt32 DecimalTextToNumber(const void *text, UInt32 length) QL_NOEXCEPT;
/* Every hexadecimal digit; the two are one function. */
QL_EXPORT SInt32 HexTextToNumber(const void *text, UInt32 length) QL_NOEXCEPT;
QL_EXPORT SInt32 ConvertHexTextToNumber(const void *text, UInt32 length) QL_NOEXCEPT;
/* Every '0' or '1'. */
QL_EXPORT SInt32 BinaryTextToNumber(const void *text, UInt32 length) QL_NOEXCEPT;
/* White space is stripped from both ends; then, when two bytes or more
 * remain, a prefix decides: "0x"/"0X" and "$" hexadecimal, "0b"/"0B"
 * binary, "#" decimal (the rest read by the rules above). Otherwise `base`
 * decides: kNumberBaseBinary, kNumberBaseDecimal, kNumberBaseHex over the
 * stripped text; any other code gives 0. */
QL_EXPORT SInt32 FormattedTextToNumber(const void *text, UInt32 length, OSType base) QL_NOEXCEPT;

/* ---- C strings ------------------------------------------------------------ */

/* Writes value into output as a C string and returns the address of its
 * NUL. base: 2 to 16 read value as unsigned; -10 reads it as signed
 * decimal. Digits above 9 are 'a'-'f', or 'A'-'F' when upper is true. A
 * non-zero precision makes the pad byte '0' and the width the precision.
 * While the digits are fewer than width, pad bytes go in front (none when
 * pad is NUL); a minus sign goes before the padding and is not counted:
 * (-5, -10, '0', 4) gives "-0005", with pad ' ' "-   5". INT32_MIN in
 * base -10 gives exactly "-2147483648" (no padding). Any other base writes
 * the empty string. The caller provides max(width, 32) + 2 bytes. */
QL_EXPORT char *NumberToString(UInt32 value, SInt32 base, char pad, SInt32 width, SInt32 precision,
                               Boolean upper, char *output) QL_NOEXCEPT;
/* Reads a number in base 10 or 16: spaces, tabs and line feeds are
 * skipped, one '-' may follow (consumed even without digits), then digits
 * (0-9, and in base 16 a-f and A-F). *end (when end is not null) receives
 * the first byte not used; any other base returns 0 with *end = text. */
QL_EXPORT SInt32 StringToNumber(const char *text, char **end, SInt32 base) QL_NOEXCEPT;

/* ---- Into text blocks ----------------------------------------------------- */

/* The digits of value in base 2 to 36 (above 9 'A' + value - 10), most
 * significant first, with '-' first when isSigned and the value read as
 * signed is negative. min(full length, maxLength) bytes are written to
 * dest (its first bytes: a cut keeps the most significant digits) and that
 * count goes to *outLength. No terminator. An invalid base writes nothing
 * and gives a length of 0. dest and outLength may be null. */
QL_EXPORT void NumberToText(UInt32 value, Boolean isSigned, UInt32 base, UInt32 maxLength, void *dest,
                            UInt32 *outLength) QL_NOEXCEPT;
QL_EXPORT void NumberToText64(UInt64 value, Boolean isSigned, UInt64 base, UInt32 maxLength, void *dest,
                              UInt32 *outLength) QL_NOEXCEPT;
/* Note the length comes first. If width > length the text moves right by
 * width - length bytes and the front is filled with pad; the caller
 * provides width bytes. Otherwise nothing changes. */
QL_EXPORT void PadText(UInt32 length, void *text, UInt32 width, UInt8 pad) QL_NOEXCEPT;

/* ---- Floating point ------------------------------------------------------ */

/* Compiles the canonical format: '#' x 6, '0', '.', then `precision` '#'
 * (at most 12; a precision of 0 or less means 12), using the system
 * script's number-parts table, which is copied into *parts (172 bytes).
 * Returns StringToFormatRec's status, or fBadPartsTable when the table is
 * missing (*format is then the empty format and *parts is unchanged). */
QL_EXPORT FormatStatus CreateCannonicalStringFormat(SInt32 precision, NumFormatString *format,
                                                    NumberParts *parts) QL_NOEXCEPT;
/* value in the canonical format ("######0.###...", so 3.25 -> "3.25",
 * 0.5 -> "0.5", 2 -> "2"); output is empty when that fails. Returns output. */
QL_EXPORT StringPtr ConvertDoubleToString(double value, SInt32 precision, StringPtr output) QL_NOEXCEPT;
/* The value the canonical format reads from the string; 0.0 when it is no
 * number. */
QL_EXPORT double ConvertStringToDouble(ConstStr255Param string, SInt32 precision) QL_NOEXCEPT;
/* value through the caller's format (null: the empty, free format) and the
 * current script's number parts. Results: noErr; paramErr (-50) when the
 * format does not compile or the conversion fails (output is then the
 * empty string); resNotFound (-192) when the number-parts table is missing
 * (output untouched). */
QL_EXPORT OSErr FloatingPointValueToString(double value, StringPtr output, ConstStr255Param format) QL_NOEXCEPT;
/* The reverse: *value receives the number read (see StringToExtended).
 * paramErr when the format does not compile, the text is no number, or
 * value is null; resNotFound when the table is missing; *value is written
 * only on success. */
QL_EXPORT OSErr StringToFloatingPointValue(ConstStr255Param string, double *value,
                                           ConstStr255Param format) QL_NOEXCEPT;

QL_END_DECLS

#endif
