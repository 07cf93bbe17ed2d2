#!/usr/bin/env bash
# The benchmark: Horavia's CPU time and memory beside a bare tray program's, under Wine.
#
#   scripts/bench.sh            # 60 s of measuring per program
#   BENCH_SECONDS=20 scripts/bench.sh
#
# Installs what is missing and builds Horavia.exe, the simulator, the probe and
# BareTray.exe (one hidden window, one tray icon, one 200 ms timer that does nothing). Then, on
# the current X display or a virtual one, in a Wine prefix made for this run (build/bench/wine)
# and kept by one wineserver, it measures one after the other, each alone with that server:
#   - Wine alone, no program of ours (what the server and Wine's own processes cost anyway);
#   - BareTray.exe;
#   - Horavia.exe with the healthy simulated receiver (cdecl Tempiva.dll beside it, the scenario
#     named by TEMPIVA_SCENARIO, no call log), its window hidden, the device session running.
# Last, the accuracy of the settings of the PC clock: under Wine (a receiver a known offset ahead,
# every setting refused and its difference logged by Wine) and on the core tests' virtual
# platform; prints the minimum, median and maximum error in milliseconds.
# Each program is measured from a few seconds after it is ready for BENCH_SECONDS: the CPU time
# of its process and of the wineserver over that window (both its own work: nothing else of ours
# runs then), and its peak resident memory (VmHWM) since its start. The CPU time of Wine's other
# processes in the prefix (the desktop process that holds the tray, the services) is shown too
# but not counted. Prints three ratios: Horavia / BareTray for CPU time (target 1.2x) and for
# memory (target 1.25x), and Horavia.exe's size over its limit of 512 KiB. Measures the 32-bit build where this machine runs 32-bit programs, else (or
# with HV_NO_32BIT=1) the 64-bit one. Exits non-zero only when the run itself fails.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
run="$root/build/bench"
seconds=${BENCH_SECONDS:-60}
settle=5

"$here/install-deps.sh"
# shellcheck source=scripts/wine-session.sh
source "$here/wine-session.sh"

cd "$root"
hv_runs_32bit
preset=win32
if ((!HV_RUNS_32BIT)); then
  preset=win64
  echo "measuring the 64-bit build: $HV_NO_32BIT_WHY"
fi
build="$root/build/$preset"
mkdir -p "$root/build/logs"
echo "building the $preset preset (log: build/logs/bench-build.log)"
{
  cmake --preset "$preset" &&
    cmake --build --preset "$preset" -j "$(nproc 2>/dev/null || echo 2)" --target Horavia \
      tempiva_cdecl probe BareTray
} >"$root/build/logs/bench-build.log" 2>&1 || {
  tail -n 30 "$root/build/logs/bench-build.log"
  exit 1
}

# The run's folder: each program in a folder of its own, Horavia with the simulator beside it.
rm -rf "$run"
mkdir -p "$run/horavia" "$run/bare"
cp "$build/bin/Horavia.exe" "$build/simulator/cdecl/Tempiva.dll" "$run/horavia/"
cp "$build/bench/BareTray.exe" "$run/bare/"
cat >"$run/horavia/healthy.ini" <<'EOF'
# A healthy receiver with DCF77 time and a good signal (keys: simulator/README.md).
installed = 1
quality = 60
battery = 3012
EOF

trap hv_cleanup EXIT
hv_display
echo "making the Wine prefix build/bench/wine"
hv_wine_prefix "$run/wine" "$preset"

# The prefix's wineserver: the one working in the server folder named after the prefix's device
# and inode.
read -r device inode < <(stat -c '%d %i' "$WINEPREFIX")
server_folder=$(printf 'server-%x-%x' "$device" "$inode")
server=""
for proc in /proc/[0-9]*; do
  [[ "$(cat "$proc/comm" 2>/dev/null)" == wineserver* ]] || continue
  if [[ "$(readlink "$proc/cwd" 2>/dev/null)" == */"$server_folder" ]]; then
    server=${proc#/proc/}
    break
  fi
done
if [[ -z "$server" ]]; then
  echo "cannot find the wineserver of $WINEPREFIX" >&2
  exit 1
fi

# Past the first run, so that no notice waits for an answer.
appdata=$(winepath -u "$(wine cmd /c echo %APPDATA% | tr -d '\r')")
mkdir -p "$appdata"
printf '[TNA]\r\nFirstRun=0\r\n' >"$appdata/Kronalt.ini"

probe() { wine "$build/bin/probe.exe" "$@"; }

# cpu_ns <pid>: the CPU time of all threads of a process so far, in nanoseconds.
cpu_ns() {
  local total=0 ns rest task
  for task in /proc/"$1"/task/*/schedstat; do
    { read -r ns rest <"$task"; } 2>/dev/null || continue
    total=$((total + ns))
  done
  echo "$total"
}

# threads <pid>: the ids of a process's threads (its CPU time is theirs: none may end unseen).
threads() {
  local task
  for task in /proc/"$1"/task/*; do printf '%s ' "${task##*/}"; done
}

# others <pid...>: Wine's processes of this prefix (Windows programs), but the ones named.
others() {
  local proc pid
  for proc in /proc/[0-9]*; do
    pid=${proc#/proc/}
    [[ " $* " == *" $pid "* ]] && continue
    [[ "$(cat "$proc/comm" 2>/dev/null)" == *.exe ]] || continue
    if grep -qzxF "WINEPREFIX=$WINEPREFIX" "$proc/environ" 2>/dev/null; then
      echo "$pid"
    fi
  done
}

# cpu_table <pid...>: "<pid> <CPU ns>" for each process that still runs, from the process's
# total in clock ticks (threads of these processes come and go; the total keeps theirs).
ticks=$(getconf CLK_TCK)
cpu_table() {
  local pid stat
  for pid in "$@"; do
    stat=$(cat /proc/"$pid"/stat 2>/dev/null) || continue
    echo "$pid ${stat##*) }"
  done | awk -v tick="$ticks" '{ printf "%s %.0f\n", $1, ($13 + $14) * 1e9 / tick }'
}

# cpu_growth <before> <after>: the CPU time gained by the processes in both tables (ns).
cpu_growth() {
  awk 'NR == FNR { before[$1] = $2; next } ($1 in before) { total += $2 - before[$1] }
       END { print total + 0 }' <(echo "$1") <(echo "$2")
}

# measure <name> [<pid>]: sleeps through the window and records the CPU time of the program,
# the server and the other Wine processes in cpu[<name>.program], cpu[<name>.server] and
# cpu[<name>.others] (ns).
declare -A cpu
measure() {
  local name=$1 pid=${2:-}
  local -a other
  mapfile -t other < <(others "$server" ${pid:+"$pid"})
  local program0=0 server0 others0 program_threads=""
  if [[ -n "$pid" ]]; then
    program0=$(cpu_ns "$pid")
    program_threads=$(threads "$pid")
  fi
  server0=$(cpu_ns "$server")
  others0=$(cpu_table "${other[@]}")
  sleep "$seconds"
  if [[ -n "$pid" ]]; then
    cpu[$name.program]=$(($(cpu_ns "$pid") - program0))
    [[ "$(threads "$pid")" == "$program_threads" ]] ||
      echo "  note: the program's threads changed during the window; the CPU time may be short"
  fi
  cpu[$name.server]=$(($(cpu_ns "$server") - server0))
  cpu[$name.others]=$(cpu_growth "$others0" "$(cpu_table "${other[@]}")")
}

# started <pid> <name>: waits until the process runs the program (Wine's loader replaced).
started() {
  local i
  for ((i = 0; i < 100; i++)); do
    [[ "$(cat /proc/"$1"/comm 2>/dev/null)" == "$2" ]] && return
    sleep 0.1
  done
  echo "$2 did not start" >&2
  exit 1
}

peak_kb() { awk '/^VmHWM:/ {print $2}' /proc/"$1"/status; }

# image_kb <pid> <dll>: resident memory of a loaded DLL's image, from where its file is mapped
# over the image's size in its PE header (Wine reads sections into memory that shows as
# anonymous).
image_kb() {
  local header size
  header=$(od -An -tu4 -j60 -N4 "$2" | tr -d ' ')
  size=$(od -An -tu4 -j$((header + 80)) -N4 "$2" | tr -d ' ')
  awk -v name="$(basename "$2")" -v size="$size" '
    function hex(text,   i, value) {
      for (i = 1; i <= length(text); i++)
        value = value * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
      return value
    }
    /^[0-9a-f]+-[0-9a-f]+ / {
      split($1, range, "-"); start = hex(range[1]); file = $6; sub(/.*\//, "", file)
      if (file == name && !base) base = start
    }
    /^Rss:/ && base && start >= base && start < base + size { total += $2 }
    END { print total + 0 }' /proc/"$1"/smaps
}

echo "measuring ${seconds} s each (window of the measurement after ${settle} s of settling)"

echo "  Wine alone"
sleep "$settle"
measure idle

echo "  BareTray.exe"
(cd "$run/bare" && exec "$HV_WINE" BareTray.exe >"$run/bare/output.txt" 2>&1) &
bare=$!
started "$bare" BareTray.exe
sleep "$settle"
measure bare "$bare"
bare_peak=$(peak_kb "$bare")
kill -TERM "$bare"
wait "$bare" 2>/dev/null || true

echo "  Horavia.exe"
scenario="Z:${run//\//\\}\\horavia\\healthy.ini"
(cd "$run/horavia" && TEMPIVA_SCENARIO="$scenario" exec "$HV_WINE" Horavia.exe \
  >"$run/horavia/output.txt" 2>&1) &
horavia=$!
started "$horavia" Horavia.exe
# Running: the first record of the receiver has been shown, with the signal quality read.
quality=""
for ((i = 0; i < 60; i++)); do
  quality=$(probe text 0 210 2>/dev/null | tr -d '\r') || true
  [[ "$quality" == 60 ]] && break
  sleep 0.5
done
if [[ "$quality" != 60 ]]; then
  echo "Horavia did not reach the running session (quality panel: '$quality')" >&2
  exit 1
fi
if [[ "$(probe visible 0 | tr -d '\r')" != 0 ]]; then
  echo "Horavia's window is shown; it should be hidden" >&2
  exit 1
fi
sleep "$settle"
measure horavia "$horavia"
horavia_peak=$(peak_kb "$horavia")
simulator_kb=$(image_kb "$horavia" "$run/horavia/Tempiva.dll")
# Still running: shown now, the Time page follows the receiver (a session that had fallen back
# would show the PC clock, no quality and no reception state).
message=$(probe text 0 200 | tr -d '\r')
probe tray 0 514
sleep 1.5
reception=$(probe text 0 212 | tr -d '\r')
quality=$(probe text 0 210 | tr -d '\r')
time_before=$(probe text 0 207 | tr -d '\r')
sleep 1.2
time_after=$(probe text 0 207 | tr -d '\r')
if [[ "$message" != "Radio clock device opened" || "$reception" != "time available" ||
  "$quality" != 60 || "$time_after" == "$time_before" ]]; then
  echo "Horavia left the running session: message '$message', reception '$reception'," \
    "quality '$quality', time $time_before -> $time_after" >&2
  exit 1
fi
probe click 0 102
wait "$horavia" 2>/dev/null || true

# How far each setting of the PC clock lands from the true time. Wine refuses a new time more
# than half a second from its clock and logs the difference; a receiver a known offset ahead
# therefore has every setting refused, and the logged difference minus the offset is the
# setting's error. The hourly rule, armed at the receiver's hh:00:01 (30 s after the start),
# then tries every following record: about one setting a second.
accuracy_seconds=$((seconds > 50 ? seconds : 50))
echo "  accuracy: Horavia.exe with a receiver ahead, ${accuracy_seconds} s of settings"
printf '[TNA]\r\nFirstRun=0\r\nStartupUpdate=0\r\nPeriodicalUpdate=1\r\nTimeRef=2\r\n' \
  >"$appdata/Kronalt.ini"
now_ms=$(($(date +%s%N) / 1000000))
offset=$((3600000 - now_ms % 3600000 - 30000))
((offset < 2000)) && offset=$((offset + 3600000))
printf 'installed = 1\noffset_ms = %d\n' "$offset" >"$run/horavia/ahead.ini"
(cd "$run/horavia" && TEMPIVA_SCENARIO="Z:${run//\//\\}\\horavia\\ahead.ini" WINEDEBUG=err+sync \
  exec "$HV_WINE" Horavia.exe >"$run/horavia/accuracy.txt" 2>&1) &
accuracy=$!
started "$accuracy" Horavia.exe
sleep $((30 + accuracy_seconds))
probe click 0 102
wait "$accuracy" 2>/dev/null || true
wine_errors=$(sed -n 's/.*not allowed: difference \(-\{0,1\}[0-9]*\) ms.*/\1/p' \
  "$run/horavia/accuracy.txt" | awk -v offset="$offset" '{ print $1 - offset }' | sort -n)
summary() {
  awk '{ v[NR] = $1 } END {
    if (NR == 0) { print "no settings"; exit }
    printf "min %d ms, median %d ms, max %d ms over %d settings", v[1], v[int((NR + 1) / 2)], v[NR], NR
  }'
}
# The same on the virtual platform of the core tests (15.6 ms timer grain, as on Windows).
echo "  accuracy: the virtual platform (log: build/logs/bench-native.log)"
{
  cmake --preset native && cmake --build --preset native -j "$(nproc 2>/dev/null || echo 2)" \
    --target core_tests
} >"$root/build/logs/bench-native.log" 2>&1 || {
  tail -n 30 "$root/build/logs/bench-native.log"
  exit 1
}
virtual_line=$("$root/build/native/tests/core/core_tests" --gtest_filter='Accuracy.*' |
  grep 'setting error ms')

# The table.
s() { awk -v ns="$1" 'BEGIN { printf "%.3f s", ns / 1e9 }'; }
mib() { awk -v kb="$1" 'BEGIN { printf "%.1f MiB", kb / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2fx", a / b; else print "-" }'; }
verdict() {
  awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { print (b > 0 && a <= t * b) ? "met" : "MISSED" }'
}
row() { printf '%-14s %12s %12s %12s %14s %12s\n' "$@"; }
bare_cpu=$((${cpu[bare.program]} + ${cpu[bare.server]}))
horavia_cpu=$((${cpu[horavia.program]} + ${cpu[horavia.server]}))

echo
echo "$(wine --version), ${seconds} s per program, one after the other in one prefix and server"
row "" "program CPU" "wineserver" "together" "peak memory" "other Wine"
row "Wine alone" "-" "$(s "${cpu[idle.server]}")" "-" "-" "$(s "${cpu[idle.others]}")"
row "BareTray.exe" "$(s "${cpu[bare.program]}")" "$(s "${cpu[bare.server]}")" "$(s "$bare_cpu")" \
  "$(mib "$bare_peak")" "$(s "${cpu[bare.others]}")"
row "Horavia.exe" "$(s "${cpu[horavia.program]}")" "$(s "${cpu[horavia.server]}")" \
  "$(s "$horavia_cpu")" "$(mib "$horavia_peak")" "$(s "${cpu[horavia.others]}")"
exe_bytes=$(stat -c %s "$build/bin/Horavia.exe")
exe_limit=524288
echo
echo "CPU:      Horavia / BareTray $(ratio "$horavia_cpu" "$bare_cpu") (target 1.2x:" \
  "$(verdict "$horavia_cpu" "$bare_cpu" 1.2); the programs alone:" \
  "$(ratio "${cpu[horavia.program]}" "${cpu[bare.program]}"))"
echo "memory:   Horavia / BareTray $(ratio "$horavia_peak" "$bare_peak") (target 1.25x:" \
  "$(verdict "$horavia_peak" "$bare_peak" 1.25); without the simulator's Tempiva.dll, which" \
  "holds $(mib "$simulator_kb"): $(ratio $((horavia_peak - simulator_kb)) "$bare_peak"))"
echo "exe size: Horavia.exe / limit $(ratio "$exe_bytes" "$exe_limit") ($exe_bytes of" \
  "$exe_limit bytes: $(verdict "$exe_bytes" "$exe_limit" 1))"
echo
echo "Setting error (requested minus true time at the call):"
echo "  under Wine:       $(summary <<<"$wine_errors")"
echo "  virtual platform: ${virtual_line#setting error ms }"
