#!/usr/bin/env bash
# Builds the fuzz preset and fuzzes every target for FUZZ_SECONDS (default 90), all at the
# same time. New inputs go to build/fuzz/work/<target>, never into the committed corpus. A
# crash, leak, broken property or timeout fails the run: the input is printed as a hex dump and
# kept in build/fuzz/findings/<target>/; once fixed, move it to fuzz/findings/<target>/ so
# that `make test` replays it from then on.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-90}
targets=(decode jpeg_reader uri_list decoder_reply)
jobs=$(nproc 2>/dev/null || echo 2)

start=$SECONDS
tools/fuzz-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs" >/dev/null
echo "fuzz build: $((SECONDS - start)) s"

export ASAN_OPTIONS=abort_on_error=1:symbolize=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
# The targets run side by side: on a 2-core machine each still gets half a core, and the
# step takes FUZZ_SECONDS instead of four times that.
declare -A pids
for target in "${targets[@]}"; do
    work=build/fuzz/work/$target
    found=build/fuzz/findings/$target
    rm -rf "$found"
    mkdir -p "$work" "$found"
    options=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1
             -artifact_prefix="$found/")
    if [ "$target" = decode ] || [ "$target" = jpeg_reader ]; then
        options+=(-dict=fuzz/jpeg.dict)
    fi
    echo "fuzzing $target for $seconds s"
    build/fuzz/bin/fuzz_"$target" "${options[@]}" "$work" "fuzz/corpus/$target" \
        "fuzz/findings/$target" >"build/fuzz/$target.log" 2>&1 &
    pids[$target]=$!
done
failed=()
for target in "${targets[@]}"; do
    found=build/fuzz/findings/$target
    log=build/fuzz/$target.log
    status=0
    wait "${pids[$target]}" || status=$?
    echo "== $target"
    # The last progress line (runs, coverage, corpus) and the final figures.
    grep -E '^#[0-9]+' "$log" | tail -1 || true
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
    if [ "$status" -ne 0 ] || [ -n "$(ls -A "$found")" ]; then
        failed+=("$target")
        echo "FINDING in $target (exit $status); log: $log"
        grep -E -A40 '^==[0-9]+==ERROR|runtime error|property broken|ALARM|out-of-memory' \
            "$log" | head -60 || tail -40 "$log"
        for input in "$found"/*; do
            [ -f "$input" ] || continue
            echo "input kept at $input ($(stat -c %s "$input") bytes):"
            od -A x -t x1z -v "$input" | head -64
        done
    fi
done
echo "fuzz step: $((SECONDS - start)) s"
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing found problems in: ${failed[*]}" >&2
    exit 1
fi
