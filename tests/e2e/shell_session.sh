#!/usr/bin/env bash
# Runs the program in a private X display with openbox and a private session bus, driven by
# xdotool. Usage: shell_session.sh <program> <scenario> <output file>
# Each scenario writes "key=value" lines to the output file for the test to check.
set -u
program=$1 scenario=$2 out=$3
: > "$out"

window_id() {  # the visible main window, waiting up to 30 s (a loaded machine starts slowly)
    local id
    for _ in $(seq 300); do
        id=$(xdotool search --onlyvisible --name "Parlivo" 2>/dev/null | head -1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

start_program() {
    "$program" "$@" >>"$out.log" 2>&1 &
    pid=$!
}

stop_program() {  # a clean quit: the window state is stored on the way out
    kill -TERM "$pid" 2>/dev/null
    wait "$pid"
    echo "exit=$?" >>"$out"
}

position() { xdotool getwindowgeometry "$1" | awk '/Position/ {print $2}'; }
fullscreen() { xprop -id "$1" _NET_WM_STATE | grep -q _NET_WM_STATE_FULLSCREEN && echo yes || echo no; }
becomes_fullscreen() {  # yes once the window is full screen, waiting up to $2 seconds; else no
    for _ in $(seq $(($2 * 10))); do
        [ "$(fullscreen "$1")" = yes ] && { echo yes; return; }
        sleep 0.1
    done
    echo no
}

openbox >/dev/null 2>&1 &
# The window manager announces itself on the root window once it manages windows.
for _ in $(seq 200); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
done

case "$scenario" in
frame)
    start_program
    id=$(window_id) || { echo "first=none" >>"$out"; exit 0; }
    echo "before=$(position "$id")" >>"$out"
    xdotool windowmove --sync "$id" 137 91
    sleep 0.6
    echo "first=$(position "$id")" >>"$out"
    stop_program
    start_program
    id=$(window_id) || { echo "second=none" >>"$out"; exit 0; }
    sleep 0.3
    echo "second=$(position "$id")" >>"$out"
    stop_program
    ;;
login)
    start_program -launchedAtLogin
    sleep 2
    if xdotool search --onlyvisible --name "Parlivo" >/dev/null 2>&1; then echo "visible=yes" >>"$out"; else echo "visible=no" >>"$out"; fi
    # The login item starting us again (a late answer to its ping) reaches the running copy
    # without bringing the window; a user's second start is a reopen and does.
    "$program" -launchedAtLogin >>"$out.log" 2>&1
    echo "helper_exit=$?" >>"$out"
    sleep 1
    if xdotool search --onlyvisible --name "Parlivo" >/dev/null 2>&1; then echo "after_helper=yes" >>"$out"; else echo "after_helper=no" >>"$out"; fi
    "$program" >>"$out.log" 2>&1
    if window_id >/dev/null; then echo "after_user=yes" >>"$out"; else echo "after_user=no" >>"$out"; fi
    stop_program
    ;;
fullscreen)
    # First run enters full screen and quits there; the second comes back to it only in tray mode.
    start_program
    id=$(window_id) || { echo "first=none" >>"$out"; exit 0; }
    # A loaded machine may take the key before the window has focus: press again if nothing came of it.
    for _ in 1 2 3; do
        xdotool windowactivate --sync "$id" key --clearmodifiers F11
        state=$(becomes_fullscreen "$id" 5)
        [ "$state" = yes ] && break
    done
    echo "first=$state" >>"$out"
    stop_program
    start_program
    id=$(window_id) || { echo "second=none" >>"$out"; exit 0; }
    echo "second=$(becomes_fullscreen "$id" 5)" >>"$out"
    stop_program
    ;;
esac
