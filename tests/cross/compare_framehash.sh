#!/usr/bin/env bash
# Compares another build's framehash with this machine's, line for line:
# the frames, the combined hash, every converted layout, the renderer's
# self-check and every picture. Lines about the x87 unit describe the build
# and are left out.
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

# run NAME PROGRAM...: both outputs of one program, x87 lines dropped.
run() {
  local name=$1
  shift
  (cd "$maps" && "$@" "$frames" && "$@" --pictures) > "$work/$name.raw" || {
    echo "compare_framehash: $name failed: $*" >&2
    exit 1
  }
  grep -v '^x87 ' "$work/$name.raw" > "$work/$name" || true
}
run reference "$reference"
run candidate "$@"
# A build whose long double is not the x87 type (WebAssembly, ARM) has no
# extended-precision evaluations to report; the reference's are left out.
if grep -q '^x87 none' "$work/candidate.raw"; then
  grep -v '^fade in long double ' "$work/reference" > "$work/reference.kept" || true
  mv "$work/reference.kept" "$work/reference"
fi

lines=$(wc -l < "$work/reference")
if [ "$lines" -lt "$frames" ] || ! diff -u "$work/reference" "$work/candidate"; then
  echo "compare_framehash: $* differs from the native framehash (above)" >&2
  exit 1
fi
echo "compare_framehash: $lines lines identical: $*"
