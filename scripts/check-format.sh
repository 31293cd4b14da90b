#!/usr/bin/env bash
# The formatting rule (.clang-format) over every C and C++ file of the repository: prints the
# places that differ and fails when there is one.
set -eu
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
if clang-format --dry-run -Werror "${files[@]}"; then
    echo "format: ${#files[@]} files follow .clang-format"
else
    echo "format: files above differ from .clang-format; run: clang-format -i <file>" >&2
    exit 1
fi
