#!/usr/bin/env bash
# Runs a Windows program under Wine in the build's own prefix; CTest's
# cross-compiling emulator. Usage: wine-run.sh STATE_DIR PROGRAM [ARGS...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
wine_env_load "$1"; shift
if ! wine_env_can_run; then
    echo "wine-run: this machine cannot run $VTX_LOADER (no 32-bit program support in the kernel)" >&2
    exit 127
fi
wine_env_ensure
exec "$VTX_LOADER" "$@"
