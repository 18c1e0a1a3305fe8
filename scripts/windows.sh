#!/usr/bin/env bash
# The Windows build, checked under Wine.
#
#   bash scripts/windows.sh [options]
#
# Cross-builds flyover.exe and framehash.exe for 32- and 64-bit Windows with
# the mingw-w64 compilers, checks that they need no DLL beyond the system's,
# and runs the 64-bit ones under Wine: framehash must print the same frame
# hashes as the Linux build's framehash, and flyover.exe must show the right
# picture and end with exit code 0 on Escape and on Alt+F4
# (tests/wine/wine_check.py).
#
# Options:
#   --win32                also run the 32-bit programs under Wine. This needs
#                          Debian's wine32 for the i386 architecture, which
#                          this option installs when missing (as root): it adds
#                          the architecture and upgrades many system packages,
#                          so it is not part of the default run.
#   --build-win32 DIR      build folders (default build-win32, build-win64 and,
#   --build-win64 DIR      for the Linux framehash, build-winlinux, all in the
#   --build-linux DIR      source tree)
#   --linux-framehash PATH use this Linux framehash (and the mkmaps beside it)
#                          instead of building them
#   --keep DIR             keep the last screenshot and logs there on failure
#   --jobs N               parallel build jobs (default 2)
#
# Packages it installs when they are missing and it runs as root:
# g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb xdotool x11-apps
# (plus cmake, g++ and python3 for the Linux side).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build32=$root/build-win32
build64=$root/build-win64
buildlinux=$root/build-winlinux
linux_framehash=
win32=0
keep=
jobs=2

die() {
  echo "windows.sh: $*" >&2
  exit 1
}

while [ $# -gt 0 ]; do
  case $1 in
    --win32) win32=1 ;;
    --build-win32) build32=$(realpath -m "${2:?}"); shift ;;
    --build-win64) build64=$(realpath -m "${2:?}"); shift ;;
    --build-linux) buildlinux=$(realpath -m "${2:?}"); shift ;;
    --linux-framehash) linux_framehash=$(realpath -m "${2:?}"); shift ;;
    --keep) keep=$(realpath -m "${2:?}"); shift ;;
    --jobs) jobs=${2:?}; shift ;;
    -h|--help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    *) die "unknown option '$1' (see --help)" ;;
  esac
  shift
done

# --- Packages ------------------------------------------------------------------

installed() {
  dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q '^install ok installed$'
}

apt_updated=0
apt_install() {
  [ "$(id -u)" = 0 ] || die "missing packages: $* (run as root to install them, or install them yourself)"
  echo "windows.sh: installing $*"
  if [ $apt_updated = 0 ]; then
    apt-get -o DPkg::Lock::Timeout=600 update -q || die "apt-get update failed"
    apt_updated=1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -q "$@" \
    || die "could not install $*"
}

missing=()
for p in g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb xdotool x11-apps cmake g++ python3; do
  installed "$p" || missing+=("$p")
done
[ ${#missing[@]} = 0 ] || apt_install "${missing[@]}"

if [ $win32 = 1 ]; then
  # The 32-bit Wine loader, and the 32-bit OpenGL libraries without which
  # Wine's DirectDraw refuses a video-memory primary surface.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    [ "$(id -u)" = 0 ] || die "the i386 architecture is not enabled (run as root to enable it)"
    dpkg --add-architecture i386
    apt_updated=0
  fi
  missing=()
  for p in wine32:i386 libgl1:i386 libgl1-mesa-dri:i386; do
    installed "$p" || missing+=("$p")
  done
  [ ${#missing[@]} = 0 ] || apt_install "${missing[@]}"
fi

# --- Builds --------------------------------------------------------------------

# configure FOLDER [cmake arguments...]: configures once; later runs reuse it.
configure() {
  local dir=$1
  shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF "$@" \
      || die "configuring $dir failed"
  fi
}

build() {
  local dir=$1
  shift
  cmake --build "$dir" -j "$jobs" --target "$@" || die "building $* in $dir failed"
}

configure "$build64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake"
build "$build64" flyover framehash
configure "$build32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake"
build "$build32" flyover framehash

if [ -z "$linux_framehash" ]; then
  configure "$buildlinux"
  build "$buildlinux" framehash mkmaps
  linux_framehash=$buildlinux/tools/framehash
fi
[ -x "$linux_framehash" ] || die "$linux_framehash: no Linux framehash there"
# The maps come from the map generator of the same Linux build.
linux_mkmaps=$(dirname "$linux_framehash")/mkmaps
[ -x "$linux_mkmaps" ] || die "$linux_mkmaps: no Linux mkmaps beside framehash"

# --- What the .exe files need --------------------------------------------------

# check_exe FILE ARCH SUBSYSTEM: the image's format, whether it is a GUI or a
# console program, and that it imports only system DLLs. ddraw.dll in
# particular must not be among them: the display loads it at run time.
check_exe() {
  local exe=$1 format=$2 subsystem=$3 info dlls bad
  [ -f "$exe" ] || die "$exe was not built"
  info=$(x86_64-w64-mingw32-objdump -p "$exe") || die "$exe: objdump failed"
  grep -q "file format $format\$" <<<"$info" || die "$exe: not a $format image"
  grep -q "^Subsystem.*($subsystem)" <<<"$info" || die "$exe: not a $subsystem program"
  dlls=$(sed -n 's/^\s*DLL Name: //p' <<<"$info")
  bad=$(grep -viE '^(kernel32|user32|msvcrt|ucrtbase|api-ms-win-.*)\.dll$' <<<"$dlls" || true)
  [ -z "$bad" ] || die "$exe imports DLLs that Windows does not provide: $(echo $bad)"
  echo "windows.sh: $exe: $format, $subsystem, imports $(echo $dlls)"
}

check_exe "$build64/src/flyover.exe" pei-x86-64 "Windows GUI"
check_exe "$build64/tools/framehash.exe" pei-x86-64 "Windows CUI"
check_exe "$build32/src/flyover.exe" pei-i386 "Windows GUI"
check_exe "$build32/tools/framehash.exe" pei-i386 "Windows CUI"

# --- Under Wine ----------------------------------------------------------------

python=python3
[ -x /usr/bin/python3 ] && python=/usr/bin/python3

args=(--linux-framehash "$linux_framehash" --mkmaps "$linux_mkmaps"
      --framehash "$build64/tools/framehash.exe" --flyover "$build64/src/flyover.exe")
if [ $win32 = 1 ]; then
  args+=(--framehash "$build32/tools/framehash.exe" --flyover "$build32/src/flyover.exe")
fi
[ -z "$keep" ] || args+=(--keep "$keep")

# The checker bounds its own run; this outer limit catches anything else.
if timeout -k 30 1200 "$python" "$root/tests/wine/wine_check.py" "${args[@]}"; then
  echo "windows.sh: all Windows checks passed"
else
  die "the Wine checks failed (see above)"
fi
