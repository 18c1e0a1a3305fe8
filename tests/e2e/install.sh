#!/bin/bash
# The installed copy, as a user runs it:
#   install.sh CMAKE BUILD
# installs BUILD into a scratch prefix, then in an empty folder with only the
# prefix's bin on PATH: mkmaps && flyover (headless, a few frames), the
# tools' help, and framehash printing the same frames as the build's own.
# The prefix's name has a space and letters beyond ASCII, and the menu
# entry, started as a desktop starts it (gio launch), must fly the prefix's
# flyover over the prefix's maps.
set -u
cmake=$1 build=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
die() { echo "FAIL: $*" >&2; exit 1; }

prefix="$scratch/my prefix ß"
"$cmake" --install "$build" --prefix "$prefix" > "$scratch/install.txt" || die "cmake --install failed"
bin=$prefix/bin
for program in flyover mkmaps framehash; do
  [ -x "$bin/$program" ] || die "no $bin/$program after installing"
done

maps=$prefix/share/flyover
cmp -s "$maps/map.raw" "$build/packaging/maps/map.raw" || die "the maps were not installed"
entry=$prefix/share/applications/flyover.desktop
capture() { env FLYOVER_DRIVER=capture FLYOVER_FRAMES=3 FLYOVER_CAPTURE="$scratch/$1" "${@:2}"; }
(cd "$maps" && capture want.raw "$bin/flyover") || die "the installed flyover failed in $maps"
capture menu.raw gio launch "$entry" > "$scratch/launch.txt" 2>&1 || die "gio launch refused $entry: $(cat "$scratch/launch.txt")"
# The capture appears, renamed into place, once complete.
for _ in $(seq 300); do [ -e "$scratch/menu.raw" ] && break; sleep 0.1; done
cmp -s "$scratch/menu.raw" "$scratch/want.raw" \
  || die "the menu entry did not fly $bin/flyover over $maps: $(grep -E '^(Exec|Path)=' "$entry")"

mkdir "$scratch/fly" && cd "$scratch/fly" || exit 2
export PATH=$bin:/usr/bin:/bin
FLYOVER_DRIVER=capture FLYOVER_FRAMES=3 FLYOVER_CAPTURE=last.png timeout 60 sh -c 'mkmaps && flyover' \
  > out.txt 2>&1 || die "mkmaps && flyover failed: $(cat out.txt)"
[ -s texture.raw ] && [ -s map.raw ] && [ -s last.png ] || die "mkmaps && flyover left no maps or no picture"

for tool in mkmaps framehash; do
  "$tool" --help > help.txt || die "$tool --help failed"
  head -n 1 help.txt | grep -q "^usage: $tool" || die "$tool --help prints no usage line"
  [ "$(wc -l < help.txt)" -gt 2 ] || die "$tool --help does not say what it does"
done

framehash 2 | grep -v '^x87' > installed.txt || die "the installed framehash failed"
"$build/tools/framehash" 2 | grep -v '^x87' > built.txt || exit 2
cmp -s installed.txt built.txt || die "the installed framehash prints other frames than the build's"
