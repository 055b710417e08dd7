# Sourced by the scripts that need a private X display: starts Xvfb on a free
# display number with openbox as its window manager, exports DISPLAY, and
# stops both when the calling script exits.

XSESSION_PIDS=()
XSESSION_RUNTIME_DIR=""

stop_x_session() {
    local pid
    for pid in "${XSESSION_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${XSESSION_PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    XSESSION_PIDS=()
    if [[ -n "$XSESSION_RUNTIME_DIR" ]]; then
        rm -rf "$XSESSION_RUNTIME_DIR"
        XSESSION_RUNTIME_DIR=""
    fi
}

start_x_session() {
    local dir number="" i
    dir=$(mktemp -d)
    : >"$dir/display"
    # Xvfb picks a free display number itself and writes it to the descriptor.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
    XSESSION_PIDS+=("$!")
    trap stop_x_session EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    for ((i = 0; i < 100; i++)); do
        number=$(tr -dc '0-9' <"$dir/display")
        [[ -n "$number" ]] && break
        sleep 0.1
    done
    if [[ -z "$number" ]]; then
        echo "xsession: Xvfb did not start:" >&2
        cat "$dir/xvfb.log" >&2
        rm -rf "$dir"
        return 1
    fi
    export DISPLAY=":$number"
    unset WAYLAND_DISPLAY
    # Qt wants a private runtime folder; a CI shell has none.
    if [[ -z "${XDG_RUNTIME_DIR:-}" ]]; then
        XSESSION_RUNTIME_DIR=$(mktemp -d)
        export XDG_RUNTIME_DIR=$XSESSION_RUNTIME_DIR
    fi

    openbox --sm-disable >"$dir/openbox.log" 2>&1 &
    XSESSION_PIDS+=("$!")
    for ((i = 0; i < 100; i++)); do
        wmctrl -m >/dev/null 2>&1 && break
        sleep 0.1
    done
    if ! wmctrl -m >/dev/null 2>&1; then
        echo "xsession: openbox did not start on $DISPLAY:" >&2
        cat "$dir/openbox.log" >&2
        rm -rf "$dir"
        return 1
    fi
    rm -rf "$dir"
    echo "xsession: Xvfb and openbox running on $DISPLAY"
}
