#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a desktop finds there: the program,
# a launcher that validates, and the icon at 32 and 128 pixels.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

test -x "$prefix/bin/edgepipe" || { echo "bin/edgepipe missing"; exit 1; }
launcher="$prefix/share/applications/io.github.edgepipe.desktop"
desktop-file-validate "$launcher"
grep -qx 'Exec=edgepipe %f' "$launcher" || { echo "the launcher must hand edgepipe the file it opens"; exit 1; }
grep -qx 'MimeType=image/bmp;image/png;image/jpeg;image/gif;' "$launcher" || { echo "the launcher must offer the picture kinds"; exit 1; }
grep -q '^Categories=Graphics;' "$launcher" || { echo "the launcher belongs in Graphics"; exit 1; }

png_size() {  # width x height from a PNG header
    od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'
}
for size in 32 128; do
    icon="$prefix/share/icons/hicolor/${size}x${size}/apps/edgepipe.png"
    [ "$(png_size "$icon")" = "${size}x${size}" ] || { echo "icon $icon is not ${size}x${size}"; exit 1; }
done
echo "install: program, launcher and icons in place"
