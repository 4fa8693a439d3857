#!/bin/sh
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for
# SECONDS on a copy of its seed corpus (fuzz/corpus/<name>/), so that the
# inputs a run finds never land in the repository. Exits non-zero when any
# target crashes, breaks one of its checks, leaks or hangs; what made it fail
# is kept in build-fuzz/fuzz-runs/<name>/.
#
#   fuzz/run.sh SECONDS [NAME...]     (NAME: e.g. navpoint_file; default all)
#
# Installs nothing: clang++ and libFuzzer come from tools/install-deps.sh
# (clang-14, libclang-rt-14-dev on Debian 12).
set -u

usage() {
    echo "usage: fuzz/run.sh SECONDS [NAME...]" >&2
    exit 2
}

[ $# -ge 1 ] || usage
seconds=$1
shift
case $seconds in
    '' | *[!0-9]*) usage ;;
esac
[ "$seconds" -gt 0 ] || usage

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build="$root/build-fuzz"
runs="$build/fuzz-runs"

cxx=""
for candidate in clang++ clang++-14; do
    if command -v "$candidate" >/dev/null 2>&1; then
        cxx=$(command -v "$candidate")
        break
    fi
done
if [ -z "$cxx" ]; then
    echo "fuzz/run.sh: clang++ not found; tools/install-deps.sh installs it" >&2
    exit 1
fi

if [ $# -eq 0 ]; then
    for source in "$here"/*_fuzzer.cpp; do
        name=$(basename "$source" _fuzzer.cpp)
        set -- "$@" "$name"
    done
fi
for name in "$@"; do
    if [ ! -f "$here/${name}_fuzzer.cpp" ] || [ ! -d "$here/corpus/$name" ]; then
        echo "fuzz/run.sh: no fuzzer or no seed corpus named $name" >&2
        exit 2
    fi
done

jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p "$build"
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVANTOR_FUZZ=ON -DVANTOR_GUI=OFF -DVANTOR_BUILD_TESTS=OFF -DVANTOR_WERROR=ON \
    >"$build/configure.log" 2>&1 || {
    cat "$build/configure.log" >&2
    echo "fuzz/run.sh: configuring $build failed" >&2
    exit 1
}
# The seed writer too, so that it keeps building with the formats it writes.
targets="make_fuzz_corpus"
for name in "$@"; do targets="$targets ${name}_fuzzer"; done
# shellcheck disable=SC2086
cmake --build "$build" -j "$jobs" --target $targets || {
    echo "fuzz/run.sh: building the fuzz targets failed" >&2
    exit 1
}

# Sanitizer findings end the run of a target; its input is kept as an artifact.
export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

failed=""
report=""
for name in "$@"; do
    work="$runs/$name"
    rm -rf "$work"
    mkdir -p "$work/corpus"
    cp "$here/corpus/$name"/* "$work/corpus/"
    echo "== $name: ${seconds} s"
    "$build/fuzz/${name}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" >"$work/log" 2>&1
    status=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log" | tail -n 1)
    line=$(printf '%-26s %12s executions %8s exec/s' "$name" "${execs:-?}" "${rate:-?}")
    if [ "$status" -ne 0 ]; then
        grep -E 'ERROR|SUMMARY|check failed|Test unit written' "$work/log" >&2
        echo "fuzz/run.sh: $name failed (exit $status); the log is $work/log" >&2
        failed="$failed $name"
        line="$line  FAILED"
    fi
    echo "$line"
    report="$report$line
"
done

echo
echo "Fuzzing, ${seconds} s a target:"
printf '%s' "$report"
if [ -n "$failed" ]; then
    echo "fuzz/run.sh: failed:$failed" >&2
    exit 1
fi
