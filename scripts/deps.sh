#!/usr/bin/env bash
# Installs the Debian packages a step needs, only those that are missing.
# Usage: scripts/deps.sh GROUP...   (groups: build, test, windows, web)
set -euo pipefail

packages=()
for group in "$@"; do
  case "$group" in
    build) packages+=(cmake g++ make pkg-config libsdl2-dev libpng-dev) ;;
    test) packages+=(libgtest-dev libbenchmark-dev libmpfr-dev libgmp-dev libyuv-dev libpixman-1-dev
                     xvfb xauth xdotool x11-apps x11-utils python3 python3-xlib libgl1-mesa-dri) ;;
    windows) packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb xdotool x11-apps) ;;
    web) packages+=(cmake emscripten nodejs chromium python3) ;;
    *) echo "deps.sh: unknown group '$group' (build, test, windows, web)" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "deps.sh: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
$sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
