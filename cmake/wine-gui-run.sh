#!/usr/bin/env bash
# Runs a Windows program that opens windows: on an Xvfb display of its own, in
# the window tests' Wine prefix (a virtual desktop with a taskbar and the
# fonts the Chinese text needs). It waits for that prefix's Wine to end, so
# the next program starts its desktop on its own display.
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${PV_WINE_GUI_PREFIX:-$here/build/wine-gui-prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
"$here/scripts/wine-gui-prefix.sh" || exit 1
exec xvfb-run -a -s "-screen 0 1024x768x24" bash -c 'wine "$@"; status=$?; wineserver -w; exit $status' wine-gui-run "$@"
