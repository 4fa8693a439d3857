#!/usr/bin/env bash
# Installs, with apt, whatever the build and the tests need and this machine lacks.
#   tools/install-deps.sh            the host build: compiler, CMake, GoogleTest, Qt 6, and
#                                    for the end-to-end test an X server (Xvfb), a window
#                                    manager (openbox), xdotool, xprop and ImageMagick;
#                                    for the install test the desktop entry and
#                                    AppStream validators
#   tools/install-deps.sh --windows  the Windows build and its tests: mingw-w64 and Wine
#   tools/install-deps.sh --clang    the clang build and the libFuzzer targets: clang
#                                    and its runtime libraries (libFuzzer, sanitizers)
#   tools/install-deps.sh --oracles  independent readers the tests compare with: GPSBabel
#                                    (IGC and CUP files), and the igc-parser package (npm)
#                                    in .cache/igc-oracles/; their tests skip without them
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
    --oracles)
        packages=(gpsbabel)
        # A Node.js from elsewhere brings its own npm (and conflicts with Debian's).
        command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)
        apt_options=(--no-install-recommends)
        ;;
    *)
        packages=(cmake g++ make libgtest-dev qt6-base-dev qt6-qpa-plugins fonts-dejavu-core
            xvfb xauth xdotool openbox x11-utils imagemagick desktop-file-utils appstream)
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

# Test oracles only: without the registry the tests that use them skip, so
# this never stops a build.
if [[ "${1:-}" == "--oracles" ]]; then
    oracles="$(cd "$(dirname "$0")/.." && pwd)/.cache/igc-oracles"
    if [[ ! -f "$oracles/node_modules/igc-parser/package.json" ]]; then
        mkdir -p "$oracles"
        npm install --prefix "$oracles" --no-audit --no-fund --no-save igc-parser@2.0.0 ||
            echo "install-deps.sh: igc-parser not installed; its tests will skip" >&2
    fi
fi
