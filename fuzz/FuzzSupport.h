#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::fuzz {

// A broken promise of the code under test: report it and crash, so libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

// A folder of this process's own under $TMPDIR (or /tmp), made on first use, for targets that
// read files; removed at a normal exit (scripts/fuzz.sh also points TMPDIR at a folder it
// removes, for runs that end in a crash). Ends in "/".
const std::string& ScratchFolder();

// Replaces the file's content with `bytes`; false when it cannot be written.
bool WriteWholeFile(const std::string& path, std::string_view bytes);

// Whether anything (file, folder, link) has this name.
bool Exists(const std::string& path);

// The names in the scratch folder, sorted.
std::vector<std::string> ScratchEntries();

// Removes every entry of the scratch folder.
void EmptyScratchFolder();

}  // namespace quillon::fuzz
