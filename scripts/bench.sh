#!/usr/bin/env bash
# Runs the benchmarks under Wine against the virtual drawer and prints their figures.
# Usage: scripts/bench.sh [RUNS [CYCLES [FUZZ_CALLS [SEQUENCE_CALLS]]]]   (VTX_ARCH=x86_64|i686, default x86_64)
#        scripts/bench.sh fleet [TOGGLES [CYCLES]]   (8 drawers in one process, both architectures
#        or VTX_FLEET_ARCHS, one table)
# The generators print their seeds; VTX_FUZZ_SEED, VTX_FUZZ_CO_SEED, VTX_SEQ_SEED and VTX_FLEET_SEED repeat a run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VTX_BUILD_DIR:-$root/build}
arch=${VTX_ARCH:-x86_64}
. "$root/scripts/wine-env.sh"

fleet_one() { # ARCH TOGGLES CYCLES : the first drawer and 7 more, for this run only
    local arch=$1
    [ -f "$build/$arch/bench/bench_fleet.exe" ] || "$root/scripts/build.sh" host "$arch" >&2
    (
        wine_env_load "$build/$arch/wine/state"
        if ! wine_env_can_run; then
            echo "! $arch: this kernel cannot run the $arch Wine loader; no figures"
            exit 0
        fi
        trap 'wine_env_stop_fleet; wine_env_stop' EXIT
        wine_env_ensure
        wine_env_start_vdrawer
        wine_env_start_fleet 7
        export VDRAWER_CONTROL_PORT=$(cat "$VTX_STATE/vdrawer.port") VDRAWER_COM=$VTX_COM VDRAWER_FLEET=$VTX_FLEET
        "$VTX_LOADER" "$build/$arch/bench/bench_fleet.exe" "$2" "$3"
    )
}

if [ "${1:-}" = fleet ]; then
    out=$(mktemp -d)
    trap 'rm -rf "$out"' EXIT
    runs=()
    for a in ${VTX_FLEET_ARCHS:-x86_64 i686}; do
        echo "== bench_fleet ($a) =="
        fleet_one "$a" "${2:-200}" "${3:-1000}" | tee "$out/$a" || echo "! $a: bench_fleet failed"
        runs+=("$out/$a")
    done
    # Each figure's rows side by side: "label  arch  value"; lines with "!" are notes.
    echo "== bench_fleet: both architectures =="
    printf '%-46s %-7s %s\n' figure arch value
    cat "${runs[@]}" | awk '
        /^!/ { next }
        { key = substr($0, 1, 46); if (!(key in rows)) order[++n] = key; rows[key] = rows[key] $0 "\n" }
        END { for (i = 1; i <= n; i++) printf "%s", rows[order[i]] }'
    grep -h '^!' "${runs[@]}" || true
    exit 0
fi
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
