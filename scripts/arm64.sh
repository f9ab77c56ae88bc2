#!/usr/bin/env bash
# Cross-builds edgepipe and its kernel, file and window tests for ARM64 (build-arm64/) and runs them
# under qemu: the kernel tests on a processor with NEON alone, then on ones with SVE and SVE2 at
# 256-bit and at 128-bit vectors, so that every ARM64 build of the row kernels runs somewhere (the
# test skips, by name, the builds the processor lacks).
# ./test.sh runs this; it installs what it needs (the ARM64 libraries through multiarch).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/scripts/setup.sh"

ensure_arm64_architecture
ensure_packages "${ARM64_PACKAGES[@]}"
BUILD="$ROOT/build-arm64"
configure_build "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/aarch64-linux-gnu.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DEDGEPIPE_TESTS=ON -DEDGEPIPE_WERROR=ON
nice cmake --build "$BUILD" -j2 --target edgepipe imaging_tests platform_tests app_tests

# The loader and libc from the multiarch root (-L /): the cross compiler's own copies in
# /usr/aarch64-linux-gnu are an older build of glibc, and mixing the two makes locks spin forever.
emulate() { QT_QPA_PLATFORM=offscreen qemu-aarch64 -L / "$@"; }
emulate "$BUILD/edgepipe" --version
for cpu in cortex-a72 max,sve-default-vector-length=32 max,sve-default-vector-length=16; do
    echo "== ARM64 kernel tests on $cpu"
    QEMU_CPU=$cpu emulate "$BUILD/tests/imaging_tests"
done
echo "== ARM64 file and window tests"
emulate "$BUILD/tests/platform_tests"
# The command-line tests (cli_tests) start the program as a process of its own, which would need the
# system itself to run ARM64 programs; they stay with the x86-64 build.
emulate "$BUILD/tests/app_tests"
