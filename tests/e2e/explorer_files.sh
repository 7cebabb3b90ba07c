#!/usr/bin/env bash
# The explorer's D command takes a folder, a base name and a start number through its real
# dialogs; S then stores the drawn picture there as <name>_005.JPG, a 601 x 601 JPEG that looks
# like the picture area on the screen.
# Usage: explorer_files.sh <bin-dir>   (run under xvfb-run with a 1024x768 screen)
set -euo pipefail

BIN_DIR=$1
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

export TMPDIR="$WORK/tmp"
START="$WORK/start"
TARGET="$WORK/bilder"
mkdir -p "$TMPDIR/VEVIVU" "$START" "$TARGET"

# The handover file: a little-endian 32-bit count, then the start folder's text.
n=${#START}
printf "\\x$(printf %02x $((n & 255)))\\x$(printf %02x $(((n >> 8) & 255)))\\x00\\x00" > "$TMPDIR/VEVIVU/vivod.stm"
printf '%s' "$START" >> "$TMPDIR/VEVIVU/vivod.stm"



# Answers a modal box: waits for it, gives it the focus and presses Return.
confirm() { # pattern what
    local id
    id=$(find_window "$1") || fail "$2 did not appear"
    xdotool windowfocus --sync "$id" 2>/dev/null || true
    xdotool key Return
    wait_gone "$1" || fail "$2 did not close"
}

"$BIN_DIR/zelvor" &
PID=$!
PIDS+=("$PID")
WIN=$(find_window '<M> Start, <E> Ende') || fail "explorer window did not appear"
eval "$(xdotool getwindowgeometry --shell "$WIN")"
[[ "$WIDTH" == 601 && "$HEIGHT" == 601 ]] || fail "explorer client size ${WIDTH}x${HEIGHT}"

xdotool windowfocus --sync "$WIN" 2>/dev/null || true
xdotool key d
confirm '^zelvor$' "the box asking for a folder"

# Qt's standard dialogs speak German like the program, whatever the locale: the title, and the
# buttons read off the screen.
DIALOG=$(find_window '^Speichern unter$') || fail "the picture dialog did not appear in German"
xdotool windowfocus --sync "$DIALOG" 2>/dev/null || true
read_ok=""
for _ in $(seq 1 20); do
    import -window "$DIALOG" "$WORK/dialog.png"
    # Enlarged, screen text is large enough for the recogniser.
    convert "$WORK/dialog.png" -resize 300% "$WORK/dialog-large.png"
    words=$(tesseract "$WORK/dialog-large.png" - -l deu 2>/dev/null || true)
    if grep -q 'Abbrechen' <<<"$words"; then read_ok=yes; break; fi
    sleep 0.2
done
[[ -n "$read_ok" ]] || fail "the dialog's cancel button does not read Abbrechen: $(tr '\n' ' ' <<<"$words")"
# The name field has the focus with the proposed name selected; a whole path replaces it.
xdotool key ctrl+a
xdotool type --delay 20 "$TARGET/Test.jpg"
sleep 0.3
# The first Return may only take the completer's suggestion; then a second one confirms.
xdotool key Return
if ! wait_gone '^Speichern unter$'; then
    xdotool key Return
    wait_gone '^Speichern unter$' || fail "the picture dialog did not take the typed path"
fi

confirm '^zelvor$' "the box naming the folder"
confirm '^Name der JPEG-Datei$' "the name box"

ID=$(find_window '^Startnummer der JPEG-Datei') || fail "the number box did not appear"
xdotool windowfocus --sync "$ID" 2>/dev/null || true
xdotool key ctrl+a
xdotool type --delay 20 5
xdotool key Return
wait_gone '^Startnummer der JPEG-Datei' || fail "the number box did not close"

# Without a window manager the focus is left on the root window once a box closes.
xdotool windowfocus --sync "$WIN" 2>/dev/null || true
xdotool key m
drawn=""
for _ in $(seq 1 100); do
    import -window root "$WORK/shot.png"
    # The cardioid's centre turns yellow and a corner takes its level colour once drawn.
    if [[ "$(pixel_at "$WORK/shot.png" $((X + 350)) $((Y + 300)))" == ffff00 &&
          "$(pixel_at "$WORK/shot.png" $((X + 595)) $((Y + 595)))" == 400810 ]]; then
        drawn=yes
        break
    fi
    sleep 0.1
done
[[ -n "$drawn" ]] || fail "the Mandelbrot picture was not drawn"

xdotool windowfocus --sync "$WIN" 2>/dev/null || true
xdotool key s
FILE="$TARGET/Test_005.JPG"
for _ in $(seq 1 100); do
    [[ -s "$FILE" ]] && break
    sleep 0.1
done
[[ -s "$FILE" ]] || fail "no $FILE; the folder holds: $(ls -A "$TARGET")"
[[ "$(ls -A "$TARGET")" == "Test_005.JPG" ]] || fail "the folder holds more: $(ls -A "$TARGET")"
[[ "$(identify -format '%m %wx%h' "$FILE")" == "JPEG 601x601" ]] ||
    fail "stored picture is $(identify -format '%m %wx%h' "$FILE")"

# compare prints the normalised error in brackets (and exits with 1 when the pictures differ).
rmse() { compare -metric RMSE "$1" "$2" null: 2>&1 | sed -n 's/.*(\([0-9.e-]*\)).*/\1/p' || true; }
below() { awk -v e="$1" -v limit="$2" 'BEGIN { exit !(e != "" && e < limit) }'; }
grey() { convert "$1" -colorspace Gray "$2"; }

convert "$WORK/shot.png" -crop "601x601+$X+$Y" +repage "$WORK/area.png"
grey "$WORK/area.png" "$WORK/area-grey.png"
grey "$FILE" "$WORK/file-grey.png"
# Quality 100 keeps the brightness to a few levels; the colours are stored at half resolution,
# which on a fractal's fine detail costs more.
e=$(rmse "$WORK/area-grey.png" "$WORK/file-grey.png")
below "$e" 0.02 || fail "stored picture's brightness differs from the screen: RMSE ${e:-none}"
e=$(rmse "$WORK/area.png" "$FILE")
below "$e" 0.06 || fail "stored picture's colours differ from the screen: RMSE ${e:-none}"
# The brightness check tells a picture one pixel off (RMSE about 0.05) from the right one.
convert "$WORK/area-grey.png" -roll +1+0 "$WORK/shifted-grey.png"
e=$(rmse "$WORK/shifted-grey.png" "$WORK/file-grey.png")
below "$e" 0.03 && fail "the check cannot tell a shifted picture: RMSE $e"

# The picture remembers how it was made: the renderer makes it again from the file alone, to the
# same pixels.
"$BIN_DIR/fractal-render" set --from "$FILE" -o "$WORK/again.jpg" --quiet ||
    fail "fractal-render could not render from $FILE"
ae=$(compare -metric AE "$FILE" "$WORK/again.jpg" null: 2>&1 || true)
[[ "$ae" == 0 ]] || fail "the picture rendered from the stored record differs in $ae pixels"

xdotool windowfocus --sync "$WIN" 2>/dev/null || true
xdotool key e
wait_ended "$PID" "E did not end the explorer"
echo PASS
