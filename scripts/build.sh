#!/usr/bin/env bash
# Configures and builds both architectures: build/i686 (the product) and build/x86_64 (tests under wine64).
# Usage: scripts/build.sh [i686|x86_64]... [--target NAME]...   (default: both, everything)
set -euo pipefail
cd "$(dirname "$0")/.."

archs=()
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --target) targets+=(--target "$2"); shift 2 ;;
    *) archs+=("$1"); shift ;;
  esac
done
[ ${#archs[@]} -gt 0 ] || archs=(i686 x86_64)

for arch in "${archs[@]}"; do
  echo "== build $arch"
  if [ ! -f "build/$arch/build.ninja" ]; then
    cmake --preset "mingw-$arch" >/dev/null
  fi
  cmake --build "build/$arch" "${targets[@]}" -- -k 0
done
