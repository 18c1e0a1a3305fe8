#!/usr/bin/env bash
# The WebAssembly build's console tools under node against the native ones:
# mkmaps must write the same bytes, generated and from pictures (a height
# picture alone, and with a colour picture), and framehash must print the
# same frames, combined hash, converted rows of every layout and pictures.
#
#   node_check.sh WASM_BUILD NATIVE_BUILD
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 WASM_BUILD NATIVE_BUILD" >&2; exit 2; }
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wasm=$(cd "$1" && pwd) native=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/node" "$work/native"

node "$here/pictures.js" "$work"
same_maps() {
  rm -f "$work"/node/*.raw "$work"/native/*.raw
  (cd "$work/node" && node "$wasm/tools/mkmaps.js" "$@" > /dev/null 2>&1)
  (cd "$work/native" && "$native/tools/mkmaps" "$@" > /dev/null 2>&1)
  for map in texture.raw map.raw; do
    cmp "$work/native/$map" "$work/node/$map" || { echo "node_check: mkmaps $* under node wrote another $map" >&2; exit 1; }
  done
}
same_maps
same_maps --height "$work/hills.png"
same_maps --height "$work/hills.png" --colour "$work/hills-colour.png"
echo "node_check: mkmaps under node writes the native maps byte for byte, generated and from pictures"

bash "$here/../cross/compare_framehash.sh" "$work/native" 300 "$native/tools/framehash" -- node "$wasm/tools/framehash.js"
