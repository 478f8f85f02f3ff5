// Shared state of the Process Manager: the children launched from here, the
// launch log, the front process, and the helpers that read /proc and spawn.
#ifndef PLATFORM_PROCESSES_PROCESSESINTERNAL_H
#define PLATFORM_PROCESSES_PROCESSESINTERNAL_H

#include <sys/types.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/appleevents/AppleEvents.h"
#include "platform/processes/Processes.h"

namespace ql::platform::proc {

struct Child {
  pid_t pid = 0;
  ProcessSerialNumber psn{};
  std::string appPath;
  bool exited = false;
  int status = 0;
  // The newest instance started for an event sent to this child ({0,0}: none).
  ProcessSerialNumber replacedBy{};
};

struct LogEntry {
  PlatformLaunchRecord record{};
  std::string program;
  std::vector<std::string> args;
  std::vector<UInt8> params;
};

struct State {
  std::recursive_mutex lock;
  std::vector<Child> children;
  std::deque<LogEntry> log; // a deque: records keep their addresses
  // A long-running process launches without end: the log keeps the newest
  // `historyLimit` launches (indexes stay those since the last reset) and
  // the table the newest `historyLimit` exited children.
  SInt32 historyLimit = 1024;
  SInt32 logDropped = 0;
  bool frontSet = false;
  ProcessSerialNumber front{};
  SInt32 counts[8] = {};
  int listenFd = -1;
  std::string socketPath;
};
State &S();

inline bool SamePSN(const ProcessSerialNumber &a, const ProcessSerialNumber &b) {
  return a.highLongOfPSN == b.highLongOfPSN && a.lowLongOfPSN == b.lowLongOfPSN;
}
inline bool PSNLess(const ProcessSerialNumber &a, const ProcessSerialNumber &b) {
  return a.highLongOfPSN != b.highLongOfPSN ? a.highLongOfPSN < b.highLongOfPSN : a.lowLongOfPSN < b.lowLongOfPSN;
}

struct ProcStat {
  char state = 0;
  pid_t ppid = 0;
  UInt64 startTicks = 0;
};
// Reads /proc/PID/stat; false when the process does not exist.
bool ReadStat(pid_t pid, ProcStat &out);
// The serial number of a running (not zombie) process.
bool PSNForPID(pid_t pid, ProcessSerialNumber &out);
// Whether psn names a running (not zombie) process.
bool IsAlive(const ProcessSerialNumber &psn);
ProcessSerialNumber SelfPSN();
// Installs the transport and the current-process lookup once.
void EnsureHooks();
// {0, kCurrentProcess} becomes this process's own number.
ProcessSerialNumber Normalize(const ProcessSerialNumber &psn);

// The event directory, made when missing and checked; empty with err set
// when it cannot be had.
std::string EventDirectory(OSErr &err);
std::string SocketName(const ProcessSerialNumber &psn);

// Adds a launch to the log and a started child to the table, dropping the
// oldest entries past the history limit (lock held).
LogEntry &AppendLog(State &s, LogEntry &&entry);
void AddChild(State &s, Child &&child);

// Reaps exited children (lock held).
SInt32 ReapLocked(State &s);
Child *FindChild(State &s, const ProcessSerialNumber &psn);

// Absolute POSIX paths of the documents of an open-documents event; other
// events give no documents (isOpenDocuments false).
OSErr DocumentsOfEvent(const AppleEvent &event, bool &isOpenDocuments, std::vector<std::string> &paths);

// Starts program with the arguments, records the child and the log entry
// (whose record fields describing the request are already filled).
OSErr Spawn(const std::string &program, const std::vector<std::string> &args, UInt16 controlFlags,
            LogEntry entry, ProcessSerialNumber &out);

// The transport installed in the Apple Event Manager.
OSErr Transport(const ProcessSerialNumber *target, const AppleEvent *event, AppleEvent *reply, SInt32 sendMode);
// Whether psn listens (its socket exists and it runs); the socket path.
bool ListenerSocket(const ProcessSerialNumber &psn, std::string &path);

} // namespace ql::platform::proc

#endif
