/*
 * Folder Manager: the user's special folders, mapped to the XDG places of
 * a Linux desktop.
 *
 *   kScriptsFolderType             ${XDG_DATA_HOME:-$HOME/.local/share}/Scripts
 *   kPreferencesFolderType         ${XDG_CONFIG_HOME:-$HOME/.config}
 *   kApplicationSupportFolderType  ${XDG_DATA_HOME:-$HOME/.local/share}
 *   kCachedDataFolderType          ${XDG_CACHE_HOME:-$HOME/.cache}
 *   kTrashFolderType               ${XDG_DATA_HOME:-$HOME/.local/share}/Trash/files
 *   kTemporaryFolderType           ${TMPDIR:-/tmp}/quillomat-UID
 *   kDesktopFolderType             $HOME/Desktop
 *   kDocumentsFolderType           $HOME/Documents
 *
 * A host or a test can point any folder type elsewhere with
 * PlatformSetFolderPath.
 *
 *     SInt16 vRef; SInt32 dirID;
 *     OSErr err = FindFolder(kUserDomain, kScriptsFolderType, kDontCreateFolder, &vRef, &dirID);
 */
#ifndef PLATFORM_FILES_FOLDERS_H
#define PLATFORM_FILES_FOLDERS_H

#include "platform/files/Files.h"

PLATFORM_BEGIN_DECLS

enum {
  kOnSystemDisk = -32768,
  kOnAppropriateDisk = -32767,
  kSystemDomain = -32766,
  kLocalDomain = -32765,
  kNetworkDomain = -32764,
  kUserDomain = -32763,
  kClassicDomain = -32762
};
enum { kCreateFolder = 1, kDontCreateFolder = 0 };
enum {
  kScriptsFolderType = QL_FOURCC('s', 'c', 'r', 0xC4),
  kPreferencesFolderType = QL_FOURCC('p', 'r', 'e', 'f'),
  kApplicationSupportFolderType = QL_FOURCC('a', 's', 'u', 'p'),
  kCachedDataFolderType = QL_FOURCC('c', 'a', 'c', 'h'),
  kTrashFolderType = QL_FOURCC('t', 'r', 's', 'h'),
  kTemporaryFolderType = QL_FOURCC('t', 'e', 'm', 'p'),
  kDesktopFolderType = QL_FOURCC('d', 'e', 's', 'k'),
  kDocumentsFolderType = QL_FOURCC('d', 'o', 'c', 's')
};

/* Finds (and with createFolder, makes) a special folder. vRefNum is a
 * domain or a volume; the user's folders are given for kUserDomain,
 * kOnSystemDisk and kOnAppropriateDisk. Results: noErr; fnfErr when the
 * folder is missing and not to be created or the type is unknown;
 * paramErr for null outputs. */
PLATFORM_API OSErr FindFolder(SInt16 vRefNum, OSType folderType, Boolean createFolder,
                              SInt16 *foundVRefNum, SInt32 *foundDirID) PLATFORM_NOEXCEPT;

/* Points folderType at path (absolute) for this process; NULL restores the
 * default place. */
PLATFORM_API void PlatformSetFolderPath(OSType folderType, const char *path) PLATFORM_NOEXCEPT;

PLATFORM_END_DECLS

#endif
