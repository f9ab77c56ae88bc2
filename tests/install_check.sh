#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a desktop finds there: the program,
# a launcher that validates, hands edgepipe the picture it opens and sits in Graphics, and the
# icon at 32 and 128 pixels (the size from the PNG header).
set -euo pipefail
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null
launcher="$prefix/share/applications/io.github.edgepipe.desktop"
test -x "$prefix/bin/edgepipe"
desktop-file-validate "$launcher"
grep -qx 'Exec=edgepipe %f' "$launcher"
grep -qx 'MimeType=image/bmp;image/png;image/jpeg;image/gif;' "$launcher"
grep -q '^Categories=Graphics;' "$launcher"
for size in 32 128; do
    [ "$(od -An -tu4 --endian=big -j16 -N8 "$prefix/share/icons/hicolor/${size}x${size}/apps/edgepipe.png" | xargs)" = "$size $size" ]
done
echo "install: program, launcher and icons in place"
