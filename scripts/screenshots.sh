#!/usr/bin/env bash
# Makes the README's pictures of the real window, offscreen, into docs/.
#   scripts/screenshots.sh         the window after start-up and the settings dialog
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
"$root/build/tools/screenshots/kelmor-screenshots" "$root/docs"
