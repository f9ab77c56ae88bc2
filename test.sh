#!/usr/bin/env bash
# Sets up, builds and runs every test; exits non-zero on any failure. Needs no display.
#
#   ./test.sh          the plain build and its tests, then the whole suite again under
#                      AddressSanitizer and UndefinedBehaviorSanitizer (build-asan), then the
#                      picture fuzzer for two minutes (build-fuzz, see scripts/fuzz.sh), then the
#                      ARM64 build and its tests under qemu (build-arm64, see scripts/arm64.sh)
#   ./test.sh --fast   the plain build and its tests only, no sanitizers, fuzzer or ARM64 (also
#                      EDGEPIPE_FAST=1)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")" && pwd)
source "$ROOT/scripts/setup.sh"

FAST=${EDGEPIPE_FAST:-0}
for argument in "$@"; do
    case "$argument" in
        --fast) FAST=1 ;;
        *) echo "usage: $0 [--fast]   (--fast: the plain build only; no sanitizers, fuzzer or ARM64)" >&2; exit 2 ;;
    esac
done
START=$(date +%s)
elapsed() { echo "$(($(date +%s) - START)) s"; }

ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
[ "$FAST" = 1 ] || ensure_packages "${FUZZ_PACKAGES[@]}"

echo "== format (scripts/format.sh formats in place)"
"$ROOT/scripts/format.sh" --check
echo "== translations (every marked text translated, none left over)"
"$ROOT/scripts/translations.sh"
echo "== plain build and tests"
configure_build "$ROOT/build" -DCMAKE_BUILD_TYPE=Release -DEDGEPIPE_TESTS=ON -DEDGEPIPE_WERROR=ON
cmake --build "$ROOT/build"
ctest --test-dir "$ROOT/build" --output-on-failure -j2
if [ "$FAST" = 1 ]; then
    echo "== --fast: sanitizer build and fuzzing skipped ($(elapsed))"
    exit 0
fi

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer ($(elapsed))"
configure_build "$ROOT/build-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEDGEPIPE_TESTS=ON -DEDGEPIPE_WERROR=ON \
    -DEDGEPIPE_SANITIZE=ON
cmake --build "$ROOT/build-asan"
# Any report ends the test program with a failure, so ctest fails with it.
ASAN_OPTIONS=abort_on_error=1:detect_leaks=1 \
LSAN_OPTIONS=suppressions="$ROOT/scripts/lsan.supp" \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$ROOT/build-asan" --output-on-failure -j2

echo "== picture fuzzer ($(elapsed))"
"$ROOT/scripts/fuzz.sh"

echo "== ARM64 build and tests under qemu ($(elapsed))"
"$ROOT/scripts/arm64.sh"
echo "== all passed in $(elapsed)"
