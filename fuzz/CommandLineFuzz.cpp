// The command line of a task run: the input as the joined line, and split at NUL bytes as the
// separate arguments that are joined into it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "app/CommandLine.h"

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string programFolder = "/home/user/.config/quillon/";

  std::vector<std::string> words = {"quillon"};
  for (size_t start = 0;;) {
    const size_t nul = input.find('\0', start);
    words.push_back(input.substr(start, nul - start));
    if (nul == std::string::npos) break;
    start = nul + 1;
  }
  std::vector<const char*> argv;
  for (const auto& word : words) argv.push_back(word.c_str());
  const std::string line = JoinArguments(static_cast<int>(argv.size()), argv.data());

  for (const std::string& text : {input, line}) {
    const ParsedCommandLine parsed = ParseTaskCommandLine(text, programFolder);
    if (parsed.error) continue;
    FUZZ_CHECK(parsed.task.slot >= 0 && parsed.task.slot <= 19);
    FUZZ_CHECK(!parsed.task.storePath.empty());
  }
  return 0;
}
