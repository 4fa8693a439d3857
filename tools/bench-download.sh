#!/usr/bin/env bash
# Times log downloads with vantorctl against vantor-sim paced at the line rate,
# with no adapter latency and with 4 ms, and prints each time next to the
# line-rate bound and their ratio. Builds nothing: give it a build directory
# that holds vantor-sim and vantorctl (default build/).
#   tools/bench-download.sh [BUILD_DIR] [RUNS]
# Each figure is the median of RUNS runs (default 3). The cases:
#   short   log 0, about 20 minutes of flight
#   5 h     log 2, a five-hour cross-country flight (seed 4 makes it 4:59)
#   ten     logs 0 to 9 in one connection ("logs get 0 1 ... 9 -d DIR")
# The bound is what the line must carry at 57600, 10 bits a byte: for every
# block its reply (block size + 13 bytes) and its request "b N\r" with the
# echoes of "b N", the log request with its echoes, and the security record
# (214 bytes) with its request. Each case is printed twice: the whole command,
# and the download alone (open to close of the transfer: the whole command less
# the directory read at 4800 that vantorctl does first to name the file, timed
# as "vantorctl logs"). The goal for the download alone is at most
# 1.05 x bound + 1.5 s, which leaves room for the rate changes and their
# prescribed pauses but nothing per block or per log.
set -euo pipefail

build=${1:-build}
runs=${2:-3}
sim=$build/vantor-sim
ctl=$build/vantorctl
for program in "$sim" "$ctl"; do
    if [[ ! -x "$program" ]]; then
        echo "bench-download: $program is missing; build vantor-sim and vantorctl first" >&2
        exit 2
    fi
done

readonly kBlockSize=256  # the simulator's log block size
readonly kSeed=4
work=$(mktemp -d)
simPid=
cleanup() {
    if [[ -n "$simPid" ]]; then
        kill "$simPid" 2>/dev/null || true
        wait "$simPid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Starts a paced simulator with `latency` ms; sets device.
startSim() {
    "$sim" --pace --latency "$1" --seed "$kSeed" --logs 10 >"$work/sim.out" &
    simPid=$!
    device=
    for _ in $(seq 100); do
        device=$(head -n 1 "$work/sim.out" 2>/dev/null || true)
        [[ -n "$device" ]] && return 0
        sleep 0.05
    done
    echo "bench-download: the simulator printed no device" >&2
    exit 1
}

stopSim() {
    kill "$simPid" 2>/dev/null || true
    wait "$simPid" 2>/dev/null || true
    simPid=
}

# Line bytes of the download of log `index` saved in `file`.
lineBytes() {
    local index=$1 file=$2
    local size security data blocks request
    size=$(stat -c %s "$file")
    security=$(grep -a '^G' "$file" | wc -c)  # the security record's data
    data=$((size - security))
    blocks=$((data / kBlockSize + 1))  # the first shorter block, even an empty one, ends it
    request="b $((index + 64))"
    echo $((blocks * (kBlockSize + 13 + 7) + ${#request} * 2 + 1 + 214 + 7))
}

seconds() { awk -v b="$1" 'BEGIN { printf "%.2f", b * 10 / 57600 }'; }

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Runs `vantorctl --port DEV logs ARGS...` RUNS times; prints the median
# time, or nothing when a run fails.
timeRuns() {
    local times=() start end
    for _ in $(seq "$runs"); do
        rm -rf "$work/out" && mkdir -p "$work/out"
        start=$(date +%s.%N)
        if ! "$ctl" --port "$device" logs "$@" >"$work/ctl.out" 2>&1; then
            return 0
        fi
        end=$(date +%s.%N)
        times+=("$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')")
    done
    printf '%s\n' "${times[@]}" | median
}

ratio() { awk -v t="$1" -v b="$2" 'BEGIN { printf "%.2f", t / b }'; }

# Prints the whole command's time and the download's alone against the bound,
# and whether the download meets the goal.
report() {
    local label=$1 time=$2 bytes=$3 bound download goal verdict
    bound=$(seconds "$bytes")
    if [[ -z "$time" ]]; then
        printf '%-28s %8s B  not run: this vantorctl cannot do it\n' "$label" "$bytes"
        return
    fi
    download=$(awk -v t="$time" -v l="$listing" 'BEGIN { printf "%.2f", t - l }')
    goal=$(awk -v b="$bound" 'BEGIN { printf "%.2f", 1.05 * b + 1.5 }')
    verdict=$(awk -v d="$download" -v g="$goal" 'BEGIN { print (d <= g) ? "meets" : "misses" }')
    printf '%-28s %8s B  bound %6.2f s  whole %6.2f s (%s)  download %6.2f s (%s), %s its goal of %.2f s\n' \
        "$label" "$bytes" "$bound" "$time" "$(ratio "$time" "$bound")" "$download" \
        "$(ratio "$download" "$bound")" "$verdict" "$goal"
}

echo "vantorctl logs get against vantor-sim --pace --seed $kSeed, median of $runs runs"
for latency in 0 4; do
    startSim "$latency"
    listing=$(timeRuns)
    echo "latency $latency ms: the directory read alone (vantorctl logs) takes $listing s"
    for index in 0 2; do
        label="latency $latency ms, log $index"
        [[ $index == 2 ]] && label="$label (5 h)" || label="$label (short)"
        time=$(timeRuns get "$index" -o "$work/out/log.igc")
        bytes=0
        [[ -f "$work/out/log.igc" ]] && bytes=$(lineBytes "$index" "$work/out/log.igc")
        report "$label" "$time" "$bytes"
    done

    time=$(timeRuns get 0 1 2 3 4 5 6 7 8 9 -d "$work/out")
    bytes=0
    files=("$work"/out/*.IGC)
    if [[ -n "$time" && ${#files[@]} -eq 10 && -f "${files[0]}" ]]; then
        # The files' names do not say their index, but the requests of logs 0
        # to 9 ("b 64" to "b 73") are all as long as log 0's.
        for file in "${files[@]}"; do
            bytes=$((bytes + $(lineBytes 0 "$file")))
        done
    else
        time=
    fi
    report "latency $latency ms, ten logs" "$time" "$bytes"
    stopSim
done
