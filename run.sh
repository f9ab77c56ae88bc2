#!/usr/bin/env bash
# Sets up, builds and starts edgepipe; arguments go to the program (./run.sh photo.jpg,
# ./run.sh --batch *.jpg). Stage files go to the directory this is run from.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")" && pwd)
source "$ROOT/scripts/setup.sh"

# build/ as ./test.sh configures it: a folder that is there is never configured again, and a fresh
# one gets test.sh's options, so the two never rebuild each other's work.
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
[ -f "$ROOT/build/build.ninja" ] || configure_build "$ROOT/build" "${PLAIN_BUILD_OPTIONS[@]}"
cmake --build "$ROOT/build" --target edgepipe
exec "$ROOT/build/edgepipe" "$@"
