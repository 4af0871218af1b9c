#!/usr/bin/env bash
# Builds the host tools and both Windows architectures.
# Usage: scripts/build.sh [x86_64|i686|host ...]   (default: all)
# VTX_TARGETS="a b" builds only those targets of the Windows trees (and only
# the virtual drawer of the host tree); default: everything, tests included.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VTX_BUILD_DIR:-$root/build}
jobs=${VTX_JOBS:-$(nproc)}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(host x86_64 i686)

read -r -a only <<<"${VTX_TARGETS:-}"

configure_and_build() { # dir, targets (space-separated, empty: all), extra cmake args...
    local dir=$1 targets=$2; shift 2
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    local args=()
    for t in $targets; do args+=(--target "$t"); done
    cmake --build "$dir" -j "$jobs" "${args[@]}"
}

# The Windows builds need the host-built virtual drawer for their tests.
configure_and_build "$build/host" "${only:+vdrawer}"
for t in "${targets[@]}"; do
    case $t in
        host) ;;
        x86_64|i686)
            configure_and_build "$build/$t" "${only[*]}" \
                -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$t-w64-mingw32.cmake" \
                -DVTX_VDRAWER_EXE="$build/host/tools/vdrawer/vdrawer" ;;
        *) echo "build.sh: unknown target $t" >&2; exit 2 ;;
    esac
done
