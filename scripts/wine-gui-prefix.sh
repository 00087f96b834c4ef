#!/usr/bin/env bash
# Creates, once, the Wine prefix in which the windows are tested and
# photographed: a prefix as scripts/wine-prefix.sh makes it, then a virtual
# desktop of 1024 x 768 with a taskbar and a notification area as on Windows,
# Wine's own Tahoma and Marlett in the prefix's font folder (not Wine's Tahoma
# Bold: with it bold text comes out in the regular glyphs), and WenQuanYi
# Micro Hei linked behind the dialog fonts for the Chinese glyphs.
# WINEPREFIX names it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:?WINEPREFIX names the prefix}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
ready=$WINEPREFIX/.portavane-gui-ready
[ -f "$ready" ] && exit 0
fonts=(/usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/marlett.ttf
       /usr/share/fonts/truetype/wqy/wqy-microhei.ttc)
for f in "${fonts[@]}"; do [ -f "$f" ] || "$here/scripts/install-deps.sh"; done
"$here/scripts/wine-prefix.sh"
exec 9>"$WINEPREFIX.gui-lock"
flock 9
[ -f "$ready" ] && exit 0
cp "${fonts[0]}" "${fonts[1]}" "$WINEPREFIX/drive_c/windows/Fonts/"
reg() { wine reg add "$@" /f >/dev/null 2>&1; }
reg 'HKCU\Software\Wine\Explorer' /v Desktop /d Default
reg 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768
links='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
for font in "Tahoma" "Tahoma Bold" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
  reg "$links" /v "$font" /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei"
done
wineserver -w || true
touch "$ready"
