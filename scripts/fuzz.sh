#!/usr/bin/env bash
# Fuzzes what reads input that a person did not make: pictures through the
# decoders and the resampler (fuzz_picture), map files through the loader
# into frames that the fast and the literal renderer must draw alike
# (fuzz_maps), and the platform's variables (fuzz_settings). The harnesses
# are built with clang's libFuzzer and the address and undefined-behaviour
# sanitizers, the picture libraries compiled from Debian's sources with them,
# in build/fuzz.
#
#   bash scripts/fuzz.sh [SECONDS]   each harness first runs every input of
#                                    its corpus in tests/fuzz/corpus, then
#                                    looks for new ones for SECONDS (default
#                                    60), the three side by side
#
# Any crash, leak, undefined behaviour, input that takes more than 5 s or
# memory beyond 1 GB fails the run; the input that did it is kept in
# build/fuzz/findings, and the harness's log in build/fuzz/logs. New inputs
# that reach new code go to build/fuzz/work, never into the tree.
#
# Packages: scripts/deps.sh build fuzz.
set -euo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
max_arguments=1
parse_options "$@"
seconds=${arguments[0]:-60}
[[ $seconds =~ ^[1-9][0-9]*$ ]] || die "SECONDS must be a positive whole number, not '$seconds'"

bash "$root/scripts/deps.sh" build fuzz
sources=$(picture_sources) || exit 1
dir=$root/build/fuzz
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g"
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DBUILD_TESTING=OFF -DFLYOVER_SDL=OFF -DFLYOVER_FUZZ=ON \
  -DFLYOVER_PICTURE_SOURCES="$sources" > /dev/null || die "configuring $dir failed"
harnesses=(fuzz_picture fuzz_maps fuzz_settings)
build "$dir" --target "${harnesses[@]}"

mkdir -p "$dir/findings" "$dir/logs"
pids=()
for harness in "${harnesses[@]}"; do
  corpus=$root/tests/fuzz/corpus/${harness#fuzz_}
  mkdir -p "$dir/work/$harness"
  # The first folder takes what the fuzzer finds; the committed corpus is
  # only read.
  "$dir/tests/fuzz/$harness" "$dir/work/$harness" "$corpus" -max_total_time="$seconds" -timeout=5 \
    -rss_limit_mb=1024 -artifact_prefix="$dir/findings/$harness-" -print_final_stats=1 \
    > "$dir/logs/$harness.log" 2>&1 &
  pids+=($!)
done

failed=0
for i in "${!harnesses[@]}"; do
  harness=${harnesses[$i]}
  log=$dir/logs/$harness.log
  if wait "${pids[$i]}"; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    inputs=$(find "$dir/work/$harness" "$root/tests/fuzz/corpus/${harness#fuzz_}" -type f | wc -l)
    echo "fuzz.sh: $harness: ${runs:-?} runs in $seconds s over $inputs inputs, nothing found"
  else
    failed=1
    echo "fuzz.sh: $harness found a fault; the end of $log:" >&2
    tail -n 40 "$log" >&2
  fi
done
[ $failed = 0 ] || die "a harness found a fault; its input is in $dir/findings (see the README on adding it to the corpus)"
