// Test helpers: a temporary folder that removes itself, and the fault sweep
// that fails Memory Manager allocations one by one.
#ifndef TESTS_SUPPORT_TESTSUPPORT_H
#define TESTS_SUPPORT_TESTSUPPORT_H

#include <filesystem>
#include <functional>
#include <string>

#include "platform/memory/Memory.h"

namespace qltest {

// A fresh directory under $TMPDIR, removed (with everything in it) on
// destruction.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::filesystem::path &path() const { return path_; }
  // Creates a file with the given contents (and its parent folders).
  std::filesystem::path File(const std::string &rel, const std::string &contents = "") const;
  std::filesystem::path Dir(const std::string &rel) const;

private:
  std::filesystem::path path_;
};

// Runs body with the n-th Memory Manager allocation failing, for n = 1, 2,
// ... until a run completes without an injected failure. After each run,
// check(result, injected) is called, and the live handle and pointer counts
// must be back where they were. Returns the number of runs.
int ForEachAllocFailure(const std::function<OSErr()> &body,
                        const std::function<void(OSErr result, bool injected)> &check);

} // namespace qltest

#endif
