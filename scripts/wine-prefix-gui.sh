#!/usr/bin/env bash
# Makes a test prefix fit for showing windows: Xvfb runs no window manager, so
# Wine is told to draw captions and frames itself and to leave its windows
# unmanaged (a managed window waits about two seconds, each time it is hidden,
# for a window manager that never answers), and the fonts the forms use
# (MS Sans Serif, Marlett for the caption buttons) are put in the prefix when
# the system has them (Debian package fonts-wine). Idempotent.
# Usage: wine-prefix-gui.sh STATE_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
wine_env_load "$1"
wine_env_ensure

for setting in Decorated Managed; do
    "$VTX_LOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v "$setting" /d N /f >/dev/null 2>&1
done

fonts="$VTX_PREFIX/drive_c/windows/Fonts"
mkdir -p "$fonts"
for f in marlett.ttf ms_sans_serif.ttf; do
    for dir in /usr/share/wine/fonts /usr/share/fonts/truetype/wine; do
        if [ -f "$dir/$f" ]; then
            cp -f "$dir/$f" "$fonts/$f"
            break
        fi
    done
done
