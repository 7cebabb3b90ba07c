#!/usr/bin/env bash
# The generator draws the Koch curve typed into its fields in a real X server: the parameters
# are typed with the keyboard, the start direction and the start point are set with the mouse,
# and the screenshot must show every segment the turtle walks, and nothing far from them.
# Usage: generator_koch.sh <bin-dir>   (run under xvfb-run, screen 1024x768x24)
set -euo pipefail

BIN_DIR=$1
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

# A private temporary folder without a start-folder handover: the program works where it starts.
export TMPDIR="$WORK/tmp"
mkdir -p "$TMPDIR" "$WORK/run"

# The window is laid out for 120 dpi; on this 96-dpi screen every design length is multiplied
# by 1.25 and rounded half away from zero, each control on its own.
s() { echo $(((($1) * 5 + 2) / 4)); }

# Design positions (generator_window.cpp): the parameter panel, its controls, the drawing area.
PANEL2_X=$(s 7)
PANEL2_Y=$(s 13)
AREA_X=$(($(s 301) + $(s 7)))
AREA_Y=$(($(s 16) + $(s 7)))
AREA=$(s 493)

# --- the curve: "F-F++F-F", factor 1, both angles 60, start length 6, radius 0, three
# iterations, wait 0, horizontal start at the clicked point.
FORMULA='F-F++F-F'
ITERATIONS=3
LENGTH=6
START_X=40
START_Y=400

# The texts typed for the factor and the angles: a run under a German locale types them with
# a comma and with a point, which the fields take alike. The Koch rule has no "(", so the factor
# never shortens a step and the drawing stays the same.
FACTOR_TEXT=${FACTOR_TEXT:-1}
RIGHT_TEXT=${RIGHT_TEXT:-60}
LEFT_TEXT=${LEFT_TEXT:-60}
if [[ "${LC_ALL:-}" == de_DE.UTF-8 ]]; then
    locale -a | grep -qix 'de_DE.utf8' || fail "the locale de_DE.UTF-8 is missing (make deps generates it)"
fi

(cd "$WORK/run" && exec "$BIN_DIR/fraktal") &
FPID=$!
PIDS+=("$FPID")
FWIN=$(find_window '^ZUDIRUR - Ein Generator für fraktale Gebilde$') || fail "generator window did not appear"
eval "$(xdotool getwindowgeometry --shell "$FWIN")"
WIN_X=$X
WIN_Y=$Y
sleep 0.5
xdotool windowfocus --sync "$FWIN" 2>/dev/null || true

# Clicks at a point given in window coordinates.
click_at() {
    xdotool mousemove --sync $((WIN_X + $1)) $((WIN_Y + $2)) click 1
}
# A field's centre from its design rectangle inside the parameter panel.
field_centre() { # left top width height -> x y
    echo $((PANEL2_X + $(s "$1") + $(s "$3") / 2)) $((PANEL2_Y + $(s "$2") + $(s "$4") / 2))
}
type_into() { # left top text
    read -r fx fy < <(field_centre "$1" "$2" 65 24)
    click_at "$fx" "$fy"
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 20 -- "$3"
}

# The formula field is wider than the others.
read -r fx fy < <(field_centre 20 58 243 24)
click_at "$fx" "$fy"
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 20 -- "$FORMULA"
type_into 198 84 "$FACTOR_TEXT"  # Verkleinerungsfaktor
type_into 198 109 "$RIGHT_TEXT"  # Winkel Rechtsdrehung
type_into 198 135 "$LEFT_TEXT"   # Winkel Linksdrehung
type_into 198 160 "$LENGTH"
type_into 198 186 0   # Radius der Knoten
type_into 198 212 "$ITERATIONS"
type_into 198 238 0   # Wartezeit
# "horizontaler Start": its box sits at the left end of the control.
click_at $((PANEL2_X + $(s 142) + 8)) $((PANEL2_Y + $(s 13) + $(s 16) / 2))
click_at $((AREA_X + START_X)) $((AREA_Y + START_Y))
read -r bx by < <(field_centre 19 275 123 27)
click_at "$bx" "$by"

# --- what the turtle must draw: the formula expanded once per iteration below the top, each F
# one segment of length x iterations pixels, "-" a turn left (counter-clockwise on screen, y
# growing downwards), "+" a turn right; each step rounded to whole pixels half to even.
awk -v formula="$FORMULA" -v iterations="$ITERATIONS" -v len=$((LENGTH * ITERATIONS)) \
    -v x="$START_X" -v y="$START_Y" -v area="$AREA" '
function rnd(v,    r, f) {
    r = int(v); f = v - r
    if (f > 0.5 || (f == 0.5 && r % 2 != 0)) r++
    if (f < -0.5 || (f == -0.5 && r % 2 != 0)) r--
    return r
}
function dist2(px, py, ax, ay, bx, by,    vx, vy, t, cx, cy) {
    vx = bx - ax; vy = by - ay
    t = ((px - ax) * vx + (py - ay) * vy) / (vx * vx + vy * vy)
    if (t < 0) t = 0
    if (t > 1) t = 1
    cx = ax + t * vx - px; cy = ay + t * vy - py
    return cx * cx + cy * cy
}
BEGIN {
    s = formula
    for (i = 1; i < iterations; i++) gsub(/F/, formula, s)
    a = 60 * atan2(0, -1) / 180
    c = cos(a); sn = sin(a)
    sx = len; sy = 0
    n = 0
    for (i = 1; i <= length(s); i++) {
        ch = substr(s, i, 1)
        if (ch == "F") {
            nx = x + rnd(sx); ny = y + rnd(sy)
            n++; X0[n] = x; Y0[n] = y; X1[n] = nx; Y1[n] = ny
            x = nx; y = ny
        } else if (ch == "-") {
            t = c * sx + sn * sy; sy = -sn * sx + c * sy; sx = t
        } else if (ch == "+") {
            t = c * sx - sn * sy; sy = sn * sx + c * sy; sx = t
        }
    }
    # Black: the middle of every segment (either pixel when it falls between two).
    for (k = 1; k <= n; k++) {
        mx = X0[k] + X1[k]; my = Y0[k] + Y1[k]
        printf "B %d %d %d %d\n", int(mx / 2), int(my / 2), int((mx + 1) / 2), int((my + 1) / 2)
    }
    # White: a grid of points more than 4 pixels from every segment.
    for (gx = 6; gx < area; gx += 20) {
        for (gy = 6; gy < area; gy += 20) {
            near = 0
            for (k = 1; k <= n && !near; k++) {
                if (dist2(gx, gy, X0[k], Y0[k], X1[k], Y1[k]) <= 16) near = 1
            }
            if (!near) printf "W %d %d\n", gx, gy
        }
    }
    printf "E %d %d\n", x, y
}' > "$WORK/checks.txt"

SEGMENTS=$(grep -c '^B' "$WORK/checks.txt")
[[ "$SEGMENTS" == 64 ]] || fail "expected 64 segments, computed $SEGMENTS"
read -r _ END_X END_Y < <(grep '^E' "$WORK/checks.txt")
# Three iterations of the Koch rule span 27 segments: the curve ends on its start line.
[[ "$END_X" == $((START_X + 27 * LENGTH * ITERATIONS)) && "$END_Y" == "$START_Y" ]] ||
    fail "computed end point $END_X,$END_Y"
# The area's own corners and the panel around it tell whether the area is where it is assumed.
{
    echo "W 0 0"
    echo "W $((AREA - 1)) $((AREA - 1))"
} >> "$WORK/checks.txt"

check_shot() { # screenshot -> prints the failures, succeeds when there are none
    convert "$1" -crop "${AREA}x${AREA}+$((WIN_X + AREA_X))+$((WIN_Y + AREA_Y))" +repage -depth 8 txt:- |
        awk 'NR == FNR {
                 if ($1 == "B") { want[$2 "," $3] = 1; want[$4 "," $5] = 1 }
                 if ($1 == "W") want[$2 "," $3] = 1
                 check[FNR] = $0; n = FNR; next
             }
             /^#/ { next }
             {
                 split($1, p, ":"); key = p[1]
                 if (key in want) colour[key] = substr($0, index($0, "#") + 1, 6)
             }
             END {
                 bad = 0
                 for (i = 1; i <= n; i++) {
                     split(check[i], f, " ")
                     if (f[1] == "B" && colour[f[2] "," f[3]] != "000000" && colour[f[4] "," f[5]] != "000000") {
                         print "segment middle " f[2] "," f[3] " is " colour[f[2] "," f[3]]; bad++
                     }
                     if (f[1] == "W" && colour[f[2] "," f[3]] != "FFFFFF") {
                         print "point " f[2] "," f[3] " is " colour[f[2] "," f[3]]; bad++
                     }
                 }
                 exit (bad > 0)
             }' "$WORK/checks.txt" -
}


# The drawing shows once the view notices the canvas changed.
ok=""
for _ in $(seq 1 50); do
    import -window root "$WORK/koch.png"
    if check_shot "$WORK/koch.png" > "$WORK/failures.txt"; then ok=yes; break; fi
    sleep 0.2
done
[[ -n "${E2E_SHOTS:-}" ]] && cp "$WORK/koch.png" "$E2E_SHOTS/fraktal.png"
[[ "$ok" == yes ]] || fail "drawing differs: $(head -n 5 "$WORK/failures.txt" | tr '\n' ';')"

# Just outside the area is the panel, not the picture.
for p in "$((AREA_X - 1)) $((AREA_Y + 10))" "$((AREA_X + AREA)) $((AREA_Y + 10))" \
         "$((AREA_X + 10)) $((AREA_Y + AREA))"; do
    set -- $p
    c=$(pixel_at "$WORK/koch.png" $((WIN_X + $1)) $((WIN_Y + $2)))
    [[ "$c" != ffffff && "$c" != FFFFFF ]] || fail "pixel $1,$2 beside the area is white"
done
# The curve is black, not a colour: the pen of a white background.
c=$(pixel_at "$WORK/koch.png" $((WIN_X + AREA_X + START_X + 9)) $((WIN_Y + AREA_Y + START_Y)))
[[ "$c" == 000000 ]] || fail "first segment is $c"

kill "$FPID"
wait "$FPID" 2>/dev/null || true
echo "PASS"
