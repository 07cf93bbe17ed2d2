#!/usr/bin/env bash
# The test command: installs what is missing, builds all three presets and runs every test layer.
#
# Core and simulator tests natively (also with ASan and UBSan); the Win32 tests, the simulator
# DLL check and the end-to-end tests under Wine, in a prefix made for this run, on the current
# X display or a virtual one. Logs of each step go to build/logs/. Exits non-zero if anything
# failed.
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

built=()
echo "building"
for preset in native native-asan win32; do
  if step "configure-$preset" cmake --preset "$preset" &&
    step "build-$preset" cmake --build --preset "$preset" -j "$jobs"; then
    built+=("$preset")
  fi
done

wine_dir=""
cleanup() {
  hv_cleanup
  [[ -n "$wine_dir" ]] && rm -rf "$wine_dir"
}
trap cleanup EXIT

echo "testing"
for preset in "${built[@]}"; do
  case "$preset" in
    native | native-asan)
      step "test-$preset" ctest --preset "$preset" -j "$jobs" || true
      ;;
    win32)
      # One display, one prefix and one wineserver for all Windows tests; they run one after
      # the other because the program's single-instance mutex is per wineserver.
      step "display" hv_display || continue
      wine_dir=$(mktemp -d "${TMPDIR:-/tmp}/horavia-test.XXXXXX")
      step "wine-prefix" hv_wine_prefix "$wine_dir/prefix" &&
        step "test-win32" ctest --preset win32 || true
      ;;
  esac
done

echo "took $((SECONDS - started)) s"
if ((${#failed[@]})); then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all tests passed"
