#include <cstdio>

int main() {
  std::fputs("quillon-tool: no command\n", stderr);
  return 1;
}
