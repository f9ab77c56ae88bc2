#!/usr/bin/env bash
# Builds the benchmarks in a Release folder of their own, runs them against OpenCV in one run and
# prints the tables (also kept in build-bench/results/, with the raw results of every route). Extra arguments go to both benchmark programs,
# e.g. --benchmark_repetitions=3 for a quicker run.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")" && pwd)
source "$ROOT/scripts/setup.sh"

ensure_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
BUILD="$ROOT/build-bench"
configure_build "$BUILD" -DCMAKE_BUILD_TYPE=Release -DEDGEPIPE_BENCH=ON
cmake --build "$BUILD" -j2 --target kernels_bench presses_bench job_bench edgepipe

RESULTS="$BUILD/results"
mkdir -p "$RESULTS"
START=$(date +%s)
# Repetitions are interleaved at random, so a burst of load elsewhere on the machine spreads over
# every row instead of spoiling one; the tables use the medians. (The 10000 x 8000 presses run 3.)
COMMON=(--benchmark_repetitions=7 --benchmark_enable_random_interleaving=true
        --benchmark_report_aggregates_only=true --benchmark_format=console)
echo "Kernels against OpenCV ..."
"$BUILD/bench/kernels_bench" "${COMMON[@]}" --benchmark_out="$RESULTS/kernels.json" \
    --benchmark_out_format=json "$@" >"$RESULTS/kernels.txt"
echo "Split sizes ..."
"$BUILD/bench/kernels_bench" --split-sweep "${COMMON[@]}" --benchmark_out="$RESULTS/split.json" \
    --benchmark_out_format=json "$@" >"$RESULTS/split.txt"
echo "Presses through the window ..."
QT_QPA_PLATFORM=offscreen "$BUILD/bench/presses_bench" "${COMMON[@]}" --memory="$RESULTS/memory.txt" \
    --benchmark_out="$RESULTS/presses.json" --benchmark_out_format=json "$@" >"$RESULTS/presses.txt"
echo "The batch and the whole job ..."
python3 "$ROOT/bench/batch_bench.py" "$BUILD" "$RESULTS" >"$RESULTS/batch.md"
echo
python3 "$ROOT/bench/table.py" "$RESULTS/kernels.json" "$RESULTS/presses.json" "$RESULTS/memory.txt" \
    "$RESULTS/split.json" "$RESULTS/batch.json" | tee "$RESULTS/table.md"
echo "Benchmarks took $(($(date +%s) - START)) s."
