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

# quillan_wine_prefix VARIANT: prints the prefix folder, creating it on first use.
quillan_wine_prefix() {
  local variant="${1:-default}"
  local prefix="$QUILLAN_WINE_ROOT/$variant"
  mkdir -p "$QUILLAN_WINE_ROOT"
  (
    flock 9
    if [ ! -f "$prefix/.quillan-ready" ]; then
      rm -rf "$prefix"
      export WINEPREFIX="$prefix"
      quillan_wine wineboot -i >/dev/null 2>&1 || true
      local dpi=96
      [ "$variant" = dpi120 ] && dpi=120
      {
        # The null driver lets windows exist without an X server.
        quillan_wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
        quillan_wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d $dpi /f
        quillan_wine reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' /v LogPixels /t REG_DWORD /d $dpi /f
        quillan_wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v '微软雅黑' /d 'WenQuanYi Micro Hei' /f
        quillan_wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v 'Microsoft YaHei' /d 'WenQuanYi Micro Hei' /f
      } >/dev/null 2>&1
      "$WINESERVER" -k >/dev/null 2>&1 || true
      "$WINESERVER" -w >/dev/null 2>&1 || true
      touch "$prefix/.quillan-ready"
    fi
    # \\quillan-server\share is C:\unc-share: AppData on a network share, as enterprises redirect it.
    mkdir -p "$prefix/drive_c/unc-share" "$prefix/dosdevices/unc/quillan-server"
    ln -sfn ../../../drive_c/unc-share "$prefix/dosdevices/unc/quillan-server/share"
  ) 9>"$QUILLAN_WINE_ROOT/.lock-$variant"
  echo "$prefix"
}

# quillan_wine_start VARIANT: a persistent wineserver for the prefix (kept until quillan_wine_stop).
quillan_wine_start() {
  local prefix
  prefix="$(quillan_wine_prefix "${1:-default}")"
  WINEPREFIX="$prefix" "$WINESERVER" -p >/dev/null 2>&1 || true
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
