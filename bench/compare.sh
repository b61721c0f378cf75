#!/usr/bin/env bash
# Compares whole-process load plus save of module documents of about 1, 10 and
# 50 MB: `vantrell plist format IN OUT`, libplist's C API (libplist_driver) and
# Python's plistlib, then shows plist_bench's in-process figures.
#
# Environment:
#   VANTRELL_GENERATOR    the document generator (default ../shared/tools/gen_module_document.py
#                         relative to the repository root)
#   VANTRELL_BENCH_BUILD  the release build directory (default build-release)
#   VANTRELL_BENCH_RUNS   runs per tool and file; the median counts (default 5)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
generator=${VANTRELL_GENERATOR:-$root/../shared/tools/gen_module_document.py}
build=${VANTRELL_BENCH_BUILD:-$root/build-release}
runs=${VANTRELL_BENCH_RUNS:-5}
data=$build/bench-data

if ! pkg-config --exists libplist-2.0; then
  echo "Installing libplist-dev for the reference driver..."
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get install -y libplist-dev
fi

# Configure every time: a build directory made before libplist was installed
# lacks the driver. The machine is shared, so at most two jobs.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTRELL_SANITIZE=OFF \
  -DVANTRELL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target vantrell plist_bench timed_run libplist_driver

# Library counts that give documents of about 1, 10 and 50 MB.
mkdir -p "$data"
files=()
for pair in 1:86 10:810 50:4000; do
  file=$data/modules-${pair%%:*}MB.plist
  [ -s "$file" ] || python3 "$generator" --libraries "${pair##*:}" --seed 1 -o "$file"
  files+=("$file")
done

python3 "$root/bench/measure.py" --runs "$runs" --out-dir "$data" --timed-run "$build/bench/timed_run" \
  --vantrell "$build/tools/vantrell" --libplist "$build/bench/libplist_driver" "${files[@]}"
echo
for file in "${files[@]}"; do
  "$build/bench/plist_bench" "$file" "$runs"
done
