// Number formats: format strings compiled into NumFormatString records,
// values written through them and read back. Decimal conversion uses the
// C++ library's exact, locale-free conversions (std::to_chars and
// std::from_chars); the symbols come from the number-parts table.
//
// Compiled form (data[]): the part count (1 to 3), then per part its byte
// length and its tokens. A token is one code byte; a literal is kLiteral,
// a length byte and the bytes. fVersion is kFormatVersion so that records
// made elsewhere are recognised; an empty record (fLength 0) is the free
// format.
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/intl/International.h"

namespace {

constexpr UInt8 kFormatVersion = 0x51;

enum Tok : UInt8 {
  kZero = 1,  // '0'
  kNon,       // '#'
  kLeader,    // '^'
  kPoint,
  kThousands,
  kPercent,
  kPlus,
  kMinus,
  kEPlus,
  kEMinus,
  kLiteral // + length + bytes
};

bool IsDigitTok(UInt8 t) { return t == kZero || t == kNon || t == kLeader; }

// Bytes that stand for themselves without quotes: space and the ASCII
// punctuation that is no symbol of the table (letters and digits must be
// quoted).
bool IsPlainLiteral(UInt8 c) {
  return c == ' ' || (c > 0x20 && c < 0x7F && !(c >= '0' && c <= '9') && !(c >= 'A' && c <= 'Z') &&
                      !(c >= 'a' && c <= 'z'));
}

struct Symbols {
  std::string sym[tokMaxSymbols + 1]; // by token number; empty when none

  explicit Symbols(const NumberParts &p) {
    for (int t = 1; t <= tokMaxSymbols; ++t) {
      const WideChar &w = p.data[t - 1];
      if (w.a[0] != 0) {
        sym[t].push_back(w.a[0]);
        if (w.a[1] != 0) sym[t].push_back(w.a[1]);
      }
    }
  }
  const std::string &operator[](int t) const { return sym[t]; }
  char First(int t, char fallback) const { return sym[t].empty() ? fallback : sym[t][0]; }
};

bool PartsOK(const NumberParts *p) { return p != nullptr && p->version == curNumberPartsVersion; }

bool StartsWith(std::string_view s, size_t i, const std::string &sym) {
  return !sym.empty() && s.compare(i, sym.size(), sym) == 0;
}

// ---- Compiling ------------------------------------------------------------

FormatStatus Compile(std::string_view src, const Symbols &sy, std::string &out) {
  std::vector<std::string> parts(1);
  bool point = false, exponent = false, percent = false, digit = false;
  std::string literal;
  auto flushLiteral = [&] {
    while (!literal.empty()) {
      const size_t n = literal.size() > 255 ? 255 : literal.size();
      parts.back().push_back(char(kLiteral));
      parts.back().push_back(char(n));
      parts.back().append(literal, 0, n);
      literal.erase(0, n);
    }
  };
  auto tok = [&](Tok t) {
    flushLiteral();
    parts.back().push_back(char(t));
  };
  for (size_t i = 0; i < src.size();) {
    if (StartsWith(src, i, sy[tokEscape])) {
      i += sy[tokEscape].size();
      if (i >= src.size()) return fMissingDelimiter;
      literal.push_back(src[i++]);
    } else if (StartsWith(src, i, sy[tokLeftQuote])) {
      i += sy[tokLeftQuote].size();
      size_t close = sy[tokRightQuote].empty() ? std::string_view::npos : src.find(sy[tokRightQuote], i);
      if (close == std::string_view::npos) return fMissingDelimiter;
      literal.append(src.substr(i, close - i));
      i = close + sy[tokRightQuote].size();
    } else if (StartsWith(src, i, sy[tokSeparator])) {
      i += sy[tokSeparator].size();
      flushLiteral();
      // The positive part needs a digit; the others may be literals only.
      if ((parts.size() == 1 && !digit) || parts.back().empty()) return fSpuriousChars;
      if (parts.size() == 3) return fExtraSeparator;
      parts.emplace_back();
      point = exponent = percent = digit = false;
    } else if (StartsWith(src, i, sy[tokEPlus]) || StartsWith(src, i, sy[tokEMinus])) {
      const bool plus = StartsWith(src, i, sy[tokEPlus]);
      i += (plus ? sy[tokEPlus] : sy[tokEMinus]).size();
      if (exponent) return fExtraExp;
      if (!digit) return fSpuriousChars;
      exponent = true;
      tok(plus ? kEPlus : kEMinus);
    } else if (StartsWith(src, i, sy[tokLeadPlacer])) {
      i += sy[tokLeadPlacer].size();
      digit = true;
      tok(kLeader);
    } else if (StartsWith(src, i, sy[tokNonLeader])) {
      i += sy[tokNonLeader].size();
      digit = true;
      tok(kNon);
    } else if (StartsWith(src, i, sy[tokZeroLead])) {
      i += sy[tokZeroLead].size();
      digit = true;
      tok(kZero);
    } else if (StartsWith(src, i, sy[tokDecPoint])) {
      i += sy[tokDecPoint].size();
      if (point || exponent) return fExtraDecimal;
      point = true;
      tok(kPoint);
    } else if (StartsWith(src, i, sy[tokThousands])) {
      i += sy[tokThousands].size();
      tok(kThousands);
    } else if (StartsWith(src, i, sy[tokPercent])) {
      i += sy[tokPercent].size();
      if (percent) return fExtraPercent;
      percent = true;
      tok(kPercent);
    } else if (StartsWith(src, i, sy[tokPlusSign])) {
      i += sy[tokPlusSign].size();
      tok(kPlus);
    } else if (StartsWith(src, i, sy[tokMinusSign])) {
      i += sy[tokMinusSign].size();
      tok(kMinus);
    } else if (IsPlainLiteral(UInt8(src[i]))) {
      literal.push_back(src[i++]);
    } else {
      return fSpuriousChars;
    }
  }
  flushLiteral();
  if (parts.size() == 1 && !digit) return fSpuriousChars;
  if (parts.back().empty()) return fSpuriousChars;
  out.clear();
  out.push_back(char(parts.size()));
  for (const auto &p : parts) {
    if (p.size() > 255) return fFormatOverflow;
    out.push_back(char(p.size()));
    out += p;
  }
  if (out.size() > sizeof(NumFormatString::data)) return fFormatOverflow;
  return fFormatOK;
}

// The parts of a compiled record; false when the record is not one of ours.
bool Decode(const NumFormatString &f, std::vector<std::string_view> &parts) {
  parts.clear();
  if (f.fVersion != kFormatVersion || f.fLength > sizeof f.data) return false;
  if (f.fLength == 0) return true;
  std::string_view d(f.data, f.fLength);
  const size_t count = UInt8(d[0]);
  if (count < 1 || count > 3) return false;
  size_t i = 1;
  for (size_t k = 0; k < count; ++k) {
    if (i >= d.size()) return false;
    const size_t n = UInt8(d[i++]);
    if (i + n > d.size()) return false;
    parts.push_back(d.substr(i, n));
    i += n;
  }
  if (i != d.size()) return false;
  // Literals must not run past their part.
  for (auto p : parts) {
    for (size_t j = 0; j < p.size(); ++j) {
      const UInt8 t = UInt8(p[j]);
      if (t == kLiteral) {
        if (j + 1 >= p.size() || j + 2 + UInt8(p[j + 1]) > p.size()) return false;
        j += 1 + UInt8(p[j + 1]);
      } else if (t < kZero || t > kLiteral) {
        return false;
      }
    }
  }
  return true;
}

// ---- Writing ----------------------------------------------------------------

// Replaces '.', '-', 'e' of the C++ library's text with the table's symbols.
std::string Localise(std::string_view s, const Symbols &sy) {
  std::string out;
  for (char c : s) {
    if (c == '.') out += sy[tokDecPoint].empty() ? "." : sy[tokDecPoint];
    else if (c == '-') out += sy[tokMinusSign].empty() ? "-" : sy[tokMinusSign];
    else if (c == '+') out += sy[tokPlusSign].empty() ? "+" : sy[tokPlusSign];
    else if (c == 'e') out.push_back(sy.First(tokEPlus, 'E'));
    else out.push_back(c);
  }
  return out;
}

std::string FreeFormat(double v, const Symbols &sy) {
  char buf[64];
  const double a = std::fabs(v);
  std::to_chars_result r;
  if (a == 0 || (a >= 1e-6 && a < 1e21)) r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  else r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
  return Localise(std::string_view(buf, size_t(r.ptr - buf)), sy);
}

struct Layout {
  std::vector<UInt8> intPos, fracPos, expPos; // digit tokens of each section
  bool grouping = false, percent = false, sign = false, exponent = false;
};

Layout Analyse(std::string_view part) {
  Layout L;
  int section = 0; // 0 integer, 1 fraction, 2 exponent
  for (size_t j = 0; j < part.size(); ++j) {
    const UInt8 t = UInt8(part[j]);
    if (t == kLiteral) {
      j += 1 + UInt8(part[j + 1]);
      continue;
    }
    if (IsDigitTok(t)) {
      (section == 0 ? L.intPos : section == 1 ? L.fracPos : L.expPos).push_back(t);
    } else if (t == kPoint) {
      section = 1;
    } else if (t == kEPlus || t == kEMinus) {
      section = 2;
      L.exponent = true;
    } else if (t == kThousands) {
      if (section == 0) L.grouping = true;
    } else if (t == kPercent) {
      L.percent = true;
    } else if (t == kPlus || t == kMinus) {
      L.sign = true;
    }
  }
  return L;
}

// Text of each digit position: positions[k] for the k-th digit token of a
// section, left to right. digits are the significant digits (no leading
// zeros for the integer side), right-aligned to the positions.
std::vector<std::string> PlaceInteger(const std::vector<UInt8> &pos, const std::string &digits, bool grouping,
                                      const Symbols &sy) {
  std::vector<std::string> out(pos.size());
  const size_t P = pos.size(), L = digits.size();
  // Which digit indices (from the right) are shown, for grouping.
  auto shownDigit = [&](size_t d) -> char {
    if (d < L) return digits[L - 1 - d];
    const UInt8 t = pos[P - 1 - d];
    return t == kZero ? '0' : 0;
  };
  // A separator follows digit d when grouping asks for it and digit d - 1 shows.
  auto sep = [&](size_t d, std::string &s) {
    if (grouping && d > 0 && d % 3 == 0 && (d - 1 >= P || shownDigit(d - 1) != 0)) s += sy[tokThousands];
  };
  for (size_t k = 0; k < P; ++k) {
    const size_t d = P - 1 - k; // digit index from the right
    std::string s;
    if (k == 0 && L > P) {
      for (size_t e = L - 1; e >= P; --e) {
        s.push_back(digits[L - 1 - e]);
        sep(e, s);
      }
    }
    const char c = shownDigit(d);
    if (c != 0) {
      s.push_back(c);
      sep(d, s);
    } else if (pos[k] == kLeader) {
      s += sy[tokLeader].empty() ? " " : sy[tokLeader];
    }
    out[k] = s;
  }
  return out;
}

FormatStatus Render(double v, const std::vector<std::string_view> &parts, const Symbols &sy, std::string &out) {
  const bool negative = std::signbit(v) && v != 0;
  if (std::isnan(v)) {
    out = "NAN";
    return fFormatOK;
  }
  if (parts.empty()) {
    out = std::isinf(v) ? (negative ? sy[tokMinusSign] + "INF" : "INF") : FreeFormat(v, sy);
    return fFormatOK;
  }
  std::string_view part = parts[0];
  bool autoMinus = negative;
  if (negative && parts.size() >= 2) {
    part = parts[1];
    autoMinus = false;
  } else if (v == 0 && parts.size() == 3) {
    part = parts[2];
  }
  const Layout L = Analyse(part);
  if (L.sign) autoMinus = false;
  double m = std::fabs(v);
  if (L.percent) m *= 100;
  if (std::isinf(m)) {
    out = (negative ? sy[tokMinusSign] : std::string()) + "INF";
    return fFormatOK;
  }
  const size_t F = L.fracPos.size();
  std::string intDigits, fracDigits;
  long exp10 = 0;
  char buf[400];
  if (L.exponent) {
    const size_t k = L.intPos.empty() ? 1 : L.intPos.size();
    auto r = std::to_chars(buf, buf + sizeof buf, m, std::chars_format::scientific, int(k - 1 + F));
    std::string_view s(buf, size_t(r.ptr - buf));
    const size_t epos = s.find('e');
    std::string digits;
    for (char c : s.substr(0, epos))
      if (c != '.') digits.push_back(c);
    long e = std::strtol(std::string(s.substr(epos + 1)).c_str(), nullptr, 10);
    if (m == 0) e = 0;
    exp10 = e - long(k - 1);
    intDigits = digits.substr(0, k);
    fracDigits = digits.substr(k);
    if (L.intPos.empty()) intDigits.clear();
  } else {
    auto r = std::to_chars(buf, buf + sizeof buf, m, std::chars_format::fixed, int(F));
    std::string_view s(buf, size_t(r.ptr - buf));
    const size_t dot = s.find('.');
    intDigits = std::string(s.substr(0, dot));
    if (dot != std::string_view::npos) fracDigits = std::string(s.substr(dot + 1));
  }
  // The integer side without leading zeros ("0" becomes "").
  size_t lead = 0;
  while (lead < intDigits.size() && intDigits[lead] == '0') ++lead;
  intDigits.erase(0, lead);
  if (L.intPos.empty() && !intDigits.empty() && !L.exponent) {
    // No integer positions: the integer digits still show.
  }
  // Fraction: trailing zeros on '#' and '^' positions are dropped.
  size_t shownF = F;
  while (shownF > 0 && fracDigits[shownF - 1] == '0' && L.fracPos[shownF - 1] != kZero) --shownF;

  // A value that shows only zeros is shown without a sign.
  if (!L.exponent && intDigits.empty() && fracDigits.find_first_not_of('0', 0) >= shownF) autoMinus = false;

  std::vector<std::string> intText;
  if (!L.intPos.empty()) intText = PlaceInteger(L.intPos, intDigits, L.grouping, sy);

  std::string expText;
  if (L.exponent) {
    const unsigned long mag = (unsigned long)(exp10 < 0 ? -exp10 : exp10);
    std::string d = std::to_string(mag);
    size_t minWidth = 0;
    for (UInt8 t : L.expPos)
      if (t == kZero) ++minWidth;
    while (d.size() < minWidth) d.insert(d.begin(), '0');
    expText = d;
  }

  std::string s;
  if (autoMinus) s += sy[tokMinusSign];
  size_t ik = 0, fk = 0, ek = 0;
  int section = 0;
  bool intSpilled = false;
  for (size_t j = 0; j < part.size(); ++j) {
    const UInt8 t = UInt8(part[j]);
    switch (t) {
    case kLiteral: {
      const size_t n = UInt8(part[j + 1]);
      s.append(part.substr(j + 2, n));
      j += 1 + n;
      break;
    }
    case kZero:
    case kNon:
    case kLeader:
      if (section == 0) {
        s += intText[ik++];
      } else if (section == 1) {
        if (fk < shownF) s.push_back(fracDigits[fk]);
        else if (t == kLeader) s += sy[tokLeader];
        ++fk;
      } else {
        if (ek++ == 0) s += expText;
      }
      break;
    case kPoint:
      if (L.intPos.empty() && !intSpilled && !intDigits.empty()) {
        s += intDigits; // integer digits with no positions of their own
        intSpilled = true;
      }
      section = 1;
      if (shownF > 0) s += sy[tokDecPoint];
      break;
    case kThousands: break;
    case kPercent: s += sy[tokPercent]; break;
    case kPlus: s += negative ? sy[tokMinusSign] : sy[tokPlusSign]; break;
    case kMinus:
      if (negative) s += sy[tokMinusSign];
      break;
    case kEPlus:
    case kEMinus:
      section = 2;
      s.push_back(sy.First(t == kEPlus ? tokEPlus : tokEMinus, 'E'));
      if (exp10 < 0) s += sy[tokMinusSign].empty() ? "-" : sy[tokMinusSign];
      else if (t == kEPlus) s += sy[tokPlusSign].empty() ? "+" : sy[tokPlusSign];
      if (L.expPos.empty()) s += expText;
      break;
    default: return fOutOfSynch;
    }
  }
  out = s;
  return out.size() > 255 ? FormatStatus(fFormatOverflow) : FormatStatus(fFormatOK);
}

// ---- Reading ------------------------------------------------------------------

// Literal text before the first and after the last non-literal token.
void Affixes(std::string_view part, std::string &prefix, std::string &suffix) {
  prefix.clear();
  suffix.clear();
  bool seen = false;
  for (size_t j = 0; j < part.size(); ++j) {
    const UInt8 t = UInt8(part[j]);
    if (t == kLiteral) {
      const size_t n = UInt8(part[j + 1]);
      (seen ? suffix : prefix).append(part.substr(j + 2, n));
      j += 1 + n;
    } else if (t != kThousands) {
      seen = true;
      suffix.clear();
    }
  }
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool StripAffixes(std::string_view &s, const std::string &prefix, const std::string &suffix, bool both) {
  const bool p = !prefix.empty() && s.substr(0, prefix.size()) == prefix;
  const bool q = !suffix.empty() && s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
  if (both) {
    if ((prefix.empty() && suffix.empty()) || (!prefix.empty() && !p) || (!suffix.empty() && !q)) return false;
    if (prefix.size() + suffix.size() > s.size()) return false;
  }
  if (p) s.remove_prefix(prefix.size());
  if (q && s.size() >= suffix.size()) s.remove_suffix(suffix.size());
  return true;
}

FormatStatus Parse(std::string_view text, const std::vector<std::string_view> &parts, const Symbols &sy,
                   double &value) {
  std::string_view s = Trim(text);
  bool negative = false, signed_ = false;
  // A minus sign put in front of a part's own literals.
  if (StartsWith(s, 0, sy[tokMinusSign])) {
    s = Trim(s.substr(sy[tokMinusSign].size()));
    negative = signed_ = true;
  }
  std::string prefix, suffix;
  bool matched = false;
  if (parts.size() >= 2) {
    Affixes(parts[1], prefix, suffix);
    std::string_view t = s;
    if (StripAffixes(t, prefix, suffix, true)) {
      s = Trim(t);
      negative = true;
      matched = true;
    }
  }
  if (!matched && !parts.empty()) {
    Affixes(parts[0], prefix, suffix);
    StripAffixes(s, prefix, suffix, false);
    s = Trim(s);
  }
  std::string ascii;
  size_t i = 0;
  auto at = [&](int t) { return StartsWith(s, i, sy[t]); };
  if (signed_) {
    // One sign only.
  } else if (at(tokMinusSign)) {
    i += sy[tokMinusSign].size();
    negative = !negative;
  } else if (at(tokPlusSign)) {
    i += sy[tokPlusSign].size();
  }
  while (i < s.size() && s[i] == ' ') ++i; // leaders between sign and digits
  size_t digits = 0;
  bool point = false;
  while (i < s.size()) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      ascii.push_back(c);
      ++digits;
      ++i;
    } else if (!point && at(tokDecPoint)) {
      ascii.push_back('.');
      point = true;
      i += sy[tokDecPoint].size();
    } else if (!point && digits > 0 && at(tokThousands)) {
      i += sy[tokThousands].size();
    } else {
      break;
    }
  }
  if (digits == 0) return fSpuriousChars;
  // Exponent: E+, E-, or the bare E with an optional sign.
  const char E = sy.First(tokEPlus, 'E');
  if (i < s.size() && (s[i] == E || s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    bool eneg = false;
    if (StartsWith(s, j, sy[tokMinusSign])) {
      eneg = true;
      j += sy[tokMinusSign].size();
    } else if (StartsWith(s, j, sy[tokPlusSign])) {
      j += sy[tokPlusSign].size();
    }
    long e = 0;
    size_t k = j;
    while (k < s.size() && s[k] >= '0' && s[k] <= '9') {
      if (e < 100000) e = e * 10 + (s[k] - '0');
      ++k;
    }
    if (k > j) {
      ascii += eneg ? "e-" : "e";
      ascii += std::to_string(e);
      i = k;
    }
  }
  bool percent = false;
  s = s.substr(i);
  s = Trim(s);
  if (!sy[tokPercent].empty() && s.substr(0, sy[tokPercent].size()) == sy[tokPercent]) {
    percent = true;
    s.remove_prefix(sy[tokPercent].size());
    s = Trim(s);
  }
  if (!s.empty()) return fSpuriousChars;
  double v = 0;
  auto r = std::from_chars(ascii.data(), ascii.data() + ascii.size(), v);
  FormatStatus status = fFormatOK;
  if (r.ec == std::errc::result_out_of_range) {
    // Beyond the range (a positive exponent) or below it.
    const size_t e = ascii.find('e');
    const bool huge = e != std::string::npos ? ascii[e + 1] != '-' : true;
    if (huge) {
      v = HUGE_VAL;
      status = fFormatOverflow;
    } else {
      v = 0;
    }
  } else if (r.ec != std::errc() || r.ptr != ascii.data() + ascii.size()) {
    return fSpuriousChars;
  }
  if (percent) v /= 100;
  value = negative ? -v : v;
  return status;
}

} // namespace

extern "C" {

FormatStatus StringToFormatRec(ConstStr255Param inString, const NumberParts *partsTable,
                               NumFormatString *outString) noexcept {
  if (outString == nullptr) return fBadPartsTable;
  outString->fLength = 0;
  outString->fVersion = kFormatVersion;
  if (!PartsOK(partsTable)) return fBadPartsTable;
  if (inString == nullptr || inString[0] == 0) return fFormatOK;
  try {
    const Symbols sy(*partsTable);
    std::string compiled;
    FormatStatus st = Compile(std::string_view(reinterpret_cast<const char *>(inString + 1), inString[0]), sy,
                              compiled);
    if (st != fFormatOK) return st;
    outString->fLength = UInt8(compiled.size());
    std::memcpy(outString->data, compiled.data(), compiled.size());
    return fFormatOK;
  } catch (...) {
    return fFormatOverflow;
  }
}

FormatStatus ExtendedToString(const extended80 *x, const NumFormatString *myCanonical,
                              const NumberParts *partsTable, Str255 outString) noexcept {
  if (outString != nullptr) outString[0] = 0;
  if (!PartsOK(partsTable)) return fBadPartsTable;
  if (x == nullptr || myCanonical == nullptr || outString == nullptr) return fOutOfSynch;
  try {
    std::vector<std::string_view> parts;
    if (!Decode(*myCanonical, parts)) return fOutOfSynch;
    const Symbols sy(*partsTable);
    std::string text;
    FormatStatus st = Render(x80tod(x), parts, sy, text);
    if (st != fFormatOK) return st;
    outString[0] = UInt8(text.size());
    std::memcpy(outString + 1, text.data(), text.size());
    return fFormatOK;
  } catch (...) {
    return fFormatOverflow;
  }
}

FormatStatus StringToExtended(ConstStr255Param source, const NumFormatString *myCanonical,
                              const NumberParts *partsTable, extended80 *x) noexcept {
  if (!PartsOK(partsTable)) return fBadPartsTable;
  if (source == nullptr || myCanonical == nullptr || x == nullptr) return fOutOfSynch;
  try {
    std::vector<std::string_view> parts;
    if (!Decode(*myCanonical, parts)) return fOutOfSynch;
    const Symbols sy(*partsTable);
    double v = 0;
    FormatStatus st =
        Parse(std::string_view(reinterpret_cast<const char *>(source + 1), source[0]), parts, sy, v);
    if (st != fFormatOK && st != fFormatOverflow) return st;
    dtox80(&v, x);
    return st;
  } catch (...) {
    return fFormatOverflow;
  }
}

} // extern "C"
