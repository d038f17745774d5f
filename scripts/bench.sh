#!/usr/bin/env bash
# Runs every benchmark program that the build produced and prints its figures.
set -euo pipefail
build=${1:-build}
found=0
for b in "$build"/bin/bench_*; do
  [ -x "$b" ] || continue
  found=1
  echo "== $(basename "$b")"
  "$b"
done
[ "$found" = 1 ] || { echo "no benchmarks built" >&2; exit 1; }
