#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and the demo need, if any is missing.
#
# Both Windows builds and both Wine loaders. The 32-bit loader and its libraries install also
# where the kernel cannot run them; the scripts then use the 64-bit loader only.
set -euo pipefail

packages=(
  cmake make g++ googletest            # native build and the core tests
  g++-mingw-w64-i686-win32             # the 32-bit Windows build (win32 thread model)
  g++-mingw-w64-x86-64-win32           # the 64-bit Windows build
  wine wine64 wine32:i386 fonts-wine   # running them; fonts-wine holds the dialog fonts
  nsis                                 # the installers (makensis)
  libxrender1:i386 libxrandr2:i386 libxi6:i386 libxcursor1:i386 libxinerama1:i386
  libxfixes3:i386 libxcomposite1:i386  # X extensions Wine uses when they are there
  xvfb xauth x11-utils                 # the virtual display and xdpyinfo
  imagemagick                          # screenshots (import)
)

installed() {
  [[ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" == "install ok installed" ]]
}

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

as_root=()
if ((EUID != 0)); then
  command -v sudo >/dev/null || {
    echo "install-deps: missing ${missing[*]}; run as root or install sudo" >&2
    exit 1
  }
  as_root=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
if [[ "$(dpkg --print-architecture)" == amd64 ]] &&
  ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "install-deps: done"
