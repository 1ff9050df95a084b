#!/usr/bin/env bash
# Builds the application and runs it on the simulated device.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
echo "The application does not start up yet: only the framework's foundation is built." >&2
exit 1
