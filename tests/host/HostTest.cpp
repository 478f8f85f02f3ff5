// The quillomat command driven as a user runs it: a separate process, its
// output and its exit status.
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
  int status;
  std::string out;
};

std::string Quote(const std::string &s) {
  std::string q = "'";
  for (char c : s)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

Outcome Quillomat(const std::string &args) {
  std::string cmd = Quote(QL_HOST_PATH) + " --plugin " + Quote(QL_PLUGIN_DIR) + " " + args + " 2>&1";
  FILE *p = popen(cmd.c_str(), "r");
  Outcome r{-1, {}};
  if (p == nullptr)
    return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
    r.out.append(buf.data(), n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

class HostTest : public ::testing::Test {
protected:
  void SetUp() override {
    scripts = tmp.Dir("Scripts");
    Encoder("Copy", "cp \"$1\" \"$1.copy\"");
    Encoder("Tools/Fail", "exit 3");
    doc = tmp.File("docs/a b.txt", "hello");
  }
  void Encoder(const std::string &rel, const std::string &body) {
    fs::path p = scripts / "Encoders" / rel;
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(p, fs::perms::owner_all);
  }
  std::string Scripts() const { return "--scripts " + Quote(scripts.string()); }
  qltest::TempDir tmp;
  fs::path scripts, doc;
};

TEST_F(HostTest, MenuListsTheEncoders) {
  Outcome r = Quillomat(Scripts() + " menu " + Quote(doc.string()));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "Quillomat/Copy\nQuillomat/Fail\n");
  r = Quillomat(Scripts() + " menu --json " + Quote(doc.string()));
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\"title\": \"Quillomat\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("{\"name\": \"Copy\", \"commandID\": 0, \"path\": \"" + (scripts / "Encoders/Copy").string() + "\"}"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("{\"name\": \"Fail\", \"commandID\": 2"), std::string::npos) << r.out;
}

TEST_F(HostTest, OpenRunsTheEncoderAndReports) {
  Outcome r = Quillomat(Scripts() + " open --wait Copy " + Quote(doc.string()));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(fs::exists(doc.string() + ".copy"));
  EXPECT_NE(r.out.find("exit status 0"), std::string::npos) << r.out;
  r = Quillomat(Scripts() + " open --wait Quillomat/Fail " + Quote(doc.string()));
  EXPECT_EQ(r.status, 1) << "a failing encoder run is reported";
  EXPECT_NE(r.out.find("exit status 3"), std::string::npos) << r.out;
}

TEST_F(HostTest, ErrorsExitNonZeroWithAMessage) {
  struct Case {
    const char *id;
    std::string args;
    int status;
    const char *message;
  } cases[] = {
      {"unknown encoder", Scripts() + " open Nope " + Quote(doc.string()), 1, "no encoder named \"Nope\""},
      {"missing file", Scripts() + " open Copy " + Quote((tmp.path() / "missing").string()), 1, "no such file"},
      {"no files", Scripts() + " menu", 2, "no files given"},
      {"unknown command", "frobnicate x", 2, "unknown command"},
      {"plug-in that does not load", "--plugin " + Quote(tmp.path().string()) + " menu " + Quote(doc.string()), 1,
       "cannot load the plug-in"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    Outcome r = Quillomat(c.args);
    EXPECT_EQ(r.status, c.status) << r.out;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
  }
  Outcome help = Quillomat("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage:"), std::string::npos);
}

TEST_F(HostTest, SameNamedEntriesArePickedByNumber) {
  Encoder("More/Copy", "cp \"$1\" \"$1.second\"");
  Outcome r = Quillomat(Scripts() + " open --wait 'Copy#2' " + Quote(doc.string()));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(fs::exists(doc.string() + ".second"));
  EXPECT_FALSE(fs::exists(doc.string() + ".copy"));
}

} // namespace
