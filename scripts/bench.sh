#!/usr/bin/env bash
# Runs the benchmarks under Wine against the virtual drawer and prints their figures.
# Usage: scripts/bench.sh [RUNS [CYCLES [FUZZ_CALLS [SEQUENCE_CALLS]]]]   (VTX_ARCH=x86_64|i686, default x86_64)
# The generators print their seeds; VTX_FUZZ_SEED, VTX_FUZZ_CO_SEED and VTX_SEQ_SEED repeat a run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VTX_BUILD_DIR:-$root/build}
arch=${VTX_ARCH:-x86_64}
. "$root/scripts/wine-env.sh"
for f in bench/bench_events.exe bench/bench_control.exe bench/bench_trace.exe bench/bench_generators.exe; do
    [ -f "$build/$arch/$f" ] || { "$root/scripts/build.sh" host "$arch"; break; }
done
wine_env_load "$build/$arch/wine/state"
trap 'wine_env_stop' EXIT
wine_env_ensure
wine_env_start_vdrawer
export VDRAWER_CONTROL_PORT=$(cat "$VTX_STATE/vdrawer.port") VDRAWER_COM=$VTX_COM
echo "== bench_events ($arch) =="
"$VTX_LOADER" "$build/$arch/bench/bench_events.exe" "${1:-20}"
echo "== bench_trace ($arch) =="
"$VTX_LOADER" "$build/$arch/bench/bench_trace.exe" "${1:-20}"

# Through the Control Object, as an application: both servers registered first.
"$VTX_LOADER" regsvr32 /s "$build/$arch/so/module/VTXCashDrawer.dll"
"$VTX_LOADER" regsvr32 /s "$build/$arch/controlobject/OPOSCashDrawer.dll"
echo "== bench_control ($arch) =="
"$VTX_LOADER" "$build/$arch/bench/bench_control.exe" "${2:-50}"

echo "== bench_generators ($arch) =="
"$VTX_LOADER" "$build/$arch/bench/bench_generators.exe" "${3:-1000000}" "${4:-10000}"
