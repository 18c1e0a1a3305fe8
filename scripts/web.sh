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
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
build_only=0 port='' check='' bench=''
flag_options=([--build-only]=build_only)
number_options=([--port]=port)
path_options=([--check]=check [--bench]=bench)
parse_options "$@"
[[ -z $port || (${#port} -le 5 && $port -le 65535) ]] || die "--port $port is not a port number (1-65535)"
case $build_only${check:+c}${bench:+b} in
  0) mode=serve ;;
  1) mode=build ;;
  0c) mode=check native=$check ;;
  0b) mode=bench native=$bench ;;
  *) die "--build-only, --check and --bench go one at a time" ;;
esac

bash "$root/scripts/deps.sh" web
build=$root/build/wasm page=$root/build/web
# The picture decoders are built from Debian's sources, as for Windows.
sources=$(picture_sources)
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-emscripten.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DFLYOVER_PAGE_DIR="$page" -DFLYOVER_PICTURE_SOURCES="$sources" \
  > /dev/null
build "$build"

case "$mode" in
  build)
    echo "The page is in $page" ;;
  check|bench)
    if [ "$mode" = check ]; then
      build "$native" --target framehash mkmaps drawpicture expected_frames
      bash "$root/tests/web/node_check.sh" "$build" "$native"
      node "$root/tests/web/browser_check.js" --page "$page" --expected "$native/tests/expected_frames" \
        --mkmaps "$native/tools/mkmaps" --drawpicture "$native/tests/drawpicture"
    else
      build "$native" --target frametime mkmaps
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
      [ -n "$port" ] || die "no free port from 8000 to 8099; give one with --port"
    fi
    echo "The flyover is served at http://127.0.0.1:$port/ (Ctrl-C stops it)"
    exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$page" ;;
esac
