#!/usr/bin/env bash
# The benchmarks' figures. Each target is a ratio to a baseline measured in
# the same run, so the figures of one machine compare with each other; no
# figure fails the run.
#
#   bash scripts/bench.sh [--build DIR] [--jobs N] [--check] [NAME...]
#
# NAME picks benchmarks (default: all, in this order):
#   renderer   frames from the default maps, next to one clear of the canvas
#   convert    whole-frame conversion of every screen layout against a memcpy
#   display    whole frames through the capture driver, next to their parts
#   window     the sdl window's CPU and frame rate on 1920x1080 and 3840x2160
#              Xvfb displays, with SDL's default and software renderers
#   web        rendering plus converting under node against the native build
#   neon       the NEON converters against a copy loop in llvm-mca's model
#              (there is no ARM hardware here)
#
# The native benchmarks are built in build/bench, for any processor of its
# kind as the program is installed, unless FLYOVER_ARCH in the environment
# says otherwise (for example FLYOVER_ARCH=native); --build DIR uses another
# build folder with the tests on (for example build/test) as it is configured.
#
# --check only shows that each benchmark still builds and runs, in seconds
# and without figures, as the test command does: the Google benchmarks for
# an instant, the window's script as far as its options, the frame time
# script for two frames (under node when the web build is there, natively
# otherwise), the NEON model compiled without llvm-mca's analysis.
set -euo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# One function per benchmark, named after it; a new benchmark is a function
# here and its name in this list (and in the comment above).
benchmarks=(renderer convert display window web neon)

# The native build folder, configured at the first benchmark that needs it.
native='' configured=0
native_build() {
  if [ $configured = 0 ]; then
    bash "$root/scripts/deps.sh" build test
    if [ -z "$native" ]; then
      native=$root/build/bench
      cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=Release -DFLYOVER_ARCH="${FLYOVER_ARCH:-}" > /dev/null \
        || die "configuring $native failed"
    else
      configure "$native"
    fi
    configured=1
  fi
  build "$native" --target "$@"
}
# google_benchmark NAME [OPTION...]: the options after the defaults, which
# they may override.
google_benchmark() {
  native_build "$1" mkmaps
  if [ $check = 1 ]; then
    (cd "$native" && "$native/bench/$1" --benchmark_min_time=0.0001 > /dev/null) || die "$1 failed"
    return
  fi
  (cd "$native" && "$native/bench/$1" --benchmark_min_time=0.2 --benchmark_color=false "${@:2}") || die "$1 failed"
}
bench_renderer() { google_benchmark bench_renderer --benchmark_min_time=0.005; }
# A frame converts in a few microseconds: the best of many 2 ms repetitions
# finds a quiet moment of a loaded machine, which few long ones do not.
bench_convert() { google_benchmark bench_convert --benchmark_min_time=0.002; }
bench_display() { google_benchmark bench_display; }
bench_window() {
  native_build flyover mkmaps
  # Debian's python3-xlib is for the system's Python, whatever else is on PATH.
  local script=("/usr/bin/python3" "$root/bench/window_cpu.py")
  if [ $check = 1 ]; then
    "${script[@]}" --help > /dev/null || die "the window benchmark does not start"
    return
  fi
  "${script[@]}" "$native/src/flyover" "$native/tools/mkmaps" || die "the window benchmark failed"
}
bench_web() {
  native_build frametime mkmaps
  if [ $check = 1 ]; then
    local other=("$native/bench/frametime") page=$root/build/wasm/web/frametime.js
    [ ! -f "$page" ] || other=(node "$page")
    bash "$root/bench/frametime.sh" "$native" 2 -- "${other[@]}" > /dev/null || die "the web frame time failed"
    return
  fi
  bash "$root/scripts/web.sh" --jobs "$jobs" --bench "$native" || die "the web frame time failed"
}
bench_neon() {
  bash "$root/scripts/deps.sh" neon
  local options=()
  [ $check = 0 ] || options=(--compile-only)
  python3 "$root/bench/neon_cost.py" "${options[@]}" || die "the NEON model failed"
}

check=0
flag_options=([--check]=check)
path_options=([--build]=native)
max_arguments=1000
parse_options "$@"
chosen=("${arguments[@]}")
[ ${#chosen[@]} -gt 0 ] || chosen=("${benchmarks[@]}")
for name in "${chosen[@]}"; do
  [[ " ${benchmarks[*]} " == *" $name "* ]] || die "no benchmark '$name' (${benchmarks[*]})"
done

for name in "${chosen[@]}"; do
  echo "== $name"
  "bench_$name"
done
