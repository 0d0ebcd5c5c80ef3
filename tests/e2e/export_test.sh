#!/bin/bash
# PNG pictures and animations as a user makes them: a PNG with a transparent notch chosen in the
# real open dialog (its type picked in the type box) cuts the flag out as vexarond-render draws
# it; a GIF and a WebP animation chosen in the capture's dialog (Ctrl+A) and its settings dialog
# are, byte for byte, vexarond-render --cycle's files; and closing the window while an
# animation is being made leaves nothing behind.
# Needs VEXAROND_RENDER_EXE (the Windows build of vexarond-render) and VEXAROND_DRIVER_EXE.
source "$(dirname "$0")/e2e_lib.sh"
e2e_init export "$@"
: "${VEXAROND_RENDER_EXE:?}" "${VEXAROND_DRIVER_EXE:?}"

OPEN_TITLE="Vexarond ファイルを開く"
SAVE_TITLE="Vexarond 名前を付けて保存"
GIF_TITLE="GIFアニメーション保存設定"
WEBP_TITLE="WebPアニメーション保存設定"
# The type boxes' entries: JPEG, BMP, PNG, then in the capture's the GIF and WebP animations.
PNG_TYPE=2 GIF_TYPE=3 WEBP_TYPE=4
rm -rf "$SCRATCH/out" && mkdir -p "$SCRATCH/out"

render() { wine "$VEXAROND_RENDER_EXE" "$@" >>"$SCRATCH/wine.log" 2>&1 || fail "vexarond-render $* failed"; }
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# A red picture with a transparent notch at its left edge.
picture="$SCRATCH/notch.png"
convert -size 120x40 xc:'#d02828' -alpha set \( -size 30x20 xc:none \) -geometry +0+10 \
  -compose copy -composite "PNG32:$picture" || fail "could not make the test picture"

# in_dialog TITLE FILE TYPE: the name typed into the file dialog, the type chosen in its type
# box from the keyboard (the box is next in the tab order; each Down is one entry on), and the
# dialog's default button pressed.
in_dialog() {
  local dialog
  dialog=$(await_window "$1" "$PID") || fail "no dialog \"$1\""
  focus_window "$dialog"
  xdotool key End shift+Home BackSpace
  xdotool type --delay 20 "$(windows_path "$2")"
  xdotool key Tab Home
  local k
  for ((k = 0; k < $3; k++)); do xdotool key Down; done
  xdotool key Return
  wait_until "$APPEAR_TIMEOUT" no_window "$1" "$PID" || fail "the dialog \"$1\" stayed open"
}

# settings TITLE KEY...: the settings dialog answered with the keys (OK is its default button).
settings() {
  local title=$1 dialog
  shift
  dialog=$(await_window "$title" "$PID") || fail "no settings dialog \"$title\""
  focus_window "$dialog"
  [ $# -eq 0 ] || xdotool key "$@"
  xdotool key Return
  wait_until "$APPEAR_TIMEOUT" no_window "$title" "$PID" || fail "\"$title\" stayed open"
}

# finished FILE: the export is over when its file is there and no temporary file is left.
finished() { [ -s "$1" ] && [ "$(ls -A "$SCRATCH/out" | grep -c .)" = "$2" ]; }

# click_client TITLE X Y: a left click at a client point of a window.
click_client() {
  local origin
  origin=$(client_origin "$1") || fail "no client origin for \"$1\""
  xdotool mousemove $(($2 + ${origin% *})) $(($3 + ${origin#* })) click 1
}

start_to_main_window
click_client "コントロールBOX" 120 284   # 画像選択
in_dialog "$OPEN_TITLE" "$picture" $PNG_TYPE
check_render notch --picture "$picture"

focus_window "$MAIN"
xdotool key ctrl+a
in_dialog "$SAVE_TITLE" "$SCRATCH/out/wave.gif" $GIF_TYPE
settings "$GIF_TITLE"
wait_until 60 finished "$SCRATCH/out/wave.gif" 1 || fail "Ctrl+A made no wave.gif"
render --picture "$picture" --cycle --seamless "$SCRATCH/wave-render.gif"
cmp -s "$SCRATCH/out/wave.gif" "$SCRATCH/wave-render.gif" ||
  fail "wave.gif differs from vexarond-render --cycle --seamless"
note "Ctrl+A wrote wave.gif, byte for byte vexarond-render --cycle --seamless's"

# WebP, transparent, lossy: from OK, which has the focus, past Cancel and the first box
# (seamless) to the second (transparent), ticked, and the third (lossless), cleared.
focus_window "$MAIN"
xdotool key ctrl+a
in_dialog "$SAVE_TITLE" "$SCRATCH/out/wave.webp" $WEBP_TYPE
settings "$WEBP_TITLE" Tab Tab Tab space Tab space
wait_until 60 finished "$SCRATCH/out/wave.webp" 2 || fail "Ctrl+A made no wave.webp"
render --picture "$picture" --cycle --seamless --transparent --quality 80 "$SCRATCH/wave-render.webp"
cmp -s "$SCRATCH/out/wave.webp" "$SCRATCH/wave-render.webp" ||
  fail "wave.webp differs from vexarond-render --cycle --seamless --transparent --quality 80"
note "Ctrl+A wrote wave.webp, byte for byte vexarond-render's with the same settings"

# Closed while a long animation is made: the window goes at once and leaves nothing.
focus_window "$MAIN"
xdotool key ctrl+a
in_dialog "$SAVE_TITLE" "$SCRATCH/out/closed.webp" $WEBP_TYPE
settings "$WEBP_TITLE"
focus_window "$MAIN"
xdotool key ctrl+q
wait_exit "$PID" "$EXIT_TIMEOUT" || fail "the program did not end after Ctrl+Q during an export"
[ "$(ls -A "$SCRATCH/out" | sort | tr '\n' ' ')" = "wave.gif wave.webp " ] ||
  fail "closing during the export left: $(ls -A "$SCRATCH/out" | tr '\n' ' ')"
note "closing during an export left neither the file nor a temporary one"
