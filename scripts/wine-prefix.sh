#!/usr/bin/env bash
# Creates the Wine prefix of the Windows tests once, so no test pays for it and
# tests started in parallel never create it twice.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/wine-prefix}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
ready=$WINEPREFIX/.portavane-ready
[ -f "$ready" ] && exit 0
# wineboot and wineserver come with the package wine, not with wine64.
missing() { for c in wine wineboot wineserver flock; do command -v "$c" >/dev/null || { echo "$c"; return; }; done; }
[ -z "$(missing)" ] || "$here/scripts/install-deps.sh"
[ -z "$(missing)" ] || { echo "$(missing) not found after scripts/install-deps.sh" >&2; exit 1; }
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
[ -f "$ready" ] && exit 0
echo "creating the Wine prefix $WINEPREFIX" >&2
wineboot -i >/dev/null 2>&1 || true
wineserver -w || true
[ -f "$WINEPREFIX/system.reg" ] || { echo "Wine prefix not created" >&2; exit 1; }
touch "$ready"
