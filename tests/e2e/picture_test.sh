#!/bin/bash
# A picture on the flag as a user puts it there: the control box's 画像選択, a name typed into
# the real open dialog; then a colour picked from the erase window's preview with the mouse and
# erased. Each time the window shows exactly what vexarond-render draws for the same picture
# and colour.
# Needs VEXAROND_RENDER_EXE (the Windows build of vexarond-render) and VEXAROND_DRIVER_EXE.
source "$(dirname "$0")/e2e_lib.sh"
e2e_init picture "$@"
: "${VEXAROND_RENDER_EXE:?}" "${VEXAROND_DRIVER_EXE:?}"

BOX_TITLE="コントロールBOX"
ERASE_TITLE="消去色設定"
OPEN_TITLE="Vexarond ファイルを開く"
PICK_TITLE="消去色抽出"

# A picture with a red upper half and a blue lower half.
picture="$SCRATCH/flag.jpg"
convert -size 120x40 xc:'#d02828' -size 120x40 xc:'#2848d0' -append -quality 95 "$picture" ||
  fail "could not make the test picture"

driver() { wine "$VEXAROND_DRIVER_EXE" "$@" 2>>"$SCRATCH/wine.log" | tr -d '\r'; }

# click_client TITLE X Y: a left click at a client point of a window.
click_client() {
  local origin
  origin=$(client_origin "$1") || fail "no client origin for \"$1\""
  xdotool mousemove $(($2 + ${origin% *})) $(($3 + ${origin#* })) click 1
}

start_to_main_window
check_render start

click_client "$BOX_TITLE" 120 284   # 画像選択
open=$(await_window "$OPEN_TITLE" "$PID") || fail "the open dialog did not appear"
focus_window "$open"
# The file name box has the focus; Wine shows this machine's files on drive Z:.
xdotool type --delay 20 "Z:${picture//\//\\}"
xdotool key Return
wait_until "$APPEAR_TIMEOUT" no_window "$OPEN_TITLE" "$PID" || fail "the open dialog stayed open"
check_render textured --picture "$picture"

click_client "$ERASE_TITLE" 140 22  # 画像から取得
await_window "$PICK_TITLE" "$PID" >/dev/null || fail "the erase colour dialog did not appear"
read -r left top right bottom < <(driver --rect "$PICK_TITLE" 12380) || fail "no preview frame"
sleep 0.5                            # the preview is drawn before it is picked from
xdotool mousemove $(((left + right) / 2)) $((top + (bottom - top) / 3)) click 1
red=$(driver --text "$PICK_TITLE" 12340) green=$(driver --text "$PICK_TITLE" 12350)
blue=$(driver --text "$PICK_TITLE" 12360)
colour="$((red)),$((green)),$((blue))"
note "picked $colour from the preview"
# The dialog holds the whole program: the control box's 画像選択 (clicked at its right end,
# clear of the dialog) opens no other picture under the preview it picks from.
click_client "$BOX_TITLE" 160 284
if wait_until 2 has_window "$OPEN_TITLE" "$PID"; then
  fail "画像選択 opened \"$OPEN_TITLE\" while \"$PICK_TITLE\" was open"
fi
note "the control box took no click while the dialog was open"
focus_window "$(windows "$PICK_TITLE" "$PID" | head -1)"
xdotool key Return                   # OK
wait_until "$APPEAR_TIMEOUT" no_window "$PICK_TITLE" "$PID" || fail "the erase colour dialog stayed open"
click_client "$ERASE_TITLE" 30 58    # 指定色を消去する
check_render erased --picture "$picture" --erase "$colour"

focus_window "$MAIN"
xdotool key ctrl+q
wait_exit "$PID" "$EXIT_TIMEOUT" || fail "the program did not end after Ctrl+Q"
