// Flattening: round trips of nested descriptors, events to launch
// parameters and back, and a parser that refuses every truncation and
// corrupted length without reading past its input.
#include <memory>

#include "appleevents/AETestUtil.h"

namespace {

using qltest::AETest;
using qltest::Bytes;
using qltest::Desc;
using qltest::Shape;

class Flatten : public AETest {
protected:
  // An open-documents event to this process with a list of two documents,
  // a record parameter and an extra attribute.
  void BuildEvent(AEDesc *ev) {
    ProcessSerialNumber psn{0, kCurrentProcess};
    Desc addr, list, rec, nested;
    ASSERT_EQ(AECreateDesc(typeProcessSerialNumber, &psn, sizeof psn, &addr), noErr);
    ASSERT_EQ(AECreateAppleEvent(kCoreEventClass, kAEOpenDocuments, addr.get(), 77, 5, ev), noErr);
    ASSERT_EQ(AECreateList(nullptr, 0, false, &list), noErr);
    ASSERT_EQ(AEPutPtr(&list, 0, typeChar, "first", 5), noErr);
    ASSERT_EQ(AEPutPtr(&list, 0, typeUnicodeText, u"2nd", 6), noErr);
    ASSERT_EQ(AECreateList(nullptr, 0, false, &nested), noErr);
    ASSERT_EQ(AEPutPtr(&list, 0, typeChar, "", 0), noErr);
    ASSERT_EQ(AEPutDesc(&list, 0, nested.get()), noErr);
    ASSERT_EQ(AEPutParamDesc(ev, keyDirectObject, list.get()), noErr);
    ASSERT_EQ(AECreateList(nullptr, 0, true, &rec), noErr);
    SInt32 id = 3;
    ASSERT_EQ(AEPutKeyPtr(&rec, keyAEName, typeChar, "Encoder", 7), noErr);
    ASSERT_EQ(AEPutKeyPtr(&rec, ql::FourCC("cmcd"), typeSInt32, &id, 4), noErr);
    ASSERT_EQ(AEPutParamDesc(ev, ql::FourCC("reco"), rec.get()), noErr);
    ASSERT_EQ(AEPutAttributePtr(ev, keyInteractLevelAttr, typeSInt32, &id, 4), noErr);
  }

  std::string Flat(const AEDesc *d) {
    Size n = AESizeOfFlattenedDesc(d);
    std::string buf(size_t(n), '\0');
    Size actual = 0;
    EXPECT_EQ(AEFlattenDesc(d, buf.data(), n, &actual), noErr);
    EXPECT_EQ(actual, n);
    return buf;
  }
};

TEST_F(Flatten, RoundTripsKeepShapeAndOrder) {
  Desc ev;
  BuildEvent(&ev);
  const std::string before = Shape(ev.get());
  const std::string flat = Flat(ev.get());
  // Header: magic, version 1, reserved, total length, all big-endian.
  ASSERT_GE(flat.size(), 17u);
  EXPECT_EQ(flat.substr(0, 8), std::string("QLAE\0\1\0\0", 8));
  EXPECT_EQ(qltest::Hex(flat.substr(8, 4)), qltest::Hex(std::string{char(flat.size() >> 24), char(flat.size() >> 16),
                                                                     char(flat.size() >> 8), char(flat.size())}));
  EXPECT_EQ(flat.substr(12, 5), std::string("aevt\3", 5));

  Desc back, sized;
  ASSERT_EQ(AEUnflattenDesc(flat.data(), &back), noErr);
  EXPECT_EQ(Shape(back.get()), before);
  ASSERT_EQ(PlatformAEUnflattenDescSized(flat.data(), Size(flat.size()), &sized), noErr);
  EXPECT_EQ(Flat(sized.get()), flat) << "flattening is deterministic";

  // A buffer one byte short is refused and says how much is needed.
  std::string small(flat.size() - 1, '\0');
  Size need = 0;
  EXPECT_EQ(AEFlattenDesc(ev.get(), small.data(), Size(small.size()), &need), errAEBufferTooSmall);
  EXPECT_EQ(need, Size(flat.size()));

  // Plain and null descriptors flatten too.
  for (DescType t : {typeChar, typeNull}) {
    Desc d, r;
    ASSERT_EQ(AECreateDesc(t, "abc", t == typeNull ? 0 : 3, &d), noErr);
    ASSERT_EQ(PlatformAEUnflattenDescSized(Flat(d.get()).data(), AESizeOfFlattenedDesc(d.get()), &r), noErr);
    EXPECT_EQ(Shape(r.get()), Shape(d.get()));
  }
}

TEST_F(Flatten, EventToLaunchParametersAndBack) {
  Desc ev, appa, back;
  BuildEvent(&ev);
  ASSERT_EQ(AECoerceDesc(ev.get(), typeAppParameters, &appa), noErr);
  EXPECT_EQ(appa.type(), typeAppParameters);
  EXPECT_EQ(Bytes(appa.get()), Flat(ev.get()));
  EXPECT_EQ(AEGetDescDataSize(ev.get()), AEGetDescDataSize(appa.get())) << "an event's data is its flat form";
  ASSERT_EQ(AECoerceDesc(appa.get(), typeAppleEvent, &back), noErr);
  EXPECT_EQ(back.type(), typeAppleEvent);
  EXPECT_EQ(Shape(back.get()), Shape(ev.get()));
  // The copy is a working event: its parameters read back.
  char buf[8] = {};
  Size actual = 0;
  ASSERT_EQ(AEGetParamPtr(back.get(), ql::FourCC("reco"), typeWildCard, nullptr, nullptr, 0, &actual), noErr);
  Desc list;
  ASSERT_EQ(AEGetParamDesc(back.get(), keyDirectObject, typeAEList, &list), noErr);
  ASSERT_EQ(AEGetNthPtr(list.get(), 1, typeChar, nullptr, nullptr, buf, 8, &actual), noErr);
  EXPECT_EQ(std::string(buf, size_t(actual)), "first");
}

// Every prefix of a valid stream, with its header's total length made to
// match or not, is refused; so is every stream with one length or count
// field made larger or smaller. The parser reads from an exactly sized
// heap block, so AddressSanitizer sees any read past it.
TEST_F(Flatten, TruncationsAndCorruptLengthsAreRefused) {
  Desc ev;
  BuildEvent(&ev);
  const std::string flat = Flat(ev.get());
  auto parse = [](const std::string &bytes, bool fixTotal) -> OSErr {
    std::unique_ptr<char[]> exact(new char[bytes.size() ? bytes.size() : 1]);
    std::memcpy(exact.get(), bytes.data(), bytes.size());
    if (fixTotal && bytes.size() >= 12) {
      exact[8] = char(bytes.size() >> 24);
      exact[9] = char(bytes.size() >> 16);
      exact[10] = char(bytes.size() >> 8);
      exact[11] = char(bytes.size());
    }
    AEDesc out{ql::FourCC("sent"), nullptr};
    OSErr e = PlatformAEUnflattenDescSized(exact.get(), Size(bytes.size()), &out);
    if (e == noErr)
      AEDisposeDesc(&out);
    else
      EXPECT_EQ(out.descriptorType, ql::FourCC("sent"));
    if (fixTotal && bytes.size() >= 12) {
      AEDesc out2;
      OSErr e2 = AEUnflattenDesc(exact.get(), &out2); // bounded by the header's own total
      EXPECT_EQ(e2, e);
      if (e2 == noErr)
        AEDisposeDesc(&out2);
    }
    return e;
  };
  for (size_t n = 0; n < flat.size(); ++n) {
    SCOPED_TRACE("prefix " + std::to_string(n));
    EXPECT_NE(parse(flat.substr(0, n), false), noErr);
    EXPECT_NE(parse(flat.substr(0, n), true), noErr);
  }
  EXPECT_EQ(parse(flat, false), noErr);
  EXPECT_NE(parse(flat + "x", true), noErr) << "trailing bytes";

  // Every aligned 4-byte field, big-endian, set to values around its own and
  // to huge ones: lengths and counts must never be trusted beyond the input.
  int refused = 0;
  for (size_t off = 12; off + 4 <= flat.size(); ++off) {
    UInt32 was = (UInt32(UInt8(flat[off])) << 24) | (UInt32(UInt8(flat[off + 1])) << 16) |
                 (UInt32(UInt8(flat[off + 2])) << 8) | UInt8(flat[off + 3]);
    for (UInt32 v : {was + 1, was - 1, 0x7FFFFFFFu, 0xFFFFFFFFu, 0x00100000u}) {
      std::string bad = flat;
      bad[off] = char(v >> 24);
      bad[off + 1] = char(v >> 16);
      bad[off + 2] = char(v >> 8);
      bad[off + 3] = char(v);
      OSErr e = parse(bad, true);
      if (e != noErr) {
        ++refused;
        EXPECT_TRUE(e == errAECorruptData || e == memFullErr) << e;
      }
    }
  }
  EXPECT_GT(refused, 0);

  // Header faults.
  struct Case {
    const char *id;
    size_t at;
    char value;
    OSErr err;
  };
  const Case header[] = {{"magic", 0, 'X', errAECorruptData},
                         {"newer version", 5, 2, errAENewerVersion},
                         {"version 0", 5, 0, errAECorruptData},
                         {"reserved", 7, 1, errAECorruptData},
                         {"unknown kind", 16, 9, errAECorruptData},
                         {"event kind with another type", 12, 'b', errAECorruptData}};
  for (const Case &c : header) {
    SCOPED_TRACE(c.id);
    std::string bad = flat;
    bad[c.at] = c.value;
    EXPECT_EQ(parse(bad, false), c.err);
  }
}

TEST_F(Flatten, DeepNestingIsRefused) {
  // 100 lists each holding the next: deeper than the parser accepts.
  std::string body;
  const int depth = 100;
  std::string s = std::string("QLAE\0\1\0\0", 8) + std::string(4, '\0');
  for (int i = 0; i < depth; ++i)
    s += std::string("list\1\0\0\0\1", 9);
  s += std::string("list\1\0\0\0\0", 9);
  const size_t n = s.size();
  s[8] = char(n >> 24);
  s[9] = char(n >> 16);
  s[10] = char(n >> 8);
  s[11] = char(n);
  AEDesc out;
  EXPECT_EQ(PlatformAEUnflattenDescSized(s.data(), Size(s.size()), &out), errAECorruptData);
  // Duplicate keywords in a record are refused as well.
  std::string rec = std::string("QLAE\0\1\0\0", 8) + std::string(4, '\0') + std::string("reco\2\0\0\0\2", 9) +
                    std::string("keyAnull\4", 9) + std::string("keyAnull\4", 9);
  const size_t m = rec.size();
  rec[11] = char(m);
  EXPECT_EQ(PlatformAEUnflattenDescSized(rec.data(), Size(rec.size()), &out), errAECorruptData);
  rec.replace(rec.size() - 9, 4, "keyB");
  ASSERT_EQ(PlatformAEUnflattenDescSized(rec.data(), Size(rec.size()), &out), noErr);
  EXPECT_EQ(Shape(&out), "reco[keyA=null,keyB=null]");
  AEDisposeDesc(&out);
}

} // namespace
