#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
# once optimised, once under AddressSanitizer and UndefinedBehaviorSanitizer,
# and the concurrent areas once more under ThreadSanitizer.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

"$root/tools/setup.sh"

build() {
  local dir=$1; shift
  cmake -S "$root" -B "$root/build/$dir" -G Ninja "$@" > "$root/build/$dir.configure.log" 2>&1 \
    || { cat "$root/build/$dir.configure.log"; return 1; }
  cmake --build "$root/build/$dir" -j "$jobs"
}

mkdir -p "$root/build"

echo "== optimised build"
build release -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir "$root/build/release" -j "$jobs" --output-on-failure

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build, with the fuzz targets"
# clang, so that the libFuzzer targets of the parsers are built and run here too.
build asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVX_SANITIZE=ON -DVX_BUILD_BENCHMARKS=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir "$root/build/asan" -j "$jobs" --output-on-failure

echo "== ThreadSanitizer build of the concurrent areas"
# Only the areas whose code runs on several threads, to keep the run short:
# their test executables are the only targets built (with the framework).
tsan_areas=(foundation threads notifications application display)
tsan_targets=()
for area in "${tsan_areas[@]}"; do tsan_targets+=("test_$area"); done
cmake -S "$root" -B "$root/build/tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVX_TSAN=ON \
  -DVX_BUILD_BENCHMARKS=OFF > "$root/build/tsan.configure.log" 2>&1 \
  || { cat "$root/build/tsan.configure.log"; exit 1; }
cmake --build "$root/build/tsan" -j "$jobs" --target "${tsan_targets[@]}"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir "$root/build/tsan" -j "$jobs" --output-on-failure -L "$(IFS='|'; echo "${tsan_areas[*]}")"
