#!/usr/bin/env bash
# Runs a Windows executable under Wine with a prefix of its own and no installer dialogs.
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/portavane-wine}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "$@"
