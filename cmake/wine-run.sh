#!/usr/bin/env bash
# Runs a Windows executable under Wine with the project's own prefix and no
# installer dialogs; ctest uses it as the emulator of the Windows build.
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/wine-prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
"$here/scripts/wine-prefix.sh" || exit 1
# The first program of a Wine session starts Wine's own services, which keep
# its output open for as long as any Windows program runs. Through a file,
# the test's output ends when the test does, and ctest does not wait on them.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
wine "$@" >"$out" 2>&1
status=$?
cat "$out"
exit $status
