#!/usr/bin/env bash
# Makes the Windows packages from the built programs: the portable zip, the NSIS installer and
# SHA256SUMS, in OUT_DIR. Every file in them carries the release date as its time and fixed
# permissions, and the zip lists them in a fixed order, so the same programs give the same bytes.
# Usage: make-packages.sh VERSION RELEASE_DATE COPYRIGHT OUT_DIR WIN_DEPS_DIR VEXAROND_EXE RENDER_EXE
#   WIN_DEPS_DIR holds the image libraries scripts/build-windows-libs cross-built, each with its
#   licence files in NAME/share/doc/NAME/.
set -euo pipefail
if [ $# -ne 7 ]; then
  sed -n '2,7p' "$0" >&2
  exit 2
fi
version=$1 release_date=$2 copyright=$3 out=$4 deps=$5 program=$6 render=$7
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
name=Vexarond-$version
epoch=$(date -u -d "$release_date" +%s) || { echo "make-packages: bad release date '$release_date'" >&2; exit 2; }
for f in "$program" "$render"; do
  [ -f "$f" ] || { echo "make-packages: no program at $f" >&2; exit 1; }
done

mkdir -p "$out"
work=$(mktemp -d "$out/.work.XXXXXX")
trap 'rm -rf "$work"' EXIT
stage=$work/$name
mkdir "$stage"

# Plain text for Windows: CRLF line ends; the Japanese text with a byte order mark, so that
# Notepad reads it as UTF-8 on a system whose code page is Shift-JIS.
windows_text() {  # SOURCE DEST [bom]
  { [ "${3:-}" != bom ] || printf '\xef\xbb\xbf'; sed -e "s/@VERSION@/$version/g" -e 's/\r$//' -e 's/$/\r/' "$1"; } >"$2"
}

# The licences of what the programs link statically: the image libraries, as their sources ship
# them, and the mingw-w64 runtime with GCC's runtime libraries, from Debian's packages of them.
notices() {
  local lib doc file any
  cat <<TEXT
Vexarond $version for Windows: third-party notices

Vexarond.exe and vexarond-render.exe contain the following libraries, linked statically. Each
one's licence follows, as its authors ship it.

This software is based in part on the work of the Independent JPEG Group.
TEXT
  for lib in $(cd "$root/scripts/windows-libs" && ls -- *.sh | sed 's/\.sh$//'); do
    doc="$deps/$lib/share/doc/$lib"
    any=0
    printf '\n\n==============================================================================\n'
    printf '%s %s\n' "$lib" "$(cut -d' ' -f1 "$deps/$lib/.recipe" 2>/dev/null || echo '(version unknown)')"
    printf '==============================================================================\n'
    for file in "$doc"/*; do
      [ -f "$file" ] || continue
      any=1
      printf '\n--- %s\n\n' "$(basename "$file")"
      cat "$file"
    done
    [ $any = 1 ] || { echo "make-packages: no licence files in $doc" >&2; return 1; }
  done
  local mingw=/usr/share/doc/mingw-w64-common/copyright gcc=/usr/share/doc/gcc-mingw-w64-base/copyright
  printf '\n\n==============================================================================\n'
  printf 'mingw-w64 runtime %s (the C runtime start-up code and winpthreads)\n' \
    "$(dpkg-query -W -f='${Version}' mingw-w64-common)"
  printf '==============================================================================\n\n'
  cat "$mingw" || return 1
  printf '\n\n==============================================================================\n'
  printf 'GCC runtime libraries %s (libgcc, libstdc++)\n' "$(dpkg-query -W -f='${Version}' gcc-mingw-w64-base)"
  printf '==============================================================================\n\n'
  local exception
  exception=$(sed -n '/^The following runtime libraries are licensed/,/^The libbacktrace library/p' "$gcc" | sed '$d'
    echo
    sed -n '/^GCC RUNTIME LIBRARY EXCEPTION$/,/copyleft requirements of the license of GCC\.$/p' "$gcc")
  grep -q '^1. Grant of Additional Permission' <<<"$exception" ||
    { echo "make-packages: no GCC Runtime Library Exception in $gcc" >&2; return 1; }
  printf '%s\n' "$exception"
}

cp "$program" "$stage/Vexarond.exe"
cp "$render" "$stage/vexarond-render.exe"
windows_text "$root/LICENSE" "$stage/LICENSE.txt"
notices >"$work/notices.txt"
windows_text "$work/notices.txt" "$stage/THIRD-PARTY-NOTICES.txt"
windows_text "$here/quickstart-en.txt" "$stage/QUICKSTART-en.txt"
windows_text "$here/quickstart-ja.txt" "$stage/QUICKSTART-ja.txt" bom
files=(Vexarond.exe vexarond-render.exe QUICKSTART-ja.txt QUICKSTART-en.txt LICENSE.txt THIRD-PARTY-NOTICES.txt)
chmod 755 "$stage/Vexarond.exe" "$stage/vexarond-render.exe"
chmod 644 "$stage"/*.txt
touch -d "@$epoch" "$stage"/*

# The portable zip: one folder, the files in the order above, no extra fields (owners, Unix
# times), times taken as UTC.
zip="$out/$name-win64.zip"
rm -f "$zip"
(cd "$work" && TZ=UTC zip -q -X -D "$zip" "${files[@]/#/$name/}")

# The installer installs the same files; the lists are written here so they are named once.
for f in "${files[@]}"; do printf 'File "%s"\n' "$stage/$f"; done >"$work/install_files.nsh"
for f in "${files[@]}"; do printf 'Delete "$INSTDIR\\%s"\n' "$f"; done >"$work/uninstall_files.nsh"
mv "$work/install_files.nsh" "$work/uninstall_files.nsh" "$stage/"
size_kb=$(du -k -c "${files[@]/#/$stage/}" | tail -1 | cut -f1)
setup="$out/$name-setup.exe"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DCOPYRIGHT="$copyright" -DSTAGE="$stage" \
  -DICON="$root/resources/vexarond.ico" -DOUTFILE="$setup" -DSIZE_KB="$size_kb" \
  "$here/vexarond.nsi" >"$work/makensis.log" 2>&1 || { cat "$work/makensis.log" >&2; exit 1; }

(cd "$out" && sha256sum "$name-win64.zip" "$name-setup.exe" >SHA256SUMS)
echo "$out: $name-win64.zip, $name-setup.exe, SHA256SUMS"
