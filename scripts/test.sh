#!/usr/bin/env bash
# The test command: installs what is missing, builds all four presets and runs every test layer.
#
# Core and simulator tests natively (also with ASan and UBSan); the Win32 tests, the simulator
# DLL check and the end-to-end tests under Wine, for the 64-bit build in a 64-bit prefix and
# for the 32-bit build in a 32-bit one, each made for this run, on the current X display or a
# virtual one. On a machine that runs no 32-bit programs (or with HV_NO_32BIT=1) the 32-bit
# build is still built and its import check runs; its tests under Wine are left out, and a
# line says why. Logs of each step go to build/logs/. Exits non-zero if anything failed.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
logs="$root/build/logs"
jobs=$(nproc 2>/dev/null || echo 2)

"$here/install-deps.sh"
# shellcheck source=scripts/wine-session.sh
source "$here/wine-session.sh"

cd "$root"
mkdir -p "$logs"
started=$SECONDS
failed=()

# step <name> <command...>: runs the command with its output in build/logs/<name>.log.
step() {
  local name=$1
  shift
  local begin=$SECONDS
  if "$@" >"$logs/$name.log" 2>&1; then
    printf '  ok    %-22s %4ds  %s\n' "$name" $((SECONDS - begin)) \
      "$(grep -m1 -E 'tests passed' "$logs/$name.log" || true)"
  else
    printf '  FAIL  %-22s %4ds  (build/logs/%s.log)\n' "$name" $((SECONDS - begin)) "$name"
    tail -n 40 "$logs/$name.log" | sed 's/^/        /'
    failed+=("$name")
    return 1
  fi
}

hv_runs_32bit
if ((HV_RUNS_32BIT)); then
  echo "this machine runs 32-bit programs: the Windows tests run on both builds"
else
  echo "the 32-bit Windows tests are left out: $HV_NO_32BIT_WHY (the 32-bit build and its import check still run)"
fi

built=()
echo "building"
for preset in native native-asan win64 win32; do
  if step "configure-$preset" cmake --preset "$preset" &&
    step "build-$preset" cmake --build --preset "$preset" -j "$jobs"; then
    built+=("$preset")
  fi
done

wine_dir=$(mktemp -d "${TMPDIR:-/tmp}/horavia-test.XXXXXX")
cleanup() {
  hv_cleanup
  rm -rf "$wine_dir"
}
trap cleanup EXIT

# windows_tests <preset>: one prefix and one wineserver for all Windows tests of a build; they
# run one after the other because the program's single-instance mutex is per wineserver. The
# server ends before the next build's tests.
display=""
windows_tests() {
  local preset=$1
  if [[ -z "$display" ]]; then
    step "display" hv_display && display=ok || display=failed
  fi
  [[ "$display" == ok ]] || return 0
  step "wine-prefix-$preset" hv_wine_prefix "$wine_dir/$preset" "$preset" &&
    step "test-$preset" ctest --preset "$preset" || true
  wineserver -k 2>/dev/null || true
}

echo "testing"
for preset in "${built[@]}"; do
  case "$preset" in
    native | native-asan)
      step "test-$preset" ctest --preset "$preset" -j "$jobs" || true
      ;;
    win64)
      windows_tests win64
      ;;
    win32)
      if ((HV_RUNS_32BIT)); then
        windows_tests win32
      else
        # Only what needs no Wine: the import check.
        step "test-win32-host" ctest --preset win32 -L host || true
      fi
      ;;
  esac
done

echo "took $((SECONDS - started)) s"
if ((${#failed[@]})); then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all tests passed"
