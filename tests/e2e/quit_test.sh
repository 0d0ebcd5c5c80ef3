#!/bin/bash
# Ctrl+Q ends the program: every window goes away and the process exits with code 0, from a
# still flag and from a waving flag, typed in the main window or in a tool window.
source "$(dirname "$0")/e2e_lib.sh"
e2e_init quit "$@"

# quit_and_check HOW: after Ctrl+Q has been typed, waits for all windows to go and the exit.
quit_and_check() {
  xdotool key ctrl+q
  wait_until "$EXIT_TIMEOUT" shows_nothing "$PID" ||
    fail "$1: windows still open $EXIT_TIMEOUT s after Ctrl+Q: $(titles_of "$PID")"
  wait_exit "$PID" "$EXIT_TIMEOUT" || fail "$1: the windows are gone but the process still runs"
  [ "$EXIT_CODE" = 0 ] || fail "$1: the program ended with exit code $EXIT_CODE, expected 0"
  note "$1: all windows closed, exit code 0"
}

start_waving() {  # Alt+F, then waits until the flag moves
  wait_until 10 wireframe_on_screen "$MAIN" "$SCRATCH/before.png" ||
    fail "the main window does not show the wireframe flag"
  xdotool key alt+f
  waving() { client_shot "$MAIN" "$SCRATCH/now.png" && ! same_picture "$SCRATCH/before.png" "$SCRATCH/now.png"; }
  wait_until 5 waving || fail "the flag does not wave after Alt+F"
}

# --- From the main window while the flag stands still.
start_to_main_window
focus_window "$MAIN"
quit_and_check "Ctrl+Q in the main window"

# --- From the main window while the flag waves. Alt+F was the last thing typed, so this also
# shows that releasing Alt after an accelerator did not leave the menu bar waiting for keys.
start_to_main_window
focus_window "$MAIN"
start_waving
quit_and_check "Ctrl+Q in the main window while waving"

# --- From the wave window while the flag waves (clicked into an empty spot below its controls).
start_to_main_window
WAVE=$(windows "${TOOL_TITLES[0]}" "$PID" | head -1)
eval "$(xdotool getwindowgeometry --shell "$WAVE")"
xdotool mousemove --window "$WAVE" $((WIDTH / 2)) $((HEIGHT - 8)) click 1
start_waving
quit_and_check "Ctrl+Q in the wave window while waving"
note "PASS"
