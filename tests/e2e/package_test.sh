#!/bin/bash
# The portable zip as a user gets it: the files it holds, unpacked and run (vexarond-render says
# the version and draws the native build's bytes; Vexarond.exe starts), the licences it carries,
# SHA256SUMS, and the same bytes when the packages are made again.
# Needs VEXAROND_DIST (the folder with the packages), VEXAROND_VERSION, VEXAROND_RELEASE_DATE,
# VEXAROND_COPYRIGHT, VEXAROND_NATIVE_RENDER, VEXAROND_MAKE_PACKAGES, VEXAROND_WIN_DEPS_DIR and
# VEXAROND_RENDER_EXE.
source "$(dirname "$0")/e2e_lib.sh"
e2e_init package "$@"

for v in VEXAROND_DIST VEXAROND_VERSION VEXAROND_RELEASE_DATE VEXAROND_COPYRIGHT \
         VEXAROND_NATIVE_RENDER VEXAROND_MAKE_PACKAGES VEXAROND_WIN_DEPS_DIR VEXAROND_RENDER_EXE; do
  [ -n "${!v:-}" ] || fail "$v is not set"
done
NAME=Vexarond-$VEXAROND_VERSION
ZIP="$VEXAROND_DIST/$NAME-win64.zip"
SETUP="$VEXAROND_DIST/$NAME-setup.exe"
[ -f "$ZIP" ] && [ -f "$SETUP" ] || fail "no packages in $VEXAROND_DIST"
rm -rf "$SCRATCH/unpacked" "$SCRATCH/again" "$SCRATCH/inputs"

# The checksums hold, and name exactly the two packages.
(cd "$VEXAROND_DIST" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the packages"
[ "$(awk '{print $2}' "$VEXAROND_DIST/SHA256SUMS" | sort | tr '\n' ' ')" = "$NAME-setup.exe $NAME-win64.zip " ] ||
  fail "SHA256SUMS names: $(awk '{print $2}' "$VEXAROND_DIST/SHA256SUMS")"

# One folder with the two programs, the quick starts, the licence and the notices.
expected="$NAME/LICENSE.txt $NAME/QUICKSTART-en.txt $NAME/QUICKSTART-ja.txt $NAME/THIRD-PARTY-NOTICES.txt $NAME/Vexarond.exe $NAME/vexarond-render.exe "
listed=$(unzip -Z1 "$ZIP" | sort | tr '\n' ' ')
[ "$listed" = "$expected" ] || fail "the zip holds: $listed"
unzip -q "$ZIP" -d "$SCRATCH/unpacked" || fail "the zip does not unpack"
DIR="$SCRATCH/unpacked/$NAME"
cmp -s "$DIR/Vexarond.exe" "$EXE" && cmp -s "$DIR/vexarond-render.exe" "$VEXAROND_RENDER_EXE" ||
  fail "the zip's programs are not the ones built"

# Texts for Windows: CRLF lines; the Japanese quick start UTF-8 with a byte order mark; both
# name the version.
for f in LICENSE.txt QUICKSTART-en.txt QUICKSTART-ja.txt THIRD-PARTY-NOTICES.txt; do
  [ "$(grep -c $'\r$' "$DIR/$f")" = "$(wc -l <"$DIR/$f")" ] || fail "$f has lines that do not end in CRLF"
done
[ "$(head -c 3 "$DIR/QUICKSTART-ja.txt" | od -An -tx1 | tr -d ' ')" = efbbbf ] ||
  fail "QUICKSTART-ja.txt has no UTF-8 byte order mark"
for f in QUICKSTART-en.txt QUICKSTART-ja.txt; do
  head -1 "$DIR/$f" | grep -qF "Vexarond $VEXAROND_VERSION " || fail "$f does not name version $VEXAROND_VERSION"
done
tr -d '\r' <"$DIR/LICENSE.txt" | cmp -s - "$E2E_REPO/LICENSE" || fail "LICENSE.txt is not the project's LICENSE"

# The notices hold every licence file of every image library, whole, the IJG sentence, and the
# licences of the mingw-w64 runtime and of GCC's runtime libraries.
notices=$(tr -d '\r' <"$DIR/THIRD-PARTY-NOTICES.txt")
count=0
for lib in "$E2E_REPO"/scripts/windows-libs/*.sh; do
  lib=$(basename "$lib" .sh)
  docs=("$VEXAROND_WIN_DEPS_DIR/$lib/share/doc/$lib"/*)
  [ -f "${docs[0]}" ] || fail "$lib has no licence files in $VEXAROND_WIN_DEPS_DIR/$lib/share/doc/$lib"
  for doc in "${docs[@]}"; do
    [[ $notices == *"$(cat "$doc")"* ]] || fail "the notices lack $lib's $(basename "$doc")"
    count=$((count + 1))
  done
done
for text in "This software is based in part on the work of the Independent JPEG Group." \
            "Files: mingw-w64-libraries/winpthreads/*" "GCC RUNTIME LIBRARY EXCEPTION"; do
  [[ $notices == *"$text"* ]] || fail "the notices lack \"$text\""
done
note "the zip holds the programs built, the texts for Windows and $count licence files of the libraries"

# The unpacked programs run: vexarond-render says the version and draws the native bytes.
printed=$(wine "$DIR/vexarond-render.exe" --version 2>>"$SCRATCH/wine.log" | tr -d '\r')
[ "$printed" = "vexarond-render $VEXAROND_VERSION" ] || fail "the zip's vexarond-render --version printed '$printed'"
actions=(--surface 30 --intensity 12 --flag cyan --background yellow --keys XXzjf --step -4)
(cd "$SCRATCH" && wine "$DIR/vexarond-render.exe" "${actions[@]}" unpacked.bmp >>wine.log 2>&1) ||
  fail "the zip's vexarond-render could not draw ${actions[*]}"
"$VEXAROND_NATIVE_RENDER" "${actions[@]}" "$SCRATCH/native.bmp" || fail "the native vexarond-render failed"
cmp -s "$SCRATCH/unpacked.bmp" "$SCRATCH/native.bmp" || fail "the zip's vexarond-render draws other bytes than the native build"
EXE="$DIR/Vexarond.exe"
start_to_main_window
focus_window "$MAIN"
xdotool key ctrl+q
wait_exit "$PID" "$EXIT_TIMEOUT" || fail "the zip's Vexarond.exe did not end on Ctrl+Q"
note "the zip's programs run: $printed, the native frame, the splash and the main window"

# Made again from copies of the programs, with other file times and in another folder, the zip
# and the installer are the same bytes.
mkdir -p "$SCRATCH/inputs"
cp "$DIR/Vexarond.exe" "$DIR/vexarond-render.exe" "$SCRATCH/inputs/"
touch -d '2001-02-03 04:05:06' "$SCRATCH/inputs/Vexarond.exe"
bash "$VEXAROND_MAKE_PACKAGES" "$VEXAROND_VERSION" "$VEXAROND_RELEASE_DATE" "$VEXAROND_COPYRIGHT" \
  "$SCRATCH/again" "$VEXAROND_WIN_DEPS_DIR" "$SCRATCH/inputs/Vexarond.exe" \
  "$SCRATCH/inputs/vexarond-render.exe" >>"$SCRATCH/wine.log" 2>&1 || fail "packaging again failed (see $SCRATCH/wine.log)"
for f in "$NAME-win64.zip" "$NAME-setup.exe" SHA256SUMS; do
  cmp -s "$VEXAROND_DIST/$f" "$SCRATCH/again/$f" || fail "$f made again differs from $VEXAROND_DIST/$f"
done
note "made again: the same zip, installer and SHA256SUMS"
note "PASS"
