// Serial numbers, the process list, process information, the front process
// and the children launched from here.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/core/Internal.h"
#include "platform/processes/ProcessesInternal.h"

namespace ql::platform::proc {

State &S() {
  static State *s = new State; // used until the very end of the process
  return *s;
}

bool ReadStat(pid_t pid, ProcStat &out) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", int(pid));
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line))
    return false;
  // The command name (field 2) may hold spaces and parentheses: the fields
  // after it start behind the last ')'.
  size_t close = line.rfind(')');
  if (close == std::string::npos)
    return false;
  std::istringstream fields(line.substr(close + 1));
  std::string f;
  ProcStat st;
  for (int field = 3; field <= 22 && fields >> f; ++field) {
    if (field == 3)
      st.state = f.empty() ? 0 : f[0];
    else if (field == 4)
      st.ppid = pid_t(std::strtol(f.c_str(), nullptr, 10));
    else if (field == 22) {
      st.startTicks = std::strtoull(f.c_str(), nullptr, 10);
      out = st;
      return true;
    }
  }
  return false;
}

bool PSNForPID(pid_t pid, ProcessSerialNumber &out) {
  ProcStat st;
  if (pid <= 0 || !ReadStat(pid, st) || st.state == 'Z' || st.state == 'X')
    return false;
  out = ProcessSerialNumber{UInt32(pid), UInt32(st.startTicks & 0xFFFFFFFFu)};
  return true;
}

bool IsAlive(const ProcessSerialNumber &psn) {
  ProcessSerialNumber now;
  return psn.highLongOfPSN != 0 && PSNForPID(pid_t(psn.highLongOfPSN), now) && SamePSN(now, psn);
}

ProcessSerialNumber SelfPSN() {
  EnsureHooks();
  static std::mutex lock;
  static pid_t cachedPid = 0;
  static ProcessSerialNumber cached{};
  std::lock_guard<std::mutex> guard(lock);
  pid_t pid = getpid();
  if (pid != cachedPid) { // first use, or a forked child
    ProcStat st;
    UInt64 start = ReadStat(pid, st) ? st.startTicks : 0;
    cached = ProcessSerialNumber{UInt32(pid), UInt32(start & 0xFFFFFFFFu)};
    cachedPid = pid;
  }
  return cached;
}

ProcessSerialNumber Normalize(const ProcessSerialNumber &psn) {
  if (psn.highLongOfPSN == 0 && psn.lowLongOfPSN == kCurrentProcess)
    return SelfPSN();
  return psn;
}

SInt32 ReapLocked(State &s) {
  SInt32 reaped = 0;
  for (Child &c : s.children) {
    if (c.exited)
      continue;
    int status = 0;
    pid_t r;
    do {
      r = waitpid(c.pid, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == c.pid || (r < 0 && errno == ECHILD)) {
      // ECHILD: somebody else reaped it (or SIGCHLD is ignored).
      c.exited = true;
      c.status = r == c.pid ? status : 0;
      ++reaped;
    }
  }
  s.counts[kPlatformProcessReaped] += reaped;
  return reaped;
}

LogEntry &AppendLog(State &s, LogEntry &&entry) {
  while (!s.log.empty() && SInt32(s.log.size()) >= s.historyLimit) {
    s.log.pop_front();
    ++s.logDropped;
  }
  s.log.push_back(std::move(entry));
  return s.log.back();
}

void AddChild(State &s, Child &&child) {
  ReapLocked(s);
  SInt32 exited = 0;
  for (const Child &c : s.children)
    exited += c.exited;
  // The oldest exited children go first; running ones always stay known.
  for (auto it = s.children.begin(); exited >= s.historyLimit && it != s.children.end();) {
    if (it->exited) {
      it = s.children.erase(it);
      --exited;
    } else {
      ++it;
    }
  }
  s.children.push_back(std::move(child));
}

Child *FindChild(State &s, const ProcessSerialNumber &psn) {
  for (auto it = s.children.rbegin(); it != s.children.rend(); ++it)
    if (SamePSN(it->psn, psn))
      return &*it;
  return nullptr;
}

namespace {

struct Entry {
  ProcessSerialNumber psn{};
  std::string appPath; // empty: /proc/PID/exe
  bool listening = false;
};

std::string ExePath(pid_t pid) {
  char link[64], buf[4096];
  std::snprintf(link, sizeof link, "/proc/%d/exe", int(pid));
  ssize_t n = readlink(link, buf, sizeof buf - 1);
  if (n <= 0)
    return {};
  std::string path(buf, size_t(n));
  // A program replaced on disk while it runs reads as "PATH (deleted)".
  const std::string deleted = " (deleted)";
  if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0 &&
      access(path.c_str(), F_OK) != 0)
    path.resize(path.size() - deleted.size());
  return path;
}

bool ParseSocketName(const char *name, ProcessSerialNumber &psn) {
  unsigned hi = 0, lo = 0;
  int used = 0;
  if (std::sscanf(name, "psn-%u-%u.sock%n", &hi, &lo, &used) != 2 || name[used] != '\0')
    return false;
  psn = ProcessSerialNumber{UInt32(hi), UInt32(lo)};
  return psn.highLongOfPSN != 0;
}

// This process first, then the others ordered by serial number (lock held).
std::vector<Entry> ListLocked(State &s) {
  ReapLocked(s);
  std::vector<Entry> list;
  Entry self;
  self.psn = SelfPSN();
  self.listening = s.listenFd >= 0;
  list.push_back(self);

  std::map<std::pair<UInt32, UInt32>, Entry> others;
  OSErr err = noErr;
  std::string dir = EventDirectory(err);
  if (!dir.empty()) {
    if (DIR *d = opendir(dir.c_str())) {
      while (dirent *e = readdir(d)) {
        ProcessSerialNumber psn;
        if (!ParseSocketName(e->d_name, psn) || SamePSN(psn, self.psn))
          continue;
        if (!IsAlive(psn)) {
          // The socket of a process that ended without removing it.
          struct stat st;
          std::string path = dir + "/" + e->d_name;
          if (lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
            unlink(path.c_str());
          continue;
        }
        Entry en;
        en.psn = psn;
        en.listening = true;
        others[{psn.highLongOfPSN, psn.lowLongOfPSN}] = en;
      }
      closedir(d);
    }
  }
  for (const Child &c : s.children) {
    if (c.exited)
      continue;
    Entry &en = others[{c.psn.highLongOfPSN, c.psn.lowLongOfPSN}];
    en.psn = c.psn;
    en.appPath = c.appPath;
  }
  for (auto &kv : others)
    list.push_back(kv.second);
  return list;
}

const Entry *Find(const std::vector<Entry> &list, const ProcessSerialNumber &psn) {
  for (const Entry &e : list)
    if (SamePSN(e.psn, psn))
      return &e;
  return nullptr;
}

std::string AppPathOf(const Entry &e) { return e.appPath.empty() ? ExePath(pid_t(e.psn.highLongOfPSN)) : e.appPath; }

// The catalog's Finder information of a file is its FInfo, in host order.
FInfo FinderInfoOf(const FSCatalogInfo &cat) {
  FInfo fi;
  std::memcpy(&fi, cat.finderInfo, sizeof fi);
  return fi;
}

// Offsets of the fields in the original 32-bit layout of ProcessInfoRec.
enum : UInt32 {
  kEndName = 8,
  kEndNumber = 16,
  kEndType = 20,
  kEndSignature = 24,
  kEndMode = 28,
  kEndLocation = 32,
  kEndSize = 36,
  kEndFreeMem = 40,
  kEndLauncher = 48,
  kEndLaunchDate = 52,
  kEndActiveTime = 56,
  kEndAppSpec = 60
};

UInt32 ResidentBytes(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/statm", int(pid));
  std::ifstream in(path);
  UInt64 size = 0, resident = 0;
  if (!(in >> size >> resident))
    return 0;
  UInt64 bytes = resident * UInt64(sysconf(_SC_PAGESIZE));
  return bytes > 0xFFFFFFFFull ? 0xFFFFFFFFu : UInt32(bytes);
}

OSErr Fill(const Entry &e, ProcessInfoRec &info) {
  UInt32 len = info.processInfoLength == sizeof(ProcessInfoRec) ? UInt32(kProcessInfoRecLength32) : info.processInfoLength;
  pid_t pid = pid_t(e.psn.highLongOfPSN);
  std::string app = AppPathOf(e);
  FSRef ref;
  FSCatalogInfo cat{};
  FSSpec spec{};
  bool haveFile = !app.empty() &&
                  FSPathMakeRef(reinterpret_cast<const UInt8 *>(app.c_str()), &ref, nullptr) == noErr &&
                  FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &cat, nullptr, &spec, nullptr) == noErr;
  ProcStat st;
  bool haveStat = ReadStat(pid, st);

  if (len >= kEndName && info.processName != nullptr) {
    if (haveFile) {
      std::memcpy(info.processName, spec.name, size_t(std::min<UInt8>(spec.name[0], 31)) + 1);
      info.processName[0] = std::min<UInt8>(spec.name[0], 31);
    } else {
      info.processName[0] = 0;
    }
  }
  if (len >= kEndNumber)
    info.processNumber = e.psn;
  if (len >= kEndType)
    info.processType = haveFile ? FinderInfoOf(cat).fdType : 0;
  if (len >= kEndSignature)
    info.processSignature = haveFile ? FinderInfoOf(cat).fdCreator : 0;
  if (len >= kEndMode)
    info.processMode = UInt32(modeCanBackground) | (e.listening ? UInt32(modeHighLevelEventAware) : 0u);
  if (len >= kEndLocation)
    info.processLocation = nullptr;
  if (len >= kEndSize)
    info.processSize = ResidentBytes(pid);
  if (len >= kEndFreeMem)
    info.processFreeMem = 0;
  if (len >= kEndLauncher) {
    ProcessSerialNumber parent{0, kNoProcess};
    if (haveStat && !PSNForPID(st.ppid, parent))
      parent = ProcessSerialNumber{0, kNoProcess};
    info.processLauncher = parent;
  }
  if (len >= kEndLaunchDate) {
    long hz = sysconf(_SC_CLK_TCK);
    info.processLaunchDate = haveStat && hz > 0 ? UInt32(st.startTicks * 60 / UInt64(hz)) : 0;
  }
  if (len >= kEndActiveTime)
    info.processActiveTime = 0;
  if (len >= kEndAppSpec && info.processAppSpec != nullptr) {
    if (!haveFile)
      return fnfErr;
    *info.processAppSpec = spec;
  }
  return noErr;
}

OSErr CopyPath(const std::string &path, char *buffer, UInt32 size) {
  if (buffer == nullptr)
    return paramErr;
  if (path.size() + 1 > size)
    return errFSNameTooLong;
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return noErr;
}

} // namespace

} // namespace ql::platform::proc

using namespace ql::platform::proc;
using ql::platform::Barrier;

namespace {
OSErr CurrentProcessLookup(ProcessSerialNumber *psn) { return GetCurrentProcess(psn); }
} // namespace

namespace ql::platform::proc {
// The hooks are installed on the first use of the Process Manager rather
// than when the library loads, so that a program that never asks for
// processes keeps the Apple Event Manager's own rules.
void EnsureHooks() {
  static std::once_flag once;
  std::call_once(once, [] { PlatformInstallProcessHooks(); });
}
} // namespace ql::platform::proc

extern "C" {

OSErr GetCurrentProcess(ProcessSerialNumber *PSN) noexcept {
  if (PSN == nullptr)
    return paramErr;
  *PSN = SelfPSN();
  return noErr;
}

OSErr GetNextProcess(ProcessSerialNumber *PSN) noexcept {
  if (PSN == nullptr)
    return paramErr;
  if (PSN->highLongOfPSN == 0 && PSN->lowLongOfPSN == kSystemProcess)
    return paramErr;
  return Barrier([&]() -> OSErr {
    State &s = S();
    std::lock_guard<std::recursive_mutex> guard(s.lock);
    std::vector<Entry> list = ListLocked(s);
    if (PSN->highLongOfPSN == 0 && PSN->lowLongOfPSN == kNoProcess) {
      *PSN = list.front().psn;
      return noErr;
    }
    ProcessSerialNumber from = Normalize(*PSN);
    if (SamePSN(from, list.front().psn)) {
      if (list.size() < 2)
        return procNotFound;
      *PSN = list[1].psn;
      return noErr;
    }
    for (size_t i = 1; i < list.size(); ++i) {
      if (PSNLess(from, list[i].psn)) {
        *PSN = list[i].psn;
        return noErr;
      }
    }
    return procNotFound;
  });
}

OSErr GetProcessInformation(const ProcessSerialNumber *PSN, ProcessInfoRec *info) noexcept {
  if (PSN == nullptr || info == nullptr || info->processInfoLength < 4)
    return paramErr;
  return Barrier([&]() -> OSErr {
    State &s = S();
    std::vector<Entry> list;
    {
      std::lock_guard<std::recursive_mutex> guard(s.lock);
      list = ListLocked(s);
    }
    const Entry *e = Find(list, Normalize(*PSN));
    if (e == nullptr)
      return procNotFound;
    return Fill(*e, *info);
  });
}

OSErr SetFrontProcess(const ProcessSerialNumber *PSN) noexcept {
  if (PSN == nullptr)
    return paramErr;
  return Barrier([&]() -> OSErr {
    State &s = S();
    std::lock_guard<std::recursive_mutex> guard(s.lock);
    ProcessSerialNumber psn = Normalize(*PSN);
    bool known = false;
    if (Child *c = FindChild(s, psn)) {
      known = true;
      // Follow the chain of instances started for events sent to it.
      for (int hops = 0; c != nullptr && c->replacedBy.highLongOfPSN != 0 && hops < 1000; ++hops) {
        psn = c->replacedBy;
        c = FindChild(s, psn);
      }
    }
    if (!known) {
      std::vector<Entry> list = ListLocked(s);
      if (Find(list, psn) == nullptr)
        return procNotFound;
    }
    s.front = psn;
    s.frontSet = true;
    ++s.counts[kPlatformProcessFrontChanges];
    return noErr;
  });
}

OSErr GetFrontProcess(ProcessSerialNumber *PSN) noexcept {
  if (PSN == nullptr)
    return paramErr;
  State &s = S();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  *PSN = s.frontSet ? s.front : SelfPSN();
  return noErr;
}

OSErr SameProcess(const ProcessSerialNumber *PSN1, const ProcessSerialNumber *PSN2, Boolean *result) noexcept {
  if (PSN1 == nullptr || PSN2 == nullptr || result == nullptr)
    return paramErr;
  *result = SamePSN(Normalize(*PSN1), Normalize(*PSN2));
  return noErr;
}

OSStatus GetProcessPID(const ProcessSerialNumber *psn, SInt32 *pid) noexcept {
  if (psn == nullptr || pid == nullptr)
    return paramErr;
  ProcessSerialNumber p = Normalize(*psn);
  if (!IsAlive(p))
    return procNotFound;
  *pid = SInt32(p.highLongOfPSN);
  return noErr;
}

OSStatus GetProcessForPID(SInt32 pid, ProcessSerialNumber *psn) noexcept {
  EnsureHooks();
  if (psn == nullptr)
    return paramErr;
  ProcessSerialNumber p;
  if (!PSNForPID(pid_t(pid), p))
    return procNotFound;
  *psn = p;
  return noErr;
}

OSErr PlatformGetProcessApplicationPath(const ProcessSerialNumber *psn, char *buffer, UInt32 size) noexcept {
  if (psn == nullptr)
    return paramErr;
  return Barrier([&]() -> OSErr {
    State &s = S();
    std::vector<Entry> list;
    {
      std::lock_guard<std::recursive_mutex> guard(s.lock);
      list = ListLocked(s);
    }
    const Entry *e = Find(list, Normalize(*psn));
    if (e == nullptr)
      return procNotFound;
    std::string path = AppPathOf(*e);
    if (path.empty())
      return fnfErr;
    return CopyPath(path, buffer, size);
  });
}

SInt32 PlatformReapChildren(void) noexcept {
  State &s = S();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  return ReapLocked(s);
}

OSErr PlatformWaitForProcess(const ProcessSerialNumber *psn, SInt32 timeoutMs, SInt32 *waitStatus) noexcept {
  if (psn == nullptr)
    return paramErr;
  struct timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    {
      State &s = S();
      std::lock_guard<std::recursive_mutex> guard(s.lock);
      Child *c = FindChild(s, *psn);
      if (c == nullptr)
        return procNotFound;
      if (!c->exited)
        ReapLocked(s);
      if (c->exited) {
        if (waitStatus)
          *waitStatus = c->status;
        return noErr;
      }
    }
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    long long elapsed = (now.tv_sec - start.tv_sec) * 1000LL + (now.tv_nsec - start.tv_nsec) / 1000000;
    if (timeoutMs >= 0 && elapsed >= timeoutMs)
      return errAETimeout;
    struct timespec pause = {0, 2 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
}

void PlatformInstallProcessHooks(void) noexcept {
  PlatformSetAESendTransport(Transport);
  PlatformSetAECurrentProcess(CurrentProcessLookup);
}

SInt32 PlatformLaunchLogCount(void) noexcept {
  State &s = S();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  return s.logDropped + SInt32(s.log.size());
}

// The log entry of an index since the last reset; null when outside the
// log or already dropped.
static const LogEntry *LogAt(State &s, SInt32 index) {
  if (index < s.logDropped || size_t(index - s.logDropped) >= s.log.size())
    return nullptr;
  return &s.log[size_t(index - s.logDropped)];
}

OSErr PlatformGetLaunchRecord(SInt32 index, PlatformLaunchRecord *record) noexcept {
  State &s = S();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  const LogEntry *e = LogAt(s, index);
  if (record == nullptr || e == nullptr)
    return paramErr;
  *record = e->record;
  return noErr;
}

const char *PlatformGetLaunchArgument(SInt32 index, SInt32 argIndex) noexcept {
  State &s = S();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  const LogEntry *e = LogAt(s, index);
  if (e == nullptr || argIndex < 0 || size_t(argIndex) >= e->args.size())
    return nullptr;
  return e->args[size_t(argIndex)].c_str();
}

void PlatformResetLaunchLog(void) noexcept {
  State &s = S();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  s.log.clear();
  s.logDropped = 0;
  std::fill(std::begin(s.counts), std::end(s.counts), 0);
}

SInt32 PlatformSetLaunchHistoryLimit(SInt32 entries) noexcept {
  State &s = S();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  const SInt32 previous = s.historyLimit;
  if (entries >= 1)
    s.historyLimit = entries;
  return previous;
}

SInt32 PlatformProcessCount(SInt32 which) noexcept {
  State &s = S();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  if (which < 1 || which >= SInt32(std::size(s.counts)))
    return 0;
  return s.counts[which];
}

} // extern "C"
