#!/usr/bin/env bash
# Time per frame of rendering plus converting, another build (for example
# the WebAssembly one under node) against the native one, measured in the
# same run on the same default maps; prints each figure and the ratio.
#
#   frametime.sh NATIVE_BUILD [FRAMES] -- COMMAND...
#
# COMMAND runs in a folder of its own that holds the maps, so give its
# files with absolute paths.
set -euo pipefail
usage() { echo "usage: $0 NATIVE_BUILD [FRAMES] -- COMMAND..." >&2; exit 2; }
[ $# -ge 3 ] || usage
native=$(cd "$1" && pwd)
shift
frames=300
if [ "$1" != -- ]; then frames=$1; shift; fi
[ "${1:-}" = -- ] || usage
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && "$native/tools/mkmaps" > /dev/null)
(cd "$work" && "$native/bench/frametime" "$frames") > "$work/native.txt"
(cd "$work" && "$@" "$frames") > "$work/other.txt"

echo "frame time (ns per frame, best of several runs; ratio = other / native): $*"
printf '%-16s %10s %10s %7s\n' "" native other ratio
sed 's/^frame //' "$work/native.txt" > "$work/native"
sed 's/^frame //' "$work/other.txt" |
  awk 'NR == FNR { native[$1] = $2; next }
       ($1 in native) { printf "%-16s %10.0f %10.0f %6.2fx\n", $1, native[$1], $2, $2 / native[$1]
                        if ($1 != "render") { sum += $2 / native[$1]; n++ } }
       END { if (!n) exit 1; printf "%-16s %29.2fx (target: at most 1.5, no format above 1.8)\n", "mean of formats", sum / n }' "$work/native" -
