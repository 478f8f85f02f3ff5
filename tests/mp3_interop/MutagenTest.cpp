// Interoperation with an independent ID3 implementation (Python's mutagen,
// run through /usr/bin/python3): tags it writes read here into the same
// frames and texts, and tags flattened here load there with the same texts.
// Skipped, with the reason, when mutagen is not installed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include <sys/wait.h>

#include "support/TestSupport.h"
#include "tests/mp3/Mp3TestSupport.h"

using namespace mp3test;

namespace {

// Writes tags (mutagen's frames; the framing by hand where mutagen has no
// writer: compressed frames and unsynchronisation, using mutagen's own
// unsynchronisation codec) and describes the frames mutagen reads from a
// file, one line per frame in the format of mp3test::Describe.
constexpr const char *kScript = R"PY(
import struct, sys, zlib
try:
    from mutagen.id3 import ID3, TIT2, TPE1, TALB, TCON, TXXX, COMM, USLT, APIC
    from mutagen.id3._util import unsynch, BitPaddedInt
except ImportError as e:
    print("mutagen missing:", e)
    sys.exit(3)

PICTURE = bytes(range(256)) * 120  # 0xFF 0x00 pairs: unsynchronisation matters

def frames():
    return [
        TIT2(encoding=0, text=["Caf\xe9"]),
        TPE1(encoding=1, text=["\xc6r\xf8 \u2013 \U0001F600"]),
        TALB(encoding=2, text=["A\u2013B"]),
        TCON(encoding=3, text=["Rock \u2013 \xfc"]),
        TXXX(encoding=1, desc="key", text=["value \xfc"]),
        COMM(encoding=3, lang="eng", desc="d", text=["comment \xfc"]),
        USLT(encoding=1, lang="deu", desc="", text="la la \xe4"),
        APIC(encoding=0, mime="image/png", type=3, desc="front", data=PICTURE),
    ]

def describe(f):
    fid = f.FrameID
    if fid == "TXXX":
        return "TXXX|%s|%s" % (f.desc, "/".join(f.text))
    if fid in ("COMM", "USLT"):
        text = f.text if isinstance(f.text, str) else "/".join(f.text)
        return "%s|%s|%s|%s" % (fid, f.lang, f.desc, text)
    if fid == "APIC":
        return "APIC|%s|%d|%s|bin%d:%d" % (f.mime, f.type, f.desc, len(f.data), zlib.crc32(f.data))
    if fid.startswith("T"):
        return fid + "|" + "/".join(str(t) for t in f.text)
    return fid + "|?"

def framed(f, version, compress, unsync):
    body = f._get_v23_frame(sep="/")._writeData() if version == 3 else f._writeData()
    flags, data, dli = 0, body, b""
    if compress:
        z = zlib.compress(body)
        if version == 3:
            data, flags = struct.pack(">L", len(body)) + z, flags | 0x0080
        else:
            data, flags = z, flags | 0x0009
    if version == 4 and unsync:
        data, flags = unsynch.encode(data), flags | 0x0003
    if version == 4 and flags & 0x0001:
        dli = BitPaddedInt.to_str(len(body), width=4)
    data = dli + data
    size = BitPaddedInt.to_str(len(data), width=4, bits=7 if version == 4 else 8)
    return f.FrameID.encode() + size + struct.pack(">H", flags) + data

cmd = sys.argv[1]
if cmd == "probe":
    sys.exit(0)
elif cmd == "write":
    path, version, variant = sys.argv[2], int(sys.argv[3]), sys.argv[4]
    if variant == "plain":
        open(path, "wb").close()
        tags = ID3()
        for f in frames():
            tags.add(f)
        tags.save(path, v2_version=version)
    else:
        compress, unsync = variant == "compressed", variant == "unsync"
        body = b"".join(framed(f, version, compress, unsync) for f in frames())
        hflags = 0
        if unsync and version == 3:
            body, hflags = unsynch.encode(body), 0x80
        body += b"\0" * 64
        with open(path, "wb") as out:
            out.write(b"ID3" + bytes([version, 0, hflags]) + BitPaddedInt.to_str(len(body), width=4) + body)
elif cmd == "dump":
    tags = ID3(sys.argv[2], translate=False)
    for f in tags.values():
        print(describe(f))
)PY";

class Mutagen : public ::testing::Test {
protected:
  void SetUp() override {
    script_ = dir_.File("mutagen_tool.py", kScript);
    std::string out;
    if (Run("probe", out) != 0)
      GTEST_SKIP() << "python3-mutagen is not usable through /usr/bin/python3: " << out;
  }

  // Runs the script; returns its exit status and its output.
  int Run(const std::string &args, std::string &out) {
    const std::string cmd = "/usr/bin/python3 " + script_.string() + " " + args + " 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    if (p == nullptr)
      return -1;
    char buf[4096];
    out.clear();
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
      out.append(buf, n);
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::vector<std::string> Dump(const std::filesystem::path &file) {
    std::string out;
    EXPECT_EQ(Run("dump " + file.string(), out), 0) << out;
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1)
      lines.push_back(out.substr(start, nl - start));
    std::sort(lines.begin(), lines.end());
    return lines;
  }

  static Bytes ReadFile(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }

  qltest::TempDir dir_;
  std::filesystem::path script_;
};

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST_F(Mutagen, TagsItWritesReadHere) {
  for (int version : {3, 4}) {
    for (const char *variant : {"plain", "compressed", "unsync"}) {
      SCOPED_TRACE(std::to_string(version) + " " + variant);
      const auto file = dir_.path() / ("m" + std::to_string(version) + variant + ".mp3");
      std::string out;
      ASSERT_EQ(Run("write " + file.string() + " " + std::to_string(version) + " " + variant, out), 0) << out;
      const std::vector<std::string> theirs = Dump(file);
      ASSERT_EQ(theirs.size(), 8u);
      TagPtr tag = Parse(ReadFile(file));
      EXPECT_EQ(tag->v2MajorVersion, version);
      EXPECT_EQ(Sorted(Describe(tag.get())), theirs);
    }
  }
}

TEST_F(Mutagen, TagsFlattenedHereLoadThere) {
  Bytes picture(30 * 1024);
  for (size_t i = 0; i < picture.size(); ++i)
    picture[i] = uint8_t(i % 3 == 0 ? 0xFF : i * 13);
  TagPtr tag = NewTag();
  AddFrame(tag.get(), "TIT2", Cat({{0}, B("Caf\xE9")}));
  AddFrame(tag.get(), "TPE1", {1, 0xFF, 0xFE, 0xC6, 0, 'r', 0, 0x13, 0x20, 0x3D, 0xD8, 0x00, 0xDE});
  AddFrame(tag.get(), "TALB", {2, 0x00, 'A', 0x20, 0x13, 0x00, 'B'});
  AddFrame(tag.get(), "TCON", Cat({{3}, B("Rock \xE2\x80\x93")}));
  AddFrame(tag.get(), "COMM", Cat({{3}, B("eng"), B("d"), {0}, B("comment \xC3\xBC")}));
  AddFrame(tag.get(), "TXXX", {1, 0xFE, 0xFF, 0, 'k', 0, 0, 0xFE, 0xFF, 0, 'v'});
  AddFrame(tag.get(), "USLT", Cat({{0}, B("eng"), {0}, B("la la")}));
  AddFrame(tag.get(), "APIC", Cat({{0}, B("image/jpeg"), {0}, {3}, B("front"), {0}, picture}));
  AddFrame(tag.get(), "TYER", Text("2004"));
  AddFrame(tag.get(), "TIT3", Text(std::string(300, 's')), kID3FrameCompressed);
  const std::vector<std::string> ours = Describe(tag.get());

  for (UInt32 flags : {UInt32(kMP3WriteID3v22), UInt32(kMP3WriteID3v23), UInt32(kMP3WriteID3v24)}) {
    for (UInt8 headerFlags : {0x00, 0x80}) {
      SCOPED_TRACE(std::to_string(flags) + (headerFlags ? " unsynchronised" : ""));
      tag->v2Flags = headerFlags;
      const auto file = dir_.path() / "ours.mp3";
      const Bytes bytes = Flatten(tag.get(), flags);
      std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()),
                                                  std::streamsize(bytes.size()));
      std::vector<std::string> expected;
      for (std::string d : ours) {
        if (flags == kMP3WriteID3v24 && d.rfind("TYER", 0) == 0)
          d.replace(0, 4, "TDRC");
        if (flags == kMP3WriteID3v22 && d.rfind("APIC", 0) == 0) // mutagen keeps the 2.2 format name
          d.replace(5, 10, "JPG");
        expected.push_back(d);
      }
      EXPECT_EQ(Dump(file), Sorted(expected));
    }
  }
}

} // namespace
