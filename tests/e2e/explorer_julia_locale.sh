#!/usr/bin/env bash
# Under a German locale, whose decimal separator is the comma, the explorer still reads a Julia
# constant typed with points: J, "-0.50/0.60" typed into the list, START, and the picture is
# the Julia set of (-0.5, 0.6).
# Usage: explorer_julia_locale.sh <bin-dir>   (run under xvfb-run with a 1024x768 screen)
set -euo pipefail

BIN_DIR=$1
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

export TMPDIR="$WORK"
export LC_ALL=de_DE.UTF-8
locale -a | grep -qix 'de_DE.utf8' || fail "the locale de_DE.UTF-8 is missing (make deps generates it)"

"$BIN_DIR/zelvor" &
PID=$!
PIDS+=("$PID")
WIN=$(find_window '<M> Start, <E> Ende') || fail "explorer window did not appear"
eval "$(xdotool getwindowgeometry --shell "$WIN")"
xdotool windowfocus --sync "$WIN" 2>/dev/null || true
xdotool key j
sleep 0.5
# The list has the focus; what is typed replaces its text.
xdotool key ctrl+a
xdotool type --delay 20 -- "-0.50/0.60"
# START sits at the lower right of the start-point panel (design 601 x 601 client area).
xdotool mousemove --sync $((X + 296)) $((Y + 494)) click 1

drawn=""
for _ in $(seq 1 100); do
    import -window root "$WORK/shot.png"
    [[ "$(pixel_at "$WORK/shot.png" $((X + 595)) $((Y + 595)))" == 400810 ]] && { drawn=yes; break; }
    sleep 0.1
done
[[ -n "$drawn" ]] || fail "the Julia picture was not drawn"
# Level colours (n*16, n*2, n*4) mod 256 of the counts of (-0.5, 0.6) at these pixels: 10 left
# and right of the centre, 11 on the diagonal, the main colour yellow at the centre. The set of
# (0, 0), which a constant misread as "-0" and "0" would give, is a yellow disc there instead.
for expect in "300 300 ffff00" "150 300 a01428" "450 300 a01428" "250 350 b0162c" "350 250 b0162c"; do
    set -- $expect
    c=$(pixel_at "$WORK/shot.png" $((X + $1)) $((Y + $2)))
    [[ "$c" == "$3" ]] || fail "pixel ($1,$2) is $c, expected $3"
done

xdotool windowfocus --sync "$WIN" 2>/dev/null || true
xdotool key e
wait_ended "$PID" "E did not end the explorer"
echo PASS
