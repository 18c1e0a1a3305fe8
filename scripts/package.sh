#!/usr/bin/env bash
# The release artifacts, built into build/dist, their names and sizes printed.
#
#   bash scripts/package.sh [--jobs N] [ARTIFACT...]
#
# ARTIFACT is one of (default: all of them):
#   amd64   flyover_VERSION_amd64.deb, the Debian package of this machine
#   arm64   flyover_VERSION_arm64.deb, from the aarch64 cross build (its
#           maps and icon are made under qemu-user)
#   win64   flyover-VERSION-win64.zip and
#   win32   flyover-VERSION-win32.zip: the programs, the default maps and
#           README.txt, to unpack into a folder and double-click
#   web     flyover-VERSION.html, the page as one file, from the web build
#           (scripts/web.sh --build-only)
# VERSION is the one of project() in CMakeLists.txt. The programs are
# portable builds (the converters pick their SIMD level when they start):
# FLYOVER_ARCH is not used here. The build folders are build/pkg-amd64,
# build/pkg-arm64 and the Windows check's build/win64 and build/win32.
#
# Packages: scripts/deps.sh build package (and arm, windows, web for those).
set -euo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
max_arguments=5
parse_options "$@"
all=(amd64 arm64 win64 win32 web)
[ ${#arguments[@]} -gt 0 ] || arguments=("${all[@]}")
declare -A wanted=()
for artifact in "${arguments[@]}"; do
  [[ " ${all[*]} " == *" $artifact "* ]] || die "unknown artifact '$artifact' (${all[*]})"
  wanted[$artifact]=1
done

groups=(build package)
[ -z "${wanted[arm64]:-}" ] || groups+=(arm)
[ -z "${wanted[win64]:-}${wanted[win32]:-}" ] || groups+=(windows)
[ -z "${wanted[web]:-}" ] || groups+=(web)
bash "$root/scripts/deps.sh" "${groups[@]}"

dist=$root/build/dist
mkdir -p "$dist"
made=()
# publish FILE [NAME]: copies FILE into build/dist as NAME (default: its own
# name), through a temporary file beside the target.
publish() {
  local name=${2:-$(basename "$1")}
  [ -f "$1" ] || die "$1 was not made"
  cp "$1" "$dist/.$name.part" && mv "$dist/.$name.part" "$dist/$name" || die "cannot write $dist/$name"
  made+=("$name")
}

# cpack_in FOLDER FILE: CPack's package in FOLDER, which must be FILE.
cpack_in() {
  (cd "$1" && cpack > cpack.log 2>&1) || die "cpack failed in $1 (see $1/cpack.log)"
  publish "$1/$2"
}

# The native build comes first in any case: the Windows builds take their
# maps from its mkmaps, and the version from its CPack configuration.
native=$root/build/pkg-amd64
cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DFLYOVER_ARCH= \
  -DCMAKE_INSTALL_BINDIR=games > /dev/null || die "configuring $native failed"
build "$native"
version=$(cpack_version "$native")
[ -z "${wanted[amd64]:-}" ] || cpack_in "$native" "flyover_${version}_amd64.deb"

if [ -n "${wanted[arm64]:-}" ]; then
  arm=$root/build/pkg-arm64
  cmake -S "$root" -B "$arm" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-aarch64-linux-gnu.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DFLYOVER_ARCH= -DCMAKE_INSTALL_BINDIR=games > /dev/null \
    || die "configuring $arm failed"
  build "$arm"
  cpack_in "$arm" "flyover_${version}_arm64.deb"
fi

for bits in 64 32; do
  [ -n "${wanted[win$bits]:-}" ] || continue
  win=$root/build/win$bits
  configure_windows $bits "$win" "$native/tools/mkmaps"
  build "$win"
  cpack_in "$win" "flyover-$version-win$bits.zip"
done

if [ -n "${wanted[web]:-}" ]; then
  bash "$root/scripts/web.sh" --jobs "$jobs" --build-only > /dev/null || die "the web build failed"
  publish "$root/build/web/flyover.html" "flyover-$version.html"
fi

echo "In $dist:"
for name in "${made[@]}"; do
  printf '  %-32s %9d bytes\n' "$name" "$(stat -c %s "$dist/$name")"
done
