#!/usr/bin/env bash
# The headless renderer as a user runs it: reference frames, exit codes, and files left alone.
# Usage: render_cli_test.sh VEXAROND_RENDER REFERENCE_DIR SCRATCH_DIR [RUNNER]
set -u
render="$1" references="$2" scratch="$3" runner="${4:-}"
rm -rf "$scratch" && mkdir -p "$scratch"
passed=0 failed=0
pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAILED: $*"; }
run() { $runner "$render" "$@"; }

# Frames for a few action sequences equal the stored frames, pixel for pixel.
while read -r name actions; do
  case "$name" in ''|'#'*) continue ;; esac
  actions=${actions//@references@/$references}
  # shellcheck disable=SC2086
  if run $actions "$scratch/$name.bmp" && zcat "$references/$name.bmp.gz" | cmp -s - "$scratch/$name.bmp"; then
    pass
  else
    fail "frame '$name' ($actions) differs from $references/$name.bmp.gz"
  fi
done < "$references/frames.txt"

# Bad input: exit 2, one line on stderr, no output file.
bad_inputs=(
  "--bogus"
  "--period 11"
  "--light 1,2,0"
  "--flag purple"
  "--bmp-depth 8"
  "--step"
  "--erase 1,2"
  "--erase 0,0,256"
  "--tolerance 201"
  "--picture"
)
for args in "${bad_inputs[@]}"; do
  rm -f "$scratch/bad.bmp"
  # shellcheck disable=SC2086
  run $args "$scratch/bad.bmp" 2>"$scratch/err.txt"
  rc=$?
  lines=$(wc -l < "$scratch/err.txt")
  if [ $rc -eq 2 ] && [ "$lines" -eq 1 ] && [ ! -e "$scratch/bad.bmp" ]; then pass
  else fail "'$args' gave exit $rc, $lines stderr lines, file left: $([ -e "$scratch/bad.bmp" ] && echo yes || echo no)"; fi
done
run 2>/dev/null; [ $? -eq 2 ] && pass || fail "no output name should exit 2"
run "$scratch/out.png" 2>/dev/null; [ $? -eq 2 ] && [ ! -e "$scratch/out.png" ] && pass || fail "a .png output should be refused"

# A failed run leaves an existing file exactly as it was.
printf 'earlier picture' > "$scratch/keep.bmp"
run --period 99 "$scratch/keep.bmp" 2>/dev/null
[ "$(cat "$scratch/keep.bmp")" = "earlier picture" ] && pass || fail "bad input damaged an existing file"

# Unwritable output: exit 1, nothing left behind.
run "$scratch/missing/dir/out.bmp" 2>"$scratch/err.txt"
rc=$?
[ $rc -eq 1 ] && [ -s "$scratch/err.txt" ] && [ ! -e "$scratch/missing" ] && pass || fail "unwritable output gave exit $rc"
mkdir -p "$scratch/adir.bmp"
run "$scratch/adir.bmp" 2>/dev/null
rc=$?
[ $rc -eq 1 ] && [ -d "$scratch/adir.bmp" ] && [ -z "$(ls "$scratch/adir.bmp")" ] && pass || fail "a directory as output gave exit $rc"
leftovers=$(find "$scratch" -name '*.tmp*' | wc -l)
[ "$leftovers" -eq 0 ] && pass || fail "temporary files left behind: $leftovers"

# The temporary file: made exclusively under a short name of its own, never left behind.
# Cases marked POSIX run natively only: file-size limits and signals do not reach a Windows program.
native=0
[ -z "$runner" ] && native=1
zcat "$references/start.bmp.gz" > "$scratch/start.bmp"
only_frame_in() {  # DIR NAME: the folder holds NAME, a whole start frame, and nothing else
  [ "$(ls -A "$1")" = "$2" ] && cmp -s "$scratch/start.bmp" "$1/$2"
}

# Eight writers at once to one output, a few rounds, since a clash needs them to overlap.
mkdir "$scratch/together"
for round in 1 2 3 4 5; do
  pids=() failures=0
  for _ in 1 2 3 4 5 6 7 8; do run "$scratch/together/out.bmp" & pids+=($!); done
  for pid in "${pids[@]}"; do wait "$pid" || failures=$((failures + 1)); done
  [ $failures -eq 0 ] && only_frame_in "$scratch/together" out.bmp || break
done
[ $failures -eq 0 ] && only_frame_in "$scratch/together" out.bmp && pass ||
  fail "eight writers at once, round $round: $failures failed, or the file is not one whole frame"

mkdir "$scratch/link"
printf 'kept' > "$scratch/link/victim"
ln -s victim "$scratch/link/out.bmp.tmp"
run "$scratch/link/out.bmp" && cmp -s "$scratch/start.bmp" "$scratch/link/out.bmp" &&
  [ "$(cat "$scratch/link/victim")" = kept ] && [ -L "$scratch/link/out.bmp.tmp" ] && pass ||
  fail "a link planted at out.bmp.tmp was written through or the output is wrong"

mkdir "$scratch/long"
long_name="$(printf 'n%.0s' $(seq 251)).bmp"
run "$scratch/long/$long_name" 2>"$scratch/err.txt" && only_frame_in "$scratch/long" "$long_name" && pass ||
  fail "a 255-byte output name: $(cat "$scratch/err.txt")"

if [ $native = 1 ]; then  # POSIX: a file-size limit of 4 KiB
  mkdir "$scratch/limit"
  (ulimit -f 4; run "$scratch/limit/out.bmp") 2>"$scratch/err.txt"
  rc=$?
  [ $rc -eq 1 ] && [ "$(wc -l < "$scratch/err.txt")" -eq 1 ] &&
    grep -q "out.bmp: cannot write the file: File too large$" "$scratch/err.txt" &&
    [ -z "$(ls -A "$scratch/limit")" ] && pass ||
    fail "under ulimit -f 4: exit $rc, '$(cat "$scratch/err.txt")', left: $(ls -A "$scratch/limit")"
fi

if [ $native = 1 ]; then  # POSIX: SIGINT and SIGTERM at moments spread over a run
  mkdir "$scratch/signals"
  for i in $(seq 0 29); do
    signal=TERM; [ $((i % 2)) -eq 0 ] && signal=INT
    # A background job starts with SIGINT ignored; a user's Ctrl+C finds it at its default.
    env --default-signal=INT,TERM "$render" "$scratch/signals/out.bmp" &
    sleep "0.0$(printf '%02d' $((i % 25)))"
    kill -s $signal $! 2>/dev/null
    wait $!
    if [ -e "$scratch/signals/out.bmp" ]; then
      only_frame_in "$scratch/signals" out.bmp || break
      rm "$scratch/signals/out.bmp"
    fi
  done
  [ -z "$(ls -A "$scratch/signals")" ] && pass ||
    fail "a signal during a run left: $(ls -A "$scratch/signals")"
fi

# Pictures: the type comes from the first bytes, never the name.
picture="$references/picture.bmp"
zcat "$references/picture_fit.bmp.gz" > "$scratch/picture_fit.bmp"
cp "$picture" "$scratch/bmp-named.jpg"
run --picture "$scratch/bmp-named.jpg" "$scratch/named.bmp" && cmp -s "$scratch/picture_fit.bmp" "$scratch/named.bmp" &&
  pass || fail "a BMP named .jpg is not read as the BMP it is"
# A Japanese file name (on Windows the wide command line carries it).
cp "$picture" "$scratch/旗の絵.bmp"
run --picture "$scratch/旗の絵.bmp" "$scratch/japanese.bmp" && cmp -s "$scratch/picture_fit.bmp" "$scratch/japanese.bmp" &&
  pass || fail "a picture with a Japanese file name"
if command -v cjpeg >/dev/null; then
  # A JPEG of the same picture, named .bmp: a textured frame of the whole size.
  cjpeg -quality 95 "$picture" > "$scratch/jpeg-named.bmp"
  run --picture "$scratch/jpeg-named.bmp" "$scratch/jpeg.bmp" &&
    [ "$(stat -c %s "$scratch/jpeg.bmp")" -eq $((14 + 40 + 1924 * 481)) ] &&
    ! cmp -s "$scratch/start.bmp" "$scratch/jpeg.bmp" && pass || fail "a JPEG picture"
else
  fail "cjpeg (libjpeg-turbo-progs) is missing"
fi

# A picture that cannot be read: exit 1, one line naming the file, no frame written, an
# existing file left as it was.
printf 'just text' > "$scratch/text.bmp"
head -c 40 "$picture" > "$scratch/cut.bmp"
head -c 2000 "$picture" > "$scratch/short-rows.bmp"
printf '\xff\xd8\xff\xd9' > "$scratch/empty.jpg"
mkdir -p "$scratch/folder.bmp"
for bad in missing.bmp text.bmp cut.bmp short-rows.bmp empty.jpg folder.bmp; do
  printf 'earlier picture' > "$scratch/kept.bmp"
  run --flag red --picture "$scratch/$bad" "$scratch/kept.bmp" 2>"$scratch/err.txt"
  rc=$?
  if [ $rc -eq 1 ] && [ "$(wc -l < "$scratch/err.txt")" -eq 1 ] &&
     grep -q "^vexarond-render: $scratch/$bad: " "$scratch/err.txt" &&
     [ "$(cat "$scratch/kept.bmp")" = "earlier picture" ]; then pass
  else fail "picture '$bad' gave exit $rc, '$(cat "$scratch/err.txt")'"; fi
done

# Help, and the three output depths.
run --help > "$scratch/help.txt"; rc=$?
[ $rc -eq 0 ] && grep -q -- '--bmp-depth' "$scratch/help.txt" && pass || fail "--help"
for depth in 16 24 32; do
  run --flag green --bmp-depth $depth "$scratch/d$depth.bmp"
  size=$(stat -c %s "$scratch/d$depth.bmp" 2>/dev/null || echo 0)
  case $depth in 16) want=$((14 + 40 + 1284 * 481)) ;; 24) want=$((14 + 40 + 1924 * 481)) ;; 32) want=$((14 + 56 + 4 * 641 * 481)) ;; esac
  [ "$size" -eq "$want" ] && pass || fail "--bmp-depth $depth wrote $size bytes, not $want"
done

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
