# Shared by test.sh, demo.sh and bench.sh (sourced): which builds this machine can run, an X
# display, Wine prefixes of their own, and cleanup.
#
#   hv_runs_32bit [kernel]  can this machine run the 32-bit Windows tests? Sets HV_RUNS_32BIT (1
#                           or 0) and, when 0, HV_NO_32BIT_WHY. HV_NO_32BIT=1 forces the answer
#                           0. With "kernel", asks only whether the kernel runs 32-bit
#                           programs, not whether Wine's 32-bit loader is installed.
#   hv_32bit_decision ...   the decision itself, from what hv_runs_32bit found (tested alone)
#   hv_display              use $DISPLAY when it answers, else start Xvfb; sets HV_VIRTUAL_DISPLAY
#   hv_wine_prefix <dir> <win32|win64>
#                           make a fresh prefix there, keep its wineserver running and point
#                           `wine` and `winepath` at the loader of that kind; fails with the
#                           reason when Wine cannot start or cannot make the prefix
#   hv_cleanup              end the wineservers and the Xvfb started here (set as EXIT trap)

hv_xvfb_pid=""
hv_prefixes=()
HV_VIRTUAL_DISPLAY=0
HV_WINE=""
# Debian's loaders, called directly: its `wine` script picks the 32-bit loader whenever that is
# installed, also where the kernel cannot run it.
HV_WINE32=/usr/lib/wine/wine
HV_WINE64=/usr/lib/wine/wine64

# hv_32bit_decision <forced> <exec> <cmdline> <config>
#   forced   HV_NO_32BIT as set ("" when not)
#   exec     what starting a minimal 32-bit program gave: "ran", or the error it reported
#   cmdline  the kernel's command line (/proc/cmdline)
#   config   the kernel's configuration lines about IA32 emulation ("" when unknown)
# Prints "yes", or "no: <why>" in words for the user.
hv_32bit_decision() {
  local forced=$1 exec=$2 cmdline=$3 config=$4
  if [[ -n "$forced" && "$forced" != 0 ]]; then
    echo "no: HV_NO_32BIT=$forced asks to behave as on a machine without them"
    return
  fi
  if [[ "$exec" == ran ]]; then
    echo yes
    return
  fi
  if [[ "$config" == *"# CONFIG_IA32_EMULATION is not set"* ]]; then
    echo "no: the kernel is built without 32-bit emulation ($exec)"
  elif [[ " $cmdline " =~ [[:space:]]ia32_emulation=(0|false|n|no|off)[[:space:]] ]]; then
    echo "no: the kernel's 32-bit emulation is switched off (${BASH_REMATCH[0]// /}) ($exec)"
  elif [[ "$config" == *"CONFIG_IA32_EMULATION_DEFAULT_DISABLED=y"* &&
    ! " $cmdline " =~ [[:space:]]ia32_emulation=(1|true|y|yes|on)[[:space:]] ]]; then
    echo "no: the kernel's 32-bit emulation is off by default and not switched on ($exec)"
  else
    echo "no: the kernel refuses to start a 32-bit program ($exec)"
  fi
}

hv_runs_32bit() {
  # A minimal 32-bit Linux program that only exits with status 42.
  local elf exec=ran
  elf=$(mktemp "${TMPDIR:-/tmp}/horavia-elf32.XXXXXX")
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$elf"
  chmod +x "$elf"
  local output status=0
  output=$("$elf" 2>&1) || status=$?
  rm -f "$elf"
  if ((status != 42)); then
    exec=$(sed -n 's/.*: \([^:]*\)$/\1/p' <<<"$output" | tail -n 1)
    exec=${exec:-exit status $status}
  fi
  local config=""
  if [[ -r /proc/config.gz ]]; then
    config=$(zcat /proc/config.gz 2>/dev/null | grep IA32_EMULATION || true)
  elif [[ -r "/boot/config-$(uname -r)" ]]; then
    config=$(grep IA32_EMULATION "/boot/config-$(uname -r)" || true)
  fi
  local verdict
  verdict=$(hv_32bit_decision "${HV_NO_32BIT:-}" "$exec" "$(cat /proc/cmdline 2>/dev/null)" \
    "$config")
  if [[ "$verdict" == yes && "${1:-}" != kernel && ! -x "$HV_WINE32" ]]; then
    verdict="no: Wine's 32-bit loader ($HV_WINE32, package wine32:i386) could not be installed"
  fi
  if [[ "$verdict" == yes ]]; then
    HV_RUNS_32BIT=1
    HV_NO_32BIT_WHY=""
  else
    HV_RUNS_32BIT=0
    HV_NO_32BIT_WHY=${verdict#no: }
  fi
}

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

# The loader of the current kind, for the scripts' own calls.
wine() { "$HV_WINE" "$@"; }
winepath() { "$HV_WINE" winepath "$@"; }

hv_wine_prefix() {
  local arch=$2
  case "$arch" in
    win32) HV_WINE=$HV_WINE32 ;;
    win64) HV_WINE=$HV_WINE64 ;;
    *)
      echo "hv_wine_prefix: unknown kind of prefix '$arch'" >&2
      return 1
      ;;
  esac
  if [[ ! -x "$HV_WINE" ]]; then
    echo "no Wine loader $HV_WINE for a $arch prefix (scripts/install-deps.sh installs it)" >&2
    return 1
  fi
  export WINEPREFIX="$1" WINEARCH=$arch WINEDEBUG=-all TZ=Europe/Berlin WINELOADER=$HV_WINE
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
  if ! wineserver -p </dev/null >/dev/null 2>&1; then
    echo "could not start a wineserver for $WINEPREFIX" >&2
    return 1
  fi
  hv_prefixes+=("$WINEPREFIX")
  # No Mono and no Gecko: nothing asks to install them. The output goes to a file, not a pipe:
  # the services that wineboot starts keep what they inherit open.
  local output="$WINEPREFIX/wineboot.log"
  if ! WINEDLLOVERRIDES="mscoree,mshtml=" "$HV_WINE" wineboot -i >"$output" 2>&1 </dev/null; then
    echo "Wine could not make the $arch prefix $WINEPREFIX:" >&2
    tail -n 5 "$output" >&2
    return 1
  fi
  # The prefix is there when a program runs in it and its system folder holds Windows' own
  # libraries.
  "$HV_WINE" cmd /c echo prefix-ready >"$output" 2>&1 </dev/null || true
  if ! grep -q prefix-ready "$output" ||
    [[ ! -e "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]]; then
    echo "Wine made no working $arch prefix in $WINEPREFIX:" >&2
    tail -n 5 "$output" >&2
    return 1
  fi
  # A program that crashes ends at once: the debugger Wine would start for it, and wait for, is
  # one that does not exist.
  local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
  "$HV_WINE" reg add "$key" /v Auto /d 1 /f >"$output" 2>&1 </dev/null || true
  "$HV_WINE" reg add "$key" /v Debugger /d no-debugger /f >"$output" 2>&1 </dev/null || true
  # Wine's own fonts (Tahoma for dialogs, Marlett for the caption buttons) are not found where
  # Debian puts them; in the prefix's font folder they are, and the windows look the same on
  # every machine instead of falling back to whatever fontconfig offers.
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
}

hv_cleanup() {
  local prefix
  for prefix in "${hv_prefixes[@]}"; do
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  done
  hv_prefixes=()
  if [[ -n "$hv_xvfb_pid" ]]; then
    kill "$hv_xvfb_pid" 2>/dev/null || true
    wait "$hv_xvfb_pid" 2>/dev/null || true
  fi
}
