#!/usr/bin/env bash
# run.sh --prefix DIR [--bridge PATH --com N] -- PROGRAM.exe [ARGS...]
# Runs a Windows test program under Wine. With --com, a vantor-sim-bridge lends
# the program's simulators pseudo-terminals, each in turn as COM port N.
set -euo pipefail
prefix="" bridge="" com=""
while [[ $# -gt 0 && "$1" != "--" ]]; do
    case "$1" in
        --prefix) prefix=$2; shift 2 ;;
        --bridge) bridge=$2; shift 2 ;;
        --com) com=$2; shift 2 ;;
        *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [[ -n "$com" ]]; then
    exec {out}< <(exec "$bridge" --dosdevices "$prefix/dosdevices" --com "$com")
    bridge_pid=$!
    trap 'kill "$bridge_pid" 2>/dev/null || true' EXIT
    read -r port <&"$out"
    export VANTOR_SIM_BRIDGE="127.0.0.1:$port"
fi
# A Wine client that starts just as the prefix's wineserver is going away is
# refused ("wine client error: ... Connection reset by peer") before the
# program runs at all: that start is tried once more. The program's own
# failures are never retried.
errors=$(mktemp)
trap 'rm -f "$errors"; [[ -n "${bridge_pid:-}" ]] && kill "$bridge_pid" 2>/dev/null; true' EXIT
for attempt in 1 2; do
    status=0
    wine "$@" 2>"$errors" || status=$?
    cat "$errors" >&2
    if [[ $status -eq 0 || $attempt -eq 2 ]] || ! grep -q '^wine client error' "$errors"; then
        break
    fi
    echo "run.sh: Wine refused the start; trying once more" >&2
done
exit "$status"
