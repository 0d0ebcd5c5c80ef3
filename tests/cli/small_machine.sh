# Sourced by render_cli_test.sh on a native build: a machine that cannot start a single thread
# (a process limit of one, as in a container with a pids limit of one) still gets every file,
# the same bytes as with threads. The limit binds root only as another user, so root runs the
# renderer as "nobody", from a copy in a folder that user can reach (the build tree may sit in a
# private one); the leak checker of a sanitized build needs a thread of its own.
as_other=()
[ "$(id -u)" -eq 0 ] && as_other=(setpriv --reuid=65534 --regid=65534 --clear-groups)
open_dir=$(mktemp -d) && chmod 755 "$open_dir" && cp "$render" "$open_dir/vexarond-render"
for name in flag.png flag.jpg flag.bmp flag.webp flag.gif; do
  rm -rf "$open_dir/out" "$scratch/threads" && mkdir -m 777 "$open_dir/out" "$scratch/threads"
  ASAN_OPTIONS=detect_leaks=0 "${as_other[@]}" prlimit --nproc=1:1 \
    "$open_dir/vexarond-render" --cycle --threads 8 --period 10 --speed 20 "$open_dir/out/$name" \
    2>"$scratch/err.txt"
  rc=$?
  run --cycle --threads 8 --period 10 --speed 20 "$scratch/threads/$name"
  if [ $rc -eq 0 ] && [ ! -s "$scratch/err.txt" ] &&
     diff -r "$scratch/threads" "$open_dir/out" >/dev/null; then pass
  else fail "$name with no thread to spare: exit $rc, '$(head -c 300 "$scratch/err.txt")'"; fi
done
rm -rf "$open_dir"
