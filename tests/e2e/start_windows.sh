#!/usr/bin/env bash
# Both programs start in a real X server, take their working folder from the start-folder
# handover file, and show their windows; the explorer's picture area is black and E ends it.
# Usage: start_windows.sh <bin-dir>   (run under xvfb-run)
set -euo pipefail

BIN_DIR=$1
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

export TMPDIR="$WORK/tmp"
TARGET="$WORK/Bilder ordner"
mkdir -p "$TMPDIR/VEVIVU" "$TARGET"

# The handover file: a little-endian 32-bit count, then the folder text with blanks around it.
write_handover() {
    local text="  $1 "
    local n=${#text}
    printf "\\x$(printf %02x $((n & 255)))\\x$(printf %02x $(((n >> 8) & 255)))\\x00\\x00" > "$TMPDIR/VEVIVU/vivod.stm"
    printf '%s\nrest' "$text" >> "$TMPDIR/VEVIVU/vivod.stm"
}
write_handover "$TARGET"

# --- the set explorer
(cd / && exec "$BIN_DIR/zelvor") &
ZPID=$!
PIDS+=("$ZPID")
ZWIN=$(find_window '<M> Start, <E> Ende, <H> Hilfe ein/aus') || fail "explorer window did not appear"
ZNAME=$(xdotool getwindowname "$ZWIN")
[[ "$ZNAME" == *",  <M> Start, <E> Ende, <H> Hilfe ein/aus" ]] || fail "explorer title: $ZNAME"
[[ "$(readlink "/proc/$ZPID/cwd")" == "$TARGET" ]] || fail "explorer cwd: $(readlink "/proc/$ZPID/cwd")"

eval "$(xdotool getwindowgeometry --shell "$ZWIN")"
[[ "$WIDTH" == 601 && "$HEIGHT" == 601 ]] || fail "explorer client size ${WIDTH}x${HEIGHT}"
# The first paint may lag behind the window's appearance on a loaded machine.
black=""
for _ in $(seq 1 50); do
    import -window root "$WORK/explorer.png"
    black=yes
    for p in "5 5" "300 300" "595 595" "5 595"; do
        set -- $p
        c=$(pixel_at "$WORK/explorer.png" $((X + $1)) $((Y + $2)))
        [[ "$c" == 000000 ]] || { black="($1,$2) is $c"; break; }
    done
    [[ "$black" == yes ]] && break
    sleep 0.2
done
[[ "$black" == yes ]] || fail "explorer picture not black: pixel $black"

xdotool windowfocus --sync "$ZWIN" 2>/dev/null || true
xdotool key e
wait_ended "$ZPID" "E did not end the explorer"

# --- the generator
(cd / && exec "$BIN_DIR/fraktal") &
FPID=$!
PIDS+=("$FPID")
FWIN=$(find_window '^ZUDIRUR - Ein Generator für fraktale Gebilde$') || fail "generator window did not appear"
[[ "$(readlink "/proc/$FPID/cwd")" == "$TARGET" ]] || fail "generator cwd: $(readlink "/proc/$FPID/cwd")"
sleep 0.5
kill "$FPID"
wait "$FPID" 2>/dev/null || true
echo "PASS"
