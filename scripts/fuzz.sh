#!/usr/bin/env bash
# Builds the picture fuzzer with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# in build-fuzz, replays every input kept in tests/fuzz_regressions, then fuzzes for a bounded
# time. Any crash, leak, sanitizer report, broken promise or hang fails the run; the input that
# caused it is left in build-fuzz/artifacts/ to be added to tests/fuzz_regressions/.
#
# Usage: scripts/fuzz.sh [SECONDS]   (default 120; test.sh runs it with the default)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/scripts/setup.sh"
SECONDS_TO_FUZZ=${1:-120}
BUILD="$ROOT/build-fuzz"

ensure_packages "${BUILD_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}"
mkdir -p "$BUILD"
configure_build "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
    -DEDGEPIPE_FUZZ=ON -DEDGEPIPE_WERROR=ON
cmake --build "$BUILD" --target picture_fuzz

# Seeds: small pictures of every kind kept with the sources, the inputs found before, and the BMP
# suite beside the checkout (copied at run time, each behind the selector byte for ".bmp").
SEEDS="$BUILD/seeds"
rm -rf "$SEEDS" "$BUILD/artifacts" "$BUILD/tmp"
mkdir -p "$SEEDS" "$BUILD/corpus" "$BUILD/artifacts" "$BUILD/tmp"
cp "$ROOT"/fuzz/seeds/* "$SEEDS/"
REGRESSIONS=()
for file in "$ROOT"/tests/fuzz_regressions/*; do
    case "$file" in *.md) continue ;; esac
    [ -f "$file" ] && REGRESSIONS+=("$file") && cp "$file" "$SEEDS/"
done
SUITE="$ROOT/../shared/testdata/bmpsuite"
if [ -d "$SUITE/g" ]; then
    for file in "$SUITE"/*/*.bmp; do
        { printf '\0'; cat "$file"; } >"$SEEDS/bmpsuite-$(basename "$(dirname "$file")")-$(basename "$file")"
    done
else
    echo "fuzz: no ../shared/testdata/bmpsuite beside the checkout; fuzzing from the kept seeds only"
fi

export TMPDIR="$BUILD/tmp"
# Options every run uses: a hang is an input that takes over 30 s; memory may reach the size the
# loader accepts (2^28 pixels decoded at 4 bytes, then 3) but no more.
OPTIONS=(-timeout=30 -rss_limit_mb=6144 -malloc_limit_mb=2048 -artifact_prefix="$BUILD/artifacts/")
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions="$ROOT/scripts/lsan.supp"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

if [ ${#REGRESSIONS[@]} -gt 0 ]; then
    echo "fuzz: replaying ${#REGRESSIONS[@]} kept input(s) from tests/fuzz_regressions"
    "$BUILD/picture_fuzz" "${OPTIONS[@]}" "${REGRESSIONS[@]}" >"$BUILD/regressions.log" 2>&1 ||
        { tail -n 60 "$BUILD/regressions.log"; echo "fuzz: a kept input fails again"; exit 1; }
fi

LOG="$BUILD/fuzz.log"
echo "fuzz: fuzzing for ${SECONDS_TO_FUZZ} s (log: $LOG)"
if ! "$BUILD/picture_fuzz" "${OPTIONS[@]}" -max_total_time="$SECONDS_TO_FUZZ" -max_len=65536 \
    -print_final_stats=1 "$BUILD/corpus" "$SEEDS" >"$LOG" 2>&1; then
    tail -n 80 "$LOG"
    echo "fuzz: FAILED; the input is in $BUILD/artifacts/:"
    ls -l "$BUILD/artifacts/"
    echo "fuzz: once fixed, keep it as a regression: cp $BUILD/artifacts/<file> $ROOT/tests/fuzz_regressions/"
    exit 1
fi
# The closing figures: executions, and coverage as libFuzzer counts it (edges "cov", features "ft").
last=$(grep -E '^#[0-9]+.* cov: ' "$LOG" | tail -n 1 || true)
runs=$(awk '/^stat::number_of_executed_units/ {print $2}' "$LOG")
echo "fuzz: passed: ${runs:-?} executions in ${SECONDS_TO_FUZZ} s;" \
    "cov: $(sed -E 's/.* cov: ([0-9]+).*/\1/' <<<"$last") ft: $(sed -E 's/.* ft: ([0-9]+).*/\1/' <<<"$last");" \
    "corpus $(find "$BUILD/corpus" -type f | wc -l) files"
