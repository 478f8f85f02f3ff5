#!/usr/bin/env python3
"""Reference bytes and values for the packing tests, from Python's struct.

Reads requests from the file named on the command line, one per line, and
prints one answer line per request, in order:

  pack SEG | SEG | ...        each SEG is "FMT ARG ARG...": struct.pack(FMT,
                              *ARGS); the answer is the hex of all segments
                              concatenated. An ARG is a decimal integer or
                              x:HEX for a bytes object.
  unpack HEX | FMT | FMT ...  struct.unpack_from each FMT in turn from the
                              bytes HEX, each starting where the previous one
                              ended; the answer is every value, space
                              separated (integers in decimal, bytes as x:HEX).
  latin1tomac HEX             for each Latin-1 byte, its Mac Roman byte from
                              Python's mac_roman codec as two hex digits, or
                              -- when that codec has no such character.
"""
import struct
import sys


def arg(text):
    if text.startswith("x:"):
        return bytes.fromhex(text[2:])
    return int(text)


def value(v):
    if isinstance(v, bytes):
        return "x:" + v.hex()
    return str(v)


def answer(line):
    verb, _, rest = line.partition(" ")
    if verb == "pack":
        out = b""
        for seg in rest.split("|"):
            fmt, *args = seg.split()
            out += struct.pack(fmt, *[arg(a) for a in args])
        return out.hex()
    if verb == "unpack":
        data, *fmts = [s.strip() for s in rest.split("|")]
        data = bytes.fromhex(data)
        pos, values = 0, []
        for fmt in fmts:
            values += struct.unpack_from(fmt, data, pos)
            pos += struct.calcsize(fmt)
        return " ".join(value(v) for v in values)
    if verb == "latin1tomac":
        out = []
        for b in bytes.fromhex(rest.strip()):
            try:
                out.append(bytes([b]).decode("latin-1").encode("mac_roman").hex())
            except UnicodeEncodeError:
                out.append("--")
        return " ".join(out)
    raise SystemExit("unknown request: " + line)


def main():
    with open(sys.argv[1]) as requests:
        for line in requests:
            line = line.strip()
            if line:
                print(answer(line))


if __name__ == "__main__":
    main()
