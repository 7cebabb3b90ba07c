#!/usr/bin/env bash
# The explorer draws the default Mandelbrot picture on M, keeps it when the window is hidden and
# shown again, names a rubber band's region in its caption and draws that region on the next M.
# Usage: explorer_draw.sh <bin-dir>   (run under xvfb-run with a 1024x768 screen)
set -euo pipefail

BIN_DIR=$1
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

export TMPDIR="$WORK"


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
PIDS+=("$PID")
WIN=$(find_window '<M> Start, <E> Ende') || fail "explorer window did not appear"
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
wait_ended "$PID" "E did not end the explorer"
echo PASS
