#!/bin/sh
# A FLYOVER_SIMD_MAX that names no level must stop PROGRAM at start with
# exit code 1 and exactly one line on standard error, naming the value,
# before the display opens. The maps are there (all zero), so that the
# line is the only one.
#
#   simd_cap.sh [EMULATOR...] PROGRAM   (a cross build's program runs under its emulator)
scratch=$(mktemp -d) && cd "$scratch" || exit 2
trap 'rm -rf "$scratch"' EXIT
head -c 750000 /dev/zero > texture.raw && head -c 250000 /dev/zero > map.raw || exit 2
err=$(FLYOVER_SIMD_MAX=avx9 FLYOVER_DRIVER=capture "$@" 2>&1 > /dev/null)
code=$?
printf '%s\n' "$err"
[ "$code" -eq 1 ] || { echo "simd_cap: exit code $code, not 1" >&2; exit 1; }
[ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] || { echo "simd_cap: not exactly one line" >&2; exit 1; }
case $err in *"flyover: FLYOVER_SIMD_MAX=avx9 is not a SIMD level"*) ;; *) echo "simd_cap: the line does not name the value" >&2; exit 1 ;; esac
