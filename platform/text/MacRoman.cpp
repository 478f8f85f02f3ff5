// Mac Roman tables and the strict UTF-8/UTF-16 codecs used by the
// converters and by file-name handling.
#include "platform/text/MacRoman.h"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace ql::platform::text {

namespace {
#include "platform/text/MacRomanTables.inc"

// Reverse map for the 128 high characters.
const std::unordered_map<char16_t, UInt8> &UnicodeToHigh() {
  static const auto *map = [] {
    auto *m = new std::unordered_map<char16_t, UInt8>;
    for (int b = 0x80; b < 0x100; ++b)
      m->emplace(char16_t(kMacRomanToUnicode[b]), UInt8(b));
    return m;
  }();
  return *map;
}

std::optional<UInt8> Compose(char16_t base, char16_t mark) {
  auto it = std::lower_bound(std::begin(kMacRomanCompositions), std::end(kMacRomanCompositions),
                             std::pair{base, mark}, [](const MacRomanComposition &c, const auto &key) {
                               return std::pair{char16_t(c.base), char16_t(c.mark)} < key;
                             });
  if (it != std::end(kMacRomanCompositions) && it->base == base && it->mark == mark)
    return it->mac;
  return std::nullopt;
}

std::optional<UInt8> ToMac(char16_t c) {
  if (c < 0x80)
    return UInt8(c);
  auto &m = UnicodeToHigh();
  auto it = m.find(c);
  if (it == m.end())
    return std::nullopt;
  return it->second;
}
} // namespace

std::optional<UInt8> UnicodeToMacRomanChar(char32_t c) noexcept {
  if (c > 0xFFFF) return std::nullopt;
  return ToMac(char16_t(c));
}

std::optional<UInt8> ComposeMacRoman(char32_t base, char32_t mark) noexcept {
  if (base > 0xFFFF || mark > 0xFFFF) return std::nullopt;
  return Compose(char16_t(base), char16_t(mark));
}

char16_t MacRomanToUnicode(UInt8 b) noexcept { return char16_t(kMacRomanToUnicode[b]); }
UInt8 MacRomanUpper(UInt8 b) noexcept { return kMacRomanUpper[b]; }
UInt8 MacRomanStripDiacritic(UInt8 b) noexcept { return kMacRomanStripDiacritic[b]; }

std::optional<std::string> UnicodeToMacRoman(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (i + 1 < text.size()) {
      // A base letter followed by a combining mark: use the accented letter.
      if (auto composed = Compose(c, text[i + 1])) {
        out.push_back(char(*composed));
        ++i;
        continue;
      }
    }
    auto b = ToMac(c);
    if (!b)
      return std::nullopt;
    out.push_back(char(*b));
  }
  return out;
}

std::u16string MacRomanToUnicode(std::string_view macRoman) {
  std::u16string out(macRoman.size(), u'\0');
  for (size_t i = 0; i < macRoman.size(); ++i)
    out[i] = char16_t(kMacRomanToUnicode[UInt8(macRoman[i])]);
  return out;
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    UInt8 c = UInt8(s[i]);
    if (c < 0x80) {
      out.push_back(char16_t(c));
      ++i;
      continue;
    }
    int len;
    char32_t cp;
    char32_t min;
    if ((c & 0xE0) == 0xC0) {
      len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4, cp = c & 0x07, min = 0x10000;
    } else {
      return std::nullopt;
    }
    if (n - i < size_t(len))
      return std::nullopt;
    for (int k = 1; k < len; ++k) {
      UInt8 cc = UInt8(s[i + size_t(k)]);
      if ((cc & 0xC0) != 0x80)
        return std::nullopt;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return std::nullopt;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
    i += size_t(len);
  }
  return out;
}

std::optional<std::string> Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF)
        return std::nullopt;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      return std::nullopt;
    }
    if (cp < 0x80) {
      out.push_back(char(cp));
    } else if (cp < 0x800) {
      out.push_back(char(0xC0 | (cp >> 6)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(char(0xE0 | (cp >> 12)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(char(0xF0 | (cp >> 18)));
      out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

} // namespace ql::platform::text
