#!/usr/bin/env bash
# Builds the host tools and both Windows architectures.
# Usage: scripts/build.sh [x86_64|i686|host ...]   (default: all)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VTX_BUILD_DIR:-$root/build}
jobs=${VTX_JOBS:-$(nproc)}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(host x86_64 i686)

configure_and_build() { # dir, extra cmake args...
    local dir=$1; shift
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

# The Windows builds need the host-built virtual drawer for their tests.
configure_and_build "$build/host"
for t in "${targets[@]}"; do
    case $t in
        host) ;;
        x86_64|i686)
            configure_and_build "$build/$t" \
                -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$t-w64-mingw32.cmake" \
                -DVTX_VDRAWER_EXE="$build/host/tools/vdrawer/vdrawer" ;;
        *) echo "build.sh: unknown target $t" >&2; exit 2 ;;
    esac
done
