#!/usr/bin/env bash
# Checks that a Windows binary imports only system DLLs (the runtime is linked statically).
set -euo pipefail
objdump=$1 bin=$2
allowed='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|ws2_32|shell32|comctl32|comdlg32|msvcrt|ntdll|rpcrt4|shlwapi|version|uuid|winmm|uxtheme|bcrypt|api-ms-win-.*)\.dll$'
bad=$("$objdump" -p "$bin" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | grep -v -E "$allowed" || true)
if [ -n "$bad" ]; then
    echo "check-imports: $bin imports non-system DLLs: $bad" >&2
    exit 1
fi
