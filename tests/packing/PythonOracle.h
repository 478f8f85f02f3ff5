// Runs a reference script under the system Python and collects its answers:
// the tests write their requests to a file, the script prints one answer
// line per request. Tests skip (with a message) when Python is missing.
#ifndef TESTS_PACKING_PYTHONORACLE_H
#define TESTS_PACKING_PYTHONORACLE_H

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace qltest {

inline constexpr const char *kPython = "/usr/bin/python3";

inline bool PythonAvailable() { return ::access(kPython, X_OK) == 0; }

// Answers of `script` to `requests`, one per request. On any failure the
// test fails and the result is empty.
inline std::vector<std::string> RunPython(const std::filesystem::path &script,
                                          const std::vector<std::string> &requests) {
  TempDir dir;
  const auto input = dir.path() / "requests.txt";
  {
    std::ofstream out(input);
    for (const auto &r : requests) out << r << '\n';
  }
  const std::string command =
      std::string(kPython) + " '" + script.string() + "' '" + input.string() + "'";
  FILE *pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run " << command;
    return {};
  }
  std::vector<std::string> lines;
  std::string line;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    line += buffer;
    if (!line.empty() && line.back() == '\n') {
      line.pop_back();
      lines.push_back(line);
      line.clear();
    }
  }
  const int status = ::pclose(pipe);
  if (status != 0 || lines.size() != requests.size()) {
    ADD_FAILURE() << command << " exited with " << status << " after " << lines.size() << " of "
                  << requests.size() << " answers";
    return {};
  }
  return lines;
}

// Directory of the test sources, where the reference scripts live.
inline std::filesystem::path ScriptDir(const char *thisFile) {
  return std::filesystem::path(thisFile).parent_path();
}

} // namespace qltest

#define QLTEST_REQUIRE_PYTHON()                                                                    \
  do {                                                                                             \
    if (!qltest::PythonAvailable())                                                                \
      GTEST_SKIP() << qltest::kPython << " is missing: the reference values come from Python";    \
  } while (0)

#endif
