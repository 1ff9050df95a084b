#!/usr/bin/env bash
# Installs what is missing, checks the formatting of changed lines, builds
# everything and runs the whole test suite: once optimised (and the project once
# as another project's subdirectory), once under AddressSanitizer and
# UndefinedBehaviorSanitizer with the fuzz targets, and the concurrent areas once
# more under ThreadSanitizer.  The builds are the presets of CMakePresets.json.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
# Most tests wait (on threads, child processes, timers) rather than compute: two
# per core keep a small machine busy (on 2 cores the suite takes half the time).
test_jobs=$((jobs * 2 > 8 ? (jobs > 8 ? jobs : 8) : jobs * 2))

"$root/tools/setup.sh"

# Paths relative to the checkout, so that a clone in another folder (CI's) is
# served by the same cache entries; the build's prefix maps keep __FILE__ right.
export CCACHE_BASEDIR="$root"
export CCACHE_NOHASHDIR=true
# Room for every preset's objects, so that one build never evicts another's.
export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-20G}

cd "$root"
mkdir -p build

echo "== formatting of the lines changed since the formatting rules came in"
bash tools/check-format.sh

configure() {
  local preset=$1
  cmake --preset "$preset" > "build/$preset.configure.log" 2>&1 \
    || { cat "build/$preset.configure.log"; return 1; }
}

run_preset() {
  local preset=$1
  configure "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$test_jobs"
}

echo "== optimised build"
run_preset release

echo "== the project as another project's subdirectory"
cmake -S tests/consumer -B build/consumer -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVX_SOURCE_DIR="$root" \
  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache > build/consumer.configure.log 2>&1 \
  || { cat build/consumer.configure.log; exit 1; }
cmake --build build/consumer -j "$jobs" --target consumer
build/consumer/consumer

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build, with the fuzz targets"
run_preset asan

echo "== ThreadSanitizer build of the concurrent areas"
run_preset tsan

echo "== the device's build (32-bit ARM) of the framework's areas, their tests under emulation"
bash tools/test-armhf.sh foundation strings containers variants files notifications threads settings
