#!/usr/bin/env bash
# The Explorer component end to end, on a fresh Debian 12 machine: installs the packages, builds the DLL,
# the two stand-ins and the demo's driver, makes a private Wine prefix (build/wine/demo), and runs
# tools/demo (quillan-demo.exe) in it: install and regsvr32, a sample configuration, the application's
# stand-in and an Explorer stand-in window, then the steps, each told in a few lines, with pictures.
# Usage: scripts/demo.sh            Pictures and logs: build/demo/
# Whatever happens, no process is left running: the prefix's wineserver is killed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
started=$(date +%s)

scripts/bootstrap.sh

echo "== build (x86_64: the DLL, the two stand-ins and the demo's driver)"
scripts/build.sh x86_64 --target quillan-demo

source scripts/wine-env.sh
echo "== Wine prefix build/wine/demo (made on the first run)"
WINEPREFIX="$(quillan_wine_prefix demo)" || { echo "demo: no Wine prefix" >&2; exit 1; }
export WINEPREFIX

stop_wine() {
  local rc=$?
  trap - EXIT INT TERM
  # Every Windows process of the prefix ends with its server: the stand-ins, the application, regsvr32.
  "$WINESERVER" -k >/dev/null 2>&1 || true
  "$WINESERVER" -w >/dev/null 2>&1 || true
  exit $rc
}
trap stop_wine EXIT
trap 'exit 130' INT TERM
"$WINESERVER" -p >/dev/null 2>&1 || true

pictures="$root/build/demo"
rm -rf "$pictures"
mkdir -p "$pictures"
echo "== the demo"
status=0
quillan_wine "$root/build/x86_64/bin/quillan-demo.exe" "--pictures=Z:${pictures//\//\\}" \
  | tr -d '\r' || status=$?

echo
echo "Pictures and logs: $pictures"
ls "$pictures"
echo "The demo took $(( $(date +%s) - started )) s."
exit $status
