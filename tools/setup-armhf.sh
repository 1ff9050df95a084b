#!/usr/bin/env bash
# Installs what the build for the device (32-bit ARM, Debian's armhf) needs on
# top of tools/setup.sh: Debian's cross compiler, qemu's user-mode emulator that
# runs the tests, and the armhf variants of the libraries the build links
# (Debian multiarch).  Idempotent: does nothing when all of them are there.
# Kept apart from tools/setup.sh, so that the ordinary set-up stays small.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"

host_packages=(crossbuild-essential-armhf qemu-user-static)
# The armhf twins of tools/setup.sh's libraries; keep the two lists in step.
armhf_packages=(
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # what Debian's JUCE links against
  libasound2-dev libfreetype-dev libpng-dev libjpeg-dev zlib1g-dev
  libflac-dev libvorbis-dev libogg-dev libexpat1-dev
  # the device's display, input and system interfaces
  libdrm-dev libinput-dev libudev-dev libxkbcommon-dev libdbus-1-dev
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

if ! dpkg --print-foreign-architectures | grep -qx armhf; then
  echo "Adding the armhf architecture to dpkg"
  $SUDO dpkg --add-architecture armhf
fi

missing=()
for package in "${host_packages[@]}" "${armhf_packages[@]/%/:armhf}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$package")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
# The armhf libraries must be the very versions of their amd64 twins
# (multiarch), so those may be upgraded alongside.
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
