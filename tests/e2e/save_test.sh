#!/bin/bash
# Saving as a user does: Ctrl+S through the real save and JPEG dialogs, then Ctrl+A for one
# wave cycle as numbered files. The files decode, and each equals, byte for byte, what
# vexarond-render writes for the same state.
# Needs VEXAROND_RENDER_EXE (the Windows build of vexarond-render) and VEXAROND_DRIVER_EXE.
source "$(dirname "$0")/e2e_lib.sh"
e2e_init save "$@"
: "${VEXAROND_RENDER_EXE:?}" "${VEXAROND_DRIVER_EXE:?}"

SAVE_TITLE="Vexarond 名前を付けて保存"
JPEG_TITLE="Jpeg保存ファイル設定"
rm -f "$SCRATCH"/*.jpg

render() { wine "$VEXAROND_RENDER_EXE" "$@" >>"$SCRATCH/wine.log" 2>&1 || fail "vexarond-render $* failed"; }
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# save_through_dialogs KEY FILE: the key opens the save dialog; FILE is typed, the JPEG
# settings are taken as they are.
save_through_dialogs() {
  xdotool key "$1"
  local dialog
  dialog=$(await_window "$SAVE_TITLE" "$PID") || fail "$1 opened no save dialog"
  focus_window "$dialog"
  xdotool key End shift+Home BackSpace   # the proposed name out
  xdotool type --delay 20 "$(windows_path "$2")"
  xdotool key Return
  dialog=$(await_window "$JPEG_TITLE" "$PID") || fail "no JPEG settings after the save dialog"
  focus_window "$dialog"
  xdotool key Return
  wait_until "$APPEAR_TIMEOUT" no_window "$JPEG_TITLE" "$PID" || fail "the JPEG settings stayed open"
}

start_to_main_window
menu 2213                               # サーフェイス > 赤色
focus_window "$MAIN"

save_through_dialogs ctrl+s "$SCRATCH/shot.jpg"
wait_until 5 test -s "$SCRATCH/shot.jpg" || fail "Ctrl+S wrote no shot.jpg"
identify "$SCRATCH/shot.jpg" | grep -q ' JPEG 641x481 ' || fail "shot.jpg is not a 641 x 481 JPEG"
render --flag red "$SCRATCH/shot-render.jpg"
cmp -s "$SCRATCH/shot.jpg" "$SCRATCH/shot-render.jpg" || fail "shot.jpg differs from vexarond-render's"
note "Ctrl+S wrote the shown frame, byte for byte the renderer's JPEG"

focus_window "$MAIN"
save_through_dialogs ctrl+a "$SCRATCH/cycle.jpg"
# 60 frames, one every 100 ms.
wait_until 30 test -s "$SCRATCH/cycle060.jpg" || fail "Ctrl+A did not write 60 frames"
sleep 0.5
[ ! -e "$SCRATCH/cycle061.jpg" ] || fail "the series went past one cycle"
render --flag red --cycle "$SCRATCH/reference.jpg"
for k in $(seq -f %03g 1 60); do
  cmp -s "$SCRATCH/cycle$k.jpg" "$SCRATCH/reference$k.jpg" ||
    fail "frame $k of the window's series differs from vexarond-render --cycle"
done
note "Ctrl+A wrote cycle001.jpg to cycle060.jpg, each the renderer's frame byte for byte"

focus_window "$MAIN"
xdotool key ctrl+q
wait_exit "$PID" "$EXIT_TIMEOUT" || fail "the program did not end after Ctrl+Q"
