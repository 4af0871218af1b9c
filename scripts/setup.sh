#!/usr/bin/env bash
# From a fresh Debian machine: installs what the project needs, builds what a
# terminal gets, packages it, installs the x64 package into the project's
# Wine prefix as an administrator would (msiexec /qn) and runs the drawer test
# from the installed files against the virtual drawer. Ends every process it
# started.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VTX_BUILD_DIR:-$root/build}
step() { echo "[$1/5] $2"; }

step 1 "Installing packages..."
if [ "$(id -u)" -eq 0 ]; then
    "$root/scripts/install-deps.sh"
else
    sudo "$root/scripts/install-deps.sh"
fi

# The 32-bit parts are in the x64 package too; the tests are not built.
step 2 "Building the drivers, the utility, the drawer test and the virtual drawer (x86_64, i686)..."
VTX_TARGETS="VTXCashDrawer OPOSCashDrawer cdsetupusb cdsetup drawertest winekeepalive" \
    "$root/scripts/build.sh" x86_64 i686

step 3 "Building the x64 package..."
package=$("$root/scripts/package.sh" x64 | sed -n 's/^package: //p')

step 4 "Installing $(basename "$package") into the Wine prefix (msiexec /qn)..."
. "$root/scripts/wine-env.sh"
wine_env_load "$build/x86_64/wine/state"
trap 'wine_env_stop' EXIT
wine_env_ensure
wine_env_start_vdrawer
export VDRAWER_CONTROL_PORT=$(cat "$VTX_STATE/vdrawer.port")
# Wine's msiexec exits 0 even when it installed nothing: look at the result.
"$VTX_LOADER" msiexec /i "Z:${package//\//\\}" /qn USBPORT="COM$VTX_COM" </dev/null
drawertest='C:\Program Files\Veltrix Works\VTXCashDrawer\drawertest.exe'
[ -f "$VTX_PREFIX/drive_c/Program Files/Veltrix Works/VTXCashDrawer/drawertest.exe" ] ||
    { echo "setup: the package did not install" >&2; exit 1; }

step 5 "Running the drawer test from the installed files (virtual drawer on COM$VTX_COM)..."
# The drawer closes itself two seconds after it opens, as a cashier would close it.
"$VTX_VDRAWER" ctl "$VDRAWER_CONTROL_PORT" AUTOCLOSE 2000 >/dev/null
"$VTX_LOADER" "$drawertest" VX-CDUSB
