# Installs the Debian packages the project needs, and nothing that is already there.
# Sourced by run.sh, test.sh and bench.sh.

# libhwy-dev: Google Highway, which builds the row kernels once for every vector instruction set.
# qt6-l10n-tools: lupdate and lrelease; qt6-tools-dev: the CMake package that ties them into the build.
BUILD_PACKAGES=(g++ cmake ninja-build qt6-base-dev qt6-qpa-plugins fonts-noto-cjk libhwy-dev qt6-l10n-tools
                qt6-tools-dev)
# locales-all: the locales the language tests run under (zh_TW, en_US, de_DE); qt6-translations-l10n:
# Qt's own translations, for Qt's buttons in Chinese.
TEST_PACKAGES=(libgtest-dev libgmock-dev dpkg-dev desktop-file-utils clang-format locales-all qt6-translations-l10n)
# The fuzzer: clang and its runtime libraries, which hold libFuzzer and the sanitizers.
FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)
# The options test.sh gives build/ (written out there as well, where tools read them). run.sh
# configures a fresh build/ with the same ones, so the two never rebuild each other's work.
PLAIN_BUILD_OPTIONS=(-DCMAKE_BUILD_TYPE=Release -DEDGEPIPE_TESTS=ON -DEDGEPIPE_WERROR=ON)
# Benchmarks only: Google Benchmark, OpenCV to compare with, Python for the tables.
BENCH_PACKAGES=(libbenchmark-dev libopencv-dev python3)
# ./package.sh: dpkg-shlibdeps to compute the dependencies, and the checkers of the package.
PACKAGE_PACKAGES=(dpkg-dev lintian appstream desktop-file-utils)
# The ARM64 build (scripts/arm64.sh, ./package.sh --arch arm64): the cross compiler, the ARM64
# libraries through multiarch, Qt's code generators for this machine, and qemu to run the tests.
ARM64_PACKAGES=(g++-aarch64-linux-gnu libc6-dev:arm64 qt6-base-dev:arm64 qt6-qpa-plugins:arm64
                libgtest-dev:arm64 libgmock-dev:arm64 libhwy-dev:arm64 qt6-base-dev-tools qemu-user)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

ensure_packages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    DEBIAN_FRONTEND=noninteractive as_root apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
}

# Lets apt install ARM64 packages beside this machine's own.
ensure_arm64_architecture() {
    dpkg --print-foreign-architectures | grep -qx arm64 && return 0
    as_root dpkg --add-architecture arm64
    as_root apt-get update -qq
}

# configure_build DIR [cmake options...]: configures once, then only when the options change.
configure_build() {
    local dir=$1
    shift
    local wanted="$*"
    if [ ! -f "$dir/build.ninja" ] || [ "$(cat "$dir/.edgepipe-options" 2>/dev/null)" != "$wanted" ]; then
        mkdir -p "$dir"
        cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >"$dir/configure.log" 2>&1 || { cat "$dir/configure.log"; return 1; }
        echo "$wanted" >"$dir/.edgepipe-options"
    fi
}
