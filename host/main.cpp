// quillomat: the contextual-menu host for Linux. It loads the Quillomat
// plug-in bundle, hands it the files given as the clicked items, shows the
// menu the plug-in contributes, and runs the chosen entry.
//
//   quillomat menu [--json] FILE...
//   quillomat open [--wait] ENCODER FILE...
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/aliases/Aliases.h"
#include "platform/appleevents/AppleEvents.h"
#include "platform/contextmenu/ContextualMenuPlugins.h"
#include "platform/corefoundation/CoreFoundation.h"
#include "platform/files/Files.h"
#include "platform/files/Folders.h"
#include "platform/memory/Memory.h"
#include "platform/processes/Processes.h"
#include "platform/text/TextEncoding.h"

#ifndef QUILLOMAT_VERSION
#define QUILLOMAT_VERSION "0.0"
#endif

namespace {

const char *gProgram = "quillomat";
bool gVerbose = false;

[[noreturn]] void Fail(int status, const std::string &message) {
  std::fprintf(stderr, "%s: %s\n", gProgram, message.c_str());
  std::exit(status);
}

void Note(const std::string &message) {
  if (gVerbose)
    std::fprintf(stderr, "%s: %s\n", gProgram, message.c_str());
}

void Usage(FILE *out) {
  std::fprintf(out,
               "usage: %s [options] menu [--json] FILE...\n"
               "       %s [options] open [--wait] ENCODER FILE...\n"
               "\n"
               "Shows the Quillomat submenu for the files given, or opens every file with\n"
               "the encoder named ENCODER (its menu text; Quillomat/ENCODER also works;\n"
               "ENCODER#N picks the N-th of several entries with one name).\n"
               "\n"
               "options:\n"
               "  --plugin DIR   the plug-in bundle (default: the installed one)\n"
               "  --scripts DIR  use DIR as the Scripts folder (its Encoders folder is listed)\n"
               "  --json         menu: print the menu as a JSON document\n"
               "  --wait         open: wait for the encoder runs and report their exit status\n"
               "  -v, --verbose  say what happens\n"
               "  --help         this text\n"
               "  --version      the version\n",
               gProgram, gProgram);
}

std::string Absolute(const std::string &path) {
  if (!path.empty() && path[0] == '/')
    return path;
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof cwd))
    Fail(1, "cannot read the working directory");
  return std::string(cwd) + "/" + path;
}

// Mac Roman or UTF-16 menu text as UTF-8.
std::string Utf16ToUtf8(const std::u16string &s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string MacRomanToUtf8(const std::string &mac) {
  TextToUnicodeInfo info;
  if (CreateTextToUnicodeInfoByEncoding(kTextEncodingMacRoman, &info) != noErr)
    return mac;
  Str255 p;
  size_t n = std::min<size_t>(mac.size(), 255);
  p[0] = UInt8(n);
  std::memcpy(p + 1, mac.data(), n);
  UniChar units[255];
  ByteCount bytes = 0;
  ConvertFromPStringToUnicode(info, p, sizeof units, &bytes, units);
  DisposeTextToUnicodeInfo(&info);
  return Utf16ToUtf8(std::u16string(reinterpret_cast<char16_t *>(units), bytes / 2));
}

// Bytes that are not UTF-8 become U+FFFD, so the document always parses.
std::string ValidUtf8(const std::string &s) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = s[i];
    size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    bool ok = len > 0 && i + len <= s.size();
    for (size_t k = 1; ok && k < len; ++k)
      ok = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
    if (ok && len > 1) {
      // No overlong forms, surrogates or values past U+10FFFF.
      char32_t cp = c & (0x7F >> len);
      for (size_t k = 1; k < len; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
      static const char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
      ok = cp >= kMin[len] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
    }
    if (ok) {
      out.append(s, i, len);
      i += len;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

std::string JsonString(const std::string &raw) {
  const std::string s = ValidUtf8(raw);
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\n': out += "\\n"; break;
    case '\t': out += "\\t"; break;
    default:
      if (c < 0x20) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", c);
        out += buf;
      } else {
        out += char(c);
      }
    }
  }
  return out + "\"";
}

// One entry of the menu the plug-in contributed.
struct MenuItem {
  std::string name; // UTF-8
  SInt32 commandID = 0;
  std::vector<MenuItem> submenu;
  bool isSubmenu = false;
};

std::string ItemText(const AEDesc &record) {
  DescType type;
  Size size = 0;
  char buf[1024];
  if (AEGetParamPtr(&record, keyAEName, typeWildCard, &type, buf, sizeof buf, &size) != noErr)
    return "";
  size = std::min<Size>(size, sizeof buf);
  if (type == typeUnicodeText)
    return Utf16ToUtf8(std::u16string(reinterpret_cast<char16_t *>(buf), size_t(size) / 2));
  return MacRomanToUtf8(std::string(buf, size_t(size)));
}

std::vector<MenuItem> ReadMenu(const AEDescList &list) {
  std::vector<MenuItem> items;
  SInt32 count = 0;
  AECountItems(&list, &count);
  for (SInt32 i = 1; i <= count; ++i) {
    AEDesc record;
    AEInitializeDesc(&record);
    AEKeyword keyword;
    if (AEGetNthDesc(&list, i, typeWildCard, &keyword, &record) != noErr)
      continue;
    MenuItem item;
    item.name = ItemText(record);
    AEDesc sub;
    AEInitializeDesc(&sub);
    if (AEGetParamDesc(&record, keyContextualMenuSubmenu, typeAEList, &sub) == noErr) {
      item.isSubmenu = true;
      item.submenu = ReadMenu(sub);
      AEDisposeDesc(&sub);
    } else {
      DescType type;
      Size size;
      AEGetParamPtr(&record, keyContextualMenuCommandID, typeLongInteger, &type, &item.commandID,
                    sizeof item.commandID, &size);
    }
    AEDisposeDesc(&record);
    items.push_back(std::move(item));
  }
  return items;
}

// The loaded plug-in object, through its contextual-menu interface.
class PlugIn {
public:
  explicit PlugIn(const std::string &bundlePath);
  ~PlugIn();
  ContextualMenuInterfaceStruct **menu() const { return menu_; }
  // The FSRef list the plug-in holds for its entries (its exported global).
  Handle HeldList() const { return heldList_ ? *heldList_ : nullptr; }

private:
  CFBundleRef bundle_ = nullptr;
  ContextualMenuInterfaceStruct **menu_ = nullptr;
  Handle *heldList_ = nullptr;
};

std::string DefaultPlugInPath() {
  // Installed: <prefix>/bin/quillomat and <prefix>/lib/quillomat/Quillomat.plugin.
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    self[n] = 0;
    std::string dir(self);
    dir.resize(dir.rfind('/'));
    std::string installed = dir + "/../" QUILLOMAT_LIBDIR "/quillomat/Quillomat.plugin";
    struct stat st;
    if (stat(installed.c_str(), &st) == 0)
      return installed;
  }
  return QUILLOMAT_BUILD_PLUGIN;
}

} // namespace

namespace {

PlugIn::PlugIn(const std::string &bundlePath) {
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>(bundlePath.c_str()),
                                                         CFIndex(bundlePath.size()), true);
  bundle_ = url ? CFBundleCreate(nullptr, url) : nullptr;
  if (url)
    CFRelease(url);
  if (bundle_ == nullptr)
    Fail(1, "cannot load the plug-in " + bundlePath + ": " + PlatformCFBundleCreateError());
  if (!CFBundleLoadExecutable(bundle_))
    Fail(1, "cannot load the plug-in's code: " + std::string(PlatformCFBundleGetLoadError(bundle_)));
  CFArrayRef factories = CFPlugInFindFactoriesForPlugInTypeInPlugIn(kContextualMenuTypeID, CFBundleGetPlugIn(bundle_));
  void *unknown = nullptr;
  if (factories && CFArrayGetCount(factories) > 0) {
    auto factory = static_cast<CFUUIDRef>(CFArrayGetValueAtIndex(factories, 0));
    unknown = CFPlugInInstanceCreate(nullptr, factory, kContextualMenuTypeID);
  }
  if (factories)
    CFRelease(factories);
  if (unknown == nullptr)
    Fail(1, "the plug-in " + bundlePath + " makes no contextual-menu object");
  auto **iunknown = static_cast<ContextualMenuInterfaceStruct **>(unknown);
  LPVOID menu = nullptr;
  HRESULT result = (*iunknown)->QueryInterface(iunknown, CFUUIDGetUUIDBytes(kContextualMenuInterfaceID), &menu);
  (*iunknown)->Release(iunknown);
  if (result != S_OK || menu == nullptr)
    Fail(1, "the plug-in's object has no contextual-menu interface");
  menu_ = static_cast<ContextualMenuInterfaceStruct **>(menu);
  CFStringRef name = CFStringCreateWithCString(nullptr, "gAppFSRefsHandle", kCFStringEncodingUTF8);
  heldList_ = static_cast<Handle *>(CFBundleGetFunctionPointerForName(bundle_, name));
  CFRelease(name);
  Note("loaded " + bundlePath);
  if (gVerbose) {
    // Every mapped copy of the toolbox library: the host and the bundle
    // must share one.
    std::FILE *maps = std::fopen("/proc/self/maps", "r");
    std::vector<std::string> copies;
    char line[PATH_MAX + 128];
    while (maps && std::fgets(line, sizeof line, maps)) {
      const char *path = std::strchr(line, '/');
      if (path && std::strstr(path, "libquillomat.so")) {
        std::string p(path);
        p.erase(p.find_last_not_of("\n") + 1);
        if (std::find(copies.begin(), copies.end(), p) == copies.end())
          copies.push_back(p);
      }
    }
    if (maps)
      std::fclose(maps);
    for (const std::string &p : copies)
      Note("toolbox library mapped from " + p);
  }
}

PlugIn::~PlugIn() {
  if (menu_)
    (*menu_)->Release(menu_);
  // The bundle stays loaded until the process ends.
}

// The clicked items: a descriptor list with one alias per file.
class Context {
public:
  explicit Context(const std::vector<std::string> &files) {
    AEInitializeDesc(&list_);
    if (AECreateList(nullptr, 0, false, &list_) != noErr)
      Fail(1, "out of memory");
    for (const std::string &file : files) {
      std::string path = Absolute(file);
      struct stat st;
      if (lstat(path.c_str(), &st) != 0)
        Fail(1, "no such file: " + file);
      FSRef ref;
      if (FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr) != noErr)
        Fail(1, "cannot reach " + file);
      AliasHandle alias = nullptr;
      if (FSNewAlias(nullptr, &ref, &alias) != noErr)
        Fail(1, "cannot make an alias of " + file);
      HLock(reinterpret_cast<Handle>(alias));
      OSErr err = AEPutPtr(&list_, 0, typeAlias, *alias, GetHandleSize(reinterpret_cast<Handle>(alias)));
      DisposeHandle(reinterpret_cast<Handle>(alias));
      if (err != noErr)
        Fail(1, "cannot add " + file + " to the selection");
    }
  }
  ~Context() { AEDisposeDesc(&list_); }
  AEDescList *desc() { return &list_; }

private:
  AEDescList list_;
};

std::string EntryPath(Handle held, SInt32 id) {
  if (held == nullptr || id < 0 || UInt32(id) >= UInt32(GetHandleSize(held)) / sizeof(FSRef))
    return "";
  UInt8 path[PATH_MAX];
  if (FSRefMakePath(reinterpret_cast<const FSRef *>(*held) + id, path, sizeof path) != noErr)
    return "";
  return reinterpret_cast<char *>(path);
}

// A menu text on one line: control characters shown as \xNN.
std::string OneLine(const std::string &s) {
  std::string out;
  for (unsigned char c : s) {
    if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += char(c);
    }
  }
  return out;
}

void PrintMenu(const std::vector<MenuItem> &menu, bool json, Handle held) {
  if (!json) {
    for (const MenuItem &item : menu) {
      if (!item.isSubmenu) {
        std::printf("%s\n", OneLine(item.name).c_str());
        continue;
      }
      for (const MenuItem &entry : item.submenu)
        std::printf("%s/%s\n", OneLine(item.name).c_str(), OneLine(entry.name).c_str());
    }
    return;
  }
  // One object: the title and entries of what the plug-in added (a plain
  // command has a command ID and no entries; nothing added: a null title).
  const MenuItem *added = menu.empty() ? nullptr : &menu.front();
  if (added == nullptr) {
    std::printf("{\"title\": null, \"entries\": []}\n");
    return;
  }
  std::printf("{\"title\": %s", JsonString(added->name).c_str());
  if (!added->isSubmenu)
    std::printf(", \"commandID\": %d", added->commandID);
  std::printf(", \"entries\": [");
  for (size_t j = 0; j < added->submenu.size(); ++j) {
    const MenuItem &e = added->submenu[j];
    std::printf("%s\n  {\"name\": %s, \"commandID\": %d, \"path\": %s}", j ? "," : "", JsonString(e.name).c_str(),
                e.commandID, JsonString(EntryPath(held, e.commandID)).c_str());
  }
  std::printf("%s]}\n", added->submenu.empty() ? "" : "\n");
}

// The command ID of the entry named by the user.
std::optional<SInt32> FindEntry(const std::vector<MenuItem> &menu, std::string wanted) {
  for (const MenuItem &item : menu) {
    if (!item.isSubmenu)
      continue;
    std::string name = wanted;
    if (name.rfind(item.name + "/", 0) == 0)
      name = name.substr(item.name.size() + 1);
    int nth = 1;
    if (size_t hash = name.rfind('#'); hash != std::string::npos && hash + 1 < name.size() &&
                                        name.find_first_not_of("0123456789", hash + 1) == std::string::npos) {
      bool exact = false;
      for (const MenuItem &e : item.submenu)
        exact = exact || e.name == name;
      if (!exact) {
        nth = std::atoi(name.c_str() + hash + 1);
        name.resize(hash);
      }
    }
    int seen = 0;
    for (const MenuItem &e : item.submenu)
      if (e.name == name && ++seen == nth)
        return e.commandID;
  }
  return std::nullopt;
}

} // namespace

int main(int argc, char **argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string plugin, scripts, command;
  bool json = false, wait = false;
  std::vector<std::string> operands;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &a = args[i];
    if (a == "--help" || a == "-h") {
      Usage(stdout);
      return 0;
    } else if (a == "--version") {
      std::printf("quillomat %s\n", QUILLOMAT_VERSION);
      return 0;
    } else if (a == "-v" || a == "--verbose") {
      gVerbose = true;
    } else if (a == "--json") {
      json = true;
    } else if (a == "--wait") {
      wait = true;
    } else if ((a == "--plugin" || a == "--scripts") && i + 1 < args.size()) {
      (a == "--plugin" ? plugin : scripts) = args[++i];
    } else if (a == "--") {
      operands.insert(operands.end(), args.begin() + long(i) + 1, args.end());
      break;
    } else if (a.size() > 1 && a[0] == '-') {
      Usage(stderr);
      Fail(2, "unknown option " + a);
    } else {
      operands.push_back(a);
    }
  }
  if (operands.empty()) {
    Usage(stderr);
    return 2;
  }
  command = operands.front();
  operands.erase(operands.begin());
  if (command != "menu" && command != "open") {
    Usage(stderr);
    Fail(2, "unknown command " + command);
  }
  std::string encoder;
  if (command == "open") {
    if (operands.empty())
      Fail(2, "open: no encoder named");
    encoder = operands.front();
    operands.erase(operands.begin());
  }
  if (operands.empty())
    Fail(2, command + ": no files given");
  if (!scripts.empty()) {
    std::string dir = Absolute(scripts);
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      Fail(1, "no such folder: " + scripts);
    PlatformSetFolderPath(kScriptsFolderType, dir.c_str());
  }

  Context context(operands);
  PlugIn plugIn(plugin.empty() ? DefaultPlugInPath() : Absolute(plugin));
  ContextualMenuInterfaceStruct **menu = plugIn.menu();
  AEDescList commands;
  AEInitializeDesc(&commands);
  AECreateList(nullptr, 0, false, &commands);
  OSStatus examined = (*menu)->ExamineContext(menu, context.desc(), &commands);
  if (examined != noErr)
    Note("the plug-in found nothing to offer (" + std::to_string(examined) + ")");
  std::vector<MenuItem> items = ReadMenu(commands);
  AEDisposeDesc(&commands);

  int status = 0;
  if (command == "menu") {
    PrintMenu(items, json, plugIn.HeldList());
  } else {
    std::optional<SInt32> id = FindEntry(items, encoder);
    if (!id) {
      (*menu)->PostMenuCleanup(menu);
      Fail(1, "no encoder named \"" + encoder + "\" (see: quillomat menu FILE...)");
    }
    Note("opening " + std::to_string(operands.size()) + " file(s) with " + EntryPath(plugIn.HeldList(), *id));
    // At most one launch per file: keep them all in the log for the report.
    PlatformSetLaunchHistoryLimit(SInt32(std::min<size_t>(operands.size() + 1024, INT32_MAX)));
    const SInt32 launchesBefore = PlatformLaunchLogCount();
    const SInt32 eventsBefore = PlatformProcessCount(kPlatformProcessEventsSent);
    OSStatus handled = (*menu)->HandleSelection(menu, context.desc(), *id);
    if (handled != noErr) {
      (*menu)->PostMenuCleanup(menu);
      Fail(1, "the plug-in could not open the files (" + std::to_string(handled) + ")");
    }
    // The plug-in stops at the first file it cannot open and says nothing:
    // count what was started or sent, and name what failed.
    SInt32 opened = PlatformProcessCount(kPlatformProcessEventsSent) - eventsBefore;
    for (SInt32 i = launchesBefore; i < PlatformLaunchLogCount(); ++i) {
      PlatformLaunchRecord run;
      if (PlatformGetLaunchRecord(i, &run) != noErr)
        continue;
      if (run.result == noErr && run.pid > 0) {
        ++opened;
        continue;
      }
      std::string document = run.argumentCount > 0 ? PlatformGetLaunchArgument(i, 0) : "";
      std::fprintf(stderr, "%s: cannot start %s for %s (%d)\n", gProgram, run.programPath ? run.programPath : "?",
                   document.c_str(), run.result);
      status = 1;
    }
    if (opened < SInt32(operands.size())) {
      std::fprintf(stderr, "%s: opened %d of %zu files with %s\n", gProgram, opened, operands.size(),
                   encoder.c_str());
      status = 1;
    }
    if (wait) {
      // Report each encoder run the selection started, in launch order.
      for (SInt32 i = launchesBefore; i < PlatformLaunchLogCount(); ++i) {
        PlatformLaunchRecord run;
        if (PlatformGetLaunchRecord(i, &run) != noErr || run.pid <= 0)
          continue;
        std::string document = run.argumentCount > 0 ? PlatformGetLaunchArgument(i, 0) : "";
        SInt32 waitStatus = 0;
        if (OSErr err = PlatformWaitForProcess(&run.process, -1, &waitStatus)) {
          std::printf("%s %s: could not be waited for (%d)\n", run.programPath, document.c_str(), err);
          status = 1;
          continue;
        }
        const int exitStatus = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
        std::printf("%s %s: exit status %d\n", run.programPath, document.c_str(), exitStatus);
        if (exitStatus != 0)
          status = 1;
      }
    }
  }
  (*menu)->PostMenuCleanup(menu);
  return status;
}
