#!/usr/bin/env bash
# Installs, with apt, whatever the build and the tests need and this machine lacks.
#   tools/install-deps.sh            the host build: compiler, CMake, GoogleTest, Qt 6
#   tools/install-deps.sh --windows  the Windows build and its tests: mingw-w64 and Wine
#   tools/install-deps.sh --clang    the clang build and the libFuzzer targets: clang
#                                    and its runtime libraries (libFuzzer, sanitizers)
set -euo pipefail
case "${1:-}" in
    --windows)
        # Wine with what it recommends: the set the Windows tests are known to run on.
        packages=(g++-mingw-w64-x86-64-posix wine wine64)
        apt_options=()
        ;;
    --clang)
        packages=(clang libclang-rt-14-dev)
        apt_options=(--no-install-recommends)
        ;;
    *)
        packages=(cmake g++ make libgtest-dev qt6-base-dev qt6-qpa-plugins fonts-dejavu-core)
        apt_options=(--no-install-recommends)
        ;;
esac
missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=""
    [[ "$(id -u)" -ne 0 ]] && sudo=sudo
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${apt_options[@]}" "${missing[@]}"
fi
