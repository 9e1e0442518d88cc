#pragma once

// Running the built quillon-tool from the end-to-end suites.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace quillon::test {

// The user's own scheduler is never reached from these suites: `systemctl` and `crontab` are
// stand-ins that do not answer, and the unit folder is a temporary one. A test that wants a
// scheduler passes its own PATH, HOME and XDG_CONFIG_HOME in `env`, which come later and win.
inline const std::vector<std::string>& NoSchedulerEnvironment() {
  static TempDir folder;
  static const std::vector<std::string> env = [] {
    std::filesystem::create_directories(folder.path() / "bin");
    for (const char* program : {"systemctl", "crontab"}) {
      auto path = folder.path() / "bin" / program;
      WriteFile(path, "#!/bin/sh\necho \"not available in this test\" >&2\nexit 1\n");
      std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    }
    const char* path = std::getenv("PATH");
    return std::vector<std::string>{
        "PATH=" + (folder.path() / "bin").string() + ":" + (path ? path : "/usr/bin:/bin"),
        "HOME=" + folder.path().string(), "XDG_CONFIG_HOME=" + folder.file("config")};
  }();
  return env;
}

inline ProcessResult Tool(std::vector<std::string> args, const std::string& input = {},
                          const std::vector<std::string>& env = {}) {
  args.insert(args.begin(), BuiltProgram("tool/quillon-tool"));
  std::vector<std::string> all = NoSchedulerEnvironment();
  all.insert(all.end(), env.begin(), env.end());
  return RunProcess(args, input, all);
}

// A failure is one line on stderr, exit status 1, nothing on stdout.
inline void ExpectFailure(const ProcessResult& r, const std::string& fragment) {
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_EQ(r.err.rfind("quillon-tool: ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(fragment), std::string::npos) << r.err;
}

// "name=value" lines as a map.
inline std::map<std::string, std::string> Fields(const std::string& shown) {
  std::map<std::string, std::string> fields;
  std::istringstream lines(shown);
  for (std::string line; std::getline(lines, line);) {
    const size_t eq = line.find('=');
    fields[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return fields;
}

}  // namespace quillon::test
