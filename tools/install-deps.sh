#!/usr/bin/env bash
# Installs, with apt, whatever the build needs and this machine lacks.
set -euo pipefail
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
