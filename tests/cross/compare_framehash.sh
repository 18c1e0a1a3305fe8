#!/usr/bin/env bash
# Compares another build's framehash with this machine's, line for line:
# the frames, the combined hash, every converted layout, the renderer's
# self-check and every picture. Lines about the x87 unit, and the fade in
# long double that only an x87 build evaluates, describe the build and are
# left out.
#
#   compare_framehash.sh MAPS_DIR FRAMES REFERENCE -- COMMAND...
#
# REFERENCE is the native framehash; COMMAND runs the other build's (for
# example under an emulator). Both run in MAPS_DIR, which holds the maps.
set -euo pipefail
[ $# -ge 5 ] && [ "$4" = -- ] || { echo "usage: $0 MAPS_DIR FRAMES REFERENCE -- COMMAND..." >&2; exit 2; }
maps=$1 frames=$2 reference=$(realpath "$3")
shift 4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# run NAME PROGRAM...: both outputs of one program, the compared lines kept.
run() {
  local name=$1
  shift
  (cd "$maps" && "$@" "$frames" && "$@" --pictures) > "$work/$name.raw" || {
    echo "compare_framehash: $name failed: $*" >&2
    exit 1
  }
  grep -E '^(frame|combined|converted|renderer:|picture) ' "$work/$name.raw" > "$work/$name" || true
}
run reference "$reference"
run candidate "$@"

lines=$(wc -l < "$work/reference")
if [ "$lines" -lt "$frames" ] || ! diff -u "$work/reference" "$work/candidate"; then
  echo "compare_framehash: $* differs from the native framehash (above)" >&2
  exit 1
fi
echo "compare_framehash: $lines lines identical: $*"
