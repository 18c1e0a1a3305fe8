#!/usr/bin/env bash
# The whole test suite: installs what it needs, checks the code style, builds,
# and runs every test: the unit tests (also under AddressSanitizer and
# UndefinedBehaviorSanitizer), the program end to end headless and under
# Xvfb, the release packages installed and run, the fuzzers over their
# corpus and for a minute each (scripts/fuzz.sh), the Windows build (its
# zip) under Wine, the ARM builds under qemu-user, the web build under node
# and in headless chromium, and every benchmark built and started (their
# figures are scripts/bench.sh's).
#
#   bash scripts/test.sh           everything (what CI runs)
#   bash scripts/test.sh --unit    the quick check: the native build's unit
#                                  tests alone (in build/test, as above)
set -euo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
unit=0
flag_options=([--unit]=unit)
parse_options "$@"
tests=$root/build/test

# The native build of the tests, for this processor alone.
native_tests() {
  cmake -S "$root" -B "$tests" -DCMAKE_BUILD_TYPE=Release -DFLYOVER_ARCH=native > /dev/null \
    || die "configuring $tests failed"
  build "$tests"
}

if [ $unit = 1 ]; then
  bash "$root/scripts/deps.sh" build test
  native_tests
  (cd "$tests" && ctest --output-on-failure --timeout 300 -j "$jobs" -L unit) || die "unit tests failed"
  echo "All unit tests passed."
  exit 0
fi

# Each stage prints its time at its end, and all of them come again in a
# table at the end, so that a stage that grows slower shows at once.
stage_names=() stage_seconds=() stage_start=$SECONDS
stage() {
  end_stage
  stage_names+=("$1")
  stage_start=$SECONDS
  echo "== $1"
}
end_stage() {
  [ ${#stage_names[@]} -gt ${#stage_seconds[@]} ] || return 0
  stage_seconds+=($((SECONDS - stage_start)))
  echo "-- ${stage_names[-1]}: ${stage_seconds[-1]} s"
}

# Every package of every stage in one apt-get run.
stage "Packages"
bash "$root/scripts/deps.sh" build test windows arm web format fuzz sources package

stage "Code style"
bash "$root/scripts/format.sh" --check

stage "Release build and tests"
native_tests
(cd "$tests" && ctest --output-on-failure --timeout 300 -LE wine32)

stage "Release packages: made, checked, installed, run and removed"
bash "$root/tests/package/check.sh" --jobs "$jobs" --native "$tests"

stage "Unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S "$root" -B "$root/build/asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLYOVER_ARCH=native -DFLYOVER_SANITIZE=ON > /dev/null
build "$root/build/asan"
(cd "$root/build/asan" && ctest --output-on-failure --timeout 600 -j "$jobs" -L unit)

stage "Fuzzing: pictures, map files and settings"
bash "$root/scripts/fuzz.sh" --jobs "$jobs" 60

stage "Windows build under Wine"
bash "$root/scripts/windows.sh" --jobs "$jobs" --linux-framehash "$tests/tools/framehash"

stage "ARM builds under qemu-user"
bash "$root/scripts/arm.sh" --jobs "$jobs" --native-framehash "$tests/tools/framehash"

stage "Web build under node and in headless chromium"
bash "$root/scripts/web.sh" --jobs "$jobs" --check "$tests"

# Last, when the web build is there for the page's frame time: no figures,
# only that none of them has stopped building or starting.
stage "Benchmarks build and start"
bash "$root/scripts/bench.sh" --jobs "$jobs" --build "$tests" --check
end_stage

echo "Time per stage:"
for i in "${!stage_names[@]}"; do
  printf '  %5d s  %s\n' "${stage_seconds[$i]}" "${stage_names[$i]}"
done
printf '  %5d s  in all\n' $SECONDS
echo "All tests passed."
