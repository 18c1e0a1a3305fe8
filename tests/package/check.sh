#!/usr/bin/env bash
# The Debian packages of scripts/package.sh, checked as a person uses them.
#
#   bash tests/package/check.sh [--jobs N] --native DIR
#
# Makes the amd64 and arm64 packages; lintian must report no error and no
# warning on either, desktop-file-validate, appstreamcli and man --warnings
# must pass on their menu entry, metainfo and man pages. Then the amd64
# package is installed for real with apt-get: the installed flyover is
# started the way its menu entry starts it (Exec= in Path=), headless, and
# its frames must be the renderer's; `man flyover` must show its page; and
# apt-get purge must leave nothing of what dpkg -L listed. The arm64
# package's programs, unpacked, must make the same maps and fly the same
# frames under qemu-user.
#
# DIR is a native build folder with the tests configured (for example
# build/test): its expected_frames, built when missing, gives the frames.
# This needs root (apt-get), and replaces an installed flyover package.
#
# Packages: scripts/deps.sh build package arm.
set -euo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
native=
path_options=([--native]=native)
parse_options "$@"
[ -n "$native" ] || die "--native DIR is needed (see --help)"
[ "$(id -u)" = 0 ] || die "installing the package needs root"
frames=30

bash "$root/scripts/deps.sh" build package arm
build "$native" --target expected_frames
expected=$native/tests/expected_frames
bash "$root/scripts/package.sh" --jobs "$jobs" amd64 arm64
version=$(cpack_version "$root/build/pkg-amd64")
amd64=$root/build/dist/flyover_${version}_amd64.deb
arm64=$root/build/dist/flyover_${version}_arm64.deb

scratch=$(mktemp -d)
installed=0
cleanup() {
  [ $installed = 0 ] || apt-get purge -y -qq flyover > /dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT

echo "== lintian, desktop-file-validate, appstreamcli, man --warnings"
for deb in "$amd64" "$arm64"; do
  lintian --fail-on error,warning "$deb" > "$scratch/lintian.txt" 2>&1 && failed=0 || failed=1
  grep -v 'running with root privileges' "$scratch/lintian.txt" || true
  [ $failed = 0 ] || die "lintian: errors or warnings in $deb"
done
unpacked=$scratch/amd64
dpkg-deb -x "$amd64" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/flyover.desktop" || die "desktop-file-validate failed"
appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml > "$scratch/appstream.txt" \
  || die "appstreamcli validate failed: $(cat "$scratch/appstream.txt")"
for page in "$unpacked"/usr/share/man/man*/*; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 > /dev/null)
  [ -z "$warnings" ] || die "man --warnings on $(basename "$page"): $warnings"
done

echo "== The amd64 package installed with apt-get"
grep -rs '^path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg.d/ \
  && die "dpkg leaves out /usr/share/man on this machine (/etc/dpkg/dpkg.cfg.d): man pages cannot be checked"
installed=1
DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq "$amd64" > "$scratch/apt.txt" 2>&1 \
  || die "apt-get install $amd64 failed: $(tail -n 5 "$scratch/apt.txt")"
dpkg -L flyover > "$scratch/files.txt"

entry=/usr/share/applications/flyover.desktop
exec_line=$(sed -n 's/^Exec=//p' "$entry")
path=$(sed -n 's/^Path=//p' "$entry")
read -r -a command <<< "$exec_line"
[ -n "$path" ] && [ ${#command[@]} -gt 0 ] || die "$entry has no Exec= or no Path="
(cd "$path" && FLYOVER_DRIVER=capture FLYOVER_FRAMES=$frames FLYOVER_CAPTURE="$scratch/got.raw" timeout 60 \
  "${command[@]}") || die "'$exec_line' in $path failed"
"$expected" frames "$path" xrgb8888 $frames "$scratch/want.raw" || die "expected_frames failed"
cmp -s "$scratch/got.raw" "$scratch/want.raw" \
  || die "'$exec_line' in $path did not show the first $frames frames of the default maps"
echo "check.sh: '$exec_line' in $path flew the renderer's first $frames frames"

for page in flyover mkmaps framehash; do
  MANPAGER=cat MANWIDTH=80 man "$page" 2> /dev/null | grep -q "^NAME" || die "man $page shows no page"
done
MANPAGER=cat MANWIDTH=80 man flyover | grep -q FLYOVER_CAPTURE || die "man flyover does not name FLYOVER_CAPTURE"

DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 purge -y -qq flyover > "$scratch/apt.txt" 2>&1 \
  || die "apt-get purge flyover failed: $(tail -n 5 "$scratch/apt.txt")"
installed=0
# What stays may only be folders that other packages own too.
while read -r file; do
  if [ -L "$file" ] || [ -f "$file" ] || { [ -d "$file" ] && ! dpkg -S "$file" > /dev/null 2>&1; }; then
    die "apt-get purge left $file behind"
  fi
done < "$scratch/files.txt"
echo "check.sh: installed, flown from the menu entry's command, man pages shown, purged without a trace"

echo "== The arm64 package's programs under qemu-user"
qemu=(qemu-aarch64 -L /usr/aarch64-linux-gnu)
arm=$scratch/arm64
dpkg-deb -x "$arm64" "$arm"
mkdir "$scratch/maps"
"${qemu[@]}" "$arm/usr/games/mkmaps" "$scratch/maps" > /dev/null || die "the arm64 mkmaps failed"
for map in texture.raw map.raw; do
  cmp -s "$scratch/maps/$map" "$arm/usr/share/flyover/$map" || die "the arm64 mkmaps makes another $map"
  cmp -s "$arm/usr/share/flyover/$map" "$unpacked/usr/share/flyover/$map" || die "the two packages' $map differ"
done
(cd "$arm/usr/share/flyover" && FLYOVER_DRIVER=capture FLYOVER_FRAMES=$frames FLYOVER_CAPTURE="$scratch/arm.raw" \
  timeout 120 "${qemu[@]}" "$arm/usr/games/flyover") || die "the arm64 flyover failed under qemu"
cmp -s "$scratch/arm.raw" "$scratch/want.raw" || die "the arm64 flyover shows other frames than the renderer's"
echo "check.sh: all package checks passed in ${SECONDS}s"
