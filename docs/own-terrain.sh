#!/usr/bin/env bash
# Makes docs/own-terrain.png, the README's frame of a flight over maps made
# from a picture: the tests' drawn terrain (a crater among ridges, a 16-bit
# grey PNG 1024 pixels square) through mkmaps --height, coloured as the
# landscape is, then the last of FRAMES frames from the capture driver.
#
#   bash docs/own-terrain.sh [BUILD [FRAMES]]   BUILD: a native build with the
#                                              tests (default build/test)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build/test}" && pwd)
frames=${2:-55}
cmake --build "$build" -j2 --target flyover mkmaps drawpicture > /dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$build/tests/drawpicture" terrain.png 1024
"$build/tools/mkmaps" --height terrain.png > /dev/null
FLYOVER_DRIVER=capture FLYOVER_FRAMES=$frames FLYOVER_CAPTURE=own-terrain.png "$build/src/flyover"
mv own-terrain.png "$root/docs/own-terrain.png"
echo "docs/own-terrain.png: frame $frames, $(stat -c %s "$root/docs/own-terrain.png") bytes"
