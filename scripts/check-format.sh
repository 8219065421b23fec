#!/usr/bin/env bash
# Fails when a C++ file of the project differs from what clang-format makes of it.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
mapfile -t files < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find src-gl tests bench tools -name '*.cpp' -o -name '*.h')
[ ${#files[@]} -eq 0 ] && exit 0
if ! clang-format --dry-run --Werror "${files[@]}"; then
  echo "Formatting differs from .clang-format: run clang-format -i on the files above." >&2
  exit 1
fi
echo "format: ${#files[@]} files checked"
