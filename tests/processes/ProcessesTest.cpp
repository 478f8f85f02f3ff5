// Process Manager with real processes: launching with documents, the
// process list and its information, events over the socket of a listening
// application, new instances for a program that does not listen, and no
// zombie left behind.
#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/aliases/Aliases.h"
#include "platform/appleevents/AppleEvents.h"
#include "platform/files/Files.h"
#include "platform/processes/Processes.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::vector<std::string>>;

Lines ReadLines(const fs::path &path) {
  Lines out;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::stringstream ss(line);
    for (std::string f; std::getline(ss, f, '\t');)
      fields.push_back(f);
    out.push_back(fields);
  }
  return out;
}

bool WaitUntil(const std::function<bool()> &done, int ms = 10000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (done())
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

FSSpec SpecOf(const fs::path &p) {
  FSRef ref;
  FSSpec spec{};
  EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8 *>(p.c_str()), &ref, nullptr), noErr) << p;
  EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, &spec, nullptr), noErr) << p;
  return spec;
}

// Type and creator of a file, as the File Manager reports them.
std::pair<OSType, OSType> TypeCreator(const fs::path &p) {
  FSRef ref;
  FSCatalogInfo info{};
  EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8 *>(p.c_str()), &ref, nullptr), noErr);
  EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr), noErr);
  FInfo fi;
  std::memcpy(&fi, info.finderInfo, sizeof fi);
  return {fi.fdType, fi.fdCreator};
}

// An event addressed to psn; for 'odoc' its direct object is a list of
// aliases to the documents, in order.
AppleEvent MakeEvent(const ProcessSerialNumber &psn, AEEventID id, const std::vector<fs::path> &docs = {}) {
  AEAddressDesc addr;
  AppleEvent event;
  AEInitializeDesc(&event);
  EXPECT_EQ(AECreateDesc(typeProcessSerialNumber, &psn, sizeof psn, &addr), noErr);
  EXPECT_EQ(AECreateAppleEvent(kCoreEventClass, id, &addr, kAutoGenerateReturnID, kAnyTransactionID, &event), noErr);
  AEDisposeDesc(&addr);
  if (id == kAEOpenDocuments) {
    AEDescList list;
    EXPECT_EQ(AECreateList(nullptr, 0, false, &list), noErr);
    for (const fs::path &d : docs) {
      FSSpec spec = SpecOf(d);
      AliasHandle alias = nullptr;
      EXPECT_EQ(NewAlias(nullptr, &spec, &alias), noErr);
      HLock(reinterpret_cast<Handle>(alias));
      EXPECT_EQ(AEPutPtr(&list, 0, typeAlias, *alias, GetHandleSize(reinterpret_cast<Handle>(alias))), noErr);
      DisposeHandle(reinterpret_cast<Handle>(alias));
    }
    EXPECT_EQ(AEPutParamDesc(&event, keyDirectObject, &list), noErr);
    AEDisposeDesc(&list);
  }
  return event;
}

// The event's bytes as launch parameters ('appa').
std::vector<UInt8> LaunchParameters(const AppleEvent &event) {
  AEDesc appa;
  EXPECT_EQ(AECoerceDesc(&event, typeAppParameters, &appa), noErr);
  std::vector<UInt8> bytes(size_t(AEGetDescDataSize(&appa)));
  EXPECT_EQ(AEGetDescData(&appa, bytes.data(), Size(bytes.size())), noErr);
  AEDisposeDesc(&appa);
  return bytes;
}

bool HasZombieChild() {
  DIR *d = opendir("/proc");
  bool found = false;
  while (dirent *e = d ? readdir(d) : nullptr) {
    std::ifstream in(std::string("/proc/") + e->d_name + "/stat");
    std::string line;
    if (!in || !std::getline(in, line))
      continue;
    size_t close = line.rfind(')');
    if (close == std::string::npos)
      continue;
    std::istringstream f(line.substr(close + 1));
    std::string state;
    long ppid = 0;
    f >> state >> ppid;
    found = found || (ppid == getpid() && state == "Z");
  }
  if (d)
    closedir(d);
  return found;
}

class ProcessTest : public ::testing::Test {
protected:
  void SetUp() override {
    PlatformInstallProcessHooks();
    const char *xdg = getenv("XDG_RUNTIME_DIR");
    savedXdg_ = xdg ? std::optional<std::string>(xdg) : std::nullopt;
    run_ = tmp_.Dir("run");
    fs::permissions(run_, fs::perms::owner_all, fs::perm_options::replace);
    setenv("XDG_RUNTIME_DIR", run_.c_str(), 1);
    recordLog_ = tmp_.path() / "record.log";
    recorderLog_ = tmp_.path() / "recorder.log";
    setenv("QL_RECORD_LOG", recordLog_.c_str(), 1);
    setenv("QL_RECORDER_LOG", recorderLog_.c_str(), 1);
    unsetenv("QL_RECORD_SLEEP");
    // The script is copied so that each test has its own application file.
    script_ = tmp_.path() / "apps" / "record-args";
    fs::create_directories(script_.parent_path());
    fs::copy_file(QL_RECORD_ARGS_SCRIPT, script_);
    fs::permissions(script_, fs::perms::owner_all, fs::perm_options::replace);
    recorder_ = QL_EVENT_RECORDER;
    PlatformResetLaunchLog();
    liveDescs_ = PlatformLiveDescriptorCount();
  }
  void TearDown() override {
    PlatformSetLaunchHistoryLimit(1024);
    for (SInt32 i = 0; i < PlatformLaunchLogCount(); ++i) {
      PlatformLaunchRecord r;
      if (PlatformGetLaunchRecord(i, &r) != noErr || r.result != noErr)
        continue; // pushed out of the log (waited for by its test), or never started
      if (PlatformWaitForProcess(&r.process, 15000, nullptr) == errAETimeout) {
        ADD_FAILURE() << "process " << r.pid << " still runs";
        kill(r.pid, SIGKILL);
        PlatformWaitForProcess(&r.process, -1, nullptr);
      }
    }
    PlatformReapChildren();
    EXPECT_FALSE(HasZombieChild());
    EXPECT_EQ(PlatformLiveDescriptorCount(), liveDescs_) << "descriptors leaked";
    if (savedXdg_)
      setenv("XDG_RUNTIME_DIR", savedXdg_->c_str(), 1);
    else
      unsetenv("XDG_RUNTIME_DIR");
    unsetenv("QL_RECORD_SLEEP");
  }

  // Launches program (with the documents in an 'odoc' event, when given).
  OSErr Launch(const fs::path &program, const std::vector<fs::path> &docs, UInt16 flags, ProcessSerialNumber *psn,
               std::vector<UInt8> *params = nullptr) {
    FSSpec app = SpecOf(program);
    std::vector<UInt8> bytes;
    if (!docs.empty()) {
      ProcessSerialNumber self;
      GetCurrentProcess(&self);
      AppleEvent event = MakeEvent(self, kAEOpenDocuments, docs);
      bytes = LaunchParameters(event);
      AEDisposeDesc(&event);
    }
    LaunchParamBlockRec pb{};
    pb.launchBlockID = extendedBlock;
    pb.launchEPBLength = extendedBlockLen;
    pb.launchFileFlags = docs.empty() ? 0 : 0x0800;
    pb.launchControlFlags = flags;
    pb.launchAppSpec = &app;
    pb.launchAppParameters = bytes.empty() ? nullptr : reinterpret_cast<AppParametersPtr>(bytes.data());
    OSErr err = LaunchApplication(&pb);
    if (psn)
      *psn = pb.launchProcessSN;
    if (params)
      *params = bytes;
    return err;
  }

  // Starts the recording application and waits until it listens.
  ProcessSerialNumber StartRecorder() {
    ProcessSerialNumber psn{};
    EXPECT_EQ(Launch(recorder_, {}, launchContinue | launchDontSwitch, &psn), noErr);
    EXPECT_TRUE(WaitUntil([&] {
      for (const auto &l : ReadLines(recorderLog_))
        if (l.size() >= 2 && l[0] == "READY" && l[1] == std::to_string(psn.highLongOfPSN))
          return true;
      return false;
    })) << "the recorder never listened";
    return psn;
  }

  qltest::TempDir tmp_;
  fs::path run_, recordLog_, recorderLog_, script_, recorder_;
  std::optional<std::string> savedXdg_;
  SInt32 liveDescs_ = 0;
};

TEST_F(ProcessTest, LaunchPassesDocumentsAsArgumentsInOrder) {
  std::vector<fs::path> docs = {tmp_.File("docs/b second.txt", "2"), tmp_.File("docs/a first.txt", "1"),
                                tmp_.File("docs/\xE6\x96\x87\xE5\xAD\x97.txt", "3")};
  ProcessSerialNumber psn{};
  std::vector<UInt8> params;
  ASSERT_EQ(Launch(script_, docs, launchContinue, &psn, &params), noErr);
  EXPECT_NE(psn.highLongOfPSN, 0u);
  SInt32 status = -1;
  ASSERT_EQ(PlatformWaitForProcess(&psn, 10000, &status), noErr);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  Lines runs = ReadLines(recordLog_);
  ASSERT_EQ(runs.size(), 1u);
  ASSERT_EQ(runs[0].size(), 5u);
  EXPECT_EQ(runs[0][1], std::to_string(psn.highLongOfPSN));
  for (size_t i = 0; i < docs.size(); ++i)
    EXPECT_EQ(runs[0][2 + i], fs::canonical(docs[i]).string()) << "argument " << i;

  // The log keeps the block as received and a copy of the parameters.
  ASSERT_EQ(PlatformLaunchLogCount(), 1);
  PlatformLaunchRecord r;
  ASSERT_EQ(PlatformGetLaunchRecord(0, &r), noErr);
  EXPECT_EQ(r.result, noErr);
  EXPECT_FALSE(r.forEvent);
  EXPECT_EQ(r.launchBlockID, 0x4C43);
  EXPECT_EQ(r.launchEPBLength, 32u);
  EXPECT_EQ(r.launchFileFlags, 0x0800);
  EXPECT_EQ(r.launchControlFlags, 0x4000);
  EXPECT_STREQ(r.programPath, fs::canonical(script_).c_str());
  EXPECT_EQ(r.argumentCount, 3);
  EXPECT_STREQ(PlatformGetLaunchArgument(0, 0), fs::canonical(docs[0]).c_str());
  EXPECT_EQ(PlatformGetLaunchArgument(0, 3), nullptr);
  ASSERT_EQ(size_t(r.parametersSize), params.size());
  EXPECT_EQ(std::memcmp(r.parameters, params.data(), params.size()), 0);
  FSSpec scriptSpec = SpecOf(script_);
  EXPECT_EQ(std::memcmp(&r.appSpec, &scriptSpec, sizeof(FSSpec)), 0);

  // Without launchDontSwitch the new process was recorded in front.
  ProcessSerialNumber front;
  Boolean same = false;
  ASSERT_EQ(GetFrontProcess(&front), noErr);
  ASSERT_EQ(SameProcess(&front, &psn, &same), noErr);
  EXPECT_TRUE(same);
}

// A process that launches for days keeps a bounded history: the newest
// launches and exited children, with indexes that keep meaning the same
// launch. (The limit is lowered so that a few launches show it.)
TEST_F(ProcessTest, HistoryKeepsTheNewestLaunchesAndChildren) {
  PlatformSetLaunchHistoryLimit(3);
  std::vector<ProcessSerialNumber> started;
  for (int i = 0; i < 5; ++i) {
    const fs::path doc = tmp_.File("docs/" + std::to_string(i) + ".txt", "x");
    ProcessSerialNumber psn{};
    ASSERT_EQ(Launch(script_, {doc}, launchContinue, &psn), noErr);
    ASSERT_EQ(PlatformWaitForProcess(&psn, 10000, nullptr), noErr);
    started.push_back(psn);
  }
  EXPECT_EQ(PlatformLaunchLogCount(), 5);
  PlatformLaunchRecord r;
  for (SInt32 i = 0; i < 2; ++i) {
    EXPECT_EQ(PlatformGetLaunchRecord(i, &r), paramErr) << "launch " << i << " should have been dropped";
    EXPECT_EQ(PlatformGetLaunchArgument(i, 0), nullptr);
  }
  for (SInt32 i = 2; i < 5; ++i) {
    ASSERT_EQ(PlatformGetLaunchRecord(i, &r), noErr);
    EXPECT_EQ(r.process.highLongOfPSN, started[size_t(i)].highLongOfPSN) << "launch " << i;
    EXPECT_EQ(r.process.lowLongOfPSN, started[size_t(i)].lowLongOfPSN) << "launch " << i;
    ASSERT_NE(PlatformGetLaunchArgument(i, 0), nullptr);
    EXPECT_EQ(fs::path(PlatformGetLaunchArgument(i, 0)).filename(), std::to_string(i) + ".txt");
  }
  EXPECT_EQ(PlatformGetLaunchRecord(5, &r), paramErr);
  // The table forgot the oldest exited children, and still knows the newest.
  SInt32 status = -1;
  EXPECT_EQ(PlatformWaitForProcess(&started[0], 0, &status), procNotFound);
  EXPECT_EQ(PlatformWaitForProcess(&started[4], 0, &status), noErr);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // A reset starts the indexes again.
  PlatformResetLaunchLog();
  EXPECT_EQ(PlatformLaunchLogCount(), 0);
  EXPECT_EQ(PlatformGetLaunchRecord(0, &r), paramErr);
}

TEST_F(ProcessTest, LaunchRefusesBadRequestsAndStartsNothing) {
  fs::path folder = tmp_.Dir("a folder");
  fs::path plain = tmp_.File("not-executable", "#!/bin/sh\n");
  fs::permissions(plain, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
  fs::path gone = tmp_.File("gone.txt", "x");
  FSSpec app = SpecOf(script_), dirSpec = SpecOf(folder), plainSpec = SpecOf(plain);

  // Parameters naming a document that disappeared after the alias was made.
  ProcessSerialNumber self;
  GetCurrentProcess(&self);
  AppleEvent ev = MakeEvent(self, kAEOpenDocuments, {gone});
  std::vector<UInt8> goneParams = LaunchParameters(ev);
  AEDisposeDesc(&ev);
  fs::remove(gone);
  std::vector<UInt8> corrupt = goneParams;
  corrupt[0] = 'X';
  std::vector<UInt8> truncated = goneParams;
  truncated[11] = UInt8(truncated[11] - 1); // a recorded length one short

  struct Case {
    const char *id;
    UInt16 blockID;
    UInt32 length;
    FSSpec *spec;
    std::vector<UInt8> *params;
    OSErr expected;
  } cases[] = {
      {"wrong block ID", 0x4C44, extendedBlockLen, &app, nullptr, paramErr},
      {"short block", extendedBlock, 28, &app, nullptr, paramErr},
      {"no application", extendedBlock, extendedBlockLen, nullptr, nullptr, paramErr},
      {"a folder", extendedBlock, extendedBlockLen, &dirSpec, nullptr, fnfErr},
      {"not executable", extendedBlock, extendedBlockLen, &plainSpec, nullptr, permErr},
      {"document gone", extendedBlock, extendedBlockLen, &app, &goneParams, fnfErr},
      {"not flattened", extendedBlock, extendedBlockLen, &app, &corrupt, errAECorruptData},
      {"length disagrees", extendedBlock, extendedBlockLen, &app, &truncated, errAECorruptData},
  };
  for (Case &c : cases) {
    SCOPED_TRACE(c.id);
    LaunchParamBlockRec pb{};
    pb.launchBlockID = c.blockID;
    pb.launchEPBLength = c.length;
    pb.launchControlFlags = launchContinue;
    pb.launchAppSpec = c.spec;
    pb.launchAppParameters = c.params ? reinterpret_cast<AppParametersPtr>(c.params->data()) : nullptr;
    pb.launchProcessSN = ProcessSerialNumber{0xAAAAAAAA, 0xAAAAAAAA};
    EXPECT_EQ(LaunchApplication(&pb), c.expected);
    EXPECT_EQ(pb.launchProcessSN.highLongOfPSN, 0xAAAAAAAAu) << "nothing written on failure";
  }
  EXPECT_EQ(LaunchApplication(nullptr), paramErr);
  EXPECT_EQ(PlatformProcessCount(kPlatformProcessLaunches), 0);
  EXPECT_FALSE(fs::exists(recordLog_));
}

TEST_F(ProcessTest, ListAndInformationOfALaunchedChild) {
  setenv("QL_RECORD_SLEEP", "30", 1);
  ProcessSerialNumber child{};
  ASSERT_EQ(Launch(script_, {tmp_.File("doc.txt")}, launchContinue | launchDontSwitch, &child), noErr);
  unsetenv("QL_RECORD_SLEEP");
  ProcessSerialNumber self;
  ASSERT_EQ(GetCurrentProcess(&self), noErr);
  EXPECT_EQ(self.highLongOfPSN, UInt32(getpid()));

  // The list starts with this process and holds the child.
  ProcessSerialNumber psn{0, kNoProcess};
  std::vector<ProcessSerialNumber> seen;
  while (GetNextProcess(&psn) == noErr && seen.size() < 1000)
    seen.push_back(psn);
  ASSERT_FALSE(seen.empty());
  Boolean same = false;
  SameProcess(&seen[0], &self, &same);
  EXPECT_TRUE(same);
  bool listed = false;
  for (const auto &p : seen)
    listed = listed || (p.highLongOfPSN == child.highLongOfPSN && p.lowLongOfPSN == child.lowLongOfPSN);
  EXPECT_TRUE(listed);
  EXPECT_EQ(GetNextProcess(&psn), procNotFound) << "the end stays the end";

  // Its information, with the length the library passes (60).
  auto [type, creator] = TypeCreator(script_);
  EXPECT_EQ(type, ql::FourCC("APPL"));
  Str31 name;
  FSSpec appSpec;
  ProcessInfoRec info;
  std::memset(&info, 0xAA, sizeof info);
  info.processInfoLength = 60;
  info.processName = name;
  info.processAppSpec = &appSpec;
  ASSERT_EQ(GetProcessInformation(&child, &info), noErr);
  EXPECT_EQ(info.processNumber.highLongOfPSN, child.highLongOfPSN);
  EXPECT_EQ(info.processType, type);
  EXPECT_EQ(info.processSignature, creator) << "the script's own creator, not its interpreter's";
  EXPECT_EQ(std::string(reinterpret_cast<char *>(name + 1), name[0]), "record-args");
  FSSpec scriptSpec = SpecOf(script_);
  EXPECT_EQ(std::memcmp(&appSpec, &scriptSpec, sizeof appSpec), 0);
  SameProcess(&info.processLauncher, &self, &same);
  EXPECT_TRUE(same) << "launched by this process";
  EXPECT_EQ(info.processMode & modeHighLevelEventAware, 0u) << "the script does not listen";

  // A shorter length fills only the fields it covers (here up to the type).
  ProcessInfoRec shorter;
  std::memset(&shorter, 0xAA, sizeof shorter);
  shorter.processInfoLength = 20;
  shorter.processName = nullptr;
  ASSERT_EQ(GetProcessInformation(&child, &shorter), noErr);
  EXPECT_EQ(shorter.processType, type);
  EXPECT_EQ(shorter.processSignature, 0xAAAAAAAAu);

  char path[4096];
  ASSERT_EQ(PlatformGetProcessApplicationPath(&child, path, sizeof path), noErr);
  EXPECT_EQ(std::string(path), fs::canonical(script_).string());
  SInt32 pid = 0;
  ASSERT_EQ(GetProcessPID(&child, &pid), noErr);
  ProcessSerialNumber back;
  ASSERT_EQ(GetProcessForPID(pid, &back), noErr);
  SameProcess(&back, &child, &same);
  EXPECT_TRUE(same);

  // Ended: reaped, gone from the list, no zombie.
  ASSERT_EQ(kill(pid, SIGTERM), 0);
  SInt32 status = 0;
  ASSERT_EQ(PlatformWaitForProcess(&child, 10000, &status), noErr);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(GetProcessInformation(&child, &info), procNotFound);
  EXPECT_EQ(GetProcessPID(&child, &pid), procNotFound);
  EXPECT_FALSE(HasZombieChild());

  ProcessSerialNumber system{0, kSystemProcess};
  EXPECT_EQ(GetNextProcess(&system), paramErr);
  ProcessSerialNumber nobody{0x7FFFFFF0, 1};
  EXPECT_EQ(GetProcessInformation(&nobody, &info), procNotFound);
  EXPECT_EQ(SetFrontProcess(&nobody), procNotFound);
}

TEST_F(ProcessTest, ListeningApplicationReceivesEventsOverItsSocket) {
  ProcessSerialNumber app = StartRecorder();
  ProcessInfoRec info{};
  info.processInfoLength = 60;
  ASSERT_EQ(GetProcessInformation(&app, &info), noErr);
  EXPECT_NE(info.processMode & modeHighLevelEventAware, 0u);
  auto [type, creator] = TypeCreator(recorder_);
  EXPECT_EQ(info.processSignature, creator);

  std::vector<fs::path> docs = {tmp_.File("x/one.txt"), tmp_.File("x/two words.txt")};
  AppleEvent odoc = MakeEvent(app, kAEOpenDocuments, docs);
  AppleEvent reply;
  ASSERT_EQ(AESend(&odoc, &reply, kAENoReply, kAENormalPriority, kNoTimeOut, nullptr, nullptr), noErr);
  AEDisposeDesc(&odoc);
  AEDisposeDesc(&reply);
  ASSERT_EQ(SetFrontProcess(&app), noErr);
  ProcessSerialNumber front;
  Boolean same = false;
  GetFrontProcess(&front);
  SameProcess(&front, &app, &same);
  EXPECT_TRUE(same);

  // A quit event with a wanted reply: handled, answered, and the app ends.
  AppleEvent quit = MakeEvent(app, kAEQuitApplication);
  ASSERT_EQ(AESend(&quit, &reply, kAEWaitReply, kAENormalPriority, kNoTimeOut, nullptr, nullptr), noErr);
  EXPECT_EQ(reply.descriptorType, typeAppleEvent) << "the reply came back";
  AEDisposeDesc(&quit);
  AEDisposeDesc(&reply);
  SInt32 status = -1;
  ASSERT_EQ(PlatformWaitForProcess(&app, 10000, &status), noErr);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  Lines lines = ReadLines(recorderLog_);
  std::vector<std::vector<std::string>> events;
  for (const auto &l : lines)
    if (!l.empty() && l[0] == "EVENT")
      events.push_back(l);
  ASSERT_EQ(events.size(), 2u);
  ASSERT_EQ(events[0].size(), 6u);
  EXPECT_EQ(events[0][2], "aevt");
  EXPECT_EQ(events[0][3], "odoc");
  EXPECT_EQ(events[0][4], fs::canonical(docs[0]).string());
  EXPECT_EQ(events[0][5], fs::canonical(docs[1]).string());
  EXPECT_EQ(events[1][3], "quit");
  EXPECT_EQ(lines.back()[0], "QUIT");
  EXPECT_EQ(PlatformProcessCount(kPlatformProcessEventsSent), 2);
  EXPECT_EQ(PlatformProcessCount(kPlatformProcessNewInstances), 0);

  // Its socket went away with it.
  char dir[1024];
  ASSERT_EQ(PlatformEventDirectory(dir, sizeof dir), noErr);
  EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(ProcessTest, ProgramThatDoesNotListenGetsANewInstancePerEvent) {
  std::vector<fs::path> docs = {tmp_.File("d/1.txt"), tmp_.File("d/2.txt"), tmp_.File("d/3.txt")};
  setenv("QL_RECORD_SLEEP", "1", 1);
  ProcessSerialNumber first{};
  ASSERT_EQ(Launch(script_, {docs[0]}, launchContinue, &first), noErr);

  // Two more documents, one event each, to the running first instance.
  for (size_t i = 1; i < docs.size(); ++i) {
    AppleEvent ev = MakeEvent(first, kAEOpenDocuments, {docs[i]});
    EXPECT_EQ(AESend(&ev, nullptr, kAENoReply, kAENormalPriority, kNoTimeOut, nullptr, nullptr), noErr);
    AEDisposeDesc(&ev);
  }
  unsetenv("QL_RECORD_SLEEP");
  ASSERT_EQ(PlatformLaunchLogCount(), 3);
  EXPECT_EQ(PlatformProcessCount(kPlatformProcessNewInstances), 2);
  PlatformLaunchRecord last;
  ASSERT_EQ(PlatformGetLaunchRecord(2, &last), noErr);
  EXPECT_TRUE(last.forEvent);
  EXPECT_EQ(last.launchControlFlags, launchContinue | launchDontSwitch);
  EXPECT_STREQ(last.programPath, fs::canonical(script_).c_str());

  // Bringing the first instance forward records the newest one.
  ASSERT_EQ(SetFrontProcess(&first), noErr);
  ProcessSerialNumber front;
  Boolean same = false;
  GetFrontProcess(&front);
  SameProcess(&front, &last.process, &same);
  EXPECT_TRUE(same);

  for (SInt32 i = 0; i < 3; ++i) {
    PlatformLaunchRecord r;
    PlatformGetLaunchRecord(i, &r);
    ASSERT_EQ(PlatformWaitForProcess(&r.process, 10000, nullptr), noErr);
  }
  // One run per document, each with its one document, in request order.
  Lines runs = ReadLines(recordLog_);
  ASSERT_EQ(runs.size(), 3u);
  for (SInt32 i = 0; i < 3; ++i) {
    PlatformLaunchRecord r;
    PlatformGetLaunchRecord(i, &r);
    EXPECT_EQ(r.argumentCount, 1);
    EXPECT_STREQ(PlatformGetLaunchArgument(i, 0), fs::canonical(docs[size_t(i)]).c_str());
    bool ran = false;
    for (const auto &run : runs)
      ran = ran || (run.size() == 3 && run[1] == std::to_string(r.pid) && run[2] == fs::canonical(docs[size_t(i)]));
    EXPECT_TRUE(ran) << "document " << i;
  }

  // The first instance has ended: an event to it still opens the document
  // in a new instance; an unknown process is procNotFound.
  AppleEvent again = MakeEvent(first, kAEOpenDocuments, {docs[0]});
  EXPECT_EQ(AESend(&again, nullptr, kAENoReply, kAENormalPriority, kNoTimeOut, nullptr, nullptr), noErr);
  AEDisposeDesc(&again);
  EXPECT_EQ(PlatformLaunchLogCount(), 4);
  AppleEvent lost = MakeEvent(ProcessSerialNumber{0x7FFFFFF0, 1}, kAEOpenDocuments, {docs[0]});
  EXPECT_EQ(AESend(&lost, nullptr, kAENoReply, kAENormalPriority, kNoTimeOut, nullptr, nullptr), procNotFound);
  AEDisposeDesc(&lost);
  EXPECT_EQ(PlatformLaunchLogCount(), 4);
}

TEST_F(ProcessTest, EventDirectoryIsPrivateAndStaleSocketsGo) {
  char dir[1024];
  ASSERT_EQ(PlatformEventDirectory(dir, sizeof dir), noErr);
  EXPECT_EQ(std::string(dir), (run_ / "quillomat-events").string());
  struct stat st;
  ASSERT_EQ(stat(dir, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(PlatformEventDirectory(dir, 4), errFSNameTooLong);

  // A socket left behind by a process that no longer runs (this process ID
  // with another start time) is removed when the list is read.
  ProcessSerialNumber self;
  GetCurrentProcess(&self);
  std::string stale = std::string(dir) + "/psn-" + std::to_string(self.highLongOfPSN) + "-" +
                      std::to_string(self.lowLongOfPSN + 1) + ".sock";
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strcpy(addr.sun_path, stale.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
  close(fd);
  ProcessSerialNumber psn{0, kNoProcess};
  while (GetNextProcess(&psn) == noErr) {
  }
  EXPECT_FALSE(fs::exists(stale));

  // A directory others may enter is refused for the private fallback.
  fs::permissions(fs::path(dir), fs::perms::all, fs::perm_options::replace);
  char other[1024];
  ASSERT_EQ(PlatformEventDirectory(other, sizeof other), noErr);
  EXPECT_EQ(std::string(other), "/tmp/quillomat-events-" + std::to_string(geteuid()));
  ASSERT_EQ(stat(other, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  unsetenv("XDG_RUNTIME_DIR");
  char unset[1024];
  ASSERT_EQ(PlatformEventDirectory(unset, sizeof unset), noErr);
  EXPECT_STREQ(unset, other);

  // Listening puts this process's socket there; stopping removes it.
  ASSERT_EQ(PlatformListenForEvents(), noErr);
  std::string mine = std::string(unset) + "/psn-" + std::to_string(self.highLongOfPSN) + "-" +
                     std::to_string(self.lowLongOfPSN) + ".sock";
  EXPECT_TRUE(fs::exists(mine));
  EXPECT_GE(PlatformEventListenerFD(), 0);
  PlatformStopListeningForEvents();
  EXPECT_FALSE(fs::exists(mine));
  EXPECT_EQ(PlatformServeEvents(0, nullptr), connectionInvalid);
}

TEST_F(ProcessTest, SerialNumberConstants) {
  ProcessSerialNumber self, current{0, kCurrentProcess}, none{0, kNoProcess};
  ASSERT_EQ(GetCurrentProcess(&self), noErr);
  Boolean same = false;
  ASSERT_EQ(SameProcess(&self, &current, &same), noErr);
  EXPECT_TRUE(same);
  ASSERT_EQ(SameProcess(&self, &none, &same), noErr);
  EXPECT_FALSE(same);
  EXPECT_EQ(GetCurrentProcess(nullptr), paramErr);
  EXPECT_EQ(SameProcess(&self, nullptr, &same), paramErr);
  // GetNextProcess from kCurrentProcess steps past this process.
  ProcessSerialNumber next = current;
  OSErr err = GetNextProcess(&next);
  if (err == noErr)
    EXPECT_NE(next.highLongOfPSN, self.highLongOfPSN);
  else
    EXPECT_EQ(err, procNotFound);
  // The start time tells a reused process ID from the earlier process.
  ProcessSerialNumber earlier{self.highLongOfPSN, self.lowLongOfPSN - 1};
  SInt32 pid;
  EXPECT_EQ(GetProcessPID(&earlier, &pid), procNotFound);
  ProcessInfoRec info{};
  info.processInfoLength = 60;
  EXPECT_EQ(GetProcessInformation(&current, &info), noErr);
  EXPECT_EQ(info.processNumber.highLongOfPSN, self.highLongOfPSN);
  // The native record's size asks for every field, like 60.
  std::memset(&info, 0xAA, sizeof info);
  info.processInfoLength = sizeof info;
  info.processName = nullptr;
  info.processAppSpec = nullptr;
  EXPECT_EQ(GetProcessInformation(&current, &info), noErr);
  EXPECT_EQ(info.processActiveTime, 0u);
  EXPECT_EQ(info.processLocation, nullptr);
  info.processInfoLength = 2;
  EXPECT_EQ(GetProcessInformation(&current, &info), paramErr);
}

} // namespace
