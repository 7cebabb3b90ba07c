#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz (clang, no Qt) and runs each one on a scratch copy
# of its seed corpus, so fuzz/corpus/ only ever holds the files committed there.
#   scripts/fuzz.sh [seconds per target, default 60]
# Fails on any crash, leak, timeout or memory blow-up; the input that did it is kept in
# build-fuzz/artifacts/<target>/. Environment: FUZZ_CXX (clang++-14), FUZZ_BUILD_DIR (build-fuzz).
set -euo pipefail

seconds=${1:-60}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [seconds per target]" >&2
    exit 2
fi

root=$(cd -P "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
cxx=${FUZZ_CXX:-clang++-14}

if ! command -v "$cxx" >/dev/null; then
    echo "$cxx not found: install the Debian packages clang-14 and libclang-rt-14-dev" >&2
    exit 1
fi

mkdir -p "$build"
# Two runs at once (ctest in two build trees, say) would build over each other.
exec 9>"$build/.fuzz.lock"
flock 9

if [[ ! -f "$build/build.ninja" ]]; then
    CXX="$cxx" cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DFRACTALS_FUZZ=ON -DFRACTALS_TESTS=OFF -DFRACTALS_BENCH=OFF
else
    # Configured again so a target whose sources arrived since is in the list.
    cmake "$build" >/dev/null
fi
mapfile -t targets < <(grep -v '^$' "$build/fuzz-targets.txt")
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target $(printf 'fuzz_%s ' "${targets[@]}")

# Memory, where there is some: the targets write a file for every input they try.
scratch_base=/dev/shm
[[ -d "$scratch_base" && -w "$scratch_base" ]] || scratch_base=${TMPDIR:-/tmp}
scratch=$(mktemp -d "$scratch_base/fractals-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
if command -v llvm-symbolizer-14 >/dev/null; then
    export ASAN_SYMBOLIZER_PATH=${ASAN_SYMBOLIZER_PATH:-$(command -v llvm-symbolizer-14)}
fi

stat_of() { # name log
    sed -n "s/^stat::$1: *//p" "$2" | tail -n 1
}

failed=0
summary=()
for t in "${targets[@]}"; do
    work="$scratch/$t"
    mkdir -p "$work/corpus" "$work/tmp" "$work/artifacts"
    if [[ -d "$root/fuzz/corpus/$t" ]]; then
        cp -R "$root/fuzz/corpus/$t/." "$work/corpus/"
    fi
    extra=()
    # A dictionary of the words the target's input is made of, where it has one.
    if [[ -f "$root/fuzz/$t.dict" ]]; then
        extra+=(-dict="$root/fuzz/$t.dict")
    fi
    log="$work/log"
    echo "== fuzz_$t: ${seconds}s"
    start=$(date +%s)
    rc=0
    # cwd and TMPDIR in the scratch folder: whatever a target leaves behind goes with it.
    (cd "$work" && TMPDIR="$work/tmp" "$build/bin/fuzz_$t" "$work/corpus" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -detect_leaks=1 \
        -print_final_stats=1 -artifact_prefix="$work/artifacts/" "${extra[@]}") >"$log" 2>&1 || rc=$?
    elapsed=$(($(date +%s) - start))

    runs=$(stat_of number_of_executed_units "$log")
    speed=$(stat_of average_exec_per_sec "$log")
    added=$(stat_of new_units_added "$log")
    status=ok
    if [[ $rc -ne 0 ]]; then
        failed=1
        if grep -q "ERROR: libFuzzer: timeout" "$log"; then
            status=TIMEOUT
        elif grep -q "LeakSanitizer" "$log"; then
            status=LEAK
        elif grep -q "out-of-memory" "$log"; then
            status=OUT-OF-MEMORY
        else
            status=CRASH
        fi
        kept="$build/artifacts/$t"
        mkdir -p "$kept"
        cp -R "$work/artifacts/." "$kept/" 2>/dev/null || true
        tail -n 60 "$log"
        echo "fuzz_$t: $status (exit $rc); the input is in $kept/" >&2
    fi
    summary+=("$(printf '%-23s %-13s %12s %10s %8s %6s' "fuzz_$t" "$status" "${runs:-?}" "${speed:-?}" \
        "${added:-?}" "${elapsed}s")")
done

echo
printf '%-23s %-13s %12s %10s %8s %6s\n' target status executions exec/s new time
printf '%s\n' "${summary[@]}"
exit $failed
