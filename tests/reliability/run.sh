#!/usr/bin/env bash
# The whole reliability proof against a built tree: crash consistency, fault injection,
# hostile servers, load. Each part prints what it tried and its violations; the summary
# lines are repeated at the end.
# Usage: tests/reliability/run.sh BUILD_DIR   (KILLS, SEED and PARTS override the defaults)
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "${1:-build}")
python=/usr/bin/python3
kills=${KILLS:-300}
seed=${SEED:-$(date +%s)}
parts=${PARTS:-"crash faults hostile load"}
for program in "$build/bin/ornel_ftp" "$build/bin/ornel_crypt"; do
    if [[ ! -x "$program" ]]; then
        echo "reliability: $program is missing; build first (make build)" >&2
        exit 2
    fi
done
status=0
log=$(mktemp)
run() {
    echo "=== $1"
    shift
    "$@" 2>&1 | tee -a "$log"
    local rc=${PIPESTATUS[0]}
    [[ $rc -eq 0 ]] || status=1
}
for part in $parts; do
    case $part in
        crash) run "crash consistency ($kills kill points, seed $seed)" \
            "$python" "$here/crash_consistency.py" --build "$build" --kills "$kills" --seed "$seed" \
            --leftover-partials ;;
        faults) run "fault injection (seed $seed)" "$python" "$here/fault_injection.py" --build "$build" --seed "$seed" ;;
        hostile) run "hostile servers" "$python" "$here/hostile_servers.py" --build "$build" ;;
        load) run "load" "$python" "$here/load.py" --build "$build" ;;
    esac
done
echo "=== summary"
grep -E '^(CRASH CONSISTENCY|FAULT INJECTION|HOSTILE SERVERS|LOAD):' "$log"
rm -f "$log"
exit $status
