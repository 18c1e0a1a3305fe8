#!/bin/bash
# The installed copy, as a user runs it:
#   install.sh CMAKE BUILD
# installs BUILD into a scratch prefix, then in an empty folder with only the
# prefix's bin on PATH: mkmaps && flyover (headless, a few frames), the
# tools' help, and framehash printing the same frames as the build's own;
# the menu entry must start the prefix's flyover in the prefix's maps.
set -u
cmake=$1 build=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
die() { echo "FAIL: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$scratch/prefix" > "$scratch/install.txt" || die "cmake --install failed"
bin=$scratch/prefix/bin
for program in flyover mkmaps framehash; do
  [ -x "$bin/$program" ] || die "no $bin/$program after installing"
done

entry=$scratch/prefix/share/applications/flyover.desktop
grep -qx "Exec=$bin/flyover" "$entry" && grep -qx "Path=$scratch/prefix/share/flyover" "$entry" \
  || die "$entry does not start $bin/flyover in the installed maps: $(cat "$entry")"
cmp -s "$scratch/prefix/share/flyover/map.raw" "$build/packaging/maps/map.raw" || die "the maps were not installed"

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
