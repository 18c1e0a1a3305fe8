#!/usr/bin/env bash
# The 64-bit ARM Linux build (and 32-bit ARM framehash), checked under
# qemu-user.
#
#   bash scripts/arm.sh [options]
#
# Cross-builds the whole program for aarch64 against Debian's arm64 packages
# (cmake/toolchain-aarch64-linux-gnu.cmake) and runs, under qemu-aarch64,
# its unit tests and its end-to-end capture checks (every screen format, and
# the failure harness: unwritable paths, signals, streams, a full disk).
# Builds the capture-only stand-in (FLYOVER_SDL=OFF) for aarch64 too and
# checks that its frames are the full build's. Then framehash of the aarch64
# build and of an armhf build must print the same frames, combined hash,
# converted rows of every layout and pictures as the native x86-64 build's
# (tests/cross/compare_framehash.sh).
#
# Options:
#   --build-aarch64 DIR    build folders (defaults build/aarch64,
#   --build-capture DIR    build/aarch64-capture, build/armhf and, for the
#   --build-armhf DIR      native framehash, build/release, the one
#   --build-native DIR     scripts/run.sh builds)
#   --native-framehash PATH  use this native framehash (and the mkmaps beside
#                          it) instead of building them
#   --sanitize DIR         also build the converter tests for aarch64 with
#                          AddressSanitizer and UndefinedBehaviorSanitizer in
#                          DIR and run them under qemu (about two minutes):
#                          the NEON rows are the one processor-specific code
#   --jobs N               parallel build jobs (default: the processor count)
#
# Packages: scripts/deps.sh build arm (enables the arm64 architecture) and
# scripts/picture_sources.sh.
set -euo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

aarch64=$root/build/aarch64
capture=$root/build/aarch64-capture
armhf=$root/build/armhf
native=$root/build/release
native_framehash=
sanitize=
path_options=([--build-aarch64]=aarch64 [--build-capture]=capture [--build-armhf]=armhf [--build-native]=native
              [--native-framehash]=native_framehash [--sanitize]=sanitize)
parse_options "$@"

bash "$root/scripts/deps.sh" build arm

qemu64=(qemu-aarch64 -L /usr/aarch64-linux-gnu)
qemu32=(qemu-arm -L /usr/arm-linux-gnueabihf)

echo "== aarch64: the whole program, unit and end-to-end tests under qemu-aarch64"
configure "$aarch64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-aarch64-linux-gnu.cmake"
build "$aarch64"
(cd "$aarch64" && ctest --output-on-failure --timeout 300 -j "$jobs" -L '^(unit|e2e)$') \
  || die "the aarch64 tests failed under qemu"

if [ -n "$sanitize" ]; then
  echo "== aarch64 converter tests under AddressSanitizer and UndefinedBehaviorSanitizer"
  configure "$sanitize" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-aarch64-linux-gnu.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLYOVER_SANITIZE=ON -DFLYOVER_SDL=OFF
  build "$sanitize" --target test_convert
  (cd "$sanitize" && ctest --output-on-failure --timeout 600 -j "$jobs" -R '^(Convert|Layouts/ConvertEveryLayout)\.') \
    || die "the aarch64 converter tests failed under the sanitizers"
fi

echo "== aarch64 without SDL2: the capture driver alone"
configure "$capture" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-aarch64-linux-gnu.cmake" \
  -DFLYOVER_SDL=OFF -DBUILD_TESTING=OFF
build "$capture" --target flyover mkmaps

echo "== armhf: framehash"
# Built against no library of the target's: the picture libraries come from
# Debian's sources, compiled here.
sources=$(picture_sources) || exit 1
configure "$armhf" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-arm-linux-gnueabihf.cmake" \
  -DFLYOVER_SDL=OFF -DBUILD_TESTING=OFF -DFLYOVER_PICTURE_SOURCES="$sources" -DFLYOVER_CAPTURE_SOURCES=ON
build "$armhf" --target framehash

native_tools "$native_framehash" "$native"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$native_mkmaps" "$scratch" > /dev/null || die "$native_mkmaps failed"

# The stand-in without SDL2 needs no SDL2 library, starts on the capture
# driver, names the one driver it has when asked for another, and shows the
# same frames as the full build's capture driver.
if readelf -d "$capture/src/flyover" | grep -q 'NEEDED.*SDL'; then
  die "$capture/src/flyover needs SDL2 although it was built without it"
fi
(
  cd "$scratch"
  FLYOVER_FORMAT=rgb565 FLYOVER_FRAMES=6 FLYOVER_CAPTURE=bare.raw timeout 60 "${qemu64[@]}" "$capture/src/flyover" \
    || die "the capture-only flyover failed"
  FLYOVER_DRIVER=capture FLYOVER_FORMAT=rgb565 FLYOVER_FRAMES=6 FLYOVER_CAPTURE=full.raw timeout 60 \
    "${qemu64[@]}" "$aarch64/src/flyover" || die "the full aarch64 flyover failed"
  cmp bare.raw full.raw || die "the capture-only flyover shows other frames than the full build"
  if FLYOVER_DRIVER=sdl timeout 60 "${qemu64[@]}" "$capture/src/flyover" 2> refused.txt; then
    die "the capture-only flyover accepted FLYOVER_DRIVER=sdl"
  fi
  grep -qF "FLYOVER_DRIVER=sdl is not a display driver (capture)" refused.txt \
    || die "the capture-only flyover did not say which driver it has: $(cat refused.txt)"
)
echo "arm.sh: the capture-only flyover runs, needs no SDL2 and shows the full build's frames"

echo "== framehash: aarch64 and armhf against the native build"
compare=$root/tests/cross/compare_framehash.sh
bash "$compare" "$scratch" 120 "$native_framehash" -- "${qemu64[@]}" "$aarch64/tools/framehash" \
  || die "the aarch64 framehash differs from the native one"
bash "$compare" "$scratch" 120 "$native_framehash" -- "${qemu32[@]}" "$armhf/tools/framehash" \
  || die "the armhf framehash differs from the native one"

echo "arm.sh: all ARM checks passed in ${SECONDS}s"
