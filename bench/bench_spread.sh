#!/bin/bash
# The speed-up of several fractal-render processes on one sequence of deep pictures of the same
# view, all loading one saved reference orbit (--load-reference), with 1, 2 and 3 processes run
# by GNU parallel. Each process is held to one core (taskset; process k on core (k - 1) mod
# cores), as if each worker were a machine of one core, so N workers can reach N times one
# worker's speed only where there are N cores. SPREAD_PIN=0 lets every process use every core.
#
#   bench_spread.sh [FRACTAL_RENDER]     (default: fractal-render beside this script)
#   SPREAD_PICTURES=6 SPREAD_SIZE=500x500 SPREAD_ITERATIONS=3000
set -euo pipefail
R=$(realpath "${1:-$(dirname "$0")/fractal-render}")
pictures=${SPREAD_PICTURES:-6}
size=${SPREAD_SIZE:-500x500}
iterations=${SPREAD_ITERATIONS:-3000}
pin=${SPREAD_PIN:-1}
cores=$(nproc)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
VIEW=(--centre -0.743643887037151 0.131825904205330 --radius 1e-20 --iterations "$iterations" --size "$size")
now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }

start=$(now)
"$R" set "${VIEW[@]}" -q --save-reference view.orbit
reference=$(calc "$(now) - $start")

# Picture k differs from the others in its border colour only: the same view, the same orbit.
run() { # workers
    local workers=$1 start
    rm -rf out && mkdir out
    start=$(now)
    if [[ $pin == 1 ]]; then
        seq 1 "$pictures" | parallel --will-cite -j "$workers" \
            taskset -c '$(( ({%} - 1) % '"$cores"' ))' "$R" set "${VIEW[@]}" --load-reference view.orbit \
            --border '{}' 2 4 -q -o 'out/picture_{}.png'
    else
        seq 1 "$pictures" | parallel --will-cite -j "$workers" \
            "$R" set "${VIEW[@]}" --load-reference view.orbit --border '{}' 2 4 -q -o 'out/picture_{}.png'
    fi
    calc "$(now) - $start"
}

echo "bench_spread: $pictures deep pictures of $size, $iterations iterations, one reference orbit" \
    "(saved in $(printf '%.3f' "$reference") s); $cores cores; processes $([[ $pin == 1 ]] && echo "one core each" || echo "on all cores")"
printf '%-9s %10s %14s %9s %12s\n' workers seconds "pictures/s" speed-up "per worker"
one=
for workers in 1 2 3; do
    seconds=$(run "$workers")
    one=${one:-$seconds}
    speedup=$(calc "$one / $seconds")
    printf '%-9s %10.2f %14.3f %9.2f %12.2f\n' "$workers" "$seconds" "$(calc "$pictures / $seconds")" \
        "$speedup" "$(calc "$speedup / $workers")"
done
