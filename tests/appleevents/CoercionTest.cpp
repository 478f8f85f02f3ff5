// Coercions: a matrix of data coercions with their failures, file
// references through alias records, and lists of aliases read back as
// FSRef and FSSpec items.
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "appleevents/AETestUtil.h"
#include "platform/files/Files.h"

namespace {

namespace fs = std::filesystem;
using qltest::AETest;
using qltest::Bytes;
using qltest::Desc;
using qltest::Raw;

class Coercion : public AETest {};

template <class T> std::string V(T v) { return Raw(v); }
std::string U16(const std::u16string &s) { return std::string(reinterpret_cast<const char *>(s.data()), s.size() * 2); }

TEST_F(Coercion, DataMatrix) {
  struct Case {
    const char *id;
    DescType from;
    std::string data;
    DescType to;
    OSErr err;
    std::string want; // when err is noErr
  };
  const std::string kFail;
  const Case cases[] = {
      {"identity of an unknown type", ql::FourCC("xyzw"), "\x01\x02", ql::FourCC("xyzw"), noErr, "\x01\x02"},
      {"wildcard", typeChar, "ab", typeWildCard, noErr, "ab"},
      {"shor to long", typeSInt16, V<SInt16>(-5), typeSInt32, noErr, V<SInt32>(-5)},
      {"long to shor in range", typeSInt32, V<SInt32>(32767), typeSInt16, noErr, V<SInt16>(32767)},
      {"long to shor overflow", typeSInt32, V<SInt32>(32768), typeSInt16, errAECoercionFail, kFail},
      {"long to magn negative", typeSInt32, V<SInt32>(-1), typeUInt32, errAECoercionFail, kFail},
      {"magn to long overflow", typeUInt32, V<UInt32>(0x80000000u), typeSInt32, errAECoercionFail, kFail},
      {"long to doub", typeSInt32, V<SInt32>(-2147483647 - 1), typeIEEE64BitFloatingPoint, noErr, V<double>(-2147483648.0)},
      {"doub integral to long", typeIEEE64BitFloatingPoint, V<double>(42.0), typeSInt32, noErr, V<SInt32>(42)},
      {"doub fraction to long", typeIEEE64BitFloatingPoint, V<double>(1.5), typeSInt32, errAECoercionFail, kFail},
      {"doub NaN to long", typeIEEE64BitFloatingPoint, V<double>(NAN), typeSInt32, errAECoercionFail, kFail},
      {"doub to sing exact", typeIEEE64BitFloatingPoint, V<double>(0.5), typeIEEE32BitFloatingPoint, noErr, V<float>(0.5f)},
      {"doub to sing inexact", typeIEEE64BitFloatingPoint, V<double>(0.1), typeIEEE32BitFloatingPoint, errAECoercionFail, kFail},
      {"long to sing inexact", typeSInt32, V<SInt32>(16777217), typeIEEE32BitFloatingPoint, errAECoercionFail, kFail},
      {"sing to doub", typeIEEE32BitFloatingPoint, V<float>(0.1f), typeIEEE64BitFloatingPoint, noErr, V<double>(double(0.1f))},
      {"bool to long", typeBoolean, "\x01", typeSInt32, noErr, V<SInt32>(1)},
      {"long 0 to bool", typeSInt32, V<SInt32>(0), typeBoolean, noErr, std::string(1, '\0')},
      {"long 2 to bool", typeSInt32, V<SInt32>(2), typeBoolean, errAECoercionFail, kFail},
      {"bool byte 2", typeBoolean, "\x02", typeSInt32, errAECoercionFail, kFail},
      {"true to bool", typeTrue, "", typeBoolean, noErr, "\x01"},
      {"short data for its type", typeSInt32, "\x01\x02", typeSInt16, errAECoercionFail, kFail},
      {"TEXT to utxt", typeChar, "caf\x8E", typeUnicodeText, noErr, U16(u"caf\u00e9")},
      {"utxt to TEXT", typeUnicodeText, U16(u"\u20ac1"), typeChar, noErr, "\xDB" "1"},
      {"utxt unmappable to TEXT", typeUnicodeText, U16(u"\u4e2d"), typeChar, errAECoercionFail, kFail},
      {"utxt odd length", typeUnicodeText, "abc", typeChar, errAECoercionFail, kFail},
      {"utf8 to utxt", typeUTF8Text, "\xC3\xA9", typeUnicodeText, noErr, U16(u"\u00e9")},
      {"bad utf8", typeUTF8Text, "\xC3", typeChar, errAECoercionFail, kFail},
      {"TEXT to long", typeChar, "12", typeSInt32, errAECoercionFail, kFail},
      {"long to TEXT", typeSInt32, V<SInt32>(12), typeChar, errAECoercionFail, kFail},
      {"fss of the wrong size", typeFSS, "abc", typeFSRef, errAECoercionFail, kFail},
      {"alias record that is not one", typeAlias, std::string(40, 'x'), typeFSRef, errAECoercionFail, kFail},
      {"URL that is not a file URL", typeFileURL, "http://x/y", typeFSRef, errAECoercionFail, kFail},
      {"URL with a bad escape", typeFileURL, "file:///a%2", typeFSRef, errAECoercionFail, kFail},
      {"appa that is not an event", typeAppParameters, "QLAE", typeAppleEvent, errAECorruptData, kFail},
      {"data to an event", typeChar, "x", typeAppleEvent, errAECoercionFail, kFail},
      {"data to a list", typeChar, "x", typeAEList, errAECoercionFail, kFail},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    AEDesc out{ql::FourCC("sent"), nullptr};
    OSErr err = AECoercePtr(c.from, c.data.data(), Size(c.data.size()), c.to, &out);
    ASSERT_EQ(err, c.err);
    if (err != noErr) {
      EXPECT_EQ(out.descriptorType, ql::FourCC("sent")) << "no output on failure";
      continue;
    }
    EXPECT_EQ(out.descriptorType, c.to == typeWildCard ? c.from : c.to);
    EXPECT_EQ(Bytes(&out), c.want);
    // The same through a descriptor and through a list item.
    Desc src, viaDesc, list;
    ASSERT_EQ(AECreateDesc(c.from, c.data.data(), Size(c.data.size()), &src), noErr);
    ASSERT_EQ(AECoerceDesc(src.get(), c.to, &viaDesc), noErr);
    EXPECT_EQ(Bytes(viaDesc.get()), c.want);
    ASSERT_EQ(AECreateList(nullptr, 0, false, &list), noErr);
    ASSERT_EQ(AEPutDesc(&list, 0, src.get()), noErr);
    std::string buf(c.want.size() + 4, '\x55');
    Size actual = -1;
    DescType t = 0;
    ASSERT_EQ(AEGetNthPtr(list.get(), 1, c.to, nullptr, &t, buf.data(), Size(buf.size()), &actual), noErr);
    EXPECT_EQ(actual, Size(c.want.size()));
    EXPECT_EQ(buf.substr(0, c.want.size()), c.want);
    AEDisposeDesc(&out);
  }
}

TEST_F(Coercion, ContainersCoerceOnlyWhereDefined) {
  Desc list, rec, spec;
  ASSERT_EQ(AECreateList(nullptr, 0, false, &list), noErr);
  ASSERT_EQ(AECreateList(nullptr, 0, true, &rec), noErr);
  ASSERT_EQ(AEPutKeyPtr(&rec, keyAEName, typeChar, "n", 1), noErr);
  EXPECT_EQ(AECoerceDesc(list.get(), typeChar, &spec), errAECoercionFail);
  EXPECT_EQ(AECoerceDesc(list.get(), typeAppParameters, &spec), errAECoercionFail);
  // A record takes another record type, keeping its items.
  ASSERT_EQ(AECoerceDesc(rec.get(), typeObjectSpecifier, &spec), noErr);
  EXPECT_EQ(spec.type(), typeObjectSpecifier);
  char c = 0;
  EXPECT_EQ(AEGetKeyPtr(spec.get(), keyAEName, typeChar, nullptr, &c, 1, nullptr), noErr);
  EXPECT_EQ(c, 'n');
  Desc back;
  EXPECT_EQ(AECoerceDesc(spec.get(), typeAEList, &back), errAECoercionFail);
}

class FileCoercion : public AETest {
protected:
  qltest::TempDir dir;
  std::string PathOf(const FSRef &ref) {
    UInt8 buf[4096];
    if (FSRefMakePath(&ref, buf, sizeof buf) != noErr)
      return "<none>";
    return reinterpret_cast<const char *>(buf);
  }
  FSRef RefOf(const fs::path &p) {
    FSRef ref{};
    EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8 *>(p.c_str()), &ref, nullptr), noErr) << p;
    return ref;
  }
  FSSpec SpecOf(const fs::path &p) {
    FSRef ref = RefOf(p);
    FSSpec spec{};
    EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, &spec, nullptr), noErr);
    return spec;
  }
};

// Every file type reaches every other and comes back to the same item,
// including names an FSSpec can only hold in their short form.
TEST_F(FileCoercion, EveryFileTypeReachesTheSameItem) {
  const std::string names[] = {"plain.txt", std::string(40, 'n') + ".mp3", "\xE4\xB8\xAD\xE6\x96\x87.txt",
                               "with space & 100%", "folder"};
  for (const std::string &name : names) {
    SCOPED_TRACE(name);
    fs::path p = name == "folder" ? dir.Dir("sub/" + name) : dir.File("sub/" + name, "x");
    const std::string abs = p.string();
    FSSpec spec = SpecOf(p);
    const DescType types[] = {typeFSS, typeFSRef, typeAlias, typeFileURL};
    for (DescType from : types) {
      Desc src;
      ASSERT_EQ(AECoercePtr(typeFSS, &spec, sizeof spec, from, &src), noErr) << qltest::Code(from);
      for (DescType to : types) {
        SCOPED_TRACE(qltest::Code(from) + " to " + qltest::Code(to));
        Desc out, ref;
        ASSERT_EQ(AECoerceDesc(src.get(), to, &out), noErr);
        ASSERT_EQ(AECoerceDesc(out.get(), typeFSRef, &ref), noErr);
        FSRef r;
        ASSERT_EQ(AEGetDescData(ref.get(), &r, sizeof r), noErr);
        EXPECT_EQ(PathOf(r), abs);
      }
    }
    Desc url;
    ASSERT_EQ(AECoercePtr(typeFSS, &spec, sizeof spec, typeFileURL, &url), noErr);
    const std::string u = Bytes(url.get());
    EXPECT_EQ(u.rfind("file:///", 0), 0u) << u;
    EXPECT_EQ(u.find(' '), std::string::npos) << u;
    EXPECT_EQ(u.back() == '/', name == "folder") << u;
  }
}

// A list of aliases for files in a temporary folder, read back item by
// item as FSRef and FSSpec; a missing target fails with fnfErr.
TEST_F(FileCoercion, ListOfAliasesReadsBackAsFiles) {
  std::vector<fs::path> files = {dir.File("a.txt"), dir.File("b b.txt"), dir.File("sub/c.txt")};
  Desc list;
  ASSERT_EQ(AECreateList(nullptr, 0, false, &list), noErr);
  for (const fs::path &p : files) {
    FSSpec spec = SpecOf(p);
    AliasHandle alias = nullptr;
    ASSERT_EQ(NewAlias(nullptr, &spec, &alias), noErr);
    HLock(reinterpret_cast<Handle>(alias));
    ASSERT_EQ(AEPutPtr(&list, 0, typeAlias, *alias, GetHandleSize(reinterpret_cast<Handle>(alias))), noErr);
    DisposeHandle(reinterpret_cast<Handle>(alias));
  }
  for (SInt32 i = 1; i <= 3; ++i) {
    SCOPED_TRACE(i);
    FSRef ref;
    Size actual = 0;
    DescType t = 0;
    ASSERT_EQ(AEGetNthPtr(list.get(), i, typeFSRef, nullptr, &t, &ref, sizeof ref, &actual), noErr);
    EXPECT_EQ(t, typeFSRef);
    EXPECT_EQ(actual, Size(sizeof(FSRef)));
    EXPECT_EQ(PathOf(ref), files[i - 1].string());
    Desc specDesc;
    ASSERT_EQ(AEGetNthDesc(list.get(), i, typeFSS, nullptr, &specDesc), noErr);
    ASSERT_EQ(AEGetDescDataSize(specDesc.get()), 70);
    FSSpec spec;
    ASSERT_EQ(AEGetDescData(specDesc.get(), &spec, sizeof spec), noErr);
    FSSpec want = SpecOf(files[i - 1]);
    EXPECT_EQ(SInt16(spec.vRefNum), SInt16(want.vRefNum));
    EXPECT_EQ(SInt32(spec.parID), SInt32(want.parID));
    EXPECT_EQ(std::string((char *)spec.name, spec.name[0] + 1), std::string((char *)want.name, want.name[0] + 1));
  }
  fs::remove(files[1]);
  FSRef ref;
  std::memset(&ref, 0xAA, sizeof ref);
  FSRef sentinel = ref;
  EXPECT_EQ(AEGetNthPtr(list.get(), 2, typeFSRef, nullptr, nullptr, &ref, sizeof ref, nullptr), fnfErr);
  EXPECT_EQ(std::memcmp(&ref, &sentinel, sizeof ref), 0);
  Desc out;
  EXPECT_EQ(AEGetNthDesc(list.get(), 2, typeFSS, nullptr, &out), fnfErr);
  EXPECT_EQ(AEGetNthDesc(list.get(), 2, typeFileURL, nullptr, &out), fnfErr);
}

TEST_F(FileCoercion, MissingItemsAndForeignReferences) {
  fs::path p = dir.File("gone.txt");
  FSSpec spec = SpecOf(p);
  FSRef ref = RefOf(p);
  fs::remove(p);
  Desc out;
  EXPECT_EQ(AECoercePtr(typeFSS, &spec, sizeof spec, typeAlias, &out), fnfErr);
  EXPECT_EQ(AECoercePtr(typeFSRef, &ref, sizeof ref, typeFSS, &out), fnfErr);
  const std::string url = "file://" + p.string();
  EXPECT_EQ(AECoercePtr(typeFileURL, url.data(), Size(url.size()), typeFSRef, &out), fnfErr);
  FSRef foreign;
  std::memset(&foreign, 0x11, sizeof foreign);
  EXPECT_EQ(AECoercePtr(typeFSRef, &foreign, sizeof foreign, typeAlias, &out), errFSBadFSRef);
  EXPECT_EQ(out.type(), typeNull);
  // The identity coercion does not look at the item.
  EXPECT_EQ(AECoercePtr(typeFSS, &spec, sizeof spec, typeFSS, &out), noErr);
}

} // namespace
