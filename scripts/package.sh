#!/usr/bin/env bash
# Builds the Windows Installer packages of the DLL with wixl (Debian's msitools):
#   build/QuillanShellUI.msi      64-bit Windows: the x86_64 and the i686 DLL, each in its registry view
#   build/QuillanShellUI-x86.msi  32-bit Windows: the i686 DLL alone
# The version is the one in CMakeLists.txt's project(... VERSION x.y.z).
# Usage: scripts/package.sh [--version x.y.z] [--output FOLDER] [--no-build]
#   --version overrides the version (the tests make a newer package to upgrade to), --output puts the
#   packages in another folder, --no-build takes build/i686 and build/x86_64 as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

version=""
output="$root/build"
build=1
while [ $# -gt 0 ]; do
  case "$1" in
    --version) version="$2"; shift 2 ;;
    --output) output="$2"; shift 2 ;;
    --no-build) build=0; shift ;;
    *) echo "package.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -z "$version" ]; then
  version="$(sed -n 's/^project([A-Za-z]* VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)"
fi
if ! [[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  echo "package.sh: version '$version' is not x.y.z" >&2
  exit 2
fi

if [ $build -eq 1 ]; then
  scripts/bootstrap.sh
  scripts/build.sh
fi

mkdir -p "$output"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
python3 packaging/registry_entries.py "$root" "$work"
cp packaging/QuillanShellUI.wxs "$work/"
ln -s "$root/build/x86_64/bin" "$work/bin64"
ln -s "$root/build/i686/bin" "$work/bin32"
# wixl keeps only ASCII texts right: the package takes code page 936 and its Chinese texts afterwards.
printf '\r\n\r\n936\t_ForceCodepage\r\n' >"$work/_ForceCodepage.idt"
# wixl runs RemoveExistingProducts after InstallFinalize; it goes right after InstallValidate, so that an
# upgrade removes the older version (and closes Explorer through it) before it installs its own files.
queries=(-q "UPDATE \`InstallExecuteSequence\` SET \`Sequence\`=1401 WHERE \`Action\`='RemoveExistingProducts'")
while IFS=$'\t' read -r placeholder text; do
  queries+=(-q "UPDATE \`Registry\` SET \`Value\`='$text' WHERE \`Value\`='$placeholder'")
done <"$work/strings.tsv"

for platform in x64 x86; do
  name=QuillanShellUI.msi
  [ $platform = x86 ] && name=QuillanShellUI-x86.msi
  # One product code per version and platform: a package built again for the same version is the same
  # product (msiexec will not install it a second time beside itself); a new version is a new one.
  product="$(python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.NAMESPACE_URL, sys.argv[1])).upper())' \
    "QuillanShellUI.msi/$platform/$version")"
  # wixl takes file sources relative to the current folder only.
  (cd "$work" && wixl -a $platform -D Version="$version" -D ProductCode="{$product}" -D Platform=$platform \
      -D Bin64=bin64 -D Bin32=bin32 \
      -I "$work" -o "$name" QuillanShellUI.wxs)
  msibuild "$work/$name" -i "$work/_ForceCodepage.idt" "${queries[@]}"
  mv "$work/$name" "$output/$name"
  echo "package.sh: $output/$name ($version)"
done
