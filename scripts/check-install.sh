#!/usr/bin/env bash
# Installs the Release build into a temporary prefix, builds the example
# hosts (examples/c-host, examples/cpp-host) against the installed package
# twice, with CMake's find_package and with a plain compiler command line
# from pkg-config, and runs each build in a scratch folder of its own,
# checking what it lists and leaves behind.
#
#   scripts/check-install.sh [RELEASE-BUILD-DIR]
#
# The build folder defaults to the Release build scripts/test.sh makes; a
# missing one is configured (without tests or benchmarks) and built.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-${VANTRELL_RELEASE_BUILD_DIR:-build-release-check}}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTRELL_BUILD_TESTS=OFF \
          -DVANTRELL_BUILD_BENCH=OFF >/dev/null
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --build "$build" -j2 >"$work/build.log" || { cat "$work/build.log"; exit 1; }
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
pc=$(dirname "$(find "$prefix" -name vantrell.pc -print -quit)")

failures=0
fail() {
    echo "check-install: $*" >&2
    failures=$((failures + 1))
}

# check NAME EXECUTABLE: runs it in a fresh folder and checks the listing
# (the root libraries, the registered one and its subfolder's child) and the
# files it must leave there.
check() {
    local name=$1 exe=$2 folder=$work/run-$1 out
    [ -x "$exe" ] || { fail "$name: not built"; return; }
    if ! out=$(env -u LD_LIBRARY_PATH "$exe" "$folder"); then
        fail "$name: exited with an error"
        return
    fi
    local pattern
    for pattern in $'^info\\.module\\.library\\.id\\.user\t' \
                   $'^info\\.module\\.library\\.id\\.local\t' \
                   $'^[0-9A-F]{32}\tExample$' \
                   $'^info\\.module\\.library\\.id\\.auto\\.[0-9a-f]{32}\tTools$'; do
        grep -Eq "$pattern" <<<"$out" || fail "$name: no line matching '$pattern' in:"$'\n'"$out"
    done
    [ -s "$folder/info.library.module.mlix" ] || fail "$name: no module document in its folder"
    [ -d "$folder/User/Library/Scripts/Modules" ] || fail "$name: no user Modules folder"
    "$prefix/bin/vantrell" plist check "$folder/info.library.module.mlix" >/dev/null ||
        fail "$name: the saved document does not parse"
    # The installed command loads the installed framework to read a document.
    env -u LD_LIBRARY_PATH "$prefix/bin/vantrell" -C "$folder" --root "$folder" libraries |
        grep -q "Example" || fail "$name: the installed vantrell cannot list the libraries"
}

for host in c-host cpp-host; do
    cmake -S "examples/$host" -B "$work/cmake-$host" -G Ninja -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
    cmake --build "$work/cmake-$host" >"$work/build-$host.log" || { cat "$work/build-$host.log"; exit 1; }
    check "cmake-$host" "$work/cmake-$host/$host"
done

# -rdynamic exports the example's FSFindFolder, which the framework finds by name.
flags=$(PKG_CONFIG_PATH=$pc pkg-config --cflags --libs vantrell)
# shellcheck disable=SC2086
cc -std=c11 -Wall -Wextra -Werror -rdynamic examples/c-host/main.c $flags -o "$work/pc-c-host"
check pkg-config-c-host "$work/pc-c-host"
# shellcheck disable=SC2086
c++ -std=c++17 -Wall -Wextra -Werror -rdynamic examples/cpp-host/main.cpp $flags \
    -o "$work/pc-cpp-host"
check pkg-config-cpp-host "$work/pc-cpp-host"

if [ "$failures" -ne 0 ]; then
    echo "check-install: $failures failure(s)" >&2
    exit 1
fi
echo "check-install: the installed package serves both examples (CMake and pkg-config)"
