#!/usr/bin/env bash
# Holds docs/architecture.md to the code: every file and every `Class::Method` it names in backticks
# exists, every file its lock table names still takes that lock, and the committed diagram is the
# one its .dot source renders to. The diagram is compared by what it draws (node and edge names,
# texts, colours), not by coordinates, so that a machine with other fonts renders the same answer.
# Prints "architecture: N passed, M failed" (one per check) as its last line for scripts/test.sh.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "${VTX_ARCH_ROOT:-$root}"

page=docs/architecture.md
dotfile=docs/architecture.dot
svg=docs/architecture.svg
passed=0 failed=0
result() { # number of faults, what they were
    if [ "$1" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "architecture check failed: $2"; fi
}

tracked=$(git ls-files -co --exclude-standard)
sources=$(grep -E '\.(c|cc|cpp|h|hpp)$' <<<"$tracked")
tokens=$(grep -oE '`[^`]+`' "$page" | tr -d '`' | sed -E 's/\(\)$//' | sort -u)

# 1. Files: a name with a folder is taken from the root; a bare one must stand somewhere in the tree.
bad=0
while IFS= read -r t; do
    [ -n "$t" ] || continue
    if [[ $t == */* ]]; then
        [ -e "$t" ] && continue
    elif grep -qE "(^|/)${t//./\\.}\$" <<<"$tracked"; then
        continue
    fi
    echo "  $page names $t, which does not exist"
    bad=$((bad + 1))
done < <(grep -E '^[A-Za-z0-9_./-]+\.(cpp|h|pml|sh|idl|rc|mc|def|dot|svg|wxs|admx|adml|vbs|cmake)$|^[A-Za-z0-9_.-]+(/[A-Za-z0-9_.-]+)*/$' <<<"$tokens")
result "$bad" "files the page names are missing"

# 2. Class::Member: a method defined out of line somewhere, or a method or constant declared in the
# file that declares the class.
bad=0
while IFS= read -r t; do
    [ -n "$t" ] || continue
    cls=${t%%::*} member=${t#*::}
    xargs grep -qsE "(^|[^A-Za-z0-9_])${cls}::${member}[[:space:]]*\\(" <<<"$sources" && continue
    decl=$(xargs grep -lsE "(class|struct)[[:space:]]+${cls}([^A-Za-z0-9_;]|\$)" <<<"$sources")
    if [ -n "$decl" ] && xargs grep -qsE "(^|[^A-Za-z0-9_:])${member}[[:space:]]*[({=;]" <<<"$decl"; then
        continue
    fi
    echo "  $page names $t, which no source declares or defines"
    bad=$((bad + 1))
done < <(grep -E '^[A-Za-z_][A-Za-z0-9_]*::~?[A-Za-z_][A-Za-z0-9_]*$' <<<"$tokens")
result "$bad" "members the page names are missing"

# 3. The lock table: | lock | `member` | `file`, `file` | held for |. Each file must still take the
# member through a guard (a std:: one, or one of ours named ...Hold) or a wait on it.
bad=0 rows=0
while IFS='|' read -r _ _ member files _; do
    member=$(grep -oE '`[^`]+`' <<<"$member" | head -n 1 | tr -d '`')
    [ -n "$member" ] || continue
    rows=$((rows + 1))
    for f in $(grep -oE '`[^`]+`' <<<"$files" | tr -d '`'); do
        if [ ! -f "$f" ]; then
            echo "  lock table: $f (for $member) does not exist"
            bad=$((bad + 1))
        elif ! grep -qE "(lock_guard|unique_lock|shared_lock|scoped_lock|[A-Z][A-Za-z]*Hold|AcquireSRWLock[A-Za-z]*|WaitForSingleObject|WaitForMultipleObjects)[^;]*(^|[^A-Za-z0-9_])${member//./\\.}([^A-Za-z0-9_]|\$)" "$f"; then
            echo "  lock table: $f no longer takes $member"
            bad=$((bad + 1))
        fi
    done
done < <(sed -n '/^| lock | member | taken in | held for |$/,/^$/p' "$page" | tail -n +3)
[ "$rows" -gt 0 ] || { echo "  $page has no lock table"; bad=$((bad + 1)); }
result "$bad" "the lock table does not match the code"

# 4. The diagram: what the committed picture draws against what its source renders to now.
drawn() { # svg on stdin: titles, texts and colours, in order
    grep -oE '<title>[^<]*</title>|<text[^>]*>[^<]*</text>|(fill|stroke)="[^"]*"' | sed -E 's/<text[^>]*>/<text>/'
}
if ! command -v dot >/dev/null; then
    result 1 "dot (graphviz) is not installed: run scripts/install-deps.sh"
elif [ ! -f "$svg" ]; then
    result 1 "$svg is missing: dot -Tsvg $dotfile -o $svg"
else
    diff <(dot -Tsvg "$dotfile" | drawn) <(drawn <"$svg") >/dev/null
    result $? "$svg is not what $dotfile renders to: dot -Tsvg $dotfile -o $svg"
fi

echo "architecture: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
