# Sourced by render_cli_test.sh on a native build: a machine that cannot start a single thread
# (a process limit of one, as in a container with a pids limit of one) still gets every file,
# the same bytes as with threads. The limit binds root only as another user, so root runs the
# renderer as "nobody"; the leak checker of a sanitized build needs a thread of its own.
mkdir -m 777 "$scratch/onethread"
as_other=()
[ "$(id -u)" -eq 0 ] && as_other=(setpriv --reuid=65534 --regid=65534 --clear-groups)
for name in flag.png flag.jpg flag.bmp flag.webp flag.gif; do
  rm -rf "$scratch/onethread/"* "$scratch/threads" && mkdir -m 777 "$scratch/threads"
  ASAN_OPTIONS=detect_leaks=0 "${as_other[@]}" prlimit --nproc=1:1 \
    "$render" --cycle --threads 8 --period 10 --speed 20 "$scratch/onethread/$name" 2>"$scratch/err.txt"
  rc=$?
  run --cycle --threads 8 --period 10 --speed 20 "$scratch/threads/$name"
  if [ $rc -eq 0 ] && [ -z "$(cat "$scratch/err.txt")" ] &&
     diff -r "$scratch/threads" "$scratch/onethread" >/dev/null; then pass
  else fail "$name with no thread to spare: exit $rc, '$(head -c 300 "$scratch/err.txt")'"; fi
done
