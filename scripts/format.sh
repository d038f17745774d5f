#!/usr/bin/env bash
# Formats every tracked C/C++ file with the tree's .clang-format, or with
# --check only lists the files that stray from it and fails when there are any.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  bad=$(clang-format --dry-run "${files[@]}" 2>&1 | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning:.*/\1/p' | sort -u)
  if [ -n "$bad" ]; then
    echo "not formatted (run: make format):"
    echo "$bad"
    exit 1
  fi
  echo "format: ${#files[@]} files conform"
else
  clang-format -i "${files[@]}"
fi
