#!/usr/bin/env bash
# The full fault sweep: every file operation of each workload's import failed
# in turn with every error, then 200 kills at random moments of
# 100,000-record imports.  ctest runs a reduced form of both.
#   tests/faults/sweep.sh [BUILD-DIRECTORY]     (default: build)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
cmake --build "$build" -j2 --target faultsweep_test randomkills_test >/dev/null
export VESPER_FAULT_SWEEP=full
"$build/tests/faultsweep_test"
"$build/tests/randomkills_test"
