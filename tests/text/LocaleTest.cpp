// Character classes and case folding are the "C" locale's whatever locale
// the process has set. Every byte's class and case answers, taken through
// the public functions, must be the same before and after switching to a
// locale whose own tables differ (Turkish dotted/dotless i, Latin-1 letters).
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "text/TextTestSupport.h"
#include "toolbox/strings/StringToolbox.h"
#include "toolbox/text/TextToolbox.h"

using qltext::PStr;

namespace {

// Each byte's answers, as seen through the library.
std::vector<long> Snapshot() {
  std::vector<long> v;
  for (int b = 0; b < 256; ++b) {
    const unsigned char c = static_cast<unsigned char>(b);
    char s[2] = {char(c), 0};
    ConvertCStringToLowercase(s);
    v.push_back((unsigned char)s[0]);
    s[0] = char(c);
    ConvertCStringToUppercase(s);
    v.push_back((unsigned char)s[0]);
    PStr p(std::string(1, char(c)));
    ConvertPascalStringToUppercase(p.p());
    v.push_back(p.b[1]);
    StripNonPrintableCharsFromString(p.p());
    v.push_back(p.b[0]);
    UInt32 rest = 0;
    SkipLeadingWhiteSpace(&c, 1, &rest);
    v.push_back(long(rest));
    for (int o = 0; o < 256; o += 1) {
      const unsigned char d = static_cast<unsigned char>(o);
      v.push_back(TextCompare(&c, 1, &d, 1, false));
      if (b == 'i' || b == 'I' || b == 0xC9 || b == 0xE9 || b == 0xDD || b == 0xFD) {
        v.push_back(memicmp(&c, &d, 1));
        v.push_back(TextByteSearch(&c, 1, d, false) != nullptr);
      }
    }
    const std::string left = std::string("x") + char(c) + "9", right = "x10";
    v.push_back(TextCompareNatural(left.data(), 3, right.data(), 3, true));
  }
  return v;
}

TEST(ForeignLocale, ClassesAndCaseStayThoseOfC) {
  const std::vector<long> inC = Snapshot();
  qltext::ForeignLocale locale;
  if (!locale.ok()) GTEST_SKIP() << "no locale other than \"C\" could be made or set (localedef, C.UTF-8)";
  // Show that the process locale really differs where it matters.
  if (locale.name().rfind("tr_TR", 0) == 0) {
    ASSERT_NE(std::toupper('i'), 'I') << "the Turkish locale did not take effect";
  } else if (locale.name().rfind("de_DE", 0) == 0) {
    ASSERT_EQ(std::tolower(0xC9), 0xE9) << "the Latin-1 locale did not take effect";
  }
  const std::vector<long> inForeign = Snapshot();
  ASSERT_EQ(inC.size(), inForeign.size());
  for (size_t i = 0; i < inC.size(); ++i) ASSERT_EQ(inC[i], inForeign[i]) << "answer " << i << " in " << locale.name();

  // The cases that would break first under the locale's own tables.
  EXPECT_EQ(TextCompare("FILE", 4, "file", 4, false), 0);
  EXPECT_NE(stristr("TITLE", "title"), nullptr);
  EXPECT_EQ(CStringCompare("I", "i", false), 0);
  PStr up("i\xE9");
  ConvertPascalStringToUppercase(up.p());
  EXPECT_EQ(up.str(), "I\xE9");
  EXPECT_EQ(TextByteSearch("\xC9", 1, 0xE9, false), nullptr);
  UInt32 n = 0;
  SkipTrailingWhiteSpace("a\xA0", 2, &n);
  EXPECT_EQ(n, 2u);
}

} // namespace
