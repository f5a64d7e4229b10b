#!/usr/bin/env bash
# Applies each fault of scripts/mutations.txt alone to a scratch copy of the tree, rebuilds x86_64 and
# runs the tests until the first failure: first the tests named on the fault's line, then, when those
# pass, the whole suite. Prints one line per fault (caught or survived) and a summary line.
# Usage: scripts/mutate.sh [FIRST [LAST]]   (fault numbers, from 1; default: all)
set -uo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
scratch="$root/build/mutate/tree"
first="${1:-1}"
last="${2:-100000}"

mkdir -p "$scratch"
# The tree as it stands (committed or not), beside the scratch copy's own build folder.
find "$scratch" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +
tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$scratch" -xf -
cd "$scratch"
if [ ! -f build/x86_64/build.ninja ]; then cmake --preset mingw-x86_64 >/dev/null || exit 1; fi
cmake --build build/x86_64 >/dev/null || { echo "mutate: the unchanged tree does not build"; exit 1; }
source scripts/wine-env.sh
trap quillan_wine_stop EXIT
quillan_wine_start default

n=0 caught=0 survived=0
while IFS= read -r line; do
  case "$line" in ''|'#'*) continue ;; esac
  n=$((n + 1))
  [ "$n" -lt "$first" ] || [ "$n" -gt "$last" ] && continue
  IFS='|' read -r file text replacement tests <<<"$line"
  file="$(echo "$file" | xargs)"
  text="${text# }"; text="${text% }"
  replacement="${replacement# }"; replacement="${replacement% }"
  tests="$(echo "$tests" | xargs)"
  cp "$file" "$file.orig"
  if ! python3 - "$file" "$text" "$replacement" <<'PY'
import sys
path, text, replacement = sys.argv[1:]
source = open(path, encoding='utf-8').read()
if text not in source:
    sys.exit(1)
open(path, 'w', encoding='utf-8').write(source.replace(text, replacement, 1))
PY
  then
    echo "fault $n: NOT FOUND   $file: $text"
    rm -f "$file.orig"
    survived=$((survived + 1))
    continue
  fi
  result=survived
  if ! cmake --build build/x86_64 >/dev/null 2>&1; then
    result="caught (build)"
  elif ! (cd build/x86_64 && ctest -R "$tests" --stop-on-failure --timeout 300 >/dev/null 2>&1); then
    result="caught ($tests)"
  elif ! (cd build/x86_64 && ctest -E com_exports.i686 --stop-on-failure --timeout 300 >/dev/null 2>&1); then
    result="caught (suite)"
  fi
  mv "$file.orig" "$file"
  touch "$file"
  if [ "$result" = survived ]; then survived=$((survived + 1)); else caught=$((caught + 1)); fi
  echo "fault $n: $result   $file: $text -> $replacement"
done < "$root/scripts/mutations.txt"
cmake --build build/x86_64 >/dev/null 2>&1
echo "mutate: $((caught + survived)) faults, $caught caught, $survived survived"
[ "$survived" -eq 0 ]
