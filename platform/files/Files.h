/*
 * File Manager over POSIX: volumes, directory IDs, FSSpec and FSRef, and
 * catalog lookups.
 *
 * Items live on real Linux file systems. Each mount is a volume ('/' is -1);
 * a directory gets a directory ID when first met (2 is a volume's root, 1
 * the root's parent, new IDs count up from 16 and are never reused). Names
 * in FSSpec records and parameter blocks are Mac Roman; names on disk are
 * UTF-8 with ':' and '/' swapped. A name that an FSSpec cannot hold (over 31
 * bytes, outside Mac Roman, or not valid UTF-8) is reported as a short
 * mangled name, "start#NODEID.ext", which every lookup accepts and maps back
 * to the same item; the full name stays available as UTF-16 through the
 * FSRef calls. Catalog order is the names sorted case-insensitively (ASCII
 * folding, raw bytes breaking ties). AppleDouble sidecars ("._name") hold
 * Finder information and never appear in listings.
 *
 *     FSSpec spec;
 *     OSErr err = FSMakeFSSpec(vRefNum, dirID, "\pReadMe", &spec);
 *     FSRef ref;
 *     if (err == noErr) err = FSpMakeFSRef(&spec, &ref);
 */
#ifndef PLATFORM_FILES_FILES_H
#define PLATFORM_FILES_FILES_H

#include "platform/core/MacErrors.h"
#include "platform/core/MacTypes.h"

PLATFORM_BEGIN_DECLS

typedef SInt16 FSVolumeRefNum;

enum {
  fsRtParID = 1, /* parent of a volume's root */
  fsRtDirID = 2  /* a volume's root directory */
};

#pragma pack(push, 2)
typedef struct FSSpec {
  SInt16 vRefNum;
  SInt32 parID;
  Str63 name;
} FSSpec;
#pragma pack(pop)
typedef FSSpec *FSSpecPtr;

typedef struct FSRef {
  UInt8 hidden[80];
} FSRef;
typedef FSRef *FSRefPtr;

typedef struct HFSUniStr255 {
  UInt16 length;
  UniChar unicode[255];
} HFSUniStr255;

typedef struct FInfo {
  OSType fdType;
  OSType fdCreator;
  UInt16 fdFlags;
  Point fdLocation;
  SInt16 fdFldr;
} FInfo;

typedef struct FXInfo {
  SInt16 fdIconID;
  SInt16 fdReserved[3];
  SInt8 fdScript;
  SInt8 fdXFlags;
  SInt16 fdComment;
  SInt32 fdPutAway;
} FXInfo;

typedef struct DInfo {
  Rect frRect;
  UInt16 frFlags;
  Point frLocation;
  SInt16 frView;
} DInfo;

typedef struct DXInfo {
  Point frScroll;
  SInt32 frOpenChain;
  SInt8 frScript;
  SInt8 frXFlags;
  SInt16 frComment;
  SInt32 frPutAway;
} DXInfo;

/* Finder flags. */
enum {
  kIsOnDesk = 0x0001,
  kIsShared = 0x0040,
  kHasNoINITs = 0x0080,
  kHasBeenInited = 0x0100,
  kHasCustomIcon = 0x0400,
  kIsStationery = 0x0800,
  kNameLocked = 0x1000,
  kHasBundle = 0x2000,
  kIsInvisible = 0x4000,
  kIsAlias = 0x8000
};

/* ioFlAttrib bits. */
enum {
  kioFlAttribLockedMask = 0x01,
  kioFlAttribResOpenMask = 0x04,
  kioFlAttribDataOpenMask = 0x08,
  kioFlAttribDirMask = 0x10,
  ioDirMask = 0x10,
  kioFlAttribFileOpenMask = 0x80
};

#define QL_PARAM_BLOCK_HEADER                                                  \
  void *qLink;                                                                 \
  SInt16 qType;                                                                \
  SInt16 ioTrap;                                                               \
  Ptr ioCmdAddr;                                                               \
  void *ioCompletion;                                                          \
  volatile OSErr ioResult;                                                     \
  StringPtr ioNamePtr;                                                         \
  SInt16 ioVRefNum

/* Catalog information of a file. */
typedef struct HFileInfo {
  QL_PARAM_BLOCK_HEADER;
  SInt16 ioFRefNum;
  SInt8 ioFVersNum;
  SInt8 filler1;
  SInt16 ioFDirIndex; /* 0: by name; n > 0: the n-th item; -1: the directory itself */
  SInt8 ioFlAttrib;   /* 0x10: a folder; 0x01: locked */
  SInt8 ioACUser;
  FInfo ioFlFndrInfo;
  SInt32 ioDirID; /* in: the directory; out: a file's number */
  UInt16 ioFlStBlk;
  SInt32 ioFlLgLen;
  SInt32 ioFlPyLen;
  UInt16 ioFlRStBlk;
  SInt32 ioFlRLgLen;
  SInt32 ioFlRPyLen;
  UInt32 ioFlCrDat;
  UInt32 ioFlMdDat;
  UInt32 ioFlBkDat;
  FXInfo ioFlXFndrInfo;
  SInt32 ioFlParID;
  SInt32 ioFlClpSiz;
} HFileInfo;

/* Catalog information of a folder. The fields shared with HFileInfo
 * (attributes, Finder information, IDs, dates, parent ID) lie at the same
 * offsets, so code may read either view of a CInfoPBRec for them. */
typedef struct DirInfo {
  QL_PARAM_BLOCK_HEADER;
  SInt16 ioFRefNum;
  SInt8 ioFVersNum;
  SInt8 filler1;
  SInt16 ioFDirIndex;
  SInt8 ioFlAttrib;
  SInt8 ioACUser;
  DInfo ioDrUsrWds __attribute__((aligned(4))); /* level with ioFlFndrInfo */
  SInt32 ioDrDirID;
  UInt16 ioDrNmFls; /* items in the folder */
  SInt16 filler3[11]; /* keeps the fields below level with HFileInfo's */
  UInt32 ioDrCrDat;
  UInt32 ioDrMdDat;
  UInt32 ioDrBkDat;
  DXInfo ioDrFndrInfo;
  SInt32 ioDrParID;
} DirInfo;

typedef union CInfoPBRec {
  HFileInfo hFileInfo;
  DirInfo dirInfo;
} CInfoPBRec;
typedef CInfoPBRec *CInfoPBPtr;

#pragma pack(push, 2)
typedef struct UTCDateTime {
  UInt16 highSeconds;
  UInt32 lowSeconds;
  UInt16 fraction;
} UTCDateTime;
#pragma pack(pop)

typedef UInt32 FSCatalogInfoBitmap;
enum {
  kFSCatInfoNone = 0x00000000,
  kFSCatInfoTextEncoding = 0x00000001,
  kFSCatInfoNodeFlags = 0x00000002,
  kFSCatInfoVolume = 0x00000004,
  kFSCatInfoParentDirID = 0x00000008,
  kFSCatInfoNodeID = 0x00000010,
  kFSCatInfoCreateDate = 0x00000020,
  kFSCatInfoContentMod = 0x00000040,
  kFSCatInfoAttrMod = 0x00000080,
  kFSCatInfoAccessDate = 0x00000100,
  kFSCatInfoBackupDate = 0x00000200,
  kFSCatInfoPermissions = 0x00000400,
  kFSCatInfoFinderInfo = 0x00000800,
  kFSCatInfoFinderXInfo = 0x00001000,
  kFSCatInfoValence = 0x00002000,
  kFSCatInfoDataSizes = 0x00004000,
  kFSCatInfoRsrcSizes = 0x00008000,
  kFSCatInfoSharingFlags = 0x00010000,
  kFSCatInfoUserPrivs = 0x00020000,
  kFSCatInfoGettableInfo = 0x0003FFFF
};

enum { kFSNodeLockedMask = 0x0001, kFSNodeIsDirectoryMask = 0x0010 };

typedef struct FSCatalogInfo {
  UInt16 nodeFlags;
  FSVolumeRefNum volume;
  UInt32 parentDirID;
  UInt32 nodeID;
  UInt8 sharingFlags;
  UInt8 userPrivileges;
  UInt8 reserved1;
  UInt8 reserved2;
  UTCDateTime createDate;
  UTCDateTime contentModDate;
  UTCDateTime attributeModDate;
  UTCDateTime accessDate;
  UTCDateTime backupDate;
  UInt32 permissions[4]; /* user ID, group ID, mode bits, reserved */
  UInt8 finderInfo[16];
  UInt8 extFinderInfo[16];
  UInt64 dataLogicalSize;
  UInt64 dataPhysicalSize;
  UInt64 rsrcLogicalSize;
  UInt64 rsrcPhysicalSize;
  UInt32 valence;
  TextEncoding textEncodingHint;
} FSCatalogInfo;

/* Catalog lookup (synchronous; ioCompletion is ignored). ioFDirIndex 0
 * looks ioNamePtr up in directory ioDirID of volume ioVRefNum (a null or
 * empty name: the directory itself; a name may be a partial path with ':'
 * separators); n > 0 gives the n-th item of the directory in catalog order
 * and copies its name to ioNamePtr when that is not null; -1 describes the
 * directory itself. Results: noErr; fnfErr (no such item, or n past the
 * end); dirNFErr (no such directory); nsvErr (no such volume);
 * afpAccessDenied (a directory that may not be read); paramErr (null pb).
 * On error no output field is written except ioResult. */
PLATFORM_API OSErr PBGetCatInfoSync(CInfoPBPtr paramBlock) PLATFORM_NOEXCEPT;

/* The same lookup as PBGetCatInfoSync with ioFDirIndex = index, for
 * indexes beyond the 16-bit field (folders of more than 32767 items):
 * index is 1-based; ioFDirIndex is ignored. */
PLATFORM_API OSErr PBGetCatInfoAtIndexSync(CInfoPBPtr paramBlock, UInt32 index) PLATFORM_NOEXCEPT;

/* Makes an FSSpec for name in directory dirID. The parent must exist
 * (dirNFErr otherwise); when the item itself does not exist the FSSpec is
 * still filled and the result is fnfErr. A null or empty name gives the
 * spec of the directory itself. The name may be a partial path. */
PLATFORM_API OSErr FSMakeFSSpec(SInt16 vRefNum, SInt32 dirID, ConstStr255Param fileName,
                                FSSpec *spec) PLATFORM_NOEXCEPT;
/* The FSRef of an existing item (an empty name: the directory parID). */
PLATFORM_API OSErr FSpMakeFSRef(const FSSpec *source, FSRef *newRef) PLATFORM_NOEXCEPT;
/* The FSRef of the item named by nameLength UTF-16 units in the directory
 * parentRef. The hint is ignored. */
PLATFORM_API OSErr FSMakeFSRefUnicode(const FSRef *parentRef, UniCharCount nameLength,
                                      const UniChar *name, TextEncoding textEncodingHint,
                                      FSRef *newRef) PLATFORM_NOEXCEPT;
/* Reads the fields named by whichInfo, and each of the other outputs that
 * is not null: the item's long name, its FSSpec, its parent's FSRef (all
 * zero for a volume's root, which has no parent). Errors: errFSBadFSRef
 * for a reference this process did not make; fnfErr when the item is gone;
 * nothing is written on error. */
PLATFORM_API OSErr FSGetCatalogInfo(const FSRef *ref, FSCatalogInfoBitmap whichInfo,
                                    FSCatalogInfo *catalogInfo, HFSUniStr255 *outName,
                                    FSSpec *fsSpec, FSRef *parentRef) PLATFORM_NOEXCEPT;
/* noErr when both references name the same item, errFSRefsDifferent when
 * not. */
PLATFORM_API OSErr FSCompareFSRefs(const FSRef *ref1, const FSRef *ref2) PLATFORM_NOEXCEPT;
/* The item's absolute POSIX path, NUL-terminated. A buffer too small for
 * it gives errFSNameTooLong and nothing is written. */
PLATFORM_API OSStatus FSRefMakePath(const FSRef *ref, UInt8 *path, UInt32 maxPathSize) PLATFORM_NOEXCEPT;
/* The FSRef of an existing item given its POSIX path (relative paths are
 * taken from the working directory). isDirectory may be null. */
PLATFORM_API OSStatus FSPathMakeRef(const UInt8 *path, FSRef *ref, Boolean *isDirectory) PLATFORM_NOEXCEPT;

/* ---- Test hooks ---------------------------------------------------------*/
enum {
  kPlatformFileOpList = 1,   /* reading a directory's entries */
  kPlatformFileOpLookup = 2, /* reading an item's status */
  kPlatformFileOpAny = 3
};
/* From now on, operation op on the item at the absolute path fails with
 * err, until the faults are cleared. */
PLATFORM_API void PlatformInjectFileError(const char *absolutePath, int op, OSErr err) PLATFORM_NOEXCEPT;
PLATFORM_API void PlatformClearFileErrors(void) PLATFORM_NOEXCEPT;
/* Makes directory a volume of its own (its root is directory 2 of the new
 * volume); *vRefNum receives its number. */
PLATFORM_API OSErr PlatformAddTestVolume(const char *directory, SInt16 *vRefNum) PLATFORM_NOEXCEPT;
PLATFORM_API OSErr PlatformRemoveTestVolume(SInt16 vRefNum) PLATFORM_NOEXCEPT;
/* Forgets cached directory listings (not directory IDs). */
PLATFORM_API void PlatformResetCatalogCache(void) PLATFORM_NOEXCEPT;
/* Number of directory listings cached and of directory IDs registered. */
PLATFORM_API SInt32 PlatformCachedListingCount(void) PLATFORM_NOEXCEPT;
PLATFORM_API SInt32 PlatformDirectoryIDCount(void) PLATFORM_NOEXCEPT;
/* The volume reference and directory ID of an existing directory given by
 * path (a helper for hosts and tests). */
PLATFORM_API OSErr PlatformDirectoryIDForPath(const char *path, SInt16 *vRefNum, SInt32 *dirID) PLATFORM_NOEXCEPT;

PLATFORM_END_DECLS

#endif
