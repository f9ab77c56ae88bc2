#!/usr/bin/env bash
# Sets up, builds and starts edgepipe; arguments go to the program (./run.sh photo.jpg,
# ./run.sh --batch *.jpg). Stage files go to the directory this is run from.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")" && pwd)
source "$ROOT/scripts/setup.sh"

# The same build folder and options as ./test.sh --fast, so the two never rebuild each other's work.
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
configure_build "$ROOT/build" "${PLAIN_BUILD_OPTIONS[@]}"
cmake --build "$ROOT/build" --target edgepipe
exec "$ROOT/build/edgepipe" "$@"
