/*
 * File Manager: the contents of files. Opening, reading and writing the
 * data and resource forks of files, marks and ends of file, the parameter-
 * block forms with their asynchronous variants, the FSRef fork calls,
 * creating, deleting, renaming and locking files, and Finder information.
 *
 * A file's data fork is the Linux file itself. Its resource fork and its
 * Finder information live in the AppleDouble sidecar "._name" beside it
 * (big-endian; entries this platform does not know are kept). The sidecar
 * follows renames and deletions made through these calls and is removed as
 * soon as everything it holds is back to the defaults (zero Finder
 * information, an empty resource fork, no other entries).
 *
 * A locked item is one whose owner-write permission bit is clear. Opening
 * a locked file for writing gives permErr; deleting, renaming or changing
 * the Finder information of a locked item gives fLckdErr. A file with an
 * open fork is busy: deleting it gives fBsyErr.
 *
 * Asynchronous requests (PBReadAsync, PBWriteAsync) complete inside the
 * call, unless a test has asked for delayed completion: ioResult is then 1
 * (in progress) on return and changes to the final result, on another
 * thread, once the delay has passed.
 *
 *     SInt16 ref;
 *     OSErr err = FSpOpenDF(&spec, fsRdPerm, &ref);
 *     if (err == noErr) {
 *       SInt32 count = sizeof buffer;
 *       err = FSRead(ref, &count, buffer);   // eofErr: fewer bytes were left
 *       FSClose(ref);
 *     }
 */
#ifndef PLATFORM_FILES_FORKS_H
#define PLATFORM_FILES_FORKS_H

#include "platform/files/Files.h"

PLATFORM_BEGIN_DECLS

/* Access permissions. */
enum {
  fsCurPerm = 0,   /* read and write when allowed, else read only */
  fsRdPerm = 1,
  fsWrPerm = 2,
  fsRdWrPerm = 3,  /* exclusive: no other path may write */
  fsRdWrShPerm = 4 /* shared read and write */
};

/* Position modes and cache hints (the hints are accepted and ignored: the
 * system's page cache decides). */
enum {
  fsAtMark = 0,
  fsFromStart = 1,
  fsFromLEOF = 2,
  fsFromMark = 3,
  pleaseCacheMask = 0x0010,
  noCacheMask = 0x0020,
  rdVerifyMask = 0x0040
};

/* Script codes for FSpCreate. */
enum { smSystemScript = -1, smCurrentScript = -2, smRoman = 0 };

typedef void (*IOCompletionProcPtr)(void *paramBlock);

/* The I/O parameter block of PBRead, PBWrite and PBFlushFile. */
typedef struct IOParam {
  QL_PARAM_BLOCK_HEADER;
  SInt16 ioRefNum;
  SInt8 ioVersNum;
  SInt8 ioPermssn;
  Ptr ioMisc;
  Ptr ioBuffer;
  SInt32 ioReqCount;
  SInt32 ioActCount;
  SInt16 ioPosMode;
  SInt32 ioPosOffset;
} IOParam;

typedef union ParamBlockRec {
  IOParam ioParam;
} ParamBlockRec;
typedef ParamBlockRec *ParmBlkPtr;

/* File control block information (PBGetFCBInfoSync). */
typedef struct FCBPBRec {
  QL_PARAM_BLOCK_HEADER;
  SInt16 ioRefNum;
  SInt16 filler;
  SInt16 ioFCBIndx; /* 0: describe ioRefNum; n > 0: the n-th open fork */
  SInt16 filler1;
  SInt32 ioFCBFlNm; /* the file's number */
  UInt16 ioFCBFlags;
  UInt16 ioFCBStBlk;
  SInt32 ioFCBEOF;
  SInt32 ioFCBPLen;
  SInt32 ioFCBCrPs; /* the mark */
  SInt16 ioFCBVRefNum;
  SInt32 ioFCBClpSiz;
  SInt32 ioFCBParID;
} FCBPBRec;
typedef FCBPBRec *FCBPBPtr;

/* ioFCBFlags bits. */
enum {
  kioFCBWriteMask = 0x0100,
  kioFCBResourceMask = 0x0200,
  kioFCBFileLockedMask = 0x2000,
  kioFCBSharedWriteMask = 0x1000
};

/* File information by volume, directory and name (PBHGetFInfoSync). */
typedef struct HFileParam {
  QL_PARAM_BLOCK_HEADER;
  SInt16 ioFRefNum;
  SInt8 ioFVersNum;
  SInt8 filler1;
  SInt16 ioFDirIndex;
  SInt8 ioFlAttrib;
  SInt8 ioFlVersNum;
  FInfo ioFlFndrInfo;
  SInt32 ioDirID;
  UInt16 ioFlStBlk;
  SInt32 ioFlLgLen;
  SInt32 ioFlPyLen;
  UInt16 ioFlRStBlk;
  SInt32 ioFlRLgLen;
  SInt32 ioFlRPyLen;
  UInt32 ioFlCrDat;
  UInt32 ioFlMdDat;
} HFileParam;

typedef union HParamBlockRec {
  HFileParam fileParam;
} HParamBlockRec;
typedef HParamBlockRec *HParmBlkPtr;

/* ---- Opening and closing --------------------------------------------------
 * Each open gives a new reference number (positive, 16-bit) with its own
 * mark at 0. Errors: fnfErr (no such file), dirNFErr, nsvErr, notAFileErr
 * (a folder), permErr (write access to a locked file), opWrErr (write
 * access while another path writes exclusively; *refNum then receives
 * that path's number), tmfoErr (too many open forks), paramErr (null
 * arguments, unknown permission). */
PLATFORM_API OSErr FSpOpenDF(const FSSpec *spec, SInt8 permission, SInt16 *refNum) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr FSpOpenRF(const FSSpec *spec, SInt8 permission, SInt16 *refNum) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr HOpenDF(SInt16 vRefNum, SInt32 dirID, ConstStr255Param fileName, SInt8 permission,
                           SInt16 *refNum) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr HOpenRF(SInt16 vRefNum, SInt32 dirID, ConstStr255Param fileName, SInt8 permission,
                           SInt16 *refNum) PLATFORM_NOEXCEPT;
/* Closes the path (rnfErr for a number that is not open). */
PLATFORM_API OSErr FSClose(SInt16 refNum) PLATFORM_NOEXCEPT;

/* ---- Reading and writing at the mark --------------------------------------
 * FSRead reads *count bytes at the mark; when fewer are left it reads what
 * there is and returns eofErr. *count receives the bytes transferred in
 * every case. A negative count is paramErr. FSWrite writes at the mark,
 * extending the end of file as needed (wrPermErr on a read-only path,
 * dskFulErr when the disk is full). Both move the mark past the bytes
 * transferred. */
PLATFORM_API OSErr FSRead(SInt16 refNum, SInt32 *count, void *buffPtr) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr FSWrite(SInt16 refNum, SInt32 *count, const void *buffPtr) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr GetFPos(SInt16 refNum, SInt32 *filePos) PLATFORM_NOEXCEPT;
/* Moves the mark. A position before the start is posErr (the mark does not
 * move); past the end of file it is eofErr with the mark at the end. */
PLATFORM_API OSErr SetFPos(SInt16 refNum, SInt16 posMode, SInt32 posOff) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr GetEOF(SInt16 refNum, SInt32 *logEOF) PLATFORM_NOEXCEPT;
/* Sets the fork's length (new bytes read as zeros); a mark past the new
 * end moves to it. wrPermErr on a read-only path. */
PLATFORM_API OSErr SetEOF(SInt16 refNum, SInt32 logEOF) PLATFORM_NOEXCEPT;

/* ---- Parameter blocks -----------------------------------------------------
 * ioRefNum, ioBuffer, ioReqCount, ioPosMode (low two bits: fsAtMark,
 * fsFromStart, fsFromLEOF, fsFromMark; cache hints ignored) and
 * ioPosOffset in; ioActCount, ioPosOffset (the new mark) and ioResult out.
 * The asynchronous forms call ioCompletion (when not null) with the block
 * once the request is done; they return the request's result when it
 * completed inside the call, else noErr with ioResult 1 (in progress). */
PLATFORM_API OSErr PBReadSync(ParmBlkPtr paramBlock) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr PBReadAsync(ParmBlkPtr paramBlock) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr PBWriteSync(ParmBlkPtr paramBlock) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr PBWriteAsync(ParmBlkPtr paramBlock) PLATFORM_NOEXCEPT;
/* Writes the fork's data to the disk (ioRefNum). */
PLATFORM_API OSErr PBFlushFileSync(ParmBlkPtr paramBlock) PLATFORM_NOEXCEPT;
/* Describes the open fork ioRefNum (ioFCBIndx 0) or the n-th open fork
 * (ioFCBIndx n > 0, which also sets ioRefNum): ioNamePtr (when not null)
 * receives the file's current name, the volume, parent ID, file number,
 * flags, end of file and mark are filled. rnfErr for a number that is not
 * open, fnfErr past the last open fork. */
PLATFORM_API OSErr PBGetFCBInfoSync(FCBPBPtr paramBlock) PLATFORM_NOEXCEPT;
/* The catalog information of a file by ioVRefNum, ioDirID and ioNamePtr
 * (ioFDirIndex 0), or the n-th item of ioDirID (ioFDirIndex n > 0).
 * fnfErr for a missing item or a folder. */
PLATFORM_API OSErr PBHGetFInfoSync(HParmBlkPtr paramBlock) PLATFORM_NOEXCEPT;
/* Writes everything pending on the volume to the disk. volName is
 * ignored; vRefNum 0 is the default volume. nsvErr for an unknown volume. */
PLATFORM_API OSErr FlushVol(ConstStr63Param volName, SInt16 vRefNum) PLATFORM_NOEXCEPT;

/* ---- Fork calls (64-bit) --------------------------------------------------
 * Fork names: empty (length 0) is the data fork, "RESOURCE_FORK" the
 * resource fork; any other name is errFSForkNotFound. Fork reference
 * numbers share the numbers of the calls above. */
PLATFORM_API OSErr FSGetDataForkName(HFSUniStr255 *dataForkName) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr FSGetResourceForkName(HFSUniStr255 *resourceForkName) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr FSOpenFork(const FSRef *ref, UniCharCount forkNameLength, const UniChar *forkName,
                              SInt8 permissions, SInt16 *forkRefNum) PLATFORM_NOEXCEPT;
/* Reads at the position given (position mode as above, offset 64-bit);
 * eofErr when fewer than requestCount bytes were left. *actualCount (may
 * be null) receives the bytes read in every case. */
PLATFORM_API OSErr FSReadFork(SInt16 forkRefNum, UInt16 positionMode, SInt64 positionOffset,
                              ByteCount requestCount, void *buffer, ByteCount *actualCount) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr FSWriteFork(SInt16 forkRefNum, UInt16 positionMode, SInt64 positionOffset,
                               ByteCount requestCount, const void *buffer, ByteCount *actualCount) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr FSGetForkPosition(SInt16 forkRefNum, SInt64 *position) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr FSSetForkPosition(SInt16 forkRefNum, UInt16 positionMode, SInt64 positionOffset) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr FSGetForkSize(SInt16 forkRefNum, SInt64 *forkSize) PLATFORM_NOEXCEPT;
/* Sets the fork's size to the position given (fsFromStart, fsFromLEOF,
 * fsFromMark or fsAtMark). */
PLATFORM_API OSErr FSSetForkSize(SInt16 forkRefNum, UInt16 positionMode, SInt64 positionOffset) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr FSCloseFork(SInt16 forkRefNum) PLATFORM_NOEXCEPT;

/* ---- Creating, deleting, renaming, locking ---------------------------------
 * FSpCreate makes an empty file with the given type and creator (dupFNErr
 * when the name is taken, dirNFErr when the folder is missing, bdNamErr
 * for an empty name). A scriptTag of 0 or more is recorded in the file's
 * extended Finder information; smSystemScript and smCurrentScript stand
 * for Roman, the default. */
PLATFORM_API OSErr FSpCreate(const FSSpec *spec, OSType creator, OSType fileType, ScriptCode scriptTag) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr HCreate(SInt16 vRefNum, SInt32 dirID, ConstStr255Param fileName, OSType creator,
                           OSType fileType) PLATFORM_NOEXCEPT;
/* Deletes a file or an empty folder, with its sidecar. fLckdErr for a
 * locked item, fBsyErr for a file with an open fork or a folder that is
 * not empty. */
PLATFORM_API OSErr FSpDelete(const FSSpec *spec) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr HDelete(SInt16 vRefNum, SInt32 dirID, ConstStr255Param fileName) PLATFORM_NOEXCEPT;
/* Renames an item in place; its sidecar follows. dupFNErr when another
 * item has the new name, fLckdErr for a locked item, bdNamErr for an empty
 * name or one with ':'. */
PLATFORM_API OSErr FSpRename(const FSSpec *spec, ConstStr255Param newName) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr HRename(SInt16 vRefNum, SInt32 dirID, ConstStr255Param oldName,
                           ConstStr255Param newName) PLATFORM_NOEXCEPT;
/* Locks (clears the owner-write bit) and unlocks (sets it). */
PLATFORM_API OSErr FSpSetFLock(const FSSpec *spec) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr FSpRstFLock(const FSSpec *spec) PLATFORM_NOEXCEPT;
/* Finder information of a file (fnfErr for a folder). FSpSetFInfo stores
 * it in the sidecar (fLckdErr for a locked file). */
PLATFORM_API OSErr FSpGetFInfo(const FSSpec *spec, FInfo *fndrInfo) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr FSpSetFInfo(const FSSpec *spec, const FInfo *fndrInfo) PLATFORM_NOEXCEPT;

/* ---- Test hooks ------------------------------------------------------------*/
/* Number of forks open through these calls (the application's own fork
 * of LMGetCurApRefNum is not counted). */
PLATFORM_API SInt32 PlatformOpenForkCount(void) PLATFORM_NOEXCEPT;
/* From now on the n-th fork transfer (a read, a write or a change of a
 * fork's size, counting from 1) fails with err; 0 disarms. */
PLATFORM_API void PlatformFailNthForkIO(UInt32 n, OSErr err) PLATFORM_NOEXCEPT;
PLATFORM_API Boolean PlatformForkIOFailureInjected(void) PLATFORM_NOEXCEPT;
/* Delays the completion of asynchronous requests by the given number of
 * milliseconds (0: they complete inside the call, the default). */
PLATFORM_API void PlatformSetAsyncCompletionDelay(UInt32 milliseconds) PLATFORM_NOEXCEPT;

PLATFORM_END_DECLS

#endif
