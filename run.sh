#!/usr/bin/env bash
# Runs the utility against the built-in simulated instrument; no hardware needed.
#   ./run.sh                 reads the simulated instrument's identity
#   ./run.sh COMMAND [ARGS]  runs any vantorctl command against it
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target vantor-sim vantorctl >/dev/null

out=$(mktemp)
build/vantor-sim --baud 4800 >"$out" &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; rm -f "$out"' EXIT
device=""
for _ in $(seq 100); do
    device=$(head -n 1 "$out")
    [[ -n "$device" ]] && break
    sleep 0.05
done
[[ -n "$device" ]] || { echo "the simulator did not start" >&2; exit 1; }
echo "Simulated Vantor 2 on $device"
[[ $# -gt 0 ]] || set -- identity
build/vantorctl --port "$device" "$@"
