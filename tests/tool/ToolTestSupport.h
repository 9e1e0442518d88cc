#pragma once

// Running the built quillon-tool from the end-to-end suites.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace quillon::test {

inline ProcessResult Tool(std::vector<std::string> args, const std::string& input = {},
                          const std::vector<std::string>& env = {}) {
  args.insert(args.begin(), BuiltProgram("tool/quillon-tool"));
  return RunProcess(args, input, env);
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
