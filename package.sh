#!/usr/bin/env bash
# Builds the Debian package build-package/edgepipe_X.Y.Z_amd64.deb from a plain Release build and
# checks it: the launcher and the software-centre metadata validate, and lintian finds no errors.
#   sudo apt-get install ./build-package/edgepipe_*.deb     installs it
set -euo pipefail
ROOT=$(cd "$(dirname "$0")" && pwd)
source "$ROOT/scripts/setup.sh"

ensure_packages "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
BUILD="$ROOT/build-package"
configure_build "$BUILD" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS="-D_FORTIFY_SOURCE=2" \
    -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro,-z,now"
cmake --build "$BUILD"
rm -f "$BUILD"/edgepipe_*.deb
(cd "$BUILD" && cpack -G DEB >cpack.log) || { cat "$BUILD/cpack.log"; exit 1; }
deb=$(ls "$BUILD"/edgepipe_*_amd64.deb)

desktop-file-validate "$ROOT"/app/*.desktop
appstreamcli validate --no-net "$ROOT"/app/*.metainfo.xml
lintian --fail-on error "$deb"
echo "package: $deb"
