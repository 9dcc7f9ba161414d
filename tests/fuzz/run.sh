#!/usr/bin/env bash
# Builds the fuzzers with clang (ASan + UBSan) and runs each for N seconds.
#   tests/fuzz/run.sh SECONDS [fuzzer-name ...]
# Seeds: tests/fuzz/seeds/<name>/ (small ones of our own) plus, for the table
# readers, the real files of the corpora folder ($VESPER_CORPORA, else
# ../shared/corpora beside the repository), read at run time when it is there.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
secs=${1:-60}; shift || true
build="${VESPER_FUZZ_BUILD:-$top/build-fuzz}"
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DVESPER_FUZZ=ON -DVESPER_BUILD_GUI=OFF \
  -DVESPER_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for f in "$here"/*_fuzz.cpp; do names+=("$(basename "$f" .cpp)"); done
fi
cmake --build "$build" -j2 --target "${names[@]}" >/dev/null
corpora=${VESPER_CORPORA:-$top/../shared/corpora}
if [ ! -d "$corpora" ]; then
  echo "The corpora folder $corpora is absent: the fuzzers start from their own seeds only."
fi
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export ASAN_OPTIONS=detect_leaks=1
status=0
for n in "${names[@]}"; do
  work=$(mktemp -d)
  seeds=()
  [ -d "$here/seeds/$n" ] && seeds+=("$here/seeds/$n")
  if [ -f "$here/$n.corpora" ] && [ -d "$corpora" ]; then   # lines: glob patterns under the corpora folder
    mkdir -p "$work/real"
    while read -r pat; do
      [ -n "$pat" ] || continue
      for f in $corpora/$pat; do [ -f "$f" ] && cp "$f" "$work/real/" || true; done
    done < "$here/$n.corpora"
    seeds+=("$work/real")
  fi
  echo "== $n: ${secs}s"
  if ! "$build/tests/fuzz/$n" -max_total_time="$secs" -timeout=10 -rss_limit_mb=4096 \
      -print_final_stats=1 -artifact_prefix="$work/" "$work" "${seeds[@]}" 2>"$work/log"; then
    echo "!! $n failed; log and crash input in $work"; tail -40 "$work/log"; status=1
  else
    grep -E 'stat::number_of_executed_units|Done' "$work/log" | tail -2
  fi
done
exit $status
