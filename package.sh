#!/usr/bin/env bash
# Builds the Debian package build-package/edgepipe_X.Y.Z_amd64.deb from a plain Release build and
# checks it: the launcher and the software-centre metadata validate, and lintian finds no errors.
#   ./package.sh --arch arm64     cross-builds build-package-arm64/edgepipe_X.Y.Z_arm64.deb instead
#   sudo apt-get install ./build-package/edgepipe_*.deb     installs it
set -euo pipefail
ROOT=$(cd "$(dirname "$0")" && pwd)
source "$ROOT/scripts/setup.sh"

ARCH=amd64
case "${1:-}/${2:-}" in
    /) ;;
    --arch/amd64 | --arch/arm64) ARCH=$2 ;;
    *) echo "usage: $0 [--arch amd64|arm64]" >&2; exit 2 ;;
esac
ensure_packages "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
BUILD="$ROOT/build-package"
CROSS=()
if [ "$ARCH" = arm64 ]; then
    ensure_arm64_architecture
    ensure_packages "${ARM64_PACKAGES[@]}"
    BUILD="$ROOT/build-package-arm64"
    CROSS=(-DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/aarch64-linux-gnu.cmake")
    # dpkg-shlibdeps reads the ARM64 program with the ARM64 objdump and looks in the ARM64 libraries.
    export DEB_HOST_ARCH=arm64 DEB_HOST_MULTIARCH=aarch64-linux-gnu DEB_HOST_GNU_TYPE=aarch64-linux-gnu
fi
configure_build "$BUILD" "${CROSS[@]}" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS="-D_FORTIFY_SOURCE=2" \
    -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro,-z,now"
cmake --build "$BUILD"
rm -f "$BUILD"/edgepipe_*.deb
(cd "$BUILD" && cpack -G DEB >cpack.log) || { cat "$BUILD/cpack.log"; exit 1; }
deb=$(ls "$BUILD"/edgepipe_*_"$ARCH".deb)

desktop-file-validate "$ROOT"/app/*.desktop
appstreamcli validate --no-net "$ROOT"/app/*.metainfo.xml
lintian --fail-on error "$deb"
if [ "$ARCH" = arm64 ]; then  # the program as packed starts on ARM64 (under qemu)
    unpacked=$(mktemp -d)
    trap 'rm -rf "$unpacked"' EXIT
    dpkg-deb -x "$deb" "$unpacked"
    qemu-aarch64 -L / "$unpacked/usr/bin/edgepipe" --version
fi
echo "package: $deb"
