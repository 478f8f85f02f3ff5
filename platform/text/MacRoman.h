// Internal Mac Roman and UTF-8/UTF-16 helpers shared by the platform's
// converters and the File Manager's name handling.
#ifndef PLATFORM_TEXT_MACROMAN_H
#define PLATFORM_TEXT_MACROMAN_H

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/core/MacTypes.h"

namespace ql::platform::text {

// The code point of a Mac Roman byte.
char16_t MacRomanToUnicode(UInt8 b) noexcept;
// Upper-case form of a Mac Roman byte (letters with case only).
UInt8 MacRomanUpper(UInt8 b) noexcept;
UInt8 MacRomanStripDiacritic(UInt8 b) noexcept;

// UTF-16 to Mac Roman, composing base + combining mark. nullopt when a
// character has no Mac Roman form.
std::optional<std::string> UnicodeToMacRoman(std::u16string_view text);
std::u16string MacRomanToUnicode(std::string_view macRoman);
// One character: the Mac Roman byte of a code point, and of a base letter
// followed by a combining mark; nullopt when the set has none.
std::optional<UInt8> UnicodeToMacRomanChar(char32_t c) noexcept;
std::optional<UInt8> ComposeMacRoman(char32_t base, char32_t mark) noexcept;

// Strict UTF-8 decoding (no overlongs, surrogates or truncation): nullopt
// on malformed input.
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);
// UTF-16 to UTF-8; nullopt for an unpaired surrogate.
std::optional<std::string> Utf16ToUtf8(std::u16string_view utf16);

} // namespace ql::platform::text

#endif
