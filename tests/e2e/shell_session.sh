#!/usr/bin/env bash
# Runs the program on the test's X display with openbox (ended with the scenario) and on the
# session bus it is given, driven by xdotool. Usage: shell_session.sh <program> <scenario> <output file>
# Each scenario writes "key=value" lines to the output file for the test to check.
set -u
program=$1 scenario=$2 out=$3
: > "$out"
# Every wait allows as much longer as the test run's time scale says (a whole number).
scale=${PARLIVO_TEST_TIME_SCALE:-1}
scale=${scale%%.*}
tenths() { echo $(($1 * 10 * scale)); }  # tries of 0.1 s in $1 seconds, scaled

window_id() {  # the visible main window, waiting up to 30 s (a loaded machine starts slowly)
    local id
    for _ in $(seq "$(tenths 30)"); do
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
# The frame the program has saved for its main window (in its settings file; empty before any).
saved_frame() {
    grep -A1 "<key>NSWindow Frame mainWindow</key>" "$XDG_CONFIG_HOME/net.vantreo.mac.WhatsApp/defaults.plist" \
        2>/dev/null | sed -n 's:.*<string>\(.*\)</string>.*:\1:p'
}
# Waits up to 30 s until the saved frame lies at the place the window was moved to ($1 $2, the
# frame's decoration aside).
until_saved_near() {
    local x y
    for _ in $(seq "$(tenths 30)"); do
        read -r x y _ <<<"$(saved_frame)"
        if [ -n "$x" ] && [ "$x" -ge "$1" ] && [ "$x" -le $(($1 + 60)) ] && [ "$y" -ge "$2" ] && [ "$y" -le $(($2 + 90)) ]; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}
until_equals() {  # $1 command, $2 the value it must reach within 30 s
    local now
    for _ in $(seq "$(tenths 30)"); do
        now=$($1)
        [ "$now" = "$2" ] && break
        sleep 0.1
    done
    echo "$now"
}
logged() { grep -qF "$1" "$out.log"; }
# Waits until the running program has handled everything sent to it so far: a call that its main
# loop answers comes back after any request that reached it before.
program_answers() {
    gdbus call --session --dest net.vantreo.mac.WhatsApp --object-path /net/vantreo/mac/WhatsApp \
          --method org.gtk.Actions.List >/dev/null 2>&1
}
fullscreen() { xprop -id "$1" _NET_WM_STATE | grep -q _NET_WM_STATE_FULLSCREEN && echo yes || echo no; }
becomes_fullscreen() {  # yes once the window is full screen, waiting up to $2 seconds; else no
    for _ in $(seq "$(tenths "$2")"); do
        [ "$(fullscreen "$1")" = yes ] && { echo yes; return; }
        sleep 0.1
    done
    echo no
}

openbox >/dev/null 2>&1 &
window_manager=$!
trap 'kill "$window_manager" 2>/dev/null; wait "$window_manager" 2>/dev/null' EXIT
# The window manager announces itself on the root window once it manages windows.
for _ in $(seq "$(tenths 20)"); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
done

case "$scenario" in
frame)
    start_program
    id=$(window_id) || { echo "first=none" >>"$out"; exit 0; }
    echo "before=$(position "$id")" >>"$out"
    xdotool windowmove --sync "$id" 137 91
    # The program has seen the move once it saved the new frame (after the move settled).
    until_saved_near 137 91 || echo "saved=$(saved_frame)" >>"$out"
    first=$(position "$id")
    echo "first=$first" >>"$out"
    stop_program
    start_program
    id=$(window_id) || { echo "second=none" >>"$out"; exit 0; }
    # The window comes back where it was: wait for that place (the window manager places it first).
    echo "second=$(until_equals "position $id" "$first")" >>"$out"
    stop_program
    ;;
login)
    start_program -launchedAtLogin
    # The start-up has decided about the window once it says so.
    for _ in $(seq "$(tenths 30)"); do logged "the main window stays hidden" && break; sleep 0.1; done
    if logged "the main window stays hidden" && ! xdotool search --onlyvisible --name "Parlivo" >/dev/null 2>&1; then
        echo "visible=no" >>"$out"
    else
        echo "visible=yes" >>"$out"
    fi
    # The login item starting us again (a late answer to its ping) reaches the running copy
    # without bringing the window; a user's second start is a reopen and does.
    "$program" -launchedAtLogin >>"$out.log" 2>&1
    echo "helper_exit=$?" >>"$out"
    # Whatever that start sent has been handled once the program answers us; a reopen says so.
    program_answers
    if logged "Should handle reopen!" || xdotool search --onlyvisible --name "Parlivo" >/dev/null 2>&1; then
        echo "after_helper=yes" >>"$out"
    else
        echo "after_helper=no" >>"$out"
    fi
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
    # The second run says (debug lines on) whether it brings full screen back; only then is there
    # anything to wait for.
    mark=$(wc -l <"$out.log")
    said() { tail -n +$((mark + 1)) "$out.log" | grep -qF "$1"; }
    start_program -de
    id=$(window_id) || { echo "second=none" >>"$out"; exit 0; }
    for _ in $(seq "$(tenths 30)"); do
        said "Manually restoring window" || said "Not restoring manually" && break
        sleep 0.1
    done
    if said "Manually restoring window"; then
        echo "second=$(becomes_fullscreen "$id" 5)" >>"$out"
    elif said "Not restoring manually"; then
        echo "second=$(fullscreen "$id")" >>"$out"
    else
        echo "second=undecided" >>"$out"
    fi
    stop_program
    ;;
esac
