#!/usr/bin/env bash
# Builds the flyover in build/release and starts it in the current folder,
# making the default maps there first when there are none.
#
#   bash scripts/run.sh
#
# It builds the same program as scripts/install.sh, one for any processor of
# its kind; FLYOVER_ARCH in the environment (for example FLYOVER_ARCH=native)
# builds for another instead.
set -euo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
parse_options "$@"

bash "$root/scripts/deps.sh" build
configure_portable "$root/build/release"
build "$root/build/release" --target flyover mkmaps

if [ ! -e texture.raw ] && [ ! -e map.raw ]; then
  "$root/build/release/tools/mkmaps"
fi
exec "$root/build/release/src/flyover"
