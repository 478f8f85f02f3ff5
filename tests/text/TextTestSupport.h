// Helpers for the text and string tests: Pascal string buffers, byte
// strings with embedded NULs, a reference fold, and a process locale other
// than "C" for the tests that prove our classes ignore it.
#ifndef TESTS_TEXT_TEXTTESTSUPPORT_H
#define TESTS_TEXT_TEXTTESTSUPPORT_H

#include <array>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "support/TestSupport.h"

namespace qltext {

// A Str255 buffer inside a larger guarded one: every byte past the
// string, and all 256 bytes beyond the Str255, start at a sentinel, so a
// write past byte 255 shows up in Intact().
struct PStr {
  static constexpr unsigned char kSentinel = 0xAA;
  std::array<unsigned char, 512> b;
  PStr() { b.fill(kSentinel), b[0] = 0; }
  explicit PStr(std::string_view s) : PStr() { Set(s); }
  void Set(std::string_view s) {
    b.fill(kSentinel);
    b[0] = static_cast<unsigned char>(s.size());
    std::memcpy(b.data() + 1, s.data(), s.size());
  }
  unsigned char *p() { return b.data(); }
  const unsigned char *p() const { return b.data(); }
  std::string str() const { return std::string(reinterpret_cast<const char *>(b.data() + 1), b[0]); }
  bool Intact() const {
    for (size_t i = 256; i < b.size(); ++i)
      if (b[i] != kSentinel) return false;
    return true;
  }
};

// A C string buffer with the same guard: `room` bytes for the string and
// its NUL, then sentinels.
struct CBuf {
  std::string b;
  size_t room;
  CBuf(std::string_view s, size_t room_) : b(room_ + 64, char(PStr::kSentinel)), room(room_) {
    std::memcpy(b.data(), s.data(), s.size());
    b[s.size()] = '\0';
  }
  char *p() { return b.data(); }
  std::string str() const { return std::string(b.c_str()); }
  bool Intact() const {
    for (size_t i = room; i < b.size(); ++i)
      if (static_cast<unsigned char>(b[i]) != PStr::kSentinel) return false;
    return true;
  }
};

inline std::string Str(const unsigned char *p) {
  return std::string(reinterpret_cast<const char *>(p + 1), p[0]);
}

// The reference fold: only A-Z have case.
inline unsigned char RefFold(unsigned char c, bool exact) {
  return (!exact && c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

// Switches the process to a locale whose character classes differ from the
// "C" locale for the bytes that matter (a Turkish Latin-5 locale, where
// toupper('i') is 0xDD, or a Latin-1 one, where tolower(0xC9) is 0xE9),
// built with localedef into a temporary folder. Falls back to C.UTF-8.
// Restores "C" on destruction.
class ForeignLocale {
public:
  ForeignLocale() {
    const char *candidates[][3] = {{"tr_TR", "ISO-8859-9", "tr_TR.ISO-8859-9"},
                                   {"de_DE", "ISO-8859-1", "de_DE.ISO-8859-1"}};
    ::setenv("LOCPATH", dir_.path().c_str(), 1);
    for (auto &c : candidates) {
      std::string out = (dir_.path() / c[2]).string();
      std::string cmd = std::string("localedef -i ") + c[0] + " -f " + c[1] + " '" + out + "' >/dev/null 2>&1";
      if (std::system(cmd.c_str()) == 0 && std::setlocale(LC_ALL, c[2]) != nullptr) {
        name_ = c[2];
        return;
      }
    }
    ::unsetenv("LOCPATH");
    if (std::setlocale(LC_ALL, "C.UTF-8") != nullptr) name_ = "C.UTF-8";
  }
  ~ForeignLocale() {
    std::setlocale(LC_ALL, "C");
    ::unsetenv("LOCPATH");
  }
  ForeignLocale(const ForeignLocale &) = delete;
  ForeignLocale &operator=(const ForeignLocale &) = delete;
  bool ok() const { return !name_.empty(); }
  const std::string &name() const { return name_; }

private:
  qltest::TempDir dir_;
  std::string name_;
};

} // namespace qltext

#endif
