#!/bin/bash
# Pictures rendered in tiles by GNU parallel, three processes at a time, then assembled: each
# must be byte for byte the single run's. A case is one line at the end; the deep ones share
# their reference orbit through a file, as machines sharing a folder would. A zoom video's
# keyframes likewise: one range each for three processes started together on one new folder.
set -euo pipefail
BIN_DIR=$1
R=$BIN_DIR/fractal-render
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v parallel >/dev/null || fail "GNU parallel is missing: install the package parallel (make deps)"
cd "$WORK"

# spread_tiles NAME TILES OUT_EXTENSION SET_OPTIONS...
spread_tiles() {
    local name=$1 tiles=$2 extension=$3
    shift 3
    local reference=()
    if [[ " $* " == *" --centre "* ]]; then
        "$R" set "$@" -q --save-reference "$name.orbit"
        reference=(--load-reference "$name.orbit")
    fi
    "$R" set "$@" -q -o "$name-single$extension"
    mkdir "$name"
    seq 1 "$tiles" | parallel --will-cite --halt now,fail=1 -j 3 \
        "$R" set "$@" "${reference[@]}" -q --tile "{}/$tiles" -o "$name/tile_{}.png"
    "$R" assemble -q -o "$name-assembled$extension" "$name"
    cmp "$name-single$extension" "$name-assembled$extension" || fail "$name: the assembly differs"
    echo "ok $name"
}

# spread_video NAME JOBS SET_OPTIONS...
spread_video() {
    local name=$1 jobs=$2
    shift 2
    "$R" set "$@" -q --video "$name-single.mp4"
    local count
    count=$("$R" set "$@" --video "$name.mp4" --keyframes-count)
    [[ $count =~ ^[0-9]+$ && $count -ge $jobs ]] || fail "$name: '$count' keyframes for $jobs jobs"
    for ((j = 0; j < jobs; j++)); do echo "$((j * count / jobs)):$(((j + 1) * count / jobs - 1))"; done |
        parallel --will-cite --halt now,fail=1 -j "$jobs" \
            "$R" set "$@" -q --video "$name.mp4" --keyframes "$name.keyframes" --keyframes-only --range {}
    [[ $(find "$name.keyframes" -name "keyframe_*.png" | wc -l) -eq $count ]] || fail "$name: keyframes missing"
    "$R" assemble -q --keyframes "$name.keyframes" --video "$name-assembled.mp4"
    cmp "$name-single.mp4" "$name-assembled.mp4" || fail "$name: the assembled video differs"
    echo "ok $name ($count keyframes)"
}

# 16384 pixels a row make strips of 64 rows.
spread_tiles plain 3 .png --view -0.76 -0.72 0.1 0.11 --size 16384x150
spread_tiles plain-jpeg 5 .jpg --view -0.76 -0.72 0.1 0.11 --size 16384x300
spread_tiles deep 3 .png --centre -0.743643887037151 0.131825904205330 --radius 1e-20 --iterations 300 \
    --size 16384x150
spread_tiles deep-julia 3 .png --kind julia --julia -0.5/0.6 --centre 0.1 0.2 --radius 1e-18 \
    --iterations 100 --size 16384x150
spread_video video 3 --centre -0.743643887037151 0.13182590420533 --radius 1e-6 --iterations 300 \
    --size 32x18 --fps 4 --doubling-seconds 0.5
echo PASS
