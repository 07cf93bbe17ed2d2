#!/usr/bin/env bash
# The installer as a user meets it, under Wine, in two fresh prefixes: one that reports a current
# Windows (start at logon through a scheduled task) and one that reports Windows XP (through the
# Startup folder). In each: a silent install puts the files, the uninstall entry, the Start menu
# shortcut and the start at logon in place; the installed program starts and finds the receiver
# library (in the system folder; on XP, copied from a folder on PATH); a silent uninstall ends
# the running program and removes it all but the user's settings. With the task also: a task that
# cannot be registered leaves nothing installed, and an upgrade ends the running program in order
# before replacing it. The prefixes stay in <work folder> when something fails.
#
#   installer-test.sh <win32|win64> <setup.exe> <stand-in schtasks.exe> <simulator DLL>
#                     <probe.exe> <work folder>
set -euo pipefail

kind=$1 setup=$2 standin=$3 simulator=$4 probe=$5 work=$6
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/wine-session.sh
source "$here/../../scripts/wine-session.sh"
trap hv_cleanup EXIT
hv_display

version=$(basename "$setup" | sed -E 's/^Horavia-(.*)-x(86|64)-setup\.exe$/\1/')
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Horavia'
folder='C:\Program Files\Horavia'

fail() {
  echo "FAIL ($windows): $*" >&2
  exit 1
}
# expect <what should hold> <command...>
expect() {
  local what=$1
  shift
  "$@" || fail "$what"
}
quiet() { "$@" </dev/null >/dev/null 2>&1; }
unix() { winepath -u "$1" 2>/dev/null | tr -d '\r'; }

# The uninstall entry's value <name>; empty when there is none.
entry() {
  wine reg query "$key" /v "$1" </dev/null 2>/dev/null | tr -d '\r' |
    sed -n -E "s/^ +$1 +REG_[A-Z_]+ +//p"
}

# A fresh prefix reporting <windows>, with the stand-in for schtasks.exe, the simulator as the
# receiver's library in the system folder and settings past the first run.
new_prefix() {
  windows=$1
  hv_wine_prefix "$work/$windows" "$kind"
  if [[ $windows == winxp ]]; then
    local xp=winxp
    [[ $kind == win64 ]] && xp=winxp64
    quiet wine reg add 'HKCU\Software\Wine' /v Version /d $xp /f
  fi
  c="$WINEPREFIX/drive_c"
  cp "$standin" "$c/windows/system32/schtasks.exe"
  quiet wine reg add 'HKCU\Software\Wine\DllOverrides' /v schtasks.exe /d native /f
  cp "$simulator" "$c/windows/system32/Tempiva.dll"
  appdata=$(unix "$(wine cmd /c echo %APPDATA% </dev/null 2>/dev/null | tr -d '\r')")
  mkdir -p "$appdata"
  printf '[TNA]\r\nFirstRun=0\r\n' >"$appdata/Kronalt.ini"
  dir=$(unix "$folder")
  programs=$(unix 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs')
}

# The Startup shortcut of the installing user, when there is one (Wine spells the folder StartUp).
startup_link() {
  find "$appdata/Microsoft/Windows/Start Menu/Programs" -maxdepth 2 -ipath '*/startup/horavia.lnk'
}

# Starts the installed program and waits until it has opened the (simulated) receiver.
start_horavia() {
  pid=$(wine "$probe" start "$folder\\Horavia.exe" </dev/null | tr -d '\r')
  quiet wine "$probe" tray "$pid" 514
  expect "the installed program finds the receiver's library and opens the receiver" \
    quiet wine "$probe" wait-text-is "$pid" 200 "Radio clock device opened" 20000
}

install() {
  local began
  began=$(date +%s%N)
  expect "a silent install succeeds (exit code 0)" quiet wine "$setup" /S
  echo "$windows: a silent install took $((($(date +%s%N) - began) / 1000000)) ms"
  local file
  for file in Horavia.exe README.md Uninstall.exe; do
    expect "$file is installed" test -s "$dir/$file"
  done
  expect "no simulator" test ! -e "$dir/simulator"
  expect "no file left under a temporary name" test -z "$(ls "$dir" | grep -E '\.(new|old)$' || true)"
  local name value
  while IFS='|' read -r name value; do
    [[ "$(entry "$name")" == "$value" ]] ||
      fail "uninstall entry $name is '$(entry "$name")', not '$value'"
  done <<EOF
DisplayName|Horavia
DisplayVersion|$version
Publisher|Horavia developers
DisplayIcon|$folder\\Horavia.exe,0
InstallLocation|$folder
UninstallString|"$folder\\Uninstall.exe"
QuietUninstallString|"$folder\\Uninstall.exe" /S
NoModify|0x1
NoRepair|0x1
EOF
  expect "the uninstall entry has a size" test "$(entry EstimatedSize)" != 0x0 -a -n "$(entry EstimatedSize)"
  expect "the Start menu shortcut for all users points at the program" \
    grep -qa 'Horavia\\Horavia.exe' "$programs/Horavia.lnk"
}

# The task definition the installer handed to schtasks: UTF-16 LE with a byte order mark, a logon
# trigger for the installing user, the highest privileges available, the program as command.
check_task() {
  expect "schtasks registered the task from an XML file" \
    grep -qE '^/create /tn Horavia /xml "[^"]+" /f' "$c/schtasks/calls.txt"
  expect "the definition starts with the UTF-16 LE byte order mark" \
    test "$(head -c 2 "$c/schtasks/task.xml" | od -An -tx1 | tr -d ' ')" = fffe
  local xml user
  xml=$(iconv -f UTF-16 -t UTF-8 "$c/schtasks/task.xml" | tr -d '\r')
  user=$(sed -n -E 's:.*<UserId>(.*)</UserId>.*:\1:p' <<<"$xml" | sort -u)
  expect "one user for the trigger and the principal, the installing one" \
    test "$user" = "$(wine cmd /c 'echo %USERDOMAIN%\%USERNAME%' </dev/null 2>/dev/null | tr -d '\r')"
  local wanted
  for wanted in '<LogonTrigger>' '<LogonType>InteractiveToken</LogonType>' \
    '<RunLevel>HighestAvailable</RunLevel>' "<Command>\"$folder\\Horavia.exe\"</Command>" \
    '<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>' \
    '<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>' \
    '<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>' \
    '<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>'; do
    grep -qF -- "$wanted" <<<"$xml" || fail "the task definition lacks $wanted"
  done
}

# watch_exit, then ended_in_order <what ended it>: the running program ends with exit code 0, as
# at log-off, with its settings written.
watch_exit() {
  printf '[TNA]\r\nFirstRun=0\r\n' >"$appdata/Kronalt.ini"
  wine "$probe" wait-exit "$pid" 60000 </dev/null >"$work/exit-code" 2>&1 &
  waiter=$!
  sleep 2 # the probe holds the process before anything ends it
}
ended_in_order() {
  expect "$1 ended the running program" wait "$waiter"
  expect "... with exit code 0, as at log-off" test "$(tr -d '\r' <"$work/exit-code")" = 0
  expect "... after writing its settings" grep -q '^DCFQuality=' "$appdata/Kronalt.ini"
}

# Removes Horavia while it runs, as the uninstall entry's command does, but waiting for the
# uninstaller (which otherwise runs on from a copy) to learn its exit code. "_?=" takes the rest
# of the command line as it stands, unquoted: through cmd.
uninstall() {
  start_horavia
  cp "$dir/Uninstall.exe" "$c/uninstall-copy.exe"
  watch_exit
  expect "a silent uninstall succeeds (exit code 0)" \
    quiet wine cmd /c "C:\\uninstall-copy.exe /S _?=$folder"
  ended_in_order "the uninstaller"
  expect "the program folder is gone" test ! -e "$dir"
  expect "the uninstall entry is gone" test -z "$(entry DisplayName)"
  expect "the Start menu shortcut is gone" test ! -e "$programs/Horavia.lnk"
  expect "the Startup shortcut is gone" test -z "$(startup_link)"
  expect "the task is gone" test ! -e "$c/schtasks/registered"
  expect "the user's settings stay" test -s "$appdata/Kronalt.ini"
}

# A current Windows: the logon task.
new_prefix win10
mkdir -p "$c/schtasks"
touch "$c/schtasks/refuse-create"
if quiet wine "$setup" /S; then fail "an install whose task is refused succeeds"; fi
expect "... and leaves no program folder" test ! -e "$dir"
expect "... and no uninstall entry" test -z "$(entry DisplayName)"
rm "$c/schtasks/refuse-create" "$c/schtasks/task.xml" 2>/dev/null || true

install
expect "no Tempiva.dll beside the program: the system folder has one" test ! -e "$dir/Tempiva.dll"
check_task
expect "no Startup shortcut where there is a task" test -z "$(startup_link)"
start_horavia

# An upgrade over the running program: it ends in order before its files are replaced.
echo "not from the installer" >>"$dir/README.md"
watch_exit
install
ended_in_order "the upgrade"
expect "the upgrade replaced the files" test -z "$(grep 'not from the installer' "$dir/README.md" || true)"
uninstall
expect "the uninstaller removed the task" grep -qx '/delete /tn Horavia /f' "$c/schtasks/calls.txt"
# A prefix takes more than a gigabyte: kept only when something failed.
wineserver -k
rm -rf "$WINEPREFIX"

# Windows XP: the Startup folder, no task.
new_prefix winxp
# Here the maker's library lies only in a folder on PATH: the installer copies it beside the
# program, for a Horavia with full rights, which does not look on PATH.
mkdir -p "$c/maker"
mv "$c/windows/system32/Tempiva.dll" "$c/maker/"
export WINEPATH='C:\maker'
install
expect "the library found on PATH only is copied beside the program" cmp -s "$simulator" "$dir/Tempiva.dll"
expect "a Startup shortcut for the installing user" grep -qa 'Horavia\\Horavia.exe' "$(startup_link)"
expect "no task on Windows XP" test ! -e "$c/schtasks/calls.txt"
uninstall
wineserver -k
rm -rf "$WINEPREFIX"
echo "the installer works on a current Windows and on Windows XP ($kind)"
