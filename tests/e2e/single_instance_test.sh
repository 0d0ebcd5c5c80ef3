#!/bin/bash
# A second start while a copy runs asks "警告！" first. "No" ends the second start by itself,
# with no second main window; "Yes" starts a second copy that lives and ends on its own.
source "$(dirname "$0")/e2e_lib.sh"
e2e_init single_instance "$@"

start_to_main_window
FIRST=$PID
FIRST_MAIN=$MAIN

# answer_question PID KEY: waits for that process's question and answers it from the keyboard
# (the message box takes "n" for No and "y" for Yes, as its buttons are labelled).
answer_question() {
  local box
  box=$(await_window "$WARNING_TITLE" "$1") ||
    fail "the second start (pid $1) did not ask \"$WARNING_TITLE\" within $APPEAR_TIMEOUT s"
  [ "$(window_count "$WARNING_TITLE")" = 1 ] || fail "more than one \"$WARNING_TITLE\" box is open"
  no_window "$MAIN_TITLE" "$1" || fail "the second start opened a main window before the answer"
  focus_window "$box"
  xdotool key "$2"
}

# --- No: the second start gives up.
launch
SECOND=$LAUNCHED_PID
answer_question "$SECOND" n
wait_exit "$SECOND" "$EXIT_TIMEOUT" ||
  fail "the second start still runs $EXIT_TIMEOUT s after \"No\" (windows: $(titles_of "$SECOND"))"
[ "$EXIT_CODE" = 0 ] || fail "the second start ended with exit code $EXIT_CODE after \"No\", expected 0"
n=$(window_count "$MAIN_TITLE")
[ "$n" = 1 ] || fail "$n main windows after \"No\", expected only the first copy's"
pid_gone "$FIRST" && fail "the first copy ended when the second start was refused"
[ "$(windows "$MAIN_TITLE" "$FIRST")" = "$FIRST_MAIN" ] || fail "the first copy lost its main window"
note "\"No\": the second start ended with code 0 and no main window; the first copy runs on"

# --- Yes: a second, independent copy starts through its own splash.
launch
THIRD=$LAUNCHED_PID
answer_question "$THIRD" y
splash=$(await_window "$SPLASH_TITLE" "$THIRD") ||
  fail "after \"Yes\" the second copy showed no splash within $APPEAR_TIMEOUT s"
xdotool mousemove --window "$splash" 100 100 click 1
wait_until "$APPEAR_TIMEOUT" no_window "$SPLASH_TITLE" "$THIRD" ||
  fail "the second copy's splash stayed after a click on it"
THIRD_MAIN=$(await_window "$MAIN_TITLE" "$THIRD") || fail "after \"Yes\" the second copy opened no main window"
for t in "${TOOL_TITLES[@]}"; do
  await_window "$t" "$THIRD" >/dev/null || fail "the second copy's tool window \"$t\" did not appear"
done
n=$(window_count "$MAIN_TITLE")
[ "$n" = 2 ] || fail "$n main windows with two copies running, expected 2"
note "\"Yes\": a second copy runs beside the first"

# Ending the second copy leaves the first one alone.
focus_window "$THIRD_MAIN"
xdotool key ctrl+q
wait_exit "$THIRD" "$EXIT_TIMEOUT" ||
  fail "the second copy still runs $EXIT_TIMEOUT s after Ctrl+Q (windows: $(titles_of "$THIRD"))"
[ "$EXIT_CODE" = 0 ] || fail "the second copy ended with exit code $EXIT_CODE, expected 0"
pid_gone "$FIRST" && fail "the first copy ended together with the second"
[ "$(windows "$MAIN_TITLE")" = "$FIRST_MAIN" ] || fail "the first copy's main window is not the only one left"
for t in "${TOOL_TITLES[@]}"; do
  [ "$(window_count "$t" "$FIRST")" = 1 ] || fail "the first copy lost its tool window \"$t\""
done
note "the second copy ended with code 0; the first copy still has all its windows"
note "PASS"
