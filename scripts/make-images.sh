#!/usr/bin/env bash
# Draws the images of the window program with ImageMagick into
# src/app/win32/res/: the banner of the main window (banner.bmp, 379 x 89),
# the program's icon (portavane.ico) and the About box's icon (about.ico),
# each at 16, 32 and 48 pixels, and the 16-pixel glyphs of the Start and Stop
# buttons (start.ico, a green arrow; stop.ico, the red cancel cross). The results are committed, so a build
# needs no ImageMagick; run this after changing a drawing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=$here/src/app/win32/res
convert=/usr/bin/convert  # Debian's, not whatever else is first on PATH
if [ ! -x "$convert" ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends imagemagick >/dev/null
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# The mark: a white weather vane on a rounded tile, drawn at 256 pixels and
# scaled down. $1: the tile's two gradient colours, $2: the output.
mark() {
  local top=$1 bottom=$2 file=$3
  "$convert" -size 256x256 "gradient:$top-$bottom" \
    \( -size 256x256 xc:none -fill white -draw "roundrectangle 8,8 247,247 56,56" \) \
    -compose DstIn -composite \
    -fill none -stroke 'rgba(255,255,255,0.35)' -strokewidth 6 -draw "roundrectangle 14,14 241,241 50,50" \
    -stroke none -fill white \
    -draw "rectangle 120,96 136,206" \
    -draw "roundrectangle 78,196 178,214 8,8" \
    -draw "polygon 44,70 96,104 44,138 66,104" \
    -draw "rectangle 66,97 176,111" \
    -draw "polygon 212,104 168,74 168,134" \
    -draw "circle 128,104 128,120" \
    -fill "$bottom" -draw "circle 128,104 128,112" \
    "$work/$file.png"
  "$convert" "$work/$file.png" -define icon:auto-resize=48,32,16 "$out/$file.ico"
}
mark '#2f8cff' '#0b3d91' portavane
mark '#ffb347' '#e0561b' about

# The button glyphs, drawn at 64 pixels.
"$convert" -size 64x64 xc:none -fill '#1e9e3a' -stroke '#11702a' -strokewidth 3 \
  -draw "polygon 16,8 56,32 16,56" "$work/start.png"
"$convert" "$work/start.png" -define icon:auto-resize=16 "$out/start.ico"
"$convert" -size 64x64 xc:none -fill '#d7261e' -stroke '#9c1510' -strokewidth 3 -draw "circle 32,32 32,4" \
  -stroke white -strokewidth 9 -draw "line 20,20 44,44" -draw "line 44,20 20,44" "$work/stop.png"
"$convert" "$work/stop.png" -define icon:auto-resize=16 "$out/stop.ico"

# The banner: deep blue to teal with soft light bands, a thin highlight at its
# foot; the icon, the title and the help link are drawn over its left and
# right parts at run time, so those stay quiet.
"$convert" -size 379x89 gradient:'#0b3d91'-'#1186a8' -rotate -90 -resize '379x89!' \
  \( -size 379x89 xc:none -fill 'rgba(255,255,255,0.07)' \
     -draw "polygon 170,89 230,0 290,0 230,89" \
     -draw "polygon 250,89 310,0 335,0 275,89" \
     -fill 'rgba(255,255,255,0.05)' -draw "circle 355,10 355,95" \) -composite \
  -fill 'rgba(255,255,255,0.35)' -draw "rectangle 0,87 378,87" \
  -fill 'rgba(0,0,0,0.25)' -draw "rectangle 0,88 378,88" \
  -type TrueColor "BMP3:$out/banner.bmp"
echo "images written to $out"
