// Lists a folder's tree through the library's folder walk, as the plug-in
// does to build its submenu: every item's display name, folders marked, and
// the command ID each file would get.
//
//   quillomat-demo examples/Scripts/Encoders
#include <cstdio>
#include <string>

#include "platform/files/Files.h"
#include "platform/memory/Memory.h"
#include "toolbox/files/FileToolbox.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  FSRef folder;
  Boolean isDir = false;
  if (FSPathMakeRef(reinterpret_cast<const UInt8 *>(argv[1]), &folder, &isDir) != noErr || !isDir) {
    std::fprintf(stderr, "%s: not a folder: %s\n", argv[0], argv[1]);
    return 1;
  }
  Handle list = nullptr;
  UInt32 count = 0;
  if (OSErr err = FSRefBuildSubItemList(&folder, &list, &count)) {
    std::fprintf(stderr, "%s: listing failed (%d)\n", argv[0], err);
    return 1;
  }
  std::printf("%s: %u items\n", argv[1], count);
  HLock(list);
  const FSRef *refs = reinterpret_cast<const FSRef *>(*list);
  for (UInt32 i = 0; i < count; ++i) {
    FSSpec spec;
    Str255 name;
    Boolean folderItem = false;
    if (FSRefMakeFSSpec(&refs[i], &spec) != noErr || FSpGetName(&spec, name) != noErr ||
        FSpIsFolder(&spec, &folderItem) != noErr)
      continue;
    std::string text(reinterpret_cast<const char *>(name + 1), name[0]);
    bool hidden = !text.empty() && text[0] == '.';
    std::printf("  [%2u] %-24s %s\n", i, (text + (folderItem ? "/" : "")).c_str(),
                folderItem ? "folder" : hidden ? "left out (starts with \".\")" : "entry");
  }
  HUnlock(list);
  DisposeHandle(list);
  return 0;
}
