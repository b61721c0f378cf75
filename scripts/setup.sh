#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and CI need, only when
# missing: a fresh Debian 12 machine needs nothing else. scripts/test.sh
# builds with GCC and with Clang (clang) and caches compilations (ccache); the
# tests run python3, nm (binutils, with build-essential) and /bin/sh;
# scripts/fuzz.sh links clang's libFuzzer runtime (libclang-rt-14-dev, the
# runtime of Debian 12's clang).
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config python3 clang ccache libclang-rt-14-dev
          libexpat1-dev libutf8proc-dev uuid-dev libgtest-dev libssl-dev libicu-dev)
if [ "${1:-}" = "--bench" ]; then
    packages+=(libplist-dev)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done

if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
