#!/usr/bin/env bash
# Fails when a C++ source of the project differs from what clang-format makes of it.
# With --fix, reformats the files in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=(--dry-run -Werror)
[ "${1:-}" = "--fix" ] && mode=(-i)
git ls-files -- 'iximage/*.h' 'iximage/*.cpp' 'tests/*.h' 'tests/*.cpp' 'bench/*.cpp' \
  'tools/*.h' 'tools/*.cpp' 'examples/*.cpp' 'fuzz/*.cpp' 'python/*.h' 'python/*.cpp' \
  | xargs -r clang-format "${mode[@]}"
