#include <cstdio>
#include <cstring>

#include "Version.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("quillon %s (%s)\n", quillon::kVersion, quillon::kEdition);
    return 0;
  }
  std::puts("The graphical interface is not available in this build.");
  return 0;
}
