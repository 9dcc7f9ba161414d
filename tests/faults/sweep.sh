#!/usr/bin/env bash
# The full fault sweep: every file operation of each workload's import failed
# in turn with every error, then 200 kills at random moments of
# 100,000-record imports; where $VESPER_TEST_POSTGRES names a server (see
# tests/support/postgres.h), the connection of an import into it cut at
# every COPY group, commit and commit answer; and a private server of its own
# stopped outright at moments of an import.  ctest runs a reduced form of
# each.
#   tests/faults/sweep.sh [BUILD-DIRECTORY]     (default: build)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
cmake --build "$build" -j2 --target faultsweep_test randomkills_test serversweep_test serverstop_test >/dev/null
export VESPER_FAULT_SWEEP=full
"$build/tests/faultsweep_test"
"$build/tests/randomkills_test"
"$build/tests/serverstop_test"
if [ -n "${VESPER_TEST_POSTGRES:-}" ]; then
  "$build/tests/serversweep_test"
else
  echo "sweep.sh: VESPER_TEST_POSTGRES is not set: the sweep against a PostgreSQL server is left out." >&2
fi
