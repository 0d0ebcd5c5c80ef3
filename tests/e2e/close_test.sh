#!/bin/bash
# Closing ends the program at once, every way it can be asked for, also where Wine leaves the
# windows to a window manager and the display has none: scripts/run's prefix under Xvfb. There
# Wine waits 2 s for each shown window it hides, so hiding the five windows one by one on the
# way out froze the program for 10 s before it ended.
# The tests' prefix keeps windows unmanaged; a copy of the program under a name of its own gets
# managed windows through Wine's per-program setting, so no other test is touched.
# Needs VEXAROND_DRIVER_EXE.
source "$(dirname "$0")/e2e_lib.sh"
e2e_init close "$@"
: "${VEXAROND_DRIVER_EXE:?}"

# Well above the fraction of a second a close takes, well below the 10 s of the frozen close.
CLOSE_BOUND_MS=4000

managed_name=VexarondManaged.exe
cp "$EXE" "$SCRATCH/$managed_name" || fail "could not copy the program to $SCRATCH"
EXE="$SCRATCH/$managed_name"
wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$managed_name\\X11 Driver" /v Managed /t REG_SZ \
  /d Y /f >>"$SCRATCH/wine.log" 2>&1 || fail "could not give $managed_name managed windows"

# close_promptly HOW: asks the running program to close as HOW says, then checks that every
# window is gone and the process has ended with exit code 0 within the bound.
close_promptly() {
  local how=$1 start elapsed
  start=$(now_ms)
  case $how in
    WM_CLOSE) wine "$VEXAROND_DRIVER_EXE" --close "$MAIN_TITLE" 2>>"$SCRATCH/wine.log" ||
                fail "could not post WM_CLOSE to the main window" ;;
    1990) menu 1990 ;;
    *) focus_window "$MAIN"; xdotool key "$how" ;;
  esac
  wait_exit "$PID" "$EXIT_TIMEOUT" || fail "$how: the program still runs $EXIT_TIMEOUT s later"
  elapsed=$(($(now_ms) - start))
  [ "$EXIT_CODE" = 0 ] || fail "$how: the program ended with exit code $EXIT_CODE, expected 0"
  [ "$elapsed" -le "$CLOSE_BOUND_MS" ] ||
    fail "$how: the program took $elapsed ms to end, more than $CLOSE_BOUND_MS ms"
  note "$how: ended after $elapsed ms, exit code 0"
}

for how in WM_CLOSE ctrl+q alt+F4 1990; do
  start_to_main_window
  close_promptly "$how"
done
note "PASS"
