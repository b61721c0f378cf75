#!/usr/bin/env bash
# Builds the library and the test suite under AddressSanitizer,
# UndefinedBehaviorSanitizer and LeakSanitizer, then runs every test through
# CTest, each test in a process of its own.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
build=${VANTRELL_TEST_BUILD_DIR:-build-asan}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTRELL_SANITIZE=ON \
      -DVANTRELL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2
# The optimised build of the framework and the command (what scripts/run.sh
# builds) must compile too: -O3 brings warnings of its own.
release=${VANTRELL_RELEASE_BUILD_DIR:-build-release-check}
cmake -S . -B "$release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTRELL_BUILD_TESTS=OFF \
      -DVANTRELL_BUILD_BENCH=OFF >/dev/null
cmake --build "$release" -j2 --target Vantrell vantrell

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" -j2 --output-on-failure --timeout 600
