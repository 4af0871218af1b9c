#!/usr/bin/env bash
# The main job: a drawer test against the virtual drawer, under Wine.
# Creates the logical device "VX-CDUSB" in the project's Wine prefix with its
# port on the virtual drawer, runs the drawer test, and ends every process.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VTX_BUILD_DIR:-$root/build}
arch=${VTX_ARCH:-x86_64}
state=$build/$arch/wine/state
. "$root/scripts/wine-env.sh"

[ -f "$build/$arch/tools/windows/drawertest.exe" ] || "$root/scripts/build.sh" host "$arch"
wine_env_load "$state"
trap 'wine_env_stop' EXIT
wine_env_ensure
wine_env_start_vdrawer
export VDRAWER_CONTROL_PORT=$(cat "$state/vdrawer.port")
echo "virtual drawer on COM$VTX_COM (control port $VDRAWER_CONTROL_PORT)"

"$VTX_LOADER" reg add 'HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer\VX-CDUSB' \
    /v Port /t REG_SZ /d "COM$VTX_COM" /f >/dev/null
"$VTX_LOADER" "$build/$arch/tools/windows/drawertest.exe" VX-CDUSB
