#!/usr/bin/env bash
# Creates, once, the Wine prefix in which the windows are tested and
# photographed: a virtual desktop of 1024 x 768 with a taskbar and a
# notification area as on Windows, Wine's own Tahoma and Marlett in the
# prefix's font folder (not Wine's Tahoma Bold: with it bold text comes out
# in the regular glyphs), and WenQuanYi Micro Hei linked behind the dialog
# fonts for the Chinese glyphs. WINEPREFIX names it.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX names the prefix}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
ready=$WINEPREFIX/.portavane-gui-ready
[ -f "$ready" ] && exit 0
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
[ -f "$ready" ] && exit 0
for f in /usr/share/wine/fonts/tahoma.ttf /usr/share/fonts/truetype/wqy/wqy-microhei.ttc; do
  [ -f "$f" ] || { echo "$f missing: scripts/install-deps.sh installs it" >&2; exit 1; }
done
echo "creating the Wine prefix $WINEPREFIX" >&2
wineboot -i >/dev/null 2>&1 || true
wineserver -w || true
[ -f "$WINEPREFIX/system.reg" ] || { echo "Wine prefix not created" >&2; exit 1; }
cp /usr/share/wine/fonts/tahoma.ttf \
   /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
reg() { wine reg add "$@" /f >/dev/null 2>&1; }
reg 'HKCU\Software\Wine\Explorer' /v Desktop /d Default
reg 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768
links='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
for font in "Tahoma" "Tahoma Bold" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
  reg "$links" /v "$font" /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei"
done
wineserver -w || true
touch "$ready"
