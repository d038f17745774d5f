#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in a build folder of their own and
# runs each for FUZZ_SECONDS (default 60) on its seed corpus (fuzz/corpus/)
# plus what earlier runs found (BUILD/corpus/). Prints, per target, the
# executions, executions per second, coverage and whether it found anything;
# inputs that crash, hang, leak or trip a sanitizer land in BUILD/findings/.
# Exits non-zero when any target found something.
#   FUZZ_SECONDS=N   seconds per target        FUZZ_TARGETS="fuzz_xml ..."  a subset
#   FUZZ_BUILD=dir   build folder (build-fuzz)  FUZZ_NICE=N  niceness (15)
#   FUZZ_SEED=N      a fixed random seed, so a pass mutates the same way each time (CI)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${FUZZ_BUILD:-build-fuzz}
SECONDS_EACH=${FUZZ_SECONDS:-60}
NICE=${FUZZ_NICE:-15}
seed=()
[ -n "${FUZZ_SEED:-}" ] && seed=(-seed="$FUZZ_SEED")
JOBS=${JOBS:-$(nproc)}

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
mkdir -p "$BUILD"
# Absolute, so a folder outside the tree (kept between clones) works too.
BUILD=$(cd "$BUILD" && pwd)
if ! { cmake -S . -B "$BUILD" -DVELNOR_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
         -DVELNOR_BUILD_TESTS=OFF -DVELNOR_BUILD_BENCH=OFF "${launcher[@]}" &&
       nice -n "$NICE" cmake --build "$BUILD" -j"$JOBS" --target velnor_fuzz; } >"$BUILD/build.log" 2>&1; then
  tail -40 "$BUILD/build.log"
  echo "fuzz targets failed to build (whole log: $BUILD/build.log)"
  exit 1
fi

targets=${FUZZ_TARGETS:-$(ls fuzz/fuzz_*.cpp | xargs -n1 basename | sed 's/\.cpp$//')}
# A freed block stays poisoned for the next 16 MiB of frees, far more than one
# input allocates, so a use after free within an input is still caught; the
# default 256 MiB made every input fault in fresh pages, at a third of the speed.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:quarantine_size_mb=16}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Running totals over every run in this build folder: target, executions.
totals="$BUILD/fuzz-executions.tsv"
touch "$totals"

failed=0
printf '%-20s %12s %9s %7s %14s  %s\n' target executions exec/s cov "total execs" result
for target in $targets; do
  work="$BUILD/corpus/$target" findings="$BUILD/findings/$target" log="$BUILD/logs/$target.log"
  mkdir -p "$work" "$findings" "$(dirname "$log")"
  set +e
  (cd "$BUILD" && nice -n "$NICE" "bin/$target" -max_total_time="$SECONDS_EACH" "${seed[@]}" -timeout=10 \
     -rss_limit_mb=2048 -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$findings/" \
     "$work" "$ROOT/fuzz/corpus/$target") >"$log" 2>&1
  status=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2 || true)
  runs=${runs:-0}
  total=$(awk -v t="$target" -v n="$runs" '$1 == t { s += $2 } END { print s + n }' "$totals")
  printf '%s\t%s\n' "$target" "$runs" >>"$totals"
  found=$(ls "$findings" | wc -l)
  result="clean"
  if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
    result="FOUND: $(ls "$findings" | head -3 | tr '\n' ' ')(log: $log)"
    failed=1
  fi
  printf '%-20s %12s %9s %7s %14s  %s\n' "$target" "$runs" "${rate:-0}" "${cov:-0}" "$total" "$result"
done
exit "$failed"
