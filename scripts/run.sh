#!/usr/bin/env bash
# Builds the flyover and starts it in the current folder, making the default
# maps there first when there are none.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

bash "$root/scripts/deps.sh" build
cmake -S "$root" -B "$root/build/release" -DCMAKE_BUILD_TYPE=Release -DFLYOVER_ARCH=native -DBUILD_TESTING=OFF > /dev/null
cmake --build "$root/build/release" --target flyover mkmaps -j"$(nproc)"

if [ ! -e texture.raw ] && [ ! -e map.raw ]; then
  "$root/build/release/tools/mkmaps"
fi
exec "$root/build/release/src/flyover"
