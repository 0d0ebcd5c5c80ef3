# Shared by the end-to-end scripts: the real Vexarond.exe under Wine, driven from outside
# through X (xdotool) and looked at with screenshots (ImageMagick).
#
# A script sources this file and calls `e2e_init NAME "$@"` with its own arguments:
#   VEXAROND_EXE SCRATCH_DIR [BUILD_DIR]
# ctest runs the scripts with DISPLAY and WINEPREFIX exported and one wineserver already running.
# Run by hand without them, e2e_init starts Xvfb and the project's Wine prefix in BUILD_DIR
# (default: the directory above the one holding the exe) and stops both on exit.

set -u

E2E_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
E2E_REPO=$(cd "$E2E_HERE/../.." && pwd)

MAIN_TITLE="Vexarond4.1.6Jwin"
SPLASH_TITLE="Vexarond Openning"
WARNING_TITLE="警告！"
TOOL_TITLES=("波動調整" "光源・質感設定" "コントロールBOX" "消去色設定")
CLIENT_W=640
CLIENT_H=480

# Generous bounds for a loaded machine. A prefix with managed windows and no window manager
# also waits about 2 s for each window it hides while the program runs (the splash, a dialog).
APPEAR_TIMEOUT=15
EXIT_TIMEOUT=20

E2E_PIDS=()
E2E_OWN_ENV=0

e2e_init() {
  E2E_NAME=$1
  shift
  if [ $# -lt 2 ]; then
    echo "usage: $0 VEXAROND_EXE SCRATCH_DIR [BUILD_DIR]" >&2
    exit 2
  fi
  EXE=$1
  SCRATCH=$2
  local build_dir=${3:-$(dirname "$(dirname "$EXE")")}
  [ -f "$EXE" ] || { echo "FAIL [$E2E_NAME]: no program at $EXE" >&2; exit 1; }
  mkdir -p "$SCRATCH"
  rm -f "$SCRATCH"/*.png "$SCRATCH"/wine.log
  trap e2e_cleanup EXIT
  if [ -z "${DISPLAY:-}" ] || [ -z "${WINEPREFIX:-}" ]; then
    # shellcheck source=../../scripts/lib/xwine.sh
    source "$E2E_REPO/scripts/lib/xwine.sh"
    E2E_OWN_ENV=1
    xwine_start "$build_dir" || fail "could not start Xvfb and Wine for $build_dir"
  fi
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES-mscoree,mshtml=}
  # A copy left running would answer the next start with the single-instance question.
  local stale
  stale=$(xdotool search --onlyvisible --name "^(Vexarond|$WARNING_TITLE)" 2>/dev/null | head -1)
  [ -z "$stale" ] || fail "a Vexarond window ('$(xdotool getwindowname "$stale")') is already open on $DISPLAY"
  echo "[$E2E_NAME] display $DISPLAY, prefix $WINEPREFIX, scratch $SCRATCH"
}

e2e_cleanup() {
  local rc=$? p
  for p in "${E2E_PIDS[@]}"; do
    pid_gone "$p" || kill "$p" 2>/dev/null
  done
  for p in "${E2E_PIDS[@]}"; do
    wait_until 10 pid_gone "$p" || kill -KILL "$p" 2>/dev/null
    wait "$p" 2>/dev/null
  done
  if [ "$E2E_OWN_ENV" = 1 ]; then xwine_stop; fi
  exit "$rc"
}

note() { echo "[$E2E_NAME] $*"; }

# Prints the reason, keeps a screenshot of the whole display, and ends the script.
fail() {
  echo "FAIL [$E2E_NAME]: $*" >&2
  if [ -n "${DISPLAY:-}" ] && import -window root "$SCRATCH/failure.png" 2>/dev/null; then
    echo "screenshot of the display: $SCRATCH/failure.png" >&2
  fi
  exit 1
}

now_ms() { echo $((${EPOCHREALTIME/./} / 1000)); }

# wait_until SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds; status 1 on time-out.
wait_until() {
  local deadline=$(($(now_ms) + $1 * 1000))
  shift
  until "$@"; do
    [ "$(now_ms)" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

pid_gone() { [ ! -e "/proc/$1" ] || grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null; }

# Starts one copy of the program; its process id is left in LAUNCHED_PID. The wine launcher
# becomes the Windows process itself, so this id is the one whose exit code is the program's.
launch() {
  wine "$EXE" >>"$SCRATCH/wine.log" 2>&1 &
  LAUNCHED_PID=$!
  E2E_PIDS+=("$LAUNCHED_PID")
  note "started Vexarond.exe, pid $LAUNCHED_PID"
}

# wait_exit PID SECONDS: waits for the process to end; its exit code is left in EXIT_CODE.
wait_exit() {
  wait_until "$2" pid_gone "$1" || return 1
  wait "$1"
  EXIT_CODE=$?
}

title_regex() { printf '^%s$' "$(printf '%s' "$1" | sed 's/[].^$*+?(){}|\\[]/\\&/g')"; }

# windows TITLE [PID]: ids of the mapped X windows with exactly this title (of that process).
windows() {
  if [ $# -ge 2 ]; then
    xdotool search --all --onlyvisible --pid "$2" --name "$(title_regex "$1")" 2>/dev/null
  else
    xdotool search --onlyvisible --name "$(title_regex "$1")" 2>/dev/null
  fi
}
window_count() { windows "$@" | grep -c .; }
has_window() { [ "$(window_count "$@")" -ge 1 ]; }
no_window() { [ "$(window_count "$@")" -eq 0 ]; }

# await_window TITLE [PID]: waits for the window and prints its id; status 1 on time-out.
await_window() {
  wait_until "$APPEAR_TIMEOUT" has_window "$@" || return 1
  windows "$@" | head -1
}

# Titles of the mapped windows a process still shows (Wine's 1 x 1 IME windows left out).
titles_of() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
    local name
    name=$(xdotool getwindowname "$w" 2>/dev/null)
    [ -z "$name" ] || [ "$name" = "Default IME" ] || printf '"%s" ' "$name"
  done
}
shows_nothing() { [ -z "$(titles_of "$1")" ]; }

# The program's own path through start-up: wait for the splash, click it, wait for the main
# window and the tool windows. Leaves MAIN (the main window's X id) and PID.
start_to_main_window() {
  launch
  PID=$LAUNCHED_PID
  local splash
  splash=$(await_window "$SPLASH_TITLE" "$PID") ||
    fail "the splash window \"$SPLASH_TITLE\" did not appear within $APPEAR_TIMEOUT s"
  xdotool mousemove --window "$splash" 100 100 click 1
  wait_until "$APPEAR_TIMEOUT" no_window "$SPLASH_TITLE" "$PID" ||
    fail "the splash window stayed after a click on it"
  MAIN=$(await_window "$MAIN_TITLE" "$PID") ||
    fail "no main window \"$MAIN_TITLE\" within $APPEAR_TIMEOUT s after the splash was clicked"
  local t
  for t in "${TOOL_TITLES[@]}"; do
    await_window "$t" "$PID" >/dev/null || fail "the tool window \"$t\" did not appear"
  done
}

# Gives a window the keyboard focus; with no window manager nobody else does.
focus_window() {
  xdotool windowfocus --sync "$1" 2>/dev/null || fail "could not give the focus to window $1"
}

# client_area WINDOW: finds the main window's 640 x 480 client area on the screen and leaves its
# top-left corner in CLIENT_X, CLIENT_Y and the frame's border width in BORDER. The X window is the
# whole window with the frame Wine draws itself (the tests' prefix keeps windows unmanaged) or,
# under a window manager, the menu bar and client area alone; either way the client area sits at
# the bottom with the same border to its left, right and below.
client_area() {
  local WINDOW X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)"
  [ -n "${HEIGHT:-}" ] || return 1
  BORDER=$(((WIDTH - CLIENT_W) / 2))
  CLIENT_X=$((X + BORDER))
  CLIENT_Y=$((Y + HEIGHT - BORDER - CLIENT_H))
}

# client_shot WINDOW FILE: a picture of the main window's client area.
client_shot() {
  client_area "$1" || return 1
  import -window root -crop "${CLIENT_W}x${CLIENT_H}+$CLIENT_X+$CLIENT_Y" +repage "$2"
}

# region_shot X Y W H FILE
region_shot() { import -window root -crop "$3x$4+$1+$2" +repage "$5"; }

# Number of pixels that differ between two pictures of the same size.
pixel_difference() { compare -metric AE "$1" "$2" null: 2>&1; }
same_picture() { [ "$(pixel_difference "$1" "$2")" = 0 ]; }

# colour_counts FILE: prints "white black other" pixel counts.
colour_counts() {
  convert "$1" -format %c histogram:info: | awk '
    { n = $1; sub(":", "", n)
      for (i = 2; i <= NF; i++) if ($i ~ /^#[0-9A-Fa-f]+$/) hex = toupper($i)
      if (hex ~ /^#F+$/) w += n; else if (hex ~ /^#0+$/) b += n; else o += n }
    END { printf "%d %d %d\n", w, b, o }'
}

# wireframe_on_screen WINDOW FILE: the client area shows only white lines on black, with a real
# share of white. Leaves the counts in WHITE, BLACK and OTHER.
WHITE=unknown BLACK=unknown OTHER=unknown
wireframe_on_screen() {
  client_shot "$1" "$2" || return 1
  read -r WHITE BLACK OTHER < <(colour_counts "$2")
  [ "$OTHER" = 0 ] && [ "$WHITE" -ge $((CLIENT_W * CLIENT_H / 100)) ] &&
    [ "$BLACK" -ge $((CLIENT_W * CLIENT_H / 2)) ]
}

# menu COMMAND_ID...: the program carries out the commands its menu items send.
menu() { wine "$VEXAROND_DRIVER_EXE" "$@" >>"$SCRATCH/wine.log" 2>&1 || fail "could not send commands $*"; }

# client_origin TITLE: the screen position of a window's client origin, as "X Y".
client_origin() { wine "$VEXAROND_DRIVER_EXE" --client "$1" 2>>"$SCRATCH/wine.log" | tr -d '\r'; }

# check_render NAME RENDER_ACTIONS...: the main window's client area equals, pixel for pixel,
# what vexarond-render draws for the actions. Needs VEXAROND_RENDER_EXE and MAIN.
check_render() {
  local name=$1
  shift
  wine "$VEXAROND_RENDER_EXE" "$@" "$SCRATCH/$name-render.bmp" >>"$SCRATCH/wine.log" 2>&1 ||
    fail "$name: vexarond-render $* failed"
  # The frame buffer is one pixel wider and higher than the client area the window shows.
  convert "$SCRATCH/$name-render.bmp" -crop "${CLIENT_W}x${CLIENT_H}+0+0" +repage "$SCRATCH/$name-render.png"
  matches() { client_shot "$MAIN" "$SCRATCH/$name-window.png" && same_picture "$SCRATCH/$name-window.png" "$SCRATCH/$name-render.png"; }
  wait_until 5 matches ||
    fail "$name: the window differs from vexarond-render $* in $(pixel_difference "$SCRATCH/$name-window.png" "$SCRATCH/$name-render.png") pixels"
  note "$name: the window shows exactly the renderer's frame for: $*"
}
