// PackData and UnpackData against Python's struct module: every letter in
// both directions, with random values and byte ranges. Packing is compared
// byte for byte with struct.pack of the same values; unpacking reads random
// bytes and is compared with struct.unpack of those bytes.
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "packing/PythonOracle.h"
#include "toolbox/packing/PackingToolbox.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Hex(const void *data, std::size_t n) {
  static const char *digits = "0123456789abcdef";
  std::string s;
  const auto *p = static_cast<const std::uint8_t *>(data);
  for (std::size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}
std::string Hex(const Bytes &b) { return Hex(b.data(), b.size()); }
std::string X(const Bytes &b) { return "x:" + Hex(b); }
Bytes Reversed(Bytes b) { return Bytes(b.rbegin(), b.rend()); }

struct Rng {
  std::mt19937_64 gen{0x5eed};
  std::uint32_t U32() { return std::uint32_t(gen()); }
  std::uint64_t U64() { return gen(); }
  std::uint32_t Below(std::uint32_t n) { return std::uint32_t(gen() % n); }
  Bytes Data(std::size_t n, bool noNul = false) {
    Bytes b(n);
    for (auto &c : b) c = std::uint8_t(noNul ? 1 + gen() % 255 : gen());
    return b;
  }
};

// One call of PackData or UnpackData with its reference request.
struct Case {
  std::string id;
  std::string request;
  std::string ours; // hex of our bytes (pack) or our rendered values (unpack)
};

// The struct byte-order character of this host and of the other order: the
// copy letters move native bytes, so their reference depends on the host.
const char *Native() { return IsLittleEndian() ? "<" : ">"; }
const char *Foreign() { return IsLittleEndian() ? ">" : "<"; }

std::string Seg(const std::string &fmt, const std::string &args) { return fmt + " " + args; }

void AddPackCases(Rng &rng, std::vector<Case> &cases, int round) {
  std::uint8_t out[1024];
  const std::string r = "#" + std::to_string(round);
  {
    // Integers with a stated order; the high bits beyond each field's width
    // are set and must be dropped.
    std::uint32_t v[5] = {rng.U32(), rng.U32(), rng.U32(), rng.U32(), rng.U32()};
    SInt32 n = PackData(out, "bhHwW", v[0], v[1], v[2], v[3], v[4]);
    cases.push_back({"pack bhHwW" + r,
                     "pack " + Seg(">B", std::to_string(v[0] & 0xFF)) + "|" +
                         Seg(">H", std::to_string(v[1] & 0xFFFF)) + "|" +
                         Seg("<H", std::to_string(v[2] & 0xFFFF)) + "|" +
                         Seg(">I", std::to_string(v[3])) + "|" + Seg("<I", std::to_string(v[4])),
                     n == 13 ? Hex(out, 13) : "returned " + std::to_string(n)});
  }
  {
    // Copy letters over native integers: digits keep memory order, shifted
    // digits reverse it.
    std::uint16_t a = std::uint16_t(rng.U32()), b = std::uint16_t(rng.U32());
    std::uint32_t c = rng.U32(), d = rng.U32();
    std::uint64_t e = rng.U64(), f = rng.U64();
    SInt32 n = PackData(out, "2@4$8*", &a, &b, &c, &d, &e, &f);
    cases.push_back({"pack 2@4$8*" + r,
                     "pack " + Seg(std::string(Native()) + "H", std::to_string(a)) + "|" +
                         Seg(std::string(Foreign()) + "H", std::to_string(b)) + "|" +
                         Seg(std::string(Native()) + "I", std::to_string(c)) + "|" +
                         Seg(std::string(Foreign()) + "I", std::to_string(d)) + "|" +
                         Seg(std::string(Native()) + "Q", std::to_string(e)) + "|" +
                         Seg(std::string(Foreign()) + "Q", std::to_string(f)),
                     n == 28 ? Hex(out, 28) : "returned " + std::to_string(n)});
  }
  {
    // Every digit and shifted digit over plain byte ranges.
    Bytes d[10], s[10];
    for (int k = 1; k <= 9; ++k) d[k] = rng.Data(k), s[k] = rng.Data(k);
    SInt32 n = PackData(out, "123456789@#$%^&*(", d[1].data(), d[2].data(), d[3].data(),
                        d[4].data(), d[5].data(), d[6].data(), d[7].data(), d[8].data(),
                        d[9].data(), s[2].data(), s[3].data(), s[4].data(), s[5].data(),
                        s[6].data(), s[7].data(), s[8].data(), s[9].data());
    std::string req = "pack ";
    for (int k = 1; k <= 9; ++k) req += Seg(std::to_string(k) + "s", X(d[k])) + "|";
    for (int k = 2; k <= 9; ++k)
      req += Seg(std::to_string(k) + "s", X(Reversed(s[k]))) + (k < 9 ? "|" : "");
    cases.push_back({"pack digits" + r, req, n == 89 ? Hex(out, 89) : "returned " + std::to_string(n)});
  }
  {
    // Counted ranges (lengths 0 .. 40), a Pascal string and a C string.
    Bytes fwd = rng.Data(rng.Below(41)), rev = rng.Data(rng.Below(41));
    Bytes text = rng.Data(rng.Below(256)), ctext = rng.Data(rng.Below(61), true);
    std::uint8_t pstr[256];
    pstr[0] = std::uint8_t(text.size());
    std::memcpy(pstr + 1, text.data(), text.size());
    std::string cstr(ctext.begin(), ctext.end());
    SInt32 n = PackData(out, "nNps", UInt32(fwd.size()), fwd.data(), UInt32(rev.size()),
                        rev.data(), pstr, cstr.c_str());
    const std::size_t expected = fwd.size() + rev.size() + text.size() + 1 + ctext.size() + 1;
    cases.push_back({"pack nNps" + r,
                     "pack " + Seg(std::to_string(fwd.size()) + "s", X(fwd)) + "|" +
                         Seg(std::to_string(rev.size()) + "s", X(Reversed(rev))) + "|" +
                         Seg(std::to_string(text.size() + 1) + "p", X(text)) + "|" +
                         Seg(std::to_string(ctext.size() + 1) + "s", X(ctext)),
                     n == SInt32(expected) ? Hex(out, expected) : "returned " + std::to_string(n)});
  }
}

void AddUnpackCases(Rng &rng, std::vector<Case> &cases, int round) {
  const std::string r = "#" + std::to_string(round);
  auto result = [](SInt32 n, std::size_t size, const std::string &values) {
    return n == SInt32(size) ? values : "returned " + std::to_string(n);
  };
  {
    Bytes data = rng.Data(13);
    UInt8 a = 0;
    UInt16 b = 0, c = 0;
    UInt32 d = 0, e = 0;
    SInt32 n = UnpackData(UInt32(data.size()), data.data(), "bhHwW", &a, &b, &c, &d, &e);
    cases.push_back({"unpack bhHwW" + r, "unpack " + Hex(data) + " | >B | >H | <H | >I | <I",
                     result(n, data.size(),
                            std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) +
                                " " + std::to_string(d) + " " + std::to_string(e))});
  }
  {
    Bytes data = rng.Data(28);
    std::uint16_t a = 0, b = 0;
    std::uint32_t c = 0, d = 0;
    std::uint64_t e = 0, f = 0;
    SInt32 n = UnpackData(UInt32(data.size()), data.data(), "2@4$8*", &a, &b, &c, &d, &e, &f);
    const std::string nat = Native(), frn = Foreign();
    cases.push_back({"unpack 2@4$8*" + r,
                     "unpack " + Hex(data) + " | " + nat + "H | " + frn + "H | " + nat + "I | " +
                         frn + "I | " + nat + "Q | " + frn + "Q",
                     result(n, data.size(),
                            std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) +
                                " " + std::to_string(d) + " " + std::to_string(e) + " " +
                                std::to_string(f))});
  }
  {
    Bytes data = rng.Data(89);
    Bytes d[10], s[10];
    for (int k = 1; k <= 9; ++k) d[k].assign(k, 0xAA), s[k].assign(k, 0xAA);
    SInt32 n = UnpackData(UInt32(data.size()), data.data(), "123456789@#$%^&*(", d[1].data(),
                          d[2].data(), d[3].data(), d[4].data(), d[5].data(), d[6].data(),
                          d[7].data(), d[8].data(), d[9].data(), s[2].data(), s[3].data(),
                          s[4].data(), s[5].data(), s[6].data(), s[7].data(), s[8].data(),
                          s[9].data());
    std::string req = "unpack " + Hex(data), values;
    for (int k = 1; k <= 9; ++k) req += " | " + std::to_string(k) + "s", values += X(d[k]) + " ";
    // struct reads the bytes as they lie; ours stored them reversed.
    for (int k = 2; k <= 9; ++k)
      req += " | " + std::to_string(k) + "s", values += X(Reversed(s[k])) + (k < 9 ? " " : "");
    cases.push_back({"unpack digits" + r, req, result(n, data.size(), values)});
  }
  {
    // Counted ranges, a Pascal string and a C string, read with room to
    // spare.
    Bytes fwd = rng.Data(rng.Below(41)), rev = rng.Data(rng.Below(41));
    Bytes text = rng.Data(rng.Below(256)), ctext = rng.Data(rng.Below(61), true);
    Bytes data = fwd;
    data.insert(data.end(), rev.begin(), rev.end());
    data.push_back(std::uint8_t(text.size()));
    data.insert(data.end(), text.begin(), text.end());
    data.insert(data.end(), ctext.begin(), ctext.end());
    data.push_back(0);
    Bytes f(fwd.size() + 1), v(rev.size() + 1), p(256), s(100);
    SInt32 n = UnpackData(UInt32(data.size()), data.data(), "nNps", UInt32(fwd.size()), f.data(),
                          UInt32(rev.size()), v.data(), SInt32(p.size()), p.data(),
                          SInt32(s.size()), s.data());
    f.resize(fwd.size());
    v.resize(rev.size());
    Bytes ptext(p.begin() + 1, p.begin() + 1 + p[0]);
    Bytes ctextz(s.begin(), s.begin() + ctext.size() + 1);
    cases.push_back({"unpack nNps" + r,
                     "unpack " + Hex(data) + " | " + std::to_string(fwd.size()) + "s | " +
                         std::to_string(rev.size()) + "s | " + std::to_string(text.size() + 1) +
                         "p | " + std::to_string(ctext.size() + 1) + "s",
                     result(n, data.size(),
                            X(f) + " " + X(Reversed(v)) + " " + X(ptext) + " " + X(ctextz))});
  }
  {
    // A Pascal string longer than the buffer keeps the prefix that fits;
    // struct's "Np" field reads exactly that prefix.
    Bytes text = rng.Data(1 + rng.Below(255));
    const SInt32 capacity = SInt32(1 + rng.Below(UInt32(text.size()) + 1));
    Bytes data = {std::uint8_t(text.size())};
    data.insert(data.end(), text.begin(), text.end());
    Bytes p(capacity + 1, 0xAA);
    SInt32 n = UnpackData(UInt32(data.size()), data.data(), "p", capacity, p.data());
    std::string stored = p[0] <= capacity - 1 ? X(Bytes(p.begin() + 1, p.begin() + 1 + p[0]))
                                              : "length byte " + std::to_string(p[0]);
    if (p[capacity] != 0xAA) stored += " (wrote past the capacity)";
    cases.push_back({"unpack p capacity " + std::to_string(capacity) + r,
                     "unpack " + Hex(data) + " | " + std::to_string(capacity) + "p",
                     result(n, data.size(), stored)});
  }
}

TEST(PackStruct, EveryLetterBothDirectionsMatchesPython) {
  QLTEST_REQUIRE_PYTHON();
  Rng rng;
  std::vector<Case> cases;
  for (int round = 0; round < 40; ++round) {
    AddPackCases(rng, cases, round);
    AddUnpackCases(rng, cases, round);
  }
  std::vector<std::string> requests;
  for (const auto &c : cases) requests.push_back(c.request);
  const auto answers =
      qltest::RunPython(qltest::ScriptDir(__FILE__) / "struct_oracle.py", requests);
  ASSERT_EQ(answers.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].id + ": " + cases[i].request);
    EXPECT_EQ(cases[i].ours, answers[i]);
  }
}

} // namespace
