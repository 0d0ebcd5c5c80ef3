# Sourced by render_cli_test.sh: PNG, WebP and GIF files as independent tools read them (webpmux
# and dwebp from webp, gifsicle, ImageMagick), and PNG pictures in.

# The RGBA of pixel X,Y of a PNG file, as ImageMagick reads it: "srgba(R,G,B,A)".
pixel_of() { convert "$1" -format "%[pixel:p{$2,$3}]" info: 2>/dev/null; }

# One seamless cycle as an animated WebP with a transparent background: 60 frames of 25 ms (the
# window's tick) that loop forever on a transparent canvas. The encoder stores only what changes, so the first frame
# is the flag's rectangle: transparent at its corner, opaque red in its middle.
mkdir "$scratch/anim"
run --flag red --cycle --seamless --transparent "$scratch/anim/flag.webp"
rc=$?
webpmux -info "$scratch/anim/flag.webp" > "$scratch/anim/webp.txt" 2>&1
frames=$(grep -c -E '^ *[0-9]+: +[0-9]+ +[0-9]+ +yes +[0-9]+ +[0-9]+ +25 ' "$scratch/anim/webp.txt")
webpmux -get frame 1 "$scratch/anim/flag.webp" -o "$scratch/anim/first.webp" >/dev/null 2>&1 &&
  dwebp "$scratch/anim/first.webp" -o "$scratch/anim/first.png" >/dev/null 2>&1
read -r width height < <(identify -format '%w %h' "$scratch/anim/first.png" 2>/dev/null)
[ $rc -eq 0 ] && grep -q '^Canvas size: 641 x 481$' "$scratch/anim/webp.txt" &&
  grep -q 'Background color : 0x00000000 *Loop Count : 0' "$scratch/anim/webp.txt" &&
  [ "$frames" -eq 60 ] && grep -q 'lossless' "$scratch/anim/webp.txt" &&
  [ "$(pixel_of "$scratch/anim/first.png" 0 0)" = "srgba(0,0,0,0)" ] &&
  [[ $(pixel_of "$scratch/anim/first.png" $((width / 2)) $((height / 2))) =~ ^srgba\([0-9]+,0,0,1\)$ ]] && pass ||
  fail "animated WebP: exit $rc, $frames frames of 25 ms, corner $(pixel_of "$scratch/anim/first.png" 0 0); $(head -6 "$scratch/anim/webp.txt")"

# --quality makes it lossy; --fps 10 gives 100 ms frames.
run --cycle --quality 80 --fps 10 --period 10 --speed 20 "$scratch/anim/lossy.webp" &&
  webpmux -info "$scratch/anim/lossy.webp" > "$scratch/anim/lossy.txt" 2>&1 &&
  [ "$(grep -c -E '^ *[0-9]+: .* 100 .*lossy' "$scratch/anim/lossy.txt")" -eq 18 ] && pass ||
  fail "lossy WebP at 10 fps: $(head -8 "$scratch/anim/lossy.txt")"

# --effort: the lossless file of the default effort is the same as --effort 4's and smaller than
# effort 0's (that every effort keeps the pixels, libwebp's decoder checks in the unit tests).
run --cycle --period 10 --speed 20 --effort 0 "$scratch/anim/e0.webp" &&
  run --cycle --period 10 --speed 20 "$scratch/anim/e-default.webp" &&
  run --cycle --period 10 --speed 20 --effort 4 "$scratch/anim/e4.webp" &&
  cmp -s "$scratch/anim/e-default.webp" "$scratch/anim/e4.webp" &&
  [ "$(stat -c %s "$scratch/anim/e-default.webp")" -lt "$(stat -c %s "$scratch/anim/e0.webp")" ] && pass ||
  fail "--effort: $(stat -c %s "$scratch/anim/e0.webp" "$scratch/anim/e-default.webp" "$scratch/anim/e4.webp" | tr '\n' ' ')"

# GIF: 60 images that loop forever at the window's speed, 2.5/100 s each on average (3 and 2 in
# turn), transparency in the palette; the first image the whole screen, the later ones only the
# rectangle that changed; at 30 fps the delays take turns so the cycle lasts exactly 2 s.
run --picture "$references/picture.bmp" --cycle --transparent "$scratch/anim/flag.gif" &&
  gifsicle --info "$scratch/anim/flag.gif" > "$scratch/anim/gif.txt" 2>&1
rc=$?
[ $rc -eq 0 ] && grep -q '60 images' "$scratch/anim/gif.txt" && grep -q 'loop forever' "$scratch/anim/gif.txt" &&
  grep -q 'logical screen 641x481' "$scratch/anim/gif.txt" &&
  [ "$(grep -c 'delay 0.03s' "$scratch/anim/gif.txt")" -eq 30 ] &&
  [ "$(grep -c 'delay 0.02s' "$scratch/anim/gif.txt")" -eq 30 ] &&
  [ "$(grep -c -E '^ *\+ image #[0-9]+ 641x481( |$)' "$scratch/anim/gif.txt")" -eq 1 ] &&
  [ "$(grep -c 'transparent' "$scratch/anim/gif.txt")" -eq 60 ] && pass ||
  fail "animated GIF: exit $rc; $(head -8 "$scratch/anim/gif.txt")"
# Two independent decoders show a GIF's frames as the frames drawn, although the file stores only
# what changes: a one-coloured flag's shades all fit in the palette, so they are kept exactly.
# ImageMagick composes the frames itself (-coalesce); gifsicle writes them out whole
# (--unoptimize) and ImageMagick reads each alone. Transparent pixels are shown on magenta.
on_magenta() { convert "$1" -background magenta -alpha remove -alpha off "$2"; }
for look in opaque transparent; do
  extra=() && [ $look = transparent ] && extra=(--transparent)
  dir="$scratch/anim/gif-$look" && mkdir "$dir"
  run --flag green --period 10 --speed 20 --cycle "${extra[@]}" "$dir/f.png" &&
    run --flag green --period 10 --speed 20 --cycle "${extra[@]}" "$dir/flag.gif" &&
    convert "$dir/flag.gif" -coalesce "$dir/im%02d.png" && gifsicle --unoptimize "$dir/flag.gif" -o "$dir/whole.gif" ||
    fail "GIF frames ($look) could not be made or decoded"
  differing=""
  for k in $(seq 0 17); do
    on_magenta "$dir/f$(printf %03d $((k + 1))).png" "$dir/want.png"
    on_magenta "$dir/im$(printf %02d $k).png" "$dir/im.png"
    on_magenta "$dir/whole.gif[$k]" "$dir/gs.png"
    [ "$(compare -metric AE "$dir/want.png" "$dir/im.png" null: 2>&1)" = 0 ] || differing+=" ImageMagick:$k"
    [ "$(compare -metric AE "$dir/want.png" "$dir/gs.png" null: 2>&1)" = 0 ] || differing+=" gifsicle:$k"
  done
  [ -z "$differing" ] && pass || fail "GIF frames ($look) decode otherwise than drawn:$differing"
done
run --fps 30 --cycle "$scratch/anim/fps30.gif" && gifsicle --info "$scratch/anim/fps30.gif" > "$scratch/anim/gif30.txt" &&
  [ "$(grep -c 'delay 0.03s' "$scratch/anim/gif30.txt")" -eq 40 ] &&
  [ "$(grep -c 'delay 0.04s' "$scratch/anim/gif30.txt")" -eq 20 ] && pass ||
  fail "GIF at 30 fps: $(grep -c 'delay 0.03s' "$scratch/anim/gif30.txt") of 3/100 s, $(grep -c 'delay 0.04s' "$scratch/anim/gif30.txt") of 4/100 s"

# The same bytes whatever the number of threads that draw the frames.
for threads in 1 3; do
  run --picture "$references/picture.bmp" --cycle --seamless --period 7 --threads $threads "$scratch/anim/t$threads.gif" &&
    run --flag yellow --cycle --transparent --period 7 --threads $threads "$scratch/anim/t$threads.webp" || fail "threads $threads"
done
cmp -s "$scratch/anim/t1.gif" "$scratch/anim/t3.gif" && cmp -s "$scratch/anim/t1.webp" "$scratch/anim/t3.webp" && pass ||
  fail "one thread and three give different files"

# PNG frames: RGB, or RGBA with --transparent; the corner transparent, the flag opaque.
run --flag blue --transparent "$scratch/anim/t.png" && run --flag blue "$scratch/anim/o.png" &&
  [ "$(identify -format '%w %h %[channels]' "$scratch/anim/t.png")" = "641 481 srgba" ] &&
  [ "$(identify -format '%[channels]' "$scratch/anim/o.png")" = "srgb" ] &&
  [ "$(pixel_of "$scratch/anim/t.png" 0 0)" = "srgba(0,0,0,0)" ] &&
  [[ $(pixel_of "$scratch/anim/t.png" 320 240) =~ ^srgba\(0,0,[0-9]+,1\)$ ]] && pass ||
  fail "PNG frames: $(identify -format '%w %h %[channels] ' "$scratch/anim/t.png" "$scratch/anim/o.png")"
# A numbered PNG series; --scale 2 and --supersample 2 frames.
mkdir "$scratch/anim/series"
run --period 10 --speed 20 --cycle --transparent "$scratch/anim/series/f.png" &&
  [ "$(ls "$scratch/anim/series" | tr '\n' ' ')" = "$(printf 'f%03d.png ' $(seq 18))" ] && pass ||
  fail "PNG series: $(ls "$scratch/anim/series" | tr '\n' ' ')"
run --scale 2 --flag red "$scratch/anim/s2.png" && run --supersample 2 --flag red "$scratch/anim/ss2.png" &&
  [ "$(identify -format '%w %h' "$scratch/anim/s2.png")" = "1281 961" ] &&
  [ "$(identify -format '%w %h' "$scratch/anim/ss2.png")" = "641 481" ] && pass ||
  fail "--scale 2 and --supersample 2 sizes: $(identify -format '%w %h ' "$scratch/anim/s2.png" "$scratch/anim/ss2.png")"
run --scale 1 "$scratch/anim/scale1.bmp" && cmp -s "$scratch/start.bmp" "$scratch/anim/scale1.bmp" && pass ||
  fail "--scale 1 is not the start frame"

# PNG pictures in: the reference picture as PNG draws its frame; with its left half made
# transparent the flag is cut there (the frame differs, and has fewer picture pixels).
convert "$references/picture.bmp" "$scratch/anim/picture.png"
convert "$references/picture.bmp" -alpha set -region 24x64+0+0 -alpha transparent +region "$scratch/anim/cut.png"
run --picture "$scratch/anim/picture.png" "$scratch/anim/from-png.bmp" &&
  cmp -s "$scratch/picture_fit.bmp" "$scratch/anim/from-png.bmp" && pass || fail "a PNG picture draws another frame than its BMP"
run --picture "$scratch/anim/cut.png" --transparent "$scratch/anim/cut-frame.png" &&
  run --picture "$scratch/anim/picture.png" --transparent "$scratch/anim/whole-frame.png" &&
  opaque() { convert "$1" -alpha extract -format '%[fx:mean*w*h]' info:; } &&
  awk -v cut="$(opaque "$scratch/anim/cut-frame.png")" -v whole="$(opaque "$scratch/anim/whole-frame.png")" \
    'BEGIN { exit !(cut > 0.4 * whole && cut < 0.6 * whole) }' && pass ||
  fail "a PNG picture half transparent: $(opaque "$scratch/anim/cut-frame.png") of $(opaque "$scratch/anim/whole-frame.png") pixels"
# A malformed PNG: exit 1, one line, nothing written.
head -c 100 "$scratch/anim/picture.png" > "$scratch/anim/cut-short.png"
run --picture "$scratch/anim/cut-short.png" "$scratch/anim/none.png" 2>"$scratch/err.txt"
rc=$?
[ $rc -eq 1 ] && [ "$(wc -l < "$scratch/err.txt")" -eq 1 ] && grep -q 'cut-short.png: damaged PNG data' "$scratch/err.txt" &&
  [ ! -e "$scratch/anim/none.png" ] && pass || fail "a cut-short PNG: exit $rc, '$(cat "$scratch/err.txt")'"
[ -z "$(find "$scratch/anim" -name '.vex*')" ] && pass || fail "temporary files left in $scratch/anim"
