// Results never depend on the process locale: the same conversions give
// the same text under "C" and under a German locale (decimal comma, '.'
// grouping), which the test builds with localedef into a temporary folder.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/TestSupport.h"
#include "toolbox/charsets/CharsetToolbox.h"
#include "toolbox/numbers/NumbersToolbox.h"

namespace {

std::string P(const unsigned char *s) { return std::string(reinterpret_cast<const char *>(s + 1), s[0]); }

struct PStr {
  Str255 s;
  explicit PStr(const std::string &t) {
    s[0] = UInt8(t.size());
    std::memcpy(s + 1, t.data(), t.size());
  }
};

// Every locale-sensitive-looking conversion, as one text.
std::string Fingerprint() {
  std::string out;
  Str255 s;
  for (double v : {1234.5, -0.125, 1e-7, 6.02e23, 3.0}) {
    out += P(ConvertDoubleToString(v, 0, s)) + "|";
    FloatingPointValueToString(v, s, PStr("#,##0.000;(#,##0.000)").s);
    out += P(s) + "|";
    FloatingPointValueToString(v, s, nullptr);
    out += P(s) + "|";
  }
  for (const char *t : {"1.5", "1,234.5", "-2.5E+03", " 7 "}) {
    double v = 0;
    const OSErr err = StringToFloatingPointValue(PStr(t).s, &v, nullptr);
    UInt64 bits;
    std::memcpy(&bits, &v, 8);
    out += std::to_string(err) + ":" + std::to_string(bits) + "|";
    out += std::to_string(ConvertStringToDouble(PStr(t).s, 0) == v) + "|";
  }
  ConvertNumberToFormattedString(-1234567, s);
  out += P(s) + "|";
  ConvertNumberToHexString(0xBEEF, s);
  out += P(s) + "|";
  out += std::to_string(FormattedTextToNumber("\t 0XfF \n", 8, 0)) + "|";
  out += std::to_string(StringToNumber(" -1f", nullptr, 16)) + "|";
  out += std::to_string(ConvertHexStringToNumber(PStr("aBcDeF").s)) + "|";
  char c[32];
  NumberToString(0xABCDEF, 16, ' ', 10, 0, true, c);
  out += std::string(c) + "|";
  UniChar u[] = {'I', 'i', 0x130, 0x131, 'z'};
  for (UniChar x : u) out += std::to_string(UnicodeIsAlpha(x)) + std::to_string(UnicodeIsPrint(x));
  return out;
}

TEST(Locale, SameResultsUnderAGermanLocale) {
  const std::string inC = Fingerprint();
  EXPECT_NE(inC.find("1234.5|1,234.500|1234.5|"), std::string::npos) << inC;

  qltest::TempDir dir;
  const std::string cmd = "localedef -i de_DE -f UTF-8 '" + (dir.path() / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0 && !std::filesystem::exists(dir.path() / "de_DE.UTF-8"))
    GTEST_SKIP() << "localedef cannot build de_DE.UTF-8 here";
  const char *oldPath = std::getenv("LOCPATH");
  const std::string saved = oldPath ? oldPath : "";
  setenv("LOCPATH", dir.path().c_str(), 1);
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    if (oldPath) setenv("LOCPATH", saved.c_str(), 1); else unsetenv("LOCPATH");
    GTEST_SKIP() << "cannot switch to the generated locale";
  }
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  const std::string german = Fingerprint();
  std::setlocale(LC_ALL, previous.c_str());
  if (oldPath) setenv("LOCPATH", saved.c_str(), 1); else unsetenv("LOCPATH");

  EXPECT_STREQ(probe, "1,5") << "the locale really was active";
  EXPECT_EQ(german, inC);
}

} // namespace
