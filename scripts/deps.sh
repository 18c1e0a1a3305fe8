#!/usr/bin/env bash
# Installs the Debian packages a step needs, only those that are missing.
# Usage: scripts/deps.sh GROUP...   (groups: build, test, windows, wine32, arm, neon, web, format, fuzz, sources, package)
# A package named NAME:ARCH is the target architecture's own (Debian's
# multiarch); that architecture is enabled first when it is not yet.
set -euo pipefail

packages=()
for group in "$@"; do
  case "$group" in
    # libspng and libjpeg-turbo are mkmaps' picture decoders (the Windows
    # and web builds compile Debian's sources of them), stb's header its
    # resampler, compiled into every build of it. The sdl driver includes
    # Xlib's, MIT-SHM's and RENDER's headers (and loads the libraries only
    # when it runs on X).
    build) packages+=(cmake g++ make pkg-config libsdl2-dev libx11-dev libxext-dev libxrender-dev libpng-dev
                      libwebp-dev libstb-dev libspng-dev libjpeg62-turbo-dev) ;;
    test) packages+=(libgtest-dev libbenchmark-dev libmpfr-dev libgmp-dev libyuv-dev libpixman-1-dev
                     xvfb xauth xdotool x11-apps x11-utils python3 python3-xlib libgl1-mesa-dri weston ffmpeg
                     libglib2.0-bin) ;;
    windows) packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb xdotool x11-apps python3) ;;
    # The 32-bit Wine loader, and the 32-bit OpenGL libraries without which
    # Wine's DirectDraw refuses a video-memory primary surface. Enabling i386
    # upgrades many system packages, so only scripts/windows.sh --win32 asks.
    wine32) packages+=(wine32:i386 libgl1:i386 libgl1-mesa-dri:i386) ;;
    # The aarch64 cross build against Debian's arm64 libraries, run under
    # qemu-user. The armhf build (framehash) compiles its libraries from
    # Debian's sources and needs only its compiler.
    arm) packages+=(cmake make pkg-config qemu-user g++-aarch64-linux-gnu g++-arm-linux-gnueabihf llvm
                    libsdl2-dev:arm64 libx11-dev:arm64 libxext-dev:arm64 libxrender-dev:arm64 libpng-dev:arm64
                    libwebp-dev:arm64 libgtest-dev:arm64 libmpfr-dev:arm64 libgmp-dev:arm64 libbenchmark-dev:arm64
                    libspng-dev:arm64 libjpeg62-turbo-dev:arm64) ;;
    # The NEON routines compiled and modelled by llvm's llvm-mca
    # (bench/neon_cost.py): the compiler alone, no target libraries.
    neon) packages+=(g++-aarch64-linux-gnu llvm python3) ;;
    web) packages+=(cmake emscripten nodejs chromium python3 libstb-dev) ;;
    format) packages+=(clang-format git) ;;
    # libFuzzer and the sanitizers' runtimes for clang (scripts/fuzz.sh).
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    # The release packages (scripts/package.sh: CPack runs dpkg-shlibdeps)
    # and their checks (tests/package/check.sh).
    # Debian's source packages of the picture libraries, for the builds that
    # compile them (scripts/picture_sources.sh).
    sources) packages+=(dpkg-dev debian-archive-keyring xz-utils) ;;
    package) packages+=(cmake dpkg-dev lintian desktop-file-utils appstream man-db) ;;
    *) echo "deps.sh: unknown group '$group' (build, test, windows, wine32, arm, neon, web, format, fuzz, sources, package)" >&2; exit 2 ;;
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
for p in "${missing[@]}"; do
  arch=${p#*:}
  [ "$arch" != "$p" ] || continue
  [ "$arch" = "$(dpkg --print-architecture)" ] || dpkg --print-foreign-architectures | grep -qx "$arch" \
    || $sudo dpkg --add-architecture "$arch"
done
# A mirror in the middle of a sync serves an index of the wrong size for a
# minute or so: ask again rather than fail the whole run on it. An index
# still missing after that shows as a package the install cannot find.
apt=($sudo apt-get -o DPkg::Lock::Timeout=600 -o Acquire::Retries=3)
for attempt in 1 2 3; do
  "${apt[@]}" update -qq && break
  [ $attempt = 3 ] || { echo "deps.sh: apt-get update failed, again in 20 s" >&2; sleep 20; }
done
"${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}"
