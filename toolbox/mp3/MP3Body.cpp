// Frame body conversions between ID3v2 versions.

#include "toolbox/mp3/MP3Body.h"

#include <cstring>
#include <string>

namespace ql::detail {
namespace {

struct ImageFormat {
  const char *format; // version 2.2 three-letter form
  const char *mime;
};
constexpr ImageFormat kImageFormats[] = {
    {"JPG", "image/jpeg"}, {"PNG", "image/png"}, {"GIF", "image/gif"},
    {"BMP", "image/bmp"},  {"-->", "-->"},
};

uint8_t Lower(uint8_t c) { return c >= 'A' && c <= 'Z' ? uint8_t(c + 32) : c; }
uint8_t Upper(uint8_t c) { return c >= 'a' && c <= 'z' ? uint8_t(c - 32) : c; }

bool EqualNoCase(const uint8_t *a, size_t n, const char *b) {
  if (std::strlen(b) != n)
    return false;
  for (size_t i = 0; i < n; ++i)
    if (Lower(a[i]) != Lower(uint8_t(b[i])))
      return false;
  return true;
}

// ---- Text ---------------------------------------------------------------

// Decodes one string of the encoding from [p, p + n), up to and including its
// terminator (or the end). Returns the bytes consumed.
size_t DecodeString(int encoding, const uint8_t *p, size_t n, std::u32string &text,
                    bool &terminated) {
  terminated = false;
  size_t i = 0;
  if (encoding == 1 || encoding == 2) {
    bool little = false;
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
      little = true;
      i = 2;
    } else if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
      i = 2;
    } else {
      little = encoding == 1; // a mark-less UTF-16 string: the common writers' order
    }
    uint32_t high = 0;
    for (; i + 1 < n; i += 2) {
      const uint32_t u = little ? (uint32_t(p[i + 1]) << 8 | p[i]) : (uint32_t(p[i]) << 8 | p[i + 1]);
      if (u == 0) {
        terminated = true;
        i += 2;
        break;
      }
      if (u >= 0xD800 && u < 0xDC00) {
        if (high != 0)
          text.push_back(0xFFFD);
        high = u;
        continue;
      }
      if (u >= 0xDC00 && u < 0xE000 && high != 0) {
        text.push_back(0x10000 + ((high - 0xD800) << 10) + (u - 0xDC00));
        high = 0;
        continue;
      }
      if (high != 0)
        text.push_back(0xFFFD);
      high = 0;
      text.push_back(u >= 0xDC00 && u < 0xE000 ? 0xFFFD : u);
    }
    if (high != 0)
      text.push_back(0xFFFD);
    if (!terminated)
      i = n; // an odd trailing byte belongs to the cut string
    return i;
  }
  for (; i < n; ++i) {
    const uint8_t c = p[i];
    if (c == 0) {
      terminated = true;
      return i + 1;
    }
    if (encoding != 3 || c < 0x80) {
      text.push_back(c);
      continue;
    }
    int extra = c >= 0xF0 && c <= 0xF4 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : -1;
    if (extra < 0 || c > 0xF4) {
      text.push_back(0xFFFD);
      continue;
    }
    uint32_t cp = c & (0x3F >> extra);
    size_t k = 1;
    for (; k <= size_t(extra) && i + k < n && (p[i + k] & 0xC0) == 0x80; ++k)
      cp = (cp << 6) | (p[i + k] & 0x3F);
    if (k <= size_t(extra) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) ||
        cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) {
      text.push_back(0xFFFD);
      i += k - 1;
      continue;
    }
    text.push_back(cp);
    i += size_t(extra);
  }
  return n;
}

void PutUnit(ByteVector &out, uint32_t u, bool bigEndian) {
  if (bigEndian) {
    out.push_back(uint8_t(u >> 8));
    out.push_back(uint8_t(u));
  } else {
    out.push_back(uint8_t(u));
    out.push_back(uint8_t(u >> 8));
  }
}

void EncodeUTF16(const std::u32string &text, bool bigEndian, bool terminated, ByteVector &out) {
  PutUnit(out, 0xFEFF, bigEndian);
  for (char32_t c : text) {
    if (c >= 0x10000) {
      PutUnit(out, 0xD800 + ((c - 0x10000) >> 10), bigEndian);
      PutUnit(out, 0xDC00 + ((c - 0x10000) & 0x3FF), bigEndian);
    } else {
      PutUnit(out, c, bigEndian);
    }
  }
  if (terminated) {
    out.push_back(0);
    out.push_back(0);
  }
}

// Where the encoded strings of a frame body are. After the encoding byte:
// a digit copies that many bytes, Z copies a Latin-1 string and its NUL, S
// converts one encoded string, R converts strings to the end, Y converts
// (string, 4-byte time stamp) pairs to the end, B copies the rest.
const char *TextLayout(const char *id) {
  if (std::memcmp(id, "TXXX", 4) == 0)
    return "SR";
  if (id[0] == 'T')
    return "R";
  struct Layout {
    const char *id;
    const char *layout;
  };
  static constexpr Layout kLayouts[] = {
      {"WXXX", "SB"},   {"COMM", "3SR"},  {"USLT", "3SR"}, {"USER", "3R"},
      {"APIC", "Z1SB"}, {"GEOB", "ZSSB"}, {"IPLS", "R"},   {"SYLT", "311SY"},
      {"OWNE", "Z8R"},  {"COMR", "Z8Z1SSZB"},
  };
  for (const Layout &l : kLayouts)
    if (std::memcmp(id, l.id, 4) == 0)
      return l.layout;
  return nullptr;
}

} // namespace

bool ID3PicToApic(const uint8_t *body, size_t length, ByteVector &out) {
  if (length < 5)
    return false;
  out.assign(body, body + 1);
  const uint8_t *format = body + 1;
  const char *mime = nullptr;
  for (const ImageFormat &f : kImageFormats)
    if (EqualNoCase(format, 3, f.format))
      mime = f.mime;
  if (mime != nullptr) {
    out.insert(out.end(), mime, mime + std::strlen(mime));
  } else {
    static constexpr char kImage[] = "image/";
    out.insert(out.end(), kImage, kImage + 6);
    for (int i = 0; i < 3; ++i)
      if (format[i] != ' ' && format[i] != 0)
        out.push_back(Lower(format[i]));
  }
  out.push_back(0);
  out.insert(out.end(), body + 4, body + length);
  return true;
}

bool ID3ApicToPic(const uint8_t *body, size_t length, ByteVector &out) {
  if (length < 2)
    return false;
  const auto *end = static_cast<const uint8_t *>(std::memchr(body + 1, 0, length - 1));
  if (end == nullptr || size_t(end - body) + 1 >= length) // no NUL, or no picture type
    return false;
  const uint8_t *mime = body + 1;
  const size_t mimeLength = size_t(end - mime);
  char format[3] = {' ', ' ', ' '};
  bool known = false;
  for (const ImageFormat &f : kImageFormats)
    if (EqualNoCase(mime, mimeLength, f.mime)) {
      std::memcpy(format, f.format, 3);
      known = true;
    }
  if (!known && EqualNoCase(mime, mimeLength, "image/jpg")) {
    std::memcpy(format, "JPG", 3);
    known = true;
  }
  if (!known) {
    // "image/tiff" gives "TIF"; a bare subtype is taken as it stands.
    const uint8_t *slash = static_cast<const uint8_t *>(std::memchr(mime, '/', mimeLength));
    const uint8_t *sub = slash != nullptr ? slash + 1 : mime;
    const size_t subLength = size_t(end - sub);
    for (size_t i = 0; i < 3 && i < subLength; ++i)
      format[i] = char(Upper(sub[i]));
  }
  out.assign(body, body + 1);
  out.insert(out.end(), format, format + 3);
  out.insert(out.end(), end + 1, body + length);
  return true;
}

ID3Conversion ID3ConvertToUTF16(const char *longID, const uint8_t *body, size_t length,
                                bool bigEndianMark, ByteVector &out) {
  const char *layout = TextLayout(longID);
  if (layout == nullptr || length < 1 || (body[0] != 2 && body[0] != 3))
    return ID3Conversion::kUnchanged;
  const int encoding = body[0];
  out.clear();
  out.reserve(length * 2 + 8);
  out.push_back(1);
  size_t p = 1;
  std::u32string text;
  auto convertOne = [&]() {
    bool terminated = false;
    text.clear();
    p += DecodeString(encoding, body + p, length - p, text, terminated);
    EncodeUTF16(text, bigEndianMark, terminated, out);
  };
  for (const char *op = layout; *op != 0; ++op) {
    switch (*op) {
    case 'Z': {
      const void *nul = p < length ? std::memchr(body + p, 0, length - p) : nullptr;
      if (nul == nullptr)
        return ID3Conversion::kImpossible;
      const size_t end = size_t(static_cast<const uint8_t *>(nul) - body) + 1;
      out.insert(out.end(), body + p, body + end);
      p = end;
      break;
    }
    case 'S':
      convertOne();
      break;
    case 'R':
      while (p < length)
        convertOne();
      break;
    case 'Y':
      while (p < length) {
        convertOne();
        if (length - p < 4)
          return ID3Conversion::kImpossible;
        out.insert(out.end(), body + p, body + p + 4);
        p += 4;
      }
      break;
    case 'B':
      out.insert(out.end(), body + p, body + length);
      p = length;
      break;
    default: { // a digit: that many bytes as they stand
      const size_t k = size_t(*op - '0');
      if (length - p < k)
        return ID3Conversion::kImpossible;
      out.insert(out.end(), body + p, body + p + k);
      p += k;
      break;
    }
    }
  }
  return ID3Conversion::kConverted;
}

bool ID3YearFromTimestamp(const uint8_t *body, size_t length, ByteVector &out) {
  if (length < 1 || body[0] > 3)
    return false;
  std::u32string text;
  bool terminated = false;
  DecodeString(body[0], body + 1, length - 1, text, terminated);
  if (text.size() < 4)
    return false;
  for (int i = 0; i < 4; ++i)
    if (text[i] < '0' || text[i] > '9')
      return false;
  out.assign(1, 0);
  for (int i = 0; i < 4; ++i)
    out.push_back(uint8_t(text[i]));
  return true;
}

} // namespace ql::detail
