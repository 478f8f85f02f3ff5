// Straightforward coders that produce the same bytes as the library's LZSS
// and PackBits coders: byte loops, no word tricks, output in a vector. The
// tests compare the library with them; the benchmarks time both.
#ifndef TESTS_ENCODING_REFERENCECODERS_H
#define TESTS_ENCODING_REFERENCECODERS_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace reference {

// ---- LZSS: 4096-byte ring, matches 3..18, binary trees ----------------------
class Lzss {
public:
  static constexpr int N = 4096, F = 18, THRESHOLD = 2, NIL = N;

  std::vector<uint8_t> Compress(const uint8_t *src, size_t n) {
    std::vector<uint8_t> out;
    if (n == 0)
      return out;
    for (int i = N + 1; i <= N + 256; i++)
      rson[i] = NIL;
    for (int i = 0; i <= N; i++)
      dad[i] = lson[i] = rson[i] = NIL;
    for (int i = 0; i < N - F; i++)
      text[i] = ' ';
    for (int i = N - F; i < N; i++)
      text[i] = 0;
    for (int i = 0; i < F - 1; i++)
      text[N + i] = text[i];
    size_t next = 0;
    int s = 0, r = N - F, len = 0;
    while (len < F && next < n)
      text[r + len++] = src[next++];
    for (int i = 1; i <= F; i++)
      InsertNode(r - i);
    InsertNode(r);
    uint8_t code[17];
    code[0] = 0;
    int codePtr = 1;
    uint8_t mask = 1;
    do {
      if (matchLength > len)
        matchLength = len;
      if (matchLength <= THRESHOLD) {
        matchLength = 1;
        code[0] |= mask;
        code[codePtr++] = text[r];
      } else {
        code[codePtr++] = uint8_t(matchPosition);
        code[codePtr++] = uint8_t(((matchPosition >> 4) & 0xF0) | (matchLength - (THRESHOLD + 1)));
      }
      if ((mask <<= 1) == 0) {
        for (int i = 0; i < codePtr; i++)
          out.push_back(code[i]);
        code[0] = 0;
        codePtr = mask = 1;
      }
      int last = matchLength, i;
      for (i = 0; i < last && next < n; i++) {
        uint8_t c = src[next++];
        DeleteNode(s);
        text[s] = c;
        if (s < F - 1)
          text[s + N] = c;
        s = (s + 1) & (N - 1);
        r = (r + 1) & (N - 1);
        InsertNode(r);
      }
      while (i++ < last) {
        DeleteNode(s);
        s = (s + 1) & (N - 1);
        r = (r + 1) & (N - 1);
        if (--len)
          InsertNode(r);
      }
    } while (len > 0);
    if (codePtr > 1)
      for (int i = 0; i < codePtr; i++)
        out.push_back(code[i]);
    return out;
  }

  static std::vector<uint8_t> Expand(const uint8_t *src, size_t n) {
    std::vector<uint8_t> out;
    uint8_t ring[N];
    for (int i = 0; i < N - F; i++)
      ring[i] = ' ';
    for (int i = N - F; i < N; i++)
      ring[i] = 0;
    int r = N - F;
    unsigned flags = 0;
    size_t si = 0;
    for (;;) {
      if (((flags >>= 1) & 256) == 0) {
        if (si >= n)
          break;
        flags = src[si++] | 0xFF00;
      }
      if (flags & 1) {
        if (si >= n)
          break;
        uint8_t c = src[si++];
        out.push_back(c);
        ring[r++] = c;
        r &= N - 1;
      } else {
        if (si + 1 >= n)
          break;
        int i = src[si++];
        int j = src[si++];
        i |= (j & 0xF0) << 4;
        j = (j & 0x0F) + THRESHOLD;
        for (int k = 0; k <= j; k++) {
          uint8_t c = ring[(i + k) & (N - 1)];
          out.push_back(c);
          ring[r++] = c;
          r &= N - 1;
        }
      }
    }
    return out;
  }

private:
  void InsertNode(int r) {
    int cmp = 1;
    const uint8_t *key = &text[r];
    int p = N + 1 + key[0];
    rson[r] = lson[r] = NIL;
    matchLength = 0;
    for (;;) {
      if (cmp >= 0) {
        if (rson[p] != NIL)
          p = rson[p];
        else {
          rson[p] = r;
          dad[r] = p;
          return;
        }
      } else {
        if (lson[p] != NIL)
          p = lson[p];
        else {
          lson[p] = r;
          dad[r] = p;
          return;
        }
      }
      int i;
      for (i = 1; i < F; i++)
        if ((cmp = key[i] - text[p + i]) != 0)
          break;
      if (i > matchLength) {
        matchPosition = p;
        if ((matchLength = i) >= F)
          break;
      }
    }
    dad[r] = dad[p];
    lson[r] = lson[p];
    rson[r] = rson[p];
    dad[lson[p]] = r;
    dad[rson[p]] = r;
    if (rson[dad[p]] == p)
      rson[dad[p]] = r;
    else
      lson[dad[p]] = r;
    dad[p] = NIL;
  }

  void DeleteNode(int p) {
    int q;
    if (dad[p] == NIL)
      return;
    if (rson[p] == NIL)
      q = lson[p];
    else if (lson[p] == NIL)
      q = rson[p];
    else {
      q = lson[p];
      if (rson[q] != NIL) {
        do {
          q = rson[q];
        } while (rson[q] != NIL);
        rson[dad[q]] = lson[q];
        dad[lson[q]] = dad[q];
        lson[q] = lson[p];
        dad[lson[p]] = q;
      }
      rson[q] = rson[p];
      dad[rson[p]] = q;
    }
    dad[q] = dad[p];
    if (rson[dad[p]] == p)
      rson[dad[p]] = q;
    else
      lson[dad[p]] = q;
    dad[p] = NIL;
  }

  uint8_t text[N + F - 1];
  int lson[N + 1], rson[N + 257], dad[N + 1];
  int matchPosition = 0, matchLength = 0;
};

// ---- PackBits, byte at a time ------------------------------------------------
// Chunks of 32,000 source bytes; repeat items for runs of 3 to 128 equal
// bytes, literal items of up to 128 bytes otherwise.
inline std::vector<uint8_t> PackBits(const uint8_t *src, size_t n) {
  std::vector<uint8_t> out;
  for (size_t base = 0; base < n; base += 32000) {
    const size_t end = n - base < 32000 ? n : base + 32000;
    size_t i = base;
    while (i < end) {
      size_t run = 1;
      while (i + run < end && run < 128 && src[i + run] == src[i])
        run++;
      if (run >= 3) {
        out.push_back(uint8_t(257 - run));
        out.push_back(src[i]);
        i += run;
        continue;
      }
      const size_t start = i;
      while (i < end && i - start < 128) {
        if (i + 2 < end && src[i] == src[i + 1] && src[i + 1] == src[i + 2])
          break;
        i++;
      }
      out.push_back(uint8_t(i - start - 1));
      for (size_t k = start; k < i; k++)
        out.push_back(src[k]);
    }
  }
  return out;
}

// Unpacks n bytes, chunk by chunk, from a trusted stream.
inline void UnpackBits(const uint8_t *src, uint8_t *dst, size_t n) {
  size_t di = 0;
  for (size_t base = 0; base < n; base += 32000) {
    const size_t end = n - base < 32000 ? n : base + 32000;
    while (di < end) {
      const int h = int8_t(*src++);
      if (h >= 0) {
        for (int k = 0; k <= h; k++) {
          const uint8_t c = *src++;
          if (di < end)
            dst[di++] = c;
        }
      } else if (h != -128) {
        const uint8_t c = *src++;
        for (int k = 0; k < 1 - h; k++)
          if (di < end)
            dst[di++] = c;
      }
    }
  }
}

} // namespace reference

#endif
