#!/usr/bin/env bash
# vantorctl.sh PREFIX HOST_BUILD_DIR VANTORCTL_EXE
# vantorctl.exe under Wine against vantor-sim on the host, through COM12:
# the identity, and a whole log download that must equal, byte for byte,
# the host vantorctl's download of the same log, and must verify.
set -euo pipefail
prefix=$1 host=$2 exe=$3
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d)
sim_pid=""
cleanup() {
    [[ -n "$sim_pid" ]] && kill "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

exec {sim_out}< <(exec "$host/vantor-sim" --logs 4 --seed 7)
sim_pid=$!
read -r device <&"$sim_out"
ln -sfn "$device" "$prefix/dosdevices/com12"
cd "$work"

fail() { echo "FAILED: $*" >&2; exit 1; }

identity=$(wine "$exe" --port COM12: identity | tr -d '\r')
echo "$identity"
grep -q "A1B" <<<"$identity" || fail "identity under Wine: $identity"

wine "$exe" --port COM12: logs get 2 -o windows.igc
"$host/vantorctl" --port "$device" logs get 2 -o host.igc
cmp windows.igc host.igc || fail "the download under Wine differs from the host's"
[[ $(stat -c %s windows.igc) -gt 10000 ]] || fail "the log is too short"
wine "$exe" verify windows.igc | tr -d '\r' | grep -q "Security OK" || fail "the download does not verify"
echo "vantorctl.exe: identity, a log of $(stat -c %s windows.igc) bytes equal to the host's, verified"
