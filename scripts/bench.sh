#!/usr/bin/env bash
# Builds and runs every benchmark under Wine. Each figure is one line "name: value unit",
# each comparison with its floor one line "name ratio: value".
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh
scripts/build.sh x86_64

source scripts/wine-env.sh
trap quillan_wine_stop EXIT
quillan_wine_start default

shopt -s nullglob
benches=(build/x86_64/bin/bench_*.exe)
if [ ${#benches[@]} -eq 0 ]; then
  echo "no benchmarks built"
  exit 0
fi
for b in "${benches[@]}"; do
  echo "== $(basename "$b" .exe)"
  WINEPREFIX="$(quillan_wine_prefix default)" quillan_wine "$b" | tr -d "\r"
done
