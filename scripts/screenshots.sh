#!/usr/bin/env bash
# Remakes docs/screenshot*.png: the real window under Xvfb with a window manager, after LOAD of a
# sample picture and 灰階, at scale factors 1, 1.5 and 2. Needs a built build/edgepipe.
#   scripts/screenshots.sh --boxes   instead, the window with the box 灰階 opens when no picture is
#                                    loaded, in Taiwanese Chinese and in English
#                                    (docs/screenshot-zh_TW.png, docs/screenshot-en.png), and the
#                                    failure box of 濾波 without A.bmp in Taiwanese Chinese
#                                    (docs/screenshot-zh_TW-failure.png)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/scripts/setup.sh"
ensure_packages xvfb xauth openbox xdotool x11-utils x11-apps imagemagick

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -size 640x480 gradient:'#3a6ea5-#f4d35e' \
    \( -size 640x480 xc:none -fill '#c0392b' -draw "circle 220,260 220,150" \
       -fill '#2e8b57' -draw "rectangle 380,120 560,380" -fill white -draw "polygon 100,420 300,300 500,440" \) \
    -composite -type TrueColor "BMP3:$work/sample.bmp"

cat >"$work/shoot.sh" <<'INNER'
#!/usr/bin/env bash
# Runs inside Xvfb: $1 scale factor, $2 output file, $3 program, $4 sample picture to load, or
# nothing: then 灰階 alone, whose box stays open; $5 the button pressed then, 灰階 (its centre's y,
# 300) unless 濾波 (324). The program speaks the language of $LANG.
set -euo pipefail
factor=$1 out=$2 program=$3 sample=${4:-} press=${5:-300}
openbox >/dev/null 2>&1 & wm=$!
sleep 1
QT_SCALE_FACTOR=$factor "$program" >/dev/null 2>&1 & app=$!
sleep 2
win=$(xdotool search --name '^Form1$' | head -1)
click() { xdotool mousemove --window "$win" "$(awk -v v="$1" -v f="$factor" 'BEGIN{print int(v*f)}')" \
    "$(awk -v v="$2" -v f="$factor" 'BEGIN{print int(v*f)}')" click 1; }
if [ -n "$sample" ]; then
    click 76 300                  # LOAD
    sleep 2
    xdotool type --delay 15 "$sample"
    xdotool key Return
    sleep 3
fi
click 164 "$press"                # 灰階, or 濾波
sleep 3                           # a box takes longer to be drawn than a result does
read -r l r t b <<<"$(xprop -id "$win" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')"
geometry=$(xwininfo -id "$win" | awk -v l="$l" -v r="$r" -v t="$t" -v b="$b" \
    '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width/{w=$2} /Height/{h=$2}
     END{print w+l+r "x" h+t+b "+" x-l "+" y-t}')
screen=$(mktemp --suffix=.png)
xwd -root -silent | convert xwd:- "$screen"
# Xvfb leaves a box's inside out of the picture of the screen (it comes out black): it is taken
# from the box itself and laid over it.
for box in $(xdotool search --onlyvisible --name '^edgepipe$'); do
    at=$(xwininfo -id "$box" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} END{print "+" x "+" y}')
    xwd -id "$box" -silent | convert "$screen" xwd:- -geometry "$at" -composite "$screen"
done
convert "$screen" -crop "$geometry" +repage "$out"
rm "$screen"
kill "$app" "$wm"
INNER
chmod +x "$work/shoot.sh"

cd "$work"  # the stage file A.bmp lands here, not in the checkout
if [ "${1:-}" = --boxes ]; then
    for shot in zh_TW:zh_TW.UTF-8 en:en_US.UTF-8; do
        env -u LANGUAGE LC_ALL= LANG="${shot#*:}" xvfb-run -a -s "-screen 0 1280x1024x24" "$work/shoot.sh" 1 \
            "$ROOT/docs/screenshot-${shot%%:*}.png" "$ROOT/build/edgepipe"
        echo "docs/screenshot-${shot%%:*}.png"
    done
    rm -f A.bmp
    env -u LANGUAGE LC_ALL= LANG=zh_TW.UTF-8 xvfb-run -a -s "-screen 0 1280x1024x24" "$work/shoot.sh" 1 \
        "$ROOT/docs/screenshot-zh_TW-failure.png" "$ROOT/build/edgepipe" "$work/sample.bmp" 324
    echo "docs/screenshot-zh_TW-failure.png"
    exit 0
fi
for factor in 1 1.5 2; do
    name=screenshot-${factor}x.png
    [ "$factor" = 1 ] && name=screenshot.png
    xvfb-run -a -s "-screen 0 1800x1200x24" "$work/shoot.sh" "$factor" "$ROOT/docs/$name" \
        "$ROOT/build/edgepipe" "$work/sample.bmp"
    echo "docs/$name"
done
