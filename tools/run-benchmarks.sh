#!/usr/bin/env bash
# Runs every benchmark program in the given folder, with medians over repetitions.
set -euo pipefail
dir="$1"
status=0
for b in "$dir"/*_bench; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    QT_QPA_PLATFORM=offscreen "$b" --benchmark_repetitions="${REPETITIONS:-5}" \
        --benchmark_report_aggregates_only=true || status=1
done
exit $status
