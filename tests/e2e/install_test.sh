#!/bin/bash
# The installer as a user meets it, in a Wine prefix made afresh: a silent install for the current
# user, its Start-menu shortcuts and its entry in the installed programs, the installed programs
# started, an upgrade over an older version, and a silent uninstall that leaves nothing of the
# program behind and keeps the user's own files.
# Needs VEXAROND_SETUP (the installer), VEXAROND_VERSION, VEXAROND_NATIVE_RENDER, and for the
# older installer VEXAROND_MAKE_PACKAGES, VEXAROND_WIN_DEPS_DIR and VEXAROND_RENDER_EXE.
source "$(dirname "$0")/e2e_lib.sh"
e2e_init install "$@"

for v in VEXAROND_SETUP VEXAROND_VERSION VEXAROND_NATIVE_RENDER VEXAROND_MAKE_PACKAGES VEXAROND_WIN_DEPS_DIR; do
  [ -n "${!v:-}" ] || fail "$v is not set"
done
[ -f "$VEXAROND_SETUP" ] || fail "no installer at $VEXAROND_SETUP"
[ -x "$VEXAROND_NATIVE_RENDER" ] || fail "no native vexarond-render at $VEXAROND_NATIVE_RENDER (build/native)"

BUILT_EXE=$EXE

# A prefix of this test's own, made afresh, with its own wineserver; ended on the way out.
TEST_PREFIX=$WINEPREFIX
export WINEPREFIX="$SCRATCH/prefix"
rm -rf "$WINEPREFIX" "$SCRATCH/old" "$SCRATCH/home"
install_cleanup() {
  local rc=$?
  wineserver -k 2>/dev/null
  export WINEPREFIX=$TEST_PREFIX
  (exit $rc)
  e2e_cleanup
}
trap install_cleanup EXIT
wineboot -i >>"$SCRATCH/wine.log" 2>&1 || fail "wineboot could not make a fresh prefix"
wineserver -p

unix_path() { winepath -u "$1" 2>/dev/null | tr -d '\r'; }
windows_variable() { wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r'; }
LOCALAPPDATA_DIR=$(unix_path "$(windows_variable LOCALAPPDATA)")
STARTMENU=$(unix_path "$(windows_variable APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs")
[ -d "$LOCALAPPDATA_DIR" ] && [ -n "$STARTMENU" ] || fail "the fresh prefix has no per-user folders"
DEFAULT_DIR="$LOCALAPPDATA_DIR/Programs/Vexarond"
SHORTCUTS=("$STARTMENU/Vexarond/Vexarond.lnk" "$STARTMENU/Vexarond/Uninstall Vexarond.lnk")
PROGRAM_FILES=(Vexarond.exe vexarond-render.exe QUICKSTART-ja.txt QUICKSTART-en.txt LICENSE.txt
  THIRD-PARTY-NOTICES.txt Uninstall.exe)
UNINSTALL_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall'

# entry VALUE: the value of Vexarond's uninstall entry; entries: how many entries name Vexarond.
entry() { wine reg query "$UNINSTALL_KEY\\Vexarond" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"; }
entries() { wine reg query "$UNINSTALL_KEY" /s 2>/dev/null | tr -d '\r' | grep -c -E '^ *DisplayName +REG_SZ +Vexarond$'; }

# installed_at DIR: every file the installer puts there, the shortcuts and one entry for DIR.
installed_at() {
  local f
  for f in "${PROGRAM_FILES[@]}"; do [ -f "$1/$f" ] || fail "the install has no $1/$f"; done
  for f in "${SHORTCUTS[@]}"; do [ -f "$f" ] || fail "no Start-menu shortcut $f"; done
  [ "$(entries)" = 1 ] || fail "$(entries) uninstall entries name Vexarond, expected one"
  [ "$(unix_path "$(entry InstallLocation)")" = "$1" ] ||
    fail "the entry's InstallLocation is '$(entry InstallLocation)', not $1"
  [ "$(entry UninstallString)" = "\"$(entry InstallLocation)\\Uninstall.exe\"" ] ||
    fail "the entry's UninstallString is '$(entry UninstallString)'"
}

windows_path() { winepath -w "$1" 2>/dev/null | tr -d '\r'; }
# setup INSTALLER [/D=DIR]: a silent install, typed as at a command prompt: NSIS takes /D= last
# and unquoted, spaces and all, which Wine's own quoting of arguments would not leave alone.
setup() {
  local installer=$1
  shift
  wine cmd /c "$(windows_path "$installer") /S $*" >>"$SCRATCH/wine.log" 2>&1 ||
    fail "the silent install $(basename "$installer") $* failed"
}

# 1. A silent install goes, without administrator rights, into the user's own programs folder.
setup "$VEXAROND_SETUP"
installed_at "$DEFAULT_DIR"
[ "$(entry DisplayName)" = Vexarond ] && [ "$(entry DisplayVersion)" = "$VEXAROND_VERSION" ] ||
  fail "the entry shows '$(entry DisplayName)' '$(entry DisplayVersion)', expected Vexarond $VEXAROND_VERSION"
cmp -s "$DEFAULT_DIR/Vexarond.exe" "$EXE" || fail "the installed Vexarond.exe is not the one built"
note "installed silently into $DEFAULT_DIR with its shortcuts and one entry"

# 2. The installed programs: vexarond-render says the version and draws the native build's bytes,
# Vexarond.exe opens its splash and then the main window.
INSTALLED_RENDER="$DEFAULT_DIR/vexarond-render.exe"
printed=$(wine "$INSTALLED_RENDER" --version 2>>"$SCRATCH/wine.log" | tr -d '\r')
[ "$printed" = "vexarond-render $VEXAROND_VERSION" ] ||
  fail "the installed vexarond-render --version printed '$printed'"
actions=(--flag red --keys yyxzhk --light 1,-2,3 --period 7 --step 5)
(cd "$SCRATCH" && wine "$INSTALLED_RENDER" "${actions[@]}" installed.png >>wine.log 2>&1) ||
  fail "the installed vexarond-render could not draw ${actions[*]}"
"$VEXAROND_NATIVE_RENDER" "${actions[@]}" "$SCRATCH/native.png" || fail "the native vexarond-render failed"
cmp -s "$SCRATCH/installed.png" "$SCRATCH/native.png" ||
  fail "the installed vexarond-render's frame differs from the native build's"
note "installed vexarond-render: $printed, the native build's frame byte for byte"

EXE="$DEFAULT_DIR/Vexarond.exe"
start_to_main_window
focus_window "$MAIN"
xdotool key ctrl+q
wait_exit "$PID" "$EXIT_TIMEOUT" || fail "the installed program did not end on Ctrl+Q"
note "the installed Vexarond.exe showed its splash, its main window \"$MAIN_TITLE\" and ended"

# 3. A silent uninstall removes the files, the shortcuts and the entry, and nothing else: a picture
# saved in the install folder's parent, and one saved in the install folder itself, stay.
printf 'a saved frame' >"$DEFAULT_DIR/../my-flag.bmp"
printf 'another saved frame' >"$DEFAULT_DIR/kept.bmp"
uninstall() {  # DIR: the uninstaller copies itself away and returns at once, so wait for it
  wine "$1/Uninstall.exe" /S >>"$SCRATCH/wine.log" 2>&1 || fail "the silent uninstall in $1 failed"
  gone() { [ ! -e "$1/Uninstall.exe" ] && [ "$(entries)" = 0 ]; }
  wait_until 30 gone "$1" || fail "the uninstaller left $1/Uninstall.exe or the entry"
}
uninstall "$DEFAULT_DIR"
for f in "${PROGRAM_FILES[@]}"; do [ ! -e "$DEFAULT_DIR/$f" ] || fail "the uninstall left $f"; done
for f in "${SHORTCUTS[@]}"; do [ ! -e "$f" ] || fail "the uninstall left the shortcut $f"; done
[ ! -e "$STARTMENU/Vexarond" ] || fail "the uninstall left the Start-menu folder"
[ "$(cat "$DEFAULT_DIR/../my-flag.bmp")" = 'a saved frame' ] || fail "the uninstall touched a file in the install folder's parent"
[ "$(cat "$DEFAULT_DIR/kept.bmp")" = 'another saved frame' ] || fail "the uninstall removed a file the user saved in the install folder"
[ "$(ls -A "$DEFAULT_DIR")" = kept.bmp ] || fail "the install folder holds more than the user's file: $(ls -A "$DEFAULT_DIR")"
note "uninstalled: no file, shortcut or entry left; the user's files kept"

# 4. Upgrades: an older version is replaced, in its own folder or, given /D=, from another one,
# and the programs list keeps one entry.
(bash "$VEXAROND_MAKE_PACKAGES" 0.9.0 2026-01-01 "older test version" "$SCRATCH/old" \
  "$VEXAROND_WIN_DEPS_DIR" "$BUILT_EXE" "$VEXAROND_RENDER_EXE" >>"$SCRATCH/wine.log" 2>&1) ||
  fail "could not make an older installer (see $SCRATCH/wine.log)"
OLD_SETUP="$SCRATCH/old/Vexarond-0.9.0-setup.exe"
OLD_DIR="$LOCALAPPDATA_DIR/Older Vexarond"
setup "$OLD_SETUP" "/D=$(windows_path "$OLD_DIR")"
installed_at "$OLD_DIR"
[ "$(entry DisplayVersion)" = 0.9.0 ] || fail "the older install shows version '$(entry DisplayVersion)'"
setup "$VEXAROND_SETUP"
installed_at "$OLD_DIR"
[ "$(entry DisplayVersion)" = "$VEXAROND_VERSION" ] || fail "after the upgrade the entry shows '$(entry DisplayVersion)'"
note "upgraded in place: one entry, version $VEXAROND_VERSION"
uninstall "$OLD_DIR"

NEW_DIR="$SCRATCH/home/Vexarond"
mkdir -p "$SCRATCH/home"
setup "$OLD_SETUP" "/D=$(windows_path "$OLD_DIR")"
setup "$VEXAROND_SETUP" "/D=$(windows_path "$NEW_DIR")"
installed_at "$NEW_DIR"
[ "$(entry DisplayVersion)" = "$VEXAROND_VERSION" ] || fail "after the upgrade the entry shows '$(entry DisplayVersion)'"
[ ! -e "$OLD_DIR" ] || fail "an upgrade into another folder left the earlier one: $(ls -A "$OLD_DIR")"
note "upgraded into another folder: one entry, the earlier folder gone"
uninstall "$NEW_DIR"
[ ! -e "$NEW_DIR" ] || fail "the uninstall left the empty install folder $NEW_DIR"
note "PASS"
