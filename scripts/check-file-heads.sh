#!/usr/bin/env bash
# Lists every source file and header of the product, tools and benchmarks whose
# first line (after any `#pragma once`) is not a comment saying what the file is.
# Counts as one check in scripts/test.sh ("file-heads: 1 passed, 0 failed").
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

passed=0 failed=0
while IFS= read -r f; do
    # First line that is neither blank nor `#pragma once`.
    first=$(awk 'NF && $0 !~ /^[[:space:]]*#pragma[[:space:]]+once/ { print; exit }' "$f")
    case $first in
        //* | /\** | \;*) passed=$((passed + 1)) ;;
        *) echo "bare file head: $f: ${first:-<empty file>}"; failed=$((failed + 1)) ;;
    esac
done < <(git ls-files -co --exclude-standard -- so controlobject setup common tools bench \
    | grep -E '\.(c|cc|cpp|h|hpp|idl|rc|def)$' | sort)

echo "file heads: $passed files open with a comment, $failed do not"
if [ "$failed" -eq 0 ]; then
    echo "file-heads: 1 passed, 0 failed"
else
    echo "file-heads: 0 passed, 1 failed"
    exit 1
fi
