#!/usr/bin/env bash
# Builds the framework and the vantrell command, then checks and formats the
# sample module document.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
build=${VANTRELL_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTRELL_BUILD_TESTS=OFF \
      -DVANTRELL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target vantrell

sample=scripts/sample/info.library.module.mlix
"$build/tools/vantrell" plist check "$sample"
echo "$sample: valid"
"$build/tools/vantrell" plist format "$sample"
