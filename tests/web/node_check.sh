#!/usr/bin/env bash
# The WebAssembly build's console tools under node against the native ones:
# mkmaps must write the same bytes, and framehash must print the same
# frames, combined hash, converted rows of every layout and pictures.
#
#   node_check.sh WASM_BUILD NATIVE_BUILD
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 WASM_BUILD NATIVE_BUILD" >&2; exit 2; }
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wasm=$(cd "$1" && pwd) native=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/node" "$work/native"

(cd "$work/node" && node "$wasm/tools/mkmaps.js" > /dev/null)
(cd "$work/native" && "$native/tools/mkmaps" > /dev/null)
for map in texture.raw map.raw; do
  cmp "$work/native/$map" "$work/node/$map" || { echo "node_check: mkmaps under node wrote another $map" >&2; exit 1; }
done
echo "node_check: mkmaps under node writes the native maps byte for byte"

bash "$here/../cross/compare_framehash.sh" "$work/native" 300 "$native/tools/framehash" -- node "$wasm/tools/framehash.js"
