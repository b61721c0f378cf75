#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/, clang with libFuzzer, its own build folder)
# and runs each for SECONDS (default 20) on a temporary copy of its seed
# corpus, so that a run never grows the corpus in the repository. Fails when
# a target finds a crash, a leak or a failed check; the input that did it is
# kept in the run's artifact folder, named in the output.
#   scripts/fuzz.sh [SECONDS]
# VANTRELL_FUZZ_BUILD_DIR names the build folder (default build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

seconds=${1:-20}
build=${VANTRELL_FUZZ_BUILD_DIR:-build-fuzz}
targets=(fuzz_plist_reader fuzz_plist_differential fuzz_document_ops fuzz_alias_descriptors)

args=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTRELL_FUZZ=ON -DVANTRELL_BUILD_TESTS=OFF
      -DVANTRELL_BUILD_BENCH=OFF -DVANTRELL_WERROR=ON)
if command -v ccache >/dev/null; then
    args+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S . -B "$build" "${args[@]}" >/dev/null
cmake --build "$build" -j2 --target vantrell_fuzz
bin=$(cd "$build/fuzz" && pwd)

# Scratch folders of the targets and the corpus copies live here; a target
# killed on a failure leaves its scratch folder behind, removed with it.
# In memory where possible: the document target saves (and flushes) often.
base=${TMPDIR:-/tmp}
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then base=/dev/shm; fi
work=$(mktemp -d "$base/vantrell-fuzz-run.XXXXXX")
keep=
cleanup() { [ -n "$keep" ] || rm -rf "$work"; }
trap cleanup EXIT

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=()
for target in "${targets[@]}"; do
    corpus="$work/corpus/$target"
    artifacts="$work/artifacts/$target/"
    mkdir -p "$corpus" "$artifacts" "$work/tmp"
    cp "fuzz/corpus/$target/"* "$corpus/"
    echo "== $target: ${seconds}s"
    # Paths are absolute: the document target works in a folder of its own.
    if TMPDIR="$work/tmp" "$bin/$target" -max_total_time="$seconds" -timeout=30 \
        -print_final_stats=1 -artifact_prefix="$artifacts" "$corpus" >"$work/$target.log" 2>&1; then
        grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)' \
            "$work/$target.log" | sed 's/^stat::/   /'
    else
        failed+=("$target")
        keep=1
        tail -n 60 "$work/$target.log"
        echo "$target failed; log $work/$target.log, input in $artifacts" >&2
    fi
done

if [ "${#failed[@]}" -gt 0 ]; then
    echo "fuzzing failed: ${failed[*]} (copy the input into fuzz/regressions/<target>/)" >&2
    exit 1
fi
echo "fuzzing passed: ${targets[*]}"
