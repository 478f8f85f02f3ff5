// Launching applications with posix_spawn, the documents of an
// open-documents event as their arguments.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/core/Internal.h"
#include "platform/processes/ProcessesInternal.h"

extern char **environ;

namespace ql::platform::proc {

namespace {

// Disposes of a descriptor when it goes out of scope.
struct DescGuard {
  AEDesc d;
  DescGuard() { AEInitializeDesc(&d); }
  ~DescGuard() { AEDisposeDesc(&d); }
};

UInt32 BE32(const UInt8 *p) { return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | p[3]; }

// The flattened-event header: magic 'QLAE', version, reserved, total length.
constexpr size_t kFlatHeader = 12;
constexpr UInt32 kFlatMagic = ql::FourCC("QLAE");
// Launch parameters larger than this are refused as corrupt.
constexpr UInt32 kMaxParameters = 64u << 20;

OSErr PathOfFSRef(const FSRef &ref, std::string &out) {
  std::vector<UInt8> buf(4096);
  OSStatus err = FSRefMakePath(&ref, buf.data(), UInt32(buf.size()));
  if (err == errFSNameTooLong) {
    buf.resize(65536);
    err = FSRefMakePath(&ref, buf.data(), UInt32(buf.size()));
  }
  if (err != noErr)
    return OSErr(err);
  out.assign(reinterpret_cast<const char *>(buf.data()));
  return noErr;
}

} // namespace

OSErr DocumentsOfEvent(const AppleEvent &event, bool &isOpenDocuments, std::vector<std::string> &paths) {
  isOpenDocuments = false;
  paths.clear();
  OSType cls = 0, id = 0;
  OSErr err = AEGetAttributePtr(&event, keyEventClassAttr, typeType, nullptr, &cls, sizeof cls, nullptr);
  if (err == noErr)
    err = AEGetAttributePtr(&event, keyEventIDAttr, typeType, nullptr, &id, sizeof id, nullptr);
  if (err != noErr)
    return err;
  if (cls != kCoreEventClass || id != kAEOpenDocuments)
    return noErr;
  isOpenDocuments = true;
  DescGuard list;
  err = AEGetParamDesc(&event, keyDirectObject, typeAEList, &list.d);
  if (err == errAEDescNotFound)
    return noErr; // an open-documents event without documents
  if (err != noErr)
    return err;
  SInt32 count = 0;
  if ((err = AECountItems(&list.d, &count)) != noErr)
    return err;
  for (SInt32 i = 1; i <= count; ++i) {
    FSRef ref;
    err = AEGetNthPtr(&list.d, i, typeFSRef, nullptr, nullptr, &ref, sizeof ref, nullptr);
    std::string path;
    if (err == noErr)
      err = PathOfFSRef(ref, path);
    if (err != noErr)
      return err;
    paths.push_back(std::move(path));
  }
  return noErr;
}

OSErr Spawn(const std::string &program, const std::vector<std::string> &args, UInt16 controlFlags, LogEntry entry,
            ProcessSerialNumber &out) {
  State &s = S();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  ReapLocked(s);

  std::vector<char *> argv;
  argv.push_back(const_cast<char *>(program.c_str()));
  for (const std::string &a : args)
    argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);

  // The child starts with default signal dispositions and nothing blocked,
  // whatever this process has set up for itself.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  sigdelset(&all, SIGKILL);
  sigdelset(&all, SIGSTOP);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, program.c_str(), nullptr, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);

  entry.program = program;
  entry.args = args;
  entry.record.argumentCount = SInt32(args.size());
  OSErr err = rc == 0 ? noErr : (rc == EACCES || rc == ENOEXEC ? permErr : ErrnoToOSErr(rc));
  ProcessSerialNumber psn{};
  if (err == noErr) {
    // The child cannot be reaped before we do, so its /proc entry is there
    // even when it has already exited.
    ProcStat st;
    UInt64 start = ReadStat(pid, st) ? st.startTicks : 0;
    psn = ProcessSerialNumber{UInt32(pid), UInt32(start & 0xFFFFFFFFu)};
    Child c;
    c.pid = pid;
    c.psn = psn;
    c.appPath = program;
    AddChild(s, std::move(c));
    ++s.counts[kPlatformProcessLaunches];
    if (entry.record.forEvent)
      ++s.counts[kPlatformProcessNewInstances];
    if ((controlFlags & launchDontSwitch) == 0) {
      s.front = psn;
      s.frontSet = true;
      ++s.counts[kPlatformProcessFrontChanges];
    }
    out = psn;
  }
  entry.record.process = psn;
  entry.record.pid = SInt32(pid);
  entry.record.result = err;
  LogEntry &stored = AppendLog(s, std::move(entry));
  stored.record.programPath = stored.program.c_str();
  stored.record.parametersSize = Size(stored.params.size());
  stored.record.parameters = stored.params.empty() ? nullptr : stored.params.data();
  return err;
}

} // namespace ql::platform::proc

using namespace ql::platform::proc;
using ql::platform::Barrier;

extern "C" {

OSErr LaunchApplication(LaunchPBPtr pb) noexcept {
  if (pb == nullptr || pb->launchBlockID != extendedBlock || pb->launchEPBLength < extendedBlockLen ||
      pb->launchAppSpec == nullptr)
    return paramErr;
  EnsureHooks();
  return Barrier([&]() -> OSErr {
    LogEntry entry;
    PlatformLaunchRecord &r = entry.record;
    r.launchBlockID = pb->launchBlockID;
    r.launchEPBLength = pb->launchEPBLength;
    r.launchFileFlags = pb->launchFileFlags;
    r.launchControlFlags = pb->launchControlFlags;
    r.hadAppSpec = true;
    r.appSpec = *pb->launchAppSpec;

    // The documents of the event in the parameters.
    std::vector<std::string> docs;
    if (pb->launchAppParameters != nullptr) {
      const UInt8 *p = reinterpret_cast<const UInt8 *>(pb->launchAppParameters);
      if (BE32(p) != kFlatMagic)
        return errAECorruptData;
      UInt32 total = BE32(p + 8);
      if (total < kFlatHeader || total > kMaxParameters)
        return errAECorruptData;
      entry.params.assign(p, p + total);
      DescGuard event;
      OSErr err = PlatformAEUnflattenDescSized(p, Size(total), &event.d);
      if (err == noErr && event.d.descriptorType != typeAppleEvent)
        err = errAECorruptData;
      bool odoc = false;
      if (err == noErr)
        err = DocumentsOfEvent(event.d, odoc, docs);
      if (err != noErr)
        return err;
    }

    // The program: an existing file, not a folder.
    FSRef ref;
    OSErr err = FSpMakeFSRef(pb->launchAppSpec, &ref);
    std::string program;
    if (err == noErr)
      err = PathOfFSRef(ref, program);
    if (err != noErr)
      return err;
    struct stat st;
    if (stat(program.c_str(), &st) != 0)
      return fnfErr;
    if (S_ISDIR(st.st_mode))
      return fnfErr;

    ProcessSerialNumber psn{};
    err = Spawn(program, docs, pb->launchControlFlags, std::move(entry), psn);
    if (err == noErr) {
      pb->launchProcessSN = psn;
      pb->launchPreferredSize = pb->launchMinimumSize = pb->launchAvailableSize = 0;
    }
    return err;
  });
}

} // extern "C"
