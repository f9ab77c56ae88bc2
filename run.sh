#!/usr/bin/env bash
# Sets up, builds and starts edgepipe; arguments go to the program (./run.sh photo.jpg,
# ./run.sh --batch *.jpg). Stage files go to the directory this is run from.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")" && pwd)
source "$ROOT/scripts/setup.sh"

# build/ as ./test.sh configures it: a folder that is there is never configured again, and a fresh
# one gets test.sh's options, so the two never rebuild each other's work.
# Standard output is the program's alone (./run.sh --version | ...): the set-up and the build speak
# on standard error, and a build with nothing to do says nothing.
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" >&2
[ -f "$ROOT/build/build.ninja" ] || configure_build "$ROOT/build" "${PLAIN_BUILD_OPTIONS[@]}" >&2
cmake --build "$ROOT/build" --target edgepipe 2>&1 | { grep --line-buffered -v '^ninja: no work to do\.$' || true; } >&2
exec "$ROOT/build/edgepipe" "$@"
