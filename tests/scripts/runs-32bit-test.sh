#!/usr/bin/env bash
# The scripts' decision whether this machine runs 32-bit programs, from what they found.
set -uo pipefail
source "$(dirname "$0")/../../scripts/wine-session.sh"

failures=0
# expect <verdict> <forced> <exec> <cmdline> <config>
expect() {
  local want=$1
  shift
  local got
  got=$(hv_32bit_decision "$@")
  if [[ "$got" != "$want" ]]; then
    printf 'FAIL: hv_32bit_decision %q %q %q %q\n  want: %s\n  got:  %s\n' "$@" "$want" "$got"
    failures=$((failures + 1))
  fi
}

refused="Exec format error"
on="CONFIG_IA32_EMULATION=y"
off_by_default=$'CONFIG_IA32_EMULATION=y\nCONFIG_IA32_EMULATION_DEFAULT_DISABLED=y'
without="# CONFIG_IA32_EMULATION is not set"

expect "yes" "" ran "quiet" "$on"
expect "yes" "0" ran "" ""
expect "no: HV_NO_32BIT=1 asks to behave as on a machine without them" 1 ran "" "$on"
expect "no: the kernel is built without 32-bit emulation ($refused)" "" "$refused" "" "$without"
expect "no: the kernel's 32-bit emulation is switched off (ia32_emulation=0) ($refused)" \
  "" "$refused" "console=ttyS0 ia32_emulation=0 quiet" "$on"
expect "no: the kernel's 32-bit emulation is switched off (ia32_emulation=off) ($refused)" \
  "" "$refused" "ia32_emulation=off" ""
expect "no: the kernel's 32-bit emulation is off by default and not switched on ($refused)" \
  "" "$refused" "quiet" "$off_by_default"
expect "no: the kernel refuses to start a 32-bit program ($refused)" \
  "" "$refused" "ia32_emulation=1" "$off_by_default"
expect "no: the kernel refuses to start a 32-bit program (exit status 139)" \
  "" "exit status 139" "" ""
# A word that merely contains the switch is not the switch.
expect "no: the kernel refuses to start a 32-bit program ($refused)" \
  "" "$refused" "xia32_emulation=0" "$on"

# The probe of this machine agrees with the decision when the answer is forced.
HV_NO_32BIT=1 hv_runs_32bit
[[ "$HV_RUNS_32BIT" == 0 && "$HV_NO_32BIT_WHY" == HV_NO_32BIT=1* ]] || {
  echo "FAIL: HV_NO_32BIT=1 gave HV_RUNS_32BIT=$HV_RUNS_32BIT ($HV_NO_32BIT_WHY)"
  failures=$((failures + 1))
}

((failures == 0)) && echo "all cases passed"
exit $((failures > 0))
