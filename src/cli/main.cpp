// vesper-import: the import wizard's windows when run without arguments, the
// batch command with them.
#include <cstdio>

#include "cli/batch.h"

#ifdef VESPER_HAVE_GUI
namespace vesper { int runwindows(int argc, char** argv); }
#endif

int main(int argc, char** argv) {
  if (argc > 1) return vesper::batchmain(argc, argv);
#ifdef VESPER_HAVE_GUI
  return vesper::runwindows(argc, argv);
#else
  std::fputs("vesper-import: this build has no windows; give the batch command's arguments\n"
             "Try 'vesper-import --help'.\n", stderr);
  return 2;
#endif
}
