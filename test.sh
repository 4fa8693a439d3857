#!/usr/bin/env bash
# Builds everything and runs every test. On a fresh Debian machine it first
# installs what is missing.
#   ./test.sh           the host build's tests, then the Windows build's tests
#                       under Wine (mingw-w64 and Wine are installed for them)
#   ./test.sh --native  the host build's tests only
#   ./test.sh --asan    the host build with AddressSanitizer and
#                       UndefinedBehaviorSanitizer, in build-asan/
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-all}
build_dir=build
cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [[ "$mode" == "--asan" ]]; then
    build_dir=build-asan
    cmake_args=(-DCMAKE_BUILD_TYPE=Debug -DVANTOR_SANITIZE=ON)
fi

tools/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$build_dir" "${cmake_args[@]}"
cmake --build "$build_dir" -j"$jobs"
ctest --test-dir "$build_dir" --output-on-failure -j"$jobs"

if [[ "$mode" == "all" ]]; then
    # The core, vantorctl.exe and their tests for Windows, run under Wine
    # against simulators of the host build.
    tools/install-deps.sh --windows
    cmake -S . -B build-win --toolchain cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_GUI=OFF -DVANTOR_HOST_TOOLS_DIR="$PWD/build"
    cmake --build build-win -j"$jobs"
    ctest --test-dir build-win --output-on-failure -j"$jobs"
fi
