#include "support/TestSupport.h"

#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace qltest {

TempDir::TempDir() {
  std::string templ = (fs::temp_directory_path() / "qltest.XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  path_ = fs::canonical(templ);
}

TempDir::~TempDir() {
  std::error_code ec;
  // Items may have been made read-only by a test; give write access back.
  for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

fs::path TempDir::File(const std::string &rel, const std::string &contents) const {
  fs::path p = path_ / rel;
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << contents;
  return p;
}

fs::path TempDir::Dir(const std::string &rel) const {
  fs::path p = path_ / rel;
  fs::create_directories(p);
  return p;
}

int ForEachAllocFailure(const std::function<OSErr()> &body,
                        const std::function<void(OSErr, bool)> &check) {
  int runs = 0;
  for (UInt32 n = 1;; ++n) {
    const SInt32 handles = PlatformLiveHandleCount();
    const SInt32 ptrs = PlatformLivePtrCount();
    PlatformFailNthAllocation(n);
    OSErr result = body();
    bool injected = PlatformAllocationFailureInjected();
    PlatformFailNthAllocation(0);
    ++runs;
    SCOPED_TRACE("allocation " + std::to_string(n) + " failing");
    check(result, injected);
    EXPECT_EQ(PlatformLiveHandleCount(), handles) << "handles leaked";
    EXPECT_EQ(PlatformLivePtrCount(), ptrs) << "pointers leaked";
    if (!injected || n > 100000)
      break;
  }
  return runs;
}

} // namespace qltest
