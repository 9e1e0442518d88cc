// Writes keys into an INI file in a loop, for the tests of concurrent writers:
//   ini_writer FILE SECTION PREFIX ROUNDS [VALUE_SIZE]
// writes PREFIX0 .. PREFIX<ROUNDS-1>, each with a value of VALUE_SIZE copies of its digit.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "profiles/IniFile.h"

int main(int argc, char** argv) {
  if (argc < 5) return 2;
  std::string file = argv[1], section = argv[2], prefix = argv[3];
  int rounds = std::atoi(argv[4]);
  size_t valueSize = argc > 5 ? std::strtoul(argv[5], nullptr, 10) : 8;
  for (int i = 0; i < rounds; ++i) {
    std::string value(valueSize, static_cast<char>('0' + i % 10));
    if (!quillon::ini::Write(file, section, prefix + std::to_string(i), value)) {
      std::fprintf(stderr, "write %d failed\n", i);
      return 1;
    }
  }
  return 0;
}
