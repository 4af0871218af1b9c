#!/usr/bin/env bash
# Takes a picture of a build of the utility's main window under the test
# harness's Xvfb, so a person can look at it.
# Usage: screenshot.sh STATE_DIR UTILITY_EXE usb|serial WINDOWRECT_EXE OUT_PNG
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
state=$1 exe=$2 build=$3 rect_tool=$4 out=$5
. "$root/scripts/wine-env.sh"
wine_env_load "$state"
wine_env_ensure
# Captions and the forms' fonts (no window manager runs on Xvfb).
"$root/scripts/wine-prefix-gui.sh" "$state"

mkdir -p "$(dirname "$out")"
tmp=$(mktemp -d)
pid=
cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT

"$VTX_LOADER" "$exe" </dev/null >/dev/null 2>&1 &
pid=$!
geometry=$("$VTX_LOADER" "$rect_tool" "$build" 2>/dev/null | tr -d '\r')
[ -n "$geometry" ] || { echo "screenshot: the $build build's window did not appear" >&2; exit 1; }

# Wine hands the window's pixels to X when it goes idle: take pictures until
# two in a row agree.
prev=
for i in $(seq 1 50); do
    import -window root -crop "$geometry" +repage "$tmp/$i.png"
    if [ -n "$prev" ] && compare -metric AE "$prev" "$tmp/$i.png" null: 2>/dev/null; then
        cp "$tmp/$i.png" "$out"
        echo "screenshot: $out ($geometry)"
        exit 0
    fi
    prev=$tmp/$i.png
    sleep 0.2
done
echo "screenshot: the window did not settle" >&2
exit 1
