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
 * characters) where it has one that converts, else the spec's own name.
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
/* The index-th (1-based) item of the folder the spec names. On error *item
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

#endif
