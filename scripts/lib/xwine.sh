# Sourced by the scripts: an X display (Xvfb) and the project's own Wine prefix.
# xwine_start BUILD_DIR starts what is needed and exports DISPLAY and WINEPREFIX;
# xwine_stop ends exactly what xwine_start started. Callers set a trap on EXIT.

XWINE_XVFB_PID=""
XWINE_OWN_DISPLAY=0

# BUILD_DIR [user]: makes the prefix once, with Japanese fonts as replacements. The tests' prefix
# leaves windows unmanaged: there is no window manager under Xvfb, and a managed window would
# wait for one on every destroy. The user's prefix ("user") keeps windows managed.
xwine_prefix() {
  local build="$1" flavour="${2:-test}"
  export WINEPREFIX="$build/wineprefix-$flavour" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  local managed=N
  [ "$flavour" = user ] && managed=Y
  if [ ! -f "$WINEPREFIX/.vexarond-ready-2" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    local reg
    reg=$(mktemp --suffix=.reg)
    # Version 5 files are UTF-16: regedit reads a REGEDIT4 file in the ANSI code page, which
    # would garble the Japanese face names.
    cat > "$reg.utf8" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"MS UI Gothic"="IPAPGothic"
"MS Shell Dlg"="IPAPGothic"
"MS Shell Dlg 2"="IPAPGothic"
"Tahoma"="IPAPGothic"
"MS Gothic"="IPAGothic"
"MS PGothic"="IPAPGothic"
"ＭＳ Ｐゴシック"="IPAPGothic"
"ＭＳ P ゴシック"="IPAPGothic"
"MS P ｺﾞｼｯｸ"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="MANAGED"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
    sed -i "s/MANAGED/$managed/" "$reg.utf8"
    { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$reg.utf8"; } > "$reg"
    rm -f "$reg.utf8"
    wine regedit "$reg" >/dev/null 2>&1
    wineserver -w
    rm -f "$reg"
    touch "$WINEPREFIX/.vexarond-ready-2"
  fi
  # Caption buttons are drawn with Marlett, which Wine does not find in Debian's font folder.
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  if [ ! -f "$fonts/marlett.ttf" ] && [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    mkdir -p "$fonts" && cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
  fi
}

# Starts Xvfb on a display it picks itself unless XWINE_DISPLAY names one to use. Xvfb writes
# the display's number to the -displayfd file once it accepts clients, so nothing has to guess a
# free number (and race another Xvfb for it) or poll for the socket.
xwine_display() {
  if [ -n "${XWINE_DISPLAY:-}" ]; then
    export DISPLAY="$XWINE_DISPLAY"
    return
  fi
  local numfile errlog n="" tries=0
  numfile=$(mktemp) && errlog=$(mktemp) || { echo "xwine: no temporary file for Xvfb" >&2; return 1; }
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" </dev/null >/dev/null 2>"$errlog" &
  XWINE_XVFB_PID=$!
  XWINE_OWN_DISPLAY=1
  # The number ends with a newline; `read` succeeds only on a whole line.
  until read -r n <"$numfile" && [[ $n =~ ^[0-9]+$ ]]; do
    tries=$((tries + 1))
    if ! kill -0 "$XWINE_XVFB_PID" 2>/dev/null; then
      echo "xwine: Xvfb exited before it opened a display:" >&2
      tail -20 "$errlog" >&2
      wait "$XWINE_XVFB_PID" 2>/dev/null
      XWINE_XVFB_PID="" XWINE_OWN_DISPLAY=0
      rm -f "$numfile" "$errlog"
      return 1
    fi
    if [ $tries -ge 100 ]; then
      echo "xwine: Xvfb (pid $XWINE_XVFB_PID) named no display within 10 s; stopping it" >&2
      tail -20 "$errlog" >&2
      xwine_stop_display
      rm -f "$numfile" "$errlog"
      return 1
    fi
    sleep 0.1
  done
  rm -f "$numfile" "$errlog"
  export DISPLAY=":$n"
}

# Ends the Xvfb that xwine_display started, by its pid, and nothing else.
xwine_stop_display() {
  if [ "$XWINE_OWN_DISPLAY" = 1 ] && [ -n "$XWINE_XVFB_PID" ]; then
    kill "$XWINE_XVFB_PID" 2>/dev/null || true
    wait "$XWINE_XVFB_PID" 2>/dev/null || true
  fi
  XWINE_XVFB_PID=""
  XWINE_OWN_DISPLAY=0
}

xwine_start() {  # BUILD_DIR
  xwine_prefix "$1"
  xwine_display || return 1
  wineserver -p  # one persistent server: each program under Wine then starts quickly
  # Start Wine's background processes now, detached from any pipe: started by a test they
  # would inherit its output pipe and keep a reader of it waiting after the test has ended.
  wine wineboot </dev/null >/dev/null 2>&1 || true
}

xwine_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k 2>/dev/null || true; fi
  xwine_stop_display
}
