#!/usr/bin/env bash
# Runs one Windows program under wine64 in the private prefix (the CTest emulator).
# QUILLAN_WINE_VARIANT picks the prefix: default (96 DPI) or dpi120.
set -uo pipefail
source "$(dirname "$0")/wine-env.sh"
variant="${QUILLAN_WINE_VARIANT:-default}"
WINEPREFIX="$(quillan_wine_prefix "$variant")" || exit 1
export WINEPREFIX
"$WINESERVER" -p >/dev/null 2>&1 || true
# Wine's console helper keeps an inherited stdout pipe open for about a second after the program
# ends; going through a file lets the caller see the end of the output at once.
out="$(mktemp)"
quillan_wine "$@" >"$out" 2>&1
rc=$?
tr -d '\r' <"$out"
rm -f "$out"
exit $rc
