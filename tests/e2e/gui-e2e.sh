#!/usr/bin/env bash
# The real program under a real X server and window manager, against the
# simulator, driven by real input events:
#   gui-e2e.sh VANTOR_UTIL VANTOR_SIM VANTORCTL OUTPUT_DIR
# Setup chooses another port; Transfer with nothing selected does nothing; a
# log chosen with the keyboard is saved through the file dialog, its
# verification box is waited for and photographed (OUTPUT_DIR/verification.png),
# and the file must equal what vantorctl fetches of the same log.
# Exits 77 (skipped) where no X server can be started.
set -euo pipefail

util=$1 sim=$2 ctl=$3 out=$4
skip() {
    echo "SKIPPED: $*" >&2
    exit 77
}
fail() {
    echo "FAILED: $*" >&2
    [[ -f "${scratch:-}/util.log" ]] && sed 's/^/vantor-util: /' "$scratch/util.log" >&2
    exit 1
}
for tool in Xvfb xdotool openbox xprop import; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (tools/install-deps.sh installs it)"
done

mkdir -p "$out"
scratch=$(mktemp -d)
pids=()
cleanup() {
    # Only what this script started, newest first.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do wait "${pids[i]}" 2>/dev/null || true; done
    rm -rf "$scratch"
}
trap cleanup EXIT

# Polls until a command succeeds, or gives up after SECONDS; never a fixed wait.
wait_for() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || fail "no $what within $seconds s"
        sleep 0.1
    done
}

# An X server on a display number of its own choosing.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
pids+=($!)
deadline=$((SECONDS + 30))
until [[ -s "$scratch/display" ]]; do
    kill -0 "${pids[0]}" 2>/dev/null || skip "the X server did not start: $(tail -n 1 "$scratch/xvfb.log")"
    ((SECONDS < deadline)) || skip "the X server did not start within 30 s"
    sleep 0.1
done
export DISPLAY=":$(head -n 1 "$scratch/display")"
unset WAYLAND_DISPLAY

openbox --sm-disable >"$scratch/openbox.log" 2>&1 &
pids+=($!)
wait_for 30 "window manager" xprop -root _NET_SUPPORTING_WM_CHECK

"$sim" --logs 3 >"$scratch/sim.out" &
pids+=($!)
wait_for 30 "simulator" test -s "$scratch/sim.out"
device=$(head -n 1 "$scratch/sim.out")

# Settings of this run only, as run.sh keeps them: COM2 leads to the simulator
# too, so the download proves that the port chosen in Setup is the one used.
downloads="$scratch/downloads"
mkdir -p "$downloads" "$scratch/config/Tarvek"
cat >"$scratch/config/Tarvek/VantorUtil.conf" <<EOF
[General]
COMPORT=1
MIN_FLIGHT_LOG_TIME=0
DownloadFolder=$downloads
LastFolder=$downloads

[PortMap]
COM1=$device
COM2=$device
EOF
export XDG_CONFIG_HOME="$scratch/config"
export QT_QPA_PLATFORM=xcb

"$util" >"$scratch/util.log" 2>&1 &
util_pid=$!
pids+=($util_pid)

# The id of the one window with this exact title, once it is shown.
# Polled: a search fails now and then when another window goes away under it.
window() {
    local title=$1 id="" deadline=$((SECONDS + 120))
    until id=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1) &&
        [[ -n "$id" ]]; do
        ((SECONDS < deadline)) || fail "no window \"$title\" within 120 s"
        kill -0 "$util_pid" 2>/dev/null || fail "vantor-util ended before \"$title\" showed"
        sleep 0.1
    done
    timeout 30 xdotool windowactivate --sync "$id" >/dev/null 2>&1 || true
    echo "$id"
}
gone() {
    [[ -z "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null)" ]]
}
conf_value() {
    sed -n "s/^$1=//p" "$scratch/config/Tarvek/VantorUtil.conf"
}

main=$(window "Vantor Series Utility")

# Setup: the focus starts on the first button; Setup is the seventh. In the
# port group the arrow keys move the choice from Com 1 to Com 2.
xdotool key --delay 50 Tab Tab Tab Tab Tab Tab space
window "Setup" >/dev/null
xdotool key --delay 50 Tab Tab Down Return
wait_for 60 "closed Setup" gone "Setup"
[[ "$(conf_value COMPORT)" == 2 ]] || fail "Setup did not store COM2 (COMPORT=$(conf_value COMPORT))"

# Transfer Flight Logs, six buttons up from Setup.
xdotool windowactivate --sync "$main"
xdotool key --delay 50 shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab space
window "Transfer Flight Logs" >/dev/null
# The list has the focus and nothing selected: "Transfer" (Return) does nothing.
# Then Down selects the second log and Return asks where to save it.
xdotool key --delay 50 Return Down Return
window "Save As" >/dev/null
saved="$downloads/e2e-log.igc"
xdotool key --delay 20 ctrl+a
xdotool type --delay 20 "$saved"
xdotool key Return
window "Verification" >/dev/null
import -window root "$out/verification.png" || fail "no screenshot"
xdotool key Return
wait_for 60 "closed verification box" gone "Verification"

# Only the one file was written, and it is the log byte for byte.
files=$(find "$downloads" -type f | wc -l)
((files == 1)) || fail "$files files in the download folder, expected the one saved"
"$ctl" --port "$device" logs get 1 -o "$scratch/reference.igc" >/dev/null 2>&1 ||
    fail "vantorctl could not fetch log 1"
cmp "$saved" "$scratch/reference.igc" || fail "the saved log differs from vantorctl's"
[[ "$(conf_value DownloadFolder)" == "$downloads" ]] || fail "the download folder changed"

kill "$util_pid"
echo "end-to-end: Setup chose COM2, Transfer without a selection did nothing, log 1 saved and verified"
