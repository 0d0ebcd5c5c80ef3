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

# Bad input (one table, tests/cli/bad_arguments.txt): exit 2, one line on stderr, no file.
mkdir "$scratch/bad"
while read -r line; do
  case "$line" in ''|'#'*) continue ;; esac
  eval "args=($line)"
  (cd "$scratch/bad" && run "${args[@]}") 2>"$scratch/err.txt"
  rc=$?
  lines=$(wc -l < "$scratch/err.txt")
  if [ $rc -eq 2 ] && [ "$lines" -eq 1 ] && [ -z "$(ls -A "$scratch/bad")" ]; then pass
  else fail "'$line' gave exit $rc, $lines stderr lines, left: $(ls -A "$scratch/bad")"; fi
  rm -rf "${scratch:?}/bad/"*
done < "$(dirname "$0")/bad_arguments.txt"
run 2>/dev/null; [ $? -eq 2 ] && pass || fail "no output name should exit 2"

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

if [ $native = 1 ]; then  # POSIX: an output that is a link stays one; the file it names is replaced
  mkdir -p "$scratch/linked/pictures"
  printf 'earlier picture' > "$scratch/linked/pictures/flag.bmp"
  ln -s pictures/flag.bmp "$scratch/linked/out.bmp"
  run "$scratch/linked/out.bmp" && [ -L "$scratch/linked/out.bmp" ] &&
    [ "$(readlink "$scratch/linked/out.bmp")" = pictures/flag.bmp ] &&
    only_frame_in "$scratch/linked/pictures" flag.bmp && pass ||
    fail "an output that is a link: $(ls -l "$scratch/linked" "$scratch/linked/pictures")"
fi

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
# Every build offers and writes all five formats.
head -1 "$scratch/help.txt" | tr -d '\r' | grep -q 'OUTPUT.bmp|.jpg|.png|.webp|.gif$' &&
  grep -q 'BMP, JPEG or PNG' "$scratch/help.txt" && pass || fail "--help does not offer PNG, WebP and GIF"
for depth in 16 24 32; do
  run --flag green --bmp-depth $depth "$scratch/d$depth.bmp"
  size=$(stat -c %s "$scratch/d$depth.bmp" 2>/dev/null || echo 0)
  case $depth in 16) want=$((14 + 40 + 1284 * 481)) ;; 24) want=$((14 + 40 + 1924 * 481)) ;; 32) want=$((14 + 56 + 4 * 641 * 481)) ;; esac
  [ "$size" -eq "$want" ] && pass || fail "--bmp-depth $depth wrote $size bytes, not $want"
done

# JPEG output, chosen by the extension in any case: byte for byte what cjpeg, an independent
# program on the same library, makes of the BMP frame with the library's defaults, the quality
# (80 unless given) and, with --progressive, its simple progression.
if command -v cjpeg >/dev/null && command -v djpeg >/dev/null; then
  run --flag red --keys yyy "$scratch/red.bmp"
  # Names apart also without case: Windows file systems do not tell RED.JPG from red.jpg.
  for name in red1.jpg red2.jpeg RED3.JPG Red4.Jpeg; do
    run --flag red --keys yyy "$scratch/$name" 2>"$scratch/err.txt"
    rc=$?
    [ $rc -eq 0 ] && cjpeg -quality 80 "$scratch/red.bmp" | cmp -s - "$scratch/$name" &&
      pass || fail "'$name' is not cjpeg's quality 80 file of the same frame (exit $rc, '$(cat "$scratch/err.txt")', $(stat -c %s "$scratch/$name" 2>/dev/null) bytes)"
  done
  for settings in "60" "100" "60 -progressive" "80 -progressive"; do
    quality=${settings%% *} progressive=""
    [ "$settings" = "$quality" ] || progressive=--progressive
    run --flag red --keys yyy --quality $quality $progressive "$scratch/q.jpg" &&
      cjpeg -quality $settings "$scratch/red.bmp" | cmp -s - "$scratch/q.jpg" &&
      pass || fail "--quality $quality $progressive is not cjpeg -quality $settings"
  done
  # The frame's size and the start-of-frame marker, as djpeg reads them.
  for progressive in "" --progressive; do
    sof=0xc0; [ -n "$progressive" ] && sof=0xc2
    run $progressive "$scratch/start.jpg" && djpeg -verbose "$scratch/start.jpg" 2>&1 >/dev/null |
      grep -q "^Start Of Frame $sof: width=641, height=481, components=3$" &&
      pass || fail "'$progressive' output has no SOF $sof of 641 x 481 with three components"
  done
else
  fail "cjpeg or djpeg (libjpeg-turbo-progs) is missing"
fi

# --cycle: framesPerCycle files (18 at period 10, speed 20) named by the capture's rule; frame k
# is the frame that --step k-1 draws, byte for byte.
mkdir "$scratch/cycle"
run --period 10 --speed 20 --cycle "$scratch/cycle/flag.bmp"
rc=$?
[ $rc -eq 0 ] && [ "$(ls -A "$scratch/cycle" | tr '\n' ' ')" = "$(printf 'flag%03d.bmp ' $(seq 18))" ] &&
  pass || fail "--cycle gave exit $rc and: $(ls -A "$scratch/cycle" | tr '\n' ' ')"
differing=""
for k in $(seq 18); do
  run --period 10 --speed 20 --step $((k - 1)) "$scratch/step.bmp"
  cmp -s "$scratch/step.bmp" "$scratch/cycle/$(printf 'flag%03d.bmp' "$k")" || differing+=" $k"
done
[ -z "$differing" ] && pass || fail "cycle frames that differ from --step k-1:$differing"

# A JPEG cycle: every frame with the same settings, named .jpg whatever the chosen extension;
# the default speed and period give 60 frames.
if command -v cjpeg >/dev/null; then
  mkdir "$scratch/jcycle" "$scratch/bcycle"
  run --flag cyan --cycle "$scratch/bcycle/f.bmp" &&
    run --flag cyan --quality 90 --progressive --cycle "$scratch/jcycle/Flag.JPEG"
  rc=$?
  differing=""
  for k in $(seq 60); do
    number=$(printf '%03d' "$k")
    cjpeg -quality 90 -progressive "$scratch/bcycle/f$number.bmp" | cmp -s - "$scratch/jcycle/Flag$number.jpg" ||
      differing+=" $k"
  done
  [ $rc -eq 0 ] && [ "$(ls -A "$scratch/jcycle" | wc -l)" -eq 60 ] && [ -z "$differing" ] && pass ||
    fail "JPEG cycle: exit $rc, $(ls -A "$scratch/jcycle" | wc -l) files, differing:$differing"
fi

# A cycle that fails in the middle: a folder stands where frame 3 goes. One line names that
# frame; frames 1 and 2 stay whole, nothing after them is written, no temporary file stays.
mkdir -p "$scratch/blocked/flag003.bmp"
run --period 10 --speed 20 --cycle "$scratch/blocked/flag.bmp" 2>"$scratch/err.txt"
rc=$?
[ $rc -eq 1 ] && [ "$(wc -l < "$scratch/err.txt")" -eq 1 ] &&
  grep -q "^vexarond-render: $scratch/blocked/flag003.bmp: cannot replace the file" "$scratch/err.txt" &&
  [ "$(ls -A "$scratch/blocked" | tr '\n' ' ')" = "flag001.bmp flag002.bmp flag003.bmp " ] &&
  [ -z "$(ls -A "$scratch/blocked/flag003.bmp")" ] &&
  cmp -s "$scratch/blocked/flag001.bmp" "$scratch/cycle/flag001.bmp" &&
  cmp -s "$scratch/blocked/flag002.bmp" "$scratch/cycle/flag002.bmp" && pass ||
  fail "a cycle blocked at frame 3: exit $rc, '$(cat "$scratch/err.txt")', left: $(ls -A "$scratch/blocked" | tr '\n' ' ')"

# POSIX: a file system that fills up, a tmpfs of a few pages in a mount namespace of its own
# (so it goes with the test however it ends): a single JPEG, and a JPEG cycle whose third frame
# does not fit. Needs root or user namespaces; said and skipped without either.
if [ $native = 1 ]; then
  namespace=()
  if unshare -m true 2>/dev/null; then namespace=(unshare -m)
  elif unshare -rm true 2>/dev/null; then namespace=(unshare -rm)
  fi
  if [ ${#namespace[@]} -gt 0 ]; then
    page=$(getconf PAGESIZE)
    pages_of() { echo $(( ($(stat -c %s "$1") + page - 1) / page )); }
    for k in 1 2 3; do run --step $((k - 1)) "$scratch/single$k.jpg"; done
    # Room for frames 1 and 2 and all of frame 3 but its last page.
    cycle_pages=$(( $(pages_of "$scratch/single1.jpg") + $(pages_of "$scratch/single2.jpg") +
                    $(pages_of "$scratch/single3.jpg") - 1 ))
    mkdir "$scratch/full"
    "${namespace[@]}" bash -s "$render" "$scratch" "$((cycle_pages * page))" "$page" <<'INNER'
      render=$1 scratch=$2 full=$scratch/full
      problems=()
      mount -t tmpfs -o "size=$4" tmpfs "$full" || exit 99
      "$render" --quality 100 "$full/one.jpg" 2>"$scratch/err.txt"
      rc=$?
      [ $rc -eq 1 ] && [ "$(cat "$scratch/err.txt")" = "vexarond-render: $full/one.jpg: cannot write the file: No space left on device" ] &&
        [ -z "$(ls -A "$full")" ] || problems+=("single file: exit $rc, '$(cat "$scratch/err.txt")', left: $(ls -A "$full")")
      umount "$full" && mount -t tmpfs -o "size=$3" tmpfs "$full" || exit 99
      "$render" --cycle "$full/flag.jpg" 2>"$scratch/err.txt"
      rc=$?
      [ $rc -eq 1 ] && [ "$(cat "$scratch/err.txt")" = "vexarond-render: $full/flag003.jpg: cannot write the file: No space left on device" ] &&
        [ "$(ls -A "$full" | tr '\n' ' ')" = "flag001.jpg flag002.jpg " ] &&
        cmp -s "$full/flag001.jpg" "$scratch/single1.jpg" && cmp -s "$full/flag002.jpg" "$scratch/single2.jpg" ||
        problems+=("cycle: exit $rc, '$(cat "$scratch/err.txt")', left: $(ls -A "$full" | tr '\n' ' ')")
      [ ${#problems[@]} -eq 0 ] || printf "%s\n" "${problems[@]}"
      [ ${#problems[@]} -eq 0 ]
INNER
    case $? in
      0) pass ;;
      99) echo "SKIPPED: no tmpfs could be mounted for the full file system" ;;
      *) fail "a full file system (above)" ;;
    esac
  else
    echo "SKIPPED: neither root nor user namespaces, so no full file system of our own"
  fi
fi

# PNG, WebP and GIF as independent tools read them, in both builds.
source "$(dirname "$0")/animated_outputs.sh"
if [ $native = 1 ]; then  # POSIX: process limits
  source "$(dirname "$0")/small_machine.sh"
fi

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
