#!/usr/bin/env bash
# The whole test suite: installs what it needs, checks the code style, builds,
# and runs every test:
# the unit tests (also under AddressSanitizer and UndefinedBehaviorSanitizer),
# the program end to end headless and under Xvfb, the Windows build under
# Wine, the ARM builds under qemu-user, the web build under node and in
# headless chromium; then prints the benchmarks' figures.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc)

bash "$root/scripts/deps.sh" build test windows arm web format

echo "== Code style"
bash "$root/scripts/format.sh" --check

echo "== Release build and tests"
cmake -S "$root" -B "$root/build/test" -DCMAKE_BUILD_TYPE=Release -DFLYOVER_ARCH=native > /dev/null
cmake --build "$root/build/test" -j"$jobs"
(cd "$root/build/test" && ctest --output-on-failure --timeout 300 -LE wine32)

echo "== Unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S "$root" -B "$root/build/asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLYOVER_ARCH=native -DFLYOVER_SANITIZE=ON > /dev/null
cmake --build "$root/build/asan" -j"$jobs"
(cd "$root/build/asan" && ctest --output-on-failure --timeout 600 -L unit)

echo "== Windows build under Wine"
bash "$root/scripts/windows.sh" --jobs "$jobs" --build-win32 "$root/build/win32" --build-win64 "$root/build/win64" \
  --linux-framehash "$root/build/test/tools/framehash"

echo "== ARM builds under qemu-user"
bash "$root/scripts/arm.sh" --jobs "$jobs" --build-aarch64 "$root/build/aarch64" --build-capture "$root/build/aarch64-capture" \
  --build-armhf "$root/build/armhf" --native-framehash "$root/build/test/tools/framehash"

echo "== Web build under node and in headless chromium"
bash "$root/scripts/web.sh" --jobs "$jobs" --check "$root/build/test"

echo "== Benchmarks (figures only; targets are ratios within one run)"
for b in bench_renderer bench_convert bench_display; do
  exe=$(find "$root/build/test/bench" -maxdepth 1 -name "$b" -type f | head -n 1)
  [ -n "$exe" ] && (cd "$root/build/test" && "$exe" --benchmark_min_time=0.2 --benchmark_color=false)
done
bash "$root/scripts/web.sh" --jobs "$jobs" --bench "$root/build/test"
# No ARM hardware here: the NEON routines against a copy loop in llvm-mca's model.
python3 "$root/bench/neon_cost.py"
echo "All tests passed."
