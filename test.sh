#!/usr/bin/env bash
# Sets up, builds and runs every test; exits non-zero on any failure. Needs no display.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")" && pwd)
source "$ROOT/scripts/setup.sh"

ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
configure_build "$ROOT/build" -DCMAKE_BUILD_TYPE=Release -DEDGEPIPE_TESTS=ON -DEDGEPIPE_WERROR=ON
cmake --build "$ROOT/build"
ctest --test-dir "$ROOT/build" --output-on-failure -j2
