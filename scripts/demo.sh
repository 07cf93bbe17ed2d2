#!/usr/bin/env bash
# The demo command: builds Horavia and runs it under Wine with the simulated receiver.
#
# Runs the 32-bit program where this machine runs 32-bit programs, else (or with HV_NO_32BIT=1)
# the 64-bit one, and says which.
# Uses the current X display, or a virtual one when there is none, and a Wine prefix of its own
# (build/demo-wine). Saves screenshots of the start's message boxes, of the window's four pages
# with live DCF77 time and a setting of the PC clock, of crystal time, of no radio time, of the
# low-battery notice and of the tray icons into build/demo-screenshots/, and a picture of the
# three tray icons at 16 and 32 pixels on a light, a dark and the classic grey taskbar
# (tray-icons.png, four times enlarged). On a real display Horavia stays running afterwards;
# on a virtual one it is ended through its terminate button.
#
# HV_DEMO_DPI=144 (or 120, 192, ...) runs Wine at that display scale (96 is 100 %); the
# screenshots then go to build/demo-screenshots-144/.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
demo="$root/build/demo"
dpi=${HV_DEMO_DPI:-96}
if [[ ! "$dpi" =~ ^[0-9]+$ ]] || ((dpi < 96 || dpi > 480)); then
  echo "HV_DEMO_DPI=$dpi: a display scale in dots per inch, 96 to 480, is wanted" >&2
  exit 2
fi
shots="$root/build/demo-screenshots"
((dpi == 96)) || shots="$shots-$dpi"

"$here/install-deps.sh"
# shellcheck source=scripts/wine-session.sh
source "$here/wine-session.sh"

cd "$root"
hv_runs_32bit
if ((HV_RUNS_32BIT)); then
  preset=win32
  echo "running the 32-bit Horavia.exe"
else
  preset=win64
  echo "running the 64-bit Horavia.exe: $HV_NO_32BIT_WHY"
fi
build="$root/build/$preset"
mkdir -p "$root/build/logs"
echo "building the $preset preset (log: build/logs/demo-build.log)"
{
  cmake --preset "$preset" &&
    cmake --build --preset "$preset" -j "$(nproc 2>/dev/null || echo 2)" --target Horavia \
      tempiva_cdecl probe
} >"$root/build/logs/demo-build.log" 2>&1 || {
  tail -n 30 "$root/build/logs/demo-build.log"
  exit 1
}

# The demo folder: the program, the simulator DLL and its scenario beside it.
rm -rf "$demo" "$shots"
mkdir -p "$demo" "$shots"
cp "$build/bin/Horavia.exe" "$demo/"
cp "$build/simulator/cdecl/Tempiva.dll" "$demo/"
demo_win="Z:${demo//\//\\}"
# scenario <lines>: the simulated receiver's scenario (keys: simulator/README.md); the call
# log shows what Horavia asks of it.
scenario() {
  printf '%s\n' "# Scenario of the simulated receiver" "$@" "log = $demo_win\\calls.log" \
    >"$demo/Tempiva.ini"
}
# A healthy receiver with DCF77 time and a good signal.
scenario "installed = 1" "quality = 80" "battery = 3012"

trap hv_cleanup EXIT
hv_display
if ((HV_VIRTUAL_DISPLAY)); then
  echo "no X display: using a virtual one ($DISPLAY)"
else
  echo "using the X display $DISPLAY"
fi
echo "making the Wine prefix build/demo-wine"
hv_wine_prefix "$root/build/demo-wine" "$preset"
if ((dpi != 96)); then
  echo "display scale: $dpi dpi ($((dpi * 100 / 96)) %)"
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
fi

probe() { wine "$build/bin/probe.exe" "$@"; }
# Wine hands a started program the starter's error output: with a file there, Horavia holds
# no pipe of this script's caller open (it may outlive the script).
start() {
  probe start "$@" 2>"$demo/start-errors.txt" || {
    cat "$demo/start-errors.txt" >&2
    return 1
  }
}
exe="$demo/Horavia.exe"
# wait_exit <pid>: waits until the program has ended. The probe cannot open a process that has
# already gone, which is no failure here.
wait_exit() { probe wait-exit "$1" 10000 >/dev/null 2>&1 || true; }

# shot <name> <geometry>: a screenshot of that part of the screen.
shot() {
  sleep 0.4
  import -display "$DISPLAY" -window root -crop "$2" +repage "$shots/$1.png"
  echo "  saved ${shots#"$root/"}/$1.png"
}

# boxes <pid> <first number> <seconds>: shoots and answers every message box the process shows
# in that time (the first-run notice, for one); prints how many there were.
boxes() {
  local pid=$1 n=$2 count=0 text
  while text=$(probe wait-box "$pid" $(($3 * 1000)) 2>/dev/null); do
    count=$((count + 1))
    echo "  message box: $(tr '\n' ' ' <<<"$text")" >&2
    shot "$(printf '%02d' $((n + count - 1)))-message-box" "$(probe box-rect "$pid")" >&2
    probe box-press "$pid" "$(probe box-buttons "$pid" | head -n 1)"
    sleep 0.3
  done
  echo "$count"
}

echo "1. a start on Windows 98, as Wine reports it for this program"
probe wine-version Horavia.exe win98
pid=$(start "$exe" "$demo")
probe wait-box "$pid" 30000 | sed 's/^/  message box: /'
shot 01-unsupported-platform "$(probe box-rect "$pid")"
probe box-press "$pid" 2
echo "  ended with exit code $(probe wait-exit "$pid" 10000)"
probe wine-version Horavia.exe -
# Even a refused start saves the settings on its way out. The next start is a first run again,
# with its notice, and with the rules that set the PC clock at the first second 1 it sees.
settings=$(find "$WINEPREFIX/drive_c/users" -iname Kronalt.ini)
printf '%s\r\n' "[TNA]" "FirstRun=1" "StartupUpdate=1" "DCFQuality=1" "TimeRef=2" >"$settings"

echo "2. the normal start"
pid=$(start "$exe" "$demo")
probe wait-window "$pid" 30000 >/dev/null
echo "  message panel: $(probe wait-text "$pid" 200)"
next=$((2 + $(boxes "$pid" 2 2)))

echo "3. live DCF77 time; the PC clock set at the first second 1 (up to a minute); each page"
probe tray "$pid" 514
window=$(probe rect "$pid")
if probe wait-text-is "$pid" 200 "PC time adjusted." 75000; then
  echo "  message panel: PC time adjusted.; last sync: $(probe text "$pid" 218)"
else
  echo "  message panel: $(probe text "$pid" 200)"
fi
for page in 0 1 2 3; do
  probe page "$pid" "$page"
  name=$(sed -n "$((page + 1))p" <<<$'time\nsetup\ninfo\nabout')
  shot "$(printf '%02d' "$next")-page-$name" "$window"
  next=$((next + 1))
done
probe page "$pid" 0
if ((HV_VIRTUAL_DISPLAY)); then
  # The whole virtual screen with the window hidden: Wine's stand-in for the notification
  # area shows the tray icon.
  probe click "$pid" 101
  shot "$(printf '%02d' "$next")-screen" "$(xdpyinfo | awk '/dimensions:/ {print $2}')+0+0"
  next=$((next + 1))
  probe tray "$pid" 514
fi

echo "4. a second start while it runs"
second=$(start "$exe" "$demo")
probe wait-box "$second" 30000 | sed 's/^/  message box: /'
shot "$(printf '%02d' "$next")-second-instance" "$(probe box-rect "$second")"
next=$((next + 1))
probe box-press "$second" 1
wait_exit "$second"

# other <name> <what> <scenario lines...>: a run of its own with another receiver, shown; its
# Time page and the whole screen (the tray icon, and notices) shot after a few seconds.
other() {
  local name=$1 what=$2
  shift 2
  echo "$what"
  probe click "$pid" 102
  wait_exit "$pid"
  scenario "$@"
  pid=$(start "$exe" "$demo")
  probe wait-window "$pid" 30000 >/dev/null
  probe tray "$pid" 514
  sleep 5
  echo "  message panel: $(probe text "$pid" 200); state: $(probe text "$pid" 212)"
  shot "$(printf '%02d' "$next")-$name" "$window"
  next=$((next + 1))
  if ((HV_VIRTUAL_DISPLAY)); then
    # With the window hidden, Wine's stand-in for the notification area shows the tray icon.
    probe click "$pid" 101
    shot "$(printf '%02d' "$next")-$name-screen" "$(xdpyinfo | awk '/dimensions:/ {print $2}')+0+0"
    next=$((next + 1))
    probe tray "$pid" 514
  fi
}
other crystal-time "5. crystal time: the receiver's own clock, no signal" \
  "source = crystal" "reception = 0" "battery = 3012"
other no-radio-time "6. no receiver plugged in: the Time page follows the PC clock" "installed = 0"
other low-battery "7. a weak clock battery: three low readings bring the notice" "battery = 2700"

echo "8. the tray icons at 16 and 32 pixels on a light, a dark and the classic grey taskbar"
tray_pictures() {
  local tmp backgrounds=('#f3f3f3' '#202020' '#d4d0c8') row rows=() name size bg
  tmp=$(mktemp -d)
  for name in IMAGEPC IMAGECRYSTAL IMAGEDCF; do
    wrestool -x --type=group_icon --name="$name" -o "$tmp/$name.ico" "$exe"
    for size in 16 32; do
      icotool -x -w "$size" -h "$size" -o "$tmp/$name-$size.png" "$tmp/$name.ico"
    done
  done
  for bg in "${backgrounds[@]}"; do
    row=()
    for size in 16 32; do
      for name in IMAGEPC IMAGECRYSTAL IMAGEDCF; do
        convert "$tmp/$name-$size.png" -background "$bg" -gravity center -extent 40x40 \
          "$tmp/cell-${#rows[@]}-$size-$name.png"
        row+=("$tmp/cell-${#rows[@]}-$size-$name.png")
      done
    done
    convert "${row[@]}" +append "$tmp/row-${#rows[@]}.png"
    rows+=("$tmp/row-${#rows[@]}.png")
  done
  convert "${rows[@]}" -append -scale 400% "$shots/tray-icons.png"
  rm -rf "$tmp"
  echo "  saved ${shots#"$root/"}/tray-icons.png"
}
tray_pictures

echo "screenshots: $shots"
echo "call log of the simulated receiver: $demo/calls.log"
if ((HV_VIRTUAL_DISPLAY)); then
  probe click "$pid" 102
  echo "Horavia ended through its Terminate Program button (exit code $(probe wait-exit "$pid" 10000))"
else
  # Leave it to the user; the prefix's server goes once the program has ended.
  hv_prefixes=()
  nohup bash -c "'$HV_WINE' '$build/bin/probe.exe' wait-exit $pid 0xFFFFFFFF; wineserver -k" \
    >/dev/null 2>&1 &
  echo "Horavia is still running on $DISPLAY (Wine prefix build/demo-wine);"
  echo "end it with its Terminate Program button."
fi
