#!/usr/bin/env bash
# Builds the application and runs it on the simulated device: a private system
# bus with the mock Bluetooth service, the simulated panel, input, sound cards,
# MIDI ports with the controller board, device-control library, system files
# and shell tools.  Writes what the screen shows as PNG files and prints where.
#
#   tools/run.sh [picture folder] [sim_app options: --shots <count> --interval <ms>]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"

build="$root/build/release"
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=true
[ -f "$build/build.ninja" ] || cmake --preset release -S "$root" >/dev/null
cmake --build "$build" -j4 --target sim_app

pictures=${1:-$build/sim/screens}
shift || true

# The system bus of this run only, ended with it.
bus=$(mktemp -d /tmp/vx-run-bus-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$bus"
}
trap cleanup EXIT
if command -v dbus-daemon >/dev/null; then
  address="unix:path=$bus/system_bus_socket"
  dbus-daemon --nofork --config-file="$root/sim/dbus/system-bus.conf" --address="$address" >"$bus/daemon.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do [ -S "$bus/system_bus_socket" ] && break; sleep 0.1; done
  export DBUS_SYSTEM_BUS_ADDRESS="$address"
  if /usr/bin/python3 -c 'import dbusmock' 2>/dev/null; then
    /usr/bin/python3 -m dbusmock --system --template "$root/sim/dbus/bluez_mock.py" >"$bus/bluez.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do
      dbus-send --system --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
        string:org.bluez 2>/dev/null | grep -q true && break
      sleep 0.1
    done
  else
    echo "run.sh: python3-dbusmock is missing: Bluetooth has no service" >&2
  fi
else
  echo "run.sh: no dbus-daemon: the application runs without a system bus" >&2
fi

"$build/sim/sim_app" "$pictures" "$@"
