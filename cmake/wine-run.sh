#!/usr/bin/env bash
# Runs a Windows executable under Wine with the project's own prefix and no
# installer dialogs; ctest uses it as the emulator of the Windows build.
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/wine-prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
"$here/scripts/wine-prefix.sh" || exit 1
exec wine "$@"
