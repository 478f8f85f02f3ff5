// Apple events between processes: the event directory, listening sockets,
// the transport AESend uses for other processes, and new instances for
// programs that do not listen.
//
// Wire format on a connection (big-endian):
//   request: 'QLEV' | version UInt16 = 1 | flags UInt16 (1: a reply is
//            wanted) | length UInt32 | the flattened event (AEFlattenDesc)
//   reply:   'QLRP' | version UInt16 = 1 | reserved UInt16 | result SInt32 |
//            length UInt32 | the flattened reply event (length 0: none)
// A request without a wanted reply gets no answer: the sender closes after
// writing, and the data waits in the socket until the listener serves it.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/core/Internal.h"
#include "platform/processes/ProcessesInternal.h"

namespace ql::platform::proc {

namespace {

constexpr UInt32 kRequestMagic = ql::FourCC("QLEV");
constexpr UInt32 kReplyMagic = ql::FourCC("QLRP");
constexpr UInt16 kVersion = 1;
constexpr UInt16 kWantsReply = 1;
constexpr UInt32 kMaxEventBytes = 64u << 20;
constexpr int kIoTimeoutSeconds = 5;
constexpr int kReplyTimeoutSeconds = 60;

void Put16(UInt8 *p, UInt16 v) {
  p[0] = UInt8(v >> 8);
  p[1] = UInt8(v);
}
void Put32(UInt8 *p, UInt32 v) {
  p[0] = UInt8(v >> 24);
  p[1] = UInt8(v >> 16);
  p[2] = UInt8(v >> 8);
  p[3] = UInt8(v);
}
UInt16 Get16(const UInt8 *p) { return UInt16((p[0] << 8) | p[1]); }
UInt32 Get32(const UInt8 *p) { return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | p[3]; }

struct DescGuard {
  AEDesc d;
  DescGuard() { AEInitializeDesc(&d); }
  ~DescGuard() { AEDisposeDesc(&d); }
};

struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0)
      close(fd);
  }
};

void SetTimeouts(int fd, int sendSeconds, int receiveSeconds) {
  struct timeval snd = {sendSeconds, 0}, rcv = {receiveSeconds, 0};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &snd, sizeof snd);
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &rcv, sizeof rcv);
}

bool WriteAll(int fd, const UInt8 *p, size_t n) {
  while (n > 0) {
    ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
    if (w < 0 && errno == EINTR)
      continue;
    if (w <= 0)
      return false;
    p += w;
    n -= size_t(w);
  }
  return true;
}

bool ReadAll(int fd, UInt8 *p, size_t n) {
  while (n > 0) {
    ssize_t r = recv(fd, p, n, 0);
    if (r < 0 && errno == EINTR)
      continue;
    if (r <= 0)
      return false;
    p += r;
    n -= size_t(r);
  }
  return true;
}

OSErr Flatten(const AEDesc &desc, std::vector<UInt8> &out) {
  Size size = AESizeOfFlattenedDesc(&desc);
  if (size <= 0)
    return errAENotAEDesc;
  out.resize(size_t(size));
  Size actual = 0;
  return OSErr(AEFlattenDesc(&desc, reinterpret_cast<Ptr>(out.data()), size, &actual));
}

// A directory only this user may enter: made when missing, refused when it
// is something else (a link, another owner, open to others).
bool EnsurePrivateDir(const std::string &path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
    return false;
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

OSErr SendToSocket(const std::string &path, const AppleEvent &event, AppleEvent *reply, SInt32 sendMode) {
  std::vector<UInt8> frame(12);
  std::vector<UInt8> body;
  OSErr err = Flatten(event, body);
  if (err != noErr)
    return err;
  bool wantsReply = (sendMode & 3) == kAEWaitReply;
  Put32(frame.data(), kRequestMagic);
  Put16(frame.data() + 4, kVersion);
  Put16(frame.data() + 6, wantsReply ? kWantsReply : 0);
  Put32(frame.data() + 8, UInt32(body.size()));
  frame.insert(frame.end(), body.begin(), body.end());

  Fd sock(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (sock.fd < 0)
    return ErrnoToOSErr(errno);
  SetTimeouts(sock.fd, kIoTimeoutSeconds, kReplyTimeoutSeconds);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  int rc;
  do {
    rc = connect(sock.fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0)
    return connectionInvalid;
  if (!WriteAll(sock.fd, frame.data(), frame.size()))
    return connectionInvalid;
  {
    State &s = S();
    std::lock_guard<std::recursive_mutex> guard(s.lock);
    ++s.counts[kPlatformProcessEventsSent];
  }
  if (!wantsReply)
    return noErr;
  shutdown(sock.fd, SHUT_WR);
  UInt8 head[16];
  if (!ReadAll(sock.fd, head, sizeof head) || Get32(head) != kReplyMagic)
    return errAETimeout;
  OSErr result = OSErr(SInt32(Get32(head + 8)));
  UInt32 len = Get32(head + 12);
  if (len > kMaxEventBytes)
    return errAECorruptData;
  if (len > 0) {
    std::vector<UInt8> data(len);
    if (!ReadAll(sock.fd, data.data(), len))
      return errAETimeout;
    if (reply != nullptr) {
      AEDesc got;
      err = OSErr(PlatformAEUnflattenDescSized(data.data(), Size(len), &got));
      if (err != noErr)
        return err;
      AEDisposeDesc(reply);
      *reply = got;
    }
  }
  return result;
}

// Serves one connection: reads the event, dispatches it, answers when a
// reply is wanted. True when an event was dispatched.
bool ServeConnection(int fd) {
  SetTimeouts(fd, kIoTimeoutSeconds, kIoTimeoutSeconds);
  struct ucred cred{};
  socklen_t credLen = sizeof cred;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &credLen) != 0 || cred.uid != geteuid())
    return false;
  UInt8 head[12];
  if (!ReadAll(fd, head, sizeof head) || Get32(head) != kRequestMagic || Get16(head + 4) != kVersion)
    return false;
  bool wantsReply = (Get16(head + 6) & kWantsReply) != 0;
  UInt32 len = Get32(head + 8);
  if (len == 0 || len > kMaxEventBytes)
    return false;
  std::vector<UInt8> data(len);
  if (!ReadAll(fd, data.data(), len))
    return false;
  DescGuard event, reply;
  if (PlatformAEUnflattenDescSized(data.data(), Size(len), &event.d) != noErr ||
      event.d.descriptorType != typeAppleEvent)
    return false;

  ProcessSerialNumber sender{0, kNoProcess};
  PSNForPID(cred.pid, sender);
  SInt16 source = kAELocalProcess;
  AEPutAttributePtr(&event.d, keyOriginalAddressAttr, typeProcessSerialNumber, &sender, sizeof sender);
  AEPutAttributePtr(&event.d, keyEventSourceAttr, typeSInt16, &source, sizeof source);
  if (wantsReply) {
    DescGuard address;
    SInt16 returnID = 0;
    AEGetAttributePtr(&event.d, keyReturnIDAttr, typeSInt16, nullptr, &returnID, sizeof returnID, nullptr);
    if (AECreateDesc(typeProcessSerialNumber, &sender, sizeof sender, &address.d) == noErr)
      AECreateAppleEvent(kCoreEventClass, kAEAnswer, &address.d, returnID, kAnyTransactionID, &reply.d);
  }
  OSErr result = PlatformAEDispatchEvent(&event.d, wantsReply ? &reply.d : nullptr);
  {
    State &s = S();
    std::lock_guard<std::recursive_mutex> guard(s.lock);
    ++s.counts[kPlatformProcessEventsReceived];
  }
  if (wantsReply) {
    if (result != noErr && reply.d.descriptorType == typeAppleEvent) {
      Size size = 0;
      if (AESizeOfParam(&reply.d, keyErrorNumber, nullptr, &size) != noErr) {
        SInt16 e = result;
        AEPutParamPtr(&reply.d, keyErrorNumber, typeSInt16, &e, sizeof e);
      }
    }
    std::vector<UInt8> body;
    if (reply.d.descriptorType != typeAppleEvent || Flatten(reply.d, body) != noErr)
      body.clear();
    std::vector<UInt8> frame(16);
    Put32(frame.data(), kReplyMagic);
    Put16(frame.data() + 4, kVersion);
    Put16(frame.data() + 6, 0);
    Put32(frame.data() + 8, UInt32(SInt32(result)));
    Put32(frame.data() + 12, UInt32(body.size()));
    frame.insert(frame.end(), body.begin(), body.end());
    WriteAll(fd, frame.data(), frame.size());
  }
  return true;
}

void RemoveSocketAtExit() {
  State &s = S();
  if (s.listenFd >= 0 && !s.socketPath.empty())
    unlink(s.socketPath.c_str());
}

bool FileSpecOf(const std::string &path, FSSpec &spec) {
  FSRef ref;
  return FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr) == noErr &&
         FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, &spec, nullptr) == noErr;
}

} // namespace

std::string EventDirectory(OSErr &err) {
  err = noErr;
  const char *xdg = getenv("XDG_RUNTIME_DIR");
  if (xdg != nullptr && xdg[0] == '/') {
    std::string dir = std::string(xdg) + "/quillomat-events";
    if (EnsurePrivateDir(dir))
      return dir;
  }
  std::string dir = "/tmp/quillomat-events-" + std::to_string(unsigned(geteuid()));
  if (EnsurePrivateDir(dir))
    return dir;
  err = permErr;
  return {};
}

std::string SocketName(const ProcessSerialNumber &psn) {
  char name[64];
  std::snprintf(name, sizeof name, "psn-%u-%u.sock", unsigned(psn.highLongOfPSN), unsigned(psn.lowLongOfPSN));
  return name;
}

bool ListenerSocket(const ProcessSerialNumber &psn, std::string &path) {
  OSErr err;
  std::string dir = EventDirectory(err);
  if (dir.empty())
    return false;
  path = dir + "/" + SocketName(psn);
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && IsAlive(psn);
}

OSErr Transport(const ProcessSerialNumber *target, const AppleEvent *event, AppleEvent *reply, SInt32 sendMode) {
  if (target == nullptr || event == nullptr)
    return paramErr;
  return Barrier([&]() -> OSErr {
    ProcessSerialNumber psn = Normalize(*target);
    std::string path;
    if (ListenerSocket(psn, path))
      return SendToSocket(path, *event, reply, sendMode);

    // A program that does not listen: only a child launched from here is
    // known well enough to be answered.
    std::string program;
    bool running = false;
    pid_t pid = 0;
    {
      State &s = S();
      std::lock_guard<std::recursive_mutex> guard(s.lock);
      ReapLocked(s);
      Child *c = FindChild(s, psn);
      if (c == nullptr)
        return IsAlive(psn) ? connectionInvalid : procNotFound;
      program = c->appPath;
      running = !c->exited;
      pid = c->pid;
    }
    bool odoc = false;
    std::vector<std::string> docs;
    OSErr err = DocumentsOfEvent(*event, odoc, docs);
    if (err != noErr)
      return err;
    if (!odoc) {
      OSType cls = 0, id = 0;
      AEGetAttributePtr(event, keyEventClassAttr, typeType, nullptr, &cls, sizeof cls, nullptr);
      AEGetAttributePtr(event, keyEventIDAttr, typeType, nullptr, &id, sizeof id, nullptr);
      if (cls == kCoreEventClass && id == kAEQuitApplication) {
        if (running)
          kill(pid, SIGTERM);
        return noErr;
      }
      return connectionInvalid;
    }

    // A new instance of the program with the documents.
    LogEntry entry;
    PlatformLaunchRecord &r = entry.record;
    r.forEvent = true;
    r.launchBlockID = extendedBlock;
    r.launchEPBLength = extendedBlockLen;
    r.launchControlFlags = launchContinue | launchDontSwitch;
    r.hadAppSpec = FileSpecOf(program, r.appSpec);
    Flatten(*event, entry.params);
    ProcessSerialNumber started{};
    err = Spawn(program, docs, r.launchControlFlags, std::move(entry), started);
    if (err != noErr)
      return err;
    State &s = S();
    std::lock_guard<std::recursive_mutex> guard(s.lock);
    if (Child *c = FindChild(s, psn))
      c->replacedBy = started;
    return noErr;
  });
}

} // namespace ql::platform::proc

using namespace ql::platform::proc;
using ql::platform::Barrier;
using ql::platform::ErrnoToOSErr;

extern "C" {

OSErr PlatformEventDirectory(char *buffer, UInt32 size) noexcept {
  if (buffer == nullptr)
    return paramErr;
  return Barrier([&]() -> OSErr {
    OSErr err;
    std::string dir = EventDirectory(err);
    if (dir.empty())
      return err;
    if (dir.size() + 1 > size)
      return errFSNameTooLong;
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return noErr;
  });
}

OSErr PlatformListenForEvents(void) noexcept {
  return Barrier([&]() -> OSErr {
    State &s = S();
    std::lock_guard<std::recursive_mutex> guard(s.lock);
    if (s.listenFd >= 0)
      return noErr;
    OSErr err;
    std::string dir = EventDirectory(err);
    if (dir.empty())
      return err;
    std::string path = dir + "/" + SocketName(SelfPSN());
    sockaddr_un addr{};
    if (path.size() + 1 > sizeof addr.sun_path)
      return bdNamErr;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
      return ErrnoToOSErr(errno);
    unlink(path.c_str()); // our own serial number: a leftover can only be stale
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || chmod(path.c_str(), 0600) != 0 ||
        listen(fd, 64) != 0) {
      int e = errno;
      close(fd);
      unlink(path.c_str());
      return ErrnoToOSErr(e);
    }
    s.listenFd = fd;
    s.socketPath = path;
    static bool registered = false;
    if (!registered) {
      atexit(RemoveSocketAtExit);
      registered = true;
    }
    return noErr;
  });
}

void PlatformStopListeningForEvents(void) noexcept {
  State &s = S();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  if (s.listenFd < 0)
    return;
  close(s.listenFd);
  unlink(s.socketPath.c_str());
  s.listenFd = -1;
  s.socketPath.clear();
}

int PlatformEventListenerFD(void) noexcept {
  State &s = S();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  return s.listenFd;
}

OSErr PlatformServeEvents(SInt32 timeoutMs, SInt32 *handled) noexcept {
  if (handled)
    *handled = 0;
  return Barrier([&]() -> OSErr {
    int fd = PlatformEventListenerFD();
    if (fd < 0)
      return connectionInvalid;
    pollfd p{fd, POLLIN, 0};
    int rc;
    do {
      rc = poll(&p, 1, timeoutMs < 0 ? -1 : int(timeoutMs));
    } while (rc < 0 && errno == EINTR);
    SInt32 count = 0;
    for (;;) {
      int conn = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (conn < 0) {
        if (errno == EINTR || errno == ECONNABORTED)
          continue;
        break; // EAGAIN: nothing more waits
      }
      Fd guard(conn);
      if (ServeConnection(conn))
        ++count;
    }
    if (handled)
      *handled = count;
    return noErr;
  });
}

} // extern "C"
