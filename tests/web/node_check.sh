#!/usr/bin/env bash
# The WebAssembly build's console tools under node against the native ones:
# mkmaps must write the same bytes, generated and from pictures, and
# framehash must print the same frames, combined hash, converted rows of
# every layout and pictures.
#
#   node_check.sh WASM_BUILD NATIVE_BUILD
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 WASM_BUILD NATIVE_BUILD" >&2; exit 2; }
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wasm=$(cd "$1" && pwd) native=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/node" "$work/native"

# mkmaps ARGUMENTS... in both folders, under node and natively, then the
# two pairs of maps compared byte for byte.
same_maps() {
  (cd "$work/node" && node "$wasm/tools/mkmaps.js" --force "$@" > /dev/null)
  (cd "$work/native" && "$native/tools/mkmaps" --force "$@" > /dev/null)
  for map in texture.raw map.raw; do
    cmp "$work/native/$map" "$work/node/$map" || { echo "node_check: mkmaps $* under node wrote another $map" >&2; exit 1; }
  done
}
same_maps
# Pictures drawn by the tests: a 16-bit PNG shrunk through the resampler's
# floating point and coloured as the landscape is, and a JPEG, not of the
# maps' size, for both the heights and the colours.
"$native/tests/drawpicture" "$work/terrain.png" 1024
"$native/tests/drawpicture" "$work/terrain.jpg" 640
same_maps --height ../terrain.png
same_maps --height ../terrain.jpg --colour ../terrain.jpg
echo "node_check: mkmaps under node writes the native maps byte for byte, generated and from pictures"

bash "$here/../cross/compare_framehash.sh" "$work/native" 300 "$native/tools/framehash" -- node "$wasm/tools/framehash.js"
