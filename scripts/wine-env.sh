# Sourced by the scripts and by the test emulator: the private Wine prefixes under build/.
# QUILLAN_WINE_ROOT holds one prefix per variant: "default" (96 DPI) and "dpi120".

QUILLAN_ROOT="${QUILLAN_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
QUILLAN_WINE_ROOT="${QUILLAN_WINE_ROOT:-$QUILLAN_ROOT/build/wine}"
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko install prompts
# Wine takes the ANSI code page from the Unix locale: Chinese (936) is what the product's users run.
# The locale need not be installed for Wine to pick the code page from its name.
QUILLAN_WINE_LOCALE=zh_CN.UTF-8

# The locale is compiled into build/wine/locale (LOCPATH), without installing anything system-wide:
# Wine needs a real UTF-8 locale to create files whose names are not ASCII.
quillan_locale() {
  local dir="$QUILLAN_WINE_ROOT/locale"
  if [ ! -f "$dir/$QUILLAN_WINE_LOCALE/LC_CTYPE" ]; then
    mkdir -p "$dir"
    localedef -i zh_CN -f UTF-8 "$dir/$QUILLAN_WINE_LOCALE" >/dev/null 2>&1 || true
  fi
  echo "$dir"
}

# quillan_wine ARGS...: wine64 in the current WINEPREFIX with the product's locale.
quillan_wine() {
  LOCPATH="$(quillan_locale)" LC_ALL=$QUILLAN_WINE_LOCALE "$WINE64" "$@"
}

# quillan_wine_fail MESSAGE: says what went wrong in making a prefix and fails.
quillan_wine_fail() {
  echo "wine-env: $*" >&2
  return 1
}

# quillan_wine_setup PREFIX VARIANT: a fresh prefix with the settings the tests need; fails loudly at
# the first step that does not succeed, and only a prefix whose every step succeeded is marked ready.
quillan_wine_setup() {
  local prefix="$1" variant="$2" dpi=96 log="$QUILLAN_WINE_ROOT/setup-$2.log"
  [ "$variant" = dpi120 ] && dpi=120
  export WINEPREFIX="$prefix"
  quillan_wine wineboot -i >"$log" 2>&1 || quillan_wine_fail "wineboot failed in $prefix (see $log)" || return 1
  # The null driver lets windows exist without an X server; the CJK font stands in for "微软雅黑".
  local fonts='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
  local settings=(
    'HKCU\Software\Wine\Drivers' Graphics REG_SZ null
    'HKCU\Control Panel\Desktop' LogPixels REG_DWORD "$dpi"
    'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' LogPixels REG_DWORD "$dpi"
    "$fonts" '微软雅黑' REG_SZ 'WenQuanYi Micro Hei'
    "$fonts" 'Microsoft YaHei' REG_SZ 'WenQuanYi Micro Hei')
  local i
  for ((i = 0; i < ${#settings[@]}; i += 4)); do
    quillan_wine reg add "${settings[i]}" /v "${settings[i + 1]}" /t "${settings[i + 2]}" /d "${settings[i + 3]}" /f \
      >>"$log" 2>&1 || quillan_wine_fail "reg add ${settings[i]} ${settings[i + 1]} failed in $prefix (see $log)" ||
      return 1
  done
  "$WINESERVER" -k >/dev/null 2>&1  # stopping a server that has already gone is no failure
  "$WINESERVER" -w >/dev/null 2>&1
  touch "$prefix/.quillan-ready"
}

# quillan_wine_prefix VARIANT: prints the prefix folder, creating it on first use; fails (printing
# nothing) when it cannot be made.
quillan_wine_prefix() {
  local variant="${1:-default}"
  local prefix="$QUILLAN_WINE_ROOT/$variant"
  mkdir -p "$QUILLAN_WINE_ROOT" || return 1
  (
    flock 9
    if [ ! -f "$prefix/.quillan-ready" ]; then
      rm -rf "$prefix"
      quillan_wine_setup "$prefix" "$variant" || exit 1
    fi
    # \\quillan-server\share is C:\unc-share: AppData on a network share, as enterprises redirect it.
    mkdir -p "$prefix/drive_c/unc-share" "$prefix/dosdevices/unc/quillan-server" &&
      ln -sfn ../../../drive_c/unc-share "$prefix/dosdevices/unc/quillan-server/share"
  ) 9>"$QUILLAN_WINE_ROOT/.lock-$variant" || return 1
  echo "$prefix"
}

# quillan_wine_start VARIANT: a persistent wineserver for the prefix (kept until quillan_wine_stop).
quillan_wine_start() {
  local prefix
  prefix="$(quillan_wine_prefix "${1:-default}")" || return 1
  WINEPREFIX="$prefix" "$WINESERVER" -p >/dev/null 2>&1 || true  # one already running serves as well
}

# quillan_wine_stop: stops the servers of every prefix under build/wine and waits for them.
quillan_wine_stop() {
  local p
  for p in "$QUILLAN_WINE_ROOT"/*/; do
    [ -f "$p/.quillan-ready" ] || continue
    WINEPREFIX="${p%/}" "$WINESERVER" -k >/dev/null 2>&1 || true
    WINEPREFIX="${p%/}" "$WINESERVER" -w >/dev/null 2>&1 || true
  done
}
