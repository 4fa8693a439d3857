#!/usr/bin/env bash
# Builds everything and runs every test. On a fresh Debian machine it first
# installs what is missing.  ./test.sh --asan builds and tests with
# AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/.
set -euo pipefail
cd "$(dirname "$0")"

build_dir=build
cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [[ "${1:-}" == "--asan" ]]; then
    build_dir=build-asan
    cmake_args=(-DCMAKE_BUILD_TYPE=Debug -DVANTOR_SANITIZE=ON)
fi

missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v c++ >/dev/null 2>&1 || missing+=(g++)
command -v make >/dev/null 2>&1 || missing+=(make)
[[ -f /usr/include/gtest/gtest.h ]] || missing+=(libgtest-dev)
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=""
    [[ "$(id -u)" -ne 0 ]] && sudo=sudo
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$build_dir" "${cmake_args[@]}"
cmake --build "$build_dir" -j"$jobs"
ctest --test-dir "$build_dir" --output-on-failure -j"$jobs"
