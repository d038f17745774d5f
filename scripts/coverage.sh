#!/usr/bin/env bash
# Builds with gcc's --coverage in a folder of its own, runs the whole test
# suite and prints the line coverage of the three code folders, each and in
# total. The figures are printed even when a test fails; the exit status is
# the suite's.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-coverage}
jobs=${JOBS:-$(nproc)}

# No ccache: gcc writes the object's own path into the notes file.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DVELNOR_BUILD_TESTS=ON -DVELNOR_BUILD_BENCH=OFF \
  -DVELNOR_COVERAGE=ON >/dev/null || exit 1
cmake --build "$build" -j"$jobs" || exit 1
# Counters add up from run to run; start from zero.
find "$build" -name '*.gcda' -delete
(cd "$build" && ctest --output-on-failure -j"$jobs")
status=$?

summary="$build/coverage-summary.json"
gcovr -r . "$build" -j"$jobs" --gcov-ignore-parse-errors \
  --filter 'Comm/' --filter 'TovarineSvr/' --filter 'client/' \
  --json-summary "$summary" || exit 1
echo "Line coverage:"
jq -r '
  [.files[] | {dir: (.filename | split("/")[0]), c: .line_covered, t: .line_total}]
  | (group_by(.dir) | map({dir: .[0].dir, c: (map(.c) | add), t: (map(.t) | add)}))
    + [{dir: "total", c: (map(.c) | add), t: (map(.t) | add)}]
  | .[] | "  \(.dir | . + "/" | if . == "total/" then "total" else . end)\t\(.c) of \(.t) lines\t\(if .t > 0 then (1000 * .c / .t | floor) / 10 else 0 end)%"' \
  "$summary"
exit $status
