#!/usr/bin/env bash
# Builds the library and the test suite under AddressSanitizer,
# UndefinedBehaviorSanitizer and LeakSanitizer with GCC and runs every test
# through CTest, each test in a process of its own. Then the optimised build
# of everything, tests and benchmarks included (what a user's plain Release
# build compiles), must compile with GCC and with Clang, and the Clang-built
# suite runs too, so that the code depends on neither compiler. Warnings are
# errors in all three builds (VANTRELL_WERROR).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

common=(-G Ninja -DVANTRELL_WERROR=ON)
if command -v ccache >/dev/null; then
    common+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# configure DIR C-COMPILER C++-COMPILER CMAKE-ARGUMENTS...
# A build folder made with another compiler is configured afresh: changing
# the compiler of an existing cache would drop the other settings once.
configure() {
    local dir=$1 cc=$2 cxx=$3
    shift 3
    local fresh=()
    if [ -f "$dir/CMakeCache.txt" ]; then
        local cached
        cached=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$dir/CMakeCache.txt")
        [ "$(realpath "$(command -v "$cached" || echo "$cached")")" = \
          "$(realpath "$(command -v "$cxx")")" ] || fresh=(--fresh)
    fi
    CC=$cc CXX=$cxx cmake "${fresh[@]}" -S . -B "$dir" "${common[@]}" "$@" >/dev/null
}

build=${VANTRELL_TEST_BUILD_DIR:-build-asan}
echo "== GCC, Debug, sanitizers: $build"
configure "$build" gcc g++ -DCMAKE_BUILD_TYPE=Debug -DVANTRELL_SANITIZE=ON -DVANTRELL_BUILD_BENCH=OFF
cmake --build "$build" -j2
ctest --test-dir "$build" -j2 --output-on-failure --timeout 600

# -O3 brings warnings of its own (GCC's are not always right): a user's plain
# Release build must stay clean.
release=${VANTRELL_RELEASE_BUILD_DIR:-build-release-check}
echo "== GCC, Release: $release"
configure "$release" gcc g++ -DCMAKE_BUILD_TYPE=Release -DVANTRELL_BUILD_BENCH=ON
cmake --build "$release" -j2

clang=${VANTRELL_CLANG_BUILD_DIR:-build-clang}
echo "== Clang, Release: $clang"
configure "$clang" clang clang++ -DCMAKE_BUILD_TYPE=Release -DVANTRELL_BUILD_BENCH=ON
cmake --build "$clang" -j2
ctest --test-dir "$clang" -j2 --output-on-failure --timeout 600

# Every input surface under libFuzzer for a short while (clang, its own build
# folder); the replays of the corpus and regressions ran with the suite above.
echo "== Fuzzing: scripts/fuzz.sh ${VANTRELL_FUZZ_SECONDS:-20}"
scripts/fuzz.sh "${VANTRELL_FUZZ_SECONDS:-20}"

# A host builds against the installed package (CMake and pkg-config) and runs.
echo "== Installed package, example hosts: $release"
scripts/check-install.sh "$release"
