#!/usr/bin/env bash
# Configures and builds both architectures: build/i686 (the product) and build/x86_64 (tests under wine64).
# Usage: scripts/build.sh [i686|x86_64]...   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."

archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(i686 x86_64)

for arch in "${archs[@]}"; do
  echo "== build $arch"
  if [ ! -f "build/$arch/build.ninja" ]; then
    cmake --preset "mingw-$arch" >/dev/null
  fi
  cmake --build "build/$arch" -- -k 0
done
