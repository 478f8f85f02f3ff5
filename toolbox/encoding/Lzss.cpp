// LZSS with a 4096-byte ring, matches of 3 to 18 bytes and 256 binary search
// trees (one per first byte) that always hold the 4096 most recent ring
// positions.

#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/memory/Memory.h"
#include "toolbox/encoding/CompressionCore.h"
#include "toolbox/encoding/EncodingToolbox.h"

namespace {

constexpr int kRing = 4096;                   // ring positions, 12 bits
constexpr int kRingMask = kRing - 1;
constexpr int kMaxMatch = 18;                 // longest match: 4 bits + 3
constexpr int kThreshold = 2;                 // a reference covers 3 or more bytes
constexpr int kNil = kRing;                   // no node
constexpr int kFirstPos = kRing - kMaxMatch;  // 4078: where the first byte goes
constexpr int kMirror = kMaxMatch - 1;        // positions 0..16 mirrored after 4095
constexpr uint8_t kFill = 0x20;               // ring positions 0..4077 start as spaces

// Ring bytes before any data: spaces in 0..4077, zeros in 4078..4095 (the
// first bytes of the data go there), and the mirror a copy of 0..16. A
// defined start makes the compressor's output the same on every run and
// stale references in corrupt streams decode to known bytes.
void InitRing(uint8_t *ring, bool withMirror) {
  std::memset(ring, kFill, kFirstPos);
  std::memset(ring + kFirstPos, 0, kRing - kFirstPos);
  if (withMirror)
    std::memcpy(ring + kRing, ring, kMirror);
}

// The compressor's work block, one NewPtr per call.
struct MatchFinder {
  uint8_t text[kRing + kMirror];
  int32_t left[kRing + 1];
  int32_t right[kRing + 1 + 256]; // entries 4097 + c: root of the tree of byte c
  int32_t parent[kRing + 1];      // entry 4096 is scratch for NIL children
  int32_t matchLength;
  int32_t matchPosition;

  void Init() {
    InitRing(text, true);
    for (int32_t &v : left)
      v = kNil;
    for (int32_t &v : right)
      v = kNil;
    for (int32_t &v : parent)
      v = kNil;
    matchLength = matchPosition = 0;
  }

  static uint64_t Load64(const uint8_t *p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big)
      v = __builtin_bswap64(v);
    return v;
  }

  // Index of the first byte (from 1) where the 18-byte keys at a and b
  // differ, or 18 when they are equal. Byte 0 is equal by construction.
  static int Mismatch(const uint8_t *a, const uint8_t *b) {
    uint64_t x = Load64(a + 1) ^ Load64(b + 1);
    if (x != 0)
      return 1 + (std::countr_zero(x) >> 3);
    x = Load64(a + 9) ^ Load64(b + 9);
    if (x != 0)
      return 9 + (std::countr_zero(x) >> 3);
    return a[17] != b[17] ? 17 : 18;
  }

  // Inserts ring position r into the tree of its first byte and records the
  // longest match met on the way (the first one met among equals). A node
  // matching all 18 bytes is replaced by r.
  void InsertNode(int r) {
    const uint8_t *key = &text[r];
    int cmp = 1;
    int p = kRing + 1 + key[0];
    right[r] = left[r] = kNil;
    matchLength = 0;
    for (;;) {
      if (cmp >= 0) {
        if (right[p] == kNil) {
          right[p] = r;
          parent[r] = p;
          return;
        }
        p = right[p];
      } else {
        if (left[p] == kNil) {
          left[p] = r;
          parent[r] = p;
          return;
        }
        p = left[p];
      }
      const int i = Mismatch(key, &text[p]);
      if (i < kMaxMatch)
        cmp = int(key[i]) - int(text[p + i]);
      if (i > matchLength) {
        matchPosition = p;
        matchLength = i;
        if (i >= kMaxMatch)
          break;
      }
    }
    parent[r] = parent[p];
    left[r] = left[p];
    right[r] = right[p];
    parent[left[p]] = r;
    parent[right[p]] = r;
    if (right[parent[p]] == p)
      right[parent[p]] = r;
    else
      left[parent[p]] = r;
    parent[p] = kNil;
  }

  // Removes ring position p from its tree (nothing when it is in none).
  void DeleteNode(int p) {
    if (parent[p] == kNil)
      return;
    int q;
    if (right[p] == kNil) {
      q = left[p];
    } else if (left[p] == kNil) {
      q = right[p];
    } else {
      q = left[p];
      if (right[q] != kNil) {
        do {
          q = right[q];
        } while (right[q] != kNil);
        right[parent[q]] = left[q];
        parent[left[q]] = parent[q];
        left[q] = left[p];
        parent[left[p]] = q;
      }
      right[q] = right[p];
      parent[right[p]] = q;
    }
    parent[q] = parent[p];
    if (right[parent[p]] == p)
      right[parent[p]] = q;
    else
      left[parent[p]] = q;
    parent[p] = kNil;
  }
};

bool BadArgs(const void *source, SInt32 sourceLength) {
  return sourceLength < 0 || (source == nullptr && sourceLength != 0);
}

// Walks an LZSS stream item by item, stopping quietly where the source is
// cut inside an item. Calls lit(byte) and ref(position, length); either
// returns false to stop the walk.
template <class Literal, class Reference>
void WalkStream(const uint8_t *src, size_t n, Literal &&lit, Reference &&ref) {
  size_t si = 0;
  unsigned flags = 0;
  for (;;) {
    flags >>= 1;
    if ((flags & 0x100) == 0) {
      if (si >= n)
        return;
      flags = unsigned(src[si++]) | 0xFF00;
    }
    if (flags & 1) {
      if (si >= n)
        return;
      if (!lit(src[si++]))
        return;
    } else {
      if (n - si < 2)
        return;
      const unsigned b0 = src[si], b1 = src[si + 1];
      si += 2;
      if (!ref(int(b0 | ((b1 & 0xF0) << 4)), int((b1 & 0x0F) + kThreshold + 1)))
        return;
    }
  }
}

} // namespace

extern "C" OSErr LZSSCompress(const void *source, SInt32 sourceLength, Handle destination) noexcept {
  if (destination == nullptr || BadArgs(source, sourceLength))
    return paramErr;
  if (sourceLength == 0)
    return ql::detail::ResizeHandle(destination, 0);

  auto *mf = reinterpret_cast<MatchFinder *>(NewPtr(Size(sizeof(MatchFinder))));
  if (mf == nullptr)
    return memFullErr;
  mf->Init();

  const auto *src = static_cast<const uint8_t *>(source);
  const size_t n = size_t(sourceLength);
  size_t next = 0; // next source byte to enter the ring
  ql::detail::HandleOutput out(destination, 0);
  OSErr err = noErr;

  int s = 0, r = kFirstPos;
  int len = 0;
  while (len < kMaxMatch && next < n)
    mf->text[r + len++] = src[next++];
  for (int i = 1; i <= kMaxMatch; ++i)
    mf->InsertNode(r - i);
  mf->InsertNode(r);

  uint8_t group[1 + 8 * 2];
  int groupLen = 1;
  unsigned mask = 1;
  group[0] = 0;
  do {
    if (mf->matchLength > len)
      mf->matchLength = len;
    if (mf->matchLength <= kThreshold) {
      mf->matchLength = 1;
      group[0] |= uint8_t(mask);
      group[groupLen++] = mf->text[r];
    } else {
      group[groupLen++] = uint8_t(mf->matchPosition & 0xFF);
      group[groupLen++] =
          uint8_t(((mf->matchPosition >> 4) & 0xF0) | (mf->matchLength - (kThreshold + 1)));
    }
    mask <<= 1;
    if (mask == 0x100) {
      if ((err = out.Reserve(size_t(groupLen))) != noErr)
        break;
      std::memcpy(out.Cursor(), group, size_t(groupLen));
      out.Advance(size_t(groupLen));
      group[0] = 0;
      groupLen = 1;
      mask = 1;
    }
    const int used = mf->matchLength;
    int i = 0;
    for (; i < used && next < n; ++i) {
      const uint8_t c = src[next++];
      mf->DeleteNode(s);
      mf->text[s] = c;
      if (s < kMirror)
        mf->text[s + kRing] = c;
      s = (s + 1) & kRingMask;
      r = (r + 1) & kRingMask;
      mf->InsertNode(r);
    }
    for (; i < used; ++i) {
      mf->DeleteNode(s);
      s = (s + 1) & kRingMask;
      r = (r + 1) & kRingMask;
      if (--len != 0)
        mf->InsertNode(r);
    }
  } while (len > 0);

  if (err == noErr && groupLen > 1) {
    if ((err = out.Reserve(size_t(groupLen))) == noErr) {
      std::memcpy(out.Cursor(), group, size_t(groupLen));
      out.Advance(size_t(groupLen));
    }
  }
  const OSErr finish = out.Finish();
  DisposePtr(reinterpret_cast<Ptr>(mf));
  return err != noErr ? err : finish;
}

extern "C" OSErr LZSSExpand(const void *source, SInt32 sourceLength, Handle destination) noexcept {
  if (destination == nullptr || BadArgs(source, sourceLength))
    return paramErr;
  if (sourceLength == 0)
    return ql::detail::ResizeHandle(destination, 0);

  auto *ring = reinterpret_cast<uint8_t *>(NewPtr(kRing));
  if (ring == nullptr)
    return memFullErr;
  InitRing(ring, false);

  ql::detail::HandleOutput out(destination, 0);
  OSErr err = noErr;
  int r = kFirstPos;
  WalkStream(
      static_cast<const uint8_t *>(source), size_t(sourceLength),
      [&](uint8_t c) {
        if ((err = out.Reserve(1)) != noErr)
          return false;
        out.Put(c);
        ring[r] = c;
        r = (r + 1) & kRingMask;
        return true;
      },
      [&](int pos, int length) {
        if ((err = out.Reserve(size_t(length))) != noErr)
          return false;
        // One byte at a time: a reference may overlap what it produces.
        uint8_t *o = out.Cursor();
        for (int k = 0; k < length; ++k) {
          const uint8_t c = ring[(pos + k) & kRingMask];
          o[k] = c;
          ring[r] = c;
          r = (r + 1) & kRingMask;
        }
        out.Advance(size_t(length));
        return true;
      });
  const OSErr finish = out.Finish();
  DisposePtr(reinterpret_cast<Ptr>(ring));
  return err != noErr ? err : finish;
}

extern "C" OSErr LZSSGetExpandedSize(const void *source, SInt32 sourceLength,
                                     SInt32 *expandedSize) noexcept {
  if (BadArgs(source, sourceLength))
    return paramErr;
  // The count depends only on the stream's structure, not on the ring's
  // bytes, so no window is needed.
  int64_t count = 0;
  WalkStream(
      static_cast<const uint8_t *>(source), size_t(sourceLength),
      [&](uint8_t) {
        ++count;
        return true;
      },
      [&](int, int length) {
        count += length;
        return true;
      });
  if (count > INT32_MAX)
    return memFullErr;
  if (expandedSize != nullptr)
    *expandedSize = SInt32(count);
  return noErr;
}
