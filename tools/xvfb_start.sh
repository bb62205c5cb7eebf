# Sourced by the scripts that run the window under Xvfb (sh or bash):
#   start_xvfb FOLDER
# starts Xvfb, which takes a free display number itself and says which
# (-displayfd): a number picked here by looking for a free one could be taken
# by another run at the same moment (another CI job, the wine test), whose
# server then shows this run's window, takes its keys or ends under it.
# -noreset: without it the server starts over each time its last client
# leaves (the key map tool, a screenshot), and a program that connects in
# that moment is refused ("x11 not available").
# Sets xvfb_pid and exports DISPLAY; FOLDER keeps display and xvfb.log. Calls
# the script's own fail when Xvfb does not start.
start_xvfb() {
    rm -f "$1/display" # a number left from an earlier run must not be read
    Xvfb -displayfd 3 -noreset -screen 0 800x600x24 -nolisten tcp 3>"$1/display" >"$1/xvfb.log" 2>&1 &
    xvfb_pid=$!
    tries=0
    until grep -qx "[0-9][0-9]*" "$1/display" 2>/dev/null; do
        tries=$((tries + 1))
        [ $tries -gt 100 ] && fail "Xvfb did not start: $(cat "$1/xvfb.log")"
        sleep 0.1
    done
    DISPLAY=":$(head -n 1 "$1/display")"
    export DISPLAY
}
