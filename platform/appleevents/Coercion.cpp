// Coercions between descriptor types: identity, exact numeric conversions,
// text encodings, file references through alias records, and Apple events
// to and from their flattened launch-parameter form.

#include <cmath>
#include <cstring>
#include <optional>

#include "platform/aliases/AliasesInternal.h"
#include "platform/appleevents/AEInternal.h"
#include "platform/text/MacRoman.h"

namespace ql::platform::ae {
namespace {

static_assert(sizeof(FSSpec) == 70, "an FSSpec in a descriptor is 70 bytes");
static_assert(sizeof(FSRef) == 80, "an FSRef in a descriptor is 80 bytes");

namespace al = ql::platform::aliases;
namespace txt = ql::platform::text;

// ---- Numbers ----------------------------------------------------------------

struct Number {
  bool integral;
  SInt64 i;
  double d;
};

bool IsNumeric(DescType t) {
  return t == typeSInt16 || t == typeSInt32 || t == typeUInt32 || t == typeIEEE32BitFloatingPoint ||
         t == typeIEEE64BitFloatingPoint || t == typeBoolean || t == typeTrue || t == typeFalse;
}

std::optional<Number> ReadNumber(DescType t, std::span<const UInt8> b) {
  auto as = [&](auto &v) -> bool {
    if (b.size() != sizeof v)
      return false;
    std::memcpy(&v, b.data(), sizeof v);
    return true;
  };
  if (t == typeSInt16) {
    SInt16 v;
    if (as(v))
      return Number{true, v, double(v)};
  } else if (t == typeSInt32) {
    SInt32 v;
    if (as(v))
      return Number{true, v, double(v)};
  } else if (t == typeUInt32) {
    UInt32 v;
    if (as(v))
      return Number{true, SInt64(v), double(v)};
  } else if (t == typeIEEE32BitFloatingPoint) {
    float v;
    if (as(v))
      return Number{false, 0, double(v)};
  } else if (t == typeIEEE64BitFloatingPoint) {
    double v;
    if (as(v))
      return Number{false, 0, v};
  } else if (t == typeBoolean) {
    UInt8 v;
    if (as(v) && v <= 1)
      return Number{true, v, double(v)};
  } else if (t == typeTrue || t == typeFalse) {
    if (b.empty())
      return Number{true, t == typeTrue ? 1 : 0, t == typeTrue ? 1.0 : 0.0};
  }
  return std::nullopt;
}

// The value as an integer when it is exactly one.
std::optional<SInt64> Integral(const Number &n) {
  if (n.integral)
    return n.i;
  if (!std::isfinite(n.d) || n.d != std::trunc(n.d) || std::fabs(n.d) > 9.0e15)
    return std::nullopt;
  return SInt64(n.d);
}

OSErr WriteNumber(const Number &n, DescType to, Desc &out) {
  auto ranged = [&](SInt64 lo, SInt64 hi) -> std::optional<SInt64> {
    auto v = Integral(n);
    if (!v || *v < lo || *v > hi)
      return std::nullopt;
    return v;
  };
  if (to == typeSInt16) {
    if (auto v = ranged(INT16_MIN, INT16_MAX)) {
      SInt16 x = SInt16(*v);
      return MakeData(to, &x, 2, out);
    }
  } else if (to == typeSInt32) {
    if (auto v = ranged(INT32_MIN, INT32_MAX)) {
      SInt32 x = SInt32(*v);
      return MakeData(to, &x, 4, out);
    }
  } else if (to == typeUInt32) {
    if (auto v = ranged(0, UINT32_MAX)) {
      UInt32 x = UInt32(*v);
      return MakeData(to, &x, 4, out);
    }
  } else if (to == typeBoolean) {
    if (auto v = ranged(0, 1)) {
      UInt8 x = UInt8(*v);
      return MakeData(to, &x, 1, out);
    }
  } else if (to == typeIEEE64BitFloatingPoint) {
    double x = n.integral ? double(n.i) : n.d; // 32-bit integers are exact in a double
    return MakeData(to, &x, 8, out);
  } else if (to == typeIEEE32BitFloatingPoint) {
    double src = n.integral ? double(n.i) : n.d;
    float x = float(src);
    if (std::isnan(src) || double(x) == src) {
      return MakeData(to, &x, 4, out);
    }
  }
  return errAECoercionFail;
}

// ---- Text -------------------------------------------------------------------

bool IsText(DescType t) { return t == typeChar || t == typeUnicodeText || t == typeUTF8Text; }

std::optional<std::u16string> ReadText(DescType t, std::span<const UInt8> b) {
  std::string_view bytes(reinterpret_cast<const char *>(b.data()), b.size());
  if (t == typeChar)
    return txt::MacRomanToUnicode(bytes);
  if (t == typeUTF8Text)
    return txt::Utf8ToUtf16(bytes);
  if (b.size() % 2)
    return std::nullopt;
  std::u16string u(b.size() / 2, u'\0');
  std::memcpy(u.data(), b.data(), b.size());
  return u;
}

OSErr WriteText(const std::u16string &u, DescType to, Desc &out) {
  if (to == typeUnicodeText)
    return MakeData(to, u.data(), u.size() * 2, out);
  std::optional<std::string> s = to == typeChar ? txt::UnicodeToMacRoman(u) : txt::Utf16ToUtf8(u);
  if (!s)
    return errAECoercionFail;
  return MakeData(to, s->data(), s->size(), out);
}

// ---- Files ------------------------------------------------------------------

bool IsFile(DescType t) { return t == typeFSS || t == typeFSRef || t == typeAlias || t == typeFileURL; }

int HexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// "file:///a%20b" or "file://localhost/a%20b" to "/a b".
std::optional<std::string> PathOfURL(std::string_view url) {
  constexpr std::string_view kScheme = "file://";
  if (url.substr(0, kScheme.size()) != kScheme)
    return std::nullopt;
  url.remove_prefix(kScheme.size());
  if (url.substr(0, 9) == "localhost")
    url.remove_prefix(9);
  if (url.empty() || url[0] != '/')
    return std::nullopt;
  std::string out;
  for (size_t i = 0; i < url.size(); ++i) {
    char c = url[i];
    if (c == '%') {
      if (i + 2 >= url.size())
        return std::nullopt;
      int hi = HexValue(url[i + 1]), lo = HexValue(url[i + 2]);
      if (hi < 0 || lo < 0)
        return std::nullopt;
      c = char(hi * 16 + lo);
      i += 2;
    } else if (c == '?' || c == '#') {
      break; // no query or fragment in a file reference
    }
    if (c == '\0')
      return std::nullopt;
    out.push_back(c);
  }
  if (out.size() > 1 && out.back() == '/')
    out.pop_back();
  return out;
}

std::string URLOfPath(const std::string &path, bool folder) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "file://";
  for (unsigned char c : path) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                 c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      out.push_back(char(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  if (folder && out.back() != '/')
    out.push_back('/');
  return out;
}

// The absolute path of the existing item a file descriptor names.
OSErr PathOfFile(DescType t, std::span<const UInt8> b, std::string &path) {
  if (t == typeFSS) {
    if (b.size() != sizeof(FSSpec))
      return errAECoercionFail;
    FSSpec spec;
    std::memcpy(&spec, b.data(), sizeof spec);
    return al::PathOfSpec(spec, path);
  }
  if (t == typeFSRef) {
    if (b.size() != sizeof(FSRef))
      return errAECoercionFail;
    FSRef ref;
    std::memcpy(&ref, b.data(), sizeof ref);
    return al::PathOfRef(ref, path);
  }
  if (t == typeAlias) {
    al::Record r;
    if (!al::Parse(b, r))
      return errAECoercionFail;
    bool changed;
    return al::Resolve(r, nullptr, path, changed);
  }
  auto p = PathOfURL(std::string_view(reinterpret_cast<const char *>(b.data()), b.size()));
  if (!p)
    return errAECoercionFail;
  // The item must exist, as for the other kinds.
  FSRef ref;
  if (OSErr e = al::RefOfPath(*p, ref))
    return e;
  return al::PathOfRef(ref, path);
}

OSErr FileOfPath(const std::string &path, DescType to, Desc &out) {
  if (to == typeFSS) {
    FSSpec spec;
    if (OSErr e = al::SpecOfPath(path, spec))
      return e;
    return MakeData(to, &spec, sizeof spec, out);
  }
  FSRef ref;
  Boolean folder = false;
  if (OSStatus e = FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, &folder))
    return OSErr(e);
  if (to == typeFSRef)
    return MakeData(to, &ref, sizeof ref, out);
  if (to == typeFileURL) {
    std::string url = URLOfPath(path, folder);
    return MakeData(to, url.data(), url.size(), out);
  }
  al::Record r;
  if (OSErr e = al::RecordForPath(path, std::string(), false, false, r))
    return e;
  std::string bytes;
  if (OSErr e = al::Serialize(r, bytes))
    return e;
  return MakeData(to, bytes.data(), bytes.size(), out);
}

} // namespace

OSErr CoerceBytes(DescType type, std::span<const UInt8> b, DescType toType, Desc &out) {
  if (toType == typeWildCard || toType == type)
    return MakeData(type, b.data(), b.size(), out);
  if (IsNumeric(type) && IsNumeric(toType)) {
    auto n = ReadNumber(type, b);
    return n ? WriteNumber(*n, toType, out) : errAECoercionFail;
  }
  if (IsText(type) && IsText(toType)) {
    auto u = ReadText(type, b);
    return u ? WriteText(*u, toType, out) : errAECoercionFail;
  }
  if (IsFile(type) && IsFile(toType)) {
    std::string path;
    if (OSErr e = PathOfFile(type, b, path))
      return e;
    return FileOfPath(path, toType, out);
  }
  if (type == typeAppParameters && toType == typeAppleEvent) {
    Desc d;
    if (OSErr e = Unflatten(b.data(), b.size(), d))
      return e;
    if (!d.data || d.data->kind != Kind::Event)
      return errAECorruptData;
    out = std::move(d);
    return noErr;
  }
  return errAECoercionFail;
}

OSErr Coerce(DescType type, const Storage *s, DescType toType, Desc &out) {
  if (toType == typeWildCard || toType == type)
    return CopyDesc(type, s, out);
  if (s == nullptr)
    return errAECoercionFail;
  switch (s->kind) {
  case Kind::Data:
    return CoerceBytes(type, s->Bytes(), toType, out);
  case Kind::Event:
    if (toType == typeAppParameters) {
      std::string flat;
      Flatten(type, s, flat);
      return MakeData(toType, flat.data(), flat.size(), out);
    }
    return errAECoercionFail;
  case Kind::Record:
    // A record takes any other record type (an object specifier is a
    // record of type 'obj '): only the type changes.
    if (toType == typeAEList || toType == typeAppleEvent || toType == typeNull)
      return errAECoercionFail;
    return CopyDesc(toType, s, out);
  default:
    return errAECoercionFail;
  }
}

} // namespace ql::platform::ae
