#!/usr/bin/env bash
# Builds everything and runs every test. On a fresh Debian machine it first
# installs what is missing. Warnings are errors in every build made here.
#   ./test.sh           the host build's tests, then the Windows build's tests
#                       under Wine (mingw-w64 and Wine are installed for them)
#   ./test.sh --native  the host build's tests only
#   ./test.sh --asan    the host build with AddressSanitizer and
#                       UndefinedBehaviorSanitizer, in build-asan/
#   ./test.sh --builds  the builds a packager or another compiler makes, each
#                       whole, with the tests that need no instrument: Release
#                       in build-release/ and clang in build-clang/
#   ./test.sh --fuzz SECONDS
#                       every libFuzzer target for SECONDS (fuzz/run.sh, in
#                       build-fuzz/)
set -euo pipefail
cd "$(dirname "$0")"

usage() {
    echo "usage: ./test.sh [--native | --asan | --builds | --fuzz SECONDS]" >&2
    exit 2
}

mode=${1:-all}
case "$mode" in
    all | --native | --asan | --builds) [[ $# -le 1 ]] || usage ;;
    --fuzz) [[ $# -eq 2 ]] || usage ;;
    *) usage ;;
esac

tools/install-deps.sh
tools/install-deps.sh --oracles
jobs=$(nproc 2>/dev/null || echo 2)

# Configures and builds DIR whole with warnings as errors, then runs its tests:
# every one, or with "quick" only the programs that need no instrument, which
# are what a change of optimiser or compiler is likeliest to break.
build_and_test() {
    local dir=$1 tests=$2
    shift 2
    cmake -S . -B "$dir" -DVANTOR_WERROR=ON "$@"
    cmake --build "$dir" -j"$jobs"
    if [[ "$tests" == quick ]]; then
        "$dir/tests/core_tests" --gtest_brief=1
        "$dir/tests/security_tests" --gtest_brief=1
    else
        ctest --test-dir "$dir" --output-on-failure -j"$jobs"
    fi
}

case "$mode" in
    --asan)
        build_and_test build-asan all -DCMAKE_BUILD_TYPE=Debug -DVANTOR_SANITIZE=ON
        ;;
    --builds)
        build_and_test build-release quick -DCMAKE_BUILD_TYPE=Release
        tools/install-deps.sh --clang
        build_and_test build-clang quick -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_CXX_COMPILER=clang++
        ;;
    --fuzz)
        tools/install-deps.sh --clang
        fuzz/run.sh "$2"
        ;;
    *)
        build_and_test build all -DCMAKE_BUILD_TYPE=RelWithDebInfo
        ;;
esac

if [[ "$mode" == "all" ]]; then
    # The core, vantorctl.exe and their tests for Windows, run under Wine
    # against simulators of the host build.
    tools/install-deps.sh --windows
    build_and_test build-win all --toolchain cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_GUI=OFF -DVANTOR_HOST_TOOLS_DIR="$PWD/build"
fi
