#!/usr/bin/env bash
# Runs every test: the host tools' tests, then the Windows tests of each
# architecture under Wine, then the installer packages' tests. Installs what
# is missing and builds first (the packages too).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VTX_BUILD_DIR:-$root/build}
. "$root/scripts/wine-env.sh"

if [ "$(id -u)" -eq 0 ]; then
    "$root/scripts/install-deps.sh" || exit 1
fi
"$root/scripts/build.sh" host x86_64 i686 || { echo "test.sh: build failed" >&2; exit 1; }
"$root/scripts/package.sh" x64 x86 || { echo "test.sh: packaging failed" >&2; exit 1; }

passed=0 failed=0 status=0
run_ctest() { # label, build dir
    local label=$1 dir=$2 log
    log=$(mktemp)
    echo "== $label tests =="
    ctest --test-dir "$dir" --output-on-failure --timeout 300 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    local line total bad
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ -n "$line" ]; then
        bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
        total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
        passed=$((passed + total - bad)) failed=$((failed + bad))
    fi
    [ "$rc" -eq 0 ] || status=1
    rm -f "$log"
}

# A step whose last line of its kind is "<label>: N passed, M failed".
run_counted() { # label, title, command...
    local label=$1 title=$2 log rc line
    shift 2
    log=$(mktemp)
    echo "== $title =="
    "$@" 2>&1 | tee "$log"
    rc=${PIPESTATUS[0]}
    line=$(grep -E "^$label: [0-9]+ passed, [0-9]+ failed\$" "$log" | tail -n 1)
    if [ -n "$line" ]; then
        passed=$((passed + $(sed -E "s/$label: ([0-9]+) passed.*/\1/" <<<"$line")))
        failed=$((failed + $(sed -E 's/.* ([0-9]+) failed/\1/' <<<"$line")))
    else
        failed=$((failed + 1))
    fi
    [ "$rc" -eq 0 ] || status=1
    rm -f "$log"
}

run_counted file-heads "file heads" "$root/scripts/check-file-heads.sh"
run_counted key-copies "class key copies" "$root/scripts/check-key-copies.sh"
run_counted policy "Group Policy template" "$root/scripts/check-policy.sh"
run_counted architecture "architecture page" "$root/scripts/check-architecture.sh"
run_counted models "model checks" "$root/scripts/check-models.sh"
run_ctest host "$build/host"
run_ctest x86_64 "$build/x86_64"
wine_env_load "$build/i686/wine/state"
if wine_env_can_run; then
    run_ctest i686 "$build/i686"
    run_counted installer "installer package tests" "$root/tests/installer/package-test.sh"
else
    echo "== i686 and installer tests: NOT RUN: this machine's kernel cannot execute 32-bit programs, so"
    echo "   the 32-bit Wine loader cannot start (the i686 build and both packages were built) =="
fi

echo "all: $passed passed, $failed failed"
exit $status
