// Making resource files: an empty resource fork written into the file's
// sidecar, the file created first when needed.
#include <mutex>

#include "platform/core/Internal.h"
#include "platform/files/ForksInternal.h"
#include "platform/resources/Resources.h"

namespace f = ql::platform::files;
using ql::platform::Barrier;

namespace {

thread_local OSErr tResError = noErr;

OSErr GiveEmptyResourceFork(const FSSpec &spec) {
  std::lock_guard g(f::Lock());
  f::Node n;
  if (OSErr e = f::NodeOfSpec(spec, n))
    return e;
  if (n.isDir)
    return notAFileErr;
  if ((n.st.st_mode & S_IWUSR) == 0)
    return fLckdErr;
  f::Sidecar sc;
  if (OSErr e = f::LoadSidecar(*n.dirPath, n.disk, sc))
    return e;
  if (const std::string *old = sc.Find(f::kSidecarResourceFork); old && !old->empty())
    return dupFNErr;
  const std::string empty = f::EmptyResourceFork();
  sc.Set(f::kSidecarResourceFork, empty);
  if (OSErr e = f::StoreSidecar(*n.dirPath, n.disk, sc))
    return e;
  f::ForksReloadResource(n.st.st_dev, n.st.st_ino, empty);
  return noErr;
}

} // namespace

extern "C" {

void FSpCreateResFile(const FSSpec *spec, OSType creator, OSType fileType, ScriptCode scriptTag) noexcept {
  if (spec == nullptr) {
    tResError = paramErr;
    return;
  }
  OSErr e = FSpCreate(spec, creator, fileType, scriptTag);
  if (e == noErr || e == dupFNErr)
    e = Barrier([&] { return GiveEmptyResourceFork(*spec); });
  tResError = e;
}

void HCreateResFile(SInt16 vRefNum, SInt32 dirID, ConstStr255Param fileName) noexcept {
  FSSpec spec;
  OSErr e = FSMakeFSSpec(vRefNum, dirID, fileName, &spec);
  if (e != noErr && e != fnfErr) {
    tResError = e;
    return;
  }
  FSpCreateResFile(&spec, 0, 0, smSystemScript);
}

OSErr ResError(void) noexcept { return tResError; }

} // extern "C"

namespace ql::platform {
void SetResError(OSErr err) noexcept { tResError = err; }
} // namespace ql::platform
