#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the simulator need.
# Idempotent: does nothing when all of them are already there.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build ccache pkg-config clang libclang-rt-14-dev lld clang-format-14 git
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # the simulated system bus and BlueZ (run with Debian's /usr/bin/python3)
  dbus-daemon python3-dbusmock
  # JUCE and what Debian's JUCE links against
  juce-modules-source libasound2-dev libfreetype-dev libpng-dev libjpeg-dev zlib1g-dev
  libflac-dev libvorbis-dev libogg-dev libexpat1-dev fonts-dejavu-core
  # the device's display, input and system interfaces
  libdrm-dev libinput-dev libudev-dev libxkbcommon-dev libdbus-1-dev
  # the keyboard layouts xkbcommon builds its keymap from
  xkb-data
)

# With a foreign architecture added (tools/setup-armhf.sh) a package may be
# listed once per architecture: only the host's (or "all") counts here.
native=$(dpkg --print-architecture)
missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status} ${Architecture}\n' "$package" 2>/dev/null || true)
  grep -qxE "installed ($native|all)" <<<"$status" || missing+=("$package")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
