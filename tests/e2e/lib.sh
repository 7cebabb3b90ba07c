# Shared by the end-to-end scripts, sourced after BIN_DIR=$1: a private work folder removed at
# the end, the programs started (in PIDS) stopped then, and the X helpers.

WORK=$(mktemp -d)
PIDS=()
cleanup() {
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The programs scale to the screen themselves; nothing from the caller's session may interfere.
unset QT_SCALE_FACTOR QT_FONT_DPI QT_SCREEN_SCALE_FACTORS QT_QPA_PLATFORM

pixel_at() { # screenshot x y -> rrggbb, lower case
    convert "$1" -depth 8 -format "%[hex:p{$2,$3}]" info: | cut -c1-6 | tr "A-F" "a-f"
}

# Waits for a visible window whose name matches the pattern $1 and prints its id.
find_window() {
    for _ in $(seq 1 300); do
        local id
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1 || true)
        if [[ -n "$id" ]]; then echo "$id"; return 0; fi
        sleep 0.1
    done
    return 1
}

# Waits until no visible window matches $1 any more.
wait_gone() {
    for _ in $(seq 1 100); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}

# Waits up to 10 s for process $1 to end; fails with $2 when it does not.
wait_ended() { # pid what
    for _ in $(seq 1 100); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
    fail "$2"
}
