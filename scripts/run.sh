#!/usr/bin/env bash
# Installs what is missing, builds and starts the monitor.
#   scripts/run.sh          against the gauge on the serial ports (Com1 = /dev/ttyS0 ...)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"
exec "$root/build/src/app/monitor-kelmor" "$@"
