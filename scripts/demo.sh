#!/usr/bin/env bash
# The main job: a drawer test against the virtual drawer, under Wine.
# Registers the service object and the Control Object in the project's Wine
# prefix, creates the logical device "VX-CDUSB" with its port on the virtual
# drawer, runs the drawer test through the Control Object, and ends every
# process it started.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VTX_BUILD_DIR:-$root/build}
arch=${VTX_ARCH:-x86_64}
state=$build/$arch/wine/state
. "$root/scripts/wine-env.sh"

bin=$build/$arch
service_dll=$bin/so/module/VTXCashDrawer.dll
control_dll=$bin/controlobject/OPOSCashDrawer.dll
drawertest=$bin/tools/windows/drawertest.exe
for f in "$service_dll" "$control_dll" "$drawertest"; do
    [ -f "$f" ] || { "$root/scripts/build.sh" host "$arch"; break; }
done
wine_env_load "$state"
trap 'wine_env_stop' EXIT
wine_env_ensure
wine_env_start_vdrawer
export VDRAWER_CONTROL_PORT=$(cat "$state/vdrawer.port")
echo "virtual drawer on COM$VTX_COM (control port $VDRAWER_CONTROL_PORT)"

# The loader of this architecture runs its own regsvr32 and reg, so the
# entries land in the registry view that the drawer test reads.
"$VTX_LOADER" regsvr32 /s "$service_dll"
"$VTX_LOADER" regsvr32 /s "$control_dll"
# A copy of kCashDrawerClassKey in common/opos/OposConstants.h; scripts/check-key-copies.sh holds it to that.
class_key='HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer'
"$VTX_LOADER" reg add "$class_key" /f >/dev/null
"$VTX_LOADER" reg add "$class_key\\VX-CDUSB" /ve /t REG_SZ /d Veltrix.OPOS.CashDrawerUSB /f >/dev/null
"$VTX_LOADER" reg add "$class_key\\VX-CDUSB" /v Port /t REG_SZ /d "COM$VTX_COM" /f >/dev/null

# The drawer closes itself two seconds after it opens, as a cashier would close it.
"$VTX_VDRAWER" ctl "$VDRAWER_CONTROL_PORT" AUTOCLOSE 2000 >/dev/null
"$VTX_LOADER" "$drawertest" VX-CDUSB
