#!/usr/bin/env bash
# The whole test suite: installs what it needs, checks the code style, builds,
# and runs every test: the unit tests (also under AddressSanitizer and
# UndefinedBehaviorSanitizer), the program end to end headless and under
# Xvfb, the release packages installed and run, the fuzzers over their
# corpus and for a minute each (scripts/fuzz.sh), the Windows build (its
# zip) under Wine, the ARM builds under qemu-user, the web build under node
# and in headless chromium. The figures of the benchmarks are
# scripts/bench.sh's.
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

bash "$root/scripts/deps.sh" build test windows arm web format fuzz sources

echo "== Code style"
bash "$root/scripts/format.sh" --check

echo "== Release build and tests"
native_tests
(cd "$tests" && ctest --output-on-failure --timeout 300 -LE wine32)

bash "$root/tests/package/check.sh" --jobs "$jobs" --native "$tests"

echo "== Unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S "$root" -B "$root/build/asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLYOVER_ARCH=native -DFLYOVER_SANITIZE=ON > /dev/null
build "$root/build/asan"
(cd "$root/build/asan" && ctest --output-on-failure --timeout 600 -L unit)

echo "== Fuzzing: pictures, map files and settings"
bash "$root/scripts/fuzz.sh" --jobs "$jobs" 60

echo "== Windows build under Wine"
bash "$root/scripts/windows.sh" --jobs "$jobs" --linux-framehash "$tests/tools/framehash"

echo "== ARM builds under qemu-user"
bash "$root/scripts/arm.sh" --jobs "$jobs" --native-framehash "$tests/tools/framehash"

echo "== Web build under node and in headless chromium"
bash "$root/scripts/web.sh" --jobs "$jobs" --check "$tests"
echo "All tests passed."
