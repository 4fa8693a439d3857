#!/usr/bin/env bash
# Runs the utility against the built-in simulated instrument; no hardware needed.
#   ./run.sh                 the Qt program, with COM1 leading to the simulator; on a
#                            machine with no display, the main job from the command line
#   ./run.sh COMMAND [ARGS]  a vantorctl command against the simulator instead
# The program's settings live in build/run-settings, not in yours.
set -euo pipefail
cd "$(dirname "$0")"

headless=false
[[ $# -eq 0 && -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]] && headless=true

tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target vantor-sim vantorctl vantor-util \
    >/dev/null

scratch=$(mktemp -d)
build/vantor-sim --baud 4800 >"$scratch/sim.out" &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; rm -rf "$scratch"' EXIT
device=""
for _ in $(seq 100); do
    device=$(head -n 1 "$scratch/sim.out")
    [[ -n "$device" ]] && break
    sleep 0.05
done
[[ -n "$device" ]] || { echo "the simulator did not start" >&2; exit 1; }
echo "Simulated Vantor 2 on $device"

if [[ $# -gt 0 ]]; then
    build/vantorctl --port "$device" "$@"
    exit
fi

if $headless; then
    # No display: the program's main job from the command line instead.
    downloads="$PWD/build/run-downloads"
    mkdir -p "$downloads"
    echo
    echo "The flight logs in the simulated instrument:"
    build/vantorctl --port "$device" logs
    echo
    echo "Downloading the first one..."
    saved=$(build/vantorctl --port "$device" logs get 0 -o "$downloads" 2>/dev/null | head -n 1)
    echo
    build/vantorctl verify "$saved"
    echo
    echo "The log is saved in $saved"
    echo
    echo "There is no display for the program's window here. To see it, run ./run.sh on a"
    echo "desktop, or under a virtual display: apt-get install xvfb xauth && xvfb-run -a ./run.sh"
    exit 0
fi

# The program's settings for these runs are kept under build/, so what Setup
# stores lasts from run to run; only COM1 is pointed at this run's simulator.
config="$PWD/build/run-settings"
conf="$config/Tarvek/VantorUtil.conf"
mkdir -p "$config/Tarvek"
touch "$conf"
awk -v dev="$device" '
    /^\[/ { if (inmap && !done) { print "COM1=" dev; done = 1 } inmap = ($0 == "[PortMap]") }
    inmap && /^COM1=/ { next }
    { print }
    END { if (!done) { if (!inmap) print "[PortMap]"; print "COM1=" dev } }
' "$conf" >"$scratch/conf" && cp "$scratch/conf" "$conf"
XDG_CONFIG_HOME="$config" build/vantor-util
