// vesper-import: the import wizard's windows when run without arguments or
// with a lone file to import (as a desktop opens a file with the program),
// the batch command with its options.
#include <cstdio>

#include "cli/batch.h"

#ifdef VESPER_HAVE_GUI
namespace vesper { int runwindows(int argc, char** argv); }
#endif

int main(int argc, char** argv) {
#ifdef VESPER_HAVE_GUI
  const bool lonefile = argc == 2 && argv[1][0] != '-' && argv[1][0] != '\0';
  if (argc > 1 && !lonefile) return vesper::batchmain(argc, argv);
  return vesper::runwindows(argc, argv);
#else
  if (argc > 1) return vesper::batchmain(argc, argv);
  std::fputs("vesper-import: this build has no windows; give the batch command's arguments\n"
             "Try 'vesper-import --help'.\n", stderr);
  return 2;
#endif
}
