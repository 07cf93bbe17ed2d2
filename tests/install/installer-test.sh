#!/usr/bin/env bash
# The installer as a user and an administrator deploying it meet it, under Wine, in two fresh
# prefixes: one that reports a current Windows (start at logon through a scheduled task for every
# user) and one that reports Windows XP (through the Startup folder of all users).
# Current Windows: a task that cannot be registered leaves nothing installed; the other build is
# removed first; a silent install to a folder outside Program Files gives it administrators-only
# permissions and puts the files, the uninstall entry, the event source, the Start menu shortcut
# and the task (for the Users group) in place; the task starts the program at logon; a silent
# upgrade ends it in order, keeps the earlier choices and starts it again for the session's user
# alone, through a task of that user's that it removes again; the registered quiet uninstall
# command returns when all is removed, with nothing left for a restart. Then: a roll-back never takes an old backup for the program, a file held by a Horavia
# of "another session" is replaced at the next restart (exit code 3010), and removal keeps an
# administrator's own Tempiva.dll. Windows XP: a library on PATH only is not taken, one named
# with /LIBRARY= is, and removal takes it away again. The prefixes stay in <work folder> when
# something fails.
#
#   installer-test.sh <win32|win64> <setup.exe> <stand-in schtasks.exe> <installer helper.exe>
#                     <simulator DLL> <probe.exe> <work folder>
set -euo pipefail

kind=$1 setup=$2 standin=$3 helper=$4 simulator=$5 probe=$6 work=$7
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/wine-session.sh
source "$here/../../scripts/wine-session.sh"
trap hv_cleanup EXIT
hv_display

version=$(basename "$setup" | sed -E 's/^Horavia-(.*)-x(86|64)-setup\.exe$/\1/')
arch=x64
[[ $kind == win32 ]] && arch=x86
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Horavia'
source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Horavia'
session_key='HKLM\System\CurrentControlSet\Control\Session Manager'
default_folder='C:\Program Files\Horavia'

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

# The value <name> of registry key <key> as "TYPE|data"; empty when there is none.
value() {
  wine reg query "$1" /v "$2" </dev/null 2>/dev/null | tr -d '\r' |
    sed -n -E "s/^ +$2 +(REG_[A-Z_]+) +/\1|/p"
}
entry() { value "$key" "$1" | cut -d'|' -f2-; }
nothing_pending() { test -z "$(value "$session_key" PendingFileRenameOperations)"; }

# Runs <command line> in Windows and prints its exit code, all 32 bits of it.
# Wine's trace, when asked for, goes to $work/trace. Into files, not pipes: a program the command
# starts (Horavia, say) keeps what it inherits open.
run() {
  wine "$helper" run "$1" </dev/null >"$work/code" 2>"$work/trace"
  tr -d '\r' <"$work/code"
}
# setup <expected exit code> <what> <switches...>
setup() {
  local code=$1 what=$2
  shift 2
  local began got
  began=$(date +%s%N)
  got=$(run "\"$setup_win\" $*")
  echo "$windows: setup $* took $((($(date +%s%N) - began) / 1000000)) ms, exit code $got"
  [[ "$got" == "$code" ]] || fail "$what (exit code $got, not $code)"
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
  mkdir -p "$c/schtasks"
  setup_win=$(winepath -w "$setup" 2>/dev/null | tr -d '\r')
  appdata=$(unix "$(wine cmd /c echo %APPDATA% </dev/null 2>/dev/null | tr -d '\r')")
  temp=$(unix "$(wine cmd /c echo %TEMP% </dev/null 2>/dev/null | tr -d '\r')")
  session_user=$(wine cmd /c echo %USERDOMAIN%\\%USERNAME% </dev/null 2>/dev/null | tr -d '\r')
  mkdir -p "$appdata"
  printf '[TNA]\r\nFirstRun=0\r\n' >"$appdata/Kronalt.ini"
  programs=$(unix 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs')
  use_folder "$default_folder"
}
use_folder() {
  folder=$1
  dir=$(unix "$folder")
}

# Waits until Horavia <pid> has opened the (simulated) receiver.
opens_receiver() {
  pid=$1
  quiet wine "$probe" tray "$pid" 514
  expect "the installed program finds the receiver's library and opens the receiver" \
    quiet wine "$probe" wait-text-is "$pid" 200 "Radio clock device opened" 20000
}
start_horavia() { opens_receiver "$(wine "$probe" start "$folder\\Horavia.exe" </dev/null | tr -d '\r')"; }
# The process the stand-in task store started last.
task_started() { tail -n 1 "$c/schtasks/started.txt" 2>/dev/null | tr -d '\r' | cut -d'|' -f1; }

# What a silent install or upgrade puts in place, in $folder.
installed() {
  local file
  for file in Horavia.exe README.md Uninstall.exe Setup.log; do
    expect "$file is installed" test -s "$dir/$file"
  done
  expect "no file left under a temporary name" test -z "$(ls "$dir" | grep -E '\.(new|old)$' || true)"
  local name wanted
  while IFS='|' read -r name wanted; do
    [[ "$(entry "$name")" == "$wanted" ]] ||
      fail "uninstall entry $name is '$(entry "$name")', not '$wanted'"
  done <<EOF
DisplayName|Horavia ($arch)
Build|$arch
DisplayVersion|$version
Publisher|Horavia developers
DisplayIcon|$folder\\Horavia.exe,0
InstallLocation|$folder
UninstallString|"$folder\\Uninstall.exe"
QuietUninstallString|"C:\\windows\\system32\\cmd.exe" /d /c copy /y "$folder\\Uninstall.exe" "%TEMP%\\Horavia-uninstall.exe" >nul && "%TEMP%\\Horavia-uninstall.exe" /S _?=$folder
NoModify|0x1
NoRepair|0x1
EOF
  expect "the uninstall entry has a size" test "$(entry EstimatedSize)" != 0x0 -a -n "$(entry EstimatedSize)"
  expect "the event source names the installed program, as an expandable string" \
    test "$(value "$source_key" EventMessageFile)" = "REG_EXPAND_SZ|$folder\\Horavia.exe"
  expect "... and supports errors, warnings and information" \
    test "$(value "$source_key" TypesSupported)" = "REG_DWORD|0x7"
  expect "the Start menu shortcut for all users points at the program" \
    grep -qa "${folder##*\\}\\\\Horavia.exe" "$programs/Horavia.lnk"
  expect "nothing is left for a restart" nothing_pending
}

# The setup's log, kept in the program folder (UTF-16).
setup_log() { iconv -f UTF-16 -t UTF-8 "$dir/Setup.log" | tr -d '\r'; }

# The task definition the installer handed to schtasks: UTF-16 LE with a byte order mark, a logon
# trigger for every user, the Users group (by SID) as principal with the highest privileges each
# member has, one Horavia per session, the program as command.
check_task() {
  expect "schtasks registered the task from an XML file" \
    grep -qE '^/create /tn Horavia /xml "[^"]+" /f' "$c/schtasks/calls.txt"
  expect "the definition starts with the UTF-16 LE byte order mark" \
    test "$(head -c 2 "$c/schtasks/Horavia.xml" | od -An -tx1 | tr -d ' ')" = fffe
  local xml wanted
  xml=$(iconv -f UTF-16 -t UTF-8 "$c/schtasks/Horavia.xml" | tr -d '\r')
  for wanted in '<UserId>' '<LogonType>' '<MultipleInstancesPolicy>IgnoreNew'; do
    grep -qF -- "$wanted" <<<"$xml" && fail "the task definition names $wanted"
  done
  for wanted in '<LogonTrigger>' '<GroupId>S-1-5-32-545</GroupId>' \
    '<RunLevel>HighestAvailable</RunLevel>' "<Command>\"$folder\\Horavia.exe\"</Command>" \
    '<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>' \
    '<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>' \
    '<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>' \
    '<MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>'; do
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

# What a removal leaves: the settings, and nothing for a restart.
removed() {
  expect "the uninstall entry is gone" test -z "$(entry DisplayName)"
  expect "the event source is gone" test -z "$(value "$source_key" EventMessageFile)"
  expect "the Start menu shortcut is gone" test ! -e "$programs/Horavia.lnk"
  expect "no Startup shortcut stays" test -z "$(find "$c" -ipath '*/startup/horavia.lnk')"
  expect "the task is gone" test ! -e "$c/schtasks/Horavia.xml"
  expect "the user's settings stay" test -s "$appdata/Kronalt.ini"
  expect "nothing is left for a restart" nothing_pending
}

# hold <file>: a Horavia in another session holds it, until release.
hold() {
  held=$1
  wine "$helper" hold "$held" </dev/null >/dev/null 2>&1 &
  holder=$!
  local i
  for ((i = 0; i < 100; i++)); do
    [[ -e "$(unix "$held").held" ]] && return
    sleep 0.1
  done
  fail "could not hold $held"
}
release() {
  touch "$(unix "$held").release"
  wait "$holder"
  rm -f "$(unix "$held").release" "$(unix "$held").held"
}

# ---- A current Windows: the logon task.
new_prefix win10
touch "$c/schtasks/refuse-create"
setup 1 "an install whose task is refused fails" /S
expect "... and leaves no program folder" test ! -e "$dir"
expect "... and no uninstall entry" test -z "$(entry DisplayName)"
rm -f "$c/schtasks/refuse-create" "$c/schtasks/Horavia.xml" "$c/schtasks/calls.txt"
# A network drive N: (Wine reads drive types when its server starts).
mkdir -p "$work/share"
ln -s "$work/share" "$WINEPREFIX/dosdevices/n:"
quiet wine reg add 'HKLM\Software\Wine\Drives' /v n: /d network /f
wineserver -k
wineserver -p
setup 1 "a network folder, where users of other machines may write, is refused" /S '/D=N:\Horavia'
expect "... with nothing installed" test -z "$(entry DisplayName)" -a ! -e "$work/share/Horavia"
expect "... and the log says why" grep -qF 'N:\Horavia is a network folder' <<<"$(iconv -f UTF-16 -t UTF-8 "$temp/Horavia-setup.log")"
rm -rf "$work/share"

# The other build in the other registry view, with a stand-in for its uninstaller.
other='C:\Program Files (x86)\Horavia'
mkdir -p "$(unix "$other")"
cp "$helper" "$(unix "$other")/Uninstall.exe"
quiet wine reg add "$key" /v DisplayName /d 'Horavia (x86)' /reg:32 /f
quiet wine reg add "$key" /v InstallLocation /d "$other" /reg:32 /f

# An administrator's silent install with the simulator, into a folder outside Program Files
# whose parent users may write.
use_folder 'C:\Tools\Horavia'
WINEDEBUG=trace+security,trace+advapi setup 0 "a silent install succeeds" /S /SIMULATOR "/D=$folder"
expect "the other build's uninstaller ran silently, waited for" \
  grep -qF "/S _?=$other" "$c/other-build.txt"
expect "... and its folder is gone" test ! -e "$(unix "$other")"
installed
expect "the simulator is installed" cmp -s "$simulator" "$dir/simulator/Tempiva.dll"
expect "no Tempiva.dll beside the program: the system folder has one" test ! -e "$dir/Tempiva.dll"
expect "the log says where the library is" grep -qiF 'finds the receiver library C:\windows\system32\Tempiva.dll' <<<"$(setup_log)"
# Wine keeps no permissions of its own: what the installer asked of Windows, from Wine's trace.
expect "the folder outside Program Files gets owner Administrators and a protected DACL for SYSTEM and Administrators (full control) and Users (read and run)" \
  grep -qF 'ConvertStringSecurityDescriptorToSecurityDescriptorW L"O:BAG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"' "$work/trace"
expect "... set on the program folder (owner, protected DACL)" \
  grep -qF "SetNamedSecurityInfoW L\"${folder//\\/\\\\}\" 1 -2147483643" "$work/trace"
check_task
expect "no Startup shortcut where there is a task" test -z "$(find "$c" -ipath '*/startup/horavia.lnk')"
quiet wine "$c/windows/system32/schtasks.exe" /logon /tn Horavia
expect "the task started the program at logon" test -n "$(task_started)"
opens_receiver "$(task_started)"

# A silent upgrade over the running program: it ends in order before its files are replaced,
# keeps the earlier choices (folder, simulator, task) and starts again through the task.
echo "not from the installer" >>"$dir/README.md"
first=$pid
watch_exit
setup 0 "a silent upgrade succeeds" /S
ended_in_order "the upgrade"
installed
expect "the upgrade replaced the files" test -z "$(grep 'not from the installer' "$dir/README.md" || true)"
expect "the upgrade kept the simulator" test -e "$dir/simulator/Tempiva.dll"
expect "the upgrade kept the task" test "$(grep -c '^/create /tn Horavia /xml' "$c/schtasks/calls.txt")" = 2
# Not the logon task, which Windows would run in the session of every member of its group: a
# task of the session's user alone, removed again.
expect "the upgrade started the program again through a task for the session's user ($(tail -n 1 "$c/schtasks/started.txt"))" \
  test "$(task_started)" != "$first" -a \
  "$(tail -n 1 "$c/schtasks/started.txt" | tr -d '\r' | cut -d'|' -f2-)" = "Horavia start|$session_user"
expect "... that is removed again" \
  test ! -e "$c/schtasks/Horavia start.xml" -a -e "$c/schtasks/Horavia.xml"
expect "... and the log says for whom" grep -qF "Started Horavia for $session_user" <<<"$(setup_log)"
opens_receiver "$(task_started)"

# The uninstall entry's quiet command, run as a deployment tool does: it returns when all is gone.
watch_exit
code=$(run "$(entry QuietUninstallString)")
expect "the quiet uninstall command succeeds (exit code $code)" test "$code" = 0
ended_in_order "the uninstaller"
expect "... and returns when the program folder is gone" test ! -e "$dir"
removed
expect "the uninstaller removed the task" grep -qx '/delete /tn Horavia /f' "$c/schtasks/calls.txt"

# Without start at logon, in Program Files; the administrator's own Tempiva.dll beside it.
use_folder "$default_folder"
setup 0 "a silent install without start at logon succeeds" /S /NOLOGON
expect "no task without start at logon" test ! -e "$c/schtasks/Horavia.xml"
cp "$simulator" "$dir/Tempiva.dll"
printf 'installed' >>"$dir/Horavia.exe"
# An earlier run's backup, in use: a failed upgrade puts back its own backup, never this one.
printf 'old backup' >"$dir/Horavia.exe.old"
hold "$folder\\Horavia.exe.old"
touch "$c/schtasks/refuse-create"
setup 1 "an upgrade whose task is refused fails" /S /LOGON
expect "... and puts back the program it replaced, not an older backup" \
  test "$(tail -c 9 "$dir/Horavia.exe")" = installed
release
rm "$c/schtasks/refuse-create"
# A Horavia in another session holds the program: replaced at the next restart, and said so.
hold "$folder\\Horavia.exe"
setup 3010 "an upgrade over a program in use asks for a restart" /S
expect "no task: the upgrade kept the earlier choice" test ! -e "$c/schtasks/Horavia.xml"
expect "the new program waits for the restart" \
  grep -qiF 'Horavia\Horavia.exe.new' <<<"$(value "$session_key" PendingFileRenameOperations)"
expect "the log says so" grep -qF 'takes its place at the next restart' <<<"$(setup_log)"
release
quiet wine reg delete "$session_key" /v PendingFileRenameOperations /f
rm -f "$dir/Horavia.exe.new"
code=$(run "$(entry QuietUninstallString)")
expect "the quiet uninstall command succeeds (exit code $code)" test "$code" = 0
expect "removal keeps the administrator's Tempiva.dll" cmp -s "$simulator" "$dir/Tempiva.dll"
expect "... and nothing else" test "$(ls -A "$dir")" = Tempiva.dll
removed
# A prefix takes more than a gigabyte: kept only when something failed.
wineserver -k
rm -rf "$WINEPREFIX"

# ---- Windows XP: the Startup folder of all users, no task.
new_prefix winxp
# Here the maker's library lies only in a folder on PATH, which users may write: not taken.
mkdir -p "$c/maker"
mv "$c/windows/system32/Tempiva.dll" "$c/maker/"
export WINEPATH='C:\maker'
setup 0 "a silent install without a library succeeds" /S
installed
expect "a library on PATH only is not copied" test ! -e "$dir/Tempiva.dll"
expect "the log says where to put the library" grep -qF "No receiver library Tempiva.dll was found. Put the one from the receiver's maker ($arch) into $folder" <<<"$(setup_log)"
startup=$(find "$c" -ipath '*/startup/horavia.lnk')
expect "one Startup shortcut, for all users ($startup)" \
  test "$(wc -l <<<"$startup")" = 1 -a -z "$(grep -F "$appdata" <<<"$startup" || true)"
expect "... that starts the program" grep -qa 'Horavia\\Horavia.exe' "$startup"
expect "no task on Windows XP" test ! -e "$c/schtasks/calls.txt"
setup 0 "a silent upgrade naming the library succeeds" /S '/LIBRARY=C:\maker'
expect "the named library is copied beside the program" cmp -s "$simulator" "$dir/Tempiva.dll"
start_horavia
watch_exit
setup 0 "a silent upgrade succeeds" /S
ended_in_order "the upgrade"
expect "the upgrade started the program again" test -n "$(wine "$helper" horavia </dev/null | tr -d '\r')"
opens_receiver "$(wine "$helper" horavia </dev/null | tr -d '\r')"
cp "$dir/Uninstall.exe" "$c/uninstall-copy.exe"
watch_exit
code=$(run "C:\\uninstall-copy.exe /S _?=$folder")
expect "an uninstaller copy run in place succeeds (exit code $code)" test "$code" = 0
ended_in_order "the uninstaller"
expect "the program folder, with the library the installer copied, is gone" test ! -e "$dir"
removed
wineserver -k
rm -rf "$WINEPREFIX"
echo "the installer works on a current Windows and on Windows XP ($kind)"
