# shellcheck shell=bash
# What the build scripts share: the source tree, errors, options and the
# configure-once builds. Sourced, not run: . "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
#
# Each script documents itself in the comment block at its top, which
# --help prints, and names its own options before calling parse_options:
#   path_options[--OPTION]=VARIABLE   the option takes a path, kept absolute
#   flag_options[--OPTION]=VARIABLE   the option sets VARIABLE to 1
#   number_options[--OPTION]=VARIABLE the option takes a positive whole number
#   max_arguments=N                   up to N arguments that are not options,
#                                     left in the array arguments (default 0)
# --jobs N and --help are every script's.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
script=$(basename "$0")
jobs=$(nproc)
declare -A path_options=() flag_options=() number_options=()
max_arguments=0
arguments=()

die() {
  echo "$script: $*" >&2
  exit 1
}

# The comment block after the #! line, without its leading "# ".
usage() {
  sed -n '2,/^[^#]/{/^[^#]/d;s/^# \{0,1\}//;p}' "$0"
}

parse_options() {
  number_options[--jobs]="jobs"
  while [ $# -gt 0 ]; do
    case $1 in
      -h|--help) usage; exit 0 ;;
      *)
        if [ -n "${path_options[$1]:-}" ]; then
          [ -n "${2:-}" ] || die "$1 needs a path"
          printf -v "${path_options[$1]}" '%s' "$(realpath -m -- "$2")"
          shift
        elif [ -n "${number_options[$1]:-}" ]; then
          [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || die "$1 needs a positive whole number, not '${2:-}'"
          printf -v "${number_options[$1]}" '%s' "$2"
          shift
        elif [ -n "${flag_options[$1]:-}" ]; then
          printf -v "${flag_options[$1]}" 1
        elif [[ $1 == -* ]]; then
          die "unknown option '$1' (see --help)"
        elif [ ${#arguments[@]} -lt "$max_arguments" ]; then
          arguments+=("$1")
        else
          die "unexpected argument '$1' (see --help)"
        fi ;;
    esac
    shift
  done
}

# configure FOLDER [cmake arguments...]: a Release build, configured once;
# later runs reuse the folder as it is.
configure() {
  local dir=$1
  shift
  [ -f "$dir/CMakeCache.txt" ] || cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" > /dev/null \
    || die "configuring $dir failed"
}

# configure_portable FOLDER: the program as it is installed and run, without
# tests, for any processor of its kind unless FLYOVER_ARCH in the
# environment says otherwise (for example FLYOVER_ARCH=native). Configured
# every time, so that a value from an earlier run does not stay in the cache.
configure_portable() {
  cmake -S "$root" -B "$1" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DFLYOVER_ARCH="${FLYOVER_ARCH:-}" \
    > /dev/null || die "configuring $1 failed"
}

# picture_sources: the folder with Debian's sources of the picture libraries,
# fetched when missing, for the builds that compile them themselves.
picture_sources() {
  bash "$root/scripts/picture_sources.sh" || die "the sources of the picture libraries could not be fetched"
}

# configure_windows BITS FOLDER HOST_MKMAPS: the Windows build for BITS (64
# or 32) in FOLDER, the program as it is released, its default maps made by
# HOST_MKMAPS. Configured every time, as configure_portable is.
configure_windows() {
  local triple sources
  triple=$([ "$1" = 64 ] && echo x86_64 || echo i686)
  sources=$(picture_sources) || exit 1
  cmake -S "$root" -B "$2" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$triple.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DFLYOVER_HOST_MKMAPS="$3" \
    -DFLYOVER_PICTURE_SOURCES="$sources" > /dev/null || die "configuring $2 failed"
}

# build FOLDER [cmake --build arguments...]
build() {
  local dir=$1
  shift
  cmake --build "$dir" -j "$jobs" "$@" || die "building in $dir failed"
}

# native_tools FRAMEHASH FOLDER: sets native_framehash and native_mkmaps,
# this machine's programs that the cross builds' frames are compared with:
# FRAMEHASH and the mkmaps beside it when given, else both built in FOLDER.
native_tools() {
  native_framehash=$1
  if [ -z "$native_framehash" ]; then
    configure "$2" -DBUILD_TESTING=OFF
    build "$2" --target framehash mkmaps
    native_framehash=$2/tools/framehash
  fi
  native_mkmaps=$(dirname "$native_framehash")/mkmaps
  [ -x "$native_framehash" ] || die "$native_framehash: no native framehash there"
  [ -x "$native_mkmaps" ] || die "$native_mkmaps: no native mkmaps beside framehash"
}

# cpack_version FOLDER: the version CPack's configuration in FOLDER gives the
# packages (project() in CMakeLists.txt).
cpack_version() {
  local version
  version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$1/CPackConfig.cmake" 2> /dev/null)
  [ -n "$version" ] || die "no package version in $1/CPackConfig.cmake"
  echo "$version"
}
