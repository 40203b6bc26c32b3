#!/usr/bin/env bash
# Numbers the controls on a screenshot of the control window (both panels
# open: the screenshot test's <build>/artefacts/FrmMain.png, or the headless
# demo's build/demo-run/demo/demo-control.png after "plTop=145" and
# "plBottom=140" are added to build/demo-run/system.INI) and writes the key
# beside it: resources/docs/control-window.png for README.
# Needs ImageMagick (convert).
# Usage: annotate-control-window.sh <screenshot> [<output>]
set -euo pipefail
in=${1:?usage: annotate-control-window.sh <screenshot> [<output>]}
out=${2:-$(dirname "$0")/../resources/docs/control-window.png}
mkdir -p "$(dirname "$out")"

# number | marker centre x,y on the 602 x 522 window | key text
marks=(
  "1|14|14|top panel: open / close"
  "2|106|10|volume"
  "3|226|14|reload the saved sections"
  "4|279|14|pause, 10 s back, 10 s forward"
  "5|446|14|speed"
  "6|551|14|exit"
  "7|14|62|open a media file (once one is open: 允许编辑)"
  "8|60|62|audio track"
  "9|224|68|sound channel"
  "10|12|104|position (double-click: the row starts here)"
  "11|475|98|picture zoom"
  "12|330|310|sections: type into a cell or double-click it"
  "13|14|396|bottom panel: open / close"
  "14|64|396|add / delete / save a section"
  "15|222|394|control window transparency"
  "16|350|394|repeat pause in ms"
  "17|498|394|hide the controls after seconds"
  "18|14|443|at the end: exit, power off, loop"
  "19|10|485|允许编辑: editing on"
  "20|296|470|mirror, stretch to fill, section line, speed trainer"
  "21|349|510|lead or follow a room"
  "22|462|510|phone remote (address, PIN, QR code)"
  "23|545|510|timeline window"
)
draw=()
key_y=28
key=()
for m in "${marks[@]}"; do
  IFS='|' read -r n x y text <<<"$m"
  draw+=(-fill '#ffd800' -stroke black -strokewidth 1.5 -draw "circle $x,$y $((x + 10)),$y")
  off=$([ "${#n}" -eq 1 ] && echo 4 || echo 8)
  draw+=(-stroke none -fill black -font DejaVu-Sans-Bold -pointsize 13
         -annotate "+$((x - off))+$((y - 9))" "$n")
  key+=(-fill '#ffd800' -font DejaVu-Sans-Bold -pointsize 14 -annotate "+612+$((key_y + 2))" "$n"
        -fill white -font Noto-Sans-CJK-SC -pointsize 14 -annotate "+640+$key_y" "$text")
  key_y=$((key_y + 21))
done
convert "$in" -background '#001800' -gravity NorthWest -extent 962x522 \
  "${draw[@]}" "${key[@]}" -strip -colors 96 "PNG8:$out"
echo "$out"
