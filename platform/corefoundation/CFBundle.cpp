// Bundles (a NAME.plugin directory with a manifest and a shared object) and
// the plug-in registry: factories, the types they serve, and instance counts.
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/corefoundation/CFInternal.h"

namespace ql::platform::cf {

namespace {

class Bundle;

struct Factory {
  Bundle *bundle = nullptr;           // the bundle that declares it (not owned), or
  CFPlugInFactoryFunction function{}; // a function registered directly
  std::string functionName;
};

struct Registry {
  std::recursive_mutex lock;
  std::map<std::string, Bundle *> bundlesByPath; // not owned
  std::map<UUIDKey, Factory> factories;
  std::vector<std::pair<UUIDKey, UUIDKey>> types; // (type, factory)
  std::map<UUIDKey, SInt32> instances;
};
Registry &Reg() {
  static Registry *r = new Registry; // outlives every bundle, even at exit
  return *r;
}

thread_local std::string tCreateError;

class Bundle final : public Object {
public:
  Bundle() noexcept : Object(kTypeBundle) {}
  ~Bundle() override;

  std::string path; // the bundle directory, resolved
  std::string executable;
  CFStringRef identifier = nullptr;
  std::vector<std::pair<UUIDKey, std::string>> factories;
  std::vector<std::pair<UUIDKey, UUIDKey>> types; // (type, factory)
  void *handle = nullptr; // dlopen handle while loaded
  std::string loadError;

  bool Equals(const Object &other) const override { return &other == this; }
  CFHashCode Hash() const override { return CFHashCode(reinterpret_cast<uintptr_t>(this)); }
};

// Called with the registry lock held by the releasing thread's last
// CFRelease: forget the bundle's registrations.
Bundle::~Bundle() {
  Registry &r = Reg();
  std::lock_guard<std::recursive_mutex> guard(r.lock);
  auto it = r.bundlesByPath.find(path);
  if (it != r.bundlesByPath.end() && it->second == this)
    r.bundlesByPath.erase(it);
  for (auto fit = r.factories.begin(); fit != r.factories.end();) {
    if (fit->second.bundle == this)
      fit = r.factories.erase(fit);
    else
      ++fit;
  }
  for (const auto &t : types) {
    for (auto tit = r.types.begin(); tit != r.types.end(); ++tit) {
      if (*tit == t) {
        r.types.erase(tit);
        break;
      }
    }
  }
  CFRelease(identifier);
}

Bundle *AsBundle(CFTypeRef cf) { return AsMutable<Bundle>(cf, kTypeBundle); }
CFBundleRef Ref(Bundle *b) { return reinterpret_cast<CFBundleRef>(static_cast<Object *>(b)); }

// Reads and checks the manifest into b; false with a message on error.
bool ReadManifest(Bundle &b, std::string &error) {
  std::ifstream in(b.path + "/Info.manifest");
  if (!in) {
    error = "no Info.manifest in " + b.path;
    return false;
  }
  std::string line, id, exe;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    std::istringstream words(line);
    std::string key;
    if (!(words >> key) || key[0] == '#')
      continue;
    std::vector<std::string> args;
    for (std::string w; words >> w;)
      args.push_back(w);
    auto bad = [&](const std::string &why) {
      error = b.path + "/Info.manifest:" + std::to_string(lineNo) + ": " + why;
      return false;
    };
    if (key == "identifier" || key == "executable") {
      if (args.size() != 1)
        return bad(key + " takes one value");
      (key == "identifier" ? id : exe) = args[0];
    } else if (key == "factory") {
      UUIDKey f;
      if (args.size() != 2 || !ParseUUID(std::string_view(args[0]), f))
        return bad("factory takes a UUID and a function name");
      b.factories.emplace_back(f, args[1]);
    } else if (key == "type") {
      UUIDKey t;
      if (args.size() < 2 || !ParseUUID(std::string_view(args[0]), t))
        return bad("type takes a UUID and one or more factory UUIDs");
      for (size_t i = 1; i < args.size(); ++i) {
        UUIDKey f;
        if (!ParseUUID(std::string_view(args[i]), f))
          return bad("bad factory UUID " + args[i]);
        b.types.emplace_back(t, f);
      }
    } else {
      return bad("unknown directive " + key);
    }
  }
  if (id.empty() || exe.empty()) {
    error = b.path + "/Info.manifest: identifier and executable are required";
    return false;
  }
  b.identifier = StringFromUtf8(id);
  if (b.identifier == nullptr) {
    error = "out of memory";
    return false;
  }
  b.executable = exe[0] == '/' ? exe : b.path + "/" + exe;
  return true;
}

bool HasLiveInstance(Registry &r, const Bundle &b) {
  for (const auto &f : b.factories) {
    auto it = r.instances.find(f.first);
    if (it != r.instances.end() && it->second > 0)
      return true;
  }
  return false;
}

CFArrayRef FindFactories(CFUUIDRef typeUUID, Bundle *only) noexcept {
  if (CFGetTypeID(typeUUID) != kTypeUUID)
    return nullptr;
  UUIDKey type = KeyOf(typeUUID);
  std::vector<CFUUIDRef> found;
  CFArrayRef result = nullptr;
  try {
    Registry &r = Reg();
    std::lock_guard<std::recursive_mutex> guard(r.lock);
    for (const auto &t : r.types) {
      if (t.first != type)
        continue;
      auto f = r.factories.find(t.second);
      if (f == r.factories.end() || (only != nullptr && f->second.bundle != only))
        continue;
      CFUUIDBytes bytes;
      std::memcpy(&bytes, t.second.data(), 16);
      CFUUIDRef u = CFUUIDCreateFromUUIDBytes(nullptr, bytes);
      if (u == nullptr)
        throw std::bad_alloc();
      found.push_back(u);
    }
    result = CFArrayCreate(nullptr, reinterpret_cast<const void **>(found.data()), CFIndex(found.size()),
                           &kCFTypeArrayCallBacks);
  } catch (...) {
    result = nullptr;
  }
  for (CFUUIDRef u : found)
    CFRelease(u);
  return result;
}

} // namespace

} // namespace ql::platform::cf

using namespace ql::platform::cf;

extern "C" {

CFTypeID CFBundleGetTypeID(void) noexcept { return kTypeBundle; }

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef bundleURL) noexcept {
  tCreateError.clear();
  try {
    const std::string *given = URLPath(bundleURL);
    if (given == nullptr) {
      tCreateError = "not a file URL";
      return nullptr;
    }
    char *real = realpath(given->c_str(), nullptr);
    if (real == nullptr) {
      tCreateError = "no bundle at " + *given;
      return nullptr;
    }
    std::string path(real);
    free(real);
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      tCreateError = path + " is not a bundle directory";
      return nullptr;
    }
    Registry &r = Reg();
    std::lock_guard<std::recursive_mutex> guard(r.lock);
    auto it = r.bundlesByPath.find(path);
    if (it != r.bundlesByPath.end() && it->second->TryRetain())
      return Ref(it->second);
    Bundle *b = Make<Bundle>();
    if (b == nullptr) {
      tCreateError = "out of memory";
      return nullptr;
    }
    b->path = path;
    if (!ReadManifest(*b, tCreateError)) {
      CFRelease(Ref(b));
      return nullptr;
    }
    r.bundlesByPath[path] = b;
    for (const auto &f : b->factories) {
      Factory &slot = r.factories[f.first];
      // The first live bundle that declares a factory serves it.
      bool taken = slot.function != nullptr || (slot.bundle != nullptr && slot.bundle->retainCount.load() > 0);
      if (!taken) {
        slot.bundle = b;
        slot.functionName = f.second;
      }
    }
    r.types.insert(r.types.end(), b->types.begin(), b->types.end());
    return Ref(b);
  } catch (...) {
    tCreateError = "out of memory";
    return nullptr;
  }
}

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID) noexcept {
  Registry &r = Reg();
  std::lock_guard<std::recursive_mutex> guard(r.lock);
  Bundle *found = nullptr;
  for (const auto &entry : r.bundlesByPath) {
    Bundle *b = entry.second;
    if (b->retainCount.load() > 0 && CFEqual(b->identifier, bundleID)) {
      if (b->handle != nullptr)
        return Ref(b);
      if (found == nullptr)
        found = b;
    }
  }
  return Ref(found);
}

CFStringRef CFBundleGetIdentifier(CFBundleRef bundle) noexcept {
  Bundle *b = AsBundle(bundle);
  return b ? b->identifier : nullptr;
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle) noexcept {
  Bundle *b = AsBundle(bundle);
  return b ? URLFromPath(b->path, true) : nullptr;
}

CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle) noexcept {
  Bundle *b = AsBundle(bundle);
  return b ? URLFromPath(b->executable, false) : nullptr;
}

Boolean CFBundleLoadExecutable(CFBundleRef bundle) noexcept {
  Bundle *b = AsBundle(bundle);
  if (b == nullptr)
    return false;
  Registry &r = Reg();
  std::lock_guard<std::recursive_mutex> guard(r.lock);
  if (b->handle != nullptr)
    return true;
  void *h = dlopen(b->executable.c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (h == nullptr) {
    const char *why = dlerror();
    try {
      b->loadError = why ? why : "cannot load " + b->executable;
    } catch (...) {
    }
    return false;
  }
  b->loadError.clear();
  b->handle = h;
  CFRetain(bundle); // a loaded bundle stays alive until it is unloaded
  return true;
}

Boolean CFBundleIsExecutableLoaded(CFBundleRef bundle) noexcept {
  Bundle *b = AsBundle(bundle);
  if (b == nullptr)
    return false;
  std::lock_guard<std::recursive_mutex> guard(Reg().lock);
  return b->handle != nullptr;
}

void CFBundleUnloadExecutable(CFBundleRef bundle) noexcept {
  Bundle *b = AsBundle(bundle);
  if (b == nullptr)
    return;
  Registry &r = Reg();
  std::unique_lock<std::recursive_mutex> guard(r.lock);
  if (b->handle == nullptr || HasLiveInstance(r, *b))
    return;
  dlclose(b->handle);
  b->handle = nullptr;
  guard.unlock();
  CFRelease(bundle);
}

void *CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName) noexcept {
  Bundle *b = AsBundle(bundle);
  if (b == nullptr)
    return nullptr;
  try {
    std::string name;
    if (!StringToUtf8(functionName, name))
      return nullptr;
    std::lock_guard<std::recursive_mutex> guard(Reg().lock);
    return b->handle ? dlsym(b->handle, name.c_str()) : nullptr;
  } catch (...) {
    return nullptr;
  }
}

CFPlugInRef CFBundleGetPlugIn(CFBundleRef bundle) noexcept { return AsBundle(bundle) ? bundle : nullptr; }
CFBundleRef CFPlugInGetBundle(CFPlugInRef plugIn) noexcept { return AsBundle(plugIn) ? plugIn : nullptr; }

CFArrayRef CFPlugInFindFactoriesForPlugInType(CFUUIDRef typeUUID) noexcept { return FindFactories(typeUUID, nullptr); }

CFArrayRef CFPlugInFindFactoriesForPlugInTypeInPlugIn(CFUUIDRef typeUUID, CFPlugInRef plugIn) noexcept {
  Bundle *b = AsBundle(plugIn);
  return b ? FindFactories(typeUUID, b) : nullptr;
}

void *CFPlugInInstanceCreate(CFAllocatorRef allocator, CFUUIDRef factoryUUID, CFUUIDRef typeUUID) noexcept {
  if (CFGetTypeID(factoryUUID) != kTypeUUID || CFGetTypeID(typeUUID) != kTypeUUID)
    return nullptr;
  UUIDKey factory = KeyOf(factoryUUID), type = KeyOf(typeUUID);
  CFPlugInFactoryFunction fn = nullptr;
  {
    Registry &r = Reg();
    std::lock_guard<std::recursive_mutex> guard(r.lock);
    auto it = r.factories.find(factory);
    if (it == r.factories.end())
      return nullptr;
    bool serves = false;
    for (const auto &t : r.types)
      serves = serves || (t.first == type && t.second == factory);
    if (!serves)
      return nullptr;
    if (it->second.function != nullptr) {
      fn = it->second.function;
    } else {
      Bundle *b = it->second.bundle;
      if (b->retainCount.load() == 0 || !CFBundleLoadExecutable(Ref(b)))
        return nullptr;
      fn = reinterpret_cast<CFPlugInFactoryFunction>(dlsym(b->handle, it->second.functionName.c_str()));
    }
  }
  // A loaded bundle is not unloaded while the factory makes its instance:
  // unloading waits for the instance count, which the factory raises.
  return fn ? fn(allocator, typeUUID) : nullptr;
}

Boolean CFPlugInRegisterFactoryFunction(CFUUIDRef factoryUUID, CFPlugInFactoryFunction func) noexcept {
  if (CFGetTypeID(factoryUUID) != kTypeUUID || func == nullptr)
    return false;
  try {
    Registry &r = Reg();
    std::lock_guard<std::recursive_mutex> guard(r.lock);
    Factory &slot = r.factories[KeyOf(factoryUUID)];
    if (slot.bundle != nullptr || (slot.function != nullptr && slot.function != func))
      return false;
    slot.function = func;
    return true;
  } catch (...) {
    return false;
  }
}

Boolean CFPlugInRegisterPlugInType(CFUUIDRef factoryUUID, CFUUIDRef typeUUID) noexcept {
  if (CFGetTypeID(factoryUUID) != kTypeUUID || CFGetTypeID(typeUUID) != kTypeUUID)
    return false;
  try {
    Registry &r = Reg();
    std::lock_guard<std::recursive_mutex> guard(r.lock);
    std::pair<UUIDKey, UUIDKey> entry(KeyOf(typeUUID), KeyOf(factoryUUID));
    for (const auto &t : r.types)
      if (t == entry)
        return true;
    r.types.push_back(entry);
    return true;
  } catch (...) {
    return false;
  }
}

Boolean CFPlugInUnregisterFactory(CFUUIDRef factoryUUID) noexcept {
  if (CFGetTypeID(factoryUUID) != kTypeUUID)
    return false;
  Registry &r = Reg();
  std::lock_guard<std::recursive_mutex> guard(r.lock);
  auto it = r.factories.find(KeyOf(factoryUUID));
  if (it == r.factories.end() || it->second.bundle != nullptr)
    return false;
  UUIDKey f = it->first;
  r.factories.erase(it);
  std::erase_if(r.types, [&](const auto &t) { return t.second == f; });
  return true;
}

void CFPlugInAddInstanceForFactory(CFUUIDRef factoryID) noexcept {
  if (CFGetTypeID(factoryID) != kTypeUUID)
    return;
  try {
    Registry &r = Reg();
    std::lock_guard<std::recursive_mutex> guard(r.lock);
    ++r.instances[KeyOf(factoryID)];
  } catch (...) {
  }
}

void CFPlugInRemoveInstanceForFactory(CFUUIDRef factoryID) noexcept {
  if (CFGetTypeID(factoryID) != kTypeUUID)
    return;
  Registry &r = Reg();
  std::lock_guard<std::recursive_mutex> guard(r.lock);
  auto it = r.instances.find(KeyOf(factoryID));
  if (it != r.instances.end() && --it->second <= 0)
    r.instances.erase(it);
}

const char *PlatformCFBundleCreateError(void) noexcept { return tCreateError.c_str(); }

const char *PlatformCFBundleGetLoadError(CFBundleRef bundle) noexcept {
  Bundle *b = AsBundle(bundle);
  return b ? b->loadError.c_str() : "";
}

SInt32 PlatformCFPlugInInstanceCount(CFUUIDRef factoryID) noexcept {
  if (CFGetTypeID(factoryID) != kTypeUUID)
    return 0;
  Registry &r = Reg();
  std::lock_guard<std::recursive_mutex> guard(r.lock);
  auto it = r.instances.find(KeyOf(factoryID));
  return it == r.instances.end() ? 0 : it->second;
}

} // extern "C"
