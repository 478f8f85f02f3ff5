#!/usr/bin/env python3
"""Reference results for the integer-math tests, computed exactly.

Reads requests from the file named on the command line, one per line, and
prints one answer per request. Doubles travel as hexadecimal floats
(float.hex), so nothing is lost on the way.

  translate FROMMIN FROMMAX VALUE TOMIN TOMAX     (integers) single-precision
      ratio and product, truncated, plus TOMIN, saturated to 32 bits
  translatef A B V C D        (doubles) (D - C) * ((V - A) / (B - A)) + C with
      the multiply and add rounded once
  translatefi A B V C D       (A B V doubles, C D integers) C + (D - C) *
      ((V - A) / (B - A)) with one rounding, truncated, saturated
  c2f X / f2c X               X * 1.8 + 32 rounded once / (X - 32) / 1.8
  round X                     nearest integer, halves away from zero, saturated
  isqrt N                     math.isqrt(N) for N >= 0, else 0
  bcd HEX                     packed BCD bytes as a number, modulo 2^32 (the
      decimal number the hex digits spell; nibbles above 9 weigh 10 each)

Single precision is modelled by rounding through struct's 'f' format: a
quotient or product of two single-precision values computed in double and
then rounded to single is the correctly rounded single-precision result.
The fused operations are computed with exact fractions and rounded once.
"""
import math
import struct
import sys
from fractions import Fraction

INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def saturate(n):
    return max(INT32_MIN, min(INT32_MAX, n))


def answer(line):
    verb, *args = line.split()
    if verb == "translate":
        fmin, fmax, v, tmin, tmax = map(int, args)
        if fmin == fmax:
            return str(tmin)
        ratio = f32(f32(v - fmin) / f32(fmax - fmin))
        scaled = f32(f32(tmax - tmin) * ratio)
        return str(saturate(tmin + math.trunc(scaled)))
    if verb == "translatef":
        a, b, v, c, d = (float.fromhex(x) for x in args)
        if a == b:
            return c.hex()
        ratio = (v - a) / (b - a)
        return float(Fraction(d - c) * Fraction(ratio) + Fraction(c)).hex()
    if verb == "translatefi":
        a, b, v = (float.fromhex(x) for x in args[:3])
        c, d = int(args[3]), int(args[4])
        if a == b:
            return str(c)
        ratio = (v - a) / (b - a)
        fused = float(Fraction(d - c) * Fraction(ratio) + c)
        return str(saturate(math.trunc(fused)) if math.isfinite(fused) else
                   (INT32_MAX if fused > 0 else INT32_MIN))
    if verb == "c2f":
        x = float.fromhex(args[0])
        return float(Fraction(x) * Fraction(1.8) + 32).hex()
    if verb == "f2c":
        x = float.fromhex(args[0])
        return ((x - 32.0) / 1.8).hex()
    if verb == "round":
        x = Fraction(float.fromhex(args[0]))
        n = math.floor(abs(x) + Fraction(1, 2))
        return str(saturate(n if x >= 0 else -n))
    if verb == "isqrt":
        n = int(args[0])
        return str(math.isqrt(n) if n >= 0 else 0)
    if verb == "bcd":
        digits = args[0] if args else ""
        if all(c in "0123456789" for c in digits):
            return str(int(digits or "0") % 2**32)
        result = 0
        for i in range(0, len(digits), 2):
            byte = int(digits[i:i + 2], 16)
            result = result * 100 + (byte >> 4) * 10 + (byte & 15)
        return str(result % 2**32)
    raise SystemExit("unknown request: " + line)


def main():
    with open(sys.argv[1]) as requests:
        for line in requests:
            line = line.strip()
            if line:
                print(answer(line))


if __name__ == "__main__":
    main()
