#!/usr/bin/env bash
# A key held down runs its command once, when it is let go, although the X server repeats it
# meanwhile: S held in the explorer stores one picture, F9 held in the generator offers one save
# dialog and writes one file, Enter held on the explorer's button "Farbwerte übernehmen" takes
# the colours once and does not go on to press "Farbfenster schließen".
# Usage: held_keys.sh <bin-dir>   (run under xvfb-run with a 1024x768 screen)
set -euo pipefail

BIN_DIR=$(cd "$1" && pwd)
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

# A private temporary folder without a start-folder handover: the programs work where they start.
export TMPDIR="$WORK/tmp"
mkdir -p "$TMPDIR" "$WORK/zelvor" "$WORK/fraktal" "$WORK/export"

HOLD_SECONDS=1.5

# --- the server repeats a held key (xev counts the presses it gets)
xset r on
xev -event keyboard -name xev-repeat-probe > "$WORK/xev.txt" 2>&1 &
XEV=$!
PIDS+=("$XEV")
PROBE=$(find_window '^xev-repeat-probe$') || fail "the xev window did not appear"
xdotool windowfocus --sync "$PROBE" 2>/dev/null || true
xdotool keydown a
sleep 1
xdotool keyup a
sleep 0.3
kill "$XEV"
wait "$XEV" 2>/dev/null || true
presses=$(grep -c '^KeyPress event' "$WORK/xev.txt" || true)
((presses >= 5)) || fail "the X server does not repeat a held key: $presses presses in 1 s"

# Holds a key down where the focus is, longer than the server waits before it repeats.
hold_key() {
    xdotool keydown "$1"
    sleep "$HOLD_SECONDS"
    xdotool keyup "$1"
}

# --- the explorer: S held stores one picture
(cd "$WORK/zelvor" && exec "$BIN_DIR/zelvor") &
ZPID=$!
PIDS+=("$ZPID")
WIN=$(find_window '<M> Start, <E> Ende') || fail "explorer window did not appear"
eval "$(xdotool getwindowgeometry --shell "$WIN")"
xdotool windowfocus --sync "$WIN" 2>/dev/null || true
xdotool key m
drawn=""
for _ in $(seq 1 100); do
    import -window root "$WORK/shot.png"
    if [[ "$(pixel_at "$WORK/shot.png" $((X + 595)) $((Y + 595)))" == 400810 ]]; then drawn=yes; break; fi
    sleep 0.1
done
[[ -n "$drawn" ]] || fail "the Mandelbrot picture was not drawn"

hold_key s
for _ in $(seq 1 50); do
    [[ -s "$WORK/zelvor/Bild_001.JPG" ]] && break
    sleep 0.1
done
# Whatever else the held key would store comes at once; give it time to show.
sleep 1
stored=$(cd "$WORK/zelvor" && ls -A)
[[ "$stored" == "Bild_001.JPG" ]] || fail "S held stored: $(tr '\n' ' ' <<<"$stored")"

# --- the explorer: Enter held on "Farbwerte übernehmen"
xdotool windowfocus --sync "$WIN" 2>/dev/null || true
xdotool key f
# The colour panel covers the picture's top left and takes the focus in its first field; Enter
# walks through the six fields to the button. The last field, the main colour's blue, is made
# 255 on the way, so the next drawing shows whether the colours were taken.
panel=""
for _ in $(seq 1 50); do
    import -window root "$WORK/shot.png"
    [[ "$(pixel_at "$WORK/shot.png" $((X + 10)) $((Y + 380)))" == c0c0c0 ]] && { panel=yes; break; }
    sleep 0.1
done
[[ -n "$panel" ]] || fail "F did not open the colour panel"
for _ in 1 2 3 4 5; do
    xdotool key Return
    sleep 0.2
done
xdotool key End BackSpace BackSpace BackSpace
xdotool type --delay 50 255
sleep 0.2
xdotool key Return
sleep 0.2
hold_key Return
sleep 1
import -window root "$WORK/shot.png"
c=$(pixel_at "$WORK/shot.png" $((X + 10)) $((Y + 380)))
[[ "$c" == c0c0c0 ]] || fail "Enter held on the button closed the colour panel (pixel $c)"
c=$(pixel_at "$WORK/shot.png" $((X + 595)) $((Y + 595)))
[[ "$c" == 400810 ]] || fail "Enter held on the button cleared the picture (pixel $c)"
# The colours were taken: inside the set the new main colour, white.
xdotool key m
got=""
for _ in $(seq 1 100); do
    import -window root "$WORK/shot.png"
    got=$(pixel_at "$WORK/shot.png" $((X + 350)) $((Y + 300)))
    [[ "$got" == ffffff ]] && break
    sleep 0.1
done
[[ "$got" == ffffff ]] || fail "Enter held on the button did not take the colours (pixel $got)"

kill "$ZPID"
wait "$ZPID" 2>/dev/null || true

# --- the generator: F9 held offers one save dialog, when it is let go, and writes one file
(cd "$WORK/fraktal" && exec "$BIN_DIR/fraktal") &
FPID=$!
PIDS+=("$FPID")
FWIN=$(find_window '^ZUDIRUR - Ein Generator für fraktale Gebilde$') || fail "generator window did not appear"
sleep 0.5
xdotool windowfocus --sync "$FWIN" 2>/dev/null || true
# The program must have taken the focus before the key goes down, or it misses the repeats.
sleep 0.5
xdotool keydown F9
sleep "$HOLD_SECONDS"
if xdotool search --onlyvisible --name '^Speichern unter$' >/dev/null 2>&1; then
    xdotool keyup F9
    fail "F9 offered the save dialog while it was still held"
fi
xdotool keyup F9
DIALOG=$(find_window '^Speichern unter$') || fail "F9 did not offer the save dialog"
xdotool windowfocus --sync "$DIALOG" 2>/dev/null || true
sleep 0.3
xdotool key ctrl+a
xdotool type --delay 20 "$WORK/export/Held.jpg"
sleep 0.3
# The first Return may only take the completer's suggestion; then a second one confirms.
xdotool key Return
if ! wait_gone '^Speichern unter$'; then
    xdotool key Return
    wait_gone '^Speichern unter$' || fail "the save dialog did not take the typed path"
fi
sleep 1
if xdotool search --onlyvisible --name '^Speichern unter$' >/dev/null 2>&1; then
    fail "F9 held offered the save dialog a second time"
fi
exported=$(cd "$WORK/export" && ls -A)
[[ "$exported" == "Held.jpg" ]] || fail "F9 held wrote: $(tr '\n' ' ' <<<"$exported")"
[[ "$(identify -format '%m' "$WORK/export/Held.jpg")" == JPEG ]] || fail "Held.jpg is no JPEG file"

kill "$FPID"
wait "$FPID" 2>/dev/null || true
echo PASS
