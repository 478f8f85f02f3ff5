/*
 * Process Manager: serial numbers, the process list, process information,
 * the front process, launching applications with documents, and the
 * delivery of Apple events to other processes.
 *
 * A process serial number is {highLongOfPSN = process ID, lowLongOfPSN =
 * the low 32 bits of its start time in clock ticks since boot (field 22 of
 * /proc/PID/stat)}, so a reused process ID never names an earlier process.
 * The constants keep their meaning: {0, kNoProcess} before the first
 * process of a list, {0, kSystemProcess}, {0, kCurrentProcess} for this
 * process.
 *
 * The process list holds, in this order: this process; then, sorted by
 * serial number, every process that listens for events
 * (PlatformListenForEvents, in any program linked with the platform) and
 * every child this process launched that has not yet exited. Each process
 * has an application file: for a child, the file it was launched from (a
 * script's /proc/PID/exe would name its interpreter instead); otherwise
 * /proc/PID/exe. Its Finder type and creator, read through the File
 * Manager, are the process's type and signature.
 *
 * Launching starts the program with posix_spawn (an absolute path, no
 * shell, the environment of this process, default signal dispositions) and
 * does not wait. The documents of an open-documents event carried in the
 * launch parameters become the program's arguments, as absolute POSIX
 * paths, in order. Exited children are reaped whenever the list is asked
 * for, at each launch, and by PlatformReapChildren; their exit status stays
 * available to PlatformWaitForProcess.
 *
 * Events: a program that listens has a Unix-domain socket named after its
 * serial number ("psn-PID-START.sock") in the event directory,
 * $XDG_RUNTIME_DIR/quillomat-events, or /tmp/quillomat-events-UID when
 * XDG_RUNTIME_DIR is unset or unusable (made with mode 0700 and refused
 * unless it is a directory owned by this user that nobody else may enter).
 * AESend to another process goes through the transport this library
 * installs in the Apple Event Manager:
 *   - a listening target gets the flattened event over its socket, where
 *     PlatformServeEvents hands it to the handlers installed with
 *     AEInstallEventHandler;
 *   - a target that does not listen (a child this process launched, running
 *     or not) and gets an open-documents event ('aevt'/'odoc') is answered
 *     by a new instance of its application, launched with those documents
 *     as arguments; a quit event ('aevt'/'quit') sends it SIGTERM; other
 *     events give connectionInvalid;
 *   - any other serial number gives procNotFound.
 *
 *     ProcessSerialNumber psn = {0, kNoProcess};
 *     ProcessInfoRec info;
 *     while (GetNextProcess(&psn) == noErr) {
 *       info.processInfoLength = sizeof info;
 *       info.processName = NULL;
 *       info.processAppSpec = NULL;
 *       if (GetProcessInformation(&psn, &info) == noErr) ...
 *     }
 *
 * Thread safety: every call may be made from any thread.
 */
#ifndef PLATFORM_PROCESSES_PROCESSES_H
#define PLATFORM_PROCESSES_PROCESSES_H

#include "platform/core/MacErrors.h"
#include "platform/core/MacTypes.h"
#include "platform/files/Files.h"

PLATFORM_BEGIN_DECLS

/* Shared with the Apple Event Manager's header, which defines the same
 * guard. */
#ifndef QL_PROCESS_SERIAL_NUMBER_DEFINED
#define QL_PROCESS_SERIAL_NUMBER_DEFINED
typedef struct ProcessSerialNumber {
  UInt32 highLongOfPSN;
  UInt32 lowLongOfPSN;
} ProcessSerialNumber;
typedef ProcessSerialNumber *ProcessSerialNumberPtr;
enum { kNoProcess = 0, kSystemProcess = 1, kCurrentProcess = 2 };
#endif

/* processMode bits. */
enum {
  modeOnlyBackground = 0x00000400,
  modeCanBackground = 0x00001000,
  modeHighLevelEventAware = 0x00000040,
  modeLocalAndRemoteHLEvents = 0x00000020
};

/* Process information. processInfoLength tells which fields the caller
 * wants, by the record's size on the original 32-bit platform: a field is
 * filled when it ends within processInfoLength bytes of that layout
 * (offsets: processName 4, processNumber 8, processType 16,
 * processSignature 20, processMode 24, processLocation 28, processSize 32,
 * processFreeMem 36, processLauncher 40, processLaunchDate 48,
 * processActiveTime 52, processAppSpec 56; 60 covers them all).
 * sizeof(ProcessInfoRec) is accepted too and also covers them all. */
typedef struct ProcessInfoRec {
  UInt32 processInfoLength;
  StringPtr processName;             /* in: NULL or 32 bytes for the name (Str31) */
  ProcessSerialNumber processNumber;
  UInt32 processType;                /* the application file's Finder type */
  OSType processSignature;           /* the application file's creator */
  UInt32 processMode;                /* modeCanBackground, + modeHighLevelEventAware when listening */
  Ptr processLocation;               /* NULL */
  UInt32 processSize;                /* resident bytes (capped at 0xFFFFFFFF) */
  UInt32 processFreeMem;             /* 0 */
  ProcessSerialNumber processLauncher; /* the parent's serial number, or {0, kNoProcess} */
  UInt32 processLaunchDate;          /* start, in ticks (1/60 s) since boot */
  UInt32 processActiveTime;          /* 0 */
  FSSpecPtr processAppSpec;          /* in: NULL or an FSSpec for the application file */
} ProcessInfoRec;
typedef ProcessInfoRec *ProcessInfoRecPtr;
enum { kProcessInfoRecLength32 = 60 };

/* Launch control flags. */
typedef UInt16 LaunchFlags;
enum {
  launchContinue = 0x4000,
  launchNoFileFlags = 0x0800,
  launchUseMinimum = 0x0400,
  launchDontSwitch = 0x0200,
  launchAllow24Bit = 0x0100,
  launchInhibitDaemon = 0x0080
};
enum {
  extendedBlock = 0x4C43, /* 'LC' */
  /* The size of the launch block after launchEPBLength, on the original
   * 32-bit platform. */
  extendedBlockLen = 32
};

/* The launch parameters: the bytes of an Apple event coerced to
 * typeAppParameters ('appa'), i.e. its flattened form (see AEFlattenDesc),
 * which records its own length. */
typedef struct AppParameters AppParameters;
typedef AppParameters *AppParametersPtr;

typedef struct LaunchParamBlockRec {
  UInt32 reserved1;
  UInt16 reserved2;
  UInt16 launchBlockID;        /* extendedBlock */
  UInt32 launchEPBLength;      /* extendedBlockLen */
  UInt16 launchFileFlags;      /* recorded, otherwise ignored */
  LaunchFlags launchControlFlags;
  FSSpecPtr launchAppSpec;     /* the program */
  ProcessSerialNumber launchProcessSN; /* out: the new process */
  UInt32 launchPreferredSize;  /* out: 0 */
  UInt32 launchMinimumSize;    /* out: 0 */
  UInt32 launchAvailableSize;  /* out: 0 */
  AppParametersPtr launchAppParameters; /* NULL, or 'appa' bytes */
} LaunchParamBlockRec;
typedef LaunchParamBlockRec *LaunchPBPtr;

/* This process. paramErr for NULL. */
PLATFORM_API OSErr GetCurrentProcess(ProcessSerialNumber *PSN) PLATFORM_NOEXCEPT;
/* Replaces *PSN with the process after it in the list ({0, kNoProcess}:
 * the first; {0, kCurrentProcess}: this process); procNotFound after the
 * last; paramErr for NULL or {0, kSystemProcess}. A serial number that is
 * no longer in the list still steps to the next one by order. */
PLATFORM_API OSErr GetNextProcess(ProcessSerialNumber *PSN) PLATFORM_NOEXCEPT;
/* Fills info (see ProcessInfoRec) for a process of the list; procNotFound
 * when it is not in the list; paramErr for NULL arguments or a length
 * under 4. processName and processAppSpec are written only when not NULL;
 * the name is the application file's (Mac Roman, at most 31 bytes). */
PLATFORM_API OSErr GetProcessInformation(const ProcessSerialNumber *PSN, ProcessInfoRec *info) PLATFORM_NOEXCEPT;
/* Records the process as the front one: a running process of the list, or
 * a child launched from here (when an event to it started a new instance,
 * that newest instance is recorded). procNotFound otherwise. */
PLATFORM_API OSErr SetFrontProcess(const ProcessSerialNumber *PSN) PLATFORM_NOEXCEPT;
/* The recorded front process (this process until another is recorded). */
PLATFORM_API OSErr GetFrontProcess(ProcessSerialNumber *PSN) PLATFORM_NOEXCEPT;
/* *result = whether both name the same process ({0, kCurrentProcess}
 * equals this process's own number). */
PLATFORM_API OSErr SameProcess(const ProcessSerialNumber *PSN1, const ProcessSerialNumber *PSN2,
                               Boolean *result) PLATFORM_NOEXCEPT;
/* Process ID of a serial number (procNotFound for a process that is not
 * running), and the serial number of a running process ID. */
PLATFORM_API OSStatus GetProcessPID(const ProcessSerialNumber *psn, SInt32 *pid) PLATFORM_NOEXCEPT;
PLATFORM_API OSStatus GetProcessForPID(SInt32 pid, ProcessSerialNumber *psn) PLATFORM_NOEXCEPT;

/* Launches the application of launchAppSpec (see the top of this file).
 * The arguments: the program's absolute path, then the documents of an
 * 'aevt'/'odoc' event in launchAppParameters (any other event adds none).
 * Without launchDontSwitch the new process is recorded as the front one.
 * launchContinue is assumed (this process never quits for a launch).
 * Results: noErr with launchProcessSN set; paramErr (NULL block, a block
 * ID other than extendedBlock, a length under extendedBlockLen, no
 * application); fnfErr (no such file, or a folder); the error of a
 * document that cannot be resolved or of malformed parameters
 * (errAECorruptData), and then nothing is launched; permErr and the other
 * File Manager codes for a program that cannot be executed. */
PLATFORM_API OSErr LaunchApplication(LaunchPBPtr LaunchParams) PLATFORM_NOEXCEPT;

/* ---- Listening for events ----------------------------------------------- */
/* Makes this process listen: creates its socket in the event directory
 * (noErr when it already listens). The socket is removed at exit and by
 * PlatformStopListeningForEvents. Errors: the File Manager code of the
 * failing system call, or bdNamErr when the socket path is too long. */
PLATFORM_API OSErr PlatformListenForEvents(void) PLATFORM_NOEXCEPT;
PLATFORM_API void PlatformStopListeningForEvents(void) PLATFORM_NOEXCEPT;
/* The listening socket (readable when events wait), for a program's own
 * poll loop; -1 when not listening. */
PLATFORM_API int PlatformEventListenerFD(void) PLATFORM_NOEXCEPT;
/* Waits up to timeoutMs (0: only what is already there; negative: until
 * something comes) for events, and dispatches every event that arrived to
 * the installed handlers (PlatformAEDispatchEvent), on the calling thread.
 * The dispatched event carries keyOriginalAddressAttr (the sender's serial
 * number) and keyEventSourceAttr (kAELocalProcess). *handled (may be NULL)
 * receives the number of events dispatched. connectionInvalid when this
 * process does not listen. */
PLATFORM_API OSErr PlatformServeEvents(SInt32 timeoutMs, SInt32 *handled) PLATFORM_NOEXCEPT;
/* The event directory (made when missing), NUL-terminated; errFSNameTooLong
 * when it does not fit in size bytes. */
PLATFORM_API OSErr PlatformEventDirectory(char *buffer, UInt32 size) PLATFORM_NOEXCEPT;

/* ---- Children ----------------------------------------------------------- */
/* The application file of a process of the list (absolute path). */
PLATFORM_API OSErr PlatformGetProcessApplicationPath(const ProcessSerialNumber *psn, char *buffer,
                                                     UInt32 size) PLATFORM_NOEXCEPT;
/* Reaps the children that have exited; returns how many. */
PLATFORM_API SInt32 PlatformReapChildren(void) PLATFORM_NOEXCEPT;
/* Waits up to timeoutMs (negative: without limit) for a child launched
 * from here to exit; *waitStatus (may be NULL) receives its status as
 * waitpid gives it. procNotFound for a process that is not such a child;
 * errAETimeout when it still runs. */
PLATFORM_API OSErr PlatformWaitForProcess(const ProcessSerialNumber *psn, SInt32 timeoutMs,
                                          SInt32 *waitStatus) PLATFORM_NOEXCEPT;

/* Installs the event transport and the current-process lookup in the Apple
 * Event Manager. Done once by the first Process Manager call (any call that
 * names this process, lists, launches or listens); call it again after
 * PlatformResetAppleEvents, or before sending to another process when no
 * Process Manager call came first. */
PLATFORM_API void PlatformInstallProcessHooks(void) PLATFORM_NOEXCEPT;

/* ---- Test hooks: the launch log and counts ---------------------------- */
typedef struct PlatformLaunchRecord {
  ProcessSerialNumber process;  /* the new process ({0,0} when none started) */
  SInt32 pid;
  OSErr result;
  Boolean forEvent;             /* a new instance for an event sent to a running program */
  UInt16 launchBlockID;         /* the block as received (forEvent: as made) */
  UInt32 launchEPBLength;
  UInt16 launchFileFlags;
  UInt16 launchControlFlags;
  Boolean hadAppSpec;
  FSSpec appSpec;
  const char *programPath;      /* valid while the record is in the log */
  SInt32 argumentCount;         /* arguments after the program path */
  Size parametersSize;          /* a copy of the 'appa' bytes (forEvent: the flattened event) */
  const void *parameters;       /* NULL when there were none */
} PlatformLaunchRecord;

/* The log keeps the newest launches (1,024 unless set below); indexes count
 * every launch since the last reset, so an index stays the same launch, and
 * a record pushed out reads as outside the log. The process table likewise
 * forgets the oldest exited children past the limit (running ones stay). */
PLATFORM_API SInt32 PlatformLaunchLogCount(void) PLATFORM_NOEXCEPT;
/* Record index (0-based, in launch order); paramErr outside the log. */
PLATFORM_API OSErr PlatformGetLaunchRecord(SInt32 index, PlatformLaunchRecord *record) PLATFORM_NOEXCEPT;
/* Argument argIndex (0-based, after the program path) of launch index, or
 * NULL. Valid while the record is in the log. */
PLATFORM_API const char *PlatformGetLaunchArgument(SInt32 index, SInt32 argIndex) PLATFORM_NOEXCEPT;
/* Empties the log and zeroes the counts (children stay known). */
PLATFORM_API void PlatformResetLaunchLog(void) PLATFORM_NOEXCEPT;
/* Sets how many launches the log, and how many exited children the table,
 * keep (at least 1; other values change nothing); returns the previous. */
PLATFORM_API SInt32 PlatformSetLaunchHistoryLimit(SInt32 entries) PLATFORM_NOEXCEPT;

enum {
  kPlatformProcessLaunches = 1,      /* processes started (both ways) */
  kPlatformProcessNewInstances = 2,  /* of which for events to running programs */
  kPlatformProcessEventsSent = 3,    /* events written to a listener's socket */
  kPlatformProcessEventsReceived = 4,/* events dispatched by PlatformServeEvents */
  kPlatformProcessFrontChanges = 5,  /* front process recorded */
  kPlatformProcessReaped = 6         /* children reaped */
};
PLATFORM_API SInt32 PlatformProcessCount(SInt32 which) PLATFORM_NOEXCEPT;

PLATFORM_END_DECLS

#endif
