#!/usr/bin/env bash
# Formats every C++ file of the project in place with the root .clang-format.
#   scripts/format.sh           formats
#   scripts/format.sh --check   changes nothing; fails and names the files that are not formatted
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
mapfile -t files < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h')
if [ "${1:-}" = --check ]; then
    clang-format --dry-run --Werror "${files[@]}"
else
    clang-format -i "${files[@]}"
fi
