#!/usr/bin/env bash
# Cross-builds edgepipe and its kernel, file and window tests for ARM64 (build-arm64/) and runs them
# under qemu: the kernel tests once on qemu's default processor (NEON) and once on one with SVE.
# ./test.sh runs this; it installs what it needs (the ARM64 libraries through multiarch).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/scripts/setup.sh"

ensure_arm64_architecture
ensure_packages "${ARM64_PACKAGES[@]}"
BUILD="$ROOT/build-arm64"
configure_build "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/aarch64-linux-gnu.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DEDGEPIPE_TESTS=ON
nice cmake --build "$BUILD" -j2 --target edgepipe imaging_tests platform_tests app_tests

# The loader and libc from the multiarch root (-L /): the cross compiler's own copies in
# /usr/aarch64-linux-gnu are an older build of glibc, and mixing the two makes locks spin forever.
emulate() { QT_QPA_PLATFORM=offscreen qemu-aarch64 -L / "$@"; }
emulate "$BUILD/edgepipe" --version
echo "== ARM64 kernel tests, NEON"
emulate "$BUILD/tests/imaging_tests"
echo "== ARM64 kernel tests, SVE"
QEMU_CPU=max,sve=on emulate "$BUILD/tests/imaging_tests"
echo "== ARM64 file and window tests"
emulate "$BUILD/tests/platform_tests"
# A test that starts the program as a process of its own would need the system to run ARM64 programs.
emulate "$BUILD/tests/app_tests" --gtest_filter=-Window.ProgramRunsUntilAskedToEnd
