#!/usr/bin/env bash
# CTest fixture for the Windows tests: `start` brings up Wine, Xvfb and the
# virtual drawer; `stop` ends every process that was started, by PID.
# Usage: harness.sh start|stop STATE_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
action=$1
wine_env_load "$2"
case $action in
    start) wine_env_ensure; wine_env_start_vdrawer ;;
    stop) wine_env_stop ;;
    *) echo "usage: harness.sh start|stop STATE_DIR" >&2; exit 2 ;;
esac
