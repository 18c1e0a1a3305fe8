#!/usr/bin/env bash
# Builds flyover, mkmaps and framehash in build/install, without the tests,
# and installs them into PREFIX (default ~/.local): the programs go to
# PREFIX/bin, which must be on PATH, the default maps to PREFIX/share/flyover,
# with a menu entry that starts the flyover there, its icon and man pages.
#
#   bash scripts/install.sh [--jobs N] [PREFIX]
#
# Needs only the packages of scripts/deps.sh build, which it installs when
# they are missing. The programs run on any processor of their kind;
# FLYOVER_ARCH in the environment (for example FLYOVER_ARCH=native) builds
# them for another instead.
set -euo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
max_arguments=1
parse_options "$@"
prefix=$(realpath -m -- "${arguments[0]:-$HOME/.local}")

bash "$root/scripts/deps.sh" build
configure_portable "$root/build/install"
build "$root/build/install"
cmake --install "$root/build/install" --prefix "$prefix" > /dev/null || die "installing into $prefix failed"
echo "Installed flyover, mkmaps and framehash in $prefix/bin, the default maps in $prefix/share/flyover"
case ":$PATH:" in
  *":$prefix/bin:"*) ;;
  *) echo "$prefix/bin is not on PATH: add it there to start them by name" ;;
esac
