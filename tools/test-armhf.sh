#!/usr/bin/env bash
# Builds the project for the device (32-bit ARM, Debian's armhf) with Debian's
# cross compiler and runs the tests under qemu's user-mode emulator, on the
# simulated device as on x86_64.  The build is the "armhf" preset of
# CMakePresets.json.
#
#   bash tools/test-armhf.sh               the whole project and the whole suite
#   bash tools/test-armhf.sh AREA...       only those areas' test executables and
#                                          tests (labels), e.g. foundation strings
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

"$root/tools/setup-armhf.sh"

# As in tools/test.sh: a clone in another folder is served by the same cache.
export CCACHE_BASEDIR="$root"
export CCACHE_NOHASHDIR=true
export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-20G}

cd "$root"
mkdir -p build
cmake --preset armhf > build/armhf.configure.log 2>&1 || { cat build/armhf.configure.log; exit 1; }

if [ $# -eq 0 ]; then
  cmake --build --preset armhf -j "$jobs"
  ctest --preset armhf -j "$jobs"
else
  targets=()
  for area in "$@"; do
    [[ $area =~ ^[a-z_]+$ ]] || { echo "test-armhf: not an area name: $area" >&2; exit 2; }
    targets+=("test_$area")
  done
  labels=$(IFS='|'; echo "$*")
  cmake --build --preset armhf -j "$jobs" --target "${targets[@]}"
  ctest --preset armhf -j "$jobs" --label-regex "^($labels)\$"
fi
