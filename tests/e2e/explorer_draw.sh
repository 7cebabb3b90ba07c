#!/usr/bin/env bash
# The explorer draws the default Mandelbrot picture on M, keeps it when the window is hidden and
# shown again, names a rubber band's region in its caption and draws that region on the next M.
# Usage: explorer_draw.sh <bin-dir>   (run under xvfb-run with a 1024x768 screen)
set -euo pipefail

BIN_DIR=$1
WORK=$(mktemp -d)
PID=""
cleanup() {
    [[ -n "$PID" ]] && kill "$PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

export TMPDIR="$WORK"
unset QT_SCALE_FACTOR QT_FONT_DPI QT_SCREEN_SCALE_FACTORS QT_QPA_PLATFORM

pixel_at() { convert "$1" -depth 8 -format "%[hex:p{$2,$3}]" info: | cut -c1-6 | tr "A-F" "a-f"; }

# Waits until the client pixel ($1,$2) shows colour $3; prints the last colour seen on failure.
wait_for_pixel() {
    local c=""
    for _ in $(seq 1 100); do
        import -window root "$WORK/shot.png"
        c=$(pixel_at "$WORK/shot.png" $((X + $1)) $((Y + $2)))
        [[ "$c" == "$3" ]] && return 0
        sleep 0.1
    done
    echo "$c"
    return 1
}

"$BIN_DIR/zelvor" &
PID=$!
WIN=""
for _ in $(seq 1 300); do
    WIN=$(xdotool search --onlyvisible --name '<M> Start, <E> Ende' 2>/dev/null | head -n1 || true)
    [[ -n "$WIN" ]] && break
    sleep 0.1
done
[[ -n "$WIN" ]] || fail "explorer window did not appear"
TITLE=$(xdotool getwindowname "$WIN")
eval "$(xdotool getwindowgeometry --shell "$WIN")"

xdotool windowfocus --sync "$WIN" 2>/dev/null || true
xdotool key m
# Colours of the original scheme for the counts at these pixels of the 601 x 601 default view:
# inside the set the main colour yellow, outside the level colours (n*16, n*2, n*4) mod 256.
# The picture grows column by column from the left: the last column comes last.
got=$(wait_for_pixel 595 595 400810) || fail "pixel (595,595) is $got, expected 400810"
for expect in "350 300 ffff00" "450 300 ffff00" "5 5 400810" "100 300 702e5c" "300 50 600c18"; do
    set -- $expect
    c=$(pixel_at "$WORK/shot.png" $((X + $1)) $((Y + $2)))
    [[ "$c" == "$3" ]] || fail "pixel ($1,$2) is $c, expected $3"
done
[[ "$(xdotool getwindowname "$WIN")" == "$TITLE" ]] || fail "caption after M: $(xdotool getwindowname "$WIN")"
[[ -n "${E2E_SHOTS:-}" ]] && import -window "$WIN" "$E2E_SHOTS/zelvor.png"

# Hidden and shown again, the window still shows its picture.
xdotool windowunmap --sync "$WIN"
xdotool windowmap --sync "$WIN"
got=$(wait_for_pixel 100 300 702e5c) || fail "picture lost after the window was hidden: $got"

# A band dragged to the right and upwards names its region in the caption.
xdotool mousemove $((X + 320)) $((Y + 380)) mousedown 1
xdotool mousemove $((X + 340)) $((Y + 360)) sleep 0.1 mousemove $((X + 380)) $((Y + 320)) sleep 0.2 mouseup 1
ZOOM=""
for _ in $(seq 1 50); do
    ZOOM=$(xdotool getwindowname "$WIN")
    [[ "$ZOOM" == "Zoom:  ("* ]] && break
    sleep 0.1
done
[[ "$ZOOM" == "Zoom:  ("*")  -  ("*")" ]] || fail "caption after the band: $ZOOM"

# The next M draws that region: the band lies inside the main cardioid, all yellow.
xdotool windowfocus --sync "$WIN" 2>/dev/null || true
xdotool key m
got=$(wait_for_pixel 595 595 ffff00) || fail "zoomed picture corner (595,595) is $got, not yellow"
c=$(pixel_at "$WORK/shot.png" $((X + 5)) $((Y + 5)))
[[ "$c" == ffff00 ]] || fail "zoomed picture corner (5,5) is $c"
[[ "$(xdotool getwindowname "$WIN")" == "$ZOOM" ]] || fail "caption of the zoomed picture: $(xdotool getwindowname "$WIN")"

xdotool key e
for _ in $(seq 1 100); do kill -0 "$PID" 2>/dev/null || break; sleep 0.1; done
kill -0 "$PID" 2>/dev/null && fail "E did not end the explorer"
PID=""
echo PASS
