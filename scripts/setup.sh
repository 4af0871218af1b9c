#!/usr/bin/env bash
# From a fresh Debian machine: installs what the project needs, builds
# everything and runs the main job (a drawer test against the virtual drawer).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "$(id -u)" -eq 0 ]; then
    "$root/scripts/install-deps.sh"
else
    sudo "$root/scripts/install-deps.sh"
fi
"$root/scripts/build.sh"
"$root/scripts/demo.sh"
