#!/bin/bash
# The tool windows with the real mouse: a slider thumb dragged past its end, a click on the
# light dial and a click on a control box radio button change the flag exactly as the headless
# renderer's matching actions do.
# Needs VEXAROND_RENDER_EXE (the Windows build of vexarond-render) and VEXAROND_DRIVER_EXE.
source "$(dirname "$0")/e2e_lib.sh"
e2e_init tool_windows "$@"
: "${VEXAROND_RENDER_EXE:?}" "${VEXAROND_DRIVER_EXE:?}"

WAVE_TITLE="波動調整"
LIGHT_TITLE="光源・質感設定"
BOX_TITLE="コントロールBOX"

# click_client TITLE X Y: a left click at a client point of a tool window.
click_client() {
  local origin
  origin=$(client_origin "$1") || fail "no client origin for \"$1\""
  set -- "$1" $(($2 + ${origin% *})) $(($3 + ${origin#* }))
  xdotool mousemove "$2" "$3" click 1
}

# drag_thumb TITLE SLIDER_ID DX: presses the slider's thumb and drags it DX pixels sideways. A
# pointer that strays more than twice the bar's height beyond its ends puts the thumb back,
# as the platform's scroll bars do, so the drag stops just past the end.
drag_thumb() {
  local thumb x y
  thumb=$(wine "$VEXAROND_DRIVER_EXE" --thumb "$1" "$2" 2>>"$SCRATCH/wine.log" | tr -d '\r') ||
    fail "no thumb for slider $2 of \"$1\""
  x=${thumb% *} y=${thumb#* }
  xdotool mousemove "$x" "$y" mousedown 1
  local step
  for step in 1 2 3 4 5 6; do xdotool mousemove "$((x + step * $3 / 6))" "$y"; sleep 0.05; done
  xdotool mouseup 1
}

start_to_main_window
check_render start

drag_thumb "$WAVE_TITLE" 12000 70    # 周期 past its right end: period 10
check_render period_dragged --period 10

click_client "$LIGHT_TITLE" 125 35   # a pick on the dial
check_render dial_clicked --period 10 --light-point 125,35

click_client "$BOX_TITLE" 180 215    # 旗の色 > 赤色
check_render red_from_the_box --period 10 --light-point 125,35 --flag red

drag_thumb "$WAVE_TITLE" 12000 -100  # 周期 past its left end: period 2
check_render period_back --period 10 --light-point 125,35 --flag red --period 2

focus_window "$MAIN"
xdotool key ctrl+q
wait_exit "$PID" "$EXIT_TIMEOUT" || fail "the program did not end after Ctrl+Q"
