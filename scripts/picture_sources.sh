#!/usr/bin/env bash
# Fetches the sources of the picture libraries, zlib, libspng and
# libjpeg-turbo (mkmaps' decoders), libpng and libwebp (the capture
# driver's encoders), from Debian's own source packages, the versions this
# system's Debian ships, into build/debsrc (once), for the builds that
# cannot use the system's libraries: the Windows programs, the page, the
# fuzzers and the armhf framehash. The system's apt configuration is left
# alone: the package lists and downloads are private to that folder, and
# come from the system's own Debian sources, asked for as source packages.
#
#   bash scripts/picture_sources.sh    prints the folder the sources are in
#
# Packages: scripts/deps.sh sources (apt-get source checks the signatures
# with the Debian keyring and unpacks with dpkg-source).
set -euo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
parse_options "$@"

dir=$root/build/debsrc
# Each unpacks into a folder named after the package and its version.
packages=(zlib libspng libjpeg-turbo libpng1.6 libwebp)
found() {
  local package
  for package in "${packages[@]}"; do
    ls -d "$dir/$package"-*/ > /dev/null 2>&1 || return 1
  done
}
if ! found; then
  # What is said on the way goes to standard error: standard output is
  # the folder's name alone, for the callers to take.
  bash "$root/scripts/deps.sh" sources >&2
  for package in "${packages[@]}"; do rm -rf "$dir/$package"-*/; done
  mkdir -p "$dir/lists/partial" "$dir/cache/archives/partial" "$dir/parts"
  # The system's own sources, each turned into its source counterpart.
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: .*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$dir/parts/debian.sources"
  fi
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list > "$dir/parts/system.list"
  fi
  apt=(-o Dir::Etc::sourcelist=/dev/null -o Dir::Etc::sourceparts="$dir/parts"
       -o Dir::State::Lists="$dir/lists" -o Dir::Cache="$dir/cache")
  # As root, apt would hand the download to its own user, who may not
  # write here; the files are checked by their signatures all the same.
  [ "$(id -u)" -ne 0 ] || apt+=(-o APT::Sandbox::User=root)
  apt-get "${apt[@]}" update -qq >&2 || die "cannot read Debian's source lists"
  # The release's own versions: its security archive's indexes may name
  # files that its mirror does not hold.
  release=$(. /etc/os-release && echo "$VERSION_CODENAME")
  (cd "$dir" && apt-get "${apt[@]}" source -qq -t "$release" "${packages[@]}" > "$dir/source.log" 2>&1) \
    || die "apt-get source ${packages[*]} failed (see $dir/source.log)"
  found || die "the sources of ${packages[*]} are not in $dir"
fi
echo "$dir"
