#!/usr/bin/env bash
# Model-checks the worker stop (with its time limit and forced end), event
# delivery and drawer link protocols with SPIN (so/*/models). Each check builds
# pan in a temporary directory, so no pan.* or trail file lands in the tree.
# Prints one line per check and a total.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0 failed=0
# check <label> <model, from the root> <expect: pass|fail> <spin -D flags> <gcc flags> <pan flags> [<what must fail>]
# A check that must fail passes only on a violated assertion, and, given the
# last argument (an extended regular expression), only on one whose text matches it.
check() {
    local label=$1 path=$2 expect=$3 dflags=$4 cflags=$5 pflags=$6 violation=${7:-}
    local model dir=$work/$label out errors states ms start
    model=$(basename "$path")
    mkdir -p "$dir"
    cp "$root/$path" "$dir/"
    start=$(date +%s%N)
    # shellcheck disable=SC2086
    if ! (cd "$dir" && spin $dflags -a "$model" >spin.log 2>&1 && gcc -O2 $cflags -o pan pan.c 2>gcc.log); then
        echo "FAIL $label: the model did not build: $(tail -n 3 "$dir"/*.log | tr '\n' ' ')"
        failed=$((failed + 1))
        return
    fi
    # shellcheck disable=SC2086
    out=$(cd "$dir" && ./pan $pflags 2>&1)
    ms=$((($(date +%s%N) - start) / 1000000))
    errors=$(sed -nE 's/.*errors: ([0-9]+).*/\1/p' <<<"$out" | tail -n 1)
    states=$(sed -nE 's/^ *([0-9]+) states, stored.*/\1/p' <<<"$out" | tail -n 1)
    if [ -z "$errors" ]; then
        echo "FAIL $label: pan gave no verdict: $(tail -n 3 <<<"$out" | tr '\n' ' ')"
        failed=$((failed + 1))
    elif [ "$expect" = pass ] && [ "$errors" -eq 0 ]; then
        echo "ok   $label: no errors, $states states, ${ms} ms"
        passed=$((passed + 1))
    elif [ "$expect" = fail ] && [ "$errors" -gt 0 ] &&
        grep -m1 -o 'assertion violated.*' <<<"$out" | grep -qE "assertion violated.*(${violation})"; then
        echo "ok   $label: fails as it must ($(grep -m1 -o 'assertion violated.*' <<<"$out")), ${ms} ms"
        passed=$((passed + 1))
    else
        echo "FAIL $label: expected to $expect, pan reports $errors error(s):"
        grep '^pan:' <<<"$out" | head -n 3 | sed 's/^/     /'
        echo "     to replay, in a scratch directory with a copy of $path:"
        echo "     spin $dflags -a $model; gcc $cflags -o pan pan.c; ./pan $pflags; spin $dflags -t -p $model"
        failed=$((failed + 1))
    fi
}

if ! command -v spin >/dev/null || ! command -v gcc >/dev/null; then
    echo "check-models.sh: spin and gcc are needed (scripts/install-deps.sh installs them)" >&2
    echo "models: 0 passed, 1 failed"
    exit 1
fi

safety="-DSAFETY -DNOCLAIM"
events=so/events/models device=so/device/models
check worker_stop-safety $events/worker_stop.pml pass "" "$safety" "-m100000"
check worker_stop-liveness $events/worker_stop.pml pass "" "" "-m100000 -a -f"
check worker_stop-old $events/worker_stop.pml fail "-DOLD" "$safety" "-m100000" "asked"
# The monitor's reopen under the port mutex: a stop ends it by force while it holds the mutex.
check worker_stop-old-reopen $events/worker_stop.pml fail "-DOLD_REOPEN" "$safety" "-m100000" "holds"
check event_delivery $events/event_delivery.pml pass "" "-DSAFETY" "-m1000000"
check event_delivery-sessions $events/event_delivery.pml pass "-DSESSIONS=2 -DNREC=2 -DMAXOPS=2" "-DSAFETY" "-m1000000"
check event_delivery-old $events/event_delivery.pml fail "-DOLD -DSESSIONS=2 -DNREC=2 -DMAXOPS=2" "-DSAFETY" "-m1000000" "frozen|session"
# Late replies and failed set-ups are the default build's; the other builds leave out what it
# covers to stay small (a late reply changes nothing the opener, the power or the lifecycle do).
check drawer_link $device/drawer_link.pml pass "" "$safety" "-m100000"
check drawer_link-giveup $device/drawer_link.pml pass "-DKPOLLS=3 -DNCALLS=1" "$safety" "-m100000"
check drawer_link-autoreconnect $device/drawer_link.pml pass "-DAUTORECONNECT -DNLATE=0" "$safety" "-m100000"
check drawer_link-lifecycle $device/drawer_link.pml pass "-DLIFECYCLE -DNCALLS=3 -DNLATE=0 -DNPOLL=2" "$safety" "-m100000"
check drawer_link-lifecycle-autoreconnect $device/drawer_link.pml pass \
    "-DLIFECYCLE -DAUTORECONNECT -DNLATE=0 -DNCFG=0 -DNPOLL=2" "$safety" "-m100000"
# The old drawer link fails on check 1 or 2, whichever pan meets first.
check drawer_link-old $device/drawer_link.pml fail "-DOLD" "$safety" "-m100000" "changedBy|closedSince"
check drawer_link-old-halfopen $device/drawer_link.pml fail "-DOLD_HALFOPEN" "$safety" "-m100000" "configured"
check drawer_link-old-unpurged $device/drawer_link.pml fail "-DOLD_UNPURGED" "$safety" "-m100000" "rxSeq"
check drawer_link-old-power $device/drawer_link.pml fail "-DAUTORECONNECT -DOLD_POWER" "$safety" "-m100000" "powerSeen"

echo "models: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
