#!/bin/bash
# The flag as the user drives it with the keyboard: it stands still after start-up, Alt+F makes
# it wave and Alt+E stops it, also when a tool window has the focus; x/X, y/Y, z/Z turn it.
source "$(dirname "$0")/e2e_lib.sh"
e2e_init animation "$@"

shot_no=0
shot() {  # shot LABEL: a numbered picture of the client area, its file name left in SHOT
  shot_no=$((shot_no + 1))
  SHOT="$SCRATCH/$(printf '%03d' "$shot_no")-$1.png"
  client_shot "$MAIN" "$SHOT"
}

# is_still LABEL [SECONDS]: two pictures that many seconds apart (by default 0.4 s, a good dozen
# timer periods of 25 ms) are the same.
is_still() {
  shot "$1" || return 1
  local first=$SHOT
  sleep "${2:-0.4}"
  shot "$1" && same_picture "$first" "$SHOT"
}
# Waving: each of four pictures 0.2 s apart differs from the one before, so the motion goes
# on by itself and is not a single redraw.
keeps_waving() {
  local prev i
  shot "$1" || return 1
  for i in 1 2 3; do
    prev=$SHOT
    sleep 0.2
    shot "$1" || return 1
    same_picture "$prev" "$SHOT" && return 1
  done
  return 0
}
differs_from() { shot "$2" && ! same_picture "$1" "$SHOT"; }
same_as() { shot "$2" && same_picture "$1" "$SHOT"; }

start_to_main_window
focus_window "$MAIN"

# Right after start-up nothing moves until the user asks for it.
wait_until 10 wireframe_on_screen "$MAIN" "$SCRATCH/first_frame.png" ||
  fail "the main window does not show the wireframe flag"
is_still startup 1 || fail "the flag moves before any play command"
note "still after start-up"

xdotool key alt+f
wait_until 5 keeps_waving playing || fail "the flag does not keep waving after Alt+F"
note "waving after Alt+F"
xdotool key alt+e
wait_until 5 is_still stopped || fail "the flag keeps moving after Alt+E"
is_still stopped || fail "the flag moved again after it had stopped with Alt+E"
note "still after Alt+E"

# Rotation keys turn the flag at once while it stands still; the capital letter turns it back.
declare -A turned
for axis in x y z; do
  shot "before-$axis" || fail "no screenshot of the main window"
  before=$SHOT
  xdotool key "$axis"
  wait_until 5 differs_from "$before" "after-$axis" || fail "typing '$axis' did not turn the flag"
  turned[$axis]=$SHOT
  upper=${axis^^}
  xdotool key "$upper"
  wait_until 5 same_as "$before" "after-$upper" ||
    fail "typing '$upper' after '$axis' did not turn the flag back (see $before and the last shots)"
done
for pair in "x y" "x z" "y z"; do
  set -- $pair
  same_picture "${turned[$1]}" "${turned[$2]}" && fail "'$1' and '$2' turn the flag the same way"
done
note "x/X, y/Y and z/Z turn the flag and back"

# Accelerators belong to the main window whichever window has the focus: click into an empty
# spot of the wave window (below its sliders and buttons) and play and stop from there.
WAVE=$(windows "${TOOL_TITLES[0]}" "$PID" | head -1)
eval "$(xdotool getwindowgeometry --shell "$WAVE")"
xdotool mousemove --window "$WAVE" $((WIDTH / 2)) $((HEIGHT - 8)) click 1
is_still after-click || fail "clicking into the wave window started the animation"
xdotool key alt+f
wait_until 5 keeps_waving playing-from-tool ||
  fail "Alt+F typed in the wave window did not make the flag wave"
xdotool key alt+e
wait_until 5 is_still stopped-from-tool || fail "Alt+E typed in the wave window did not stop the flag"
is_still stopped-from-tool || fail "the flag moved again after Alt+E typed in the wave window"
note "Alt+F and Alt+E act from the wave window"

pid_gone "$PID" && fail "the program ended during the test"
note "PASS"
