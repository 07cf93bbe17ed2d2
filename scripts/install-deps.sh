#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and the demo need, if any is missing.
#
# Both Windows builds and Wine's 64-bit loader everywhere; Wine's 32-bit loader and its
# libraries (the i386 architecture) only where the kernel runs 32-bit programs, and there as a
# wish: when they cannot be had, the scripts leave the 32-bit Windows tests out (see
# wine-session.sh) and say why. A failed `apt-get update` (a mirror in the middle of its sync,
# say) is reported and the script goes on with the index it has; it fails only when a package
# it needs cannot be installed, and then names it.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/wine-session.sh
source "$here/wine-session.sh"

needed=(
  cmake make g++ googletest            # native build and the core tests
  g++-mingw-w64-i686-win32             # the 32-bit Windows build (win32 thread model)
  g++-mingw-w64-x86-64-win32           # the 64-bit Windows build
  wine wine64 fonts-wine               # running them; fonts-wine holds the dialog fonts
  nsis                                 # the installers (makensis)
  xvfb xauth x11-utils                 # the virtual display and xdpyinfo
  imagemagick                          # screenshots (import)
  icoutils                             # wrestool and icotool: the icon sizes in the program
)
# The 32-bit loader, and the X extensions Wine uses when they are there.
wished_i386=(
  wine32:i386
  libxrender1:i386 libxrandr2:i386 libxi6:i386 libxcursor1:i386 libxinerama1:i386
  libxfixes3:i386 libxcomposite1:i386
)

say() { echo "install-deps: $*"; }

installed() {
  [[ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" == "install ok installed" ]]
}

# missing_of <package...>: prints those not installed, one a line.
missing_of() {
  local package
  for package in "$@"; do
    installed "$package" || echo "$package"
  done
}

hv_runs_32bit kernel
want_i386=$HV_RUNS_32BIT
mapfile -t missing < <(missing_of "${needed[@]}")
missing_i386=()
if ((want_i386)); then
  mapfile -t missing_i386 < <(missing_of "${wished_i386[@]}")
fi
if ((${#missing[@]} + ${#missing_i386[@]} == 0)); then
  exit 0
fi

as_root=()
if ((EUID != 0)); then
  command -v sudo >/dev/null || {
    say "missing ${missing[*]} ${missing_i386[*]}; run as root or install sudo" >&2
    exit 1
  }
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive

if ((${#missing_i386[@]})) && [[ "$(dpkg --print-architecture)" == amd64 ]] &&
  ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
fi

update_log=$(mktemp)
if ! "${as_root[@]}" apt-get update -qq >"$update_log" 2>&1; then
  say "apt-get update failed ($(grep -m1 -E '^(E|W):' "$update_log" || tail -n 1 "$update_log")); going on with the package index there is"
fi
rm -f "$update_log"

# install <package...>: one transaction; on failure, one package at a time, so that a single
# package out of reach is named and the others still come. Prints the failed ones.
install() {
  (($#)) || return 0
  if "${as_root[@]}" apt-get install -y -qq --no-install-recommends "$@" >/dev/null 2>&1; then
    return 0
  fi
  local package
  for package in "$@"; do
    "${as_root[@]}" apt-get install -y -qq --no-install-recommends "$package" >/dev/null 2>&1 ||
      echo "$package"
  done
}

if ((${#missing[@]})); then
  say "installing ${missing[*]}"
  mapfile -t failed < <(install "${missing[@]}")
  if ((${#failed[@]})); then
    say "could not install ${failed[*]}: without it nothing can be built or tested." \
      "Check the package mirror (/etc/apt/sources.list) and run 'apt-get update', then try again" >&2
    exit 1
  fi
fi
if ((${#missing_i386[@]})); then
  say "installing ${missing_i386[*]}"
  mapfile -t failed < <(install "${missing_i386[@]}")
  if ((${#failed[@]})); then
    say "could not install ${failed[*]}: the 32-bit Windows tests will be left out"
  fi
fi
say "done"
