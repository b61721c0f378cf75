#!/usr/bin/env bash
# Builds the framework and the vantrell command, then shows the command at
# work on a demo: a scratch root with a few library folders of scripts.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
build=${VANTRELL_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTRELL_BUILD_TESTS=OFF \
      -DVANTRELL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target vantrell
tool=$(cd "$build/tools" && pwd)/vantrell

demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
mkdir -p "$demo/work" "$demo/Scripts/Text/Case" "$demo/Scripts/Dates" "$demo/Scripts/Lists"
for script in Text/Join Text/Split Text/Case/Upper Dates/Now Dates/Format Lists/Sort; do
    printf 'on run\nend run\n' >"$demo/Scripts/$script.scpt"
done

step() {
    echo
    printf '$ vantrell'
    printf ' %q' "$@"
    echo
    "$tool" --root "$demo/root" -C "$demo/work" "$@"
}

echo "Demo root: $demo (removed at the end)"
step init
step add "$demo/Scripts" --title "Shared scripts"
step scan "Shared scripts" --recursive
step libraries --tree
step find text
step show Dates
step check
