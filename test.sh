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

tools/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$build_dir" "${cmake_args[@]}"
cmake --build "$build_dir" -j"$jobs"
ctest --test-dir "$build_dir" --output-on-failure -j"$jobs"
