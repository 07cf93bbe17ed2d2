#!/usr/bin/env bash
# scripts/install-deps.sh against a package mirror that misbehaves: stand-ins for apt-get,
# dpkg-query, dpkg and sudo first on PATH; no network, nothing really installed.
set -uo pipefail

script="$(cd "$(dirname "$0")/../.." && pwd)/scripts/install-deps.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/install-deps-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
bin="$work/bin"
mkdir -p "$bin"

# dpkg-query: every package is installed but those listed in $MISSING and every :i386 one.
cat >"$bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
package=${!#}
[[ " $MISSING " == *" $package "* || "$package" == *:i386 ]] && exit 1
echo "install ok installed"
EOF
# dpkg: an amd64 machine without foreign architectures; records what is added.
cat >"$bin/dpkg" <<'EOF'
#!/usr/bin/env bash
case "$1" in
  --print-architecture) echo amd64 ;;
  --print-foreign-architectures) ;;
  *) echo "dpkg $*" >>"$LOG" ;;
esac
EOF
# apt-get: the index update fails as a mirror in mid-sync does; an install fails when it holds
# an :i386 package or one listed in $REFUSE.
cat >"$bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$LOG"
case " $* " in
  *" update "*)
    echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size (1234 != 5678). Mirror sync in progress?" >&2
    exit 100 ;;
  *" install "*)
    for package; do
      [[ "$package" == *:i386 || " $REFUSE " == *" $package "* ]] && {
        echo "E: Unable to locate package $package" >&2
        exit 100
      }
    done ;;
esac
exit 0
EOF
printf '#!/usr/bin/env bash\nexec "$@"\n' >"$bin/sudo"
chmod +x "$bin"/*

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# run <name> <env...>: runs the script with the stand-ins; sets status, out and log.
run() {
  local name=$1
  shift
  export LOG="$work/$name.log"
  : >"$LOG"
  out=$(env PATH="$bin:$PATH" "$@" bash "$script" 2>&1)
  status=$?
  log=$(cat "$LOG")
}

# A machine without 32-bit programs, one 64-bit package missing, the update failing: the
# failure is one line, the package comes, nothing of i386 is asked for.
run no32 HV_NO_32BIT=1 MISSING=nsis REFUSE=
((status == 0)) || fail "no32: exit status $status: $out"
[[ $(grep -c 'apt-get update failed' <<<"$out") == 1 ]] || fail "no32: update failure not in one line: $out"
grep -q 'Mirror sync in progress' <<<"$out" || fail "no32: the mirror's word is not passed on: $out"
grep -qx 'apt-get install -y -qq --no-install-recommends nsis' <<<"$log" || fail "no32: nsis not installed: $log"
grep -q 'i386' <<<"$log" && fail "no32: asked for i386: $log"

# The same machine, but the mirror refuses a needed package: the script fails and names it.
run refused HV_NO_32BIT=1 MISSING="nsis xvfb" REFUSE=nsis
((status != 0)) || fail "refused: exit status 0 although nsis was refused: $out"
grep -q 'could not install nsis:' <<<"$out" || fail "refused: nsis not named: $out"
grep -q 'could not install.*xvfb' <<<"$out" && fail "refused: named xvfb, which installed: $out"

# Nothing missing: nothing is asked of the package manager at all.
run complete HV_NO_32BIT=1 MISSING=
((status == 0)) && [[ -z "$log" ]] || fail "complete: status $status, asked: $log"

# Where this kernel runs 32-bit programs, the i386 packages are wished for and their refusal
# is not fatal.
source "$(dirname "$script")/wine-session.sh"
hv_runs_32bit kernel
if ((HV_RUNS_32BIT)); then
  run i386 MISSING= REFUSE=
  ((status == 0)) || fail "i386: exit status $status: $out"
  grep -q 'dpkg --add-architecture i386' <<<"$log" || fail "i386: architecture not added: $log"
  grep -q '32-bit Windows tests will be left out' <<<"$out" || fail "i386: no word on the tests: $out"
fi

((failures == 0)) && echo "all cases passed"
exit $((failures > 0))
