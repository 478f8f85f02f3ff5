/*
 * File-system helpers: catalog queries, item tests, folder listing and
 * walks, and the small string and capability helpers they rest on.
 *
 * Items are addressed three equivalent ways, and most operations come in
 * twins named after them: FSp... takes an FSSpec; FS... or H... takes a
 * volume reference number, a parent directory ID and a Pascal-string name;
 * FSRef... takes an FSRef.
 *
 *     // List a folder's whole tree as FSRefs (80 bytes each).
 *     Handle list; UInt32 count;
 *     OSErr err = FSRefBuildSubItemList(&folderRef, &list, &count);
 *     if (err == noErr) { ...; DisposeHandle(list); }
 *
 * Indexes of folder items are 1-based and 32-bit throughout: folders of more
 * than 32767 items are listed in full, never wrapped.
 */
#ifndef TOOLBOX_FILES_FILETOOLBOX_H
#define TOOLBOX_FILES_FILETOOLBOX_H

#include "platform/core/MacTypes.h"
#include "platform/files/Files.h"
#include "toolbox/common/Export.h"

QL_BEGIN_DECLS

/* ---- Catalog access --------------------------------------------------- */

/* Fills *pb by looking name up in directory dirID (ioFDirIndex 0; a null or
 * empty name: the directory itself). ioNamePtr points at the given name,
 * which the lookup does not change. Returns the lookup's result. */
QL_EXPORT OSErr FSGetCatInfo(SInt16 vRefNum, SInt32 dirID, ConstStr255Param name, CInfoPBRec *pb) QL_NOEXCEPT;
QL_EXPORT OSErr FSpGetCatInfo(const FSSpec *spec, CInfoPBRec *pb) QL_NOEXCEPT;

/* For a folder, its own directory ID; for a file, its parent's. Either out
 * may be null. A lookup error is returned and nothing is written. */
QL_EXPORT OSErr FSGetFolderID(SInt16 vRefNum, SInt32 dirID, ConstStr255Param name, SInt32 *folderID,
                              Boolean *isFolder) QL_NOEXCEPT;
QL_EXPORT OSErr FSpGetFolderID(const FSSpec *spec, SInt32 *folderID, Boolean *isFolder) QL_NOEXCEPT;

/* Makes the FSRef of an existing item, also for names of 32 to 255
 * characters. ref may be null: the result then only tells whether the item
 * exists. A name that cannot be converted to Unicode gives the converter's
 * error. */
QL_EXPORT OSErr HMakeFSRef(SInt16 vRefNum, SInt32 dirID, ConstStr255Param name, FSRef *ref) QL_NOEXCEPT;
/* The twin for a Unicode name; a null name gives the directory's own
 * reference. ref may be null. */
QL_EXPORT OSErr FSMakeFSRef(SInt16 vRefNum, SInt32 dirID, const HFSUniStr255 *name, FSRef *ref) QL_NOEXCEPT;
/* HMakeFSRef, then FSGetCatalogInfo with the same bitmap and outputs (each
 * may be null). */
QL_EXPORT OSErr HGetCatalogInfo(SInt16 vRefNum, SInt32 dirID, ConstStr255Param name,
                                FSCatalogInfoBitmap whichInfo, FSCatalogInfo *catalogInfo,
                                HFSUniStr255 *outName, FSSpec *fsSpec, FSRef *parentRef) QL_NOEXCEPT;
QL_EXPORT OSErr FSRefMakeFSSpec(const FSRef *ref, FSSpec *spec) QL_NOEXCEPT;

/* ---- Item tests ------------------------------------------------------- */

/* A spec whose parent ID is fsRtParID names a volume: a folder, with no
 * lookup. Otherwise bit 4 of the catalog attributes. On error *isFolder is
 * not written. */
QL_EXPORT OSErr FSpIsFolder(const FSSpec *spec, Boolean *isFolder) QL_NOEXCEPT;
QL_EXPORT OSErr FSRefIsFolder(const FSRef *ref, Boolean *isFolder) QL_NOEXCEPT;
/* The Finder type and creator (either out may be null); fnfErr for a
 * folder. */
QL_EXPORT OSErr FSpGetTypeAndCreator(const FSSpec *spec, OSType *fileType, OSType *creator) QL_NOEXCEPT;
/* The item's display name: its long name in Mac Roman (up to 255
 * characters) where it has one that converts, else the FSSpec's own name.
 * Always noErr, except paramErr for a null argument. */
QL_EXPORT OSErr FSpGetName(const FSSpec *spec, StringPtr name) QL_NOEXCEPT;
/* noErr when the item exists, fnfErr when not, or another lookup error. */
QL_EXPORT OSErr FSpExists(const FSSpec *spec) QL_NOEXCEPT;
QL_EXPORT OSErr HExists(SInt16 vRefNum, SInt32 dirID, ConstStr255Param name) QL_NOEXCEPT;
QL_EXPORT OSErr FSExists(SInt16 vRefNum, SInt32 dirID, const HFSUniStr255 *name) QL_NOEXCEPT;

/* ---- Listing ---------------------------------------------------------- */

enum {
  kIterateResolveAliases = 1,   /* follow aliases (not yet offered: paramErr) */
  kIterateIgnoreAliasErrors = 2
};

/* Called once per item met by a walk with the walk's catalog block, which
 * describes the item (name, ioVRefNum, ioFlParID, attributes, Finder
 * information, and for a folder its own ID in ioDirID). Return 0 to go on;
 * any other value stops the walk and becomes its result. The callback must
 * leave the block unchanged. */
typedef SInt32 (*FSIterateFolderProcPtr)(void *userData, CInfoPBRec *pb);

/* Walks a folder depth first: each folder's items in catalog order, a
 * subfolder's contents right after the subfolder's own call. maxDepth 0 is
 * unlimited, 1 the folder's own items only. A walk started at a file walks
 * the folder that contains it; the start folder itself is never reported.
 * Result: paramErr for a null callback, an error of the start lookup, the
 * callback's non-zero result, or a catalog error; a folder that ends or
 * may not be read (fnfErr, afpAccessDenied) ends only its own level.
 * flags must be 0 for now. */
QL_EXPORT OSStatus FSIterateFolder(SInt16 vRefNum, SInt32 dirID, ConstStr255Param name, UInt32 maxDepth,
                                   UInt32 flags, FSIterateFolderProcPtr callback, void *userData) QL_NOEXCEPT;
QL_EXPORT OSStatus FSpIterateFolder(const FSSpec *spec, UInt32 maxDepth, UInt32 flags,
                                    FSIterateFolderProcPtr callback, void *userData) QL_NOEXCEPT;
QL_EXPORT OSStatus FSRefIterateFolder(const FSRef *ref, UInt32 maxDepth, UInt32 flags,
                                      FSIterateFolderProcPtr callback, void *userData) QL_NOEXCEPT;

/* Lists the folder's whole tree as consecutive 80-byte FSRefs in walk
 * order, in a handle made in temporary memory. *list (may be null: the
 * listing is then only counted) receives the handle, which the caller
 * disposes of; *count (may be null) the number of references. memFullErr
 * when the handle cannot be made; on any error nothing is written. */
QL_EXPORT OSErr FSRefBuildSubItemList(const FSRef *folder, Handle *list, UInt32 *count) QL_NOEXCEPT;
/* The walk callback of FSRefBuildSubItemList: appends the item's FSRef to
 * the handle given as user data. */
QL_EXPORT SInt32 FSRefBuildSubItemListIterateCallBack(void *userData, CInfoPBRec *pb) QL_NOEXCEPT;

/* Called once per item of a folder with the item's spec. */
typedef SInt32 (*FSpProcessFolderContentsProcPtr)(const FSSpec *item, void *userData);
/* Calls callback for every item of the folder (one level), also when the
 * callback deletes, renames or moves the item it is given. A non-zero
 * callback result is returned at once. Errors of the folder's own lookup
 * are returned unchanged (fnfErr too). */
QL_EXPORT OSStatus FSpProcessFolderContents(const FSSpec *folder, void *userData,
                                            FSpProcessFolderContentsProcPtr callback) QL_NOEXCEPT;
/* The index-th (1-based) item of the folder the FSSpec names. On error *item
 * may hold a copy of the folder's spec. paramErr for an index below 1. */
QL_EXPORT OSErr FSpGetIndexedSubItem(const FSSpec *folder, SInt32 index, FSSpec *item) QL_NOEXCEPT;
QL_EXPORT OSErr FSGetIndexedSubItem(SInt16 vRefNum, SInt32 dirID, SInt32 index, FSSpec *item) QL_NOEXCEPT;
/* Fills items with the folder's items (with recurse, each subfolder's
 * contents follow the subfolder). On entry *count is the array's capacity,
 * on exit the number stored; never more than the capacity. */
QL_EXPORT OSErr FSpBuildSubItemList(const FSSpec *folder, Boolean recurse, SInt32 *count, FSSpec *items) QL_NOEXCEPT;
/* Counts the visible files (not folders, not invisible) whose type and
 * creator match (0: any). *count may be null. */
QL_EXPORT OSErr HCountSubItems(SInt16 vRefNum, SInt32 dirID, OSType fileType, OSType creator,
                               SInt32 *count) QL_NOEXCEPT;
/* From item *index on, the first item whose type and creator match (0:
 * any); *index is left at it and its name copied to name (may be null).
 * Folders and invisible items are not skipped. */
QL_EXPORT OSErr HGetSubItem(SInt16 vRefNum, SInt32 dirID, SInt32 *index, OSType fileType, OSType creator,
                            StringPtr name) QL_NOEXCEPT;

/* ---- String and capability helpers ------------------------------------ */

/* Copies a Pascal string: the length byte and that many bytes (1 to 256
 * bytes in all), front to back. dest must hold source[0] + 1 bytes. */
QL_EXPORT void CopyPascalString(ConstStr255Param source, StringPtr dest) QL_NOEXCEPT;
/* UTF-16 text of length code units to a Pascal string in the file-name
 * encoding (Mac Roman). Returns the converter's error or noErr. */
QL_EXPORT OSStatus ConvertUnicodeToPString(const UniChar *text, UInt32 length, StringPtr name) QL_NOEXCEPT;
/* The reverse: at most capacity code units into buffer; *length (may be
 * null) receives the units written whenever the conversion ran, also on
 * error. */
QL_EXPORT OSStatus ConvertPStringToUnicode(ConstStr255Param name, UInt32 capacity, UInt32 *length,
                                           UniChar *buffer) QL_NOEXCEPT;
/* True when the system offers the FSRef-based file interfaces (asked once,
 * then remembered for the life of the process). */
QL_EXPORT Boolean HasHFSPlusAPIs(void) QL_NOEXCEPT;

QL_END_DECLS

/* ==== File data ===========================================================
 * Reading and writing whole forks and byte ranges, copying, appending and
 * padding forks, moving the tail of an open file, writes that give time to
 * the host while the disk works, reads that stop at a delimiter or a text,
 * a search of a file's contents, file buffers, and bridges to standard I/O
 * streams.
 *
 * Work memory is taken per call (temporary memory first) and released
 * before returning; every file a call opens is closed again; a file
 * reference given by the caller is never closed. Bulk transfers ask for
 * uncached I/O.
 *
 *     // Make room for 100 more bytes at offset 10 of an open file.
 *     OSErr err = FSShiftData(0, refNum, 10, 100);
 *     // Read bytes 10 to 19 of a file into a new handle.
 *     Handle h;
 *     err = FSpReadDataFork(&spec, 10, 20, &h);   // DisposeHandle(h) later
 */

#include <stdio.h>

#include "platform/files/Forks.h"

QL_BEGIN_DECLS

/* A host's give-time hook: called again and again, with the request in
 * progress and the context value, while FSWriteWithOptions waits for an
 * asynchronous write. Both globals are null at load. */
typedef void (*FSGiveTimeProcPtr)(ParmBlkPtr paramBlock, void *context);
QL_EXPORT extern FSGiveTimeProcPtr gFSGiveTimeProc;
QL_EXPORT extern void *gFSGiveTimeContextPtr;

/* Option bits of FSWriteWithOptions. */
enum {
  kFSWriteOptionAllowCache = 0x1,  /* cached write; without it uncached */
  kFSWriteOptionSynchronous = 0x2  /* write synchronously even with a hook */
};
/* Option bits of FSReadYield and FSWriteYield. */
enum {
  kFSYieldOptionAllowCache = 0x1,  /* cached transfer; without it uncached */
  kFSYieldOptionThreads = 0x4,     /* while waiting, yield to other threads */
  kFSYieldOptionProcesses = 0x8    /* while waiting, give time to other processes */
};
/* Called at most every 10 ticks while FSReadYield or FSWriteYield waits. */
typedef void (*FSYieldIdleProcPtr)(void *idleData);

/* The handle of a file buffer that is the caller's own fallback buffer. */
#define kFSFileBufferFallbackHandle ((Handle)(intptr_t)-1)

/* ---- Whole forks and ranges -------------------------------------------- */

/* Reads bytes [start, min(limit, end of fork)) of the data fork (limit 0:
 * the end) into a new unlocked handle in temporary memory, which the caller
 * disposes of. A range whose limit is at or below start gives an empty
 * handle; a start beyond the end of the fork gives eofErr. paramErr for a
 * null spec or out pointer; memFullErr; File Manager errors. *data is
 * written only on success. */
QL_EXPORT OSErr FSpReadDataFork(const FSSpec *spec, UInt32 start, UInt32 limit, Handle *data) QL_NOEXCEPT;
QL_EXPORT OSErr FSpReadResourceFork(const FSSpec *spec, UInt32 start, UInt32 limit, Handle *data) QL_NOEXCEPT;
/* The same through the fork calls. Negative positions, and ranges of 4 GiB
 * or more, are paramErr. */
QL_EXPORT OSErr FSReadDataFork(const FSRef *ref, SInt64 start, SInt64 limit, Handle *data) QL_NOEXCEPT;

/* Writes count bytes at min(offset, end of fork), uncached, creating the
 * file (type 'TEXT', creator 'MPS ') when it is missing. Bytes after the
 * written range stay: the file is never shortened. paramErr for a null
 * spec or data or a count of 0 or less. */
QL_EXPORT OSErr FSpWriteDataFork(const FSSpec *spec, UInt32 offset, const void *data, SInt32 count) QL_NOEXCEPT;
/* The same on the resource fork (a missing file is made with
 * FSpCreateResFile; its error is ResError's). */
QL_EXPORT OSErr FSpWriteResourceFork(const FSSpec *spec, UInt32 offset, const void *data, SInt32 count) QL_NOEXCEPT;
/* Sets the data fork's size to min(offset, size) + count and writes the
 * data there: the fork ends right after it. Does not create files.
 * paramErr for a null reference, a negative offset, a count below 0 or of
 * 4 GiB or more, or null data with a count. */
QL_EXPORT OSErr FSWriteDataFork(const FSRef *ref, SInt64 offset, const void *data, SInt64 count) QL_NOEXCEPT;
/* The logical lengths of the two forks (each out may be null). */
QL_EXPORT OSErr FSpGetFileForkSize(const FSSpec *spec, SInt32 *dataSize, SInt32 *resourceSize) QL_NOEXCEPT;

/* ---- Copying, appending, padding --------------------------------------- */

/* Copies the source's whole data fork over the destination's, creating the
 * destination with the source's type and creator when it is missing. The
 * destination ends where the copy ends (an old longer tail is cut off). */
QL_EXPORT OSErr FSpCopyFileDataFork(const FSSpec *source, const FSSpec *destination) QL_NOEXCEPT;
QL_EXPORT OSErr FSpCopyFileResourceFork(const FSSpec *source, const FSSpec *destination) QL_NOEXCEPT;
/* Creates the destination with the source's type and creator (an existing
 * destination is dupFNErr), then copies the resource fork and the data
 * fork. */
QL_EXPORT OSErr FSpCopyFileResourceAndDataFork(const FSSpec *source, const FSSpec *destination) QL_NOEXCEPT;
/* Appends the source's whole data fork at the destination's end. */
QL_EXPORT OSErr FSpAppendFileDataFork(const FSSpec *destination, const FSSpec *source) QL_NOEXCEPT;
/* Grows the data fork with zero bytes to the next multiple of alignment
 * and flushes the volume; alignment 0 changes nothing. */
QL_EXPORT OSErr FSpPadFileDataFork(const FSSpec *spec, UInt32 alignment) QL_NOEXCEPT;
/* Copies count bytes from the source's mark to the destination's mark
 * through the caller's buffer, uncached. count 0 is noErr at once; a null
 * or empty buffer is paramErr; a source that ends early gives eofErr. */
QL_EXPORT OSErr FSCopyForkData(SInt16 sourceRefNum, SInt16 destinationRefNum, UInt32 count, void *buffer,
                               UInt32 bufferSize) QL_NOEXCEPT;

/* ---- Open files --------------------------------------------------------- */

/* Moves every byte from offset to the end of the file by shift bytes: a
 * positive shift opens a gap at offset (still holding old bytes), a
 * negative one removes the |shift| bytes before offset. The file grows
 * before anything moves, or shrinks after. Data moves in bounded pieces
 * (from the end when growing), so memory use does not depend on the file.
 * Nothing happens when offset is at or past the end. The mark is left at
 * the new end. paramErr for a negative offset or a shift before the start;
 * memFullErr; File Manager errors (a failure part way leaves the file as
 * the failing step left it). options is not used. */
QL_EXPORT OSErr FSShiftData(UInt32 options, SInt16 refNum, SInt32 offset, SInt32 shift) QL_NOEXCEPT;
/* Writes count bytes at the mark (see the option bits). With a give-time
 * hook installed and no kFSWriteOptionSynchronous, the write is started
 * asynchronously and the hook is called until it completes. *actualCount
 * (may be null) receives the bytes written. */
QL_EXPORT OSErr FSWriteWithOptions(UInt32 options, SInt16 refNum, SInt32 count, const void *data,
                                   SInt32 *actualCount) QL_NOEXCEPT;
/* One uncached read or write at the mark; *count receives the bytes
 * transferred in every case. */
QL_EXPORT OSErr FSReadDontCache(SInt16 refNum, SInt32 *count, void *buffer) QL_NOEXCEPT;
QL_EXPORT OSErr FSWriteDontCache(SInt16 refNum, SInt32 *count, const void *data) QL_NOEXCEPT;
QL_EXPORT OSErr FSFlushFile(SInt16 refNum) QL_NOEXCEPT;
/* An asynchronous read (or write) at the position given, waited for with
 * idle work every 10 ticks: the idle procedure (may be null), then the
 * yields the option bits ask for. *actualCount (may be null) receives the
 * bytes read. Returns the request's result. */
QL_EXPORT OSErr FSReadYield(SInt16 refNum, SInt16 positionMode, SInt32 positionOffset, SInt32 count,
                            SInt32 *actualCount, UInt32 options, void *buffer, FSYieldIdleProcPtr idleProc,
                            void *idleData) QL_NOEXCEPT;
QL_EXPORT OSErr FSWriteYield(SInt16 refNum, SInt16 positionMode, SInt32 positionOffset, SInt32 count,
                             UInt32 options, const void *buffer, FSYieldIdleProcPtr idleProc,
                             void *idleData) QL_NOEXCEPT;
/* Reads one buffer (*size bytes) at the mark and looks for the delimiter.
 * Found: *size = the bytes before it, *found true, the mark just after it.
 * Not found: *size = 0, the mark after the bytes read, and the read's
 * result (noErr or eofErr). */
QL_EXPORT OSErr FSReadUntilDelimiter(SInt16 refNum, void *buffer, SInt32 *size, char delimiter,
                                     Boolean *found) QL_NOEXCEPT;
/* Reads buffer after buffer (*size bytes each, overlapping by the text's
 * length less one, so a text across two reads is found) until the text
 * turns up. Found: *found true and the mark just after the text (*size
 * unchanged). Not found: the mark restored, *size = 0, and eofErr (or the
 * read's error). paramErr when *size is smaller than the text. */
QL_EXPORT OSErr FSReadUntilText(SInt16 refNum, void *buffer, SInt32 *size, const void *text, SInt32 textLength,
                                Boolean *found) QL_NOEXCEPT;
/* Reads min(recordLength, bufferSize) bytes uncached at the position given,
 * then moves the mark over the rest of the record. *actualCount (may be
 * null) receives the bytes read. */
QL_EXPORT OSErr FSReadForkSkip(SInt16 forkRefNum, UInt16 positionMode, SInt64 positionOffset, UInt32 recordLength,
                               UInt32 bufferSize, void *buffer, ByteCount *actualCount) QL_NOEXCEPT;
/* The offset of the first occurrence of the text in the data fork (case
 * folded over A-Z unless caseSensitive), read through the caller's buffer
 * when one is given, else through as large a buffer as memory allows.
 * *offset is set to 0 first. fnfErr when the text is absent; paramErr for
 * null arguments or an empty text. */
QL_EXPORT OSErr FSpSearchFileContents(const FSSpec *spec, const void *text, UInt32 textLength, void *buffer,
                                      UInt32 bufferSize, Boolean caseSensitive, UInt32 *offset) QL_NOEXCEPT;

/* ---- File buffers ------------------------------------------------------- */

/* A locked temporary handle as large as memory allows up to the wanted size
 * (rounded: at most 16 MiB, at least 4096, else up to a multiple of 4096;
 * halved on each failure down to 512 or to the fallback's size), or the
 * caller's fallback buffer with the handle kFSFileBufferFallbackHandle.
 * Each out may be null. memFullErr when neither is available. */
QL_EXPORT OSErr FSCreateFileBuffer(UInt32 wantedSize, UInt32 unused, void *fallbackBuffer, UInt32 fallbackSize,
                                   Handle *bufferHandle, Ptr *bufferPtr, UInt32 *bufferSize) QL_NOEXCEPT;
/* Disposes of a buffer's handle unless it is null or the fallback marker. */
QL_EXPORT OSErr FSDeleteFileBuffer(Handle bufferHandle) QL_NOEXCEPT;

/* ---- References and streams -------------------------------------------- */

/* The FSSpec of the file open as refNum. */
QL_EXPORT OSErr FileReferenceToFSSpec(SInt16 refNum, FSSpec *spec) QL_NOEXCEPT;
/* The running application's file reference. */
QL_EXPORT SInt16 GetApplicationFileReference(void) QL_NOEXCEPT;
/* A stream opened with fopen(mode) on the FSSpec's POSIX path, or null. The
 * caller closes it with fclose. */
QL_EXPORT FILE *FSp_fopen_compat(const FSSpec *spec, const char *mode) QL_NOEXCEPT;
/* 0 when exactly count bytes were read (written), else -1. */
QL_EXPORT int FRead(FILE *stream, SInt32 count, void *buffer) QL_NOEXCEPT;
QL_EXPORT int FWrite(FILE *stream, SInt32 count, const void *data) QL_NOEXCEPT;
/* The stream's size, its position left as it was. 0 on success; -1 for a
 * null argument or a failing ftell; a failing fseek's result. */
QL_EXPORT int fgetsize(FILE *stream, SInt64 *size) QL_NOEXCEPT;
/* Sets the size of the file behind the stream (after flushing the stream)
 * and rewinds it. Sizes 0 to 4 GiB - 1 are taken as unsigned; 4 GiB and
 * more, or negative, give -1412 and change nothing. Otherwise ftruncate's
 * result (0 or -1). */
QL_EXPORT int fsetsize(FILE *stream, SInt64 size) QL_NOEXCEPT;
/* Measures the stream (the result of fgetsize); nothing is moved. */
QL_EXPORT int fshift(FILE *stream, SInt64 offset, SInt64 shift) QL_NOEXCEPT;

QL_END_DECLS

#endif
