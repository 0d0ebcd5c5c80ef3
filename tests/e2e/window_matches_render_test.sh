#!/bin/bash
# What the window shows after menu commands and typed keys is, pixel for pixel, what
# vexarond-render draws for the same actions: the window program and the headless renderer
# share one set of operations.
# Needs VEXAROND_RENDER_EXE (the Windows build of vexarond-render) and VEXAROND_DRIVER_EXE.
source "$(dirname "$0")/e2e_lib.sh"
e2e_init window_matches_render "$@"
: "${VEXAROND_RENDER_EXE:?}" "${VEXAROND_DRIVER_EXE:?}"

start_to_main_window
focus_window "$MAIN"
check_render start

menu 2213                      # サーフェイス > 赤色
xdotool type --delay 50 yyy
check_render red_turned --flag red --keys yyy

menu 2223                      # 背景色 > 青色
xdotool key alt+n              # one frame forward
xdotool type --delay 50 hK
menu 2209                      # サーフェイス > 水色
check_render cyan_on_blue --flag red --keys yyy --background blue --step 1 --keys hK --flag cyan

menu 2217 2226                 # ワイヤーフレーム, 背景色 > 白色
xdotool key alt+m alt+m        # two frames back
check_render wire_on_white --flag red --keys yyy --background blue --step 1 --keys hK --flag cyan \
  --wireframe --background white --step -2

xdotool key ctrl+q
wait_exit "$PID" "$EXIT_TIMEOUT" || fail "the program did not end after Ctrl+Q"
