#!/usr/bin/env bash
# Holds the copies of the cash drawers' class key path that the installer and the scripts keep to
# the one in common/opos/OposConstants.h, so a changed path cannot be left behind in one of them.
# Counts as one check in scripts/test.sh ("key-copies: 1 passed, 0 failed").
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# The C++ literal doubles each backslash; every copy below writes it once.
key=$(sed -nE 's/.*kCashDrawerClassKey\[\] = L"([^"]*)".*/\1/p' common/opos/OposConstants.h | sed 's/\\\\/\\/g')
if [ -z "$key" ]; then
    echo "no class key found in common/opos/OposConstants.h"
    echo "key-copies: 0 passed, 1 failed"
    exit 1
fi

bad=0
# file, then the sed expression that prints the path it keeps (with any HKLM\ in front removed).
check() {
    local file=$1 expr=$2 copy
    copy=$(sed -nE "$expr" "$file" | sed -E 's/^HKLM\\//')
    if [ "$copy" != "$key" ]; then
        echo "class key copy differs: $file: '${copy:-<none found>}', not '$key'"
        bad=$((bad + 1))
    fi
}
check installer/VTXCashDrawer.wxs 's/.*<\?define ClassKey = "([^"]*)".*/\1/p'
check scripts/package.sh "s/^class_key='([^']*)'.*/\1/p"
check scripts/demo.sh "s/^class_key='([^']*)'.*/\1/p"
check tests/installer/package-test.sh "s/^class_key='([^']*)'.*/\1/p"

if [ "$bad" -eq 0 ]; then
    echo "key-copies: 1 passed, 0 failed"
else
    echo "key-copies: 0 passed, 1 failed"
    exit 1
fi
