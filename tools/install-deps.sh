#!/usr/bin/env bash
# Installs, with apt, whatever the build and the tests need and this machine lacks.
set -euo pipefail
packages=(cmake g++ make libgtest-dev qt6-base-dev qt6-qpa-plugins fonts-dejavu-core)
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
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
