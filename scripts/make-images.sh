#!/usr/bin/env bash
# Draws the window's artwork with ImageMagick. Run once; the results are
# committed under assets/image/ so a build needs no ImageMagick.
set -euo pipefail
OUT=${1:-$(cd "$(dirname "$0")/.." && pwd)/assets/image}
mkdir -p "$OUT"
cd "$OUT"

# Background: a blue header band fading into white below it.
convert -size 300x120 gradient:'#1E88E5'-'#64B5F6' \
        -size 300x380 gradient:'#E3F2FD'-white -append +repage -depth 8 main.png
# Logo: a white ring with a bar through it.
convert -size 32x32 xc:none -fill none -stroke white -strokewidth 3 -draw 'circle 16,16 16,4' \
        -fill white -stroke none -draw 'rectangle 14,8 18,24' logo.png
# Minimise and close buttons, white strokes on the header's blue.
convert -size 24x24 xc:none -stroke white -strokewidth 2 -draw 'line 6,15 18,15' minimize_button.png
convert -size 26x26 xc:none -stroke white -strokewidth 2 -draw 'line 7,7 19,19' -draw 'line 19,7 7,19' close_button.png
# Footer band.
convert -size 300x30 xc:'#BBDEFB' -fill '#90CAF9' -draw 'rectangle 0,0 300,2' bottom.png
# Waiting animation: twelve frames of a dot turning around a faint ring.
frames=()
for i in $(seq 0 11); do
  a=$(awk -v i="$i" 'BEGIN { pi = atan2(0, -1); t = i * pi / 6;
                            printf "%d,%d %d,%d", 75 + 50 * cos(t), 75 + 50 * sin(t), 75 + 50 * cos(t) + 9, 75 + 50 * sin(t) }')
  convert -size 150x150 xc:none -fill none -stroke '#BBDEFB' -strokewidth 6 -draw 'circle 75,75 75,25' \
          -stroke none -fill '#3FA6F0' -draw "circle $a" "frame$i.png"
  frames+=("frame$i.png")
done
convert -delay 8 -loop 0 -dispose background "${frames[@]}" loading.gif
rm -f "${frames[@]}"
# Small icons of the state panel: a signal bar chart and a clock.
convert -size 16x16 xc:none -fill '#3FA6F0' -draw 'rectangle 1,11 4,15' -draw 'rectangle 6,7 9,15' \
        -draw 'rectangle 11,2 14,15' netStateIcon.png
convert -size 16x16 xc:none -fill none -stroke '#3FA6F0' -strokewidth 2 -draw 'circle 8,8 8,2' \
        -draw 'line 8,8 8,4' -draw 'line 8,8 11,8' netTime.png
