#!/usr/bin/env bash
# Checks the translations as scripts/format.sh --check checks the layout (./test.sh runs both first).
# Every text marked for translation in app/ and platform/ has a finished translation in each .ts file
# of translations/, and none keeps a text the sources no longer have: lupdate over the sources, run
# on a copy, adds nothing unfinished and marks nothing vanished or obsolete.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lupdate=/usr/lib/qt6/bin/lupdate
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
for ts in "$root"/translations/*.ts; do
    cp "$ts" "$copy/"
    "$lupdate" -silent -locations none "$root/app" "$root/platform" -ts "$copy/${ts##*/}"
    ! grep -E -B3 'type="(unfinished|vanished|obsolete)"|<translation></translation>' "$copy/${ts##*/}" ||
        { echo "${ts##*/}: these are unfinished or gone from the sources; update_translations, then translate"; exit 1; }
done
