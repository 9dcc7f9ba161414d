// vesper-import: the windows when run without arguments, the batch command
// with them.
#include <cstdio>

int main(int, char**) {
  std::puts("Pennant Vesper Import");
  return 0;
}
