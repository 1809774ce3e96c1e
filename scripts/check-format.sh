#!/usr/bin/env bash
# Fails, naming the files, when any C++ file of the tree differs from what clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run --Werror "${files[@]}"; then
  echo "Some files are not formatted; run: clang-format -i \$(git ls-files '*.cpp' '*.h')" >&2
  exit 1
fi
