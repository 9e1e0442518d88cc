#include <iostream>
#include <string>
#include <vector>

#include "tool/Tool.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return quillon::RunTool(args, std::cin, std::cout, std::cerr);
}
