#!/bin/bash
# Start-up as a user sees it: the splash waits for a click, then the main window shows the
# white wireframe flag on black and the four tool windows stand beside it.
source "$(dirname "$0")/e2e_lib.sh"
e2e_init startup "$@"

launch
PID=$LAUNCHED_PID

SPLASH=$(await_window "$SPLASH_TITLE" "$PID") ||
  fail "the splash window \"$SPLASH_TITLE\" did not appear within $APPEAR_TIMEOUT s"
eval "$(xdotool getwindowgeometry --shell "$SPLASH")"
[ "$WIDTH" = 283 ] && [ "$HEIGHT" = 335 ] || fail "the splash is ${WIDTH}x$HEIGHT, expected 283x335"
read -r SCREEN_W SCREEN_H < <(xdotool getdisplaygeometry)
[ "$X" = $(((SCREEN_W - 283) / 2)) ] && [ "$Y" = $(((SCREEN_H - 335) / 2)) ] ||
  fail "the splash stands at ($X, $Y), not centred on the ${SCREEN_W}x$SCREEN_H desktop"

# The splash shows its picture, not just the white class background.
splash_painted() {
  region_shot "$X" "$Y" 283 335 "$SCRATCH/splash.png" || return 1
  read -r white black other < <(colour_counts "$SCRATCH/splash.png")
  [ $((black + other)) -ge $((283 * 335 / 10)) ]
}
white=unknown
wait_until 10 splash_painted || fail "the splash shows no picture (white pixels: $white of $((283 * 335)))"

# It has no timer: it stays until it is clicked, and nothing else opens meanwhile.
sleep 1
has_window "$SPLASH_TITLE" "$PID" || fail "the splash went away without a click"
no_window "$MAIN_TITLE" || fail "the main window opened while the splash was still up"

xdotool mousemove --window "$SPLASH" 100 100 click 1
wait_until "$APPEAR_TIMEOUT" no_window "$SPLASH_TITLE" "$PID" ||
  fail "the splash stayed after a click on it"
MAIN=$(await_window "$MAIN_TITLE" "$PID") ||
  fail "no main window \"$MAIN_TITLE\" within $APPEAR_TIMEOUT s after the splash was clicked"
for t in "${TOOL_TITLES[@]}"; do
  await_window "$t" "$PID" >/dev/null || fail "the tool window \"$t\" did not appear"
done
for t in "$MAIN_TITLE" "${TOOL_TITLES[@]}"; do
  n=$(window_count "$t")
  [ "$n" = 1 ] || fail "$n windows titled \"$t\", expected exactly one"
done
note "main window and the tool windows are up: $(titles_of "$PID")"

# The main window: 640 x 480 client pixels under a menu bar. When Wine draws the frame the X
# window is the whole window, and it stands where the program put it.
eval "$(xdotool getwindowgeometry --shell "$MAIN")"
border=$(((WIDTH - CLIENT_W) / 2))
[ $((WIDTH - CLIENT_W)) -ge 0 ] && [ $(((WIDTH - CLIENT_W) % 2)) = 0 ] && [ "$border" -le 16 ] &&
  [ $((HEIGHT - CLIENT_H - 2 * border)) -ge 10 ] ||
  fail "the main window measures ${WIDTH}x$HEIGHT; that holds no 640 x 480 client area under a menu bar"

# The first frame: only white lines on black, a real share of them, the flag whole and
# around the middle of the client area (its projection centre).
wait_until 10 wireframe_on_screen "$MAIN" "$SCRATCH/first_frame.png" ||
  fail "the main window does not show a white wireframe on black: white $WHITE, black $BLACK, other colours $OTHER pixels"
read -r bw bh bx by < <(convert "$SCRATCH/first_frame.png" -trim -format '%w %h %X %Y' info:)
bx=${bx#+} by=${by#+}
[ "$bx" -gt 0 ] && [ "$by" -gt 0 ] && [ $((bx + bw)) -lt "$CLIENT_W" ] && [ $((by + bh)) -lt "$CLIENT_H" ] ||
  fail "the flag (${bw}x$bh at $bx,$by) touches the edge of the client area"
cx=$((bx + bw / 2)) cy=$((by + bh / 2))
[ $((cx - 320)) -le 80 ] && [ $((320 - cx)) -le 80 ] && [ $((cy - 240)) -le 80 ] && [ $((240 - cy)) -le 80 ] ||
  fail "the flag's centre ($cx, $cy) is far from the middle of the client area"
note "first frame: $WHITE white pixels on black, flag ${bw}x$bh at ($bx, $by)"

if [ "$border" -gt 0 ]; then
  [ "$X" = 10 ] && [ "$Y" = 10 ] || fail "the main window stands at ($X, $Y), expected (10, 10)"
  # The frame and the menu bar enclose a black area of exactly 640 x 480: the one-pixel ring
  # around the client area holds no black, the client area's own outermost pixels are all black.
  client_area "$MAIN"
  region_shot $((CLIENT_X - 1)) $((CLIENT_Y - 1)) $((CLIENT_W + 2)) $((CLIENT_H + 2)) "$SCRATCH/client_ring.png"
  read -r _ ring_black _ < <(colour_counts "$SCRATCH/client_ring.png")
  read -r _ inner_black _ < <(convert "$SCRATCH/client_ring.png" -shave 2x2 miff:- | colour_counts -)
  [ "$ring_black" = "$BLACK" ] && [ $((BLACK - inner_black)) = $((CLIENT_W * CLIENT_H - (CLIENT_W - 2) * (CLIENT_H - 2))) ] ||
    fail "the black client area is not 640 x 480 under the menu bar (see $SCRATCH/client_ring.png)"
fi

pid_gone "$PID" && fail "the program ended on its own"
note "PASS"
