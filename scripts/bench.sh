#!/usr/bin/env bash
# Runs every benchmark program (build/bin/bench_*). Each starts the servers and the peer
# programs it compares against and prints its figures side by side.
set -uo pipefail
build=${1:-build}
status=0
for b in "$build"/bin/bench_*; do
    [[ -x "$b" ]] || continue
    echo "== $(basename "$b")"
    "$b" || status=1
done
exit $status
