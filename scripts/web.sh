#!/usr/bin/env bash
# The flyover as a web page: builds it with Emscripten into build/web (an
# index.html with the .js and .wasm files beside it, for any static web
# server) and serves it on 127.0.0.1 until Ctrl-C. The same build makes the
# console tools for node (build/wasm/tools, build/wasm/web/frametime.js).
#
#   bash scripts/web.sh [--port N]         build, then serve (default: the first free port from 8000)
#   bash scripts/web.sh --build-only       build and stop
#   bash scripts/web.sh --check NATIVE     build, then check the node tools against NATIVE's and
#                                          the page in headless chromium against NATIVE's frames
#   bash scripts/web.sh --bench NATIVE     build, then time frames against NATIVE's frametime
#
# NATIVE is a native build folder with the tests and benchmarks configured
# (for example build/test); the tools needed from it are built when missing.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
usage() { sed -n '2,14s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; }

mode=serve port= native= jobs=$(nproc)
while [ $# -gt 0 ]; do
  case "$1" in
    --build-only) mode=build ;;
    --port) port=${2:?--port needs a number}; shift ;;
    --check|--bench) mode=${1#--}; native=${2:?$1 needs a native build folder}; shift ;;
    --jobs) jobs=${2:?--jobs needs a number}; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "web.sh: unknown argument '$1'" >&2; usage >&2; exit 2 ;;
  esac
  shift
done
if [ -n "$port" ] && ! [[ "$port" =~ ^[0-9]+$ && "$port" -ge 1 && "$port" -le 65535 ]]; then
  echo "web.sh: --port $port is not a port number (1-65535)" >&2
  exit 2
fi

bash "$root/scripts/deps.sh" web
build=$root/build/wasm page=$root/build/web
# The picture decoders are built from Debian's sources, as for Windows.
sources=$(bash "$root/scripts/picture_sources.sh")
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-emscripten.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DFLYOVER_PAGE_DIR="$page" -DFLYOVER_PICTURE_SOURCES="$sources" \
  > /dev/null
cmake --build "$build" -j"$jobs"

case "$mode" in
  build)
    echo "The page is in $page" ;;
  check|bench)
    native=$(cd "$native" && pwd)
    if [ "$mode" = check ]; then
      cmake --build "$native" -j"$jobs" --target framehash mkmaps drawpicture expected_frames
      bash "$root/tests/web/node_check.sh" "$build" "$native"
      node "$root/tests/web/browser_check.js" --page "$page" --expected "$native/tests/expected_frames" \
        --mkmaps "$native/tools/mkmaps" --drawpicture "$native/tests/drawpicture"
    else
      cmake --build "$native" -j"$jobs" --target frametime mkmaps
      bash "$root/bench/frametime.sh" "$native" -- node "$build/web/frametime.js"
    fi ;;
  serve)
    if [ -z "$port" ]; then
      port=$(python3 - <<'EOF'
import socket
for port in range(8000, 8100):
    with socket.socket() as s:
        try:
            s.bind(("127.0.0.1", port))
        except OSError:
            continue
        print(port)
        break
EOF
      )
      [ -n "$port" ] || { echo "web.sh: no free port from 8000 to 8099; give one with --port" >&2; exit 1; }
    fi
    echo "The flyover is served at http://127.0.0.1:$port/ (Ctrl-C stops it)"
    exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$page" ;;
esac
