#!/usr/bin/env bash
# Fails when a C++ line added or changed since the formatting rules came in
# (the commit that added .clang-format) is not formatted by the rules of its
# folder.  Older lines are left as they are.  Formats nothing itself: to format
# your changed lines, run  git clang-format-14 --extensions h,cpp "$(git log --diff-filter=A --format=%H -- .clang-format | tail -1)"
set -euo pipefail
cd "$(dirname "$0")/.."

base=$(git log --diff-filter=A --format=%H -- .clang-format | tail -1)
if [ -z "$base" ]; then
  echo "check-format: the commit that added .clang-format is not in this clone's history" >&2
  exit 1
fi

report=$(git diff -U0 --no-color "$base" -- '*.h' '*.cpp' | clang-format-diff-14 -p1)
if [ -n "$report" ]; then
  echo "$report"
  echo "check-format: the lines above are not formatted; run  git clang-format-14 --extensions h,cpp $base" >&2
  exit 1
fi
echo "check-format: changed lines are formatted"
