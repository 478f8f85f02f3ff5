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

#endif
