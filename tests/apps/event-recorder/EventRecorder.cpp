// An application that listens for Apple events and records them, for the
// Process Manager tests.
//
// Every line goes to the file named by $QL_RECORDER_LOG (appended, one
// write per line), fields separated by tabs:
//   START <pid> <argument>...          at start, with the command-line arguments
//   READY <pid>                        once it listens for events
//   EVENT <pid> <class> <id> <doc>...  each event, with the paths of its documents
//   QUIT <pid>                         on a quit event, then it exits with 0
//   TIMEOUT <pid>                      after $QL_RECORDER_TIMEOUT_MS (default
//                                      20000) without a quit event; exits with 3
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/appleevents/AppleEvents.h"
#include "platform/files/Files.h"
#include "platform/processes/Processes.h"

namespace {

bool gQuit = false;

void Record(const std::string &line) {
  const char *path = std::getenv("QL_RECORDER_LOG");
  if (path == nullptr)
    return;
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0)
    return;
  std::string text = line + "\n";
  (void)!write(fd, text.data(), text.size());
  close(fd);
}

std::string Head(const char *what) { return std::string(what) + "\t" + std::to_string(getpid()); }

std::string Code(OSType t) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8)
    s += char((t >> shift) & 0xFF);
  return s;
}

OSErr RecordEvent(const AppleEvent *event, AppleEvent *, SRefCon) {
  OSType cls = 0, id = 0;
  AEGetAttributePtr(event, keyEventClassAttr, typeType, nullptr, &cls, sizeof cls, nullptr);
  AEGetAttributePtr(event, keyEventIDAttr, typeType, nullptr, &id, sizeof id, nullptr);
  std::string line = Head("EVENT") + "\t" + Code(cls) + "\t" + Code(id);
  AEDescList docs;
  if (AEGetParamDesc(event, keyDirectObject, typeAEList, &docs) == noErr) {
    SInt32 n = 0;
    AECountItems(&docs, &n);
    for (SInt32 i = 1; i <= n; ++i) {
      FSRef ref;
      UInt8 path[4096];
      if (AEGetNthPtr(&docs, i, typeFSRef, nullptr, nullptr, &ref, sizeof ref, nullptr) == noErr &&
          FSRefMakePath(&ref, path, sizeof path) == noErr)
        line += "\t" + std::string(reinterpret_cast<char *>(path));
      else
        line += "\t?";
    }
    AEDisposeDesc(&docs);
  }
  Record(line);
  if (cls == kCoreEventClass && id == kAEQuitApplication)
    gQuit = true;
  return noErr;
}

} // namespace

int main(int argc, char **argv) {
  std::string start = Head("START");
  for (int i = 1; i < argc; ++i)
    start += std::string("\t") + argv[i];
  Record(start);

  AEInstallEventHandler(typeWildCard, typeWildCard, RecordEvent, nullptr, false);
  if (PlatformListenForEvents() != noErr)
    return 2;
  Record(Head("READY"));

  const char *limit = std::getenv("QL_RECORDER_TIMEOUT_MS");
  long timeoutMs = limit ? std::strtol(limit, nullptr, 10) : 20000;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!gQuit) {
    if (std::chrono::steady_clock::now() >= deadline) {
      Record(Head("TIMEOUT"));
      return 3;
    }
    PlatformServeEvents(50, nullptr);
  }
  Record(Head("QUIT"));
  return 0;
}
