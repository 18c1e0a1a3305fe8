#!/usr/bin/env bash
# The Windows build, checked under Wine.
#
#   bash scripts/windows.sh [options]
#
# Cross-builds flyover.exe, mkmaps.exe and framehash.exe for 32- and 64-bit
# Windows with the mingw-w64 compilers, checks that they need no DLL beyond
# the system's, packs each build's release zip (the programs, the default
# maps and README.txt, as scripts/package.sh publishes it), and checks the
# 64-bit zip under Wine, unpacked into an empty folder named beyond ASCII:
# its mkmaps must write the Linux build's maps into a folder named so, its
# framehash must print the same frame hashes as the Linux build's, and its
# flyover.exe, started in that folder, must show the right picture and end
# with exit code 0 on Escape and on Alt+F4 (tests/wine/wine_check.py).
#
# Options:
#   --win32                also check the 32-bit zip under Wine. This needs
#                          Debian's wine32 for the i386 architecture, which
#                          this option installs when missing (scripts/deps.sh
#                          wine32): it adds the architecture and upgrades many
#                          system packages, so it is not part of the default run.
#   --build-win32 DIR      build folders (defaults build/win32, build/win64
#   --build-win64 DIR      and, for the Linux framehash, build/release, the
#   --build-linux DIR      one scripts/run.sh builds)
#   --linux-framehash PATH use this Linux framehash (and the mkmaps beside it)
#                          instead of building them
#   --keep DIR             keep the last screenshot and logs there on failure
#   --jobs N               parallel build jobs (default: the processor count)
#
# Packages: scripts/deps.sh build windows (and wine32 with --win32).
set -euo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

build32=$root/build/win32
build64=$root/build/win64
buildlinux=$root/build/release
linux_framehash=
win32=0
keep=
path_options=([--build-win32]=build32 [--build-win64]=build64 [--build-linux]=buildlinux
              [--linux-framehash]=linux_framehash [--keep]=keep)
flag_options=([--win32]=win32)
parse_options "$@"

if [ $win32 = 1 ]; then
  bash "$root/scripts/deps.sh" build windows wine32
else
  bash "$root/scripts/deps.sh" build windows
fi

# The maps, in the zips and for the Linux framehash, come from the map
# generator of the same Linux build.
native_tools "$linux_framehash" "$buildlinux"
for bits in 64 32; do
  folder=build$bits
  configure_windows $bits "${!folder}" "$native_mkmaps"
  build "${!folder}"
  (cd "${!folder}" && cpack > cpack.log 2>&1) || die "cpack failed in ${!folder} (see ${!folder}/cpack.log)"
done
version=$(cpack_version "$build64")
zip64=$build64/flyover-$version-win64.zip
zip32=$build32/flyover-$version-win32.zip

# --- What the .exe files need --------------------------------------------------

# check_exe FILE ARCH SUBSYSTEM: the image's format, whether it is a GUI or a
# console program, and that it imports only system DLLs. ddraw.dll in
# particular must not be among them: the display loads it at run time.
check_exe() {
  local exe=$1 format=$2 subsystem=$3 info dlls bad
  [ -f "$exe" ] || die "$exe was not built"
  info=$(x86_64-w64-mingw32-objdump -p "$exe") || die "$exe: objdump failed"
  grep -q "file format $format\$" <<<"$info" || die "$exe: not a $format image"
  grep -q "^Subsystem.*($subsystem)" <<<"$info" || die "$exe: not a $subsystem program"
  dlls=$(sed -n 's/^\s*DLL Name: //p' <<<"$info")
  bad=$(grep -viE '^(kernel32|user32|msvcrt|ucrtbase|api-ms-win-.*)\.dll$' <<<"$dlls" || true)
  [ -z "$bad" ] || die "$exe imports DLLs that Windows does not provide: $(echo $bad)"
  echo "windows.sh: $exe: $format, $subsystem, imports $(echo $dlls)"
}

check_exe "$build64/src/flyover.exe" pei-x86-64 "Windows GUI"
check_exe "$build64/tools/framehash.exe" pei-x86-64 "Windows CUI"
check_exe "$build64/tools/mkmaps.exe" pei-x86-64 "Windows CUI"
check_exe "$build32/src/flyover.exe" pei-i386 "Windows GUI"
check_exe "$build32/tools/framehash.exe" pei-i386 "Windows CUI"
check_exe "$build32/tools/mkmaps.exe" pei-i386 "Windows CUI"

# --- Under Wine ----------------------------------------------------------------

python=python3
[ -x /usr/bin/python3 ] && python=/usr/bin/python3

args=(--linux-framehash "$native_framehash" --mkmaps "$native_mkmaps" --zip "$zip64")
[ $win32 = 0 ] || args+=(--zip "$zip32")
[ -z "$keep" ] || args+=(--keep "$keep")

# The checker bounds its own run; this outer limit catches anything else.
if timeout -k 30 1200 "$python" "$root/tests/wine/wine_check.py" "${args[@]}"; then
  echo "windows.sh: all Windows checks passed"
else
  die "the Wine checks failed (see above)"
fi
