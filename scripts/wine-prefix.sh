#!/usr/bin/env bash
# Creates the Wine prefix of the Windows tests once, so no test pays for it.
set -euo pipefail
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$WINEPREFIX/system.reg" ] && exit 0
mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1 || true
wineserver -w || true
