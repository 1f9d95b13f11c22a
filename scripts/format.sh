#!/usr/bin/env bash
# Lays out every C and C++ file of the repository as .clang-format says.
# With --check it changes nothing, and fails naming each line that differs.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
if [ "${1:-}" = --check ]; then
    exec clang-format --dry-run -Werror "${files[@]}"
fi
clang-format -i "${files[@]}"
