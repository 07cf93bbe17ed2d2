# Shared by test.sh and demo.sh (sourced): an X display, a Wine prefix of its own, and cleanup.
#
#   hv_display             use $DISPLAY when it answers, else start Xvfb; sets HV_VIRTUAL_DISPLAY
#   hv_wine_prefix <dir>   make a fresh 32-bit prefix there and keep its wineserver running
#   hv_cleanup             end the wineserver and the Xvfb started here (set as EXIT trap)

hv_xvfb_pid=""
hv_prefix_made=""
HV_VIRTUAL_DISPLAY=0

hv_display() {
  if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
    HV_VIRTUAL_DISPLAY=0
    return
  fi
  local number_file
  number_file=$(mktemp)
  # -displayfd: the server picks a free display number and writes it when it is ready.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  hv_xvfb_pid=$!
  local i
  for ((i = 0; i < 100; i++)); do
    [[ -s "$number_file" ]] && break
    kill -0 "$hv_xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [[ ! -s "$number_file" ]]; then
    rm -f "$number_file"
    echo "could not start Xvfb" >&2
    return 1
  fi
  export DISPLAY=":$(tr -d '[:space:]' <"$number_file")"
  rm -f "$number_file"
  HV_VIRTUAL_DISPLAY=1
}

hv_wine_prefix() {
  export WINEPREFIX="$1" WINEARCH=win32 WINEDEBUG=-all TZ=Europe/Berlin
  # Wine names Unix files in the locale's character set; under the bare C locale, names
  # outside ASCII cannot be made. C.UTF-8 needs no generated locale.
  if [[ "$(locale charmap 2>/dev/null)" != UTF-8 ]]; then
    export LC_ALL=C.UTF-8
  fi
  if [[ -d "$WINEPREFIX" ]]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  mkdir -p "$WINEPREFIX"
  if ((HV_VIRTUAL_DISPLAY)); then
    # Without a window manager, Wine would wait two seconds for one each time it hides a
    # window; unmanaged windows get Wine's own frames and no such wait. Written before the
    # prefix is made, so that every process of the prefix, the desktop's too, reads it.
    printf '%s\n' 'WINE REGISTRY Version 2' '' '[Software\\Wine\\X11 Driver]' '"Managed"="N"' \
      >"$WINEPREFIX/user.reg"
  fi
  # One server for the whole session, kept alive between the programs; started first so that
  # the prefix is made by it too. It holds no output of ours: it may outlive this script.
  wineserver -p </dev/null >/dev/null 2>&1
  hv_prefix_made=1
  # No Mono and no Gecko: nothing asks to install them.
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
  # Wine's own fonts (Tahoma for dialogs, Marlett for the caption buttons) are not found where
  # Debian puts them; in the prefix's font folder they are, and the windows look the same on
  # every machine instead of falling back to whatever fontconfig offers.
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
}

hv_cleanup() {
  if [[ -n "$hv_prefix_made" ]]; then
    wineserver -k 2>/dev/null || true
  fi
  if [[ -n "$hv_xvfb_pid" ]]; then
    kill "$hv_xvfb_pid" 2>/dev/null || true
    wait "$hv_xvfb_pid" 2>/dev/null || true
  fi
}
