#!/usr/bin/env bash
# The Windows build writes what the native build writes: each command of windows_parity.txt runs
# in both, which must end with the same exit status and the same message (the output folders
# aside) and leave the same files, byte for byte.
# Usage: windows_parity_test.sh WINDOWS_RENDER NATIVE_RENDER REFERENCE_DIR SCRATCH_DIR RUNNER
set -u
windows="$1" native="$2" references="$3" scratch="$4" runner="$5"
if [ ! -x "$native" ]; then
  echo "FAILED: there is no native vexarond-render at $native to compare with (build the native tree first; scripts/test does)"
  exit 1
fi
rm -rf "$scratch" && mkdir -p "$scratch/pictures" "$scratch/native" "$scratch/windows"
passed=0 failed=0
pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAILED: $*"; }

# PNG pictures of the layouts libpng turns into 8-bit RGBA: RGB, RGBA with a transparent part,
# 16-bit grey, an interlaced palette, 16-bit RGBA; and one cut short.
pictures="$scratch/pictures"
source_picture="$pictures/source.png"
convert "$references/picture.bmp" -resize 400% "$source_picture" &&
  convert "$source_picture" PNG24:"$pictures/picture.png" &&
  convert "$source_picture" -alpha set -region 96x256+0+0 -alpha transparent +region PNG32:"$pictures/cut.png" &&
  convert "$source_picture" -colorspace Gray -depth 16 "$pictures/grey16.png" &&
  convert "$source_picture" -interlace PNG PNG8:"$pictures/palette-interlaced.png" &&
  convert "$pictures/cut.png" -depth 16 PNG64:"$pictures/rgba16.png" &&
  head -c 300 "$pictures/picture.png" >"$pictures/damaged.png" ||
  { echo "FAILED: ImageMagick could not make the pictures"; exit 1; }

while read -r output actions; do
  case "$output" in '' | '#'*) continue ;; esac
  actions=${actions//@pictures@/$pictures}
  mkdir "$scratch/native/$output" "$scratch/windows/$output"
  # shellcheck disable=SC2086
  "$native" $actions "$scratch/native/$output/$output" 2>"$scratch/native/$output.err"
  native_rc=$?
  # shellcheck disable=SC2086
  $runner "$windows" $actions "$scratch/windows/$output/$output" 2>"$scratch/windows/$output.err"
  windows_rc=$?
  files=$(ls -A "$scratch/native/$output" | wc -l)
  differences=$(diff -r "$scratch/native/$output" "$scratch/windows/$output" 2>&1)
  native_err=$(<"$scratch/native/$output.err")
  windows_err=$(tr -d '\r' <"$scratch/windows/$output.err")
  windows_folder="$scratch/windows/" native_folder="$scratch/native/"
  windows_err=${windows_err//"$windows_folder"/"$native_folder"}
  if [ $native_rc -ne $windows_rc ]; then
    fail "$output ($actions): exit $native_rc natively, $windows_rc on Windows: $(tr -d '\r' <"$scratch/windows/$output.err")"
  elif [ $native_rc -eq 0 ] && [ "$files" -eq 0 ]; then
    fail "$output ($actions): no file written"
  elif [ "$native_err" != "$windows_err" ]; then
    fail "$output ($actions): natively '$native_err', on Windows '$windows_err'"
  elif [ -n "$differences" ]; then
    fail "$output ($actions): the Windows build's files differ: $differences"
  else
    pass
  fi
done <"$(dirname "$0")/windows_parity.txt"

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
