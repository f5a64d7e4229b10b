#!/usr/bin/env bash
# Applies each fault of scripts/mutations.txt alone to a scratch copy of the tree, rebuilds the x86_64
# DLL and test programs and runs the tests until the first failure: first the tests named on the
# fault's line, then, when those pass, the whole suite but for the package test and the i686 export
# check (they need the i686 build, which the scratch copy does not make). Prints one line per fault
# (caught or survived) and a summary line.
# Usage: scripts/mutate.sh [FIRST [LAST]]   (fault numbers, from 1; default: all)
set -uo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
scratch="$root/build/mutate/tree"
first="${1:-1}"
last="${2:-100000}"

mkdir -p "$scratch"
# The tree as it stands (committed or not), beside the scratch copy's own build folder. Every file
# is written with the time of the copy: an object that an earlier run built from a restored file may be
# newer than the file's own time, and would otherwise be taken as up to date.
find "$scratch" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +
tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$scratch" -xmf -
cd "$scratch"
if [ ! -f build/x86_64/build.ninja ]; then cmake --preset mingw-x86_64 >/dev/null || exit 1; fi
cmake --build build/x86_64 --target quillan_tests >/dev/null || { echo "mutate: the unchanged tree does not build"; exit 1; }
source scripts/wine-env.sh
trap quillan_wine_stop EXIT
quillan_wine_start default

n=0 caught=0 survived=0
while IFS= read -r line; do
  case "$line" in ''|'#'*) continue ;; esac
  n=$((n + 1))
  [ "$n" -lt "$first" ] || [ "$n" -gt "$last" ] && continue
  # Fields apart by " | " (a field itself may hold "||").
  file="$(python3 -c 'import sys; print(sys.argv[1].split(" | ")[0].strip())' "$line")"
  tests="$(python3 -c 'import sys; print(sys.argv[1].split(" | ")[3].strip())' "$line")"
  cp "$file" "$file.orig"
  if ! python3 - "$line" <<'PY'
import sys
fields = sys.argv[1].split(" | ")
path, text, replacement = fields[0].strip(), fields[1], fields[2]
replacement = "" if replacement.strip() == "(nothing)" else replacement
source = open(path, encoding='utf-8').read()
if text not in source:
    sys.exit(1)
open(path, 'w', encoding='utf-8').write(source.replace(text, replacement, 1))
PY
  then
    echo "fault $n: NOT FOUND   $line"
    rm -f "$file.orig"
    survived=$((survived + 1))
    continue
  fi
  result=survived
  if ! cmake --build build/x86_64 --target quillan_tests >/dev/null 2>&1; then
    result="survived (does not build)"
  elif ! (cd build/x86_64 && ctest -R "$tests" --stop-on-failure --timeout 300 >/dev/null 2>&1); then
    result="caught ($tests)"
  elif ! (cd build/x86_64 && ctest -E "com_exports.i686|package_tests" --stop-on-failure --timeout 300 >/dev/null 2>&1); then
    result="caught (suite)"
  fi
  mv "$file.orig" "$file"
  touch "$file"
  case "$result" in survived*) survived=$((survived + 1)) ;; *) caught=$((caught + 1)) ;; esac
  echo "fault $n: $result   $line"
done < "$root/scripts/mutations.txt"
cmake --build build/x86_64 --target quillan_tests >/dev/null 2>&1
echo "mutate: $((caught + survived)) faults, $caught caught, $survived survived"
[ "$survived" -eq 0 ]
