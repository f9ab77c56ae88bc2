#!/usr/bin/env bash
# Sets up, builds and starts edgepipe. Stage files go to the directory this is run from.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")" && pwd)
source "$ROOT/scripts/setup.sh"

ensure_packages "${BUILD_PACKAGES[@]}"
# A build folder that ./test.sh configured already serves; otherwise a plain Release build.
[ -f "$ROOT/build/build.ninja" ] || configure_build "$ROOT/build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$ROOT/build" --target edgepipe

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "edgepipe: no display to show the window on (DISPLAY is not set); run it from a desktop session or under xvfb-run" >&2
    exit 1
fi
exec "$ROOT/build/edgepipe"
