#!/usr/bin/env bash
# The whole check: packages, both builds, the private Wine prefixes, every test under wine64.
# Usage: scripts/test.sh [ctest arguments...]   e.g. scripts/test.sh -R Digest
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh
scripts/build.sh

source scripts/wine-env.sh
trap quillan_wine_stop EXIT
# One prefix per lane: the tests of each run one at a time, the lanes side by side.
for variant in default lane2 dpi120; do quillan_wine_start "$variant"; done

cd build/x86_64
ctest --output-on-failure --timeout 600 -j3 "$@"
