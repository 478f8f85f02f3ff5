// FindFolder over the XDG base directories.
#include "platform/files/Folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "platform/core/Internal.h"

namespace {

std::mutex gLock;
std::map<OSType, std::string> &Overrides() {
  static auto *m = new std::map<OSType, std::string>;
  return *m;
}

std::string Env(const char *name, const std::string &fallback) {
  const char *v = std::getenv(name);
  return (v && v[0] == '/') ? std::string(v) : fallback;
}

std::string Home() {
  const char *h = std::getenv("HOME");
  return h && *h ? std::string(h) : std::string("/");
}

// The default place of a folder type, or empty when the type is unknown.
std::string DefaultPath(OSType type) {
  const std::string data = Env("XDG_DATA_HOME", Home() + "/.local/share");
  switch (type) {
  case kScriptsFolderType:
    return data + "/Scripts";
  case kPreferencesFolderType:
    return Env("XDG_CONFIG_HOME", Home() + "/.config");
  case kApplicationSupportFolderType:
    return data;
  case kCachedDataFolderType:
    return Env("XDG_CACHE_HOME", Home() + "/.cache");
  case kTrashFolderType:
    return data + "/Trash/files";
  case kTemporaryFolderType:
    return Env("TMPDIR", "/tmp") + "/quillomat-" + std::to_string(::getuid());
  case kDesktopFolderType:
    return Home() + "/Desktop";
  case kDocumentsFolderType:
    return Home() + "/Documents";
  default:
    return {};
  }
}

OSErr MakeDirectories(const std::string &path) {
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos == path.size() || path[pos] == '/') {
      std::string prefix = path.substr(0, pos);
      if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
        return ql::platform::ErrnoToOSErr(errno);
    }
  }
  return noErr;
}

} // namespace

extern "C" {

OSErr FindFolder(SInt16 vRefNum, OSType folderType, Boolean createFolder, SInt16 *foundVRefNum,
                 SInt32 *foundDirID) noexcept {
  if (foundVRefNum == nullptr || foundDirID == nullptr)
    return paramErr;
  if (vRefNum != kUserDomain && vRefNum != kOnSystemDisk && vRefNum != kOnAppropriateDisk && vRefNum >= 0)
    return fnfErr;
  return ql::platform::Barrier([&]() -> OSErr {
    std::string path;
    {
      std::lock_guard g(gLock);
      auto it = Overrides().find(folderType);
      path = it != Overrides().end() ? it->second : DefaultPath(folderType);
    }
    if (path.empty())
      return fnfErr;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
      if (!createFolder)
        return fnfErr;
      if (OSErr e = MakeDirectories(path))
        return e;
    } else if (!S_ISDIR(st.st_mode)) {
      return fnfErr;
    }
    // The folder itself may be reached through symbolic links.
    if (char *real = ::realpath(path.c_str(), nullptr)) {
      path = real;
      std::free(real);
    }
    SInt16 vol;
    SInt32 dir;
    if (OSErr e = PlatformDirectoryIDForPath(path.c_str(), &vol, &dir))
      return e == dirNFErr ? fnfErr : e;
    *foundVRefNum = vol;
    *foundDirID = dir;
    return noErr;
  });
}

void PlatformSetFolderPath(OSType folderType, const char *path) noexcept {
  try {
    std::lock_guard g(gLock);
    if (path)
      Overrides()[folderType] = path;
    else
      Overrides().erase(folderType);
  } catch (...) {
  }
}

} // extern "C"
