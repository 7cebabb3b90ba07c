#!/bin/bash
# Pictures rendered in tiles by GNU parallel, three processes at a time, then assembled: each
# must be byte for byte the single run's. A case is one line at the end; the deep ones share
# their reference orbit through a file, as machines sharing a folder would.
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

# 16384 pixels a row make strips of 64 rows.
spread_tiles plain 3 .png --view -0.76 -0.72 0.1 0.11 --size 16384x150
spread_tiles plain-jpeg 5 .jpg --view -0.76 -0.72 0.1 0.11 --size 16384x300
spread_tiles deep 3 .png --centre -0.743643887037151 0.131825904205330 --radius 1e-20 --iterations 300 \
    --size 16384x150
spread_tiles deep-julia 3 .png --kind julia --julia -0.5/0.6 --centre 0.1 0.2 --radius 1e-18 \
    --iterations 100 --size 16384x150
echo PASS
