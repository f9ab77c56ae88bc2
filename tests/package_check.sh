#!/usr/bin/env bash
# Packs the build as ./package.sh does and checks what the .deb holds and what it depends on: the
# program, a launcher that validates, hands edgepipe the picture it opens and sits in Graphics, the
# icon at 32 and 128 pixels (the size from the PNG header), the metadata, and nothing outside /usr.
set -euo pipefail
build=$1 version=$2
command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null ||
    { echo "skipped: dpkg-deb or dpkg-shlibdeps (dpkg-dev) is not installed"; exit 77; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" || { cat "$out/cpack.log"; exit 1; }
# The architecture is the build's own: amd64, or arm64 from the cross build.
deb=$(ls "$out"/edgepipe_"$version"_*.deb)
dpkg-deb -x "$deb" "$out/root"
usr=$out/root/usr
launcher=$usr/share/applications/io.github.edgepipe.desktop
test -x "$usr/bin/edgepipe"
desktop-file-validate "$launcher"
grep -qx 'Exec=edgepipe %f' "$launcher"
grep -qx 'MimeType=image/bmp;image/png;image/jpeg;image/gif;' "$launcher"
for size in 32 128; do
    [ "$(od -An -tu4 --endian=big -j16 -N8 "$usr/share/icons/hicolor/${size}x${size}/apps/edgepipe.png" | xargs)" = "$size $size" ]
done
for path in share/metainfo/io.github.edgepipe.metainfo.xml share/doc/edgepipe/copyright share/man/man1/edgepipe.1.gz; do
    test -f "$usr/$path" || { echo "the package lacks /usr/$path"; exit 1; }
done
outside=$(dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -v -e '/$' -e '^./usr/bin/' -e '^./usr/share/' || true)
[ -z "$outside" ] || { echo "the package installs outside /usr/bin and /usr/share: $outside"; exit 1; }
# What it needs, and Qt's own translations and its Wayland plugin, recommended.
depends=$(dpkg-deb -f "$deb" Depends Recommends)
for needed in fonts-noto-cjk libqt6widgets6 libqt6gui6 libhwy1 qt6-translations-l10n qt6-wayland; do
    grep -q "\b$needed\b" <<<"$depends" || { echo "the package lacks $needed: $depends"; exit 1; }
done
! grep -Eq 'gtest|gmock|benchmark|opencv|asan|ubsan' <<<"$depends" ||
    { echo "Depends names a build-only library: $depends"; exit 1; }
echo "package: $(basename "$deb") holds the program, launcher, icons, metadata and copyright"
